// The MIF document tree: statements and values exactly as written, with the
// spacing and comments between them, so that an unchanged document is written
// back byte for byte and changed parts are written in the host's own style.
//
// All nodes belong to their Document and are addressed by NodeId. Node texts
// are offsets into the document's copy of the file (or into its pool of new
// text), so the tree costs no allocation per token. A string_view returned by
// the document stays valid until the next edit of that document.
//
//   Result<Document> parsed = Parse(std::move(text), "chapter1.mif");
//   Document& doc = parsed.Value();
//   NodeId catalog = doc.FindChild(doc.Root(), "TblCatalog");
//   for (NodeId format : doc.FindChildren(catalog, "TblFormat")) {
//     Result<std::string> tag = doc.ReadString(doc.FindChild(format, "TblTag"));
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mif/large_blocks.h"
#include "mif/mif_result.h"

namespace gw::mif {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFF;

enum class NodeKind : std::uint8_t {
  Root,       // the whole file: the top-level statements and directives
  Statement,  // <Token item ...>
  Number,     // 12, -3.5
  Dimension,  // a number with its unit: 12.0 pt, 1.5", 2 mm
  String,     // `text' (the raw text keeps its quotes and escapes)
  Keyword,    // Yes, No, Left, or any other bare word
  Facet,      // a line of inset data beginning with = or & (kept verbatim)
  Directive,  // define (...) or include (...) (kept verbatim, not expanded)
};

// What the header statement says the file is.
enum class FileKind : std::uint8_t { Document, Book };

// Units of dimensions. Points are 1/72 inch.
enum class Unit : std::uint8_t { Point, Inch, Millimeter, Centimeter, Pica, Didot, Cicero, Q };

struct SourcePosition {
  std::uint32_t line = 0;    // 1-based
  std::uint32_t column = 0;  // 1-based, in bytes
};

// Points per unit: Point 1, Inch 72, Pica 12, Millimeter 72/25.4,
// Centimeter 720/25.4, Didot 0.376065 mm, Cicero 12 didots, Q 0.25 mm.
[[nodiscard]] double PointsPerUnit(Unit unit);

// The unit named by a MIF unit suffix ("pt", "point", "\"", "in", "mm", "cm",
// "pc", "pica", "dd", "didot", "cc", "cicero", "Q", case-insensitive), or
// nothing.
[[nodiscard]] std::optional<Unit> UnitFromName(std::string_view name);

// A dimension in the host's style: the number with at least one decimal and
// as many more as it needs (up to eight, enough to keep a metric exact), and
// the unit ("6.0 pt", "1.5\"", "2.0 mm").
[[nodiscard]] std::string FormatDimension(double value, Unit unit);

class Parser;
class TreeWriter;

class Document {
 public:
  Document(Document&&) noexcept = default;
  Document& operator=(Document&&) noexcept = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // --- The file as a whole ---------------------------------------------
  [[nodiscard]] FileKind Kind() const { return kind_; }
  [[nodiscard]] const std::string& FileName() const { return fileName_; }
  // The header's version exactly as written ("7.00", "2015") and as a number.
  [[nodiscard]] std::string_view VersionText() const;
  [[nodiscard]] double Version() const { return version_; }
  // MIF 8 and later write strings in UTF-8; earlier versions in FrameRoman
  // with \xNN escapes.
  [[nodiscard]] bool UsesUtf8() const { return version_ >= 8.0; }
  // The line break the file uses ("\n" or "\r\n"); new lines are written with it.
  [[nodiscard]] std::string_view LineBreak() const { return lineBreak_; }
  // Whether text lies in the file's bytes as read, which never change and
  // live as long as this document or any copy of it.
  [[nodiscard]] bool InSource(std::string_view text) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(source_.data());
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    return text.data() != nullptr && at >= begin && at - begin <= source_.size() &&
           text.size() <= source_.size() - (at - begin);
  }
  // True once anything was edited.
  [[nodiscard]] bool Modified() const { return modified_; }
  // The unit of the first top-level <Units ...> statement, else inches (the
  // MIF default for dimensions written without a unit).
  [[nodiscard]] Unit DeclaredUnit() const;

