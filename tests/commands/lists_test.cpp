// Create Table Tag List (5, 14) and Create Conversion Document (7, 16),
// driven end to end through the substitute host: the prompt, and the table
// written into the report document.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "tag_test_documents.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::Interaction;
using gw::substitute::kComponentDocument;
using gw::substitute::kPropTitlePosition;
using gw::substitute::kRowBody;
using gw::substitute::kRowHeading;
using gw::substitute::Table;
using gw::substitute::UserScript;
using Rows = std::vector<std::vector<std::string>>;

constexpr Metric kListColumnWidth = 144 * 65536;
const char kPromptTitle[] = "Choose a list type";
const char kUnreadableWarning[] = "The table tags could not all be read; no list was written.";

enum ListKind { kEmpty = 0, kInUse = 1, kAll = 2 };

class CreateListDocumentTest : public PluginTest {
 protected:
  // Runs the command with the user choosing kind; returns the one list table
  // written into a new report document (nullptr when there is none).
  const Table* RunList(int32_t command, int32_t kind) {
    std::vector<ObjectId> before = Host().OpenDocuments();
    User().ExpectPrompt(kPromptTitle, kind);
    EXPECT_EQ(Command(command), S_OK);
    std::vector<ObjectId> created = tag_test::NewDocuments(Host(), before);
    if (created.size() != 1) return nullptr;
    report_ = Host().FindDocument(created.front());
    std::vector<ObjectId> tables = report_->TablesInOrder();
    EXPECT_EQ(tables.size(), 1u);
    return tables.empty() ? nullptr : report_->FindTable(tables.front());
  }

  // The cell texts of every row, heading row first.
  Rows CellTexts(const Table& table) {
    Rows rows;
    for (size_t r = 0; r < table.rows.size(); ++r) {
      std::vector<std::string> texts;
      for (size_t c = 0; c < table.columnWidths.size(); ++c) texts.push_back(report_->CellText(report_->CellAt(table.id, r, c)));
      rows.push_back(texts);
    }
    return rows;
  }

  std::vector<int32_t> RowKinds(const Table& table) {
    std::vector<int32_t> kinds;
    for (ObjectId row : table.rows) kinds.push_back(report_->FindRow(row)->kind);
    return kinds;
  }

  // A book of two documents: X used only in the second, P used in the first,
  // Q and R only defined.
  Book& MakeBook() {
    Book& book = Host().NewBook("C:\\Books\\guide.book");
    Store().Put("C:\\Books\\a.fm", *tag_test::MakeTagDocument("C:\\Books\\a.fm", {"X", "R", "P"}, {"P"}));
    Store().Put("C:\\Books\\b.fm", *tag_test::MakeTagDocument("C:\\Books\\b.fm", {"Q", "X"}, {"X"}));
    book.AddComponent(0, kComponentDocument, "C:\\Books\\a.fm");
    book.AddComponent(0, kComponentDocument, "C:\\Books\\b.fm");
    return book;
  }

  Document* report_ = nullptr;
};

// ---- The tag list -------------------------------------------------------------------------------

TEST_F(CreateListDocumentTest, TagListOfTagsInUseOrOfAllTags) {
  Document& document = tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"S", "R", "Q", "P"}, {"Q", "P", "Q"});
  const Table* table = RunList(5, kInUse);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CellTexts(*table), (Rows{{"Tags to Keep"}, {"P"}, {"Q"}}));
  EXPECT_EQ(RowKinds(*table), (std::vector<int32_t>{kRowHeading, kRowBody, kRowBody}));
  EXPECT_EQ(table->columnWidths, (std::vector<Metric>{kListColumnWidth}));
  auto title = table->properties.find(kPropTitlePosition);
  ASSERT_NE(title, table->properties.end());
  EXPECT_EQ(title->second.number, 0);
  EXPECT_TRUE(table->titleParagraphs.empty());

  // The prompt offers the three list types with none selected.
  const std::vector<Interaction>& transcript = User().Transcript();
  ASSERT_EQ(transcript.size(), 1u);
  EXPECT_EQ(transcript[0].items, (std::vector<std::string>{"Empty", "Table Tags in Use", "All Table Tags"}));
  EXPECT_EQ(transcript[0].defaultIndex, -1);

  Host().SetActiveDocument(document.Id());  // the report became the active document
  table = RunList(5, kAll);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CellTexts(*table), (Rows{{"Tags to Keep"}, {"P"}, {"Q"}, {"R"}, {"S"}}));
}

TEST_F(CreateListDocumentTest, EmptyListHasTenEmptyBodyRows) {
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {}, {});
  const Table* table = RunList(5, kEmpty);
  ASSERT_NE(table, nullptr);
  Rows expected(11, std::vector<std::string>{""});
  expected[0][0] = "Tags to Keep";
  EXPECT_EQ(CellTexts(*table), expected);
  std::vector<int32_t> kinds = RowKinds(*table);
  EXPECT_EQ(kinds[0], kRowHeading);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), kRowBody), 10);
}

