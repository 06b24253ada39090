// Host file names and local paths: how the substitute host presents files on
// this machine to the plug-in, and how book files name their components.
//
// The plug-in's path functions treat file names as the host's platform does:
// a drive letter, a colon and backslashes ("C:\\docs\\chapter1.fm"). Files
// here live under ordinary local paths, so one local folder, the root, is
// presented as a whole virtual drive (by default "G:"):
//
//   root /work/books, drive G   ->   /work/books/guide/ch1.mif  is  "G:\\guide\\ch1.mif"
//
// Host names are matched to local files as the host's file system would match
// them: drive letter and slash direction do not matter, "." and ".." are
// resolved (never above the drive's root), and a name whose letter case differs
// from the file on disk still finds it when no exact match exists. Names on
// other drives, network names ("\\\\server\\share") and relative names do not
// map to any local file.
//
// Book files name their components in the host's device-independent form:
// a sequence of codes, each followed by a name, "<c>" a folder or file name,
// "<u>" one folder up, "<r>" the root of the drive, "<v>" a drive ("<v>C:")
// and "<h>" a network host. In the file these appear with MIF's escaped ">"
// (`<c\>ch1.mif'); the functions here take the decoded string ("<c>ch1.mif").
// A path that starts with "<c>" or "<u>" is relative to the book's folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "mif/mif_result.h"

namespace gw::mif {

class HostPaths {
 public:
  // root: the local folder presented as the drive's root (made absolute).
  // drive: the drive letter, "A" to "Z" (upper-cased).
  explicit HostPaths(std::filesystem::path root, char drive = 'G');

  // The whole local file system as the host sees it: "/" as drive G: where
  // the system has no drives; on Windows every drive as itself
  // ("C:\\docs\\ch1.mif" both ways).
  [[nodiscard]] static HostPaths WholeFileSystem();

  [[nodiscard]] const std::filesystem::path& Root() const { return root_; }
  [[nodiscard]] char Drive() const { return drive_; }

  // The host name of a local path under the root ("G:\\guide\\ch1.mif"); the
  // root itself is "G:\\". Local names are UTF-8 and host names FrameRoman:
  // fails for a path outside the root and for a name with a character that
  // FrameRoman does not have (or that is not UTF-8).
  [[nodiscard]] Result<std::string> ToHost(const std::filesystem::path& local) const;

  // The local path (UTF-8) of a host name (FrameRoman) on the drive; a byte
  // with no FrameRoman character becomes U+FFFD. Letter case is matched
  // against the files on disk folder by folder when the exact name does not
  // exist. Fails for other drives, network and relative names, and for names
  // that climb above the drive's root.
  [[nodiscard]] Result<std::filesystem::path> ToLocal(std::string_view hostPath) const;

 private:
  std::filesystem::path root_;
  char drive_;
  bool systemDrives_ = false;  // WholeFileSystem on Windows: root_ and drive_ unused
};

// A host name with "/" turned into "\\", repeated separators folded, and "."
// and ".." resolved ("G:\\a\\..\\b.fm" -> "G:\\b.fm"). Fails when ".." would
// climb above the drive's root or the name has no drive.
[[nodiscard]] Result<std::string> NormalizeHostName(std::string_view hostPath);

// The folder part of a host name ("G:\\book\\guide.book" -> "G:\\book"; a file
// at a drive's root gives "G:").
[[nodiscard]] std::string HostFolderOf(std::string_view hostPath);

// The host name a device-independent path stands for, relative paths taken
// from hostFolder ("<u><c>common<c>ch1.mif" in "G:\\book" -> "G:\\common\\ch1.mif").
// Fails, naming the path, for unknown codes, text before the first code, or a
// path that climbs above the drive's root.
[[nodiscard]] Result<std::string> ResolveDevicePath(std::string_view devicePath, std::string_view hostFolder);

// The device-independent path of a host name as seen from hostFolder: relative
// ("<c>ch1.mif", "<u><c>common<c>ch1.mif") on the same drive, else absolute
// ("<v>C:<c>docs<c>ch1.mif"). Both names are taken as normalized.
[[nodiscard]] std::string MakeDevicePath(std::string_view hostPath, std::string_view hostFolder);

}  // namespace gw::mif
