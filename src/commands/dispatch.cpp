// The command layer's entry points: Initialize, Command and the client call,
// the dispatcher that every command goes through, the About box and the
// questions put to the user.
#include <string.h>

#include "commands/commands.h"
#include "commands/menus.h"
#include "host/client_hooks.h"
#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/memory.h"
#include "support/strings.h"
#include "support/text_encoding.h"

namespace {

// The document and the book that the next command is to work on, set by the
// "SetDocId" and "SetBookId" client calls; 0 when none was requested. Each
// request holds for exactly one command.
ObjectId gRequestedDocument = 0;
ObjectId gRequestedBook = 0;

const char kMemoryShortMessage[] = "Memory ran short during the command; its result may be incomplete.\n";

// Stores the number that follows the first space of text in *requested.
// Nothing is stored when text has no space (or memory is short). Only spaces
// are trimmed; what is left converts like the runtime's atoi, so letters give 0.
void StoreRequestedId(const char* text, ObjectId* requested) {
  char* copy = StrDup(text);
  if (copy == nullptr) return;
  int32_t space = StrFind(copy, " ");
  if (space >= 0) {
    memmove(copy, copy + space, StrLen(copy + space) + 1);
    StrTrimRight(copy);
    StrTrimLeft(copy);
    *requested = static_cast<ObjectId>(StrToInt(copy));
  }
  MemFree(copy);
}

// Runs command number: chooses the target document and book, refuses a
// command whose target is missing, runs the body (and tells the console when
// memory ran short during it). The requested ids are
// consumed before the body runs, so they are reset whatever the body does,
// even if it ends in the support library's fatal stop. Returns 0.
int32_t DispatchCommand(int32_t number) {
  InitTextSupport();
  ObjectId document = gRequestedDocument != 0 ? gRequestedDocument : HostGetIdProp(0, 0, kPropActiveDocument);
  ObjectId book = gRequestedBook != 0 ? gRequestedBook : HostGetIdProp(0, 0, kPropActiveBook);
  gRequestedDocument = 0;
  gRequestedBook = 0;

  const CommandEntry* entry = FindCommand(number);
  if (entry == nullptr) return 0;
  if (entry->target == kTargetDocument && document == 0) {
    HostAlert("Please open a document first.", kAlertNote);
  } else if (entry->target == kTargetBook && book == 0) {
    HostAlert("Please open a book first.", kAlertNote);
  } else {
    uint32_t memoryFailures = MemFailureCount();
    entry->body(document, book);
    // Wherever a command coped with short memory by leaving something out,
    // the user learns that its result may be incomplete.
    if (MemFailureCount() != memoryFailures) ConsoleWrite(kMemoryShortMessage);
  }
  return 0;
}

}  // namespace

void CommandLayerInitialize(int32_t initializationCode) {
  if (initializationCode == 1) SetUpMenus();
  HostRequestNotification(kNotificationClientCall, 1);
}

void CommandLayerCommand(int32_t commandNumber) { DispatchCommand(commandNumber); }

void CommandLayerNotify(int32_t notification, ObjectId /*document*/, const char* text,
                        const NotifyFields* /*fields*/, int32_t /*value*/) {
  if (notification != kNotificationClientCall) return;
  // Prefix tests are case-sensitive; the command names must match exactly.
  if (StrStartsWith(text, "SetDocId")) StoreRequestedId(text, &gRequestedDocument);
  if (StrStartsWith(text, "SetBookId")) StoreRequestedId(text, &gRequestedBook);
  const CommandEntry* entry = FindClientCall(text);
  if (entry != nullptr) DispatchCommand(entry->number);
}

void GridwrightAbout(ObjectId /*document*/, ObjectId /*book*/) {
  // The product line and the version line keep their trailing blanks; the
  // last line has no line feed.
  HostAlert(
      "Gridwright \n"
      "Version 1.0 Build 101 \n"
      "Copyright 2026 the Gridwright developers.\n"
      "https://gridwright.example/support",
      kAlertNote);
}

int32_t AskUser(const char* question, int32_t kind) {
  uint32_t failuresBefore = HostFailureCount();
  int32_t answer = HostAlert(question, kind);
  if (HostFailureCount() != failuresBefore) return 0;
  return answer == 0 ? 1 : 0;
}
