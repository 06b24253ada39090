// The bodies of the plug-in's commands, one per command number, as the
// dispatcher runs them. Every body takes the target document and the target
// book; the dispatcher has already refused a command whose target is missing
// (document commands without a document, book commands without a book), so a
// body may rely on the target it needs being nonzero. A body reports its own
// problems to the user with host alerts and returns nothing.
#ifndef GRIDWRIGHT_COMMANDS_COMMANDS_H
#define GRIDWRIGHT_COMMANDS_COMMANDS_H

#include "host/fm_api.h"

typedef void (*CommandBody)(ObjectId document, ObjectId book);

// ---- Command numbers ------------------------------------------------------------------

enum CommandNumber {
  kCommandFixTableHeadingsDoc = 1,
  kCommandConvertTablesInDoc = 2,
  kCommandListTableUsage = 3,
  kCommandDeleteUnusedTables = 4,
  kCommandCreateTableList = 5,
  kCommandRemoveNonlistTables = 6,
  kCommandCreateTableConversionDocument = 7,
  kCommandRemoveTableOverrides = 8,
  kCommandFindNextTableOverride = 9,
  kCommandGenerateTableTagReport = 11,
  kCommandListTableUsageBook = 12,
  kCommandDeleteUnusedTablesBook = 13,
  kCommandCreateTableListBook = 14,
  kCommandRemoveNonlistTablesBook = 15,
  kCommandCreateTableConversionDocumentBook = 16,
  kCommandConvertTablesBook = 17,
  kCommandRemoveTableOverridesBook = 18,
  kCommandGenerateTableTagReportSingle = 19,
  kCommandListTableUsageBookIndFiles = 20,
  kCommandListTableUsageBookByFormat = 21,
  kCommandGridwrightAbout = 1000,
};

// ---- Table headings ---------------------------------------------------------------------

void FixTableHeadingsDoc(ObjectId document, ObjectId book);

// ---- Table tag usage ----------------------------------------------------------------------

void ListTableUsage(ObjectId document, ObjectId book);
void ListTableUsageBook(ObjectId document, ObjectId book);
void ListTableUsageBookIndFiles(ObjectId document, ObjectId book);
void ListTableUsageBookByFormat(ObjectId document, ObjectId book);

// ---- Deleting unused table tags -------------------------------------------------------------

void DeleteUnusedTables(ObjectId document, ObjectId book);
void DeleteUnusedTablesBook(ObjectId document, ObjectId book);

// ---- Tag-list and conversion documents ------------------------------------------------------

void CreateTableList(ObjectId document, ObjectId book);
void CreateTableListBook(ObjectId document, ObjectId book);
void CreateTableConversionDocument(ObjectId document, ObjectId book);
void CreateTableConversionDocumentBook(ObjectId document, ObjectId book);

// ---- Keeping listed tags and converting tables ----------------------------------------------

void RemoveNonlistTables(ObjectId document, ObjectId book);
void RemoveNonlistTablesBook(ObjectId document, ObjectId book);
void ConvertTablesInDoc(ObjectId document, ObjectId book);
void ConvertTablesBook(ObjectId document, ObjectId book);

// ---- Table overrides ----------------------------------------------------------------------

void RemoveTableOverrides(ObjectId document, ObjectId book);
void RemoveTableOverridesBook(ObjectId document, ObjectId book);
void FindNextTableOverride(ObjectId document, ObjectId book);

// ---- Table tag report ---------------------------------------------------------------------

void GenerateTableTagReport(ObjectId document, ObjectId book);
void GenerateTableTagReportSingle(ObjectId document, ObjectId book);

// ---- About ------------------------------------------------------------------------------

// Shows the About box (a kind-2 note with the product, version and contact lines).
void GridwrightAbout(ObjectId document, ObjectId book);

// ---- Questions to the user ------------------------------------------------------------------

// Asks an OK/Cancel confirmation (alert kind 1) or a Yes/No question (kind 4)
// and returns 1 only when the user said OK or Yes. A question the host failed
// to show counts as declined: HostAlert answers 0 on failure, which is also
// the answer for OK, so the host's failure count is compared before and after
// the call.
int32_t AskUser(const char* question, int32_t kind);

#endif  // GRIDWRIGHT_COMMANDS_COMMANDS_H
