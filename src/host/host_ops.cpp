// The host operations: each calls one method of the host's API interface,
// turns the outcome into a return value and the last error, and copies what
// the host returns into plug-in memory.
//
// Every operation follows one pattern (CallHost below): no interface held
// means last error -1; a failed COM call means -88 (host busy) or -1 and no
// result is read or released; a nonzero host status becomes the last error.
// Host blocks are released with CoTaskMemFree after copying, unless the host
// keeps ownership of its results. A copy that cannot be allocated counts as a
// failure of the operation (last error -1), after the host block is released.
#include "host/host_ops.h"

#include <string.h>

#include "host/property_lists.h"
#include "platform/winapi.h"
#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

constexpr int32_t kErrorFailed = -1;
constexpr int32_t kErrorHostBusy = -88;
constexpr int32_t kErrorNoParameterList = -42;
// The host status before the host writes it.
constexpr int32_t kStatusUnset = -1;

IFrameMakerApi* gApi = nullptr;
int32_t gLastError = 0;
uint32_t gFailureCount = 0;
int32_t gOwnsResults = 0;

// The return lists of HostOpenDocument and HostSaveDocument, owned here.
PropertyList gOpenReturnList = {0, nullptr};
PropertyList gSaveReturnList = {0, nullptr};

// Every failure goes through here: the last error and the failure count.
void Fail(int32_t error) {
  gLastError = error;
  ++gFailureCount;
}

// Steps 1 and 3 of the pattern. Returns false (with the last error set) when
// there is no interface or the COM call failed.
template <typename Call>
bool CallHost(Call call) {
  if (gApi == nullptr) {
    Fail(kErrorFailed);
    return false;
  }
  HRESULT result = call(gApi);
  if (FAILED(result)) {
    Fail(result == RPC_E_SERVERCALL_RETRYLATER ? kErrorHostBusy : kErrorFailed);
    return false;
  }
  return true;
}

// Step 5: a nonzero status becomes the last error.
bool HostReportedFailure(int32_t status) {
  if (status == 0) return false;
  Fail(status);
  return true;
}

void ReleaseHostBlock(void* block) {
  if (block != nullptr && !gOwnsResults) CoTaskMemFree(block);
}

// Copies a host string into a fresh plug-in block (NULL stays NULL) and
// releases the host's block. Returns false when the copy could not be made.
bool TakeHostString(char* hostString, char** copy) {
  *copy = nullptr;
  bool copied = true;
  if (hostString != nullptr) {
    size_t size = strlen(hostString) + 1;
    *copy = static_cast<char*>(MemAlloc(size, 0));
    if (*copy != nullptr) {
      memcpy(*copy, hostString, size);
    } else {
      copied = false;
    }
  }
  ReleaseHostBlock(hostString);
  return copied;
}

// An operation whose result is the host status.
template <typename Call>
int32_t CallForStatus(Call call) {
  int32_t status = kStatusUnset;
  if (!CallHost([&](IFrameMakerApi* api) { return call(api, &status); })) return kErrorFailed;
  HostReportedFailure(status);
  return status;
}

// An operation with a plain result (id, int, metric, text location):
// failure gives the zero value.
template <typename T, typename Call>
T CallForValue(Call call) {
  int32_t status = kStatusUnset;
  T value{};
  if (!CallHost([&](IFrameMakerApi* api) { return call(api, &status, &value); })) return T{};
  if (HostReportedFailure(status)) return T{};
  return value;
}

// An operation with no result: only the last error tells of a failure.
template <typename Call>
void CallForNothing(Call call) {
  int32_t status = kStatusUnset;
  if (!CallHost([&](IFrameMakerApi* api) { return call(api, &status); })) return;
  HostReportedFailure(status);
}

// The return lists of opening and saving: empties the list the caller's
// pointer points to, replaces the module list's contents with a copy of the
// host's list, points the caller's pointer at it and releases the host's
// list. When the copy cannot be made the module list stays empty and the last
// error is -1; the operation's own result still stands.
void TakeReturnList(PropertyList* hostList, PropertyList* moduleList, PropertyList** returnList) {
  if (returnList != nullptr && *returnList != nullptr) FreePropertyList(*returnList);
  FreePropertyList(moduleList);
  if (CopyPropertyList(moduleList, hostList, PluginBlockAlloc, PluginBlockFree) != 0) Fail(kErrorFailed);
  if (returnList != nullptr) *returnList = moduleList;
  if (!gOwnsResults) ReleasePropertyList(hostList, HostBlockFree);
}

}  // namespace

// ---- Connection state ---------------------------------------------------------------

int32_t HostLastError(void) { return gLastError; }

uint32_t HostFailureCount(void) { return gFailureCount; }

IFrameMakerApi* HostApi(void) { return gApi; }

void HostSetApi(IFrameMakerApi* api) { gApi = api; }

