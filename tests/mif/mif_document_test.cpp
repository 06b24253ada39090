#include "mif/mif_document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mif/mif_reader.h"
#include "substitute/host_codes.h"

namespace gw::mif {
namespace {

namespace sub = gw::substitute;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Chapter() { return ReadText(std::string(GW_MIF_TEST_DATA) + "/chapter.mif"); }

BoundDocument MustRead(const std::string& text, const std::string& name = "chapter.mif") {
  Result<Document> tree = Parse(text, name);
  EXPECT_TRUE(tree.IsOk()) << (tree ? "" : tree.ErrorMessage());
  if (!tree) std::abort();
  Result<BoundDocument> bound = ReadDocument(std::move(tree).Value(), "G:\\" + name);
  EXPECT_TRUE(bound.IsOk()) << (bound ? "" : bound.ErrorMessage());
  if (!bound) std::abort();
  return std::move(bound).Value();
}

std::string Save(BoundDocument& bound) {
  Result<ChangeRecord> record = UpdateTree(*bound.binding, *bound.document);
  EXPECT_TRUE(record.IsOk()) << record.ErrorMessage();
  return WriteBoundDocument(*bound.binding);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

const sub::Table& TableTagged(const sub::Document& doc, const std::string& tag) {
  for (ObjectId id : doc.TablesInOrder()) {
    if (doc.FindTable(id)->tag == tag) return *doc.FindTable(id);
  }
  ADD_FAILURE() << "no table " << tag;
  std::abort();
}

std::vector<std::string> RowTexts(const sub::Document& doc, const sub::Table& table) {
  std::vector<std::string> texts;
  for (ObjectId row : table.rows) {
    std::string line = std::to_string(doc.FindRow(row)->kind) + ":";
    for (ObjectId cell : doc.FindRow(row)->cells) line += doc.CellText(cell) + "|";
    texts.push_back(line);
  }
  return texts;
}

int32_t Prop(const sub::PropertyBag& bag, int32_t code) { return bag.at(code).number; }

// A bag with ids replaced by the names of their objects, to compare documents.
std::map<int32_t, std::string> Described(const sub::Document& doc, const sub::PropertyBag& bag) {
  std::map<int32_t, std::string> described;
  for (const auto& [code, value] : bag) {
    if (value.kind == sub::ValueKind::kId) {
      const sub::NamedObject* named = doc.FindNamed(static_cast<ObjectId>(value.number));
      described[code] = named != nullptr ? named->name : "";
    } else if (value.kind == sub::ValueKind::kString) {
      described[code] = value.text;
    } else {
      described[code] = std::to_string(value.number);
    }
  }
  return described;
}

TEST(MifDocumentRead, CataloguesAndFormatProperties) {
  BoundDocument bound = MustRead(Chapter());
  sub::Document& doc = *bound.document;
  EXPECT_EQ(doc.fileName, "G:\\chapter.mif");
  EXPECT_EQ(doc.TableFormatNames(), (std::vector<std::string>{"Format A", "Unused", "Fancy"}));
  EXPECT_NE(doc.ColourId("Teal"), 0u);
  EXPECT_NE(doc.ColourId("Magenta"), 0u) << "reserved colours always exist";
  EXPECT_EQ(doc.displayUnit, 65536);

  const sub::PropertyBag& a = doc.FindTableFormat("Format A")->properties;
  EXPECT_EQ(Prop(a, 1280), 6 * 65536);
  EXPECT_EQ(Prop(a, 1289), 1);
  EXPECT_EQ(a.at(20).text, "TableTitle");
  EXPECT_EQ(Prop(a, 1294), 4);
  EXPECT_EQ(Prop(a, 1311), static_cast<int32_t>(doc.RulingId("Medium")));
  EXPECT_EQ(Prop(a, 1313), static_cast<int32_t>(doc.RulingId("Thin")));
  // TblCellMargins: left, top, right, bottom.
  EXPECT_EQ(Prop(a, 1317), 6 * 65536);
  EXPECT_EQ(Prop(a, 1315), 4 * 65536);
  EXPECT_EQ(Prop(a, 1316), 2 * 65536);
  EXPECT_EQ(Prop(a, 581), 4 * 65536);

  const sub::PropertyBag& fancy = doc.FindTableFormat("Fancy")->properties;
  EXPECT_EQ(Prop(fancy, 1282), 2);
  EXPECT_EQ(Prop(fancy, 1283), 2);
  EXPECT_EQ(Prop(fancy, 1288), 1);
  EXPECT_EQ(Prop(fancy, 1289), 0);
  EXPECT_EQ(Prop(fancy, 1295), 1);
  EXPECT_EQ(Prop(fancy, 1296), 4);
  EXPECT_EQ(Prop(fancy, 1297), static_cast<int32_t>(doc.ColourId("Teal")));
  EXPECT_EQ(Prop(fancy, 1309), static_cast<int32_t>(doc.RulingId("Double")));
  EXPECT_EQ(Prop(fancy, 1317), 36 * 65536) << "0.5 inch";
  EXPECT_NEAR(Prop(fancy, 1318), 3 * 72.0 / 25.4 * 65536, 1.0) << "3 mm";

  const sub::ParagraphFormat* cellHeading = doc.FindParagraphFormat("CellHeading");
  ASSERT_NE(cellHeading, nullptr);
  for (const sub::ListEntry& entry : cellHeading->properties) {
    if (entry.code == 1408) {
      EXPECT_EQ(entry.value.number, 1);
    }
  }
}

TEST(MifDocumentRead, TablesRowsCellsAndOverrides) {
  BoundDocument bound = MustRead(Chapter());
  sub::Document& doc = *bound.document;
  const sub::Table& prices = TableTagged(doc, "Format A");
  EXPECT_EQ(prices.columnWidths, (std::vector<Metric>{144 * 65536, 180 * 65536}));
  EXPECT_EQ(Prop(prices.properties, 1280), 8 * 65536) << "the table's own format wins";
  EXPECT_EQ(Prop(prices.properties, 1281), 6 * 65536) << "the rest comes from its catalogue format";
  EXPECT_EQ(RowTexts(doc, prices),
            (std::vector<std::string>{"0:Coffee|Price|", "1:Brazil\tSantos|$4.55|", "1:Celebes|$9.24|"}));
  ASSERT_EQ(prices.titleParagraphs.size(), 1u);
  EXPECT_EQ(doc.FindParagraph(prices.titleParagraphs[0])->text, "Prices");

  const auto flags = [&](size_t row, size_t column) {
    const sub::Cell* cell = doc.FindCell(doc.CellAt(prices.id, row, column));
    return std::vector<int32_t>(std::begin(cell->overrides), std::end(cell->overrides));
  };
  EXPECT_EQ(flags(0, 0), (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(flags(1, 1), (std::vector<int32_t>{1, 1, 0, 0, 0, 0})) << "CellFill, CellColor";
  EXPECT_EQ(flags(2, 0), (std::vector<int32_t>{0, 0, 0, 0, 1, 0})) << "CellLRuling";

  const sub::Table& ghost = TableTagged(doc, "Ghost");
  EXPECT_EQ(doc.FindTableFormat("Ghost"), nullptr) << "a tag without a format makes no format";
  EXPECT_EQ(Prop(ghost.properties, 1282), 0);
  EXPECT_TRUE(ghost.titleParagraphs.empty() == (Prop(ghost.properties, 1289) == 0));
}

TEST(MifDocumentRead, AnchorsPagesAndFlowsGiveDocumentOrder) {
  BoundDocument bound = MustRead(Chapter());
  sub::Document& doc = *bound.document;
  std::vector<std::string> order;
  for (ObjectId id : doc.TablesInOrder()) order.push_back(doc.FindTable(id)->tag);
  EXPECT_EQ(order, (std::vector<std::string>{"Fancy", "Format A", "Ghost"}));

  const sub::Flow* main = doc.FindFlow(doc.MainFlow());
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->tag, "A");
  std::vector<std::string> texts;
  for (ObjectId p : doc.MainFlowParagraphs())
    texts.push_back(doc.FindParagraph(p)->formatName + ":" + doc.FindParagraph(p)->text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Body:First paragraph", "Body:Prices:  see above"}));

  const sub::Table& prices = TableTagged(doc, "Format A");
  EXPECT_EQ(prices.anchor.offset, 8);
  const auto pageKind = [&](const sub::Table& table) {
    const sub::Frame* frame = doc.FindFrame(doc.FrameOfParagraph(table.anchor.object));
    if (frame == nullptr) return sub::ObjectKind::kNone;
    ObjectId page = frame->page;
    for (ObjectId parent = frame->parentFrame; parent != 0;) {
      const sub::Frame* outer = doc.FindFrame(parent);
      page = outer->page;
      parent = outer->parentFrame;
    }
    return sub::KindOf(page);
  };
  EXPECT_EQ(pageKind(prices), sub::ObjectKind::kBodyPage);
  EXPECT_EQ(pageKind(TableTagged(doc, "Ghost")), sub::ObjectKind::kReferencePage);
  std::vector<sub::ObjectKind> kinds;
  for (ObjectId page : doc.PageOrder()) kinds.push_back(sub::KindOf(page));
  EXPECT_EQ(kinds, (std::vector<sub::ObjectKind>{sub::ObjectKind::kMasterPage, sub::ObjectKind::kBodyPage,
                                                 sub::ObjectKind::kReferencePage}));
}

TEST(MifDocumentRoundTrip, UnchangedDocumentIsWrittenIdentically) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  EXPECT_EQ(Save(bound), original);
  EXPECT_EQ(Save(bound), original) << "a second save changes nothing either";
}

TEST(MifDocumentRoundTrip, DeletedFormatDisappearsAndNothingElseChanges) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  ASSERT_TRUE(bound.document->DeleteTableFormat(bound.document->FindTableFormat("Unused")->id));
  EXPECT_EQ(Save(bound),
            Replaced(original,
                     "\n <TblFormat <TblTag `Unused'> <TblAlignment Center> <TblSpBefore  12.0 pt>> # never used", ""));
}

TEST(MifDocumentRoundTrip, DeletedFormatTakesItsDuplicateCatalogueEntriesAlong) {
  const std::string duplicate = "\n <TblFormat <TblTag `Unused'> <TblAlignment Right>>";
  const std::string original = Replaced(Chapter(), "# never used", "# never used" + duplicate);
  BoundDocument bound = MustRead(original);
  ASSERT_TRUE(bound.document->DeleteTableFormat(bound.document->FindTableFormat("Unused")->id));
  BoundDocument again = MustRead(Save(bound));
  EXPECT_EQ(again.document->FindTableFormat("Unused"), nullptr);
  EXPECT_NE(again.document->FindTableFormat("Format A"), nullptr);
}

TEST(MifDocumentRoundTrip, ChangedFormatPropertyRewritesThatStatementAndKeepsItsTablesValues) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  sub::TableFormat* fancy = bound.document->FindTableFormat("Fancy");
  fancy->properties[1282] = sub::PropertyValue::Int(1);
  sub::SetFormatLevelProperty(fancy->properties, 1315, sub::PropertyValue::OfMetric(3 * 65536));
  std::string expected = Replaced(original, "<TblAlignment Right>", "<TblAlignment Center>");
  expected =
      Replaced(expected, "<TblCellMargins  0.5\" 2.0 pt 3 mm 2.0 pt>", "<TblCellMargins  0.5\" 3.0 pt 3 mm 2.0 pt>");
  // The Fancy table took those values from its format; it keeps them, stated in its own TblFormat.
  expected = Replaced(expected, "<TblTag `Fancy'>\n  <TblNumColumns 1>",
                      "<TblTag `Fancy'>\n  <TblFormat \n   <TblAlignment Right>\n   <TblCellMargins 36.0 pt 2.0 pt "
                      "8.50393677 pt 2.0 pt>\n  > # end of TblFormat\n  <TblNumColumns 1>");
  std::string saved = Save(bound);
  EXPECT_EQ(saved, expected);
  BoundDocument again = MustRead(saved);
  EXPECT_EQ(Prop(TableTagged(*again.document, "Fancy").properties, 1282), 2);
  EXPECT_EQ(Prop(again.document->FindTableFormat("Fancy")->properties, 1282), 1);
}

TEST(MifDocumentRoundTrip, RetaggedTableGetsItsTagAndEveryProperty) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  sub::Document& doc = *bound.document;
  sub::Table& fancy = const_cast<sub::Table&>(TableTagged(doc, "Fancy"));
  fancy.tag = "Format A";
  fancy.properties = doc.FindTableFormat("Format A")->properties;
  doc.UpdateTitle(fancy);  // Format A puts a title above its tables
  ASSERT_EQ(fancy.titleParagraphs.size(), 1u);
  doc.SetParagraphText(fancy.titleParagraphs[0], "Now with a title");
  const std::string saved = Save(bound);

