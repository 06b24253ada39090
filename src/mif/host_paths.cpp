// Host file names on a virtual drive, and device-independent book paths.
#include "mif/host_paths.h"

#include <cctype>

#include "mif/frame_roman.h"
#include <optional>
#include <system_error>
#include <vector>

namespace gw::mif {

namespace {

namespace fs = std::filesystem;

// A host name taken apart: its drive letter (upper case) and its folder and
// file names, "." and ".." resolved.
struct HostName {
  char drive = 0;
  std::vector<std::string> parts;
};

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Adds one name to parts, resolving "." and "..". False when ".." climbs
// above the root.
bool Push(std::vector<std::string>& parts, std::string_view name) {
  if (name.empty() || name == ".") return true;
  if (name == "..") {
    if (parts.empty()) return false;
    parts.pop_back();
    return true;
  }
  parts.emplace_back(name);
  return true;
}

Result<HostName> SplitHostName(std::string_view hostPath) {
  std::string text(hostPath);
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  const std::string quoted = "\"" + std::string(hostPath) + "\"";
  if (text.starts_with("\\\\")) return Error{"host file name " + quoted + ": network names are not supported"};
  if (text.size() < 2 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':') {
    return Error{"host file name " + quoted + ": expected a drive letter and a colon"};
  }
  HostName name;
  name.drive = Upper(text[0]);
  size_t start = 2;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    if (!Push(name.parts, std::string_view(text).substr(start, end - start))) {
      return Error{"host file name " + quoted + ": \"..\" climbs above the drive's root"};
    }
    start = end + 1;
  }
  return name;
}

// A local (UTF-8) file name in FrameRoman, or nothing when a character has no
// FrameRoman form or the bytes are not UTF-8.
std::optional<std::string> LocalNameToHost(std::string_view local) {
  std::string host;
  for (size_t at = 0; at < local.size();) {
    size_t length = 1;
    std::optional<char32_t> point = DecodeUtf8(local.substr(at), &length);
    if (!point) return std::nullopt;
    std::optional<unsigned char> byte = UnicodeToFrameRoman(*point);
    if (!byte) return std::nullopt;
    host += static_cast<char>(*byte);
    at += length;
  }
  return host;
}

// A host (FrameRoman) file name in UTF-8; a byte with no character becomes U+FFFD.
std::string HostNameToLocal(std::string_view host) {
  std::string local;
  for (char c : host) AppendUtf8(local, FrameRomanToUnicode(static_cast<unsigned char>(c)).value_or(U'\uFFFD'));
  return local;
}

std::string JoinHostName(const HostName& name) {
  std::string text{name.drive, ':'};
  if (name.parts.empty()) return text + "\\";
  for (const std::string& part : name.parts) text += "\\" + part;
  return text;
}

}  // namespace

HostPaths::HostPaths(std::filesystem::path root, char drive) : drive_(Upper(drive)) {
  std::error_code error;
  fs::path absolute = fs::absolute(root, error);
  root_ = (error ? root : absolute).lexically_normal();
  if (root_.has_filename() == false && root_ != root_.root_path()) root_ = root_.parent_path();
  if (drive_ < 'A' || drive_ > 'Z') drive_ = 'G';
}

HostPaths HostPaths::WholeFileSystem() {
  HostPaths paths("/", 'G');
#if defined(_WIN32)
  paths.systemDrives_ = true;
#endif
  return paths;
}

Result<std::string> HostPaths::ToHost(const std::filesystem::path& local) const {
  std::error_code error;
  fs::path absolute = fs::absolute(local, error);
  if (error) return Error{"file " + local.string() + ": " + error.message()};
  if (systemDrives_) {
    // The path's own drive; a network path has none the host could name.
    const std::string rootName = absolute.root_name().string();
    if (rootName.size() != 2 || rootName[1] != ':' || !std::isalpha(static_cast<unsigned char>(rootName[0]))) {
      return Error{"file " + local.string() + ": only files on a drive with a letter can be given to the host"};
    }
    HostName name;
    name.drive = Upper(rootName[0]);
    for (const fs::path& part : absolute.lexically_normal().relative_path()) {
      std::string text = part.string();
      if (text == "." || text.empty()) continue;
      name.parts.push_back(std::move(text));
    }
    return JoinHostName(name);
  }
  fs::path relative = absolute.lexically_normal().lexically_relative(root_);
  const std::string outside = "file " + local.string() + ": lies outside the folder " + root_.string() +
                              " that the host sees as drive " + std::string{drive_, ':'};
  if (relative.empty()) return Error{outside};
  HostName name;
  name.drive = drive_;
  for (const fs::path& part : relative) {
    std::string text = part.string();
    if (text == "..") return Error{outside};
    if (text == "." || text.empty()) continue;
    // A backslash separates names on the host, so "a\\b.mif" would stand for
    // the file b.mif in a folder a: such a name has no host form.
    if (text.find('\\') != std::string::npos) {
      return Error{"file " + local.string() + ": a name with a backslash cannot be given to the host"};
    }
    // The host's names are FrameRoman; a name it cannot hold is refused
    // rather than handed over garbled.
    std::optional<std::string> hostText = LocalNameToHost(text);
    if (!hostText) {
      return Error{"file " + local.string() + ": the name \"" + text +
                   "\" has characters the host's character set (FrameRoman) cannot hold"};
    }
    name.parts.push_back(std::move(*hostText));
  }
  return JoinHostName(name);
}

