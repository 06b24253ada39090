// The in-memory file store and host path normalisation.
#include "substitute/file_store.h"

#include <algorithm>
#include <cctype>

namespace gw::substitute {

std::string NormalizeHostPath(std::string_view hostPath) {
  std::string key;
  key.reserve(hostPath.size());
  for (size_t i = 0; i < hostPath.size(); ++i) {
    char c = hostPath[i] == '/' ? '\\' : hostPath[i];
    // Repeated separators name the same folder, except the two that open a
    // network path.
    if (c == '\\' && i > 1 && !key.empty() && key.back() == '\\') continue;
    key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return key;
}

LoadResult MemoryFileStore::Load(std::string_view hostPath) {
  std::string key = NormalizeHostPath(hostPath);
  if (unreadable_.count(key) != 0) {
    return StoreError{StoreError::Kind::kUnreadable, "load " + std::string(hostPath) + ": file is damaged"};
  }
  auto it = files_.find(key);
  if (it == files_.end()) {
    return StoreError{StoreError::Kind::kNotFound, "load " + std::string(hostPath) + ": no such file"};
  }
  std::unique_ptr<Document> copy = it->second->Clone();
  copy->fileName = std::string(hostPath);
  return copy;
}

std::optional<StoreError> MemoryFileStore::Save(std::string_view hostPath, const Document& document) {
  std::string key = NormalizeHostPath(hostPath);
  if (refused_.count(key) != 0) {
    return StoreError{StoreError::Kind::kFailed, "save " + std::string(hostPath) + ": file is write-protected"};
  }
  files_[key] = document.Clone();
  files_[key]->fileName = std::string(hostPath);
  unreadable_.erase(key);
  savedPaths_.emplace_back(hostPath);
  return std::nullopt;
}

bool MemoryFileStore::Exists(std::string_view hostPath) const {
  std::string key = NormalizeHostPath(hostPath);
  return files_.count(key) != 0 || unreadable_.count(key) != 0;
}

void MemoryFileStore::Put(std::string_view hostPath, const Document& document) {
  std::string key = NormalizeHostPath(hostPath);
  files_[key] = document.Clone();
  files_[key]->fileName = std::string(hostPath);
  unreadable_.erase(key);
}

void MemoryFileStore::PutUnreadable(std::string_view hostPath) {
  std::string key = NormalizeHostPath(hostPath);
  files_.erase(key);
  unreadable_[key] = true;
}

void MemoryFileStore::RefuseSaves(std::string_view hostPath) { refused_[NormalizeHostPath(hostPath)] = true; }

std::unique_ptr<Document> MemoryFileStore::Peek(std::string_view hostPath) const {
  auto it = files_.find(NormalizeHostPath(hostPath));
  if (it == files_.end()) return nullptr;
  return it->second->Clone();
}

size_t MemoryFileStore::SaveCount(std::string_view hostPath) const {
  std::string key = NormalizeHostPath(hostPath);
  return static_cast<size_t>(std::count_if(savedPaths_.begin(), savedPaths_.end(),
                                           [&](const std::string& p) { return NormalizeHostPath(p) == key; }));
}

}  // namespace gw::substitute