  const size_t first = original.find(" <Tbl \n  <TblID 1>");
  const size_t second = original.find(" <Tbl \n  <TblID 2>");
  EXPECT_NE(saved.find(original.substr(first, second - first)), std::string::npos) << "table 1 untouched";

  BoundDocument again = MustRead(saved);
  const sub::Table* retagged = nullptr;
  for (ObjectId id : again.document->TablesInOrder()) {
    if (again.document->CellText(again.document->CellAt(id, 0, 0)) == "Source Tag")
      retagged = again.document->FindTable(id);
  }
  ASSERT_NE(retagged, nullptr);
  EXPECT_EQ(retagged->tag, "Format A");
  EXPECT_EQ(retagged->properties, again.document->FindTableFormat("Format A")->properties);
  ASSERT_EQ(retagged->titleParagraphs.size(), 1u);
  EXPECT_EQ(again.document->FindParagraph(retagged->titleParagraphs[0])->text, "Now with a title");
  EXPECT_EQ(Save(again), saved) << "what we write reads back to itself";
}

TEST(MifDocumentRoundTrip, NewHeadingRowGoesIntoTblH) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  sub::Document& doc = *bound.document;
  const sub::Table& fancy = TableTagged(doc, "Fancy");
  const ObjectId tableId = fancy.id;
  // What fixing the heading does: the body row goes, a heading row with its text comes.
  doc.RemoveRow(fancy.rows[0]);
  std::vector<ObjectId> added = doc.InsertRows(tableId, 0, sub::kRowHeading, 1);
  doc.SetCellText(doc.FindRow(added[0])->cells[0], "Source Tag");
  const std::string saved = Save(bound);
  EXPECT_NE(saved.find("<TblH"), saved.rfind("<TblH")) << "both tables now have heading rows";

