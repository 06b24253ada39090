// The substitute host's application state: open documents, books, menus, the
// records of what the plug-in did, failure rules and host blocks.
#include "substitute/substitute_host.h"

#include <algorithm>
#include <cstdio>

#include "platform/winapi.h"

namespace gw::substitute {

std::string FormatId(ObjectId id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(id));
  return buffer;
}

// ---- Failure rules ------------------------------------------------------------------------------

FailureRule FailureRule::NthCall(std::string method, int32_t n, int32_t status) {
  FailureRule rule;
  rule.method = std::move(method);
  rule.skip = n > 1 ? n - 1 : 0;
  rule.times = 1;
  rule.status = status;
  return rule;
}

FailureRule FailureRule::Every(std::string method, int32_t status) {
  FailureRule rule;
  rule.method = std::move(method);
  rule.times = kEveryTime;
  rule.status = status;
  return rule;
}

FailureRule FailureRule::ForProperty(std::string method, int32_t code, int32_t status) {
  FailureRule rule = Every(std::move(method), status);
  rule.propertyCode = code;
  return rule;
}

FailureRule FailureRule::WithHresult(HRESULT error) const {
  FailureRule rule = *this;
  rule.hresult = error;
  return rule;
}

void SubstituteHost::InjectFailure(FailureRule rule) { failures_.push_back({std::move(rule), 0, 0}); }

void SubstituteHost::ClearFailures() { failures_.clear(); }

// ---- Documents ------------------------------------------------------------------------------------

Document& SubstituteHost::AdoptDocument(std::unique_ptr<Document> document) {
  Document& adopted = *document;
  documents_.push_back(std::move(document));
  activeDocument_ = adopted.Id();
  return adopted;
}

Document& SubstituteHost::NewDocument() { return AdoptDocument(Document::NewStandard()); }

Document* SubstituteHost::OpenFromStore(std::string_view hostPath) {
  if (Document* open = FindDocumentByPath(hostPath)) return open;
  LoadResult loaded = store_.Load(hostPath);
  if (auto* document = std::get_if<std::unique_ptr<Document>>(&loaded)) {
    return OpenFromStoreLoaded(std::move(*document), hostPath);
  }
  return nullptr;
}

Document* SubstituteHost::FindDocument(ObjectId id) {
  for (auto& document : documents_) {
    if (document->Id() == id) return document.get();
  }
  return nullptr;
}

Document* SubstituteHost::FindDocumentByPath(std::string_view hostPath) {
  if (hostPath.empty()) return nullptr;
  std::string key = NormalizeHostPath(hostPath);
  for (auto& document : documents_) {
    if (!document->fileName.empty() && NormalizeHostPath(document->fileName) == key) return document.get();
  }
  return nullptr;
}

bool SubstituteHost::IsOpen(ObjectId document) const {
  return std::any_of(documents_.begin(), documents_.end(), [&](const auto& d) { return d->Id() == document; });
}

std::vector<ObjectId> SubstituteHost::OpenDocuments() const {
  std::vector<ObjectId> ids;
  for (const auto& document : documents_) ids.push_back(document->Id());
  return ids;
}

void SubstituteHost::CloseDocument(ObjectId document) {
  if (std::erase_if(documents_, [&](const auto& d) { return d->Id() == document; }) > 0) store_.Closed(document);
  if (activeDocument_ == document) activeDocument_ = documents_.empty() ? 0 : documents_.front()->Id();
}

void SubstituteHost::SetActiveDocument(ObjectId document) { activeDocument_ = document; }

// ---- Books ------------------------------------------------------------------------------------------

Book& SubstituteHost::NewBook(std::string fileName) {
  books_.push_back(std::make_unique<Book>(std::move(fileName)));
  activeBook_ = books_.back()->Id();
  return *books_.back();
}

Book* SubstituteHost::FindBook(ObjectId id) {
  for (auto& book : books_) {
    if (book->Id() == id) return book.get();
  }
  return nullptr;
}

void SubstituteHost::SetActiveBook(ObjectId book) { activeBook_ = book; }

// ---- Menus ----------------------------------------------------------------------------------------

ObjectId SubstituteHost::CreateMenu(std::string name, std::string label) {
  MenuEntry menu;
  menu.id = NewObjectId(ObjectKind::kMenu);
  menu.kind = ObjectKind::kMenu;
  menu.name = std::move(name);
  menu.label = std::move(label);
  ObjectId id = menu.id;
  menus_[id] = std::move(menu);
  menuOrder_.push_back(id);
  return id;
}

