// The MIF file store.
#include "mif/mif_file_store.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "mif/mif_book.h"
#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace gw::mif {

namespace sub = gw::substitute;
using sub::StoreError;

namespace {

StoreError Failure(StoreError::Kind kind, std::string message) { return StoreError{kind, std::move(message)}; }

}  // namespace

// DocumentBinding is complete here, so the map's destructor can be made.
MifFileStore::MifFileStore(HostPaths paths, MifStoreOptions options) : paths_(std::move(paths)), options_(options) {}

MifFileStore::~MifFileStore() = default;

std::optional<MifFileStore::Stamp> MifFileStore::StampOf(const std::filesystem::path& local) {
#if defined(_WIN32)
  // The file index stands for the inode: it tells a replaced file from the old one.
  HANDLE file = CreateFileW(local.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!read) return std::nullopt;
  Stamp stamp;
  stamp.size = (static_cast<std::uintmax_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // 100-nanosecond ticks.
  stamp.modified =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                info.ftLastWriteTime.dwLowDateTime) * 100;
  stamp.inode = (static_cast<std::uintmax_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return stamp;
#else
  struct stat info {};
  if (::stat(local.c_str(), &info) != 0) return std::nullopt;
  Stamp stamp;
  stamp.size = static_cast<std::uintmax_t>(info.st_size);
  stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.inode = static_cast<std::uintmax_t>(info.st_ino);
  return stamp;
#endif
}

sub::LoadResult MifFileStore::Load(std::string_view hostPath) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kNotFound, "open: " + local.ErrorMessage());
  const std::string key = sub::NormalizeHostPath(hostPath);
  const std::string shown = local.Value().string();
  std::error_code error;
  if (!std::filesystem::exists(local.Value(), error)) {
    return Failure(StoreError::Kind::kNotFound, "open " + shown + ": no such file");
  }
  std::optional<Stamp> stamp = StampOf(local.Value());
  Result<Document> tree = ReadFile(shown);
  ++reads_.parsed;
  if (!tree) {
    unreadable_.insert(key);
    return Failure(StoreError::Kind::kUnreadable, "open: " + tree.ErrorMessage());
  }
  ++reads_.loaded;
  Result<BoundDocument> bound = ReadDocument(std::move(tree).Value(), std::string(hostPath));
  if (!bound) {
    unreadable_.insert(key);
    return Failure(StoreError::Kind::kUnreadable, "open: " + bound.ErrorMessage());
  }
  unreadable_.erase(key);
  if (stamp) known_[key] = Known{*stamp, true};
  BoundDocument& value = bound.Value();
  loaded_[value.document->Id()] = Loaded{std::move(value.binding), {key}, {}};
  return std::move(value.document);
}

std::optional<StoreError> MifFileStore::CheckParses(std::string_view hostPath) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kNotFound, "open: " + local.ErrorMessage());
  const std::string shown = local.Value().string();
  std::error_code error;
  if (!std::filesystem::exists(local.Value(), error)) {
    return Failure(StoreError::Kind::kNotFound, "open " + shown + ": no such file");
  }
  Result<Document> tree = ReadFile(shown);
  ++reads_.parsed;
  if (!tree) {
    unreadable_.insert(sub::NormalizeHostPath(hostPath));
    return Failure(StoreError::Kind::kUnreadable, "open: " + tree.ErrorMessage());
  }
  if (tree.Value().Kind() != FileKind::Document) {
    return Failure(StoreError::Kind::kUnreadable, "open: " + shown + ": is a book file, not a document");
  }
  return std::nullopt;
}

std::optional<std::string> MifFileStore::RefusalFor(const std::string& key, const std::filesystem::path& local,
                                                    bool boundToThisFile) const {
  const std::string shown = local.string();
  if (unreadable_.count(key) != 0) return shown + ": was not read correctly, so it is not written over";
  std::optional<Stamp> now = StampOf(local);
  if (!now) return std::nullopt;  // no file yet
  auto known = known_.find(key);
  if (known == known_.end()) {
    if (options_.overwriteUnreadFiles) return std::nullopt;
    return shown + ": exists but was not read in this session, so it is not written over";
  }
  if (!(known->second.stamp == *now)) return shown + ": changed on disk since it was read, so it is not written over";
  if (known->second.readAsDocument && !boundToThisFile) {
    return shown + ": holds a document read in this session that this save would replace";
  }
  return std::nullopt;
}

