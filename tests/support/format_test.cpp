// Tests of the formatter, its buffer and console sinks, and its bounds.
#include "support/format.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "icu_test_data.h"
#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

// Records every piece the formatter hands to the sink.
struct Recorder {
  std::vector<std::string> pieces;
  std::string Text() const {
    std::string all;
    for (const std::string& piece : pieces) all += piece;
    return all;
  }
};

int32_t RecordingSink(void* context, const char* text, int32_t length) {
  static_cast<Recorder*>(context)->pieces.emplace_back(text, static_cast<size_t>(length));
  return length;
}

int32_t Record(Recorder* recorder, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t total = FormatWithSink(RecordingSink, recorder, format, args);
  va_end(args);
  return total;
}

// Captures console writes through the host hook.
std::vector<std::string> gConsole;
int32_t CaptureConsole(const char* utf8Text) {
  gConsole.emplace_back(utf8Text);
  return 0;
}

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestIcuData();
    SetHostEncoding("FrameRoman");
  }
  void TearDown() override {
    SetHostEncoding("FrameRoman");
    SetConsoleWriterHook(nullptr);
    MemFailNextAllocations(0);
  }
};

TEST_F(FormatTest, BufferResultsOfTheReport) {
  char buffer[64];
  EXPECT_EQ(FormatToBuffer(buffer, "%.2f", 6.0), 4);
  EXPECT_STREQ(buffer, "6.00");
  EXPECT_EQ(FormatToBuffer(buffer, "%d", -5), 2);
  EXPECT_STREQ(buffer, "-5");
  EXPECT_EQ(FormatToBuffer(buffer, "Row %d of %s: %x%%", 3, "Body", 255), 18);
  EXPECT_STREQ(buffer, "Row 3 of Body: ff%");
  // long is 32 bits wide on Windows and 64 elsewhere.
  EXPECT_EQ(FormatToBuffer(buffer, "%ld|%lld|%zu|%c|%5.1e", 1L << 30, -(1LL << 40), static_cast<size_t>(7),
                           'q', 12345.0),
            37);
  EXPECT_STREQ(buffer, "1073741824|-1099511627776|7|q|1.2e+04");
  EXPECT_EQ(FormatToBuffer(nullptr, "%d", 5), 0);
  EXPECT_EQ(FormatToBuffer(buffer, nullptr), 0);
  EXPECT_STREQ(buffer, "");
}

TEST_F(FormatTest, LiteralRunsAndConversionsArriveSeparately) {
  Recorder recorder;
  EXPECT_EQ(Record(&recorder, "a%%b"), 3);
  std::vector<std::string> expected = {"a", "%", "b"};
  EXPECT_EQ(recorder.pieces, expected);

  Recorder widths;
  Record(&widths, "%5s", "ab");
  expected = {"", "   ab", ""};  // empty literal runs are delivered too
  EXPECT_EQ(widths.pieces, expected);
}

TEST_F(FormatTest, StarTakesWidthAndPrecisionFromTheArguments) {
  char buffer[64];
  EXPECT_EQ(FormatToBuffer(buffer, "%*d", 4, 7), 4);
  EXPECT_STREQ(buffer, "   7");
  EXPECT_EQ(FormatToBuffer(buffer, "%-*d|", 4, 7), 5);
  EXPECT_STREQ(buffer, "7   |");
  EXPECT_EQ(FormatToBuffer(buffer, "%*d|", -3, 7), 4);  // a negative width left-aligns
  EXPECT_STREQ(buffer, "7  |");
  EXPECT_EQ(FormatToBuffer(buffer, "%.*f %s", 1, 2.25, "x"), 5);
  EXPECT_STREQ(buffer, "2.2 x");
  EXPECT_EQ(FormatToBuffer(buffer, "%.*s|", -1, "abc"), 4);  // negative precision: none
  EXPECT_STREQ(buffer, "abc|");
}

TEST_F(FormatTest, PercentNStoresTheCountSoFar) {
  char buffer[64];
  int count = -1;
  short shortCount = -1;
  long longCount = -1;
  signed char charCount = -1;
  EXPECT_EQ(
      FormatToBuffer(buffer, "abc%n%hnde%ln%hhnf", &count, &shortCount, &longCount, &charCount), 6);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(shortCount, 3);
  EXPECT_EQ(longCount, 5);
  EXPECT_EQ(charCount, 5);
}

