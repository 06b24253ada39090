// Delete Unused Table Tags for a document (4) and a book (13), driven end to
// end through the substitute host: what is deleted, what must never be, and
// every way the user's word can be missing.
#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin_fixture.h"
#include "tag_test_documents.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::kComponentDocument;
using Names = std::vector<std::string>;

const char kDocumentQuestion[] = "Are you sure you want to delete unused table formats?";
const char kBookQuestion[] = "Are you sure you want to delete unused table formats for all files in the book?";
const char kUnreadableWarning[] = "The table formats could not all be read; nothing was deleted.";

class DeleteUnusedTablesTest : public PluginTest {
 protected:
  Document& OpenDocument(const Names& catalogue, const Names& tags) {
    return tag_test::OpenTagDocument(Host(), "C:\\d.fm", catalogue, tags);
  }

  // Stores C:\Books\<name> and adds it to the book.
  void AddToBook(Book& book, const std::string& name, const Names& catalogue, const Names& tags) {
    std::string path = "C:\\Books\\" + name;
    Store().Put(path, *tag_test::MakeTagDocument(path, catalogue, tags));
    book.AddComponent(0, kComponentDocument, path);
  }

  Names StoredCatalogue(const std::string& name) {
    std::unique_ptr<Document> document = Store().Peek("C:\\Books\\" + name);
    return document != nullptr ? document->TableFormatNames() : Names{"<missing>"};
  }
};

// ---- One document ---------------------------------------------------------------------------

TEST_F(DeleteUnusedTablesTest, DeletesRunsOfUnusedFormatsInTheMiddleOfTheCatalogue) {
  Document& document = OpenDocument({"Used1", "Gone1", "Gone2", "Used2", "Gone3"}, {"Used2", "Used1"});
  User().ExpectAlertOfKind(1, kDocumentQuestion, 0);
  EXPECT_EQ(Command(4), S_OK);
  EXPECT_EQ(document.TableFormatNames(), (Names{"Used1", "Used2"}));
  // The document is changed, not saved, and stays open.
  EXPECT_TRUE(Host().IsOpen(document.Id()));
  EXPECT_TRUE(Store().SavedPaths().empty());
}

TEST_F(DeleteUnusedTablesTest, DeletesNothingWithoutTheUsersWord) {
  Document& document = OpenDocument({"A", "B"}, {"A"});
  document.bulkEdit = 4;
  User().ExpectAlertOfKind(1, kDocumentQuestion, 1);  // Cancel
  Command(4);
  // A question the host failed to show, by status and by COM error.
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(4);
  Host().ClearFailures();
  Host().InjectFailure(FailureRule::Every("Alert").WithHresult(E_FAIL));
  Command(4);
  EXPECT_EQ(document.TableFormatNames(), (Names{"A", "B"}));
  EXPECT_EQ(document.bulkEdit, 4);
  EXPECT_TRUE(Host().CallsOf("DeleteObject").empty());
}

TEST_F(DeleteUnusedTablesTest, KeepsEveryFormatWhoseExactNameATableBears) {
  // Names that differ only in letter case are different formats.
  Document& document = OpenDocument({"body", "Body", "TITLE", "Title", "title"}, {"Body", "title", "TITLE"});
  User().ExpectAlertOfKind(1, kDocumentQuestion, 0);
  Command(4);
  EXPECT_EQ(document.TableFormatNames(), (Names{"Body", "TITLE", "title"}));
}

TEST_F(DeleteUnusedTablesTest, IncompleteTableWalkDeletesNothingAndAsksNothing) {
  // If the table that uses B were missed, B would look unused.
  Document& document = OpenDocument({"A", "B"}, {"A", "B"});
  FailureRule unreadableTag = FailureRule::ForProperty("GetStringProp", 1275);
  unreadableTag.skip = 1;
  unreadableTag.times = 1;
  FailureRule walkCutShort = FailureRule::ForProperty("GetIdProp", 1337);  // the next table
  walkCutShort.times = 1;
  for (const FailureRule& rule : {unreadableTag, walkCutShort}) {
    Host().InjectFailure(rule);
    User().ExpectAlertOfKind(3, kUnreadableWarning);
    Command(4);
    Host().ClearFailures();
    EXPECT_EQ(document.TableFormatNames(), (Names{"A", "B"}));
  }
}

// ---- The book -----------------------------------------------------------------------------------

