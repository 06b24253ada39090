// Writers for the results of `gridwright check`: text for people and CI logs,
// and one JSON document of the schema described in docs/check-json.md. They
// only render; what is found and how the run ends is decided in check.h.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include "cli/check.h"

namespace gw::cli {

// The version of the JSON document's layout; raised whenever a field changes
// meaning or goes away (adding fields keeps it).
inline constexpr int kCheckSchemaVersion = 1;

// Findings grouped by document, then by kind, each starting with FILE:LINE:;
// the usage of each format; a closing summary line. UTF-8.
[[nodiscard]] std::string RenderCheckText(const CheckResult& result);

// The items of the JSON document's "tables" array for one document, one line
// each, every item preceded by ",\n    " except the very first (first).
[[nodiscard]] std::string TablesJson(const DocumentFacts& document, bool first);

// Writes the whole result as one JSON document (UTF-8, values in points) to
// out. The "tables" array's items are copied from tables, which holds what
// TablesJson gave for every document, so that they need not stay in memory.
void WriteCheckJson(const CheckResult& result, std::FILE* tables, std::ostream& out);


}  // namespace gw::cli
