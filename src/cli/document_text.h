// Documents of the substitute host as text: the report documents the plug-in
// writes (paragraphs with their formats, tables as tab-separated rows), and a
// summary of a document's table formats and tables for `show`, with the
// differences between two summaries for dry runs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/outcome.h"
#include "mif/change_record.h"
#include "substitute/document_model.h"

namespace gw::cli {

// Host text (FrameRoman) as UTF-8 for the terminal; bytes without a
// character become U+FFFD.
[[nodiscard]] std::string HostTextToUtf8(std::string_view text);

// UTF-8 text (names given by the user) in the host encoding. Fails with kUsage
// and "not valid UTF-8" or "the character U+4E2D has no FrameRoman form",
// for the caller to put its context in front of.
[[nodiscard]] Result<std::string> Utf8ToHostText(std::string_view text);

// The kind of page a paragraph's text frame ends up on: "body", "master",
// "reference", "hidden", or "none" for a frame on no page.
[[nodiscard]] std::string PageOfParagraph(const substitute::Document& document, ::ObjectId paragraph);

// The main flow of a document as lines: each paragraph as "Format: text"
// ("Format:" when empty), each table anchored in it after it as a line
// "Table: tag" and one line per row, a tab, then the cells joined by tabs.
// The empty paragraph that ends every report is left out.
[[nodiscard]] std::string RenderReport(const substitute::Document& document);

// A format-level property as `show` lists it: label and value in words
// (metrics in points, rulings and colours by name).
struct PropertyText {
  std::string label;
  std::string value;
};

struct FormatSummary {
  std::string name;
  std::vector<PropertyText> properties;  // in a fixed order
};

struct TableSummary {
  std::string tag;
  std::string page;  // "body", "reference", "master", "hidden" or "none"
  int32_t headingRows = 0, bodyRows = 0, footingRows = 0, columns = 0;
  bool firstRowIsBody = false;
  bool formatExists = true;
  std::vector<std::string> differing;  // labels of properties that differ from the format
  int32_t cellsWithOverrides = 0;
  std::vector<PropertyText> properties;         // the table's own values, in the same order
  std::vector<std::vector<std::string>> cells;  // first paragraph text of each cell, by row

  [[nodiscard]] bool Overrides() const { return !formatExists || !differing.empty() || cellsWithOverrides > 0; }
};

struct DocumentSummary {
  std::string fileName;                // the document's file name (host form)
  std::vector<FormatSummary> formats;  // catalogue order
  std::vector<TableSummary> tables;    // document order
};

[[nodiscard]] DocumentSummary Summarize(const substitute::Document& document);

// `show`: the formats, one block each, then the tables.
[[nodiscard]] std::string RenderSummary(const DocumentSummary& summary, const std::string& title);

// One table of a summary as `show` prints it: "3. \"Format A\" on a body
// page, ..." and an indented line saying whether it overrides its format.
[[nodiscard]] std::string RenderTable(const DocumentSummary& summary, size_t index);

// What a save writes (or wrote) into a document's file, from its change
// record, one line per changed object ("deleted table format \"body\"",
// "table 3 (\"Wide\"): tag \"Wide\" -> \"Body\", 4 properties changed"); empty
// when nothing changes. The document names the rulings and colours of values.
[[nodiscard]] std::vector<std::string> DescribeChanges(const mif::ChangeRecord& record,
                                                       const substitute::Document& document);

}  // namespace gw::cli
