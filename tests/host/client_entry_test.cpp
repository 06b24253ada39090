// Start-up, the notifications object, its reference counting and shutdown.
#include "host/client_entry.h"

#include <gtest/gtest.h>
#include <unicode/putil.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../fatal_stop.h"
#include "../support/icu_test_data.h"
#include "command_layer_stub.h"
#include "fake_host.h"
#include "host/host_ops.h"
#include "host/property_lists.h"
#include "platform/module.h"
#include "platform/version_resource.h"
#include "platform/winapi.h"
#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

int gModuleTag;  // its address is the module handle the tests pass

class ClientEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    stub::Reset();
    VersionResourceSetStringsForTesting(nullptr, 0);
  }
  void TearDown() override {
    // The host's last Release, when a test left the plug-in attached.
    if (ClientNotificationsObject() != nullptr && host.api.notifications != nullptr) {
      host.api.notifications->Release();
    }
    VersionResourceSetStringsForTesting(nullptr, 0);
    EXPECT_EQ(ClientNotificationsObject(), nullptr);
    EXPECT_EQ(host.HeldReferences(), 0) << "host interfaces still held after shutdown";
  }

  int32_t Start(IUnknown* lifetime = nullptr, const PropertyList* description = nullptr) {
    return F_ApiClientInit(&gModuleTag, &host, lifetime, description);
  }
  // The notification interface, with a reference the caller must release.
  IFrameMakerNotifications0* Notifications() {
    void* object = nullptr;
    EXPECT_EQ(ClientNotificationsObject()->QueryInterface(kIidFrameMakerNotifications0, &object), S_OK);
    return static_cast<IFrameMakerNotifications0*>(object);
  }
  // The host's final Release.
  void HostReleases() {
    IUnknown* notifications = std::exchange(host.api.notifications, nullptr);
    notifications->Release();
  }

  fake::Host host;
};

TEST_F(ClientEntry, StartUpQueriesTheFifteenInterfacesInOrderAndAttaches) {
  ASSERT_EQ(Start(), 0);
  std::vector<int> order;
  for (int i = 0; i < kHostInterfaceCount; ++i) order.push_back(i);
  EXPECT_EQ(host.queries, order);
  EXPECT_EQ(host.memoryMode.modes, (std::vector<int32_t>{1}));
  EXPECT_EQ(host.module.handles, (std::vector<void*>{&gModuleTag}));
  EXPECT_EQ(HostOwnsResults(), 0) << "the memory-mode interface did not answer S_OK";
  EXPECT_EQ(HostApi(), &host.api);
  ASSERT_EQ(host.api.calls.front(), "AttachClient");
  EXPECT_EQ(host.api.numbers.front(), 0x14000000);
  EXPECT_EQ(host.api.notifications, ClientNotificationsObject());
  const std::vector<std::pair<int32_t, std::string>> expected = {
      {2, "Gridwright"}, {3, "Standard"}, {4, "Gridwright (Frame 2017)"}, {5, "Maker MakerSGML"}};
  EXPECT_EQ(host.api.description, expected);

  // Only the host's reference holds the object now.
  IUnknown* object = ClientNotificationsObject();
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);

  EXPECT_EQ(F_ApiClientInit(&gModuleTag, &host, nullptr, nullptr), -1) << "already attached";

  HostReleases();
  EXPECT_EQ(ClientNotificationsObject(), nullptr);
  EXPECT_EQ(HostApi(), nullptr);
  EXPECT_EQ(host.HeldReferences(), 0);
  EXPECT_EQ(HostGetIntProp(0, 0, 92), 0);
  EXPECT_EQ(HostLastError(), -1);
}

TEST_F(ClientEntry, MemoryModeAnsweringOkMeansTheHostOwnsResults) {
  host.memoryMode.answer = S_OK;
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(HostOwnsResults(), 1);
  HostReleases();
  HostSetOwnsResults(0);
}

TEST_F(ClientEntry, StartUpWithoutTheApiInterfaceFailsAndCreatesNothing) {
  host.withholdApi = true;
  EXPECT_EQ(Start(), -1);
  EXPECT_EQ(host.queries.size(), 12u) << "the optional interfaces are not queried";
  EXPECT_TRUE(host.api.calls.empty());
  EXPECT_EQ(ClientNotificationsObject(), nullptr);
  EXPECT_EQ(HostGetStringProp(0, 0, 89), nullptr);
  EXPECT_EQ(HostLastError(), -1);
  EXPECT_GT(host.HeldReferences(), 0) << "interfaces obtained stay held";

  // A later start-up drops what the failed one left held.
  host.withholdApi = false;
  ASSERT_EQ(Start(), 0);
  HostReleases();

  EXPECT_EQ(F_ApiClientInit(&gModuleTag, nullptr, nullptr, nullptr), -1);
}

