// Documents with a chosen table catalogue and chosen table tags, and readers
// of what the plug-in wrote into the report document, for the tests of the
// table tag usage, deletion and list commands.
#ifndef GRIDWRIGHT_TESTS_COMMANDS_TAG_TEST_DOCUMENTS_H
#define GRIDWRIGHT_TESTS_COMMANDS_TAG_TEST_DOCUMENTS_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "substitute/substitute_host.h"

namespace tag_test {

using gw::substitute::Document;
using gw::substitute::SubstituteHost;

// A standard document named path whose table catalogue holds exactly
// catalogue (in that order) and which has one table for each of tableTags,
// bearing that tag (a tag need not be in the catalogue).
inline std::unique_ptr<Document> MakeTagDocument(const std::string& path, const std::vector<std::string>& catalogue,
                                                 const std::vector<std::string>& tableTags) {
  std::unique_ptr<Document> document = Document::NewStandard(path);
  ObjectId anchor = document->LastParagraph().id;
  for (const std::string& tag : tableTags) {
    gw::substitute::Table* table = document->AddTable("Format A", 1, 1, 0, 0, {anchor, 0});
    if (table != nullptr) table->tag = tag;
  }
  for (const std::string& name : document->TableFormatNames()) {
    document->DeleteTableFormat(document->FindTableFormat(name)->id);
  }
  for (const std::string& name : catalogue) document->AddTableFormat(name);
  return document;
}

// The same document opened in the host and made active.
inline Document& OpenTagDocument(SubstituteHost& host, const std::string& path,
                                 const std::vector<std::string>& catalogue,
                                 const std::vector<std::string>& tableTags) {
  return host.AdoptDocument(MakeTagDocument(path, catalogue, tableTags));
}

// The open documents that are not in before: the report documents a command
// created.
inline std::vector<ObjectId> NewDocuments(SubstituteHost& host, const std::vector<ObjectId>& before) {
  std::vector<ObjectId> created;
  for (ObjectId id : host.OpenDocuments()) {
    bool known = false;
    for (ObjectId old : before) known = known || old == id;
    if (!known) created.push_back(id);
  }
  return created;
}

// The paragraphs of a report as (format, text), without the empty paragraph
// that every append leaves at the end.
using ReportLines = std::vector<std::pair<std::string, std::string>>;

inline ReportLines ReportParagraphs(SubstituteHost& host, ObjectId report) {
  ReportLines lines;
  Document* document = host.FindDocument(report);
  if (document == nullptr) return lines;
  for (ObjectId id : document->MainFlowParagraphs()) {
    const gw::substitute::Paragraph* paragraph = document->FindParagraph(id);
    lines.emplace_back(paragraph->formatName, paragraph->text);
  }
  if (!lines.empty() && lines.back().second.empty()) lines.pop_back();
  return lines;
}

}  // namespace tag_test

#endif  // GRIDWRIGHT_TESTS_COMMANDS_TAG_TEST_DOCUMENTS_H
