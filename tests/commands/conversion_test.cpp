// Remove Non-list Table Tags (6, 15) and Convert Tables (2, 17), driven end to
// end through the substitute host: the list found among the open documents,
// the formats and tables of the documents afterwards, and every way the list
// can turn out unreadable without a format being lost.
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "tag_test_documents.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::kComponentDocument;
using gw::substitute::PropertyValue;
using gw::substitute::Table;
using Rows = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;

const char kKeepQuestion[] = "Are you sure you want to keep only the table formats listed?";
const char kKeepNotFound[] = "The list of table formats to keep could not be found.";
const char kKeepUnreadable[] = "The list of table formats to keep could not be read.";
const char kConvertQuestion[] = "Are you sure you want to convert table formats?";
const char kConvertBookQuestion[] = "Are you sure you want to convert table formats for all files in the book?";
const char kConvertNotFound[] = "The list of table tags to convert could not be found.";
const char kConvertUnreadable[] = "The list of table tags to convert could not be read.";

const int32_t kIndentLeft = 1278;
const int32_t kAlignment = 1282;
const int32_t kColumnRuling = 1309;

class ListCommandTest : public PluginTest {
 protected:
  // A standard document holding one list table: rows[0] is the heading row,
  // the rest body rows; the width of rows[0] gives the columns.
  static std::unique_ptr<Document> MakeListDocument(const std::string& path, const Rows& rows) {
    std::unique_ptr<Document> document = Document::NewStandard(path);
    AddListTable(*document, rows);
    return document;
  }

  static ObjectId AddListTable(Document& document, const Rows& rows) {
    int32_t columns = static_cast<int32_t>(rows.front().size());
    Table* table = document.AddTable("Format A", columns, static_cast<int32_t>(rows.size()) - 1, 1, 0,
                                     {document.LastParagraph().id, 0});
    for (size_t r = 0; r < rows.size(); r++) {
      for (size_t c = 0; c < rows[r].size(); c++) document.SetCellText(document.CellAt(table->id, r, c), rows[r][c]);
    }
    return table->id;
  }

  // The list document, opened in the host (not active afterwards: the target
  // document opened after it is).
  Document& OpenListDocument(const Rows& rows, const std::string& path = "C:\\Lists\\list.fm") {
    return Host().AdoptDocument(MakeListDocument(path, rows));
  }

  Document& OpenTarget(const Names& catalogue, const Names& tags, const std::string& path = "C:\\Docs\\target.fm") {
    return tag_test::OpenTagDocument(Host(), path, catalogue, tags);
  }

  static Names Tags(Document& document) {
    Names tags;
    for (ObjectId id : document.TablesInOrder()) tags.push_back(document.FindTable(id)->tag);
    return tags;
  }

  static int32_t TableNumber(Document& document, size_t index, int32_t code) {
    return document.FindTable(document.TablesInOrder().at(index))->properties.at(code).number;
  }

  static void SetFormatNumber(Document& document, const std::string& format, int32_t code, PropertyValue value) {
    gw::substitute::SetFormatLevelProperty(document.FindTableFormat(format)->properties, code, value);
  }

  // A book C:\Books\guide.book whose components are the given stored paths.
  Book& MakeBook(const Names& paths) {
    Book& book = Host().NewBook("C:\\Books\\guide.book");
    for (const std::string& path : paths) book.AddComponent(0, kComponentDocument, path);
    return book;
  }

  void StoreTagDocument(const std::string& path, const Names& catalogue, const Names& tags) {
    Store().Put(path, *tag_test::MakeTagDocument(path, catalogue, tags));
  }

  Names StoredCatalogue(const std::string& path) { return Store().Peek(path)->TableFormatNames(); }
};

// ---- Remove Non-list Table Tags, document ------------------------------------------------------

TEST_F(ListCommandTest, KeepsExactlyTheListedNamesHeadingRowIncluded) {
  // Whole names, case-sensitive: "Body" keeps Body, not body; "Narro" keeps
  // nothing. The heading text is itself a listed name. Formats in the middle
  // of the catalogue go, and each is visited once.
  OpenListDocument({{"Tags to Keep"}, {"Body"}, {"Narro"}, {"Wide"}});
  Document& target = OpenTarget({"body", "Tags to Keep", "Body", "Narrow", "Wide", "Ruled"}, {"Narrow"});
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Tags to Keep", "Body", "Wide"}));
}