  // --- Navigation -------------------------------------------------------
  [[nodiscard]] NodeId Root() const { return 0; }
  // The header statement (<MIFFile 7.00> or <Book 7.00>).
  [[nodiscard]] NodeId Header() const;
  [[nodiscard]] NodeKind KindOf(NodeId node) const { return nodes_[node].kind; }
  [[nodiscard]] bool IsStatement(NodeId node) const { return nodes_[node].kind == NodeKind::Statement; }
  [[nodiscard]] bool IsValue(NodeId node) const;
  // A statement's token name ("TblFormat"); empty for other nodes.
  [[nodiscard]] std::string_view Name(NodeId node) const {
    if (nodes_[node].kind != NodeKind::Statement) return {};
    std::string_view head = View(nodes_[node].text);
    head.remove_prefix(1);  // "<"
    while (!head.empty() && (head.front() == ' ' || head.front() == '\t')) head.remove_prefix(1);
    return head;
  }
  // A value's text exactly as written (strings with their quotes).
  [[nodiscard]] std::string_view RawText(NodeId node) const {
    if (nodes_[node].kind == NodeKind::Statement || nodes_[node].kind == NodeKind::Root) return {};
    return View(nodes_[node].text);
  }
  [[nodiscard]] NodeId Parent(NodeId node) const { return nodes_[node].parent; }
  [[nodiscard]] NodeId FirstChild(NodeId node) const { return nodes_[node].firstChild; }
  [[nodiscard]] NodeId LastChild(NodeId node) const { return nodes_[node].lastChild; }
  [[nodiscard]] NodeId Next(NodeId node) const { return nodes_[node].next; }
  [[nodiscard]] NodeId Previous(NodeId node) const { return nodes_[node].previous; }
  // Nesting depth: 0 for top-level statements.
  [[nodiscard]] std::size_t Depth(NodeId node) const;

  // All children of a node, in order.
  [[nodiscard]] std::vector<NodeId> Children(NodeId parent) const;
  // The first child statement with this token name, or kNoNode.
  [[nodiscard]] NodeId FindChild(NodeId parent, std::string_view name) const;
  // Every child statement with this token name, in order.
  [[nodiscard]] std::vector<NodeId> FindChildren(NodeId parent, std::string_view name) const;
  // The value children of a statement, in order.
  [[nodiscard]] std::vector<NodeId> Values(NodeId statement) const;

  // Where a node began in the file; nothing for nodes added since.
  [[nodiscard]] std::optional<SourcePosition> PositionOf(NodeId node) const;
  // The lines of many nodes in one pass over the source (PositionOf counts
  // from the start each time); nullopt for nodes that were not read.
  [[nodiscard]] std::vector<std::optional<std::uint32_t>> LinesOf(const std::vector<NodeId>& nodes) const;
  // "file.mif:12:3: <TblTag>" (or "file.mif: <TblTag>" for a new node), for
  // messages about a node.
  [[nodiscard]] std::string Describe(NodeId node) const;

  // --- Reading values ---------------------------------------------------
  // Each reads the one value of a statement and fails, with a message naming
  // the file, line and statement, when the statement has no value, several,
  // or one of another kind. kNoNode gives a "missing statement" failure.
  [[nodiscard]] Result<NodeId> SingleValue(NodeId statement) const;
  // The string in host encoding (FrameRoman). Characters of a UTF-8 file that
  // FrameRoman lacks make this fail instead of being replaced.
  [[nodiscard]] Result<std::string> ReadString(NodeId statement) const;
  [[nodiscard]] Result<std::string> ReadKeyword(NodeId statement) const;
  [[nodiscard]] Result<std::int64_t> ReadInt(NodeId statement) const;
  [[nodiscard]] Result<double> ReadDouble(NodeId statement) const;
  // A dimension in points; a number without a unit is taken in unitlessAs.
  [[nodiscard]] Result<double> ReadPoints(NodeId statement, Unit unitlessAs) const;
  // As ReadPoints, as a metric: 65536 per point, rounded to nearest.
  [[nodiscard]] Result<std::int32_t> ReadMetric(NodeId statement, Unit unitlessAs) const;

  // --- Editing ----------------------------------------------------------
  // New nodes are written in the host's style: one statement per line,
  // indented one space per level, values separated by one space, and a
  // statement holding statements closed on its own line ("> # end of Tbl").
  // Views returned earlier may dangle after any edit.

  // Replaces a value's raw text (written exactly as given) and kind.
  Status SetRawValue(NodeId value, std::string_view raw, NodeKind kind);
  // Replace the single value of a statement (adding one if it has none).
  Status SetString(NodeId statement, std::string_view hostBytes);
  Status SetKeyword(NodeId statement, std::string_view keyword);
  Status SetInt(NodeId statement, std::int64_t value);
  // Keeps the unit the value had, else writes points.
  Status SetPoints(NodeId statement, double points);

  // New empty statements; the name must be a plain token (letters, digits).
  Result<NodeId> AppendStatement(NodeId parent, std::string_view name);
  Result<NodeId> InsertStatementBefore(NodeId sibling, std::string_view name);
  Result<NodeId> InsertStatementAfter(NodeId sibling, std::string_view name);
  // Values appended to a statement.
  Result<NodeId> AppendRawValue(NodeId statement, std::string_view raw, NodeKind kind);
  Result<NodeId> AppendString(NodeId statement, std::string_view hostBytes);
  Result<NodeId> AppendKeyword(NodeId statement, std::string_view keyword);
  Result<NodeId> AppendInt(NodeId statement, std::int64_t value);
  Result<NodeId> AppendDimension(NodeId statement, double points, Unit unit);
  // Removes a node (statement with everything inside, or value) with the
  // spacing before it and the comment after it on its line. The root and the
  // header cannot be removed.
  Status Remove(NodeId node);
  // Copies a statement with everything inside it before sibling (or, when
  // sibling is kNoNode, as parent's last child). The copy keeps the source's
  // text and spacing byte for byte; the source may be removed already.
  Result<NodeId> CopyStatement(NodeId source, NodeId parent, NodeId sibling);

