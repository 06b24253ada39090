// Report documents and book walks, seen through the commands that use them:
// List Table Usage (3) writes a report on one document, List Table Usage -
// Individual (20) writes a section per book document in an examining walk,
// and Delete Unused Table Tags for a book (13) saves every document in a
// processing walk.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::Paragraph;

constexpr const char* kReportPath = "C:\\Gridwright\\KVOutput.fm";
constexpr const char* kBookQuestion =
    "Are you sure you want to delete unused table formats for all files in the book?";

struct ReportParagraph {
  std::string text;
  std::string format;
  bool operator==(const ReportParagraph&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReportParagraph& p) {
  return out << '{' << '"' << p.text << "\", " << p.format << '}';
}

class ReportDocuments : public PluginTest {
 protected:
  // Documents open now that were not open before (the report documents).
  std::vector<ObjectId> NewlyOpened(const std::vector<ObjectId>& before) {
    std::vector<ObjectId> added;
    for (ObjectId id : Host().OpenDocuments()) {
      if (std::find(before.begin(), before.end(), id) == before.end()) added.push_back(id);
    }
    return added;
  }

  // The main-flow paragraphs of a document with their formats, the empty last
  // paragraph left out.
  std::vector<ReportParagraph> Paragraphs(ObjectId document) {
    std::vector<ReportParagraph> paragraphs;
    Document* doc = Host().FindDocument(document);
    if (doc == nullptr) return paragraphs;
    for (ObjectId id : doc->MainFlowParagraphs()) {
      const Paragraph* p = doc->FindParagraph(id);
      paragraphs.push_back({p->text, p->formatName});
    }
    if (!paragraphs.empty() && paragraphs.back().text.empty()) paragraphs.pop_back();
    return paragraphs;
  }

  // A report file in the home directory holding one paragraph "Earlier".
  // Only the named paragraph formats exist in it.
  void PutReportFile(const std::vector<std::string>& formats, int32_t lastParagraphLocked = 0) {
    auto doc = Document::NewStandard(kReportPath);
    doc->InsertText({doc->LastParagraph().id, 0}, "Earlier\nOld\n");
    doc->LastParagraph().formatLocked = lastParagraphLocked;
    // The other formats are renamed out of the way.
    for (ObjectId id : doc->ParagraphFormatOrder()) {
      gw::substitute::ParagraphFormat* format = doc->FindParagraphFormat(id);
      if (std::find(formats.begin(), formats.end(), format->name) == formats.end()) format->name += "-absent";
    }
    Store().Put(kReportPath, *doc);
  }

  // List Table Usage on C:\\Docs\\a.fm with a report file as PutReportFile
  // makes it; the report file's paragraphs afterwards.
  std::vector<ReportParagraph> ReportOnDocumentA(const std::vector<std::string>& formats, int32_t locked) {
    PutReportFile(formats, locked);
    NewDocument().fileName = "C:\\Docs\\a.fm";
    Command(3);
    Document* report = Host().FindDocumentByPath(kReportPath);
    return report != nullptr ? Paragraphs(report->Id()) : std::vector<ReportParagraph>{};
  }
};

TEST_F(ReportDocuments, EachReportWithoutAReportFileGoesIntoANewUntitledDocument) {
  Document& doc = NewDocument();
  doc.fileName = "C:\\Docs\\Manual\\chapter1.fm";
  std::vector<ObjectId> before = Host().OpenDocuments();
  Command(3);
  // The new report became the active document: the second report is on it,
  // and a document without a file name is called "Untitled".
  Command(3);
  std::vector<ObjectId> reports = NewlyOpened(before);
  ASSERT_EQ(reports.size(), 2u);
  const char* headings[] = {"chapter1.fm", "Untitled"};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Host().FindDocument(reports[i])->fileName, "");
    std::vector<ReportParagraph> paragraphs = Paragraphs(reports[i]);
    ASSERT_GE(paragraphs.size(), 2u);
    EXPECT_EQ(paragraphs[0], (ReportParagraph{headings[i], "Heading1"}));
    EXPECT_EQ(paragraphs[1], (ReportParagraph{"Table Tags Used:", "Heading2"}));
  }
  // The host was asked for the report file first, under the home directory.
  ASSERT_EQ(Host().CallsOf("OpenDocument").size(), 2u);
  EXPECT_NE(Host().CallsOf("OpenDocument")[0].find("(\"C:\\Gridwright\\KVOutput.fm\""), std::string::npos)
      << Host().CallsOf("OpenDocument")[0];
  // 8 by 11 inches, one column, one-inch gap and margins, single-sided, shown.
  ASSERT_EQ(Host().CallsOf("NewCustomDocument").size(), 2u);
  EXPECT_EQ(Host().CallsOf("NewCustomDocument")[0],
            "NewCustomDocument(37748736, 51904512, 1, 4718592, 4718592, 4718592, 4718592, 4718592, 0, 1)");
}

