// What the files that map MIF documents to the substitute host's model share:
// the statement tables, the binding of model objects to the statements they
// came from, the tree editor, the helpers that write statements, and the
// Reader and Updater. Their members are defined by what they map: catalogues
// (mif_catalogs.cpp), tables (mif_tables.cpp), text and anchors
// (mif_text.cpp), pages and flows (mif_pages.cpp); mif_document.cpp runs them.
// Internal to the MIF layer.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "mif/change_record.h"
#include "mif/mif_document.h"
#include "mif/mif_tree.h"
#include "substitute/document_model.h"

namespace gw::mif {

namespace sub = gw::substitute;
using Model = sub::Document;

// The tables anchored in a paragraph: (offset, table), in text order.
using Anchors = std::vector<std::pair<int32_t, ObjectId>>;

// A paragraph's text as last read or saved: a view into the file's bytes when
// the file holds it verbatim (one plain string), else a copy of its own. The
// view stays valid while the binding's tree, or any copy of it, lives.
class KeptText {
 public:
  KeptText() = default;
  KeptText(std::string_view text) : text_(std::string(text)) {}  // NOLINT(google-explicit-constructor)
  // verbatim: where the file's bytes hold the text, or null.
  KeptText(std::string_view text, std::string_view verbatim) {
    if (verbatim.data() != nullptr && verbatim == text) {
      text_ = verbatim;
    } else {
      text_ = std::string(text);
    }
  }
  KeptText& operator=(std::string_view text) {
    text_ = std::string(text);
    return *this;
  }
  [[nodiscard]] std::string_view Get() const {
    return std::holds_alternative<std::string>(text_) ? std::string_view(std::get<std::string>(text_))
                                                      : std::get<std::string_view>(text_);
  }
  friend bool operator==(const KeptText& kept, std::string_view text) { return kept.Get() == text; }

 private:
  std::variant<std::string, std::string_view> text_;
};

// ---- The binding ---------------------------------------------------------------------------

// What the binding knows besides the tree: for every model object the
// statement it came from and its state as last read or saved.
struct BindingTables {
  struct FormatEntry {
    NodeId node = kNoNode;
    std::string name;
    sub::PropertyBag baseline;
    std::vector<NodeId> duplicates;  // later catalogue entries of the same name; they go with it
  };
  struct ParagraphEntry {
    NodeId node = kNoNode;  // kNoNode: the model made it, the file has no statement yet
    KeptText text;
    std::string format;
    Anchors anchors;
    int64_t textRect = -1;  // the TextRectID its first line carries, -1 for none
  };
  struct CellEntry {
    NodeId node = kNoNode;
    NodeId row = kNoNode;
    std::array<int32_t, 6> overrides{};
    std::vector<ObjectId> paragraphs;
  };
  struct RowEntry {
    NodeId node = kNoNode;
    int32_t kind = 1;
    std::vector<ObjectId> cells;
  };
  struct TableEntry {
    NodeId node = kNoNode;
    int64_t tblId = 0;
    std::string tag;
    sub::PropertyBag baseline;
    std::vector<Metric> widths;
    std::vector<ObjectId> rows;
    std::vector<ObjectId> title;
  };
  struct FlowEntry {
    NodeId node = kNoNode;
    std::vector<ObjectId> paragraphs;  // every paragraph of the flow, in order
  };

  ObjectId documentId = 0;
  Unit unitless = Unit::Inch;
  sub::IdTable<FormatEntry> tableFormats;
  std::unordered_set<std::string> colourNames;
  std::unordered_set<std::string> rulingNames;
  std::unordered_set<std::string> paragraphFormatNames;
  sub::IdTable<ParagraphEntry> paragraphs;
  sub::IdTable<CellEntry> cells;
  sub::IdTable<RowEntry> rows;
  sub::IdTable<TableEntry> tables;
  sub::IdTable<FlowEntry> flows;
  std::unordered_map<ObjectId, int64_t> frameRects;  // text frame -> TextRect ID
  std::vector<ObjectId> tableOrder;                  // tables in document order
  int64_t nextTblId = 1;
};

class DocumentBinding : public BindingTables {
 public:
  explicit DocumentBinding(Document parsed) : tree(std::move(parsed)) {}
  // A copy with a copy of the tree, to try an update on.
  DocumentBinding(const DocumentBinding& other) : BindingTables(other), tree(other.tree.Copy()) {}

