// The API interface for menus and the user: defining menus and commands,
// and the alerts, prompts and console output the user sees.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

// ---- Menus -------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::DefineMenu(const char* name, const char* label, int32_t* status,
                                                              ObjectId* menu) {
  Zero(menu);
  if (auto hr = Enter("DefineMenu", [&] { return Args({Quote(name), Quote(label)}); }, std::nullopt, status)) {
    return *hr;
  }
  if (Str(name).empty()) return Done(status, kStatusBadParameter);
  ObjectId id = FindMenuByName(name, ObjectKind::kMenu);
  if (id == 0) id = host_.CreateMenu(name, Str(label));
  return Done(status, 0, menu, id);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::AddCommandToMenu(ObjectId menu, ObjectId item, int32_t* status) {
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

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::AddMenuToMenu(ObjectId menu, ObjectId submenu, int32_t* status) {
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

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::DefineAndAddMenu(ObjectId parent, const char* name,
                                                                    const char* label, int32_t* status,
                                                                    ObjectId* menu) {
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

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::DefineAndAddCommand(int32_t number, ObjectId menu, const char* name,
                                                                       const char* label, const char* shortcut,
                                                                       int32_t* status, ObjectId* command) {
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

MenuEntry* SubstituteHost::ApiImpl::Menu(ObjectId id, ObjectKind kind) {
  auto it = host_.menus_.find(id);
  if (it == host_.menus_.end()) return nullptr;
  if (kind != ObjectKind::kNone && it->second.kind != kind) return nullptr;
  return &it->second;
}

ObjectId SubstituteHost::ApiImpl::FindMenuByName(const char* name, ObjectKind kind) {
  for (ObjectId id : host_.menuOrder_) {
    const MenuEntry& entry = host_.menus_.at(id);
    if (entry.kind == kind && entry.name == Str(name)) return id;
  }
  return 0;
}

// Whether menu `inside` is menu `outer` or sits somewhere below it.
bool SubstituteHost::ApiImpl::Contains(ObjectId outer, ObjectId inside) {
  if (outer == inside) return true;
  const MenuEntry* entry = Menu(outer, ObjectKind::kMenu);
  if (entry == nullptr) return false;
  for (ObjectId item : entry->items) {
    if (KindOf(item) == ObjectKind::kMenu && Contains(item, inside)) return true;
  }
  return false;
}

// Appends at the end of the menu (an entry already in it moves there).
void SubstituteHost::ApiImpl::Append(MenuEntry& menu, MenuEntry& entry) {
  std::erase(menu.items, entry.id);
  menu.items.push_back(entry.id);
  entry.lastAddedTo = menu.id;
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

// ---- The user ----------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::Alert(const char* message, int32_t kind, int32_t* status,
                                                         int32_t* answer) {
  Zero(answer);
  if (auto hr = Enter("Alert", [&] { return Args({Quote(message), Num(kind)}); }, std::nullopt, status)) return *hr;
  if (kind < 1 || kind > 4) return Done(status, kStatusBadParameter);
  int32_t reply = host_.user_.AnswerAlert(Str(message), kind);
  host_.user_.StampLast(host_.callCount_);
  return Done(status, 0, answer, reply);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::ConsoleWrite(const char* text, int32_t* status) {
  if (auto hr = Enter("ConsoleWrite", [&] { return Quote(text); }, std::nullopt, status)) return *hr;
  host_.consoleWrites_.push_back({host_.console_.size(), host_.callCount_});
  host_.console_ += Str(text);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::ScrollListPrompt(const char* title, const StringList* items,
                                                                    int32_t defaultIndex, int32_t* status,
                                                                    int32_t* chosen) {
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

}  // namespace gw::substitute