// A home directory that already ends with a backslash still gets one more.
class ReportDocumentsHomeWithBackslash : public ReportDocuments {
 protected:
  gw::substitute::HostOptions HostConfiguration() override {
    gw::substitute::HostOptions options;
    options.homeDirectory = "D:\\Home\\";
    return options;
  }
};

TEST_F(ReportDocumentsHomeWithBackslash, AddsTheBackslashAnyway) {
  NewDocument();
  Command(3);
  ASSERT_EQ(Host().CallsOf("OpenDocument").size(), 1u);
  EXPECT_NE(Host().CallsOf("OpenDocument")[0].find("(\"D:\\Home\\\\KVOutput.fm\""), std::string::npos)
      << Host().CallsOf("OpenDocument")[0];
}

TEST_F(ReportDocuments, ReportsAreAppendedToTheReportFileInTheHomeDirectory) {
  PutReportFile({"Body", "Heading1", "Heading2"});
  Document& doc = NewDocument();
  doc.fileName = "C:\\Docs\\a.fm";
  Command(3);
  Command(3);
  EXPECT_TRUE(Host().CallsOf("NewCustomDocument").empty());
  Document* report = Host().FindDocumentByPath(kReportPath);
  ASSERT_NE(report, nullptr);
  std::vector<ReportParagraph> paragraphs = Paragraphs(report->Id());
  ASSERT_GE(paragraphs.size(), 4u);
  EXPECT_EQ(paragraphs[0].text, "Earlier");
  EXPECT_EQ(paragraphs[1].text, "Old");
  EXPECT_EQ(paragraphs[2], (ReportParagraph{"a.fm", "Heading1"}));
  // The second report follows the first in the same document.
  size_t headings = std::count(paragraphs.begin(), paragraphs.end(), ReportParagraph{"a.fm", "Heading1"});
  EXPECT_EQ(headings, 2u);
  // The report document is left open and unsaved.
  EXPECT_EQ(Store().SaveCount(kReportPath), 0u);
}

TEST_F(ReportDocuments, AParagraphKeepsItsFormatWhenTheNamedFormatIsMissingOrLocked) {
  // The report file lacks Heading2: the heading keeps what its paragraph had
  // (the format of the paragraph before, which the new one inherited).
  std::vector<ReportParagraph> paragraphs = ReportOnDocumentA({"Body", "Heading1"}, 0);
  ASSERT_GE(paragraphs.size(), 4u);
  EXPECT_EQ(paragraphs[2], (ReportParagraph{"a.fm", "Heading1"}));
  EXPECT_EQ(paragraphs[3], (ReportParagraph{"Table Tags Used:", "Heading1"}));
  EXPECT_EQ(paragraphs.back().format, "Body");
}

TEST_F(ReportDocuments, ALockedParagraphIsNotGivenAFormat) {
  std::vector<ReportParagraph> paragraphs = ReportOnDocumentA({"Body", "Heading1", "Heading2"}, 1);
  ASSERT_GE(paragraphs.size(), 3u);
  EXPECT_EQ(paragraphs[2], (ReportParagraph{"a.fm", "Body"}));
}

// ---- Book walks --------------------------------------------------------------------------

class BookWalks : public ReportDocuments {
 protected:
  // manual.book: group {a.fm, b.fm}, an empty folder, a component of another
  // kind, missing.fm (not in the store), folder {group {c.fm}}, d.fm.
  Book& NestedBook() {
    for (const char* name : {"a.fm", "b.fm", "c.fm", "d.fm"}) PutDocument(Path(name));
    Book& book = Host().NewBook("C:\\Books\\manual.book");
    ObjectId group = book.AddComponent(0, 2, "C:\\Books\\group").id;
    book.AddComponent(group, 512, Path("a.fm"));
    book.AddComponent(group, 512, Path("b.fm"));
    book.AddComponent(0, 64, "C:\\Books\\empty");
    book.AddComponent(0, 8, Path("generated.fm"));
    book.AddComponent(0, 512, Path("missing.fm"));
    ObjectId folder = book.AddComponent(0, 64, "C:\\Books\\folder").id;
    ObjectId inner = book.AddComponent(folder, 2, "C:\\Books\\inner").id;
    book.AddComponent(inner, 512, Path("c.fm"));
    book.AddComponent(0, 512, Path("d.fm"));
    return book;
  }