  BoundDocument again = MustRead(saved);
  const sub::Table* fixed = nullptr;
  for (ObjectId id : again.document->TablesInOrder()) {
    if (again.document->FindTable(id)->tag == "Fancy") fixed = again.document->FindTable(id);
  }
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(RowTexts(*again.document, *fixed), (std::vector<std::string>{"0:Source Tag|"}));
  EXPECT_EQ(
      again.document->FindParagraph(again.document->FindCell(again.document->CellAt(fixed->id, 0, 0))->paragraphs[0])
          ->formatName,
      "CellHeading");
}

TEST(MifDocumentRoundTrip, ClearedOverridesRemoveTheCellStatements) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  sub::Document& doc = *bound.document;
  const sub::Table& prices = TableTagged(doc, "Format A");
  for (ObjectId row : prices.rows) {
    for (ObjectId cell : doc.FindRow(row)->cells)
      std::fill(std::begin(doc.FindCell(cell)->overrides), std::end(doc.FindCell(cell)->overrides), 0);
  }
  std::string expected =
      Replaced(original, "\n     <CellFill 5>\n     <CellColor `Teal'>\n     <CellSeparation 4>", "");
  expected = Replaced(expected, "\n     <CellLRuling `Double'>", "");
  EXPECT_EQ(Save(bound), expected);
}

