// Operations on zero-terminated 8-bit strings in the host encoding.
#include "support/strings.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/memory.h"

namespace {

const char* OrEmpty(const char* s) { return s == nullptr ? "" : s; }

}  // namespace

// ASCII capitals map to 0x61-0x7A; the accented capitals of FrameRoman's upper
// half map to their small letters; all other bytes map to themselves.
// One row per 16 bytes, 0x00 to 0xFF.
// clang-format off
const uint8_t kStrLowerCaseTable[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0x8A, 0x8C, 0x8D, 0x8E, 0x96, 0x9A, 0x9F, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xBE, 0xBF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0x88, 0x8B, 0x9B, 0xCF, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD8, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0x89, 0x90, 0x87, 0x91, 0x8F, 0x92, 0x94, 0x95, 0x93, 0x97, 0x99,
    0xF0, 0x98, 0x9C, 0x9E, 0x9D, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
};
// clang-format on

size_t StrLen(const char* s) { return s == nullptr ? 0 : strlen(s); }

char* StrNew(size_t n) {
  if (n == SIZE_MAX) {
    return nullptr;
  }
  return static_cast<char*>(MemAllocZeroed(n + 1, 1, 0));
}

char* StrDup(const char* s) {
  if (s == nullptr) {
    return nullptr;
  }
  size_t length = strlen(s);
  char* copy = static_cast<char*>(MemAlloc(length + 1, 0));
  if (copy != nullptr) {
    memcpy(copy, s, length + 1);
  }
  return copy;
}

char* StrCopy(char* dst, const char* s) {
  if (dst == nullptr) {
    return nullptr;
  }
  size_t length = StrLen(s);
  memmove(dst, OrEmpty(s), length);
  dst[length] = '\0';
  return dst + length;
}

size_t StrCopyN(char* dst, const char* s, size_t size) {
  if (dst == nullptr || size == 0) {
    return 0;
  }
  s = OrEmpty(s);
  size_t copied = 0;
  while (copied + 1 < size && s[copied] != '\0') {
    dst[copied] = s[copied];
    ++copied;
  }
  dst[copied] = '\0';
  return copied;
}

size_t StrAppend(char* dst, const char* s) {
  if (dst == nullptr) {
    return 0;
  }
  size_t length = strlen(dst);
  return static_cast<size_t>(StrCopy(dst + length, s) - dst);
}

size_t StrAppendChar(char* dst, char c, size_t size) {
  if (dst == nullptr) {
    return 0;
  }
  size_t length = strlen(dst);
  if (length + 1 < size) {
    dst[length++] = c;
    dst[length] = '\0';
  }
  return length;
}

size_t StrAppendInt(char* dst, int32_t value, size_t size) {
  if (dst == nullptr) {
    return 0;
  }
  char digits[16];
  snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  return StrAppendN(dst, digits, size);
}

size_t StrAppendN(char* dst, const char* s, size_t size) {
  if (dst == nullptr) {
    return 0;
  }
  s = OrEmpty(s);
  size_t length = strlen(dst);
  while (length + 1 < size && *s != '\0') {
    dst[length++] = *s++;
  }
  // Terminate only inside the buffer: a string already at or past the bound
  // keeps its own terminator.
  if (length < size) {
    dst[length] = '\0';
  }
  return length;
}

const char* StrChr(const char* s, int c) {
  if (s == nullptr) {
    return nullptr;
  }
  const unsigned char wanted = static_cast<unsigned char>(c);
  for (; *s != '\0'; ++s) {
    if (static_cast<unsigned char>(*s) == wanted) {
      return s;
    }
  }
  return nullptr;
}

char* StrChr(char* s, int c) { return const_cast<char*>(StrChr(static_cast<const char*>(s), c)); }

int32_t StrFind(const char* s, const char* t) {
  if (s == nullptr || t == nullptr || *s == '\0') {
    return -1;
  }
  const char* found = strstr(s, t);
  return found == nullptr ? -1 : static_cast<int32_t>(found - s);
}

int32_t StrStartsWith(const char* s, const char* prefix) {
  s = OrEmpty(s);
  prefix = OrEmpty(prefix);
  return strncmp(s, prefix, strlen(prefix)) == 0 ? 1 : 0;
}

int StrCompare(const char* s, const char* t) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(OrEmpty(s));
  const unsigned char* b = reinterpret_cast<const unsigned char*>(OrEmpty(t));
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(*a) - static_cast<int>(*b);
}

int32_t StrEqual(const char* s, const char* t) { return StrCompare(s, t) == 0 ? 1 : 0; }

int StrCompareNoCase(const char* s, const char* t) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(OrEmpty(s));
  const unsigned char* b = reinterpret_cast<const unsigned char*>(OrEmpty(t));
  while (*a != 0 && kStrLowerCaseTable[*a] == kStrLowerCaseTable[*b]) {
    ++a;
    ++b;
  }
  return static_cast<int>(kStrLowerCaseTable[*a]) - static_cast<int>(kStrLowerCaseTable[*b]);
}

int32_t StrEqualNoCase(const char* s, const char* t) { return StrCompareNoCase(s, t) == 0 ? 1 : 0; }

void StrTrimLeft(char* s) {
  if (s == nullptr) {
    return;
  }
  size_t blanks = 0;
  while (s[blanks] == ' ') {
    ++blanks;
  }
  if (blanks > 0) {
    memmove(s, s + blanks, strlen(s + blanks) + 1);
  }
}

void StrTrimRight(char* s) {
  if (s == nullptr) {
    return;
  }
  size_t length = strlen(s);
  while (length > 0 && s[length - 1] == ' ') {
    s[--length] = '\0';
  }
}

int32_t StrToInt(const char* s) {
  if (s == nullptr) {
    return 0;
  }
  // strtol, clamped to the 32-bit range as the host's runtime clamps atoi.
  long value = strtol(s, nullptr, 10);
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  if (value < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(value);
}
