// A plug-in loaded into a substitute host: loading of the shared library, the
// call of its F_ApiClientInit with the host object, the notifications the host
// delivers, and at the end Quit, the host's final Release and dlclose.
#ifndef GRIDWRIGHT_SUBSTITUTE_PLUGIN_SESSION_H
#define GRIDWRIGHT_SUBSTITUTE_PLUGIN_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/fm_api.h"

namespace gw::substitute {

class SubstituteHost;

// A value or a "what: why" message.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)), ok_(true) {}  // NOLINT: implicit by design
  [[nodiscard]] static Expected Failure(std::string message) {
    Expected e;
    e.error_ = std::move(message);
    return e;
  }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] const std::string& error() const { return error_; }
  [[nodiscard]] T& value() { return value_; }
  [[nodiscard]] T& operator*() { return value_; }
  // A pointer to the value, or what the value points to when it is a smart
  // pointer (so that session->Command(2) reaches the session).
  [[nodiscard]] auto operator->() {
    if constexpr (requires { value_.operator->(); }) {
      return value_.operator->();
    } else {
      return &value_;
    }
  }

 private:
  Expected() = default;
  T value_{};
  bool ok_ = false;
  std::string error_;
};

struct SessionOptions {
  std::string pluginPath;   // the plug-in's shared library
  std::string icuDataDir;   // set as ICU's data directory before loading ("" leaves it)
  IUnknown* lifetimeObject = nullptr;  // third argument of F_ApiClientInit
  // What the plug-in is told. The default stands for the loaded library's
  // own handle where the system has one (Windows), as a real host passes.
  void* moduleHandle = kLibraryModuleHandle;

  static inline void* const kLibraryModuleHandle = reinterpret_cast<void*>(0x10000000);
};

class PluginSession {
 public:
  // Sets ICU's data directory, loads the library, finds F_ApiClientInit and
  // calls it with the host object. Fails ("load: why") when the library or the
  // symbol is missing; a start-up that returns -1 is not a failure here (see
  // InitResult). The host must outlive the session.
  [[nodiscard]] static Expected<std::unique_ptr<PluginSession>> Load(SubstituteHost& host,
                                                                     SessionOptions options);
  ~PluginSession();  // Shutdown() if not yet done
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // What F_ApiClientInit returned (0 success, -1 failure).
  [[nodiscard]] int32_t InitResult() const { return initResult_; }
  // Whether the host holds the plug-in's notifications object.
  [[nodiscard]] bool Attached() const;

  // The notifications, delivered as the host does: each returns the
  // plug-in's HRESULT, or E_FAIL when the plug-in stopped with a fatal
  // software exception (recorded in Faults()) or is not attached.
  HRESULT Initialize(int32_t code = 1);
  HRESULT Command(int32_t commandNumber);
  HRESULT Notify(int32_t code, ObjectId document, const char* text, int32_t value = 0);
  HRESULT ClientCall(const char* text) { return Notify(13, 0, text, 0); }
  HRESULT Message(uint32_t a, uint32_t b, uint32_t c);
  HRESULT DialogEvent(uint32_t a, uint32_t b, uint32_t c);
  HRESULT CMSCommand(uint32_t a, uint32_t b, uint32_t c, uint32_t d, void* record);
  // GetResource: the bytes of the answer (the host frees the block), or the
  // plug-in's HRESULT.
  [[nodiscard]] Expected<std::vector<uint8_t>> GetResource(int32_t type, const char* name);
  HRESULT Quit();

  // Quit, then the host's final Release(s) of the notifications object, then
  // unloading. Safe to call twice.
  void Shutdown();

  // Fatal stops caught around notifications ("Command(2): software exception 1").
  [[nodiscard]] const std::vector<std::string>& Faults() const;

 private:
  PluginSession(SubstituteHost& host, void* library);
  template <typename Call>
  HRESULT Deliver(const char* what, Call&& call);

  SubstituteHost& host_;
  void* library_ = nullptr;
  int32_t initResult_ = -1;
  bool quit_ = false;
  bool shutDown_ = false;
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_PLUGIN_SESSION_H
