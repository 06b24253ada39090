// The table tag report: commands 11 and 19, WriteTableFormatReport and the
// property line writers.
#include "commands/tag_report.h"

#include "commands/commands.h"
#include "commands/report_documents.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/fixed_point.h"
#include "support/format.h"
#include "support/memory.h"
#include "support/str_list.h"
#include "support/strings.h"
#include "support/text_encoding.h"

const char kReportValueUnknown[] = "Unknown";

namespace {

const char kHeading1[] = "Heading1";
const char kHeading2[] = "Heading2";
const char kBody[] = "Body";
const char kChooseTitle[] = "Choose a table tag.";
const char kIncompleteMessage[] =
    "The table tag report is incomplete: some table format properties could not be read or written.\n";
const char kNoReportMessage[] = "The table tag report could not be written: no report document.\n";

// Room of an integer line's value: longer decimal forms are cut.
const size_t kIntTextSize = 8 + 1;

const char* const kAlignmentWords[] = {"Left", "Center", "Right"};
const char* const kStartWords[] = {"Anywhere",         "Top of Column",     "Top of Page",
                                   "Top of Left Page", "Top of Right Page", "Float"};
const char* const kNumberingWords[] = {"Row First", "Column First"};
const char* const kTitlePositionWords[] = {"No Title", "Above Table", "Below Table"};
const char* const kShadeByWords[] = {"Body Row(s)", "Column(s)"};
// Tints 8 to 14 have no word.
const char* const kTintWords[] = {"100%", "90%", "70%", "50%", "30%", "10%", "3%", "White",
                                  NULL,   NULL,  NULL,  NULL,  NULL,  NULL,  NULL, "None"};
const char kAsIs[] = "As Is";

#define WORDS(array) array, sizeof(array) / sizeof(array[0])

enum ReportRowKind { kRowHeading, kRowEnum, kRowInt, kRowMetric, kRowName, kRowBool };

struct ReportRow {
  ReportRowKind kind;
  const char* label;
  int32_t code;
};

// The 42 paragraphs of one table format's report, in order.
const ReportRow kReportRows[] = {
    {kRowHeading, "Basic", 0},
    {kRowEnum, "Alignment", 1282},
    {kRowEnum, "Start", 1283},
    {kRowEnum, "Numbering", 1288},
    {kRowInt, "Orphan Rows", 1291},
    {kRowEnum, "Title Position", 1289},
    {kRowMetric, "Table Title Gap", 1290},
    {kRowHeading, "Indents", 0},
    {kRowMetric, "Left", 1278},
    {kRowMetric, "Right", 1279},
    {kRowHeading, "Space", 0},
    {kRowMetric, "Above", 1280},
    {kRowMetric, "Below", 1281},
    {kRowHeading, "Default Cell Margins", 0},
    {kRowMetric, "Top", 1315},
    {kRowMetric, "Bottom", 1316},
    {kRowMetric, "Left", 1317},
    {kRowMetric, "Right", 1318},
    {kRowHeading, "Ruling", 0},
    {kRowInt, "Column Ruling Period", 1293},
    {kRowName, "Column Ruling Style", 1309},
    {kRowName, "Other Column Ruling Style", 1314},
    {kRowInt, "Body Row Ruling Period", 1294},
    {kRowName, "Body Row Ruling Style", 1310},
    {kRowName, "Other Body Row Ruling Style", 1313},
    {kRowName, "Heading and Footing Separators", 1311},
    {kRowName, "Heading and Footing Rows", 1312},
    {kRowName, "Outside Top Ruling", 1305},
    {kRowName, "Outside Bottom Ruling", 1306},
    {kRowName, "Outside Left Ruling", 1307},
    {kRowName, "Outside Right Ruling", 1308},
    {kRowBool, "Draw Bottom Ruling on Last Sheet Only", 1295},
    {kRowHeading, "Shading", 0},
    {kRowEnum, "Heading and Footing Fill", 1296},
    {kRowName, "Heading and Footing Fill Color", 1297},
    {kRowEnum, "Shade By", 1300},
    {kRowInt, "First", 1301},
    {kRowEnum, "Fill", 1298},
    {kRowName, "Color", 1299},
    {kRowInt, "Next", 1303},
    {kRowEnum, "Fill", 1302},
    {kRowName, "Color", 1304},
};
static_assert(sizeof(kReportRows) / sizeof(kReportRows[0]) == 42, "42 report paragraphs");

// value as an index into words (compared unsigned, so negative values have
// no word); "As Is" when there is none.
const char* WordOf(const char* const* words, uint32_t count, int32_t value) {
  uint32_t index = static_cast<uint32_t>(value);
  if (index < count && words[index] != NULL) return words[index];
  return kAsIs;
}

// Appends one paragraph and tells whether the host took it.
int32_t AppendParagraph(ObjectId report, const char* text, const char* formatName) {
  uint32_t failuresBefore = HostFailureCount();
  AppendReportParagraph(report, text, formatName);
  return HostFailureCount() == failuresBefore ? 0 : -1;
}

// Writes label, ": ", value and ending as one "Body" paragraph. Returns 0, or
// -1 when memory ran short or the append failed.
int32_t WriteLine(const char* label, const char* value, const char* ending, ObjectId report) {
  char* text = StrNew(StrLen(label) + 2 + StrLen(value) + StrLen(ending));
  if (text == NULL) return -1;
  StrAppend(text, label);
  StrAppend(text, ": ");
  StrAppend(text, value);
  StrAppend(text, ending);
  int32_t result = AppendParagraph(report, text, kBody);
  MemFree(text);
  return result;
}

// A line whose value the host failed to give.
int32_t WriteUnknownLine(const char* label, ObjectId report) {
  ReportTextLine(label, kReportValueUnknown, report);
  return -1;
}

int32_t ReportEnumLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report) {
  uint32_t failuresBefore = HostFailureCount();
  int32_t value = HostGetIntProp(document, object, code);
  if (HostFailureCount() != failuresBefore) return WriteUnknownLine(label, report);
  return ReportTextLine(label, ReportValueWord(code, value), report);
}

