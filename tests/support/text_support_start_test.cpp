// Tests of InitTextSupport, which sets ICU's process-wide data directory. They
// run in a process of their own, as one ordered scenario, because the data
// directory can be chosen only once.
#include <gtest/gtest.h>
#include <string.h>
#include <unicode/putil.h>

#include <string>

#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

// A data directory as ICU keeps it: on Windows ICU turns forward slashes into
// backslashes when the directory is set.
std::string IcuDirectory(std::string path) {
#if defined(_WIN32)
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
#endif
  return path;
}

// The home directory the double reports, and the error it reports with it.
const char* gHome = nullptr;
int32_t gError = 0;
int gReads = 0;

char* ReadHome(int32_t* lastError) {
  ++gReads;
  *lastError = gError;
  if (gHome == nullptr) return nullptr;
  char* copy = static_cast<char*>(MemAlloc(strlen(gHome) + 1, kMemMustSucceed));
  strcpy(copy, gHome);
  return copy;
}

std::string Take(char* converted) {
  std::string text = converted == nullptr ? "<null>" : converted;
  MemFree(converted);
  return text;
}

TEST(TextSupportStart, PointsIcuAtTheHomeIcuDataFolderOnce) {
  ASSERT_STREQ(u_getDataDirectory(), "") << "another test chose ICU's data directory first";

  // Without data the host's converter is missing: printable runs are dropped,
  // control bytes stay.
  EXPECT_EQ(Take(ConvertText("Caf\x8E\nok\n", "adobe-fm-roman-windows", "UTF-8")), "\n\n");

  // No hook, a host error, no directory, an empty one, a too long one: 1, and
  // ICU stays without a data directory.
  EXPECT_EQ(InitTextSupport(), 1);
  EXPECT_EQ(HostEncoding(), kEncodingFrameRoman);
  SetHomeDirectoryHook(ReadHome);
  gHome = GW_TEST_HOME_DIR;
  gError = -43;
  EXPECT_EQ(InitTextSupport(), 1);
  gError = 0;
  gHome = nullptr;
  EXPECT_EQ(InitTextSupport(), 1);
  gHome = "";
  EXPECT_EQ(InitTextSupport(), 1);
  std::string tooLong(1020, 'd');
  gHome = tooLong.c_str();
  EXPECT_EQ(InitTextSupport(), 1);
  EXPECT_STREQ(u_getDataDirectory(), "");

  // The real home: ICU now finds the converter under HOME/icu_data.
  gHome = GW_TEST_HOME_DIR;
  EXPECT_EQ(InitTextSupport(), 0);
  EXPECT_EQ(std::string(u_getDataDirectory()), IcuDirectory(std::string(GW_TEST_HOME_DIR) + "/icu_data"));
  EXPECT_EQ(Take(ConvertText("Caf\x8E\nok\n", "adobe-fm-roman-windows", "UTF-8")),
            "Caf\xC3\xA9\nok\n");

  // A directory already set stays untouched, and the host is not asked again.
  const int readsBefore = gReads;
  gHome = "/elsewhere";
  EXPECT_EQ(InitTextSupport(), 0);
  EXPECT_EQ(gReads, readsBefore);
  EXPECT_EQ(std::string(u_getDataDirectory()), IcuDirectory(std::string(GW_TEST_HOME_DIR) + "/icu_data"));

  // A host encoding chosen before is kept by later starts.
  SetHostEncoding("UTF-8");
  InitTextSupport();
  EXPECT_EQ(HostEncoding(), kEncodingUtf8);
  SetHomeDirectoryHook(nullptr);
}

}  // namespace