TEST(MifDocumentRoundTrip, ChangedCellTextAndNewParagraphAndTable) {
  BoundDocument bound = MustRead(Chapter());
  sub::Document& doc = *bound.document;
  const sub::Table& prices = TableTagged(doc, "Format A");
  doc.SetCellText(doc.CellAt(prices.id, 2, 1), "$10.00");
  // A report-style addition at the end of the main flow: a heading and a table.
  sub::Paragraph& last = doc.FindParagraph(doc.MainFlowParagraphs().back()) != nullptr
                             ? *doc.FindParagraph(doc.MainFlowParagraphs().back())
                             : doc.LastParagraph();
  sub::Paragraph& added = doc.AppendParagraph(last.container, "Report", "Body");
  sub::Table* table = doc.AddTable("Unused", 2, 1, 1, 0, TextLoc{added.id, 6});
  ASSERT_NE(table, nullptr);
  doc.SetCellText(doc.CellAt(table->id, 0, 0), "Tag");
  doc.SetCellText(doc.CellAt(table->id, 1, 1), "Caf\x8E");
  const std::string saved = Save(bound);

  BoundDocument again = MustRead(saved);
  sub::Document& reread = *again.document;
  std::vector<std::string> order;
  for (ObjectId id : reread.TablesInOrder()) order.push_back(reread.FindTable(id)->tag);
  EXPECT_EQ(order, (std::vector<std::string>{"Fancy", "Format A", "Unused", "Ghost"}));
  EXPECT_EQ(RowTexts(reread, TableTagged(reread, "Format A")).back(), "1:Celebes|$10.00|");
  EXPECT_EQ(RowTexts(reread, TableTagged(reread, "Unused")), (std::vector<std::string>{"0:Tag||", "1:|Caf\x8E|"}));
  EXPECT_NE(saved.find("`Caf\\x8e '"), std::string::npos) << "MIF 7 writes FrameRoman as escapes";
  const sub::Table& report = TableTagged(reread, "Unused");
  EXPECT_EQ(reread.FindParagraph(report.anchor.object)->text, "Report");
  EXPECT_EQ(report.anchor.offset, 6);
  EXPECT_EQ(Save(again), saved);
}

