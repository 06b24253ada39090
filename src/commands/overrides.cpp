// Table overrides: TableMatchesFormat, RemoveOverridesInDocument and
// commands 8, 18 and 9.
#include "commands/overrides.h"

#include "commands/commands.h"
#include "commands/conversion.h"
#include "commands/report_documents.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/memory.h"

namespace {

const char kRemoveQuestion[] = "Are you sure you want to remove table overrides?";
const char kRemoveBookQuestion[] = "Are you sure you want to remove table overrides for all files in the book?";
const char kEndOfDocument[] = "End of document reached.";
const char kProcessingPrefix[] = "Processing: ";

// The conformance set, in the order of comparison.
const int32_t kComparedInts[] = {1291, 1282, 1283, 1289, 1288, 1294, 1293,
                                 1295, 1298, 1301, 1302, 1303, 1300, 1296};
const int32_t kComparedMetrics[] = {582, 583, 584, 581, 1278, 1279, 1280, 1281, 1290};
const int32_t kComparedIds[] = {1310, 1306, 1312, 1311, 1307, 1313, 1308, 1305, 1299, 1304, 1297};

// The six cell override flags, in the order in which they are read and cleared.
const int32_t kCellOverrideFlags[] = {1193, 1190, 1191, 1192, 1196, 1197};

// 1 when no cell of the table has an override flag equal to 1 (other values
// do not count as overrides).
int32_t CellsHaveNoOverrides(ObjectId document, ObjectId table) {
  for (ObjectId row = HostGetIdProp(document, table, kPropFirstRow); row != 0;
       row = HostGetIdProp(document, row, kPropNextRow)) {
    for (ObjectId cell = HostGetIdProp(document, row, kPropFirstCell); cell != 0;
         cell = HostGetIdProp(document, cell, kPropNextCell)) {
      for (int32_t flag : kCellOverrideFlags) {
        if (HostGetIntProp(document, cell, flag) == 1) return 0;
      }
    }
  }
  return 1;
}

void ClearCellOverrides(ObjectId document, ObjectId table) {
  for (ObjectId row = HostGetIdProp(document, table, kPropFirstRow); row != 0;
       row = HostGetIdProp(document, row, kPropNextRow)) {
    for (ObjectId cell = HostGetIdProp(document, row, kPropFirstCell); cell != 0;
         cell = HostGetIdProp(document, cell, kPropNextCell)) {
      for (int32_t flag : kCellOverrideFlags) HostSetIntProp(document, cell, flag, 0);
    }
  }
}

void RemoveOverridesWork(ObjectId document, void* /*context*/) { RemoveOverridesInDocument(document); }

// Selects the whole first paragraph of the table's first cell and lets the
// host show it.
void SelectTable(ObjectId document, ObjectId table) {
  ObjectId row = HostGetIdProp(document, table, kPropFirstRow);
  ObjectId cell = HostGetIdProp(document, row, kPropFirstCell);
  ObjectId paragraph = HostGetIdProp(document, cell, kPropFirstParagraph);
  TextRange range = {{paragraph, 0}, {paragraph, kTextOffsetEnd}};
  HostSetTextRangeProp(0, document, kPropSelection, &range);
  int32_t code = kCommandCodeShowSelection;
  HostRunCommandCodes(1, &code);
}

}  // namespace

int32_t TableMatchesFormat(ObjectId document, ObjectId table) {
  uint32_t failuresBefore = HostFailureCount();
  char* tag = HostGetStringProp(document, table, kPropTag);
  ObjectId format = HostGetNamedObject(document, kObjectTypeTableFormat, tag);
  MemFree(tag);
  if (format == 0) return 0;
  // Each property is read from the format first, then from the table (the
  // operands of != would leave that order to the compiler).
  for (int32_t code : kComparedInts) {
    int32_t formatValue = HostGetIntProp(document, format, code);
    if (HostGetIntProp(document, table, code) != formatValue) return 0;
  }
  for (int32_t code : kComparedMetrics) {
    Metric formatValue = HostGetMetricProp(document, format, code);
    if (HostGetMetricProp(document, table, code) != formatValue) return 0;
  }
  for (int32_t code : kComparedIds) {
    ObjectId formatValue = HostGetIdProp(document, format, code);
    if (HostGetIdProp(document, table, code) != formatValue) return 0;
  }
  if (!CellsHaveNoOverrides(document, table)) return 0;
  // A value the host failed to give may hide a difference: such a table is
  // not known to match.
  return HostFailureCount() == failuresBefore ? 1 : 0;
}

void RemoveOverridesInDocument(ObjectId document) {
  int32_t saved = 0;
  int32_t began = BeginBulkEdit(document, &saved);
  for (ObjectId table = HostGetIdProp(0, document, kPropFirstTable); table != 0;
       table = HostGetIdProp(document, table, kPropNextTable)) {
    uint32_t failuresBefore = HostFailureCount();
    char* tag = HostGetStringProp(document, table, kPropTag);
    if (HostFailureCount() == failuresBefore) ApplyTableFormat(document, table, tag);
    MemFree(tag);
    ClearCellOverrides(document, table);
  }
  EndBulkEdit(document, began, saved);
}

// Command 8.
void RemoveTableOverrides(ObjectId document, ObjectId /*book*/) {
  if (!AskUser(kRemoveQuestion, 1)) return;
  RemoveOverridesInDocument(document);
}

// Command 18.
void RemoveTableOverridesBook(ObjectId /*document*/, ObjectId book) {
  if (!AskUser(kRemoveBookQuestion, 1)) return;
  ProcessBookDocuments(book, kProcessingPrefix, RemoveOverridesWork, NULL);
}

// Command 9. The host's selection is the only memory between two runs: the
// search starts after the selected table and never wraps around.
void FindNextTableOverride(ObjectId document, ObjectId /*book*/) {
  ObjectId selected = HostGetIdProp(0, document, kPropSelectedTable);
  ObjectId table = selected != 0 ? HostGetIdProp(document, selected, kPropNextTable)
                                 : HostGetIdProp(0, document, kPropFirstTable);
  for (; table != 0; table = HostGetIdProp(document, table, kPropNextTable)) {
    if (!TableMatchesFormat(document, table)) {
      SelectTable(document, table);
      return;
    }
  }
  HostAlert(kEndOfDocument, 2);
}
