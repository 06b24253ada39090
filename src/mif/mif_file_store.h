// MifFileStore: the substitute host's file store over MIF files on disk.
//
// The host sees files by host names on a virtual drive (host_paths.h). Loading
// parses the MIF file and maps it into a fresh model document; the store keeps
// the parsed tree, so that saving the document writes back the file it read
// with exactly the model's changes. A document the store did not load (a new
// report) is written as a complete new MIF document.
//
// The store never damages a file it has not read correctly:
// - a file whose load failed (malformed MIF) is never written over;
// - an existing file is written over only when the store read or wrote it in
//   this session and it has not changed on disk since (size, time, inode);
// - every save writes a temporary file beside the target and renames it over,
//   so a failed or interrupted save leaves the old file whole.
//
//   gw::mif::MifFileStore store(gw::mif::HostPaths("/work/books"));
//   gw::substitute::SubstituteHost host(store);
//   Document* chapter = host.OpenFromStore("G:\\guide\\ch1.mif");
//
// With more than one job, the store reads ahead: told the files a walk will
// load (ExpectReads), it reads and parses the next of them on worker threads
// while the caller works on the current one. Only reading and parsing leave the
// calling thread; making the document (which hands out object ids) and all of
// the store's own records stay on it. A file read ahead is used only when its
// size, time and inode are those it had before it was read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "mif/host_paths.h"
#include "mif/mif_document.h"
#include "mif/mif_writer.h"
#include "substitute/file_store.h"

namespace gw::mif {

struct MifStoreOptions {
  // Lets a save replace an existing file this store has not read (never one
  // whose load failed). Off: such saves fail.
  bool overwriteUnreadFiles = false;
  // Files read at once: 1 reads everything on the calling thread; N > 1 lets
  // N-1 worker threads read ahead of a walk (at most N-1 files ahead) and
  // parse the files of CheckAllParse side by side.
  unsigned jobs = 1;
};

class MifFileStore final : public substitute::FileStore {
 public:
  explicit MifFileStore(HostPaths paths, MifStoreOptions options = {});
  ~MifFileStore() override;
  MifFileStore(const MifFileStore&) = delete;
  MifFileStore& operator=(const MifFileStore&) = delete;

  // A fresh document from the MIF file. kNotFound: no such file or a name off
  // the drive; kUnreadable: the file could not be read or is not a valid MIF
  // document (the message names the file, line and problem).
  [[nodiscard]] substitute::LoadResult Load(std::string_view hostPath) override;
  // Whether the file reads as a MIF document, without making one: it is read
  // and parsed only (kNotFound and kUnreadable as for Load). Cheaper than a
  // Load; a file that parses but does not map into a document shows only
  // when it is loaded.
  [[nodiscard]] std::optional<substitute::StoreError> CheckParses(std::string_view hostPath);
  // CheckParses for each file, on up to `jobs` threads: the first failure in
  // the list's order (kNotFound ones passed over when passMissing), exactly as
  // checking them one after another reports it. No tree is kept. With more
  // than one job, files after the failure may have been parsed as well (they
  // are counted).
  [[nodiscard]] std::optional<substitute::StoreError> CheckAllParse(const std::vector<std::string>& hostPaths,
                                                                    bool passMissing);
  // Files read so far: parsed (by Load or CheckParses) and loaded as documents.
  // A file read ahead counts as parsed when a Load takes it; one read ahead
  // but not used (changed on disk since, or the walk went elsewhere) counts in
  // discarded only. So a walk that loads each of its files once adds exactly
  // one parse per file, read ahead or not.
  struct ReadCounts {
    size_t parsed = 0;
    size_t loaded = 0;
    size_t readAhead = 0;  // of the parsed, those taken from a read ahead
    size_t discarded = 0;  // reads ahead dropped unused
  };
  [[nodiscard]] const ReadCounts& Reads() const { return reads_; }
  // Writes the document as MIF under hostPath: the file it was loaded from
  // with the model's changes, or a new MIF document. kFailed, with the reason,
  // when the save is refused (see above) or the write fails.
  [[nodiscard]] std::optional<substitute::StoreError> Save(std::string_view hostPath,
                                                           const substitute::Document& document) override;
  [[nodiscard]] bool Exists(std::string_view hostPath) const override;