Result<std::filesystem::path> HostPaths::ToLocal(std::string_view hostPath) const {
  Result<HostName> split = SplitHostName(hostPath);
  if (!split) return split.GetError();
  const HostName& name = split.Value();
  if (!systemDrives_ && name.drive != drive_) {
    return Error{"host file name \"" + std::string(hostPath) + "\": no such drive (files are on drive " +
                 std::string{drive_, ':'} + ")"};
  }
  fs::path local = systemDrives_ ? fs::path(std::string{name.drive, ':', '\\'}) : root_;
  for (const std::string& hostPart : name.parts) {
    std::string part = HostNameToLocal(hostPart);
    fs::path exact = local / part;
    std::error_code error;
    if (fs::exists(exact, error) || !fs::is_directory(local, error)) {
      local = std::move(exact);
      continue;
    }
    // The host's file names ignore letter case; look for a unique match.
    fs::path match;
    for (const fs::directory_entry& entry : fs::directory_iterator(local, error)) {
      if (SameLetters(entry.path().filename().string(), part)) {
        match = entry.path();
        break;
      }
    }
    local = match.empty() ? std::move(exact) : std::move(match);
  }
  return local;
}

Result<std::string> NormalizeHostName(std::string_view hostPath) {
  Result<HostName> split = SplitHostName(hostPath);
  if (!split) return split.GetError();
  return JoinHostName(split.Value());
}

std::string HostFolderOf(std::string_view hostPath) {
  size_t slash = hostPath.find_last_of("\\/");
  if (slash == std::string_view::npos) return {};
  return std::string(hostPath.substr(0, slash));
}

Result<std::string> ResolveDevicePath(std::string_view devicePath, std::string_view hostFolder) {
  const std::string quoted = "book component path \"" + std::string(devicePath) + "\"";
  std::string folderText(hostFolder);
  if (folderText.size() == 2 && folderText[1] == ':') folderText += "\\";
  Result<HostName> folder = SplitHostName(folderText);
  if (!folder) return Error{quoted + ": " + folder.ErrorMessage()};
  HostName name = folder.Value();
  if (devicePath.empty() || devicePath.front() != '<') return Error{quoted + ": expected a code such as <c> first"};
  size_t at = 0;
  bool first = true;
  while (at < devicePath.size()) {
    size_t close = devicePath.find('>', at);
    if (devicePath[at] != '<' || close == std::string_view::npos || close != at + 2) {
      return Error{quoted + ": malformed code at \"" + std::string(devicePath.substr(at)) + "\""};
    }
    const char code = static_cast<char>(std::tolower(static_cast<unsigned char>(devicePath[at + 1])));
    size_t next = devicePath.find('<', close + 1);
    if (next == std::string_view::npos) next = devicePath.size();
    std::string_view text = devicePath.substr(close + 1, next - close - 1);
    switch (code) {
      case 'c':
        if (text.empty() || text.find_first_of("\\/") != std::string_view::npos || !Push(name.parts, text)) {
          return Error{quoted + ": bad name \"" + std::string(text) + "\""};
        }
        break;
      case 'u':
        if (!text.empty() || !Push(name.parts, "..")) return Error{quoted + ": climbs above the drive's root"};
        break;
      case 'r':
        if (!first || !text.empty()) return Error{quoted + ": <r> must come first and stand alone"};
        name.parts.clear();
        break;
      case 'v': {
        if (!first || text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])) ||
            (text.size() > 1 && text.substr(1) != ":")) {
          return Error{quoted + ": bad drive \"" + std::string(text) + "\""};
        }
        name.drive = Upper(text[0]);
        name.parts.clear();
        break;
      }
      case 'h':
        return Error{quoted + ": network hosts are not supported"};
      default:
        return Error{quoted + ": unknown code <" + std::string(1, devicePath[at + 1]) + ">"};
    }
    first = false;
    at = next;
  }
  if (name.parts.empty()) return Error{quoted + ": names no file"};
  return JoinHostName(name);
}

std::string MakeDevicePath(std::string_view hostPath, std::string_view hostFolder) {
  Result<HostName> target = SplitHostName(hostPath);
  std::string folderText(hostFolder);
  if (folderText.size() == 2 && folderText[1] == ':') folderText += "\\";
  Result<HostName> folder = SplitHostName(folderText);
  std::string path;
  if (!target) return "<c>" + std::string(hostPath);
  const HostName& file = target.Value();
  if (!folder || folder.Value().drive != file.drive) {
    path = "<v>" + std::string{file.drive, ':'};
    for (const std::string& part : file.parts) path += "<c>" + part;
    return path;
  }
  const std::vector<std::string>& base = folder.Value().parts;
  size_t common = 0;
  while (common < base.size() && common < file.parts.size() && SameLetters(base[common], file.parts[common])) {
    ++common;
  }
  // A file that is the book's folder itself, or one of its ancestors, is
  // named from its parent, so that the path always ends in a name.
  if (common == file.parts.size() && common > 0) --common;
  for (size_t i = common; i < base.size(); ++i) path += "<u>";
  for (size_t i = common; i < file.parts.size(); ++i) path += "<c>" + file.parts[i];
  return path;
}

}  // namespace gw::mif