// A failed append to the name list, told through the formatted-message routine.
void WriteListMemoryMessage() { ConsolePrintf(NULL, "Couldn't allocate string list memory\n"); }

// The names the user picks from, as the host's string list. Returns 0 with
// *choices filled (free with FreeChoices), -1 when memory is short.
int32_t MakeChoices(const StrList* names, StringList* choices) {
  uint32_t count = StrListCount(names);
  choices->count = 0;
  choices->strings = static_cast<char**>(MemAllocZeroed(count > 0 ? count : 1, sizeof(char*), 0));
  if (choices->strings == NULL) return -1;
  choices->count = count;
  for (uint32_t i = 0; i < count; i++) {
    choices->strings[i] = StrDup(StrListGet(names, i));
    if (choices->strings[i] == NULL) return -1;
  }
  return 0;
}

void FreeChoices(StringList* choices) {
  if (choices->strings != NULL) {
    for (uint32_t i = 0; i < choices->count; i++) MemFree(choices->strings[i]);
  }
  MemFree(choices->strings);
  choices->strings = NULL;
  choices->count = 0;
}

}  // namespace

// ---- Value words -----------------------------------------------------------------------------

const char* ReportValueWord(int32_t code, int32_t value) {
  switch (code) {
    case 1282: return WordOf(WORDS(kAlignmentWords), value);
    case 1283: return WordOf(WORDS(kStartWords), value);
    case 1288: return WordOf(WORDS(kNumberingWords), value);
    case 1289: return WordOf(WORDS(kTitlePositionWords), value);
    case 1300: return WordOf(WORDS(kShadeByWords), value);
    case 1296:
    case 1298:
    case 1302: return WordOf(WORDS(kTintWords), value);
    default: return NULL;
  }
}

// ---- Property lines ----------------------------------------------------------------------

int32_t ReportTextLine(const char* label, const char* value, ObjectId report) {
  return WriteLine(label, value, " ", report);
}

int32_t ReportBoolLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report) {
  uint32_t failuresBefore = HostFailureCount();
  int32_t value = HostGetIntProp(document, object, code);
  if (HostFailureCount() != failuresBefore) return WriteUnknownLine(label, report);
  return ReportTextLine(label, value == 1 ? "True" : "False", report);
}

int32_t ReportIntLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report) {
  uint32_t failuresBefore = HostFailureCount();
  int32_t value = HostGetIntProp(document, object, code);
  if (HostFailureCount() != failuresBefore) return WriteUnknownLine(label, report);
  char text[kIntTextSize] = "";
  StrAppendInt(text, value, sizeof(text));
  return ReportTextLine(label, text, report);
}

int32_t ReportMetricLine(ObjectId document, ObjectId object, int32_t code, const char* label, ObjectId report) {
  uint32_t failuresBefore = HostFailureCount();
  Metric value = HostGetMetricProp(document, object, code);
  if (HostFailureCount() != failuresBefore) return WriteUnknownLine(label, report);
  Metric unit = HostGetMetricProp(document, document, kPropDisplayUnit);
  int32_t unitKnown = HostFailureCount() == failuresBefore;
  // A unit of 0 would stop the plug-in in the division; no document shows
  // lengths in a unit of nothing, so such a unit is taken as one point.
  if (!unitKnown || unit == 0) unit = kMetricOne;
  double number = MetricToFloat(MetricDiv(value, unit));
  char text[64];
  FormatToBuffer(text, "%.2f", number);
  int32_t result = WriteLine(label, text, unit == kMetricOne ? " points" : " Q", report);
  return unitKnown ? result : -1;
}

