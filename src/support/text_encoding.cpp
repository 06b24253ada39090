// The host encoding, character scanning, conversion through ICU and the host
// console.
#include "support/text_encoding.h"

#include <string.h>
#include <unicode/putil.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "support/memory.h"
#include "support/strings.h"

namespace {

// One row of the encoding table: lead-byte and trail-byte ranges (inclusive;
// an empty range has first > last) and the two names.
struct ByteRange {
  uint8_t first;
  uint8_t last;
};

struct EncodingRow {
  const char* tableName;
  const char* converterName;
  ByteRange lead[2];
  ByteRange trail[2];
};

constexpr ByteRange kNone = {1, 0};

constexpr EncodingRow kEncodings[kEncodingCount] = {
    {"FrameRoman", "adobe-fm-roman-windows", {kNone, kNone}, {kNone, kNone}},
    {"JISX0208.ShiftJIS",
     "adobe-fm-shift-jis",
     {{0x81, 0x9F}, {0xE0, 0xFC}},
     {{0x40, 0x7E}, {0x80, 0xFC}}},
    {"KSC5601-1992", "adobe-fm-ksc-5601", {{0xA1, 0xFE}, kNone}, {{0xA1, 0xFE}, kNone}},
    {"BIG5", "adobe-fm-big5", {{0xA1, 0xFE}, kNone}, {{0x40, 0x7E}, {0xA1, 0xFE}}},
    {"GB2312-80.EUC", "adobe-fm-gb2312", {{0x81, 0xFE}, kNone}, {{0x40, 0xFE}, kNone}},
    {"UTF-8", "UTF-8", {kNone, kNone}, {kNone, kNone}},
};

// The byte tables: entry b flags a lead byte, entry 256 + b a trail byte.
struct ByteTables {
  uint8_t flags[kEncodingCount][512];
};

constexpr bool InRanges(const ByteRange (&ranges)[2], int b) {
  for (const ByteRange& range : ranges) {
    if (b >= range.first && b <= range.last) {
      return true;
    }
  }
  return false;
}

constexpr ByteTables MakeByteTables() {
  ByteTables tables{};
  for (int e = 0; e < kEncodingCount; ++e) {
    for (int b = 0; b < 256; ++b) {
      tables.flags[e][b] = InRanges(kEncodings[e].lead, b) ? 1 : 0;
      tables.flags[e][256 + b] = InRanges(kEncodings[e].trail, b) ? 1 : 0;
    }
  }
  return tables;
}

constexpr ByteTables kByteTables = MakeByteTables();

// Module state: the host encoding, whether SetHostEncoding has run, the hooks.
int32_t gHostEncoding = kEncodingFrameRoman;
bool gTablesFilled = false;
ConsoleWriterHook gConsoleWriter = nullptr;
HomeDirectoryHook gHomeDirectory = nullptr;

bool IsDoubleByteEncoding(int32_t encoding) {
  return encoding >= kEncodingShiftJis && encoding <= kEncodingGb2312;
}

uint8_t ByteAt(const char* s, size_t i) { return static_cast<uint8_t>(s[i]); }

// A fresh copy of length bytes of text followed by two zero bytes (a must-
// succeed allocation, as for every conversion buffer).
char* FreshWithTwoZeros(const char* text, size_t length) {
  char* result = static_cast<char*>(MemAlloc(length + 2, kMemMustSucceed));
  if (result == nullptr) {
    return nullptr;  // the host resumed after the fatal stop
  }
  memcpy(result, text, length);
  result[length] = '\0';
  result[length + 1] = '\0';
  return result;
}

// Output of a conversion: grows (must-succeed) when a run produces more than
// the estimated room.
struct OutputBuffer {
  char* bytes;
  size_t length;
  size_t capacity;
};

void OutputAppend(OutputBuffer* output, const char* bytes, size_t length) {
  if (output->length + length > output->capacity) {
    size_t capacity = output->capacity * 2;
    if (capacity < output->length + length) {
      capacity = output->length + length;
    }
    char* grown = static_cast<char*>(MemRealloc(output->bytes, capacity, kMemMustSucceed));
    if (grown == nullptr) {
      return;  // the host resumed after the fatal stop: the bytes are dropped
    }
    output->bytes = grown;
    output->capacity = capacity;
  }
  memcpy(output->bytes + output->length, bytes, length);
  output->length += length;
}

// Converts one run (runLength bytes, no control bytes) from source to target
// through UTF-16 and appends the result to output. A converter that cannot be
// opened, or any ICU error, drops the run; warnings count as success.
void ConvertRun(const char* run, size_t runLength, const char* source, const char* target,
                OutputBuffer* output) {
  if (runLength == 0) {
    return;
  }
  // The buffers come before the converters: a must-succeed allocation that
  // fails ends in the fatal stop, which must not leave a converter open.
  const size_t utf16Capacity = 2 * runLength + 1;
  UChar* utf16 = static_cast<UChar*>(MemAlloc(utf16Capacity * sizeof(UChar), kMemMustSucceed));
  const size_t targetCapacity = 8 * runLength + 4;
  char* converted = static_cast<char*>(MemAlloc(targetCapacity, kMemMustSucceed));
  if (utf16 == nullptr || converted == nullptr) {
    // Only after the host resumed from the fatal stop.
    MemFree(converted);
    MemFree(utf16);
    return;
  }
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(source, &status);
  if (U_FAILURE(status) || converter == nullptr) {
    MemFree(converted);
    MemFree(utf16);
    return;
  }
  ucnv_setFallback(converter, true);
  int32_t utf16Length = ucnv_toUChars(converter, utf16, static_cast<int32_t>(utf16Capacity), run,
                                      static_cast<int32_t>(runLength), &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) {
    MemFree(converted);
    MemFree(utf16);
    return;
  }

  converter = ucnv_open(target, &status);
  if (U_FAILURE(status) || converter == nullptr) {
    MemFree(converted);
    MemFree(utf16);
    return;
  }
  int32_t convertedLength = ucnv_fromUChars(
      converter, converted, static_cast<int32_t>(targetCapacity), utf16, utf16Length, &status);
  ucnv_close(converter);
  if (U_SUCCESS(status) && convertedLength > 0) {
    OutputAppend(output, converted, static_cast<size_t>(convertedLength));
  }
  MemFree(converted);
  MemFree(utf16);
}

// The separator to put between the home directory and "icu_data": a backslash,
// as the host's paths use, unless the home directory is a POSIX path.
char HomeSeparator(const char* home) {
  return (home[0] == '/' && strchr(home, '\\') == nullptr) ? '/' : '\\';
}

}  // namespace

