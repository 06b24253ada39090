// Start-up, the notifications object and shutdown.
#include "host/client_entry.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "host/host_ops.h"
#include "host/property_lists.h"
#include "platform/cleanup.h"
#include "platform/module.h"
#include "platform/version_resource.h"
#include "platform/winapi.h"
#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

// The value HostAttachClient passes with the notifications object.
constexpr int32_t kAttachFlags = 0x14000000;
// Size of the buffer the version resource is read into, and of the query path.
constexpr uint32_t kVersionResourceSize = 4096;
constexpr size_t kVersionPathSize = 512;
// The host's home directory: application string property 89.
constexpr int32_t kHomeDirectoryProperty = 89;
// Notify code whose string carries fields, and their separator.
constexpr int32_t kNotifyFieldsCode = 75;
constexpr char kFieldSeparator = 0x1E;

// The version-resource keys of the client description, by property code.
struct DescriptionKey {
  int32_t code;
  const char* key;
};
constexpr DescriptionKey kDescriptionKeys[] = {
    {2, "ClientName"},    {3, "ClientType"},     {4, "FileDescription"}, {5, "ClientProducts"},
    {6, "ClientFacet"},   {7, "ClientFormatId"}, {8, "ClientVendor"},    {9, "ClientSuffix"},
    {10, "ClientInFormat"}, {11, "ClientOutFormat"},
};

// ---- Module state ------------------------------------------------------------------------

void* gModuleHandle = nullptr;
// The host's interfaces in query order (kHostInterfaceIids), NULL until obtained.
IUnknown* gHostInterfaces[kHostInterfaceCount] = {};
FrameMakerNotificationsC* gNotifications = nullptr;
IUnknown* gLifetimeObject = nullptr;

// Releases every held host interface in table order, clearing each slot (and
// the API interface of the host operations) before its Release.
void ReleaseHostInterfaces() {
  for (int i = 0; i < kHostInterfaceCount; ++i) {
    IUnknown* held = gHostInterfaces[i];
    if (held == nullptr) continue;
    gHostInterfaces[i] = nullptr;
    if (i == kHostApiInterfaceIndex) HostSetApi(nullptr);
    held->Release();
  }
}

// Queries interface i of the table and keeps it, upcast from the interface's
// own pointer type.
void QueryHostInterface(IUnknown* hostObject, int i) {
  void* raw = nullptr;
  if (FAILED(hostObject->QueryInterface(kHostInterfaceIids[i], &raw)) || raw == nullptr) return;
  IUnknown* held = nullptr;
  if (i == kHostApiInterfaceIndex) {
    IFrameMakerApi* api = static_cast<IFrameMakerApi*>(raw);
    held = api;
    HostSetApi(api);
  } else if (i == kHostMemoryModeInterfaceIndex) {
    held = static_cast<IHostMemoryMode*>(raw);
  } else if (i == kHostModuleInterfaceIndex) {
    held = static_cast<IHostModule*>(raw);
  } else {
    held = static_cast<IUnknown*>(raw);
  }
  gHostInterfaces[i] = held;
}

// The support library's reader of the host's home directory. Only a failure
// of this read counts: the last error is never reset, so a value left by an
// earlier failed call must not keep ICU from its data folder.
char* ReadHomeDirectory(int32_t* lastError) {
  uint32_t failuresBefore = HostFailureCount();
  char* home = HostGetStringProp(0, 0, kHomeDirectoryProperty);
  if (lastError != nullptr) *lastError = HostFailureCount() != failuresBefore ? HostLastError() : 0;
  return home;
}

// One Notify with fields: its arguments and the split record, which is freed
// however the handler ends. A fatal stop unwinds as a structured exception
// that runs no C++ destructors on Windows, so the release hangs in the
// exception handler chain (CallWithCleanup); the stop passes on unchanged.
struct FieldsNotification {
  int32_t notification;
  ObjectId document;
  const char* text;
  int32_t value;
  NotifyFields fields;
};

void SplitAndNotify(void* context) {
  FieldsNotification* call = static_cast<FieldsNotification*>(context);
  SplitNotifyFields(call->text, &call->fields);
  CommandLayerNotify(call->notification, call->document, nullptr, &call->fields, call->value);
}

void FreeNotificationFields(void* context) { FreeNotifyFields(&static_cast<FieldsNotification*>(context)->fields); }

