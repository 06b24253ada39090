// Text and JSON writers for check results.
#include "cli/render.h"

#include <map>
#include <nlohmann/json.hpp>

#include "cli/document_text.h"
#include "platform/version_info.h"

namespace gw::cli {

namespace {

using Json = nlohmann::ordered_json;

// Stands for the "tables" array in the dumped document until its items are copied in.
constexpr char kTablesMark[] = "@@gridwright tables@@";

bool Fails(const CheckResult& result, const Finding& finding) { return result.failOn.count(finding.kind) != 0; }

std::string Words(const CheckResult& result, size_t property, const FactValue& value, size_t document) {
  return HostTextToUtf8(
      ValueWords(result.properties[property], value, result.documents[document].displayUnit));
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- JSON values ----------------------------------------------------------------------------------

const char* KindWord(ComparedProperty::Kind kind) {
  switch (kind) {
    case ComparedProperty::Kind::kInteger:
      return "integer";
    case ComparedProperty::Kind::kMetric:
      return "metric";
    case ComparedProperty::Kind::kObject:
      return "object";
  }
  return "integer";
}

// Metrics in points, objects by name (null for none), integers as they are.
Json ValueJson(const ComparedProperty& property, const FactValue& value) {
  switch (property.kind) {
    case ComparedProperty::Kind::kMetric:
      return MetricPoints(value.number);
    case ComparedProperty::Kind::kObject:
      return value.name.empty() ? Json(nullptr) : Json(HostTextToUtf8(value.name));
    case ComparedProperty::Kind::kInteger:
      return value.number;
  }
  return nullptr;
}

Json PropertyJson(const CheckResult& result, size_t property) {
  const ComparedProperty& compared = result.properties[property];
  return Json{{"code", compared.code}, {"name", PropertyLabel(compared.code)}, {"kind", KindWord(compared.kind)}};
}

Json FindingJson(const CheckResult& result, const Finding& finding) {
  const DocumentFacts& document = result.documents[finding.document];
  Json json{{"kind", FindingKindName(finding.kind)},
            {"severity", Fails(result, finding) ? "error" : "warning"},
            {"file", document.file},
            {"line", finding.line},
            {"format", HostTextToUtf8(finding.format)},
            {"table", finding.table == 0 ? Json(nullptr) : Json(finding.table)},
            {"message", HostTextToUtf8(finding.message)}};
  if (finding.kind == FindingKind::kOverride || finding.kind == FindingKind::kTemplate) {
    bool fromTemplate = finding.kind == FindingKind::kTemplate;
    Json properties = Json::array();
    for (const PropertyDifference& difference : finding.differences) {
      const ComparedProperty& compared = result.properties[difference.property];
      Json entry = PropertyJson(result, difference.property);
      entry[fromTemplate ? "template" : "format"] = ValueJson(compared, difference.expected);
      entry[fromTemplate ? "document" : "table"] = ValueJson(compared, difference.actual);
      properties.push_back(std::move(entry));
    }
    json["properties"] = std::move(properties);
  }
  if (finding.kind == FindingKind::kOverride) {
    Json cells = Json::array();
    for (const CellOverride& cell : finding.cells) {
      Json flags = Json::array();
      for (int32_t flag : cell.flags) flags.push_back(CellFlagLabel(flag));
      cells.push_back(Json{{"row", cell.row}, {"column", cell.column}, {"overrides", std::move(flags)}});
    }
    json["cells"] = std::move(cells);
  }
  if (finding.kind == FindingKind::kDrift) {
    Json properties = Json::array();
    for (const auto& [property, variants] : finding.drift) {
      Json entry = PropertyJson(result, property);
      Json list = Json::array();
      for (const DriftVariant& variant : variants) {
        Json files = Json::array();
        for (size_t index : variant.documents) files.push_back(result.documents[index].file);
        list.push_back(Json{{"value", ValueJson(result.properties[property], variant.value)}, {"files", files}});
      }
      entry["variants"] = std::move(list);
      properties.push_back(std::move(entry));
    }
    json["properties"] = std::move(properties);
  }
  if (finding.kind == FindingKind::kCaseVariant) {
    Json names = Json::array();
    for (const std::string& name : finding.names) names.push_back(HostTextToUtf8(name));
    json["names"] = std::move(names);
  }
  return json;
}

}  // namespace

std::string RenderCheckText(const CheckResult& result) {
  std::string text;
  for (const Finding& finding : result.findings) {
    const DocumentFacts& document = result.documents[finding.document];
    text += document.file + ":" + std::to_string(finding.line) + ": " + (Fails(result, finding) ? "error" : "warning") +
            ": " + std::string(FindingKindName(finding.kind)) + ": " + HostTextToUtf8(finding.message) + "\n";
    for (const PropertyDifference& difference : finding.differences) {
      const char* expected = finding.kind == FindingKind::kTemplate ? "template" : "format";
      const char* actual = finding.kind == FindingKind::kTemplate ? "here" : "table";
      text += "    " + PropertyLabel(result.properties[difference.property].code) + ": " + expected + " " +
              Words(result, difference.property, difference.expected, finding.document) + ", " + actual + " " +
              Words(result, difference.property, difference.actual, finding.document) + "\n";
    }
    for (const CellOverride& cell : finding.cells) {
      text += "    cell row " + std::to_string(cell.row) + ", column " + std::to_string(cell.column) + ":";
      for (size_t i = 0; i < cell.flags.size(); ++i) text += (i == 0 ? " " : ", ") + CellFlagLabel(cell.flags[i]);
      text += "\n";
    }
    for (const auto& [property, variants] : finding.drift) {
      text += "    " + PropertyLabel(result.properties[property].code) + ":";
      for (size_t v = 0; v < variants.size(); ++v) {
        text += (v == 0 ? " " : "; ") + Words(result, property, variants[v].value, variants[v].documents.front()) + " in ";
        for (size_t i = 0; i < variants[v].documents.size(); ++i)
          text += (i == 0 ? "" : ", ") + FileName(result.documents[variants[v].documents[i]].file);
      }
      text += "\n";
    }
  }

  text += "Table format usage (tables per document):\n";
  for (const FormatUsage& usage : result.usage) {
    text += "  \"" + HostTextToUtf8(usage.name) + "\": " + std::to_string(usage.total);
    std::string where;
    for (size_t d = 0; d < usage.perDocument.size(); ++d) {
      if (usage.perDocument[d] == 0) continue;
      where += (where.empty() ? "" : ", ") + FileName(result.documents[d].file) + " " + std::to_string(usage.perDocument[d]);
    }
    if (!where.empty()) text += " (" + where + ")";
    if (!usage.defined) text += ", no such format";
    text += "\n";
  }

  size_t tables = 0, formats = 0, failing = 0;
  for (const DocumentFacts& document : result.documents) {
    tables += static_cast<size_t>(document.tableCount);
    formats += document.formats.size();
  }
  std::map<FindingKind, size_t> counts;
  for (const Finding& finding : result.findings) {
    ++counts[finding.kind];
    if (Fails(result, finding)) ++failing;
  }
  std::string byKind;
  for (FindingKind kind : AllFindingKinds()) {
    if (counts[kind] == 0) continue;
    byKind += (byKind.empty() ? "" : ", ") + std::to_string(counts[kind]) + " " + std::string(FindingKindName(kind));
  }
  text += "check: " + Plural(result.documents.size(), "document", "documents") + ", " +
          Plural(tables, "table", "tables") + ", " + Plural(formats, "format definition", "format definitions") + "; " +
          Plural(result.findings.size(), "finding", "findings") + (byKind.empty() ? "" : " (" + byKind + ")") + "; " +
          (failing == 0 ? std::string("passed") : "failed: " + Plural(failing, "finding", "findings") + " of failing kinds") +
          "\n";
  return text;
}

void WriteCheckJson(const CheckResult& result, std::FILE* tables, std::ostream& out) {
  Json json;
  json["schema_version"] = kCheckSchemaVersion;
  json["tool"] = Json{{"name", "gridwright"}, {"version", GW_VERSION_TEXT}};
  json["input"] = Json{{"file", result.file},
                       {"kind", result.book ? "book" : "document"},
                       {"template", result.templateFile ? Json(*result.templateFile) : Json(nullptr)}};
  Json failOn = Json::array();
  for (FindingKind kind : AllFindingKinds()) {
    if (result.failOn.count(kind) != 0) failOn.push_back(FindingKindName(kind));
  }
  json["fail_on"] = std::move(failOn);

  Json compared = Json::array();
  for (size_t p = 0; p < result.properties.size(); ++p) compared.push_back(PropertyJson(result, p));
  Json flags = Json::array();
  for (int32_t flag : result.cellFlags) flags.push_back(Json{{"code", flag}, {"name", CellFlagLabel(flag)}});
  json["compared"] = Json{{"table_properties", std::move(compared)}, {"cell_flags", std::move(flags)}};

  Json files = Json::array();
  for (const DocumentFacts& document : result.documents) {
    Json formats = Json::array();
    for (const FormatFacts& format : document.formats)
      formats.push_back(Json{{"name", HostTextToUtf8(format.name)}, {"line", format.line}});
    files.push_back(Json{{"file", document.file},
                         {"display_unit_points", MetricPoints(document.displayUnit)},
                         {"tables", document.tableCount},
                         {"formats", std::move(formats)}});
  }
  json["files"] = std::move(files);

  Json formats = Json::array();
  for (const FormatUsage& usage : result.usage) {
    Json perFile = Json::array();
    for (size_t d = 0; d < usage.perDocument.size(); ++d) {
      if (usage.perDocument[d] != 0)
        perFile.push_back(Json{{"file", result.documents[d].file}, {"tables", usage.perDocument[d]}});
    }
    formats.push_back(Json{{"name", HostTextToUtf8(usage.name)},
                           {"defined", usage.defined},
                           {"tables", usage.total},
                           {"per_file", std::move(perFile)}});
  }
  json["formats"] = std::move(formats);
  json["tables"] = kTablesMark;  // the items are copied in from the spill file

  Json findings = Json::array();
  size_t failing = 0;
  Json counts = Json::object();
  for (FindingKind kind : AllFindingKinds()) counts[std::string(FindingKindName(kind))] = 0;
  for (const Finding& finding : result.findings) {
    findings.push_back(FindingJson(result, finding));
    counts[std::string(FindingKindName(finding.kind))] = counts[std::string(FindingKindName(finding.kind))].get<int>() + 1;
    if (Fails(result, finding)) ++failing;
  }
  json["findings"] = std::move(findings);
  json["summary"] = Json{{"documents", result.documents.size()},
                         {"findings", std::move(counts)},
                         {"failing", failing},
                         {"exit_code", static_cast<int>(CheckExitCode(result))}};
  // File names need not be UTF-8: bytes that are not become U+FFFD instead of an exception.
  std::string text = json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  // The key names the place: a format's name can never be the value of "tables".
  std::string mark = "\"tables\": \"" + std::string(kTablesMark) + "\"";
  size_t at = text.find(mark);
  if (at == std::string::npos) {  // cannot happen: the mark was just put there
    out << text;
    return;
  }
  out << text.substr(0, at) << "\"tables\": [";
  bool any = false;
  if (tables != nullptr) {
    std::rewind(tables);
    char buffer[1 << 16];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, tables)) > 0;) {
      out.write(buffer, static_cast<std::streamsize>(read));
      any = true;
    }
  }
  out << (any ? "\n  ]" : "]") << text.substr(at + mark.size());
}

std::string TablesJson(const DocumentFacts& document, bool first) {
  std::string text;
  for (const TableFacts& table : document.tables) {
    text += first ? "\n    " : ",\n    ";
    first = false;
    text += Json{{"file", document.file},
                 {"number", table.number},
                 {"page", table.page},
                 {"line", table.line},
                 {"tag", HostTextToUtf8(table.tag)},
                 {"format_exists", table.formatExists},
                 {"overrides", !table.differences.empty() || !table.cells.empty()},
                 {"body_first_row", table.bodyFirstRow}}
                .dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  return text;
}


}  // namespace gw::cli