// ---- Hooks ----------------------------------------------------------------------

void SetConsoleWriterHook(ConsoleWriterHook hook) { gConsoleWriter = hook; }

void SetHomeDirectoryHook(HomeDirectoryHook hook) { gHomeDirectory = hook; }

// ---- Start-up and the host encoding ---------------------------------------------

int32_t InitTextSupport(void) {
  if (!gTablesFilled) {
    SetHostEncoding("FrameRoman");
  }
  const char* current = u_getDataDirectory();
  if (current != nullptr && current[0] != '\0') {
    return 0;
  }
  if (gHomeDirectory == nullptr) {
    return 1;
  }
  int32_t lastError = 0;
  char* home = gHomeDirectory(&lastError);
  if (lastError != 0 || home == nullptr || home[0] == '\0') {
    MemFree(home);
    return 1;
  }
  static const char kFolder[] = "icu_data";
  char path[kIcuDataPathSize];
  size_t homeLength = strlen(home);
  // A home directory too long for the path buffer leaves ICU unchanged rather
  // than pointing it at a cut-off folder.
  if (homeLength + 1 + sizeof kFolder > sizeof path) {
    MemFree(home);
    return 1;
  }
  memcpy(path, home, homeLength);
  path[homeLength] = HomeSeparator(home);
  memcpy(path + homeLength + 1, kFolder, sizeof kFolder);
  MemFree(home);
  u_setDataDirectory(path);
  return 0;
}

int32_t SetHostEncoding(const char* name) {
  gTablesFilled = true;
  for (int32_t i = 0; i < kEncodingCount; ++i) {
    if (StrEqualNoCase(name, kEncodings[i].tableName)) {
      gHostEncoding = i;
      break;
    }
  }
  return gHostEncoding;
}

int32_t HostEncoding(void) { return gHostEncoding; }

int32_t EncodingIndex(const char* tableName) {
  for (int32_t i = 0; i < kEncodingCount; ++i) {
    if (StrEqualNoCase(tableName, kEncodings[i].tableName)) {
      return i;
    }
  }
  return kEncodingFrameRoman;
}