// Appends a fresh copy of length bytes of text: to the first empty slot, or
// once all six are taken, to the list. The place is made before the copy, so
// that a fatal stop leaves every block made reachable from the record.
void AddField(NotifyFields* fields, const char* text, size_t length) {
  char** place = nullptr;
  for (char*& slot : fields->slots) {
    if (slot == nullptr) {
      place = &slot;
      break;
    }
  }
  if (place == nullptr) {
    size_t size = (static_cast<size_t>(fields->more.count) + 1) * sizeof(char*);
    char** grown = static_cast<char**>(MemRealloc(fields->more.strings, size, kMemMustSucceed));
    if (grown == nullptr) return;  // the host resumed after the fatal stop: the field is dropped
    fields->more.strings = grown;
    place = &fields->more.strings[fields->more.count];
    *place = nullptr;
    ++fields->more.count;
  }
  char* field = static_cast<char*>(MemAlloc(length + 1, kMemMustSucceed));
  if (field == nullptr) {
    // The host resumed after the fatal stop: the field is dropped, and the
    // list holds no empty place.
    if (fields->more.count > 0 && place == &fields->more.strings[fields->more.count - 1]) --fields->more.count;
    return;
  }
  memcpy(field, text, length);
  field[length] = '\0';
  *place = field;
}

}  // namespace

// ---- The entry point ------------------------------------------------------------------

extern "C" int32_t GW_STDCALL F_ApiClientInit(void* moduleHandle, IUnknown* hostObject, IUnknown* lifetimeObject,
                                              const PropertyList* description) {
  if (gNotifications != nullptr) return -1;  // already attached
  gModuleHandle = moduleHandle;
  if (hostObject == nullptr) return -1;

  // Interfaces left held by an earlier start-up that failed are dropped, so
  // that a new start does not leak their references.
  ReleaseHostInterfaces();

  for (int i = 0; i < 12; ++i) QueryHostInterface(hostObject, i);
  if (HostApi() == nullptr) return -1;
  SetHomeDirectoryHook(ReadHomeDirectory);
  for (int i = 12; i < kHostInterfaceCount; ++i) QueryHostInterface(hostObject, i);

  HostSetOwnsResults(0);
  if (IHostMemoryMode* memoryMode = static_cast<IHostMemoryMode*>(gHostInterfaces[kHostMemoryModeInterfaceIndex])) {
    if (memoryMode->SetResultOwnership(1) == S_OK) HostSetOwnsResults(1);
  }

  FrameMakerNotificationsC* notifications = new (std::nothrow) FrameMakerNotificationsC;
  if (notifications == nullptr) {
    SetHomeDirectoryHook(nullptr);
    ReleaseHostInterfaces();
    return -1;
  }
  gNotifications = notifications;

  PropertyList builtDescription = {0, nullptr};
  if (description == nullptr && moduleHandle != nullptr) {
    builtDescription = ClientBuildDescription();
    description = &builtDescription;
  }
  HostAttachClient(static_cast<ComUltraliteC*>(notifications), kAttachFlags, description);
  if (IHostModule* module = static_cast<IHostModule*>(gHostInterfaces[kHostModuleInterfaceIndex])) {
    module->SetModule(moduleHandle);
  }
  FreePropertyList(&builtDescription);

  InitTextSupport();

  if (lifetimeObject != nullptr) {
    gLifetimeObject = lifetimeObject;
    gLifetimeObject->AddRef();
  }

  // Drop the plug-in's own reference; a host that kept none sees the
  // shutdown run here.
  notifications->Release();

  if (HostApi() == nullptr) return -1;
  SetConsoleWriterHook(HostConsoleWrite);
  return 0;
}

// ---- ComUltraliteC ---------------------------------------------------------------------

ComUltraliteC::ComUltraliteC() : referenceCount_(1) {}

ComUltraliteC::~ComUltraliteC() = default;

HRESULT STDMETHODCALLTYPE ComUltraliteC::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  FindInterface(iid, object);
  return *object != nullptr ? S_OK : E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ComUltraliteC::AddRef() {
  referenceCount_ += 1;
  return static_cast<ULONG>(referenceCount_);
}

ULONG STDMETHODCALLTYPE ComUltraliteC::Release() {
  referenceCount_ -= 1;
  if (referenceCount_ != 0) return static_cast<ULONG>(referenceCount_);
  // Releases made while the object is destroyed see a count far from 0.
  referenceCount_ += 100;
  if (CanRelease() == 1) {
    delete this;
    return 0;
  }
  referenceCount_ -= 100;
  return 0;
}

int32_t ComUltraliteC::FindInterface(REFIID iid, void** object) {
  if (!IsEqualIID(iid, kIidIUnknown)) return 0;
  AddRef();
  *object = static_cast<IUnknown*>(this);
  return 1;
}

int32_t ComUltraliteC::CanRelease() { return 1; }

// ---- FmApiInterfacesC --------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE FmApiInterfacesC::QueryInterface(REFIID iid, void** object) {
  return ComUltraliteC::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE FmApiInterfacesC::AddRef() { return ComUltraliteC::AddRef(); }

ULONG STDMETHODCALLTYPE FmApiInterfacesC::Release() { return ComUltraliteC::Release(); }

// ---- FrameMakerNotificationsC --------------------------------------------------------------

