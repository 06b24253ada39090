// The substitute host's document model: documents with their catalogues,
// pages, frames, flows, paragraphs and tables, and books with their component
// trees. Every object belongs to one Document or Book, which owns it
// (tinyxml2-style: objects are created through their owner and live until the
// owner dies or deletes them). Strings are stored as the host keeps them:
// 8-bit FrameRoman.
//
// A document from scratch, as a file loader would build it:
//
//   auto doc = Document::NewStandard("C:\\Books\\chapter1.fm");
//   Paragraph& p = doc->LastParagraph();           // the empty paragraph
//   doc->SetParagraphText(p.id, "Some text");
//   Table& t = *doc->AddTable("Format A", 2, 3, 1, 0, {p.id, 4});
//   doc->SetCellText(doc->CellAt(t.id, 1, 0), "body");  // row 1: first body row
//
// Object ids are unique in the process (kind << 24 | serial).
#ifndef GRIDWRIGHT_SUBSTITUTE_DOCUMENT_MODEL_H
#define GRIDWRIGHT_SUBSTITUTE_DOCUMENT_MODEL_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/fm_api.h"
#include "substitute/flat_map.h"
#include "substitute/host_codes.h"
#include "substitute/id_table.h"

namespace gw::substitute {

// A fresh id of the given kind; each kind counts its serials process-wide.
[[nodiscard]] ObjectId NewObjectId(ObjectKind kind);

// ---- Property values ----------------------------------------------------------------------

// The value kinds of single properties (GetIntProp, GetMetricProp, ...).
enum class ValueKind { kInt, kMetric, kId, kString, kInts, kTextLoc, kTextRange };

// One property value of a known kind. Int, metric and id share `number`.
struct PropertyValue {
  ValueKind kind = ValueKind::kInt;
  int32_t number = 0;
  std::string text;
  std::vector<int32_t> ints;
  TextRange range{};  // kTextLoc uses range.start

  [[nodiscard]] static PropertyValue Int(int32_t v) { return {ValueKind::kInt, v, {}, {}, {}}; }
  [[nodiscard]] static PropertyValue OfMetric(Metric v) { return {ValueKind::kMetric, v, {}, {}, {}}; }
  [[nodiscard]] static PropertyValue Id(ObjectId v) {
    return {ValueKind::kId, static_cast<int32_t>(v), {}, {}, {}};
  }
  [[nodiscard]] static PropertyValue String(std::string v) { return {ValueKind::kString, 0, std::move(v), {}, {}}; }
  [[nodiscard]] static PropertyValue Ints(std::vector<int32_t> v) {
    return {ValueKind::kInts, 0, {}, std::move(v), {}};
  }
  bool operator==(const PropertyValue&) const;
};

// Properties by code, ascending. Objects keep the properties they have here;
// links (first, next, parent) are computed from the model instead.
using PropertyBag = FlatMap<int32_t, PropertyValue>;

// A typed value of a property list (GetProps/SetProps), of the type codes the
// model keeps: 1 int, 2 metric, 3 string, 4 id, 5/13/15 ints, 6 strings, 9 text
// location, 10 text range and 20 a nested list of typed values.
struct ListValue {
  int32_t type = kValueInt;
  int32_t number = 0;
  std::string text;
  std::vector<int32_t> ints;
  std::vector<std::string> strings;
  std::vector<ListValue> list;
  TextRange range{};
  bool operator==(const ListValue&) const;
};

struct ListEntry {
  int32_t code = 0;
  ListValue value;
  bool operator==(const ListEntry&) const = default;
};
using ListProperties = std::vector<ListEntry>;

// ---- Document objects ---------------------------------------------------------------------

// A page of kind 5 (body), 6 (master), 7 (reference) or 8 (hidden).
struct Page {
  ObjectId id = 0;
  std::string name;
  std::vector<ObjectId> frames;  // top-level frames, in order
};

// A text frame (holds paragraphs of one flow) or a graphic frame (holds
// further frames). A top-level frame sits on a page, a nested one in a frame.
struct Frame {
  ObjectId id = 0;
  ObjectId page = 0;         // 880, for top-level frames
  ObjectId parentFrame = 0;  // 774, for nested frames
  ObjectId flow = 0;         // text frames only
  std::vector<ObjectId> paragraphs;  // text frames
  std::vector<ObjectId> frames;      // graphic frames
};

struct Flow {
  ObjectId id = 0;
  std::string tag;
  std::vector<ObjectId> frames;  // text frames in flow order
};

// A paragraph's copy of its format's properties. The paragraphs given one
// format share a single list until one of them is changed: Edit() first gives
// that paragraph a list of its own, so a change never reaches another.
class SharedListProperties {
 public:
  SharedListProperties() = default;
  explicit SharedListProperties(std::shared_ptr<ListProperties> list) : list_(std::move(list)) {}

