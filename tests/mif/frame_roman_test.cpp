#include "mif/frame_roman.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace gw::mif {
namespace {

TEST(FrameRoman, MapsKnownBytesToTheirCharacters) {
  struct Case {
    unsigned char byte;
    char32_t codePoint;
  };
  const Case cases[] = {
      {'A', U'A'},       {0x80, U'\u00C4'},  {0x87, U'\u00E1'}, {0xA5, U'\u2022'}, {0xAF, U'\u00D8'},
      {0xC0, U'\u00BF'}, {0xCA, U'\u00A0'},  {0xD0, U'\u2013'}, {0xD5, U'\u2019'}, {0xDB, U'\u20AC'},
      {0xDE, U'\uFB01'}, {0xF5, U'\u0131'},  {0xFF, U'\u02C7'}, {0x13, U'\u2002'}, {0x04, U'\u00AD'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    ASSERT_TRUE(FrameRomanToUnicode(c.byte).has_value());
    EXPECT_EQ(*FrameRomanToUnicode(c.byte), c.codePoint);
    ASSERT_TRUE(UnicodeToFrameRoman(c.codePoint).has_value());
    EXPECT_EQ(*UnicodeToFrameRoman(c.codePoint), c.byte);
  }
}

TEST(FrameRoman, EveryAssignedByteRoundTripsAndNoTwoShareACharacter) {
  std::set<char32_t> seen;
  int unassigned = 0;
  for (int value = 0; value < 256; ++value) {
    auto byte = static_cast<unsigned char>(value);
    std::optional<char32_t> codePoint = FrameRomanToUnicode(byte);
    if (!codePoint) {
      ++unassigned;
      continue;
    }
    EXPECT_TRUE(seen.insert(*codePoint).second) << "byte " << value;
    std::optional<unsigned char> back = UnicodeToFrameRoman(*codePoint);
    ASSERT_TRUE(back.has_value()) << "byte " << value;
    EXPECT_EQ(*back, byte);
  }
  EXPECT_EQ(unassigned, 1);  // 0xF0 only
  EXPECT_FALSE(FrameRomanToUnicode(0xF0).has_value());
}

TEST(FrameRoman, CharactersOutsideTheSetHaveNoByte) {
  for (char32_t codePoint : {U'\u00A4', U'\u4E2D', U'\U0001F600', U'\uF8FF', char32_t{0x10}}) {
    EXPECT_FALSE(UnicodeToFrameRoman(codePoint).has_value()) << static_cast<unsigned>(codePoint);
  }
}

TEST(Utf8, DecodesValidSequencesAndRejectsMalformedOnes) {
  std::size_t length = 0;
  EXPECT_EQ(DecodeUtf8("\xE2\x80\x99x", &length), U'\u2019');
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80", &length), U'\U0001F600');
  EXPECT_EQ(length, 4u);
  for (std::string bad : {"\xC0\xAF", "\xE2\x80", "\xED\xA0\x80", "\x80", "\xF8\x88\x80\x80\x80", "\xC3"}) {
    EXPECT_FALSE(DecodeUtf8(bad, &length).has_value());
    EXPECT_EQ(length, 1u);
  }
}

TEST(Utf8, EncodesEveryLengthAndReplacesSurrogates) {
  std::string out;
  for (char32_t codePoint : {U'a', U'\u00E9', U'\u20AC', U'\U0001F600'}) AppendUtf8(out, codePoint);
  EXPECT_EQ(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  out.clear();
  AppendUtf8(out, 0xD800);
  EXPECT_EQ(out, "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace gw::mif
