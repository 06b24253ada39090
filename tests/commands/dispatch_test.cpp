// The dispatcher and the client call: refusals without a target, the About
// box, the parsing of "SetDocId"/"SetBookId" and the exact matching of
// client-call names, and requested ids that hold for exactly one command.
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using gw::substitute::Document;
using gw::substitute::Interaction;

constexpr const char* kNoDocument = "Please open a document first.";
constexpr const char* kNoBook = "Please open a book first.";
constexpr const char* kFixQuestion = "Fix this table heading?";
constexpr const char* kAboutText =
    "Gridwright \nVersion 1.0 Build 101 \nCopyright 2026 the Gridwright developers.\n"
    "https://gridwright.example/support";

class Dispatch : public PluginTest {
 protected:
  // A document whose only table starts with a body row, so that Fix Table
  // Headings (command 1) asks about it; it is open but not active.
  ObjectId InactiveDocumentWithTable() {
    Document& doc = NewDocument();
    doc.AddTable("Format A", 2, 2, 0, 0, {doc.LastParagraph().id, 0});
    Host().SetActiveDocument(0);
    return doc.Id();
  }

  // The alerts of the last command, then forgets them.
  std::vector<std::string> TakeAlerts() {
    std::vector<std::string> alerts = User().AlertTexts();
    User().Clear();
    return alerts;
  }
};

TEST_F(Dispatch, AboutShowsProductVersionAndContactLines) {
  User().ExpectAlertOfKind(2, kAboutText);
  Command(1000);
  ClientCall("GridwrightAbout");
  // Both calls show the box; the script held one answer, so the second is
  // unscripted: check it and forget it.
  std::vector<Interaction> unexpected = User().Unexpected();
  ASSERT_EQ(unexpected.size(), 1u);
  EXPECT_EQ(unexpected[0].text, kAboutText);
  EXPECT_EQ(unexpected[0].alertKind, 2);
  User().Clear();
}

