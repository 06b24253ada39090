// The support library's printf-style formatter and its two sinks.
#include "support/format.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "support/memory.h"
#include "support/strings.h"
#include "support/text_encoding.h"

namespace {

constexpr char kConversionCharacters[] = "dioxXucsfeEgGp%nC";
constexpr char kFlagCharacters[] = "-+ #0'";
constexpr char kLengthCharacters[] = "hlLqjzt";

// Width and precision above these are cut: a conversion other than "s" never
// produces more than the work buffer holds, and the padding of an "s"
// conversion stays within a sane allocation.
constexpr long kMaxWorkWidth = static_cast<long>(kFormatWorkBufferSize) - 1;
constexpr long kMaxStringPadding = 1L << 20;

bool IsOneOf(char c, const char* set) { return c != '\0' && strchr(set, c) != nullptr; }

// A specification taken apart: "%" flags width . precision length conversion.
struct Specification {
  char flags[8];
  long width;      // -1: none
  long precision;  // -1: none
  char length[3];
  char conversion;  // '\0' when the format ended inside the specification
  bool wellFormed;  // false when something else stands between the parts
};

// Reads decimal digits, saturating at INT32_MAX. The check comes before the
// step, since long may be as narrow as int32_t (it is on Windows).
long ReadNumber(const char** cursor) {
  long value = 0;
  while (**cursor >= '0' && **cursor <= '9') {
    const long digit = **cursor - '0';
    value = value > (INT32_MAX - digit) / 10 ? INT32_MAX : value * 10 + digit;
    ++*cursor;
  }
  return value;
}

// The next argument as a string, without consuming it.
const char* PeekString(va_list* args) {
  va_list peek;
  va_copy(peek, *args);
  const char* text = va_arg(peek, const char*);
  va_end(peek);
  return text;
}

Specification Parse(const char* specification, size_t specificationLength) {
  Specification parsed = {};
  parsed.width = -1;
  parsed.precision = -1;
  parsed.wellFormed = true;
  const char* end = specification + specificationLength;
  const char* p = specification + 1;  // after "%"
  size_t flagCount = 0;
  while (p < end && IsOneOf(*p, kFlagCharacters)) {
    if (strchr(parsed.flags, *p) == nullptr && flagCount + 1 < sizeof parsed.flags) {
      parsed.flags[flagCount++] = *p;
    }
    ++p;
  }
  if (p < end && *p >= '1' && *p <= '9') {
    parsed.width = ReadNumber(&p);
  }
  if (p < end && *p == '.') {
    ++p;
    if (*p == '-') {
      // A negative precision from "*" means no precision at all.
      ++p;
      ReadNumber(&p);
    } else {
      parsed.precision = ReadNumber(&p);
    }
  }
  size_t lengthCount = 0;
  while (p < end && IsOneOf(*p, kLengthCharacters) && lengthCount + 1 < sizeof parsed.length) {
    parsed.length[lengthCount++] = *p++;
  }
  if (p < end && IsOneOf(*p, kConversionCharacters) && p + 1 == end) {
    parsed.conversion = *p;
  } else {
    parsed.wellFormed = false;
    if (specificationLength > 1 && IsOneOf(end[-1], kConversionCharacters)) {
      parsed.conversion = end[-1];
    }
  }
  return parsed;
}

// Writes the specification back as text for snprintf, with the conversion
// replaced by conversion and length modifiers kept only when keepLength.
void Rebuild(const Specification& parsed, char conversion, bool keepLength, char* out,
             size_t outSize) {
  int written = 0;
  if (parsed.precision >= 0) {
    written = snprintf(out, outSize, "%%%s%.0ld.%ld", parsed.flags,
                       parsed.width < 0 ? 0 : parsed.width, parsed.precision);
  } else {
    written =
        snprintf(out, outSize, "%%%s%.0ld", parsed.flags, parsed.width < 0 ? 0 : parsed.width);
  }
  if (written < 0 || static_cast<size_t>(written) + 4 > outSize) {
    snprintf(out, outSize, "%%%c", conversion);
    return;
  }
  size_t length = static_cast<size_t>(written);
  if (keepLength) {
    for (const char* m = parsed.length; *m != '\0'; ++m) {
      out[length++] = *m;
    }
  }
  out[length++] = conversion;
  out[length] = '\0';
}

// snprintf of one value into the work buffer; returns the text's length.
template <typename T>
int32_t Print(char* work, size_t workSize, const char* specification, T value) {
  int written = snprintf(work, workSize, specification, value);
  if (written < 0) {
    work[0] = '\0';
    return 0;
  }
  return static_cast<int32_t>(strlen(work));
}

// Reads a signed integer argument of the size the length modifier names.
int32_t PrintInteger(char* work, size_t workSize, const char* specification,
                     const Specification& parsed, va_list* args) {
  const char* length = parsed.length;
  if (strcmp(length, "l") == 0) {
    return Print(work, workSize, specification, va_arg(*args, long));
  }
  if (strcmp(length, "ll") == 0 || strcmp(length, "q") == 0) {
    return Print(work, workSize, specification, va_arg(*args, long long));
  }
  if (strcmp(length, "j") == 0) {
    return Print(work, workSize, specification, va_arg(*args, intmax_t));
  }
  if (strcmp(length, "z") == 0) {
    return Print(work, workSize, specification, va_arg(*args, size_t));
  }
  if (strcmp(length, "t") == 0) {
    return Print(work, workSize, specification, va_arg(*args, ptrdiff_t));
  }
  return Print(work, workSize, specification, va_arg(*args, int));
}

// Stores count through the "%n" argument, with the pointer type the length
// modifier names.
void StoreCount(int32_t count, const char* length, va_list* args) {
  if (strcmp(length, "hh") == 0) {
    *va_arg(*args, signed char*) = static_cast<signed char>(count);
  } else if (strcmp(length, "h") == 0) {
    *va_arg(*args, short*) = static_cast<short>(count);
  } else if (strcmp(length, "l") == 0) {
    *va_arg(*args, long*) = count;
  } else if (strcmp(length, "ll") == 0 || strcmp(length, "q") == 0) {
    *va_arg(*args, long long*) = count;
  } else if (strcmp(length, "j") == 0) {
    *va_arg(*args, intmax_t*) = count;
  } else if (strcmp(length, "z") == 0) {
    *va_arg(*args, size_t*) = static_cast<size_t>(count);
  } else if (strcmp(length, "t") == 0) {
    *va_arg(*args, ptrdiff_t*) = count;
  } else {
    *va_arg(*args, int*) = count;
  }
}

// Consumes the argument of a conversion without printing it.
void SkipArgument(const Specification& parsed, va_list* args) {
  char scratch[kFormatWorkBufferSize];
  switch (parsed.conversion) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      PrintInteger(scratch, sizeof scratch, "", parsed, args);
      break;
    case 'c':
      (void)va_arg(*args, int);
      break;
    case 's':
    case 'C':
    case 'p':
      (void)va_arg(*args, void*);
      break;
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
      if (strcmp(parsed.length, "L") == 0) {
        (void)va_arg(*args, long double);
      } else {
        (void)va_arg(*args, double);
      }
      break;
    case 'n':
      (void)va_arg(*args, void*);
      break;
    default:
      break;
  }
}

