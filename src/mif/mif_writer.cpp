#include "mif/mif_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace gw::mif {

// Walks the tree in order, writing each node's spacing, text and closing.
// Nodes from the file bring their own spacing; new nodes get the host's.
// Statements no edit touched are copied from the file in one piece.
class TreeWriter {
 public:
  TreeWriter(const Document& document, std::string& out, bool copyUntouched)
      : document_(document), out_(out), copyUntouched_(copyUntouched) {}

  void WriteRoot() {
    const Document::Node& root = document_.nodes_[document_.Root()];
    for (NodeId child = root.firstChild; child != kNoNode; child = document_.nodes_[child].next) {
      WriteNode(child, 0);
    }
    Put(document_.View(root.closing));
  }

 private:
  bool HasStatementChild(const Document::Node& node) const {
    for (NodeId child = node.firstChild; child != kNoNode; child = document_.nodes_[child].next) {
      if (document_.nodes_[child].kind == NodeKind::Statement) return true;
    }
    return false;
  }

  void NewLine(std::size_t depth) {
    out_ += document_.lineBreak_;
    out_.append(depth, ' ');
    lineHasComment_ = false;
  }

  void Put(std::string_view text) {
    out_ += text;
    if (!text.empty()) lineHasComment_ = false;
  }

  // Writes the rest of a line: spacing and perhaps a comment, which a new
  // value must not be appended to.
  void PutLineEnd(std::string_view text) {
    out_ += text;
    if (!text.empty()) lineHasComment_ = text.find('#') != std::string_view::npos;
  }

  // Writes text read from the file (spacing before a node, or before a
  // closing ">"). When the line so far ends in a comment, as after a new
  // statement's "# end of" closing, text that does not begin a new line
  // would be read back as part of the comment, so a line break comes first.
  // Only a line feed ends a comment for the reader; a lone carriage return
  // does not.
  void PutFromFile(std::string_view text, std::size_t depth) {
    if (lineHasComment_ && text.find('\n') == std::string_view::npos) NewLine(depth);
    Put(text);
  }

  // Whether text written now would be read as part of the token the output
  // ends with.
  bool JoinsPreviousToken(std::string_view text) const {
    auto isDelimiter = [](char c) {
      return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == '<' || c == '>' ||
             c == '`' || c == '#';
    };
    return !text.empty() && !out_.empty() && !isDelimiter(text.front()) && !isDelimiter(out_.back());
  }

  // Whether the node after id is a value (not inset data) that begins with
  // '&' or '=', which must not start a line.
  bool NextLooksLikeInsetData(NodeId id) const {
    NodeId next = document_.nodes_[id].next;
    if (next == kNoNode || document_.nodes_[next].kind == NodeKind::Facet) return false;
    std::string_view text = document_.View(document_.nodes_[next].text);
    return !text.empty() && (text.front() == '&' || text.front() == '=');
  }

  // A node read from the file that no edit touched, with everything inside
  // it, is the file's bytes from its text through its trailing spacing and
  // comment.
  void PutUntouched(const Document::Node& node) {
    std::size_t end = node.text.offset + node.text.length;
    if (node.kind == NodeKind::Statement) end = node.closing.offset + node.closing.length + 1;  // its ">"
    if (node.trailing.length != 0) end = node.trailing.offset + node.trailing.length;
    out_.append(document_.source_, node.text.offset, end - node.text.offset);
    lineHasComment_ = document_.View(node.trailing).find('#') != std::string_view::npos;
  }

  // Nesting is bounded by the reader, and edits add at most a few levels, so
  // recursion depth stays small.
  void WriteNode(NodeId id, std::size_t depth) {
    const Document::Node& node = document_.nodes_[id];
    const bool fresh = node.sourceOffset == Document::kNewNode;
    if (!fresh) {
      std::string_view leading = document_.View(node.leading);
      PutFromFile(leading, depth);
      // A value that directly followed a node now removed must not run into
      // the name or value that now comes before it.
      if (leading.empty() && JoinsPreviousToken(document_.View(node.text))) Put(" ");
      if (copyUntouched_ && !node.added && !node.touched) {
        PutUntouched(node);
        return;
      }
    } else if (node.kind == NodeKind::Statement || lineHasComment_) {
      NewLine(depth);
    } else {
      Put(" ");
    }
    Put(document_.View(node.text));
    if (node.kind != NodeKind::Statement) {
      PutLineEnd(document_.View(node.trailing));
      return;
    }
    const bool holdsStatements = HasStatementChild(node);
    if (!fresh) {
      PutLineEnd(document_.View(node.afterHead));
    } else if (holdsStatements) {
      Put(" ");  // the host writes "<Tbl " before a line break
    }
    for (NodeId child = node.firstChild; child != kNoNode; child = document_.nodes_[child].next) {
      WriteNode(child, depth + 1);
    }
    if (!fresh) {
      PutFromFile(document_.View(node.closing), depth);
      Put(">");
      PutLineEnd(document_.View(node.trailing));
      return;
    }
    // The host closes a statement that holds statements on a line of its own.
    if (holdsStatements) {
      NewLine(depth);
      Put(">");
      // The reader takes a line that starts with '&' or '=' as inset data, so
      // a value of that kind that follows stays on this line, with no comment.
      if (!NextLooksLikeInsetData(id)) {
        Put(" # end of ");
        Put(document_.Name(id));
        lineHasComment_ = true;
      }
    } else {
      Put(">");
    }
  }

