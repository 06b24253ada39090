// The substitute host's document model: catalogues, text and tables of a
// document, and the component tree of a book.
#include "substitute/document_model.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <utility>

namespace gw::substitute {

namespace {

constexpr Metric kPoint = 65536;

// One serial counter per object kind: an id has only 24 bits of serial, and
// a long session (a large book walked many times) makes millions of
// paragraphs, which must not use up the serials of other kinds.
std::atomic<uint32_t>& SerialCounter(ObjectKind kind) {
  static std::atomic<uint32_t> counters[256];
  return counters[static_cast<uint8_t>(kind)];
}

// Format-level properties of table formats and tables, with their kinds.
struct FormatProperty {
  int32_t code;
  ValueKind kind;
};
constexpr FormatProperty kFormatProperties[] = {
    {20, ValueKind::kString},    // title paragraph format
    {581, ValueKind::kMetric},   {582, ValueKind::kMetric},  {583, ValueKind::kMetric},
    {584, ValueKind::kMetric},   {1278, ValueKind::kMetric}, {1279, ValueKind::kMetric},
    {1280, ValueKind::kMetric},  {1281, ValueKind::kMetric}, {1282, ValueKind::kInt},
    {1283, ValueKind::kInt},     {1288, ValueKind::kInt},    {1289, ValueKind::kInt},
    {1290, ValueKind::kMetric},  {1291, ValueKind::kInt},    {1293, ValueKind::kInt},
    {1294, ValueKind::kInt},     {1295, ValueKind::kInt},    {1296, ValueKind::kInt},
    {1297, ValueKind::kId},      {1298, ValueKind::kInt},    {1299, ValueKind::kId},
    {1300, ValueKind::kInt},     {1301, ValueKind::kInt},    {1302, ValueKind::kInt},
    {1303, ValueKind::kInt},     {1304, ValueKind::kId},     {1305, ValueKind::kId},
    {1306, ValueKind::kId},      {1307, ValueKind::kId},     {1308, ValueKind::kId},
    {1309, ValueKind::kId},      {1310, ValueKind::kId},     {1311, ValueKind::kId},
    {1312, ValueKind::kId},      {1313, ValueKind::kId},     {1314, ValueKind::kId},
    {1315, ValueKind::kMetric},  {1316, ValueKind::kMetric}, {1317, ValueKind::kMetric},
    {1318, ValueKind::kMetric},
};

// Codes of paragraph-format properties (beside the name, 1275).
constexpr int32_t kParaFontFamily = 1401;
constexpr int32_t kParaFontSize = 1402;
constexpr int32_t kParaFirstIndent = 1403;
constexpr int32_t kParaLeftIndent = 1404;
constexpr int32_t kParaRightIndent = 1405;
constexpr int32_t kParaSpaceAbove = 1406;
constexpr int32_t kParaSpaceBelow = 1407;
constexpr int32_t kParaAlignment = 1408;
constexpr int32_t kParaLeading = 1409;
constexpr int32_t kParaColour = 1410;
constexpr int32_t kParaFontVariations = 1411;
constexpr int32_t kParaTabStops = 1412;
constexpr int32_t kParaKeepWithNext = 1413;
constexpr int32_t kParaAutonumber = 1414;

ListValue IntValue(int32_t type, int32_t v) {
  ListValue value;
  value.type = type;
  value.number = v;
  return value;
}

ListValue StringValue(std::string s) {
  ListValue value;
  value.type = kValueString;
  value.text = std::move(s);
  return value;
}

// A tab stop: {position, alignment, leader}, kept as a nested list.
ListValue TabStop(Metric position, int32_t alignment, std::string leader) {
  ListValue stop;
  stop.type = kValueList;
  stop.list = {IntValue(kValueMetric, position), IntValue(kValueInt, alignment), StringValue(std::move(leader))};
  return stop;
}

}  // namespace

ObjectId NewObjectId(ObjectKind kind) {
  // Each thread takes serials from the shared counter a batch at a time, so
  // that a read making millions of objects pays for few atomic operations;
  // one thread alone gets the same serials, in the same order, as one by one.
  constexpr uint32_t kBatch = 256;
  struct Batch {
    uint32_t next = 0;
    uint32_t left = 0;
  };
  thread_local Batch batches[256];
  Batch& batch = batches[static_cast<uint8_t>(kind)];
  // Serial 0 would make a kind-0 id of 0 ("none"); it is skipped on wrapping.
  uint32_t serial = 0;
  while (serial == 0) {
    if (batch.left == 0) {
      batch.next = SerialCounter(kind).fetch_add(kBatch) + 1;
      batch.left = kBatch;
    }
    serial = batch.next++ & 0x00FFFFFFu;
    --batch.left;
  }
  return MakeObjectId(kind, serial);
}

bool PropertyValue::operator==(const PropertyValue& other) const {
  if (kind != other.kind) return false;
  switch (kind) {
    case ValueKind::kInt:
    case ValueKind::kMetric:
    case ValueKind::kId:
      return number == other.number;
    case ValueKind::kString:
      return text == other.text;
    case ValueKind::kInts:
      return ints == other.ints;
    case ValueKind::kTextLoc:
      return range.start.object == other.range.start.object && range.start.offset == other.range.start.offset;
    case ValueKind::kTextRange:
      return range.start.object == other.range.start.object && range.start.offset == other.range.start.offset &&
             range.end.object == other.range.end.object && range.end.offset == other.range.end.offset;
  }
  return false;
}

const ListProperties& SharedListProperties::Get() const {
  static const ListProperties kNone;
  return list_ != nullptr ? *list_ : kNone;
}

ListProperties& SharedListProperties::Edit() {
  if (list_ == nullptr || list_.use_count() > 1) list_ = std::make_shared<ListProperties>(Get());
  return *list_;
}

bool ListValue::operator==(const ListValue& other) const {
  return type == other.type && number == other.number && text == other.text && ints == other.ints &&
         strings == other.strings && list == other.list && range.start.object == other.range.start.object &&
         range.start.offset == other.range.start.offset && range.end.object == other.range.end.object &&
         range.end.offset == other.range.end.offset;
}

std::optional<ValueKind> TableFormatPropertyKind(int32_t code) {
  for (const FormatProperty& p : kFormatProperties) {
    if (p.code == code) return p.kind;
  }
  return std::nullopt;
}

const std::vector<int32_t>& TableFormatPropertyCodes() {
  static const std::vector<int32_t> codes = [] {
    std::vector<int32_t> all;
    for (const FormatProperty& p : kFormatProperties) all.push_back(p.code);
    return all;
  }();
  return codes;
}

void SetFormatLevelProperty(PropertyBag& bag, int32_t code, PropertyValue value) {
  bag[code] = value;
  // 581 to 584 name the default cell margins 1315 to 1318 (top, bottom, left, right).
  if (code >= 581 && code <= 584) bag[code - 581 + 1315] = value;
  if (code >= 1315 && code <= 1318) bag[code - 1315 + 581] = value;
}

ListProperties DefaultParagraphFormatProperties(std::string_view name) {
  struct Look {
    const char* font;
    Metric size;
    Metric above;
    Metric below;
    int32_t alignment;
    int32_t keep;
    const char* autonumber;
  };
  Look look{"Times", 12 * kPoint, 0, 0, 0, 0, ""};
  if (name == "Heading1") look = {"Helvetica", 18 * kPoint, 18 * kPoint, 6 * kPoint, 0, 1, ""};
  if (name == "Heading2") look = {"Helvetica", 14 * kPoint, 12 * kPoint, 4 * kPoint, 0, 1, ""};
  if (name == "CellBody") look = {"Times", 10 * kPoint, 0, 0, 0, 0, ""};
  if (name == "CellHeading") look = {"Helvetica", 10 * kPoint, 0, 0, 1, 0, ""};
  if (name == "TableTitle") look = {"Helvetica", 10 * kPoint, 4 * kPoint, 4 * kPoint, 1, 1, "Table <n+>: "};
  ListValue variations;
  variations.type = kValueStrings;
  variations.strings = {"Regular", name.starts_with("Heading") ? "Bold" : "Regular", "Upright"};
  ListValue tabs;
  tabs.type = kValueList;
  tabs.list = {TabStop(36 * kPoint, 0, ""), TabStop(216 * kPoint, 2, ".")};
  return {
      {kParaFontFamily, StringValue(look.font)},
      {kParaFontSize, IntValue(kValueMetric, look.size)},
      {kParaFirstIndent, IntValue(kValueMetric, 0)},
      {kParaLeftIndent, IntValue(kValueMetric, 0)},
      {kParaRightIndent, IntValue(kValueMetric, 0)},
      {kParaSpaceAbove, IntValue(kValueMetric, look.above)},
      {kParaSpaceBelow, IntValue(kValueMetric, look.below)},
      {kParaAlignment, IntValue(kValueInt, look.alignment)},
      {kParaLeading, IntValue(kValueMetric, 2 * kPoint)},
      {kParaColour, IntValue(kValueId, 0)},  // filled with the document's Black
      {kParaFontVariations, variations},
      {kParaTabStops, tabs},
      {kParaKeepWithNext, IntValue(kValueInt, look.keep)},
      {kParaAutonumber, StringValue(look.autonumber)},
  };
}

PropertyBag DefaultTableFormatProperties(const Document& document) {
  const auto ruling = [&](const char* name) { return PropertyValue::Id(document.RulingId(name)); };
  const auto colour = [&](const char* name) { return PropertyValue::Id(document.ColourId(name)); };
  PropertyBag bag;
  bag[20] = PropertyValue::String("TableTitle");
  bag[1278] = PropertyValue::OfMetric(0);
  bag[1279] = PropertyValue::OfMetric(0);
  bag[1280] = PropertyValue::OfMetric(6 * kPoint);
  bag[1281] = PropertyValue::OfMetric(6 * kPoint);
  bag[1282] = PropertyValue::Int(0);  // left
  bag[1283] = PropertyValue::Int(0);  // anywhere
  bag[1288] = PropertyValue::Int(0);  // row first
  bag[1289] = PropertyValue::Int(1);  // title above
  bag[1290] = PropertyValue::OfMetric(6 * kPoint);
  bag[1291] = PropertyValue::Int(1);
  bag[1293] = PropertyValue::Int(1);
  bag[1294] = PropertyValue::Int(1);
  bag[1295] = PropertyValue::Int(0);
  bag[1296] = PropertyValue::Int(15);  // no fill
  bag[1297] = colour("Black");
  bag[1298] = PropertyValue::Int(15);
  bag[1299] = colour("Black");
  bag[1300] = PropertyValue::Int(0);
  bag[1301] = PropertyValue::Int(1);
  bag[1302] = PropertyValue::Int(15);
  bag[1303] = PropertyValue::Int(1);
  bag[1304] = colour("Black");
  bag[1305] = ruling("Medium");
  bag[1306] = ruling("Medium");
  bag[1307] = ruling("Medium");
  bag[1308] = ruling("Medium");
  bag[1309] = ruling("Thin");
  bag[1310] = ruling("Thin");
  bag[1311] = ruling("Medium");
  bag[1312] = ruling("Thin");
  bag[1313] = ruling("Thin");
  bag[1314] = ruling("Thin");
  bag[1315] = PropertyValue::OfMetric(4 * kPoint);
  bag[1316] = PropertyValue::OfMetric(2 * kPoint);
  bag[1317] = PropertyValue::OfMetric(6 * kPoint);
  bag[1318] = PropertyValue::OfMetric(6 * kPoint);
  // 581 to 584 are the same cell margins in the order top, bottom, left,
  // right; the accessors keep them equal to 1315 to 1318.
  for (int32_t side = 0; side < 4; ++side) {
    PropertyValue margin = bag.at(1315 + side);  // a copy: inserting may move the entries
    bag[581 + side] = std::move(margin);
  }
  bag.shrink_to_fit();
  return bag;
}

// ---- Document ------------------------------------------------------------------------------

Document::Document(std::string name) : fileName(std::move(name)), id_(NewObjectId(ObjectKind::kDocument)) {}

std::unique_ptr<Document> Document::NewStandard(std::string name) {
  auto doc = std::make_unique<Document>(std::move(name));
  for (const char* colour : {"Black", "White", "Red", "Green", "Blue", "Cyan", "Magenta", "Yellow"}) {
    doc->AddColour(colour);
  }
  for (const char* ruling : {"Thin", "Medium", "Double", "Thick", "Very Thin"}) doc->AddRuling(ruling);
  for (const char* format : {"Body", "CellBody", "CellHeading", "Heading1", "Heading2", "TableTitle"}) {
    ListProperties props = DefaultParagraphFormatProperties(format);
    for (ListEntry& entry : props) {
      if (entry.code == kParaColour) entry.value.number = static_cast<int32_t>(doc->ColourId("Black"));
    }
    doc->AddParagraphFormat(format, std::move(props));
  }
  doc->AddTableFormat("Format A");
  TableFormat& b = doc->AddTableFormat("Format B");
  b.properties[1282] = PropertyValue::Int(1);  // centred
  b.properties[1289] = PropertyValue::Int(2);  // title below
  b.properties[1296] = PropertyValue::Int(4);  // 30% heading fill
  b.properties[1297] = PropertyValue::Id(doc->ColourId("Blue"));
  b.properties[1311] = PropertyValue::Id(doc->RulingId("Double"));
  b.properties[1300] = PropertyValue::Int(0);
  b.properties[1298] = PropertyValue::Int(6);
  b.properties[1299] = PropertyValue::Id(doc->ColourId("Yellow"));

  Page& body = doc->AddPage(ObjectKind::kBodyPage, "1");
  Flow& main = doc->AddFlow("A");
  doc->SetMainFlow(main.id);
  Frame& frame = doc->AddTextFrame(main.id, body.id);
  doc->AppendParagraph(frame.id, "", "Body");

  Page& master = doc->AddPage(ObjectKind::kMasterPage, "Right");
  Flow& footer = doc->AddFlow("Footer");
  Frame& footerFrame = doc->AddTextFrame(footer.id, master.id);
  doc->AppendParagraph(footerFrame.id, "", "Body");

  Page& reference = doc->AddPage(ObjectKind::kReferencePage, "Reference");
  doc->AddGraphicFrame(reference.id);
  return doc;
}

ParagraphFormat& Document::AddParagraphFormat(std::string name, ListProperties properties) {
  if (ParagraphFormat* existing = FindParagraphFormat(name)) {
    existing->properties = std::move(properties);
    return *existing;
  }
  ObjectId id = NewObjectId(ObjectKind::kParagraphFormat);
  paragraphFormatOrder_.push_back(id);
  paragraphFormatsByName_[name] = id;
  return paragraphFormats_[id] = ParagraphFormat{id, std::move(name), std::move(properties)};
}

TableFormat& Document::AddTableFormat(std::string name, const TableFormat* like) {
  return AddTableFormat(std::move(name), like != nullptr ? like->properties : DefaultTableFormatProperties(*this));
}

TableFormat& Document::AddTableFormat(std::string name, PropertyBag properties) {
  if (TableFormat* existing = FindTableFormat(name)) {
    existing->properties = std::move(properties);
    return *existing;
  }
  ObjectId id = NewObjectId(ObjectKind::kTableFormat);
  ObjectId last = tableFormatOrder_.empty() ? 0 : tableFormatOrder_.back();
  tableFormatOrder_.push_back(id);
  tableFormatLinks_[id] = {last, 0};
  if (last != 0) tableFormatLinks_[last].second = id;
  tableFormatsByName_[name] = id;
  return tableFormats_[id] = TableFormat{id, std::move(name), std::move(properties)};
}

NamedObject& Document::AddColour(std::string name) {
  ObjectId id = NewObjectId(ObjectKind::kColour);
  colourOrder_.push_back(id);
  coloursByName_.emplace(name, id);  // a second colour of a name is never found by it
  return named_[id] = NamedObject{id, std::move(name)};
}

NamedObject& Document::AddRuling(std::string name) {
  ObjectId id = NewObjectId(ObjectKind::kRuling);
  rulingOrder_.push_back(id);
  rulingsByName_.emplace(name, id);
  return named_[id] = NamedObject{id, std::move(name)};
}

bool Document::DeleteTableFormat(ObjectId format) {
  auto found = tableFormats_.find(format);
  if (found == tableFormats_.end()) return false;
  if (auto named = tableFormatsByName_.find(found->second.name);
      named != tableFormatsByName_.end() && named->second == format) {
    tableFormatsByName_.erase(named);
  }
  tableFormats_.erase(found);
  std::erase(tableFormatOrder_, format);
  if (auto links = tableFormatLinks_.find(format); links != tableFormatLinks_.end()) {
    auto [previous, next] = links->second;
    if (previous != 0) tableFormatLinks_[previous].second = next;
    if (next != 0) tableFormatLinks_[next].first = previous;
    tableFormatLinks_.erase(links);
  }
  return true;
}

ObjectId Document::NextTableFormat(ObjectId format) const {
  auto links = tableFormatLinks_.find(format);
  return links == tableFormatLinks_.end() ? 0 : links->second.second;
}

void Document::LinkTableFormats() {
  tableFormatLinks_.clear();
  for (size_t i = 0; i < tableFormatOrder_.size(); ++i) {
    tableFormatLinks_[tableFormatOrder_[i]] = {i == 0 ? 0 : tableFormatOrder_[i - 1],
                                               i + 1 == tableFormatOrder_.size() ? 0 : tableFormatOrder_[i + 1]};
  }
}

bool Document::RenameTableFormat(ObjectId format, std::string name) {
  TableFormat* found = FindTableFormat(format);
  if (found == nullptr) return false;
  if (auto named = tableFormatsByName_.find(found->name);
      named != tableFormatsByName_.end() && named->second == format) {
    tableFormatsByName_.erase(named);
  }
  tableFormatsByName_[name] = format;
  found->name = std::move(name);
  return true;
}

ParagraphFormat* Document::FindParagraphFormat(std::string_view name) {
  auto hit = paragraphFormatsByName_.find(name);
  if (hit == paragraphFormatsByName_.end()) return nullptr;
  ++work_.catalogueComparisons;
  auto format = paragraphFormats_.find(hit->second);
  return format != paragraphFormats_.end() && format->second.name == name ? &format->second : nullptr;
}

SharedListProperties Document::SharedProperties(const ParagraphFormat& format) {
  std::shared_ptr<ListProperties>& shared = sharedFormatProperties_[format.id];
  if (shared == nullptr || *shared != format.properties) shared = std::make_shared<ListProperties>(format.properties);
  return SharedListProperties(shared);
}

TableFormat* Document::FindTableFormat(std::string_view name) {
  auto hit = tableFormatsByName_.find(name);
  if (hit == tableFormatsByName_.end()) return nullptr;
  ++work_.catalogueComparisons;
  auto format = tableFormats_.find(hit->second);
  return format != tableFormats_.end() && format->second.name == name ? &format->second : nullptr;
}

ObjectId Document::ColourId(std::string_view name) const {
  auto hit = coloursByName_.find(name);
  if (hit == coloursByName_.end()) return 0;
  ++work_.catalogueComparisons;
  return hit->second;
}

ObjectId Document::RulingId(std::string_view name) const {
  auto hit = rulingsByName_.find(name);
  if (hit == rulingsByName_.end()) return 0;
  ++work_.catalogueComparisons;
  return hit->second;
}

std::vector<std::string> Document::TableFormatNames() const {
  std::vector<std::string> names;
  for (ObjectId id : tableFormatOrder_) names.push_back(tableFormats_.at(id).name);
  return names;
}

Page& Document::AddPage(ObjectKind kind, std::string name) {
  ObjectId id = NewObjectId(IsPageKind(kind) ? kind : ObjectKind::kBodyPage);
  pageOrder_.push_back(id);
  return pages_[id] = Page{id, std::move(name), {}};
}

Flow& Document::AddFlow(std::string tag) {
  ObjectId id = NewObjectId(ObjectKind::kFlow);
  flowOrder_.push_back(id);
  InvalidateTableOrder();
  return flows_[id] = Flow{id, std::move(tag), {}};
}

Frame& Document::AddTextFrame(ObjectId flow, ObjectId page, ObjectId parentFrame) {
  Frame frame;
  frame.id = NewObjectId(ObjectKind::kTextFrame);
  frame.flow = flow;
  InvalidateTableOrder();
  frame.parentFrame = parentFrame;
  frame.page = parentFrame == 0 ? page : 0;
  if (Flow* f = FindFlow(flow)) f->frames.push_back(frame.id);
  if (Frame* parent = FindFrame(parentFrame)) {
    parent->frames.push_back(frame.id);
  } else if (Page* p = FindPage(page)) {
    p->frames.push_back(frame.id);
  }
  return frames_[frame.id] = std::move(frame);
}

Frame& Document::AddGraphicFrame(ObjectId page, ObjectId parentFrame) {
  Frame frame;
  frame.id = NewObjectId(ObjectKind::kGraphicFrame);
  frame.parentFrame = parentFrame;
  frame.page = parentFrame == 0 ? page : 0;
  if (Frame* parent = FindFrame(parentFrame)) {
    parent->frames.push_back(frame.id);
  } else if (Page* p = FindPage(page)) {
    p->frames.push_back(frame.id);
  }
  return frames_[frame.id] = std::move(frame);
}

Paragraph& Document::NewParagraph(ObjectId container, std::string text, std::string formatName) {
  SharedListProperties properties;
  if (ParagraphFormat* format = FindParagraphFormat(formatName)) properties = SharedProperties(*format);
  return NewParagraph(container, std::move(text), std::move(formatName), std::move(properties));
}

Paragraph& Document::NewParagraph(ObjectId container, std::string text, std::string formatName,
                                  SharedListProperties formatProperties) {
  Paragraph paragraph;
  paragraph.id = NewObjectId(ObjectKind::kParagraph);
  paragraph.container = container;
  paragraph.text = std::move(text);
  paragraph.formatProperties = std::move(formatProperties);
  paragraph.formatName = std::move(formatName);
  InvalidateTableOrder();
  // Ids only grow, so the new paragraph goes last.
  ObjectId id = paragraph.id;
  return paragraphs_.emplace_hint(paragraphs_.end(), id, std::move(paragraph))->second;
}

Paragraph& Document::AppendParagraph(ObjectId container, std::string text, std::string formatName) {
  Paragraph& paragraph = NewParagraph(container, std::move(text), std::move(formatName));
  if (std::vector<ObjectId>* list = ParagraphsOf(container)) list->push_back(paragraph.id);
  return paragraph;
}

Paragraph& Document::LastParagraph() {
  Flow* flow = FindFlow(mainFlow_);
  if (flow == nullptr) {
    // A document without a main flow gets one, on a body page of its own.
    Page& page = AddPage(ObjectKind::kBodyPage, "1");
    flow = &AddFlow("A");
    mainFlow_ = flow->id;
    AddTextFrame(flow->id, page.id);
  } else if (flow->frames.empty()) {
    AddTextFrame(flow->id, pageOrder_.empty() ? AddPage(ObjectKind::kBodyPage, "1").id : pageOrder_.front());
  }
  for (auto frame = flow->frames.rbegin(); frame != flow->frames.rend(); ++frame) {
    Frame* f = FindFrame(*frame);
    if (f != nullptr && !f->paragraphs.empty()) return paragraphs_.at(f->paragraphs.back());
  }
  return AppendParagraph(flow->frames.back(), "", "Body");
}

void Document::SetParagraphText(ObjectId paragraph, std::string text) {
  if (Paragraph* p = FindParagraph(paragraph)) p->text = std::move(text);
}

std::vector<ObjectId> Document::MainFlowParagraphs() const {
  std::vector<ObjectId> result;
  const Flow* flow = FindFlow(mainFlow_);
  if (flow == nullptr) return result;
  for (ObjectId frame : flow->frames) {
    if (const Frame* f = FindFrame(frame)) result.insert(result.end(), f->paragraphs.begin(), f->paragraphs.end());
  }
  return result;
}

std::optional<TextLoc> Document::InsertText(TextLoc at, std::string_view text) {
  Paragraph* paragraph = FindParagraph(at.object);
  if (paragraph == nullptr || at.offset < 0) return std::nullopt;
  InvalidateTableOrder();  // anchors move with the text
  size_t offset = std::min<size_t>(static_cast<size_t>(at.offset), paragraph->text.size());
  ObjectId current = paragraph->id;
  size_t start = 0;
  while (true) {
    size_t lineFeed = text.find('\n', start);
    std::string_view piece = text.substr(start, lineFeed == std::string_view::npos ? text.npos : lineFeed - start);
    Paragraph& p = paragraphs_.at(current);
    p.text.insert(offset, piece);
    // Anchors at or after the insertion point move with the text after it.
    for (auto& [id, table] : tables_) {
      if (table.anchor.object == current && static_cast<size_t>(table.anchor.offset) >= offset) {
        table.anchor.offset += static_cast<int32_t>(piece.size());
      }
    }
    offset += piece.size();
    if (lineFeed == std::string_view::npos) break;
    // The line feed ends this paragraph; the rest goes into a new one after it.
    std::string rest = p.text.substr(offset);
    p.text.erase(offset);
    Paragraph& next = NewParagraph(p.container, std::move(rest), p.formatName);
    Paragraph& before = paragraphs_.at(current);  // the map may not move, but keep it explicit
    next.formatProperties = before.formatProperties;
    next.formatLocked = before.formatLocked;
    if (std::vector<ObjectId>* list = ParagraphsOf(before.container)) {
      auto position = std::find(list->begin(), list->end(), current);
      list->insert(position == list->end() ? list->end() : position + 1, next.id);
    }
    for (auto& [id, table] : tables_) {
      if (table.anchor.object == current && static_cast<size_t>(table.anchor.offset) >= offset) {
        table.anchor.object = next.id;
        table.anchor.offset -= static_cast<int32_t>(offset);
      }
    }
    current = next.id;
    offset = 0;
    start = lineFeed + 1;
  }
  return TextLoc{current, static_cast<int32_t>(offset)};
}

void Document::ApplyParagraphFormat(ObjectId paragraph, const ParagraphFormat& format) {
  if (Paragraph* p = FindParagraph(paragraph)) {
    p->formatName = format.name;
    p->formatProperties = SharedProperties(format);
  }
}

Table* Document::AddTable(std::string_view formatName, int32_t columns, int32_t bodyRows, int32_t headingRows,
                          int32_t footingRows, TextLoc anchor) {
  TableFormat* format = FindTableFormat(formatName);
  if (format == nullptr || columns < 1 || bodyRows < 0 || headingRows < 0 || footingRows < 0) return nullptr;
  Table* table = AddTableOfTag(format->name, format->properties,
                               std::vector<Metric>(static_cast<size_t>(columns), 72 * kPoint), anchor);
  if (table == nullptr) return nullptr;
  InsertRows(table->id, 0, kRowHeading, headingRows);
  InsertRows(table->id, static_cast<size_t>(headingRows), kRowBody, bodyRows);
  InsertRows(table->id, static_cast<size_t>(headingRows + bodyRows), kRowFooting, footingRows);
  return table;
}

Table* Document::AddTableOfTag(std::string tag, PropertyBag properties, std::vector<Metric> columnWidths,
                               TextLoc anchor) {
  Paragraph* anchorParagraph = FindParagraph(anchor.object);
  if (anchorParagraph == nullptr || columnWidths.empty()) return nullptr;
  Table table;
  table.id = NewObjectId(ObjectKind::kTable);
  table.tag = std::move(tag);
  table.properties = std::move(properties);
  table.columnWidths = std::move(columnWidths);
  int32_t offset = anchor.offset;
  if (offset < 0 || static_cast<size_t>(offset) > anchorParagraph->text.size()) {
    offset = static_cast<int32_t>(anchorParagraph->text.size());
  }
  table.anchor = TextLoc{anchor.object, offset};
  ObjectId id = table.id;
  InvalidateTableOrder();
  tables_[id] = std::move(table);
  tableCreationOrder_.push_back(id);
  UpdateTitle(tables_[id]);
  return &tables_[id];
}

void Document::UpdateTitle(Table& table) {
  auto position = table.properties.find(kPropTitlePosition);
  bool wanted = position != table.properties.end() && (position->second.number == 1 || position->second.number == 2);
  if (wanted && table.titleParagraphs.empty()) {
    auto format = table.properties.find(20);
    std::string formatName = format != table.properties.end() ? format->second.text : "TableTitle";
    Paragraph& title = NewParagraph(table.id, "", formatName);
    table.titleParagraphs.push_back(title.id);
  } else if (!wanted && !table.titleParagraphs.empty()) {
    InvalidateTableOrder();
    for (ObjectId p : table.titleParagraphs) paragraphs_.erase(p);
    table.titleParagraphs.clear();
  }
}

std::vector<ObjectId> Document::InsertRows(ObjectId tableId, size_t at, int32_t kind, int32_t count) {
  std::vector<ObjectId> added;
  Table* table = FindTable(tableId);
  if (table == nullptr || count <= 0) return added;
  InvalidateTableOrder();
  at = std::min(at, table->rows.size());
  const std::string cellFormat = kind == kRowBody ? "CellBody" : "CellHeading";
  // Every new cell paragraph shares the one list of the format.
  SharedListProperties cellProperties;
  if (ParagraphFormat* format = FindParagraphFormat(cellFormat)) cellProperties = SharedProperties(*format);
  added.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    Row row;
    row.cells.reserve(table->columnWidths.size());
    row.id = NewObjectId(ObjectKind::kRow);
    row.table = tableId;
    row.kind = kind;
    for (size_t column = 0; column < table->columnWidths.size(); ++column) {
      Cell cell;
      cell.id = NewObjectId(ObjectKind::kCell);
      cell.row = row.id;
      cell.column = static_cast<int32_t>(column);
      ObjectId cellId = cell.id;
      Cell& made = cells_.emplace_hint(cells_.end(), cellId, std::move(cell))->second;
      made.paragraphs.push_back(NewParagraph(cellId, "", cellFormat, cellProperties).id);
      row.cells.push_back(cellId);
    }
    added.push_back(row.id);
    ObjectId rowId = row.id;
    rows_.emplace_hint(rows_.end(), rowId, std::move(row));
  }
  table->rows.insert(table->rows.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  return added;
}

void Document::RemoveRow(ObjectId rowId) {
  Row* row = FindRow(rowId);
  if (row == nullptr) return;
  InvalidateTableOrder();
  for (ObjectId cell : row->cells) {
    for (ObjectId p : cells_[cell].paragraphs) paragraphs_.erase(p);
    cells_.erase(cell);
  }
  if (Table* table = FindTable(row->table)) std::erase(table->rows, rowId);
  rows_.erase(rowId);
}

bool Document::DeleteTable(ObjectId tableId) {
  Table* table = FindTable(tableId);
  if (table == nullptr) return false;
  InvalidateTableOrder();
  for (ObjectId row : std::vector<ObjectId>(table->rows)) RemoveRow(row);
  for (ObjectId p : table->titleParagraphs) paragraphs_.erase(p);
  tables_.erase(tableId);
  std::erase(tableCreationOrder_, tableId);
  if (cellSelection && cellSelection->table == tableId) cellSelection.reset();
  return true;
}

void Document::SetCellText(ObjectId cellId, std::string text) {
  Cell* cell = FindCell(cellId);
  if (cell == nullptr) return;
  if (cell->paragraphs.empty()) {
    AppendParagraph(cellId, std::move(text), "CellBody");
  } else {
    paragraphs_[cell->paragraphs.front()].text = std::move(text);
  }
}

std::string Document::CellText(ObjectId cellId) const {
  const Cell* cell = FindCell(cellId);
  if (cell == nullptr || cell->paragraphs.empty()) return {};
  return paragraphs_.at(cell->paragraphs.front()).text;
}

ObjectId Document::CellAt(ObjectId tableId, size_t row, size_t column) const {
  const Table* table = FindTable(tableId);
  if (table == nullptr || row >= table->rows.size()) return 0;
  const Row& r = rows_.at(table->rows[row]);
  return column < r.cells.size() ? r.cells[column] : 0;
}

// Where tables are anchored: the tables (indices into tableCreationOrder_) of
// each anchoring paragraph, and the tables that hold an anchor in a cell or
// title, the only ones whose paragraphs the walk has to look into.
struct Document::TableOrderIndex {
  std::map<ObjectId, std::vector<size_t>> byParagraph;
  std::set<ObjectId> holdingAnchors;
};

void Document::CollectTables(ObjectId paragraph, const TableOrderIndex& index, std::vector<ObjectId>& order,
                             std::vector<bool>& seen) const {
  auto here = index.byParagraph.find(paragraph);
  if (here == index.byParagraph.end()) return;
  std::vector<size_t> anchored;
  for (size_t i : here->second) {
    if (!seen[i]) anchored.push_back(i);
  }
  std::stable_sort(anchored.begin(), anchored.end(), [&](size_t a, size_t b) {
    const Table& first = tables_.at(tableCreationOrder_[a]);
    const Table& second = tables_.at(tableCreationOrder_[b]);
    if (first.anchor.offset != second.anchor.offset) return first.anchor.offset < second.anchor.offset;
    return first.anchorSequence < second.anchorSequence;
  });
  for (size_t i : anchored) {
    const Table& table = tables_.at(tableCreationOrder_[i]);
    seen[i] = true;
    order.push_back(table.id);
    if (index.holdingAnchors.count(table.id) == 0) continue;
    for (ObjectId title : table.titleParagraphs) CollectTables(title, index, order, seen);
    for (ObjectId row : table.rows) {
      for (ObjectId cell : rows_.at(row).cells) {
        for (ObjectId p : cells_.at(cell).paragraphs) CollectTables(p, index, order, seen);
      }
    }
  }
}

const Document::TableOrder& Document::KeptTableOrder() const {
  if (tableOrder_.valid) return tableOrder_;
  ++work_.tableOrderBuilds;
  TableOrderIndex index;
  for (size_t i = 0; i < tableCreationOrder_.size(); ++i) {
    ObjectId anchor = tables_.at(tableCreationOrder_[i]).anchor.object;
    index.byParagraph[anchor].push_back(i);
    if (ObjectId holder = TableOfParagraph(anchor); holder != 0) index.holdingAnchors.insert(holder);
  }
  std::vector<ObjectId> order;
  std::vector<bool> seen(tableCreationOrder_.size(), false);
  for (ObjectId flowId : flowOrder_) {
    for (ObjectId frameId : flows_.at(flowId).frames) {
      const Frame* frame = FindFrame(frameId);
      if (frame == nullptr) continue;
      work_.tableOrderSteps += frame->paragraphs.size();
      for (ObjectId p : frame->paragraphs) CollectTables(p, index, order, seen);
    }
  }
  // Tables whose anchor lies in no flow come last, in creation order.
  for (size_t i = 0; i < tableCreationOrder_.size(); ++i) {
    if (!seen[i]) order.push_back(tableCreationOrder_[i]);
  }
  TableOrder made;
  made.order = std::move(order);
  made.position.reserve(made.order.size());
  for (size_t i = 0; i < made.order.size(); ++i) {
    ObjectId table = made.order[i];
    made.position.emplace(table, i);
    made.anchoredIn[tables_.at(table).anchor.object].push_back(table);
  }
  for (auto& [paragraph, tables] : made.anchoredIn) {
    std::stable_sort(tables.begin(), tables.end(), [&](ObjectId a, ObjectId b) {
      return tables_.at(a).anchor.offset < tables_.at(b).anchor.offset;
    });
  }
  work_.tableOrderSteps += made.order.size();
  made.valid = true;
  tableOrder_ = std::move(made);
  return tableOrder_;
}

std::vector<ObjectId> Document::TablesInOrder() const { return KeptTableOrder().order; }

ObjectId Document::FirstTable() const {
  const TableOrder& kept = KeptTableOrder();
  ++work_.tableOrderSteps;
  return kept.order.empty() ? 0 : kept.order.front();
}

ObjectId Document::NextTable(ObjectId table) const {
  const TableOrder& kept = KeptTableOrder();
  ++work_.tableOrderSteps;
  auto at = kept.position.find(table);
  if (at == kept.position.end() || at->second + 1 == kept.order.size()) return 0;
  return kept.order[at->second + 1];
}

std::vector<ObjectId> Document::TablesAnchoredIn(ObjectId paragraph) const {
  const TableOrder& kept = KeptTableOrder();
  ++work_.tableOrderSteps;
  auto at = kept.anchoredIn.find(paragraph);
  return at == kept.anchoredIn.end() ? std::vector<ObjectId>{} : at->second;
}

namespace {
template <typename Table>
auto* FindIn(Table& table, ObjectId id) {
  return table.Find(id);
}
}  // namespace

Paragraph* Document::FindParagraph(ObjectId id) { return FindIn(paragraphs_, id); }
const Paragraph* Document::FindParagraph(ObjectId id) const { return FindIn(paragraphs_, id); }
Table* Document::FindTable(ObjectId id) { return FindIn(tables_, id); }
const Table* Document::FindTable(ObjectId id) const { return FindIn(tables_, id); }
Row* Document::FindRow(ObjectId id) { return FindIn(rows_, id); }
const Row* Document::FindRow(ObjectId id) const { return FindIn(rows_, id); }
Cell* Document::FindCell(ObjectId id) { return FindIn(cells_, id); }
const Cell* Document::FindCell(ObjectId id) const { return FindIn(cells_, id); }
TableFormat* Document::FindTableFormat(ObjectId id) { return FindIn(tableFormats_, id); }
const TableFormat* Document::FindTableFormat(ObjectId id) const { return FindIn(tableFormats_, id); }
ParagraphFormat* Document::FindParagraphFormat(ObjectId id) { return FindIn(paragraphFormats_, id); }
const ParagraphFormat* Document::FindParagraphFormat(ObjectId id) const { return FindIn(paragraphFormats_, id); }
Frame* Document::FindFrame(ObjectId id) { return FindIn(frames_, id); }
const Frame* Document::FindFrame(ObjectId id) const { return FindIn(frames_, id); }
Flow* Document::FindFlow(ObjectId id) { return FindIn(flows_, id); }
const Flow* Document::FindFlow(ObjectId id) const { return FindIn(flows_, id); }
Page* Document::FindPage(ObjectId id) { return FindIn(pages_, id); }
const Page* Document::FindPage(ObjectId id) const { return FindIn(pages_, id); }
const NamedObject* Document::FindNamed(ObjectId id) const { return FindIn(named_, id); }

std::vector<ObjectId>* Document::ParagraphsOf(ObjectId container) {
  InvalidateTableOrder();
  return const_cast<std::vector<ObjectId>*>(std::as_const(*this).ParagraphsOf(container));
}

const std::vector<ObjectId>* Document::ParagraphsOf(ObjectId container) const {
  // An id's kind says which map can hold it.
  switch (KindOf(container)) {
    case ObjectKind::kTextFrame:
    case ObjectKind::kGraphicFrame: {
      const Frame* frame = FindFrame(container);
      return frame != nullptr ? &frame->paragraphs : nullptr;
    }
    case ObjectKind::kCell: {
      const Cell* cell = FindCell(container);
      return cell != nullptr ? &cell->paragraphs : nullptr;
    }
    case ObjectKind::kTable: {
      const Table* table = FindTable(container);
      return table != nullptr ? &table->titleParagraphs : nullptr;
    }
    default:
      return nullptr;
  }
}

ObjectId Document::TableOfParagraph(ObjectId paragraph) const {
  const Paragraph* p = FindParagraph(paragraph);
  if (p == nullptr) return 0;
  switch (KindOf(p->container)) {  // the container's kind says which map can hold it
    case ObjectKind::kTable:
      return FindTable(p->container) != nullptr ? p->container : 0;
    case ObjectKind::kCell: {
      const Cell* cell = FindCell(p->container);
      return cell != nullptr ? rows_.at(cell->row).table : 0;
    }
    default:
      return 0;
  }
}

ObjectId Document::FrameOfParagraph(ObjectId paragraph) const {
  for (int depth = 0; depth < 64; ++depth) {  // tables nest only so deep
    const Paragraph* p = FindParagraph(paragraph);
    if (p == nullptr) return 0;
    if (FindFrame(p->container) != nullptr) return p->container;
    ObjectId table = TableOfParagraph(paragraph);
    if (table == 0) return 0;
    paragraph = tables_.at(table).anchor.object;
  }
  return 0;
}

std::unique_ptr<Document> Document::Clone() const {
  auto copy = std::make_unique<Document>(fileName);
  std::map<ObjectId, ObjectId> ids;  // old -> new
  const auto map = [&](ObjectId old) -> ObjectId {
    if (old == 0) return 0;
    if (old == id_) return copy->id_;
    auto it = ids.find(old);
    if (it != ids.end()) return it->second;
    ObjectId fresh = NewObjectId(KindOf(old));
    ids[old] = fresh;
    return fresh;
  };
  const auto mapList = [&](const std::vector<ObjectId>& list) {
    std::vector<ObjectId> result;
    for (ObjectId id : list) result.push_back(map(id));
    return result;
  };
  const auto mapBag = [&](PropertyBag bag) {
    for (auto& [code, value] : bag) {
      if (value.kind == ValueKind::kId) value.number = static_cast<int32_t>(map(static_cast<ObjectId>(value.number)));
    }
    return bag;
  };
  std::function<void(ListValue&)> mapListValue = [&](ListValue& value) {
    if (value.type == kValueId) value.number = static_cast<int32_t>(map(static_cast<ObjectId>(value.number)));
    for (ListValue& inner : value.list) mapListValue(inner);
  };
  const auto mapProperties = [&](ListProperties props) {
    for (ListEntry& entry : props) mapListValue(entry.value);
    return props;
  };
  // Paragraphs that share a list in this document share its copy in the clone.
  std::map<const ListProperties*, SharedListProperties> sharedLists;
  const auto mapShared = [&](const SharedListProperties& shared) {
    const ListProperties& list = shared.Get();
    if (list.empty()) return SharedListProperties();
    auto [it, fresh] = sharedLists.try_emplace(&list);
    if (fresh) it->second = SharedListProperties(std::make_shared<ListProperties>(mapProperties(list)));
    return it->second;
  };
  copy->displayUnit = displayUnit;
  copy->bulkEdit = bulkEdit;
  copy->extraProperties = extraProperties;
  copy->mainFlow_ = map(mainFlow_);
  copy->selection = TextRange{{map(selection.start.object), selection.start.offset},
                              {map(selection.end.object), selection.end.offset}};
  for (const auto& [id, f] : paragraphFormats_) {
    copy->paragraphFormats_[map(id)] = ParagraphFormat{map(id), f.name, mapProperties(f.properties)};
  }
  for (const auto& [name, id] : paragraphFormatsByName_) copy->paragraphFormatsByName_[name] = map(id);
  copy->paragraphFormatOrder_ = mapList(paragraphFormatOrder_);
  for (const auto& [id, f] : tableFormats_) copy->tableFormats_[map(id)] = TableFormat{map(id), f.name, mapBag(f.properties)};
  copy->tableFormatOrder_ = mapList(tableFormatOrder_);
  copy->LinkTableFormats();
  for (const auto& [name, id] : tableFormatsByName_) copy->tableFormatsByName_[name] = map(id);
  for (const auto& [id, n] : named_) copy->named_[map(id)] = NamedObject{map(id), n.name};
  copy->colourOrder_ = mapList(colourOrder_);
  copy->rulingOrder_ = mapList(rulingOrder_);
  for (const auto& [name, id] : coloursByName_) copy->coloursByName_[name] = map(id);
  for (const auto& [name, id] : rulingsByName_) copy->rulingsByName_[name] = map(id);
  for (const auto& [id, p] : pages_) copy->pages_[map(id)] = Page{map(id), p.name, mapList(p.frames)};
  copy->pageOrder_ = mapList(pageOrder_);
  for (const auto& [id, f] : frames_) {
    copy->frames_[map(id)] = Frame{map(id), map(f.page), map(f.parentFrame), map(f.flow), mapList(f.paragraphs),
                                   mapList(f.frames)};
  }
  for (const auto& [id, f] : flows_) copy->flows_[map(id)] = Flow{map(id), f.tag, mapList(f.frames)};
  copy->flowOrder_ = mapList(flowOrder_);
  for (const auto& [id, p] : paragraphs_) {
    copy->paragraphs_[map(id)] =
        Paragraph{map(id), map(p.container), p.text, p.formatName, mapShared(p.formatProperties), p.formatLocked, 0};
  }
  for (const auto& [id, t] : tables_) {
    Table table = t;
    table.id = map(id);
    table.properties = mapBag(t.properties);
    table.rows = mapList(t.rows);
    table.anchor.object = map(t.anchor.object);
    table.titleParagraphs = mapList(t.titleParagraphs);
    copy->tables_[table.id] = std::move(table);
  }
  copy->tableCreationOrder_ = mapList(tableCreationOrder_);
  // pastedFrom names objects as first read, which a copy does not have: it is not carried.
  for (const auto& [id, r] : rows_) copy->rows_[map(id)] = Row{map(id), map(r.table), r.kind, mapList(r.cells), 0};
  for (const auto& [id, c] : cells_) {
    Cell cell = c;
    cell.id = map(id);
    cell.row = map(c.row);
    cell.paragraphs = mapList(c.paragraphs);
    cell.pastedFrom = 0;
    copy->cells_[cell.id] = cell;
  }
  return copy;
}

// ---- Book ---------------------------------------------------------------------------------

Book::Book(std::string name) : fileName(std::move(name)), id_(NewObjectId(ObjectKind::kBook)) {}

BookComponent& Book::AddComponent(ObjectId parent, int32_t kind, std::string name) {
  BookComponent component;
  component.id = NewObjectId(ObjectKind::kBookComponent);
  component.kind = kind;
  component.fileName = std::move(name);
  BookComponent* parentComponent = FindComponent(parent);
  component.parent = parentComponent != nullptr ? parent : 0;
  if (parentComponent != nullptr) {
    parentComponent->children.push_back(component.id);
  } else {
    topLevel_.push_back(component.id);
  }
  ObjectId id = component.id;
  return components_[id] = std::move(component);
}

BookComponent* Book::FindComponent(ObjectId id) {
  auto it = components_.find(id);
  return it == components_.end() ? nullptr : &it->second;
}

const std::vector<ObjectId>* Book::SiblingsOf(ObjectId component) {
  BookComponent* c = FindComponent(component);
  if (c == nullptr) return nullptr;
  if (c->parent == 0) return &topLevel_;
  return &components_.at(c->parent).children;
}

}  // namespace gw::substitute