// ---- Sinks ------------------------------------------------------------------------

struct BufferContext {
  char* position;
  int32_t room;  // 0x7FFFFFFE for a real buffer, -1 for none
};

int32_t BufferSink(void* context, const char* text, int32_t length) {
  BufferContext* buffer = static_cast<BufferContext*>(context);
  int32_t accepted = length < buffer->room ? length : buffer->room;
  if (accepted <= 0) {
    // A real buffer still gets its terminator for an empty run.
    if (buffer->room > 0) {
      buffer->position[0] = '\0';
    }
    return 0;
  }
  size_t copied =
      CopyBounded(buffer->position, text, static_cast<size_t>(accepted) + 1, HostEncoding());
  buffer->position += copied;
  buffer->room -= static_cast<int32_t>(copied);
  return static_cast<int32_t>(copied);
}

int32_t ConsoleSink(void*, const char* text, int32_t length) {
  if (length <= 0) {
    return 0;
  }
  if (memchr(text, '\0', static_cast<size_t>(length) + 1) != nullptr) {
    ConsoleWrite(text);
    return length;
  }
  // The run continues into the rest of the format: send it in pieces that end
  // on character boundaries.
  int32_t written = 0;
  char piece[kFormatWorkBufferSize];
  while (written < length) {
    size_t remaining = static_cast<size_t>(length - written);
    size_t wanted = remaining < sizeof piece - 1 ? remaining : sizeof piece - 1;
    size_t copied = CopyBounded(piece, text + written, wanted + 1, HostEncoding());
    if (copied == 0) {
      // Never stall on a character that cannot be cut: send its first byte.
      piece[0] = text[written];
      piece[1] = '\0';
      copied = 1;
    }
    ConsoleWrite(piece);
    written += static_cast<int32_t>(copied);
  }
  return written;
}

int32_t StreamSink(void* context, const char* text, int32_t length) {
  if (length <= 0) {
    return 0;
  }
  return static_cast<int32_t>(
      fwrite(text, 1, static_cast<size_t>(length), static_cast<FILE*>(context)));
}

}  // namespace

// ---- Pieces -----------------------------------------------------------------------