std::optional<StoreError> MifFileStore::WriteText(const std::string& key, const std::filesystem::path& local,
                                                  std::string_view text, bool readAsDocument) {
  if (text.empty()) return Failure(StoreError::Kind::kFailed, "save " + local.string() + ": nothing to write");
  Status written = WriteFileAtomically(local.string(), text, &folderSyncs_);
  if (!written) return Failure(StoreError::Kind::kFailed, "save: " + written.ErrorMessage());
  if (std::optional<Stamp> stamp = StampOf(local)) known_[key] = Known{*stamp, readAsDocument};
  unreadable_.erase(key);
  return std::nullopt;
}

std::optional<StoreError> MifFileStore::Save(std::string_view hostPath, const sub::Document& document) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kFailed, "save: " + local.ErrorMessage());
  const std::string key = sub::NormalizeHostPath(hostPath);
  auto loaded = loaded_.find(document.Id());
  const bool bound = loaded != loaded_.end();
  if (std::optional<std::string> refusal =
          RefusalFor(key, local.Value(), bound && loaded->second.keys.count(key) != 0)) {
    return Failure(StoreError::Kind::kFailed, "save " + *refusal);
  }
  if (!bound) return WriteText(key, local.Value(), WriteNewDocument(document), false);
  // The update is tried on a copy first, so that a failed write leaves the
  // binding's baseline as the file on disk still has it.
  DocumentBindingPtr trial = CopyBinding(*loaded->second.binding);
  Result<ChangeRecord> updated = UpdateTree(*trial, document);
  if (!updated) return Failure(StoreError::Kind::kFailed, "save: " + updated.ErrorMessage());
  std::optional<StoreError> failed = WriteText(key, local.Value(), WriteBoundDocument(*trial), true);
  if (!failed) {
    loaded->second.binding = std::move(trial);
    loaded->second.keys.insert(key);
    loaded->second.lastSaved = std::move(updated).Value();
  }
  return failed;
}

Result<ChangeRecord> MifFileStore::PendingChanges(const sub::Document& document) const {
  auto loaded = loaded_.find(document.Id());
  if (loaded == loaded_.end()) return ChangeRecord{};
  return PreviewUpdate(*loaded->second.binding, document);
}

const ChangeRecord& MifFileStore::LastSaved(::ObjectId document) const {
  static const ChangeRecord kNothing;
  auto loaded = loaded_.find(document);
  return loaded == loaded_.end() ? kNothing : loaded->second.lastSaved;
}

bool MifFileStore::Exists(std::string_view hostPath) const {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  std::error_code error;
  return local && std::filesystem::is_regular_file(local.Value(), error);
}

MifFileStore::BookResult MifFileStore::LoadBook(std::string_view hostPath) {
  auto book = std::make_unique<sub::Book>(std::string(hostPath));
  if (std::optional<StoreError> failed = LoadBookInto(hostPath, *book)) return *failed;
  return book;
}

std::optional<StoreError> MifFileStore::LoadBookInto(std::string_view hostPath, sub::Book& book) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kNotFound, "open book: " + local.ErrorMessage());
  const std::string shown = local.Value().string();
  std::error_code error;
  if (!std::filesystem::exists(local.Value(), error)) {
    return Failure(StoreError::Kind::kNotFound, "open book " + shown + ": no such file");
  }
  Result<Document> tree = ReadFile(shown);
  if (!tree) return Failure(StoreError::Kind::kUnreadable, "open book: " + tree.ErrorMessage());
  if (Status read = ReadBook(tree.Value(), hostPath, book); !read) {
    return Failure(StoreError::Kind::kUnreadable, "open book: " + read.ErrorMessage());
  }
  if (std::optional<Stamp> stamp = StampOf(local.Value()))
    known_[sub::NormalizeHostPath(hostPath)] = Known{*stamp, false};
  return std::nullopt;
}

std::optional<StoreError> MifFileStore::SaveBook(std::string_view hostPath, const sub::Book& book) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kFailed, "save book: " + local.ErrorMessage());
  const std::string key = sub::NormalizeHostPath(hostPath);
  if (std::optional<std::string> refusal = RefusalFor(key, local.Value(), false)) {
    return Failure(StoreError::Kind::kFailed, "save book " + *refusal);
  }
  return WriteText(key, local.Value(), WriteNewBook(book, hostPath), false);
}

void MifFileStore::Forget(::ObjectId document) { loaded_.erase(document); }

std::vector<std::optional<std::uint32_t>> MifFileStore::SourceLines(::ObjectId document,
                                                                    const std::vector<::ObjectId>& objects) const {
  auto loaded = loaded_.find(document);
  if (loaded == loaded_.end() || loaded->second.binding == nullptr) {
    return std::vector<std::optional<std::uint32_t>>(objects.size());
  }
  return SourceLinesOf(*loaded->second.binding, objects);
}

}  // namespace gw::mif
