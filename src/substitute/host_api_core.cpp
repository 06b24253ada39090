// The substitute host's COM face: the host object with its fifteen
// interfaces, and the core of the API interface: the call trace and
// failure rules every method goes through, the typed property methods
// and the dispatch of a property read or write to the object family it
// concerns. The methods of each object family are in the
// host_api_*.cpp files beside this one.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

// ---- Rendering arguments for the call trace -------------------------------------------------------

// (Built by appending: GCC 12 at -O3 warns wrongly about "literal" + std::string.)
std::string Quote(const char* text) {
  if (text == nullptr) return "NULL";
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}
std::string Loc(const TextLoc* loc) {
  if (loc == nullptr) return "NULL";
  std::string text = "{";
  text += FormatId(loc->object);
  text += ", ";
  text += std::to_string(loc->offset);
  text += '}';
  return text;
}
std::string Range(const TextRange* range) {
  if (range == nullptr) return "NULL";
  std::string text = "{";
  text += Loc(&range->start);
  text += ", ";
  text += Loc(&range->end);
  text += '}';
  return text;
}
std::string Ints(const IntList* list) {
  if (list == nullptr) return "NULL";
  std::string text = "[";
  for (uint32_t i = 0; i < list->count && list->values != nullptr; ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(list->values[i]);
  }
  return text + "]";
}
std::string Props(const PropertyList* list) {
  if (list == nullptr) return "NULL";
  std::string text = "{";
  for (uint32_t i = 0; i < list->count && list->entries != nullptr; ++i) {
    if (i > 0) text += ", ";
    const PropEntry& entry = list->entries[i];
    text += std::to_string(entry.ident.code);
    if (entry.value.type == kValueInt) {
      text += ':';
      text += std::to_string(entry.value.u.intValue);
    }
  }
  return text + "}";
}
std::string Strings(const StringList* list) {
  if (list == nullptr) return "NULL";
  std::string text = "[";
  for (uint32_t i = 0; i < list->count && list->strings != nullptr; ++i) {
    if (i > 0) text += ", ";
    text += Quote(list->strings[i]);
  }
  return text + "]";
}
std::string Args(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}
std::string Num(int64_t value) { return std::to_string(value); }
std::string Str(const char* text) { return text == nullptr ? std::string() : std::string(text); }

Got Fail(int32_t status) { return Got{status, {}}; }
Got Ok(PropertyValue value) { return Got{0, std::move(value)}; }

namespace {

// ---- Plain COM objects --------------------------------------------------------------------------

// A reference-counted object that answers only the IUnknown identifier and
// its own; the host owns it, the count only records the plug-in's references.
class HeldObject : public IUnknown {
 public:
  explicit HeldObject(const IID& iid) : iid_(iid) {}
  virtual ~HeldObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, iid_) && !IsEqualIID(iid, kIidIUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
  int64_t references = 0;

 private:
  IID iid_;
};

class MemoryModeObject final : public IHostMemoryMode {
 public:
  explicit MemoryModeObject(SubstituteHost& host, bool& owns) : host_(host), owns_(owns) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, kIidHostMemoryMode) && !IsEqualIID(iid, kIidIUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
  HRESULT STDMETHODCALLTYPE SetResultOwnership(int32_t mode) override {
    HRESULT answer = host_.Options().memoryModeAnswer;
    owns_ = mode == 1 && answer == S_OK;
    return answer;
  }
  int64_t references = 0;

 private:
  SubstituteHost& host_;
  bool& owns_;
};

class ModuleObject final : public IHostModule {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, kIidHostModule) && !IsEqualIID(iid, kIidIUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
  HRESULT STDMETHODCALLTYPE SetModule(void* handle) override {
    module = handle;
    return S_OK;
  }
  int64_t references = 0;
  void* module = nullptr;
};

bool IsMenuKind(ObjectKind kind) {
  return kind == ObjectKind::kMenu || kind == ObjectKind::kMenuCommand || kind == ObjectKind::kMenuItem;
}

}  // namespace

