// Tests of path records, normalisation, variable expansion and splitting.
#include "support/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

// The process environment: setenv and unsetenv, or their Windows counterpart
// (an empty value removes a variable there).
void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

void UnsetVariable(const char* name) {
#if defined(_WIN32)
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetHostEncoding("FrameRoman"); }
  void TearDown() override {
    SetHostEncoding("FrameRoman");
    UnsetVariable("GW_TEST_HOME");
  }
};

std::string Normalized(const char* path) {
  char buffer[kPathBufferSize];
  strcpy(buffer, path);
  NormalizePath(buffer);
  return buffer;
}

std::string FileNameOf(const char* path) {
  PathRecord* record = PathFromString(path);
  if (record == nullptr) return "<none>";
  char* name = PathFileName(record);
  std::string result = name == nullptr ? "<null>" : name;
  MemFree(name);
  PathFree(record);
  return result;
}

struct NormalizeCase {
  const char* input;
  const char* expected;
};

TEST_F(PathsTest, NormalizeResolvesDotsAndSeparators) {
  const NormalizeCase cases[] = {
      {"C:\\a\\.\\b\\..\\c.fm", "C:\\a\\c.fm"},
      {"C:\\..\\x.fm", "C:\\x.fm"},
      {"a\\..\\b", "\\b"},
      {"..\\b", "\\b"},
      {"C:/a\\b", "C:/a/b"},
      {"\\\\server\\share\\\\x.fm", "\\\\server\\share\\x.fm"},
      {"C:\\\\a\\\\\\b", "C:\\a\\b"},
      {"./a/./b/.", "a/b/"},
      {"a\\b\\..\\..\\c", "\\c"},
      {"\\..\\x", "\\x"},
      {"plain.fm", "plain.fm"},
      {"a\\...\\b", "a\\...\\b"},  // three dots are a name
      {"", ""},
  };
  for (const NormalizeCase& c : cases) {
    EXPECT_EQ(Normalized(c.input), c.expected) << c.input;
  }
}

TEST_F(PathsTest, NetworkFileNamesAreLeftAlone) {
  EXPECT_EQ(Normalized("http://host/a/../$HOME/b%20c.fm"), "http://host/a/../$HOME/b%20c.fm");
  char name[kFileNameBufferSize];
  char directory[kPathBufferSize];
  SplitPath("http://host/dir/my%20file%2Fx.fm", directory, name);
  EXPECT_STREQ(name, "my file/x.fm");
  EXPECT_STREQ(directory, "http://host/dir");
  EXPECT_EQ(FileNameOf("file:///docs/a%41%00b.fm"), "aA%00b.fm");
  EXPECT_EQ(IsLocalPath("C:\\x"), 1);
  EXPECT_EQ(IsLocalPath(nullptr), 1);
  EXPECT_EQ(IsLocalPath("https://x/y"), 0);
}

TEST_F(PathsTest, DecodeUrlName) {
  char text[] = "a/b%41%4g%2%";
  DecodeUrlName(text);
  EXPECT_STREQ(text, "a\\bA%4g%2%");
}

TEST_F(PathsTest, DoubleByteSecondBytesAreNotSeparators) {
  SetHostEncoding("JISX0208.ShiftJIS");
  // 0x95 0x5C is one character; its 0x5C must not split or collapse.
  EXPECT_EQ(Normalized("C:\\dir\\\x95\x5C\\..\\x.fm"), "C:\\dir\\x.fm");
  EXPECT_EQ(Normalized("C:\\\x95\x5C\x95\x5C.fm"), "C:\\\x95\x5C\x95\x5C.fm");
  EXPECT_EQ(FileNameOf("C:\\docs\\\x95\x5C.fm"), "\x95\x5C.fm");
  EXPECT_EQ(FileNameStart("a\\\x95\x5C"), 2u);
  // A path ending in such a character does not end in a separator.
  EXPECT_EQ(FileNameOf("C:\\docs\\\x95\x5C"), "\x95\x5C");
  SetHostEncoding("FrameRoman");
  EXPECT_EQ(FileNameStart("a\\\x95\x5C"), 4u);
}

