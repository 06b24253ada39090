// Loading the plug-in into the substitute host and delivering notifications.
#include "substitute/plugin_session.h"

#include <unicode/putil.h>

#include <cstdlib>
#include <cstring>

#include "platform/library.h"
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
  if (!options.icuDataDir.empty()) {
    u_setDataDirectory(options.icuDataDir.c_str());
#if defined(_WIN32)
    // The plug-in carries its own copy of ICU here, which takes its data
    // directory from ICU_DATA when it first needs one.
    _putenv_s("ICU_DATA", options.icuDataDir.c_str());
#endif
  }
  char why[512];
  void* library = LibraryLoad(options.pluginPath.c_str(), why, sizeof why);
  if (library == nullptr) {
    return Expected<std::unique_ptr<PluginSession>>::Failure("load " + options.pluginPath + ": " + why);
  }
  void* symbol = LibrarySymbol(library, kClientInitSymbol);
  if (symbol == nullptr) {
    LibraryUnload(library);
    return Expected<std::unique_ptr<PluginSession>>::Failure("load " + options.pluginPath + ": no " +
                                                            kClientInitSymbol);
  }
  ClientInitFunction init = nullptr;
  std::memcpy(&init, &symbol, sizeof init);
  void* moduleHandle = options.moduleHandle == SessionOptions::kLibraryModuleHandle
                           ? LibraryModuleHandle(library, options.moduleHandle)
                           : options.moduleHandle;
  std::unique_ptr<PluginSession> session(new PluginSession(host, library));
  uint32_t code = 0;
  int32_t result = -1;
  auto start = [&] { result = init(moduleHandle, host.HostObject(), options.lifetimeObject, nullptr); };
  if (CallWithExceptionHandler(start, kExceptionEndsCall, &code) != 0) {
    host.RecordFault("F_ApiClientInit: software exception " + std::to_string(code));
    result = -1;
  }
  session->initResult_ = result;
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
  // The plug-in's fatal stop ends the notification: the host's handler
  // around it catches the software exception.
  HRESULT result = E_FAIL;
  uint32_t code = 0;
  if (CallWithExceptionHandler([&] { result = call(notifications.get()); }, kExceptionEndsCall, &code) != 0) {
    host_.RecordFault(std::string(what) + ": software exception " + std::to_string(code));
    return E_FAIL;
  }
  return result;
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
  HRESULT result = E_FAIL;
  uint32_t code = 0;
  if (CallWithExceptionHandler([&] { result = cms.get()->CMSCommand(a, b, c, d, record); }, kExceptionEndsCall,
                               &code) != 0) {
    host_.RecordFault("CMSCommand: software exception " + std::to_string(code));
    return E_FAIL;
  }
  return result;
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
  uint32_t code = 0;
  if (CallWithExceptionHandler([&] { host_.ReleaseNotifications(); }, kExceptionEndsCall, &code) != 0) {
    host_.RecordFault("Release: software exception " + std::to_string(code));
  }
  shutDown_ = true;
  if (library_ != nullptr) {
    LibraryUnload(library_);
    library_ = nullptr;
  }
}

const std::vector<std::string>& PluginSession::Faults() const { return host_.Faults(); }

}  // namespace gw::substitute
