// The MIF file store.
#include "mif/mif_file_store.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "mif/mif_book.h"
#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace gw::mif {

namespace sub = gw::substitute;
using sub::StoreError;

namespace {

StoreError Failure(StoreError::Kind kind, std::string message) { return StoreError{kind, std::move(message)}; }

}  // namespace

// ---- Reading ahead ----------------------------------------------------------------------------------

// The worker threads and the walk they read ahead of. The store's thread
// calls every member; the workers run only Work, and share with the store's
// thread nothing but the tasks and the queue, under mutex_.
class MifFileStore::ReadAhead {
 public:
  // One read of one entry of the walk.
  struct Task {
    std::size_t index = 0;
    std::string local;  // read as a Load names it, so that errors read the same
    enum class State { kQueued, kRunning, kDone } state = State::kQueued;
    bool dropped = false;  // no longer wanted: a queued task is skipped
    // Set by the worker before kDone: the stamp before reading (none: the file
    // was not there, and it was not read) and the tree or the reader's error
    // (none as well when reading threw, out of memory: the store reads again).
    std::optional<Stamp> stamp;
    std::optional<Result<Document>> tree;
  };
  using TaskPtr = std::shared_ptr<Task>;

  explicit ReadAhead(unsigned workers) : workers_(workers) {}

  ~ReadAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // A new walk: locals and keys (normalized host paths) of its entries, in
  // order; an empty local never matches. Drops every task and waits for the
  // running ones, so that no file of the old walk is still open.
  void Expect(std::vector<std::string> locals, std::vector<std::string> keys) {
    DropAll();
    locals_ = std::move(locals);
    keys_ = std::move(keys);
    cursor_ = 0;
    started_ = false;
    aroundTheEnd_ = false;
  }

  // The Load of local: finds it in the walk (next in order, else further on,
  // else from the start again), moves on past it and starts the reads of the
  // next entries. Returns its task when it was read ahead, done (waiting for
  // a running read); none when it was not, or is still queued (it is then
  // dropped: the caller reads it at once).
  TaskPtr Take(const std::string& local) {
    const std::size_t count = locals_.size();
    std::optional<std::size_t> found;
    for (std::size_t i = cursor_; i < count && !found; ++i) {
      if (locals_[i] == local) found = i;
    }
    for (std::size_t i = 0; i < std::min(cursor_, count) && !found; ++i) {
      if (locals_[i] == local) found = i;
    }
    if (!found) return nullptr;
    // Coming back to an entry behind the cursor means the walk began again
    // (a command that walks the book once per table format).
    if (started_ && *found < cursor_) aroundTheEnd_ = true;
    started_ = true;
    cursor_ = *found + 1;

    TaskPtr taken;
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = tasks_.find(*found);
    if (it != tasks_.end()) {
      taken = it->second;
      tasks_.erase(it);
      if (taken->state == Task::State::kQueued) {
        taken->dropped = true;
        taken = nullptr;
      } else {
        done_.wait(lock, [&] { return taken->state == Task::State::kDone; });
      }
    }
    // Reads ahead of entries the walk went past are not wanted any more.
    const std::vector<std::size_t> window = Window(keys_[*found]);
    for (auto other = tasks_.begin(); other != tasks_.end();) {
      if (std::find(window.begin(), window.end(), other->first) != window.end()) {
        ++other;
        continue;
      }
      Drop(*other->second);
      other = tasks_.erase(other);
    }
    bool queued = false;
    for (std::size_t index : window) {
      if (tasks_.count(index) != 0) continue;
      auto task = std::make_shared<Task>();
      task->index = index;
      task->local = locals_[index];
      tasks_[index] = task;
      queue_.push_back(std::move(task));
      queued = true;
    }
    lock.unlock();
    if (queued) {
      StartWorkers();
      wake_.notify_all();
    }
    return taken;
  }

  // The entries to read ahead after the one with key current: the next
  // workers_ entries after the cursor (around the end once the walk has come
  // round), less any whose file is the current one or an earlier one of the
  // window. Such a file may be saved before the walk gets to it, and on
  // Windows a save cannot replace a file that is open for reading.
  std::vector<std::size_t> Window(const std::string& current) const {
    std::vector<std::size_t> window;
    std::vector<std::string> seen{current};
    const std::size_t count = locals_.size();
    for (std::size_t step = 0; step < workers_ && step < count; ++step) {
      std::size_t index = cursor_ + step;
      if (index >= count) {
        if (!aroundTheEnd_) break;
        index -= count;
      }
      const std::string& key = keys_[index];
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(key);
      if (!locals_[index].empty()) window.push_back(index);
    }
    return window;
  }

