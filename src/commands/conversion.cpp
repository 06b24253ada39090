// Keeping listed table formats and converting tables (commands 6, 15, 2, 17),
// and ApplyTableFormat, which Remove Overrides shares.
#include "commands/conversion.h"

#include "commands/commands.h"
#include "commands/report_documents.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "host/property_lists.h"
#include "support/memory.h"
#include "support/str_index.h"
#include "support/str_list.h"
#include "support/strings.h"

const char kTagListHeader[] = "Tags to Keep";
const char kConversionListHeader[] = "Source Tag";

namespace {

const char kKeepNotFound[] = "The list of table formats to keep could not be found.";
const char kKeepUnreadable[] = "The list of table formats to keep could not be read.";
const char kKeepQuestion[] = "Are you sure you want to keep only the table formats listed?";
const char kConvertNotFound[] = "The list of table tags to convert could not be found.";
const char kConvertUnreadable[] = "The list of table tags to convert could not be read.";
const char kConvertQuestion[] = "Are you sure you want to convert table formats?";
const char kConvertBookQuestion[] = "Are you sure you want to convert table formats for all files in the book?";
const char kProcessingPrefix[] = "Processing: ";

enum FormatPropertyKind { kFormatInt, kFormatMetric, kFormatString, kFormatId, kFormatTitle };

struct FormatProperty {
  int32_t code;
  FormatPropertyKind kind;
};

// The format property set in the order in which ApplyTableFormat copies it.
// The order is deliberate: the tag is set in the middle, and the title's
// paragraph format comes between the numbering and the rulings.
const FormatProperty kFormatPropertySet[] = {
    {1291, kFormatInt},    {1282, kFormatInt},    {1316, kFormatMetric}, {1317, kFormatMetric},
    {1318, kFormatMetric}, {1315, kFormatMetric}, {1278, kFormatMetric}, {1279, kFormatMetric},
    {1283, kFormatInt},    {1280, kFormatMetric}, {1281, kFormatMetric}, {1290, kFormatMetric},
    {1289, kFormatInt},    {1275, kFormatString}, {1288, kFormatInt},    {0, kFormatTitle},
    {1310, kFormatId},     {1306, kFormatId},     {1309, kFormatId},     {1312, kFormatId},
    {1311, kFormatId},     {1307, kFormatId},     {1313, kFormatId},     {1314, kFormatId},
    {1308, kFormatId},     {1305, kFormatId},     {1294, kFormatInt},    {1293, kFormatInt},
    {1295, kFormatInt},    {1299, kFormatId},     {1304, kFormatId},     {1297, kFormatId},
    {1298, kFormatInt},    {1301, kFormatInt},    {1302, kFormatInt},    {1303, kFormatInt},
    {1300, kFormatInt},    {1296, kFormatInt},
};
static_assert(sizeof(kFormatPropertySet) / sizeof(kFormatPropertySet[0]) == 38, "38 steps");

// The first paragraph of the first cell of a row; 0 when the row has none.
ObjectId FirstCellParagraph(ObjectId document, ObjectId row) {
  ObjectId cell = HostGetIdProp(document, row, kPropFirstCell);
  if (cell == 0) return 0;
  return HostGetIdProp(document, cell, kPropFirstParagraph);
}

// 1 when the table's first cell begins with header.
int32_t IsListTable(ObjectId document, ObjectId table, const char* header) {
  ObjectId row = HostGetIdProp(document, table, kPropFirstRow);
  if (row == 0) return 0;
  ObjectId paragraph = FirstCellParagraph(document, row);
  if (paragraph == 0) return 0;
  char* text = ParagraphText(document, paragraph);
  int32_t result = text != NULL && StrStartsWith(text, header);
  MemFree(text);
  return result;
}

// Reads a cell's text for a list: *text is a fresh string ("" for a cell
// without a paragraph or a paragraph without text). Returns 0, or -1 when the
// host or memory failed.
int32_t ReadCellText(ObjectId document, ObjectId cell, char** text) {
  *text = NULL;
  uint32_t failuresBefore = HostFailureCount();
  ObjectId paragraph = cell != 0 ? HostGetIdProp(document, cell, kPropFirstParagraph) : 0;
  if (cell == 0 || HostFailureCount() != failuresBefore) return -1;
  if (paragraph == 0) {
    *text = StrDup("");
    return *text != NULL ? 0 : -1;
  }
  TextRange range = {{paragraph, 0}, {paragraph, kTextOffsetEnd}};
  TextItemList items = HostGetText(document, &range, 1);
  if (HostFailureCount() != failuresBefore) {
    FreeTextItemList(&items);
    return -1;
  }
  int32_t hasString = 0;
  for (uint32_t i = 0; i < items.count; i++) {
    if (items.items[i].kind == kTextItemString) hasString = 1;
  }
  char* joined = JoinStringItems(items.count, items.items);
  FreeTextItemList(&items);
  if (joined == NULL) {
    if (hasString) return -1;  // memory short: the text is not known
    joined = StrDup("");
    if (joined == NULL) return -1;
  }
  *text = joined;
  return 0;
}

struct ListWalkContext {
  ObjectId listDocument;
  const StrList* sources;
  const StrList* destinations;  // NULL for a tag list
};

void KeepWork(ObjectId document, void* context) {
  const ListWalkContext* walk = static_cast<const ListWalkContext*>(context);
  // The list document stays as the user left it, even when it is a
  // component of the book.
  if (document == walk->listDocument) return;
  KeepNamedFormats(document, walk->sources);
}

void ConvertWork(ObjectId document, void* context) {
  const ListWalkContext* walk = static_cast<const ListWalkContext*>(context);
  if (document == walk->listDocument) return;
  ApplyConversionPairs(document, walk->sources, walk->destinations);
}

// Finds the list for header and reads it (two columns when twoColumns is 1).
// Returns 1 with *listDocument, *listTable and the lists filled; 0 after
// telling the user why not (the not-found or the unreadable alert, kind 3).
int32_t LoadList(const char* header, int32_t twoColumns, const char* notFound, const char* unreadable,
                 ObjectId* listDocument, ObjectId* listTable, StrList* sources, StrList* destinations) {
  *listDocument = FindListDocument(header);
  if (*listDocument == 0) {
    HostAlert(notFound, 3);
    return 0;
  }
  *listTable = FindListTable(*listDocument, header);
  if (*listTable == 0 || sources == NULL || (twoColumns && destinations == NULL) ||
      ReadListTable(*listDocument, *listTable, sources, twoColumns ? destinations : NULL) != 0) {
    HostAlert(unreadable, 3);
    return 0;
  }
  return 1;
}

}  // namespace

