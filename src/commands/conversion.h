// Reading back the tag list and the conversion list that the user edited,
// deleting the table formats a tag list does not name, re-tagging tables from
// a conversion list, and giving one table the properties of a table format.
#ifndef GRIDWRIGHT_COMMANDS_CONVERSION_H
#define GRIDWRIGHT_COMMANDS_CONVERSION_H

#include "host/fm_api.h"

struct StrList;

// The texts that open the first cell of the two kinds of list table.
extern const char kTagListHeader[];         // "Tags to Keep"
extern const char kConversionListHeader[];  // "Source Tag"

// ---- Finding a list ---------------------------------------------------------------------

// The first open document (in the host's list of open documents) that holds a
// table whose first cell's first paragraph begins with header (case-sensitive
// prefix test); 0 when there is none. Tables without rows are skipped.
ObjectId FindListDocument(const char* header);

// The first such table of document, in document order; 0 when there is none.
ObjectId FindListTable(ObjectId document, const char* header);

// ---- Paragraph text -----------------------------------------------------------------------

// The text of a paragraph (its string items joined in order) as a fresh string
// the caller frees with MemFree; NULL when the paragraph has no string item,
// when the host fails, or when memory is short.
char* ParagraphText(ObjectId document, ObjectId paragraph);

// The strings of the items of kind 1 joined in order, as a fresh string the
// caller frees with MemFree; NULL when there is no such item or memory is short.
char* JoinStringItems(uint32_t count, const TextItem* items);

// ---- Reading a list -------------------------------------------------------------------------

// Appends the first-column text of every row of the list table, heading row
// included, to sources ("" for an empty cell), and when destinations is not
// NULL the second-column text of the same row to destinations. Returns 0, or
// -1 when any host operation failed while reading or memory ran short: the
// lists then hold an incomplete list, which callers must not act on.
int32_t ReadListTable(ObjectId listDocument, ObjectId listTable, StrList* sources, StrList* destinations);

// ---- Acting on a list ------------------------------------------------------------------------

// Deletes every table format of document whose name no row of the tag list
// names (whole name, case-sensitive; the heading row counts as a row). A format
// whose name cannot be read is kept. Returns 0, or -1 when the list could not
// be read in full; nothing is deleted then.
int32_t KeepListedFormats(ObjectId document, ObjectId listDocument, ObjectId listTable);

// KeepListedFormats with a list already read: names is the first column.
void KeepNamedFormats(ObjectId document, const StrList* names);

// Gives every table of document whose tag equals a source cell of the
// conversion list the table format named in the destination cell of the first
// such row; an empty destination or one that names no format leaves the table
// alone. The document's bulk-edit flag is 1 meanwhile and restored afterwards.
// Returns 0, or -1 when the list could not be read in full; nothing changes then.
int32_t ApplyConversionList(ObjectId document, ObjectId listDocument, ObjectId listTable);

// ApplyConversionList with a list already read (two columns of equal length).
void ApplyConversionPairs(ObjectId document, const StrList* sources, const StrList* destinations);

// ---- The bulk-edit flag -----------------------------------------------------------------------

// Reads the document's bulk-edit flag into *saved and sets it to 1. Returns 1
// when the flag was read, 0 when the host failed to read it: the flag is then
// left alone, since restoring a value that was never read would change it.
int32_t BeginBulkEdit(ObjectId document, int32_t* saved);

// Writes saved back to the bulk-edit flag when began is 1.
void EndBulkEdit(ObjectId document, int32_t began, int32_t saved);

// ---- Applying a table format -------------------------------------------------------------------

// Copies the format-level properties of the document's table format named
// formatName to table, one property at a time in a fixed order, the tag
// included, and applies the format's title paragraph format to the table's
// title. Rows, cells and column widths are not touched. Nothing happens when
// the document has no format of that name; a property the host fails to read
// from the format is left as the table has it.
void ApplyTableFormat(ObjectId document, ObjectId table, const char* formatName);

#endif  // GRIDWRIGHT_COMMANDS_CONVERSION_H
