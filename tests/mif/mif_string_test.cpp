#include "mif/mif_string.h"

#include <gtest/gtest.h>

#include <string>

namespace gw::mif {
namespace {

constexpr double kMif7 = 7.0;
constexpr double kMif2015 = 2015.0;

struct DecodeCase {
  const char* raw;
  double version;
  std::string expected;
};

TEST(DecodeString, ResolvesEveryEscape) {
  const DecodeCase cases[] = {
      {"`plain'", kMif7, "plain"},
      {"no quotes", kMif7, "no quotes"},
      {"`a\\tb'", kMif7, "a\tb"},
      {"`\\>'", kMif7, ">"},
      {"`it\\qs'", kMif7, "it's"},
      {"`\\Qquoted\\q'", kMif7, "`quoted'"},
      {"`back\\\\slash'", kMif7, "back\\slash"},
      // \xNN takes the one space after it; a second space is text.
      {"`\\xd5 s'", kMif7, "\xD5s"},
      {"`\\xd5  s'", kMif7, "\xD5 s"},
      {"`\\xAF \\xc0 !'", kMif7, "\xAF\xC0!"},
      // The reference example: Some `symbols': > \O-slash inverted-question !
      {"`Some \\Qsymbols\\q: \\> \\\\\\xaf \\xc0 !'", kMif7, "Some `symbols': > \\\xAF\xC0!"},
      {"`\\xd5'", kMif7, "\xD5"},          // space missing at the end: still the byte
      {"`\\xz'", kMif7, "\\xz"},           // not an escape: kept as written
      {"`caf\xC3\xA9'", kMif2015, "caf\x8E"},
      {"`\xE2\x80\x99\xE2\x82\xAC'", kMif2015, "\xD5\xDB"},
      {"`\\u00B6'", kMif2015, "\xA6"},
      {"`\\xd5 x'", kMif2015, "\xD5x"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.raw);
    std::size_t unmapped = 99;
    EXPECT_EQ(DecodeString(c.raw, c.version, &unmapped), c.expected);
    EXPECT_EQ(unmapped, 0u);
  }
}

TEST(DecodeString, CountsCharactersFrameRomanLacks) {
  std::size_t unmapped = 0;
  EXPECT_EQ(DecodeString("`a\xE4\xB8\xAD b\xF0\x9F\x98\x80'", kMif2015, &unmapped), "a? b?");
  EXPECT_EQ(unmapped, 2u);
  EXPECT_EQ(DecodeString("`bad \xC3'", kMif2015, &unmapped), "bad ?");
  EXPECT_EQ(unmapped, 1u);
  // Before MIF 8 a stray high byte is taken as the FrameRoman byte it is.
  EXPECT_EQ(DecodeString("`\x8E'", kMif7, &unmapped), "\x8E");
  EXPECT_EQ(unmapped, 0u);
}

TEST(EncodeString, EscapesInTheHostsWay) {
  EXPECT_EQ(EncodeString("Format A", kMif7), "`Format A'");
  EXPECT_EQ(EncodeString("it's `x' > \\\t", kMif7), "`it\\qs \\Qx\\q \\> \\\\\\t'");
  EXPECT_EQ(EncodeString("caf\x8E \xD5", kMif7), "`caf\\x8e  \\xd5 '");
  EXPECT_EQ(EncodeString("caf\x8E \xD5", kMif2015), "`caf\xC3\xA9 \xE2\x80\x99'");
  EXPECT_EQ(EncodeString("\xF0\x01", kMif2015), "`\\xf0 \\x01 '");
}

TEST(EncodeString, EveryByteSurvivesEncodeThenDecode) {
  std::string all;
  for (int value = 1; value < 256; ++value) all.push_back(static_cast<char>(value));
  for (double version : {kMif7, 8.0, kMif2015}) {
    SCOPED_TRACE(version);
    std::string raw = EncodeString(all, version);
    std::size_t unmapped = 0;
    EXPECT_EQ(DecodeString(raw, version, &unmapped), all);
    EXPECT_EQ(unmapped, 0u);
    if (version < 8) {
      for (char c : raw) EXPECT_LT(static_cast<unsigned char>(c), 0x80u);  // MIF 7 files are ASCII
    }
  }
}

}  // namespace
}  // namespace gw::mif
