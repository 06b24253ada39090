// A scripted host for the host-layer tests: a host object that hands out the
// fifteen interfaces, an API interface whose every method records its call
// and answers with the HRESULT, status and results the test set, and
// reference counts the tests can read.
//
// Results the real host returns in CoTaskMemAlloc blocks (strings, int
// arrays, property and text-item lists) come from CoTaskMemAlloc here too, so
// the tests can count the plug-in's frees. When the host keeps ownership
// (keepBlocks) the fake remembers them and frees them itself (FreeKeptBlocks).
#ifndef GRIDWRIGHT_TESTS_HOST_FAKE_HOST_H
#define GRIDWRIGHT_TESTS_HOST_FAKE_HOST_H

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host/fm_api.h"
#include "host/property_lists.h"
#include "platform/winapi.h"

namespace fake {

// A string in a fresh CoTaskMemAlloc block.
inline char* HostString(const char* text) {
  size_t size = std::strlen(text) + 1;
  return static_cast<char*>(std::memcpy(CoTaskMemAlloc(size), text, size));
}

// IUnknown with a reference count the tests read; QueryInterface refuses all.
template <typename Interface>
class Counted : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    --references;
    if (onRelease) onRelease();
    return references;
  }
  int32_t references = 0;
  std::function<void()> onRelease;
};

using HeldInterface = Counted<IUnknown>;

class MemoryMode : public Counted<IHostMemoryMode> {
 public:
  HRESULT STDMETHODCALLTYPE SetResultOwnership(int32_t mode) override {
    modes.push_back(mode);
    return answer;
  }
  HRESULT answer = S_FALSE;
  std::vector<int32_t> modes;
};

class Module : public Counted<IHostModule> {
 public:
  HRESULT STDMETHODCALLTYPE SetModule(void* handle) override {
    handles.push_back(handle);
    return S_OK;
  }
  std::vector<void*> handles;
};

// The API interface. Every method records its name, then answers with
// `result`; when that succeeds it writes `status` and the scripted result
// (also with a failure status, so that the plug-in must drop and release it).
class Api : public Counted<IFrameMakerApi> {
 public:
  // ---- Script --------------------------------------------------------------------
  HRESULT result = S_OK;
  int32_t status = 0;
  ObjectId idResult = 0;
  int32_t intResult = 0;
  TextLoc textLocResult = {0, 0};
  TextRange textRangeResult = {{0, 0}, {0, 0}};
  const char* stringResult = nullptr;  // NULL, or handed out in a fresh block
  std::vector<int32_t> intsResult;
  uint32_t intsCountOverride = 0;  // nonzero: the count reported with intsResult's values
  std::function<PropertyList()> propertyListResult;
  std::function<TextItemList()> textItemsResult;
  bool keepBlocks = false;
  bool keepNotifications = true;  // AttachClient takes a reference

  // ---- Record ----------------------------------------------------------------------
  std::vector<std::string> calls;
  std::vector<int32_t> numbers;  // attach flags, command codes, string property codes
  std::vector<std::string> texts;  // console text, saved file names
  std::vector<std::pair<int32_t, int32_t>> params;  // (code, int) of the last open or save
  const PropertyList* lastDescription = nullptr;
  std::vector<std::pair<int32_t, std::string>> description;
  IUnknown* notifications = nullptr;

  void FreeKeptBlocks() {
    for (void* block : keptBlocks_) CoTaskMemFree(block);
    for (PropertyList& list : keptLists_) ReleasePropertyList(&list, HostBlockFree);
    for (TextItemList& list : keptItems_) ReleaseTextItemList(&list, HostBlockFree);
    keptBlocks_.clear();
    keptLists_.clear();
    keptItems_.clear();
  }