// ---- Finding a list ---------------------------------------------------------------------

ObjectId FindListTable(ObjectId document, const char* header) {
  if (document == 0) return 0;
  for (ObjectId table = HostGetIdProp(0, document, kPropFirstTable); table != 0;
       table = HostGetIdProp(document, table, kPropNextTable)) {
    if (IsListTable(document, table, header)) return table;
  }
  return 0;
}

ObjectId FindListDocument(const char* header) {
  for (ObjectId document = HostGetIdProp(0, 0, kPropFirstOpenDocument); document != 0;
       document = HostGetIdProp(document, document, kPropNextOpenDocument)) {
    if (FindListTable(document, header) != 0) return document;
  }
  return 0;
}

// ---- Paragraph text -----------------------------------------------------------------------

char* JoinStringItems(uint32_t count, const TextItem* items) {
  if (items == NULL) return NULL;
  uint32_t first = 0;
  while (first < count && items[first].kind != kTextItemString) first++;
  if (first == count) return NULL;
  char* result = StrDup(items[first].u.string);
  if (result == NULL) return NULL;
  for (uint32_t i = first + 1; i < count; i++) {
    if (items[i].kind != kTextItemString) continue;
    char* piece = StrDup(items[i].u.string);
    if (piece == NULL) {
      MemFree(result);
      return NULL;
    }
    char* grown = static_cast<char*>(MemRealloc(result, StrLen(result) + StrLen(piece) + 1, 0));
    if (grown == NULL) {
      MemFree(piece);
      MemFree(result);
      return NULL;
    }
    result = grown;
    StrAppend(result, piece);
    MemFree(piece);
  }
  return result;
}

char* ParagraphText(ObjectId document, ObjectId paragraph) {
  TextRange range = {{paragraph, 0}, {paragraph, kTextOffsetEnd}};
  TextItemList items = HostGetText(document, &range, 1);
  char* text = JoinStringItems(items.count, items.items);
  FreeTextItemList(&items);
  return text;
}

// ---- Reading a list -------------------------------------------------------------------------

