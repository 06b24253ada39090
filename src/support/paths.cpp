// File paths: path records, normalisation, variable expansion and splitting.
#include "support/paths.h"

#include <stdlib.h>
#include <string.h>

#include "platform/netlib.h"
#include "support/memory.h"
#include "support/strings.h"
#include "support/text_encoding.h"

namespace {

// The text that replaces a leading "~". Nothing in this system sets it, so a
// leading "~" is dropped.
const char kHomeDirectorySetting[] = "";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Appends length bytes to out (of kPathBufferSize bytes) when they fit whole;
// returns false when they do not.
bool AppendBytes(char* out, size_t* outLength, const char* bytes, size_t length) {
  if (*outLength + length > kPathBufferSize - 1) {
    return false;
  }
  memcpy(out + *outLength, bytes, length);
  *outLength += length;
  return true;
}

// Index just past the component that starts at i: up to the next separator
// that stands on a character boundary, or the end.
size_t ComponentEnd(const char* p, size_t i, int32_t encoding) {
  while (p[i] != '\0' && !IsSeparator(p[i])) {
    i += CharLengthAt(p, i, encoding);
  }
  return i;
}

// Index just past a run of separators starting at i.
size_t SkipSeparators(const char* p, size_t i) {
  while (IsSeparator(p[i])) {
    ++i;
  }
  return i;
}

// The position of the last separator in out[0, end) that stands on a
// character boundary, or -1.
long LastSeparatorBefore(const char* out, size_t end, int32_t encoding) {
  long found = -1;
  size_t i = 0;
  while (i < end) {
    if (IsSeparator(out[i])) {
      found = static_cast<long>(i);
    }
    size_t length = CharLengthAt(out, i, encoding);
    i += length == 0 ? 1 : length;
  }
  return found;
}

}  // namespace

// ---- Splitting ------------------------------------------------------------------

int32_t IsLocalPath(const char* s) {
  if (s == nullptr) {
    return 1;
  }
  return NetLibIsNetFile(s) == 0 ? 0 : 1;
}

size_t FileNameStart(const char* path) {
  if (path == nullptr) {
    return 0;
  }
  const int32_t encoding = HostEncoding();
  const char* backslash = FindLastChar(path, '\\', encoding);
  const char* colon = FindLastChar(path, ':', encoding);
  const char* later = backslash > colon ? backslash : colon;
  return later == nullptr ? 0 : static_cast<size_t>(later - path) + 1;
}

void SplitPath(const char* path, char* directory, char* name) {
  const int32_t encoding = HostEncoding();
  if (path == nullptr) {
    path = "";
  }
  if (IsLocalPath(path)) {
    const size_t start = FileNameStart(path);
    if (name != nullptr) {
      CopyBounded(name, path + start, kFileNameBufferSize, encoding);
    }
    if (directory == nullptr) {
      return;
    }
    size_t directoryLength = 0;
    if (start == 1 || (start == 3 && path[1] == ':' && path[2] == '\\')) {
      directoryLength = start;  // a root keeps its separator
    } else if (start > 1) {
      directoryLength = start - 1;
    }
    if (directoryLength > kPathBufferSize - 2) {
      directoryLength = kPathBufferSize - 2;
    }
    CopyBounded(directory, path, directoryLength + 1, encoding);
    return;
  }
  const char* slash = strrchr(path, '/');
  const char* nameStart = slash == nullptr ? path : slash + 1;
  if (name != nullptr) {
    CopyBounded(name, nameStart, kFileNameBufferSize, encoding);
    DecodeUrlName(name);
  }
  if (directory != nullptr) {
    size_t directoryLength = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
    if (directoryLength > kPathBufferSize - 1) {
      directoryLength = kPathBufferSize - 1;
    }
    CopyBounded(directory, path, directoryLength + 1, encoding);
  }
}

// ---- Rewriting in place ---------------------------------------------------------

void ExpandPathVariables(char* buffer) {
  if (buffer == nullptr) {
    return;
  }
  const int32_t encoding = HostEncoding();
  char out[kPathBufferSize];
  size_t outLength = 0;
  size_t i = 0;
  while (buffer[i] != '\0' && outLength < kPathBufferSize - 1) {
    const char c = buffer[i];
    if (c == '$' && (i == 0 || buffer[i + 1] != '.')) {
      const size_t nameEnd = ComponentEnd(buffer, i + 1, encoding);
      const size_t nameLength = nameEnd - (i + 1);
      char name[kPathBufferSize];
      memcpy(name, buffer + i + 1, nameLength);
      name[nameLength] = '\0';
      const char* value = nameLength > 0 ? getenv(name) : nullptr;
      if (value != nullptr) {
        outLength += CopyBounded(out + outLength, value, kPathBufferSize - outLength, encoding);
        i = nameEnd;
        continue;
      }
      out[outLength++] = c;  // undefined: keep "$" and go on with the name
      ++i;
      continue;
    }
    if (c == '~' && i == 0) {
      if (buffer[1] == '\0' || IsSeparator(buffer[1])) {
        outLength += CopyBounded(out + outLength, kHomeDirectorySetting,
                                 kPathBufferSize - outLength, encoding);
      }
      ++i;
      continue;
    }
    const size_t length = CharLengthAt(buffer, i, encoding);
    if (!AppendBytes(out, &outLength, buffer + i, length)) {
      break;
    }
    i += length;
  }
  out[outLength] = '\0';
  memcpy(buffer, out, outLength + 1);
}