TEST_F(ClientEntry, HostThatKeepsNoReferenceSeesShutdownAtTheEndOfStartUp) {
  host.api.keepNotifications = false;
  fake::HeldInterface lifetime;
  EXPECT_EQ(Start(&lifetime), -1);
  EXPECT_EQ(ClientNotificationsObject(), nullptr);
  EXPECT_EQ(host.HeldReferences(), 0);
  EXPECT_EQ(lifetime.references, 0);
  EXPECT_EQ(ConsoleWrite("dropped\n"), 0) << "no console writer after shutdown";
  EXPECT_EQ(host.api.calls, (std::vector<std::string>{"AttachClient"}));
}

TEST_F(ClientEntry, FinalReleaseRunsShutdownOnceEvenWhenReleasedDuringIt) {
  fake::HeldInterface lifetime;
  int lifetimeReleases = 0;
  lifetime.onRelease = [&] { ++lifetimeReleases; };
  ASSERT_EQ(Start(&lifetime), 0);
  EXPECT_EQ(lifetime.references, 1);

  // While shutdown releases the API interface, the host touches the object.
  IUnknown* object = ClientNotificationsObject();
  host.api.onRelease = [object] {
    object->AddRef();
    object->Release();
  };
  HostReleases();
  host.api.onRelease = nullptr;
  EXPECT_EQ(lifetimeReleases, 1);
  EXPECT_EQ(lifetime.references, 0);
  EXPECT_EQ(host.HeldReferences(), 0);
}