  [[nodiscard]] const ListProperties& Get() const;
  // The list to change, this paragraph's own.
  [[nodiscard]] ListProperties& Edit();
  void Clear() { list_.reset(); }
  [[nodiscard]] bool SharesWith(const SharedListProperties& other) const { return list_ == other.list_; }
  bool operator==(const ListProperties& other) const { return Get() == other; }

 private:
  std::shared_ptr<ListProperties> list_;  // null: no properties
};

// A paragraph lives in a text frame, a table cell or a table title; `container`
// names which. Its format is a name and a copy of the format's properties.
struct Paragraph {
  ObjectId id = 0;
  ObjectId container = 0;
  std::string text;  // FrameRoman, without the paragraph end
  std::string formatName;
  SharedListProperties formatProperties;
  int32_t formatLocked = 0;  // 588
  // The paragraph (as first read) whose whole content a row paste copied
  // into this one, 0 for none. A file layer uses it to carry what the model
  // does not hold (markers, cross-references, anchored frames, fonts).
  ObjectId pastedFrom = 0;
};

struct ParagraphFormat {
  ObjectId id = 0;
  std::string name;
  ListProperties properties;  // every property but the name
};

// Colours and ruling styles are objects with a name (property 20).
struct NamedObject {
  ObjectId id = 0;
  std::string name;
};

// A table format: its name and the format-level properties (ints, metrics,
// ids of the catalogue's rulings and colours, 20 = title paragraph format).
struct TableFormat {
  ObjectId id = 0;
  std::string name;
  PropertyBag properties;
};

struct Cell {
  ObjectId id = 0;
  ObjectId row = 0;
  int32_t column = 0;
  std::vector<ObjectId> paragraphs;
  int32_t overrides[6] = {0, 0, 0, 0, 0, 0};  // 1190, 1191, 1192, 1193, 1196, 1197
  ObjectId pastedFrom = 0;  // as Paragraph::pastedFrom, for the cell's own properties
};

struct Row {
  ObjectId id = 0;
  ObjectId table = 0;
  int32_t kind = kRowBody;  // 1253
  std::vector<ObjectId> cells;
  ObjectId pastedFrom = 0;  // as Paragraph::pastedFrom, for the row's height and the like
};

// A table: its tag, the format-level properties it carries (its own copies),
// its rows (heading rows first, then body, then footing), its anchor and title.
struct Table {
  ObjectId id = 0;
  std::string tag;
  PropertyBag properties;
  std::vector<Metric> columnWidths;
  std::vector<ObjectId> rows;
  TextLoc anchor{};
  // Among tables anchored at the same text location, the one with the lower
  // sequence comes first in the text (as its anchor was read from a file).
  uint32_t anchorSequence = 0;
  std::vector<ObjectId> titleParagraphs;  // empty: no title
};

// ---- Documents -------------------------------------------------------------------------------

class Document {
 public:
  // An empty document: no catalogues, no pages, no flows. fileName is in host
  // form ("" for untitled).
  explicit Document(std::string fileName = {});
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // What the application's new documents hold: paragraph formats Body,
  // Heading1, Heading2, CellBody, CellHeading, TableTitle; table formats
  // "Format A" and "Format B"; colours and rulings; a body page with a text
  // frame of the main flow holding one empty paragraph; a master and a
  // reference page.
  [[nodiscard]] static std::unique_ptr<Document> NewStandard(std::string fileName = {});

  // A deep copy with fresh object ids (every link remapped).
  [[nodiscard]] std::unique_ptr<Document> Clone() const;

  [[nodiscard]] ObjectId Id() const { return id_; }
  std::string fileName;           // 20, host form, FrameRoman
  Metric displayUnit = 65536;     // 396
  int32_t bulkEdit = 0;           // 155
  TextRange selection{};          // 109 (text part)
  PropertyBag extraProperties;    // document properties set that the model does not interpret

  // A cell selection made by SelectTableCells (cleared by setting 109).
  struct CellSelection {
    ObjectId table = 0;
    int32_t topRow = 0, bottomRow = 0, leftColumn = 0, rightColumn = 0;
  };
  std::optional<CellSelection> cellSelection;

