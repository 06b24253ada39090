// MIF document trees to and from the substitute host's document model.
#include "mif/mif_document.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "mif/mif_reader.h"
#include "mif/mif_string.h"
#include "mif/mif_writer.h"

namespace gw::mif {

namespace sub = gw::substitute;
using Model = sub::Document;

namespace {

constexpr Metric kPoint = 65536;
// Every row of a table has a cell per column in the model, whatever the file
// writes; this bounds what a damaged or hostile file can make us allocate.
constexpr double kMaxCellsPerTable = 2'000'000;

// A table anchored in a paragraph: (offset, table), in text order.
using Anchors = std::vector<std::pair<int32_t, ObjectId>>;

// ---- Table format statements ------------------------------------------------------------

enum class Shape { kMetric, kInt, kBool, kKeyword, kRuling, kColour };

struct Keyword {
  const char* word;
  int32_t value;
};

constexpr Keyword kAlignments[] = {{"Left", 0},   {"Center", 1},  {"Right", 2},
                                   {"Inside", 3}, {"Outside", 4}, {nullptr, 0}};
constexpr Keyword kPlacements[] = {{"Anywhere", 0}, {"ColumnTop", 1}, {"PageTop", 2}, {"LPageTop", 3},
                                   {"RPageTop", 4}, {"Float", 5},     {nullptr, 0}};
constexpr Keyword kTitlePlacements[] = {{"None", 0}, {"InHeader", 1}, {"InFooter", 2}, {nullptr, 0}};

struct FormatStatement {
  const char* name;
  int32_t code;
  Shape shape;
  const Keyword* keywords;
};

// In the order the host writes them.
constexpr FormatStatement kFormatStatements[] = {
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
constexpr int32_t kCellMarginCodes[4] = {1317, 1315, 1318, 1316};
constexpr int32_t kTitleFormatCode = 20;

// ---- Cell overrides -------------------------------------------------------------------------

// One statement per override flag, in the order of kCellOverrideFlags.
constexpr const char* kCellOverrideStatements[6] = {"CellFill",    "CellColor",   "CellTRuling",
                                                    "CellBRuling", "CellLRuling", "CellRRuling"};

// ---- Special characters ------------------------------------------------------------------

struct SpecialChar {
  const char* name;
  char byte;
};

// <Char name> and the FrameRoman byte the model keeps for it.
constexpr SpecialChar kSpecialChars[] = {
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

const char* SpecialCharName(char byte) {
  if (static_cast<unsigned char>(byte) >= 0x20) return nullptr;
  for (const SpecialChar& special : kSpecialChars) {
    if (special.byte == byte) return special.name;
  }
  return nullptr;
}

// ---- Paragraph format statements ----------------------------------------------------------

constexpr int32_t kParaFontFamily = 1401;
constexpr int32_t kParaFontSize = 1402;
constexpr int32_t kParaColour = 1410;

struct PgfStatement {
  const char* name;
  int32_t code;
  bool keyword;  // alignment or Yes/No
};

constexpr PgfStatement kPgfStatements[] = {
    {"PgfFIndent", 1403, false},  {"PgfLIndent", 1404, false}, {"PgfRIndent", 1405, false},
    {"PgfSpBefore", 1406, false}, {"PgfSpAfter", 1407, false}, {"PgfLeading", 1409, false},
    {"PgfAlignment", 1408, true}, {"PgfWithNext", 1413, true},
};

constexpr Keyword kPgfAlignments[] = {{"Left", 0}, {"Center", 1}, {"Right", 2}, {"LeftRight", 3}, {nullptr, 0}};

// ---- Pages ---------------------------------------------------------------------------------

struct PageTypeName {
  const char* name;
  sub::ObjectKind kind;
};

constexpr PageTypeName kPageTypes[] = {
    {"BodyPage", sub::ObjectKind::kBodyPage},           {"LeftMasterPage", sub::ObjectKind::kMasterPage},
    {"RightMasterPage", sub::ObjectKind::kMasterPage},  {"OtherMasterPage", sub::ObjectKind::kMasterPage},
    {"ReferencePage", sub::ObjectKind::kReferencePage}, {"HiddenPage", sub::ObjectKind::kHiddenPage},
};

constexpr const char* kReservedColours[] = {"Black", "White", "Red", "Green", "Blue", "Cyan", "Magenta", "Yellow"};
constexpr const char* kStandardRulings[] = {"Thin", "Medium", "Double", "Thick", "Very Thin"};

// Display units: the keyword and its size in points.
struct DisplayUnit {
  const char* word;
  double points;
};
constexpr DisplayUnit kDisplayUnits[] = {
    {"Upt", 1.0},         {"Upica", 12.0},  {"Uin", 72.0},        {"Ucm", 720.0 / 25.4},
    {"Umm", 72.0 / 25.4}, {"Udd", 1.06574}, {"Ucicero", 12.7889}, {"UQ", 0.25 * 72.0 / 25.4},
};

std::optional<int32_t> KeywordValue(const Keyword* keywords, std::string_view word) {
  for (const Keyword* k = keywords; k->word != nullptr; ++k) {
    if (word == k->word) return k->value;
  }
  return std::nullopt;
}

bool HasKeyword(const Keyword* keywords, int32_t value) {
  for (const Keyword* k = keywords; k->word != nullptr; ++k) {
    if (k->value == value) return true;
  }
  return false;
}

const char* KeywordWord(const Keyword* keywords, int32_t value) {
  for (const Keyword* k = keywords; k->word != nullptr; ++k) {
    if (k->value == value) return k->word;
  }
  return keywords[0].word;
}

// A dimension value's text ("6.0 pt", "1.5\"", "2mm", "3") in points.
std::optional<double> ParseDimension(std::string_view raw, Unit unitless, Unit* written) {
  std::string text(raw);
  char* end = nullptr;
  double number = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return std::nullopt;
  std::string_view rest(end);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  Unit unit = unitless;
  if (!rest.empty()) {
    std::optional<Unit> named = UnitFromName(rest);
    if (!named) return std::nullopt;
    unit = *named;
  }
  if (written != nullptr) *written = unit;
  return number * PointsPerUnit(unit);
}

// Appends what DecodeString makes of a raw string, copying it straight when it
// has no escapes (and, in UTF-8 files, only ASCII): most strings of a file.
void AppendDecoded(std::string& out, std::string_view raw, double version) {
  std::string_view inner = raw;
  if (inner.size() >= 2 && inner.front() == '`' && inner.back() == '\'') inner = inner.substr(1, inner.size() - 2);
  bool plain = inner.find('\\') == std::string_view::npos;
  if (plain && version >= 8.0) {
    plain = std::none_of(inner.begin(), inner.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  }
  if (plain) {
    out.append(inner);
  } else {
    out += DecodeString(raw, version);
  }
}

Metric ToMetric(double points) { return static_cast<Metric>(std::llround(points * kPoint)); }
double ToPoints(Metric metric) { return static_cast<double>(metric) / kPoint; }

}  // namespace

// ---- The binding ---------------------------------------------------------------------------

class DocumentBinding {
 public:
  explicit DocumentBinding(Document parsed) : tree(std::move(parsed)) {}

  struct FormatEntry {
    NodeId node = kNoNode;
    std::string name;
    sub::PropertyBag baseline;
    std::vector<NodeId> duplicates;  // later catalogue entries of the same name; they go with it
  };
  struct ParagraphEntry {
    NodeId node = kNoNode;  // kNoNode: the model made it, the file has no statement yet
    std::string text;
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

  Document tree;
  ObjectId documentId = 0;
  Unit unitless = Unit::Inch;
  std::unordered_map<ObjectId, FormatEntry> tableFormats;
  std::unordered_set<std::string> colourNames;
  std::unordered_set<std::string> rulingNames;
  std::unordered_set<std::string> paragraphFormatNames;
  std::unordered_map<ObjectId, ParagraphEntry> paragraphs;
  std::unordered_map<ObjectId, CellEntry> cells;
  std::unordered_map<ObjectId, RowEntry> rows;
  std::unordered_map<ObjectId, TableEntry> tables;
  std::unordered_map<ObjectId, FlowEntry> flows;
  std::unordered_map<ObjectId, int64_t> frameRects;  // text frame -> TextRect ID
  int64_t nextTblId = 1;
};

namespace {

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
sub::TableFormat* FormatOf(const Model& model, ObjectId id) { return const_cast<Model&>(model).FindTableFormat(id); }
sub::ParagraphFormat* ParagraphFormatOf(const Model& model, ObjectId id) {
  return const_cast<Model&>(model).FindParagraphFormat(id);
}

std::string NameOf(const Model& model, const sub::PropertyValue& value) {
  if (value.number == 0) return {};
  const sub::NamedObject* named = model.FindNamed(static_cast<ObjectId>(value.number));
  return named != nullptr ? named->name : std::string();
}

// Whether a statement already says the value (then it keeps its text).
bool Says(const Document& tree, NodeId node, const FormatStatement& statement, const sub::PropertyValue& value,
          const Model& model, Unit unitless) {
  if (tree.Values(node).size() != 1) return false;
  switch (statement.shape) {
    case Shape::kMetric: {
      Result<int32_t> metric = tree.ReadMetric(node, unitless);
      return metric && metric.Value() == value.number;
    }
    case Shape::kInt: {
      Result<int64_t> number = tree.ReadInt(node);
      return number && number.Value() == value.number;
    }
    case Shape::kBool: {
      Result<std::string> word = tree.ReadKeyword(node);
      return word && word.Value() == (value.number == 1 ? "Yes" : "No");
    }
    case Shape::kKeyword: {
      Result<std::string> word = tree.ReadKeyword(node);
      return word && word.Value() == KeywordWord(statement.keywords, value.number);
    }
    case Shape::kRuling:
    case Shape::kColour: {
      Result<std::string> name = tree.ReadString(node);
      return name && name.Value() == NameOf(model, value);
    }
  }
  return false;
}

// Writes one format-level property into a statement, as its shape asks. A
// keyword value the file format has no word for leaves a written value as it
// is (a new statement gets the first word).
void SetProperty(TreeEditor& editor, NodeId node, const FormatStatement& statement, const sub::PropertyValue& value,
                 const Model& model, Unit unitless) {
  if (Says(editor.Tree(), node, statement, value, model, unitless)) return;
  if (statement.shape == Shape::kKeyword && !HasKeyword(statement.keywords, value.number) &&
      !editor.Tree().Values(node).empty()) {
    return;
  }
  switch (statement.shape) {
    case Shape::kMetric:
      editor.SetPoints(node, ToPoints(value.number));
      break;
    case Shape::kInt:
      editor.SetInt(node, value.number);
      break;
    case Shape::kBool:
      editor.SetKeyword(node, value.number == 1 ? "Yes" : "No");
      break;
    case Shape::kKeyword:
      editor.SetKeyword(node, KeywordWord(statement.keywords, value.number));
      break;
    case Shape::kRuling:
    case Shape::kColour:
      editor.SetString(node, NameOf(model, value));
      break;
  }
}

sub::PropertyValue ValueOr(const sub::PropertyBag& bag, int32_t code) {
  auto it = bag.find(code);
  if (it != bag.end()) return it->second;
  std::optional<sub::ValueKind> kind = sub::TableFormatPropertyKind(code);
  sub::PropertyValue value;
  value.kind = kind.value_or(sub::ValueKind::kInt);
  return value;
}

// Writes the given properties of a bag into a TblFormat statement: existing
// statements get the new value, missing ones are appended. codes null: all.
void WriteFormatProperties(TreeEditor& editor, NodeId format, const sub::PropertyBag& bag, const Model& model,
                           const std::vector<int32_t>* codes, Unit unitless) {
  Document& tree = editor.Tree();
  const auto wanted = [&](int32_t code) {
    return codes == nullptr || std::find(codes->begin(), codes->end(), code) != codes->end();
  };
  for (const FormatStatement& statement : kFormatStatements) {
    if (!wanted(statement.code)) continue;
    NodeId node = editor.Child(format, statement.name);
    if (node != kNoNode) SetProperty(editor, node, statement, ValueOr(bag, statement.code), model, unitless);
  }
  bool margins = false;
  for (int32_t code : kCellMarginCodes) margins = margins || wanted(code) || wanted(code - 1315 + 581);
  if (margins) {
    NodeId node = tree.FindChild(format, "TblCellMargins");
    std::vector<NodeId> values = node != kNoNode ? tree.Values(node) : std::vector<NodeId>{};
    if (node != kNoNode && values.size() != 4) {
      editor.Remove(node);
      node = kNoNode;
    }
    if (node == kNoNode) {
      node = editor.Append(format, "TblCellMargins");
      for (int32_t code : kCellMarginCodes) {
        if (node != kNoNode) (void)tree.AppendDimension(node, ToPoints(ValueOr(bag, code).number), Unit::Point);
      }
    } else {
      for (size_t i = 0; i < 4; ++i) {
        // Margins that keep their value keep their text.
        Unit unit = Unit::Point;
        std::optional<double> written = ParseDimension(tree.RawText(values[i]), unitless, &unit);
        const Metric wanted = ValueOr(bag, kCellMarginCodes[i]).number;
        if (written && ToMetric(*written) == wanted) continue;
        double points = ToPoints(wanted);
        Status set =
            tree.SetRawValue(values[i], FormatDimension(points / PointsPerUnit(unit), unit), NodeKind::Dimension);
        (void)set;
      }
    }
  }
  if (wanted(kTitleFormatCode)) {
    NodeId title = editor.Child(format, "TblTitlePgf1");
    if (title != kNoNode) {
      NodeId tag = editor.Child(title, "PgfTag");
      if (tag != kNoNode) editor.SetString(tag, ValueOr(bag, kTitleFormatCode).text);
    }
  }
}

// The codes whose values differ between two bags (both directions).
std::vector<int32_t> ChangedCodes(const sub::PropertyBag& before, const sub::PropertyBag& after) {
  std::vector<int32_t> codes;
  for (const auto& [code, value] : after) {
    auto it = before.find(code);
    if (it == before.end() || !(it->second == value)) codes.push_back(code);
  }
  for (const auto& [code, value] : before) {
    if (after.find(code) == after.end()) codes.push_back(code);
  }
  return codes;
}

// The anchors of every table, by paragraph, in offset order.
std::unordered_map<ObjectId, Anchors> AnchorsByParagraph(const Model& model,
                                                         const std::vector<ObjectId>& tablesInOrder) {
  std::unordered_map<ObjectId, Anchors> anchors;
  for (ObjectId table : tablesInOrder) {
    const sub::Table* t = model.FindTable(table);
    if (t != nullptr && t->anchor.object != 0) anchors[t->anchor.object].emplace_back(t->anchor.offset, table);
  }
  for (auto& [paragraph, list] : anchors) {
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  return anchors;
}

// Writes text as String and Char statements, and the anchors as ATbl
// statements at their offsets, into a ParaLine.
void WriteLineContent(TreeEditor& editor, NodeId line, std::string_view text, const Anchors& anchors,
                      const std::unordered_map<ObjectId, int64_t>& tblIds) {
  size_t anchor = 0;
  std::string run;
  const auto flush = [&] {
    if (!run.empty()) editor.AppendString(line, "String", run);
    run.clear();
  };
  const auto anchorsAt = [&](size_t offset) {
    while (anchor < anchors.size() && static_cast<size_t>(std::max(anchors[anchor].first, 0)) <= offset) {
      auto id = tblIds.find(anchors[anchor].second);
      if (id != tblIds.end()) {
        flush();
        editor.AppendInt(line, "ATbl", id->second);
      }
      ++anchor;
    }
  };
  for (size_t i = 0; i < text.size(); ++i) {
    anchorsAt(i);
    if (const char* name = SpecialCharName(text[i])) {
      flush();
      editor.AppendKeyword(line, "Char", name);
    } else {
      run.push_back(text[i]);
    }
  }
  anchorsAt(std::numeric_limits<size_t>::max());  // anchors past the text end stand at its end
  flush();
}

// Fills a new Para statement.
void WriteParagraph(TreeEditor& editor, NodeId para, const sub::Paragraph& paragraph, const Anchors& anchors,
                    int64_t textRect, const std::unordered_map<ObjectId, int64_t>& tblIds) {
  editor.AppendString(para, "PgfTag", paragraph.formatName);
  NodeId line = editor.Append(para, "ParaLine");
  if (line == kNoNode) return;
  if (textRect >= 0) editor.AppendInt(line, "TextRectID", textRect);
  WriteLineContent(editor, line, paragraph.text, anchors, tblIds);
}

// Fills a new Cell statement: its overrides and its paragraphs.
void WriteCell(TreeEditor& editor, NodeId cellNode, const Model& model, const sub::Cell& cell,
               const std::unordered_map<ObjectId, Anchors>& anchors,
               const std::unordered_map<ObjectId, int64_t>& tblIds) {
  for (size_t i = 0; i < 6; ++i) {
    if (cell.overrides[i] != 1) continue;
    if (i == 0) {
      editor.AppendInt(cellNode, "CellFill", 15);
    } else if (i == 1) {
      editor.AppendString(cellNode, "CellColor", "Black");
    } else {
      editor.AppendString(cellNode, kCellOverrideStatements[i], "");
    }
  }
  NodeId content = editor.Append(cellNode, "CellContent");
  if (content == kNoNode) return;
  static const Anchors kNone;
  for (ObjectId p : cell.paragraphs) {
    const sub::Paragraph* paragraph = model.FindParagraph(p);
    if (paragraph == nullptr) continue;
    auto found = anchors.find(p);
    WriteParagraph(editor, editor.Append(content, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                   -1, tblIds);
  }
}

// Fills a new Tbl statement with the whole table.
void WriteTable(TreeEditor& editor, NodeId tbl, const Model& model, const sub::Table& table, int64_t tblId,
                const std::unordered_map<ObjectId, Anchors>& anchors,
                const std::unordered_map<ObjectId, int64_t>& tblIds) {
  static const Anchors kNone;
  editor.AppendInt(tbl, "TblID", tblId);
  editor.AppendString(tbl, "TblTag", table.tag);
  NodeId format = editor.Append(tbl, "TblFormat");
  if (format != kNoNode)
    WriteFormatProperties(editor, format, table.properties, model, nullptr, editor.Tree().DeclaredUnit());
  editor.AppendInt(tbl, "TblNumColumns", static_cast<int64_t>(table.columnWidths.size()));
  for (Metric width : table.columnWidths) editor.AppendPoints(tbl, "TblColumnWidth", ToPoints(width));
  if (!table.titleParagraphs.empty()) {
    NodeId content = editor.Append(editor.Append(tbl, "TblTitle"), "TblTitleContent");
    for (ObjectId p : table.titleParagraphs) {
      const sub::Paragraph* paragraph = model.FindParagraph(p);
      if (paragraph == nullptr || content == kNoNode) continue;
      auto found = anchors.find(p);
      WriteParagraph(editor, editor.Append(content, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                     -1, tblIds);
    }
  }
  const char* sections[3] = {"TblH", "TblBody", "TblF"};
  for (int32_t kind = 0; kind < 3; ++kind) {
    NodeId section = kNoNode;
    for (ObjectId r : table.rows) {
      const sub::Row* row = model.FindRow(r);
      if (row == nullptr || std::clamp(row->kind, 0, 2) != kind) continue;
      if (section == kNoNode) section = editor.Append(tbl, sections[kind]);
      NodeId rowNode = editor.Append(section, "Row");
      for (ObjectId c : row->cells) {
        const sub::Cell* cell = model.FindCell(c);
        if (cell != nullptr && rowNode != kNoNode)
          WriteCell(editor, editor.Append(rowNode, "Cell"), model, *cell, anchors, tblIds);
      }
    }
  }
}

// ---- Reading -------------------------------------------------------------------------------

class Reader {
 public:
  Reader(DocumentBinding& binding, Model& model) : binding_(binding), tree_(binding.tree), model_(model) {}

  Status Run() {
    binding_.documentId = model_.Id();
    binding_.unitless = tree_.DeclaredUnit();
    std::vector<NodeId> pages, flows, tbls;
    NodeId colours = kNoNode, rulings = kNoNode, pgfs = kNoNode, formats = kNoNode, document = kNoNode;
    for (NodeId node = tree_.FirstChild(tree_.Root()); node != kNoNode; node = tree_.Next(node)) {
      if (!tree_.IsStatement(node)) continue;
      std::string_view name = tree_.Name(node);
      if (name == "ColorCatalog" && colours == kNoNode)
        colours = node;
      else if (name == "RulingCatalog" && rulings == kNoNode)
        rulings = node;
      else if (name == "PgfCatalog" && pgfs == kNoNode)
        pgfs = node;
      else if (name == "TblCatalog" && formats == kNoNode)
        formats = node;
      else if (name == "Document" && document == kNoNode)
        document = node;
      else if (name == "Page")
        pages.push_back(node);
      else if (name == "TextFlow")
        flows.push_back(node);
      else if (name == "Tbls")
        tbls.push_back(node);
    }
    if (Status s = ReadNames(colours, "Color", "ColorTag", binding_.colourNames, true); !s) return s;
    for (const char* reserved : kReservedColours) {
      if (model_.ColourId(reserved) == 0) model_.AddColour(reserved);
    }
    if (Status s = ReadNames(rulings, "Ruling", "RulingTag", binding_.rulingNames, false); !s) return s;
    if (Status s = ReadParagraphFormats(pgfs); !s) return s;
    if (Status s = ReadTableFormats(formats); !s) return s;
    if (Status s = ReadDisplayUnit(document); !s) return s;
    for (NodeId page : pages) {
      if (Status s = ReadPage(page); !s) return s;
    }
    for (NodeId flow : flows) {
      if (Status s = ReadFlow(flow); !s) return s;
    }
    for (NodeId group : tbls) {
      for (NodeId tbl = tree_.FirstChild(group); tbl != kNoNode; tbl = tree_.Next(tbl)) {
        if (tree_.IsStatement(tbl) && tree_.Name(tbl) == "Tbl") {
          if (Status s = ReadTable(tbl); !s) return s;
        }
      }
    }
    ResolveAnchors();
    // Text rectangles no flow runs through are still frames on their pages.
    for (const auto& [id, rect] : rectOrder_) {
      if (!rect.used) binding_.frameRects[model_.AddTextFrame(0, rect.page, rect.parentFrame).id] = id;
    }
    ChooseMainFlow();
    return Status::Ok();
  }

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
                   std::unordered_set<std::string>& names, bool colours) {
    if (catalog == kNoNode) return Status::Ok();
    for (NodeId node : tree_.FindChildren(catalog, entry)) {
      NodeId tag = tree_.FindChild(node, tagName);
      if (tag == kNoNode) continue;
      Result<std::string> name = StringOf(tag);
      if (!name) return name.GetError();
      if (!names.insert(name.Value()).second) continue;
      if (colours) {
        model_.AddColour(name.Value());
      } else {
        model_.AddRuling(name.Value());
      }
    }
    return Status::Ok();
  }

  Status ReadParagraphFormats(NodeId catalog) {
    if (catalog == kNoNode) return Status::Ok();
    const ObjectId black = model_.ColourId("Black");
    for (NodeId pgf : tree_.FindChildren(catalog, "Pgf")) {
      NodeId tag = tree_.FindChild(pgf, "PgfTag");
      if (tag == kNoNode) continue;
      Result<std::string> name = StringOf(tag);
      if (!name) return name.GetError();
      if (!binding_.paragraphFormatNames.insert(name.Value()).second) continue;
      sub::ListProperties properties = sub::DefaultParagraphFormatProperties(name.Value());
      const auto set = [&](int32_t code, sub::ListValue value) {
        for (sub::ListEntry& entry : properties) {
          if (entry.code == code) entry.value = std::move(value);
        }
      };
      for (sub::ListEntry& entry : properties) {
        if (entry.code == kParaColour) entry.value.number = static_cast<int32_t>(black);
      }
      for (const PgfStatement& statement : kPgfStatements) {
        NodeId node = tree_.FindChild(pgf, statement.name);
        if (node == kNoNode) continue;
        sub::ListValue value;
        if (statement.keyword) {
          Result<std::string> word = tree_.ReadKeyword(node);
          if (!word) return word.GetError();
          value.type = kValueInt;
          value.number = statement.code == 1408 ? KeywordValue(kPgfAlignments, word.Value()).value_or(0)
                                                : (word.Value() == "Yes" ? 1 : 0);
        } else {
          Result<int32_t> metric = tree_.ReadMetric(node, binding_.unitless);
          if (!metric) return metric.GetError();
          value.type = kValueMetric;
          value.number = metric.Value();
        }
        set(statement.code, std::move(value));
      }
      if (NodeId font = tree_.FindChild(pgf, "PgfFont"); font != kNoNode) {
        if (NodeId family = tree_.FindChild(font, "FFamily"); family != kNoNode) {
          Result<std::string> text = StringOf(family);
          if (!text) return text.GetError();
          sub::ListValue value;
          value.type = kValueString;
          value.text = text.Value();
          set(kParaFontFamily, std::move(value));
        }
        if (NodeId size = tree_.FindChild(font, "FSize"); size != kNoNode) {
          Result<int32_t> metric = tree_.ReadMetric(size, Unit::Point);
          if (!metric) return metric.GetError();
          sub::ListValue value;
          value.type = kValueMetric;
          value.number = metric.Value();
          set(kParaFontSize, std::move(value));
        }
      }
      model_.AddParagraphFormat(name.Value(), std::move(properties));
    }
    return Status::Ok();
  }

  // Reads the property statements present in a TblFormat over a bag.
  Status ReadFormatStatements(NodeId format, sub::PropertyBag& bag) {
    for (const FormatStatement& statement : kFormatStatements) {
      NodeId node = tree_.FindChild(format, statement.name);
      if (node == kNoNode) continue;
      sub::PropertyValue value;
      switch (statement.shape) {
        case Shape::kMetric: {
          Result<int32_t> metric = tree_.ReadMetric(node, binding_.unitless);
          if (!metric) return metric.GetError();
          value = sub::PropertyValue::OfMetric(metric.Value());
          break;
        }
        case Shape::kInt: {
          Result<int64_t> number = tree_.ReadInt(node);
          if (!number) return number.GetError();
          value = sub::PropertyValue::Int(static_cast<int32_t>(number.Value()));
          break;
        }
        case Shape::kBool:
        case Shape::kKeyword: {
          Result<std::string> word = tree_.ReadKeyword(node);
          if (!word) return word.GetError();
          std::optional<int32_t> number;
          if (statement.shape == Shape::kBool) {
            if (word.Value() == "Yes") number = 1;
            if (word.Value() == "No") number = 0;
          } else {
            number = KeywordValue(statement.keywords, word.Value());
          }
          if (!number) return Fail(node, "unknown value " + word.Value());
          value = sub::PropertyValue::Int(*number);
          break;
        }
        case Shape::kRuling:
        case Shape::kColour: {
          Result<std::string> name = StringOf(node);
          if (!name) return name.GetError();
          ObjectId id =
              statement.shape == Shape::kRuling ? model_.RulingId(name.Value()) : model_.ColourId(name.Value());
          value = sub::PropertyValue::Id(id);
          break;
        }
      }
      bag[statement.code] = value;
    }
    if (NodeId node = tree_.FindChild(format, "TblCellMargins"); node != kNoNode) {
      std::vector<NodeId> values = tree_.Values(node);
      if (values.size() != 4) return Fail(node, "expected four margins, found " + std::to_string(values.size()));
      for (size_t i = 0; i < 4; ++i) {
        std::optional<double> points = ParseDimension(tree_.RawText(values[i]), binding_.unitless, nullptr);
        if (!points || std::abs(*points) > 32767.0) {
          return Fail(node, "bad margin \"" + std::string(tree_.RawText(values[i])) + "\"");
        }
        sub::SetFormatLevelProperty(bag, kCellMarginCodes[i], sub::PropertyValue::OfMetric(ToMetric(*points)));
      }
    }
    if (NodeId title = tree_.FindChild(format, "TblTitlePgf1"); title != kNoNode) {
      if (NodeId tag = tree_.FindChild(title, "PgfTag"); tag != kNoNode) {
        Result<std::string> name = StringOf(tag);
        if (!name) return name.GetError();
        bag[kTitleFormatCode] = sub::PropertyValue::String(name.Value());
      }
    }
    return Status::Ok();
  }

  Status ReadTableFormats(NodeId catalog) {
    if (catalog == kNoNode) return Status::Ok();
    for (NodeId format : tree_.FindChildren(catalog, "TblFormat")) {
      NodeId tag = tree_.FindChild(format, "TblTag");
      if (tag == kNoNode) continue;
      Result<std::string> name = StringOf(tag);
      if (!name) return name.GetError();
      if (const sub::TableFormat* first = model_.FindTableFormat(name.Value()); first != nullptr) {
        // The first of a name counts; the others are deleted along with it.
        auto entry = binding_.tableFormats.find(first->id);
        if (entry != binding_.tableFormats.end()) entry->second.duplicates.push_back(format);
        continue;
      }
      sub::PropertyBag bag = sub::DefaultTableFormatProperties(model_);
      if (Status s = ReadFormatStatements(format, bag); !s) return s;
      sub::TableFormat& added = model_.AddTableFormat(name.Value());
      added.properties = bag;
      binding_.tableFormats[added.id] = {format, name.Value(), std::move(bag), {}};
    }
    return Status::Ok();
  }

  Status ReadDisplayUnit(NodeId document) {
    if (document == kNoNode) return Status::Ok();
    NodeId units = tree_.FindChild(document, "DUnits");
    if (units == kNoNode) return Status::Ok();
    Result<std::string> word = tree_.ReadKeyword(units);
    if (!word) return word.GetError();
    for (const DisplayUnit& unit : kDisplayUnits) {
      if (word.Value() == unit.word) model_.displayUnit = ToMetric(unit.points);
    }
    return Status::Ok();
  }

  Status ReadPage(NodeId page) {
    sub::ObjectKind kind = sub::ObjectKind::kBodyPage;
    if (NodeId type = tree_.FindChild(page, "PageType"); type != kNoNode) {
      Result<std::string> word = tree_.ReadKeyword(type);
      if (!word) return word.GetError();
      bool known = false;
      for (const PageTypeName& entry : kPageTypes) {
        if (word.Value() == entry.name) {
          kind = entry.kind;
          known = true;
        }
      }
      if (!known) return Fail(type, "unknown page type " + word.Value());
    }
    std::string name;
    for (const char* statement : {"PageTag", "PageNum"}) {
      NodeId node = tree_.FindChild(page, statement);
      if (node == kNoNode || !name.empty()) continue;
      Result<std::string> text = StringOf(node);
      if (!text) return text.GetError();
      name = text.Value();
    }
    sub::Page& added = model_.AddPage(kind, name);
    return ReadFrames(page, added.id, 0, kind == sub::ObjectKind::kBodyPage);
  }

  // TextRects and graphic Frames (with what they hold) of a page or frame.
  Status ReadFrames(NodeId parent, ObjectId page, ObjectId parentFrame, bool bodyPage) {
    for (NodeId node = tree_.FirstChild(parent); node != kNoNode; node = tree_.Next(node)) {
      if (!tree_.IsStatement(node)) continue;
      std::string_view name = tree_.Name(node);
      if (name == "TextRect") {
        NodeId idNode = tree_.FindChild(node, "ID");
        if (idNode == kNoNode) continue;
        Result<int64_t> id = tree_.ReadInt(idNode);
        if (!id) return id.GetError();
        if (rects_.count(id.Value()) != 0)
          return Fail(idNode, "text frame ID " + std::to_string(id.Value()) + " used twice");
        rects_.try_emplace(id.Value(), Rect{page, parentFrame, bodyPage, false});
        rectOrder_.emplace_back(id.Value(), Rect{page, parentFrame, bodyPage, false});
      } else if (name == "Frame") {
        sub::Frame& frame = model_.AddGraphicFrame(page, parentFrame);
        if (Status s = ReadFrames(node, page, frame.id, bodyPage); !s) return s;
      }
    }
    return Status::Ok();
  }

  // The text frame of a flow in a text rectangle, made on first use.
  ObjectId FrameFor(ObjectId flow, int64_t rect) {
    auto key = std::make_pair(flow, rect);
    auto found = flowFrames_.find(key);
    if (found != flowFrames_.end()) return found->second;
    ObjectId page = 0, parentFrame = 0;
    auto r = rects_.find(rect);
    if (r != rects_.end()) {
      page = r->second.page;
      parentFrame = r->second.parentFrame;
      r->second.used = true;
      for (auto& [id, ordered] : rectOrder_) {
        if (id == rect) ordered.used = true;
      }
      if (r->second.bodyPage) flowsOnBodyPages_.insert(flow);
    }
    ObjectId frame = model_.AddTextFrame(flow, page, parentFrame).id;
    if (r != rects_.end()) binding_.frameRects[frame] = rect;
    flowFrames_[key] = frame;
    return frame;
  }

  // The text of a Para, its anchors (recorded as pending) and the text
  // rectangles its lines name.
  struct ParaText {
    std::string text;
    std::vector<std::pair<int32_t, int64_t>> anchors;  // offset, TblID
    int64_t firstRect = -1;
    int64_t lastRect = -1;
  };

  Status ReadParaText(NodeId para, ParaText& out) {
    const auto noteRect = [&](NodeId node) -> Status {
      Result<int64_t> id = tree_.ReadInt(node);
      if (!id) return id.GetError();
      if (out.firstRect < 0) out.firstRect = id.Value();
      out.lastRect = id.Value();
      return Status::Ok();
    };
    for (NodeId child = tree_.FirstChild(para); child != kNoNode; child = tree_.Next(child)) {
      if (!tree_.IsStatement(child)) continue;
      std::string_view name = tree_.Name(child);
      if (name == "TextRectID") {
        if (Status s = noteRect(child); !s) return s;
        continue;
      }
      if (name != "ParaLine") continue;
      for (NodeId item = tree_.FirstChild(child); item != kNoNode; item = tree_.Next(item)) {
        if (!tree_.IsStatement(item)) continue;
        std::string_view itemName = tree_.Name(item);
        if (itemName == "String") {
          Result<NodeId> value = tree_.SingleValue(item);
          if (!value) return value.GetError();
          if (tree_.KindOf(value.Value()) != NodeKind::String) return Fail(item, "expected a string");
          AppendDecoded(out.text, tree_.RawText(value.Value()), tree_.Version());
        } else if (itemName == "Char") {
          Result<std::string> word = tree_.ReadKeyword(item);
          if (!word) return word.GetError();
          for (const SpecialChar& special : kSpecialChars) {
            if (word.Value() == special.name) {
              out.text.push_back(special.byte);
              break;
            }
          }
        } else if (itemName == "ATbl") {
          Result<int64_t> id = tree_.ReadInt(item);
          if (!id) return id.GetError();
          out.anchors.emplace_back(static_cast<int32_t>(out.text.size()), id.Value());
        } else if (itemName == "TextRectID") {
          if (Status s = noteRect(item); !s) return s;
        }
      }
    }
    return Status::Ok();
  }

  // The format a Para names (PgfTag, or the PgfTag of its Pgf), else inherited.
  Result<std::string> ParaFormat(NodeId para, const std::string& inherited) {
    NodeId tag = tree_.FindChild(para, "PgfTag");
    if (tag == kNoNode) {
      if (NodeId pgf = tree_.FindChild(para, "Pgf"); pgf != kNoNode) tag = tree_.FindChild(pgf, "PgfTag");
    }
    if (tag == kNoNode) return inherited;
    return StringOf(tag);
  }

  void Bind(ObjectId paragraph, NodeId node, const sub::Paragraph& p, int64_t textRect) {
    DocumentBinding::ParagraphEntry& entry = binding_.paragraphs[paragraph];
    entry.node = node;
    entry.text = p.text;
    entry.format = p.formatName;
    entry.textRect = textRect;
  }

  void NotePending(ObjectId paragraph, const ParaText& text) {
    for (const auto& [offset, tblId] : text.anchors) pending_.push_back({paragraph, offset, tblId});
  }

  Status ReadFlow(NodeId flowNode) {
    std::string tag;
    if (NodeId tagNode = tree_.FindChild(flowNode, "TFTag"); tagNode != kNoNode) {
      Result<std::string> text = StringOf(tagNode);
      if (!text) return text.GetError();
      tag = text.Value();
    }
    bool autoConnect = false;
    if (NodeId connect = tree_.FindChild(flowNode, "TFAutoConnect"); connect != kNoNode) {
      Result<std::string> word = tree_.ReadKeyword(connect);
      autoConnect = word && word.Value() == "Yes";
    }
    sub::Flow& flow = model_.AddFlow(tag);
    const ObjectId flowId = flow.id;
    flowOrder_.push_back({flowId, autoConnect});
    DocumentBinding::FlowEntry& entry = binding_.flows[flowId];
    entry.node = flowNode;
    int64_t currentRect = -1;
    std::string format = "Body";
    for (NodeId para = tree_.FirstChild(flowNode); para != kNoNode; para = tree_.Next(para)) {
      if (!tree_.IsStatement(para) || tree_.Name(para) != "Para") continue;
      ParaText text;
      if (Status s = ReadParaText(para, text); !s) return s;
      Result<std::string> named = ParaFormat(para, format);
      if (!named) return named.GetError();
      format = named.Value();
      int64_t rect = text.firstRect >= 0 ? text.firstRect : currentRect;
      if (text.lastRect >= 0) currentRect = text.lastRect;
      ObjectId frame = FrameFor(flowId, rect);
      sub::Paragraph& paragraph = model_.AppendParagraph(frame, std::move(text.text), format);
      Bind(paragraph.id, para, paragraph, text.firstRect);
      NotePending(paragraph.id, text);
      binding_.flows[flowId].paragraphs.push_back(paragraph.id);
    }
    return Status::Ok();
  }

  // Reads the Paras of a container (cell content, table title) into the
  // model's paragraph list of target, reusing the paragraphs already there.
  // list is that list (ParagraphsOf(target)); it stays in place in its cell or
  // table while paragraphs are added to it.
  Status ReadContainer(NodeId content, ObjectId target, std::vector<ObjectId>* list, std::string format) {
    if (list == nullptr) return Status::Ok();
    size_t index = 0;
    if (content != kNoNode) {
      for (NodeId para = tree_.FirstChild(content); para != kNoNode; para = tree_.Next(para)) {
        if (!tree_.IsStatement(para) || tree_.Name(para) != "Para") continue;
        ParaText text;
        if (Status s = ReadParaText(para, text); !s) return s;
        Result<std::string> named = ParaFormat(para, format);
        if (!named) return named.GetError();
        format = std::move(named).Value();
        sub::Paragraph* paragraph = nullptr;
        if (index < list->size()) {
          paragraph = model_.FindParagraph((*list)[index]);
          paragraph->text = std::move(text.text);
          if (paragraph->formatName != format) {
            if (sub::ParagraphFormat* f = model_.FindParagraphFormat(format)) {
              model_.ApplyParagraphFormat(paragraph->id, *f);  // its name is format
            } else {
              paragraph->formatName = format;
              paragraph->formatProperties.Clear();
            }
          }
        } else {
          paragraph = &model_.AppendParagraph(target, std::move(text.text), format);
        }
        ++index;
        Bind(paragraph->id, para, *paragraph, -1);
        NotePending(paragraph->id, text);
      }
    }
    // Paragraphs the model made that the file has no statement for.
    for (size_t i = index; i < list->size(); ++i) Bind((*list)[i], kNoNode, *model_.FindParagraph((*list)[i]), -1);
    return Status::Ok();
  }

  // Any paragraph the model has, for AddTable's anchor; made when none exists.
  ObjectId SomeParagraph() {
    for (const auto& [id, entry] : binding_.paragraphs) return id;
    if (placeholder_ == 0) placeholder_ = model_.AppendParagraph(model_.AddTextFrame(0, 0).id, "", "Body").id;
    return placeholder_;
  }

  Status ReadTable(NodeId tbl) {
    NodeId idNode = tree_.FindChild(tbl, "TblID");
    if (idNode == kNoNode) return Fail(tbl, "table without TblID");
    Result<int64_t> tblId = tree_.ReadInt(idNode);
    if (!tblId) return tblId.GetError();
    if (tablesById_.count(tblId.Value()) != 0)
      return Fail(idNode, "TblID " + std::to_string(tblId.Value()) + " used twice");
    // The largest possible ID leaves no next one; new tables then count on from the others.
    if (tblId.Value() < std::numeric_limits<int64_t>::max()) {
      binding_.nextTblId = std::max(binding_.nextTblId, tblId.Value() + 1);
    }

    std::string tag;
    NodeId tagNode = tree_.FindChild(tbl, "TblTag");
    NodeId ownFormat = tree_.FindChild(tbl, "TblFormat");
    if (tagNode == kNoNode && ownFormat != kNoNode) tagNode = tree_.FindChild(ownFormat, "TblTag");
    if (tagNode != kNoNode) {
      Result<std::string> text = StringOf(tagNode);
      if (!text) return text.GetError();
      tag = text.Value();
    }
    // A table has its format's properties (AddTable below copies them), over
    // which its own format statement, when it has one, is read.
    std::optional<sub::PropertyBag> own;
    if (ownFormat != kNoNode) {
      const sub::TableFormat* format = model_.FindTableFormat(tag);
      own = format != nullptr ? format->properties : sub::DefaultTableFormatProperties(model_);
      if (Status s = ReadFormatStatements(ownFormat, *own); !s) return s;
    }

    std::vector<Metric> widths;
    for (NodeId width : tree_.FindChildren(tbl, "TblColumnWidth")) {
      Result<int32_t> metric = tree_.ReadMetric(width, binding_.unitless);
      if (!metric) return metric.GetError();
      widths.push_back(metric.Value());
    }
    struct SectionRows {
      int32_t kind;
      std::vector<NodeId> rows;
      std::vector<std::vector<NodeId>> cells;  // the Cell statements of each row
    };
    SectionRows sections[3] = {{sub::kRowHeading, {}, {}}, {sub::kRowBody, {}, {}}, {sub::kRowFooting, {}, {}}};
    const char* sectionNames[3] = {"TblH", "TblBody", "TblF"};
    size_t widest = 0;
    for (int i = 0; i < 3; ++i) {
      for (NodeId section : tree_.FindChildren(tbl, sectionNames[i])) {
        for (NodeId row : tree_.FindChildren(section, "Row")) {
          sections[i].rows.push_back(row);
          sections[i].cells.push_back(tree_.FindChildren(row, "Cell"));
          widest = std::max(widest, sections[i].cells.back().size());
        }
      }
    }
    int64_t columns = static_cast<int64_t>(std::max(widths.size(), widest));
    if (NodeId count = tree_.FindChild(tbl, "TblNumColumns"); count != kNoNode) {
      Result<int64_t> number = tree_.ReadInt(count);
      if (!number) return number.GetError();
      if (number.Value() < 1 || number.Value() > 4096) return Fail(count, "bad number of columns");
      columns = number.Value();
    }
    columns = std::max<int64_t>(columns, 1);
    const size_t rowCount = sections[0].rows.size() + sections[1].rows.size() + sections[2].rows.size();
    if (static_cast<double>(rowCount) * static_cast<double>(columns) > kMaxCellsPerTable) {
      return Fail(tbl,
                  "table too large: " + std::to_string(rowCount) + " rows of " + std::to_string(columns) + " columns");
    }

    // The model makes tables only in a format it has and at a paragraph; a
    // format made for the purpose is taken away again at once.
    bool madeFormat = false;
    if (model_.FindTableFormat(tag) == nullptr) {
      model_.AddTableFormat(tag);
      madeFormat = true;
    }
    sub::Table* table =
        model_.AddTable(tag, static_cast<int32_t>(columns), static_cast<int32_t>(sections[1].rows.size()),
                        static_cast<int32_t>(sections[0].rows.size()), static_cast<int32_t>(sections[2].rows.size()),
                        TextLoc{SomeParagraph(), 0});
    if (madeFormat) {
      if (sub::TableFormat* made = model_.FindTableFormat(tag)) model_.DeleteTableFormat(made->id);
    }
    if (table == nullptr) return Fail(tbl, "the table could not be made");
    const ObjectId tableId = table->id;
    table->anchor = TextLoc{0, 0};
    if (own) table->properties = std::move(*own);
    auto titleNamed = table->properties.find(kTitleFormatCode);
    const std::string titleFormat = titleNamed != table->properties.end() ? titleNamed->second.text : "TableTitle";
    widths.resize(static_cast<size_t>(columns), widths.empty() ? 72 * kPoint : widths.back());
    table->columnWidths = std::move(widths);
    model_.UpdateTitle(*table);
    tablesById_[tblId.Value()] = tableId;

    DocumentBinding::TableEntry entry;
    entry.node = tbl;
    entry.tblId = tblId.Value();
    entry.tag = tag;

    // Title paragraphs.
    NodeId titleContent = kNoNode;
    if (NodeId title = tree_.FindChild(tbl, "TblTitle"); title != kNoNode) {
      titleContent = tree_.FindChild(title, "TblTitleContent");
    }
    if (!model_.FindTable(tableId)->titleParagraphs.empty()) {
      if (Status s = ReadContainer(titleContent, tableId, model_.ParagraphsOf(tableId), titleFormat); !s) return s;
    }

    // Rows and cells: the model's rows are heading, body, footing in order.
    size_t rowIndex = 0;
    for (const SectionRows& section : sections) {
      for (size_t r = 0; r < section.rows.size(); ++r) {
        const NodeId rowNode = section.rows[r];
        ObjectId rowId = table->rows[rowIndex++];  // the model's objects stay in place
        sub::Row* row = model_.FindRow(rowId);
        const std::string cellFormat = row->kind == sub::kRowBody ? "CellBody" : "CellHeading";
        DocumentBinding::RowEntry& rowEntry = binding_.rows[rowId];
        rowEntry.node = rowNode;
        rowEntry.kind = row->kind;
        rowEntry.cells = row->cells;
        const std::vector<NodeId>& cellNodes = section.cells[r];
        for (size_t c = 0; c < row->cells.size(); ++c) {
          ObjectId cellId = row->cells[c];
          sub::Cell* cell = model_.FindCell(cellId);
          DocumentBinding::CellEntry& cellEntry = binding_.cells[cellId];
          cellEntry.row = rowNode;
          NodeId content = kNoNode;
          if (c < cellNodes.size()) {
            cellEntry.node = cellNodes[c];
            // One pass over the cell's statements: its override flags and content.
            std::fill(std::begin(cell->overrides), std::end(cell->overrides), 0);
            for (NodeId child = tree_.FirstChild(cellNodes[c]); child != kNoNode; child = tree_.Next(child)) {
              if (!tree_.IsStatement(child)) continue;
              std::string_view name = tree_.Name(child);
              if (name == "CellContent") {
                if (content == kNoNode) content = child;
                continue;
              }
              for (size_t f = 0; f < 6; ++f) {
                if (name == kCellOverrideStatements[f]) cell->overrides[f] = 1;
              }
            }
          }
          std::copy(std::begin(cell->overrides), std::end(cell->overrides), cellEntry.overrides.begin());
          if (Status s = ReadContainer(content, cellId, &cell->paragraphs, cellFormat); !s) return s;
          cellEntry.paragraphs = cell->paragraphs;
        }
      }
    }
    const sub::Table& made = *model_.FindTable(tableId);
    entry.baseline = made.properties;
    entry.widths = made.columnWidths;
    entry.rows = made.rows;
    entry.title = made.titleParagraphs;
    binding_.tables[tableId] = std::move(entry);
    return Status::Ok();
  }

  void ResolveAnchors() {
    std::unordered_set<ObjectId> anchored;
    for (const PendingAnchor& anchor : pending_) {
      auto table = tablesById_.find(anchor.tblId);
      if (table == tablesById_.end() || !anchored.insert(table->second).second) continue;
      model_.FindTable(table->second)->anchor = TextLoc{anchor.paragraph, anchor.offset};
    }
    // The anchors in file order are the anchors in text order.
    for (const PendingAnchor& anchor : pending_) {
      auto table = tablesById_.find(anchor.tblId);
      if (table == tablesById_.end()) continue;
      const sub::Table* made = model_.FindTable(table->second);
      if (made->anchor.object != anchor.paragraph || made->anchor.offset != anchor.offset) continue;
      auto entry = binding_.paragraphs.find(anchor.paragraph);
      if (entry != binding_.paragraphs.end()) entry->second.anchors.emplace_back(anchor.offset, table->second);
    }
  }

  void ChooseMainFlow() {
    ObjectId chosen = 0;
    for (const auto& [flow, autoConnect] : flowOrder_) {
      if (autoConnect && flowsOnBodyPages_.count(flow) != 0) {
        chosen = flow;
        break;
      }
    }
    for (const auto& [flow, autoConnect] : flowOrder_) {
      if (chosen == 0 && flowsOnBodyPages_.count(flow) != 0) chosen = flow;
    }
    if (chosen == 0 && !flowOrder_.empty()) chosen = flowOrder_.front().first;
    model_.SetMainFlow(chosen);
  }

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

  Status Run() {
    if (model_.Id() != binding_.documentId) {
      return Error{tree_.FileName() + ": save: the document is not the one read from this file"};
    }
    tablesInOrder_ = model_.TablesInOrder();
    anchors_ = AnchorsByParagraph(model_, tablesInOrder_);
    for (const auto& [id, entry] : binding_.tables) tblIds_[id] = entry.tblId;
    for (ObjectId table : tablesInOrder_) {
      if (tblIds_.count(table) == 0) tblIds_[table] = binding_.nextTblId++;
    }
    UpdateTableFormats();
    UpdateTables();
    UpdateFlows();
    return editor_.Outcome();
  }

 private:
  // Names used by properties must exist in the file's catalogues.
  void EnsureNamed(const sub::PropertyBag& bag) {
    for (const FormatStatement& statement : kFormatStatements) {
      if (statement.shape != Shape::kRuling && statement.shape != Shape::kColour) continue;
      auto it = bag.find(statement.code);
      if (it == bag.end()) continue;
      std::string name = NameOf(model_, it->second);
      if (name.empty()) continue;
      bool ruling = statement.shape == Shape::kRuling;
      std::unordered_set<std::string>& names = ruling ? binding_.rulingNames : binding_.colourNames;
      if (!ruling && std::find_if(std::begin(kReservedColours), std::end(kReservedColours),
                                  [&](const char* c) { return name == c; }) != std::end(kReservedColours)) {
        continue;
      }
      if (!names.insert(name).second) continue;
      NodeId catalog = TopLevel(ruling ? "RulingCatalog" : "ColorCatalog", "TblCatalog");
      NodeId entry = editor_.Append(catalog, ruling ? "Ruling" : "Color");
      editor_.AppendString(entry, ruling ? "RulingTag" : "ColorTag", name);
    }
  }

  // A top-level statement, made before `before` (or at the end) when missing.
  NodeId TopLevel(std::string_view name, std::string_view before) {
    NodeId node = tree_.FindChild(tree_.Root(), name);
    if (node != kNoNode) return node;
    NodeId next = tree_.FindChild(tree_.Root(), before);
    return next != kNoNode ? editor_.Before(next, name) : editor_.Append(tree_.Root(), name);
  }

  void UpdateTableFormats() {
    std::unordered_set<ObjectId> present(model_.TableFormatOrder().begin(), model_.TableFormatOrder().end());
    std::vector<ObjectId> gone;
    for (const auto& [id, entry] : binding_.tableFormats) {
      if (present.count(id) == 0) gone.push_back(id);
    }
    for (ObjectId id : gone) {
      editor_.Remove(binding_.tableFormats[id].node);
      for (NodeId duplicate : binding_.tableFormats[id].duplicates) editor_.Remove(duplicate);
      binding_.tableFormats.erase(id);
    }
    NodeId catalog = kNoNode;
    for (ObjectId id : model_.TableFormatOrder()) {
      const sub::TableFormat* format = FormatOf(model_, id);
      if (format == nullptr) continue;
      auto entry = binding_.tableFormats.find(id);
      if (entry == binding_.tableFormats.end()) {
        if (catalog == kNoNode) catalog = TopLevel("TblCatalog", "Tbls");
        EnsureNamed(format->properties);
        NodeId node = editor_.Append(catalog, "TblFormat");
        editor_.AppendString(node, "TblTag", format->name);
        WriteFormatProperties(editor_, node, format->properties, model_, nullptr, binding_.unitless);
        binding_.tableFormats[id] = {node, format->name, format->properties, {}};
        continue;
      }
      if (entry->second.name != format->name) {
        editor_.SetString(editor_.Child(entry->second.node, "TblTag"), format->name);
        entry->second.name = format->name;
      }
      std::vector<int32_t> changed = ChangedCodes(entry->second.baseline, format->properties);
      if (!changed.empty()) {
        EnsureNamed(format->properties);
        WriteFormatProperties(editor_, entry->second.node, format->properties, model_, &changed, binding_.unitless);
        entry->second.baseline = format->properties;
      }
    }
  }

  NodeId TblsNode() {
    NodeId node = tree_.FindChild(tree_.Root(), "Tbls");
    if (node != kNoNode) return node;
    for (const char* before : {"Page", "TextFlow"}) {
      NodeId next = tree_.FindChild(tree_.Root(), before);
      if (next != kNoNode) return editor_.Before(next, "Tbls");
    }
    return editor_.Append(tree_.Root(), "Tbls");
  }

  void UpdateTables() {
    const std::vector<ObjectId>& order = tablesInOrder_;
    std::unordered_set<ObjectId> present(order.begin(), order.end());
    std::vector<ObjectId> gone;
    for (const auto& [id, entry] : binding_.tables) {
      if (present.count(id) == 0) gone.push_back(id);
    }
    for (ObjectId id : gone) {
      editor_.Remove(binding_.tables[id].node);
      binding_.tables.erase(id);
    }
    for (ObjectId id : order) {
      const sub::Table* table = model_.FindTable(id);
      auto entry = binding_.tables.find(id);
      if (entry == binding_.tables.end()) {
        EnsureNamed(table->properties);
        NodeId tbl = editor_.Append(TblsNode(), "Tbl");
        if (tbl == kNoNode) return;
        WriteTable(editor_, tbl, model_, *table, tblIds_[id], anchors_, tblIds_);
        BindNewTable(*table, tbl);
        continue;
      }
      UpdateTable(*table, entry->second);
    }
  }

  // After a table was written whole: bind it, its rows, cells and paragraphs.
  void BindNewTable(const sub::Table& table, NodeId tbl) {
    DocumentBinding::TableEntry& entry = binding_.tables[table.id];
    entry.node = tbl;
    entry.tblId = tblIds_[table.id];
    entry.tag = table.tag;
    entry.baseline = table.properties;
    entry.widths = table.columnWidths;
    entry.rows = table.rows;
    entry.title = table.titleParagraphs;
    if (!table.titleParagraphs.empty()) {
      NodeId content = tree_.FindChild(tree_.FindChild(tbl, "TblTitle"), "TblTitleContent");
      BindParagraphs(table.titleParagraphs, content);
    }
    std::vector<NodeId> rowNodes;
    for (const char* section : {"TblH", "TblBody", "TblF"}) {
      NodeId node = tree_.FindChild(tbl, section);
      if (node == kNoNode) continue;
      for (NodeId row : tree_.FindChildren(node, "Row")) rowNodes.push_back(row);
    }
    // Rows were written grouped by kind; bind them in that order.
    std::vector<ObjectId> rows;
    for (int32_t kind = 0; kind < 3; ++kind) {
      for (ObjectId r : table.rows) {
        const sub::Row* row = model_.FindRow(r);
        if (row != nullptr && std::clamp(row->kind, 0, 2) == kind) rows.push_back(r);
      }
    }
    for (size_t i = 0; i < rows.size() && i < rowNodes.size(); ++i) BindNewRow(rows[i], rowNodes[i]);
  }

  void BindNewRow(ObjectId rowId, NodeId rowNode) {
    const sub::Row* row = model_.FindRow(rowId);
    DocumentBinding::RowEntry& entry = binding_.rows[rowId];
    entry.node = rowNode;
    entry.kind = row->kind;
    entry.cells = row->cells;
    std::vector<NodeId> cellNodes = tree_.FindChildren(rowNode, "Cell");
    for (size_t c = 0; c < row->cells.size() && c < cellNodes.size(); ++c)
      BindNewCell(row->cells[c], cellNodes[c], rowNode);
  }

  void BindNewCell(ObjectId cellId, NodeId cellNode, NodeId rowNode) {
    const sub::Cell* cell = model_.FindCell(cellId);
    DocumentBinding::CellEntry& entry = binding_.cells[cellId];
    entry.node = cellNode;
    entry.row = rowNode;
    std::copy(std::begin(cell->overrides), std::end(cell->overrides), entry.overrides.begin());
    entry.paragraphs = cell->paragraphs;
    BindParagraphs(cell->paragraphs, tree_.FindChild(cellNode, "CellContent"));
  }

  void BindParagraphs(const std::vector<ObjectId>& paragraphs, NodeId container) {
    std::vector<NodeId> nodes = container != kNoNode ? tree_.FindChildren(container, "Para") : std::vector<NodeId>{};
    for (size_t i = 0; i < paragraphs.size(); ++i) {
      const sub::Paragraph* p = model_.FindParagraph(paragraphs[i]);
      if (p == nullptr) continue;
      DocumentBinding::ParagraphEntry& entry = binding_.paragraphs[paragraphs[i]];
      entry.node = i < nodes.size() ? nodes[i] : kNoNode;
      entry.text = p->text;
      entry.format = p->formatName;
      entry.anchors = AnchorsOf(paragraphs[i]);
      entry.textRect = -1;
    }
  }

  const Anchors& AnchorsOf(ObjectId paragraph) const {
    static const Anchors kNone;
    auto found = anchors_.find(paragraph);
    return found != anchors_.end() ? found->second : kNone;
  }

  void UpdateTable(const sub::Table& table, DocumentBinding::TableEntry& entry) {
    const NodeId tbl = entry.node;
    if (entry.tag != table.tag || !ChangedCodes(entry.baseline, table.properties).empty()) {
      EnsureNamed(table.properties);
      NodeId tag = tree_.FindChild(tbl, "TblTag");
      if (tag == kNoNode) {
        NodeId id = tree_.FindChild(tbl, "TblID");
        tag = id != kNoNode ? editor_.After(id, "TblTag") : editor_.Append(tbl, "TblTag");
      }
      editor_.SetString(tag, table.tag);
      NodeId format = tree_.FindChild(tbl, "TblFormat");
      if (format == kNoNode) format = editor_.After(tag, "TblFormat");
      if (format != kNoNode) {
        if (NodeId inner = tree_.FindChild(format, "TblTag"); inner != kNoNode) editor_.SetString(inner, table.tag);
        WriteFormatProperties(editor_, format, table.properties, model_, nullptr, binding_.unitless);
      }
      entry.tag = table.tag;
      entry.baseline = table.properties;
    }
    if (entry.widths != table.columnWidths) UpdateWidths(table, entry);
    UpdateTitle(table, entry);
    UpdateRows(table, entry);
  }

  void UpdateWidths(const sub::Table& table, DocumentBinding::TableEntry& entry) {
    const NodeId tbl = entry.node;
    std::vector<NodeId> nodes = tree_.FindChildren(tbl, "TblColumnWidth");
    if (nodes.size() == table.columnWidths.size()) {
      for (size_t i = 0; i < nodes.size(); ++i) editor_.SetPoints(nodes[i], ToPoints(table.columnWidths[i]));
    } else {
      for (NodeId node : nodes) editor_.Remove(node);
      NodeId count = editor_.Child(tbl, "TblNumColumns");
      editor_.SetInt(count, static_cast<int64_t>(table.columnWidths.size()));
      NodeId previous = count;
      for (Metric width : table.columnWidths) {
        previous = editor_.After(previous, "TblColumnWidth");
        if (previous != kNoNode) (void)tree_.AppendDimension(previous, ToPoints(width), Unit::Point);
      }
    }
    entry.widths = table.columnWidths;
  }

  void UpdateTitle(const sub::Table& table, DocumentBinding::TableEntry& entry) {
    NodeId title = tree_.FindChild(entry.node, "TblTitle");
    if (table.titleParagraphs.empty()) {
      if (!entry.title.empty() && title != kNoNode) editor_.Remove(title);
      for (ObjectId p : entry.title) binding_.paragraphs.erase(p);
      entry.title.clear();
      return;
    }
    if (!ParagraphsChanged(table.titleParagraphs, entry.title)) return;
    if (entry.title.empty() && title != kNoNode) {
      // A title the model did not read (its table had no title position) is replaced.
      editor_.Remove(title);
      title = kNoNode;
    }
    if (title == kNoNode) {
      NodeId before = kNoNode;
      for (const char* section : {"TblH", "TblBody", "TblF"}) {
        if (before == kNoNode) before = tree_.FindChild(entry.node, section);
      }
      title = before != kNoNode ? editor_.Before(before, "TblTitle") : editor_.Append(entry.node, "TblTitle");
    }
    if (title == kNoNode) return;
    NodeId content = editor_.Child(title, "TblTitleContent");
    SyncParagraphs(content, table.titleParagraphs, entry.title, nullptr);
  }

  NodeId Section(NodeId tbl, int32_t kind) {
    static const char* const kNames[3] = {"TblH", "TblBody", "TblF"};
    kind = std::clamp(kind, 0, 2);
    NodeId node = tree_.FindChild(tbl, kNames[kind]);
    if (node != kNoNode) return node;
    for (int32_t later = kind + 1; later < 3; ++later) {
      NodeId next = tree_.FindChild(tbl, kNames[later]);
      if (next != kNoNode) return editor_.Before(next, kNames[kind]);
    }
    return editor_.Append(tbl, kNames[kind]);
  }

  void UpdateRows(const sub::Table& table, DocumentBinding::TableEntry& entry) {
    std::unordered_set<ObjectId> present(table.rows.begin(), table.rows.end());
    for (ObjectId r : entry.rows) {
      auto row = binding_.rows.find(r);
      if (row == binding_.rows.end()) continue;
      const sub::Row* now = model_.FindRow(r);
      if (present.count(r) == 0 || now == nullptr || now->kind != row->second.kind) {
        editor_.Remove(row->second.node);
        ForgetRow(r);
      }
    }
    NodeId previous = kNoNode;
    int32_t previousKind = -1;
    for (ObjectId r : table.rows) {
      const sub::Row* row = model_.FindRow(r);
      if (row == nullptr) continue;
      auto bound = binding_.rows.find(r);
      if (bound != binding_.rows.end()) {
        UpdateCells(*row, bound->second);
        previous = bound->second.node;
        previousKind = row->kind;
        continue;
      }
      NodeId node;
      if (previous != kNoNode && previousKind == row->kind) {
        node = editor_.After(previous, "Row");
      } else {
        NodeId section = Section(entry.node, row->kind);
        NodeId first = section != kNoNode ? tree_.FindChild(section, "Row") : kNoNode;
        node = first != kNoNode ? editor_.Before(first, "Row") : editor_.Append(section, "Row");
      }
      if (node == kNoNode) return;
      for (ObjectId c : row->cells) {
        if (const sub::Cell* cell = model_.FindCell(c))
          WriteCell(editor_, editor_.Append(node, "Cell"), model_, *cell, anchors_, tblIds_);
      }
      BindNewRow(r, node);
      previous = node;
      previousKind = row->kind;
    }
    entry.rows = table.rows;
  }

  void ForgetRow(ObjectId r) {
    auto row = binding_.rows.find(r);
    if (row == binding_.rows.end()) return;
    for (ObjectId c : row->second.cells) {
      auto cell = binding_.cells.find(c);
      if (cell == binding_.cells.end()) continue;
      for (ObjectId p : cell->second.paragraphs) binding_.paragraphs.erase(p);
      binding_.cells.erase(cell);
    }
    binding_.rows.erase(row);
  }

  void UpdateCells(const sub::Row& row, DocumentBinding::RowEntry& entry) {
    for (ObjectId c : row.cells) {
      const sub::Cell* cell = model_.FindCell(c);
      auto bound = binding_.cells.find(c);
      if (cell == nullptr) continue;
      if (bound == binding_.cells.end()) {
        WriteCell(editor_, editor_.Append(entry.node, "Cell"), model_, *cell, anchors_, tblIds_);
        std::vector<NodeId> cells = tree_.FindChildren(entry.node, "Cell");
        if (!cells.empty()) BindNewCell(c, cells.back(), entry.node);
        continue;
      }
      UpdateCell(*cell, bound->second);
    }
    entry.cells = row.cells;
  }

  void UpdateCell(const sub::Cell& cell, DocumentBinding::CellEntry& entry) {
    bool overridesChanged = !std::equal(entry.overrides.begin(), entry.overrides.end(), std::begin(cell.overrides));
    if (entry.node == kNoNode) {
      // A cell the file had no statement for: written whole once it differs.
      bool changed = overridesChanged || entry.paragraphs != cell.paragraphs;
      for (ObjectId p : cell.paragraphs) changed = changed || ParagraphChanged(p);
      if (!changed) return;
      NodeId node = editor_.Append(entry.row, "Cell");
      WriteCell(editor_, node, model_, cell, anchors_, tblIds_);
      BindNewCell(cell.id, node, entry.row);
      return;
    }
    if (overridesChanged) {
      NodeId content = tree_.FindChild(entry.node, "CellContent");
      for (size_t i = 0; i < 6; ++i) {
        if ((entry.overrides[i] == 1) == (cell.overrides[i] == 1)) continue;
        if (cell.overrides[i] != 1) {
          for (NodeId node : tree_.FindChildren(entry.node, kCellOverrideStatements[i])) editor_.Remove(node);
          if (i == 1) {
            for (NodeId node : tree_.FindChildren(entry.node, "CellSeparation")) editor_.Remove(node);
          }
        } else {
          NodeId node = content != kNoNode ? editor_.Before(content, kCellOverrideStatements[i])
                                           : editor_.Append(entry.node, kCellOverrideStatements[i]);
          if (node == kNoNode) continue;
          if (i == 0) {
            (void)tree_.AppendInt(node, 15);
          } else {
            (void)tree_.AppendString(node, i == 1 ? "Black" : "");
          }
        }
      }
      std::copy(std::begin(cell.overrides), std::end(cell.overrides), entry.overrides.begin());
    }
    if (!ParagraphsChanged(cell.paragraphs, entry.paragraphs)) return;
    NodeId content = editor_.Child(entry.node, "CellContent");
    SyncParagraphs(content, cell.paragraphs, entry.paragraphs, nullptr);
  }

  bool ParagraphsChanged(const std::vector<ObjectId>& now, const std::vector<ObjectId>& baseline) const {
    if (now != baseline) return true;
    return std::any_of(now.begin(), now.end(), [&](ObjectId p) { return ParagraphChanged(p); });
  }

  bool ParagraphChanged(ObjectId id) const {
    const sub::Paragraph* p = model_.FindParagraph(id);
    auto entry = binding_.paragraphs.find(id);
    if (p == nullptr || entry == binding_.paragraphs.end()) return true;
    return entry->second.text != p->text || entry->second.format != p->formatName ||
           entry->second.anchors != AnchorsOf(id);
  }

  // Brings the Paras of a container in line with the model's paragraph list:
  // removed paragraphs lose their statements, new ones are inserted after
  // their predecessor, changed ones are rewritten. frameOf gives the text frame
  // of a flow paragraph (for TextRectID), nullptr elsewhere.
  void SyncParagraphs(NodeId container, const std::vector<ObjectId>& now, std::vector<ObjectId>& baseline,
                      const std::unordered_map<ObjectId, ObjectId>* frameOf) {
    if (container == kNoNode) return;
    std::unordered_set<ObjectId> present(now.begin(), now.end());
    for (ObjectId p : baseline) {
      if (present.count(p) != 0) continue;
      auto entry = binding_.paragraphs.find(p);
      if (entry == binding_.paragraphs.end()) continue;
      editor_.Remove(entry->second.node);
      binding_.paragraphs.erase(entry);
    }
    NodeId previous = kNoNode;
    ObjectId previousFrame = 0;
    for (ObjectId id : now) {
      const sub::Paragraph* p = model_.FindParagraph(id);
      if (p == nullptr) continue;
      ObjectId frame = 0;
      if (frameOf != nullptr) {
        auto found = frameOf->find(id);
        if (found != frameOf->end()) frame = found->second;
      }
      auto entry = binding_.paragraphs.find(id);
      if (entry != binding_.paragraphs.end() && entry->second.node != kNoNode) {
        if (ParagraphChanged(id)) RewriteParagraph(*p, entry->second);
        previous = entry->second.node;
        previousFrame = frame;
        continue;
      }
      // A paragraph the file never had a statement for stays unwritten until it changes.
      if (entry != binding_.paragraphs.end() && !ParagraphChanged(id)) continue;
      NodeId node;
      if (previous != kNoNode) {
        node = editor_.After(previous, "Para");
      } else {
        NodeId first = tree_.FindChild(container, "Para");
        node = first != kNoNode ? editor_.Before(first, "Para") : editor_.Append(container, "Para");
      }
      if (node == kNoNode) return;
      int64_t rect = -1;
      if (frameOf != nullptr && (previous == kNoNode || frame != previousFrame)) {
        auto r = binding_.frameRects.find(frame);
        if (r != binding_.frameRects.end()) rect = r->second;
      }
      WriteParagraph(editor_, node, *p, AnchorsOf(id), rect, tblIds_);
      DocumentBinding::ParagraphEntry& bound = binding_.paragraphs[id];
      bound = {node, p->text, p->formatName, AnchorsOf(id), rect};
      previous = node;
      previousFrame = frame;
    }
    baseline = now;
  }

  void RewriteParagraph(const sub::Paragraph& p, DocumentBinding::ParagraphEntry& entry) {
    const NodeId para = entry.node;
    if (entry.format != p.formatName) {
      NodeId tag = tree_.FindChild(para, "PgfTag");
      if (tag == kNoNode) {
        NodeId first = tree_.FirstChild(para);
        tag = first != kNoNode ? editor_.Before(first, "PgfTag") : editor_.Append(para, "PgfTag");
      }
      editor_.SetString(tag, p.formatName);
      // A Pgf override naming the old format would win over PgfTag.
      if (NodeId pgf = tree_.FindChild(para, "Pgf"); pgf != kNoNode) {
        if (NodeId inner = tree_.FindChild(pgf, "PgfTag"); inner != kNoNode) editor_.SetString(inner, p.formatName);
      }
    }
    const Anchors& anchors = AnchorsOf(p.id);
    if (entry.text != p.text || entry.anchors != anchors) {
      // The first line keeps the text frame it names; other line content
      // (markers, variables) goes with the old text.
      int64_t rect = -1;
      std::vector<NodeId> lines = tree_.FindChildren(para, "ParaLine");
      for (NodeId line : lines) {
        NodeId id = tree_.FindChild(line, "TextRectID");
        if (id != kNoNode && rect < 0) {
          Result<int64_t> number = tree_.ReadInt(id);
          if (number) rect = number.Value();
        }
      }
      NodeId line = !lines.empty() ? editor_.Before(lines.front(), "ParaLine") : editor_.Append(para, "ParaLine");
      for (NodeId old : lines) editor_.Remove(old);
      if (line != kNoNode) {
        if (rect >= 0) editor_.AppendInt(line, "TextRectID", rect);
        WriteLineContent(editor_, line, p.text, anchors, tblIds_);
      }
    }
    entry.text = p.text;
    entry.format = p.formatName;
    entry.anchors = anchors;
  }

  void UpdateFlows() {
    for (auto& [flowId, entry] : binding_.flows) {
      const sub::Flow* flow = model_.FindFlow(flowId);
      if (flow == nullptr) continue;
      std::vector<ObjectId> now;
      std::unordered_map<ObjectId, ObjectId> frameOf;
      for (ObjectId frameId : flow->frames) {
        const sub::Frame* frame = model_.FindFrame(frameId);
        if (frame == nullptr) continue;
        for (ObjectId p : frame->paragraphs) {
          now.push_back(p);
          frameOf[p] = frameId;
        }
      }
      SyncParagraphs(entry.node, now, entry.paragraphs, &frameOf);
    }
  }

  DocumentBinding& binding_;
  Document& tree_;
  TreeEditor editor_;
  const Model& model_;
  std::vector<ObjectId> tablesInOrder_;
  std::unordered_map<ObjectId, Anchors> anchors_;
  std::unordered_map<ObjectId, int64_t> tblIds_;
};

// ---- New documents -------------------------------------------------------------------------

std::string NewDocumentText(const Model& model) {
  Result<Document> parsed = Parse("<MIFFile 7.00> # Written by Gridwright\n", "new.mif");
  if (!parsed) return {};
  Document& tree = parsed.Value();
  TreeEditor editor(tree);
  const NodeId root = tree.Root();
  editor.AppendKeyword(root, "Units", "Upt");

  // Colours and rulings: the reserved colours, the standard rulings, and every
  // name a table or format property uses.
  std::vector<std::string> colours(std::begin(kReservedColours), std::end(kReservedColours));
  std::vector<std::string> rulings;
  for (const char* ruling : kStandardRulings) {
    if (model.RulingId(ruling) != 0) rulings.emplace_back(ruling);
  }
  const auto collect = [&](const sub::PropertyBag& bag) {
    for (const FormatStatement& statement : kFormatStatements) {
      if (statement.shape != Shape::kRuling && statement.shape != Shape::kColour) continue;
      auto it = bag.find(statement.code);
      if (it == bag.end()) continue;
      std::string name = NameOf(model, it->second);
      std::vector<std::string>& list = statement.shape == Shape::kRuling ? rulings : colours;
      if (!name.empty() && std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    }
  };
  for (ObjectId id : model.TableFormatOrder()) {
    if (const sub::TableFormat* format = FormatOf(model, id)) collect(format->properties);
  }
  const std::vector<ObjectId> tables = model.TablesInOrder();
  for (ObjectId id : tables) collect(model.FindTable(id)->properties);

  NodeId colourCatalog = editor.Append(root, "ColorCatalog");
  for (const std::string& name : colours) editor.AppendString(editor.Append(colourCatalog, "Color"), "ColorTag", name);

  NodeId pgfCatalog = editor.Append(root, "PgfCatalog");
  for (ObjectId id : model.ParagraphFormatOrder()) {
    const sub::ParagraphFormat* format = ParagraphFormatOf(model, id);
    if (format == nullptr) continue;
    NodeId pgf = editor.Append(pgfCatalog, "Pgf");
    editor.AppendString(pgf, "PgfTag", format->name);
    for (const PgfStatement& statement : kPgfStatements) {
      for (const sub::ListEntry& entry : format->properties) {
        if (entry.code != statement.code) continue;
        if (!statement.keyword) {
          editor.AppendPoints(pgf, statement.name, ToPoints(entry.value.number));
        } else if (statement.code == 1408) {
          editor.AppendKeyword(pgf, statement.name, KeywordWord(kPgfAlignments, entry.value.number));
        } else {
          editor.AppendKeyword(pgf, statement.name, entry.value.number == 1 ? "Yes" : "No");
        }
      }
    }
    NodeId font = editor.Append(pgf, "PgfFont");
    for (const sub::ListEntry& entry : format->properties) {
      if (entry.code == kParaFontFamily) editor.AppendString(font, "FFamily", entry.value.text);
      if (entry.code == kParaFontSize) editor.AppendPoints(font, "FSize", ToPoints(entry.value.number));
    }
  }

  NodeId rulingCatalog = editor.Append(root, "RulingCatalog");
  for (const std::string& name : rulings)
    editor.AppendString(editor.Append(rulingCatalog, "Ruling"), "RulingTag", name);

  NodeId tblCatalog = editor.Append(root, "TblCatalog");
  for (ObjectId id : model.TableFormatOrder()) {
    const sub::TableFormat* format = FormatOf(model, id);
    if (format == nullptr) continue;
    NodeId node = editor.Append(tblCatalog, "TblFormat");
    editor.AppendString(node, "TblTag", format->name);
    WriteFormatProperties(editor, node, format->properties, model, nullptr, Unit::Point);
  }

  // The display unit is written only when it is not the point.
  for (const DisplayUnit& unit : kDisplayUnits) {
    if (model.displayUnit != kPoint && ToMetric(unit.points) == model.displayUnit) {
      editor.AppendKeyword(editor.Append(root, "Document"), "DUnits", unit.word);
    }
  }

  std::unordered_map<ObjectId, Anchors> anchors = AnchorsByParagraph(model, tables);
  std::unordered_map<ObjectId, int64_t> tblIds;
  int64_t nextId = 1;
  for (ObjectId id : tables) tblIds[id] = nextId++;
  if (!tables.empty()) {
    NodeId tbls = editor.Append(root, "Tbls");
    for (ObjectId id : tables)
      WriteTable(editor, editor.Append(tbls, "Tbl"), model, *model.FindTable(id), tblIds[id], anchors, tblIds);
  }

  // Pages with one TextRect per text frame; graphic frames hold theirs.
  std::unordered_map<ObjectId, int64_t> rectIds;
  int64_t nextRect = 1000;
  std::function<void(NodeId, const std::vector<ObjectId>&)> writeFrames = [&](NodeId parent,
                                                                              const std::vector<ObjectId>& frames) {
    for (ObjectId f : frames) {
      const sub::Frame* frame = model.FindFrame(f);
      if (frame == nullptr) continue;
      if (sub::KindOf(f) == sub::ObjectKind::kTextFrame) {
        rectIds[f] = nextRect;
        editor.AppendInt(editor.Append(parent, "TextRect"), "ID", nextRect++);
      } else {
        NodeId node = editor.Append(parent, "Frame");
        editor.AppendInt(node, "ID", nextRect++);
        writeFrames(node, frame->frames);
      }
    }
  };
  for (ObjectId pageId : model.PageOrder()) {
    const sub::Page* page = const_cast<Model&>(model).FindPage(pageId);
    if (page == nullptr) continue;
    NodeId node = editor.Append(root, "Page");
    const char* type = "BodyPage";
    switch (sub::KindOf(pageId)) {
      case sub::ObjectKind::kMasterPage:
        type = "RightMasterPage";
        break;
      case sub::ObjectKind::kReferencePage:
        type = "ReferencePage";
        break;
      case sub::ObjectKind::kHiddenPage:
        type = "HiddenPage";
        break;
      default:
        break;
    }
    editor.AppendKeyword(node, "PageType", type);
    if (!page->name.empty()) {
      editor.AppendString(node, sub::KindOf(pageId) == sub::ObjectKind::kBodyPage ? "PageNum" : "PageTag", page->name);
    }
    writeFrames(node, page->frames);
  }

  static const Anchors kNone;
  for (ObjectId flowId : model.FlowOrder()) {
    const sub::Flow* flow = model.FindFlow(flowId);
    if (flow == nullptr) continue;
    NodeId node = editor.Append(root, "TextFlow");
    editor.AppendString(node, "TFTag", flow->tag);
    if (flowId == model.MainFlow()) editor.AppendKeyword(node, "TFAutoConnect", "Yes");
    for (ObjectId frameId : flow->frames) {
      const sub::Frame* frame = model.FindFrame(frameId);
      if (frame == nullptr) continue;
      auto rect = rectIds.find(frameId);
      bool firstInFrame = true;
      for (ObjectId p : frame->paragraphs) {
        const sub::Paragraph* paragraph = model.FindParagraph(p);
        if (paragraph == nullptr) continue;
        auto found = anchors.find(p);
        WriteParagraph(editor, editor.Append(node, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                       firstInFrame && rect != rectIds.end() ? rect->second : -1, tblIds);
        firstInFrame = false;
      }
    }
  }
  if (editor.Failed()) return {};
  std::string text = Write(tree);
  text += "# End of MIFFile\n";
  return text;
}

}  // namespace

Result<BoundDocument> ReadDocument(Document tree, std::string hostFileName) {
  if (tree.Kind() != FileKind::Document) {
    return Error{tree.FileName() + ": is a book file, not a document"};
  }
  BoundDocument bound;
  bound.binding = DocumentBindingPtr(new DocumentBinding(std::move(tree)));
  bound.document = std::make_unique<Model>(std::move(hostFileName));
  Reader reader(*bound.binding, *bound.document);
  if (Status status = reader.Run(); !status) return status.GetError();
  return bound;
}

Status UpdateTree(DocumentBinding& binding, const substitute::Document& document) {
  Updater updater(binding, document);
  return updater.Run();
}

void DocumentBindingDeleter::operator()(DocumentBinding* binding) const { delete binding; }

std::string WriteBoundDocument(const DocumentBinding& binding) { return Write(binding.tree); }

::ObjectId BoundDocumentId(const DocumentBinding& binding) { return binding.documentId; }

std::vector<std::optional<std::uint32_t>> SourceLinesOf(const DocumentBinding& binding,
                                                         const std::vector<::ObjectId>& objects) {
  std::vector<NodeId> nodes;
  nodes.reserve(objects.size());
  for (::ObjectId object : objects) {
    NodeId node = kNoNode;
    if (auto format = binding.tableFormats.find(object); format != binding.tableFormats.end()) {
      node = format->second.node;
    } else if (auto table = binding.tables.find(object); table != binding.tables.end()) {
      node = table->second.node;
    } else if (auto row = binding.rows.find(object); row != binding.rows.end()) {
      node = row->second.node;
    } else if (auto cell = binding.cells.find(object); cell != binding.cells.end()) {
      node = cell->second.node;
    }
    nodes.push_back(node);
  }
  return binding.tree.LinesOf(nodes);
}

std::string WriteNewDocument(const substitute::Document& document) { return NewDocumentText(document); }

}  // namespace gw::mif
