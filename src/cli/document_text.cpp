// Report rendering, document summaries and their differences.
#include "cli/document_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mif/frame_roman.h"

namespace gw::cli {

namespace {

using substitute::Document;
using substitute::ObjectKind;
using substitute::PropertyBag;
using substitute::PropertyValue;
using substitute::ValueKind;

enum class Shown { kEnum, kInt, kMetric, kName, kBool, kTint, kString };

struct ShownProperty {
  int32_t code;
  const char* label;
  Shown shown;
  std::vector<const char*> words = {};  // enum values from 0
};

// The format-level properties in the order of the table tag report, with the
// title paragraph format last.
const std::vector<ShownProperty>& ShownProperties() {
  static const std::vector<ShownProperty> properties = {
      {1282, "Alignment", Shown::kEnum, {"Left", "Center", "Right", "Inside", "Outside"}},
      {1283,
       "Start",
       Shown::kEnum,
       {"Anywhere", "Top of Column", "Top of Page", "Top of Left Page", "Top of Right Page", "Float"}},
      {1288, "Numbering", Shown::kEnum, {"Row First", "Column First"}},
      {1291, "Orphan Rows", Shown::kInt},
      {1289, "Title Position", Shown::kEnum, {"No Title", "Above Table", "Below Table"}},
      {1290, "Title Gap", Shown::kMetric},
      {1278, "Indent Left", Shown::kMetric},
      {1279, "Indent Right", Shown::kMetric},
      {1280, "Space Above", Shown::kMetric},
      {1281, "Space Below", Shown::kMetric},
      {1315, "Cell Margin Top", Shown::kMetric},
      {1316, "Cell Margin Bottom", Shown::kMetric},
      {1317, "Cell Margin Left", Shown::kMetric},
      {1318, "Cell Margin Right", Shown::kMetric},
      {1293, "Column Ruling Period", Shown::kInt},
      {1309, "Column Ruling", Shown::kName},
      {1314, "Other Column Ruling", Shown::kName},
      {1294, "Body Row Ruling Period", Shown::kInt},
      {1310, "Body Row Ruling", Shown::kName},
      {1313, "Other Body Row Ruling", Shown::kName},
      {1311, "Heading/Footing Separator", Shown::kName},
      {1312, "Heading/Footing Row Ruling", Shown::kName},
      {1305, "Outside Top", Shown::kName},
      {1306, "Outside Bottom", Shown::kName},
      {1307, "Outside Left", Shown::kName},
      {1308, "Outside Right", Shown::kName},
      {1295, "Bottom Ruling on Last Sheet Only", Shown::kBool},
      {1296, "Heading/Footing Fill", Shown::kTint},
      {1297, "Heading/Footing Color", Shown::kName},
      {1300, "Shade By", Shown::kEnum, {"Body Row(s)", "Column(s)"}},
      {1301, "First", Shown::kInt},
      {1298, "First Fill", Shown::kTint},
      {1299, "First Color", Shown::kName},
      {1303, "Next", Shown::kInt},
      {1302, "Next Fill", Shown::kTint},
      {1304, "Next Color", Shown::kName},
      {20, "Title Paragraph Format", Shown::kString},
  };
  return properties;
}

// Two decimals, or as many more as the value needs to be told apart from
// its neighbours (a metric is 1/65536 point).
std::string Points(int32_t metric) {
  char buffer[48];
  const double points = static_cast<double>(metric) / 65536.0;
  std::snprintf(buffer, sizeof buffer, "%.2f", points);
  if (std::llround(std::strtod(buffer, nullptr) * 65536.0) != metric) {
    std::snprintf(buffer, sizeof buffer, "%.7f", points);
    std::string text = buffer;
    while (text.back() == '0' && text[text.size() - 3] != '.') text.pop_back();
    return text + " pt";
  }
  return std::string(buffer) + " pt";
}

std::string Tint(int32_t value) {
  static constexpr std::array<const char*, 8> kTints = {"100%", "90%", "70%", "50%", "30%", "10%", "3%", "White"};
  if (value >= 0 && value < 8) return kTints[static_cast<size_t>(value)];
  if (value == 15) return "None";
  return "As Is (" + std::to_string(value) + ")";
}

std::string ValueText(const Document& document, const ShownProperty& shown, const PropertyBag& bag) {
  auto it = bag.find(shown.code);
  if (it == bag.end()) return "(none)";
  const PropertyValue& value = it->second;
  switch (shown.shown) {
    case Shown::kEnum:
      if (value.number >= 0 && static_cast<size_t>(value.number) < shown.words.size()) {
        return shown.words[static_cast<size_t>(value.number)];
      }
      return "As Is (" + std::to_string(value.number) + ")";
    case Shown::kInt:
      return std::to_string(value.number);
    case Shown::kMetric:
      return Points(value.number);
    case Shown::kBool:
      return value.number == 1 ? "Yes" : "No";
    case Shown::kTint:
      return Tint(value.number);
    case Shown::kString:
      return value.text.empty() ? "(none)" : value.text;
    case Shown::kName: {
      if (value.number == 0) return "None";
      const substitute::NamedObject* named = document.FindNamed(static_cast<::ObjectId>(value.number));
      return named == nullptr ? "(unknown)" : named->name;
    }
  }
  return {};
}

std::vector<PropertyText> PropertiesOf(const Document& document, const PropertyBag& bag) {
  std::vector<PropertyText> texts;
  for (const ShownProperty& shown : ShownProperties()) texts.push_back({shown.label, ValueText(document, shown, bag)});
  return texts;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string PageOfParagraph(const Document& document, ::ObjectId paragraph) {
  ::ObjectId frameId = document.FrameOfParagraph(paragraph);
  for (int depth = 0; frameId != 0 && depth < 64; ++depth) {
    const substitute::Frame* frame = document.FindFrame(frameId);
    if (frame == nullptr) break;
    if (frame->page != 0) {
      switch (substitute::KindOf(frame->page)) {
        case ObjectKind::kBodyPage:
          return "body";
        case ObjectKind::kMasterPage:
          return "master";
        case ObjectKind::kReferencePage:
          return "reference";
        case ObjectKind::kHiddenPage:
          return "hidden";
        default:
          return "none";
      }
    }
    frameId = frame->parentFrame;
  }
  return "none";
}

std::string HostTextToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      result += c;
      continue;
    }
    mif::AppendUtf8(result, mif::FrameRomanToUnicode(byte).value_or(U'\uFFFD'));
  }
  return result;
}

