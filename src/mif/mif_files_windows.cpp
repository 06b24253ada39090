// Reading and atomically replacing MIF files on Windows: the same contracts as
// the POSIX versions in mif_reader.cpp and mif_writer.cpp, through the C
// runtime in binary mode and kernel32's file functions.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace gw::mif {

namespace {

// The system's text for a Windows error code, without its line break.
std::string SystemMessage(DWORD error) {
  char message[256] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                message, sizeof message, nullptr);
  while (length > 0 && (message[length - 1] == '\n' || message[length - 1] == '\r' || message[length - 1] == ' ' ||
                        message[length - 1] == '.')) {
    message[--length] = '\0';
  }
  return length > 0 ? std::string(message, length) : "error " + std::to_string(error);
}

Error SaveError(const std::string& path, std::string_view step, DWORD error) {
  return Error{path + ": cannot save: " + std::string(step) + ": " + SystemMessage(error)};
}

}  // namespace

Result<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes, bool headOnly) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) return Error{path + ": cannot read: it is a folder, not a file"};
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return Error{path + ": cannot read: it is not a regular file (a device, pipe or socket)"};
  }
  // Binary mode: the bytes as they are, line ends included.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Error{path + ": cannot open: " + std::strerror(errno)};
  // One byte more than the limit tells a file that is too large.
  const std::size_t limit = headOnly ? maxBytes : maxBytes + 1;
  std::string text;
  char buffer[65536];
  while (text.size() < limit) {
    std::size_t want = std::min(sizeof buffer, limit - text.size());
    std::size_t got = std::fread(buffer, 1, want, file);
    text.append(buffer, got);
    if (got < want) break;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Error{path + ": cannot read: " + std::strerror(EIO)};
  if (!headOnly && text.size() > maxBytes) {
    return Error{path + ": cannot read: it is larger than " + std::to_string(maxBytes >> 20) + " MiB"};
  }
  return text;
}

// A write-through move is durable when it returns; there are no folders to flush.
void FolderSyncs::SyncAll() {
  synced_ += pending_.size();
  pending_.clear();
}

Status WriteFileAtomically(const std::string& path, std::string_view text, FolderSyncs* /*folderSyncs*/) {
  std::size_t slash = path.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return Error{path + ": cannot save: no file name"};

  // A fresh name beside the file, so that the replacement stays on its volume.
  static std::atomic<unsigned> serial{0};
  std::string tempPath = folder + "\\." + base + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(serial.fetch_add(1));
  HANDLE file = CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return SaveError(path, "cannot create a temporary file in " + folder, GetLastError());
  }

  // From here on every failure removes the temporary file.
  auto fail = [&](std::string_view step, DWORD error) -> Status {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DeleteFileA(tempPath.c_str());
    return SaveError(path, step, error);
  };
  std::size_t written = 0;
  while (written < text.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 1u << 30));
    DWORD count = 0;
    if (!WriteFile(file, text.data() + written, chunk, &count, nullptr)) return fail("cannot write", GetLastError());
    written += count;
  }
  if (!FlushFileBuffers(file)) return fail("cannot flush to disk", GetLastError());
  BOOL closed = CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!closed) return fail("cannot write", GetLastError());
  if (!MoveFileExA(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail("cannot replace the file", GetLastError());
  }
  return Status::Ok();
}

}  // namespace gw::mif