// Paragraph texts the file holds verbatim are kept as views into its bytes:
// they must outlive the tree they were read with (a save works on a copy), and
// escaped or split texts must not be taken for their raw bytes.
TEST(MifDocumentRoundTrip, BaselineTextsSurviveTheirTreeAndTellEscapesApart) {
  const std::string text = Replaced(Chapter(), "`Celebes'", "`Cele\\>bes'");
  BoundDocument bound = MustRead(text);
  sub::Document& doc = *bound.document;
  DocumentBindingPtr copy = CopyBinding(*bound.binding);
  bound.binding.reset();
  Result<ChangeRecord> unchanged = UpdateTree(*copy, doc);
  ASSERT_TRUE(unchanged.IsOk()) << unchanged.ErrorMessage();
  EXPECT_TRUE(unchanged.Value().empty()) << "nothing changed, escapes and tabs included";
  EXPECT_EQ(WriteBoundDocument(*copy), text);

  const sub::Table& prices = TableTagged(doc, "Format A");
  EXPECT_EQ(RowTexts(doc, prices).back(), "1:Cele>bes|$9.24|");
  doc.SetCellText(doc.CellAt(prices.id, 1, 1), "$4.56");
  Result<ChangeRecord> changed = UpdateTree(*copy, doc);
  ASSERT_TRUE(changed.IsOk()) << changed.ErrorMessage();
  // The changed paragraph's line is rewritten in the host's style.
  EXPECT_EQ(WriteBoundDocument(*copy),
            Replaced(text, "`$4.55'>\n       >", "`$4.56'>\n       > # end of ParaLine"));
}

TEST(MifDocumentRoundTrip, LargestTableIdStillLeavesNewTablesAPositiveId) {
  BoundDocument bound = MustRead(Replaced(Chapter(), "<TblID 3>", "<TblID 9223372036854775807>"));
  sub::Document& doc = *bound.document;
  ASSERT_NE(doc.AddTable("Unused", 1, 1, 0, 0, TextLoc{doc.LastParagraph().id, 0}), nullptr);
  const std::string saved = Save(bound);
  EXPECT_EQ(saved.find("<TblID -"), std::string::npos);
  BoundDocument again = MustRead(saved);
  EXPECT_EQ(again.document->TablesInOrder().size(), 4u);
}