// ---- Start-up ---------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::AttachClient(IUnknown* client, int32_t flags,
                                                                const PropertyList* list, int32_t* status) {
  if (auto hr = Enter("AttachClient",
                      [&] { return Args({client == nullptr ? "NULL" : "object", Num(flags), Props(list)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  if (client == nullptr) return Done(status, kStatusBadParameter);
  attachFlags = flags;
  description.clear();
  for (uint32_t i = 0; list != nullptr && list->entries != nullptr && i < list->count; ++i) {
    const PropEntry& entry = list->entries[i];
    if (entry.value.type == kValueString) description[entry.ident.code] = Str(entry.value.u.string);
  }
  // Only a kept reference keeps the object alive, so only then is it remembered.
  if (host_.options_.keepNotificationsReference) {
    notifications = client;
    client->AddRef();
    ++heldReferences;
  }
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::RunCommandCodes(const IntList* codes, int32_t* status) {
  if (auto hr = Enter("RunCommandCodes", [&] { return Ints(codes); }, std::nullopt, status)) return *hr;
  if (codes == nullptr || (codes->count > 0 && codes->values == nullptr)) return Done(status, kStatusBadParameter);
  host_.commandCodes_.emplace_back(codes->values, codes->values + codes->count);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::RequestNotification(int32_t code, int32_t on, int32_t* status) {
  if (auto hr = Enter("RequestNotification", [&] { return Args({Num(code), Num(on)}); }, code, status)) return *hr;
  std::erase(requested, code);
  if (on != 0) requested.push_back(code);
  return Done(status, 0);
}

// ---- Call bookkeeping -------------------------------------------------------------------------

// Records the call and applies the failure rules. Returns the HRESULT the
// method must return at once (a failure fired or the status slot is
// missing), or nullopt to go on.
std::optional<HRESULT> SubstituteHost::ApiImpl::Enter(const char* method, const TraceText& args,
                                                      std::optional<int32_t> code, int32_t* status) {
  if (host_.options_.recordCalls) host_.trace_.push_back(std::string(method) + "(" + args.Text() + ")");
  current_ = {method, code};
  ++host_.callCount_;
  if (status == nullptr) {
    host_.failedCalls_.push_back({method, code, 0, E_POINTER, false});
    return E_POINTER;
  }
  const FailureRule* fired = nullptr;
  for (auto& state : host_.failures_) {
    const FailureRule& rule = state.rule;
    if (rule.method != "*" && rule.method != method) continue;
    if (rule.propertyCode && (!code || *code != *rule.propertyCode)) continue;
    ++state.seen;
    if (fired != nullptr || state.seen <= rule.skip) continue;
    if (rule.times != FailureRule::kEveryTime && state.failed >= rule.times) continue;
    ++state.failed;
    fired = &rule;
  }
  if (fired == nullptr) return std::nullopt;
  if (FAILED(fired->hresult)) {
    host_.failedCalls_.push_back({method, code, 0, fired->hresult, true});
    return fired->hresult;
  }
  host_.failedCalls_.push_back({method, code, fired->status, S_OK, true});
  *status = fired->status;
  return S_OK;
}

// Hands a finished answer's blocks over: kept by the host in host-owns-
// results mode, otherwise the plug-in's to free.
void SubstituteHost::ApiImpl::Hand(BlockBatch& blocks) {
  std::vector<void*> handed = blocks.Commit();
  host_.blocksHandedOut_ += handed.size();
  if (host_.hostOwnsResults_) host_.ownedBlocks_.insert(host_.ownedBlocks_.end(), handed.begin(), handed.end());
}

// ---- Properties -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                              int32_t* status, int32_t* value) {
  return GetNumber("GetIntProp", ValueKind::kInt, doc, object, prop, status, value);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                              int32_t value, int32_t* status) {
  return SetValue("SetIntProp", doc, object, prop, PropertyValue::Int(value), [&] { return Num(value); }, status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                             int32_t* status, ObjectId* value) {
  return GetNumber("GetIdProp", ValueKind::kId, doc, object, prop, status, reinterpret_cast<int32_t*>(value));
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                             ObjectId value, int32_t* status) {
  return SetValue("SetIdProp", doc, object, prop, PropertyValue::Id(value), [&] { return FormatId(value); }, status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                                 int32_t* status, Metric* value) {
  return GetNumber("GetMetricProp", ValueKind::kMetric, doc, object, prop, status, value);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                                 Metric value, int32_t* status) {
  return SetValue("SetMetricProp", doc, object, prop, PropertyValue::OfMetric(value),
                  [&] { return Num(value); },
                  status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetTextLocProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                                  int32_t* status, TextLoc* value) {
  if (value != nullptr) *value = TextLoc{0, 0};
  Got got;
  if (auto hr = GetValue("GetTextLocProp", ValueKind::kTextLoc, doc, object, prop, status, got)) return *hr;
  if (got.status == 0 && value != nullptr) *value = got.value.range.start;
  return Done(status, got.status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetTextRangeProp(ObjectId doc, ObjectId object,
                                                                    const PropIdent* prop, int32_t* status,
                                                                    TextRange* value) {
  if (value != nullptr) *value = TextRange{};
  Got got;
  if (auto hr = GetValue("GetTextRangeProp", ValueKind::kTextRange, doc, object, prop, status, got)) return *hr;
  if (got.status == 0 && value != nullptr) *value = got.value.range;
  return Done(status, got.status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetTextRangeProp(ObjectId doc, ObjectId object,
                                                                    const PropIdent* prop, const TextRange* value,
                                                                    int32_t* status) {
  PropertyValue v;
  v.kind = ValueKind::kTextRange;
  if (value != nullptr) v.range = *value;
  return SetValue("SetTextRangeProp", doc, object, prop, v, [&] { return Range(value); }, status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                                 int32_t* status, char** value) {
  if (value != nullptr) *value = nullptr;
  Got got;
  if (auto hr = GetValue("GetStringProp", ValueKind::kString, doc, object, prop, status, got)) return *hr;
  if (got.status != 0) return Done(status, got.status);
  if (value == nullptr) return Done(status, kStatusBadParameter);
  BlockBatch blocks;
  *value = blocks.String(got.value.text);
  if (*value == nullptr) return Done(status, kStatusNoMemory);
  Hand(blocks);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                                 const char* value, int32_t* status) {
  return SetValue("SetStringProp", doc, object, prop, PropertyValue::String(Str(value)),
                  [&] { return Quote(value); },
                  status);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                               int32_t* status, IntList* value) {
  if (value != nullptr) *value = IntList{0, nullptr};
  Got got;
  if (auto hr = GetValue("GetIntsProp", ValueKind::kInts, doc, object, prop, status, got)) return *hr;
  if (got.status != 0) return Done(status, got.status);
  if (value == nullptr) return Done(status, kStatusBadParameter);
  BlockBatch blocks;
  if (!got.value.ints.empty()) {
    auto* values = static_cast<int32_t*>(blocks.Alloc(got.value.ints.size() * sizeof(int32_t)));
    if (values == nullptr) return Done(status, kStatusNoMemory);
    std::memcpy(values, got.value.ints.data(), got.value.ints.size() * sizeof(int32_t));
    value->count = static_cast<uint32_t>(got.value.ints.size());
    value->values = values;
  }
  Hand(blocks);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                                               const IntList* value, int32_t* status) {
  PropertyValue v;
  v.kind = ValueKind::kInts;
  if (value != nullptr && value->values != nullptr) v.ints.assign(value->values, value->values + value->count);
  return SetValue("SetIntsProp", doc, object, prop, v, [&] { return Ints(value); }, status);
}

HRESULT SubstituteHost::ApiImpl::GetNumber(const char* method, ValueKind kind, ObjectId doc, ObjectId object,
                                           const PropIdent* prop, int32_t* status, int32_t* value) {
  if (value != nullptr) *value = 0;
  Got got;
  if (auto hr = GetValue(method, kind, doc, object, prop, status, got)) return *hr;
  if (got.status == 0 && value != nullptr) *value = got.value.number;
  return Done(status, got.status);
}

std::optional<HRESULT> SubstituteHost::ApiImpl::GetValue(const char* method, ValueKind kind, ObjectId doc,
                                                         ObjectId object, const PropIdent* prop, int32_t* status,
                                                         Got& got) {
  int32_t code = prop != nullptr ? prop->code : 0;
  if (auto hr = Enter(method, [&] { return Args({FormatId(doc), FormatId(object), Num(code)}); }, code, status)) {
    return hr;
  }
  if (prop == nullptr || code == 0) {
    got = Fail(kStatusBadProperty);
    return std::nullopt;
  }
  got = Read(doc, object, code);
  if (got.status == 0 && got.value.kind != kind) got = Fail(kStatusWrongKind);
  return std::nullopt;
}

HRESULT SubstituteHost::ApiImpl::SetValue(const char* method, ObjectId doc, ObjectId object, const PropIdent* prop,
                                          const PropertyValue& value, const TraceText& rendered, int32_t* status) {
  int32_t code = prop != nullptr ? prop->code : 0;
  if (auto hr = Enter(method,
                      [&] { return Args({FormatId(doc), FormatId(object), Num(code), rendered.Text()}); },
                      code, status)) {
    return *hr;
  }
  if (prop == nullptr || code == 0) return Done(status, kStatusBadProperty);
  // The value must be of the property's kind, which a read tells.
  Got current = Read(doc, object, code);
  if (current.status != 0) return Done(status, current.status);
  if (current.value.kind != value.kind) return Done(status, kStatusWrongKind);
  return Done(status, Write(doc, object, code, value));
}

Document* SubstituteHost::ApiImpl::DocumentOf(ObjectId doc, ObjectId object) {
  if (KindOf(object) == ObjectKind::kDocument && (doc == 0 || doc == object)) return host_.FindDocument(object);
  return host_.FindDocument(doc);
}

// ---- Reading and writing properties ------------------------------------------------------------------

Got SubstituteHost::ApiImpl::Read(ObjectId doc, ObjectId object, int32_t code) {
  if (doc == 0 && object == 0) {
    switch (code) {
      case kPropActiveDocument: return Ok(PropertyValue::Id(host_.activeDocument_));
      case kPropActiveBook: return Ok(PropertyValue::Id(host_.activeBook_));
      case kPropFirstOpenDocument:
        return Ok(PropertyValue::Id(host_.documents_.empty() ? 0 : host_.documents_.front()->Id()));
      case kPropHomeDirectory: return Ok(PropertyValue::String(host_.options_.homeDirectory));
      case kPropScreenUpdating: return Ok(PropertyValue::Int(host_.screenUpdating_));
      default: return Fail(kStatusBadProperty);
    }
  }
  if (IsMenuKind(KindOf(object))) return ReadMenu(doc, object, code);
  if (KindOf(object) == ObjectKind::kBook && (doc == 0 || doc == object)) {
    Book* book = host_.FindBook(object);
    if (book == nullptr) return Fail(kStatusBadObject);
    return ReadBook(*book, object, code);
  }
  if (KindOf(doc) == ObjectKind::kBook) {
    Book* book = host_.FindBook(doc);
    if (book == nullptr) return Fail(kStatusBadDocument);
    return ReadBook(*book, object, code);
  }
  Document* document = DocumentOf(doc, object);
  if (document == nullptr) return Fail(KindOf(object) == ObjectKind::kDocument ? kStatusBadObject : kStatusBadDocument);
  return ReadInDocument(*document, object, code);
}

int32_t SubstituteHost::ApiImpl::Write(ObjectId doc, ObjectId object, int32_t code, const PropertyValue& value) {
  if (doc == 0 && object == 0) {
    switch (code) {
      case kPropActiveDocument:
        if (value.number != 0 && !host_.IsOpen(static_cast<ObjectId>(value.number))) return kStatusBadValue;
        host_.activeDocument_ = static_cast<ObjectId>(value.number);
        return 0;
      case kPropActiveBook:
        if (value.number != 0 && host_.FindBook(static_cast<ObjectId>(value.number)) == nullptr) return kStatusBadValue;
        host_.activeBook_ = static_cast<ObjectId>(value.number);
        return 0;
      case kPropScreenUpdating:
        host_.screenUpdating_ = value.number;
        host_.screenHistory_.push_back(value.number);
        return 0;
      default:
        return kStatusReadOnly;
    }
  }
  if (IsMenuKind(KindOf(object))) return WriteMenu(doc, object, code, value);
  if (KindOf(object) == ObjectKind::kBook && (doc == 0 || doc == object)) {
    Book* book = host_.FindBook(object);
    if (book == nullptr) return kStatusBadObject;
    if (code != kPropStatusLine) return kStatusReadOnly;
    book->SetStatusLine(value.text);
    host_.statusStamps_[book->Id()].push_back(host_.callCount_);
    return 0;
  }
  if (KindOf(doc) == ObjectKind::kBook) return kStatusReadOnly;
  Document* document = DocumentOf(doc, object);
  if (document == nullptr) return kStatusBadDocument;
  return WriteInDocument(*document, object, code, value);
}

// ---- The host object ---------------------------------------------------------------------------------

class SubstituteHost::HostObjectImpl final : public IUnknown {
 public:
  explicit HostObjectImpl(SubstituteHost& host) : host_(host), memoryMode_(host, host.hostOwnsResults_) {
    for (int i = 0; i < kHostInterfaceCount; ++i) held_.push_back(std::make_unique<HeldObject>(kHostInterfaceIids[i]));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, kIidIUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    for (int i = 0; i < kHostInterfaceCount; ++i) {
      if (!IsEqualIID(iid, kHostInterfaceIids[i])) continue;
      if (host_.options_.withheldInterfaces.count(i) != 0) return E_NOINTERFACE;
      IUnknown* answer = nullptr;
      if (i == kHostApiInterfaceIndex) {
        answer = static_cast<IFrameMakerApi*>(host_.api_.get());
      } else if (i == kHostMemoryModeInterfaceIndex) {
        answer = &memoryMode_;
      } else if (i == kHostModuleInterfaceIndex) {
        answer = &module_;
      } else {
        answer = held_[static_cast<size_t>(i)].get();
      }
      answer->AddRef();
      *object = answer;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references_); }

  [[nodiscard]] int64_t Outstanding() const {
    int64_t total = references_ + memoryMode_.references + module_.references + host_.api_->references;
    for (const auto& held : held_) total += held->references;
    return total;
  }
  [[nodiscard]] void* Module() const { return module_.module; }

 private:
  SubstituteHost& host_;
  int64_t references_ = 0;
  MemoryModeObject memoryMode_;
  ModuleObject module_;
  std::vector<std::unique_ptr<HeldObject>> held_;
};

// ---- SubstituteHost members that need the COM classes -------------------------------------------------

SubstituteHost::SubstituteHost(FileStore& store, HostOptions options)
    : store_(store), options_(std::move(options)), liveAtStart_(CoTaskMemLiveBlocks()) {
  api_ = std::make_unique<ApiImpl>(*this);
  hostObject_ = std::make_unique<HostObjectImpl>(*this);
  // The host's own menu bars and separators exist from the start.
  CreateMenu("!MakerMainMenu", "Maker Main Menu");
  CreateMenu("!BookMainMenu", "Book Main Menu");
  CreateMenu("!QuickMakerMainMenu", "Quick Maker Main Menu");
  for (int i = 1; i <= 6; ++i) {
    MenuEntry separator;
    separator.id = NewObjectId(ObjectKind::kMenuItem);
    separator.kind = ObjectKind::kMenuItem;
    separator.name = "Separator" + std::to_string(i);
    menus_[separator.id] = separator;
    menuOrder_.push_back(separator.id);
  }
}

SubstituteHost::~SubstituteHost() {
  ReleaseNotifications();
  FreeHostOwnedBlocks();
}

IUnknown* SubstituteHost::HostObject() { return hostObject_.get(); }
IFrameMakerApi* SubstituteHost::Api() { return api_.get(); }
int64_t SubstituteHost::OutstandingReferences() const { return hostObject_->Outstanding(); }
IUnknown* SubstituteHost::AttachedNotifications() const { return api_->notifications; }
int SubstituteHost::HeldNotificationReferences() const { return api_->heldReferences; }
const std::map<int32_t, std::string>& SubstituteHost::ClientDescription() const { return api_->description; }
const std::vector<int32_t>& SubstituteHost::RequestedNotifications() const { return api_->requested; }
void* SubstituteHost::ModuleHandleReceived() const { return hostObject_->Module(); }
int32_t SubstituteHost::AttachFlags() const { return api_->attachFlags; }

int SubstituteHost::ReleaseNotifications() {
  int released = 0;
  while (api_->heldReferences > 0) {
    IUnknown* notifications = api_->notifications;
    --api_->heldReferences;
    ++released;
    if (api_->heldReferences == 0) api_->notifications = nullptr;
    notifications->Release();  // the last one runs the plug-in's shutdown
  }
  api_->notifications = nullptr;
  return released;
}

Document* SubstituteHost::OpenFromStoreLoaded(std::unique_ptr<Document> document, std::string_view hostPath) {
  document->fileName = std::string(hostPath);
  Document& adopted = *document;
  documents_.push_back(std::move(document));
  if (activeDocument_ == 0) activeDocument_ = adopted.Id();
  return &adopted;
}

}  // namespace gw::substitute