  Document tree;
};


namespace mapping {

inline constexpr Metric kPoint = 65536;
// Every row of a table has a cell per column in the model, whatever the file
// writes; this bounds what a damaged or hostile file can make us allocate.
inline constexpr double kMaxCellsPerTable = 2'000'000;

// ---- Table format statements ------------------------------------------------------------

enum class Shape { kMetric, kInt, kBool, kKeyword, kRuling, kColour };

struct Keyword {
  const char* word;
  int32_t value;
};

inline constexpr Keyword kAlignments[] = {{"Left", 0},   {"Center", 1},  {"Right", 2},
                                   {"Inside", 3}, {"Outside", 4}, {nullptr, 0}};
inline constexpr Keyword kPlacements[] = {{"Anywhere", 0}, {"ColumnTop", 1}, {"PageTop", 2}, {"LPageTop", 3},
                                   {"RPageTop", 4}, {"Float", 5},     {nullptr, 0}};
inline constexpr Keyword kTitlePlacements[] = {{"None", 0}, {"InHeader", 1}, {"InFooter", 2}, {nullptr, 0}};

struct FormatStatement {
  const char* name;
  int32_t code;
  Shape shape;
  const Keyword* keywords;
};

// In the order the host writes them.
inline constexpr FormatStatement kFormatStatements[] = {
    {"TblLIndent", 1278, Shape::kMetric, nullptr},
    {"TblRIndent", 1279, Shape::kMetric, nullptr},
    {"TblSpBefore", 1280, Shape::kMetric, nullptr},
    {"TblSpAfter", 1281, Shape::kMetric, nullptr},
    {"TblAlignment", 1282, Shape::kKeyword, kAlignments},
    {"TblPlacement", 1283, Shape::kKeyword, kPlacements},
    {"TblTitlePlacement", 1289, Shape::kKeyword, kTitlePlacements},
    {"TblTitleGap", 1290, Shape::kMetric, nullptr},
    {"TblBlockSize", 1291, Shape::kInt, nullptr},
    {"TblNumByColumn", 1288, Shape::kBool, nullptr},
    {"TblColumnRuling", 1309, Shape::kRuling, nullptr},
    {"TblXColumnNum", 1293, Shape::kInt, nullptr},
    {"TblXColumnRuling", 1314, Shape::kRuling, nullptr},
    {"TblBodyRowRuling", 1310, Shape::kRuling, nullptr},
    {"TblXRowRuling", 1313, Shape::kRuling, nullptr},
    {"TblRulingPeriod", 1294, Shape::kInt, nullptr},
    {"TblHFRowRuling", 1312, Shape::kRuling, nullptr},
    {"TblSeparatorRuling", 1311, Shape::kRuling, nullptr},
    {"TblLRuling", 1307, Shape::kRuling, nullptr},
    {"TblBRuling", 1306, Shape::kRuling, nullptr},
    {"TblRRuling", 1308, Shape::kRuling, nullptr},
    {"TblTRuling", 1305, Shape::kRuling, nullptr},
    {"TblLastBRuling", 1295, Shape::kBool, nullptr},
    {"TblHFFill", 1296, Shape::kInt, nullptr},
    {"TblHFColor", 1297, Shape::kColour, nullptr},
    {"TblBodyFill", 1298, Shape::kInt, nullptr},
    {"TblBodyColor", 1299, Shape::kColour, nullptr},
    {"TblShadeByColumn", 1300, Shape::kBool, nullptr},
    {"TblShadePeriod", 1301, Shape::kInt, nullptr},
    {"TblXFill", 1302, Shape::kInt, nullptr},
    {"TblXColor", 1304, Shape::kColour, nullptr},
    {"TblAltShadePeriod", 1303, Shape::kInt, nullptr},
};

// TblCellMargins holds left, top, right and bottom, the codes 1317, 1315, 1318, 1316.
inline constexpr int32_t kCellMarginCodes[4] = {1317, 1315, 1318, 1316};
inline constexpr int32_t kTitleFormatCode = 20;

// ---- Cell overrides -------------------------------------------------------------------------

// One statement per override flag, in the order of kCellOverrideFlags.
inline constexpr const char* kCellOverrideStatements[6] = {"CellFill",    "CellColor",   "CellTRuling",
                                                    "CellBRuling", "CellLRuling", "CellRRuling"};

// ---- Special characters ------------------------------------------------------------------

struct SpecialChar {
  const char* name;
  char byte;
};

// <Char name> and the FrameRoman byte the model keeps for it.
inline constexpr SpecialChar kSpecialChars[] = {
    {"Tab", '\x09'},
    {"HardReturn", '\x0D'},
    {"HardSpace", '\x11'},
    {"SoftHyphen", '\x04'},
    {"DiscHyphen", '\x04'},
    {"NoHyphen", '\x05'},
    {"HardHyphen", '\x15'},
    {"NumberSpace", '\x10'},
    {"ThinSpace", '\x12'},
    {"EnSpace", '\x13'},
    {"EmSpace", '\x14'},
    // Printable characters older files name; they are written back as text.
    {"Cent", '\xA2'},
    {"Pound", '\xA3'},
    {"Yen", '\xB4'},
    {"EnDash", '\xD0'},
    {"EmDash", '\xD1'},
    {"Dagger", '\xA0'},
    {"DoubleDagger", '\xE0'},
    {"Bullet", '\xA5'},
};


// ---- Paragraph format statements ----------------------------------------------------------

inline constexpr int32_t kParaFontFamily = 1401;
inline constexpr int32_t kParaFontSize = 1402;
inline constexpr int32_t kParaColour = 1410;

struct PgfStatement {
  const char* name;
  int32_t code;
  bool keyword;  // alignment or Yes/No
};

inline constexpr PgfStatement kPgfStatements[] = {
    {"PgfFIndent", 1403, false},  {"PgfLIndent", 1404, false}, {"PgfRIndent", 1405, false},
    {"PgfSpBefore", 1406, false}, {"PgfSpAfter", 1407, false}, {"PgfLeading", 1409, false},
    {"PgfAlignment", 1408, true}, {"PgfWithNext", 1413, true},
};

inline constexpr Keyword kPgfAlignments[] = {{"Left", 0}, {"Center", 1}, {"Right", 2}, {"LeftRight", 3}, {nullptr, 0}};

// ---- Pages ---------------------------------------------------------------------------------

struct PageTypeName {
  const char* name;
  sub::ObjectKind kind;
};

inline constexpr PageTypeName kPageTypes[] = {
    {"BodyPage", sub::ObjectKind::kBodyPage},           {"LeftMasterPage", sub::ObjectKind::kMasterPage},
    {"RightMasterPage", sub::ObjectKind::kMasterPage},  {"OtherMasterPage", sub::ObjectKind::kMasterPage},
    {"ReferencePage", sub::ObjectKind::kReferencePage}, {"HiddenPage", sub::ObjectKind::kHiddenPage},
};

inline constexpr const char* kReservedColours[] = {"Black", "White", "Red",     "Green",
                                                   "Blue",  "Cyan",  "Magenta", "Yellow"};
inline constexpr const char* kStandardRulings[] = {"Thin", "Medium", "Double", "Thick", "Very Thin"};

// Display units: the keyword and its size in points.
struct DisplayUnit {
  const char* word;
  double points;
};
inline constexpr DisplayUnit kDisplayUnits[] = {
    {"Upt", 1.0},         {"Upica", 12.0},  {"Uin", 72.0},        {"Ucm", 720.0 / 25.4},
    {"Umm", 72.0 / 25.4}, {"Udd", 1.06574}, {"Ucicero", 12.7889}, {"UQ", 0.25 * 72.0 / 25.4},
};

inline Metric ToMetric(double points) { return static_cast<Metric>(std::llround(points * kPoint)); }
inline double ToPoints(Metric metric) { return static_cast<double>(metric) / kPoint; }

// ---- Shared writing helpers (used for changes and for new documents) ------------------

// Builds statements in a tree; remembers the first failure and then does nothing.
class TreeEditor {
 public:
  explicit TreeEditor(Document& tree) : tree_(tree) {}

