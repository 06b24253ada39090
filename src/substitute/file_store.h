// The file store behind the substitute host's OpenDocument and SaveDocument:
// an interface that maps host file names (in the host's form, backslashes and
// drive letters, e.g. "C:\\Books\\chapter1.fm") to stored documents, and an
// in-memory store for tests.
#ifndef GRIDWRIGHT_SUBSTITUTE_FILE_STORE_H
#define GRIDWRIGHT_SUBSTITUTE_FILE_STORE_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "substitute/document_model.h"

namespace gw::substitute {

// Why a load or save did not happen. kNotFound is an expected miss (no such
// file); kUnreadable and kFailed are failures, with a "what: why" message.
struct StoreError {
  enum class Kind { kNotFound, kUnreadable, kFailed };
  Kind kind = Kind::kFailed;
  std::string message;
};

// A fresh document, or why there is none.
using LoadResult = std::variant<std::unique_ptr<Document>, StoreError>;

class FileStore {
 public:
  virtual ~FileStore() = default;
  // Builds a fresh Document from the file; its fileName is set to hostPath.
  [[nodiscard]] virtual LoadResult Load(std::string_view hostPath) = 0;
  // Writes the document under hostPath (which may differ from its fileName).
  // Returns nullopt on success.
  [[nodiscard]] virtual std::optional<StoreError> Save(std::string_view hostPath, const Document& document) = 0;
  [[nodiscard]] virtual bool Exists(std::string_view hostPath) const = 0;
  // Told when the host closes a document it loaded, so that a store can drop
  // whatever it keeps for saving it (a book walk holds one document at a time).
  virtual void Closed(ObjectId /*document*/) {}
};

// Host paths compare without regard to letter case, slash direction or
// repeated separators, as the host's file system does: "c:/books//A.fm" names
// "C:\\Books\\a.fm".
[[nodiscard]] std::string NormalizeHostPath(std::string_view hostPath);

// Keeps documents as snapshots: Put and Save store a deep copy, Load returns a
// fresh copy with fresh object ids, so that a reopened document is a new
// document, as it is after reading a file.
class MemoryFileStore final : public FileStore {
 public:
  MemoryFileStore() = default;

  [[nodiscard]] LoadResult Load(std::string_view hostPath) override;
  [[nodiscard]] std::optional<StoreError> Save(std::string_view hostPath, const Document& document) override;
  [[nodiscard]] bool Exists(std::string_view hostPath) const override;

  // Test set-up: store a document under a path (a copy is kept).
  void Put(std::string_view hostPath, const Document& document);
  // Marks a path as present but unreadable (Load fails with kUnreadable).
  void PutUnreadable(std::string_view hostPath);
  // Makes every later Save of the path fail (e.g. a write-protected file).
  void RefuseSaves(std::string_view hostPath);
  // A copy of what the store holds under the path, nullptr when nothing.
  [[nodiscard]] std::unique_ptr<Document> Peek(std::string_view hostPath) const;
  // Every path saved to, in order (host form as given).
  [[nodiscard]] const std::vector<std::string>& SavedPaths() const { return savedPaths_; }
  [[nodiscard]] size_t SaveCount(std::string_view hostPath) const;

 private:
  std::map<std::string, std::unique_ptr<Document>> files_;
  std::map<std::string, bool> unreadable_;
  std::map<std::string, bool> refused_;
  std::vector<std::string> savedPaths_;
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_FILE_STORE_H
