// Fix Table Headings (command 1): which tables are asked about, the five
// host calls of a fix in their order, the changed table in the host's model,
// and the answers that leave a table alone.
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::Frame;
using gw::substitute::ObjectKind;
using gw::substitute::Row;
using gw::substitute::Table;

constexpr const char* kFixQuestion = "Fix this table heading?";

class FixTableHeadings : public PluginTest {
 protected:
  // A table of `columns` columns anchored in the document's last main-flow
  // paragraph, whose rows hold "r<row>c<column>".
  Table& AddTable(Document& doc, int32_t columns, int32_t bodyRows, int32_t headingRows) {
    return FillTable(doc, *doc.AddTable("Format A", columns, bodyRows, headingRows, 0, {doc.LastParagraph().id, 0}));
  }

  Table& FillTable(Document& doc, Table& table) {
    for (size_t r = 0; r < table.rows.size(); ++r) {
      for (size_t c = 0; c < doc.FindRow(table.rows[r])->cells.size(); ++c) {
        doc.SetCellText(doc.CellAt(table.id, r, c), "r" + std::to_string(r) + "c" + std::to_string(c));
      }
    }
    return table;
  }

  int32_t FirstRowKind(Document& doc, const Table& table) { return doc.FindRow(table.rows.front())->kind; }

  // The calls of the plug-in among those that select, cut, add rows and paste.
  std::vector<std::string> EditingCalls() {
    std::vector<std::string> calls;
    for (const std::string& name : Host().CallNames()) {
      if (name == "SelectTableCells" || name == "Cut" || name == "AddRows" || name == "Paste" || name == "Alert") {
        calls.push_back(name);
      }
    }
    return calls;
  }
};

TEST_F(FixTableHeadings, TurnsABodyFirstRowIntoAHeadingRow) {
  Document& doc = NewDocument();
  Table& table = AddTable(doc, 3, 2, 0);
  ObjectId tableId = table.id;
  User().ExpectAlertOfKind(4, kFixQuestion, 0);
  Command(1);

  EXPECT_EQ(EditingCalls(), (std::vector<std::string>{"SelectTableCells", "Alert", "SelectTableCells", "Cut",
                                                      "AddRows", "SelectTableCells", "Paste"}));
  const std::vector<std::string> selections = Host().CallsOf("SelectTableCells");
  ASSERT_EQ(selections.size(), 3u);
  for (const std::string& selection : selections) {
    EXPECT_NE(selection.find(gw::substitute::FormatId(tableId) + ", 0, 0, 0, 2)"), std::string::npos) << selection;
  }
  ASSERT_EQ(Host().CallsOf("Cut").size(), 1u);
  EXPECT_NE(Host().CallsOf("Cut")[0].find(", 2)"), std::string::npos) << Host().CallsOf("Cut")[0];
  ASSERT_EQ(Host().CallsOf("AddRows").size(), 1u);
  EXPECT_NE(Host().CallsOf("AddRows")[0].find(", 1238, 1)"), std::string::npos) << Host().CallsOf("AddRows")[0];
  ASSERT_EQ(Host().CallsOf("Paste").size(), 1u);
  EXPECT_NE(Host().CallsOf("Paste")[0].find(", 32)"), std::string::npos) << Host().CallsOf("Paste")[0];

  // The former first body row is now a heading row with the same cells.
  const Table* changed = doc.FindTable(tableId);
  ASSERT_NE(changed, nullptr);
  const Row* first = doc.FindRow(changed->rows.front());
  EXPECT_EQ(first->kind, gw::substitute::kRowHeading);
  EXPECT_EQ(doc.CellText(doc.CellAt(tableId, 0, 0)), "r0c0");
  EXPECT_EQ(doc.CellText(doc.CellAt(tableId, 0, 2)), "r0c2");
  // The document was scrolled to the table's first cell.
  ASSERT_FALSE(Host().ScrolledTo().empty());
  EXPECT_NE(Host().ScrolledTo().front().start.object, 0u);
}

TEST_F(FixTableHeadings, AsksAboutEachTableAndChangesOnlyThoseAnsweredYes) {
  Document& doc = NewDocument();
  Table& first = AddTable(doc, 2, 2, 0);
  Table& second = AddTable(doc, 2, 2, 0);
  ObjectId firstId = first.id;
  ObjectId secondId = second.id;
  std::vector<ObjectId> order = doc.TablesInOrder();
  ASSERT_EQ(order.size(), 2u);
  User().ExpectAlertOfKind(4, kFixQuestion, 1).ExpectAlertOfKind(4, kFixQuestion, 0);
  Command(1);
  // The table asked about first (document order) stays; the other changes.
  ObjectId declined = order[0];
  ObjectId fixed = order[1];
  EXPECT_EQ(FirstRowKind(doc, *doc.FindTable(declined)), gw::substitute::kRowBody);
  EXPECT_EQ(FirstRowKind(doc, *doc.FindTable(fixed)), gw::substitute::kRowHeading);
  EXPECT_TRUE((declined == firstId && fixed == secondId) || (declined == secondId && fixed == firstId));
  EXPECT_EQ(Host().CallsOf("Cut").size(), 1u);
}