TEST_F(ListCommandTest, FindsHeaderFollowedByMoreWordsButNotInSmallLetters) {
  OpenListDocument({{"tags to keep"}, {"Body"}}, "C:\\Lists\\lower.fm");
  Document& target = OpenTarget({"Body", "Wide"}, {});
  User().ExpectAlertOfKind(3, kKeepNotFound);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body", "Wide"}));

  OpenListDocument({{"Tags to Keep (edited by hand)"}, {"Wide"}}, "C:\\Lists\\edited.fm");
  Host().SetActiveDocument(target.Id());
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Wide"}));
}

TEST_F(ListCommandTest, UsesTheFirstListOfTheFirstOpenDocumentThatHoldsOne) {
  // The first open document holds, in document order, a table that is no
  // list and two tag lists; the second open document holds another. Only the
  // first list of the first document counts.
  std::unique_ptr<Document> first = Document::NewStandard("C:\\Lists\\first.fm");
  first->InsertText({first->LastParagraph().id, 0}, "one\ntwo\nthree\n");
  std::vector<ObjectId> paragraphs = first->MainFlowParagraphs();
  const Rows tables[] = {{{"Tags"}, {"Narrow"}}, {{"Tags to Keep"}, {"Body"}}, {{"Tags to Keep"}, {"Wide"}}};
  for (size_t t = 0; t < 3; t++) {
    Table* table = first->AddTable("Format A", 1, 1, 1, 0, {paragraphs.at(t), 0});
    for (size_t r = 0; r < 2; r++) first->SetCellText(first->CellAt(table->id, r, 0), tables[t][r][0]);
  }
  Host().AdoptDocument(std::move(first));
  OpenListDocument({{"Tags to Keep"}, {"Ruled"}}, "C:\\Lists\\second.fm");
  Document& target = OpenTarget({"Body", "Wide", "Narrow", "Ruled"}, {});
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body"}));
}

TEST_F(ListCommandTest, ReadsBackTheListsTheListCommandsWrite) {
  // Create Conversion Document, the user fills a destination, Convert Tables;
  // then Create Table Tag List, the user empties one row, Remove Non-list
  // Table Tags.
  Document& target = OpenTarget({"P", "Q", "R"}, {"P", "Q"});
  std::vector<ObjectId> before = Host().OpenDocuments();
  User().ExpectPrompt("Choose a list type", 1);  // "Table Tags in Use"
  Command(7);
  std::vector<ObjectId> created = tag_test::NewDocuments(Host(), before);
  ASSERT_EQ(created.size(), 1u);
  Document& report = *Host().FindDocument(created.front());
  ASSERT_EQ(report.TablesInOrder().size(), 1u);
  ObjectId conversion = report.TablesInOrder().front();
  ASSERT_EQ(report.CellText(report.CellAt(conversion, 1, 0)), "P");
  report.SetCellText(report.CellAt(conversion, 1, 1), "R");
  Host().SetActiveDocument(target.Id());
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  EXPECT_EQ(Tags(target), (Names{"R", "Q"}));

  // Without a KVOutput.fm to open, each list goes into a new report document.
  before = Host().OpenDocuments();
  User().ExpectPrompt("Choose a list type", 2);  // "All Table Tags"
  Command(5);
  created = tag_test::NewDocuments(Host(), before);
  ASSERT_EQ(created.size(), 1u);
  Document& tagReport = *Host().FindDocument(created.front());
  ASSERT_EQ(tagReport.TablesInOrder().size(), 1u);
  ObjectId tagList = tagReport.TablesInOrder().front();
  ASSERT_EQ(tagReport.CellText(tagReport.CellAt(tagList, 3, 0)), "P");  // Q, R in use; P only defined
  tagReport.SetCellText(tagReport.CellAt(tagList, 3, 0), "");
  Host().SetActiveDocument(target.Id());
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Q", "R"}));
}

TEST_F(ListCommandTest, WithoutADocumentNothingIsAskedOrChanged) {
  // The open list document is not active: there is no target document.
  Document& list = OpenListDocument({{"Tags to Keep"}, {"Body"}});
  Names catalogue = list.TableFormatNames();
  Host().SetActiveDocument(0);
  User().ExpectAlertOfKind(2, "Please open a document first.");
  Command(6);
  EXPECT_EQ(list.TableFormatNames(), catalogue);
}

