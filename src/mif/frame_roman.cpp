#include "mif/frame_roman.h"

#include <algorithm>
#include <array>
#include <utility>

namespace gw::mif {
namespace {

constexpr char32_t kNone = 0xFFFFFFFF;

// Code points of the bytes 0x80 to 0xFF.
constexpr std::array<char32_t, 128> kHighHalf = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 0x80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 0x88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 0x90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 0x98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // 0xA0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // 0xA8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // 0xB0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // 0xB8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // 0xC0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // 0xC8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // 0xD0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // 0xD8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // 0xE0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // 0xE8
    kNone,  0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // 0xF0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // 0xF8
};

// The host's own characters below 0x20; every other low byte is ASCII.
constexpr std::array<std::pair<unsigned char, char32_t>, 6> kLowSpecials = {{
    {0x04, 0x00AD},  // discretionary hyphen
    {0x10, 0x2007},  // numeric space
    {0x12, 0x2009},  // thin space
    {0x13, 0x2002},  // en space
    {0x14, 0x2003},  // em space
    {0x15, 0x2011},  // non-breaking hyphen
}};

char32_t ToUnicode(unsigned char byte) {
  if (byte >= 0x80) return kHighHalf[byte - 0x80];
  for (const auto& [special, codePoint] : kLowSpecials) {
    if (special == byte) return codePoint;
  }
  return byte;
}

struct ReverseEntry {
  char32_t codePoint;
  unsigned char byte;
};

// Every code point that does not map to its own byte value, with its byte,
// sorted by code point.
struct ReverseTable {
  std::array<ReverseEntry, 256> entries{};
  std::size_t count = 0;

  ReverseTable() {
    for (unsigned value = 0; value < 256; ++value) {
      char32_t codePoint = ToUnicode(static_cast<unsigned char>(value));
      if (codePoint == kNone || (value < 0x80 && codePoint == value)) continue;
      entries[count++] = {codePoint, static_cast<unsigned char>(value)};
    }
    std::sort(entries.begin(), End(), [](const ReverseEntry& a, const ReverseEntry& b) {
      return a.codePoint < b.codePoint;
    });
  }
  const ReverseEntry* End() const { return entries.data() + count; }
  ReverseEntry* End() { return entries.data() + count; }
};

const ReverseTable& Reverse() {
  static const ReverseTable table;
  return table;
}

bool IsLowSpecialByte(char32_t codePoint) {
  for (const auto& entry : kLowSpecials) {
    if (entry.first == codePoint) return true;
  }
  return false;
}

}  // namespace

std::optional<char32_t> FrameRomanToUnicode(unsigned char byte) {
  char32_t codePoint = ToUnicode(byte);
  if (codePoint == kNone) return std::nullopt;
  return codePoint;
}

std::optional<unsigned char> UnicodeToFrameRoman(char32_t codePoint) {
  // ASCII maps to itself, except the few control bytes the host uses for its
  // own characters: those have no Unicode equivalent in the other direction.
  if (codePoint < 0x80) {
    if (IsLowSpecialByte(codePoint)) return std::nullopt;
    return static_cast<unsigned char>(codePoint);
  }
  const ReverseTable& table = Reverse();
  const ReverseEntry* end = table.End();
  const ReverseEntry* found = std::lower_bound(table.entries.data(), end, codePoint,
                                [](const ReverseEntry& entry, char32_t value) { return entry.codePoint < value; });
  if (found == end || found->codePoint != codePoint) return std::nullopt;
  return found->byte;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t* length) {
  *length = 1;
  if (text.empty()) return std::nullopt;
  auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return lead;
  std::size_t needed = 0;
  char32_t codePoint = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    needed = 1, codePoint = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    needed = 2, codePoint = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    needed = 3, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() <= needed) return std::nullopt;
  for (std::size_t i = 1; i <= needed; ++i) {
    auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return std::nullopt;
  }
  *length = needed + 1;
  return codePoint;
}

}  // namespace gw::mif
