// The document model and the file store on their own: copies with fresh ids,
// text insertion around table anchors, and host path matching.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "substitute/document_model.h"
#include "substitute/file_store.h"

namespace gw::substitute {
namespace {

TEST(DocumentModel, CloneKeepsContentUnderFreshIds) {
  auto doc = Document::NewStandard("C:\\a.fm");
  Paragraph& p = doc->LastParagraph();
  doc->SetParagraphText(p.id, "text");
  Table* table = doc->AddTable("Format B", 2, 1, 1, 0, {p.id, 4});
  ASSERT_NE(table, nullptr);
  doc->SetCellText(doc->CellAt(table->id, 1, 1), "cell");
  doc->FindCell(doc->CellAt(table->id, 1, 0))->overrides[4] = 1;

  auto copy = doc->Clone();
  EXPECT_NE(copy->Id(), doc->Id());
  std::vector<ObjectId> tables = copy->TablesInOrder();
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_NE(tables[0], table->id);
  const Table& copied = *copy->FindTable(tables[0]);
  EXPECT_EQ(copied.tag, "Format B");
  EXPECT_EQ(copy->CellText(copy->CellAt(copied.id, 1, 1)), "cell");
  EXPECT_EQ(copy->FindCell(copy->CellAt(copied.id, 1, 0))->overrides[4], 1);
  // Links point into the copy: the anchor, and the ruling ids of properties.
  EXPECT_EQ(copy->FindParagraph(copied.anchor.object)->text, "text");
  ObjectId ruling = static_cast<ObjectId>(copied.properties.at(1311).number);
  EXPECT_EQ(copy->FindNamed(ruling)->name, "Double");
  EXPECT_EQ(copy->TableFormatNames(), doc->TableFormatNames());
}

TEST(DocumentModel, EachKindCountsItsOwnSerials) {
  // Millions of paragraphs in a long session must not use up the 24-bit
  // serials of tables or documents.
  ObjectId table = NewObjectId(ObjectKind::kTable);
  for (int i = 0; i < 1000; ++i) (void)NewObjectId(ObjectKind::kParagraph);
  EXPECT_EQ(NewObjectId(ObjectKind::kTable), table + 1);
  EXPECT_EQ(KindOf(table), ObjectKind::kTable);
  // Threads take serials in batches: ids made side by side never collide.
  std::vector<ObjectId> made[2];
  std::thread other([&] {
    for (int i = 0; i < 3000; ++i) made[1].push_back(NewObjectId(ObjectKind::kCell));
  });
  for (int i = 0; i < 3000; ++i) made[0].push_back(NewObjectId(ObjectKind::kCell));
  other.join();
  std::set<ObjectId> distinct(made[0].begin(), made[0].end());
  distinct.insert(made[1].begin(), made[1].end());
  EXPECT_EQ(distinct.size(), 6000u);
}

TEST(DocumentModel, LineFeedsMoveLaterAnchorsIntoTheNewParagraph) {
  auto doc = Document::NewStandard();
  Paragraph& p = doc->LastParagraph();
  doc->SetParagraphText(p.id, "abcdef");
  Table* early = doc->AddTable("Format A", 1, 1, 0, 0, {p.id, 1});
  Table* late = doc->AddTable("Format A", 1, 1, 0, 0, {p.id, 5});
  std::optional<TextLoc> end = doc->InsertText({p.id, 3}, "X\nY");
  ASSERT_TRUE(end);
  std::vector<ObjectId> paragraphs = doc->MainFlowParagraphs();
  ASSERT_EQ(paragraphs.size(), 2u);
  EXPECT_EQ(doc->FindParagraph(paragraphs[0])->text, "abcX");
  EXPECT_EQ(doc->FindParagraph(paragraphs[1])->text, "Ydef");
  EXPECT_EQ(early->anchor.object, paragraphs[0]);
  EXPECT_EQ(early->anchor.offset, 1);
  EXPECT_EQ(late->anchor.object, paragraphs[1]);
  EXPECT_EQ(late->anchor.offset, 3);
  EXPECT_EQ(end->object, paragraphs[1]);
  EXPECT_EQ(end->offset, 1);
  EXPECT_FALSE(doc->InsertText({late->id, 0}, "x"));
}

TEST(DocumentModel, CataloguesFindNamesThroughAnIndex) {
  auto doc = Document::NewStandard();
  for (int i = 0; i < 10000; ++i) doc->AddTableFormat("F" + std::to_string(i));
  const uint64_t before = doc->Work().catalogueComparisons;
  for (int i = 0; i < 10000; i += 7) ASSERT_NE(doc->FindTableFormat("F" + std::to_string(i)), nullptr);
  EXPECT_EQ(doc->FindTableFormat("F10000"), nullptr);
  EXPECT_EQ(doc->ColourId("No such colour"), 0u);
  EXPECT_LE(doc->Work().catalogueComparisons - before, 10000u / 7 + 1) << "a lookup touches one entry";

  // Renamed and deleted formats are found by their new names only.
  ObjectId renamed = doc->FindTableFormat("F1")->id;
  ASSERT_TRUE(doc->RenameTableFormat(renamed, "Renamed"));
  EXPECT_EQ(doc->FindTableFormat("F1"), nullptr);
  EXPECT_EQ(doc->FindTableFormat("Renamed")->id, renamed);
  ASSERT_TRUE(doc->DeleteTableFormat(doc->FindTableFormat("F2")->id));
  EXPECT_EQ(doc->FindTableFormat("F2"), nullptr);
  TableFormat& again = doc->AddTableFormat("F2");
  EXPECT_EQ(doc->FindTableFormat("F2"), &again);
  // The catalogue's chain follows the deletion and the addition.
  EXPECT_EQ(doc->NextTableFormat(doc->FindTableFormat("F0")->id), renamed);
  EXPECT_EQ(doc->NextTableFormat(renamed), doc->FindTableFormat("F3")->id);
  EXPECT_EQ(doc->NextTableFormat(doc->FindTableFormat("F9999")->id), again.id);
  EXPECT_EQ(doc->NextTableFormat(again.id), 0u);

  // Of two colours with one name, the first in the catalogue answers; a copy
  // answers with its own ids.
  ObjectId red = doc->AddColour("Dup").id;
  doc->AddColour("Dup");
  EXPECT_EQ(doc->ColourId("Dup"), red);
  auto copy = doc->Clone();
  EXPECT_EQ(copy->FindNamed(copy->ColourId("Dup"))->name, "Dup");
  EXPECT_NE(copy->ColourId("Dup"), red);
  EXPECT_EQ(copy->FindTableFormat("Renamed")->name, "Renamed");
  EXPECT_NE(copy->RulingId("Double"), 0u);
}

TEST(DocumentModel, TitleFollowsTitlePositionAndDeleteTableRemovesAll) {
  auto doc = Document::NewStandard();
  Table* table = doc->AddTable("Format A", 1, 2, 1, 1, {doc->LastParagraph().id, 0});
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->titleParagraphs.size(), 1u);
  ObjectId title = table->titleParagraphs[0];
  EXPECT_EQ(doc->TableOfParagraph(title), table->id);
  SetFormatLevelProperty(table->properties, kPropTitlePosition, PropertyValue::Int(0));
  doc->UpdateTitle(*table);
  EXPECT_TRUE(table->titleParagraphs.empty());
  EXPECT_EQ(doc->FindParagraph(title), nullptr);
  ObjectId row = table->rows[1];
  ObjectId id = table->id;
  EXPECT_TRUE(doc->DeleteTable(id));
  EXPECT_EQ(doc->FindRow(row), nullptr);
  EXPECT_TRUE(doc->TablesInOrder().empty());
  EXPECT_FALSE(doc->DeleteTable(id));
}

TEST(DocumentModel, CellMarginsKeepTheirTwoCodesEqual) {
  PropertyBag bag;
  SetFormatLevelProperty(bag, 1317, PropertyValue::OfMetric(5));
  EXPECT_EQ(bag.at(583).number, 5);
  SetFormatLevelProperty(bag, 581, PropertyValue::OfMetric(7));
  EXPECT_EQ(bag.at(1315).number, 7);
}

// Paragraphs of a format share one property list; a change to one paragraph
// or to the format reaches no other paragraph, in the document or its clone.
TEST(DocumentModel, ParagraphPropertiesAreCopiesEvenWhenShared) {
  auto doc = Document::NewStandard();
  ObjectId frame = doc->FindParagraph(doc->LastParagraph().id)->container;
  ParagraphFormat& body = *doc->FindParagraphFormat("Body");
  const ListProperties original = body.properties;
  Paragraph& a = doc->AppendParagraph(frame, "a", "Body");
  Paragraph& b = doc->AppendParagraph(frame, "b", "Body");
  EXPECT_TRUE(a.formatProperties.SharesWith(b.formatProperties));
  EXPECT_EQ(a.formatProperties, original);

  a.formatProperties.Edit()[1].value.number = 99;
  EXPECT_EQ(a.formatProperties.Get()[1].value.number, 99);
  EXPECT_EQ(b.formatProperties, original);
  EXPECT_EQ(body.properties, original);

  // The format changed in place: later paragraphs see it, earlier ones keep theirs.
  body.properties[1].value.number = 7;
  Paragraph& c = doc->AppendParagraph(frame, "c", "Body");
  EXPECT_EQ(c.formatProperties.Get()[1].value.number, 7);
  EXPECT_EQ(b.formatProperties, original);
  doc->ApplyParagraphFormat(b.id, body);
  EXPECT_TRUE(b.formatProperties.SharesWith(c.formatProperties));

  auto copy = doc->Clone();
  const Paragraph& copiedB = *copy->FindParagraph(copy->MainFlowParagraphs().at(2));
  const Paragraph& copiedC = *copy->FindParagraph(copy->MainFlowParagraphs().at(3));
  EXPECT_EQ(copiedC.text, "c");
  EXPECT_EQ(copiedC.formatProperties.Get()[1].value.number, 7);
  EXPECT_TRUE(copiedB.formatProperties.SharesWith(copiedC.formatProperties));
  EXPECT_FALSE(copiedC.formatProperties.SharesWith(c.formatProperties));
  EXPECT_EQ(copy->FindParagraph(copy->MainFlowParagraphs().at(1))->formatProperties.Get()[1].value.number, 99);
  EXPECT_EQ(copy->FindParagraphFormat("Body")->id, copy->ParagraphFormatOrder().front());
}

TEST(MemoryFileStore, PathsMatchWithoutCaseOrSlashDirection) {
  EXPECT_EQ(NormalizeHostPath("C:/Books/A.fm"), NormalizeHostPath("c:\\books\\a.FM"));
  EXPECT_EQ(NormalizeHostPath("C:\\Gridwright\\\\KVOutput.fm"), NormalizeHostPath("C:\\Gridwright\\KVOutput.fm"));
  EXPECT_EQ(NormalizeHostPath("\\\\server\\share"), "\\\\server\\share");
  MemoryFileStore store;
  store.Put("C:\\Books\\A.fm", *Document::NewStandard());
  EXPECT_TRUE(store.Exists("c:/books/a.fm"));
  LoadResult first = store.Load("c:/books/a.fm");
  LoadResult second = store.Load("C:\\Books\\A.fm");
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Document>>(first));
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<Document>>(second));
  // Each load is a fresh document named as asked.
  const auto& a = std::get<std::unique_ptr<Document>>(first);
  const auto& b = std::get<std::unique_ptr<Document>>(second);
  EXPECT_NE(a->Id(), b->Id());
  EXPECT_EQ(a->fileName, "c:/books/a.fm");
  LoadResult missing = store.Load("C:\\nothing.fm");
  ASSERT_TRUE(std::holds_alternative<StoreError>(missing));
  EXPECT_EQ(std::get<StoreError>(missing).kind, StoreError::Kind::kNotFound);
  EXPECT_EQ(std::get<StoreError>(missing).message, "load C:\\nothing.fm: no such file");
}

}  // namespace
}  // namespace gw::substitute
