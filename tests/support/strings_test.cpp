// Tests of the 8-bit string operations and the FrameRoman lower-case table.
#include "support/strings.h"

#include <gtest/gtest.h>
#include <string.h>

#include <map>

#include "support/memory.h"

namespace {

TEST(LowerCaseTable, MapsExactlyTheListedCapitals) {
  std::map<int, int> expected;
  for (int b = 'A'; b <= 'Z'; ++b) {
    expected[b] = b + 0x20;
  }
  const int pairs[][2] = {{0x80, 0x8A}, {0x81, 0x8C}, {0x82, 0x8D}, {0x83, 0x8E}, {0x84, 0x96},
                          {0x85, 0x9A}, {0x86, 0x9F}, {0xAE, 0xBE}, {0xAF, 0xBF}, {0xCB, 0x88},
                          {0xCC, 0x8B}, {0xCD, 0x9B}, {0xCE, 0xCF}, {0xD9, 0xD8}, {0xE5, 0x89},
                          {0xE6, 0x90}, {0xE7, 0x87}, {0xE8, 0x91}, {0xE9, 0x8F}, {0xEA, 0x92},
                          {0xEB, 0x94}, {0xEC, 0x95}, {0xED, 0x93}, {0xEE, 0x97}, {0xEF, 0x99},
                          {0xF1, 0x98}, {0xF2, 0x9C}, {0xF3, 0x9E}, {0xF4, 0x9D}};
  for (const auto& pair : pairs) {
    expected[pair[0]] = pair[1];
  }
  for (int b = 0; b < 256; ++b) {
    auto it = expected.find(b);
    int want = it == expected.end() ? b : it->second;
    EXPECT_EQ(kStrLowerCaseTable[b], want) << "byte " << std::hex << b;
  }
}

TEST(StringCompare, OrdersByUnsignedBytes) {
  EXPECT_LT(StrCompare("B", "a"), 0);
  EXPECT_GT(StrCompare("ab", "a"), 0);
  EXPECT_GT(StrCompare("\x80", "z"), 0);  // 0x80 sorts after ASCII, not before
  EXPECT_EQ(StrCompare("\xE9", "\x41"), 0xE9 - 0x41);
  EXPECT_EQ(StrCompare(nullptr, ""), 0);
  EXPECT_LT(StrCompare(nullptr, "a"), 0);
  EXPECT_EQ(StrEqual(nullptr, ""), 1);
  EXPECT_EQ(StrEqual("a", "A"), 0);
}

TEST(StringCompare, NoCaseUsesTheFrameRomanTable) {
  EXPECT_EQ(StrEqualNoCase("Body", "BODY"), 1);
  EXPECT_EQ(StrEqualNoCase("\x80", "\x8A"), 1);
  EXPECT_EQ(StrEqualNoCase("Caf\x83", "CAF\x8E"), 1);
  EXPECT_EQ(StrEqualNoCase("\xA0", "\xA1"), 0);
  // Small letters are not folded up: 0x8A stays 0x8A.
  EXPECT_EQ(StrCompareNoCase("\x8A", "\x80"), 0);
  EXPECT_GT(StrCompareNoCase("\xE7", "a"), 0);  // 0xE7 -> 0x87, still above ASCII
  EXPECT_LT(StrCompareNoCase("abc", "ABCD"), 0);
  EXPECT_EQ(StrEqualNoCase(nullptr, ""), 1);
}

TEST(StringCopy, CopyNBoundsAndTerminates) {
  char buffer[8];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(StrCopyN(buffer, "hello", 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
  EXPECT_EQ(StrCopyN(buffer, "hello world", sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "hello w");
  EXPECT_EQ(StrCopyN(buffer, nullptr, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(StrCopyN(nullptr, "a", 4), 0u);
  EXPECT_EQ(StrCopyN(buffer, "a", 0), 0u);
}

TEST(StringAppend, AppendCharStopsAtTheBound) {
  char buffer[4] = "abc";
  EXPECT_EQ(StrAppendChar(buffer, 'd', 4), 3u);
  EXPECT_STREQ(buffer, "abc");
  char room[8] = "ab";
  EXPECT_EQ(StrAppendChar(room, 'c', 8), 3u);
  EXPECT_STREQ(room, "abc");
  EXPECT_EQ(StrAppendChar(nullptr, 'c', 8), 0u);
}

TEST(StringAppend, AppendIntCutsToTheBound) {
  char buffer[16] = "";
  EXPECT_EQ(StrAppendInt(buffer, 123456789, 9), 8u);
  EXPECT_STREQ(buffer, "12345678");
  char negative[16] = "n=";
  EXPECT_EQ(StrAppendInt(negative, -2147483647 - 1, sizeof negative), 13u);
  EXPECT_STREQ(negative, "n=-2147483648");
  // A guard byte after the buffer must survive.
  char guarded[6] = {'a', 'b', '\0', 'Z', 'Z', 'Z'};
  EXPECT_EQ(StrAppendInt(guarded, 99999, 4), 3u);
  EXPECT_STREQ(guarded, "ab9");
  EXPECT_EQ(guarded[4], 'Z');
}

TEST(StringAppend, AppendNAndAppend) {
  char buffer[8] = "ab";
  EXPECT_EQ(StrAppendN(buffer, "cdefghij", sizeof buffer), 7u);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_EQ(StrAppendN(buffer, "x", sizeof buffer), 7u);
  char big[16] = "ab";
  EXPECT_EQ(StrAppend(big, "cd"), 4u);
  EXPECT_EQ(StrAppend(big, nullptr), 4u);
  EXPECT_STREQ(big, "abcd");
  EXPECT_EQ(StrAppend(nullptr, "x"), 0u);
}

TEST(StringSearch, FindChrAndStartsWith) {
  EXPECT_EQ(StrFind("abc", ""), 0);
  EXPECT_EQ(StrFind("", ""), -1);
  EXPECT_EQ(StrFind("abcabc", "ca"), 2);
  EXPECT_EQ(StrFind("abc", "x"), -1);
  EXPECT_EQ(StrFind(nullptr, "a"), -1);
  EXPECT_EQ(StrFind("a", nullptr), -1);

  const char* text = "a\xE9z";
  EXPECT_EQ(StrChr(text, 0xE9), text + 1);
  EXPECT_EQ(StrChr(text, static_cast<char>(0xE9)), text + 1);  // sign-extended char
  EXPECT_EQ(StrChr(text, 0), nullptr);
  EXPECT_EQ(StrChr(static_cast<const char*>(nullptr), 'a'), nullptr);

  EXPECT_EQ(StrStartsWith("Source Tag", "Source"), 1);
  EXPECT_EQ(StrStartsWith("Sour", "Source"), 0);
  EXPECT_EQ(StrStartsWith("x", nullptr), 1);
  EXPECT_EQ(StrStartsWith(nullptr, ""), 1);
}

TEST(StringEdit, TrimOnlySpaces) {
  char blanks[] = "   ";
  StrTrimRight(blanks);
  EXPECT_STREQ(blanks, "");
  char tabbed[] = "\t x ";
  StrTrimLeft(tabbed);
  EXPECT_STREQ(tabbed, "\t x ");
  char padded[] = "  x y  ";
  StrTrimLeft(padded);
  StrTrimRight(padded);
  EXPECT_STREQ(padded, "x y");
  StrTrimLeft(nullptr);
  StrTrimRight(nullptr);
}

TEST(StringFresh, NewDupAndToInt) {
  char* fresh = StrNew(3);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(memcmp(fresh, "\0\0\0\0", 4), 0);
  MemFree(fresh);
  char* copy = StrDup("Table");
  EXPECT_STREQ(copy, "Table");
  MemFree(copy);
  EXPECT_EQ(StrDup(nullptr), nullptr);
  MemFailNextAllocations(1);
  EXPECT_EQ(StrDup("x"), nullptr);
  MemFailNextAllocations(1);
  EXPECT_EQ(StrNew(1), nullptr);

  EXPECT_EQ(StrToInt(nullptr), 0);
  EXPECT_EQ(StrToInt("  -42abc"), -42);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("x1"), 0);
  EXPECT_EQ(StrToInt("99999999999"), INT32_MAX);
  EXPECT_EQ(StrLen(nullptr), 0u);
}

}  // namespace
