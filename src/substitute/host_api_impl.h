// The substitute host's API interface as the files that implement it share
// it: the call-trace and answer-block helpers, and the declaration of
// SubstituteHost::ApiImpl. Private to the substitute host.
#ifndef GRIDWRIGHT_SUBSTITUTE_HOST_API_IMPL_H
#define GRIDWRIGHT_SUBSTITUTE_HOST_API_IMPL_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::substitute {

// ---- Rendering arguments for the call trace -------------------------------------------------------

std::string Quote(const char* text);
std::string Loc(const TextLoc* loc);
std::string Range(const TextRange* range);
std::string Ints(const IntList* list);
std::string Props(const PropertyList* list);
std::string Strings(const StringList* list);
std::string Args(std::initializer_list<std::string> parts);
std::string Num(int64_t value);

// A call's argument text for the trace, made only when the trace is on: given
// ready, or made on demand by a callable that outlives the call (a lambda
// written in the call's argument list does).
class TraceText {
 public:
  TraceText(std::string text) : text_(std::move(text)) {}
  template <typename Make>
    requires std::is_invocable_r_v<std::string, const Make&>
  TraceText(const Make& make)
      : make_(&make), call_([](const void* made) { return (*static_cast<const Make*>(made))(); }) {}
  [[nodiscard]] std::string Text() const { return call_ != nullptr ? call_(make_) : text_; }

 private:
  std::string text_;
  const void* make_ = nullptr;
  std::string (*call_)(const void*) = nullptr;
};

std::string Str(const char* text);

// ---- Answers ------------------------------------------------------------------------------------

// Blocks for one answer: handed over on Commit, freed if the answer fails.
class BlockBatch {
 public:
  BlockBatch() = default;
  BlockBatch(const BlockBatch&) = delete;
  BlockBatch& operator=(const BlockBatch&) = delete;
  ~BlockBatch() {
    for (void* block : blocks_) CoTaskMemFree(block);
  }
  [[nodiscard]] void* Alloc(size_t size) {
    if (failed_) return nullptr;
    void* block = CoTaskMemAlloc(size == 0 ? 1 : size);
    if (block == nullptr) {
      failed_ = true;
      return nullptr;
    }
    std::memset(block, 0, size == 0 ? 1 : size);
    blocks_.push_back(block);
    return block;
  }
  [[nodiscard]] char* String(std::string_view text) {
    auto* block = static_cast<char*>(Alloc(text.size() + 1));
    if (block != nullptr) std::memcpy(block, text.data(), text.size());
    return block;
  }
  [[nodiscard]] bool Failed() const { return failed_; }
  // Gives up the blocks: the caller now accounts for them.
  std::vector<void*> Commit() { return std::exchange(blocks_, {}); }

 private:
  std::vector<void*> blocks_;
  bool failed_ = false;
};

struct Got {
  int32_t status = 0;
  PropertyValue value;
};
Got Fail(int32_t status);
Got Ok(PropertyValue value);

// ---- The API interface ------------------------------------------------------------------------------

class SubstituteHost::ApiImpl final : public IFrameMakerApi {
 public:
  explicit ApiImpl(SubstituteHost& host) : host_(host) {}