void ExpandStarArguments(char* specification, size_t specificationSize, va_list* args) {
  if (specification == nullptr || specificationSize == 0) {
    return;
  }
  char scratch[kFormatStarScratchSize];
  size_t length = 0;
  const size_t limit = sizeof scratch - 1;
  for (const char* p = specification; *p != '\0'; ++p) {
    if (*p == '*') {
      char number[16];
      snprintf(number, sizeof number, "%ld", static_cast<long>(va_arg(*args, int)));
      for (const char* d = number; *d != '\0' && length < limit; ++d) {
        scratch[length++] = *d;
      }
    } else if (length < limit) {
      scratch[length++] = *p;
    }
  }
  scratch[length] = '\0';
  // When the expansion does not fit, keep the conversion character at the end.
  if (length > specificationSize - 1) {
    size_t keep = specificationSize - 1;
    if (keep > 0) {
      memcpy(specification, scratch, keep - 1);
      specification[keep - 1] = scratch[length - 1];
    }
    specification[keep] = '\0';
    return;
  }
  memcpy(specification, scratch, length + 1);
}

size_t StringConversionWidth(const char* specification, va_list* args) {
  if (specification == nullptr || specification[0] != '%') {
    return 0;
  }
  const char* p = specification + 1;
  while (IsOneOf(*p, kFlagCharacters)) {
    ++p;
  }
  long width = ReadNumber(&p);
  long precision = -1;
  if (*p == '.') {
    ++p;
    if (*p >= '0' && *p <= '9') {
      precision = ReadNumber(&p);
    }
  }
  size_t length = StrLen(PeekString(args));
  if (precision >= 0 && length > static_cast<size_t>(precision)) {
    length = static_cast<size_t>(precision);
  }
  if (width > 0 && length < static_cast<size_t>(width)) {
    length = static_cast<size_t>(width);
  }
  return length;
}

int32_t FormatConversion(char* workBuffer, size_t workBufferSize, const char* specification,
                         size_t specificationLength, va_list* args) {
  if (workBuffer == nullptr || workBufferSize == 0) {
    return 0;
  }
  workBuffer[0] = '\0';
  if (specification == nullptr || specificationLength == 0) {
    return 0;
  }
  Specification parsed = Parse(specification, specificationLength);
  if (!parsed.wellFormed) {
    // Something the formatter does not understand: show it as written and keep
    // later arguments in step by consuming this one.
    SkipArgument(parsed, args);
    size_t copy = specificationLength < workBufferSize ? specificationLength : workBufferSize - 1;
    memcpy(workBuffer, specification, copy);
    workBuffer[copy] = '\0';
    return static_cast<int32_t>(copy);
  }
  const bool isString = parsed.conversion == 's';
  const long maxWidth = isString ? kMaxStringPadding : kMaxWorkWidth;
  if (parsed.width > maxWidth) {
    parsed.width = maxWidth;
  }
  if (!isString && parsed.precision > kMaxWorkWidth) {
    parsed.precision = kMaxWorkWidth;
  }

  char rebuilt[kFormatSpecificationSize];
  switch (parsed.conversion) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      Rebuild(parsed, parsed.conversion, true, rebuilt, sizeof rebuilt);
      return PrintInteger(workBuffer, workBufferSize, rebuilt, parsed, args);
    case 'c':
      Rebuild(parsed, 'c', false, rebuilt, sizeof rebuilt);
      return Print(workBuffer, workBufferSize, rebuilt, va_arg(*args, int));
    case 'p':
      Rebuild(parsed, 'p', false, rebuilt, sizeof rebuilt);
      return Print(workBuffer, workBufferSize, rebuilt, va_arg(*args, void*));
    case 's': {
      const char* text = va_arg(*args, const char*);
      Rebuild(parsed, 's', false, rebuilt, sizeof rebuilt);
      return Print(workBuffer, workBufferSize, rebuilt, text == nullptr ? "" : text);
    }
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
      if (strcmp(parsed.length, "L") == 0) {
        Rebuild(parsed, parsed.conversion, true, rebuilt, sizeof rebuilt);
        return Print(workBuffer, workBufferSize, rebuilt, va_arg(*args, long double));
      }
      Rebuild(parsed, parsed.conversion, false, rebuilt, sizeof rebuilt);
      return Print(workBuffer, workBufferSize, rebuilt, va_arg(*args, double));
    case '%':
      return Print(workBuffer, workBufferSize, "%s", "%");
    case 'C': {
      // One character of the host encoding; printed only for UTF-8, where the
      // sequence is at most four bytes (longer lead bytes print nothing).
      const char* first = va_arg(*args, const char*);
      char character[8] = "";
      if (first != nullptr && HostEncoding() == kEncodingUtf8) {
        uint32_t length = Utf8CharLength(static_cast<uint8_t>(first[0]));
        if (length <= 4) {
          for (uint32_t k = 0; k < length && first[k] != '\0'; ++k) {
            character[k] = first[k];
          }
        }
      }
      Rebuild(parsed, 's', false, rebuilt, sizeof rebuilt);
      return Print(workBuffer, workBufferSize, rebuilt, static_cast<const char*>(character));
    }
    default:
      break;
  }
  // The format ended inside the specification: show what there was.
  size_t copy = specificationLength < workBufferSize ? specificationLength : workBufferSize - 1;
  memcpy(workBuffer, specification, copy);
  workBuffer[copy] = '\0';
  return static_cast<int32_t>(copy);
}