void NormalizePath(char* buffer) {
  if (buffer == nullptr || !IsLocalPath(buffer)) {
    return;
  }
  ExpandPathVariables(buffer);
  const int32_t encoding = HostEncoding();

  // Every separator of the result is the first one met in the path.
  char separator = '\\';
  for (size_t i = 0; buffer[i] != '\0'; i += CharLengthAt(buffer, i, encoding)) {
    if (IsSeparator(buffer[i])) {
      separator = buffer[i];
      break;
    }
  }

  char out[kPathBufferSize];
  size_t outLength = 0;
  bool separatorWritten = false;
  size_t i = 0;
  if (buffer[0] == '\\' && buffer[1] == '\\') {
    // A network share prefix keeps its pair of separators.
    out[outLength++] = separator;
    out[outLength++] = separator;
    separatorWritten = true;
    i = SkipSeparators(buffer, 2);
  }
  while (buffer[i] != '\0') {
    if (IsSeparator(buffer[i])) {
      out[outLength++] = separator;
      separatorWritten = true;
      i = SkipSeparators(buffer, i);
      continue;
    }
    const size_t end = ComponentEnd(buffer, i, encoding);
    const size_t length = end - i;
    if (length == 1 && buffer[i] == '.') {
      i = SkipSeparators(buffer, end);
      continue;
    }
    if (length == 2 && buffer[i] == '.' && buffer[i + 1] == '.') {
      if (!separatorWritten) {
        i = end;  // the separator after it is still written
        continue;
      }
      // The component written before "..": from after the separator that
      // precedes it up to the separator that ends it (the last byte written).
      const size_t componentEnd = outLength - 1;
      out[outLength] = '\0';
      const long before = LastSeparatorBefore(out, componentEnd, encoding);
      const size_t componentStart = before < 0 ? 0 : static_cast<size_t>(before) + 1;
      const bool empty = componentStart == componentEnd;
      const bool drive = !empty && out[componentEnd - 1] == ':';
      if (empty || drive) {
        i = SkipSeparators(buffer, end);  // nothing to remove: drop the ".."
        continue;
      }
      outLength = before < 0 ? 0 : static_cast<size_t>(before);
      i = end;  // the separator after ".." is written where the component was
      continue;
    }
    memcpy(out + outLength, buffer + i, length);
    outLength += length;
    i = end;
  }
  out[outLength] = '\0';
  memcpy(buffer, out, outLength + 1);
}

void DecodeUrlName(char* name) {
  if (name == nullptr) {
    return;
  }
  auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  size_t write = 0;
  for (size_t read = 0; name[read] != '\0'; ++read) {
    const char c = name[read];
    if (c == '/') {
      name[write++] = '\\';
      continue;
    }
    if (c == '%' && name[read + 1] != '\0' && name[read + 2] != '\0') {
      const int high = hexValue(name[read + 1]);
      const int low = hexValue(name[read + 2]);
      if (high >= 0 && low >= 0 && (high * 16 + low) != 0) {
        name[write++] = static_cast<char>(high * 16 + low);
        read += 2;
        continue;
      }
    }
    name[write++] = c;
  }
  name[write] = '\0';
}

// ---- Path records ---------------------------------------------------------------

PathRecord* PathFromString(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') {
    return nullptr;
  }
  char buffer[kPathBufferSize];
  CopyBounded(buffer, fileName, sizeof buffer, HostEncoding());
  NormalizePath(buffer);
  if (buffer[0] == '\0') {
    return nullptr;
  }
  PathRecord* path = static_cast<PathRecord*>(MemAllocZeroed(1, sizeof(PathRecord), 0));
  if (path == nullptr) {
    return nullptr;
  }
  path->text = StrDup(buffer);
  if (path->text == nullptr) {
    MemFree(path);
    return nullptr;
  }
  path->tag = kPathRecordTag;
  path->flags = static_cast<uint16_t>((path->flags & ~1u) | kPathFlagNormalized);
  return path;
}

void PathFree(PathRecord* path) {
  if (path != nullptr) {
    MemFree(path->text);
    MemFree(path);
  }
}

char* PathFileName(const PathRecord* path) {
  if (path == nullptr || path->text == nullptr) {
    return nullptr;
  }
  char text[kPathBufferSize];
  const size_t length = CopyBounded(text, path->text, sizeof text, HostEncoding());
  // A path ending in a backslash names its last folder.
  if (length > 0 && text[length - 1] == '\\' &&
      !IsSecondByteAt(text, static_cast<int64_t>(length - 1), HostEncoding())) {
    text[length - 1] = '\0';
  }
  char name[kFileNameBufferSize];
  SplitPath(text, nullptr, name);
  return StrDup(name);
}
