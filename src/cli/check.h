// The table-format audit of `gridwright check`: the facts it gathers from a
// document or book (formats, tables, their source lines), the findings it
// draws from them, and the exit code the findings call for. It writes
// nothing; render.h turns a result into text or JSON.
//
// Which properties count is not listed here. The audit learns them from the
// plug-in: it builds a probe document in the substitute host, runs the
// plug-in's Remove Overrides on it and records which table and cell
// properties the plug-in sets. Those are the properties an override, a drift
// or a template difference is made of. Which tables have a body first row
// that Fix Table Headings would change is learned the same way: the plug-in's
// Fix Table Headings runs on each document, every question declined, and the
// tables it selects to ask about are the ones.
//
//   Result<CheckResult> result = RunCheck(session, "manual/manual.book", {});
//   io.out << RenderCheckText(result.Value());
//   return CheckExitCode(result.Value(), request);
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/outcome.h"
#include "cli/session.h"

namespace gw::cli {

// ---- Requests -----------------------------------------------------------------------------------

enum class FindingKind { kUnused, kMissingFormat, kOverride, kCaseVariant, kBodyFirstRow, kDrift, kTemplate };

// Every kind in report order, and the names users give them ("missing-format").
[[nodiscard]] const std::vector<FindingKind>& AllFindingKinds();
[[nodiscard]] std::string_view FindingKindName(FindingKind kind);
[[nodiscard]] std::optional<FindingKind> FindingKindNamed(std::string_view name);

struct CheckRequest {
  std::optional<std::string> templateFile;  // --template: a MIF document
  bool json = false;                        // --format json
  // --fail-on: the kinds whose findings fail the run.
  std::set<FindingKind> failOn = {FindingKind::kMissingFormat, FindingKind::kOverride, FindingKind::kDrift,
                                  FindingKind::kTemplate};
};

// Parses a --fail-on value: kind names separated by commas, "all" or "none".
// kUsage with a message naming a wrong kind.
[[nodiscard]] Result<std::set<FindingKind>> ParseFailOn(std::string_view text);

// ---- Facts --------------------------------------------------------------------------------------

// A property the plug-in's Remove Overrides restores, as it sets it.
struct ComparedProperty {
  enum class Kind { kInteger, kMetric, kObject };
  int32_t code = 0;
  Kind kind = Kind::kInteger;
};

// A property value. Objects (rulings, colours) are compared by name across
// documents, so the name is kept with the id; "" for none.
struct FactValue {
  int32_t number = 0;
  std::string name;
  auto operator<=>(const FactValue&) const = default;
};

struct FormatFacts {
  std::string name;  // host encoding
  uint32_t line = 0;
  // By CheckResult::properties. Equal definitions share one list: a book's
  // chapters mostly repeat one catalogue, which then takes memory once.
  std::shared_ptr<const std::vector<FactValue>> values;
  [[nodiscard]] const FactValue& Value(size_t property) const { return (*values)[property]; }
};

struct CellOverride {
  int32_t row = 0, column = 0;  // from 1, heading rows included
  std::vector<int32_t> flags;   // codes of the set override flags
};

struct PropertyDifference {
  size_t property = 0;  // index into CheckResult::properties
  FactValue expected;   // the format's (or the template's, or the reference variant's)
  FactValue actual;     // the table's (or the document's)
};

struct TableFacts {
  int32_t number = 0;  // from 1, in document order, as `show` numbers them
  std::string tag;
  std::string page;  // "body", "master", "reference", "hidden" or "none"
  uint32_t line = 0;
  bool formatExists = true;
  bool bodyFirstRow = false;  // Fix Table Headings would ask about it
  std::vector<PropertyDifference> differences;
  std::vector<CellOverride> cells;
};

struct DocumentFacts {
  std::string file;  // as the user named it (a book's chapters: the local path)
  int32_t displayUnit = 65536;
  std::vector<FormatFacts> formats;  // catalogue order
  // Document order. Once the walk has passed the document, only the tables
  // with a finding are kept (the whole list goes to the DocumentSink), so
  // that memory does not grow with the size of the book.
  std::vector<TableFacts> tables;
  int32_t tableCount = 0;
  std::map<std::string, int32_t> tablesByTag;  // every table, counted by its tag
};

// ---- Findings -----------------------------------------------------------------------------------

struct DriftVariant {
  FactValue value;
  std::vector<size_t> documents;  // indices into CheckResult::documents
};

struct Finding {
  FindingKind kind = FindingKind::kUnused;
  size_t document = 0;  // where it is reported
  uint32_t line = 0;
  std::string format;      // the format concerned (host encoding)
  int32_t table = 0;       // the table concerned, 0 for none
  std::string message;     // one line, host encoding
  std::vector<PropertyDifference> differences;            // override, template
  std::vector<CellOverride> cells;                        // override
  std::vector<std::pair<size_t, std::vector<DriftVariant>>> drift;  // property index, its variants
  std::vector<std::string> names;                         // case-variant: the names
};

struct FormatUsage {
  std::string name;
  std::vector<int32_t> perDocument;  // tables using it, by document (0 where not used)
  int32_t total = 0;
  bool defined = false;  // some document defines it
};

struct CheckResult {
  std::string file;  // the document or book checked, as given
  bool book = false;
  std::optional<std::string> templateFile;
  std::vector<ComparedProperty> properties;  // learned from the plug-in, in its order
  std::vector<int32_t> cellFlags;            // likewise
  std::vector<DocumentFacts> documents;
  std::vector<FormatUsage> usage;  // sorted by name, byte order
  std::vector<Finding> findings;   // by document, then by kind, then by line
  std::set<FindingKind> failOn;
};

// ---- Running ------------------------------------------------------------------------------------

// Receives the facts of each checked document, every table included, as the
// walk passes it (the template's excepted).
using DocumentSink = std::function<void(const DocumentFacts&)>;

// Checks a document or a book (each chapter opened, examined and closed in
// turn). kUnreadable, naming the file and line, for an input that does not
// read; kFailed when the plug-in does not behave as the probe expects.
[[nodiscard]] Result<CheckResult> RunCheck(HostSession& session, const std::string& file, const CheckRequest& request,
                                           const DocumentSink& eachDocument = {});

// `gridwright check`: runs the audit on the session, writes the result in the
// asked form (render.h) to io.out and returns the exit code (0, 1 for failing
// findings, 2 bad usage, 3 an unreadable input, whose "file:line: what" goes
// to io.err).
[[nodiscard]] ExitCode RunCheckVerb(HostSession& session, const std::string& file, const CheckRequest& request, Io& io);

// kFindings when a finding is of a failing kind, else kDone.
[[nodiscard]] ExitCode CheckExitCode(const CheckResult& result);

// Words for results: the label of a compared property in the table tag
// report's words ("Indents Left"), a cell flag's ("Fill"), and a value in
// the document's display unit ("6.00 pt", "Center", "Thin").
[[nodiscard]] std::string PropertyLabel(int32_t code);
[[nodiscard]] std::string CellFlagLabel(int32_t code);
[[nodiscard]] std::string ValueWords(const ComparedProperty& property, const FactValue& value, int32_t displayUnit);
// The value in points (metrics), as a number (integers), or the name (objects).
[[nodiscard]] double MetricPoints(int32_t metric);
// The last part of a local path (after "/" or "\\"), as findings name documents.
[[nodiscard]] std::string FileName(const std::string& path);

}  // namespace gw::cli
