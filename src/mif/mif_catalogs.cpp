// Catalogues: table format statements, colours, rulings and paragraph formats.
#include "mif/mif_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include "mif/mif_string.h"

namespace gw::mif::mapping {

Status Reader::ReadNames(NodeId catalog, std::string_view entry, std::string_view tagName,
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

Status Reader::ReadParagraphFormats(NodeId catalog) {
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

Status Reader::ReadFormatStatements(NodeId format, sub::PropertyBag& bag) {
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
  TitleFormatNodes title = FindTitleFormat(tree_, format);
  if (NodeId tag = title.direct != kNoNode ? title.direct : title.nested; tag != kNoNode) {
    Result<std::string> name = StringOf(tag);
    if (!name) return name.GetError();
    bag[kTitleFormatCode] = sub::PropertyValue::String(name.Value());
  }
  return Status::Ok();
}

Status Reader::ReadTableFormats(NodeId catalog) {
  if (catalog == kNoNode) return Status::Ok();
  // Reading formats looks rulings and colours up but adds none, so the
  // defaults are the same for every format of the catalogue.
  const sub::PropertyBag defaults = sub::DefaultTableFormatProperties(model_);
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
    sub::PropertyBag bag = defaults;
    if (Status s = ReadFormatStatements(format, bag); !s) return s;
    bag.shrink_to_fit();
    sub::TableFormat& added = model_.AddTableFormat(name.Value(), bag);
    binding_.tableFormats[added.id] = {format, name.Value(), std::move(bag), {}};
  }
  return Status::Ok();
}

Status Reader::ReadDisplayUnit(NodeId document) {
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

void Updater::EnsureNamed(const sub::PropertyBag& bag) {
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
    ObjectChange change;
    change.subject = ruling ? ObjectChange::Subject::kRuling : ObjectChange::Subject::kColour;
    change.action = ObjectChange::Action::kAdded;
    change.name = name;
    Record(std::move(change), [&](ObjectChange&) {
      NodeId catalog = TopLevel(ruling ? "RulingCatalog" : "ColorCatalog", "TblCatalog");
      NodeId entry = editor_.Append(catalog, ruling ? "Ruling" : "Color");
      editor_.AppendString(entry, ruling ? "RulingTag" : "ColorTag", name);
    });
  }
}

NodeId Updater::TopLevel(std::string_view name, std::string_view before) {
  NodeId node = tree_.FindChild(tree_.Root(), name);
  if (node != kNoNode) return node;
  NodeId next = tree_.FindChild(tree_.Root(), before);
  return next != kNoNode ? editor_.Before(next, name) : editor_.Append(tree_.Root(), name);
}

void Updater::UpdateTableFormats() {
  std::unordered_set<ObjectId> present(model_.TableFormatOrder().begin(), model_.TableFormatOrder().end());
  std::vector<ObjectId> gone;
  for (const auto& [id, entry] : binding_.tableFormats) {
    if (present.count(id) == 0) gone.push_back(id);
  }
  // Deleted formats in catalogue order, so that messages follow the file.
  std::sort(gone.begin(), gone.end(), [&](ObjectId a, ObjectId b) {
    return binding_.tableFormats[a].node < binding_.tableFormats[b].node;
  });
  for (ObjectId id : gone) {
    ObjectChange change;
    change.subject = ObjectChange::Subject::kTableFormat;
    change.action = ObjectChange::Action::kDeleted;
    change.name = binding_.tableFormats[id].name;
    Record(std::move(change), [&](ObjectChange&) {
      editor_.Remove(binding_.tableFormats[id].node);
      for (NodeId duplicate : binding_.tableFormats[id].duplicates) editor_.Remove(duplicate);
    });
    binding_.tableFormats.erase(id);
  }
  NodeId catalog = kNoNode;
  for (ObjectId id : model_.TableFormatOrder()) {
    const sub::TableFormat* format = FormatOf(model_, id);
    if (format == nullptr) continue;
    auto entry = binding_.tableFormats.find(id);
    EnsureNamed(format->properties);
    ObjectChange change;
    change.subject = ObjectChange::Subject::kTableFormat;
    if (entry == binding_.tableFormats.end()) {
      change.action = ObjectChange::Action::kAdded;
      change.name = format->name;
      Record(std::move(change), [&](ObjectChange&) {
        if (catalog == kNoNode) catalog = TopLevel("TblCatalog", "Tbls");
        NodeId node = editor_.Append(catalog, "TblFormat");
        editor_.AppendString(node, "TblTag", format->name);
        WriteFormatProperties(editor_, node, format->properties, model_, nullptr, binding_.unitless);
        binding_.tableFormats[id] = {node, format->name, format->properties, {}};
      });
      continue;
    }
    change.name = entry->second.name;
    change.newName = format->name;
    Record(std::move(change), [&](ObjectChange& made) {
      if (entry->second.name != format->name) {
        editor_.SetString(editor_.Child(entry->second.node, "TblTag"), format->name);
        entry->second.name = format->name;
      }
      std::vector<int32_t> changed = ChangedCodes(entry->second.baseline, format->properties);
      if (!changed.empty()) {
        made.properties = PropertyChanges(entry->second.baseline, format->properties, changed);
        WriteFormatProperties(editor_, entry->second.node, format->properties, model_, &changed, binding_.unitless);
        entry->second.baseline = format->properties;
      }
    });
  }
}

std::vector<PropertyChange> Updater::PropertyChanges(const sub::PropertyBag& before, const sub::PropertyBag& after,
                                                   const std::vector<int32_t>& codes) {
  std::vector<PropertyChange> changes;
  for (int32_t code : codes) changes.push_back({code, ValueOr(before, code), ValueOr(after, code)});
  return changes;
}

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

TitleFormatNodes FindTitleFormat(const Document& tree, NodeId format) {
  TitleFormatNodes found;
  found.title = tree.FindChild(format, "TblTitlePgf1");
  if (found.title == kNoNode) return found;
  found.direct = tree.FindChild(found.title, "PgfTag");
  if (NodeId pgf = tree.FindChild(found.title, "Pgf"); pgf != kNoNode) found.nested = tree.FindChild(pgf, "PgfTag");
  return found;
}

// Names the title paragraph format where the file names it: in the direct
// PgfTag when there is one, else in the nested one, else in a new direct
// PgfTag. A nested PgfTag beside a direct one is given the same name, so the
// file never names two title formats.
void SetTitleFormat(TreeEditor& editor, NodeId format, std::string_view name) {
  Document& tree = editor.Tree();
  TitleFormatNodes nodes = FindTitleFormat(tree, format);
  const auto set = [&](NodeId node) {
    Result<std::string> now = tree.ReadString(node);
    if (!now || now.Value() != name) editor.SetString(node, name);
  };
  if (nodes.direct == kNoNode && nodes.nested == kNoNode) {
    NodeId title = nodes.title != kNoNode ? nodes.title : editor.Append(format, "TblTitlePgf1");
    if (title != kNoNode) editor.AppendString(title, "PgfTag", name);
    return;
  }
  if (nodes.direct != kNoNode) set(nodes.direct);
  if (nodes.nested != kNoNode) set(nodes.nested);
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
  if (wanted(kTitleFormatCode)) SetTitleFormat(editor, format, ValueOr(bag, kTitleFormatCode).text);
}

// Writes a table's properties into its own TblFormat where the file would
// otherwise give other values: a statement there gets the new value; a
// property it does not state takes its value from `implied` (the catalogue
// format of the table's tag) and is added only when that differs. The
// TblFormat is made, after `after`, only when something must be written.
void WriteTableProperties(TreeEditor& editor, NodeId tbl, NodeId after, const sub::PropertyBag& bag,
                          const sub::PropertyBag& implied, const Model& model, Unit unitless) {
  Document& tree = editor.Tree();
  NodeId format = tree.FindChild(tbl, "TblFormat");
  const auto ownFormat = [&] {
    if (format == kNoNode) {
      format = after != kNoNode ? editor.After(after, "TblFormat") : editor.Append(tbl, "TblFormat");
    }
    return format;
  };
  for (const FormatStatement& statement : kFormatStatements) {
    const sub::PropertyValue value = ValueOr(bag, statement.code);
    NodeId node = format != kNoNode ? tree.FindChild(format, statement.name) : kNoNode;
    if (node == kNoNode) {
      if (value == ValueOr(implied, statement.code) || ownFormat() == kNoNode) continue;
      node = editor.Append(format, statement.name);
    }
    if (node != kNoNode) SetProperty(editor, node, statement, value, model, unitless);
  }
  NodeId margins = format != kNoNode ? tree.FindChild(format, "TblCellMargins") : kNoNode;
  bool marginsDiffer = false;
  for (int32_t code : kCellMarginCodes) {
    marginsDiffer = marginsDiffer || !(ValueOr(bag, code) == ValueOr(implied, code));
  }
  if (margins != kNoNode || marginsDiffer) {
    std::vector<int32_t> codes(std::begin(kCellMarginCodes), std::end(kCellMarginCodes));
    if (ownFormat() != kNoNode) WriteFormatProperties(editor, format, bag, model, &codes, unitless);
  }
  const std::string title = ValueOr(bag, kTitleFormatCode).text;
  TitleFormatNodes titleNodes = format != kNoNode ? FindTitleFormat(tree, format) : TitleFormatNodes{};
  const bool titleNamed = titleNodes.direct != kNoNode || titleNodes.nested != kNoNode;
  if (titleNamed || title != ValueOr(implied, kTitleFormatCode).text) {
    if (ownFormat() != kNoNode) SetTitleFormat(editor, format, title);
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

}  // namespace gw::mif::mapping
