// The interface identifiers of the boundary header, checked against their
// textual form as the host documents them. The fake host and the substitute
// host answer from the same header, so only this test sees a wrong byte.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/fm_api.h"

namespace {

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". The fourth group is the
// first two bytes of Data4, in the order written.
bool ParseIid(const std::string& text, IID* iid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  const size_t dashes[] = {9, 14, 19, 24};
  std::string hex;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    bool isDash = false;
    for (size_t dash : dashes) isDash = isDash || i == dash;
    if (isDash != (text[i] == '-')) return false;
    if (!isDash) {
      if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
      hex += text[i];
    }
  }
  auto field = [&](size_t start, size_t length) {
    return std::strtoul(hex.substr(start, length).c_str(), nullptr, 16);
  };
  iid->Data1 = static_cast<uint32_t>(field(0, 8));
  iid->Data2 = static_cast<uint16_t>(field(8, 4));
  iid->Data3 = static_cast<uint16_t>(field(12, 4));
  for (size_t i = 0; i < 8; ++i) iid->Data4[i] = static_cast<uint8_t>(field(16 + 2 * i, 2));
  return true;
}

std::string Describe(const IID& iid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0], iid.Data4[1], iid.Data4[2],
                iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6], iid.Data4[7]);
  return text;
}

void ExpectIid(const char* text, const IID& actual) {
  IID expected = {};
  ASSERT_TRUE(ParseIid(text, &expected)) << text;
  EXPECT_TRUE(IsEqualIID(expected, actual)) << "expected " << text << ", the header has " << Describe(actual);
}

TEST(InterfaceIds, TheQueriedInterfacesInQueryOrder) {
  const char* const queried[kHostInterfaceCount] = {
      "{9EB9EBDE-EF45-4FAA-BA83-80C37E746DD7}", "{F9EDAC1F-75C2-4544-A65E-36E3C5A4DBA1}",
      "{CA913130-7B0A-11D0-985E-0060970BEC0B}", "{5B0455F0-0DB8-11D1-986D-0060970BEC0B}",
      "{EA34B890-2289-11D3-BC05-00805FD98389}", "{895D2502-96ED-43E1-A88B-4578A1AAA2B5}",
      "{F8A1A179-B5C9-4AF8-8E1A-DA71430EDBA1}", "{02AC84A3-499F-4128-9362-0E38BB1620C9}",
      "{B2159D69-A7F0-4978-84A3-C2CA5498F9FE}", "{A76BE1F8-B073-4F2D-9553-98543854E0FB}",
      "{9D1E44A4-9CCC-4AB5-B555-6FFAE778342C}", "{EC7B1498-ED2D-4278-AE91-07481BCBBFD0}",
      "{04C8B860-BC3B-11D0-8E04-444553540000}", "{F5AE87C2-3FF6-11D1-9457-00805F292B02}",
      "{E1E9B610-97D0-11D3-BC10-00805FD98389}",
  };
  for (int i = 0; i < kHostInterfaceCount; ++i) {
    SCOPED_TRACE(i + 1);
    ExpectIid(queried[i], kHostInterfaceIids[i]);
  }
  EXPECT_TRUE(IsEqualIID(kIidHostApi, kHostInterfaceIids[2]));
  EXPECT_TRUE(IsEqualIID(kIidHostMemoryMode, kHostInterfaceIids[12]));
  EXPECT_TRUE(IsEqualIID(kIidHostModule, kHostInterfaceIids[13]));
}

TEST(InterfaceIds, TheInterfacesTheNotificationsObjectAnswersTo) {
  ExpectIid("{00000000-0000-0000-C000-000000000046}", kIidIUnknown);
  ExpectIid("{EB813990-B81C-11D0-985E-0060970BEC0B}", kIidFrameMakerNotifications0);
  ExpectIid("{7AA0C49A-1141-44EF-A784-155593F95025}", kIidFrameMakerCMSNotifications0);
}

TEST(InterfaceIds, TheParserRefusesMalformedText) {
  IID iid = {};
  EXPECT_FALSE(ParseIid("9EB9EBDE-EF45-4FAA-BA83-80C37E746DD7", &iid));
  EXPECT_FALSE(ParseIid("{9EB9EBDE-EF45-4FAA-BA8380C37E746DD7-}", &iid));
  EXPECT_FALSE(ParseIid("{9EB9EBDE-EF45-4FAA-BA83-80C37E746DDG}", &iid));
  ASSERT_TRUE(ParseIid("{01234567-89AB-CDEF-0123-456789ABCDEF}", &iid));
  EXPECT_EQ(iid.Data1, 0x01234567u);
  EXPECT_EQ(iid.Data4[0], 0x01);
  EXPECT_EQ(iid.Data4[7], 0xEF);
}

}  // namespace