  [[nodiscard]] Status Outcome() const { return failure_; }
  [[nodiscard]] bool Failed() const { return !failure_.IsOk(); }

  NodeId Append(NodeId parent, std::string_view name) { return Take(tree_.AppendStatement(parent, name)); }
  NodeId Before(NodeId sibling, std::string_view name) { return Take(tree_.InsertStatementBefore(sibling, name)); }
  NodeId After(NodeId sibling, std::string_view name) { return Take(tree_.InsertStatementAfter(sibling, name)); }
  // A copy of a statement (kept byte for byte) as parent's last child.
  NodeId Copy(NodeId source, NodeId parent) { return Take(tree_.CopyStatement(source, parent, kNoNode)); }
  void Remove(NodeId node) {
    if (node != kNoNode) Check(tree_.Remove(node));
  }

  NodeId AppendString(NodeId parent, std::string_view name, std::string_view text) {
    NodeId node = Append(parent, name);
    if (node != kNoNode) Take(tree_.AppendString(node, text));
    return node;
  }
  NodeId AppendKeyword(NodeId parent, std::string_view name, std::string_view word) {
    NodeId node = Append(parent, name);
    if (node != kNoNode) Take(tree_.AppendKeyword(node, word));
    return node;
  }
  NodeId AppendInt(NodeId parent, std::string_view name, int64_t value) {
    NodeId node = Append(parent, name);
    if (node != kNoNode) Take(tree_.AppendInt(node, value));
    return node;
  }
  NodeId AppendPoints(NodeId parent, std::string_view name, double points) {
    NodeId node = Append(parent, name);
    if (node != kNoNode) Take(tree_.AppendDimension(node, points, Unit::Point));
    return node;
  }