TEST_F(ListCommandTest, DeclinedOrUnshownQuestionChangesNothing) {
  OpenListDocument({{"Tags to Keep"}, {"Body"}});
  Document& target = OpenTarget({"Body", "Wide", "Narrow"}, {"Wide"});
  User().ExpectAlertOfKind(1, kKeepQuestion, 1);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body", "Wide", "Narrow"}));

  // An alert the host failed to show is no consent.
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body", "Wide", "Narrow"}));
}

TEST_F(ListCommandTest, ListShortenedByAFailedRowLinkIsNotActedOn) {
  // Without the check the walk would end after the heading row and every
  // format but "Tags to Keep" would be deleted.
  OpenListDocument({{"Tags to Keep"}, {"Body"}, {"Wide"}});
  Document& target = OpenTarget({"Body", "Wide", "Narrow"}, {"Wide"});
  Host().InjectFailure(FailureRule::ForProperty("GetIdProp", 1245));
  User().ExpectAlertOfKind(3, kKeepUnreadable);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body", "Wide", "Narrow"}));
}

TEST_F(ListCommandTest, ListTextThatFailsToReadIsNotTakenForEmpty) {
  // The searches read two first cells; every later text read fails.
  OpenListDocument({{"Tags to Keep"}, {"Body"}, {"Wide"}});
  Document& target = OpenTarget({"Body", "Wide", "Narrow"}, {});
  FailureRule rule = FailureRule::Every("GetText");
  rule.skip = 2;
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(3, kKeepUnreadable);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Body", "Wide", "Narrow"}));
}

TEST_F(ListCommandTest, FormatWhoseNameFailsToReadIsKept) {
  OpenListDocument({{"Tags to Keep"}, {"Body"}});
  Document& target = OpenTarget({"Wide", "Narrow", "Body", "Ruled"}, {});
  FailureRule rule = FailureRule::ForProperty("GetStringProp", 1275);
  rule.skip = 1;  // the second format's name
  rule.times = 1;
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(6);
  EXPECT_EQ(target.TableFormatNames(), (Names{"Narrow", "Body"}));
}

// ---- Remove Non-list Table Tags, book ------------------------------------------------------------

TEST_F(ListCommandTest, BookKeepsListedFormatsInEveryDocumentAfterConsent) {
  StoreTagDocument("C:\\Books\\a.fm", {"Body", "Wide"}, {"Wide"});
  StoreTagDocument("C:\\Books\\b.fm", {"Narrow", "Body"}, {});
  Book& book = MakeBook({"C:\\Books\\a.fm", "C:\\Books\\b.fm"});
  OpenListDocument({{"Tags to Keep"}, {"Body"}});
  User().ExpectAlertOfKind(1, kKeepQuestion, 1);
  Command(15);
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(15);
  EXPECT_TRUE(Store().SavedPaths().empty());
  Host().ClearFailures();
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(15);
  EXPECT_EQ(StoredCatalogue("C:\\Books\\a.fm"), (Names{"Body"}));
  EXPECT_EQ(StoredCatalogue("C:\\Books\\b.fm"), (Names{"Body"}));
  EXPECT_EQ(book.StatusLine(), "");
}

TEST_F(ListCommandTest, ListDocumentInTheBookIsLeftAloneAndTheRestUseTheList) {
  // The list document is the book's first component and open; the walk
  // reaches it first. It keeps every format (its own table uses "Format A"),
  // stays open and readable, and the later document still gets the list.
  const std::string listPath = "C:\\Books\\list.fm";
  std::unique_ptr<Document> list = MakeListDocument(listPath, {{"Tags to Keep"}, {"Body"}});
  Store().Put(listPath, *list);
  Document& listDocument = Host().AdoptDocument(std::move(list));
  Names listCatalogue = listDocument.TableFormatNames();
  StoreTagDocument("C:\\Books\\b.fm", {"Wide", "Body"}, {});
  MakeBook({listPath, "C:\\Books\\b.fm"});
  User().ExpectAlertOfKind(1, kKeepQuestion, 0);
  Command(15);
  EXPECT_EQ(StoredCatalogue("C:\\Books\\b.fm"), (Names{"Body"}));
  ASSERT_TRUE(Host().IsOpen(listDocument.Id()));
  EXPECT_EQ(listDocument.TableFormatNames(), listCatalogue);
  EXPECT_EQ(listDocument.CellText(listDocument.CellAt(listDocument.TablesInOrder().at(0), 1, 0)), "Body");
}