int32_t HostOwnsResults(void) { return gOwnsResults; }

void HostSetOwnsResults(int32_t owns) { gOwnsResults = owns != 0 ? 1 : 0; }

void HostFreeReturnLists(void) {
  FreePropertyList(&gOpenReturnList);
  FreePropertyList(&gSaveReturnList);
}

// ---- Start-up, notifications and host commands ---------------------------------------

void HostAttachClient(IUnknown* notifications, int32_t flags, const PropertyList* description) {
  CallForNothing([&](IFrameMakerApi* api, int32_t* status) {
    return api->AttachClient(notifications, flags, description, status);
  });
}

int32_t HostRunCommandCodes(uint32_t count, const int32_t* codes) {
  const IntList list = {count, const_cast<int32_t*>(codes)};
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) { return api->RunCommandCodes(&list, status); });
}

int32_t HostRequestNotification(int32_t code, int32_t on) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->RequestNotification(code, on, status); });
}

// ---- Menus ---------------------------------------------------------------------------

ObjectId HostDefineMenu(const char* name, const char* label) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* menu) {
    return api->DefineMenu(name, label, status, menu);
  });
}

int32_t HostAddCommandToMenu(ObjectId menu, ObjectId item) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->AddCommandToMenu(menu, item, status); });
}

int32_t HostAddMenuToMenu(ObjectId menu, ObjectId submenu) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->AddMenuToMenu(menu, submenu, status); });
}

ObjectId HostDefineAndAddMenu(ObjectId parent, const char* name, const char* label) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* menu) {
    return api->DefineAndAddMenu(parent, name, label, status, menu);
  });
}

ObjectId HostDefineAndAddCommand(int32_t commandNumber, ObjectId menu, const char* name, const char* label,
                                 const char* shortcut) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* command) {
    return api->DefineAndAddCommand(commandNumber, menu, name, label, shortcut, status, command);
  });
}

// ---- The user ------------------------------------------------------------------------

int32_t HostAlert(const char* message, int32_t kind) {
  return CallForValue<int32_t>([&](IFrameMakerApi* api, int32_t* status, int32_t* answer) {
    return api->Alert(message, kind, status, answer);
  });
}

int32_t HostConsoleWrite(const char* utf8Text) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) { return api->ConsoleWrite(utf8Text, status); });
}

int32_t HostScrollListPrompt(int32_t* chosen, const char* title, const StringList* items, int32_t defaultIndex) {
  int32_t status = kStatusUnset;
  int32_t index = -1;
  if (!CallHost([&](IFrameMakerApi* api) {
        return api->ScrollListPrompt(title, items, defaultIndex, &status, &index);
      })) {
    return -1;
  }
  if (HostReportedFailure(status)) return -1;
  if (index < 0) return -1;  // the user cancelled
  if (chosen != nullptr) *chosen = index;
  return 0;
}

// ---- Documents -----------------------------------------------------------------------

ObjectId HostOpenDocument(const char* fileName, const PropertyList* params, PropertyList** returnList) {
  int32_t status = kStatusUnset;
  ObjectId document = 0;
  PropertyList hostList = {0, nullptr};
  if (!CallHost([&](IFrameMakerApi* api) {
        return api->OpenDocument(fileName, params, &hostList, &status, &document);
      })) {
    return 0;
  }
  TakeReturnList(&hostList, &gOpenReturnList, returnList);
  if (HostReportedFailure(status)) return 0;
  return document;
}

ObjectId HostSaveDocument(ObjectId document, const char* fileName, const PropertyList* params,
                          PropertyList** returnList) {
  int32_t status = kStatusUnset;
  ObjectId saved = 0;
  PropertyList hostList = {0, nullptr};
  if (!CallHost([&](IFrameMakerApi* api) {
        return api->SaveDocument(document, fileName, params, &hostList, &status, &saved);
      })) {
    return 0;
  }
  TakeReturnList(&hostList, &gSaveReturnList, returnList);
  if (HostReportedFailure(status)) return 0;
  return saved;
}

ObjectId HostNewCustomDocument(Metric pageWidth, Metric pageHeight, int32_t columns, Metric columnGap,
                               Metric topMargin, Metric bottomMargin, Metric insideMargin, Metric outsideMargin,
                               int32_t sidedness, int32_t makeVisible) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* document) {
    return api->NewCustomDocument(pageWidth, pageHeight, columns, columnGap, topMargin, bottomMargin, insideMargin,
                                  outsideMargin, sidedness, makeVisible, status, document);
  });
}

int32_t HostCloseDocument(ObjectId document, int32_t flags) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->CloseDocument(document, flags, status); });
}