TEST_F(ClientEntry, QueryInterfaceAnswersThreeInterfacesOfOneObject) {
  ASSERT_EQ(Start(), 0);
  IUnknown* object = ClientNotificationsObject();
  void* unknown = nullptr;
  void* notifications = nullptr;
  void* cms = nullptr;
  ASSERT_EQ(object->QueryInterface(kIidIUnknown, &unknown), S_OK);
  ASSERT_EQ(object->QueryInterface(kIidFrameMakerNotifications0, &notifications), S_OK);
  ASSERT_EQ(object->QueryInterface(kIidFrameMakerCMSNotifications0, &cms), S_OK);
  EXPECT_EQ(unknown, object);
  EXPECT_NE(notifications, unknown);
  EXPECT_NE(cms, unknown);
  // Four references now: the host's and the three answers; all on one count.
  EXPECT_EQ(static_cast<IFrameMakerCMSNotifications0*>(cms)->AddRef(), 5u);
  EXPECT_EQ(static_cast<IFrameMakerNotifications0*>(notifications)->Release(), 4u);
  EXPECT_EQ(static_cast<IFrameMakerCMSNotifications0*>(cms)->Release(), 3u);
  EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 2u);

  void* none = &gModuleTag;
  EXPECT_EQ(static_cast<IFrameMakerCMSNotifications0*>(cms)->QueryInterface(kIidHostApi, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(object->AddRef(), 3u) << "a refused query adds no reference";
  object->Release();
  static_cast<IFrameMakerCMSNotifications0*>(cms)->Release();
  HostReleases();
}

TEST_F(ClientEntry, TheCallersDescriptionIsPassedUnchanged) {
  PropertyList mine = {0, nullptr};
  ASSERT_EQ(Start(nullptr, &mine), 0);
  EXPECT_EQ(host.api.lastDescription, &mine);
  EXPECT_TRUE(host.api.description.empty());
  HostReleases();

  // Without a module handle nothing is built and the caller's 0 is passed.
  host.api.calls.clear();
  ASSERT_EQ(F_ApiClientInit(nullptr, &host, nullptr, nullptr), 0);
  EXPECT_EQ(host.api.lastDescription, nullptr);
  HostReleases();
}

TEST_F(ClientEntry, DescriptionHoldsTheKeysTheVersionResourceHas) {
  const VersionString others[] = {{"CompanyName", "Nobody"}, {"FileVersion", "1.0.0.0"}};
  VersionResourceSetStringsForTesting(others, 2);
  PropertyList none = ClientBuildDescription();
  EXPECT_EQ(none.count, 0u);
  FreePropertyList(&none);

  const VersionString some[] = {{"ClientVendor", "Vendor"}, {"ClientName", "Other"}, {"ClientFacet", ""}};
  VersionResourceSetStringsForTesting(some, 3);
  ASSERT_EQ(Start(), 0);
  const std::vector<std::pair<int32_t, std::string>> expected = {{2, "Other"}, {6, ""}, {8, "Vendor"}};
  EXPECT_EQ(host.api.description, expected) << "in code order, present keys only";
  HostReleases();
}

TEST_F(ClientEntry, GetResourceAnswersTheFileNameAndTheLibrarysResources) {
  ASSERT_EQ(Start(), 0);
  IFrameMakerNotifications0* notifications = Notifications();

  char fileName[kModuleFileNameSize];
  ASSERT_GT(ModuleFileName(nullptr, fileName, sizeof fileName), 0u);
  ResourceData answer = {0, nullptr};
  ASSERT_EQ(notifications->GetResource(0, nullptr, &answer), S_OK);
  EXPECT_EQ(answer.size, static_cast<int32_t>(std::strlen(fileName) + 1));
  EXPECT_EQ(std::memcmp(answer.data, fileName, answer.size), 0) << "the name with its zero byte";
  CoTaskMemFree(answer.data);

  uint32_t versionSize = 0;
  const void* version = VersionResourceBlock(&versionSize);
  ASSERT_EQ(notifications->GetResource(kResourceTypeVersion | 0x70000, "#1", &answer), S_OK);
  EXPECT_EQ(answer.size, static_cast<int32_t>(versionSize));
  EXPECT_EQ(std::memcmp(answer.data, version, versionSize), 0);
  CoTaskMemFree(answer.data);

  ResourceData untouched = {77, &gModuleTag};
  EXPECT_EQ(notifications->GetResource(3, "MissingIcon", &untouched), E_FAIL);
  EXPECT_EQ(untouched.size, 77);
  EXPECT_EQ(untouched.data, &gModuleTag);

  uint64_t live = CoTaskMemLiveBlocks();
  CoTaskMemFailNext(1);
  EXPECT_EQ(notifications->GetResource(0, nullptr, &untouched), E_OUTOFMEMORY);
  EXPECT_EQ(untouched.data, &gModuleTag);
  EXPECT_EQ(CoTaskMemLiveBlocks(), live);

  notifications->Release();
  HostReleases();
}

TEST_F(ClientEntry, NotificationsReachTheCommandLayer) {
  ASSERT_EQ(Start(), 0);
  IFrameMakerNotifications0* notifications = Notifications();
  EXPECT_EQ(notifications->Initialize(1), S_OK);
  EXPECT_EQ(notifications->Command(4), S_OK);
  EXPECT_EQ(notifications->Notify(13, 0, "SetDocId 16777221", 0), S_OK);
  EXPECT_EQ(notifications->Message(1, 2, 3), S_OK);
  EXPECT_EQ(notifications->DialogEvent(1, 2, 3), S_OK);
  EXPECT_EQ(notifications->Quit(), S_OK);
  void* cms = nullptr;
  ASSERT_EQ(notifications->QueryInterface(kIidFrameMakerCMSNotifications0, &cms), S_OK);
  EXPECT_EQ(static_cast<IFrameMakerCMSNotifications0*>(cms)->CMSCommand(1, 2, 3, 4, nullptr), S_OK);
  static_cast<IFrameMakerCMSNotifications0*>(cms)->Release();

  const stub::Calls& calls = stub::Recorded();
  EXPECT_EQ(calls.initialize, (std::vector<int32_t>{1}));
  EXPECT_EQ(calls.commands, (std::vector<int32_t>{4}));
  ASSERT_EQ(calls.notifies.size(), 1u);
  EXPECT_EQ(calls.notifies[0].notification, 13);
  EXPECT_EQ(calls.notifies[0].text, "SetDocId 16777221");
  EXPECT_FALSE(calls.notifies[0].hadFields);
  notifications->Release();
  HostReleases();
}

TEST_F(ClientEntry, NotifySeventyFiveSplitsTheStringIntoSlotsAndMore) {
  ASSERT_EQ(Start(), 0);
  IFrameMakerNotifications0* notifications = Notifications();
  ASSERT_EQ(notifications->Notify(75, 0x01000005, "a\x1E" "b\x1E\x1E" "d\x1E" "e\x1E" "f\x1E" "g\x1E" "h", 3), S_OK);
  ASSERT_EQ(notifications->Notify(75, 0, "only\x1E", 0), S_OK);
  ASSERT_EQ(notifications->Notify(75, 0, nullptr, 0), S_OK);

  const std::vector<stub::NotifyCall>& notifies = stub::Recorded().notifies;
  ASSERT_EQ(notifies.size(), 3u);
  EXPECT_TRUE(notifies[0].textWasNull);
  ASSERT_TRUE(notifies[0].hadFields);
  EXPECT_EQ(notifies[0].slots, (std::vector<std::string>{"a", "b", "", "d", "e", "f"}));
  EXPECT_EQ(notifies[0].more, (std::vector<std::string>{"g", "h"}));
  EXPECT_EQ(notifies[0].document, 0x01000005u);
  EXPECT_EQ(notifies[0].value, 3);
  EXPECT_EQ(notifies[1].slots, (std::vector<std::string>{"only", "", "<null>", "<null>", "<null>", "<null>"}));
  EXPECT_EQ(notifies[2].slots, std::vector<std::string>(6, "<null>"));
  notifications->Release();
  HostReleases();
}

TEST_F(ClientEntry, FatalStopPassesThroughTheNotificationsUnchanged) {
  ASSERT_EQ(Start(), 0);
  IFrameMakerNotifications0* notifications = Notifications();
  EXPECT_EQ(FatalStopCode([&] { notifications->Command(stub::kFatalCommand); }), 1u)
      << "the fatal stop was swallowed";
  // The split fields are freed on the way out, also where the unwind runs no
  // C++ destructors (Windows).
  uint64_t liveBefore = MemLiveBlocks();
  EXPECT_EQ(FatalStopCode([&] {
              notifications->Notify(75, 0, "x\x1Ey\x1E" "1\x1E" "2\x1E" "3\x1E" "4\x1E" "5\x1E" "6",
                                    stub::kFatalNotifyValue);
            }),
            1u);
  EXPECT_EQ(MemLiveBlocks(), liveBefore);
  // A split that the fatal stop cuts short leaves nothing behind either.
  MemFailNextAllocationsAfter(3, 1);
  EXPECT_EQ(FatalStopCode([&] { notifications->Notify(75, 0, "a\x1E" "b\x1E" "c\x1E" "d", 0); }), 1u);
  MemFailNextAllocations(0);
  EXPECT_EQ(MemLiveBlocks(), liveBefore);
  // A host that resumes after the fatal stop gets the fields that could be
  // made, and nothing is left behind.
  for (uint32_t successes = 0; successes < 9; ++successes) {
    MemFailNextAllocationsAfter(successes, 1);
    ResumedStopCode([&] { notifications->Notify(75, 0, "a\x1E" "b\x1E" "c\x1E" "d\x1E" "e\x1E" "f\x1E" "g", 0); });
    MemFailNextAllocations(0);
    EXPECT_EQ(MemLiveBlocks(), liveBefore) << "after " << successes << " allocations";
  }
  notifications->Release();
  HostReleases();
}

TEST_F(ClientEntry, ConsoleWritesReachTheHostOnlyWhileAttached) {
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(ConsoleWrite("Could not open file:\n"), 0);
  ASSERT_FALSE(host.api.texts.empty());
  EXPECT_EQ(host.api.texts.back(), "Could not open file:\n");
  size_t writes = host.api.calls.size();
  HostReleases();
  EXPECT_EQ(ConsoleWrite("after\n"), 0);
  EXPECT_EQ(host.api.calls.size(), writes);
}

// Start-up points ICU at the host's converter data when nobody has yet,
// reading the home directory through the host operations.
TEST_F(ClientEntry, StartUpPointsIcuAtTheHostsDataFolderWhenUnset) {
  u_setDataDirectory("");
  host.api.stringResult = "/opt/host";
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(host.api.numbers.back(), 89);
  EXPECT_EQ(std::string(u_getDataDirectory()), IcuDirectory("/opt/host/icu_data"));

  // The host's own form of home directory gets a backslash; a last error left
  // by an earlier failed call does not count as a failed read.
  u_setDataDirectory("");
  host.api.stringResult = "C:\\Host";
  host.api.status = 5;
  EXPECT_EQ(HostGetIntProp(0, 0, 92), 0);
  ASSERT_EQ(HostLastError(), 5);
  host.api.status = 0;
  EXPECT_EQ(InitTextSupport(), 0);
  EXPECT_STREQ(u_getDataDirectory(), "C:\\Host\\icu_data");
  HostReleases();

  // A home directory the host fails to give leaves ICU alone.
  u_setDataDirectory("");
  host.api.status = 5;  // every call fails; the attach is not looked at
  host.api.keepNotifications = false;
  EXPECT_EQ(Start(), -1);
  EXPECT_STREQ(u_getDataDirectory(), "");
  u_setDataDirectory(GW_TEST_ICU_DATA_DIR);
}

}  // namespace
