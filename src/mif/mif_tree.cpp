#include "mif/mif_tree.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "mif/mif_string.h"

namespace gw::mif {
namespace {

constexpr double kPointsPerMillimeter = 72.0 / 25.4;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool IsDelimiter(char c) { return IsSpace(c) || c == '<' || c == '>' || c == '`' || c == '#'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The length of the number at the start of text, or 0.
std::size_t NumberPrefix(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  return digits == 0 ? 0 : i;
}

bool ParseDouble(std::string_view text, double* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// Splits a dimension's raw text into its number and its unit (nothing when
// written without one).
bool SplitDimension(std::string_view raw, double* number, std::optional<Unit>* unit) {
  std::size_t length = NumberPrefix(raw);
  if (length == 0 || !ParseDouble(raw.substr(0, length), number)) return false;
  std::string_view rest = raw.substr(length);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  if (rest.empty()) {
    *unit = std::nullopt;
    return true;
  }
  *unit = UnitFromName(rest);
  return unit->has_value();
}

// Whether raw is one well-formed MIF token of the given kind, so that the
// written file reads back the same.
bool IsWellFormed(std::string_view raw, NodeKind kind) {
  switch (kind) {
    case NodeKind::String: {
      if (raw.size() < 2 || raw.front() != '`') return false;
      for (std::size_t i = 1; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\n' || c == '\r') return false;
        if (c == '\\') {
          ++i;
          continue;
        }
        if (c == '\'') return i + 1 == raw.size();
      }
      return false;
    }
    case NodeKind::Number:
      return !raw.empty() && NumberPrefix(raw) == raw.size();
    case NodeKind::Dimension: {
      double number = 0;
      std::optional<Unit> unit;
      return SplitDimension(raw, &number, &unit) && unit.has_value() &&
             std::none_of(raw.begin(), raw.end(), [](char c) { return c == '\n' || c == '\r'; });
    }
    case NodeKind::Keyword:
      return !raw.empty() && std::none_of(raw.begin(), raw.end(), IsDelimiter) && raw != "define" &&
             raw != "include";
    default:
      return false;
  }
}

// "<" and the name. (Built by appending: GCC 12 warns wrongly about
// "<" + std::string at -O3.)
std::string StatementHead(std::string_view name) {
  std::string head;
  head.reserve(name.size() + 1);
  head.push_back('<');
  head.append(name);
  return head;
}

const char* KindWord(NodeKind kind) {
  switch (kind) {
    case NodeKind::Root: return "the file";
    case NodeKind::Statement: return "a statement";
    case NodeKind::Number: return "a number";
    case NodeKind::Dimension: return "a dimension";
    case NodeKind::String: return "a string";
    case NodeKind::Keyword: return "a keyword";
    case NodeKind::Facet: return "inset data";
    case NodeKind::Directive: return "a macro directive";
  }
  return "an item";
}

}  // namespace

double PointsPerUnit(Unit unit) {
  switch (unit) {
    case Unit::Point: return 1.0;
    case Unit::Inch: return 72.0;
    case Unit::Millimeter: return kPointsPerMillimeter;
    case Unit::Centimeter: return 10.0 * kPointsPerMillimeter;
    case Unit::Pica: return 12.0;
    case Unit::Didot: return 0.376065 * kPointsPerMillimeter;
    case Unit::Cicero: return 12.0 * 0.376065 * kPointsPerMillimeter;
    case Unit::Q: return 0.25 * kPointsPerMillimeter;
  }
  return 1.0;
}

std::optional<Unit> UnitFromName(std::string_view name) {
  struct Entry {
    std::string_view name;
    Unit unit;
  };
  static constexpr Entry kUnits[] = {
      {"pt", Unit::Point},         {"point", Unit::Point},           {"points", Unit::Point},
      {"\"", Unit::Inch},          {"in", Unit::Inch},               {"inch", Unit::Inch},
      {"inches", Unit::Inch},      {"mm", Unit::Millimeter},         {"millimeter", Unit::Millimeter},
      {"millimeters", Unit::Millimeter}, {"cm", Unit::Centimeter},   {"centimeter", Unit::Centimeter},
      {"centimeters", Unit::Centimeter}, {"pc", Unit::Pica},         {"pica", Unit::Pica},
      {"picas", Unit::Pica},       {"dd", Unit::Didot},              {"didot", Unit::Didot},
      {"didots", Unit::Didot},     {"cc", Unit::Cicero},             {"cicero", Unit::Cicero},
      {"ciceros", Unit::Cicero},   {"q", Unit::Q},
  };
  for (const Entry& entry : kUnits) {
    if (EqualsIgnoringCase(entry.name, name)) return entry.unit;
  }
  return std::nullopt;
}

std::string FormatDimension(double value, Unit unit) {
  char buffer[64];
  // Eight decimals keep every metric (1/65536 point) exact in every unit once
  // read back and rounded; trailing zeros go.
  std::snprintf(buffer, sizeof buffer, "%.8f", value);
  std::string text = buffer;
  while (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.') text.pop_back();
  if (text == "-0.0") text = "0.0";
  switch (unit) {
    case Unit::Point: return text + " pt";
    case Unit::Inch: return text + "\"";
    case Unit::Millimeter: return text + " mm";
    case Unit::Centimeter: return text + " cm";
    case Unit::Pica: return text + " pc";
    case Unit::Didot: return text + " dd";
    case Unit::Cicero: return text + " cc";
    case Unit::Q: return text + " Q";
  }
  return text;
}

// --- Text and nodes ---------------------------------------------------------

Document::Span Document::AddText(std::string_view text) {
  Span span{static_cast<std::uint32_t>(added_.size()) | kAddedBit, static_cast<std::uint32_t>(text.size())};
  added_ += text;
  return span;
}

NodeId Document::NewNode(NodeKind kind) {
  auto id = static_cast<NodeId>(nodes_.size());
  Node& node = nodes_.emplace_back();
  node.kind = kind;
  node.added = true;
  modified_ = true;
  return id;
}

void Document::NoteEdit(Edit::Kind kind, NodeId statement) {
  if (statement != kNoNode && statement != Root()) edits_.push_back({kind, statement});
}

Document::Node& Document::Mutable(NodeId node) {
  Node& at = nodes_[node];
  if (trial_.active && node < trial_.nodes && !at.saved) {
    trial_.saved.emplace_back(node, at);
    at.saved = true;
  }
  return at;
}

void Document::Touch(NodeId node) {
  for (NodeId at = node; at != kNoNode && !nodes_[at].touched; at = nodes_[at].parent) Mutable(at).touched = true;
}

void Document::LinkLast(NodeId parent, NodeId child) {
  Touch(parent);
  Node& node = Mutable(child);
  node.parent = parent;
  node.next = kNoNode;
  node.previous = nodes_[parent].lastChild;
  if (node.previous == kNoNode) {
    Mutable(parent).firstChild = child;
  } else {
    Mutable(node.previous).next = child;
  }
  Mutable(parent).lastChild = child;
}

void Document::LinkBefore(NodeId sibling, NodeId child) {
  Touch(nodes_[sibling].parent);
  Node& node = Mutable(child);
  node.parent = nodes_[sibling].parent;
  node.next = sibling;
  node.previous = nodes_[sibling].previous;
  if (node.previous == kNoNode) {
    Mutable(node.parent).firstChild = child;
  } else {
    Mutable(node.previous).next = child;
  }
  Mutable(sibling).previous = child;
}

void Document::BeginTrial() {
  if (trial_.active) Commit();
  trial_.active = true;
  trial_.nodes = nodes_.size();
  trial_.added = added_.size();
  trial_.edits = edits_.size();
  trial_.modified = modified_;
}

void Document::Rollback() {
  if (!trial_.active) return;
  for (auto it = trial_.saved.rbegin(); it != trial_.saved.rend(); ++it) nodes_[it->first] = it->second;
  nodes_.erase(nodes_.begin() + static_cast<std::ptrdiff_t>(trial_.nodes), nodes_.end());
  added_.resize(trial_.added);
  edits_.resize(trial_.edits);
  modified_ = trial_.modified;
  trial_ = Trial{};
}

void Document::Commit() {
  for (const auto& [node, before] : trial_.saved) nodes_[node].saved = false;
  trial_ = Trial{};
}

// --- The file as a whole ----------------------------------------------------

std::string_view Document::VersionText() const {
  NodeId version = FirstChild(Header());
  return version == kNoNode ? std::string_view() : RawText(version);
}

Unit Document::DeclaredUnit() const {
  NodeId units = FindChild(Root(), "Units");
  if (units == kNoNode) return Unit::Inch;
  Result<std::string> keyword = ReadKeyword(units);
  if (!keyword) return Unit::Inch;
  const std::string& name = keyword.Value();
  if (name == "Upt") return Unit::Point;
  if (name == "Umm") return Unit::Millimeter;
  if (name == "Ucm") return Unit::Centimeter;
  if (name == "Upica") return Unit::Pica;
  if (name == "Udd") return Unit::Didot;
  if (name == "Ucc") return Unit::Cicero;
  if (name == "UQ") return Unit::Q;
  return Unit::Inch;
}

// --- Navigation -------------------------------------------------------------

NodeId Document::Header() const { return FirstChild(Root()); }

bool Document::IsValue(NodeId node) const {
  switch (nodes_[node].kind) {
    case NodeKind::Number:
    case NodeKind::Dimension:
    case NodeKind::String:
    case NodeKind::Keyword:
      return true;
    default:
      return false;
  }
}

std::size_t Document::Depth(NodeId node) const {
  std::size_t depth = 0;
  for (NodeId parent = Parent(node); parent != kNoNode && parent != Root(); parent = Parent(parent)) ++depth;
  return depth;
}

std::vector<NodeId> Document::Children(NodeId parent) const {
  std::vector<NodeId> children;
  for (NodeId child = FirstChild(parent); child != kNoNode; child = Next(child)) children.push_back(child);
  return children;
}

NodeId Document::FindChild(NodeId parent, std::string_view name) const {
  if (parent == kNoNode) return kNoNode;
  for (NodeId child = FirstChild(parent); child != kNoNode; child = Next(child)) {
    if (nodes_[child].kind == NodeKind::Statement && Name(child) == name) return child;
  }
  return kNoNode;
}

std::vector<NodeId> Document::FindChildren(NodeId parent, std::string_view name) const {
  std::vector<NodeId> found;
  if (parent == kNoNode) return found;
  for (NodeId child = FirstChild(parent); child != kNoNode; child = Next(child)) {
    if (nodes_[child].kind == NodeKind::Statement && Name(child) == name) found.push_back(child);
  }
  return found;
}

std::vector<NodeId> Document::Values(NodeId statement) const {
  std::vector<NodeId> values;
  for (NodeId child = FirstChild(statement); child != kNoNode; child = Next(child)) {
    if (IsValue(child)) values.push_back(child);
  }
  return values;
}

std::optional<SourcePosition> Document::PositionOf(NodeId node) const {
  std::uint32_t offset = nodes_[node].sourceOffset;
  if (offset == kNewNode) return std::nullopt;
  // Indexed once, so that positioning every edit of a save stays linear.
  if (lineStarts_.empty()) {
    lineStarts_.push_back(0);
    const char* const begin = source_.data();
    const char* const end = begin + source_.size();
    for (const char* at = begin; (at = static_cast<const char*>(std::memchr(at, '\n', end - at))) != nullptr;) {
      ++at;
      lineStarts_.push_back(static_cast<std::uint32_t>(at - begin));
    }
  }
  // The line is the last one starting at or before the offset.
  auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  const auto line = static_cast<std::uint32_t>(after - lineStarts_.begin());
  return SourcePosition{line, offset - *(after - 1) + 1};
}

std::vector<std::optional<std::uint32_t>> Document::LinesOf(const std::vector<NodeId>& nodes) const {
  std::vector<std::optional<std::uint32_t>> lines(nodes.size());
  std::vector<std::pair<std::uint32_t, std::size_t>> byOffset;  // offset, index in nodes
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i] >= nodes_.size() || nodes_[nodes[i]].sourceOffset == kNewNode) continue;
    byOffset.emplace_back(nodes_[nodes[i]].sourceOffset, i);
  }
  std::sort(byOffset.begin(), byOffset.end());
  std::uint32_t line = 1;
  std::size_t counted = 0;
  for (const auto& [offset, index] : byOffset) {
    std::size_t until = std::min<std::size_t>(offset, source_.size());
    line += static_cast<std::uint32_t>(std::count(source_.begin() + static_cast<std::ptrdiff_t>(counted),
                                                  source_.begin() + static_cast<std::ptrdiff_t>(until), '\n'));
    counted = until;
    lines[index] = line;
  }
  return lines;
}

std::string Document::Describe(NodeId node) const {
  std::string text = fileName_;
  if (std::optional<SourcePosition> at = PositionOf(node)) {
    text += ':';
    text += std::to_string(at->line);
    text += ':';
    text += std::to_string(at->column);
  }
  NodeId statement = IsStatement(node) ? node : Parent(node);
  if (statement != kNoNode && IsStatement(statement)) {
    text += ": <";
    text += Name(statement);
    text += '>';
  }
  return text;
}

Error Document::NodeError(NodeId node, std::string_view why) const {
  return Error{Describe(node) + ": " + std::string(why)};
}

// --- Reading values ---------------------------------------------------------

Result<NodeId> Document::SingleValue(NodeId statement) const {
  if (statement == kNoNode || statement >= nodes_.size()) return Error{fileName_ + ": missing statement"};
  if (!IsStatement(statement)) return NodeError(statement, "not a statement");
  NodeId found = kNoNode;
  std::size_t count = 0;
  for (NodeId child = FirstChild(statement); child != kNoNode; child = Next(child)) {
    if (!IsValue(child)) continue;
    found = child;
    ++count;
  }
  if (count != 1) return NodeError(statement, "expected one value, found " + std::to_string(count));
  return found;
}

Result<NodeId> Document::ValueOfKind(NodeId statement, NodeKind kind, std::string_view expected) const {
  Result<NodeId> value = SingleValue(statement);
  if (!value) return value;
  NodeKind found = KindOf(value.Value());
  bool fits = found == kind || (kind == NodeKind::Dimension && found == NodeKind::Number);
  if (!fits) {
    return NodeError(statement, "expected " + std::string(expected) + ", found " + KindWord(found) + " " +
                                    std::string(RawText(value.Value())));
  }
  return value;
}

Result<std::string> Document::ReadString(NodeId statement) const {
  Result<NodeId> value = ValueOfKind(statement, NodeKind::String, "a string");
  if (!value) return value.GetError();
  std::string_view raw = RawText(value.Value());
  if (std::optional<std::string_view> plain = PlainString(raw, version_)) return std::string(*plain);
  std::size_t unmapped = 0;
  std::string bytes = DecodeString(raw, version_, &unmapped);
  if (unmapped != 0) {
    return NodeError(statement, "string has " + std::to_string(unmapped) +
                                    " character(s) that the host character set (FrameRoman) lacks");
  }
  return bytes;
}

Result<std::string> Document::ReadKeyword(NodeId statement) const {
  Result<NodeId> value = ValueOfKind(statement, NodeKind::Keyword, "a keyword");
  if (!value) return value.GetError();
  return std::string(RawText(value.Value()));
}

Result<std::int64_t> Document::ReadInt(NodeId statement) const {
  Result<NodeId> value = ValueOfKind(statement, NodeKind::Number, "an integer");
  if (!value) return value.GetError();
  std::string_view text = RawText(value.Value());
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) {
    return NodeError(statement, "expected an integer, found " + std::string(RawText(value.Value())));
  }
  return number;
}

