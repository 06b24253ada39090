// The table tag collection: which table tags of a document some table uses
// and which the catalogue holds but no table uses. The List Table Usage
// commands (declared in commands/commands.h) write it into the report
// document; the delete and list commands decide from it.
#ifndef GRIDWRIGHT_COMMANDS_USAGE_H
#define GRIDWRIGHT_COMMANDS_USAGE_H

#include "host/fm_api.h"
#include "support/str_list.h"

// Adds the table tags of document to the two lists, which may already hold the
// tags of other documents (collecting several documents into the same lists
// gives the book-wide result, whatever their order):
//   - used gains the tag of every table of the document that it does not hold
//     yet; a tag a table uses is listed even when the catalogue lacks it;
//   - unused gains the name of every catalogue format that no table of the
//     collected documents uses, and loses any name a table turns out to use.
// Names are compared byte for byte throughout: "Body" and "body" are two
// formats, and each counts as used only when a table bears exactly that name.
// Both lists are sorted in byte order afterwards (capitals before small
// letters, bytes from 0x80 up after all ASCII). The lists own the copies.
//
// Screen updating (application property 92) is off and the document's
// bulk-edit flag (155) is 1 while the collection runs; both are restored
// afterwards and the document is redisplayed.
//
// Returns 0 when every table's tag and every format's name was read and
// recorded; -1 when something was missed (a host read failed, or a list could
// not grow, which also writes "Couldn't allocate string list memory\n" to the
// console) or either list is NULL (nothing is then touched). After -1 the
// lists hold what could be read: a used tag may be missing, so callers that
// delete must not act on them.
int32_t CollectTableTags(ObjectId document, StrList* used, StrList* unused);

// ---- Collections over several documents -----------------------------------------------------

// The used and unused lists of one command, and whether every collection into
// them was complete. The record owns both lists.
struct TagCollection {
  StrList* used;
  StrList* unused;
  int32_t complete;  // 1 until a collection into the lists misses something
};

// Makes both lists (capacity 1, growth step 1) with complete set to 1.
// Returns 0, or -1 with both lists NULL (and the console line about string
// list memory written) when memory is short.
int32_t TagCollectionNew(TagCollection* collection);

// Frees both lists and sets them to NULL. A NULL collection does nothing.
void TagCollectionFree(TagCollection* collection);

// CollectTableTags of document into the collection's lists; clears complete
// when the document's collection missed something.
void CollectDocumentTags(TagCollection* collection, ObjectId document);

// The same as a WalkWork for the book walks of commands/report_documents.h;
// context is the TagCollection.
void CollectTableTagsWork(ObjectId document, void* context);

#endif  // GRIDWRIGHT_COMMANDS_USAGE_H
