// Tests of the network-file library stand-in: URLs are network file names.
#include "platform/netlib.h"

#include <gtest/gtest.h>

namespace {

TEST(NetLib, UrlsWithASchemeAreNetworkFileNames) {
  EXPECT_EQ(NetLibIsNetFile("http://server/docs/a.fm"), 0);
  EXPECT_EQ(NetLibIsNetFile("file:///tmp/a.fm"), 0);
  EXPECT_EQ(NetLibIsNetFile("svn+ssh://host/x"), 0);
  EXPECT_EQ(NetLibIsNetFile("HTTPS://host"), 0);
}

TEST(NetLib, LocalPathsAreNot) {
  EXPECT_NE(NetLibIsNetFile("C:\\docs\\a.fm"), 0);
  EXPECT_NE(NetLibIsNetFile("C://docs"), 0);  // a drive letter is no scheme
  EXPECT_NE(NetLibIsNetFile("/tmp/a.fm"), 0);
  EXPECT_NE(NetLibIsNetFile("\\\\server\\share"), 0);
  EXPECT_NE(NetLibIsNetFile("http:/one-slash"), 0);
  EXPECT_NE(NetLibIsNetFile("1http://x"), 0);
  EXPECT_NE(NetLibIsNetFile("ht tp://x"), 0);
  EXPECT_NE(NetLibIsNetFile(""), 0);
  EXPECT_NE(NetLibIsNetFile(nullptr), 0);
}

}  // namespace