const char* EncodingTableName(const char* converterName) {
  if (converterName == nullptr) {
    return nullptr;
  }
  for (const EncodingRow& row : kEncodings) {
    if (strcmp(converterName, row.converterName) == 0) {
      return row.tableName;
    }
  }
  return nullptr;
}

const char* EncodingConverterName(int32_t index) {
  if (index < 0 || index >= kEncodingCount) {
    return nullptr;
  }
  return kEncodings[index].converterName;
}

int32_t IsLeadByte(int32_t encoding, uint8_t b) {
  if (encoding < 0 || encoding >= kEncodingCount) {
    return 0;
  }
  return kByteTables.flags[encoding][b];
}

int32_t IsTrailByte(int32_t encoding, uint8_t b) {
  if (encoding < 0 || encoding >= kEncodingCount) {
    return 0;
  }
  return kByteTables.flags[encoding][256 + b];
}

// ---- UTF-8 ----------------------------------------------------------------------

uint32_t Utf8CharLength(uint8_t firstByte) {
  if (firstByte < 0xC0) return 1;
  if (firstByte < 0xE0) return 2;
  if (firstByte < 0xF0) return 3;
  if (firstByte < 0xF8) return 4;
  if (firstByte < 0xFC) return 5;
  if (firstByte < 0xFE) return 6;
  return 1;
}

int32_t IsValidUtf8(const char* s) {
  if (s == nullptr) {
    return 0;
  }
  size_t i = 0;
  while (s[i] != '\0') {
    uint8_t lead = ByteAt(s, i);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead < 0xC0 || lead >= 0xFE) {
      return 0;
    }
    uint32_t length = Utf8CharLength(lead);
    for (uint32_t k = 1; k < length; ++k) {
      // The terminating zero is not a continuation byte, so this never reads
      // past the end.
      if ((ByteAt(s, i + k) & 0xC0) != 0x80) {
        return 0;
      }
    }
    i += length;
  }
  return 1;
}

// ---- Conversion -----------------------------------------------------------------

char* ConvertText(const char* text, const char* sourceConverter, const char* targetConverter) {
  if (text == nullptr) {
    return nullptr;
  }
  const size_t n = strlen(text);
  if (n == 0 || StrEqual(sourceConverter, targetConverter)) {
    return FreshWithTwoZeros(text, n);
  }
  const int32_t encoding = EncodingIndex(EncodingTableName(sourceConverter));

  OutputBuffer output = {static_cast<char*>(MemAlloc(4 * n + 4, kMemMustSucceed)), 0, 4 * n + 4};
  char* pending = static_cast<char*>(MemAlloc(4 * n + 4, kMemMustSucceed));
  if (output.bytes == nullptr || pending == nullptr) {
    // Only after the host resumed from the fatal stop.
    MemFree(output.bytes);
    MemFree(pending);
    return nullptr;
  }
  size_t pendingLength = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = ByteAt(text, i);
    if (IsLeadByte(encoding, b) && i + 1 < n && IsTrailByte(encoding, ByteAt(text, i + 1))) {
      pending[pendingLength++] = text[i];
      pending[pendingLength++] = text[i + 1];
      ++i;
    } else if (b >= 0x20) {
      pending[pendingLength++] = text[i];
    } else {
      // Control bytes never reach ICU: they end the run and pass unchanged.
      ConvertRun(pending, pendingLength, sourceConverter, targetConverter, &output);
      pendingLength = 0;
      OutputAppend(&output, text + i, 1);
    }
  }
  ConvertRun(pending, pendingLength, sourceConverter, targetConverter, &output);
  MemFree(pending);

  char* result = FreshWithTwoZeros(output.bytes, output.length);
  MemFree(output.bytes);
  return result;
}

char* ConvertToUtf8(const char* text, int32_t encodingIndex) {
  if (text == nullptr) {
    return nullptr;
  }
  if (encodingIndex == kEncodingUtf8) {
    return IsValidUtf8(text) ? FreshWithTwoZeros(text, strlen(text)) : FreshWithTwoZeros("???", 3);
  }
  if (encodingIndex < 0 || encodingIndex >= kEncodingCount) {
    return FreshWithTwoZeros(text, strlen(text));
  }
  return ConvertText(text, kEncodings[encodingIndex].converterName, "UTF-8");
}

char* HostTextToUtf8(const char* text) { return ConvertToUtf8(text, gHostEncoding); }

// ---- The host console -----------------------------------------------------------

