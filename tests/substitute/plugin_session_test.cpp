// Loading plug-ins into the substitute host: the session's own mechanics with
// a minimal test plug-in, then the real plug-in started and shut down.
#include <gtest/gtest.h>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::substitute {
namespace {

TEST(PluginSession, MissingLibraryIsALoadError) {
  MemoryFileStore store;
  SubstituteHost host(store);
  auto session = PluginSession::Load(host, {"/nonexistent/plugin.so", ""});
  ASSERT_FALSE(session.ok());
  EXPECT_EQ(session.error().rfind("load /nonexistent/plugin.so: ", 0), 0u) << session.error();
}

TEST(PluginSession, DeliversNotificationsCatchesFatalStopsAndReleasesAtTheEnd) {
  MemoryFileStore store;
  SubstituteHost host(store);
  uint64_t live = CoTaskMemLiveBlocks();
  {
    auto session = PluginSession::Load(host, {GRIDWRIGHT_FAKE_PLUGIN_PATH, ""});
    ASSERT_TRUE(session.ok()) << session.error();
    EXPECT_EQ(session->InitResult(), 0);
    EXPECT_TRUE(session->Attached());
    EXPECT_EQ(host.HeldNotificationReferences(), 1);
    EXPECT_EQ(host.AttachFlags(), 0x14000000);
    EXPECT_EQ(session->Initialize(1), S_OK);
    EXPECT_EQ(session->ClientCall("hello\n"), S_OK);
    EXPECT_EQ(session->Command(99), E_FAIL);
    EXPECT_EQ(session->Faults(), (std::vector<std::string>{"Command(99): software exception 1"}));
    EXPECT_EQ(session->Command(1), S_OK);  // the plug-in goes on after a fatal stop
    auto resource = session->GetResource(0, nullptr);
    ASSERT_TRUE(resource.ok());
    EXPECT_EQ(std::string(resource->begin(), resource->end()), "fake");
    EXPECT_EQ(host.ConsoleLines(), (std::vector<std::string>{"initialized", "hello"}));
    EXPECT_EQ(host.OutstandingReferences(), 1);  // the plug-in holds the API interface
  }
  // The destructor delivered Quit and the final Release: the plug-in let go.
  EXPECT_EQ(host.OutstandingReferences(), 0);
  EXPECT_EQ(host.AttachedNotifications(), nullptr);
  EXPECT_EQ(CoTaskMemLiveBlocks(), live);
}

TEST(PluginSession, HostWithoutReferenceSeesStartUpFail) {
  MemoryFileStore store;
  HostOptions options;
  options.keepNotificationsReference = false;
  SubstituteHost host(store, options);
  auto session = PluginSession::Load(host, {GRIDWRIGHT_FAKE_PLUGIN_PATH, ""});
  ASSERT_TRUE(session.ok());
  EXPECT_EQ(session->InitResult(), -1);
  EXPECT_FALSE(session->Attached());
  EXPECT_EQ(session->Initialize(1), E_FAIL);
  EXPECT_EQ(host.OutstandingReferences(), 0);
}

#ifdef GRIDWRIGHT_PLUGIN_PATH
TEST(RealPlugin, StartsInitializesAndShutsDownWithoutLeaks) {
  MemoryFileStore store;
  SubstituteHost host(store);
  uint64_t live = CoTaskMemLiveBlocks();
  uint64_t badFrees = CoTaskMemBadFrees();
  {
    auto session = PluginSession::Load(host, {GRIDWRIGHT_PLUGIN_PATH, GRIDWRIGHT_ICU_DATA_DIR});
    ASSERT_TRUE(session.ok()) << session.error();
    ASSERT_EQ(session->InitResult(), 0);
    EXPECT_EQ(host.ClientDescription().at(2), "Gridwright");
    EXPECT_EQ(session->Initialize(1), S_OK);
    EXPECT_TRUE(session->Faults().empty());
    EXPECT_FALSE(host.RenderMenu("KVTools").empty());
    EXPECT_EQ(host.User().Problems(), "");
    session->Shutdown();
  }
  EXPECT_EQ(host.OutstandingReferences(), 0);
  EXPECT_EQ(CoTaskMemLiveBlocks(), live);
  EXPECT_EQ(CoTaskMemBadFrees(), badFrees);
}

TEST(RealPlugin, WithheldApiInterfaceFailsStartUp) {
  MemoryFileStore store;
  HostOptions options;
  options.withheldInterfaces = {kHostApiInterfaceIndex};
  SubstituteHost host(store, options);
  auto session = PluginSession::Load(host, {GRIDWRIGHT_PLUGIN_PATH, GRIDWRIGHT_ICU_DATA_DIR});
  ASSERT_TRUE(session.ok()) << session.error();
  EXPECT_EQ(session->InitResult(), -1);
  EXPECT_FALSE(session->Attached());
  EXPECT_TRUE(host.CallTrace().empty());
}
#endif

}  // namespace
}  // namespace gw::substitute