  // Waits until no read is queued or running (queued ones wait for nothing
  // when no worker could be started).
  void AwaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return running_ == 0 && (queue_.empty() || threads_.empty()); });
  }

  // Files parsed ahead and dropped unused so far; exact once no read runs
  // (after Expect), as a running read counts when it ends.
  std::size_t DroppedParses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return droppedParses_;
  }

 private:
  // Under mutex_.
  void Drop(Task& task) {
    task.dropped = true;
    if (task.state == Task::State::kDone && task.tree) ++droppedParses_;
  }

  void DropAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto& entry : tasks_) Drop(*entry.second);
    tasks_.clear();
    queue_.clear();
    done_.wait(lock, [&] { return running_ == 0; });
  }

  // The workers start with the first read ahead; a thread that cannot be
  // made leaves its reads to the store's thread (a queued task is read there).
  void StartWorkers() {
    while (threads_.size() < workers_) {
      try {
        threads_.emplace_back([this] { Work(); });
      } catch (...) {  // no thread (std::system_error) or no memory
        workers_ = static_cast<unsigned>(threads_.size());
        return;
      }
    }
  }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      TaskPtr task = std::move(queue_.front());
      queue_.pop_front();
      if (task->dropped) {
        done_.notify_all();  // the queue may be empty now
        continue;
      }
      task->state = Task::State::kRunning;
      ++running_;
      lock.unlock();
      try {
        task->stamp = StampOf(std::filesystem::path(task->local));
        if (task->stamp) task->tree.emplace(ReadFile(task->local));
      } catch (...) {
        task->tree.reset();
      }
      TaskPtr finished = std::move(task);
      lock.lock();
      finished->state = Task::State::kDone;
      if (finished->dropped && finished->tree) ++droppedParses_;
      --running_;
      done_.notify_all();
      // A dropped result goes here, outside the store's thread's way.
      lock.unlock();
      finished.reset();
      lock.lock();
    }
  }

  unsigned workers_;
  std::vector<std::string> locals_;
  std::vector<std::string> keys_;
  std::size_t cursor_ = 0;     // the entry after the last one loaded
  bool started_ = false;       // an entry has been loaded
  bool aroundTheEnd_ = false;  // the walk has begun again from an earlier entry

  std::mutex mutex_;
  std::condition_variable wake_;  // workers: a task is queued, or stop
  std::condition_variable done_;  // the store's thread: a task is done
  std::map<std::size_t, TaskPtr> tasks_;  // wanted reads by entry
  std::deque<TaskPtr> queue_;
  std::size_t running_ = 0;
  std::size_t droppedParses_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

void MifFileStore::AwaitReadsAhead() {
  if (readAhead_ != nullptr) readAhead_->AwaitIdle();
}

// DocumentBinding is complete here, so the map's destructor can be made.
MifFileStore::MifFileStore(HostPaths paths, MifStoreOptions options) : paths_(std::move(paths)), options_(options) {}

// The workers are joined first (readAhead_ is the last member).
MifFileStore::~MifFileStore() = default;

void MifFileStore::ExpectReads(const std::vector<std::string>& hostPaths) {
  if (options_.jobs <= 1) return;
  if (readAhead_ == nullptr) {
    if (hostPaths.empty()) return;
    readAhead_ = std::make_unique<ReadAhead>(options_.jobs - 1);
  }
  std::vector<std::string> locals;
  std::vector<std::string> keys;
  for (const std::string& hostPath : hostPaths) {
    Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
    locals.push_back(local ? local.Value().string() : std::string());
    keys.push_back(sub::NormalizeHostPath(hostPath));
  }
  readAhead_->Expect(std::move(locals), std::move(keys));
  reads_.discarded = readAhead_->DroppedParses() + discardedTaken_;
}

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
  // The walk moves on even past a file that is not there.
  ReadAhead::TaskPtr ahead = readAhead_ != nullptr ? readAhead_->Take(shown) : nullptr;
  std::error_code error;
  const bool exists = std::filesystem::exists(local.Value(), error);
  std::optional<Stamp> stamp;
  std::optional<Result<Document>> read;
  if (ahead != nullptr && ahead->tree) {
    // Used only when the file is still the one that was read.
    std::optional<Stamp> now = exists ? StampOf(local.Value()) : std::nullopt;
    if (ahead->stamp && now && *ahead->stamp == *now) {
      stamp = now;
      read = std::move(ahead->tree);
      ++reads_.readAhead;
    } else {
      ++discardedTaken_;
    }
  }
  if (readAhead_ != nullptr) reads_.discarded = readAhead_->DroppedParses() + discardedTaken_;
  if (!exists) return Failure(StoreError::Kind::kNotFound, "open " + shown + ": no such file");
  if (!read) {
    stamp = StampOf(local.Value());
    read.emplace(ReadFile(shown));
  }
  Result<Document>& tree = *read;
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

