// Loading the plug-in into the substitute host and delivering notifications.
#include "substitute/plugin_session.h"

#include <dlfcn.h>
#include <unicode/putil.h>

#include <cstring>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::substitute {

namespace {

// A reference to the plug-in's notifications interface for one call:
// QueryInterface adds a reference, the destructor releases it.
template <typename Interface>
class InterfaceRef {
 public:
  InterfaceRef(IUnknown* object, const IID& iid) {
    void* pointer = nullptr;
    if (object != nullptr && SUCCEEDED(object->QueryInterface(iid, &pointer))) {
      pointer_ = static_cast<Interface*>(pointer);
    }
  }
  ~InterfaceRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  InterfaceRef(const InterfaceRef&) = delete;
  InterfaceRef& operator=(const InterfaceRef&) = delete;
  [[nodiscard]] Interface* get() const { return pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace

Expected<std::unique_ptr<PluginSession>> PluginSession::Load(SubstituteHost& host, SessionOptions options) {
  if (!options.icuDataDir.empty()) u_setDataDirectory(options.icuDataDir.c_str());
  void* library = dlopen(options.pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    return Expected<std::unique_ptr<PluginSession>>::Failure("load " + options.pluginPath + ": " +
                                                            (why != nullptr ? why : "dlopen failed"));
  }
  void* symbol = dlsym(library, kClientInitSymbol);
  if (symbol == nullptr) {
    dlclose(library);
    return Expected<std::unique_ptr<PluginSession>>::Failure("load " + options.pluginPath + ": no " +
                                                            kClientInitSymbol);
  }
  ClientInitFunction init = nullptr;
  std::memcpy(&init, &symbol, sizeof init);
  std::unique_ptr<PluginSession> session(new PluginSession(host, library));
  try {
    session->initResult_ = init(options.moduleHandle, host.HostObject(), options.lifetimeObject, nullptr);
  } catch (const SoftwareException& e) {
    host.RecordFault("F_ApiClientInit: software exception " + std::to_string(e.code));
    session->initResult_ = -1;
  }
  return session;
}

PluginSession::PluginSession(SubstituteHost& host, void* library) : host_(host), library_(library) {}

PluginSession::~PluginSession() { Shutdown(); }

bool PluginSession::Attached() const { return host_.AttachedNotifications() != nullptr; }

template <typename Call>
HRESULT PluginSession::Deliver(const char* what, Call&& call) {
  if (shutDown_) return E_FAIL;
  InterfaceRef<IFrameMakerNotifications0> notifications(host_.AttachedNotifications(),
                                                        kIidFrameMakerNotifications0);
  if (notifications.get() == nullptr) return E_FAIL;
  try {
    return call(notifications.get());
  } catch (const SoftwareException& e) {
    // The plug-in's fatal stop: the host catches it around the notification.
    host_.RecordFault(std::string(what) + ": software exception " + std::to_string(e.code));
    return E_FAIL;
  }
}

HRESULT PluginSession::Initialize(int32_t code) {
  return Deliver(("Initialize(" + std::to_string(code) + ")").c_str(),
                 [&](IFrameMakerNotifications0* n) { return n->Initialize(code); });
}

HRESULT PluginSession::Command(int32_t commandNumber) {
  return Deliver(("Command(" + std::to_string(commandNumber) + ")").c_str(),
                 [&](IFrameMakerNotifications0* n) { return n->Command(commandNumber); });
}

HRESULT PluginSession::Notify(int32_t code, ObjectId document, const char* text, int32_t value) {
  return Deliver(("Notify(" + std::to_string(code) + ")").c_str(),
                 [&](IFrameMakerNotifications0* n) { return n->Notify(code, document, text, value); });
}

HRESULT PluginSession::Message(uint32_t a, uint32_t b, uint32_t c) {
  return Deliver("Message", [&](IFrameMakerNotifications0* n) { return n->Message(a, b, c); });
}

HRESULT PluginSession::DialogEvent(uint32_t a, uint32_t b, uint32_t c) {
  return Deliver("DialogEvent", [&](IFrameMakerNotifications0* n) { return n->DialogEvent(a, b, c); });
}

HRESULT PluginSession::CMSCommand(uint32_t a, uint32_t b, uint32_t c, uint32_t d, void* record) {
  if (shutDown_) return E_FAIL;
  InterfaceRef<IFrameMakerCMSNotifications0> cms(host_.AttachedNotifications(), kIidFrameMakerCMSNotifications0);
  if (cms.get() == nullptr) return E_FAIL;
  try {
    return cms.get()->CMSCommand(a, b, c, d, record);
  } catch (const SoftwareException& e) {
    host_.RecordFault("CMSCommand: software exception " + std::to_string(e.code));
    return E_FAIL;
  }
}

Expected<std::vector<uint8_t>> PluginSession::GetResource(int32_t type, const char* name) {
  ResourceData answer{0, nullptr};
  HRESULT hr = Deliver("GetResource", [&](IFrameMakerNotifications0* n) { return n->GetResource(type, name, &answer); });
  if (FAILED(hr)) {
    return Expected<std::vector<uint8_t>>::Failure("GetResource: plug-in answered " + std::to_string(hr));
  }
  std::vector<uint8_t> bytes;
  if (answer.data != nullptr && answer.size > 0) {
    const auto* data = static_cast<const uint8_t*>(answer.data);
    bytes.assign(data, data + answer.size);
  }
  CoTaskMemFree(answer.data);  // the host owns the answer block
  return bytes;
}

HRESULT PluginSession::Quit() {
  HRESULT hr = Deliver("Quit", [&](IFrameMakerNotifications0* n) { return n->Quit(); });
  quit_ = true;
  return hr;
}

void PluginSession::Shutdown() {
  if (shutDown_) return;
  if (Attached() && !quit_) (void)Quit();
  try {
    host_.ReleaseNotifications();
  } catch (const SoftwareException& e) {
    host_.RecordFault("Release: software exception " + std::to_string(e.code));
  }
  shutDown_ = true;
  if (library_ != nullptr) {
    dlclose(library_);
    library_ = nullptr;
  }
}

const std::vector<std::string>& PluginSession::Faults() const { return host_.Faults(); }

}  // namespace gw::substitute