int32_t ReadListTable(ObjectId listDocument, ObjectId listTable, StrList* sources, StrList* destinations) {
  if (listTable == 0 || sources == NULL) return -1;
  uint32_t failuresBefore = HostFailureCount();
  for (ObjectId row = HostGetIdProp(listDocument, listTable, kPropFirstRow); row != 0;
       row = HostGetIdProp(listDocument, row, kPropNextRow)) {
    ObjectId cell = HostGetIdProp(listDocument, row, kPropFirstCell);
    char* source = NULL;
    if (ReadCellText(listDocument, cell, &source) != 0 || StrListAppend(sources, source) != 0) {
      MemFree(source);
      return -1;
    }
    MemFree(source);
    if (destinations != NULL) {
      ObjectId nextCell = HostGetIdProp(listDocument, cell, kPropNextCell);
      char* destination = NULL;
      // A row without a second cell has an empty destination.
      if (nextCell == 0 && HostFailureCount() == failuresBefore) {
        destination = StrDup("");
        if (destination == NULL) return -1;
      } else if (ReadCellText(listDocument, nextCell, &destination) != 0) {
        return -1;
      }
      int32_t appended = StrListAppend(destinations, destination);
      MemFree(destination);
      if (appended != 0) return -1;
    }
    if (HostFailureCount() != failuresBefore) return -1;
  }
  // A failed read of a row link ends the loop early; the list is then short.
  return HostFailureCount() == failuresBefore ? 0 : -1;
}

// ---- The bulk-edit flag -----------------------------------------------------------------------

int32_t BeginBulkEdit(ObjectId document, int32_t* saved) {
  uint32_t failuresBefore = HostFailureCount();
  *saved = HostGetIntProp(document, document, kPropBulkEdit);
  if (HostFailureCount() != failuresBefore) return 0;
  HostSetIntProp(document, document, kPropBulkEdit, 1);
  return 1;
}

void EndBulkEdit(ObjectId document, int32_t began, int32_t saved) {
  if (began) HostSetIntProp(document, document, kPropBulkEdit, saved);
}

// ---- Acting on a list ------------------------------------------------------------------------

void KeepNamedFormats(ObjectId document, const StrList* names) {
  StrIndex* index = StrIndexNew(names);  // NULL: the list itself is searched
  ObjectId format = HostGetIdProp(0, document, kPropFirstTableFormat);
  while (format != 0) {
    // The next format is read first: this one may be deleted below.
    ObjectId next = HostGetIdProp(document, format, kPropNextTableFormat);
    uint32_t failuresBefore = HostFailureCount();
    char* name = HostGetStringProp(document, format, kPropTag);
    // A format whose name the host did not give is kept: it cannot be known
    // to be missing from the list.
    if (HostFailureCount() == failuresBefore && StrListFindIndexed(names, index, name) < 0) {
      HostDeleteObject(document, format);
    }
    MemFree(name);
    format = next;
  }
  StrIndexFree(index);
}

int32_t KeepListedFormats(ObjectId document, ObjectId listDocument, ObjectId listTable) {
  StrList* names = StrListNew(1, 1);
  if (names == NULL) return -1;
  int32_t result = ReadListTable(listDocument, listTable, names, NULL);
  if (result == 0) KeepNamedFormats(document, names);
  StrListFree(names);
  return result;
}

void ApplyConversionPairs(ObjectId document, const StrList* sources, const StrList* destinations) {
  int32_t saved = 0;
  int32_t began = BeginBulkEdit(document, &saved);
  StrIndex* index = StrIndexNew(sources);  // NULL: the list itself is searched
  for (ObjectId table = HostGetIdProp(0, document, kPropFirstTable); table != 0;
       table = HostGetIdProp(document, table, kPropNextTable)) {
    uint32_t failuresBefore = HostFailureCount();
    char* tag = HostGetStringProp(document, table, kPropTag);
    // An unreadable tag must not be taken for an empty one.
    int32_t row = HostFailureCount() == failuresBefore ? StrListFindIndexed(sources, index, tag) : -1;
    MemFree(tag);
    if (row < 0) continue;
    // Only the first row for a source counts; an empty destination leaves
    // the table alone.
    const char* destination = StrListGet(destinations, static_cast<uint32_t>(row));
    if (StrLen(destination) == 0) continue;
    ApplyTableFormat(document, table, destination);
  }
  StrIndexFree(index);
  EndBulkEdit(document, began, saved);
}

int32_t ApplyConversionList(ObjectId document, ObjectId listDocument, ObjectId listTable) {
  StrList* sources = StrListNew(1, 1);
  StrList* destinations = StrListNew(1, 1);
  int32_t result = -1;
  if (sources != NULL && destinations != NULL) {
    result = ReadListTable(listDocument, listTable, sources, destinations);
    if (result == 0) ApplyConversionPairs(document, sources, destinations);
  }
  StrListFree(sources);
  StrListFree(destinations);
  return result;
}

// ---- Applying a table format -------------------------------------------------------------------