Result<double> Document::ReadDouble(NodeId statement) const {
  Result<NodeId> value = ValueOfKind(statement, NodeKind::Number, "a number");
  if (!value) return value.GetError();
  double number = 0;
  if (!ParseDouble(RawText(value.Value()), &number)) {
    return NodeError(statement, "expected a number, found " + std::string(RawText(value.Value())));
  }
  return number;
}

Result<double> Document::ReadPoints(NodeId statement, Unit unitlessAs) const {
  Result<NodeId> value = ValueOfKind(statement, NodeKind::Dimension, "a dimension");
  if (!value) return value.GetError();
  double number = 0;
  std::optional<Unit> unit;
  if (!SplitDimension(RawText(value.Value()), &number, &unit)) {
    return NodeError(statement, "expected a dimension, found " + std::string(RawText(value.Value())));
  }
  return number * PointsPerUnit(unit.value_or(unitlessAs));
}

Result<std::int32_t> Document::ReadMetric(NodeId statement, Unit unitlessAs) const {
  Result<double> points = ReadPoints(statement, unitlessAs);
  if (!points) return points.GetError();
  double metric = std::round(points.Value() * 65536.0);
  if (!(metric >= std::numeric_limits<std::int32_t>::min() && metric <= std::numeric_limits<std::int32_t>::max())) {
    return NodeError(statement, "dimension out of range: " + std::string(RawText(SingleValue(statement).Value())));
  }
  return static_cast<std::int32_t>(metric);
}

