// Fix Table Headings (command 1).
#include "commands/headings.h"

#include "commands/commands.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/text_encoding.h"

namespace {

constexpr int32_t kNoPageType = 19;
constexpr int32_t kBodyPageType = 5;
constexpr int32_t kSkippedPageType = 7;

constexpr int32_t kAddHeadingRows = 1238;
// Rows of the reference row's kind, added above it: how a cut row goes back.
constexpr int32_t kAddRowsAbove = 1236;

int32_t ObjectTypeOf(ObjectId object) { return static_cast<int32_t>(object >> 24); }

// Selects every cell of the table's first row; the column count is read anew
// each time, since the table may have changed in between. Returns 0, or
// non-zero when the count could not be read or the host refused the selection.
int32_t SelectFirstRow(ObjectId document, ObjectId table) {
  uint32_t failures = HostFailureCount();
  int32_t columns = HostGetIntProp(document, table, kPropColumnCount);
  if (HostFailureCount() != failures || columns < 1) return -1;
  return HostSelectTableCells(document, table, 0, 0, 0, columns - 1);
}

// The table's first row, or 0 when it cannot be read.
ObjectId FirstRowOf(ObjectId document, ObjectId table) {
  uint32_t failures = HostFailureCount();
  ObjectId row = HostGetIdProp(document, table, kPropFirstRow);
  return HostFailureCount() != failures ? 0 : row;
}

// After the first row was cut and the fix could not be finished: removes the
// heading row the fix added (when headingAdded; it is the first row) and
// pastes the cut row back as the table's first row. Returns 0 when the table
// is as it was.
int32_t PutCutRowBack(ObjectId document, ObjectId table, int32_t headingAdded) {
  if (headingAdded) {
    ObjectId added = FirstRowOf(document, table);
    if (added == 0 || HostDeleteObject(document, added) != 0) return -1;
  }
  ObjectId firstRow = FirstRowOf(document, table);
  if (firstRow == 0 || HostAddRows(document, firstRow, kAddRowsAbove, 1) != 0) return -1;
  if (SelectFirstRow(document, table) != 0) return -1;
  return HostPaste(document, kPasteOverRows);
}

// Tells the console why a fix stopped after the cut, and whether the table
// could be put back as it was.
void ReportUnfinishedFix(const char* why, int32_t putBack) {
  ConsoleWrite("Could not fix the table heading: ");
  ConsoleWrite(why);
  ConsoleWrite(putBack == 0 ? "; the row was put back.\n" : "; the cut row is on the clipboard.\n");
}

}  // namespace

int32_t PageTypeOf(ObjectId document, ObjectId object) {
  int32_t type = kNoPageType;
  if (object == 0) return type;
  for (int32_t step = 0; step < kPageClimbLimit; ++step) {
    if (type == 6 || type == 7 || type == 8) return type;
    ObjectId holder = HostGetIdProp(document, object, kPropParentFrame);
    if (holder == 0) holder = HostGetIdProp(document, object, kPropFramePage);
    if (holder == 0) return type;
    type = ObjectTypeOf(holder);
    object = holder;
    if (type == kBodyPageType) return type;
  }
  return kNoPageType;
}

void FixTableHeading(ObjectId document, ObjectId table) {
  TextLoc anchor = HostGetTextLocProp(document, table, kPropAnchor);
  ObjectId frame = HostGetIdProp(document, anchor.object, kPropParagraphFrame);
  if (PageTypeOf(document, frame) == kSkippedPageType) return;

  ObjectId row = HostGetIdProp(document, table, kPropFirstRow);
  if (row == 0 || HostGetIntProp(document, row, kPropRowKind) == kRowKindHeading) return;

  ObjectId cell = HostGetIdProp(document, row, kPropFirstCell);
  ObjectId paragraph = HostGetIdProp(document, cell, kPropFirstParagraph);
  TextRange start = {{paragraph, 0}, {paragraph, 0}};
  HostSetTextRangeProp(0, document, kPropSelection, &start);
  HostScrollToText(document, &start);
  SelectFirstRow(document, table);
  if (!AskUser("Fix this table heading?", kAlertYesNo)) return;

  // Pasting after a failed cut would put stale clipboard contents into the
  // table, and pasting after a failed row insertion or selection would
  // overwrite another row; so each step is checked, and once the row is cut
  // a fix that cannot be finished puts it back.
  if (SelectFirstRow(document, table) != 0) {
    ConsoleWrite("Could not fix the table heading: the first row could not be selected.\n");
    return;
  }
  if (HostCut(document, kCutTableRows) != 0) {
    ConsoleWrite("Could not fix the table heading: the first row could not be cut.\n");
    return;
  }
  ObjectId firstRow = FirstRowOf(document, table);
  if (firstRow == 0 || HostAddRows(document, firstRow, kAddHeadingRows, 1) != 0) {
    ReportUnfinishedFix("no heading row could be added", PutCutRowBack(document, table, 0));
    return;
  }
  if (SelectFirstRow(document, table) != 0 || HostPaste(document, kPasteOverRows) != 0) {
    ReportUnfinishedFix("the cut row could not be pasted", PutCutRowBack(document, table, 1));
  }
}

void FixTableHeadingsDoc(ObjectId document, ObjectId /*book*/) {
  ObjectId table = HostGetIdProp(0, document, kPropFirstTable);
  while (table != 0) {
    FixTableHeading(document, table);
    table = HostGetIdProp(document, table, kPropNextTable);
  }
}
