// The host encoding, character scanning in it, conversion to UTF-8 through ICU,
// and the host console.
//
// Host text is 8-bit text in the host encoding (FrameRoman unless something
// selects another row of the encoding table). The host console and the host's
// save operation take UTF-8. Converters named "adobe-fm-*" are the host's own
// ICU data, found in ICU's data directory, which InitTextSupport points at the
// host's "icu_data" folder. The host layer reaches in through two hooks so
// that this library does not depend on it.
#ifndef GRIDWRIGHT_SUPPORT_TEXT_ENCODING_H
#define GRIDWRIGHT_SUPPORT_TEXT_ENCODING_H

#include <stddef.h>
#include <stdint.h>

// Rows of the encoding table (the host encoding index).
constexpr int32_t kEncodingFrameRoman = 0;  // "FrameRoman", "adobe-fm-roman-windows"
constexpr int32_t kEncodingShiftJis = 1;    // "JISX0208.ShiftJIS", "adobe-fm-shift-jis"
constexpr int32_t kEncodingKsc5601 = 2;     // "KSC5601-1992", "adobe-fm-ksc-5601"
constexpr int32_t kEncodingBig5 = 3;        // "BIG5", "adobe-fm-big5"
constexpr int32_t kEncodingGb2312 = 4;      // "GB2312-80.EUC", "adobe-fm-gb2312"
constexpr int32_t kEncodingUtf8 = 5;        // "UTF-8", "UTF-8"
constexpr int32_t kEncodingCount = 6;

// Size of the buffer in which InitTextSupport builds ICU's data directory.
constexpr size_t kIcuDataPathSize = 1024;

// ---- Hooks the host layer installs --------------------------------------------

// Hands UTF-8 text to the host console; returns the host's status.
typedef int32_t (*ConsoleWriterHook)(const char* utf8Text);
// NULL (the state at load) drops console text.
void SetConsoleWriterHook(ConsoleWriterHook hook);

// Reads the host's home directory: returns a fresh MemAlloc'd string or NULL,
// and stores the host's last error after the read in *lastError (0 when fine).
typedef char* (*HomeDirectoryHook)(int32_t* lastError);
// NULL (the state at load) means no home directory is known.
void SetHomeDirectoryHook(HomeDirectoryHook hook);

// ---- Start-up and the host encoding -------------------------------------------

// Fills the encoding tables on first use (selecting FrameRoman) and, when ICU
// has no data directory yet, sets it to HOME\icu_data with HOME read through the
// home-directory hook. A directory already set is left untouched. Returns 0
// when ICU has a data directory afterwards, 1 otherwise (no hook, a host error,
// an empty home directory, or a path that would not fit in kIcuDataPathSize).
int32_t InitTextSupport(void);

// Selects the row whose table name equals name case-insensitively; a name not
// in the table leaves the host encoding unchanged. Returns the index after the
// call.
int32_t SetHostEncoding(const char* name);

// The current host encoding index (kEncodingFrameRoman until something sets it).
int32_t HostEncoding(void);

// Index of the row whose table name equals tableName case-insensitively; 0
// (FrameRoman) when none does.
int32_t EncodingIndex(const char* tableName);

// The table name of the row with this ICU converter name (exact match), or NULL.
const char* EncodingTableName(const char* converterName);

// The ICU converter name of a row, or NULL for an index outside the table.
const char* EncodingConverterName(int32_t index);

// 1 when byte b can start (IsLeadByte) or end (IsTrailByte) a two-byte
// character in that encoding; 0 otherwise and for UTF-8 and FrameRoman.
int32_t IsLeadByte(int32_t encoding, uint8_t b);
int32_t IsTrailByte(int32_t encoding, uint8_t b);

// ---- UTF-8 --------------------------------------------------------------------