// Tables anchored at one offset stand in the order of their anchors, and a
// paragraph whose anchors only lose a table keeps every other statement.
TEST(MifDocumentRoundTrip, AnchorsAtOneOffsetKeepTheirOrderAndTheirParagraph) {
  const std::string paragraph =
      "<String `Plain '>\n   <Font <FTag `Emphasis'>>\n   <String `emphasised'>\n   <Marker <MText `m'>>\n"
      "   <ATbl 2>\n   <ATbl 1>";
  std::string original = Replaced(Chapter(), "<String `First paragraph'>\n   <ATbl 2>", paragraph);
  original = Replaced(original, "<String `Prices: '>\n   <ATbl 1>\n", "<String `Prices: '>\n");
  BoundDocument bound = MustRead(original);
  std::vector<ObjectId> order = bound.document->TablesInOrder();
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(bound.document->FindTable(order[0])->tag, "Fancy");
  EXPECT_EQ(bound.document->FindTable(order[1])->tag, "Format A");

  ASSERT_TRUE(bound.document->DeleteTableFormat(bound.document->FindTableFormat("Unused")->id));
  const std::string saved = Save(bound);
  EXPECT_NE(saved.find(paragraph), std::string::npos) << saved;

  ASSERT_TRUE(bound.document->DeleteTable(order[0]));
  const std::string without = Save(bound);
  EXPECT_NE(without.find("<Marker <MText `m'>>\n   <ATbl 1>"), std::string::npos) << without;
  EXPECT_EQ(without.find("<ATbl 2>"), std::string::npos);
}

// A table format's title format may be named by a Pgf nested in TblTitlePgf1;
// it is read from there and changed there, never beside a second one.
TEST(MifDocumentRoundTrip, NestedTitleFormatIsReadAndChangedInPlace) {
  const std::string nested = "<TblTitlePgf1 \n   <Pgf <PgfTag `Old Title'>>\n  > # end of TblTitlePgf1";
  const std::string original =
      Replaced(Chapter(), "<TblTitlePgf1 \n   <PgfTag `TableTitle'>\n  > # end of TblTitlePgf1", nested);
  BoundDocument bound = MustRead(original);
  sub::TableFormat* format = bound.document->FindTableFormat("Format A");
  EXPECT_EQ(format->properties.at(20).text, "Old Title");
  sub::Table& prices = const_cast<sub::Table&>(TableTagged(*bound.document, "Format A"));
  EXPECT_EQ(prices.properties.at(20).text, "Old Title");
  format->properties[20] = sub::PropertyValue::String("TableTitle");
  prices.properties[20] = format->properties[20];
  const std::string saved = Save(bound);
  EXPECT_EQ(saved, Replaced(original, "`Old Title'", "`TableTitle'"));
}

// Giving a table its format's values again writes the one statement that
// differed; a table given the tag it has gets no TblTag.
TEST(MifDocumentRoundTrip, RemovedOverrideChangesOnlyItsStatement) {
  const std::string original = Chapter();
  BoundDocument bound = MustRead(original);
  sub::Table& prices = const_cast<sub::Table&>(TableTagged(*bound.document, "Format A"));
  prices.properties = bound.document->FindTableFormat("Format A")->properties;
  prices.tag = "Format A";
  Result<ChangeRecord> record = UpdateTree(*bound.binding, *bound.document);
  ASSERT_TRUE(record.IsOk());
  EXPECT_EQ(WriteBoundDocument(*bound.binding),
            Replaced(original, "<TblFormat \n   <TblSpBefore  8.0 pt>", "<TblFormat \n   <TblSpBefore  6.0 pt>"));
  ASSERT_EQ(record.Value().size(), 1u);
  ASSERT_EQ(record.Value()[0].edits.size(), 1u);
  EXPECT_EQ(record.Value()[0].edits[0].path, "Tbls/Tbl/TblFormat/TblSpBefore");
  ASSERT_EQ(record.Value()[0].properties.size(), 1u);
  EXPECT_EQ(record.Value()[0].properties[0].code, 1280);
}

// The host wraps long strings over lines; they read and write back as they were.
TEST(MifDocumentRoundTrip, StringsWrappedOverLinesReadAndWriteBack) {
  const std::string original =
      Replaced(Chapter(), "<PageAngle 0.0>", "<MathFullForm `=[*sum[char[i],\n    char[n]]]'>\n <PageAngle 0.0>");
  BoundDocument bound = MustRead(original);
  EXPECT_EQ(Save(bound), original);
  Result<Document> tree = Parse("<MIFFile 7.00>\n<String `a long\n  value'>\n", "wrapped.mif");
  ASSERT_TRUE(tree.IsOk()) << tree.ErrorMessage();
  Result<std::string> value = tree.Value().ReadString(tree.Value().FindChild(tree.Value().Root(), "String"));
  ASSERT_TRUE(value.IsOk());
  EXPECT_EQ(value.Value(), "a long  value");
  // A quote missing at a line's end is still found: the next statement cannot be string text.
  Result<Document> broken = Parse("<MIFFile 7.00>\n<String `no end>\n<Next 1>\n", "broken.mif");
  ASSERT_FALSE(broken.IsOk());
  EXPECT_NE(broken.ErrorMessage().find("no closing ' before the end of the line"), std::string::npos);
}