  static std::string Path(const char* name) { return std::string("C:\\Books\\") + name; }

  std::vector<std::string> Headings(ObjectId report) {
    std::vector<std::string> headings;
    for (const ReportParagraph& p : Paragraphs(report)) {
      if (p.format == "Heading1") headings.push_back(p.text);
    }
    return headings;
  }
};

TEST_F(BookWalks, ExaminesEveryDocumentDepthFirstAndClosesIt) {
  Book& book = NestedBook();
  std::vector<ObjectId> before = Host().OpenDocuments();
  User().ExpectAlertOfKind(3, "Some table tags could not be read; the report is incomplete.", 0);  // missing.fm
  Command(20);
  std::vector<ObjectId> opened = NewlyOpened(before);
  ASSERT_EQ(opened.size(), 1u);  // only the report stays open
  EXPECT_EQ(Headings(opened[0]), (std::vector<std::string>{"manual.book", "a.fm", "b.fm", "c.fm", "d.fm"}));
  EXPECT_EQ(Host().ConsoleText(), "Could not open file:C:\\Books\\missing.fm\n");
  EXPECT_EQ(book.StatusHistory(),
            (std::vector<std::string>{"Examining: a.fm", "Examining: b.fm", "Examining: missing.fm",
                                      "Examining: c.fm", "Examining: d.fm", ""}));
  // Every document was opened with the nine open parameters, in their order,
  // and closed; none saved.
  std::vector<std::string> bookOpens;
  for (const std::string& call : Host().CallsOf("OpenDocument")) {
    if (call.find("KVOutput.fm") == std::string::npos) bookOpens.push_back(call);
  }
  ASSERT_EQ(bookOpens.size(), 5u);
  for (const std::string& call : bookOpens) {
    EXPECT_NE(call.find(", {5:0, 2:0, 3:1, 23:1, 28:1, 22:1, 25:1, 36:3, 24:11}"), std::string::npos) << call;
  }
  EXPECT_EQ(Host().CallsOf("CloseDocument").size(), 4u);
  EXPECT_TRUE(Store().SavedPaths().empty());
}

TEST_F(BookWalks, AnEmptyBookShowsNothing) {
  Book& book = Host().NewBook("C:\\Books\\empty.book");
  Command(20);
  EXPECT_EQ(Host().ConsoleText(), "");
  EXPECT_EQ(book.StatusLine(), "");
  EXPECT_TRUE(Host().CallsOf("CloseDocument").empty());
}

TEST_F(BookWalks, DocumentsTheUserHadOpenStayOpenWithTheirChanges) {
  Book& book = NestedBook();
  Document* userCopy = Host().OpenFromStore(Path("b.fm"));
  ASSERT_NE(userCopy, nullptr);
  ObjectId userDocument = userCopy->Id();
  userCopy->SetParagraphText(userCopy->LastParagraph().id, "unsaved work");
  User().ExpectAlertOfKind(3, std::nullopt, 0);  // missing.fm
  Command(20);
  ASSERT_TRUE(Host().IsOpen(userDocument));
  EXPECT_EQ(Host().FindDocument(userDocument)->LastParagraph().text, "unsaved work");
  EXPECT_EQ(book.StatusLine(), "");
  EXPECT_EQ(Host().CallsOf("CloseDocument").size(), 3u);
  EXPECT_TRUE(Store().SavedPaths().empty());
}

// When the host cannot list its open documents, the walk cannot tell the
// user's own from those it opened, so it closes none of them.
TEST_F(BookWalks, ADocumentTheUserHadOpenStaysOpenWhenOpenDocumentsCannotBeListed) {
  NestedBook();
  Document* userCopy = Host().OpenFromStore(Path("b.fm"));
  ASSERT_NE(userCopy, nullptr);
  ObjectId userDocument = userCopy->Id();
  userCopy->SetParagraphText(userCopy->LastParagraph().id, "unsaved work");
  Host().InjectFailure(FailureRule::ForProperty("GetIdProp", 111));  // the next open document
  User().ExpectAlertOfKind(3, std::nullopt, 0);                      // missing.fm
  Command(20);
  Host().ClearFailures();
  ASSERT_TRUE(Host().IsOpen(userDocument));
  EXPECT_EQ(Host().FindDocument(userDocument)->LastParagraph().text, "unsaved work");
}