TEST_F(ListCommandTest, BookListUnreadableStopsBeforeTheWalk) {
  StoreTagDocument("C:\\Books\\a.fm", {"Body", "Wide"}, {});
  Book& book = MakeBook({"C:\\Books\\a.fm"});
  OpenListDocument({{"Tags to Keep"}, {"Body"}});
  Host().InjectFailure(FailureRule::ForProperty("GetIdProp", 1245));
  User().ExpectAlertOfKind(3, kKeepUnreadable);
  Command(15);
  EXPECT_TRUE(book.StatusHistory().empty());
  EXPECT_TRUE(Store().SavedPaths().empty());
}

// ---- Convert Tables, document ----------------------------------------------------------------

TEST_F(ListCommandTest, ConvertsByTheFirstRowForEachSource) {
  // Two rows for X: only the first counts. W's first row has an empty
  // destination: W tables stay, the later W row is not consulted. The
  // heading row converts a table tagged "Source Tag".
  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}, {"X", "Z"}, {"W", ""}, {"W", "Y"}});
  Document& target = OpenTarget({"X", "Y", "Z", "W", "Destination Tag", "Source Tag"},
                                {"X", "W", "Source Tag", "V", "X"});
  SetFormatNumber(target, "Y", kIndentLeft, PropertyValue::OfMetric(3 * 65536));
  SetFormatNumber(target, "Y", kAlignment, PropertyValue::Int(2));
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  EXPECT_EQ(Tags(target), (Names{"Y", "W", "Destination Tag", "V", "Y"}));
  EXPECT_EQ(TableNumber(target, 0, kIndentLeft), 3 * 65536);
  EXPECT_EQ(TableNumber(target, 0, kAlignment), 2);
  EXPECT_EQ(TableNumber(target, 4, kIndentLeft), 3 * 65536);
  EXPECT_EQ(TableNumber(target, 1, kIndentLeft), 0);
}

// A cell the user emptied of its paragraph reads as empty text, as an empty
// paragraph does, not as an unreadable list.
TEST_F(ListCommandTest, ACellWithoutAParagraphReadsAsEmpty) {
  Document& list = OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}, {"W", "Y"}});
  ObjectId table = list.TablesInOrder().front();
  list.FindCell(list.CellAt(table, 2, 1))->paragraphs.clear();  // W's destination
  Document& target = OpenTarget({"X", "Y", "W"}, {"X", "W"});
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  EXPECT_EQ(Tags(target), (Names{"Y", "W"}));
}

TEST_F(ListCommandTest, ConversionKeepsCellsAndRestoresTheBulkEditFlag) {
  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}});
  Document& target = OpenTarget({"X", "Y"}, {"X"});
  target.bulkEdit = 7;
  SetFormatNumber(target, "Y", kColumnRuling, PropertyValue::Id(target.RulingId("Double")));
  Table* table = target.FindTable(target.TablesInOrder().at(0));
  ObjectId cell = target.CellAt(table->id, 0, 0);
  target.FindCell(cell)->overrides[4] = 1;
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  EXPECT_EQ(table->tag, "Y");
  EXPECT_EQ(static_cast<ObjectId>(table->properties.at(kColumnRuling).number), target.RulingId("Double"));
  EXPECT_EQ(target.FindCell(cell)->overrides[4], 1);
  EXPECT_EQ(target.bulkEdit, 7);
  std::vector<std::string> bulkSets;
  for (const std::string& call : Host().CallsOf("SetIntProp")) {
    if (call.find(", 155, ") != std::string::npos) bulkSets.push_back(call);
  }
  ASSERT_EQ(bulkSets.size(), 2u);
  EXPECT_NE(bulkSets[0].find(", 155, 1)"), std::string::npos) << bulkSets[0];
  EXPECT_NE(bulkSets[1].find(", 155, 7)"), std::string::npos) << bulkSets[1];
}

