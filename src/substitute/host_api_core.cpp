// The substitute host's COM face: the host object with its fifteen
// interfaces, and the API interface whose methods work on the document model.
#include <algorithm>
#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::substitute {

namespace {

// ---- FrameRoman --------------------------------------------------------------------------------

// Code points of the FrameRoman bytes 0x80 to 0xFF (0 where the byte has none).
constexpr char32_t kFrameRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0,      0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// The FrameRoman form of a UTF-8 name; nullopt for invalid UTF-8 or a
// character that FrameRoman lacks.
std::optional<std::string> Utf8ToFrameRoman(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > utf8.size()) return std::nullopt;
    char32_t code = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    i += length;
    const char32_t* found = std::find(std::begin(kFrameRomanHigh), std::end(kFrameRomanHigh), code);
    if (code == 0 || found == std::end(kFrameRomanHigh)) return std::nullopt;
    out.push_back(static_cast<char>(0x80 + (found - std::begin(kFrameRomanHigh))));
  }
  return out;
}

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
std::string Str(const char* text) { return text == nullptr ? std::string() : std::string(text); }

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

bool WriteListValue(const ListValue& value, TypedValue* out, BlockBatch& blocks);

bool WriteStrings(const std::vector<std::string>& strings, StringList* out, BlockBatch& blocks) {
  out->count = static_cast<uint32_t>(strings.size());
  out->strings = nullptr;
  if (strings.empty()) return true;
  out->strings = static_cast<char**>(blocks.Alloc(strings.size() * sizeof(char*)));
  if (out->strings == nullptr) return false;
  for (size_t i = 0; i < strings.size(); ++i) {
    out->strings[i] = blocks.String(strings[i]);
    if (out->strings[i] == nullptr) return false;
  }
  return true;
}