Result<std::string> Utf8ToHostText(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length = 1;
    std::optional<char32_t> codePoint = mif::DecodeUtf8(text.substr(at), &length);
    if (!codePoint) return Failure{ExitCode::kUsage, "not valid UTF-8"};
    std::optional<unsigned char> byte = mif::UnicodeToFrameRoman(*codePoint);
    if (!byte) {
      char number[16];
      std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(*codePoint));
      return Failure{ExitCode::kUsage, "the character " + std::string(number) + " has no FrameRoman form"};
    }
    result += static_cast<char>(*byte);
    at += length;
  }
  return result;
}

std::string RenderReport(const Document& document) {
  // Tables by the paragraph that anchors them, in document order.
  std::map<::ObjectId, std::vector<::ObjectId>> anchored;
  for (::ObjectId table : document.TablesInOrder()) {
    const substitute::Table* found = document.FindTable(table);
    if (found != nullptr) anchored[found->anchor.object].push_back(table);
  }
  std::string text;
  std::vector<::ObjectId> paragraphs = document.MainFlowParagraphs();
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    const substitute::Paragraph* paragraph = document.FindParagraph(paragraphs[i]);
    if (paragraph == nullptr) continue;
    auto tables = anchored.find(paragraph->id);
    bool last = i + 1 == paragraphs.size();
    bool hasTables = tables != anchored.end();
    if (!paragraph->text.empty() || (!last && !hasTables)) {
      text += paragraph->formatName + ":";
      if (!paragraph->text.empty()) text += " " + paragraph->text;
      text += "\n";
    }
    if (!hasTables) continue;
    for (::ObjectId tableId : tables->second) {
      const substitute::Table* table = document.FindTable(tableId);
      text += "Table: " + table->tag + "\n";
      for (::ObjectId rowId : table->rows) {
        const substitute::Row* row = document.FindRow(rowId);
        if (row == nullptr) continue;
        std::string line;
        for (size_t c = 0; c < row->cells.size(); ++c) {
          if (c > 0) line += "\t";
          line += document.CellText(row->cells[c]);
        }
        text += "\t" + line + "\n";
      }
    }
  }
  return text;
}