int32_t ConsoleWrite(const char* text) {
  if (text == nullptr || gConsoleWriter == nullptr) {
    return 0;
  }
  if (gHostEncoding == kEncodingUtf8) {
    return gConsoleWriter(text);
  }
  char* utf8 = HostTextToUtf8(text);
  int32_t status = gConsoleWriter(utf8);
  MemFree(utf8);
  return status;
}

// ---- Character scanning ---------------------------------------------------------

size_t CharLengthAt(const char* s, size_t index, int32_t encoding) {
  const uint8_t lead = ByteAt(s, index);
  if (lead == 0) {
    return 0;
  }
  if (encoding == kEncodingUtf8) {
    const uint32_t length = Utf8CharLength(lead);
    size_t counted = 1;
    while (counted < length && (ByteAt(s, index + counted) & 0xC0) == 0x80) {
      ++counted;
    }
    return counted;
  }
  if (IsDoubleByteEncoding(encoding) && IsLeadByte(encoding, lead) &&
      IsTrailByte(encoding, ByteAt(s, index + 1))) {
    return 2;
  }
  return 1;
}

uint32_t NextChar(const char** cursor) {
  if (cursor == nullptr || *cursor == nullptr || **cursor == '\0') {
    return 0;
  }
  const char* s = *cursor;
  const size_t length = CharLengthAt(s, 0, kEncodingUtf8);
  const uint8_t lead = ByteAt(s, 0);
  if (length == 1 || length != Utf8CharLength(lead) || length > 4) {
    // ASCII, a stray byte or a cut or over-long sequence: the byte itself.
    *cursor = s + 1;
    return lead;
  }
  uint32_t codePoint = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    codePoint = (codePoint << 6) | (ByteAt(s, k) & 0x3F);
  }
  *cursor = s + length;
  return codePoint;
}

size_t BackToCharStart(const char* s, size_t i) {
  if (s == nullptr || i >= strlen(s)) {
    return i;
  }
  for (int steps = 0; steps < 3 && i > 0 && (ByteAt(s, i) & 0xC0) == 0x80; ++steps) {
    --i;
  }
  return i;
}

int32_t IsSecondByteAt(const char* s, int64_t index, int32_t encoding) {
  if (s == nullptr || index <= 0 || static_cast<uint64_t>(index) >= strlen(s) ||
      !IsDoubleByteEncoding(encoding)) {
    return 0;
  }
  const size_t target = static_cast<size_t>(index);
  size_t i = 0;
  while (i < target) {
    const size_t length = CharLengthAt(s, i, encoding);
    if (length == 2 && i + 1 == target) {
      return 1;
    }
    i += length;
  }
  return 0;
}

size_t CopyBounded(char* destination, const char* source, size_t n, int32_t encoding) {
  if (destination == nullptr || n == 0) {
    return 0;
  }
  if (source == nullptr) {
    destination[0] = '\0';
    return 0;
  }
  size_t count = strlen(source);
  const size_t room = n - 1;
  if (count > room) {
    count = room;
    if (encoding == kEncodingUtf8) {
      count = BackToCharStart(source, room);
    } else if (IsSecondByteAt(source, static_cast<int64_t>(room), encoding)) {
      count = room - 1;
    }
  }
  memmove(destination, source, count);
  destination[count] = '\0';
  return count;
}

size_t AppendBounded(char* destination, const char* source, size_t n, int32_t encoding) {
  if (destination == nullptr || source == nullptr || source[0] == '\0') {
    return 0;
  }
  const size_t length = strlen(destination);
  if (length + 1 >= n) {
    return length;
  }
  return length + CopyBounded(destination + length, source, n - length, encoding);
}

const char* FindLastChar(const char* s, char c, int32_t encoding) {
  if (s == nullptr) {
    return nullptr;
  }
  const char* found = nullptr;
  size_t i = 0;
  while (s[i] != '\0') {
    if (s[i] == c) {
      found = s + i;
    }
    i += CharLengthAt(s, i, encoding);
  }
  return found;
}

int32_t FindSubstring(const char* s, const char* text, int32_t encoding) {
  if (s == nullptr || text == nullptr || s[0] == '\0') {
    return -1;
  }
  const size_t textLength = strlen(text);
  size_t i = 0;
  while (s[i] != '\0') {
    if (strncmp(s + i, text, textLength) == 0) {
      return static_cast<int32_t>(i);
    }
    i += CharLengthAt(s, i, encoding);
  }
  return -1;
}