TEST_F(CreateListDocumentTest, CancelledPromptWritesNothing) {
  Document& document = tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"A"}, {"A"});
  std::vector<ObjectId> before = Host().OpenDocuments();
  User().ExpectPrompt(kPromptTitle, UserScript::kCancel);
  Command(5);
  EXPECT_EQ(Host().OpenDocuments(), before);
  EXPECT_TRUE(document.TablesInOrder().size() == 1);
  EXPECT_TRUE(Host().CallsOf("NewTable").empty());
}

TEST_F(CreateListDocumentTest, UnreadableTagsWriteNoList) {
  // A tag list that missed a used tag would make Remove Non-list Table Tags
  // delete that format.
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"A", "B"}, {"A", "B"});
  FailureRule rule = FailureRule::ForProperty("GetStringProp", 1275);
  rule.skip = 1;
  rule.times = 1;
  Host().InjectFailure(rule);
  User().ExpectPrompt(kPromptTitle, kAll);
  User().ExpectAlertOfKind(3, kUnreadableWarning);
  Command(5);
  EXPECT_TRUE(Host().CallsOf("NewTable").empty());
}

// ---- The conversion list ------------------------------------------------------------------------

TEST_F(CreateListDocumentTest, ConversionListHasTwoWideColumnsAndAnEmptyDestinationColumn) {
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"S", "R", "Q", "P"}, {"Q", "P"});
  const Table* table = RunList(7, kAll);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CellTexts(*table), (Rows{{"Source Tag", "Destination Tag"}, {"P", ""}, {"Q", ""}, {"R", ""}, {"S", ""}}));
  EXPECT_EQ(table->columnWidths, (std::vector<Metric>{kListColumnWidth, kListColumnWidth}));
}

// ---- The report file ------------------------------------------------------------------------------

TEST_F(CreateListDocumentTest, ListsGoToTheReportFileAtItsInsertionPointWithoutTitle) {
  // A report file whose "Format A" gives its tables a title, with the
  // insertion point at the start of a paragraph that already holds text.
  const std::string path = "C:\\Gridwright\\KVOutput.fm";
  std::unique_ptr<Document> stored = Document::NewStandard(path);
  gw::substitute::Paragraph& paragraph = stored->LastParagraph();
  stored->SetParagraphText(paragraph.id, "Earlier report");
  stored->selection = TextRange{{paragraph.id, 0}, {paragraph.id, 0}};
  stored->FindTableFormat("Format A")->properties[kPropTitlePosition] = gw::substitute::PropertyValue::Int(1);
  Store().Put(path, *stored);
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"P"}, {"P"});

  User().ExpectPrompt(kPromptTitle, kInUse);
  Command(5);
  User().ExpectPrompt(kPromptTitle, kEmpty);
  Command(5);

  Document* report = Host().FindDocumentByPath(path);
  ASSERT_NE(report, nullptr);
  report_ = report;
  std::vector<ObjectId> tables = report->TablesInOrder();
  ASSERT_EQ(tables.size(), 2u);  // nothing written before is removed
  for (ObjectId id : tables) {
    const Table* table = report->FindTable(id);
    EXPECT_TRUE(table->titleParagraphs.empty());
    EXPECT_EQ(table->columnWidths, (std::vector<Metric>{kListColumnWidth}));
  }
  EXPECT_EQ(CellTexts(*report->FindTable(tables[0])), (Rows{{"Tags to Keep"}, {"P"}}));
  EXPECT_EQ(report->FindTable(tables[1])->rows.size(), 11u);
  EXPECT_EQ(ParagraphTexts(report->Id()).front(), "Earlier report");
}

// ---- Books ----------------------------------------------------------------------------------------

TEST_F(CreateListDocumentTest, BookListsNameATagUsedInOneDocumentOnceAmongTheUsed) {
  Book& book = MakeBook();
  const Table* table = RunList(14, kAll);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CellTexts(*table), (Rows{{"Tags to Keep"}, {"P"}, {"X"}, {"Q"}, {"R"}}));
  table = RunList(16, kInUse);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CellTexts(*table), (Rows{{"Source Tag", "Destination Tag"}, {"P", ""}, {"X", ""}}));
  EXPECT_EQ(book.StatusLine(), "");
}

TEST_F(CreateListDocumentTest, EmptyBookListDoesNotVisitTheBook) {
  Book& book = MakeBook();
  const Table* table = RunList(16, kEmpty);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rows.size(), 11u);
  EXPECT_TRUE(book.StatusHistory().empty());
  EXPECT_EQ(Host().CallsOf("OpenDocument").size(), 1u);  // the report lookup only
}

}  // namespace
