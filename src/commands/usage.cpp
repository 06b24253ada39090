// The table tag collection and the four List Table Usage commands: one
// document (3), a whole book (12), each document of a book (20), and for each
// used tag the documents of a book that use it (21).
#include "commands/usage.h"

#include "commands/commands.h"
#include "commands/report_documents.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/format.h"
#include "support/memory.h"
#include "support/str_index.h"
#include "support/str_list.h"

namespace {

const char kUsedHeading[] = "Table Tags Used:";
const char kUnusedHeading[] = "Table Tags Not Used:";
const char kReportUnavailable[] = "The report document could not be opened or created.";
const char kReportIncomplete[] = "Some table tags could not be read; the report is incomplete.";

// Appends a copy of tag to list. When the list cannot grow, writes the
// console line about string list memory and returns -1.
int32_t AppendTag(StrList* list, const char* tag) {
  if (StrListAppend(list, tag) == 0) return 0;
  ConsolePrintf(nullptr, "Couldn't allocate string list memory\n");
  return -1;
}

// Appends text with the paragraph format and frees text. A missing text (a
// book without a file name, memory short) gives an empty paragraph.
void AppendOwnedParagraph(ObjectId report, char* text, const char* formatName) {
  AppendReportParagraph(report, text != nullptr ? text : "", formatName);
  MemFree(text);
}

// The body of one usage section: both headings with their tags.
void AppendUsageLists(ObjectId report, const StrList* used, const StrList* unused) {
  AppendReportParagraph(report, kUsedHeading, "Heading2");
  for (uint32_t i = 0; i < StrListCount(used); ++i) AppendReportParagraph(report, StrListGet(used, i), "Body");
  AppendReportParagraph(report, kUnusedHeading, "Heading2");
  for (uint32_t i = 0; i < StrListCount(unused); ++i) AppendReportParagraph(report, StrListGet(unused, i), "Body");
}

// OpenReportDocument, with a warning to the user when there is none.
ObjectId OpenReportOrWarn(void) {
  ObjectId report = OpenReportDocument();
  if (report == 0) HostAlert(kReportUnavailable, kAlertWarning);
  return report;
}

void WarnIfIncomplete(int32_t complete) {
  if (!complete) HostAlert(kReportIncomplete, kAlertWarning);
}

// ---- List Table Usage - Individual --------------------------------------------------------

struct IndividualContext {
  ObjectId report;
  int32_t complete;
};

// One section per document: its heading at the level of the book's, then its
// own used and unused tags.
void WriteDocumentSection(ObjectId document, void* context) {
  IndividualContext* individual = static_cast<IndividualContext*>(context);
  TagCollection tags;
  if (TagCollectionNew(&tags) != 0) {
    individual->complete = 0;
    return;
  }
  CollectDocumentTags(&tags, document);
  if (!tags.complete) individual->complete = 0;
  AppendOwnedParagraph(individual->report, DocumentDisplayName(document), "Heading1");
  AppendUsageLists(individual->report, tags.used, tags.unused);
  TagCollectionFree(&tags);
}

// ---- List Table Usage - By Tag --------------------------------------------------------------

struct ByTagContext {
  ObjectId report;
  const char* tag;  // the book-wide list's entry; the list is not changed during the walk
  int32_t complete;
};

// Lists document under the current tag when one of its own tables bears
// exactly that tag.
void ListDocumentUnderTag(ObjectId document, void* context) {
  ByTagContext* byTag = static_cast<ByTagContext*>(context);
  TagCollection tags;
  if (TagCollectionNew(&tags) != 0) {
    byTag->complete = 0;
    return;
  }
  CollectDocumentTags(&tags, document);
  if (!tags.complete) byTag->complete = 0;
  if (StrListFind(tags.used, byTag->tag) >= 0) {
    AppendOwnedParagraph(byTag->report, DocumentDisplayName(document), "Body");
  }
  TagCollectionFree(&tags);
}

}  // namespace

// ---- The collection -------------------------------------------------------------------------