TEST_F(FixTableHeadings, PassesOverTablesThatNeedNoQuestion) {
  Document& doc = NewDocument();
  Table& headed = AddTable(doc, 2, 2, 1);  // already starts with a heading row
  ObjectId headedId = headed.id;
  Table& empty = AddTable(doc, 2, 1, 0);   // loses its only row below
  doc.RemoveRow(empty.rows.front());
  // A table anchored in a text frame inside a graphic frame on a reference
  // page (kind 7) is left alone.
  ObjectId referencePage = doc.AddPage(ObjectKind::kReferencePage, "Ref").id;
  ObjectId outer = doc.AddGraphicFrame(referencePage).id;
  ObjectId flow = doc.AddFlow("Reference").id;
  ObjectId inner = doc.AddTextFrame(flow, referencePage, outer).id;
  ObjectId anchor = doc.AppendParagraph(inner, "", "Body").id;
  ObjectId onReference = FillTable(doc, *doc.AddTable("Format A", 2, 2, 0, 0, {anchor, 0})).id;

  Command(1);  // no question at all
  EXPECT_TRUE(User().Transcript().empty());
  EXPECT_TRUE(Host().CallsOf("Cut").empty());
  EXPECT_EQ(FirstRowKind(doc, *doc.FindTable(onReference)), gw::substitute::kRowBody);
  EXPECT_EQ(doc.FindTable(headedId)->rows.size(), 3u);
}

TEST_F(FixTableHeadings, AFrameChainWithACycleStillEnds) {
  Document& doc = NewDocument();
  ObjectId page = doc.AddPage(ObjectKind::kReferencePage, "Ref").id;
  Frame& a = doc.AddGraphicFrame(page);
  Frame& b = doc.AddGraphicFrame(page, a.id);
  a.parentFrame = b.id;  // a and b now hold each other
  ObjectId flow = doc.AddFlow("Loop").id;
  ObjectId frame = doc.AddTextFrame(flow, page, b.id).id;
  ObjectId anchor = doc.AppendParagraph(frame, "", "Body").id;
  FillTable(doc, *doc.AddTable("Format A", 2, 2, 0, 0, {anchor, 0}));
  // No page is ever reached, so the table counts as one on an ordinary page.
  User().ExpectAlertOfKind(4, kFixQuestion, 1);
  Command(1);
}

TEST_F(FixTableHeadings, AQuestionTheHostFailedToShowCountsAsNo) {
  Document& doc = NewDocument();
  Table& table = AddTable(doc, 2, 2, 0);
  Host().InjectFailure(FailureRule::Every("Alert"));
  Command(1);
  EXPECT_EQ(FirstRowKind(doc, table), gw::substitute::kRowBody);
  EXPECT_TRUE(Host().CallsOf("Cut").empty());
}

TEST_F(FixTableHeadings, StopsWhenTheRowCannotBeCut) {
  Document& doc = NewDocument();
  Table& table = AddTable(doc, 2, 2, 0);
  ObjectId tableId = table.id;
  size_t rowsBefore = table.rows.size();
  Host().InjectFailure(FailureRule::Every("Cut"));
  User().ExpectAlertOfKind(4, kFixQuestion, 0);
  Command(1);
  // Nothing is added or pasted (the clipboard may hold anything).
  EXPECT_TRUE(Host().CallsOf("AddRows").empty());
  EXPECT_TRUE(Host().CallsOf("Paste").empty());
  EXPECT_EQ(doc.FindTable(tableId)->rows.size(), rowsBefore);
  EXPECT_EQ(doc.CellText(doc.CellAt(tableId, 0, 0)), "r0c0");
  EXPECT_EQ(Host().ConsoleLines().size(), 1u);
}

TEST_F(FixTableHeadings, DoesNotPasteOverABodyRowWhenNoHeadingRowWasAdded) {
  Document& doc = NewDocument();
  Table& table = AddTable(doc, 2, 3, 0);
  ObjectId tableId = table.id;
  Host().InjectFailure(FailureRule::Every("AddRows"));
  User().ExpectAlertOfKind(4, kFixQuestion, 0);
  Command(1);
  EXPECT_TRUE(Host().CallsOf("Paste").empty());
  // The next body row keeps its text; the cut row is on the clipboard and the
  // console says so.
  EXPECT_EQ(doc.CellText(doc.CellAt(tableId, 0, 0)), "r1c0");
  ASSERT_EQ(Host().ConsoleLines().size(), 1u);
  EXPECT_NE(Host().ConsoleLines()[0].find("clipboard"), std::string::npos);
}

// A fix that fails after the cut puts the row back: the table ends as it began.
TEST_F(FixTableHeadings, PutsTheCutRowBackWhenTheFixCannotBeFinished) {
  FailureRule firstRowAfterCut = FailureRule::ForProperty("GetIdProp", 1338);  // the table's first row
  firstRowAfterCut.skip = 1;
  firstRowAfterCut.times = 1;
  for (FailureRule rule : {FailureRule::NthCall("AddRows", 1), FailureRule::NthCall("Paste", 1),
                           FailureRule::NthCall("SelectTableCells", 3), firstRowAfterCut}) {
    SCOPED_TRACE(rule.method);
    Document& doc = NewDocument();
    Table& table = AddTable(doc, 2, 3, 0);
    ObjectId tableId = table.id;
    Host().ClearRecords();
    Host().InjectFailure(rule);
    User().ExpectAlertOfKind(4, kFixQuestion, 0);
    Command(1);
    Host().ClearFailures();
    const Table* after = doc.FindTable(tableId);
    ASSERT_EQ(after->rows.size(), 3u);
    for (size_t r = 0; r < 3; ++r) {
      EXPECT_EQ(doc.FindRow(after->rows[r])->kind, gw::substitute::kRowBody);
      EXPECT_EQ(doc.CellText(doc.CellAt(tableId, r, 1)), "r" + std::to_string(r) + "c1");
    }
    ASSERT_EQ(Host().ConsoleLines().size(), 1u);
    EXPECT_NE(Host().ConsoleLines()[0].find("the row was put back"), std::string::npos) << Host().ConsoleLines()[0];
  }
}

}  // namespace
