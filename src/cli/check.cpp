// The table-format audit: facts from the documents, findings from the facts.
#include "cli/check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "cli/document_text.h"
#include "cli/render.h"
#include "substitute/document_model.h"

namespace gw::cli {

namespace sub = gw::substitute;

namespace {

constexpr int32_t kCommandFixHeadings = 1;
constexpr int32_t kCommandRemoveOverrides = 8;

struct KindName {
  FindingKind kind;
  std::string_view name;
};
constexpr std::array kKindNames = {
    KindName{FindingKind::kUnused, "unused"},
    KindName{FindingKind::kMissingFormat, "missing-format"},
    KindName{FindingKind::kOverride, "override"},
    KindName{FindingKind::kCaseVariant, "case-variant"},
    KindName{FindingKind::kBodyFirstRow, "body-first-row"},
    KindName{FindingKind::kDrift, "drift"},
    KindName{FindingKind::kTemplate, "template"},
};

size_t KindOrder(FindingKind kind) {
  for (size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i].kind == kind) return i;
  }
  return kKindNames.size();
}

std::string Quoted(const std::string& hostText) { return "\"" + hostText + "\""; }

// ---- What the plug-in does, read from the host's call trace ----------------------------------------

// One traced call "Method(arg, arg, ...)": the method and its arguments as
// written (ids in hex, numbers in decimal).
struct TracedCall {
  std::string_view method;
  std::vector<std::string_view> arguments;
};

TracedCall ParseTraced(std::string_view line) {
  TracedCall call;
  size_t open = line.find('(');
  if (open == std::string_view::npos || line.back() != ')') return call;
  call.method = line.substr(0, open);
  std::string_view rest = line.substr(open + 1, line.size() - open - 2);
  // Only the leading ids and codes are read; a quoted string can only be last.
  while (!rest.empty() && rest.front() != '"') {
    size_t comma = rest.find(", ");
    call.arguments.push_back(rest.substr(0, comma));
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 2);
  }
  return call;
}