void ApplyTableFormat(ObjectId document, ObjectId table, const char* formatName) {
  ObjectId format = HostGetNamedObject(document, kObjectTypeTableFormat, formatName);
  if (format == 0) return;
  for (const FormatProperty& property : kFormatPropertySet) {
    // A value the host failed to give is not written: the failure value would
    // replace the table's own setting.
    uint32_t failuresBefore = HostFailureCount();
    switch (property.kind) {
      case kFormatInt: {
        int32_t value = HostGetIntProp(document, format, property.code);
        if (HostFailureCount() == failuresBefore) HostSetIntProp(document, table, property.code, value);
        break;
      }
      case kFormatMetric: {
        Metric value = HostGetMetricProp(document, format, property.code);
        if (HostFailureCount() == failuresBefore) HostSetMetricProp(document, table, property.code, value);
        break;
      }
      case kFormatId: {
        ObjectId value = HostGetIdProp(document, format, property.code);
        if (HostFailureCount() == failuresBefore) HostSetIdProp(document, table, property.code, value);
        break;
      }
      case kFormatString: {
        char* value = HostGetStringProp(document, format, property.code);
        if (HostFailureCount() == failuresBefore) HostSetStringProp(document, table, property.code, value);
        MemFree(value);
        break;
      }
      case kFormatTitle: {
        ObjectId title = HostGetIdProp(document, table, kPropFirstParagraph);
        if (title == 0) break;
        char* paragraphFormat = HostGetStringProp(document, format, kPropName);
        if (HostFailureCount() == failuresBefore) ApplyParagraphFormat(document, title, paragraphFormat);
        MemFree(paragraphFormat);
        break;
      }
    }
  }
}

// ---- Commands ----------------------------------------------------------------------------------

// Command 6. The list is read before the question, so that an unreadable list
// is reported instead of being taken for an empty one.
void RemoveNonlistTables(ObjectId document, ObjectId /*book*/) {
  ObjectId listDocument = 0;
  ObjectId listTable = 0;
  StrList* names = StrListNew(1, 1);
  if (LoadList(kTagListHeader, 0, kKeepNotFound, kKeepUnreadable, &listDocument, &listTable, names, NULL) &&
      AskUser(kKeepQuestion, 1)) {
    if (KeepListedFormats(document, listDocument, listTable) != 0) HostAlert(kKeepUnreadable, 3);
  }
  StrListFree(names);
}

// Command 15. The list is read once, before the question, and every document
// of the walk is changed from that copy: the walk may open and close the list
// document itself when it is a component of the book.
void RemoveNonlistTablesBook(ObjectId /*document*/, ObjectId book) {
  ListWalkContext walk = {0, NULL, NULL};
  ObjectId listTable = 0;
  StrList* names = StrListNew(1, 1);
  if (LoadList(kTagListHeader, 0, kKeepNotFound, kKeepUnreadable, &walk.listDocument, &listTable, names, NULL) &&
      AskUser(kKeepQuestion, 1)) {
    walk.sources = names;
    ProcessBookDocuments(book, kProcessingPrefix, KeepWork, &walk);
  }
  StrListFree(names);
}

// Command 2.
void ConvertTablesInDoc(ObjectId document, ObjectId /*book*/) {
  ObjectId listDocument = 0;
  ObjectId listTable = 0;
  StrList* sources = StrListNew(1, 1);
  StrList* destinations = StrListNew(1, 1);
  if (LoadList(kConversionListHeader, 1, kConvertNotFound, kConvertUnreadable, &listDocument, &listTable, sources,
               destinations) &&
      AskUser(kConvertQuestion, 1)) {
    if (ApplyConversionList(document, listDocument, listTable) != 0) HostAlert(kConvertUnreadable, 3);
  }
  StrListFree(sources);
  StrListFree(destinations);
}

// Command 17: like command 15, from a copy of the list read once.
void ConvertTablesBook(ObjectId /*document*/, ObjectId book) {
  ListWalkContext walk = {0, NULL, NULL};
  ObjectId listTable = 0;
  StrList* sources = StrListNew(1, 1);
  StrList* destinations = StrListNew(1, 1);
  if (LoadList(kConversionListHeader, 1, kConvertNotFound, kConvertUnreadable, &walk.listDocument, &listTable,
               sources, destinations) &&
      AskUser(kConvertBookQuestion, 1)) {
    walk.sources = sources;
    walk.destinations = destinations;
    ProcessBookDocuments(book, kProcessingPrefix, ConvertWork, &walk);
  }
  StrListFree(sources);
  StrListFree(destinations);
}