TEST_F(DeleteUnusedTablesTest, BookKeepsFormatsUsedAnywhereAndSavesEveryDocument) {
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  AddToBook(book, "a.fm", {"X", "Y"}, {"X"});
  AddToBook(book, "b.fm", {"Y", "X", "Z"}, {});
  AddToBook(book, "c.fm", {"W"}, {"W"});
  User().ExpectAlertOfKind(1, kBookQuestion, 0);
  Command(13);
  EXPECT_EQ(StoredCatalogue("a.fm"), (Names{"X"}));
  EXPECT_EQ(StoredCatalogue("b.fm"), (Names{"X"}));
  EXPECT_EQ(StoredCatalogue("c.fm"), (Names{"W"}));
  EXPECT_EQ(Store().SavedPaths().size(), 3u);  // c.fm too, although nothing was deleted there
  EXPECT_TRUE(Host().OpenDocuments().empty());
  const std::vector<std::string>& status = book.StatusHistory();
  EXPECT_NE(std::find(status.begin(), status.end(), "Removing Unused Tags: b.fm"), status.end());
  EXPECT_EQ(book.StatusLine(), "");
}

TEST_F(DeleteUnusedTablesTest, BookAsksAfterExaminingAndWithoutConsentOpensNothingAgain) {
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  AddToBook(book, "a.fm", {"X"}, {});
  AddToBook(book, "b.fm", {"Y"}, {});
  User().ExpectAlertOfKind(1, kBookQuestion, 1);
  Command(13);
  std::vector<std::string> calls = Host().CallNames();
  auto alert = std::find(calls.begin(), calls.end(), "Alert");
  ASSERT_NE(alert, calls.end());
  EXPECT_EQ(std::count(calls.begin(), alert, "OpenDocument"), 2);
  EXPECT_EQ(std::count(alert, calls.end(), "OpenDocument"), 0);
  // A question the host failed to show is no consent either.
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(13);
  EXPECT_TRUE(Store().SavedPaths().empty());
  EXPECT_EQ(StoredCatalogue("a.fm"), (Names{"X"}));
}

// A document the examining walk could not open may use any format, so the
// book-wide unused list proves nothing: nothing is deleted anywhere, and the
// user is not asked.
TEST_F(DeleteUnusedTablesTest, BookDocumentThatDoesNotOpenWhenExaminedStopsTheDeletion) {
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  AddToBook(book, "a.fm", {"X", "Y"}, {});
  AddToBook(book, "b.fm", {"X", "Y"}, {"X"});
  // The examining walk cannot open b.fm; a processing walk could.
  FailureRule rule = FailureRule::NthCall("OpenDocument", 2);
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(3, "Not every document of the book could be read (see the console); nothing was deleted.");
  Command(13);
  EXPECT_EQ(Host().ConsoleText(), "Could not open file:C:\\Books\\b.fm\n");
  EXPECT_TRUE(Store().SavedPaths().empty());
  EXPECT_EQ(StoredCatalogue("a.fm"), (Names{"X", "Y"}));
  EXPECT_EQ(StoredCatalogue("b.fm"), (Names{"X", "Y"}));
}

TEST_F(DeleteUnusedTablesTest, BookWithAnUnreadableTagDeletesNothing) {
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  AddToBook(book, "a.fm", {"X", "Y"}, {"Y"});
  AddToBook(book, "b.fm", {"X", "Y"}, {"X"});
  FailureRule rule = FailureRule::ForProperty("GetStringProp", 1275);
  rule.skip = 3;  // a.fm: Y's table, X, Y; then b.fm's table
  rule.times = 1;
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(3, kUnreadableWarning);
  Command(13);
  EXPECT_TRUE(Store().SavedPaths().empty());
  EXPECT_EQ(StoredCatalogue("a.fm"), (Names{"X", "Y"}));
  EXPECT_EQ(StoredCatalogue("b.fm"), (Names{"X", "Y"}));
}

TEST_F(DeleteUnusedTablesTest, BookCaseVariantsAreKeptWhereverATableBearsThem) {
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  AddToBook(book, "a.fm", {"Body", "body"}, {"Body"});
  AddToBook(book, "b.fm", {"Body", "body", "BODY"}, {"body"});
  User().ExpectAlertOfKind(1, kBookQuestion, 0);
  Command(13);
  EXPECT_EQ(StoredCatalogue("a.fm"), (Names{"Body", "body"}));
  EXPECT_EQ(StoredCatalogue("b.fm"), (Names{"Body", "body"}));
}

}  // namespace