// --- Editing ----------------------------------------------------------------

Status Document::CheckStatement(NodeId node) const {
  if (node == kNoNode || node >= nodes_.size() || nodes_[node].removed) {
    return Error{fileName_ + ": edit: no such statement"};
  }
  if (!IsStatement(node)) return NodeError(node, std::string("edit: expected a statement, found ") + KindWord(KindOf(node)));
  return Status::Ok();
}

Status Document::CheckNewName(std::string_view name) const {
  bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
  if (!plain) return Error{fileName_ + ": edit: \"" + std::string(name) + "\" is not a statement name"};
  return Status::Ok();
}

Status Document::SetRawValue(NodeId value, std::string_view raw, NodeKind kind) {
  if (value == kNoNode || value >= nodes_.size() || nodes_[value].removed || !IsValue(value)) {
    return Error{fileName_ + ": edit: no such value"};
  }
  if (!IsWellFormed(raw, kind)) {
    return NodeError(value, "edit: \"" + std::string(raw) + "\" is not " + KindWord(kind));
  }
  Span text = AddText(raw);
  Touch(value);
  Node& changed = Mutable(value);
  changed.text = text;
  changed.kind = kind;
  modified_ = true;
  NoteEdit(Edit::Kind::kChanged, Parent(value));
  return Status::Ok();
}