MifFileStore::ParseCheck MifFileStore::CheckLocalParses(const std::filesystem::path& local) {
  ParseCheck check;
  const std::string shown = local.string();
  std::error_code error;
  if (!std::filesystem::exists(local, error)) {
    check.error = Failure(StoreError::Kind::kNotFound, "open " + shown + ": no such file");
    return check;
  }
  Result<Document> tree = ReadFile(shown);
  check.parsed = true;
  if (!tree) {
    check.unreadable = true;
    check.error = Failure(StoreError::Kind::kUnreadable, "open: " + tree.ErrorMessage());
  } else if (tree.Value().Kind() != FileKind::Document) {
    check.error = Failure(StoreError::Kind::kUnreadable, "open: " + shown + ": is a book file, not a document");
  }
  return check;
}

void MifFileStore::Count(const ParseCheck& check, const std::string& key) {
  if (check.parsed) ++reads_.parsed;
  if (check.unreadable) unreadable_.insert(key);
}

std::optional<StoreError> MifFileStore::CheckParses(std::string_view hostPath) {
  Result<std::filesystem::path> local = paths_.ToLocal(hostPath);
  if (!local) return Failure(StoreError::Kind::kNotFound, "open: " + local.ErrorMessage());
  ParseCheck check = CheckLocalParses(local.Value());
  Count(check, sub::NormalizeHostPath(hostPath));
  return check.error;
}

std::optional<StoreError> MifFileStore::CheckAllParse(const std::vector<std::string>& hostPaths, bool passMissing) {
  const std::size_t count = hostPaths.size();
  // Names off the drive fail here, on this thread; the threads get the files.
  std::vector<std::optional<ParseCheck>> checks(count);
  std::vector<std::filesystem::path> locals(count);
  for (std::size_t i = 0; i < count; ++i) {
    Result<std::filesystem::path> local = paths_.ToLocal(hostPaths[i]);
    if (local) {
      locals[i] = std::move(local).Value();
    } else {
      checks[i] = ParseCheck{Failure(StoreError::Kind::kNotFound, "open: " + local.ErrorMessage())};
    }
  }
  const auto stops = [&](const ParseCheck& check) {
    return check.error && !(passMissing && check.error->kind == StoreError::Kind::kNotFound);
  };
  // Files are handed out in order; none after a failure is begun, so every
  // file before the first failure in order is checked.
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> firstStop{count};
  std::vector<std::exception_ptr> thrown(count);
  auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count && i < firstStop.load();) {
      try {
        if (!checks[i]) checks[i] = CheckLocalParses(locals[i]);
      } catch (...) {
        thrown[i] = std::current_exception();
      }
      if (thrown[i] || stops(*checks[i])) {
        for (std::size_t seen = firstStop.load(); i < seen && !firstStop.compare_exchange_weak(seen, i);) {
        }
      }
    }
  };
  std::vector<std::thread> threads;
  const std::size_t helpers = options_.jobs > 1 && count > 1 ? std::min<std::size_t>(options_.jobs - 1, count - 1) : 0;
  for (std::size_t i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back(work);
    } catch (...) {
      break;  // fewer threads (none could be made, or no memory); this one does the rest
    }
  }
  work();
  for (std::thread& thread : threads) thread.join();

  // The store's records as checking one after another leaves them: files
  // after the first failure count as parsed, but are not marked.
  std::optional<StoreError> failure;
  for (std::size_t i = 0; i < count; ++i) {
    if (thrown[i] && !failure) std::rethrow_exception(thrown[i]);
    if (!checks[i]) continue;
    if (failure) {
      if (checks[i]->parsed) ++reads_.parsed;
      continue;
    }
    Count(*checks[i], sub::NormalizeHostPath(hostPaths[i]));
    if (stops(*checks[i])) failure = checks[i]->error;
  }
  return failure;
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
  // A failed update or write is undone, so that the binding's baseline stays
  // as the file on disk still has it.
  UpdateTrial trial(*loaded->second.binding);
  Result<ChangeRecord> updated = trial.Run(document);
  if (!updated) return Failure(StoreError::Kind::kFailed, "save: " + updated.ErrorMessage());
  std::optional<StoreError> failed =
      WriteText(key, local.Value(), WriteBoundDocument(*loaded->second.binding), true);
  if (!failed) {
    trial.Keep();
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