TEST_F(ListCommandTest, ConversionCopiesTheFormatInItsOrderTitleIncluded) {
  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}});
  Document& target = OpenTarget({"X", "Y"}, {"X"});
  target.FindTableFormat("Y")->properties[20] = PropertyValue::String("Heading2");
  ObjectId table = target.TablesInOrder().at(0);
  Host().ClearRecords();
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  // The codes the table is given, in order; the title's format comes between
  // step 15 (1288) and step 17 (1310).
  std::string tableId = gw::substitute::FormatId(table);
  std::vector<int32_t> codes;
  size_t titleAt = 0;
  for (const std::string& call : Host().CallTrace()) {
    if (call.rfind("SetProps(", 0) == 0 && titleAt == 0) titleAt = codes.size();
    if (call.rfind("Set", 0) != 0 || call.find(tableId + ", ") == std::string::npos) continue;
    if (call.rfind("SetIntProp", 0) == 0 && call.find(", 155, ") != std::string::npos) continue;
    size_t at = call.find(tableId + ", ") + tableId.size() + 2;
    codes.push_back(std::stoi(call.substr(at)));
  }
  std::vector<int32_t> expected = {1291, 1282, 1316, 1317, 1318, 1315, 1278, 1279, 1283, 1280, 1281, 1290, 1289,
                                   1275, 1288, 1310, 1306, 1309, 1312, 1311, 1307, 1313, 1314, 1308, 1305, 1294,
                                   1293, 1295, 1299, 1304, 1297, 1298, 1301, 1302, 1303, 1300, 1296};
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(titleAt, 15u);
  const Table* converted = target.FindTable(table);
  ASSERT_FALSE(converted->titleParagraphs.empty());
  EXPECT_EQ(target.FindParagraph(converted->titleParagraphs.front())->formatName, "Heading2");
}

TEST_F(ListCommandTest, ConversionNotFoundDeclinedOrUnreadableChangesNothing) {
  Document& target = OpenTarget({"X", "Y"}, {"X"});
  User().ExpectAlertOfKind(3, kConvertNotFound);
  Command(2);

  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}});
  Host().SetActiveDocument(target.Id());
  User().ExpectAlertOfKind(1, kConvertQuestion, 1);
  Command(2);
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(2);
  Host().ClearFailures();
  Host().InjectFailure(FailureRule::ForProperty("GetIdProp", 1202));
  User().ExpectAlertOfKind(3, kConvertUnreadable);
  Command(2);
  EXPECT_EQ(Tags(target), (Names{"X"}));
}

TEST_F(ListCommandTest, TableWhoseTagFailsToReadIsNotConverted) {
  // The first table's tag fails to read: it must not match the empty
  // source of the second row. The second table converts as listed.
  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}, {"", "Y"}});
  Document& target = OpenTarget({"X", "Y"}, {"X", "X"});
  FailureRule rule = FailureRule::ForProperty("GetStringProp", 1275);
  rule.times = 1;
  Host().InjectFailure(rule);
  User().ExpectAlertOfKind(1, kConvertQuestion, 0);
  Command(2);
  EXPECT_EQ(Tags(target), (Names{"X", "Y"}));
}

// ---- Convert Tables, book -------------------------------------------------------------------------

TEST_F(ListCommandTest, BookConvertsEveryDocumentAfterItsOwnQuestion) {
  StoreTagDocument("C:\\Books\\a.fm", {"X", "Y"}, {"X", "Y"});
  StoreTagDocument("C:\\Books\\b.fm", {"X"}, {"X"});  // no Y: left as it is
  Book& book = MakeBook({"C:\\Books\\a.fm", "C:\\Books\\b.fm"});
  OpenListDocument({{"Source Tag", "Destination Tag"}, {"X", "Y"}});
  User().ExpectAlertOfKind(1, kConvertBookQuestion, 1);
  Command(17);
  EXPECT_TRUE(Store().SavedPaths().empty());
  User().ExpectAlertOfKind(1, kConvertBookQuestion, 0);
  Command(17);
  EXPECT_EQ(Tags(*Store().Peek("C:\\Books\\a.fm")), (Names{"Y", "Y"}));
  EXPECT_EQ(Tags(*Store().Peek("C:\\Books\\b.fm")), (Names{"X"}));
  EXPECT_EQ(book.StatusLine(), "");
}

}  // namespace
