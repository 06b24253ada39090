// Tests of the encoding table, UTF-8 scanning, conversion through ICU with the
// host's converter data, and the console hook.
#include "support/text_encoding.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <string.h>

#include <string>
#include <vector>

#include "../fatal_stop.h"
#include "icu_test_data.h"
#include "support/memory.h"

namespace {

class TextEncodingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestIcuData();
    SetHostEncoding("FrameRoman");
  }
  void TearDown() override {
    SetHostEncoding("FrameRoman");
    SetConsoleWriterHook(nullptr);
  }
};

// A fresh converted string as std::string; frees the original.
std::string Take(char* converted) {
  EXPECT_NE(converted, nullptr);
  if (converted == nullptr) return "<null>";
  std::string text(converted);
  MemFree(converted);
  return text;
}

TEST_F(TextEncodingTest, HostEncodingSelectionByTableName) {
  EXPECT_EQ(SetHostEncoding("utf-8"), kEncodingUtf8);
  EXPECT_EQ(SetHostEncoding("Latin-1"), kEncodingUtf8);  // unknown: unchanged
  EXPECT_EQ(SetHostEncoding("jisx0208.shiftjis"), kEncodingShiftJis);
  EXPECT_EQ(HostEncoding(), kEncodingShiftJis);
  EXPECT_EQ(EncodingIndex("BIG5"), kEncodingBig5);
  EXPECT_EQ(EncodingIndex("no such"), kEncodingFrameRoman);
  EXPECT_EQ(EncodingIndex(nullptr), kEncodingFrameRoman);
  EXPECT_STREQ(EncodingTableName("adobe-fm-gb2312"), "GB2312-80.EUC");
  EXPECT_EQ(EncodingTableName("ADOBE-FM-GB2312"), nullptr);
  EXPECT_EQ(EncodingTableName(nullptr), nullptr);
  EXPECT_STREQ(EncodingConverterName(kEncodingKsc5601), "adobe-fm-ksc-5601");
  EXPECT_EQ(EncodingConverterName(6), nullptr);
}

TEST_F(TextEncodingTest, LeadAndTrailRangeEdges) {
  EXPECT_TRUE(IsLeadByte(kEncodingShiftJis, 0x9F) && !IsLeadByte(kEncodingShiftJis, 0xA0));
  EXPECT_TRUE(IsTrailByte(kEncodingShiftJis, 0x7E) && !IsTrailByte(kEncodingShiftJis, 0x7F));
  EXPECT_TRUE(IsLeadByte(kEncodingKsc5601, 0xA1) && !IsTrailByte(kEncodingKsc5601, 0x5C));
  EXPECT_TRUE(IsTrailByte(kEncodingBig5, 0x5C) && !IsTrailByte(kEncodingBig5, 0x80));
  EXPECT_TRUE(IsLeadByte(kEncodingGb2312, 0xFE) && !IsLeadByte(kEncodingGb2312, 0xFF));
  EXPECT_FALSE(IsLeadByte(kEncodingFrameRoman, 0x81) || IsLeadByte(kEncodingUtf8, 0xC3));
}

TEST_F(TextEncodingTest, Utf8LengthsAndWellFormedness) {
  const uint8_t firsts[] = {0x41, 0x80, 0xBF, 0xC0, 0xDF, 0xE0, 0xEF, 0xF0,
                            0xF7, 0xF8, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
  const uint32_t lengths[] = {1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 1, 1};
  for (size_t i = 0; i < sizeof firsts; ++i) {
    EXPECT_EQ(Utf8CharLength(firsts[i]), lengths[i]) << std::hex << int(firsts[i]);
  }
  EXPECT_EQ(IsValidUtf8(""), 1);
  EXPECT_EQ(IsValidUtf8(nullptr), 0);
  EXPECT_EQ(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), 1);
  EXPECT_EQ(IsValidUtf8("\x80"), 0);
  EXPECT_EQ(IsValidUtf8("\xC3"), 0);       // cut at the end
  EXPECT_EQ(IsValidUtf8("\xE2\x82x"), 0);  // ASCII where a continuation belongs
  EXPECT_EQ(IsValidUtf8("\xFE"), 0);
}

TEST_F(TextEncodingTest, FrameRomanHighBytesBecomeTheirCharacters) {
  EXPECT_EQ(Take(ConvertToUtf8("Could not open file:", kEncodingFrameRoman)),
            "Could not open file:");
  EXPECT_EQ(Take(ConvertToUtf8("\x80\x8E\xD0\xDB\xA5", kEncodingFrameRoman)),
            "\xC3\x84\xC3\xA9\xE2\x80\x93\xE2\x82\xAC\xE2\x80\xA2");
  EXPECT_EQ(Take(HostTextToUtf8("Caf\x8E")), "Caf\xC3\xA9");
}