  // ---- Reading ahead ----
  // The host paths the coming walk will load, in order (a path may come more
  // than once). With more than one job, each Load of one of them starts
  // reading the next ones on worker threads; a Load of a path read ahead takes
  // that result (waiting for it if need be) when the file is unchanged since,
  // and reads it again otherwise. A walk that begins again from its first
  // path is read ahead around its end from then on. Replaces the earlier list,
  // waits for the reads in progress and drops their results; an empty list
  // ends reading ahead. Loads of other paths are read as always.
  void ExpectReads(const std::vector<std::string>& hostPaths);
  // Waits until the reads ahead begun so far are done (a Load waits only for
  // its own file); lets a test change a file that has certainly been read.
  void AwaitReadsAhead();

  // ---- Changes ----
  // What saving the document would write into the file it was loaded from,
  // without writing anything; an empty record for a document the store did
  // not load (it would be written whole).
  [[nodiscard]] Result<ChangeRecord> PendingChanges(const substitute::Document& document) const;
  // What the last successful Save of the document wrote (empty when none).
  [[nodiscard]] const ChangeRecord& LastSaved(::ObjectId document) const;

  // ---- Books ----
  using BookResult = std::variant<std::unique_ptr<substitute::Book>, substitute::StoreError>;
  // A new model book with the components of a MIF book file.
  [[nodiscard]] BookResult LoadBook(std::string_view hostPath);
  // Adds the components of a MIF book file to a book the caller (the host) made.
  [[nodiscard]] std::optional<substitute::StoreError> LoadBookInto(std::string_view hostPath, substitute::Book& book);
  // Writes a model book as a MIF book file (same overwrite rules as Save).
  [[nodiscard]] std::optional<substitute::StoreError> SaveBook(std::string_view hostPath, const substitute::Book& book);

  // Drops what the store keeps of a loaded document (its MIF tree); call when
  // the host closes it. A later save of that document is refused when it
  // would replace the file it was read from.
  void Forget(::ObjectId document);
  // The host closed the document: its tree is no longer needed.
  void Closed(::ObjectId document) override { Forget(document); }
  // The lines in its file of objects of a loaded document (see SourceLinesOf);
  // all nullopt when the store no longer holds the document.
  [[nodiscard]] std::vector<std::optional<std::uint32_t>> SourceLines(::ObjectId document,
                                                                      const std::vector<::ObjectId>& objects) const;
  // Whether the store still holds the MIF tree of a loaded document.
  [[nodiscard]] bool IsBound(::ObjectId document) const { return loaded_.count(document) != 0; }

  [[nodiscard]] const HostPaths& Paths() const { return paths_; }

  // Saves flush each file before its rename but leave the folders to this:
  // call it at the end of a walk to make the renames durable, each folder
  // flushed once (the destructor does it too).
  void SyncFolders() { folderSyncs_.SyncAll(); }
  [[nodiscard]] const FolderSyncs& Folders() const { return folderSyncs_; }

 private:
  struct Stamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    std::uintmax_t inode = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Known {
    Stamp stamp;
    bool readAsDocument = false;  // read (not written new) by this store
  };

  class ReadAhead;
  // What checking that one file parses found; touches nothing of the store,
  // so that several run at once.
  struct ParseCheck {
    std::optional<substitute::StoreError> error;
    bool parsed = false;      // the file was parsed (well or not)
    bool unreadable = false;  // it is not a valid MIF file
  };
  [[nodiscard]] static ParseCheck CheckLocalParses(const std::filesystem::path& local);
  void Count(const ParseCheck& check, const std::string& key);

  [[nodiscard]] static std::optional<Stamp> StampOf(const std::filesystem::path& local);
  // Why writing over the file at local (host key) is refused, if it is.
  [[nodiscard]] std::optional<std::string> RefusalFor(const std::string& key, const std::filesystem::path& local,
                                                      bool boundToThisFile) const;
  [[nodiscard]] std::optional<substitute::StoreError> WriteText(const std::string& key,
                                                                const std::filesystem::path& local,
                                                                std::string_view text, bool readAsDocument);

  HostPaths paths_;
  MifStoreOptions options_;
  struct Loaded {
    DocumentBindingPtr binding;
    std::set<std::string> keys;  // host keys of the files it was read from or written to
    ChangeRecord lastSaved;
  };
  std::unordered_map<::ObjectId, Loaded> loaded_;
  std::map<std::string, Known> known_;  // by host key
  std::set<std::string> unreadable_;    // host keys whose load failed
  FolderSyncs folderSyncs_;
  ReadCounts reads_;
  size_t discardedTaken_ = 0;  // reads ahead taken by a Load but stale
  std::unique_ptr<ReadAhead> readAhead_;  // made by the first ExpectReads with more than one job
};

}  // namespace gw::mif
