#include "mif/host_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace gw::mif {
namespace {

namespace fs = std::filesystem;

class HostPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("gw_host_paths_" + std::to_string(::getpid()));
    fs::create_directories(root_ / "Guide" / "Common");
    std::ofstream(root_ / "Guide" / "Chapter1.MIF") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(HostPathsTest, LocalFilesAppearOnTheVirtualDrive) {
  HostPaths paths(root_, 'g');
  EXPECT_EQ(paths.ToHost(root_ / "Guide" / "Chapter1.MIF").Value(), "G:\\Guide\\Chapter1.MIF");
  EXPECT_EQ(paths.ToHost(root_).Value(), "G:\\");
  EXPECT_EQ(paths.ToHost(root_ / "Guide" / ".." / "x.mif").Value(), "G:\\x.mif");
  EXPECT_FALSE(paths.ToHost(root_.parent_path() / "elsewhere.mif").IsOk());
  // Its host form would name Guide/Chapter1.MIF, another file.
  EXPECT_FALSE(paths.ToHost(root_ / "Guide\\Chapter1.MIF").IsOk());
}

TEST_F(HostPathsTest, HostNamesFindLocalFilesAsTheHostWould) {
  HostPaths paths(root_);
  struct Case {
    const char* host;
    fs::path local;
  };
  const Case cases[] = {
      {"G:\\Guide\\Chapter1.MIF", root_ / "Guide" / "Chapter1.MIF"},
      {"g:/guide/chapter1.mif", root_ / "Guide" / "Chapter1.MIF"},  // case and slashes do not matter
      {"G:\\Guide\\Common\\..\\.\\Chapter1.MIF", root_ / "Guide" / "Chapter1.MIF"},
      {"G:\\Guide\\new.mif", root_ / "Guide" / "new.mif"},  // a file still to be written
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    Result<fs::path> local = paths.ToLocal(c.host);
    ASSERT_TRUE(local.IsOk()) << local.ErrorMessage();
    EXPECT_EQ(local.Value(), c.local);
  }
  for (const char* bad :
       {"C:\\Guide\\Chapter1.MIF", "Guide\\Chapter1.MIF", "\\\\server\\share\\a.mif", "G:\\..\\etc\\passwd"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(paths.ToLocal(bad).IsOk());
  }
}
// Local names are UTF-8, host names FrameRoman (é is 0x8E there), both ways;
// a name FrameRoman cannot hold has no host form.
TEST_F(HostPathsTest, NamesAreConvertedBetweenUtf8AndFrameRoman) {
  HostPaths paths(root_);
  std::ofstream(root_ / "R\xC3\xA9sum\xC3\xA9.mif") << "x";
  EXPECT_EQ(paths.ToHost(root_ / "R\xC3\xA9sum\xC3\xA9.mif").Value(), "G:\\R\x8Esum\x8E.mif");
  EXPECT_EQ(paths.ToLocal("G:\\R\x8Esum\x8E.mif").Value(), root_ / "R\xC3\xA9sum\xC3\xA9.mif");
  EXPECT_EQ(paths.ToLocal("G:\\r\x8ESUM\x8E.MIF").Value(), root_ / "R\xC3\xA9sum\xC3\xA9.mif");
  Result<std::string> kanji = paths.ToHost(root_ / "\xE6\x9B\xB8.mif");
  ASSERT_FALSE(kanji.IsOk());
  EXPECT_NE(kanji.ErrorMessage().find("FrameRoman"), std::string::npos) << kanji.ErrorMessage();
  EXPECT_FALSE(paths.ToHost(root_ / "bad\xFF.mif").IsOk());
}

TEST(DevicePaths, ResolveAgainstTheBookFolder) {
  struct Case {
    const char* device;
    const char* folder;
    const char* host;  // nullptr: an error
  };
  const Case cases[] = {
      {"<c>ch1.mif", "G:\\book", "G:\\book\\ch1.mif"},
      {"<c>parts<c>ch2.mif", "G:\\book", "G:\\book\\parts\\ch2.mif"},
      {"<u><c>common<c>shared.mif", "G:\\book", "G:\\common\\shared.mif"},
      {"<r><c>top.mif", "G:\\book\\deep", "G:\\top.mif"},
      {"<v>C:<c>docs<c>a.mif", "G:\\book", "C:\\docs\\a.mif"},
      {"<c>ch1.mif", "G:", "G:\\ch1.mif"},
      {"<u><c>book", "G:\\book", "G:\\book"},  // the book's own folder
      {"<u><u><c>a", "G:\\a\\b", "G:\\a"},
      {"<u><u><c>a.mif", "G:\\book", nullptr},
      {"ch1.mif", "G:\\book", nullptr},
      {"<x>ch1.mif", "G:\\book", nullptr},
      {"<h>server<c>a.mif", "G:\\book", nullptr},
      {"<c>", "G:\\book", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    Result<std::string> host = ResolveDevicePath(c.device, c.folder);
    if (c.host == nullptr) {
      EXPECT_FALSE(host.IsOk());
      if (!host) {
        EXPECT_NE(host.ErrorMessage().find(c.device), std::string::npos) << host.ErrorMessage();
      }
    } else {
      ASSERT_TRUE(host.IsOk()) << host.ErrorMessage();
      EXPECT_EQ(host.Value(), c.host);
      EXPECT_EQ(ResolveDevicePath(MakeDevicePath(c.host, c.folder), c.folder).Value(), c.host) << "made back";
    }
  }
  EXPECT_EQ(MakeDevicePath("G:\\common\\shared.mif", "G:\\book"), "<u><c>common<c>shared.mif");
  EXPECT_EQ(MakeDevicePath("C:\\a.mif", "G:\\book"), "<v>C:<c>a.mif");
  EXPECT_EQ(HostFolderOf("G:\\book\\guide.book"), "G:\\book");
  EXPECT_EQ(NormalizeHostName("g:/a//b/../c.mif").Value(), "G:\\a\\c.mif");
}

}  // namespace
}  // namespace gw::mif