Status Document::ReplaceSingleValue(NodeId statement, std::string_view raw, NodeKind kind) {
  if (Status status = CheckStatement(statement); !status) return status;
  std::vector<NodeId> values = Values(statement);
  if (values.empty()) {
    Result<NodeId> added = AppendRawValue(statement, raw, kind);
    if (!added) return added.GetError();
    return Status::Ok();
  }
  if (values.size() > 1) {
    return NodeError(statement, "edit: expected one value, found " + std::to_string(values.size()));
  }
  return SetRawValue(values.front(), raw, kind);
}

Status Document::SetString(NodeId statement, std::string_view hostBytes) {
  return ReplaceSingleValue(statement, EncodeString(hostBytes, version_), NodeKind::String);
}

Status Document::SetKeyword(NodeId statement, std::string_view keyword) {
  return ReplaceSingleValue(statement, keyword, NodeKind::Keyword);
}

Status Document::SetInt(NodeId statement, std::int64_t value) {
  return ReplaceSingleValue(statement, std::to_string(value), NodeKind::Number);
}

Status Document::SetPoints(NodeId statement, double points) {
  if (Status status = CheckStatement(statement); !status) return status;
  Unit unit = Unit::Point;
  std::vector<NodeId> values = Values(statement);
  if (values.size() == 1 && KindOf(values.front()) == NodeKind::Dimension) {
    double number = 0;
    std::optional<Unit> written;
    if (SplitDimension(RawText(values.front()), &number, &written) && written) unit = *written;
  }
  return ReplaceSingleValue(statement, FormatDimension(points / PointsPerUnit(unit), unit), NodeKind::Dimension);
}