ObjectId HostOpenFile(const char* fileName, int32_t /*flag*/) {
  PropertyList params = NewPropertyList(1);
  if (params.count == 0) {
    Fail(kErrorNoParameterList);
    return 0;
  }
  params.entries[0].ident.code = 29;
  params.entries[0].value.type = kValueInt;
  params.entries[0].value.u.intValue = 1;
  PropertyList* returned = nullptr;
  ObjectId document = HostOpenDocument(fileName, &params, &returned);
  FreePropertyList(&params);
  FreePropertyList(returned);
  return document;
}

ObjectId HostSaveFile(ObjectId document, const char* fileName, int32_t /*flag*/) {
  const PropertyList params = {0, nullptr};
  char* converted = nullptr;
  if (HostEncoding() != kEncodingUtf8) {
    converted = HostTextToUtf8(fileName);
    fileName = converted;
  }
  PropertyList* returned = nullptr;
  ObjectId saved = HostSaveDocument(document, fileName, &params, &returned);
  MemFree(converted);
  FreePropertyList(returned);
  return saved;
}

// ---- Editing -------------------------------------------------------------------------

int32_t HostCut(ObjectId document, int32_t flags) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) { return api->Cut(document, flags, status); });
}

int32_t HostPaste(ObjectId document, int32_t flags) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) { return api->Paste(document, flags, status); });
}

int32_t HostScrollToText(ObjectId document, const TextRange* range) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->ScrollToText(document, range, status); });
}

int32_t HostRedisplay(ObjectId document) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) { return api->Redisplay(document, status); });
}

int32_t HostDeleteObject(ObjectId document, ObjectId object) {
  return CallForStatus(
      [&](IFrameMakerApi* api, int32_t* status) { return api->DeleteObject(document, object, status); });
}

ObjectId HostGetNamedObject(ObjectId document, int32_t objectType, const char* name) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* object) {
    return api->GetNamedObject(document, objectType, name, status, object);
  });
}

TextLoc HostAddText(ObjectId document, const TextLoc* location, const char* text) {
  return CallForValue<TextLoc>([&](IFrameMakerApi* api, int32_t* status, TextLoc* end) {
    return api->AddText(document, location, text, status, end);
  });
}

TextItemList HostGetText(ObjectId document, const TextRange* range, int32_t flags) {
  int32_t status = kStatusUnset;
  TextItemList hostList = {0, nullptr};
  if (!CallHost([&](IFrameMakerApi* api) { return api->GetText(document, range, flags, &status, &hostList); })) {
    return TextItemList{0, nullptr};
  }
  TextItemList copy = {0, nullptr};
  bool copied = CopyTextItemList(&copy, &hostList, PluginBlockAlloc, PluginBlockFree) == 0;
  if (!gOwnsResults) ReleaseTextItemList(&hostList, HostBlockFree);
  if (!copied) {
    Fail(kErrorFailed);
    return TextItemList{0, nullptr};
  }
  if (HostReportedFailure(status)) {
    FreeTextItemList(&copy);
    return TextItemList{0, nullptr};
  }
  return copy;
}

// ---- Properties ----------------------------------------------------------------------

PropertyList HostGetProps(ObjectId document, ObjectId object) {
  int32_t status = kStatusUnset;
  PropertyList hostList = {0, nullptr};
  if (!CallHost([&](IFrameMakerApi* api) { return api->GetProps(document, object, &status, &hostList); })) {
    return PropertyList{0, nullptr};
  }
  PropertyList copy = {0, nullptr};
  bool copied = CopyPropertyList(&copy, &hostList, PluginBlockAlloc, PluginBlockFree) == 0;
  if (!gOwnsResults) ReleasePropertyList(&hostList, HostBlockFree);
  if (!copied) {
    Fail(kErrorFailed);
    return PropertyList{0, nullptr};
  }
  if (HostReportedFailure(status)) {
    FreePropertyList(&copy);
    return PropertyList{0, nullptr};
  }
  return copy;
}

void HostSetProps(ObjectId document, ObjectId object, const PropertyList* props) {
  CallForNothing(
      [&](IFrameMakerApi* api, int32_t* status) { return api->SetProps(document, object, props, status); });
}

int32_t HostGetIntProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  return CallForValue<int32_t>([&](IFrameMakerApi* api, int32_t* status, int32_t* value) {
    return api->GetIntProp(document, object, &prop, status, value);
  });
}

int32_t HostSetIntProp(ObjectId document, ObjectId object, int32_t code, int32_t value) {
  const PropIdent prop = {code, nullptr};
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetIntProp(document, object, &prop, value, status);
  });
}

ObjectId HostGetIdProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* value) {
    return api->GetIdProp(document, object, &prop, status, value);
  });
}

void HostSetIdProp(ObjectId document, ObjectId object, int32_t code, ObjectId value) {
  const PropIdent prop = {code, nullptr};
  CallForNothing([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetIdProp(document, object, &prop, value, status);
  });
}