int32_t FrameMakerNotificationsC::FindInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, kIidFrameMakerCMSNotifications0)) {
    AddRef();
    *object = static_cast<IFrameMakerCMSNotifications0*>(this);
    return 1;
  }
  if (IsEqualIID(iid, kIidFrameMakerNotifications0)) {
    AddRef();
    *object = static_cast<IFrameMakerNotifications0*>(this);
    return 1;
  }
  if (IsEqualIID(iid, kIidIUnknown)) {
    AddRef();
    *object = static_cast<IUnknown*>(static_cast<ComUltraliteC*>(this));
    return 1;
  }
  return 0;
}

// The shutdown: after it every host operation fails with last error -1.
FrameMakerNotificationsC::~FrameMakerNotificationsC() {
  if (gNotifications == this) gNotifications = nullptr;
  SetConsoleWriterHook(nullptr);
  SetHomeDirectoryHook(nullptr);
  ReleaseHostInterfaces();
  HostFreeReturnLists();
  if (gLifetimeObject != nullptr) {
    IUnknown* lifetime = gLifetimeObject;
    gLifetimeObject = nullptr;
    lifetime->Release();
  }
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::Initialize(int32_t initializationCode) {
  CommandLayerInitialize(initializationCode);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::Quit() {
  CommandLayerQuit();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::Command(int32_t commandNumber) {
  CommandLayerCommand(commandNumber);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::Message(uint32_t, uint32_t, uint32_t) { return S_OK; }

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::DialogEvent(uint32_t, uint32_t, uint32_t) { return S_OK; }

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::Notify(int32_t notification, ObjectId document, const char* text,
                                                           int32_t value) {
  if (notification != kNotifyFieldsCode) {
    CommandLayerNotify(notification, document, text, nullptr, value);
    return S_OK;
  }
  FieldsNotification call;
  memset(&call, 0, sizeof call);
  call.notification = notification;
  call.document = document;
  call.text = text;
  call.value = value;
  CallWithCleanup(SplitAndNotify, FreeNotificationFields, &call);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::GetResource(int32_t resourceType, const char* resourceName,
                                                                ResourceData* answer) {
  if (answer == nullptr) return E_POINTER;
  char fileName[kModuleFileNameSize];
  const void* data = nullptr;
  uint32_t size = 0;
  if (resourceType == 0) {
    uint32_t length = ModuleFileName(gModuleHandle, fileName, sizeof fileName);
    if (length > 0) {
      data = fileName;
      size = length + 1;
    }
  } else {
    ModuleFindResource(gModuleHandle, resourceType & 0xFFFF, resourceName, &data, &size);
  }
  if (data == nullptr || size == 0) return E_FAIL;
  void* block = CoTaskMemAlloc(size);
  if (block == nullptr) return E_OUTOFMEMORY;
  memcpy(block, data, size);
  answer->size = static_cast<int32_t>(size);
  answer->data = block;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameMakerNotificationsC::CMSCommand(uint32_t, uint32_t, uint32_t, uint32_t, void*) {
  return S_OK;
}

IUnknown* ClientNotificationsObject(void) {
  return gNotifications == nullptr ? nullptr : static_cast<ComUltraliteC*>(gNotifications);
}

// ---- The client description -----------------------------------------------------------------

PropertyList ClientBuildDescription(void) {
  PropertyList list = {0, nullptr};
  char fileName[kModuleFileNameSize];
  if (ModuleFileName(gModuleHandle, fileName, sizeof fileName) == 0) return list;
  static char resource[kVersionResourceSize];
  if (!VersionResourceLoad(fileName, resource, sizeof resource)) return list;
  for (const DescriptionKey& key : kDescriptionKeys) {
    char path[kVersionPathSize];
    int length = snprintf(path, sizeof path, "\\StringFileInfo\\" GW_VERSION_BLOCK "\\%s", key.key);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) continue;
    const char* value = nullptr;
    // An entry that cannot be stored for want of memory is left out, like a
    // missing key.
    if (VersionResourceQuery(resource, path, &value)) SetStringProperty(&list, key.code, value);
  }
  return list;
}

// ---- Notify code 75 ------------------------------------------------------------------------

void SplitNotifyFields(const char* text, NotifyFields* fields) {
  if (fields == nullptr) return;
  memset(fields, 0, sizeof *fields);
  if (text == nullptr) return;
  const char* start = text;
  for (;;) {
    const char* end = start;
    while (*end != '\0' && *end != kFieldSeparator) ++end;
    AddField(fields, start, static_cast<size_t>(end - start));
    if (*end == '\0') break;
    start = end + 1;
  }
}

void FreeNotifyFields(NotifyFields* fields) {
  if (fields == nullptr) return;
  for (char*& slot : fields->slots) FreeString(&slot);
  for (uint32_t i = 0; i < fields->more.count; ++i) MemFree(fields->more.strings[i]);
  MemFree(fields->more.strings);
  fields->more.strings = nullptr;
  fields->more.count = 0;
}