DocumentSummary Summarize(const Document& document) {
  // The model's format lookups are not const; nothing here changes the document.
  Document& model = const_cast<Document&>(document);
  DocumentSummary summary;
  summary.fileName = document.fileName;
  for (::ObjectId formatId : document.TableFormatOrder()) {
    const substitute::TableFormat* format = model.FindTableFormat(formatId);
    if (format == nullptr) continue;
    summary.formats.push_back({format->name, PropertiesOf(document, format->properties)});
  }
  for (::ObjectId tableId : document.TablesInOrder()) {
    const substitute::Table* table = document.FindTable(tableId);
    if (table == nullptr) continue;
    TableSummary entry;
    entry.tag = table->tag;
    entry.page = PageOfParagraph(document, table->anchor.object);
    entry.columns = static_cast<int32_t>(table->columnWidths.size());
    entry.properties = PropertiesOf(document, table->properties);
    const substitute::TableFormat* format = model.FindTableFormat(table->tag);
    entry.formatExists = format != nullptr;
    if (format != nullptr) {
      // Compared by value, not by the words shown: a difference too small to print still counts.
      const auto valueOf = [](const PropertyBag& bag, int32_t code) {
        auto it = bag.find(code);
        return it == bag.end() ? PropertyValue{} : it->second;
      };
      for (const ShownProperty& shown : ShownProperties()) {
        if (!(valueOf(format->properties, shown.code) == valueOf(table->properties, shown.code)))
          entry.differing.push_back(shown.label);
      }
    }
    for (size_t r = 0; r < table->rows.size(); ++r) {
      const substitute::Row* row = document.FindRow(table->rows[r]);
      if (row == nullptr) continue;
      if (r == 0) entry.firstRowIsBody = row->kind != substitute::kRowHeading;
      if (row->kind == substitute::kRowHeading)
        ++entry.headingRows;
      else if (row->kind == substitute::kRowFooting)
        ++entry.footingRows;
      else
        ++entry.bodyRows;
      std::vector<std::string> cellTexts;
      for (::ObjectId cellId : row->cells) {
        const substitute::Cell* cell = document.FindCell(cellId);
        if (cell == nullptr) continue;
        if (std::any_of(std::begin(cell->overrides), std::end(cell->overrides), [](int32_t f) { return f == 1; })) {
          ++entry.cellsWithOverrides;
        }
        cellTexts.push_back(document.CellText(cellId));
      }
      entry.cells.push_back(std::move(cellTexts));
    }
    summary.tables.push_back(std::move(entry));
  }
  return summary;
}

std::string RenderTable(const DocumentSummary& summary, size_t i) {
  std::string text;
  {
    const TableSummary& table = summary.tables[i];
    const std::string where = table.page == "none" ? " on no page, " : " on a " + table.page + " page, ";
    text += std::to_string(i + 1) + ". " + Quoted(table.tag) + where +
            std::to_string(table.columns) + (table.columns == 1 ? " column" : " columns") + ", rows " +
            std::to_string(table.headingRows) + " heading " + std::to_string(table.bodyRows) + " body " +
            std::to_string(table.footingRows) + " footing";
    if (table.firstRowIsBody) text += ", first row is a body row";
    text += "\n    ";
    if (!table.formatExists) {
      text += "overrides: no table format of that name";
    } else if (!table.Overrides()) {
      text += "matches its format";
    } else {
      text += "overrides:";
      std::string separator = " ";
      for (const std::string& label : table.differing) {
        auto own = std::find_if(table.properties.begin(), table.properties.end(),
                                [&](const PropertyText& p) { return p.label == label; });
        text += separator + label + " " + own->value;
        separator = ", ";
      }
      if (table.cellsWithOverrides > 0) {
        text += separator + std::to_string(table.cellsWithOverrides) + " cell" +
                (table.cellsWithOverrides == 1 ? "" : "s") + " with overrides";
      }
    }
    text += "\n";
  }
  return text;
}

std::string RenderSummary(const DocumentSummary& summary, const std::string& title) {
  // Properties are shown in groups, one line each, by the first label of each group.
  static const std::vector<std::pair<std::string, std::string>> kGroups = {{"Alignment", "Basic"},
                                                                           {"Indent Left", "Indents and space"},
                                                                           {"Cell Margin Top", "Cell margins"},
                                                                           {"Column Ruling Period", "Ruling"},
                                                                           {"Heading/Footing Fill", "Shading"},
                                                                           {"Title Paragraph Format", "Title"}};
  std::string text = title + "\n";
  text += "Table formats (" + std::to_string(summary.formats.size()) + "):\n";
  for (const FormatSummary& format : summary.formats) {
    text += "  " + Quoted(format.name);
    for (const PropertyText& property : format.properties) {
      auto group =
          std::find_if(kGroups.begin(), kGroups.end(), [&](const auto& g) { return g.first == property.label; });
      text += group != kGroups.end() ? "\n    " + group->second + ": " : "; ";
      text += property.label + " " + property.value;
    }
    text += "\n";
  }
  text += "Tables (" + std::to_string(summary.tables.size()) + "):\n";
  for (size_t i = 0; i < summary.tables.size(); ++i) text += "  " + RenderTable(summary, i);
  return text;
}