Result<NodeId> Document::AppendStatement(NodeId parent, std::string_view name) {
  bool isRoot = parent == Root();
  if (!isRoot) {
    if (Status status = CheckStatement(parent); !status) return status.GetError();
  }
  if (Status status = CheckNewName(name); !status) return status.GetError();
  NodeId node = NewNode(NodeKind::Statement);
  nodes_[node].text = AddText(StatementHead(name));
  LinkLast(parent, node);
  NoteEdit(Edit::Kind::kAdded, node);
  return node;
}

Result<NodeId> Document::InsertStatementBefore(NodeId sibling, std::string_view name) {
  if (Status status = CheckStatement(sibling); !status) return status.GetError();
  if (sibling == Header()) return NodeError(sibling, "edit: nothing can come before the header");
  if (Status status = CheckNewName(name); !status) return status.GetError();
  NodeId node = NewNode(NodeKind::Statement);
  nodes_[node].text = AddText(StatementHead(name));
  LinkBefore(sibling, node);
  NoteEdit(Edit::Kind::kAdded, node);
  return node;
}

Result<NodeId> Document::InsertStatementAfter(NodeId sibling, std::string_view name) {
  if (Status status = CheckStatement(sibling); !status) return status.GetError();
  if (Status status = CheckNewName(name); !status) return status.GetError();
  NodeId node = NewNode(NodeKind::Statement);
  nodes_[node].text = AddText(StatementHead(name));
  NodeId following = Next(sibling);
  if (following == kNoNode) {
    LinkLast(Parent(sibling), node);
  } else {
    LinkBefore(following, node);
  }
  NoteEdit(Edit::Kind::kAdded, node);
  return node;
}