  void SetString(NodeId node, std::string_view text) { Check(tree_.SetString(node, text)); }
  void SetKeyword(NodeId node, std::string_view word) { Check(tree_.SetKeyword(node, word)); }
  void SetInt(NodeId node, int64_t value) { Check(tree_.SetInt(node, value)); }
  void SetPoints(NodeId node, double points) { Check(tree_.SetPoints(node, points)); }

  // The first child statement of parent with this name, made (appended) when missing.
  NodeId Child(NodeId parent, std::string_view name) {
    NodeId node = tree_.FindChild(parent, name);
    return node != kNoNode ? node : Append(parent, name);
  }

  Document& Tree() { return tree_; }

 private:
  NodeId Take(Result<NodeId> result) {
    if (!result) {
      if (failure_.IsOk()) failure_ = result.GetError();
      return kNoNode;
    }
    return failure_.IsOk() ? result.Value() : kNoNode;
  }
  void Check(Status status) {
    if (!status && failure_.IsOk()) failure_ = status;
  }

  Document& tree_;
  Status failure_;
};

// Model lookups that the model offers only on a mutable document. Nothing is
// changed through them.
inline sub::TableFormat* FormatOf(const Model& model, ObjectId id) {
  return const_cast<Model&>(model).FindTableFormat(id);
}
inline sub::TableFormat* FormatOf(const Model& model, std::string_view name) {
  return const_cast<Model&>(model).FindTableFormat(name);
}
inline sub::ParagraphFormat* ParagraphFormatOf(const Model& model, ObjectId id) {
  return const_cast<Model&>(model).FindParagraphFormat(id);
}

// The statements naming a TblFormat's title paragraph format: the PgfTag
// directly in TblTitlePgf1, which the host writes and honours, and the PgfTag
// of a Pgf nested in it, which other tools write. Either may be missing.
struct TitleFormatNodes {
  NodeId title = kNoNode;
  NodeId direct = kNoNode;
  NodeId nested = kNoNode;
};

// ---- Helpers ---------------------------------------------------------------------------------

std::optional<int32_t> KeywordValue(const Keyword* keywords, std::string_view word);

bool HasKeyword(const Keyword* keywords, int32_t value);

const char* KeywordWord(const Keyword* keywords, int32_t value);

// A dimension value's text ("6.0 pt", "1.5\"", "2mm", "3") in points.
std::optional<double> ParseDimension(std::string_view raw, Unit unitless, Unit* written);

std::string NameOf(const Model& model, const sub::PropertyValue& value);

// Whether a statement already says the value (then it keeps its text).
bool Says(const Document& tree, NodeId node, const FormatStatement& statement, const sub::PropertyValue& value,
          const Model& model, Unit unitless);

TitleFormatNodes FindTitleFormat(const Document& tree, NodeId format);

// Names the title paragraph format where the file names it: in the direct
// PgfTag when there is one, else in the nested one, else in a new direct
// PgfTag. A nested PgfTag beside a direct one is given the same name, so the
// file never names two title formats.
void SetTitleFormat(TreeEditor& editor, NodeId format, std::string_view name);

// Writes one format-level property into a statement, as its shape asks. A
// keyword value the file format has no word for leaves a written value as it
// is (a new statement gets the first word).
void SetProperty(TreeEditor& editor, NodeId node, const FormatStatement& statement, const sub::PropertyValue& value,
                 const Model& model, Unit unitless);

sub::PropertyValue ValueOr(const sub::PropertyBag& bag, int32_t code);

// Writes the given properties of a bag into a TblFormat statement: existing
// statements get the new value, missing ones are appended. codes null: all.
void WriteFormatProperties(TreeEditor& editor, NodeId format, const sub::PropertyBag& bag, const Model& model,
                           const std::vector<int32_t>* codes, Unit unitless);

// Writes a table's properties into its own TblFormat where the file would
// otherwise give other values: a statement there gets the new value; a
// property it does not state takes its value from `implied` (the catalogue
// format of the table's tag) and is added only when that differs. The
// TblFormat is made, after `after`, only when something must be written.
void WriteTableProperties(TreeEditor& editor, NodeId tbl, NodeId after, const sub::PropertyBag& bag,
                          const sub::PropertyBag& implied, const Model& model, Unit unitless);

// The codes whose values differ between two bags (both directions).
std::vector<int32_t> ChangedCodes(const sub::PropertyBag& before, const sub::PropertyBag& after);

const char* SpecialCharName(char byte);

// Appends what DecodeString makes of a raw string, copying it straight when it
// has no escapes (and, in UTF-8 files, only ASCII): most strings of a file.
void AppendDecoded(std::string& out, std::string_view raw, double version);

// The anchors of every table, by paragraph, in offset order.
std::unordered_map<ObjectId, Anchors> AnchorsByParagraph(const Model& model,
                                                         const std::vector<ObjectId>& tablesInOrder);

// Writes text as String and Char statements, and the anchors as ATbl
// statements at their offsets, into a ParaLine.
void WriteLineContent(TreeEditor& editor, NodeId line, std::string_view text, const Anchors& anchors,
                      const std::unordered_map<ObjectId, int64_t>& tblIds);

// Fills a new Para statement.
void WriteParagraph(TreeEditor& editor, NodeId para, const sub::Paragraph& paragraph, const Anchors& anchors,
                    int64_t textRect, const std::unordered_map<ObjectId, int64_t>& tblIds);

// Fills a new Cell statement: its overrides and its paragraphs.
void WriteCell(TreeEditor& editor, NodeId cellNode, const Model& model, const sub::Cell& cell,
               const std::unordered_map<ObjectId, Anchors>& anchors,
               const std::unordered_map<ObjectId, int64_t>& tblIds);

// Fills a new Tbl statement with the whole table.
void WriteTable(TreeEditor& editor, NodeId tbl, const Model& model, const sub::Table& table, int64_t tblId,
                const std::unordered_map<ObjectId, Anchors>& anchors,
                const std::unordered_map<ObjectId, int64_t>& tblIds);

std::string NewDocumentText(const Model& model);

// ---- Reading -------------------------------------------------------------------------------

class Reader {
 public:
  Reader(DocumentBinding& binding, Model& model) : binding_(binding), tree_(binding.tree), model_(model) {}