// Length of a UTF-8 character from its first byte: 1 below 0xC0 (continuation
// bytes included), 2 for 0xC0-0xDF, 3 for 0xE0-0xEF, 4 for 0xF0-0xF7, 5 for
// 0xF8-0xFB, 6 for 0xFC-0xFD, 1 for 0xFE and 0xFF.
uint32_t Utf8CharLength(uint8_t firstByte);

// 1 when s is well-formed in the sense of Utf8CharLength (lead byte followed by
// the right number of continuation bytes); 0 otherwise and for NULL; 1 for "".
int32_t IsValidUtf8(const char* s);

// ---- Conversion ---------------------------------------------------------------

// Converts text from ICU converter sourceConverter to targetConverter. Control
// bytes 0x01-0x1F are copied unchanged and split the text into runs that are
// converted separately; a two-byte character of the source encoding stays in
// one run. A run whose converter is missing or fails is dropped. Returns a
// fresh string (two terminating zeros) the caller frees with MemFree; NULL only
// for a NULL text.
char* ConvertText(const char* text, const char* sourceConverter, const char* targetConverter);

// Converts text from the encoding of row encodingIndex to UTF-8: rows 0-4
// through their converters; row 5 copies valid UTF-8 and gives "???" for
// invalid text; any other index gives a plain copy. Fresh string, or NULL for a
// NULL text.
char* ConvertToUtf8(const char* text, int32_t encodingIndex);

// ConvertToUtf8 with the host encoding.
char* HostTextToUtf8(const char* text);

// ---- The host console ---------------------------------------------------------

// Writes host-encoded text to the host console (converted to UTF-8 unless the
// host encoding is UTF-8) in one write. A line end must be part of the text.
// Returns the console hook's status, or 0 when nothing was written (NULL text
// or no hook installed).
int32_t ConsoleWrite(const char* text);

// ---- Character scanning -------------------------------------------------------
// Encoding-aware scanning so that no character is cut in two or taken for a
// separator. "encoding" is an index of the encoding table; kEncodingUtf8 scans
// UTF-8 sequences, the others use the table's lead and trail bytes.

// Moves *cursor (into a UTF-8 string) past one character and returns its code
// point. A malformed sequence yields its first byte and advances one byte; the
// cursor never moves past the terminating zero (which yields 0).
uint32_t NextChar(const char** cursor);

// The number of bytes of the character that starts at s[index] (0 at the
// terminating zero): a two-byte pair of the encoding, or a UTF-8 sequence
// counted only as far as its continuation bytes really follow; otherwise 1.
size_t CharLengthAt(const char* s, size_t index, int32_t encoding);

// For i below the length of s: the index of the first byte of the UTF-8
// character holding byte i (stepping back over at most three continuation
// bytes). Otherwise i.
size_t BackToCharStart(const char* s, size_t i);

// 1 when, reading s from its start in that encoding, byte index is the second
// byte of a two-byte character; 0 for index <= 0 or at or past the end.
int32_t IsSecondByteAt(const char* s, int64_t index, int32_t encoding);

// Copies at most n - 1 bytes of source and a terminating zero into
// destination, never ending inside a character. Returns the bytes copied. A
// NULL source gives an empty destination; a NULL destination (or n of 0)
// copies nothing and returns 0.
size_t CopyBounded(char* destination, const char* source, size_t n, int32_t encoding);

// Appends source to the string in destination (a buffer of n bytes) so that
// the result is at most n - 1 bytes, never ending inside a character. Returns
// the new length; a NULL destination or a NULL or empty source changes nothing
// and returns 0.
size_t AppendBounded(char* destination, const char* source, size_t n, int32_t encoding);

// The last occurrence of c in s that starts on a character boundary, or NULL.
const char* FindLastChar(const char* s, char c, int32_t encoding);

// Index of the first occurrence of text in s that starts on a character
// boundary, or -1 (also for a NULL s or text, or an empty s).
int32_t FindSubstring(const char* s, const char* text, int32_t encoding);

#endif  // GRIDWRIGHT_SUPPORT_TEXT_ENCODING_H
