#include "mif/mif_string.h"

#include <optional>

#include "mif/frame_roman.h"

namespace gw::mif {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  out += "\\x";
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
  out.push_back(' ');
}

void AppendCodePoint(std::string& out, char32_t codePoint, std::size_t& unmapped) {
  std::optional<unsigned char> byte = UnicodeToFrameRoman(codePoint);
  if (byte) {
    out.push_back(static_cast<char>(*byte));
  } else {
    out.push_back('?');
    ++unmapped;
  }
}

}  // namespace

std::optional<std::string_view> PlainString(std::string_view raw, double mifVersion) {
  if (raw.size() >= 2 && raw.front() == '`' && raw.back() == '\'') raw = raw.substr(1, raw.size() - 2);
  const bool utf8 = mifVersion >= 8.0;
  // One pass over the bytes: this runs for every string of every file read.
  for (char c : raw) {
    if (c == '\\' || c == '\n' || c == '\r' || (utf8 && static_cast<unsigned char>(c) >= 0x80)) return std::nullopt;
  }
  return raw;
}

std::string DecodeString(std::string_view raw, double mifVersion, std::size_t* unmapped) {
  if (raw.size() >= 2 && raw.front() == '`' && raw.back() == '\'') raw = raw.substr(1, raw.size() - 2);
  const bool utf8 = mifVersion >= 8.0;
  std::size_t lost = 0;
  std::string out;
  out.reserve(raw.size());
  std::size_t i = 0;
  while (i < raw.size()) {
    char c = raw[i];
    // A line break inside a string is where the host wrapped a long value; it
    // is not part of the text.
    if (c == '\n' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '\\' && i + 1 < raw.size()) {
      char escape = raw[i + 1];
      i += 2;
      switch (escape) {
        case 't': out.push_back('\t'); break;
        case 'q': out.push_back('\''); break;
        case 'Q': out.push_back('`'); break;
        case 'x': {
          // Up to two hex digits, then the one space that ends the escape.
          int value = 0;
          std::size_t digits = 0;
          while (digits < 2 && i < raw.size() && HexValue(raw[i]) >= 0) {
            value = value * 16 + HexValue(raw[i]);
            ++i, ++digits;
          }
          if (digits == 0) {
            out += "\\x";  // not an escape after all: keep it as written
            break;
          }
          if (i < raw.size() && raw[i] == ' ') ++i;
          out.push_back(static_cast<char>(value));
          break;
        }
        case 'u': {
          char32_t value = 0;
          std::size_t digits = 0;
          while (digits < 4 && i < raw.size() && HexValue(raw[i]) >= 0) {
            value = value * 16 + static_cast<char32_t>(HexValue(raw[i]));
            ++i, ++digits;
          }
          if (digits < 4) {
            i -= digits;
            out += "\\u";
            break;
          }
          AppendCodePoint(out, value, lost);
          break;
        }
        default:
          // \\, \> and any other escaped character stand for themselves.
          out.push_back(escape);
          break;
      }
      continue;
    }
    auto byte = static_cast<unsigned char>(c);
    if (utf8 && byte >= 0x80) {
      std::size_t length = 1;
      std::optional<char32_t> codePoint = DecodeUtf8(raw.substr(i), &length);
      if (codePoint) {
        AppendCodePoint(out, *codePoint, lost);
      } else {
        out.push_back('?');
        ++lost;
      }
      i += length;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  if (unmapped != nullptr) *unmapped = lost;
  return out;
}

std::string EncodeString(std::string_view hostBytes, double mifVersion) {
  const bool utf8 = mifVersion >= 8.0;
  std::string out;
  out.reserve(hostBytes.size() + 2);
  out.push_back('`');
  for (char c : hostBytes) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\t': out += "\\t"; continue;
      case '>': out += "\\>"; continue;
      case '\'': out += "\\q"; continue;
      case '`': out += "\\Q"; continue;
      case '\\': out += "\\\\"; continue;
      default: break;
    }
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
      continue;
    }
    if (utf8 && byte >= 0x80) {
      std::optional<char32_t> codePoint = FrameRomanToUnicode(byte);
      if (codePoint) {
        AppendUtf8(out, *codePoint);
        continue;
      }
    }
    AppendHexEscape(out, byte);
  }
  out.push_back('\'');
  return out;
}

}  // namespace gw::mif