std::optional<uint32_t> Number(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x")) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Runs a command of the plug-in with the host's call trace on and returns the
// calls it made. The trace is emptied again, so a long check does not grow it.
std::vector<std::string> TracedCommand(HostSession& session, int32_t command) {
  sub::SubstituteHost& host = session.Host();
  bool recording = host.Options().recordCalls;
  host.ClearCallTrace();
  host.MutableOptions().recordCalls = true;
  session.RunCommand(command);
  host.MutableOptions().recordCalls = recording;
  std::vector<std::string> calls = host.CallTrace();
  host.ClearCallTrace();
  return calls;
}

struct Learned {
  std::vector<ComparedProperty> properties;
  std::vector<int32_t> cellFlags;
};

// Builds a probe document with one table of its own format, lets the
// plug-in's Remove Overrides run on it and records the table properties and
// cell flags the plug-in sets, in the order it sets them.
Result<Learned> LearnFromRemoveOverrides(HostSession& session) {
  std::unique_ptr<sub::Document> probe = sub::Document::NewStandard();
  sub::Paragraph& anchor = probe->LastParagraph();
  std::vector<std::string> names = probe->TableFormatNames();
  if (names.empty() || probe->AddTable(names.front(), 2, 1, 1, 0, {anchor.id, 0}) == nullptr) {
    return Failure{ExitCode::kFailed, "check: the substitute host made no probe table"};
  }
  sub::Document& adopted = session.Host().AdoptDocument(std::move(probe));
  ::ObjectId probeId = adopted.Id();
  Answers answers;
  answers.confirm = true;
  session.SetAnswers(answers);
  std::vector<std::string> calls = TracedCommand(session, kCommandRemoveOverrides);
  session.Host().CloseDocument(probeId);

  Learned learned;
  for (const std::string& line : calls) {
    TracedCall call = ParseTraced(line);
    if (call.arguments.size() < 3) continue;
    std::optional<uint32_t> object = Number(call.arguments[1]);
    std::optional<uint32_t> code = Number(call.arguments[2]);
    if (!object || !code) continue;
    int32_t property = static_cast<int32_t>(*code);
    sub::ObjectKind kind = sub::KindOf(*object);
    if (kind == sub::ObjectKind::kCell && call.method == "SetIntProp") {
      if (std::find(learned.cellFlags.begin(), learned.cellFlags.end(), property) == learned.cellFlags.end())
        learned.cellFlags.push_back(property);
      continue;
    }
    if (kind != sub::ObjectKind::kTable) continue;
    ComparedProperty compared{property, ComparedProperty::Kind::kInteger};
    if (call.method == "SetMetricProp") {
      compared.kind = ComparedProperty::Kind::kMetric;
    } else if (call.method == "SetIdProp") {
      compared.kind = ComparedProperty::Kind::kObject;
    } else if (call.method != "SetIntProp") {
      continue;  // the tag (a string): it becomes the format's name, which it already is
    }
    bool known = std::any_of(learned.properties.begin(), learned.properties.end(),
                             [&](const ComparedProperty& p) { return p.code == property; });
    if (!known) learned.properties.push_back(compared);
  }
  if (learned.properties.empty() || learned.cellFlags.empty()) {
    return Failure{ExitCode::kFailed, "check: the plug-in's Remove Overrides set no table property on the probe table"};
  }
  return learned;
}

// The tables the plug-in's Fix Table Headings asks about in the active
// document (each question declined, so nothing changes): it selects a table's
// first row before each question.
std::vector<::ObjectId> TablesFixHeadingsAsksAbout(HostSession& session) {
  Answers answers;
  answers.confirm = false;
  session.SetAnswers(answers);
  std::vector<::ObjectId> tables;
  for (const std::string& line : TracedCommand(session, kCommandFixHeadings)) {
    TracedCall call = ParseTraced(line);
    if (call.method != "SelectTableCells" || call.arguments.size() < 2) continue;
    if (std::optional<uint32_t> table = Number(call.arguments[1])) tables.push_back(*table);
  }
  return tables;
}

// ---- Reading values ---------------------------------------------------------------------------------

// A property of a table or table format as the host keeps it (what its
// GetIntProp, GetMetricProp and GetIdProp answer; 0 where the host has no
// value). Read from the host's objects rather than through its API, which
// renders every call for its trace: a book makes millions of these reads.
FactValue ReadValue(const sub::Document& document, const sub::PropertyBag& bag, const ComparedProperty& property) {
  FactValue value;
  auto found = bag.find(property.code);
  if (found == bag.end()) return value;
  value.number = found->second.number;
  if (property.kind == ComparedProperty::Kind::kObject) {
    if (const sub::NamedObject* named = document.FindNamed(static_cast<::ObjectId>(value.number))) {
      value.name = named->name;
    }
  }
  return value;
}

int32_t CellFlag(const sub::Cell& cell, int32_t code) {
  for (size_t i = 0; i < std::size(sub::kCellOverrideFlags); ++i) {
    if (sub::kCellOverrideFlags[i] == code) return cell.overrides[i];
  }
  return 0;
}

// Equal as the plug-in would see them within one document (objects by id),
// or across documents (objects by name).
bool SameValue(const ComparedProperty& property, const FactValue& a, const FactValue& b, bool acrossDocuments) {
  if (property.kind == ComparedProperty::Kind::kObject && acrossDocuments) return a.name == b.name;
  return a.number == b.number;
}

// The facts of the active, open document.
// Format definitions already seen, so that equal ones share their values.
using Definitions = std::map<std::vector<FactValue>, std::shared_ptr<const std::vector<FactValue>>>;

DocumentFacts Examine(HostSession& session, sub::Document& document, const std::string& file, const Learned& learned,
                      Definitions& definitions, bool withTables) {
  DocumentFacts facts;
  facts.file = file;
  facts.displayUnit = document.displayUnit;
  std::vector<::ObjectId> objects;
  for (::ObjectId id : document.TableFormatOrder()) {
    const sub::TableFormat* format = document.FindTableFormat(id);
    if (format == nullptr) continue;
    FormatFacts formatFacts;
    formatFacts.name = format->name;
    std::vector<FactValue> values;
    values.reserve(learned.properties.size());
    for (const ComparedProperty& property : learned.properties)
      values.push_back(ReadValue(document, format->properties, property));
    auto shared = definitions.find(values);
    if (shared == definitions.end())
      shared = definitions.emplace(values, std::make_shared<const std::vector<FactValue>>(values)).first;
    formatFacts.values = shared->second;
    facts.formats.push_back(std::move(formatFacts));
    objects.push_back(id);
  }
  if (withTables) {
    std::vector<::ObjectId> order = document.TablesInOrder();
    // The plug-in asks only about tables whose first row is not a heading row;
    // without one there is nothing to ask, and its walk is skipped.
    bool anyBodyFirst = std::any_of(order.begin(), order.end(), [&](::ObjectId id) {
      const sub::Table* table = document.FindTable(id);
      const sub::Row* first = table == nullptr || table->rows.empty() ? nullptr : document.FindRow(table->rows.front());
      return first != nullptr && first->kind != sub::kRowHeading;
    });
    std::vector<::ObjectId> asked;
    if (anyBodyFirst) asked = TablesFixHeadingsAsksAbout(session);
    int32_t number = 0;
    for (::ObjectId id : order) {
      const sub::Table* table = document.FindTable(id);
      ++number;
      if (table == nullptr) continue;
      TableFacts tableFacts;
      tableFacts.number = number;
      tableFacts.tag = table->tag;
      tableFacts.page = PageOfParagraph(document, table->anchor.object);
      tableFacts.bodyFirstRow = std::find(asked.begin(), asked.end(), id) != asked.end();
      const sub::TableFormat* format = document.FindTableFormat(table->tag);
      tableFacts.formatExists = format != nullptr;
      if (format != nullptr) {
        for (size_t i = 0; i < learned.properties.size(); ++i) {
          FactValue formatValue = ReadValue(document, format->properties, learned.properties[i]);
          FactValue tableValue = ReadValue(document, table->properties, learned.properties[i]);
          if (!SameValue(learned.properties[i], formatValue, tableValue, false))
            tableFacts.differences.push_back({i, formatValue, tableValue});
        }
      }
      for (size_t r = 0; r < table->rows.size(); ++r) {
        const sub::Row* row = document.FindRow(table->rows[r]);
        if (row == nullptr) continue;
        for (::ObjectId cellId : row->cells) {
          const sub::Cell* cell = document.FindCell(cellId);
          if (cell == nullptr) continue;
          CellOverride override{static_cast<int32_t>(r + 1), cell->column + 1, {}};
          for (int32_t flag : learned.cellFlags) {
            // Remove Overrides writes 0 to every flag: any other value is an override it would clear.
            if (CellFlag(*cell, flag) != 0) override.flags.push_back(flag);
          }
          if (!override.flags.empty()) tableFacts.cells.push_back(std::move(override));
        }
      }
      facts.tables.push_back(std::move(tableFacts));
      objects.push_back(id);
    }
  }
  std::vector<std::optional<uint32_t>> lines = session.SourceLines(document.Id(), objects);
  size_t at = 0;
  for (FormatFacts& format : facts.formats) format.line = lines[at++].value_or(0);
  for (TableFacts& table : facts.tables) table.line = lines[at++].value_or(0);
  return facts;
}

// ---- Findings -----------------------------------------------------------------------------------

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void FindTableFindings(CheckResult& result) {
  for (size_t d = 0; d < result.documents.size(); ++d) {
    for (const TableFacts& table : result.documents[d].tables) {
      std::string which = "table " + std::to_string(table.number) + " (" + Quoted(table.tag) + ")";
      if (!table.formatExists) {
        result.findings.push_back({FindingKind::kMissingFormat, d, table.line, table.tag, table.number,
                                   which + " names no table format of the document", {}, {}, {}, {}});
      } else if (!table.differences.empty() || !table.cells.empty()) {
        std::string message = which + " differs from its format";
        if (!table.differences.empty()) message += " in " + std::to_string(table.differences.size()) + " propert" +
                                                   (table.differences.size() == 1 ? "y" : "ies");
        if (!table.cells.empty()) {
          message += std::string(table.differences.empty() ? " in " : " and ") + std::to_string(table.cells.size()) +
                     " cell" + (table.cells.size() == 1 ? "" : "s");
        }
        result.findings.push_back({FindingKind::kOverride, d, table.line, table.tag, table.number, message,
                                   table.differences, table.cells, {}, {}});
      }
      if (table.bodyFirstRow) {
        result.findings.push_back({FindingKind::kBodyFirstRow, d, table.line, table.tag, table.number,
                                   which + " starts with a body row; fix-headings would make it a heading row",
                                   {}, {}, {}, {}});
      }
    }
  }
}

void CountUsage(CheckResult& result) {
  std::map<std::string, FormatUsage> usage;
  size_t count = result.documents.size();
  auto entry = [&](const std::string& name) -> FormatUsage& {
    FormatUsage& found = usage[name];
    if (found.perDocument.empty()) {
      found.name = name;
      found.perDocument.assign(count, 0);
    }
    return found;
  };
  for (size_t d = 0; d < count; ++d) {
    for (const FormatFacts& format : result.documents[d].formats) entry(format.name).defined = true;
    for (const auto& [tag, count] : result.documents[d].tablesByTag) {
      FormatUsage& used = entry(tag);
      used.perDocument[d] += count;
      used.total += count;
    }
  }
  for (auto& [name, used] : usage) result.usage.push_back(std::move(used));
}

void FindCatalogueFindings(CheckResult& result) {
  std::map<std::string, const FormatUsage*> byName;
  for (const FormatUsage& used : result.usage) byName[used.name] = &used;
  // Names by their letters regardless of case.
  std::map<std::string, std::vector<std::string>> byLetters;
  for (const FormatUsage& used : result.usage) {
    if (used.defined) byLetters[Lower(used.name)].push_back(used.name);
  }
  for (size_t d = 0; d < result.documents.size(); ++d) {
    for (const FormatFacts& format : result.documents[d].formats) {
      if (byName[format.name]->total == 0) {
        result.findings.push_back({FindingKind::kUnused, d, format.line, format.name, 0,
                                   "table format " + Quoted(format.name) + " is used by no table" +
                                       (result.book ? " of the book" : ""),
                                   {}, {}, {}, {}});
      }
      const std::vector<std::string>& variants = byLetters[Lower(format.name)];
      if (variants.size() > 1) {
        std::string others;
        for (const std::string& name : variants) {
          if (name != format.name) others += (others.empty() ? "" : ", ") + Quoted(name);
        }
        result.findings.push_back({FindingKind::kCaseVariant, d, format.line, format.name, 0,
                                   "table format " + Quoted(format.name) + " differs only in letter case from " + others,
                                   {}, {}, {}, variants});
      }
    }
  }
}

// The values of one format in every document that defines it, grouped into
// variants; a finding when there is more than one.
void FindDrift(CheckResult& result) {
  std::map<std::string, std::vector<std::pair<size_t, const FormatFacts*>>> definitions;
  for (size_t d = 0; d < result.documents.size(); ++d) {
    for (const FormatFacts& format : result.documents[d].formats) {
      auto& list = definitions[format.name];
      // A duplicate catalogue entry counts once; the host uses the first.
      if (list.empty() || list.back().first != d) list.emplace_back(d, &format);
    }
  }
  for (const auto& [name, list] : definitions) {
    if (list.size() < 2) continue;
    Finding finding{FindingKind::kDrift, list.front().first, list.front().second->line, name, 0, {}, {}, {}, {}, {}};
    std::vector<size_t> differing;
    for (size_t p = 0; p < result.properties.size(); ++p) {
      std::vector<DriftVariant> variants;
      for (const auto& [document, format] : list) {
        const FactValue& value = format->Value(p);
        auto same = std::find_if(variants.begin(), variants.end(), [&](const DriftVariant& v) {
          return SameValue(result.properties[p], v.value, value, true);
        });
        if (same == variants.end()) {
          variants.push_back({value, {document}});
        } else {
          same->documents.push_back(document);
        }
      }
      if (variants.size() > 1) finding.drift.emplace_back(p, std::move(variants));
    }
    if (finding.drift.empty()) continue;
    std::string files;
    for (const auto& [document, format] : list) files += (files.empty() ? "" : ", ") + FileName(result.documents[document].file);
    finding.message = "table format " + Quoted(name) + " is defined differently in " + std::to_string(list.size()) +
                      " documents (" + files + ") in " + std::to_string(finding.drift.size()) + " propert" +
                      (finding.drift.size() == 1 ? "y" : "ies");
    result.findings.push_back(std::move(finding));
  }
}

void FindTemplateFindings(CheckResult& result, const DocumentFacts& model) {
  for (size_t d = 0; d < result.documents.size(); ++d) {
    const DocumentFacts& document = result.documents[d];
    for (const FormatFacts& wanted : model.formats) {
      auto have = std::find_if(document.formats.begin(), document.formats.end(),
                               [&](const FormatFacts& f) { return f.name == wanted.name; });
      if (have == document.formats.end()) {
        uint32_t line = document.formats.empty() ? 1 : document.formats.front().line;
        result.findings.push_back({FindingKind::kTemplate, d, line, wanted.name, 0,
                                   "table format " + Quoted(wanted.name) + " of the template is missing", {}, {}, {},
                                   {}});
        continue;
      }
      std::vector<PropertyDifference> differences;
      for (size_t p = 0; p < result.properties.size(); ++p) {
        if (!SameValue(result.properties[p], wanted.Value(p), have->Value(p), true))
          differences.push_back({p, wanted.Value(p), have->Value(p)});
      }
      if (differences.empty()) continue;
      result.findings.push_back({FindingKind::kTemplate, d, have->line, have->name, 0,
                                 "table format " + Quoted(have->name) + " differs from the template's in " +
                                     std::to_string(differences.size()) + " propert" +
                                     (differences.size() == 1 ? "y" : "ies"),
                                 std::move(differences), {}, {}, {}});
    }
  }
}

// Opens a document, examines it and closes it again.
Result<DocumentFacts> CheckDocument(HostSession& session, const std::string& local, const std::string& shownName,
                                    const Learned& learned, Definitions& definitions, bool withTables) {
  Result<sub::Document*> opened = session.OpenDocument(local);
  if (!opened.IsOk()) return opened.GetError();
  sub::Document& document = *opened.Value();
  DocumentFacts facts = Examine(session, document, shownName, learned, definitions, withTables);
  session.Host().CloseDocument(document.Id());
  return facts;
}

}  // namespace

