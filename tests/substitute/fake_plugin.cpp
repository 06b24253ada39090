// A minimal plug-in for testing the plug-in session itself: it attaches a
// notifications object, keeps the host's interfaces it asked for, stops with
// a software exception on command 99 and releases everything on its last
// Release.
#include <vector>

#include "host/fm_api.h"
#include "platform/winapi.h"

namespace {

IFrameMakerApi* api = nullptr;
std::vector<IUnknown*> held;
int quits = 0;

class Notifications final : public IFrameMakerNotifications0 {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(iid, kIidFrameMakerNotifications0) && !IsEqualIID(iid, kIidIUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++count_); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--count_ > 0) return static_cast<ULONG>(count_);
    for (IUnknown* object : held) object->Release();
    held.clear();
    api = nullptr;
    delete this;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE Initialize(int32_t) override {
    int32_t status = -1;
    return api->ConsoleWrite("initialized\n", &status);
  }
  HRESULT STDMETHODCALLTYPE Quit() override {
    ++quits;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Command(int32_t number) override {
    if (number == 99) RaiseException(1, 0, 0, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Message(uint32_t, uint32_t, uint32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DialogEvent(uint32_t, uint32_t, uint32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Notify(int32_t, ObjectId, const char* text, int32_t) override {
    int32_t status = -1;
    return api->ConsoleWrite(text, &status);
  }
  HRESULT STDMETHODCALLTYPE GetResource(int32_t, const char*, ResourceData* answer) override {
    answer->data = CoTaskMemAlloc(4);
    static_cast<char*>(answer->data)[0] = 'f';
    static_cast<char*>(answer->data)[1] = 'a';
    static_cast<char*>(answer->data)[2] = 'k';
    static_cast<char*>(answer->data)[3] = 'e';
    answer->size = 4;
    return S_OK;
  }

 private:
  int count_ = 1;
};

}  // namespace

// Exported by visibility here, by the module definition file on Windows.
#if defined(_WIN32)
#define FAKE_PLUGIN_EXPORT
#else
#define FAKE_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" FAKE_PLUGIN_EXPORT int32_t GW_STDCALL F_ApiClientInit(void*, IUnknown* host, IUnknown*,
                                                                 const PropertyList* description) {
  void* object = nullptr;
  if (host == nullptr || FAILED(host->QueryInterface(kIidHostApi, &object))) return -1;
  api = static_cast<IFrameMakerApi*>(object);
  held.push_back(api);
  auto* notifications = new Notifications;
  int32_t status = -1;
  api->AttachClient(notifications, 0x14000000, description, &status);
  IFrameMakerApi* connected = api;
  notifications->Release();  // the host's references keep it now
  return connected != nullptr && api != nullptr ? 0 : -1;
}