  const Document& document_;
  std::string& out_;
  const bool copyUntouched_;
  bool lineHasComment_ = false;  // the last line written so far ends in a comment
};

std::string Write(const Document& document) {
  if (!document.modified_) return std::string(document.source_);
  std::string out;
  out.reserve(document.source_.size() + document.added_.size() + 1024);
  TreeWriter(document, out, true).WriteRoot();
  return out;
}

std::string WriteEveryNode(const Document& document) {
  std::string out;
  TreeWriter(document, out, false).WriteRoot();
  return out;
}

#if !defined(_WIN32)  // Windows: mif_files_windows.cpp
namespace {

Error SaveError(const std::string& path, std::string_view step, int error) {
  return Error{path + ": cannot save: " + std::string(step) + ": " + std::strerror(error)};
}

// Ignores SIGXFSZ while it lives, so that a write beyond the file-size limit
// fails with EFBIG (and is reported, its temporary file removed) instead of
// ending the process.
class IgnoreFileSizeSignal {
 public:
  IgnoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    saved_ = ::sigaction(SIGXFSZ, &ignore, &previous_) == 0;
  }
  ~IgnoreFileSizeSignal() {
    if (saved_) ::sigaction(SIGXFSZ, &previous_, nullptr);
  }
  IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
  IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

 private:
  struct sigaction previous_ {};
  bool saved_ = false;
};

}  // namespace

namespace {

void SyncFolder(const std::string& folder) {
  int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    (void)::fsync(folderFd);
    ::close(folderFd);
  }
}

}  // namespace

void FolderSyncs::SyncAll() {
  for (const std::string& folder : pending_) SyncFolder(folder);
  synced_ += pending_.size();
  pending_.clear();
}

Status WriteFileAtomically(const std::string& givenPath, std::string_view text, FolderSyncs* folderSyncs) {
  IgnoreFileSizeSignal ignoreFileSize;
  // Through a symbolic link the file it points to is replaced, and the link stays.
  std::string path = givenPath;
  struct stat link {};
  if (::lstat(givenPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* target = ::realpath(givenPath.c_str(), nullptr);
    if (target == nullptr) return SaveError(givenPath, "cannot follow the link", errno);
    path = target;
    std::free(target);
  }
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return Error{path + ": cannot save: no file name"};

  // A file the user may not write is not replaced, although the folder would
  // allow the rename; one with no write permission at all counts as read-only
  // even for a user whom the system lets write anything.
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
      (::access(path.c_str(), W_OK) != 0 || (existing.st_mode & 0222) == 0)) {
    return Error{path + ": cannot save: the file is read-only"};
  }

  std::string tempPath = (folder == "/" ? "" : folder) + "/." + base + ".tmp-XXXXXX";
  std::vector<char> pattern(tempPath.begin(), tempPath.end());
  pattern.push_back('\0');
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return SaveError(path, "cannot create a temporary file in " + folder, errno);
  tempPath.assign(pattern.data());

  // From here on every failure removes the temporary file.
  auto fail = [&](std::string_view step, int error) -> Status {
    if (fd >= 0) ::close(fd);
    ::unlink(tempPath.c_str());
    return SaveError(path, step, error);
  };

  struct stat old {};
  mode_t mode = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644;
  if (::fchmod(fd, mode) != 0) return fail("cannot set permissions", errno);

  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t count = ::write(fd, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return fail("cannot write", errno);
    written += static_cast<std::size_t>(count);
  }
  if (::fsync(fd) != 0) return fail("cannot flush to disk", errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail("cannot write", errno);
  if (::rename(tempPath.c_str(), path.c_str()) != 0) return fail("cannot replace the file", errno);

  // Make the rename itself durable, now or with the caller's other folders;
  // the new file is complete either way.
  if (folderSyncs != nullptr) {
    folderSyncs->Add(folder);
  } else {
    SyncFolder(folder);
  }
  return Status::Ok();
}
#endif

}  // namespace gw::mif
