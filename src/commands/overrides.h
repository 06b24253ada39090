// Table overrides: whether a table still matches its table format, giving
// tables their format's properties again (commands 8 and 18), and stepping to
// the next table that overrides its format (command 9).
#ifndef GRIDWRIGHT_COMMANDS_OVERRIDES_H
#define GRIDWRIGHT_COMMANDS_OVERRIDES_H

#include "host/fm_api.h"

// 1 when the document has a table format named like the table's tag, the
// table equals it in every compared property (integers, metrics to the unit,
// ruling and colour ids) and no cell of the table has an override flag of 1;
// otherwise 0. The compared set is its own: it is not the set ApplyTableFormat
// copies (it compares the metrics 581-584, leaves out the column rulings 1309
// and 1314, the tag and the title, and adds the cell flags).
int32_t TableMatchesFormat(ObjectId document, ObjectId table);

// Gives every table of the document the properties of its own format again
// (ApplyTableFormat) and clears the six override flags of every cell, with the
// bulk-edit flag set meanwhile and restored afterwards.
void RemoveOverridesInDocument(ObjectId document);

#endif  // GRIDWRIGHT_COMMANDS_OVERRIDES_H