int32_t ReportObjectNameLine(ObjectId document, ObjectId object, int32_t code, const char* label,
                             ObjectId report) {
  uint32_t failuresBefore = HostFailureCount();
  ObjectId named = HostGetIdProp(document, object, code);
  if (HostFailureCount() != failuresBefore) return WriteUnknownLine(label, report);
  // Id 0 is no ruling or colour at all: its name is empty.
  char* name = named != 0 ? HostGetStringProp(document, named, kPropName) : NULL;
  if (HostFailureCount() != failuresBefore) {
    MemFree(name);
    return WriteUnknownLine(label, report);
  }
  int32_t result = ReportTextLine(label, StrEqual(name, "") ? "None" : name, report);
  MemFree(name);
  return result;
}

// ---- One table format ----------------------------------------------------------------------

int32_t WriteTableFormatReport(ObjectId document, ObjectId format, ObjectId report) {
  int32_t incomplete = 0;
  for (const ReportRow& row : kReportRows) {
    int32_t result = 0;
    switch (row.kind) {
      case kRowHeading: result = AppendParagraph(report, row.label, kHeading2); break;
      case kRowEnum: result = ReportEnumLine(document, format, row.code, row.label, report); break;
      case kRowInt: result = ReportIntLine(document, format, row.code, row.label, report); break;
      case kRowMetric: result = ReportMetricLine(document, format, row.code, row.label, report); break;
      case kRowName: result = ReportObjectNameLine(document, format, row.code, row.label, report); break;
      case kRowBool: result = ReportBoolLine(document, format, row.code, row.label, report); break;
    }
    if (result != 0) incomplete++;
  }
  return incomplete;
}

// ---- The name list ---------------------------------------------------------------------------

StrList* CollectFormatNames(ObjectId document, int32_t* failed) {
  *failed = 0;
  StrList* names = StrListNew(1, 1);
  if (names == NULL) return NULL;
  uint32_t failuresBefore = HostFailureCount();
  for (ObjectId format = HostGetIdProp(0, document, kPropFirstTableFormat); format != 0;
       format = HostGetIdProp(document, format, kPropNextTableFormat)) {
    uint32_t failuresBeforeName = HostFailureCount();
    char* name = HostGetStringProp(document, format, kPropTag);
    if (HostFailureCount() != failuresBeforeName) {
      MemFree(name);
      continue;  // counted below; not a memory shortage
    }
    if (StrListAppend(names, name != NULL ? name : "") != 0) WriteListMemoryMessage();
    MemFree(name);
  }
  if (HostFailureCount() != failuresBefore) *failed = 1;
  StrListSort(names, StrListCompare);
  return names;
}

// ---- Commands ----------------------------------------------------------------------------------

// Command 11: every table format of the document, each followed by an empty
// "Body" paragraph.
void GenerateTableTagReport(ObjectId document, ObjectId /*book*/) {
  if (document == 0) return;
  int32_t failed = 0;
  StrList* names = CollectFormatNames(document, &failed);
  if (names == NULL) {
    WriteListMemoryMessage();
    return;
  }
  ObjectId report = OpenReportDocument();
  if (report == 0) {
    ConsoleWrite(kNoReportMessage);
    StrListFree(names);
    return;
  }
  int32_t incomplete = failed;
  for (uint32_t i = 0; i < StrListCount(names); i++) {
    const char* name = StrListGet(names, i);
    ObjectId format = HostGetNamedObject(document, kObjectTypeTableFormat, name);
    if (format == 0) continue;
    if (AppendParagraph(report, name, kHeading1) != 0) incomplete++;
    incomplete += WriteTableFormatReport(document, format, report);
    if (AppendParagraph(report, "", kBody) != 0) incomplete++;
  }
  if (incomplete != 0) ConsoleWrite(kIncompleteMessage);
  StrListFree(names);
}

// Command 19: one table format picked from the sorted names; no separator.
void GenerateTableTagReportSingle(ObjectId document, ObjectId /*book*/) {
  if (document == 0) return;
  int32_t failed = 0;
  StrList* names = CollectFormatNames(document, &failed);
  if (names == NULL) {
    WriteListMemoryMessage();
    return;
  }
  StringList choices = {0, NULL};
  int32_t chosen = -1;
  if (MakeChoices(names, &choices) != 0 ||
      HostScrollListPrompt(&chosen, kChooseTitle, &choices, 0) != 0 || chosen < 0 ||
      static_cast<uint32_t>(chosen) >= StrListCount(names)) {
    FreeChoices(&choices);
    StrListFree(names);
    return;
  }
  FreeChoices(&choices);
  ObjectId report = OpenReportDocument();
  if (report == 0) {
    ConsoleWrite(kNoReportMessage);
    StrListFree(names);
    return;
  }
  const char* name = StrListGet(names, static_cast<uint32_t>(chosen));
  ObjectId format = HostGetNamedObject(document, kObjectTypeTableFormat, name);
  if (format != 0) {
    int32_t incomplete = AppendParagraph(report, name, kHeading1) != 0 ? 1 : 0;
    incomplete += WriteTableFormatReport(document, format, report);
    if (incomplete != 0) ConsoleWrite(kIncompleteMessage);
  }
  StrListFree(names);
}
