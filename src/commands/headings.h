// Fix Table Headings: turning a table's body first row into a heading row,
// and the climb from a frame to the page that holds it.
#ifndef GRIDWRIGHT_COMMANDS_HEADINGS_H
#define GRIDWRIGHT_COMMANDS_HEADINGS_H

#include "host/fm_api.h"

// The object type (the top 8 bits of the id) of the page that holds object,
// found by climbing from frame to parent frame to page: 5, 6, 7 or 8 for a
// page; otherwise the type of the last object reached when the chain ends, or
// 19 (no page type) for object 0. A chain that never ends (a cycle in the
// host's answers) also gives 19 after kPageClimbLimit steps.
int32_t PageTypeOf(ObjectId document, ObjectId object);

// The number of links PageTypeOf follows at most.
constexpr int32_t kPageClimbLimit = 4096;

// Offers to turn the table's first row into a heading row: scrolls to the
// table, selects its first row and asks "Fix this table heading?". On yes, the
// row is cut, a heading row is added and the cut row is pasted into it.
// Tables on pages of type 7, tables without rows and tables whose first row
// is a heading row are left alone without a question. When the cut or the new
// row fails, the fix stops there (nothing is pasted) and the console says so.
void FixTableHeading(ObjectId document, ObjectId table);

#endif  // GRIDWRIGHT_COMMANDS_HEADINGS_H