std::string FileName(const std::string& path) {
  size_t cut = path.find_last_of("/\\");  // either separator: Windows paths use both
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

const std::vector<FindingKind>& AllFindingKinds() {
  static const std::vector<FindingKind> kinds = [] {
    std::vector<FindingKind> all;
    for (const KindName& entry : kKindNames) all.push_back(entry.kind);
    return all;
  }();
  return kinds;
}

std::string_view FindingKindName(FindingKind kind) { return kKindNames[KindOrder(kind)].name; }

std::optional<FindingKind> FindingKindNamed(std::string_view name) {
  for (const KindName& entry : kKindNames) {
    if (entry.name == name) return entry.kind;
  }
  return std::nullopt;
}

Result<std::set<FindingKind>> ParseFailOn(std::string_view text) {
  if (text == "all") return std::set<FindingKind>(AllFindingKinds().begin(), AllFindingKinds().end());
  if (text == "none") return std::set<FindingKind>();
  std::set<FindingKind> kinds;
  while (true) {
    size_t comma = text.find(',');
    std::string_view name = text.substr(0, comma);
    std::optional<FindingKind> kind = FindingKindNamed(name);
    if (!kind) {
      std::string known;
      for (const KindName& entry : kKindNames) known += std::string(known.empty() ? "" : ", ") + std::string(entry.name);
      return Failure{ExitCode::kUsage,
                     "--fail-on: \"" + std::string(name) + "\" is not a kind of finding (" + known + ", all, none)"};
    }
    kinds.insert(*kind);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return kinds;
}

Result<CheckResult> RunCheck(HostSession& session, const std::string& file, const CheckRequest& request,
                             const DocumentSink& eachDocument) {
  CheckResult result;
  result.file = file;
  result.templateFile = request.templateFile;
  result.failOn = request.failOn;
  Result<bool> isBook = HostSession::IsBookFile(file);
  if (!isBook.IsOk()) return isBook.GetError();
  result.book = isBook.Value();

  Result<Learned> learned = LearnFromRemoveOverrides(session);
  if (!learned.IsOk()) return learned.GetError();
  result.properties = learned.Value().properties;
  result.cellFlags = learned.Value().cellFlags;

  Definitions definitions;
  std::optional<DocumentFacts> model;
  if (request.templateFile) {
    Result<bool> templateIsBook = HostSession::IsBookFile(*request.templateFile);
    if (!templateIsBook.IsOk()) return templateIsBook.GetError();
    if (templateIsBook.Value()) {
      return Failure{ExitCode::kUsage, "--template " + *request.templateFile + ": a book; give a document"};
    }
    Result<DocumentFacts> facts =
        CheckDocument(session, *request.templateFile, *request.templateFile, learned.Value(), definitions, false);
    if (!facts.IsOk()) return facts.GetError();
    model = std::move(facts.Value());
  }

  // Hands a document's facts on and keeps only what the findings need.
  auto keep = [&](DocumentFacts facts) {
    facts.tableCount = static_cast<int32_t>(facts.tables.size());
    for (const TableFacts& table : facts.tables) ++facts.tablesByTag[table.tag];
    if (eachDocument) eachDocument(facts);
    std::erase_if(facts.tables, [](const TableFacts& table) {
      return table.formatExists && table.differences.empty() && table.cells.empty() && !table.bodyFirstRow;
    });
    facts.tables.shrink_to_fit();
    result.documents.push_back(std::move(facts));
  };
  if (!result.book) {
    Result<DocumentFacts> facts = CheckDocument(session, file, file, learned.Value(), definitions, true);
    if (!facts.IsOk()) return facts.GetError();
    keep(std::move(facts.Value()));
  } else {
    Result<sub::Book*> opened = session.OpenBook(file);
    if (!opened.IsOk()) return opened.GetError();
    sub::Book& book = *opened.Value();
    // The book's documents in book order (groups walked depth first), one open at a time.
    session.ExpectBookWalk(book);
    std::vector<::ObjectId> pending(book.TopLevel().rbegin(), book.TopLevel().rend());
    while (!pending.empty()) {
      const sub::BookComponent* component = book.FindComponent(pending.back());
      pending.pop_back();
      if (component == nullptr) continue;
      for (auto child = component->children.rbegin(); child != component->children.rend(); ++child)
        pending.push_back(*child);
      if (component->kind != sub::kComponentDocument) continue;
      std::string local = session.LocalPathOf(component->fileName);
      Result<DocumentFacts> facts = CheckDocument(session, local, local, learned.Value(), definitions, true);
      if (!facts.IsOk()) {
        session.EndBookWalk();
        return facts.GetError();
      }
      keep(std::move(facts.Value()));
    }
    session.EndBookWalk();
  }

  FindTableFindings(result);
  CountUsage(result);
  FindCatalogueFindings(result);
  if (result.documents.size() > 1) FindDrift(result);
  if (model) FindTemplateFindings(result, *model);
  std::stable_sort(result.findings.begin(), result.findings.end(), [](const Finding& a, const Finding& b) {
    if (a.document != b.document) return a.document < b.document;
    if (a.kind != b.kind) return KindOrder(a.kind) < KindOrder(b.kind);
    return a.line < b.line;
  });
  return result;
}

ExitCode RunCheckVerb(HostSession& session, const std::string& file, const CheckRequest& request, Io& io) {
  // JSON lists every table: their items wait in a temporary file, not in memory.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> spill(nullptr, &std::fclose);
  DocumentSink sink;
  bool first = true;
  bool spillFailed = false;
  if (request.json) {
    spill.reset(std::tmpfile());
    if (spill == nullptr) {
      io.err << "gridwright: check: cannot make a temporary file: " << std::strerror(errno) << "\n";
      return ExitCode::kFailed;
    }
    sink = [&](const DocumentFacts& document) {
      std::string items = TablesJson(document, first);
      if (!items.empty()) first = false;
      if (std::fwrite(items.data(), 1, items.size(), spill.get()) != items.size()) spillFailed = true;
    };
  }
  Result<CheckResult> result = RunCheck(session, file, request, sink);
  if (!result.IsOk()) {
    io.err << "gridwright: " << result.GetError().message << "\n";
    return result.GetError().code;
  }
  if (spillFailed || (spill != nullptr && std::fflush(spill.get()) != 0)) {
    io.err << "gridwright: check: cannot write the temporary file of the tables\n";
    return ExitCode::kFailed;
  }
  if (request.json) {
    WriteCheckJson(result.Value(), spill.get(), io.out);
  } else {
    io.out << RenderCheckText(result.Value());
  }
  return CheckExitCode(result.Value());
}

ExitCode CheckExitCode(const CheckResult& result) {
  for (const Finding& finding : result.findings) {
    if (result.failOn.count(finding.kind) != 0) return ExitCode::kFindings;
  }
  return ExitCode::kDone;
}

// ---- Words ----------------------------------------------------------------------------------------

namespace {

struct Label {
  int32_t code;
  const char* words;
};
// The table tag report's labels, with the section where a label alone is ambiguous.
constexpr std::array kLabels = {
    Label{1282, "Alignment"},
    Label{1283, "Start"},
    Label{1288, "Numbering"},
    Label{1291, "Orphan Rows"},
    Label{1289, "Title Position"},
    Label{1290, "Table Title Gap"},
    Label{1278, "Indents Left"},
    Label{1279, "Indents Right"},
    Label{1280, "Space Above"},
    Label{1281, "Space Below"},
    Label{1315, "Default Cell Margins Top"},
    Label{1316, "Default Cell Margins Bottom"},
    Label{1317, "Default Cell Margins Left"},
    Label{1318, "Default Cell Margins Right"},
    Label{1293, "Column Ruling Period"},
    Label{1309, "Column Ruling Style"},
    Label{1314, "Other Column Ruling Style"},
    Label{1294, "Body Row Ruling Period"},
    Label{1310, "Body Row Ruling Style"},
    Label{1313, "Other Body Row Ruling Style"},
    Label{1311, "Heading and Footing Separators"},
    Label{1312, "Heading and Footing Rows"},
    Label{1305, "Outside Top Ruling"},
    Label{1306, "Outside Bottom Ruling"},
    Label{1307, "Outside Left Ruling"},
    Label{1308, "Outside Right Ruling"},
    Label{1295, "Draw Bottom Ruling on Last Sheet Only"},
    Label{1296, "Heading and Footing Fill"},
    Label{1297, "Heading and Footing Fill Color"},
    Label{1300, "Shade By"},
    Label{1301, "Shading First"},
    Label{1298, "Shading First Fill"},
    Label{1299, "Shading First Color"},
    Label{1303, "Shading Next"},
    Label{1302, "Shading Next Fill"},
    Label{1304, "Shading Next Color"},
};

constexpr std::array kCellFlagLabels = {
    Label{1190, "Fill"},        Label{1191, "Color"},       Label{1192, "Top Ruling"},
    Label{1193, "Bottom Ruling"}, Label{1196, "Left Ruling"}, Label{1197, "Right Ruling"},
};

// The report's words for enumerations and tints; other values are "As Is".
std::optional<std::string> EnumWords(int32_t code, int32_t value) {
  static const std::map<int32_t, std::vector<const char*>> kWords = {
      {1282, {"Left", "Center", "Right"}},
      {1283, {"Anywhere", "Top of Column", "Top of Page", "Top of Left Page", "Top of Right Page", "Float"}},
      {1288, {"Row First", "Column First"}},
      {1289, {"No Title", "Above Table", "Below Table"}},
      {1300, {"Body Row(s)", "Column(s)"}},
  };
  static const std::array<const char*, 8> kTints = {"100%", "90%", "70%", "50%", "30%", "10%", "3%", "White"};
  if (code == 1296 || code == 1298 || code == 1302) {
    if (value >= 0 && value < 8) return kTints[static_cast<size_t>(value)];
    return value == 15 ? "None" : "As Is";
  }
  if (code == 1295) return value == 1 ? "True" : "False";
  auto words = kWords.find(code);
  if (words == kWords.end()) return std::nullopt;
  if (value >= 0 && static_cast<size_t>(value) < words->second.size()) return words->second[static_cast<size_t>(value)];
  return "As Is";
}

// The document's display unit by its size in points (MIF DUnits).
struct UnitName {
  double points;
  const char* name;
};
constexpr std::array kUnits = {
    UnitName{1.0, "pt"},          UnitName{72.0, "in"},          UnitName{72.0 / 25.4, "mm"},
    UnitName{720.0 / 25.4, "cm"}, UnitName{12.0, "pc"},          UnitName{0.376065 * 72.0 / 25.4, "dd"},
    UnitName{12 * 0.376065 * 72.0 / 25.4, "cc"},                 UnitName{0.25 * 72.0 / 25.4, "Q"},
};

}  // namespace

std::string PropertyLabel(int32_t code) {
  for (const Label& label : kLabels) {
    if (label.code == code) return label.words;
  }
  return "property " + std::to_string(code);
}

std::string CellFlagLabel(int32_t code) {
  for (const Label& label : kCellFlagLabels) {
    if (label.code == code) return label.words;
  }
  return "flag " + std::to_string(code);
}

double MetricPoints(int32_t metric) { return static_cast<double>(metric) / 65536.0; }

std::string ValueWords(const ComparedProperty& property, const FactValue& value, int32_t displayUnit) {
  switch (property.kind) {
    case ComparedProperty::Kind::kObject:
      return value.name.empty() ? "None" : value.name;
    case ComparedProperty::Kind::kInteger:
      if (std::optional<std::string> words = EnumWords(property.code, value.number)) return *words;
      return std::to_string(value.number);
    case ComparedProperty::Kind::kMetric: {
      double unitPoints = MetricPoints(displayUnit);
      const char* unit = "pt";
      for (const UnitName& known : kUnits) {
        // The unit's size as the MIF reader stores it: a whole number of 1/65536 points.
        if (unitPoints > 0 && std::abs(known.points - unitPoints) * 65536.0 < 1.0) unit = known.name;
      }
      double shown = std::string_view(unit) == "pt" ? MetricPoints(value.number) : MetricPoints(value.number) / unitPoints;
      char buffer[48];
      std::snprintf(buffer, sizeof buffer, "%.2f %s", shown, unit);
      return buffer;
    }
  }
  return {};
}

}  // namespace gw::cli
