// The table tag report (commands 11 and 19): the properties of table formats
// written out in words into the report document.
#ifndef GRIDWRIGHT_COMMANDS_TAG_REPORT_H
#define GRIDWRIGHT_COMMANDS_TAG_REPORT_H

#include "host/fm_api.h"

struct StrList;

// The value text of a property line whose value the host failed to give.
extern const char kReportValueUnknown[];  // "Unknown"

// A fresh list (capacity 1, growth step 1) of the names of the document's table
// formats, sorted byte-wise (capitals before small letters). A name that
// cannot be appended is reported on the console ("Couldn't allocate string
// list memory\n") and left out. *failed is set to 1 when the host failed while
// the names were read (the list may then be short), else 0. NULL when the list
// itself cannot be made. The caller frees it with StrListFree.
StrList* CollectFormatNames(ObjectId document, int32_t* failed);

// Appends the "Basic", "Indents", "Space", "Default Cell Margins", "Ruling"
// and "Shading" sections of one table format of document to the report
// document: 42 paragraphs, "Heading2" headings and "Body" property lines.
// Returns the number of paragraphs that could not be written in full (a value
// the host failed to give, written as "Unknown", or a failed append); 0 when
// the whole section was written.
int32_t WriteTableFormatReport(ObjectId document, ObjectId format, ObjectId report);

// ---- Property lines ----------------------------------------------------------------------
// Each appends one "Body" paragraph: label, ": ", the value text and a blank
// (metric lines: a blank and the unit word instead). Each returns 0, or -1
// when the value could not be read (the line then shows "Unknown") or the
// paragraph could not be appended.

int32_t ReportTextLine(const char* label, const char* value, ObjectId report);
// "True" for exactly 1, "False" for anything else.
int32_t ReportBoolLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report);
// Signed decimal, cut to at most 8 characters.
int32_t ReportIntLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report);
// The metric in the document's display unit (property 396) with two decimals
// and "points" (unit of exactly one point) or "Q". A display unit of 0, or one
// the host failed to give, is taken as one point, so lengths are shown in
// points rather than stopping the plug-in.
int32_t ReportMetricLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report);
// The name (string property 20) of the object the property names, or "None".
int32_t ReportObjectNameLine(ObjectId document, ObjectId object, int32_t code, const char* label,
                             ObjectId report);

// ---- Value words -----------------------------------------------------------------------------

// The words of the enumerated properties 1282, 1283, 1288, 1289 and 1300 and
// of the tints 1296, 1298 and 1302; "As Is" for any value without a word
// (negative values included). NULL for a property without words.
const char* ReportValueWord(int32_t code, int32_t value);

#endif  // GRIDWRIGHT_COMMANDS_TAG_REPORT_H