  HRESULT STDMETHODCALLTYPE AttachClient(IUnknown* client, int32_t flags, const PropertyList* list,
                                         int32_t* st) override {
    numbers.push_back(flags);
    lastDescription = list;
    description.clear();
    for (uint32_t i = 0; list != nullptr && i < list->count; ++i) {
      const TypedValue& value = list->entries[i].value;
      description.emplace_back(list->entries[i].ident.code, value.type == kValueString ? value.u.string : "?");
    }
    HRESULT hr = Plain("AttachClient", st);
    if (keepNotifications && client != nullptr && SUCCEEDED(hr)) {
      client->AddRef();
      notifications = client;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE RunCommandCodes(const IntList* codes, int32_t* st) override {
    numbers.insert(numbers.end(), codes->values, codes->values + codes->count);
    return Plain("RunCommandCodes", st);
  }
  HRESULT STDMETHODCALLTYPE RequestNotification(int32_t, int32_t, int32_t* st) override {
    return Plain("RequestNotification", st);
  }
  HRESULT STDMETHODCALLTYPE DefineMenu(const char*, const char*, int32_t* st, ObjectId* menu) override {
    return Give("DefineMenu", st, menu, idResult);
  }
  HRESULT STDMETHODCALLTYPE AddCommandToMenu(ObjectId, ObjectId, int32_t* st) override {
    return Plain("AddCommandToMenu", st);
  }
  HRESULT STDMETHODCALLTYPE AddMenuToMenu(ObjectId, ObjectId, int32_t* st) override {
    return Plain("AddMenuToMenu", st);
  }
  HRESULT STDMETHODCALLTYPE DefineAndAddMenu(ObjectId, const char*, const char*, int32_t* st,
                                             ObjectId* menu) override {
    return Give("DefineAndAddMenu", st, menu, idResult);
  }
  HRESULT STDMETHODCALLTYPE Alert(const char*, int32_t, int32_t* st, int32_t* answer) override {
    return Give("Alert", st, answer, intResult);
  }
  HRESULT STDMETHODCALLTYPE ConsoleWrite(const char* text, int32_t* st) override {
    texts.push_back(text);
    return Plain("ConsoleWrite", st);
  }
  HRESULT STDMETHODCALLTYPE ScrollListPrompt(const char*, const StringList*, int32_t, int32_t* st,
                                             int32_t* chosen) override {
    return Give("ScrollListPrompt", st, chosen, intResult);
  }
  HRESULT STDMETHODCALLTYPE OpenDocument(const char*, const PropertyList* list, PropertyList* returnList,
                                         int32_t* st, ObjectId* document) override {
    RecordParams(list);
    HRESULT hr = Give("OpenDocument", st, document, idResult);
    if (SUCCEEDED(hr)) *returnList = HandOutList();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SaveDocument(ObjectId, const char* fileName, const PropertyList* list,
                                         PropertyList* returnList, int32_t* st, ObjectId* saved) override {
    texts.push_back(fileName);
    RecordParams(list);
    HRESULT hr = Give("SaveDocument", st, saved, idResult);
    if (SUCCEEDED(hr)) *returnList = HandOutList();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE NewCustomDocument(Metric, Metric, int32_t, Metric, Metric, Metric, Metric, Metric,
                                              int32_t, int32_t, int32_t* st, ObjectId* document) override {
    return Give("NewCustomDocument", st, document, idResult);
  }
  HRESULT STDMETHODCALLTYPE CloseDocument(ObjectId, int32_t, int32_t* st) override {
    return Plain("CloseDocument", st);
  }
  HRESULT STDMETHODCALLTYPE Cut(ObjectId, int32_t, int32_t* st) override { return Plain("Cut", st); }
  HRESULT STDMETHODCALLTYPE Paste(ObjectId, int32_t, int32_t* st) override { return Plain("Paste", st); }
  HRESULT STDMETHODCALLTYPE ScrollToText(ObjectId, const TextRange*, int32_t* st) override {
    return Plain("ScrollToText", st);
  }
  HRESULT STDMETHODCALLTYPE Redisplay(ObjectId, int32_t* st) override { return Plain("Redisplay", st); }
  HRESULT STDMETHODCALLTYPE DeleteObject(ObjectId, ObjectId, int32_t* st) override {
    return Plain("DeleteObject", st);
  }
  HRESULT STDMETHODCALLTYPE GetNamedObject(ObjectId, int32_t, const char*, int32_t* st, ObjectId* object) override {
    return Give("GetNamedObject", st, object, idResult);
  }
  HRESULT STDMETHODCALLTYPE AddText(ObjectId, const TextLoc*, const char*, int32_t* st, TextLoc* end) override {
    return Give("AddText", st, end, textLocResult);
  }
  HRESULT STDMETHODCALLTYPE GetProps(ObjectId, ObjectId, int32_t* st, PropertyList* out) override {
    HRESULT hr = Plain("GetProps", st);
    if (SUCCEEDED(hr)) *out = HandOutList();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetProps(ObjectId, ObjectId, const PropertyList*, int32_t* st) override {
    return Plain("SetProps", st);
  }
  HRESULT STDMETHODCALLTYPE GetIntProp(ObjectId, ObjectId, const PropIdent*, int32_t* st, int32_t* value) override {
    return Give("GetIntProp", st, value, intResult);
  }
  HRESULT STDMETHODCALLTYPE SetIntProp(ObjectId, ObjectId, const PropIdent*, int32_t, int32_t* st) override {
    return Plain("SetIntProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetIdProp(ObjectId, ObjectId, const PropIdent*, int32_t* st, ObjectId* value) override {
    return Give("GetIdProp", st, value, idResult);
  }
  HRESULT STDMETHODCALLTYPE SetIdProp(ObjectId, ObjectId, const PropIdent*, ObjectId, int32_t* st) override {
    return Plain("SetIdProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetMetricProp(ObjectId, ObjectId, const PropIdent*, int32_t* st, Metric* value) override {
    return Give("GetMetricProp", st, value, intResult);
  }
  HRESULT STDMETHODCALLTYPE SetMetricProp(ObjectId, ObjectId, const PropIdent*, Metric, int32_t* st) override {
    return Plain("SetMetricProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetTextLocProp(ObjectId, ObjectId, const PropIdent*, int32_t* st,
                                           TextLoc* value) override {
    return Give("GetTextLocProp", st, value, textLocResult);
  }
  HRESULT STDMETHODCALLTYPE GetTextRangeProp(ObjectId, ObjectId, const PropIdent*, int32_t* st,
                                             TextRange* value) override {
    return Give("GetTextRangeProp", st, value, textRangeResult);
  }
  HRESULT STDMETHODCALLTYPE SetTextRangeProp(ObjectId, ObjectId, const PropIdent*, const TextRange*,
                                             int32_t* st) override {
    return Plain("SetTextRangeProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetStringProp(ObjectId, ObjectId, const PropIdent* prop, int32_t* st,
                                          char** value) override {
    numbers.push_back(prop->code);
    HRESULT hr = Plain("GetStringProp", st);
    if (SUCCEEDED(hr)) *value = stringResult != nullptr ? static_cast<char*>(Keep(HostString(stringResult))) : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetStringProp(ObjectId, ObjectId, const PropIdent*, const char*, int32_t* st) override {
    return Plain("SetStringProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetIntsProp(ObjectId, ObjectId, const PropIdent*, int32_t* st, IntList* value) override {
    HRESULT hr = Plain("GetIntsProp", st);
    if (SUCCEEDED(hr)) {
      size_t size = intsResult.size() * sizeof(int32_t);
      *value = IntList{0, nullptr};
      if (size > 0) {
        value->count = intsCountOverride != 0 ? intsCountOverride : static_cast<uint32_t>(intsResult.size());
        value->values = static_cast<int32_t*>(Keep(std::memcpy(CoTaskMemAlloc(size), intsResult.data(), size)));
      }
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetIntsProp(ObjectId, ObjectId, const PropIdent*, const IntList*, int32_t* st) override {
    return Plain("SetIntsProp", st);
  }
  HRESULT STDMETHODCALLTYPE GetText(ObjectId, const TextRange*, int32_t, int32_t* st, TextItemList* out) override {
    HRESULT hr = Plain("GetText", st);
    if (SUCCEEDED(hr)) {
      *out = textItemsResult ? textItemsResult() : TextItemList{0, nullptr};
      if (keepBlocks) keptItems_.push_back(*out);
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE AddRows(ObjectId, ObjectId, int32_t, int32_t, int32_t* st) override {
    return Plain("AddRows", st);
  }
  HRESULT STDMETHODCALLTYPE SelectTableCells(ObjectId, ObjectId, int32_t, int32_t, int32_t, int32_t,
                                             int32_t* st) override {
    return Plain("SelectTableCells", st);
  }
  HRESULT STDMETHODCALLTYPE NewTable(ObjectId, const char*, int32_t, int32_t, int32_t, int32_t, const TextLoc*,
                                     int32_t* st, ObjectId* table) override {
    return Give("NewTable", st, table, idResult);
  }
  HRESULT STDMETHODCALLTYPE DefineAndAddCommand(int32_t, ObjectId, const char*, const char*, const char*,
                                                int32_t* st, ObjectId* command) override {
    return Give("DefineAndAddCommand", st, command, idResult);
  }

 private:
  // Records the call and, when the call goes through, writes the status.
  HRESULT Plain(const char* name, int32_t* st) {
    calls.push_back(name);
    if (SUCCEEDED(result)) *st = status;
    return result;
  }
  template <typename T>
  HRESULT Give(const char* name, int32_t* st, T* slot, const T& value) {
    HRESULT hr = Plain(name, st);
    if (SUCCEEDED(hr)) *slot = value;
    return hr;
  }
  void* Keep(void* block) {
    if (keepBlocks) keptBlocks_.push_back(block);
    return block;
  }
  PropertyList HandOutList() {
    PropertyList list = propertyListResult ? propertyListResult() : PropertyList{0, nullptr};
    if (keepBlocks) keptLists_.push_back(list);
    return list;
  }
  void RecordParams(const PropertyList* list) {
    params.clear();
    for (uint32_t i = 0; list != nullptr && i < list->count; ++i) {
      params.emplace_back(list->entries[i].ident.code, list->entries[i].value.u.intValue);
    }
  }
  std::vector<void*> keptBlocks_;
  std::vector<PropertyList> keptLists_;
  std::vector<TextItemList> keptItems_;
};

// The host object: answers QueryInterface for the fifteen interfaces (the API
// interface unless withheld) and records the order of the queries.
class Host : public Counted<IUnknown> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    for (int i = 0; i < kHostInterfaceCount; ++i) {
      if (!IsEqualIID(iid, kHostInterfaceIids[i])) continue;
      queries.push_back(i);
      IUnknown* answer = i == kHostApiInterfaceIndex          ? (withholdApi ? nullptr : &api)
                         : i == kHostMemoryModeInterfaceIndex ? static_cast<IUnknown*>(&memoryMode)
                         : i == kHostModuleInterfaceIndex     ? static_cast<IUnknown*>(&module)
                                                              : &held[i];
      if (answer == nullptr) return E_NOINTERFACE;
      answer->AddRef();
      *object = answer;  // each interface derives from IUnknown alone: same address
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  // Sum of the references the plug-in holds on every interface.
  int32_t HeldReferences() const {
    int32_t sum = api.references + memoryMode.references + module.references;
    for (const HeldInterface& heldInterface : held) sum += heldInterface.references;
    return sum;
  }

  bool withholdApi = false;
  std::vector<int> queries;  // indexes into kHostInterfaceIids
  Api api;
  MemoryMode memoryMode;
  Module module;
  HeldInterface held[kHostInterfaceCount];
};

}  // namespace fake

#endif  // GRIDWRIGHT_TESTS_HOST_FAKE_HOST_H