// The edit log names each changed statement once: what is added with a new
// statement or removed with an old one is part of that edit, and a statement
// added and removed again never existed.
TEST(ChangeRecord, EditsCollapseIntoTheStatementsThatChanged) {
  Result<Document> parsed = Parse("<MIFFile 7.00>\n<A \n <B 1>\n <C 2>\n>\n<D 3>\n", "log.mif");
  ASSERT_TRUE(parsed.IsOk());
  Document& tree = parsed.Value();
  const NodeId a = tree.FindChild(tree.Root(), "A");
  ASSERT_TRUE(tree.SetInt(tree.FindChild(a, "B"), 5).IsOk());
  Result<NodeId> added = tree.AppendStatement(a, "E");
  ASSERT_TRUE(added.IsOk());
  ASSERT_TRUE(tree.AppendInt(added.Value(), 7).IsOk());
  Result<NodeId> gone = tree.AppendStatement(a, "F");
  ASSERT_TRUE(gone.IsOk());
  ASSERT_TRUE(tree.Remove(gone.Value()).IsOk());
  ASSERT_TRUE(tree.SetInt(tree.FindChild(tree.Root(), "D"), 4).IsOk());
  ASSERT_TRUE(tree.Remove(tree.FindChild(tree.Root(), "D")).IsOk());
  using Kind = StatementEdit::Kind;
  EXPECT_EQ(CollectEdits(tree, 0), (std::vector<StatementEdit>{
                                       {Kind::kChanged, "A/B", 3}, {Kind::kAdded, "A/E", 0}, {Kind::kRemoved, "D", 6}}));
}

TEST(MifDocumentEncoding, Mif7FrameRomanAndMif2015Utf8) {
  const std::string mif7 = "<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag `Caf\\x8e '>>\n>\n";
  BoundDocument seven = MustRead(mif7);
  EXPECT_EQ(seven.document->TableFormatNames(), (std::vector<std::string>{"Caf\x8E"}));
  EXPECT_EQ(Save(seven), mif7);

  const std::string mif2015 = "<MIFFile 2015>\n<TblCatalog\n <TblFormat <TblTag `Caf\xC3\xA9'>>\n>\n";
  BoundDocument later = MustRead(mif2015);
  EXPECT_EQ(later.document->TableFormatNames(), (std::vector<std::string>{"Caf\x8E"})) << "the model holds FrameRoman";
  EXPECT_EQ(Save(later), mif2015);
  later.document->FindTableFormat("Caf\x8E")->name =
      "\x86"
      "ber";  // Ü in FrameRoman
  EXPECT_EQ(Save(later),
            "<MIFFile 2015>\n<TblCatalog\n <TblFormat <TblTag `\xC3\x9C"
            "ber'>>\n>\n");
}

TEST(MifDocumentEncoding, SpecialCharactersReadAsFrameRomanAndWriteBack) {
  const std::string text =
      "<MIFFile 7.00>\n<TextFlow\n <Para\n  <PgfTag `Body'>\n  <ParaLine\n   <String `9'>\n   <Char EnDash>\n"
      "   <String `5'>\n   <Char HardSpace>\n   <String `h'>\n   <Char Tab>\n  >\n >\n>\n";
  BoundDocument bound = MustRead(text);
  sub::Document& doc = *bound.document;
  ASSERT_EQ(doc.MainFlowParagraphs().size(), 1u);
  sub::Paragraph& paragraph = *doc.FindParagraph(doc.MainFlowParagraphs()[0]);
  EXPECT_EQ(paragraph.text,
            "9\xD0"
            "5\x11h\t");
  paragraph.text += "!";
  EXPECT_EQ(Save(bound),
            "<MIFFile 7.00>\n<TextFlow\n <Para\n  <PgfTag `Body'>\n  <ParaLine \n   <String `9\\xd0 5'>\n"
            "   <Char HardSpace>\n   <String `h'>\n   <Char Tab>\n   <String `!'>\n  > # end of ParaLine\n >\n>\n");
}

