// The substitute host's API driven directly, as the plug-in drives it: the
// document model's links, text, tables, files, menus and the clipboard.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "api_helpers.h"

namespace gw::substitute::testing {
namespace {

constexpr Metric kPoint = 65536;

class HostApi : public ApiTest {
 protected:
  ObjectId NewDoc() {
    int32_t status = -1;
    ObjectId doc = 0;
    EXPECT_EQ(api->NewCustomDocument(576 * kPoint, 792 * kPoint, 1, 72 * kPoint, 72 * kPoint, 72 * kPoint, 72 * kPoint,
                                     72 * kPoint, 0, 1, &status, &doc),
              S_OK);
    EXPECT_EQ(status, 0);
    return doc;
  }
  ObjectId LastParagraph(ObjectId doc) {
    ObjectId flow = GetId(0, doc, kPropMainFlow);
    return GetId(doc, GetId(doc, flow, kPropLastTextFrame), kPropLastParagraph);
  }
  ObjectId NewTable(ObjectId doc, TextLoc at, int32_t columns, int32_t body, int32_t heading, const char* format = "Format A") {
    int32_t status = -1;
    ObjectId table = 0;
    EXPECT_EQ(api->NewTable(doc, format, columns, body, heading, 0, &at, &status, &table), S_OK);
    EXPECT_EQ(status, 0);
    return table;
  }
  void WriteCell(ObjectId doc, ObjectId cell, const char* text) {
    AddText(doc, {GetId(doc, cell, kPropFirstParagraph), 0}, text);
  }
  int32_t Select(ObjectId doc, ObjectId table, int32_t top, int32_t bottom) {
    int32_t status = -1;
    int32_t columns = GetInt(doc, table, kPropColumnCount);
    EXPECT_EQ(api->SelectTableCells(doc, table, top, bottom, 0, columns - 1, &status), S_OK);
    return status;
  }
  int32_t Call(HRESULT (STDMETHODCALLTYPE IFrameMakerApi::*method)(ObjectId, int32_t, int32_t*), ObjectId doc,
               int32_t flags) {
    int32_t status = -1;
    EXPECT_EQ((api->*method)(doc, flags, &status), S_OK);
    return status;
  }
};

TEST_F(HostApi, NewDocumentHoldsFormatsFlowFrameAndOneEmptyParagraph) {
  ObjectId doc = NewDoc();
  EXPECT_EQ(KindOf(doc), ObjectKind::kDocument);
  EXPECT_EQ(GetId(0, 0, kPropActiveDocument), doc);
  for (const char* name : {"Body", "Heading1", "Heading2", "CellBody", "CellHeading", "TableTitle"}) {
    EXPECT_NE(Named(doc, kNamedParagraphFormat, name), 0u) << name;
  }
  std::vector<std::string> formats;
  for (ObjectId f = GetId(0, doc, kPropFirstTableFormat); f != 0; f = GetId(doc, f, kPropNextTableFormat)) {
    formats.push_back(GetString(doc, f, kPropTag));
  }
  EXPECT_EQ(formats, (std::vector<std::string>{"Format A", "Format B"}));
  ObjectId paragraph = LastParagraph(doc);
  EXPECT_EQ(KindOf(paragraph), ObjectKind::kParagraph);
  EXPECT_EQ(ParagraphText(doc, paragraph), "");
  ObjectId frame = GetId(doc, paragraph, kPropParagraphFrame);
  EXPECT_EQ(GetId(doc, frame, kPropParentFrame), 0u);
  EXPECT_EQ(KindOf(GetId(doc, frame, kPropFramePage)), ObjectKind::kBodyPage);
  EXPECT_EQ(GetString(0, doc, kPropFileName), "");
  EXPECT_EQ(GetMetric(doc, doc, kPropDisplayUnit), kPoint);
}

TEST_F(HostApi, AddTextLineFeedsEndParagraphsAndCarryTheRest) {
  ObjectId doc = NewDoc();
  ObjectId first = LastParagraph(doc);
  AddText(doc, {first, 0}, "tail");
  TextLoc end = AddText(doc, {first, 0}, "one\ntwo\n");
  std::vector<ObjectId> paragraphs = host.FindDocument(doc)->MainFlowParagraphs();
  ASSERT_EQ(paragraphs.size(), 3u);
  EXPECT_EQ(ParagraphText(doc, paragraphs[0]), "one");
  EXPECT_EQ(ParagraphText(doc, paragraphs[1]), "two");
  EXPECT_EQ(ParagraphText(doc, paragraphs[2]), "tail");
  EXPECT_EQ(end.object, paragraphs[2]);
  EXPECT_EQ(end.offset, 0);
  EXPECT_EQ(LastParagraph(doc), paragraphs[2]);
  // The end offset appends; the result is just past the text.
  TextLoc after = AddText(doc, {paragraphs[1], kTextOffsetEnd}, "!");
  EXPECT_EQ(ParagraphText(doc, paragraphs[1]), "two!");
  EXPECT_EQ(after.offset, 4);
  // New paragraphs keep the format of the one they were split from.
  EXPECT_EQ(GetString(doc, paragraphs[1], kPropTag), "Body");
}

TEST_F(HostApi, AddTextOutsideAParagraphFails) {
  ObjectId doc = NewDoc();
  TextLoc at{GetId(0, doc, kPropMainFlow), 0};
  int32_t status = -1;
  TextLoc end{1, 1};
  EXPECT_EQ(api->AddText(doc, &at, "x", &status, &end), S_OK);
  EXPECT_EQ(status, kStatusBadObject);
  EXPECT_EQ(end.object, 0u);
}

TEST_F(HostApi, TablesFollowDocumentOrderNotCreationOrder) {
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  AddText(doc, {p, 0}, "first\nsecond\n");
  std::vector<ObjectId> paragraphs = host.FindDocument(doc)->MainFlowParagraphs();
  ObjectId late = NewTable(doc, {paragraphs[1], 0}, 1, 1, 0);
  ObjectId early = NewTable(doc, {paragraphs[0], 2}, 2, 1, 1);
  ObjectId earliest = NewTable(doc, {paragraphs[0], 0}, 1, 1, 0, "Format B");
  // A table inside a cell of `early` comes right after it.
  ObjectId cell = GetId(doc, GetId(doc, early, kPropFirstRow), kPropFirstCell);
  ObjectId nested = NewTable(doc, {GetId(doc, cell, kPropFirstParagraph), 0}, 1, 1, 0);
  std::vector<ObjectId> order;
  for (ObjectId t = GetId(0, doc, kPropFirstTable); t != 0; t = GetId(doc, t, kPropNextTable)) order.push_back(t);
  EXPECT_EQ(order, (std::vector<ObjectId>{earliest, early, nested, late}));
  EXPECT_EQ(GetString(doc, earliest, kPropTag), "Format B");
  TextLoc anchor{};
  PropIdent ident{kPropAnchor, nullptr};
  int32_t status = -1;
  ASSERT_EQ(api->GetTextLocProp(doc, early, &ident, &status, &anchor), S_OK);
  EXPECT_EQ(anchor.object, paragraphs[0]);
  EXPECT_EQ(anchor.offset, 2);
  // The nested table's anchor paragraph is in no frame of its own: 1001 gives
  // the frame of the outer table's anchor.
  EXPECT_EQ(GetId(doc, GetId(doc, cell, kPropFirstParagraph), kPropParagraphFrame),
            GetId(doc, paragraphs[0], kPropParagraphFrame));
}

TEST_F(HostApi, TableRowsCellsAndTitleFollowTheFormat) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 3, 2, 1);
  EXPECT_EQ(GetInt(doc, table, kPropColumnCount), 3);
  std::vector<ObjectId> rows = Rows(doc, table);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(GetInt(doc, rows[0], kPropRowKind), kRowHeading);
  EXPECT_EQ(GetInt(doc, rows[1], kPropRowKind), kRowBody);
  std::vector<int32_t> columns;
  for (ObjectId c = GetId(doc, rows[1], kPropFirstCell); c != 0; c = GetId(doc, c, kPropNextCell)) {
    columns.push_back(GetInt(doc, c, kPropColumnIndex));
    EXPECT_EQ(ParagraphText(doc, GetId(doc, c, kPropFirstParagraph)), "");
    for (int32_t flag : kCellOverrideFlags) EXPECT_EQ(GetInt(doc, c, flag), 0);
  }
  EXPECT_EQ(columns, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(GetInts(doc, table, kPropColumnWidths).size(), 3u);
  // Format A puts the title above: the table has a title paragraph until the
  // title position becomes 0.
  EXPECT_EQ(GetInt(doc, table, kPropTitlePosition), 1);
  ObjectId title = GetId(doc, table, kPropFirstParagraph);
  ASSERT_NE(title, 0u);
  EXPECT_EQ(GetString(doc, title, kPropTag), "TableTitle");
  EXPECT_EQ(SetInt(doc, table, kPropTitlePosition, 0), 0);
  EXPECT_EQ(GetId(doc, table, kPropFirstParagraph), 0u);
}

TEST_F(HostApi, TablePropertiesAreReadAndSetPerTable) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 2, 1, 0);
  ObjectId format = Named(doc, kNamedTableFormat, "Format A");
  // Every format-level property reads the same from the format and the new table.
  for (int32_t code : TableFormatPropertyCodes()) {
    ValueKind kind = *TableFormatPropertyKind(code);
    if (kind == ValueKind::kInt) {
      EXPECT_EQ(GetInt(doc, table, code), GetInt(doc, format, code)) << code;
    } else if (kind == ValueKind::kMetric) {
      EXPECT_EQ(GetMetric(doc, table, code), GetMetric(doc, format, code)) << code;
    } else if (kind == ValueKind::kId) {
      EXPECT_EQ(GetId(doc, table, code), GetId(doc, format, code)) << code;
    }
  }
  // Rulings and colours are named objects (property 20).
  EXPECT_EQ(GetString(doc, GetId(doc, format, 1305), kPropFileName), "Medium");
  EXPECT_EQ(GetString(doc, GetId(doc, format, 1297), kPropFileName), "Black");
  // Re-tagging changes the name only.
  EXPECT_EQ(SetInt(doc, table, 1282, 2), 0);
  EXPECT_EQ(SetString(doc, table, kPropTag, "Format B"), 0);
  EXPECT_EQ(GetString(doc, table, kPropTag), "Format B");
  EXPECT_EQ(GetInt(doc, table, 1282), 2);
  EXPECT_EQ(GetInt(doc, format, 1282), 0);
  // The cell margins 581-584 are 1315-1318 under other codes.
  PropIdent margin{582, nullptr};
  int32_t status = -1;
  ASSERT_EQ(api->SetMetricProp(doc, table, &margin, 9 * kPoint, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetMetric(doc, table, 1316), 9 * kPoint);
  // Widths: one per column, positive.
  std::vector<int32_t> widths = {0x900000, 0x900000};
  IntList list{2, widths.data()};
  PropIdent widthIdent{kPropColumnWidths, nullptr};
  ASSERT_EQ(api->SetIntsProp(doc, table, &widthIdent, &list, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetInts(doc, table, kPropColumnWidths), widths);
  IntList tooShort{1, widths.data()};
  ASSERT_EQ(api->SetIntsProp(doc, table, &widthIdent, &tooShort, &status), S_OK);
  EXPECT_EQ(status, kStatusBadValue);
  // A ruling property takes only a ruling of the document.
  EXPECT_EQ(SetId(doc, table, 1305, GetId(doc, format, 1297)), kStatusBadValue);
  EXPECT_EQ(SetId(doc, table, 1305, 0), 0);
}

TEST_F(HostApi, WrongKindAndUnknownObjectsAreHostFailures) {
  ObjectId doc = NewDoc();
  ObjectId format = Named(doc, kNamedTableFormat, "Format A");
  PropIdent metric{1278, nullptr};
  int32_t status = -1;
  int32_t value = 7;
  ASSERT_EQ(api->GetIntProp(doc, format, &metric, &status, &value), S_OK);
  EXPECT_EQ(status, kStatusWrongKind);
  EXPECT_EQ(value, 0);
  char* text = reinterpret_cast<char*>(1);
  PropIdent name{kPropTag, nullptr};
  ASSERT_EQ(api->GetStringProp(doc, MakeObjectId(ObjectKind::kTable, 0xFFFFFF), &name, &status, &text), S_OK);
  EXPECT_EQ(status, kStatusBadObject);
  EXPECT_EQ(text, nullptr);
  ASSERT_EQ(api->GetStringProp(MakeObjectId(ObjectKind::kDocument, 0xFFFFFF), format, &name, &status, &text), S_OK);
  EXPECT_EQ(status, kStatusBadDocument);
  // A name the document lacks is an answer of 0, not a failure.
  EXPECT_EQ(Named(doc, kNamedTableFormat, "No Such Format"), 0u);
}

TEST_F(HostApi, DeletedTableFormatLeavesTheCatalogueChain) {
  ObjectId doc = NewDoc();
  ObjectId a = Named(doc, kNamedTableFormat, "Format A");
  int32_t status = -1;
  ASSERT_EQ(api->DeleteObject(doc, a, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetString(doc, GetId(0, doc, kPropFirstTableFormat), kPropTag), "Format B");
  EXPECT_EQ(Named(doc, kNamedTableFormat, "Format A"), 0u);
  ASSERT_EQ(api->DeleteObject(doc, a, &status), S_OK);
  EXPECT_EQ(status, kStatusBadObject);
}

TEST_F(HostApi, GetTextSplitsStringsAtTableAnchors) {
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  AddText(doc, {p, 0}, "before after");
  NewTable(doc, {p, 6}, 1, 1, 0);
  TextRange range{{p, 0}, {p, kTextOffsetEnd}};
  int32_t status = -1;
  TextItemList items{0, nullptr};
  ASSERT_EQ(api->GetText(doc, &range, kGetTextStrings, &status, &items), S_OK);
  ASSERT_EQ(items.count, 2u);
  EXPECT_STREQ(items.items[0].u.string, "before");
  EXPECT_STREQ(items.items[1].u.string, " after");
  EXPECT_EQ(items.items[1].offset, 6);
  for (uint32_t i = 0; i < items.count; ++i) CoTaskMemFree(items.items[i].u.string);
  CoTaskMemFree(items.items);
  EXPECT_EQ(ParagraphText(doc, p), "before after");
  // An empty paragraph has no string item at all.
  TextRange empty{{LastParagraph(NewDoc()), 0}, {0, 0}};
  empty.end = {empty.start.object, kTextOffsetEnd};
  ObjectId other = GetId(0, 0, kPropActiveDocument);
  ASSERT_EQ(api->GetText(other, &empty, kGetTextStrings, &status, &items), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(items.count, 0u);
  EXPECT_EQ(items.items, nullptr);
}

TEST_F(HostApi, GetTextAcrossParagraphsHonoursTheItemFlags) {
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  AddText(doc, {p, 0}, "one\ntwo");
  std::vector<ObjectId> paragraphs = host.FindDocument(doc)->MainFlowParagraphs();
  ASSERT_EQ(paragraphs.size(), 2u);
  TextRange range{{paragraphs[0], 1}, {paragraphs[1], 2}};
  int32_t status = -1;
  TextItemList items{0, nullptr};
  ASSERT_EQ(api->GetText(doc, &range, 1 | 2, &status, &items), S_OK);
  ASSERT_EQ(items.count, 3u);
  EXPECT_STREQ(items.items[0].u.string, "ne");
  EXPECT_EQ(items.items[1].kind, kTextItemParagraphEnd);
  EXPECT_STREQ(items.items[2].u.string, "tw");
  CoTaskMemFree(items.items[0].u.string);
  CoTaskMemFree(items.items[2].u.string);
  CoTaskMemFree(items.items);
  // A range that runs backwards, or across containers, is refused.
  TextRange backwards{{paragraphs[1], 0}, {paragraphs[0], 0}};
  ASSERT_EQ(api->GetText(doc, &backwards, 1, &status, &items), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
  EXPECT_EQ(host.LeakedBlocks(), 0);
}

TEST_F(HostApi, TextCutAndPasteMoveTheSelectedText) {
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  AddText(doc, {p, 0}, "abcdef");
  EXPECT_EQ(Call(&IFrameMakerApi::Cut, doc, 0), kStatusNoSelection);  // an insertion point cuts nothing
  EXPECT_EQ(SetSelection(doc, {{p, 0}, {p, 3}}), 0);
  EXPECT_EQ(Call(&IFrameMakerApi::Cut, doc, 0), 0);
  EXPECT_EQ(ParagraphText(doc, p), "def");
  EXPECT_EQ(SetSelection(doc, {{p, kTextOffsetEnd}, {p, kTextOffsetEnd}}), 0);
  EXPECT_EQ(Call(&IFrameMakerApi::Paste, doc, 0), 0);
  EXPECT_EQ(ParagraphText(doc, p), "defabc");
}

TEST_F(HostApi, WalkingTablesMakesTheOrderOnceAndSeesLaterChanges) {
  const auto walk = [&](ObjectId doc) {
    std::vector<ObjectId> order;
    for (ObjectId t = GetId(0, doc, kPropFirstTable); t != 0; t = GetId(doc, t, kPropNextTable)) order.push_back(t);
    return order;
  };
  // The work per "next table" read stays the same from few tables to many.
  for (size_t count : {10u, 5000u}) {
    ObjectId doc = NewDoc();
    ObjectId p = LastParagraph(doc);
    for (size_t i = 0; i < count; ++i) NewTable(doc, {p, 0}, 1, 1, 0);
    const Document::WorkCounters before = host.FindDocument(doc)->Work();
    EXPECT_EQ(walk(doc).size(), count);
    const Document::WorkCounters& after = host.FindDocument(doc)->Work();
    EXPECT_EQ(after.tableOrderBuilds - before.tableOrderBuilds, 1u);
    EXPECT_LE(after.tableOrderSteps - before.tableOrderSteps, 3 * count + 16) << count << " tables";
  }
  // Tables added, moved and removed after a walk show in the next one.
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  AddText(doc, {p, 0}, "ab");
  ObjectId late = NewTable(doc, {p, 1}, 1, 1, 0);
  ObjectId early = NewTable(doc, {p, 0}, 1, 1, 0);
  EXPECT_EQ(walk(doc), (std::vector<ObjectId>{early, late}));
  AddText(doc, {p, 0}, "x\n");  // both tables move into the new second paragraph
  ObjectId first = NewTable(doc, {p, 0}, 1, 1, 0);
  EXPECT_EQ(walk(doc), (std::vector<ObjectId>{first, early, late}));
  int32_t status = -1;
  ASSERT_EQ(api->DeleteObject(doc, early, &status), S_OK);
  EXPECT_EQ(walk(doc), (std::vector<ObjectId>{first, late}));
}

TEST_F(HostApi, DeletedTablesAndRowsLeaveTheirChains) {
  ObjectId doc = NewDoc();
  ObjectId p = LastParagraph(doc);
  ObjectId first = NewTable(doc, {p, 0}, 1, 3, 0);
  ObjectId second = NewTable(doc, {p, 0}, 1, 1, 0);
  std::vector<ObjectId> rows = Rows(doc, first);
  int32_t status = -1;
  ASSERT_EQ(api->DeleteObject(doc, rows[1], &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Rows(doc, first), (std::vector<ObjectId>{rows[0], rows[2]}));
  ASSERT_EQ(api->DeleteObject(doc, first, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetId(0, doc, kPropFirstTable), second);
  EXPECT_EQ(GetId(doc, second, kPropNextTable), 0u);
  ObjectId gone = 0;
  PropIdent ident{kPropFirstRow, nullptr};
  ASSERT_EQ(api->GetIdProp(doc, first, &ident, &status, &gone), S_OK);
  EXPECT_EQ(status, kStatusBadObject);
  // Scrolling and redrawing are recorded.
  TextRange at{{p, 0}, {p, 0}};
  ASSERT_EQ(api->ScrollToText(doc, &at, &status), S_OK);
  ASSERT_EQ(api->Redisplay(doc, &status), S_OK);
  EXPECT_EQ(host.ScrolledTo().size(), 1u);
  EXPECT_EQ(host.Redisplays(), (std::vector<ObjectId>{doc}));
}

TEST_F(HostApi, OpeningAnOpenDocumentGivesTheSameIdWithoutReloading) {
  auto stored = Document::NewStandard();
  stored->AddTableFormat("Stored");
  store.Put("C:\\Books\\Manual\\chapter1.fm", *stored);
  int32_t status = -1;
  ObjectId first = 0;
  PropertyList returned{0, nullptr};
  ASSERT_EQ(api->OpenDocument("C:\\Books\\Manual\\chapter1.fm", nullptr, &returned, &status, &first), S_OK);
  EXPECT_EQ(status, 0);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(returned.count, 1u);  // a small return list, the plug-in's to free
  CoTaskMemFree(returned.entries);
  EXPECT_EQ(GetString(0, first, kPropFileName), "C:\\Books\\Manual\\chapter1.fm");
  EXPECT_NE(Named(first, kNamedTableFormat, "Stored"), 0u);
  // Change it; a second open must not reload it.
  EXPECT_EQ(SetString(first, Named(first, kNamedTableFormat, "Stored"), kPropTag, "Changed"), 0);
  ObjectId second = 0;
  ASSERT_EQ(api->OpenDocument("c:/books/manual/CHAPTER1.fm", nullptr, nullptr, &status, &second), S_OK);
  EXPECT_EQ(second, first);
  EXPECT_NE(Named(second, kNamedTableFormat, "Changed"), 0u);
  EXPECT_EQ(host.OpenDocuments().size(), 1u);
}

TEST_F(HostApi, MissingOrDamagedFilesFailWithIdZero) {
  store.PutUnreadable("C:\\Books\\broken.fm");
  int32_t status = -1;
  ObjectId doc = 5;
  PropertyList returned{0, nullptr};
  ASSERT_EQ(api->OpenDocument("C:\\Books\\missing.fm", nullptr, &returned, &status, &doc), S_OK);
  EXPECT_EQ(status, kStatusFileNotFound);
  EXPECT_EQ(doc, 0u);
  EXPECT_EQ(returned.count, 1u);  // filled on failure too
  CoTaskMemFree(returned.entries);
  ASSERT_EQ(api->OpenDocument("C:\\Books\\broken.fm", nullptr, nullptr, &status, &doc), S_OK);
  EXPECT_EQ(status, kStatusFileUnreadable);
  EXPECT_EQ(doc, 0u);
  EXPECT_TRUE(host.OpenDocuments().empty());
}

TEST_F(HostApi, CloseDiscardsUnsavedChangesAndSaveWritesTheStore) {
  store.Put("C:\\Books\\a.fm", *Document::NewStandard());
  ObjectId doc = host.OpenFromStore("C:\\Books\\a.fm")->Id();
  ObjectId format = Named(doc, kNamedTableFormat, "Format B");
  int32_t status = -1;
  ASSERT_EQ(api->DeleteObject(doc, format, &status), S_OK);
  ASSERT_EQ(api->CloseDocument(doc, kCloseDiscard, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(host.IsOpen(doc));
  EXPECT_EQ(GetId(0, 0, kPropActiveDocument), 0u);
  EXPECT_EQ(store.Peek("C:\\Books\\a.fm")->TableFormatNames().size(), 2u);

  // Reopened, changed and saved: the store holds the change; the UTF-8 name
  // becomes the host's FrameRoman file name.
  doc = host.OpenFromStore("C:\\Books\\a.fm")->Id();
  ASSERT_EQ(api->DeleteObject(doc, Named(doc, kNamedTableFormat, "Format B"), &status), S_OK);
  ObjectId saved = 0;
  ASSERT_EQ(api->SaveDocument(doc, "C:\\Books\\\xC3\xA9t\xC3\xA9.fm", nullptr, nullptr, &status, &saved), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(saved, doc);
  EXPECT_EQ(GetString(0, doc, kPropFileName), "C:\\Books\\\x8E" "t\x8E.fm");
  ASSERT_NE(store.Peek("C:\\Books\\\x8Et\x8E.fm"), nullptr);
  EXPECT_EQ(store.Peek("C:\\Books\\\x8Et\x8E.fm")->TableFormatNames(), (std::vector<std::string>{"Format A"}));
  store.RefuseSaves("C:\\Books\\locked.fm");
  ASSERT_EQ(api->SaveDocument(doc, "C:\\Books\\locked.fm", nullptr, nullptr, &status, &saved), S_OK);
  EXPECT_EQ(status, kStatusSaveFailed);
  EXPECT_EQ(saved, 0u);
  ASSERT_EQ(api->SaveDocument(doc, "C:\\bad\xFF.fm", nullptr, nullptr, &status, &saved), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
}

TEST_F(HostApi, OpenDocumentListAndApplicationProperties) {
  ObjectId a = NewDoc();
  ObjectId b = NewDoc();
  EXPECT_EQ(GetId(0, 0, kPropFirstOpenDocument), a);
  EXPECT_EQ(GetId(a, a, kPropNextOpenDocument), b);
  EXPECT_EQ(GetId(b, b, kPropNextOpenDocument), 0u);
  EXPECT_EQ(GetString(0, 0, kPropHomeDirectory), "C:\\Gridwright");
  EXPECT_EQ(SetInt(0, 0, kPropScreenUpdating, 0), 0);
  EXPECT_EQ(SetInt(0, 0, kPropScreenUpdating, 1), 0);
  EXPECT_EQ(host.ScreenUpdatingHistory(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(SetInt(a, a, kPropBulkEdit, 1), 0);
  EXPECT_EQ(GetInt(a, a, kPropBulkEdit), 1);
}

TEST_F(HostApi, BookComponentsFormATree) {
  Book& book = host.NewBook("C:\\Books\\Manual.book");
  BookComponent& group = book.AddComponent(0, kComponentGroup, "");
  BookComponent& inner = book.AddComponent(group.id, kComponentDocument, "C:\\Books\\one.fm");
  BookComponent& last = book.AddComponent(0, kComponentDocument, "C:\\Books\\two.fm");
  ObjectId b = GetId(0, 0, kPropActiveBook);
  ASSERT_EQ(b, book.Id());
  ObjectId first = GetId(0, b, kPropFirstComponent);
  EXPECT_EQ(first, group.id);
  EXPECT_EQ(GetInt(b, first, kPropComponentKind), kComponentGroup);
  EXPECT_EQ(GetId(b, first, kPropFirstChild), inner.id);
  EXPECT_EQ(GetId(b, inner.id, kPropNextComponent), 0u);
  EXPECT_EQ(GetId(b, inner.id, kPropParentComponent), group.id);
  EXPECT_EQ(GetId(b, group.id, kPropNextComponent), last.id);
  EXPECT_EQ(GetString(b, last.id, kPropFileName), "C:\\Books\\two.fm");
  EXPECT_EQ(SetString(0, b, kPropStatusLine, "Examining: one.fm"), 0);
  EXPECT_EQ(SetString(0, b, kPropStatusLine, ""), 0);
  EXPECT_EQ(book.StatusHistory(), (std::vector<std::string>{"Examining: one.fm", ""}));
  EXPECT_EQ(GetString(0, b, kPropStatusLine), "");
}

TEST_F(HostApi, MenusAreDefinedWalkedAndMovedByNextItem) {
  ObjectId bar = Named(0, kNamedMenu, "!MakerMainMenu");
  ASSERT_NE(bar, 0u);
  ObjectId separator = Named(0, kNamedMenuItem, "Separator1");
  ASSERT_NE(separator, 0u);
  // A Tools menu made by another plug-in.
  ObjectId tools = host.CreateMenu("KVTools", "Tools");
  host.CreateCommand(tools, "Styles", "Styles");
  ObjectId templates = host.CreateCommand(tools, "Templates", "Templates");
  int32_t status = -1;
  ObjectId tables = 0;
  ASSERT_EQ(api->DefineMenu("Gridwright", "Tables", &status, &tables), S_OK);
  ObjectId command = 0;
  ASSERT_EQ(api->DefineAndAddCommand(3, tables, "ListTableUsage", "List Table Usage", "", &status, &command), S_OK);
  EXPECT_EQ(host.CommandNumberOf(command), 3);
  ASSERT_EQ(api->AddCommandToMenu(tables, separator, &status), S_OK);
  ASSERT_EQ(api->AddMenuToMenu(tools, tables, &status), S_OK);
  // Walk: first item, next items, labels.
  std::vector<std::string> labels;
  for (ObjectId item = GetId(0, tools, kPropFirstMenuItem); item != 0; item = GetId(0, item, kPropNextMenuItem)) {
    labels.push_back(GetString(0, item, kPropLabel));
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Styles", "Templates", "Tables"}));
  // Setting 1923 of (parent, item) moves the item in front of the given one.
  EXPECT_EQ(SetId(tools, tables, kPropNextMenuItem, templates), 0);
  EXPECT_EQ(host.RenderMenu("KVTools"),
            (std::vector<std::string>{"Tools [KVTools]", "  Styles (0)", "  Tables [Gridwright]",
                                      "    List Table Usage (3)", "    ---- [Separator1]", "  Templates (0)"}));
  // In front of itself: nothing moves.
  EXPECT_EQ(SetId(tools, tables, kPropNextMenuItem, tables), 0);
  EXPECT_EQ(GetId(tools, tables, kPropNextMenuItem), templates);
  // A menu cannot hold itself.
  ASSERT_EQ(api->AddMenuToMenu(tables, tools, &status), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
}

TEST_F(HostApi, AnItemInTwoMenusIsWalkedInTheMenuAddressed) {
  int32_t status = -1;
  ObjectId first = 0;
  ObjectId second = 0;
  ASSERT_EQ(api->DefineMenu("First", "First", &status, &first), S_OK);
  ASSERT_EQ(api->DefineMenu("Second", "Second", &status, &second), S_OK);
  ObjectId about = 0;
  ASSERT_EQ(api->DefineAndAddCommand(1000, first, "About", "About...", "", &status, &about), S_OK);
  ObjectId separator = Named(0, kNamedMenuItem, "Separator2");
  ASSERT_EQ(api->AddCommandToMenu(first, separator, &status), S_OK);
  ASSERT_EQ(api->AddCommandToMenu(second, about, &status), S_OK);
  ObjectId other = 0;
  ASSERT_EQ(api->DefineAndAddCommand(12, second, "Other", "Other", "", &status, &other), S_OK);
  EXPECT_EQ(GetId(first, about, kPropNextMenuItem), separator);
  EXPECT_EQ(GetId(second, about, kPropNextMenuItem), other);
  EXPECT_EQ(GetId(0, about, kPropNextMenuItem), other);  // last added to Second
  EXPECT_EQ(host.CommandWithNumber(1000), about);
}

TEST_F(HostApi, CutRowAddHeadingRowAndPasteTurnsABodyRowIntoAHeading) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 2, 3, 0);
  const char* texts[] = {"a", "b", "c"};
  std::vector<ObjectId> rows = Rows(doc, table);
  for (size_t i = 0; i < 3; ++i) WriteCell(doc, GetId(doc, rows[i], kPropFirstCell), texts[i]);
  WriteCell(doc, GetId(doc, GetId(doc, rows[0], kPropFirstCell), kPropNextCell), "a2");
  // The row's own properties and a paragraph format the catalogue lacks go with it.
  Document& model = *host.FindDocument(doc);
  const ObjectId cutRow = rows[0];
  Cell& cutCell = *model.FindCell(model.FindRow(cutRow)->cells[0]);
  const ObjectId cutCellId = cutCell.id;
  cutCell.overrides[0] = 1;
  model.FindParagraph(cutCell.paragraphs[0])->formatName = "Revision";

  EXPECT_EQ(Select(doc, table, 0, 0), 0);
  EXPECT_EQ(GetId(0, doc, kPropSelectedTable), table);
  EXPECT_EQ(Call(&IFrameMakerApi::Cut, doc, kCutTableCells), 0);
  EXPECT_EQ(FirstColumn(doc, table), (std::vector<std::string>{"b", "c"}));
  int32_t status = -1;
  ASSERT_EQ(api->AddRows(doc, GetId(doc, table, kPropFirstRow), kAddRowsHeading, 1, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Select(doc, table, 0, 0), 0);
  EXPECT_EQ(Call(&IFrameMakerApi::Paste, doc, kPasteReplaceCells), 0);

  rows = Rows(doc, table);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(GetInt(doc, rows[0], kPropRowKind), kRowHeading);
  EXPECT_EQ(GetInt(doc, rows[1], kPropRowKind), kRowBody);
  EXPECT_EQ(FirstColumn(doc, table), (std::vector<std::string>{"a", "b", "c"}));
  ObjectId secondCell = GetId(doc, GetId(doc, rows[0], kPropFirstCell), kPropNextCell);
  EXPECT_EQ(ParagraphText(doc, GetId(doc, secondCell, kPropFirstParagraph)), "a2");
  const Row& pasted = *model.FindRow(rows[0]);
  const Cell& first = *model.FindCell(pasted.cells[0]);
  EXPECT_EQ(pasted.pastedFrom, cutRow);
  EXPECT_EQ(first.pastedFrom, cutCellId);
  EXPECT_EQ(first.overrides[0], 1);
  EXPECT_EQ(model.FindParagraph(first.paragraphs[0])->formatName, "Revision");
}

TEST_F(HostApi, CuttingTheOnlyBodyRowLeavesItEmptyForTheHeadingFix) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 1, 1, 0);
  WriteCell(doc, GetId(doc, Rows(doc, table)[0], kPropFirstCell), "only");
  EXPECT_EQ(Select(doc, table, 0, 0), 0);
  EXPECT_EQ(Call(&IFrameMakerApi::Cut, doc, kCutTableCells), 0);
  EXPECT_EQ(FirstColumn(doc, table), (std::vector<std::string>{""}));
  int32_t status = -1;
  ASSERT_EQ(api->AddRows(doc, GetId(doc, table, kPropFirstRow), kAddRowsHeading, 1, &status), S_OK);
  EXPECT_EQ(Select(doc, table, 0, 0), 0);
  EXPECT_EQ(Call(&IFrameMakerApi::Paste, doc, kPasteReplaceCells), 0);
  std::vector<ObjectId> rows = Rows(doc, table);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(GetInt(doc, rows[0], kPropRowKind), kRowHeading);
  EXPECT_EQ(FirstColumn(doc, table), (std::vector<std::string>{"only", ""}));
}

TEST_F(HostApi, AddRowsPositionsAndRefusals) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 1, 2, 1);
  std::vector<ObjectId> rows = Rows(doc, table);
  int32_t status = -1;
  ASSERT_EQ(api->AddRows(doc, rows[1], kAddRowsBelow, 2, &status), S_OK);
  ASSERT_EQ(api->AddRows(doc, rows[2], kAddRowsFooting, 1, &status), S_OK);
  ASSERT_EQ(api->AddRows(doc, rows[1], kAddRowsHeading, 1, &status), S_OK);
  std::vector<int32_t> kinds;
  for (ObjectId row : Rows(doc, table)) kinds.push_back(GetInt(doc, row, kPropRowKind));
  EXPECT_EQ(kinds, (std::vector<int32_t>{0, 0, 1, 1, 1, 1, 2}));
  ASSERT_EQ(api->AddRows(doc, rows[1], 4711, 1, &status), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
  ASSERT_EQ(api->AddRows(doc, rows[1], kAddRowsBelow, 0, &status), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
  ASSERT_EQ(api->SelectTableCells(doc, table, 0, 7, 0, 0, &status), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
  EXPECT_EQ(Call(&IFrameMakerApi::Paste, doc, kPasteReplaceCells), kStatusNoSelection);
}

TEST_F(HostApi, NewTableRefusesUnknownFormatsAndTablesWithoutBodyRows) {
  ObjectId doc = NewDoc();
  TextLoc at{LastParagraph(doc), 0};
  int32_t status = -1;
  ObjectId table = 9;
  ASSERT_EQ(api->NewTable(doc, "Missing", 1, 1, 1, 0, &at, &status, &table), S_OK);
  EXPECT_EQ(status, kStatusBadValue);
  EXPECT_EQ(table, 0u);
  ASSERT_EQ(api->NewTable(doc, "Format A", 1, 0, 1, 0, &at, &status, &table), S_OK);
  EXPECT_EQ(status, kStatusBadParameter);
  EXPECT_EQ(GetId(0, doc, kPropFirstTable), 0u);
}

TEST_F(HostApi, SelectionInACellNamesItsTable) {
  ObjectId doc = NewDoc();
  ObjectId table = NewTable(doc, {LastParagraph(doc), 0}, 1, 1, 0);
  EXPECT_EQ(GetId(0, doc, kPropSelectedTable), 0u);
  ObjectId p = GetId(doc, GetId(doc, GetId(doc, table, kPropFirstRow), kPropFirstCell), kPropFirstParagraph);
  EXPECT_EQ(SetSelection(doc, {{p, 0}, {p, kTextOffsetEnd}}), 0);
  EXPECT_EQ(GetId(0, doc, kPropSelectedTable), table);
  EXPECT_EQ(SetSelection(doc, {{table, 0}, {table, 0}}), kStatusBadValue);
  IntList codes{1, nullptr};
  int32_t code = 259;
  codes.values = &code;
  int32_t status = -1;
  ASSERT_EQ(api->RunCommandCodes(&codes, &status), S_OK);
  EXPECT_EQ(host.CommandCodesRun(), (std::vector<std::vector<int32_t>>{{259}}));
}

TEST_F(HostApi, ParagraphFormatPropertiesRoundTripThroughGetAndSetProps) {
  ObjectId doc = NewDoc();
  ObjectId heading = Named(doc, kNamedParagraphFormat, "Heading1");
  int32_t status = -1;
  PropertyList props{0, nullptr};
  ASSERT_EQ(api->GetProps(doc, heading, &status, &props), S_OK);
  ASSERT_EQ(status, 0);
  std::set<int32_t> types;
  for (uint32_t i = 0; i < props.count; ++i) types.insert(props.entries[i].value.type);
  for (int32_t type : {kValueInt, kValueMetric, kValueString, kValueId, kValueStrings, kValueList}) {
    EXPECT_EQ(types.count(type), 1u) << type;
  }
  ObjectId p = LastParagraph(doc);
  ASSERT_EQ(api->SetProps(doc, p, &props, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(GetString(doc, p, kPropTag), "Heading1");
  Document* model = host.FindDocument(doc);
  EXPECT_EQ(model->FindParagraph(p)->formatProperties, model->FindParagraphFormat(heading)->properties);
  // Setting the values it already has leaves a shared list shared.
  SharedListProperties before = model->FindParagraph(p)->formatProperties;
  ASSERT_EQ(api->SetProps(doc, p, &props, &status), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(model->FindParagraph(p)->formatProperties.SharesWith(before));
  // Release as the plug-in would: every nested block, recursively.
  std::function<void(TypedValue&)> release = [&](TypedValue& v) {
    if (v.type == kValueString) CoTaskMemFree(v.u.string);
    if (v.type == kValueStrings) {
      for (uint32_t i = 0; i < v.u.strings.count; ++i) CoTaskMemFree(v.u.strings.strings[i]);
      CoTaskMemFree(v.u.strings.strings);
    }
    if (v.type == kValueList && v.u.list != nullptr) {
      for (uint32_t i = 0; i < v.u.list->count; ++i) release(v.u.list->values[i]);
      CoTaskMemFree(v.u.list->values);
      CoTaskMemFree(v.u.list);
    }
  };
  for (uint32_t i = 0; i < props.count; ++i) release(props.entries[i].value);
  CoTaskMemFree(props.entries);
  EXPECT_EQ(host.LeakedBlocks(), 0);
}

TEST_F(HostApi, PagesOfEveryKindHoldFrames) {
  ObjectId doc = NewDoc();
  Document& model = *host.FindDocument(doc);
  Page& reference = model.AddPage(ObjectKind::kReferencePage, "Tables");
  Flow& flow = model.AddFlow("Ref");
  Frame& outer = model.AddGraphicFrame(reference.id);
  Frame& inner = model.AddTextFrame(flow.id, 0, outer.id);
  Paragraph& p = model.AppendParagraph(inner.id, "", "Body");
  EXPECT_EQ(GetId(doc, p.id, kPropParagraphFrame), inner.id);
  EXPECT_EQ(GetId(doc, inner.id, kPropParentFrame), outer.id);
  EXPECT_EQ(GetId(doc, inner.id, kPropFramePage), 0u);
  EXPECT_EQ(GetId(doc, outer.id, kPropFramePage), reference.id);
  EXPECT_EQ(KindOf(reference.id), ObjectKind::kReferencePage);
  EXPECT_EQ(KindOf(model.AddPage(ObjectKind::kHiddenPage).id), ObjectKind::kHiddenPage);
}

}  // namespace
}  // namespace gw::substitute::testing