  Status Run();

 private:
  struct Rect {
    ObjectId page = 0;
    ObjectId parentFrame = 0;
    bool bodyPage = false;
    bool used = false;
  };
  struct PendingAnchor {
    ObjectId paragraph;
    int32_t offset;
    int64_t tblId;
  };

  Error Fail(NodeId node, std::string_view why) const { return Error{tree_.Describe(node) + ": " + std::string(why)}; }

  Result<std::string> StringOf(NodeId statement) const { return tree_.ReadString(statement); }

  // Catalogue entries named by a string statement (colours, rulings).
  Status ReadNames(NodeId catalog, std::string_view entry, std::string_view tagName,
                   std::unordered_set<std::string>& names, bool colours);

  Status ReadParagraphFormats(NodeId catalog);

  // Reads the property statements present in a TblFormat over a bag.
  Status ReadFormatStatements(NodeId format, sub::PropertyBag& bag);

  Status ReadTableFormats(NodeId catalog);

  Status ReadDisplayUnit(NodeId document);

  Status ReadPage(NodeId page);

  // TextRects and graphic Frames (with what they hold) of a page or frame.
  Status ReadFrames(NodeId parent, ObjectId page, ObjectId parentFrame, bool bodyPage);

  // The text frame of a flow in a text rectangle, made on first use.
  ObjectId FrameFor(ObjectId flow, int64_t rect);