  // ---- Catalogues (in catalogue order) ----
  ParagraphFormat& AddParagraphFormat(std::string name, ListProperties properties);
  // A table format with the application's default properties; `like` copies
  // another format's properties instead; or one with the given properties.
  TableFormat& AddTableFormat(std::string name, const TableFormat* like = nullptr);
  TableFormat& AddTableFormat(std::string name, PropertyBag properties);
  NamedObject& AddColour(std::string name);
  NamedObject& AddRuling(std::string name);
  // Removes a table format from the catalogue; false when there is none.
  bool DeleteTableFormat(ObjectId format);
  // Gives a table format another name (the caller checks that no other format
  // has it); false when there is no such format. Formats are renamed only here,
  // so that lookups by name stay right.
  bool RenameTableFormat(ObjectId format, std::string name);

  [[nodiscard]] ParagraphFormat* FindParagraphFormat(std::string_view name);
  [[nodiscard]] TableFormat* FindTableFormat(std::string_view name);
  [[nodiscard]] ObjectId ColourId(std::string_view name) const;  // 0 when none
  [[nodiscard]] ObjectId RulingId(std::string_view name) const;
  [[nodiscard]] const std::vector<ObjectId>& ParagraphFormatOrder() const { return paragraphFormatOrder_; }
  [[nodiscard]] const std::vector<ObjectId>& TableFormatOrder() const { return tableFormatOrder_; }
  [[nodiscard]] const std::vector<ObjectId>& ColourOrder() const { return colourOrder_; }
  [[nodiscard]] const std::vector<ObjectId>& RulingOrder() const { return rulingOrder_; }
  [[nodiscard]] std::vector<std::string> TableFormatNames() const;
  // The table format after `format` in the catalogue, 0 for none.
  [[nodiscard]] ObjectId NextTableFormat(ObjectId format) const;

  // ---- Pages, frames, flows ----
  Page& AddPage(ObjectKind kind, std::string name = {});
  Flow& AddFlow(std::string tag);
  // A text frame of the flow, on the page (parentFrame 0) or inside a frame.
  Frame& AddTextFrame(ObjectId flow, ObjectId page, ObjectId parentFrame = 0);
  Frame& AddGraphicFrame(ObjectId page, ObjectId parentFrame = 0);
  [[nodiscard]] ObjectId MainFlow() const { return mainFlow_; }
  void SetMainFlow(ObjectId flow) { mainFlow_ = flow; }
  [[nodiscard]] const std::vector<ObjectId>& PageOrder() const { return pageOrder_; }
  [[nodiscard]] const std::vector<ObjectId>& FlowOrder() const { return flowOrder_; }

  // ---- Paragraphs ----
  // Appends a paragraph to a text frame, cell or table (its title). The
  // format's properties are copied when the document has the format.
  Paragraph& AppendParagraph(ObjectId container, std::string text, std::string formatName);
  // The last paragraph of the main flow's last text frame; a document
  // without one gets a main flow, frame and empty paragraph first.
  [[nodiscard]] Paragraph& LastParagraph();
  void SetParagraphText(ObjectId paragraph, std::string text);
  // The paragraphs of the main flow in text order.
  [[nodiscard]] std::vector<ObjectId> MainFlowParagraphs() const;
  // Inserts text at (paragraph, offset); each line feed ends the paragraph and
  // starts a new one after it holding the rest. Returns the location just past
  // the inserted text, or nullopt when the location is not in a paragraph.
  std::optional<TextLoc> InsertText(TextLoc at, std::string_view text);
  // Gives the paragraph the format's name and properties.
  void ApplyParagraphFormat(ObjectId paragraph, const ParagraphFormat& format);

