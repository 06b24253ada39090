// Report documents, display names, and the walks over a book's documents.
#include "commands/report_documents.h"

#include "host/host_ops.h"
#include "host/property_codes.h"
#include "host/property_lists.h"
#include "support/memory.h"
#include "support/paths.h"
#include "support/strings.h"
#include "support/text_encoding.h"

namespace {

constexpr const char* kReportFileName = "KVOutput.fm";

// The report document's page: 8 by 11 inches, one column, one-inch margins
// and column gap.
constexpr Metric kReportPageWidth = 0x2400000;
constexpr Metric kReportPageHeight = 0x3180000;
constexpr Metric kReportMargin = 0x480000;

// The open parameters for book documents, (code, value) in the order the
// host receives them.
constexpr int32_t kBookOpenParameters[][2] = {
    {5, 0}, {2, 0}, {3, 1}, {23, 1}, {28, 1}, {22, 1}, {25, 1}, {36, 3}, {24, 11},
};
constexpr uint32_t kBookOpenParameterCount = sizeof kBookOpenParameters / sizeof kBookOpenParameters[0];

// The file name of a host file name, or NULL when it gives no path. Fresh
// string (MemFree).
char* FileNameOf(const char* fileName) {
  PathRecord* path = PathFromString(fileName);
  if (path == nullptr) return nullptr;
  char* name = PathFileName(path);
  PathFree(path);
  return name;
}

// A fresh string (MemFree) of first followed by second; NULL when memory is
// short.
char* Concatenate(const char* first, const char* second) {
  char* text = StrNew(StrLen(first) + StrLen(second));
  if (text == nullptr) return nullptr;
  StrCopy(text, first);
  StrAppend(text, second);
  return text;
}

// The ids of every document open in the host, as a fresh array (MemFree) in
// *ids. Returns the count, or -1 when memory is short or the host could not
// list them all (*ids is then NULL).
int32_t ListOpenDocuments(ObjectId** ids) {
  *ids = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  uint32_t failures = HostFailureCount();
  for (ObjectId document = HostGetIdProp(0, 0, kPropFirstOpenDocument); document != 0;
       document = HostGetIdProp(document, document, kPropNextOpenDocument)) {
    if (count == capacity) {
      capacity = capacity == 0 ? 8 : capacity * 2;
      ObjectId* grown = static_cast<ObjectId*>(MemRealloc(*ids, capacity * sizeof(ObjectId), 0));
      if (grown == nullptr) {
        MemFree(*ids);
        *ids = nullptr;
        return -1;
      }
      *ids = grown;
    }
    (*ids)[count++] = document;
  }
  if (HostFailureCount() != failures) {
    MemFree(*ids);
    *ids = nullptr;
    return -1;
  }
  return static_cast<int32_t>(count);
}

int32_t Contains(const ObjectId* ids, int32_t count, ObjectId id) {
  for (int32_t i = 0; i < count; ++i) {
    if (ids[i] == id) return 1;
  }
  return 0;
}

// Opens a book document with the book open parameters. *wasOpen is set to 1
// when the host handed back a document that was open before the call (and to
// 1 as well when that cannot be told, for lack of memory or because the host
// could not list its open documents, so that nothing the user has open is
// ever closed by a walk).
ObjectId OpenBookDocument(const char* path, int32_t* wasOpen) {
  ObjectId* openBefore = nullptr;
  int32_t openCount = ListOpenDocuments(&openBefore);

  PropEntry entries[kBookOpenParameterCount] = {};
  for (uint32_t i = 0; i < kBookOpenParameterCount; ++i) {
    entries[i].ident.code = kBookOpenParameters[i][0];
    entries[i].value.type = kValueInt;
    entries[i].value.u.intValue = kBookOpenParameters[i][1];
  }
  PropertyList parameters = {kBookOpenParameterCount, entries};
  PropertyList* returned = nullptr;
  ObjectId document = HostOpenDocument(path, &parameters, &returned);
  if (returned != nullptr) FreePropertyList(returned);

  *wasOpen = openCount < 0 ? 1 : Contains(openBefore, openCount, document);
  MemFree(openBefore);
  return document;
}

// Shows prefix and the file name of path in the book's status line.
void ShowStatus(ObjectId book, const char* prefix, const char* path) {
  char* name = FileNameOf(path);
  char* status = Concatenate(prefix, name);
  HostSetStringProp(0, book, kPropStatusLine, status != nullptr ? status : prefix);
  MemFree(status);
  MemFree(name);
}

// An id property of a book component; *failed is set to 1 when the host
// could not answer (an answer of 0 is then not "none").
ObjectId ReadLink(ObjectId book, ObjectId component, int32_t code, int32_t* failed) {
  uint32_t failures = HostFailureCount();
  ObjectId id = HostGetIdProp(book, component, code);
  if (HostFailureCount() != failures) *failed = 1;
  return id;
}

// The next component after component in book order, depth-first: its first
// child (groups only), else its next sibling, else the next sibling of the
// nearest ancestor that has one; 0 at the end of the book. *failed is set to
// 1 when a link could not be read: the 0 returned then is not the end.
ObjectId NextComponent(ObjectId book, ObjectId component, int32_t kind, int32_t* failed) {
  ObjectId next = 0;
  if (kind == kComponentGroup || kind == kComponentFolder) {
    next = ReadLink(book, component, kPropFirstChild, failed);
  }
  if (next == 0 && !*failed) next = ReadLink(book, component, kPropNextComponent, failed);
  while (next == 0 && component != 0 && !*failed) {
    component = ReadLink(book, component, kPropParentComponent, failed);
    if (component != 0 && !*failed) next = ReadLink(book, component, kPropNextComponent, failed);
  }
  return next;
}

// Tells the console that the walk could not read the book's components to the
// end: after the document at lastPath (NULL: before the first document).
void ReportCutShortWalk(const char* lastPath) {
  if (lastPath == nullptr) {
    ConsoleWrite("Could not read the book's components; no document of the book was read.\n");
    return;
  }
  ConsoleWrite("Could not read the book's components after ");
  ConsoleWrite(lastPath);
  ConsoleWrite("; the documents after it were not read.\n");
}

// The walk of both forms; saveAfterWork selects the processing form. Returns
// the number of problems: documents that did not open or did not save, and a
// book whose components could not be read to the end (the walk stops there).
int32_t WalkBook(ObjectId book, const char* statusPrefix, WalkWork work, void* context, int32_t saveAfterWork) {
  int32_t failures = 0;
  char* path = nullptr;  // the last document reached
  int32_t linkFailed = 0;
  ObjectId component = ReadLink(0, book, kPropFirstComponent, &linkFailed);
  while (component != 0 && !linkFailed) {
    uint32_t failuresBefore = HostFailureCount();
    int32_t kind = HostGetIntProp(book, component, kPropComponentKind);
    if (HostFailureCount() != failuresBefore) {
      linkFailed = 1;
      break;
    }
    // The next component is found before any work, which may change the book.
    ObjectId next = NextComponent(book, component, kind, &linkFailed);
    if (kind == kComponentDocument) {
      failuresBefore = HostFailureCount();
      char* name = HostGetStringProp(book, component, kPropFileName);
      if (HostFailureCount() != failuresBefore || name == nullptr || *name == '\0') {
        ConsoleWrite("Could not read the file name of a book component; it was not opened.\n");
        ++failures;
        MemFree(name);
        component = next;
        continue;
      }
      MemFree(path);
      path = name;
      int32_t wasOpen = 0;
      ObjectId document = OpenBookDocument(path, &wasOpen);
      if (document == 0) {
        ConsoleWrite("Could not open file:");
        ConsoleWrite(path);
        ConsoleWrite("\n");
        ++failures;
      }
      ShowStatus(book, statusPrefix, path);
      if (document != 0) {
        uint32_t hostFailures = HostFailureCount();
        uint32_t memoryFailures = MemFailureCount();
        if (work != nullptr) work(document, context);
        int32_t finished = HostFailureCount() == hostFailures && MemFailureCount() == memoryFailures;
        if (!saveAfterWork) {
          if (!wasOpen) HostCloseDocument(document, kCloseWithoutAsking);
        } else if (!finished) {
          // Work cut short by a failed host operation or short memory is not
          // saved over the file; the document stays open for the user.
          ConsoleWrite("Could not finish the work on file:");
          ConsoleWrite(path);
          ConsoleWrite("; it was not saved.\n");
          ++failures;
        } else {
          ObjectId saved = HostSaveFile(document, path, 0);
          if (saved == 0) {
            // The document stays open with its changes, for the user to save.
            ConsoleWrite("Could not save file:");
            ConsoleWrite(path);
            ConsoleWrite("\n");
            ++failures;
          } else if (!wasOpen) {
            HostCloseDocument(saved, kCloseWithoutAsking);
          }
        }
      }
    }
    component = next;
  }
  if (linkFailed) {
    ReportCutShortWalk(path);
    ++failures;
  }
  MemFree(path);
  HostSetStringProp(0, book, kPropStatusLine, "");
  return failures;
}

}  // namespace

