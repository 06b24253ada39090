// List Table Usage for a document (3) and a book (12, 20, 21), driven end to
// end through the substitute host.
#include <algorithm>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "tag_test_documents.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::kComponentDocument;
using tag_test::ReportLines;

const char kReportIncomplete[] = "Some table tags could not be read; the report is incomplete.";
const char kReportUnavailable[] = "The report document could not be opened or created.";

class ListTableUsageTest : public PluginTest {
 protected:
  // Runs a command and returns the paragraphs of the one report document it
  // created.
  ReportLines RunReport(int32_t command) {
    std::vector<ObjectId> before = Host().OpenDocuments();
    EXPECT_EQ(Command(command), S_OK);
    std::vector<ObjectId> created = tag_test::NewDocuments(Host(), before);
    EXPECT_EQ(created.size(), 1u);
    return created.empty() ? ReportLines{} : tag_test::ReportParagraphs(Host(), created.front());
  }

  // A book "C:\Books\guide.book" of documents stored under C:\Books\<name>.
  Book& MakeBook(const std::vector<std::pair<std::string, std::unique_ptr<Document>>>& documents) {
    Book& book = Host().NewBook("C:\\Books\\guide.book");
    for (const auto& [name, document] : documents) {
      std::string path = "C:\\Books\\" + name;
      Store().Put(path, *document);
      book.AddComponent(0, kComponentDocument, path);
    }
    return book;
  }

  static std::unique_ptr<Document> Doc(const std::string& name, const std::vector<std::string>& catalogue,
                                       const std::vector<std::string>& tags) {
    return tag_test::MakeTagDocument("C:\\Books\\" + name, catalogue, tags);
  }
};

// ---- One document ---------------------------------------------------------------------------

TEST_F(ListTableUsageTest, WritesTheChapterReportAndRestoresTheHostState) {
  Document& document = tag_test::OpenTagDocument(Host(), "C:\\Books\\chapter1.fm", {"Wide", "Narrow", "Ruled"},
                                                 {"Wide", "Narrow", "Wide"});
  document.bulkEdit = 7;
  ReportLines expected = {{"Heading1", "chapter1.fm"}, {"Heading2", "Table Tags Used:"}, {"Body", "Narrow"},
                          {"Body", "Wide"},            {"Heading2", "Table Tags Not Used:"}, {"Body", "Ruled"}};
  EXPECT_EQ(RunReport(3), expected);
  EXPECT_EQ(document.bulkEdit, 7);
  EXPECT_EQ(Host().ScreenUpdatingHistory(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(std::count(Host().Redisplays().begin(), Host().Redisplays().end(), document.Id()), 1);
}

TEST_F(ListTableUsageTest, EmptyDocumentGivesBothHeadingsAndNothingUnder) {
  tag_test::OpenTagDocument(Host(), "", {}, {});
  ReportLines expected = {{"Heading1", "Untitled"},
                          {"Heading2", "Table Tags Used:"},
                          {"Heading2", "Table Tags Not Used:"}};
  EXPECT_EQ(RunReport(3), expected);
}

TEST_F(ListTableUsageTest, ListsTagsInByteOrder) {
  // Capitals before small letters; a byte of 0x80 or above after all ASCII.
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"zeta", "\x80tude", "Alpha", "beta"},
                            {"\x81used", "small", "Zebra", "Apple"});
  ReportLines expected = {{"Heading1", "d.fm"},   {"Heading2", "Table Tags Used:"},
                          {"Body", "Apple"},      {"Body", "Zebra"},
                          {"Body", "small"},      {"Body", "\x81used"},
                          {"Heading2", "Table Tags Not Used:"}, {"Body", "Alpha"},
                          {"Body", "beta"},       {"Body", "zeta"},
                          {"Body", "\x80tude"}};
  EXPECT_EQ(RunReport(3), expected);
}

TEST_F(ListTableUsageTest, TreatsNamesDifferingInCaseAsDifferentFormats) {
  // Tables bear "Body", "TITLE" and "title"; each is listed as used, and only
  // the spellings no table bears as unused.
  tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"Body", "body", "Title", "TITLE", "title"},
                            {"Body", "TITLE", "title", "Body"});
  ReportLines expected = {{"Heading1", "d.fm"}, {"Heading2", "Table Tags Used:"},
                          {"Body", "Body"},     {"Body", "TITLE"},
                          {"Body", "title"},    {"Heading2", "Table Tags Not Used:"},
                          {"Body", "Title"},    {"Body", "body"}};
  EXPECT_EQ(RunReport(3), expected);
}