  // ---- Tables ----
  // A table of the named format (nullptr when the format does not exist or the
  // anchor is not a paragraph). Rows: heading, then body, then footing; each
  // cell holds one empty paragraph.
  Table* AddTable(std::string_view formatName, int32_t columns, int32_t bodyRows, int32_t headingRows,
                  int32_t footingRows, TextLoc anchor);
  // A table of any tag (a format of that name need not exist) with the given
  // format-level properties and column widths, anchored at a paragraph; it has
  // no rows yet (InsertRows) and a title as its properties ask. nullptr when
  // the anchor is not a paragraph or there are no columns.
  Table* AddTableOfTag(std::string tag, PropertyBag properties, std::vector<Metric> columnWidths, TextLoc anchor);
  // Inserts count rows of the given kind at index `at` of the table's rows.
  std::vector<ObjectId> InsertRows(ObjectId table, size_t at, int32_t kind, int32_t count);
  void RemoveRow(ObjectId row);
  // Removes a table with its rows, cells and title; false when there is none.
  bool DeleteTable(ObjectId table);
  void SetCellText(ObjectId cell, std::string text);   // the first paragraph's text
  [[nodiscard]] std::string CellText(ObjectId cell) const;  // the first paragraph's text
  // The cell at (row index, column index) of a table, 0 when out of range.
  [[nodiscard]] ObjectId CellAt(ObjectId table, size_t row, size_t column) const;
  // Tables in document order: by the position of their anchors in the text
  // (flows in order, paragraphs in order, offsets ascending); a table anchored
  // in a cell follows the table of that cell. The order is kept and made again
  // only after tables are added, removed or moved.
  [[nodiscard]] std::vector<ObjectId> TablesInOrder() const;
  // The first table in document order, and the one after `table` (0 for none
  // or when `table` is not a table of this document).
  [[nodiscard]] ObjectId FirstTable() const;
  [[nodiscard]] ObjectId NextTable(ObjectId table) const;
  // The tables anchored in a paragraph, by offset (in document order where
  // offsets are equal).
  [[nodiscard]] std::vector<ObjectId> TablesAnchoredIn(ObjectId paragraph) const;
  // Callers that change a table's anchor, or a paragraph list reached through
  // a Find function, call this afterwards; the methods here do it themselves.
  void InvalidateTableOrder() { tableOrder_.valid = false; }
  // The title paragraph on or off, as title position 1289 asks.
  void UpdateTitle(Table& table);

  // ---- Lookup ----
  [[nodiscard]] Paragraph* FindParagraph(ObjectId id);
  [[nodiscard]] const Paragraph* FindParagraph(ObjectId id) const;
  [[nodiscard]] Table* FindTable(ObjectId id);
  [[nodiscard]] const Table* FindTable(ObjectId id) const;
  [[nodiscard]] Row* FindRow(ObjectId id);
  [[nodiscard]] const Row* FindRow(ObjectId id) const;
  [[nodiscard]] Cell* FindCell(ObjectId id);
  [[nodiscard]] const Cell* FindCell(ObjectId id) const;
  [[nodiscard]] TableFormat* FindTableFormat(ObjectId id);
  [[nodiscard]] const TableFormat* FindTableFormat(ObjectId id) const;
  [[nodiscard]] ParagraphFormat* FindParagraphFormat(ObjectId id);
  [[nodiscard]] const ParagraphFormat* FindParagraphFormat(ObjectId id) const;
  [[nodiscard]] Frame* FindFrame(ObjectId id);
  [[nodiscard]] const Frame* FindFrame(ObjectId id) const;
  [[nodiscard]] Flow* FindFlow(ObjectId id);
  [[nodiscard]] const Flow* FindFlow(ObjectId id) const;
  [[nodiscard]] Page* FindPage(ObjectId id);
  [[nodiscard]] const Page* FindPage(ObjectId id) const;
  [[nodiscard]] const NamedObject* FindNamed(ObjectId id) const;  // colours and rulings
  // The paragraph list of a container (text frame, cell, table title). The
  // changeable list counts as changed: the table order is made again.
  [[nodiscard]] std::vector<ObjectId>* ParagraphsOf(ObjectId container);
  [[nodiscard]] const std::vector<ObjectId>* ParagraphsOf(ObjectId container) const;
  // The table that holds a paragraph (in a cell or its title), 0 when none.
  [[nodiscard]] ObjectId TableOfParagraph(ObjectId paragraph) const;
  // The text frame that holds a paragraph; for a paragraph in a table, the
  // frame that holds the table's anchor.
  [[nodiscard]] ObjectId FrameOfParagraph(ObjectId paragraph) const;

  // ---- Work done, for tests that guard how cost grows ----
  struct WorkCounters {
    uint64_t tableOrderBuilds = 0;    // times the table order was made
    uint64_t tableOrderSteps = 0;     // objects visited making it or reading from it
    uint64_t catalogueComparisons = 0;  // catalogue entries compared with a name looked up
  };
  [[nodiscard]] const WorkCounters& Work() const { return work_; }

 private:
  Paragraph& NewParagraph(ObjectId container, std::string text, std::string formatName);
  Paragraph& NewParagraph(ObjectId container, std::string text, std::string formatName,
                          SharedListProperties formatProperties);
  // The properties of a format as paragraphs share them: one list per format,
  // made again when the format's properties no longer equal it.
  [[nodiscard]] SharedListProperties SharedProperties(const ParagraphFormat& format);
  // Built once per table order so that the walk stays linear (document_model.cpp).
  struct TableOrderIndex;
  void CollectTables(ObjectId paragraph, const TableOrderIndex& index, std::vector<ObjectId>& order,
                     std::vector<bool>& seen) const;
  // The kept table order, made when it is asked for after a change.
  struct TableOrder {
    bool valid = false;
    std::vector<ObjectId> order;
    std::unordered_map<ObjectId, size_t> position;  // table -> index in order
    std::unordered_map<ObjectId, std::vector<ObjectId>> anchoredIn;  // paragraph -> tables by offset
  };
  const TableOrder& KeptTableOrder() const;