ObjectId OpenReportDocument(void) {
  char* home = HostGetStringProp(0, 0, kPropHomeDirectory);
  // The backslash is added even when the directory already ends with one.
  char* directory = Concatenate(home, "\\");
  char* path = Concatenate(directory, kReportFileName);
  ObjectId report = path != nullptr ? HostOpenFile(path, 0) : 0;
  if (report == 0) {
    report = HostNewCustomDocument(kReportPageWidth, kReportPageHeight, 1, kReportMargin, kReportMargin,
                                   kReportMargin, kReportMargin, kReportMargin, 0, 1);
  }
  MemFree(path);
  MemFree(directory);
  MemFree(home);
  return report;
}

void AppendReportParagraph(ObjectId report, const char* text, const char* formatName) {
  ObjectId flow = HostGetIdProp(0, report, kPropMainFlow);
  ObjectId frame = HostGetIdProp(report, flow, kPropLastTextFrame);
  ObjectId paragraph = HostGetIdProp(report, frame, kPropLastParagraph);
  TextRange start = {{paragraph, 0}, {paragraph, 0}};
  HostSetTextRangeProp(0, report, kPropSelection, &start);
  TextLoc end = HostAddText(report, &start.start, text);
  if (formatName != nullptr) ApplyParagraphFormat(report, paragraph, formatName);
  // The line feed ends the new paragraph; the empty one after it is where
  // the next append writes.
  HostAddText(report, &end, "\n");
}