Result<NodeId> Document::AppendRawValue(NodeId statement, std::string_view raw, NodeKind kind) {
  if (Status status = CheckStatement(statement); !status) return status.GetError();
  if (!IsWellFormed(raw, kind)) {
    return NodeError(statement, "edit: \"" + std::string(raw) + "\" is not " + KindWord(kind));
  }
  // Values go after the statement's other values and before its statements.
  NodeId lastValue = kNoNode;
  for (NodeId child = FirstChild(statement); child != kNoNode; child = Next(child)) {
    if (IsValue(child)) lastValue = child;
  }
  NodeId node = NewNode(kind);
  nodes_[node].text = AddText(raw);
  NodeId following = lastValue != kNoNode ? Next(lastValue) : FirstChild(statement);
  if (following == kNoNode) {
    LinkLast(statement, node);
  } else {
    LinkBefore(following, node);
  }
  NoteEdit(Edit::Kind::kChanged, statement);
  return node;
}

Result<NodeId> Document::AppendString(NodeId statement, std::string_view hostBytes) {
  return AppendRawValue(statement, EncodeString(hostBytes, version_), NodeKind::String);
}

Result<NodeId> Document::AppendKeyword(NodeId statement, std::string_view keyword) {
  return AppendRawValue(statement, keyword, NodeKind::Keyword);
}

Result<NodeId> Document::AppendInt(NodeId statement, std::int64_t value) {
  return AppendRawValue(statement, std::to_string(value), NodeKind::Number);
}

Result<NodeId> Document::AppendDimension(NodeId statement, double points, Unit unit) {
  return AppendRawValue(statement, FormatDimension(points / PointsPerUnit(unit), unit), NodeKind::Dimension);
}