std::vector<std::string> DescribeChanges(const mif::ChangeRecord& record, const Document& document) {
  using Subject = mif::ObjectChange::Subject;
  using Action = mif::ObjectChange::Action;
  // Property changes in the order `show` lists properties, as "Label before -> after".
  const auto propertyLines = [&](const std::vector<mif::PropertyChange>& changes) {
    std::vector<std::string> lines;
    for (const ShownProperty& shown : ShownProperties()) {
      for (const mif::PropertyChange& change : changes) {
        if (change.code != shown.code) continue;
        PropertyBag before{{change.code, change.before}}, after{{change.code, change.after}};
        lines.push_back(std::string(shown.label) + " " + ValueText(document, shown, before) + " -> " +
                        ValueText(document, shown, after));
      }
    }
    return lines;
  };
  std::vector<std::string> lines;
  for (const mif::ObjectChange& change : record) {
    switch (change.subject) {
      case Subject::kTableFormat:
        if (change.action == Action::kDeleted) {
          lines.push_back("deleted table format " + Quoted(change.name));
        } else if (change.action == Action::kAdded) {
          lines.push_back("added table format " + Quoted(change.name));
        } else {
          if (change.newName != change.name) {
            lines.push_back("renamed table format " + Quoted(change.name) + " -> " + Quoted(change.newName));
          }
          for (const std::string& line : propertyLines(change.properties))
            lines.push_back("table format " + Quoted(change.newName) + ": " + line);
          if (change.newName == change.name && change.properties.empty())
            lines.push_back("table format " + Quoted(change.name) + ": statements rewritten");
        }
        break;
      case Subject::kTable: {
        std::string head = "table " + std::to_string(change.tableNumber) + " (" + Quoted(change.name) + ")";
        if (change.action == Action::kDeleted) {
          lines.push_back("deleted " + head);
          break;
        }
        if (change.action == Action::kAdded) {
          lines.push_back("added " + head);
          break;
        }
        std::vector<std::string> parts;
        if (change.newName != change.name) {
          parts.push_back("tag " + Quoted(change.name) + " -> " + Quoted(change.newName));
        }
        std::vector<std::string> changed = propertyLines(change.properties);
        // A few changes are named; many (a conversion) are counted.
        if (changed.size() > 3) {
          parts.push_back(std::to_string(changed.size()) + " properties changed");
        } else {
          parts.insert(parts.end(), changed.begin(), changed.end());
        }
        if (change.overridesBefore != change.overridesAfter) {
          parts.push_back("cells with overrides " + std::to_string(change.overridesBefore) + " -> " +
                          std::to_string(change.overridesAfter));
        }
        if (change.rowsBefore != change.rowsAfter) {
          const auto rows = [](const std::array<int32_t, 3>& r) {
            return std::to_string(r[0]) + "/" + std::to_string(r[1]) + "/" + std::to_string(r[2]);
          };
          parts.push_back("rows " + rows(change.rowsBefore) + " -> " + rows(change.rowsAfter) +
                          " (heading/body/footing)");
        } else if (change.contentChanged) {
          parts.push_back("cell text changed");
        }
        // Statements written to keep values the table took from a format that changed or went.
        if (parts.empty()) parts.push_back("keeps the properties its format gave it");
        std::string line = head + ": ";
        for (size_t p = 0; p < parts.size(); ++p) line += (p == 0 ? "" : ", ") + parts[p];
        lines.push_back(line);
        break;
      }
      case Subject::kColour:
        lines.push_back("added colour " + Quoted(change.name));
        break;
      case Subject::kRuling:
        lines.push_back("added ruling " + Quoted(change.name));
        break;
      case Subject::kParagraph:
        lines.push_back("text flow " + Quoted(change.name) + ": paragraphs changed");
        break;
      case Subject::kOther:
        lines.push_back(std::to_string(change.edits.size()) + " other statement(s) changed");
        break;
    }
  }
  return lines;
}

}  // namespace gw::cli