TEST_F(TextEncodingTest, ControlBytesSplitRunsAndKeepTheirValues) {
  EXPECT_EQ(Take(ConvertText("first\nsecond", "adobe-fm-roman-windows", "UTF-8")), "first\nsecond");
  EXPECT_EQ(Take(ConvertText("\t\x80\x01\x8E\n", "adobe-fm-roman-windows", "UTF-8")),
            "\t\xC3\x84\x01\xC3\xA9\n");
  // Converters ICU cannot open drop the printable runs, keeping the controls.
  EXPECT_EQ(Take(ConvertText("ab\ncd\n", "no-such-converter", "UTF-8")), "\n\n");
}

TEST_F(TextEncodingTest, EmptyNullAndSameConverter) {
  char* empty = ConvertText("", "adobe-fm-roman-windows", "UTF-8");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(empty[1], '\0');
  MemFree(empty);
  EXPECT_EQ(ConvertText(nullptr, "UTF-8", "UTF-8"), nullptr);
  EXPECT_EQ(Take(ConvertText("\x80 same", "x", "x")), "\x80 same");
  EXPECT_EQ(ConvertToUtf8(nullptr, kEncodingFrameRoman), nullptr);
  EXPECT_EQ(Take(ConvertToUtf8("\x80 copy", 9)), "\x80 copy");
}

TEST_F(TextEncodingTest, Utf8SourceIsCheckedNotConverted) {
  EXPECT_EQ(Take(ConvertToUtf8("\xC3\xA9t\xC3\xA9", kEncodingUtf8)), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Take(ConvertToUtf8("\xC3t", kEncodingUtf8)), "???");
}

// Runs of a multi-byte source convert whole on both sides of a control byte.
TEST_F(TextEncodingTest, MultiByteRunsAroundControlBytes) {
  // ICU's own converter data is not linked into the Windows build, whose
  // plug-in needs only its own converter files and the algorithmic ones.
  UErrorCode status = U_ZERO_ERROR;
  UConverter* shiftJis = ucnv_open("Shift_JIS", &status);
  ucnv_close(shiftJis);
  if (U_FAILURE(status)) GTEST_SKIP() << "ICU has no data for Shift_JIS here";
  EXPECT_EQ(Take(ConvertText("\x82\xA0\n\x82\xA0", "Shift_JIS", "UTF-8")),
            "\xE3\x81\x82\n\xE3\x81\x82");
  // The host's Shift-JIS data is not built here: its runs are dropped.
  EXPECT_EQ(Take(ConvertText("\x82\xA0\n", "adobe-fm-shift-jis", "UTF-8")), "\n");
}

std::vector<std::string> gConsole;
int32_t CaptureConsole(const char* utf8Text) {
  gConsole.emplace_back(utf8Text);
  return 7;
}

TEST_F(TextEncodingTest, ConsoleWriteConvertsAndUsesTheHook) {
  gConsole.clear();
  EXPECT_EQ(ConsoleWrite("dropped\n"), 0);  // no hook yet
  SetConsoleWriterHook(CaptureConsole);
  EXPECT_EQ(ConsoleWrite("Could not open file:\x80.fm\n"), 7);
  EXPECT_EQ(ConsoleWrite(nullptr), 0);
  SetHostEncoding("UTF-8");
  EXPECT_EQ(ConsoleWrite("raw \xC3t\n"), 7);  // passed through unchanged
  std::vector<std::string> expected = {"Could not open file:\xC3\x84.fm\n", "raw \xC3t\n"};
  EXPECT_EQ(gConsole, expected);
}

// ---- Character scanning ---------------------------------------------------------

TEST_F(TextEncodingTest, NextCharAndBackToCharStart) {
  const char* text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x80z";
  const char* cursor = text;
  EXPECT_EQ(NextChar(&cursor), 0x61u);
  EXPECT_EQ(NextChar(&cursor), 0xE9u);
  EXPECT_EQ(NextChar(&cursor), 0x20ACu);
  EXPECT_EQ(NextChar(&cursor), 0x1F600u);
  EXPECT_EQ(NextChar(&cursor), 0x80u);  // stray continuation byte
  EXPECT_EQ(NextChar(&cursor), 0x7Au);
  EXPECT_EQ(NextChar(&cursor), 0u);
  EXPECT_EQ(cursor, text + strlen(text));

  EXPECT_EQ(BackToCharStart(text, 2), 1u);
  EXPECT_EQ(BackToCharStart(text, 5), 3u);
  EXPECT_EQ(BackToCharStart(text, 9), 6u);
  EXPECT_EQ(BackToCharStart(text, 0), 0u);
  EXPECT_EQ(BackToCharStart(text, 40), 40u);
  EXPECT_EQ(BackToCharStart("\x80\x80\x80\x80\x80", 4), 1u);  // at most three steps
}