ObjectId SubstituteHost::CreateCommand(ObjectId menu, std::string name, std::string label, int32_t commandNumber) {
  MenuEntry command;
  command.id = NewObjectId(ObjectKind::kMenuCommand);
  command.kind = ObjectKind::kMenuCommand;
  command.name = std::move(name);
  command.label = std::move(label);
  command.commandNumber = commandNumber;
  ObjectId id = command.id;
  menus_[id] = std::move(command);
  menuOrder_.push_back(id);
  auto parent = menus_.find(menu);
  if (parent != menus_.end() && parent->second.kind == ObjectKind::kMenu) {
    parent->second.items.push_back(id);
    menus_[id].lastAddedTo = menu;
  }
  return id;
}

const MenuEntry* SubstituteHost::FindMenuEntry(ObjectId id) const {
  auto it = menus_.find(id);
  return it == menus_.end() ? nullptr : &it->second;
}

ObjectId SubstituteHost::FindMenuEntryByName(std::string_view name) const {
  for (ObjectId id : menuOrder_) {
    if (menus_.at(id).name == name) return id;
  }
  return 0;
}

std::vector<std::string> SubstituteHost::RenderMenu(std::string_view menuName) const {
  std::vector<std::string> lines;
  ObjectId root = FindMenuEntryByName(menuName);
  if (root == 0) return lines;
  std::vector<ObjectId> path;  // guards against a menu that holds itself
  auto render = [&](auto&& self, ObjectId id, size_t depth) -> void {
    const MenuEntry& entry = menus_.at(id);
    std::string indent(depth * 2, ' ');
    switch (entry.kind) {
      case ObjectKind::kMenuItem:
        lines.push_back(indent + "---- [" + entry.name + "]");
        return;
      case ObjectKind::kMenuCommand:
        lines.push_back(indent + entry.label + " (" + std::to_string(entry.commandNumber) + ")");
        return;
      default:
        break;
    }
    lines.push_back(indent + entry.label + " [" + entry.name + "]");
    if (std::find(path.begin(), path.end(), id) != path.end()) return;
    path.push_back(id);
    for (ObjectId item : entry.items) self(self, item, depth + 1);
    path.pop_back();
  };
  render(render, root, 0);
  return lines;
}

int32_t SubstituteHost::CommandNumberOf(ObjectId command) const {
  const MenuEntry* entry = FindMenuEntry(command);
  return entry != nullptr && entry->kind == ObjectKind::kMenuCommand ? entry->commandNumber : 0;
}

ObjectId SubstituteHost::CommandWithNumber(int32_t commandNumber) const {
  for (ObjectId id : menuOrder_) {
    const MenuEntry& entry = menus_.at(id);
    if (entry.kind == ObjectKind::kMenuCommand && entry.commandNumber == commandNumber) return id;
  }
  return 0;
}

// ---- Records ----------------------------------------------------------------------------------------

std::vector<std::string> SubstituteHost::ConsoleLines() const {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < console_.size()) {
    size_t end = console_.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(console_.substr(start));
      break;
    }
    lines.push_back(console_.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> SubstituteHost::CallNames() const {
  std::vector<std::string> names;
  for (const std::string& call : trace_) names.push_back(call.substr(0, call.find('(')));
  return names;
}

std::vector<std::string> SubstituteHost::CallsOf(std::string_view method) const {
  std::vector<std::string> calls;
  for (const std::string& call : trace_) {
    if (std::string_view(call).substr(0, call.find('(')) == method) calls.push_back(call);
  }
  return calls;
}

void SubstituteHost::ClearRecords() {
  trace_.clear();
  console_.clear();
  consoleWrites_.clear();
  user_.Clear();
  commandCodes_.clear();
  redisplays_.clear();
  scrolledTo_.clear();
  screenHistory_.clear();
}

// ---- Host blocks ------------------------------------------------------------------------------------

void SubstituteHost::FreeHostOwnedBlocks() {
  for (void* block : ownedBlocks_) CoTaskMemFree(block);
  ownedBlocks_.clear();
}

std::vector<uint64_t> SubstituteHost::StatusStamps(ObjectId book) const {
  auto it = statusStamps_.find(book);
  return it == statusStamps_.end() ? std::vector<uint64_t>{} : it->second;
}

int64_t SubstituteHost::LeakedBlocks() const {
  return static_cast<int64_t>(CoTaskMemLiveBlocks()) - static_cast<int64_t>(liveAtStart_) -
         static_cast<int64_t>(ownedBlocks_.size());
}

}  // namespace gw::substitute