Status Document::Remove(NodeId node) {
  if (node == kNoNode || node >= nodes_.size() || nodes_[node].removed) {
    return Error{fileName_ + ": edit: no such node"};
  }
  if (node == Root()) return Error{fileName_ + ": edit: the file itself cannot be removed"};
  if (node == Header()) return NodeError(node, "edit: the header cannot be removed");
  NoteEdit(IsStatement(node) ? Edit::Kind::kRemoved : Edit::Kind::kChanged, IsStatement(node) ? node : Parent(node));
  Touch(nodes_[node].parent);
  Node& removed = Mutable(node);
  if (removed.previous == kNoNode) {
    Mutable(removed.parent).firstChild = removed.next;
  } else {
    Mutable(removed.previous).next = removed.next;
  }
  if (removed.next == kNoNode) {
    Mutable(removed.parent).lastChild = removed.previous;
  } else {
    Mutable(removed.next).previous = removed.previous;
  }
  removed.next = removed.previous = kNoNode;
  // Everything inside goes too, so that a stale id cannot be edited unseen.
  std::vector<NodeId> pending{node};
  while (!pending.empty()) {
    NodeId current = pending.back();
    pending.pop_back();
    Mutable(current).removed = true;
    for (NodeId child = FirstChild(current); child != kNoNode; child = Next(child)) pending.push_back(child);
  }
  modified_ = true;
  return Status::Ok();
}

Result<NodeId> Document::CopyStatement(NodeId source, NodeId parent, NodeId sibling) {
  if (source == kNoNode || source >= nodes_.size() || !IsStatement(source)) {
    return Error{fileName_ + ": edit: no such statement to copy"};
  }
  if (sibling != kNoNode) {
    if (Status status = CheckStatement(sibling); !status) return status.GetError();
    parent = Parent(sibling);
  } else if (parent != Root()) {
    if (Status status = CheckStatement(parent); !status) return status.GetError();
  }
  // Copies node by node, children after their parent; text spans are shared,
  // since neither the file's text nor added text ever changes once written.
  std::vector<std::pair<NodeId, NodeId>> pending;  // (source, the copy's parent)
  const auto copyOne = [&](NodeId from) {
    NodeId to = static_cast<NodeId>(nodes_.size());
    Node copy = nodes_[from];
    copy.removed = false;
    copy.added = true;
    copy.saved = false;
    copy.parent = copy.firstChild = copy.lastChild = copy.next = copy.previous = kNoNode;
    nodes_.push_back(copy);
    return to;
  };
  NodeId top = copyOne(source);
  if (sibling != kNoNode) {
    LinkBefore(sibling, top);
  } else {
    LinkLast(parent, top);
  }
  for (NodeId child = FirstChild(source); child != kNoNode; child = Next(child)) pending.emplace_back(child, top);
  // Children are linked in order: each pending list of one parent is in order.
  for (std::size_t i = 0; i < pending.size(); ++i) {
    auto [from, into] = pending[i];
    NodeId made = copyOne(from);
    LinkLast(into, made);
    for (NodeId child = FirstChild(from); child != kNoNode; child = Next(child)) pending.emplace_back(child, made);
  }
  modified_ = true;
  NoteEdit(Edit::Kind::kAdded, top);
  return top;
}

std::string Document::PathOf(NodeId node) const {
  std::vector<std::string_view> names;
  for (NodeId at = node; at != kNoNode && at != Root(); at = Parent(at)) {
    if (IsStatement(at)) names.push_back(Name(at));
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '/';
    path += *it;
  }
  return path;
}

Document Document::Copy() const {
  Document copy;
  copy.sourceBytes_ = sourceBytes_;  // the file's bytes never change: copies share them
  copy.source_ = source_;
  copy.added_ = added_;
  copy.nodes_ = nodes_;
  copy.fileName_ = fileName_;
  copy.lineBreak_ = lineBreak_;
  copy.kind_ = kind_;
  copy.version_ = version_;
  copy.modified_ = modified_;
  copy.edits_ = edits_;
  // The copy holds no trial: no node of it is saved.
  for (const auto& [node, before] : trial_.saved) copy.nodes_[node].saved = false;
  return copy;
}

}  // namespace gw::mif