void ApplyParagraphFormat(ObjectId document, ObjectId paragraph, const char* formatName) {
  ObjectId format = HostGetNamedObject(document, kObjectTypeParagraphFormat, formatName);
  if (format == 0 || HostGetIntProp(document, paragraph, kPropFormatLocked) != 0) return;
  PropertyList properties = HostGetProps(document, format);
  HostSetProps(document, paragraph, &properties);
  FreePropertyList(&properties);
}

char* DocumentDisplayName(ObjectId document) {
  char* fileName = HostGetStringProp(0, document, kPropFileName);
  PathRecord* path = PathFromString(fileName);
  char* name = path != nullptr ? PathFileName(path) : StrDup("Untitled");
  PathFree(path);
  MemFree(fileName);
  return name;
}

char* BookDisplayName(ObjectId book) {
  char* fileName = HostGetStringProp(0, book, kPropFileName);
  char* name = FileNameOf(fileName);
  MemFree(fileName);
  return name;
}

int32_t ExamineBookDocuments(ObjectId book, WalkWork work, void* context) {
  return WalkBook(book, "Examining: ", work, context, 0);
}

int32_t ProcessBookDocuments(ObjectId book, const char* statusPrefix, WalkWork work, void* context) {
  return WalkBook(book, statusPrefix, work, context, 1);
}
