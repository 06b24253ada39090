// FrameRoman, the host's 8-bit character set, and its mapping to Unicode.
//
// FrameRoman is the Macintosh Roman repertoire with the host's own
// assignments in a few positions: the euro sign at 0xDB, no character at 0xF0
// (a logo in the Macintosh set), and the host's discretionary hyphen (0x04),
// typographic spaces (0x10, 0x12 to 0x14) and non-breaking hyphen (0x15).
// Bytes 0x00 to 0x7F are otherwise ASCII.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gw::mif {

// The code point of a FrameRoman byte, or nothing for a byte with no
// character (0xF0).
[[nodiscard]] std::optional<char32_t> FrameRomanToUnicode(unsigned char byte);

// The FrameRoman byte of a code point, or nothing when FrameRoman has none.
[[nodiscard]] std::optional<unsigned char> UnicodeToFrameRoman(char32_t codePoint);

// Appends the UTF-8 form of a code point (surrogates and values beyond
// U+10FFFF become U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes one UTF-8 sequence at the start of text. Returns the code point and
// sets *length to the bytes it used; returns nothing for an invalid, overlong
// or truncated sequence (then *length is 1).
[[nodiscard]] std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t* length);

}  // namespace gw::mif