TEST_F(BookWalks, ProcessingSavesEachDocumentUnderItsPathAndClosesOnlyWhatItOpened) {
  Book& book = NestedBook();
  Document* userCopy = Host().OpenFromStore(Path("c.fm"));
  ASSERT_NE(userCopy, nullptr);
  ObjectId userDocument = userCopy->Id();
  std::vector<ObjectId> before = Host().OpenDocuments();
  // missing.fm makes the examining walk incomplete for command 13, so take it
  // out of the book: its own test is above.
  User().ExpectAlertOfKind(1, kBookQuestion, 0);
  Store().Put(Path("missing.fm"), *Document::NewStandard(Path("missing.fm")));
  Command(13);

  EXPECT_EQ(Store().SavedPaths(), (std::vector<std::string>{Path("a.fm"), Path("b.fm"), Path("missing.fm"),
                                                            Path("c.fm"), Path("d.fm")}));
  // The unused formats are gone from the saved files.
  EXPECT_TRUE(Store().Peek(Path("a.fm"))->TableFormatNames().empty());
  // The user's document was saved (the command changed it) but stays open.
  EXPECT_TRUE(Host().IsOpen(userDocument));
  EXPECT_EQ(NewlyOpened(before), std::vector<ObjectId>{});
  EXPECT_EQ(book.StatusHistory().back(), "");
  EXPECT_NE(std::find(book.StatusHistory().begin(), book.StatusHistory().end(), "Removing Unused Tags: d.fm"),
            book.StatusHistory().end());
}

TEST_F(BookWalks, AFailedSaveLeavesTheDocumentOpenAndSaysSo) {
  Store().Put(Path("a.fm"), *Document::NewStandard(Path("a.fm")));
  Store().Put(Path("b.fm"), *Document::NewStandard(Path("b.fm")));
  Book& book = Host().NewBook("C:\\Books\\two.book");
  book.AddComponent(0, 512, Path("a.fm"));
  book.AddComponent(0, 512, Path("b.fm"));
  Store().RefuseSaves(Path("a.fm"));
  User().ExpectAlertOfKind(1, kBookQuestion, 0);
  Command(13);
  EXPECT_EQ(Host().ConsoleText(), "Could not save file:C:\\Books\\a.fm\n");
  Document* unsaved = Host().FindDocumentByPath(Path("a.fm"));
  ASSERT_NE(unsaved, nullptr);  // still open, with its changes, for the user
  EXPECT_TRUE(unsaved->TableFormatNames().empty());
  EXPECT_EQ(Host().FindDocumentByPath(Path("b.fm")), nullptr);
  EXPECT_EQ(Store().SaveCount(Path("b.fm")), 1u);
}

// A walk that cannot read a link of the book (a kind, a child, a sibling, a
// parent) does not take the failed answer for "no more": it stops, says so,
// and a book deletion then deletes nothing anywhere.
TEST_F(BookWalks, ALinkThatCannotBeReadStopsTheWalkAndTheDeletion) {
  for (auto [method, code] : {std::pair<const char*, int32_t>{"GetIntProp", 2329}, {"GetIdProp", 2324},
                              {"GetIdProp", 527}, {"GetIdProp", 2325}, {"GetIdProp", 491}}) {
    SCOPED_TRACE(std::string(method) + " " + std::to_string(code));
    Book& book = NestedBook();
    Store().Put(Path("missing.fm"), *Document::NewStandard(Path("missing.fm")));
    size_t savesBefore = Store().SavedPaths().size();
    Host().ClearRecords();
    FailureRule rule = FailureRule::ForProperty(method, code);
    rule.times = 1;
    Host().InjectFailure(rule);
    User().ExpectAlertOfKind(3, std::nullopt, 0);
    Command(13);
    Host().ClearFailures();
    EXPECT_EQ(Store().SavedPaths().size(), savesBefore);
    EXPECT_NE(Host().ConsoleText().find("Could not read the book's components"), std::string::npos)
        << Host().ConsoleText();
    EXPECT_EQ(User().Problems(), "");
    EXPECT_EQ(book.StatusLine(), "");
  }
}

}  // namespace