  // The text of a Para, its anchors (recorded as pending) and the text
  // rectangles its lines name.
  struct ParaText {
    std::string text;
    // The file's bytes of the text when they are the text itself (a single
    // string without escapes); null otherwise.
    std::string_view verbatim;
    std::vector<std::pair<int32_t, int64_t>> anchors;  // offset, TblID
    int64_t firstRect = -1;
    int64_t lastRect = -1;
  };

  Status ReadParaText(NodeId para, ParaText& out);

  // The format a Para names (PgfTag, or the PgfTag of its Pgf), else inherited.
  Result<std::string> ParaFormat(NodeId para, const std::string& inherited);

  void Bind(ObjectId paragraph, NodeId node, const sub::Paragraph& p, int64_t textRect,
            std::string_view verbatim = {});

  void NotePending(ObjectId paragraph, const ParaText& text);

  Status ReadFlow(NodeId flowNode);

  // Reads the Paras of a container (cell content, table title) into the
  // model's paragraph list of target, reusing the paragraphs already there.
  // list is that list (ParagraphsOf(target)); it stays in place in its cell or
  // table while paragraphs are added to it.
  Status ReadContainer(NodeId content, ObjectId target, std::vector<ObjectId>* list, std::string format);

  // Any paragraph the model has, for AddTable's anchor; made when none exists.
  ObjectId SomeParagraph();

  Status ReadTable(NodeId tbl);

  void ResolveAnchors();

  void ChooseMainFlow();

  DocumentBinding& binding_;
  const Document& tree_;
  Model& model_;
  std::unordered_map<int64_t, Rect> rects_;
  std::vector<std::pair<int64_t, Rect>> rectOrder_;
  std::map<std::pair<ObjectId, int64_t>, ObjectId> flowFrames_;
  std::unordered_set<ObjectId> flowsOnBodyPages_;
  std::vector<std::pair<ObjectId, bool>> flowOrder_;
  std::unordered_map<int64_t, ObjectId> tablesById_;
  std::vector<PendingAnchor> pending_;
  ObjectId placeholder_ = 0;
};

// ---- Writing changes back ----------------------------------------------------------------

class Updater {
 public:
  Updater(DocumentBinding& binding, const Model& model)
      : binding_(binding), tree_(binding.tree), editor_(binding.tree), model_(model) {}

  Status Run();

  ChangeRecord TakeRecord() { return std::move(record_); }

 private:
  // Runs body, which writes the changes of one object, and records what it
  // wrote under change; a change that wrote nothing is not recorded. Not nested.
  template <typename Body>
  void Record(ObjectChange change, Body&& body) {
    Claim();
    body(change);
    change.edits = CollectEdits(tree_, claimed_);
    claimed_ = tree_.Edits().size();
    if (!change.edits.empty()) record_.push_back(std::move(change));
  }
  // Edits logged so far belong to the change that made them, or to no object.
  void Claim();

  // Names used by properties must exist in the file's catalogues.
  void EnsureNamed(const sub::PropertyBag& bag);

  // A top-level statement, made before `before` (or at the end) when missing.
  NodeId TopLevel(std::string_view name, std::string_view before);

