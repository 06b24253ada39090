// The tag list and the conversion list: tables of table format names written
// into the report document for the user to edit, and read back later by
// Remove Non-list Table Tags and Convert Tables.
#ifndef GRIDWRIGHT_COMMANDS_LISTS_H
#define GRIDWRIGHT_COMMANDS_LISTS_H

#include <stdint.h>

#include "host/fm_api.h"

// Writes a list table at the insertion point of the report document, for
// command 5 or 14 (the one-column tag list, heading "Tags to Keep") or 7 or 16
// (the two-column conversion list, headings "Source Tag" and "Destination
// Tag"). The user first chooses the list type: "Empty" (10 empty body rows),
// "Table Tags in Use" (one row per used tag) or "All Table Tags" (the used
// tags, then the unused ones). Commands 5 and 7 collect the tags of document,
// 14 and 16 those of every document of book. The table is made from "Format
// A", has one heading row and no title, and its columns are 144 pt wide.
//
// Nothing is written when the user cancels the prompt, when the tags could not
// all be read (the user is warned: a list missing a used tag would later
// delete that format), when no report document can be opened or created (the
// user is warned), or when the report document has no insertion point (no
// message). Other command numbers do nothing.
void CreateListDocument(int32_t commandNumber, ObjectId document, ObjectId book);

#endif  // GRIDWRIGHT_COMMANDS_LISTS_H