TEST_F(TextEncodingTest, SecondBytesAreFoundFromTheStart) {
  // 0x81 0x5C is one Shift-JIS character whose second byte looks like "\".
  const char* text = "a\x81\x5C\x81\x81\x81";
  EXPECT_EQ(IsSecondByteAt(text, 2, kEncodingShiftJis), 1);
  EXPECT_EQ(IsSecondByteAt(text, 3, kEncodingShiftJis), 0);
  EXPECT_EQ(IsSecondByteAt(text, 4, kEncodingShiftJis), 1);
  EXPECT_EQ(IsSecondByteAt(text, 5, kEncodingShiftJis), 0);  // lone lead at the end
  EXPECT_EQ(IsSecondByteAt(text, 0, kEncodingShiftJis), 0);
  EXPECT_EQ(IsSecondByteAt(text, 6, kEncodingShiftJis), 0);
  EXPECT_EQ(IsSecondByteAt(text, 2, kEncodingFrameRoman), 0);
}

TEST_F(TextEncodingTest, BoundedCopiesNeverCutACharacter) {
  char buffer[8];
  EXPECT_EQ(CopyBounded(buffer, "ab\xC3\xA9", 4, kEncodingUtf8), 2u);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(CopyBounded(buffer, "ab\xC3\xA9", 5, kEncodingUtf8), 4u);
  EXPECT_EQ(CopyBounded(buffer, "ab\x82\xA0", 4, kEncodingShiftJis), 2u);
  EXPECT_EQ(CopyBounded(buffer, "ab\x82\xA0", 4, kEncodingFrameRoman), 3u);
  EXPECT_EQ(CopyBounded(buffer, nullptr, 8, kEncodingUtf8), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(CopyBounded(nullptr, "x", 8, kEncodingUtf8), 0u);

  char appended[8] = "ab";
  EXPECT_EQ(AppendBounded(appended, "c\xE2\x82\xAC", sizeof appended, kEncodingUtf8), 6u);
  EXPECT_STREQ(appended, "abc\xE2\x82\xAC");
  EXPECT_EQ(AppendBounded(appended, "\xC3\xA9", sizeof appended, kEncodingUtf8),
            6u);  // would not fit whole
  EXPECT_EQ(AppendBounded(appended, "", sizeof appended, kEncodingUtf8), 0u);
  EXPECT_EQ(AppendBounded(nullptr, "x", sizeof appended, kEncodingUtf8), 0u);
}

TEST_F(TextEncodingTest, FindLastCharAndSubstringOnBoundaries) {
  const char* text =
      "C:\\a\x81\x5C"
      "b";
  EXPECT_EQ(FindLastChar(text, '\\', kEncodingShiftJis), text + 2);
  EXPECT_EQ(FindLastChar(text, '\\', kEncodingFrameRoman), text + 5);
  EXPECT_EQ(FindLastChar(text, 'z', kEncodingFrameRoman), nullptr);
  EXPECT_EQ(FindSubstring(text, "\\b", kEncodingShiftJis), -1);
  EXPECT_EQ(FindSubstring(text, "\\b", kEncodingFrameRoman), 5);
  EXPECT_EQ(FindSubstring(text, "", kEncodingFrameRoman), 0);
  EXPECT_EQ(FindSubstring("", "", kEncodingFrameRoman), -1);
  EXPECT_EQ(FindSubstring(nullptr, "a", kEncodingFrameRoman), -1);
}

// A host may resume after the fatal stop of a failed work buffer: every
// allocation of a conversion failing in turn gives NULL or a shorter text,
// never a crash, and leaves no block behind.
TEST_F(TextEncodingTest, ConversionSurvivesAHostThatResumesAfterTheFatalStop) {
  const uint64_t liveBefore = MemLiveBlocks();
  for (uint32_t successes = 0; successes < 12; ++successes) {
    char* converted = nullptr;
    MemFailNextAllocationsAfter(successes, 1);
    ResumedStopCode([&] { converted = ConvertText("Caf\x8E\nok\x01\x80", "adobe-fm-roman-windows", "UTF-8"); });
    MemFailNextAllocations(0);
    MemFree(converted);
    EXPECT_EQ(MemLiveBlocks(), liveBefore) << "after " << successes << " allocations";
  }
}

}  // namespace