TEST_F(Dispatch, RefusesDocumentCommandsWithoutADocument) {
  for (int32_t number : {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    User().ExpectAlertOfKind(2, kNoDocument);
    Command(number);
    EXPECT_EQ(User().Problems(), "") << "command " << number;
    User().Clear();
  }
}

TEST_F(Dispatch, RefusesBookCommandsWithoutABook) {
  NewDocument();  // a document alone does not make a book command runnable
  for (int32_t number : {12, 13, 14, 15, 16, 17, 18, 20, 21}) {
    User().ExpectAlertOfKind(2, kNoBook);
    Command(number);
    EXPECT_EQ(User().Problems(), "") << "command " << number;
    User().Clear();
  }
}

TEST_F(Dispatch, UnknownNumbersAndTagReportsWithoutADocumentSayNothing) {
  for (int32_t number : {0, 10, 22, 999, 1001, -1, 11, 19}) Command(number);
  EXPECT_TRUE(User().Transcript().empty());
}

TEST_F(Dispatch, ClientCallNamesRunTheirCommandsOnlyWhenMatchedExactly) {
  // With neither document nor book, each name shows which kind of command it
  // reached; names that match nothing show nothing.
  struct Case {
    const char* text;
    const char* alert;  // nullptr: nothing happens
  };
  const Case cases[] = {
      {"ListTableUsage", kNoDocument}, {"ListTableUsageBook", kNoBook},
      {"ListTableUsageBookIndividual", kNoBook}, {"ListTableUsageBookByTag", kNoBook},
      {"DeleteUnusedTables", kNoDocument}, {"DeleteUnusedTablesBook", kNoBook},
      {"CreateTableList", kNoDocument}, {"CreateConversionDocument", kNoDocument},
      {"CreateTableListBook", kNoBook}, {"CreateConversionDocumentBook", kNoBook},
      {"RemoveNonlistTables", kNoDocument}, {"RemoveNonlistTablesBook", kNoBook},
      {"ConvertTablesDoc", kNoDocument}, {"ConvertTablesBook", kNoBook},
      {"RemoveOverrides", kNoDocument}, {"RemoveOverridesBook", kNoBook},
      {"FindNextOverride", kNoDocument}, {"GridwrightAbout", kAboutText},
      // The tag reports end quietly without a document.
      {"GenerateTableTagReport", nullptr}, {"GenerateTableTagReportSingle", nullptr},
      // Command names that are not client-call names, and near misses.
      {"ConvertTablesInDoc", nullptr}, {"FixTableHeadingsDoc", nullptr},
      {"ListTableUsage ", nullptr}, {" ListTableUsage", nullptr},
      {"listtableusage", nullptr}, {"", nullptr}, {nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::string name = c.text != nullptr ? c.text : "(null)";
    ClientCall(c.text);
    std::vector<std::string> alerts = TakeAlerts();
    if (c.alert == nullptr) {
      EXPECT_TRUE(alerts.empty()) << '"' << name << '"';
    } else {
      EXPECT_EQ(alerts, std::vector<std::string>{c.alert}) << '"' << name << '"';
    }
  }
}

TEST_F(Dispatch, SetDocIdParsesTheNumberAfterTheFirstSpace) {
  ObjectId document = InactiveDocumentWithTable();
  std::string id = std::to_string(document);
  struct Case {
    std::string text;
    bool targetsDocument;  // else the command falls back to the (missing) active document
  };
  const std::vector<Case> cases = {
      {"SetDocId " + id, true},
      {"SetDocId   " + id + "  ", true},                   // extra spaces on both sides
      {"SetDocIdWithMore " + id, true},                     // a prefix test
      {"SetDocId +" + id + "x", true},                      // digits up to the first non-digit
      {"SetDocId" + id, false},                             // no space: nothing stored
      {"SetDocId abc", false},                              // letters give 0
      {"setdocid " + id, false},                            // the prefix is case-sensitive
      {" SetDocId " + id, false},                           // a leading space is no prefix
      {"SetBookId " + id, false},                           // the other request
  };
  for (const Case& c : cases) {
    ClientCall(c.text.c_str());
    if (c.targetsDocument) {
      User().ExpectAlertOfKind(4, kFixQuestion, 1);  // answered no: nothing changes
    } else {
      User().ExpectAlertOfKind(2, kNoDocument);
    }
    Command(1);
    EXPECT_EQ(User().Problems(), "") << '"' << c.text << '"';
    User().Clear();
  }
}

TEST_F(Dispatch, RequestedIdsHoldForExactlyOneCommand) {
  ObjectId document = InactiveDocumentWithTable();
  std::string setDocument = "SetDocId " + std::to_string(document);

  // Used by the command that follows, then gone.
  ClientCall(setDocument.c_str());
  User().ExpectAlertOfKind(4, kFixQuestion, 1);
  Command(1);
  User().ExpectAlertOfKind(2, kNoDocument);
  Command(1);
  EXPECT_EQ(User().Problems(), "");
  User().Clear();

  // Consumed by an unknown command number too.
  ClientCall(setDocument.c_str());
  Command(10);
  User().ExpectAlertOfKind(2, kNoDocument);
  Command(1);
  EXPECT_EQ(User().Problems(), "");
  User().Clear();

  // Consumed by a refused command (a book command without a book).
  ClientCall(setDocument.c_str());
  User().ExpectAlertOfKind(2, kNoBook);
  Command(12);
  User().ExpectAlertOfKind(2, kNoDocument);
  Command(1);
  EXPECT_EQ(User().Problems(), "");
  User().Clear();

  // A requested book counts as a target book once; then the active book
  // (none here) is used again, and the book command is refused.
  ClientCall("SetBookId 12345");
  User().ExpectAlertOfKind(2, kNoDocument);
  Command(1);  // consumes the book request as well
  User().ExpectAlertOfKind(2, kNoBook);
  Command(13);
  EXPECT_EQ(User().Problems(), "");
  User().Clear();

  ClientCall("SetBookId 12345");
  Command(10);
  User().ExpectAlertOfKind(2, kNoBook);
  Command(14);
  EXPECT_EQ(User().Problems(), "");
  User().Clear();
}

TEST_F(Dispatch, ClientCallsOfOtherNotificationCodesAreIgnored) {
  ObjectId document = InactiveDocumentWithTable();
  std::string setDocument = "SetDocId " + std::to_string(document);
  Session().Notify(14, 0, setDocument.c_str(), 0);
  Session().Notify(12, 0, "GridwrightAbout", 0);
  EXPECT_TRUE(User().Transcript().empty());
  User().ExpectAlertOfKind(2, kNoDocument);
  Command(1);
}

TEST_F(Dispatch, CommandsWorkOnTheActiveDocumentWhenNoneIsRequested) {
  InactiveDocumentWithTable();
  Document& active = NewDocument();
  active.AddTable("Format B", 3, 1, 0, 0, {active.LastParagraph().id, 0});
  User().ExpectAlertOfKind(4, kFixQuestion, 1);  // only the active document's table is asked about
  Command(1);
}

}  // namespace
