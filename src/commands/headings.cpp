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

int32_t ObjectTypeOf(ObjectId object) { return static_cast<int32_t>(object >> 24); }

// Selects every cell of the table's first row; the column count is read anew
// each time, since the table may have changed in between.
void SelectFirstRow(ObjectId document, ObjectId table) {
  int32_t columns = HostGetIntProp(document, table, kPropColumnCount);
  HostSelectTableCells(document, table, 0, 0, 0, columns - 1);
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
  // table, and pasting after a failed row insertion would overwrite the next
  // body row; so the fix stops at the first of those failures.
  SelectFirstRow(document, table);
  if (HostCut(document, kCutTableRows) != 0) {
    ConsoleWrite("Could not fix the table heading: the first row could not be cut.\n");
    return;
  }
  ObjectId firstRow = HostGetIdProp(document, table, kPropFirstRow);
  if (HostAddRows(document, firstRow, kAddHeadingRows, 1) != 0) {
    ConsoleWrite("Could not fix the table heading: no heading row could be added; the cut row is on the "
                 "clipboard.\n");
    return;
  }
  SelectFirstRow(document, table);
  if (HostPaste(document, kPasteOverRows) != 0) {
    ConsoleWrite("Could not fix the table heading: the cut row could not be pasted; it is on the clipboard.\n");
  }
}

void FixTableHeadingsDoc(ObjectId document, ObjectId /*book*/) {
  ObjectId table = HostGetIdProp(0, document, kPropFirstTable);
  while (table != 0) {
    FixTableHeading(document, table);
    table = HostGetIdProp(document, table, kPropNextTable);
  }
}
