// Create Table Tag List (5, 14) and Create Conversion Document (7, 16): one
// procedure that writes a table of table format names into the report
// document.
#include "commands/lists.h"

#include "commands/commands.h"
#include "commands/report_documents.h"
#include "commands/usage.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/memory.h"
#include "support/str_list.h"

namespace {

// Tables, rows and cells.

constexpr int32_t kTitlePositionNone = 0;
constexpr Metric kListColumnWidth = 0x900000;  // 144 pt
constexpr int32_t kEmptyListRows = 10;

// The list types, in the order of the prompt.
enum ListKind { kListEmpty = 0, kListTagsInUse = 1, kListAllTags = 2 };

const char kUnreadableWarning[] = "The table tags could not all be read; no list was written.";
const char kReportUnavailable[] = "The report document could not be opened or created.";

// Asks for the list type. Returns the chosen kind, or -1 when the user made
// no choice (or the host answered with an index outside the three).
int32_t AskListKind(void) {
  char empty[] = "Empty";
  char inUse[] = "Table Tags in Use";
  char all[] = "All Table Tags";
  char* choices[] = {empty, inUse, all};
  StringList choiceList = {3, choices};
  int32_t chosen = -1;
  if (HostScrollListPrompt(&chosen, "Choose a list type", &choiceList, -1) != 0) return -1;
  if (chosen < kListEmpty || chosen > kListAllTags) return -1;
  return chosen;
}

// Sets the width of the cell's column to 144 pt. An index the width list does
// not have is left alone.
void WidenColumn(ObjectId report, ObjectId table, ObjectId cell) {
  IntList widths = HostGetIntsProp(report, table, kPropColumnWidths);
  int32_t column = HostGetIntProp(report, cell, kPropColumnIndex);
  if (widths.values != nullptr && column >= 0 && static_cast<uint32_t>(column) < widths.count) {
    widths.values[column] = kListColumnWidth;
    HostSetIntsProp(report, table, kPropColumnWidths, &widths);
  }
  MemFree(widths.values);
}

// Writes text at the start of the cell's first paragraph, which in a new
// table is empty, moving the report's insertion point there first.
void WriteCellText(ObjectId report, ObjectId cell, const char* text) {
  ObjectId paragraph = HostGetIdProp(report, cell, kPropFirstParagraph);
  if (paragraph == 0) return;
  TextLoc start = {paragraph, 0};
  TextRange insertionPoint = {start, start};
  HostSetTextRangeProp(0, report, kPropSelection, &insertionPoint);
  HostAddText(report, &start, text);
}

// Writes each name of names into the first cell of the rows after *row,
// advancing *row. Stops when the table has no further row.
void WriteNames(ObjectId report, ObjectId* row, const StrList* names) {
  for (uint32_t i = 0; i < StrListCount(names); ++i) {
    *row = HostGetIdProp(report, *row, kPropNextRow);
    if (*row == 0) return;
    WriteCellText(report, HostGetIdProp(report, *row, kPropFirstCell), StrListGet(names, i));
  }
}

// Makes the table at the report's insertion point and fills it. Returns
// nothing: the host's refusals leave the report as it was.
void WriteListTable(ObjectId report, int32_t twoColumns, int32_t kind, const TagCollection* tags) {
  TextRange selection;
  HostGetTextRangeProp(&selection, 0, report, kPropSelection);
  if (selection.start.object == 0) return;

  uint32_t bodyRows = kEmptyListRows;
  if (kind == kListTagsInUse) bodyRows = StrListCount(tags->used);
  if (kind == kListAllTags) bodyRows = StrListCount(tags->used) + StrListCount(tags->unused);

  ObjectId table = HostNewTable(report, "Format A", twoColumns ? 2 : 1, static_cast<int32_t>(bodyRows), 1, 0,
                                &selection.start);
  if (table == 0) return;
  HostSetIntProp(report, table, kPropTitlePosition, kTitlePositionNone);

  ObjectId row = HostGetIdProp(report, table, kPropFirstRow);
  ObjectId firstCell = HostGetIdProp(report, row, kPropFirstCell);
  WidenColumn(report, table, firstCell);
  if (twoColumns) {
    ObjectId secondCell = HostGetIdProp(report, firstCell, kPropNextCell);
    WidenColumn(report, table, secondCell);
    WriteCellText(report, firstCell, "Source Tag");
    WriteCellText(report, secondCell, "Destination Tag");
  } else {
    WriteCellText(report, firstCell, "Tags to Keep");
  }

  if (kind == kListEmpty) return;
  WriteNames(report, &row, tags->used);
  if (kind == kListAllTags) WriteNames(report, &row, tags->unused);
}

}  // namespace

void CreateListDocument(int32_t commandNumber, ObjectId document, ObjectId book) {
  int32_t twoColumns = 0;
  int32_t fromBook = 0;
  switch (commandNumber) {
    case kCommandCreateTableList:
      break;
    case kCommandCreateTableListBook:
      fromBook = 1;
      break;
    case kCommandCreateTableConversionDocument:
      twoColumns = 1;
      break;
    case kCommandCreateTableConversionDocumentBook:
      twoColumns = 1;
      fromBook = 1;
      break;
    default:
      return;
  }

  int32_t kind = AskListKind();
  if (kind < 0) return;

  TagCollection tags = {nullptr, nullptr, 1};
  if (kind != kListEmpty) {
    if (TagCollectionNew(&tags) != 0) return;
    if (fromBook) {
      if (ExamineBookDocuments(book, CollectTableTagsWork, &tags) != 0) tags.complete = 0;
    } else {
      CollectDocumentTags(&tags, document);
    }
    if (!tags.complete) {
      HostAlert(kUnreadableWarning, kAlertWarning);
      TagCollectionFree(&tags);
      return;
    }
  }

  ObjectId report = OpenReportDocument();
  if (report == 0) {
    HostAlert(kReportUnavailable, kAlertWarning);
  } else {
    WriteListTable(report, twoColumns, kind, &tags);
  }
  TagCollectionFree(&tags);
}

void CreateTableList(ObjectId document, ObjectId book) {
  CreateListDocument(kCommandCreateTableList, document, book);
}

void CreateTableListBook(ObjectId document, ObjectId book) {
  CreateListDocument(kCommandCreateTableListBook, document, book);
}

void CreateTableConversionDocument(ObjectId document, ObjectId book) {
  CreateListDocument(kCommandCreateTableConversionDocument, document, book);
}

void CreateTableConversionDocumentBook(ObjectId document, ObjectId book) {
  CreateListDocument(kCommandCreateTableConversionDocumentBook, document, book);
}