bool WriteListValue(const ListValue& value, TypedValue* out, BlockBatch& blocks) {
  std::memset(out, 0, sizeof *out);
  out->type = value.type;
  switch (value.type) {
    case kValueInt:
    case kValueMetric:
    case kValueId:
      out->u.intValue = value.number;
      return true;
    case kValueString:
      out->u.string = blocks.String(value.text);
      return out->u.string != nullptr;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      out->u.ints.count = static_cast<uint32_t>(value.ints.size());
      if (value.ints.empty()) return true;
      out->u.ints.values = static_cast<int32_t*>(blocks.Alloc(value.ints.size() * sizeof(int32_t)));
      if (out->u.ints.values == nullptr) return false;
      std::memcpy(out->u.ints.values, value.ints.data(), value.ints.size() * sizeof(int32_t));
      return true;
    case kValueStrings:
      return WriteStrings(value.strings, &out->u.strings, blocks);
    case kValueTextLoc:
      out->u.textLoc = value.range.start;
      return true;
    case kValueTextRange:
      out->u.textRange = value.range;
      return true;
    case kValueList: {
      auto* list = static_cast<TypedValueList*>(blocks.Alloc(sizeof(TypedValueList)));
      if (list == nullptr) return false;
      out->u.list = list;
      list->count = static_cast<uint32_t>(value.list.size());
      if (value.list.empty()) return true;
      list->values = static_cast<TypedValue*>(blocks.Alloc(value.list.size() * sizeof(TypedValue)));
      if (list->values == nullptr) return false;
      for (size_t i = 0; i < value.list.size(); ++i) {
        if (!WriteListValue(value.list[i], &list->values[i], blocks)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

// Reads a typed value the plug-in passed; false for a type the model does
// not keep.
bool ReadListValue(const TypedValue& in, ListValue* out, int depth = 0) {
  if (depth > 32) return false;
  out->type = in.type;
  switch (in.type) {
    case kValueInt:
    case kValueMetric:
    case kValueId:
      out->number = in.u.intValue;
      return true;
    case kValueString:
      out->text = Str(in.u.string);
      return true;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      if (in.u.ints.values != nullptr) out->ints.assign(in.u.ints.values, in.u.ints.values + in.u.ints.count);
      return in.u.ints.values != nullptr || in.u.ints.count == 0;
    case kValueStrings:
      if (in.u.strings.strings == nullptr) return in.u.strings.count == 0;
      for (uint32_t i = 0; i < in.u.strings.count; ++i) out->strings.push_back(Str(in.u.strings.strings[i]));
      return true;
    case kValueTextLoc:
      out->range.start = in.u.textLoc;
      return true;
    case kValueTextRange:
      out->range = in.u.textRange;
      return true;
    case kValueList:
      if (in.u.list == nullptr) return true;
      if (in.u.list->values == nullptr) return in.u.list->count == 0;
      for (uint32_t i = 0; i < in.u.list->count; ++i) {
        ListValue element;
        if (!ReadListValue(in.u.list->values[i], &element, depth + 1)) return false;
        out->list.push_back(std::move(element));
      }
      return true;
    default:
      return false;
  }
}

ListValue ToListValue(const PropertyValue& value) {
  ListValue out;
  switch (value.kind) {
    case ValueKind::kInt: out.type = kValueInt; out.number = value.number; break;
    case ValueKind::kMetric: out.type = kValueMetric; out.number = value.number; break;
    case ValueKind::kId: out.type = kValueId; out.number = value.number; break;
    case ValueKind::kString: out.type = kValueString; out.text = value.text; break;
    case ValueKind::kInts: out.type = kValueInts; out.ints = value.ints; break;
    case ValueKind::kTextLoc: out.type = kValueTextLoc; out.range = value.range; break;
    case ValueKind::kTextRange: out.type = kValueTextRange; out.range = value.range; break;
  }
  return out;
}

std::optional<PropertyValue> FromListValue(const ListValue& value) {
  switch (value.type) {
    case kValueInt: return PropertyValue::Int(value.number);
    case kValueMetric: return PropertyValue::OfMetric(value.number);
    case kValueId: return PropertyValue::Id(static_cast<ObjectId>(value.number));
    case kValueString: return PropertyValue::String(value.text);
    case kValueInts: return PropertyValue::Ints(value.ints);
    default: return std::nullopt;
  }
}

struct Got {
  int32_t status = 0;
  PropertyValue value;
};
Got Fail(int32_t status) { return Got{status, {}}; }
Got Ok(PropertyValue value) { return Got{0, std::move(value)}; }

bool IsMenuKind(ObjectKind kind) {
  return kind == ObjectKind::kMenu || kind == ObjectKind::kMenuCommand || kind == ObjectKind::kMenuItem;
}

}  // namespace

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
                                         int32_t* status) override {
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

  HRESULT STDMETHODCALLTYPE RunCommandCodes(const IntList* codes, int32_t* status) override {
    if (auto hr = Enter("RunCommandCodes", [&] { return Ints(codes); }, std::nullopt, status)) return *hr;
    if (codes == nullptr || (codes->count > 0 && codes->values == nullptr)) return Done(status, kStatusBadParameter);
    host_.commandCodes_.emplace_back(codes->values, codes->values + codes->count);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE RequestNotification(int32_t code, int32_t on, int32_t* status) override {
    if (auto hr = Enter("RequestNotification", [&] { return Args({Num(code), Num(on)}); }, code, status)) return *hr;
    std::erase(requested, code);
    if (on != 0) requested.push_back(code);
    return Done(status, 0);
  }

  // ---- Menus ----
  HRESULT STDMETHODCALLTYPE DefineMenu(const char* name, const char* label, int32_t* status,
                                       ObjectId* menu) override {
    Zero(menu);
    if (auto hr = Enter("DefineMenu", [&] { return Args({Quote(name), Quote(label)}); }, std::nullopt, status)) {
      return *hr;
    }
    if (Str(name).empty()) return Done(status, kStatusBadParameter);
    ObjectId id = FindMenuByName(name, ObjectKind::kMenu);
    if (id == 0) id = host_.CreateMenu(name, Str(label));
    return Done(status, 0, menu, id);
  }

  HRESULT STDMETHODCALLTYPE AddCommandToMenu(ObjectId menu, ObjectId item, int32_t* status) override {
    if (auto hr = Enter("AddCommandToMenu",
                        [&] { return Args({FormatId(menu), FormatId(item)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    MenuEntry* parent = Menu(menu, ObjectKind::kMenu);
    MenuEntry* entry = Menu(item, ObjectKind::kNone);
    if (parent == nullptr || entry == nullptr || entry->kind == ObjectKind::kMenu) {
      return Done(status, kStatusBadObject);
    }
    Append(*parent, *entry);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE AddMenuToMenu(ObjectId menu, ObjectId submenu, int32_t* status) override {
    if (auto hr = Enter("AddMenuToMenu",
                        [&] { return Args({FormatId(menu), FormatId(submenu)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    MenuEntry* parent = Menu(menu, ObjectKind::kMenu);
    MenuEntry* child = Menu(submenu, ObjectKind::kMenu);
    if (parent == nullptr || child == nullptr) return Done(status, kStatusBadObject);
    if (Contains(submenu, menu)) return Done(status, kStatusBadParameter);  // would make a cycle
    Append(*parent, *child);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE DefineAndAddMenu(ObjectId parent, const char* name, const char* label, int32_t* status,
                                             ObjectId* menu) override {
    Zero(menu);
    if (auto hr = Enter("DefineAndAddMenu",
                        [&] { return Args({FormatId(parent), Quote(name), Quote(label)}); },
                        std::nullopt,
                        status)) {
      return *hr;
    }
    if (Menu(parent, ObjectKind::kMenu) == nullptr) return Done(status, kStatusBadObject);
    if (Str(name).empty()) return Done(status, kStatusBadParameter);
    ObjectId id = FindMenuByName(name, ObjectKind::kMenu);
    if (id == 0) id = host_.CreateMenu(name, Str(label));
    if (Contains(id, parent)) return Done(status, kStatusBadParameter);
    Append(*Menu(parent, ObjectKind::kMenu), *Menu(id, ObjectKind::kMenu));
    return Done(status, 0, menu, id);
  }

  HRESULT STDMETHODCALLTYPE DefineAndAddCommand(int32_t number, ObjectId menu, const char* name, const char* label,
                                                const char* shortcut, int32_t* status, ObjectId* command) override {
    Zero(command);
    if (auto hr = Enter("DefineAndAddCommand",
                        [&] { return Args({Num(number), FormatId(menu), Quote(name), Quote(label), Quote(shortcut)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    MenuEntry* parent = Menu(menu, ObjectKind::kMenu);
    if (parent == nullptr) return Done(status, kStatusBadObject);
    if (Str(name).empty()) return Done(status, kStatusBadParameter);
    ObjectId id = FindMenuByName(name, ObjectKind::kMenuCommand);
    if (id == 0) {
      id = host_.CreateCommand(0, name, Str(label), number);
    } else {
      MenuEntry& existing = host_.menus_.at(id);
      existing.commandNumber = number;
      existing.label = Str(label);
    }
    host_.menus_.at(id).shortcut = Str(shortcut);
    Append(*Menu(menu, ObjectKind::kMenu), host_.menus_.at(id));
    return Done(status, 0, command, id);
  }

  // ---- The user ----
  HRESULT STDMETHODCALLTYPE Alert(const char* message, int32_t kind, int32_t* status, int32_t* answer) override {
    Zero(answer);
    if (auto hr = Enter("Alert", [&] { return Args({Quote(message), Num(kind)}); }, std::nullopt, status)) return *hr;
    if (kind < 1 || kind > 4) return Done(status, kStatusBadParameter);
    int32_t reply = host_.user_.AnswerAlert(Str(message), kind);
    host_.user_.StampLast(host_.callCount_);
    return Done(status, 0, answer, reply);
  }

  HRESULT STDMETHODCALLTYPE ConsoleWrite(const char* text, int32_t* status) override {
    if (auto hr = Enter("ConsoleWrite", [&] { return Quote(text); }, std::nullopt, status)) return *hr;
    host_.consoleWrites_.push_back({host_.console_.size(), host_.callCount_});
    host_.console_ += Str(text);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE ScrollListPrompt(const char* title, const StringList* items, int32_t defaultIndex,
                                             int32_t* status, int32_t* chosen) override {
    if (chosen != nullptr) *chosen = -1;
    if (auto hr = Enter("ScrollListPrompt",
                        [&] { return Args({Quote(title), Strings(items), Num(defaultIndex)}); },
                        std::nullopt,
                        status)) {
      return *hr;
    }
    if (items == nullptr || (items->count > 0 && items->strings == nullptr)) return Done(status, kStatusBadParameter);
    std::vector<std::string> choices;
    for (uint32_t i = 0; i < items->count; ++i) choices.push_back(Str(items->strings[i]));
    int32_t answer = host_.user_.AnswerPrompt(Str(title), std::move(choices), defaultIndex);
    host_.user_.StampLast(host_.callCount_);
    return Done(status, 0, chosen, answer);
  }

  // ---- Documents ----
  HRESULT STDMETHODCALLTYPE OpenDocument(const char* fileName, const PropertyList* params, PropertyList* returnList,
                                         int32_t* status, ObjectId* document) override {
    Zero(document);
    if (auto hr = Enter("OpenDocument", [&] { return Args({Quote(fileName), Props(params)}); }, std::nullopt, status)) {
      return *hr;
    }
    std::string path = Str(fileName);
    int32_t result = 0;
    ObjectId id = 0;
    if (path.empty()) {
      result = kStatusBadParameter;
    } else if (Document* open = host_.FindDocumentByPath(path)) {
      id = open->Id();
    } else {
      LoadResult loaded = host_.store_.Load(path);
      if (const StoreError* error = std::get_if<StoreError>(&loaded)) {
        result = error->kind == StoreError::Kind::kNotFound ? kStatusFileNotFound : kStatusFileUnreadable;
      } else {
        Document* opened = host_.OpenFromStoreLoaded(std::move(std::get<std::unique_ptr<Document>>(loaded)), path);
        id = opened->Id();
      }
    }
    if (int32_t written = WriteReturnList(returnList, result); written != 0) return Done(status, written);
    return Done(status, result, document, result == 0 ? id : 0);
  }

  HRESULT STDMETHODCALLTYPE SaveDocument(ObjectId documentId, const char* fileName, const PropertyList* params,
                                         PropertyList* returnList, int32_t* status, ObjectId* saved) override {
    Zero(saved);
    if (auto hr = Enter("SaveDocument",
                        [&] { return Args({FormatId(documentId), Quote(fileName), Props(params)}); },
                        std::nullopt,
                        status)) {
      return *hr;
    }
    int32_t result = 0;
    Document* document = host_.FindDocument(documentId);
    std::optional<std::string> name = Utf8ToFrameRoman(Str(fileName));
    if (document == nullptr) {
      result = kStatusBadDocument;
    } else if (!name || name->empty()) {
      result = kStatusBadParameter;
    } else if (auto error = host_.store_.Save(*name, *document)) {
      result = kStatusSaveFailed;
    } else {
      document->fileName = *name;
    }
    if (int32_t written = WriteReturnList(returnList, result); written != 0) return Done(status, written);
    return Done(status, result, saved, result == 0 ? documentId : 0);
  }

  HRESULT STDMETHODCALLTYPE NewCustomDocument(Metric width, Metric height, int32_t columns, Metric gap, Metric top,
                                              Metric bottom, Metric inside, Metric outside, int32_t sidedness,
                                              int32_t makeVisible, int32_t* status, ObjectId* document) override {
    Zero(document);
    if (auto hr = Enter("NewCustomDocument",
                        [&] {
                          return Args({Num(width), Num(height), Num(columns), Num(gap), Num(top), Num(bottom),
                                       Num(inside), Num(outside), Num(sidedness), Num(makeVisible)});
                        },
                        std::nullopt, status)) {
      return *hr;
    }
    if (width <= 0 || height <= 0 || columns < 1 || gap < 0 || top < 0 || bottom < 0 || inside < 0 || outside < 0 ||
        top + bottom >= height || inside + outside >= width) {
      return Done(status, kStatusBadParameter);
    }
    std::unique_ptr<Document> created = Document::NewStandard();
    // A new document has its insertion point at the start of its main flow.
    ObjectId first = created->LastParagraph().id;
    created->selection = TextRange{{first, 0}, {first, 0}};
    Document& adopted = *created;
    host_.documents_.push_back(std::move(created));
    if (makeVisible != 0 || host_.activeDocument_ == 0) host_.activeDocument_ = adopted.Id();
    return Done(status, 0, document, adopted.Id());
  }

  HRESULT STDMETHODCALLTYPE CloseDocument(ObjectId documentId, int32_t flags, int32_t* status) override {
    if (auto hr = Enter("CloseDocument",
                        [&] { return Args({FormatId(documentId), Num(flags)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    if (!host_.IsOpen(documentId)) return Done(status, kStatusBadDocument);
    host_.CloseDocument(documentId);
    return Done(status, 0);
  }

  // ---- Editing ----
  HRESULT STDMETHODCALLTYPE Cut(ObjectId documentId, int32_t flags, int32_t* status) override {
    if (auto hr = Enter("Cut", [&] { return Args({FormatId(documentId), Num(flags)}); }, std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    return Done(status, CutSelection(*document));
  }

  HRESULT STDMETHODCALLTYPE Paste(ObjectId documentId, int32_t flags, int32_t* status) override {
    if (auto hr = Enter("Paste", [&] { return Args({FormatId(documentId), Num(flags)}); }, std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    return Done(status, PasteClipboard(*document));
  }

  HRESULT STDMETHODCALLTYPE ScrollToText(ObjectId documentId, const TextRange* range, int32_t* status) override {
    if (auto hr = Enter("ScrollToText",
                        [&] { return Args({FormatId(documentId), Range(range)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (range == nullptr || document->FindParagraph(range->start.object) == nullptr) {
      return Done(status, kStatusBadParameter);
    }
    host_.scrolledTo_.push_back(*range);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE Redisplay(ObjectId documentId, int32_t* status) override {
    if (auto hr = Enter("Redisplay", [&] { return FormatId(documentId); }, std::nullopt, status)) return *hr;
    if (!host_.IsOpen(documentId)) return Done(status, kStatusBadDocument);
    host_.redisplays_.push_back(documentId);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE DeleteObject(ObjectId documentId, ObjectId object, int32_t* status) override {
    if (auto hr = Enter("DeleteObject",
                        [&] { return Args({FormatId(documentId), FormatId(object)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    switch (KindOf(object)) {
      case ObjectKind::kTableFormat:
        return Done(status, document->DeleteTableFormat(object) ? 0 : kStatusBadObject);
      case ObjectKind::kRow:
        if (document->FindRow(object) == nullptr) return Done(status, kStatusBadObject);
        document->RemoveRow(object);
        return Done(status, 0);
      case ObjectKind::kTable: {
        return Done(status, document->DeleteTable(object) ? 0 : kStatusBadObject);
      }
      default:
        return Done(status, kStatusBadObject);
    }
  }

  HRESULT STDMETHODCALLTYPE GetNamedObject(ObjectId documentId, int32_t type, const char* name, int32_t* status,
                                           ObjectId* object) override {
    Zero(object);
    if (auto hr = Enter("GetNamedObject",
                        [&] { return Args({FormatId(documentId), Num(type), Quote(name)}); },
                        type, status)) {
      return *hr;
    }
    std::string wanted = Str(name);
    ObjectId found = 0;
    if (type == kNamedMenu || type == kNamedMenuItem) {
      for (ObjectId id : host_.menuOrder_) {
        const MenuEntry& entry = host_.menus_.at(id);
        bool kindFits = type == kNamedMenu ? entry.kind == ObjectKind::kMenu : entry.kind != ObjectKind::kMenu;
        if (kindFits && entry.name == wanted) {
          found = id;
          break;
        }
      }
      return Done(status, 0, object, found);
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (type == kNamedParagraphFormat) {
      if (ParagraphFormat* format = document->FindParagraphFormat(wanted)) found = format->id;
    } else if (type == kNamedTableFormat) {
      if (TableFormat* format = document->FindTableFormat(wanted)) found = format->id;
    } else {
      return Done(status, kStatusBadParameter);
    }
    // A name the document does not have is an answer of 0, not a failure.
    return Done(status, 0, object, found);
  }

  HRESULT STDMETHODCALLTYPE AddText(ObjectId documentId, const TextLoc* location, const char* text, int32_t* status,
                                    TextLoc* end) override {
    if (end != nullptr) *end = TextLoc{0, 0};
    if (auto hr = Enter("AddText",
                        [&] { return Args({FormatId(documentId), Loc(location), Quote(text)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (location == nullptr) return Done(status, kStatusBadParameter);
    std::optional<TextLoc> after = document->InsertText(*location, Str(text));
    if (!after) return Done(status, kStatusBadObject);
    if (end != nullptr) *end = *after;
    return Done(status, 0);
  }

  // ---- Properties ----
  HRESULT STDMETHODCALLTYPE GetProps(ObjectId documentId, ObjectId object, int32_t* status,
                                     PropertyList* result) override {
    if (result != nullptr) *result = PropertyList{0, nullptr};
    if (auto hr = Enter("GetProps",
                        [&] { return Args({FormatId(documentId), FormatId(object)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    if (result == nullptr) return Done(status, kStatusBadParameter);
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    ListProperties properties;
    if (ParagraphFormat* format = document->FindParagraphFormat(object)) {
      properties.push_back({kPropTag, ToListValue(PropertyValue::String(format->name))});
      properties.insert(properties.end(), format->properties.begin(), format->properties.end());
    } else if (Paragraph* paragraph = document->FindParagraph(object)) {
      properties.push_back({kPropTag, ToListValue(PropertyValue::String(paragraph->formatName))});
      const ListProperties& own = paragraph->formatProperties.Get();
      properties.insert(properties.end(), own.begin(), own.end());
    } else if (TableFormat* format = document->FindTableFormat(object)) {
      properties.push_back({kPropTag, ToListValue(PropertyValue::String(format->name))});
      for (const auto& [code, value] : format->properties) properties.push_back({code, ToListValue(value)});
    } else if (Table* table = document->FindTable(object)) {
      properties.push_back({kPropTag, ToListValue(PropertyValue::String(table->tag))});
      for (const auto& [code, value] : table->properties) properties.push_back({code, ToListValue(value)});
    } else {
      return Done(status, kStatusBadObject);
    }
    BlockBatch blocks;
    if (!properties.empty()) {
      auto* entries = static_cast<PropEntry*>(blocks.Alloc(properties.size() * sizeof(PropEntry)));
      if (entries == nullptr) return Done(status, kStatusNoMemory);
      for (size_t i = 0; i < properties.size(); ++i) {
        entries[i].ident = PropIdent{properties[i].code, nullptr};
        if (!WriteListValue(properties[i].value, &entries[i].value, blocks)) return Done(status, kStatusNoMemory);
      }
      result->count = static_cast<uint32_t>(properties.size());
      result->entries = entries;
    }
    Hand(blocks);
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE SetProps(ObjectId documentId, ObjectId object, const PropertyList* props,
                                     int32_t* status) override {
    if (auto hr = Enter("SetProps",
                        [&] { return Args({FormatId(documentId), FormatId(object), Props(props)}); },
                        std::nullopt,
                        status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (props == nullptr || (props->count > 0 && props->entries == nullptr)) return Done(status, kStatusBadParameter);
    ListProperties entries;
    for (uint32_t i = 0; i < props->count; ++i) {
      ListEntry entry;
      entry.code = props->entries[i].ident.code;
      if (entry.code == 0 || !ReadListValue(props->entries[i].value, &entry.value)) {
        return Done(status, kStatusBadValue);
      }
      entries.push_back(std::move(entry));
    }
    return Done(status, ApplyProperties(*document, object, entries));
  }

  HRESULT STDMETHODCALLTYPE GetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                       int32_t* value) override {
    return GetNumber("GetIntProp", ValueKind::kInt, doc, object, prop, status, value);
  }
  HRESULT STDMETHODCALLTYPE SetIntProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t value,
                                       int32_t* status) override {
    return SetValue("SetIntProp", doc, object, prop, PropertyValue::Int(value), [&] { return Num(value); }, status);
  }
  HRESULT STDMETHODCALLTYPE GetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                      ObjectId* value) override {
    return GetNumber("GetIdProp", ValueKind::kId, doc, object, prop, status, reinterpret_cast<int32_t*>(value));
  }
  HRESULT STDMETHODCALLTYPE SetIdProp(ObjectId doc, ObjectId object, const PropIdent* prop, ObjectId value,
                                      int32_t* status) override {
    return SetValue("SetIdProp", doc, object, prop, PropertyValue::Id(value), [&] { return FormatId(value); }, status);
  }
  HRESULT STDMETHODCALLTYPE GetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                          Metric* value) override {
    return GetNumber("GetMetricProp", ValueKind::kMetric, doc, object, prop, status, value);
  }
  HRESULT STDMETHODCALLTYPE SetMetricProp(ObjectId doc, ObjectId object, const PropIdent* prop, Metric value,
                                          int32_t* status) override {
    return SetValue("SetMetricProp", doc, object, prop, PropertyValue::OfMetric(value),
                    [&] { return Num(value); },
                    status);
  }
  HRESULT STDMETHODCALLTYPE GetTextLocProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                           TextLoc* value) override {
    if (value != nullptr) *value = TextLoc{0, 0};
    Got got;
    if (auto hr = GetValue("GetTextLocProp", ValueKind::kTextLoc, doc, object, prop, status, got)) return *hr;
    if (got.status == 0 && value != nullptr) *value = got.value.range.start;
    return Done(status, got.status);
  }
  HRESULT STDMETHODCALLTYPE GetTextRangeProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                             TextRange* value) override {
    if (value != nullptr) *value = TextRange{};
    Got got;
    if (auto hr = GetValue("GetTextRangeProp", ValueKind::kTextRange, doc, object, prop, status, got)) return *hr;
    if (got.status == 0 && value != nullptr) *value = got.value.range;
    return Done(status, got.status);
  }
  HRESULT STDMETHODCALLTYPE SetTextRangeProp(ObjectId doc, ObjectId object, const PropIdent* prop,
                                             const TextRange* value, int32_t* status) override {
    PropertyValue v;
    v.kind = ValueKind::kTextRange;
    if (value != nullptr) v.range = *value;
    return SetValue("SetTextRangeProp", doc, object, prop, v, [&] { return Range(value); }, status);
  }
  HRESULT STDMETHODCALLTYPE GetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                          char** value) override {
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
  HRESULT STDMETHODCALLTYPE SetStringProp(ObjectId doc, ObjectId object, const PropIdent* prop, const char* value,
                                          int32_t* status) override {
    return SetValue("SetStringProp", doc, object, prop, PropertyValue::String(Str(value)),
                    [&] { return Quote(value); },
                    status);
  }
  HRESULT STDMETHODCALLTYPE GetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop, int32_t* status,
                                        IntList* value) override {
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
  HRESULT STDMETHODCALLTYPE SetIntsProp(ObjectId doc, ObjectId object, const PropIdent* prop, const IntList* value,
                                        int32_t* status) override {
    PropertyValue v;
    v.kind = ValueKind::kInts;
    if (value != nullptr && value->values != nullptr) v.ints.assign(value->values, value->values + value->count);
    return SetValue("SetIntsProp", doc, object, prop, v, [&] { return Ints(value); }, status);
  }

  HRESULT STDMETHODCALLTYPE GetText(ObjectId documentId, const TextRange* range, int32_t flags, int32_t* status,
                                    TextItemList* result) override {
    if (result != nullptr) *result = TextItemList{0, nullptr};
    if (auto hr = Enter("GetText",
                        [&] { return Args({FormatId(documentId), Range(range), Num(flags)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (range == nullptr || result == nullptr) return Done(status, kStatusBadParameter);
    struct Item {
      int32_t offset;
      int32_t kind;
      std::string text;
      int32_t value;
    };
    std::vector<Item> items;
    const Paragraph* first = document->FindParagraph(range->start.object);
    const Paragraph* last = document->FindParagraph(range->end.object);
    if (first == nullptr || last == nullptr || first->container != last->container) {
      return Done(status, kStatusBadObject);
    }
    const std::vector<ObjectId>* list = std::as_const(*document).ParagraphsOf(first->container);
    auto from = std::find(list->begin(), list->end(), first->id);
    auto to = std::find(list->begin(), list->end(), last->id);
    if (to < from) return Done(status, kStatusBadParameter);
    for (auto it = from; it <= to; ++it) {
      const Paragraph& p = *document->FindParagraph(*it);
      size_t size = p.text.size();
      size_t begin = it == from ? ClampOffset(range->start.offset, size) : 0;
      size_t end = it == to ? ClampOffset(range->end.offset, size) : size;
      // String items are split at table anchors, as the text runs between them.
      std::vector<std::pair<size_t, ObjectId>> anchors;
      for (ObjectId t : document->TablesAnchoredIn(p.id)) {
        anchors.emplace_back(static_cast<size_t>(document->FindTable(t)->anchor.offset), t);
      }
      size_t position = begin;
      for (const auto& [offset, table] : anchors) {
        if (offset < begin || offset > end) continue;
        if (offset > position) {
          items.push_back({static_cast<int32_t>(position), kTextItemString, p.text.substr(position, offset - position), 0});
        }
        if (offset < end || (offset == end && it != to)) {
          items.push_back({static_cast<int32_t>(offset), kTextItemTableAnchor, {}, static_cast<int32_t>(table)});
        }
        position = offset;
      }
      if (end > position) {
        items.push_back({static_cast<int32_t>(position), kTextItemString, p.text.substr(position, end - position), 0});
      }
      bool endIncluded = it != to || range->end.offset == kTextOffsetEnd ||
                         (range->end.offset >= 0 && static_cast<size_t>(range->end.offset) > size);
      if (endIncluded) items.push_back({static_cast<int32_t>(size), kTextItemParagraphEnd, {}, 0});
    }
    // The flags select item kinds: 1 strings, 2 paragraph ends, 4 table anchors.
    std::erase_if(items, [&](const Item& item) { return (flags & (1 << (item.kind - 1))) == 0; });
    BlockBatch blocks;
    if (!items.empty()) {
      auto* out = static_cast<TextItem*>(blocks.Alloc(items.size() * sizeof(TextItem)));
      if (out == nullptr) return Done(status, kStatusNoMemory);
      for (size_t i = 0; i < items.size(); ++i) {
        out[i].offset = items[i].offset;
        out[i].kind = items[i].kind;
        if (items[i].kind == kTextItemString) {
          out[i].u.string = blocks.String(items[i].text);
          if (out[i].u.string == nullptr) return Done(status, kStatusNoMemory);
        } else {
          out[i].u.value = items[i].value;
        }
      }
      result->count = static_cast<uint32_t>(items.size());
      result->items = out;
    }
    Hand(blocks);
    return Done(status, 0);
  }

  // ---- Tables ----
  HRESULT STDMETHODCALLTYPE AddRows(ObjectId documentId, ObjectId referenceRow, int32_t position, int32_t count,
                                    int32_t* status) override {
    if (auto hr = Enter("AddRows",
                        [&] { return Args({FormatId(documentId), FormatId(referenceRow), Num(position), Num(count)}); },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    Row* row = document->FindRow(referenceRow);
    if (row == nullptr) return Done(status, kStatusBadObject);
    if (count < 1) return Done(status, kStatusBadParameter);
    Table& table = *document->FindTable(row->table);
    size_t index = static_cast<size_t>(std::find(table.rows.begin(), table.rows.end(), referenceRow) - table.rows.begin());
    int32_t kind = row->kind;
    ObjectId tableId = table.id;
    switch (position) {
      case kAddRowsHeading:
        document->InsertRows(tableId, 0, kRowHeading, count);
        break;
      case kAddRowsFooting:
        document->InsertRows(tableId, table.rows.size(), kRowFooting, count);
        break;
      case kAddRowsAbove:
        document->InsertRows(tableId, index, kind, count);
        break;
      case kAddRowsBelow:
        document->InsertRows(tableId, index + 1, kind, count);
        break;
      default:
        return Done(status, kStatusBadParameter);
    }
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE SelectTableCells(ObjectId documentId, ObjectId tableId, int32_t topRow, int32_t bottomRow,
                                             int32_t leftColumn, int32_t rightColumn, int32_t* status) override {
    if (auto hr = Enter("SelectTableCells",
                        [&] {
                          return Args({FormatId(documentId), FormatId(tableId), Num(topRow), Num(bottomRow),
                                       Num(leftColumn), Num(rightColumn)});
                        },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    Table* table = document->FindTable(tableId);
    if (table == nullptr) return Done(status, kStatusBadObject);
    int32_t rows = static_cast<int32_t>(table->rows.size());
    int32_t columns = static_cast<int32_t>(table->columnWidths.size());
    if (topRow < 0 || bottomRow < topRow || bottomRow >= rows || leftColumn < 0 || rightColumn < leftColumn ||
        rightColumn >= columns) {
      return Done(status, kStatusBadParameter);
    }
    document->cellSelection = Document::CellSelection{tableId, topRow, bottomRow, leftColumn, rightColumn};
    const Cell* cell = document->FindCell(document->CellAt(tableId, static_cast<size_t>(topRow),
                                                           static_cast<size_t>(leftColumn)));
    ObjectId paragraph = cell != nullptr && !cell->paragraphs.empty() ? cell->paragraphs.front() : 0;
    document->selection = TextRange{{paragraph, 0}, {paragraph, 0}};
    return Done(status, 0);
  }

  HRESULT STDMETHODCALLTYPE NewTable(ObjectId documentId, const char* formatName, int32_t columns, int32_t bodyRows,
                                     int32_t headingRows, int32_t footingRows, const TextLoc* location,
                                     int32_t* status, ObjectId* table) override {
    Zero(table);
    if (auto hr = Enter("NewTable",
                        [&] {
                          return Args({FormatId(documentId), Quote(formatName), Num(columns), Num(bodyRows),
                                       Num(headingRows), Num(footingRows), Loc(location)});
                        },
                        std::nullopt, status)) {
      return *hr;
    }
    Document* document = host_.FindDocument(documentId);
    if (document == nullptr) return Done(status, kStatusBadDocument);
    if (location == nullptr || document->FindParagraph(location->object) == nullptr) {
      return Done(status, kStatusBadObject);
    }
    // A table needs a column and a body row; the host refuses anything less.
    if (columns < 1 || bodyRows < 1 || headingRows < 0 || footingRows < 0) return Done(status, kStatusBadParameter);
    if (document->FindTableFormat(Str(formatName)) == nullptr) return Done(status, kStatusBadValue);
    Table* created = document->AddTable(Str(formatName), columns, bodyRows, headingRows, footingRows, *location);
    if (created == nullptr) return Done(status, kStatusBadParameter);
    return Done(status, 0, table, created->id);
  }

 private:
  friend class SubstituteHost;

  // ---- Call bookkeeping ----

  // Records the call and applies the failure rules. Returns the HRESULT the
  // method must return at once (a failure fired or the status slot is
  // missing), or nullopt to go on.
  std::optional<HRESULT> Enter(const char* method, const TraceText& args, std::optional<int32_t> code,
                               int32_t* status) {
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

  // Hands a finished answer's blocks over: kept by the host in host-owns-
  // results mode, otherwise the plug-in's to free.
  void Hand(BlockBatch& blocks) {
    std::vector<void*> handed = blocks.Commit();
    host_.blocksHandedOut_ += handed.size();
    if (host_.hostOwnsResults_) host_.ownedBlocks_.insert(host_.ownedBlocks_.end(), handed.begin(), handed.end());
  }

  // The return list of OpenDocument/SaveDocument: one int entry with the
  // outcome. Returns 0, or kStatusNoMemory.
  int32_t WriteReturnList(PropertyList* returnList, int32_t outcome) {
    if (returnList == nullptr) return 0;
    *returnList = PropertyList{0, nullptr};
    BlockBatch blocks;
    auto* entry = static_cast<PropEntry*>(blocks.Alloc(sizeof(PropEntry)));
    if (entry == nullptr) return kStatusNoMemory;
    entry->ident = PropIdent{1, nullptr};
    entry->value.type = kValueInt;
    entry->value.u.intValue = outcome;
    *returnList = PropertyList{1, entry};
    Hand(blocks);
    return 0;
  }

  static size_t ClampOffset(int32_t offset, size_t size) {
    if (offset < 0) return 0;
    return std::min(static_cast<size_t>(offset), size);
  }

  // ---- Menus ----
  MenuEntry* Menu(ObjectId id, ObjectKind kind) {
    auto it = host_.menus_.find(id);
    if (it == host_.menus_.end()) return nullptr;
    if (kind != ObjectKind::kNone && it->second.kind != kind) return nullptr;
    return &it->second;
  }
  ObjectId FindMenuByName(const char* name, ObjectKind kind) {
    for (ObjectId id : host_.menuOrder_) {
      const MenuEntry& entry = host_.menus_.at(id);
      if (entry.kind == kind && entry.name == Str(name)) return id;
    }
    return 0;
  }
  // Whether menu `inside` is menu `outer` or sits somewhere below it.
  bool Contains(ObjectId outer, ObjectId inside) {
    if (outer == inside) return true;
    const MenuEntry* entry = Menu(outer, ObjectKind::kMenu);
    if (entry == nullptr) return false;
    for (ObjectId item : entry->items) {
      if (KindOf(item) == ObjectKind::kMenu && Contains(item, inside)) return true;
    }
    return false;
  }
  // Appends at the end of the menu (an entry already in it moves there).
  void Append(MenuEntry& menu, MenuEntry& entry) {
    std::erase(menu.items, entry.id);
    menu.items.push_back(entry.id);
    entry.lastAddedTo = menu.id;
  }

  // ---- Properties ----
  HRESULT GetNumber(const char* method, ValueKind kind, ObjectId doc, ObjectId object, const PropIdent* prop,
                    int32_t* status, int32_t* value) {
    if (value != nullptr) *value = 0;
    Got got;
    if (auto hr = GetValue(method, kind, doc, object, prop, status, got)) return *hr;
    if (got.status == 0 && value != nullptr) *value = got.value.number;
    return Done(status, got.status);
  }

  std::optional<HRESULT> GetValue(const char* method, ValueKind kind, ObjectId doc, ObjectId object,
                                  const PropIdent* prop, int32_t* status, Got& got) {
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

  HRESULT SetValue(const char* method, ObjectId doc, ObjectId object, const PropIdent* prop, const PropertyValue& value,
                   const TraceText& rendered, int32_t* status) {
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

  Document* DocumentOf(ObjectId doc, ObjectId object) {
    if (KindOf(object) == ObjectKind::kDocument && (doc == 0 || doc == object)) return host_.FindDocument(object);
    return host_.FindDocument(doc);
  }

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

Got SubstituteHost::ApiImpl::ReadBook(Book& book, ObjectId object, int32_t code) {
  if (object == book.Id()) {
    switch (code) {
      case kPropFileName: return Ok(PropertyValue::String(book.fileName));
      case kPropStatusLine: return Ok(PropertyValue::String(book.StatusLine()));
      case kPropFirstComponent: return Ok(PropertyValue::Id(book.TopLevel().empty() ? 0 : book.TopLevel().front()));
      default: return Fail(kStatusBadProperty);
    }
  }
  BookComponent* component = book.FindComponent(object);
  if (component == nullptr) return Fail(kStatusBadObject);
  switch (code) {
    case kPropFileName: return Ok(PropertyValue::String(component->fileName));
    case kPropComponentKind: return Ok(PropertyValue::Int(component->kind));
    case kPropFirstChild:
      return Ok(PropertyValue::Id(component->children.empty() ? 0 : component->children.front()));
    case kPropParentComponent: return Ok(PropertyValue::Id(component->parent));
    case kPropNextComponent: {
      const std::vector<ObjectId>& siblings = *book.SiblingsOf(object);
      auto it = std::find(siblings.begin(), siblings.end(), object);
      return Ok(PropertyValue::Id(it + 1 == siblings.end() ? 0 : *(it + 1)));
    }
    default: return Fail(kStatusBadProperty);
  }
}

Got SubstituteHost::ApiImpl::ReadMenu(ObjectId doc, ObjectId object, int32_t code) {
  MenuEntry* entry = Menu(object, ObjectKind::kNone);
  if (entry == nullptr) return Fail(kStatusBadObject);
  switch (code) {
    case kPropLabel: return Ok(PropertyValue::String(entry->label));
    case kPropFirstMenuItem:
      if (entry->kind != ObjectKind::kMenu) return Fail(kStatusBadProperty);
      return Ok(PropertyValue::Id(entry->items.empty() ? 0 : entry->items.front()));
    case kPropNextMenuItem: {
      // Addressed (menu, item): the next item in that menu; (0, item): in
      // the menu the item was last added to.
      MenuEntry* menu = Menu(doc != 0 ? doc : entry->lastAddedTo, ObjectKind::kMenu);
      if (menu == nullptr) return doc != 0 ? Fail(kStatusBadObject) : Ok(PropertyValue::Id(0));
      auto it = std::find(menu->items.begin(), menu->items.end(), object);
      if (it == menu->items.end()) return Fail(kStatusBadObject);
      return Ok(PropertyValue::Id(it + 1 == menu->items.end() ? 0 : *(it + 1)));
    }
    default: return Fail(kStatusBadProperty);
  }
}

int32_t SubstituteHost::ApiImpl::WriteMenu(ObjectId doc, ObjectId object, int32_t code, const PropertyValue& value) {
  MenuEntry* entry = Menu(object, ObjectKind::kNone);
  if (entry == nullptr) return kStatusBadObject;
  switch (code) {
    case kPropLabel:
      entry->label = value.text;
      return 0;
    case kPropNextMenuItem: {
      // Moves the item in front of the given one; 0 moves it to the end.
      MenuEntry* menu = Menu(doc != 0 ? doc : entry->lastAddedTo, ObjectKind::kMenu);
      if (menu == nullptr) return kStatusBadObject;
      auto self = std::find(menu->items.begin(), menu->items.end(), object);
      if (self == menu->items.end()) return kStatusBadObject;
      ObjectId before = static_cast<ObjectId>(value.number);
      if (before == object) return 0;  // in front of itself: already there
      if (before != 0 && std::find(menu->items.begin(), menu->items.end(), before) == menu->items.end()) {
        return kStatusBadValue;
      }
      menu->items.erase(self);
      auto target = before == 0 ? menu->items.end() : std::find(menu->items.begin(), menu->items.end(), before);
      menu->items.insert(target, object);
      return 0;
    }
    case kPropFirstMenuItem:
      return kStatusReadOnly;
    default:
      return kStatusBadProperty;
  }
}

Got SubstituteHost::ApiImpl::ReadInDocument(Document& document, ObjectId object, int32_t code) {
  if (object == document.Id()) {
    switch (code) {
      case kPropFileName: return Ok(PropertyValue::String(document.fileName));
      case kPropNextOpenDocument: {
        auto& list = host_.documents_;
        for (size_t i = 0; i < list.size(); ++i) {
          if (list[i]->Id() == object) return Ok(PropertyValue::Id(i + 1 < list.size() ? list[i + 1]->Id() : 0));
        }
        return Fail(kStatusBadObject);
      }
      case kPropSelection: {
        PropertyValue v;
        v.kind = ValueKind::kTextRange;
        v.range = document.selection;
        return Ok(v);
      }
      case kPropFirstTable: return Ok(PropertyValue::Id(document.FirstTable()));
      case kPropFirstTableFormat: {
        const auto& order = document.TableFormatOrder();
        return Ok(PropertyValue::Id(order.empty() ? 0 : order.front()));
      }
      case kPropSelectedTable:
        if (document.cellSelection) return Ok(PropertyValue::Id(document.cellSelection->table));
        return Ok(PropertyValue::Id(document.TableOfParagraph(document.selection.start.object)));
      case kPropBulkEdit: return Ok(PropertyValue::Int(document.bulkEdit));
      case kPropDisplayUnit: return Ok(PropertyValue::OfMetric(document.displayUnit));
      case kPropMainFlow: return Ok(PropertyValue::Id(document.MainFlow()));
      default: {
        auto it = document.extraProperties.find(code);
        if (it != document.extraProperties.end()) return Ok(it->second);
        return Fail(kStatusBadProperty);
      }
    }
  }
  switch (KindOf(object)) {
    case ObjectKind::kColour:
    case ObjectKind::kRuling: {
      const NamedObject* named = document.FindNamed(object);
      if (named == nullptr) return Fail(kStatusBadObject);
      if (code == kPropFileName) return Ok(PropertyValue::String(named->name));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kFlow: {
      Flow* flow = document.FindFlow(object);
      if (flow == nullptr) return Fail(kStatusBadObject);
      if (code == kPropLastTextFrame) return Ok(PropertyValue::Id(flow->frames.empty() ? 0 : flow->frames.back()));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kTextFrame:
    case ObjectKind::kGraphicFrame: {
      Frame* frame = document.FindFrame(object);
      if (frame == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropLastParagraph:
          if (KindOf(object) != ObjectKind::kTextFrame) return Fail(kStatusBadProperty);
          return Ok(PropertyValue::Id(frame->paragraphs.empty() ? 0 : frame->paragraphs.back()));
        case kPropParentFrame: return Ok(PropertyValue::Id(frame->parentFrame));
        case kPropFramePage: return Ok(PropertyValue::Id(frame->page));
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kParagraph: {
      Paragraph* paragraph = document.FindParagraph(object);
      if (paragraph == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropParagraphFrame: return Ok(PropertyValue::Id(document.FrameOfParagraph(object)));
        case kPropFormatLocked: return Ok(PropertyValue::Int(paragraph->formatLocked));
        case kPropTag: return Ok(PropertyValue::String(paragraph->formatName));
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kParagraphFormat: {
      ParagraphFormat* format = document.FindParagraphFormat(object);
      if (format == nullptr) return Fail(kStatusBadObject);
      if (code == kPropTag) return Ok(PropertyValue::String(format->name));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kTableFormat: {
      TableFormat* format = document.FindTableFormat(object);
      if (format == nullptr) return Fail(kStatusBadObject);
      if (code == kPropTag) return Ok(PropertyValue::String(format->name));
      if (code == kPropNextTableFormat) return Ok(PropertyValue::Id(document.NextTableFormat(object)));
      auto it = format->properties.find(code);
      if (it == format->properties.end()) return Fail(kStatusBadProperty);
      return Ok(it->second);
    }
    case ObjectKind::kTable: {
      Table* table = document.FindTable(object);
      if (table == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropTag: return Ok(PropertyValue::String(table->tag));
        case kPropNextTable: return Ok(PropertyValue::Id(document.NextTable(object)));
        case kPropAnchor: {
          PropertyValue v;
          v.kind = ValueKind::kTextLoc;
          v.range.start = table->anchor;
          return Ok(v);
        }
        case kPropFirstParagraph:
          return Ok(PropertyValue::Id(table->titleParagraphs.empty() ? 0 : table->titleParagraphs.front()));
        case kPropColumnCount: return Ok(PropertyValue::Int(static_cast<int32_t>(table->columnWidths.size())));
        case kPropColumnWidths: return Ok(PropertyValue::Ints(table->columnWidths));
        case kPropFirstRow: return Ok(PropertyValue::Id(table->rows.empty() ? 0 : table->rows.front()));
        default: {
          auto it = table->properties.find(code);
          if (it == table->properties.end()) return Fail(kStatusBadProperty);
          return Ok(it->second);
        }
      }
    }
    case ObjectKind::kRow: {
      Row* row = document.FindRow(object);
      if (row == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropRowKind: return Ok(PropertyValue::Int(row->kind));
        case kPropFirstCell: return Ok(PropertyValue::Id(row->cells.empty() ? 0 : row->cells.front()));
        case kPropNextRow: {
          const std::vector<ObjectId>& rows = document.FindTable(row->table)->rows;
          auto it = std::find(rows.begin(), rows.end(), object);
          return Ok(PropertyValue::Id(it + 1 == rows.end() ? 0 : *(it + 1)));
        }
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kCell: {
      Cell* cell = document.FindCell(object);
      if (cell == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropColumnIndex: return Ok(PropertyValue::Int(cell->column));
        case kPropFirstParagraph: return Ok(PropertyValue::Id(cell->paragraphs.empty() ? 0 : cell->paragraphs.front()));
        case kPropNextCell: {
          const std::vector<ObjectId>& cells = document.FindRow(cell->row)->cells;
          auto it = std::find(cells.begin(), cells.end(), object);
          return Ok(PropertyValue::Id(it + 1 == cells.end() ? 0 : *(it + 1)));
        }
        default:
          for (int i = 0; i < 6; ++i) {
            if (kCellOverrideFlags[i] == code) return Ok(PropertyValue::Int(cell->overrides[i]));
          }
          return Fail(kStatusBadProperty);
      }
    }
    default:
      return Fail(kStatusBadObject);
  }
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

int32_t SubstituteHost::ApiImpl::WriteInDocument(Document& document, ObjectId object, int32_t code,
                                             const PropertyValue& value) {
  const auto isNamed = [&](ObjectId id, ObjectKind kind) {
    return id == 0 || (KindOf(id) == kind && document.FindNamed(id) != nullptr);
  };
  const auto checkFormatValue = [&](int32_t propertyCode, const PropertyValue& v) -> int32_t {
    static constexpr int32_t kColourCodes[] = {1297, 1299, 1304};
    if (v.kind != ValueKind::kId) return 0;
    bool colour = std::find(std::begin(kColourCodes), std::end(kColourCodes), propertyCode) != std::end(kColourCodes);
    ObjectId id = static_cast<ObjectId>(v.number);
    return isNamed(id, colour ? ObjectKind::kColour : ObjectKind::kRuling) ? 0 : kStatusBadValue;
  };
  if (object == document.Id()) {
    switch (code) {
      case kPropSelection: {
        const TextRange& r = value.range;
        bool clear = r.start.object == 0 && r.end.object == 0;
        if (!clear && (document.FindParagraph(r.start.object) == nullptr ||
                       document.FindParagraph(r.end.object) == nullptr)) {
          return kStatusBadValue;
        }
        document.selection = r;
        document.cellSelection.reset();
        return 0;
      }
      case kPropBulkEdit:
        document.bulkEdit = value.number;
        return 0;
      case kPropDisplayUnit:
        if (value.number <= 0) return kStatusBadValue;
        document.displayUnit = value.number;
        return 0;
      default:
        if (document.extraProperties.count(code) != 0) {
          document.extraProperties[code] = value;
          return 0;
        }
        return kStatusReadOnly;
    }
  }
  switch (KindOf(object)) {
    case ObjectKind::kParagraph: {
      Paragraph* paragraph = document.FindParagraph(object);
      if (code == kPropFormatLocked) {
        paragraph->formatLocked = value.number;
        return 0;
      }
      if (code == kPropTag) {
        paragraph->formatName = value.text;
        return 0;
      }
      return kStatusReadOnly;
    }
    case ObjectKind::kTableFormat: {
      TableFormat* format = document.FindTableFormat(object);
      if (code == kPropTag) {
        if (value.text.empty()) return kStatusBadValue;
        TableFormat* other = document.FindTableFormat(value.text);
        if (other != nullptr && other != format) return kStatusNameInUse;
        document.RenameTableFormat(format->id, value.text);
        return 0;
      }
      if (code == kPropNextTableFormat) return kStatusReadOnly;
      if (int32_t bad = checkFormatValue(code, value)) return bad;
      SetFormatLevelProperty(format->properties, code, value);
      return 0;
    }
    case ObjectKind::kTable: {
      Table* table = document.FindTable(object);
      switch (code) {
        case kPropTag:
          // Re-tagging changes the name only; the table keeps its properties.
          table->tag = value.text;
          return 0;
        case kPropColumnWidths:
          if (value.ints.size() != table->columnWidths.size()) return kStatusBadValue;
          if (std::any_of(value.ints.begin(), value.ints.end(), [](int32_t w) { return w <= 0; })) {
            return kStatusBadValue;
          }
          table->columnWidths = value.ints;
          return 0;
        case kPropNextTable:
        case kPropAnchor:
        case kPropFirstParagraph:
        case kPropColumnCount:
        case kPropFirstRow:
          return kStatusReadOnly;
        default:
          if (int32_t bad = checkFormatValue(code, value)) return bad;
          SetFormatLevelProperty(table->properties, code, value);
          if (code == kPropTitlePosition) document.UpdateTitle(*table);
          return 0;
      }
    }
    case ObjectKind::kCell: {
      Cell* cell = document.FindCell(object);
      for (int i = 0; i < 6; ++i) {
        if (kCellOverrideFlags[i] == code) {
          cell->overrides[i] = value.number;
          return 0;
        }
      }
      return kStatusReadOnly;
    }
    default:
      return kStatusReadOnly;
  }
}

int32_t SubstituteHost::ApiImpl::ApplyProperties(Document& document, ObjectId object, const ListProperties& entries) {
  if (Paragraph* paragraph = document.FindParagraph(object)) {
    // A paragraph takes the format name and every property of the list.
    for (const ListEntry& entry : entries) {
      if (entry.code == kPropTag) {
        if (entry.value.type != kValueString) return kStatusWrongKind;
        paragraph->formatName = entry.value.text;
        continue;
      }
      ListProperties& own = paragraph->formatProperties.Edit();  // a copy of its own when shared
      auto it = std::find_if(own.begin(), own.end(), [&](const ListEntry& e) { return e.code == entry.code; });
      if (it != own.end()) {
        it->value = entry.value;
      } else {
        own.push_back(entry);
      }
    }
    return 0;
  }
  if (ParagraphFormat* format = document.FindParagraphFormat(object)) {
    for (const ListEntry& entry : entries) {
      if (entry.code == kPropTag) continue;  // formats are not renamed this way
      auto it = std::find_if(format->properties.begin(), format->properties.end(),
                             [&](const ListEntry& e) { return e.code == entry.code; });
      if (it != format->properties.end()) {
        it->value = entry.value;
      } else {
        format->properties.push_back(entry);
      }
    }
    return 0;
  }
  if (document.FindTable(object) == nullptr && document.FindTableFormat(object) == nullptr) return kStatusBadObject;
  // Tables and table formats: each entry as a single property, all checked first.
  for (const ListEntry& entry : entries) {
    std::optional<PropertyValue> value = FromListValue(entry.value);
    if (!value) return kStatusBadValue;
    Got current = ReadInDocument(document, object, entry.code);
    if (current.status != 0) return current.status;
    if (current.value.kind != value->kind) return kStatusWrongKind;
  }
  for (const ListEntry& entry : entries) {
    if (int32_t result = WriteInDocument(document, object, entry.code, *FromListValue(entry.value))) return result;
  }
  return 0;
}

// ---- Clipboard ------------------------------------------------------------------------------------

int32_t SubstituteHost::ApiImpl::CutSelection(Document& document) {
  if (document.cellSelection) {
    Document::CellSelection selection = *document.cellSelection;
    Table* table = document.FindTable(selection.table);
    if (table == nullptr) return kStatusNoSelection;
    bool wholeRows = selection.leftColumn == 0 &&
                     selection.rightColumn + 1 == static_cast<int32_t>(table->columnWidths.size());
    host_.clipboardRows_.clear();
    host_.clipboardText_.reset();
    std::vector<ObjectId> rows(table->rows.begin() + selection.topRow, table->rows.begin() + selection.bottomRow + 1);
    const auto origin = [](ObjectId pastedFrom, ObjectId id) { return pastedFrom != 0 ? pastedFrom : id; };
    for (ObjectId rowId : rows) {
      const Row* row = document.FindRow(rowId);
      ClipboardRow cut;
      cut.origin = wholeRows ? origin(row->pastedFrom, rowId) : 0;
      for (int32_t column = selection.leftColumn; column <= selection.rightColumn; ++column) {
        Cell* cell = document.FindCell(row->cells[static_cast<size_t>(column)]);
        ClipboardCell content;
        content.origin = origin(cell->pastedFrom, cell->id);
        std::copy(std::begin(cell->overrides), std::end(cell->overrides), std::begin(content.overrides));
        for (ObjectId p : cell->paragraphs) {
          const Paragraph* paragraph = document.FindParagraph(p);
          content.texts.push_back(paragraph->text);
          content.formats.push_back(paragraph->formatName);
          content.paragraphOrigins.push_back(origin(paragraph->pastedFrom, p));
          content.paragraphIds.push_back(p);
        }
        cut.cells.push_back(std::move(content));
        if (!wholeRows) {
          // Cutting part of a row empties the cells instead of removing them.
          for (size_t i = 1; i < cell->paragraphs.size(); ++i) document.FindParagraph(cell->paragraphs[i])->text.clear();
          document.SetCellText(cell->id, "");
          cell->pastedFrom = 0;
          for (ObjectId p : cell->paragraphs) document.FindParagraph(p)->pastedFrom = 0;
        }
      }
      host_.clipboardRows_.push_back(std::move(cut));
    }
    if (wholeRows) {
      // A table keeps at least one body row, as in the application: when the
      // cut takes every body row, the last of them stays behind, emptied.
      ObjectId keep = 0;
      size_t bodyRows = 0, cutBodyRows = 0;
      for (ObjectId rowId : table->rows) {
        if (document.FindRow(rowId)->kind == kRowBody) ++bodyRows;
      }
      for (ObjectId rowId : rows) {
        if (document.FindRow(rowId)->kind == kRowBody) {
          ++cutBodyRows;
          keep = rowId;
        }
      }
      if (cutBodyRows < bodyRows) keep = 0;
      for (ObjectId rowId : rows) {
        if (rowId != keep) {
          document.RemoveRow(rowId);
          continue;
        }
        // Everything of the row went to the clipboard: an empty body row of
        // the table's own takes its place.
        auto at = std::find(table->rows.begin(), table->rows.end(), rowId);
        const size_t index = static_cast<size_t>(at - table->rows.begin());
        document.RemoveRow(rowId);
        document.InsertRows(table->id, index, kRowBody, 1);
      }
    }
    document.cellSelection.reset();
    document.selection = TextRange{};
    return 0;
  }
  const TextRange& r = document.selection;
  Paragraph* paragraph = document.FindParagraph(r.start.object);
  if (paragraph == nullptr || r.end.object != r.start.object) return kStatusNoSelection;
  size_t size = paragraph->text.size();
  size_t from = ClampOffset(r.start.offset, size);
  size_t to = ClampOffset(r.end.offset, size);
  if (to <= from) return kStatusNoSelection;
  host_.clipboardRows_.clear();
  host_.clipboardText_ = paragraph->text.substr(from, to - from);
  paragraph->text.erase(from, to - from);
  document.selection = TextRange{{paragraph->id, static_cast<int32_t>(from)}, {paragraph->id, static_cast<int32_t>(from)}};
  return 0;
}

int32_t SubstituteHost::ApiImpl::PasteClipboard(Document& document) {
  if (!host_.clipboardRows_.empty()) {
    if (!document.cellSelection) return kStatusNoSelection;
    Document::CellSelection selection = *document.cellSelection;
    Table* table = document.FindTable(selection.table);
    if (table == nullptr) return kStatusNoSelection;
    // Tables anchored in a cut paragraph move with its content.
    std::map<ObjectId, ObjectId> movedParagraphs;  // cut paragraph -> pasted paragraph
    size_t rowIndex = static_cast<size_t>(selection.topRow);
    for (size_t i = 0; i < host_.clipboardRows_.size(); ++i, ++rowIndex) {
      // Rows beyond the selection are added below it, of the last row's kind.
      if (i > static_cast<size_t>(selection.bottomRow - selection.topRow)) {
        int32_t kind = document.FindRow(table->rows[rowIndex - 1])->kind;
        document.InsertRows(table->id, rowIndex, kind, 1);
      }
      Row* row = document.FindRow(table->rows[rowIndex]);
      const ClipboardRow& cut = host_.clipboardRows_[i];
      const std::vector<ClipboardCell>& cells = cut.cells;
      // A whole row pasted over a whole row brings its own properties.
      row->pastedFrom = selection.leftColumn == 0 && cells.size() == row->cells.size() ? cut.origin : 0;
      for (size_t j = 0; j < cells.size(); ++j) {
        size_t column = static_cast<size_t>(selection.leftColumn) + j;
        if (column >= row->cells.size()) break;
        Cell* cell = document.FindCell(row->cells[column]);
        std::vector<ObjectId>* paragraphs = document.ParagraphsOf(cell->id);
        while (paragraphs->size() > 1) {
          ObjectId extra = paragraphs->back();
          paragraphs->pop_back();
          document.SetParagraphText(extra, "");
        }
        cell->pastedFrom = cells[j].origin;
        std::copy(std::begin(cells[j].overrides), std::end(cells[j].overrides), std::begin(cell->overrides));
        for (size_t k = 0; k < cells[j].texts.size(); ++k) {
          Paragraph* pasted = nullptr;
          if (k == 0) {
            pasted = document.FindParagraph(paragraphs->front());
            pasted->text = cells[j].texts[0];
            // The paragraph keeps its own format, whether or not the catalogue has it.
            if (ParagraphFormat* format = document.FindParagraphFormat(cells[j].formats[0])) {
              document.ApplyParagraphFormat(pasted->id, *format);
            } else {
              pasted->formatName = cells[j].formats[0];
              pasted->formatProperties.Clear();
            }
          } else {
            pasted = &document.AppendParagraph(cell->id, cells[j].texts[k], cells[j].formats[k]);
          }
          pasted->pastedFrom = cells[j].paragraphOrigins[k];
          movedParagraphs[cells[j].paragraphIds[k]] = pasted->id;
        }
      }
    }
    for (ObjectId tableId : document.TablesInOrder()) {
      Table* anchored = document.FindTable(tableId);
      if (document.FindParagraph(anchored->anchor.object) != nullptr) continue;
      auto moved = movedParagraphs.find(anchored->anchor.object);
      if (moved != movedParagraphs.end()) anchored->anchor.object = moved->second;
    }
    document.InvalidateTableOrder();
    return 0;
  }
  if (host_.clipboardText_) {
    const TextRange& r = document.selection;
    if (document.FindParagraph(r.start.object) == nullptr) return kStatusNoSelection;
    std::optional<TextLoc> end = document.InsertText(r.start, *host_.clipboardText_);
    if (!end) return kStatusNoSelection;
    document.selection = TextRange{*end, *end};
    return 0;
  }
  return kStatusNoSelection;
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