// ---- Formatting -------------------------------------------------------------------

int32_t FormatWithSink(FormatSink sink, void* context, const char* format, va_list args) {
  if (sink == nullptr) {
    return 0;
  }
  if (format == nullptr) {
    format = "";
  }
  va_list cursor;
  va_copy(cursor, args);

  char initialWork[kFormatWorkBufferSize];
  char* work = initialWork;
  char* heapWork = nullptr;
  size_t capacity = sizeof initialWork;
  int32_t total = 0;

  const char* p = format;
  for (;;) {
    const char* percent = strchr(p, '%');
    const char* runEnd = percent != nullptr ? percent : p + strlen(p);
    total += sink(context, p, static_cast<int32_t>(runEnd - p));
    if (percent == nullptr) {
      break;
    }

    // The specification runs to the first conversion character or the end.
    const char* specEnd = percent + 1;
    while (*specEnd != '\0' && !IsOneOf(*specEnd, kConversionCharacters)) {
      ++specEnd;
    }
    if (*specEnd != '\0') {
      ++specEnd;
    }
    p = specEnd;
    const size_t rawLength = static_cast<size_t>(specEnd - percent);

    char specification[kFormatSpecificationSize];
    if (rawLength > sizeof specification - 1) {
      // Too long to be a specification of ours: skip it, consuming its
      // arguments so that later conversions stay in step.
      for (const char* s = percent; s < specEnd; ++s) {
        if (*s == '*') {
          (void)va_arg(cursor, int);
        }
      }
      Specification skipped = {};
      if (IsOneOf(specEnd[-1], kConversionCharacters)) {
        skipped.conversion = specEnd[-1];
        const char* modifiers = specEnd - 1;
        while (modifiers - 1 > percent && specEnd - 1 - modifiers < 2 &&
               IsOneOf(modifiers[-1], kLengthCharacters)) {
          --modifiers;
        }
        memcpy(skipped.length, modifiers, static_cast<size_t>(specEnd - 1 - modifiers));
      }
      SkipArgument(skipped, &cursor);
      continue;
    }
    memcpy(specification, percent, rawLength);
    specification[rawLength] = '\0';
    ExpandStarArguments(specification, sizeof specification, &cursor);
    const size_t specificationLength = strlen(specification);
    const char last = specification[specificationLength - 1];

    if (last == 'n') {
      Specification parsed = Parse(specification, specificationLength);
      StoreCount(total, parsed.length, &cursor);
      continue;
    }
    if (last == 's') {
      size_t width = StringConversionWidth(specification, &cursor);
      // The padding is capped like FormatConversion caps it.
      size_t textLength = StrLen(PeekString(&cursor));
      if (width > textLength && width > static_cast<size_t>(kMaxStringPadding)) {
        width = textLength > static_cast<size_t>(kMaxStringPadding)
                    ? textLength
                    : static_cast<size_t>(kMaxStringPadding);
      }
      const size_t needed = width + 1;
      if (needed > capacity) {
        char* grown = static_cast<char*>(MemRealloc(heapWork, needed, 0));
        if (grown == nullptr) {
          break;
        }
        heapWork = grown;
        work = heapWork;
        capacity = needed;
      }
    }
    FormatConversion(work, capacity, specification, specificationLength, &cursor);
    total += sink(context, work, static_cast<int32_t>(strlen(work)));
  }

  va_end(cursor);
  MemFree(heapWork);
  return total;
}

int32_t FormatToBuffer(char* buffer, const char* format, ...) {
  BufferContext context = {buffer, buffer != nullptr ? 0x7FFFFFFE : -1};
  va_list args;
  va_start(args, format);
  int32_t total = FormatWithSink(BufferSink, &context, format, args);
  va_end(args);
  if (buffer != nullptr) {
    *context.position = '\0';
  }
  return total;
}

int32_t ConsolePrintf(void* channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t total = channel == nullptr ? FormatWithSink(ConsoleSink, nullptr, format, args)
                                     : FormatWithSink(StreamSink, channel, format, args);
  va_end(args);
  return total;
}