// ---- Host failures ---------------------------------------------------------------------------

TEST_F(ListTableUsageTest, UnreadableTagIsReportedAsIncomplete) {
  Document& document = tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"A", "B"}, {"A", "B"});
  document.bulkEdit = 3;
  FailureRule rule = FailureRule::ForProperty("GetStringProp", 1275);
  rule.skip = 1;  // the second table's tag
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(3, kReportIncomplete);
  ReportLines report = RunReport(3);
  // What was read is written, and the user is told it is not all.
  ASSERT_GE(report.size(), 3u);
  EXPECT_EQ(report[2], (std::pair<std::string, std::string>{"Body", "A"}));
  EXPECT_EQ(document.bulkEdit, 3);
  EXPECT_EQ(Host().ScreenUpdating(), 1);
}

TEST_F(ListTableUsageTest, WarnsWhenNoReportDocumentCanBeMade) {
  Document& document = tag_test::OpenTagDocument(Host(), "C:\\d.fm", {"A"}, {"A"});
  Host().InjectFailure(FailureRule::Every("OpenDocument"));
  Host().InjectFailure(FailureRule::Every("NewCustomDocument"));
  User().ExpectAlertOfKind(3, kReportUnavailable);
  std::vector<ObjectId> before = Host().OpenDocuments();
  EXPECT_EQ(Command(3), S_OK);
  EXPECT_EQ(Host().OpenDocuments(), before);
  EXPECT_EQ(document.bulkEdit, 0);
  EXPECT_EQ(Host().ScreenUpdating(), 1);
}

// ---- Books ------------------------------------------------------------------------------------

TEST_F(ListTableUsageTest, BookReportMergesTheDocumentsAndTheIndividualReportDoesNot) {
  // X is used in b.fm only; a.fm defines it without using it.
  std::vector<std::pair<std::string, std::unique_ptr<Document>>> documents;
  documents.emplace_back("a.fm", Doc("a.fm", {"X", "Y"}, {}));
  documents.emplace_back("b.fm", Doc("b.fm", {"X", "Y", "Z"}, {"X", "Z"}));
  MakeBook(documents);
  ReportLines merged = {{"Heading1", "guide.book"}, {"Heading2", "Table Tags Used:"}, {"Body", "X"},
                        {"Body", "Z"},              {"Heading2", "Table Tags Not Used:"}, {"Body", "Y"}};
  EXPECT_EQ(RunReport(12), merged);
  ReportLines individual = {{"Heading1", "guide.book"},
                            {"Heading1", "a.fm"}, {"Heading2", "Table Tags Used:"},
                            {"Heading2", "Table Tags Not Used:"}, {"Body", "X"}, {"Body", "Y"},
                            {"Heading1", "b.fm"}, {"Heading2", "Table Tags Used:"}, {"Body", "X"}, {"Body", "Z"},
                            {"Heading2", "Table Tags Not Used:"}, {"Body", "Y"}};
  EXPECT_EQ(RunReport(20), individual);
}

TEST_F(ListTableUsageTest, ByTagListsEachDocumentUnderTheTagsItUsesAndWalksOncePerTag) {
  std::vector<std::pair<std::string, std::unique_ptr<Document>>> documents;
  documents.emplace_back("a.fm", Doc("a.fm", {"X", "Y", "Unused"}, {"Y"}));
  documents.emplace_back("b.fm", Doc("b.fm", {"X", "y"}, {"X", "y"}));
  documents.emplace_back("c.fm", Doc("c.fm", {}, {"X", "Y"}));
  Book& book = MakeBook(documents);
  ReportLines expected = {{"Heading1", "guide.book"},
                          {"Heading2", "X"}, {"Body", "b.fm"}, {"Body", "c.fm"},
                          {"Heading2", "Y"}, {"Body", "a.fm"}, {"Body", "c.fm"},
                          {"Heading2", "y"}, {"Body", "b.fm"}};
  EXPECT_EQ(RunReport(21), expected);
  // One walk to collect, one per used tag; each walk ends by clearing the
  // status line and opens every document.
  const std::vector<std::string>& status = book.StatusHistory();
  EXPECT_EQ(std::count(status.begin(), status.end(), std::string()), 4);
  EXPECT_EQ(std::count(status.begin(), status.end(), std::string("Examining: a.fm")), 4);
  EXPECT_EQ(Host().CallsOf("OpenDocument").size(), 4u * 3u + 1u);  // and the report lookup
}

}  // namespace
