// Remove Overrides (8, 18) and Find Next Override (9), driven end to end
// through the substitute host.
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using gw::substitute::Book;
using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::kComponentDocument;
using gw::substitute::PropertyValue;
using gw::substitute::Table;

const char kRemoveQuestion[] = "Are you sure you want to remove table overrides?";
const char kRemoveBookQuestion[] = "Are you sure you want to remove table overrides for all files in the book?";
const char kEndOfDocument[] = "End of document reached.";

const int32_t kIndentLeft = 1278;
const int32_t kColumnRuling = 1309;
const int32_t kFlag1196 = 4;  // index of flag 1196 in Cell::overrides

// Five tables of "Format A" in document order: the first equals its format,
// the second differs in Indents Left by one unit, the third has a cell whose
// flag 1196 is set, the fourth differs only in Column Ruling Style (which the
// comparison leaves out), the fifth bears a tag that names no format.
struct OverrideDocument {
  std::unique_ptr<Document> document;
  std::vector<ObjectId> tables;
};

OverrideDocument MakeOverrideDocument(const std::string& path) {
  OverrideDocument made{Document::NewStandard(path), {}};
  Document& document = *made.document;
  document.InsertText({document.LastParagraph().id, 0}, "one\ntwo\nthree\nfour\nfive\n");
  std::vector<ObjectId> paragraphs = document.MainFlowParagraphs();
  for (size_t i = 0; i < 5; i++) {
    Table* table = document.AddTable("Format A", 2, 2, 1, 0, {paragraphs.at(i), 0});
    made.tables.push_back(table->id);
  }
  const gw::substitute::TableFormat& format = *document.FindTableFormat("Format A");
  Table& second = *document.FindTable(made.tables[1]);
  second.properties[kIndentLeft] = PropertyValue::OfMetric(format.properties.at(kIndentLeft).number + 1);
  document.FindCell(document.CellAt(made.tables[2], 2, 1))->overrides[kFlag1196] = 1;
  document.FindTable(made.tables[3])->properties[kColumnRuling] = PropertyValue::Id(document.RulingId("Double"));
  document.FindTable(made.tables[4])->tag = "Missing";
  return made;
}

class OverridesTest : public PluginTest {
 protected:
  Document& OpenOverrideDocument() {
    OverrideDocument made = MakeOverrideDocument("C:\\Docs\\overrides.fm");
    tables_ = made.tables;
    return Host().AdoptDocument(std::move(made.document));
  }

  // The range that selects the whole first paragraph of a table's first cell.
  static TextRange FirstCellRange(Document& document, ObjectId table) {
    ObjectId paragraph = document.FindCell(document.CellAt(table, 0, 0))->paragraphs.front();
    return {{paragraph, 0}, {paragraph, kTextOffsetEnd}};
  }

  static void ExpectSelected(Document& document, ObjectId table) {
    TextRange expected = FirstCellRange(document, table);
    EXPECT_EQ(document.selection.start.object, expected.start.object);
    EXPECT_EQ(document.selection.start.offset, 0);
    EXPECT_EQ(document.selection.end.object, expected.end.object);
    EXPECT_EQ(document.selection.end.offset, kTextOffsetEnd);
  }

  static Metric TableMetric(Document& document, ObjectId table, int32_t code) {
    return document.FindTable(table)->properties.at(code).number;
  }

  static Metric FormatMetric(Document& document, int32_t code) {
    return document.FindTableFormat("Format A")->properties.at(code).number;
  }

  std::vector<ObjectId> tables_;
};

// ---- Find Next Override ---------------------------------------------------------------------

TEST_F(OverridesTest, StepsThroughOverridingTablesThenReachesTheEnd) {
  Document& document = OpenOverrideDocument();
  // With nothing selected the search starts at the first table, which
  // matches; a one-unit indent difference is found.
  Command(9);
  ExpectSelected(document, tables_[1]);
  ASSERT_FALSE(Host().CommandCodesRun().empty());
  EXPECT_EQ(Host().CommandCodesRun().back(), (std::vector<int32_t>{259}));
  // The next run starts after the selected table: the cell flag is found.
  Command(9);
  ExpectSelected(document, tables_[2]);
  // A Column Ruling Style difference is not an override; a tag without a
  // format is.
  Command(9);
  ExpectSelected(document, tables_[4]);
  TextRange last = document.selection;
  User().ExpectAlertOfKind(2, kEndOfDocument);
  Command(9);
  EXPECT_EQ(document.selection.start.object, last.start.object);
  EXPECT_EQ(Host().CommandCodesRun().size(), 3u);
}