  void UpdateTableFormats();

  static std::vector<PropertyChange> PropertyChanges(const sub::PropertyBag& before, const sub::PropertyBag& after,
                                                     const std::vector<int32_t>& codes);

  NodeId TblsNode();

  void UpdateTables();

  // After a table was written whole: bind it, its rows, cells and paragraphs.
  void BindNewTable(const sub::Table& table, NodeId tbl);

  void BindNewRow(ObjectId rowId, NodeId rowNode);

  void BindNewCell(ObjectId cellId, NodeId cellNode, NodeId rowNode);

  void BindParagraphs(const std::vector<ObjectId>& paragraphs, NodeId container);

  const Anchors& AnchorsOf(ObjectId paragraph) const;

  // Rows by kind (heading, body, footing) and cells with overrides, as the
  // binding last saw them and as the model has them.
  void CountRows(const std::vector<ObjectId>& rows, bool baseline, std::array<int32_t, 3>& kinds,
                 int32_t& overrides) const;

  bool TableContentChanged(const sub::Table& table, const DocumentBinding::TableEntry& entry) const;

  void UpdateTable(const sub::Table& table, DocumentBinding::TableEntry& entry, ObjectChange& change);

  void UpdateWidths(const sub::Table& table, DocumentBinding::TableEntry& entry);

  void UpdateTitle(const sub::Table& table, DocumentBinding::TableEntry& entry);

  NodeId Section(NodeId tbl, int32_t kind);

  void UpdateRows(const sub::Table& table, DocumentBinding::TableEntry& entry);

  // Whether the content of a pasted cell is still what its origin held when
  // last read or saved: the same paragraphs, formats, anchors and overrides.
  bool SameAsOrigin(const sub::Cell& cell) const;

  // Writes a new row that a paste filled from a row of this file as a copy
  // of that row's statement (its height, its cells with their own properties,
  // straddles and paragraphs with every inline statement), into the empty
  // Row statement `node`. A cell whose content no longer matches its origin
  // is written from the model instead. False, with nothing written, when the
  // row has no origin in this file.
  bool WritePastedRow(const sub::Row& row, NodeId node);

  void ForgetRow(ObjectId r);

  void UpdateCells(const sub::Row& row, DocumentBinding::RowEntry& entry);

  void UpdateCell(const sub::Cell& cell, DocumentBinding::CellEntry& entry);

  bool ParagraphsChanged(const std::vector<ObjectId>& now, const std::vector<ObjectId>& baseline) const;

  bool ParagraphChanged(ObjectId id) const;

  // Brings the Paras of a container in line with the model's paragraph list:
  // removed paragraphs lose their statements, new ones are inserted after
  // their predecessor, changed ones are rewritten. frameOf gives the text frame
  // of a flow paragraph (for TextRectID), nullptr elsewhere.
  void SyncParagraphs(NodeId container, const std::vector<ObjectId>& now, std::vector<ObjectId>& baseline,
                      const std::unordered_map<ObjectId, ObjectId>* frameOf);

  void RewriteParagraph(const sub::Paragraph& p, DocumentBinding::ParagraphEntry& entry);

  // The ATbl statements in the ParaLines of a Para, with the text offset each
  // stands at, and the item each would be inserted before.
  struct LineItem {
    NodeId node;
    NodeId line;
    size_t offset;  // text offset where the item begins
    bool anchor;
    int64_t tblId;
  };
  std::vector<LineItem> LineItems(NodeId para) const;

  // Removes the ATbl statements of tables no longer anchored here and adds
  // ATbl statements for tables newly anchored, at their offsets (after any
  // anchors already at that offset).
  void MoveAnchors(NodeId para, const Anchors& before, const Anchors& after);

  void UpdateFlows();

  DocumentBinding& binding_;
  Document& tree_;
  TreeEditor editor_;
  const Model& model_;
  std::vector<ObjectId> tablesInOrder_;
  std::unordered_map<ObjectId, Anchors> anchors_;
  std::unordered_map<ObjectId, int64_t> tblIds_;
  ChangeRecord record_;
  size_t claimed_ = 0;  // edits of the tree's log already in record_
};

}  // namespace mapping
}  // namespace gw::mif