TEST(MifDocumentErrors, BadValuesNameFileLineAndStatement) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag `A'>\n  <TblAlignment Sideways>>\n>\n",
       "bad.mif:4:3: <TblAlignment>: unknown value Sideways"},
      {"<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag 12>>\n>\n", "bad.mif:3:13: <TblTag>: expected a string"},
      {"<MIFFile 7.00>\n<Tbls\n <Tbl <TblID 1>>\n <Tbl <TblID 1>>\n>\n", "bad.mif:4:7: <TblID>: TblID 1 used twice"},
      {"<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag `A'> <TblCellMargins 1 pt 2 pt>>\n>\n",
       "bad.mif:3:26: <TblCellMargins>: expected four margins, found 2"},
      {"<Book 7.00>\n", "bad.mif: is a book file, not a document"},
  };
  std::string huge = "<MIFFile 7.00>\n<Tbls\n <Tbl <TblID 1> <TblNumColumns 4000>\n  <TblBody\n";
  for (int row = 0; row < 600; ++row) huge += "   <Row>\n";
  huge += "  >\n >\n>\n";
  const std::string hugeMessage = "bad.mif:3:2: <Tbl>: table too large: 600 rows of 4000 columns";
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({huge.c_str(), hugeMessage.c_str()});
  for (const Case& c : all) {
    SCOPED_TRACE(std::string(c.text).substr(0, 200));
    Result<Document> tree = Parse(c.text, "bad.mif");
    ASSERT_TRUE(tree.IsOk()) << tree.ErrorMessage();
    Result<BoundDocument> bound = ReadDocument(std::move(tree).Value(), "G:\\bad.mif");
    ASSERT_FALSE(bound.IsOk());
    EXPECT_EQ(bound.ErrorMessage().substr(0, std::string(c.message).size()), c.message) << bound.ErrorMessage();
  }
}

TEST(MifDocumentNew, NewDocumentReadsBackWithItsContent) {
  std::unique_ptr<sub::Document> doc = sub::Document::NewStandard("G:\\report.mif");
  sub::Paragraph& first = doc->LastParagraph();
  doc->SetParagraphText(first.id, "Table usage");
  sub::Paragraph& second = doc->AppendParagraph(first.container, "Used tags\tand more", "Heading2");
  sub::Table* table = doc->AddTable("Format B", 2, 2, 1, 0, TextLoc{second.id, 4});
  ASSERT_NE(table, nullptr);
  doc->SetCellText(doc->CellAt(table->id, 0, 0), "Source Tag");
  doc->SetCellText(doc->CellAt(table->id, 2, 1), "Fancy");
  doc->displayUnit = 12 * 65536;  // picas
  const std::string text = WriteNewDocument(*doc);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.rfind("<MIFFile 7.00>", 0), 0u);

  BoundDocument bound = MustRead(text, "report.mif");
  sub::Document& reread = *bound.document;
  EXPECT_EQ(reread.TableFormatNames(), doc->TableFormatNames());
  EXPECT_EQ(Described(reread, reread.FindTableFormat("Format B")->properties),
            Described(*doc, doc->FindTableFormat("Format B")->properties));
  const sub::Table& t = TableTagged(reread, "Format B");
  EXPECT_EQ(RowTexts(reread, t), (std::vector<std::string>{"0:Source Tag||", "1:||", "1:|Fancy|"}));
  EXPECT_EQ(reread.FindParagraph(t.anchor.object)->text, "Used tags\tand more");
  EXPECT_EQ(t.anchor.offset, 4);
  EXPECT_EQ(Prop(t.properties, 1282), 1);
  EXPECT_EQ(reread.FindNamed(static_cast<ObjectId>(Prop(t.properties, 1297)))->name, "Blue");
  EXPECT_EQ(reread.FindNamed(static_cast<ObjectId>(Prop(t.properties, 1311)))->name, "Double");
  EXPECT_EQ(reread.displayUnit, 12 * 65536);
  std::vector<std::string> texts;
  for (ObjectId p : reread.MainFlowParagraphs()) texts.push_back(reread.FindParagraph(p)->text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Table usage", "Used tags\tand more"}));
  EXPECT_EQ(Save(bound), text) << "a new document reads back to itself";
}

}  // namespace
}  // namespace gw::mif
