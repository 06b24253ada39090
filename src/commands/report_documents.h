// Report documents (open or create KVOutput.fm, append formatted paragraphs),
// display names of documents and books, and the walks over a book's
// document components that book commands share.
#ifndef GRIDWRIGHT_COMMANDS_REPORT_DOCUMENTS_H
#define GRIDWRIGHT_COMMANDS_REPORT_DOCUMENTS_H

#include "host/fm_api.h"

// ---- Report documents ----------------------------------------------------------------------

// Opens HOME\KVOutput.fm, or creates a new untitled custom document when it
// cannot be opened. Returns the document id, 0 when neither worked.
ObjectId OpenReportDocument(void);

// Appends one paragraph holding text at the end of the report document and
// gives it the named paragraph format (formatName may be NULL).
void AppendReportParagraph(ObjectId report, const char* text, const char* formatName);

// Gives paragraph the properties of the document's paragraph format of that
// name, unless there is no such format or the paragraph's property 588 is set.
void ApplyParagraphFormat(ObjectId document, ObjectId paragraph, const char* formatName);

// Fresh strings the caller frees with MemFree. DocumentDisplayName falls back
// to "Untitled"; BookDisplayName returns NULL when the book has no file name.
char* DocumentDisplayName(ObjectId document);
char* BookDisplayName(ObjectId book);

// ---- Book walks ---------------------------------------------------------------------------

// The command's work on one open document of the book.
typedef void (*WalkWork)(ObjectId document, void* context);

// Opens each document component of the book in book order (depth-first
// through groups), shows "Examining: " and the file name in the book's
// status line, runs work, and closes the document without saving. A document
// the user already had open before it was reached is left open. A document
// that does not open is named on the host console ("Could not open file:")
// and gets no work. A book whose components cannot be read to the end (the
// host fails to answer a link) is not walked further; the console says after
// which document it stopped. Returns the number of documents that did not
// open plus 1 for a walk cut short: 0 only when every document was worked on.
int32_t ExamineBookDocuments(ObjectId book, WalkWork work, void* context);

// Like ExamineBookDocuments with the given status prefix, but saves each
// document under its own path after the work, then closes it (documents the
// user had open stay open, saved). A save that fails leaves the document open
// and is named on the console ("Could not save file:"). So does work during
// which a host operation failed or memory ran short: the half-done document is
// not saved ("Could not finish the work on file:"). Returns the number of
// documents that did not open, were not finished or did not save, plus 1 for
// a walk cut short.
int32_t ProcessBookDocuments(ObjectId book, const char* statusPrefix, WalkWork work, void* context);

#endif  // GRIDWRIGHT_COMMANDS_REPORT_DOCUMENTS_H