Metric HostGetMetricProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  return CallForValue<Metric>([&](IFrameMakerApi* api, int32_t* status, Metric* value) {
    return api->GetMetricProp(document, object, &prop, status, value);
  });
}

void HostSetMetricProp(ObjectId document, ObjectId object, int32_t code, Metric value) {
  const PropIdent prop = {code, nullptr};
  CallForNothing([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetMetricProp(document, object, &prop, value, status);
  });
}

TextLoc HostGetTextLocProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  return CallForValue<TextLoc>([&](IFrameMakerApi* api, int32_t* status, TextLoc* value) {
    return api->GetTextLocProp(document, object, &prop, status, value);
  });
}

TextRange* HostGetTextRangeProp(TextRange* range, ObjectId document, ObjectId object, int32_t code) {
  if (range == nullptr) return nullptr;
  const PropIdent prop = {code, nullptr};
  *range = CallForValue<TextRange>([&](IFrameMakerApi* api, int32_t* status, TextRange* value) {
    return api->GetTextRangeProp(document, object, &prop, status, value);
  });
  return range;
}

void HostSetTextRangeProp(ObjectId document, ObjectId object, int32_t code, const TextRange* range) {
  const PropIdent prop = {code, nullptr};
  CallForNothing([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetTextRangeProp(document, object, &prop, range, status);
  });
}

char* HostGetStringProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  int32_t status = kStatusUnset;
  char* hostString = nullptr;
  if (!CallHost([&](IFrameMakerApi* api) {
        return api->GetStringProp(document, object, &prop, &status, &hostString);
      })) {
    return nullptr;
  }
  char* copy = nullptr;
  if (!TakeHostString(hostString, &copy)) {
    Fail(kErrorFailed);
    return nullptr;
  }
  if (HostReportedFailure(status)) {
    MemFree(copy);
    return nullptr;
  }
  return copy;
}

int32_t HostSetStringProp(ObjectId document, ObjectId object, int32_t code, const char* value) {
  const PropIdent prop = {code, nullptr};
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetStringProp(document, object, &prop, value, status);
  });
}

IntList HostGetIntsProp(ObjectId document, ObjectId object, int32_t code) {
  const PropIdent prop = {code, nullptr};
  int32_t status = kStatusUnset;
  IntList hostList = {0, nullptr};
  if (!CallHost([&](IFrameMakerApi* api) {
        return api->GetIntsProp(document, object, &prop, &status, &hostList);
      })) {
    return IntList{0, nullptr};
  }
  IntList copy = {0, nullptr};
  bool copied = true;
  // A count from the host that no block could hold (32-bit sizes) fails like a
  // short allocation.
  if (hostList.values != nullptr && hostList.count > SIZE_MAX / sizeof(int32_t)) {
    copied = false;
  } else if (hostList.values != nullptr && hostList.count > 0) {
    size_t size = static_cast<size_t>(hostList.count) * sizeof(int32_t);
    copy.values = static_cast<int32_t*>(MemAlloc(size, 0));
    if (copy.values != nullptr) {
      memcpy(copy.values, hostList.values, size);
      copy.count = hostList.count;
    } else {
      copied = false;
    }
  }
  ReleaseHostBlock(hostList.values);
  if (!copied) {
    Fail(kErrorFailed);
    return IntList{0, nullptr};
  }
  if (HostReportedFailure(status)) {
    MemFree(copy.values);
    return IntList{0, nullptr};
  }
  return copy;
}

void HostSetIntsProp(ObjectId document, ObjectId object, int32_t code, const IntList* value) {
  const PropIdent prop = {code, nullptr};
  CallForNothing([&](IFrameMakerApi* api, int32_t* status) {
    return api->SetIntsProp(document, object, &prop, value, status);
  });
}

// ---- Tables --------------------------------------------------------------------------

int32_t HostAddRows(ObjectId document, ObjectId referenceRow, int32_t position, int32_t count) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) {
    return api->AddRows(document, referenceRow, position, count, status);
  });
}

int32_t HostSelectTableCells(ObjectId document, ObjectId table, int32_t topRow, int32_t bottomRow,
                             int32_t leftColumn, int32_t rightColumn) {
  return CallForStatus([&](IFrameMakerApi* api, int32_t* status) {
    return api->SelectTableCells(document, table, topRow, bottomRow, leftColumn, rightColumn, status);
  });
}

ObjectId HostNewTable(ObjectId document, const char* formatName, int32_t columns, int32_t bodyRows,
                      int32_t headingRows, int32_t footingRows, const TextLoc* location) {
  return CallForValue<ObjectId>([&](IFrameMakerApi* api, int32_t* status, ObjectId* table) {
    return api->NewTable(document, formatName, columns, bodyRows, headingRows, footingRows, location, status,
                         table);
  });
}