TEST_F(PathsTest, FileNamesAndDirectories) {
  EXPECT_EQ(FileNameOf("C:\\Docs\\Manual\\chapter1.fm"), "chapter1.fm");
  EXPECT_EQ(FileNameOf("C:\\Docs\\Manual\\"), "Manual");
  EXPECT_EQ(FileNameOf("C:/a\\b"), "/a/b");
  EXPECT_EQ(FileNameOf("chapter.fm"), "chapter.fm");

  char directory[kPathBufferSize];
  char name[kFileNameBufferSize];
  SplitPath("C:\\x.fm", directory, name);
  EXPECT_STREQ(directory, "C:\\");
  EXPECT_STREQ(name, "x.fm");
  SplitPath("\\x.fm", directory, name);
  EXPECT_STREQ(directory, "\\");
  SplitPath("C:\\a\\b.fm", directory, name);
  EXPECT_STREQ(directory, "C:\\a");
  SplitPath("b.fm", directory, name);
  EXPECT_STREQ(directory, "");
  SplitPath("D:b.fm", directory, name);
  EXPECT_STREQ(directory, "D");
  EXPECT_STREQ(name, "b.fm");
}

TEST_F(PathsTest, LongNamesAreCutOnCharacterBoundaries) {
  SetHostEncoding("UTF-8");
  std::string path = "C:\\x";
  for (int i = 0; i < 700; ++i) path += "\xC3\xA9";  // 1400 bytes of two-byte characters
  char directory[kPathBufferSize];
  char name[kFileNameBufferSize];
  memset(name, 'Z', sizeof name);
  SplitPath(path.c_str(), directory, name);
  EXPECT_EQ(strlen(name), 1021u);  // byte 1022 is inside a character
  EXPECT_EQ(IsValidUtf8(name), 1);

  path = "C:\\a";
  path += std::string(5000, 'b');
  EXPECT_EQ(FileNameOf(path.c_str()).size(), 1022u);
}

TEST_F(PathsTest, ExpandsEnvironmentVariables) {
  SetVariable("GW_TEST_HOME", "D:\\u");
  EXPECT_EQ(Normalized("$GW_TEST_HOME\\x.fm"), "D:\\u\\x.fm");
  EXPECT_EQ(Normalized("C:\\a\\$GW_TEST_HOME\\x"), "C:\\a\\D:\\u\\x");
  UnsetVariable("GW_TEST_HOME");
  EXPECT_EQ(Normalized("$GW_TEST_HOME\\x.fm"), "$GW_TEST_HOME\\x.fm");

  char buffer[kPathBufferSize];
  strcpy(buffer, "a$.b\\~c");
  ExpandPathVariables(buffer);
  EXPECT_STREQ(buffer, "a$.b\\~c");
  strcpy(buffer, "~\\docs");
  ExpandPathVariables(buffer);
  EXPECT_STREQ(buffer, "\\docs");
  strcpy(buffer, "~user");
  ExpandPathVariables(buffer);
  EXPECT_STREQ(buffer, "user");
}

TEST_F(PathsTest, ExpansionStaysWithinTheBuffer) {
  std::string value(3000, 'v');
  SetVariable("GW_TEST_HOME", value.c_str());
  char buffer[kPathBufferSize + 8];
  memset(buffer, 'Z', sizeof buffer);
  strcpy(buffer, "$GW_TEST_HOME\\$GW_TEST_HOME\\end");
  ExpandPathVariables(buffer);
  EXPECT_EQ(strlen(buffer), kPathBufferSize - 1);
  EXPECT_EQ(buffer[kPathBufferSize], 'Z');
}

TEST_F(PathsTest, PathRecords) {
  PathRecord* path = PathFromString("C:\\a\\.\\b.fm");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->tag, 0x70617468u);
  EXPECT_EQ(path->flags, 0x10);
  EXPECT_STREQ(path->text, "C:\\a\\b.fm");
  PathFree(path);
  EXPECT_EQ(PathFromString(nullptr), nullptr);
  EXPECT_EQ(PathFromString(""), nullptr);
  EXPECT_EQ(PathFromString("."), nullptr);  // normalises to nothing
  EXPECT_EQ(PathFileName(nullptr), nullptr);
  MemFailNextAllocations(1);
  EXPECT_EQ(PathFromString("x.fm"), nullptr);
  MemFailNextAllocationsAfter(1, 1);
  EXPECT_EQ(PathFromString("x.fm"), nullptr);
  MemFailNextAllocations(0);
  PathFree(nullptr);
}

}  // namespace
