// The support library's printf-style formatter and its two sinks.
//
// The formatter walks a format string, hands each literal run and the text of
// each conversion to a sink, and lets the runtime's snprintf produce the text
// of single conversions. Conversions: d i o u x X c s p e E f g G, "%%", "%n"
// (stores the count so far through the pointer the length modifier names:
// short* after "h", int* without one), and "C": one character of the host
// encoding given by a pointer to its first byte, printed only when the host
// encoding is UTF-8 (sequences of five or six bytes print nothing). A NULL "s"
// or "C" argument prints nothing. A "*" width or precision takes the next int.
// Arguments are read with the types printf gives the specification (int for
// "%d", long for "%ld", double for "%f"), so callers pass what the compiler's
// format check expects.
//
// Bounds: a specification longer than 63 characters as written is skipped (its
// arguments are consumed, nothing is printed), one that "*" expansion makes
// longer is cut but keeps its conversion character; the text of a conversion
// other than "s" is cut to 255 bytes, with width and precision capped at 255;
// the padding of an "s" conversion is capped at 1 MiB.
#ifndef GRIDWRIGHT_SUPPORT_FORMAT_H
#define GRIDWRIGHT_SUPPORT_FORMAT_H

// Lets the compiler check printf-style arguments where it can. MinGW's own
// "printf" means the system's msvcrt dialect; this formatter is the C99 one.
#if defined(__MINGW32__)
#define GW_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__) || defined(__clang__)
#define GW_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define GW_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// A sink consumes length bytes at text and returns how many it accepted. The
// formatter's result is the sum of the sink results.
typedef int32_t (*FormatSink)(void* context, const char* text, int32_t length);

// Sizes of the formatter's fixed buffers: the specification, the work buffer
// for conversions other than "s", and the scratch buffer of "*" expansion.
constexpr size_t kFormatSpecificationSize = 64;
constexpr size_t kFormatWorkBufferSize = 256;
constexpr size_t kFormatStarScratchSize = 1024;

// ---- Formatting ---------------------------------------------------------------

// Formats format (NULL counts as empty) with the arguments in args, passing
// every literal run (also an empty one) and every conversion's text to sink.
// Returns the total the sink accepted. When the work buffer for a long "s"
// conversion cannot be allocated, formatting stops quietly and the total so
// far is returned.
int32_t FormatWithSink(FormatSink sink, void* context, const char* format, va_list args);

// Formats into buffer and terminates it; the caller guarantees the room. A NULL
// buffer writes nothing and returns 0. Returns the number of bytes written
// (without the terminating zero).
int32_t FormatToBuffer(char* buffer, const char* format, ...) GW_PRINTF_FORMAT(2, 3);

// Formats to an output channel: a NULL channel is the host console (text is
// converted to UTF-8 and written with ConsoleWrite); otherwise channel is a
// stdio FILE* that receives the host-encoded bytes. Returns the bytes written.
int32_t ConsolePrintf(void* channel, const char* format, ...) GW_PRINTF_FORMAT(2, 3);

// ---- Pieces of the formatter --------------------------------------------------

// Formats one conversion of specification (specificationLength bytes, the
// leading "%" included, "*" already expanded) into workBuffer of
// workBufferSize bytes, consuming its argument from *args. Returns the length
// of the text written (always terminated, never more than workBufferSize - 1).
int32_t FormatConversion(char* workBuffer, size_t workBufferSize, const char* specification,
                         size_t specificationLength, va_list* args);

// Replaces each "*" in the zero-terminated specification (a buffer of
// specificationSize bytes) by the decimal text of the next int argument, in
// place. The result is cut to specificationSize - 1 bytes.
void ExpandStarArguments(char* specification, size_t specificationSize, va_list* args);

// The number of bytes an "s" conversion with this specification will produce
// for the next argument, without consuming it; 0 when the specification does
// not begin with "%".
size_t StringConversionWidth(const char* specification, va_list* args);

#endif  // GRIDWRIGHT_SUPPORT_FORMAT_H