  // --- Edit log ---------------------------------------------------------
  // Every edit since the last ClearEdits, by the statement it touched: a
  // statement added (and everything inside it), removed, or changed (a value
  // set, added or removed). A statement may appear more than once.
  struct Edit {
    enum class Kind : std::uint8_t { kAdded, kRemoved, kChanged };
    Kind kind = Kind::kChanged;
    NodeId statement = kNoNode;
  };
  [[nodiscard]] const std::vector<Edit>& Edits() const { return edits_; }
  void ClearEdits() { edits_.clear(); }
  // Whether the node was added by an edit (not read from the file).
  [[nodiscard]] bool IsAdded(NodeId node) const { return nodes_[node].added; }
  [[nodiscard]] bool IsRemoved(NodeId node) const { return nodes_[node].removed; }
  // The statement names from the top down to node: "Tbls/Tbl/TblFormat".
  [[nodiscard]] std::string PathOf(NodeId node) const;

  // An independent copy (for trying edits without touching this one).
  [[nodiscard]] Document Copy() const;

  // --- Trial edits --------------------------------------------------------
  // Edits after BeginTrial are undone in one step by Rollback, which leaves
  // the tree, its edit log and its text exactly as at BeginTrial, or kept by
  // Commit. Only the nodes an edit touches are saved, so a trial costs what
  // it changes, not the size of the tree. Trials do not nest.
  void BeginTrial();
  void Rollback();
  void Commit();
  [[nodiscard]] bool InTrial() const { return trial_.active; }

 private:
  friend class Parser;
  friend class TreeWriter;
  friend std::string Write(const Document& document);

  // A piece of text: bytes of the file, or (kAddedBit set) of added_.
  struct Span {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };
  static constexpr std::uint32_t kAddedBit = 0x80000000u;
  static constexpr std::uint32_t kNewNode = 0xFFFFFFFFu;

  struct Node {
    NodeKind kind = NodeKind::Root;
    bool removed : 1 = false;
    bool added : 1 = false;  // made by an edit (new, or copied from another node)
    bool saved : 1 = false;  // its state before the running trial is saved
    // Something inside changed: a value set, a child added or removed. A
    // node read from the file and never touched is written as its bytes.
    bool touched : 1 = false;
    Span leading;   // spacing and comments before the node
    Span text;      // a value's text; a statement's "<" and name
    Span afterHead; // a statement's spacing and comment after its name, up to its line end
    Span closing;   // a statement's spacing and comments before its ">"
    Span trailing;  // spacing and a comment after the node, up to its line end
    std::uint32_t sourceOffset = kNewNode;  // where the node began, kNewNode if added
    NodeId parent = kNoNode;
    NodeId firstChild = kNoNode;
    NodeId lastChild = kNoNode;
    NodeId next = kNoNode;
    NodeId previous = kNoNode;
  };

  // What a running trial needs to undo its edits.
  struct Trial {
    bool active = false;
    std::size_t nodes = 0, added = 0, edits = 0;
    bool modified = false;
    std::vector<std::pair<NodeId, Node>> saved;  // nodes as they were, in the order first changed
  };

  Document() = default;

  // The node to change: a node that existed when the running trial began is
  // saved first.
  Node& Mutable(NodeId node);
  // Marks node and every statement that holds it as touched.
  void Touch(NodeId node);
  std::string_view View(Span span) const {
    if ((span.offset & kAddedBit) != 0) {
      return std::string_view(added_).substr(span.offset & ~kAddedBit, span.length);
    }
    return source_.substr(span.offset, span.length);
  }
  Span AddText(std::string_view text);
  bool IsNew(NodeId node) const { return nodes_[node].sourceOffset == kNewNode; }
  NodeId NewNode(NodeKind kind);
  void LinkLast(NodeId parent, NodeId child);
  void LinkBefore(NodeId sibling, NodeId child);
  Result<NodeId> ValueOfKind(NodeId statement, NodeKind kind, std::string_view expected) const;
  Status ReplaceSingleValue(NodeId statement, std::string_view raw, NodeKind kind);
  Status CheckStatement(NodeId node) const;
  Status CheckNewName(std::string_view name) const;
  Error NodeError(NodeId node, std::string_view why) const;
  void NoteEdit(Edit::Kind kind, NodeId statement);

  // The file as read, shared by copies of the document (it never changes).
  std::shared_ptr<const std::string> sourceBytes_;
  std::string_view source_;
  // Offsets where the source's lines start, made on the first PositionOf.
  mutable std::vector<std::uint32_t> lineStarts_;
  std::string added_;   // text of new and changed nodes
  std::vector<Node, LargeBlockAllocator<Node>> nodes_;
  std::string fileName_;
  std::string lineBreak_ = "\n";
  FileKind kind_ = FileKind::Document;
  double version_ = 0;
  bool modified_ = false;
  std::vector<Edit> edits_;
  Trial trial_;
};

}  // namespace gw::mif
