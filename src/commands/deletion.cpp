// Delete Unused Table Tags for a document (4) and for a book (13): the
// table formats that no table uses are found first, the user is asked, and
// only then are they removed from the catalogues.
//
// A format is deleted only when its name, compared byte for byte, is in the
// unused list of a collection that read every table and every format in full,
// and, in a book, only when that collection saw every document of the book.
#include "commands/commands.h"
#include "commands/report_documents.h"
#include "commands/usage.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/format.h"
#include "support/memory.h"
#include "support/str_index.h"
#include "support/str_list.h"

namespace {

const char kDocumentQuestion[] = "Are you sure you want to delete unused table formats?";
const char kBookQuestion[] = "Are you sure you want to delete unused table formats for all files in the book?";
const char kUnreadableWarning[] = "The table formats could not all be read; nothing was deleted.";
const char kUnwalkedWarning[] =
    "Not every document of the book could be read (see the console); nothing was deleted.";

// Deletes every table format of document whose name is in unused. The next
// format is read before the current one may go, so deleting one never skips
// the one after it. A format whose name cannot be read stays; the host's
// answer to a deletion is not looked at.
void DeleteListedFormats(ObjectId document, const StrList* unused) {
  StrIndex* index = StrIndexNew(unused);  // NULL: the list itself is searched
  ObjectId format = HostGetIdProp(0, document, kPropFirstTableFormat);
  while (format != 0) {
    ObjectId next = HostGetIdProp(document, format, kPropNextTableFormat);
    char* name = HostGetStringProp(document, format, kPropTag);
    if (name != nullptr && StrListFindIndexed(unused, index, name) >= 0) HostDeleteObject(document, format);
    MemFree(name);
    format = next;
  }
  StrIndexFree(index);
}

// ---- The book -----------------------------------------------------------------------------

// The book-wide collection, and the paths of the documents whose tables it
// saw in full. A document that is not among them (it did not open in the
// examining walk, or its path could not be read) is left alone in the
// processing walk: the unused list never saw its tables.
struct BookDeletion {
  TagCollection tags;
  StrList* examinedPaths;
};

void ExamineDocument(ObjectId document, void* context) {
  BookDeletion* deletion = static_cast<BookDeletion*>(context);
  char* path = HostGetStringProp(0, document, kPropFileName);
  CollectDocumentTags(&deletion->tags, document);
  // A path that cannot be recorded only means the document is skipped later.
  if (path != nullptr && *path != '\0') StrListAppend(deletion->examinedPaths, path);
  MemFree(path);
}

void RemoveUnusedFormats(ObjectId document, void* context) {
  BookDeletion* deletion = static_cast<BookDeletion*>(context);
  char* path = HostGetStringProp(0, document, kPropFileName);
  if (path != nullptr && *path != '\0' && StrListFind(deletion->examinedPaths, path) >= 0) {
    DeleteListedFormats(document, deletion->tags.unused);
  }
  MemFree(path);
}

}  // namespace

void DeleteUnusedTables(ObjectId document, ObjectId /*book*/) {
  TagCollection tags;
  if (TagCollectionNew(&tags) != 0) return;
  CollectDocumentTags(&tags, document);
  if (!tags.complete) {
    HostAlert(kUnreadableWarning, kAlertWarning);
  } else if (AskUser(kDocumentQuestion, kAlertConfirm)) {
    DeleteListedFormats(document, tags.unused);
  }
  TagCollectionFree(&tags);
}

void DeleteUnusedTablesBook(ObjectId /*document*/, ObjectId book) {
  BookDeletion deletion;
  if (TagCollectionNew(&deletion.tags) != 0) return;
  deletion.examinedPaths = StrListNew(1, 1);
  if (deletion.examinedPaths == nullptr) {
    ConsolePrintf(nullptr, "Couldn't allocate string list memory\n");
    TagCollectionFree(&deletion.tags);
    return;
  }
  // A format is unused only if no table of any document of the book uses it:
  // a walk that missed a document cannot tell.
  if (ExamineBookDocuments(book, ExamineDocument, &deletion) != 0) {
    HostAlert(kUnwalkedWarning, kAlertWarning);
  } else if (!deletion.tags.complete) {
    HostAlert(kUnreadableWarning, kAlertWarning);
  } else if (AskUser(kBookQuestion, kAlertConfirm)) {
    ProcessBookDocuments(book, "Removing Unused Tags: ", RemoveUnusedFormats, &deletion);
  }
  StrListFree(deletion.examinedPaths);
  TagCollectionFree(&deletion.tags);
}