TEST_F(FormatTest, LongStringsGrowTheWorkBuffer) {
  std::string long1000(1000, 'x');
  long1000[999] = 'y';
  Recorder recorder;
  EXPECT_EQ(Record(&recorder, "[%s]", long1000.c_str()), 1002);
  ASSERT_EQ(recorder.pieces.size(), 3u);
  EXPECT_EQ(recorder.pieces[1], long1000);

  Recorder padded;
  EXPECT_EQ(Record(&padded, "%600s", "z"), 600);
  EXPECT_EQ(padded.pieces[1], std::string(599, ' ') + "z");

  Recorder cut;
  EXPECT_EQ(Record(&cut, "%.3s", long1000.c_str()), 3);
  EXPECT_EQ(cut.pieces[1], "xxx");

  Recorder nullString;
  EXPECT_EQ(Record(&nullString, "<%s>", static_cast<const char*>(nullptr)), 2);
  EXPECT_EQ(nullString.Text(), "<>");
}

TEST_F(FormatTest, WorkBufferShortageStopsQuietlyWithTheTextSoFar) {
  std::string long1000(1000, 'x');
  Recorder recorder;
  MemFailNextAllocations(1);
  EXPECT_EQ(Record(&recorder, "head %s tail", long1000.c_str()), 5);
  EXPECT_EQ(recorder.Text(), "head ");
  // Short strings need no heap buffer and are unaffected.
  Recorder shortText;
  MemFailNextAllocations(1);
  EXPECT_EQ(Record(&shortText, "head %s tail", "mid"), 13);
  MemFailNextAllocations(0);
}

// Widths and precisions that would overflow the fixed buffers stay bounded.
TEST_F(FormatTest, OverlongConversionsAreBounded) {
  Recorder wide;
  EXPECT_EQ(Record(&wide, "%300d|", 7), 256);
  EXPECT_EQ(wide.pieces[1], std::string(254, ' ') + "7");

  Recorder huge;
  EXPECT_EQ(Record(&huge, "%*d|%d", 2147483647, 7, 8), 257);
  EXPECT_EQ(huge.pieces[1], std::string(254, ' ') + "7");
  EXPECT_EQ(huge.pieces[3], "8");  // later arguments stay in step

  // Written widths past INT32_MAX saturate instead of overflowing, also where
  // long is 32 bits wide.
  Recorder written;
  EXPECT_EQ(Record(&written, "%99999999999d|%d", 7, 8), 257);
  EXPECT_EQ(written.pieces[1], std::string(254, ' ') + "7");
  EXPECT_EQ(written.pieces[3], "8");

  Recorder precise;
  Record(&precise, "%.400f", 1.0);
  EXPECT_EQ(precise.pieces[1].size(), 255u);

  Recorder padding;
  int32_t total = Record(&padding, "%*s|", 2147483647, "ab");
  EXPECT_EQ(total, (1 << 20) + 1);

  // A specification longer than 63 characters is skipped; its arguments are
  // consumed so that the next conversion still gets its own.
  Recorder skipped;
  std::string format = "%" + std::string(70, '0') + "5d|%s";
  Record(&skipped, format.c_str(), 7, "next");
  EXPECT_EQ(skipped.Text(), "|next");

  // Stars that expand past the specification buffer are cut there; every star
  // still takes its argument.
  Recorder stars;
  const int big = 1000000000;
  Record(&stars, "%**********d|%s", big, big, big, big, big, big, big, big, big, big, 5, "ok");
  ASSERT_EQ(stars.pieces.size(), 5u);
  EXPECT_EQ(stars.pieces[1], std::string(254, ' ') + "5");
  EXPECT_EQ(stars.pieces[3], "ok");
}

TEST_F(FormatTest, FormatEndingInsideASpecificationShowsIt) {
  Recorder recorder;
  EXPECT_EQ(Record(&recorder, "50%"), 3);
  EXPECT_EQ(recorder.Text(), "50%");
  Recorder trailing;
  Record(&trailing, "x%-5");
  EXPECT_EQ(trailing.Text(), "x%-5");
}