TEST_F(OverridesTest, ComparesItsOwnSetFormatFirstThenEveryCellsFlags) {
  // In the substitute host the margins 581-584 mirror 1315-1318, so only the
  // reads themselves show which codes are compared, and in which order.
  Document& document = NewDocument();
  Table* table = document.AddTable("Format A", 1, 1, 1, 0, {document.LastParagraph().id, 0});
  ObjectId format = document.FindTableFormat("Format A")->id;
  ObjectId firstCell = document.CellAt(table->id, 0, 0);
  Host().ClearRecords();
  User().ExpectAlertOfKind(2, kEndOfDocument);
  Command(9);

  const std::string formatId = gw::substitute::FormatId(format);
  const std::string tableId = gw::substitute::FormatId(table->id);
  const std::string cellId = gw::substitute::FormatId(firstCell);
  std::vector<std::string> reads;
  std::vector<std::string> flagReads;
  for (const std::string& call : Host().CallTrace()) {
    bool property = call.rfind("GetIntProp(", 0) == 0 || call.rfind("GetMetricProp(", 0) == 0 ||
                    call.rfind("GetIdProp(", 0) == 0;
    if (!property) continue;
    std::string object = call.substr(call.find(", ") + 2, 10);
    std::string code = call.substr(call.rfind(", ") + 2);
    code.pop_back();
    if (object == formatId) reads.push_back("format " + code);
    if (object == tableId && code != "1338" && code != "1337") reads.push_back("table " + code);
    if (object == cellId && code != "1202") flagReads.push_back(code);
  }
  std::vector<std::string> expected;
  for (int32_t code : {1291, 1282, 1283, 1289, 1288, 1294, 1293, 1295, 1298, 1301, 1302, 1303, 1300, 1296,
                       582,  583,  584,  581,  1278, 1279, 1280, 1281, 1290,
                       1310, 1306, 1312, 1311, 1307, 1313, 1308, 1305, 1299, 1304, 1297}) {
    expected.push_back("format " + std::to_string(code));
    expected.push_back("table " + std::to_string(code));
  }
  EXPECT_EQ(reads, expected);
  EXPECT_EQ(flagReads, (std::vector<std::string>{"1193", "1190", "1191", "1192", "1196", "1197"}));
}

TEST_F(OverridesTest, DocumentWithoutTablesReachesTheEndAtOnce) {
  NewDocument();
  User().ExpectAlertOfKind(2, kEndOfDocument);
  Command(9);
  EXPECT_TRUE(Host().CommandCodesRun().empty());
}

// ---- Remove Overrides -----------------------------------------------------------------------

TEST_F(OverridesTest, RemovesFormatLevelAndCellOverrides) {
  Document& document = OpenOverrideDocument();
  document.bulkEdit = 3;
  User().ExpectAlertOfKind(1, kRemoveQuestion, 0);
  Command(8);
  EXPECT_EQ(TableMetric(document, tables_[1], kIndentLeft), FormatMetric(document, kIndentLeft));
  EXPECT_EQ(document.FindCell(document.CellAt(tables_[2], 2, 1))->overrides[kFlag1196], 0);
  // Not compared, but copied.
  EXPECT_EQ(TableMetric(document, tables_[3], kColumnRuling), FormatMetric(document, kColumnRuling));
  EXPECT_EQ(document.FindTable(tables_[4])->tag, "Missing");
  EXPECT_EQ(document.bulkEdit, 3);

  // Only the table without a format is still found.
  document.selection = TextRange{};
  document.cellSelection.reset();
  Command(9);
  ExpectSelected(document, tables_[4]);
}

TEST_F(OverridesTest, DeclinedOrUnshownQuestionChangesNothing) {
  Document& document = OpenOverrideDocument();
  Metric indent = TableMetric(document, tables_[1], kIndentLeft);
  User().ExpectAlertOfKind(1, kRemoveQuestion, 1);
  Command(8);
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(8);
  EXPECT_EQ(TableMetric(document, tables_[1], kIndentLeft), indent);
  EXPECT_EQ(document.FindCell(document.CellAt(tables_[2], 2, 1))->overrides[kFlag1196], 1);
}

TEST_F(OverridesTest, BookRemovesOverridesInEveryDocument) {
  std::vector<std::string> paths = {"C:\\Books\\a.fm", "C:\\Books\\b.fm"};
  Book& book = Host().NewBook("C:\\Books\\guide.book");
  for (const std::string& path : paths) {
    Store().Put(path, *MakeOverrideDocument(path).document);
    book.AddComponent(0, kComponentDocument, path);
  }
  User().ExpectAlertOfKind(1, kRemoveBookQuestion, 1);
  Command(18);
  EXPECT_TRUE(Store().SavedPaths().empty());

  User().ExpectAlertOfKind(1, kRemoveBookQuestion, 0);
  Command(18);
  for (const std::string& path : paths) {
    std::unique_ptr<Document> saved = Store().Peek(path);
    std::vector<ObjectId> tables = saved->TablesInOrder();
    ASSERT_EQ(tables.size(), 5u);
    EXPECT_EQ(saved->FindTable(tables[1])->properties.at(kIndentLeft).number,
              saved->FindTableFormat("Format A")->properties.at(kIndentLeft).number);
    EXPECT_EQ(saved->FindCell(saved->CellAt(tables[2], 2, 1))->overrides[kFlag1196], 0);
  }
  EXPECT_EQ(book.StatusHistory(), (std::vector<std::string>{"Processing: a.fm", "Processing: b.fm", ""}));
}

}  // namespace