  ObjectId id_;
  ObjectId mainFlow_ = 0;
  IdTable<ParagraphFormat> paragraphFormats_;
  std::vector<ObjectId> paragraphFormatOrder_;
  // Paragraph formats by name (checked on use: a hit must still carry the
  // name; a miss falls back to the catalogue order) and their shared lists.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  using NameIndex = std::unordered_map<std::string, ObjectId, NameHash, std::equal_to<>>;
  NameIndex paragraphFormatsByName_;
  std::unordered_map<ObjectId, std::shared_ptr<ListProperties>> sharedFormatProperties_;
  IdTable<TableFormat> tableFormats_;
  std::vector<ObjectId> tableFormatOrder_;
  NameIndex tableFormatsByName_;
  // Each format's neighbours in tableFormatOrder_ (previous, next), so that
  // walking the catalogue while formats are deleted stays linear.
  std::unordered_map<ObjectId, std::pair<ObjectId, ObjectId>> tableFormatLinks_;
  void LinkTableFormats();
  IdTable<NamedObject> named_;  // colours and rulings
  std::vector<ObjectId> colourOrder_;
  std::vector<ObjectId> rulingOrder_;
  NameIndex coloursByName_;  // the first of a name, as the catalogue order finds it
  NameIndex rulingsByName_;
  IdTable<Page> pages_;
  std::vector<ObjectId> pageOrder_;
  IdTable<Frame> frames_;
  IdTable<Flow> flows_;
  std::vector<ObjectId> flowOrder_;
  IdTable<Paragraph> paragraphs_;
  IdTable<Table> tables_;
  std::vector<ObjectId> tableCreationOrder_;
  IdTable<Row> rows_;
  IdTable<Cell> cells_;
  mutable TableOrder tableOrder_;
  mutable WorkCounters work_;

  friend class DocumentAccess;
};

// Default properties of the paragraph formats and table formats of new
// documents (used by NewStandard and available to file loaders).
[[nodiscard]] ListProperties DefaultParagraphFormatProperties(std::string_view name);
[[nodiscard]] PropertyBag DefaultTableFormatProperties(const Document& document);

// The value kind of a table format / table property, nullopt when the code is
// not one of them.
[[nodiscard]] std::optional<ValueKind> TableFormatPropertyKind(int32_t code);
// Sets a format-level property; the cell margins 581-584 and 1315-1318 are
// one set of values under two codes each and stay equal.
// The value is taken as a copy, so it may come from the same bag.
void SetFormatLevelProperty(PropertyBag& bag, int32_t code, PropertyValue value);
// Every format-level property code, in ascending order.
[[nodiscard]] const std::vector<int32_t>& TableFormatPropertyCodes();

// ---- Books -------------------------------------------------------------------------------

struct BookComponent {
  ObjectId id = 0;
  int32_t kind = kComponentDocument;  // 2329
  std::string fileName;               // 20, host form
  ObjectId parent = 0;
  std::vector<ObjectId> children;
};

class Book {
 public:
  explicit Book(std::string fileName);
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  [[nodiscard]] ObjectId Id() const { return id_; }
  std::string fileName;

  // Adds a component under parent (0: at the top level), at the end.
  BookComponent& AddComponent(ObjectId parent, int32_t kind, std::string fileName);
  [[nodiscard]] BookComponent* FindComponent(ObjectId id);
  [[nodiscard]] const std::vector<ObjectId>& TopLevel() const { return topLevel_; }
  // The siblings list that holds a component.
  [[nodiscard]] const std::vector<ObjectId>* SiblingsOf(ObjectId component);

  // The status line (108): its value and every value it was set to, in order.
  [[nodiscard]] const std::string& StatusLine() const { return statusHistory_.empty() ? empty_ : statusHistory_.back(); }
  [[nodiscard]] const std::vector<std::string>& StatusHistory() const { return statusHistory_; }
  void SetStatusLine(std::string text) { statusHistory_.push_back(std::move(text)); }

 private:
  ObjectId id_;
  std::vector<ObjectId> topLevel_;
  std::map<ObjectId, BookComponent> components_;
  std::vector<std::string> statusHistory_;
  std::string empty_;
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_DOCUMENT_MODEL_H