int32_t CollectTableTags(ObjectId document, StrList* used, StrList* unused) {
  if (used == nullptr || unused == nullptr) return -1;
  int32_t complete = 1;

  HostSetIntProp(0, 0, kPropScreenUpdating, 0);
  int32_t bulkEdit = HostGetIntProp(document, document, kPropBulkEdit);
  HostSetIntProp(document, document, kPropBulkEdit, 1);

  // Only reads happen between the two counts, so any failure means a table or
  // a format was missed (or the walk stopped early).
  uint32_t failuresBefore = HostFailureCount();

  ObjectId table = HostGetIdProp(0, document, kPropFirstTable);
  while (table != 0) {
    char* tag = HostGetStringProp(document, table, kPropTag);
    if (tag == nullptr) {
      complete = 0;
    } else {
      if (StrListFind(used, tag) < 0 && AppendTag(used, tag) != 0) complete = 0;
      int32_t unusedIndex = StrListFind(unused, tag);
      if (unusedIndex >= 0) StrListRemove(unused, static_cast<uint32_t>(unusedIndex));
    }
    MemFree(tag);
    table = HostGetIdProp(document, table, kPropNextTable);
  }

  // Catalogues can hold thousands of formats: the names seen are looked up
  // through indexes (the lists only grow here), or in the lists themselves
  // when memory for an index is short.
  StrIndex* usedIndex = StrIndexNew(used);
  StrIndex* unusedIndex = StrIndexNew(unused);
  ObjectId format = HostGetIdProp(0, document, kPropFirstTableFormat);
  while (format != 0) {
    char* name = HostGetStringProp(document, format, kPropTag);
    if (name == nullptr) {
      complete = 0;
    } else if (StrListFindIndexed(used, usedIndex, name) < 0 && StrListFindIndexed(unused, unusedIndex, name) < 0) {
      if (AppendTag(unused, name) != 0) {
        complete = 0;
      } else if (unusedIndex != nullptr) {
        StrIndexAdd(&unusedIndex, StrListCount(unused) - 1);
      }
    }
    MemFree(name);
    format = HostGetIdProp(document, format, kPropNextTableFormat);
  }
  StrIndexFree(usedIndex);
  StrIndexFree(unusedIndex);

  if (HostFailureCount() != failuresBefore) complete = 0;

  StrListSort(used, StrListCompare);
  StrListSort(unused, StrListCompare);

  HostSetIntProp(document, document, kPropBulkEdit, bulkEdit);
  HostSetIntProp(0, 0, kPropScreenUpdating, 1);
  HostRedisplay(document);
  return complete ? 0 : -1;
}

int32_t TagCollectionNew(TagCollection* collection) {
  if (collection == nullptr) return -1;
  collection->used = StrListNew(1, 1);
  collection->unused = StrListNew(1, 1);
  collection->complete = 1;
  if (collection->used != nullptr && collection->unused != nullptr) return 0;
  TagCollectionFree(collection);
  ConsolePrintf(nullptr, "Couldn't allocate string list memory\n");
  return -1;
}

void TagCollectionFree(TagCollection* collection) {
  if (collection == nullptr) return;
  StrListFree(collection->used);
  StrListFree(collection->unused);
  collection->used = nullptr;
  collection->unused = nullptr;
}

void CollectDocumentTags(TagCollection* collection, ObjectId document) {
  if (CollectTableTags(document, collection->used, collection->unused) != 0) collection->complete = 0;
}

void CollectTableTagsWork(ObjectId document, void* context) {
  CollectDocumentTags(static_cast<TagCollection*>(context), document);
}

// ---- The commands -------------------------------------------------------------------------

void ListTableUsage(ObjectId document, ObjectId /*book*/) {
  TagCollection tags;
  if (TagCollectionNew(&tags) != 0) return;
  CollectDocumentTags(&tags, document);
  ObjectId report = OpenReportOrWarn();
  if (report != 0) {
    AppendOwnedParagraph(report, DocumentDisplayName(document), "Heading1");
    AppendUsageLists(report, tags.used, tags.unused);
    WarnIfIncomplete(tags.complete);
  }
  TagCollectionFree(&tags);
}

void ListTableUsageBook(ObjectId /*document*/, ObjectId book) {
  TagCollection tags;
  if (TagCollectionNew(&tags) != 0) return;
  // A walk that missed a document (named on the console) makes the report incomplete.
  if (ExamineBookDocuments(book, CollectTableTagsWork, &tags) != 0) tags.complete = 0;
  ObjectId report = OpenReportOrWarn();
  if (report != 0) {
    AppendOwnedParagraph(report, BookDisplayName(book), "Heading1");
    AppendUsageLists(report, tags.used, tags.unused);
    WarnIfIncomplete(tags.complete);
  }
  TagCollectionFree(&tags);
}

void ListTableUsageBookIndFiles(ObjectId /*document*/, ObjectId book) {
  IndividualContext individual = {OpenReportOrWarn(), 1};
  if (individual.report == 0) return;
  AppendOwnedParagraph(individual.report, BookDisplayName(book), "Heading1");
  if (ExamineBookDocuments(book, WriteDocumentSection, &individual) != 0) individual.complete = 0;
  WarnIfIncomplete(individual.complete);
}

void ListTableUsageBookByFormat(ObjectId /*document*/, ObjectId book) {
  TagCollection bookTags;
  if (TagCollectionNew(&bookTags) != 0) return;
  if (ExamineBookDocuments(book, CollectTableTagsWork, &bookTags) != 0) bookTags.complete = 0;
  ByTagContext byTag = {OpenReportOrWarn(), nullptr, bookTags.complete};
  if (byTag.report != 0) {
    AppendOwnedParagraph(byTag.report, BookDisplayName(book), "Heading1");
    for (uint32_t i = 0; i < StrListCount(bookTags.used); ++i) {
      byTag.tag = StrListGet(bookTags.used, i);
      AppendReportParagraph(byTag.report, byTag.tag, "Heading2");
      if (ExamineBookDocuments(book, ListDocumentUnderTag, &byTag) != 0) byTag.complete = 0;
    }
    WarnIfIncomplete(byTag.complete);
  }
  TagCollectionFree(&bookTags);
}
