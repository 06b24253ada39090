// Documents as text: report rendering, summaries and their differences, and
// host text on the terminal.
#include "cli/document_text.h"

#include <gtest/gtest.h>

namespace gw::cli {
namespace {

namespace sub = gw::substitute;

TEST(HostText, FrameRomanBytesBecomeUtf8) {
  struct Case {
    std::string host;
    std::string utf8;
  };
  const Case cases[] = {
      {"plain ASCII\ttab", "plain ASCII\ttab"},
      {"\x80rger", "\xC3\x84rger"},    // A with diaeresis
      {"it\xD5s", "it\xE2\x80\x99s"},  // right single quotation mark
      {"\xDB 5", "\xE2\x82\xAC 5"},    // the host's euro sign
      {"\xF0", "\xEF\xBF\xBD"},        // no character: replacement
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HostTextToUtf8(c.host), c.utf8) << c.host;
}

// A report as the plug-in writes one: headed paragraphs, then a list table
// anchored in the empty paragraph at the end.
TEST(RenderReport, ParagraphsWithFormatsThenTablesAsTabSeparatedRows) {
  std::unique_ptr<sub::Document> report = sub::Document::NewStandard();
  sub::Paragraph& last = report->LastParagraph();
  std::optional<TextLoc> end = report->InsertText({last.id, 0}, "chapter1.mif\nTable Tags Used:\n\n");
  ASSERT_TRUE(end.has_value());
  std::vector<::ObjectId> paragraphs = report->MainFlowParagraphs();
  ASSERT_EQ(paragraphs.size(), 4u);
  report->ApplyParagraphFormat(paragraphs[0], *report->FindParagraphFormat("Heading1"));
  report->ApplyParagraphFormat(paragraphs[1], *report->FindParagraphFormat("Heading2"));
  report->ApplyParagraphFormat(paragraphs[2], *report->FindParagraphFormat("Body"));
  sub::Table* table = report->AddTable("Format A", 2, 2, 1, 0, {paragraphs[3], 0});
  ASSERT_NE(table, nullptr);
  report->SetCellText(report->CellAt(table->id, 0, 0), "Source Tag");
  report->SetCellText(report->CellAt(table->id, 0, 1), "Destination Tag");
  report->SetCellText(report->CellAt(table->id, 1, 0), "Wide");
  EXPECT_EQ(RenderReport(*report),
            "Heading1: chapter1.mif\n"
            "Heading2: Table Tags Used:\n"
            "Body:\n"
            "Table: Format A\n"
            "\tSource Tag\tDestination Tag\n"
            "\tWide\t\n"
            "\t\t\n");
}

TEST(DescribeChanges, NamesEachChangedObjectOfTheRecord) {
  std::unique_ptr<sub::Document> document = sub::Document::NewStandard("G:\\a.mif");
  using Change = gw::mif::ObjectChange;
  gw::mif::ChangeRecord record(2);
  record[0].subject = Change::Subject::kTableFormat;
  record[0].action = Change::Action::kDeleted;
  record[0].name = "Format A";
  record[1].subject = Change::Subject::kTable;
  record[1].tableNumber = 1;
  record[1].name = "Format A";
  record[1].newName = "Format B";
  record[1].overridesBefore = 1;
  // A difference far below what two decimals show is still named.
  record[1].properties.push_back({1278, sub::PropertyValue::OfMetric(0), sub::PropertyValue::OfMetric(1)});
  std::vector<std::string> changes = DescribeChanges(record, *document);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0], "deleted table format \"Format A\"");
  EXPECT_EQ(changes[1],
            "table 1 (\"Format A\"): tag \"Format A\" -> \"Format B\", Indent Left 0.00 pt -> 0.0000153 pt, "
            "cells with overrides 1 -> 0");
  EXPECT_TRUE(DescribeChanges({}, *document).empty());
}

TEST(Summarize, TinyDifferenceFromTheFormatIsAnOverride) {
  std::unique_ptr<sub::Document> document = sub::Document::NewStandard("G:\\a.mif");
  sub::Table* table = document->AddTable("Format A", 1, 1, 0, 0, {document->LastParagraph().id, 0});
  ASSERT_NE(table, nullptr);
  table->properties[1278].number += 1;
  DocumentSummary summary = Summarize(*document);
  ASSERT_EQ(summary.tables.size(), 1u);
  EXPECT_TRUE(summary.tables[0].Overrides());
  EXPECT_NE(RenderTable(summary, 0).find("overrides: Indent Left"), std::string::npos) << RenderTable(summary, 0);
}

TEST(Summarize, TableWithoutAFormatOverridesIt) {
  std::unique_ptr<sub::Document> document = sub::Document::NewStandard("G:\\a.mif");
  sub::Table* table = document->AddTable("Format A", 1, 1, 0, 0, {document->LastParagraph().id, 0});
  ASSERT_NE(table, nullptr);
  table->tag = "Nowhere";
  DocumentSummary summary = Summarize(*document);
  ASSERT_EQ(summary.tables.size(), 1u);
  EXPECT_FALSE(summary.tables[0].formatExists);
  EXPECT_TRUE(summary.tables[0].firstRowIsBody);
  EXPECT_EQ(RenderTable(summary, 0),
            "1. \"Nowhere\" on a body page, 1 column, rows 0 heading 1 body 0 footing, first row is a body row\n"
            "    overrides: no table format of that name\n");
}

}  // namespace
}  // namespace gw::cli