  // Notifications object kept by AttachClient, with the host's references.
  IUnknown* notifications = nullptr;
  int heldReferences = 0;
  int32_t attachFlags = 0;
  std::map<int32_t, std::string> description;
  std::vector<int32_t> requested;
  int64_t references = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, kIidHostApi) && !IsEqualIID(iid, kIidIUnknown)) return E_NOINTERFACE;
    *object = static_cast<IFrameMakerApi*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  // ---- Start-up ----
  HRESULT STDMETHODCALLTYPE AttachClient(IUnknown* client, int32_t flags, const PropertyList* list,
                                         int32_t* status) override;
  HRESULT STDMETHODCALLTYPE RunCommandCodes(const IntList* codes, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE RequestNotification(int32_t code, int32_t on, int32_t* status) override;

  // ---- Menus ----
  HRESULT STDMETHODCALLTYPE DefineMenu(const char* name, const char* label, int32_t* status,
                                       ObjectId* menu) override;
  HRESULT STDMETHODCALLTYPE AddCommandToMenu(ObjectId menu, ObjectId item, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE AddMenuToMenu(ObjectId menu, ObjectId submenu, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE DefineAndAddMenu(ObjectId parent, const char* name, const char* label, int32_t* status,
                                             ObjectId* menu) override;
  HRESULT STDMETHODCALLTYPE DefineAndAddCommand(int32_t number, ObjectId menu, const char* name, const char* label,
                                                const char* shortcut, int32_t* status, ObjectId* command) override;

  // ---- The user ----
  HRESULT STDMETHODCALLTYPE Alert(const char* message, int32_t kind, int32_t* status, int32_t* answer) override;
  HRESULT STDMETHODCALLTYPE ConsoleWrite(const char* text, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE ScrollListPrompt(const char* title, const StringList* items, int32_t defaultIndex,
                                             int32_t* status, int32_t* chosen) override;

  // ---- Documents ----
  HRESULT STDMETHODCALLTYPE OpenDocument(const char* fileName, const PropertyList* params, PropertyList* returnList,
                                         int32_t* status, ObjectId* document) override;
  HRESULT STDMETHODCALLTYPE SaveDocument(ObjectId documentId, const char* fileName, const PropertyList* params,
                                         PropertyList* returnList, int32_t* status, ObjectId* saved) override;
  HRESULT STDMETHODCALLTYPE NewCustomDocument(Metric width, Metric height, int32_t columns, Metric gap, Metric top,
                                              Metric bottom, Metric inside, Metric outside, int32_t sidedness,
                                              int32_t makeVisible, int32_t* status, ObjectId* document) override;
  HRESULT STDMETHODCALLTYPE CloseDocument(ObjectId documentId, int32_t flags, int32_t* status) override;

  // ---- Editing ----
  HRESULT STDMETHODCALLTYPE Cut(ObjectId documentId, int32_t flags, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE Paste(ObjectId documentId, int32_t flags, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE ScrollToText(ObjectId documentId, const TextRange* range, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE Redisplay(ObjectId documentId, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE DeleteObject(ObjectId documentId, ObjectId object, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetNamedObject(ObjectId documentId, int32_t type, const char* name, int32_t* status,
                                           ObjectId* object) override;
  HRESULT STDMETHODCALLTYPE AddText(ObjectId documentId, const TextLoc* location, const char* text, int32_t* status,
                                    TextLoc* end) override;

  // ---- Properties ----
  HRESULT STDMETHODCALLTYPE GetProps(ObjectId documentId, ObjectId object, int32_t* status,
                                     PropertyList* result) override;
  HRESULT STDMETHODCALLTYPE SetProps(ObjectId documentId, ObjectId object, const PropertyList* props,
                                     int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                       int32_t* value) override;
  HRESULT STDMETHODCALLTYPE SetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t value,
                                       int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                      ObjectId* value) override;
  HRESULT STDMETHODCALLTYPE SetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop, ObjectId value,
                                      int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                          Metric* value) override;
  HRESULT STDMETHODCALLTYPE SetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop, Metric value,
                                          int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetTextLocProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                           TextLoc* value) override;
  HRESULT STDMETHODCALLTYPE GetTextRangeProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                             TextRange* value) override;
  HRESULT STDMETHODCALLTYPE SetTextRangeProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                             const TextRange* value, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                          char** value) override;
  HRESULT STDMETHODCALLTYPE SetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop, const char* value,
                                          int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                        IntList* value) override;
  HRESULT STDMETHODCALLTYPE SetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop, const IntList* value,
                                        int32_t* status) override;
  HRESULT STDMETHODCALLTYPE GetText(ObjectId documentId, const TextRange* range, int32_t flags, int32_t* status,
                                    TextItemList* result) override;

  // ---- Tables ----
  HRESULT STDMETHODCALLTYPE AddRows(ObjectId documentId, ObjectId referenceRow, int32_t position, int32_t count,
                                    int32_t* status) override;
  HRESULT STDMETHODCALLTYPE SelectTableCells(ObjectId documentId, ObjectId tableId, int32_t topRow, int32_t bottomRow,
                                             int32_t leftColumn, int32_t rightColumn, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE NewTable(ObjectId documentId, const char* formatName, int32_t columns, int32_t bodyRows,
                                     int32_t headingRows, int32_t footingRows, const TextLoc* location,
                                     int32_t* status, ObjectId* table) override;

 private:
  friend class SubstituteHost;

  // ---- Call bookkeeping ----

  std::optional<HRESULT> Enter(const char* method, const TraceText& args, std::optional<int32_t> code,
                               int32_t* status);
  HRESULT Done(int32_t* status, int32_t result) {
    if (result != 0) host_.failedCalls_.push_back({current_.method, current_.code, result, S_OK, false});
    *status = result;
    return S_OK;
  }
  template <typename Slot, typename Value>
  HRESULT Done(int32_t* status, int32_t result, Slot* slot, Value value) {
    if (result == 0 && slot != nullptr) *slot = static_cast<Slot>(value);
    return Done(status, result);
  }

  // The call being answered, for the failure record.
  struct CurrentCall {
    const char* method = "";
    std::optional<int32_t> code;
  };
  CurrentCall current_;
  template <typename Slot>
  static void Zero(Slot* slot) {
    if (slot != nullptr) *slot = Slot{};
  }

  void Hand(BlockBatch& blocks);
  int32_t WriteReturnList(PropertyList* returnList, int32_t outcome);
  static size_t ClampOffset(int32_t offset, size_t size) {
    if (offset < 0) return 0;
    return std::min(static_cast<size_t>(offset), size);
  }

  // ---- Menus ----
  MenuEntry* Menu(ObjectId id, ObjectKind kind);
  ObjectId FindMenuByName(const char* name, ObjectKind kind);
  bool Contains(ObjectId outer, ObjectId inside);
  void Append(MenuEntry& menu, MenuEntry& entry);

  // ---- Properties ----
  HRESULT GetNumber(const char* method, ValueKind kind, ObjectId doc, ObjectId object, const PropIdent* prop,
                    int32_t* status, int32_t* value);
  std::optional<HRESULT> GetValue(const char* method, ValueKind kind, ObjectId doc, ObjectId object,
                                  const PropIdent* prop, int32_t* status, Got& got);
  HRESULT SetValue(const char* method, ObjectId doc, ObjectId object, const PropIdent* prop, const PropertyValue& value,
                   const TraceText& rendered, int32_t* status);
  Document* DocumentOf(ObjectId doc, ObjectId object);
  Got Read(ObjectId doc, ObjectId object, int32_t code);
  int32_t Write(ObjectId doc, ObjectId object, int32_t code, const PropertyValue& value);
  Got ReadInDocument(Document& document, ObjectId object, int32_t code);
  int32_t WriteInDocument(Document& document, ObjectId object, int32_t code, const PropertyValue& value);
  Got ReadMenu(ObjectId doc, ObjectId object, int32_t code);
  int32_t WriteMenu(ObjectId doc, ObjectId object, int32_t code, const PropertyValue& value);
  Got ReadBook(Book& book, ObjectId object, int32_t code);
  int32_t ApplyProperties(Document& document, ObjectId object, const ListProperties& entries);
  int32_t CutSelection(Document& document);
  int32_t PasteClipboard(Document& document);

  SubstituteHost& host_;
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_HOST_API_IMPL_H
