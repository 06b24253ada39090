// Writing MIF: a Document back to text, and text safely over a file.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "mif/mif_result.h"
#include "mif/mif_tree.h"

namespace gw::mif {

// The text of a document: byte for byte the file it was read from when
// nothing was changed; otherwise the unchanged parts as they were and the new
// ones in the host's style.
[[nodiscard]] std::string Write(const Document& document);
// The same text made node by node, with nothing copied in one piece: the
// reference that Write's copying of untouched statements is checked against.
[[nodiscard]] std::string WriteEveryNode(const Document& document);

// Replaces the file at path with text so that, whatever happens, the file is
// either its old self or the new text in full: the text goes to a temporary
// file in the same folder, is flushed to disk, and is renamed over path. On
// failure the temporary file is removed and the old file is untouched. The new
// file keeps the old one's permissions (0644 when there was none); through a
// symbolic link, the file it points to is replaced. A read-only file (one the
// user may not write, or with no write permission bits) is refused and left
// alone; a write beyond the file-size limit fails instead of raising SIGXFSZ.
//
// The rename is made durable by flushing the folder: at once, or, when
// folderSyncs is given, once per folder when the caller calls its SyncAll
// (a walk that saves many files in one folder flushes it once).
class FolderSyncs;
Status WriteFileAtomically(const std::string& path, std::string_view text, FolderSyncs* folderSyncs = nullptr);

// Folders holding renames that are not yet durable. SyncAll flushes each
// once; the destructor does what is left.
class FolderSyncs {
 public:
  FolderSyncs() = default;
  FolderSyncs(const FolderSyncs&) = delete;
  FolderSyncs& operator=(const FolderSyncs&) = delete;
  ~FolderSyncs() { SyncAll(); }

  void Add(std::string folder) { pending_.insert(std::move(folder)); }
  void SyncAll();
  [[nodiscard]] size_t Pending() const { return pending_.size(); }
  // Folders flushed so far, counting each flush.
  [[nodiscard]] size_t Synced() const { return synced_; }

 private:
  std::set<std::string> pending_;
  size_t synced_ = 0;
};

}  // namespace gw::mif