// "C" is this formatter's own conversion, unknown to the compiler's checks.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
TEST_F(FormatTest, CharacterConversionPrintsOnlyInUtf8) {
  char buffer[64];
  const char* euro = "\xE2\x82\xAC rest";
  EXPECT_EQ(FormatToBuffer(buffer, "[%C]", euro), 2);
  EXPECT_STREQ(buffer, "[]");
  EXPECT_EQ(FormatToBuffer(buffer, "[%3C]", euro), 5);
  EXPECT_STREQ(buffer, "[   ]");
  SetHostEncoding("utf-8");
  EXPECT_EQ(FormatToBuffer(buffer, "[%C]", euro), 5);
  EXPECT_STREQ(buffer, "[\xE2\x82\xAC]");
  EXPECT_EQ(FormatToBuffer(buffer, "[%C]", static_cast<const char*>(nullptr)), 2);
  // A cut sequence copies only the bytes that are there.
  EXPECT_EQ(FormatToBuffer(buffer, "[%C]", "\xE2\x82"), 4);
}
#pragma GCC diagnostic pop

TEST_F(FormatTest, StarExpansionAndStringWidthPieces) {
  // The pieces are reached through small variadic helpers.
  struct Helper {
    static void Expand(char* specification, size_t size, ...) {
      va_list args;
      va_start(args, size);
      va_list cursor;
      va_copy(cursor, args);
      ExpandStarArguments(specification, size, &cursor);
      va_end(cursor);
      va_end(args);
    }
    static size_t Width(const char* specification, ...) {
      va_list args;
      va_start(args, specification);
      va_list cursor;
      va_copy(cursor, args);
      size_t width = StringConversionWidth(specification, &cursor);
      // Not consumed: the same argument is still next.
      const char* again = va_arg(cursor, const char*);
      EXPECT_NE(again, nullptr);
      va_end(cursor);
      va_end(args);
      return width;
    }
  };
  char specification[64] = "%*.*s";
  Helper::Expand(specification, sizeof specification, 12, -3);
  EXPECT_STREQ(specification, "%12.-3s");
  char small[6] = "%*d";
  Helper::Expand(small, sizeof small, 123456);
  EXPECT_STREQ(small, "%123d");  // cut, conversion kept

  EXPECT_EQ(Helper::Width("%5s", "ab"), 5u);
  EXPECT_EQ(Helper::Width("%-08.3s", "abcdef"), 8u);
  EXPECT_EQ(Helper::Width("%.3s", "abcdef"), 3u);
  EXPECT_EQ(Helper::Width("%.s", "abcdef"), 6u);
  EXPECT_EQ(Helper::Width("5s", "abcdef"), 0u);
}

TEST_F(FormatTest, ConsolePrintfWritesWholeTextsAndPiecesAtBoundaries) {
  gConsole.clear();
  SetConsoleWriterHook(CaptureConsole);
  EXPECT_EQ(ConsolePrintf(nullptr, "Couldn't allocate string list memory\n"), 37);
  std::vector<std::string> expected = {"Couldn't allocate string list memory\n"};
  EXPECT_EQ(gConsole, expected);

  // A literal run longer than 255 bytes that the format continues after goes
  // out in pieces of at most 255 bytes.
  gConsole.clear();
  SetHostEncoding("UTF-8");
  std::string run;
  for (int i = 0; i < 200; ++i) run += "\xC3\xA9";  // 400 bytes of two-byte characters
  std::string format = run + "%d";
  EXPECT_EQ(ConsolePrintf(nullptr, format.c_str(), 1), 401);
  ASSERT_EQ(gConsole.size(), 3u);
  EXPECT_EQ(gConsole[0].size(), 254u);  // 255 would split a character
  EXPECT_EQ(gConsole[0] + gConsole[1], run);
  EXPECT_EQ(gConsole[2], "1");

  gConsole.clear();
  SetConsoleWriterHook(nullptr);
  ConsolePrintf(nullptr, "dropped\n");
  EXPECT_TRUE(gConsole.empty());
}

TEST_F(FormatTest, ConsolePrintfToAStream) {
  char text[64] = "";
  FILE* stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ConsolePrintf(stream, "n=%d\n", 42), 5);
  rewind(stream);
  EXPECT_EQ(fread(text, 1, sizeof text - 1, stream), 5u);
  fclose(stream);
  EXPECT_STREQ(text, "n=42\n");
}

}  // namespace
