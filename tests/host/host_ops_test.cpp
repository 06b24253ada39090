// The host operations against the scripted host: failure values and last
// errors for every kind of result, copies and the release of host blocks.
#include "host/host_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../fatal_stop.h"
#include "fake_host.h"
#include "host/property_lists.h"
#include "platform/winapi.h"
#include "sample_values.h"
#include "support/memory.h"
#include "support/text_encoding.h"

namespace {

class HostOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    HostSetApi(&api);
    HostSetOwnsResults(0);
    liveBefore = CoTaskMemLiveBlocks();
    freesBefore = CoTaskMemFrees();
    badBefore = CoTaskMemBadFrees();
  }
  void TearDown() override {
    HostFreeReturnLists();
    HostSetApi(nullptr);
    HostSetOwnsResults(0);
    MemFailNextAllocations(0);
    api.FreeKeptBlocks();
    EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore) << "host blocks leaked";
    EXPECT_EQ(CoTaskMemBadFrees(), badBefore) << "host blocks freed twice";
  }
  uint64_t Frees() const { return CoTaskMemFrees() - freesBefore; }

  fake::Api api;
  uint64_t liveBefore = 0;
  uint64_t freesBefore = 0;
  uint64_t badBefore = 0;
};

// One operation: calls it and says whether it returned its failure value.
// `failedWith` receives the status the operation returned, for operations
// whose result is the status.
struct Operation {
  const char* name;
  std::function<bool(int32_t status)> returnsFailure;
};

std::vector<Operation> EveryOperation() {
  static const TextLoc kLocation = {0x05000001, 0};
  static const TextRange kRange = {kLocation, kLocation};
  static const IntList kInts = {0, nullptr};
  static const PropertyList kEmpty = {0, nullptr};
  static const int32_t kCodes[] = {259};
  auto isStatus = [](int32_t result, int32_t status) { return result == status; };
  return {
      {"HostRunCommandCodes", [=](int32_t s) { return isStatus(HostRunCommandCodes(1, kCodes), s); }},
      {"HostRequestNotification", [=](int32_t s) { return isStatus(HostRequestNotification(13, 1), s); }},
      {"HostDefineMenu", [](int32_t) { return HostDefineMenu("KVTools", "Tables") == 0; }},
      {"HostAddCommandToMenu", [=](int32_t s) { return isStatus(HostAddCommandToMenu(1, 2), s); }},
      {"HostAddMenuToMenu", [=](int32_t s) { return isStatus(HostAddMenuToMenu(1, 2), s); }},
      {"HostDefineAndAddMenu", [](int32_t) { return HostDefineAndAddMenu(1, "m", "l") == 0; }},
      {"HostAlert", [](int32_t) { return HostAlert("Sure?", 1) == 0; }},
      {"HostConsoleWrite", [=](int32_t s) { return isStatus(HostConsoleWrite("line\n"), s); }},
      {"HostScrollListPrompt",
       [](int32_t) {
         int32_t chosen = 1234;
         return HostScrollListPrompt(&chosen, "Pick", nullptr, -1) == -1 && chosen == 1234;
       }},
      {"HostOpenDocument", [](int32_t) { return HostOpenDocument("a.fm", &kEmpty, nullptr) == 0; }},
      {"HostSaveDocument", [](int32_t) { return HostSaveDocument(7, "a.fm", &kEmpty, nullptr) == 0; }},
      {"HostNewCustomDocument",
       [](int32_t) { return HostNewCustomDocument(1, 2, 1, 0, 0, 0, 0, 0, 1, 1) == 0; }},
      {"HostCloseDocument", [=](int32_t s) { return isStatus(HostCloseDocument(7, 1), s); }},
      {"HostCut", [=](int32_t s) { return isStatus(HostCut(7, 2), s); }},
      {"HostPaste", [=](int32_t s) { return isStatus(HostPaste(7, 32), s); }},
      {"HostScrollToText", [=](int32_t s) { return isStatus(HostScrollToText(7, &kRange), s); }},
      {"HostRedisplay", [=](int32_t s) { return isStatus(HostRedisplay(7), s); }},
      {"HostDeleteObject", [=](int32_t s) { return isStatus(HostDeleteObject(7, 8), s); }},
      {"HostGetNamedObject", [](int32_t) { return HostGetNamedObject(7, 37, "Format A") == 0; }},
      {"HostAddText",
       [](int32_t) {
         TextLoc end = HostAddText(7, &kLocation, "text");
         return end.object == 0 && end.offset == 0;
       }},
      {"HostGetProps",
       [](int32_t) {
         PropertyList list = HostGetProps(7, 8);
         return list.count == 0 && list.entries == nullptr;
       }},
      {"HostSetProps", [](int32_t) { HostSetProps(7, 8, &kEmpty); return true; }},
      {"HostGetIntProp", [](int32_t) { return HostGetIntProp(0, 7, 155) == 0; }},
      {"HostSetIntProp", [=](int32_t s) { return isStatus(HostSetIntProp(7, 7, 155, 1), s); }},
      {"HostGetIdProp", [](int32_t) { return HostGetIdProp(0, 7, 120) == 0; }},
      {"HostSetIdProp", [](int32_t) { HostSetIdProp(0, 7, 1923, 9); return true; }},
      {"HostGetMetricProp", [](int32_t) { return HostGetMetricProp(7, 7, 396) == 0; }},
      {"HostSetMetricProp", [](int32_t) { HostSetMetricProp(7, 8, 1278, 65536); return true; }},
      {"HostGetTextLocProp",
       [](int32_t) {
         TextLoc loc = HostGetTextLocProp(7, 8, 879);
         return loc.object == 0 && loc.offset == 0;
       }},
      {"HostGetTextRangeProp",
       [](int32_t) {
         TextRange range;
         std::memset(&range, 0x5A, sizeof range);
         HostGetTextRangeProp(&range, 0, 7, 109);
         TextRange zero;
         std::memset(&zero, 0, sizeof zero);
         return std::memcmp(&range, &zero, sizeof range) == 0;
       }},
      {"HostSetTextRangeProp", [](int32_t) { HostSetTextRangeProp(0, 7, 109, &kRange); return true; }},
      {"HostGetStringProp", [](int32_t) { return HostGetStringProp(0, 7, 20) == nullptr; }},
      {"HostSetStringProp", [=](int32_t s) { return isStatus(HostSetStringProp(0, 7, 108, ""), s); }},
      {"HostGetIntsProp",
       [](int32_t) {
         IntList list = HostGetIntsProp(7, 8, 1345);
         return list.count == 0 && list.values == nullptr;
       }},
      {"HostSetIntsProp", [](int32_t) { HostSetIntsProp(7, 8, 1345, &kInts); return true; }},
      {"HostGetText",
       [](int32_t) {
         TextItemList list = HostGetText(7, &kRange, 1);
         return list.count == 0 && list.items == nullptr;
       }},
      {"HostAddRows", [=](int32_t s) { return isStatus(HostAddRows(7, 8, 1238, 1), s); }},
      {"HostSelectTableCells", [=](int32_t s) { return isStatus(HostSelectTableCells(7, 8, 0, 0, 0, 2), s); }},
      {"HostNewTable", [](int32_t) { return HostNewTable(7, "Format A", 2, 1, 1, 0, &kLocation) == 0; }},
      {"HostDefineAndAddCommand",
       [](int32_t) { return HostDefineAndAddCommand(3, 1, "Cmd", "Label", "") == 0; }},
      {"HostAttachClient", [](int32_t) { HostAttachClient(nullptr, 0x14000000, nullptr); return true; }},
  };
}

// Results the host hands out even with a failure status, so that the
// operations must both drop them and release their blocks.
void ScriptResults(fake::Api& api) {
  api.idResult = 42;
  api.intResult = 5;
  api.stringResult = "host text";
  api.textLocResult = {3, 4};
  api.textRangeResult = {{3, 4}, {3, 9}};
  api.intsResult = {10, 20};
  api.propertyListResult = [] { return sample::List(HostBlockAlloc); };
  api.textItemsResult = [] { return sample::TextItems(HostBlockAlloc); };
}

TEST_F(HostOperations, EveryOperationFailsWithItsFailureValueAndLastError) {
  ScriptResults(api);
  struct Scenario {
    const char* what;
    HRESULT result;
    int32_t status;
    int32_t lastError;
    int32_t statusResult;  // what status-returning operations return
  };
  const Scenario scenarios[] = {
      {"host busy", RPC_E_SERVERCALL_RETRYLATER, 0, -88, -1},
      {"COM failure", E_FAIL, 0, -1, -1},
      {"host status", S_OK, 7, 7, 7},
      {"negative host status", S_OK, -3, -3, -3},
  };
  for (const Scenario& scenario : scenarios) {
    api.result = scenario.result;
    api.status = scenario.status;
    for (const Operation& operation : EveryOperation()) {
      SCOPED_TRACE(std::string(scenario.what) + ": " + operation.name);
      size_t callsBefore = api.calls.size();
      uint32_t failuresBefore = HostFailureCount();
      EXPECT_TRUE(operation.returnsFailure(scenario.statusResult));
      EXPECT_EQ(HostLastError(), scenario.lastError);
      EXPECT_EQ(HostFailureCount(), failuresBefore + 1);
      EXPECT_EQ(api.calls.size(), callsBefore + 1) << "called exactly once, never retried";
    }
  }
  // Host failures still released what the host handed out (TearDown checks).
}

TEST_F(HostOperations, EveryOperationFailsWithoutTouchingTheHostWhenNotConnected) {
  ScriptResults(api);
  HostSetApi(nullptr);
  for (const Operation& operation : EveryOperation()) {
    SCOPED_TRACE(operation.name);
    HostSetApi(&api);
    api.status = 9;
    HostGetIntProp(0, 0, 1);  // leaves last error 9
    HostSetApi(nullptr);
    EXPECT_TRUE(operation.returnsFailure(-1));
    EXPECT_EQ(HostLastError(), -1);
  }
  EXPECT_EQ(api.calls.size(), EveryOperation().size());  // only the priming calls
}

TEST_F(HostOperations, StringResultsAreFreshCopiesWithNullAndEmptyKeptApart) {
  api.status = 0;
  api.stringResult = nullptr;
  EXPECT_EQ(HostGetStringProp(0, 0, 89), nullptr);

  api.stringResult = "";
  char* empty = HostGetStringProp(0, 0, 89);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  MemFree(empty);

  api.stringResult = "C:\\Program Files\\Host";
  char* home = HostGetStringProp(0, 0, 89);
  EXPECT_STREQ(home, "C:\\Program Files\\Host");
  MemFree(home);
  EXPECT_EQ(Frees(), 2u) << "each host string freed once, no free for NULL";
  EXPECT_EQ(api.numbers, (std::vector<int32_t>{89, 89, 89}));
}

TEST_F(HostOperations, ZeroResultWithSuccessLeavesTheLastErrorAlone) {
  api.status = 11;
  HostGetIdProp(0, 7, 120);
  ASSERT_EQ(HostLastError(), 11);
  api.status = 0;
  api.idResult = 0;
  uint32_t failures = HostFailureCount();
  EXPECT_EQ(HostGetNamedObject(7, 37, "Unknown"), 0u);
  EXPECT_EQ(HostLastError(), 11);
  EXPECT_EQ(HostFailureCount(), failures);
  api.idResult = 0x25000003;
  EXPECT_EQ(HostGetNamedObject(7, 37, "Format A"), 0x25000003u);
  EXPECT_EQ(HostLastError(), 11);
}

TEST_F(HostOperations, ValuesComeBackOnSuccess) {
  api.status = 0;
  ScriptResults(api);
  TextRange range;
  EXPECT_EQ(HostGetTextRangeProp(&range, 0, 7, 109), &range);
  EXPECT_EQ(range.end.offset, 9);
  EXPECT_EQ(HostGetTextLocProp(7, 8, 879).offset, 4);
  EXPECT_EQ(HostAlert("Sure?", 4), 5);
  EXPECT_EQ(HostSetIntProp(7, 7, 155, 1), 0);

  IntList ints = HostGetIntsProp(7, 8, 1345);
  ASSERT_EQ(ints.count, 2u);
  EXPECT_EQ(ints.values[1], 20);
  MemFree(ints.values);
  EXPECT_EQ(Frees(), 1u);

  int32_t chosen = -5;
  api.intResult = 2;
  EXPECT_EQ(HostScrollListPrompt(&chosen, "Pick a tag", nullptr, -1), 0);
  EXPECT_EQ(chosen, 2);
  api.intResult = -1;  // the user cancelled
  chosen = -5;
  EXPECT_EQ(HostScrollListPrompt(&chosen, "Pick a tag", nullptr, -1), -1);
  EXPECT_EQ(chosen, -5);

  const int32_t codes[] = {259, 260};
  api.numbers.clear();
  EXPECT_EQ(HostRunCommandCodes(2, codes), 0);
  EXPECT_EQ(api.numbers, (std::vector<int32_t>{259, 260}));
}

TEST_F(HostOperations, ListsAreCopiedAndEveryHostBlockFreedOnce) {
  api.status = 0;
  ScriptResults(api);
  uint64_t start = CoTaskMemLiveBlocks();
  PropertyList reference = sample::List(HostBlockAlloc);
  uint64_t blocksPerList = CoTaskMemLiveBlocks() - start;

  PropertyList props = HostGetProps(7, 8);
  EXPECT_EQ(sample::Describe(props), sample::Describe(reference));
  EXPECT_EQ(Frees(), blocksPerList);
  FreePropertyList(&props);
  ReleasePropertyList(&reference, HostBlockFree);

  TextItemList items = HostGetText(7, nullptr, 1);
  ASSERT_EQ(items.count, 3u);
  EXPECT_STREQ(items.items[2].u.string, "two");
  FreeTextItemList(&items);
}

TEST_F(HostOperations, HostOwnedResultsAreNeverFreedNotEvenNestedStrings) {
  HostSetOwnsResults(1);
  api.keepBlocks = true;
  api.status = 0;
  ScriptResults(api);
  char* text = HostGetStringProp(0, 7, 20);
  IntList ints = HostGetIntsProp(7, 8, 1345);
  PropertyList props = HostGetProps(7, 8);
  TextItemList items = HostGetText(7, nullptr, 1);
  PropertyList* returned = nullptr;
  HostOpenDocument("a.fm", nullptr, &returned);
  api.status = 4;  // failures too
  MemFree(HostGetStringProp(0, 7, 20));
  EXPECT_EQ(Frees(), 0u);
  EXPECT_STREQ(text, "host text");
  EXPECT_EQ(sample::Describe(*returned), sample::Describe(props));
  MemFree(text);
  MemFree(ints.values);
  FreePropertyList(&props);
  FreeTextItemList(&items);
}

TEST_F(HostOperations, OpenDocumentEmptiesTheCallersListAndRefillsTheModuleList) {
  api.status = 0;
  api.idResult = 0x01000005;
  api.propertyListResult = [] {
    PropertyList list = {1, static_cast<PropEntry*>(CoTaskMemAlloc(sizeof(PropEntry)))};
    std::memset(list.entries, 0, sizeof(PropEntry));
    list.entries[0].ident.code = 3;
    list.entries[0].value.type = kValueString;
    list.entries[0].value.u.string = fake::HostString("first");
    return list;
  };
  // The caller's own list is emptied before the copy-back.
  PropertyList mine = {0, nullptr};
  ASSERT_EQ(SetStringProperty(&mine, 1, "caller's"), 0);
  PropertyList* returned = &mine;
  EXPECT_EQ(HostOpenDocument("C:\\a.fm", nullptr, &returned), 0x01000005u);
  EXPECT_EQ(mine.count, 0u);
  EXPECT_EQ(mine.entries, nullptr);
  ASSERT_NE(returned, &mine);
  ASSERT_EQ(returned->count, 1u);
  EXPECT_STREQ(returned->entries[0].value.u.string, "first");
  PropertyList* moduleList = returned;

  // A second call replaces the module list's contents; a failed open still
  // hands back the host's return list.
  api.status = 6;
  EXPECT_EQ(HostOpenDocument("C:\\b.fm", nullptr, &returned), 0u);
  EXPECT_EQ(HostLastError(), 6);
  EXPECT_EQ(returned, moduleList);
  EXPECT_EQ(returned->count, 1u);

  // HostOpenFile passes {29: 1} and empties the module list afterwards.
  api.status = 0;
  EXPECT_EQ(HostOpenFile("C:\\KVOutput.fm", 0), 0x01000005u);
  EXPECT_EQ(api.params, (std::vector<std::pair<int32_t, int32_t>>{{29, 1}}));
  EXPECT_EQ(moduleList->count, 0u);
  EXPECT_EQ(moduleList->entries, nullptr);
}

TEST_F(HostOperations, OpenFileWithoutMemoryForItsParametersFailsWithMinus42) {
  MemFailNextAllocations(1);
  EXPECT_EQ(HostOpenFile("C:\\KVOutput.fm", 0), 0u);
  MemFailNextAllocations(0);
  EXPECT_EQ(HostLastError(), -42);
  EXPECT_TRUE(api.calls.empty());
}

TEST_F(HostOperations, SaveFileConvertsTheNameUnlessTheHostEncodingIsUtf8) {
  api.status = 0;
  api.idResult = 0x01000005;
  const char* name = "C:\\Reports\\Tabelle \x8A.fm";
  char* expected = HostTextToUtf8(name);
  EXPECT_EQ(HostSaveFile(0x01000005, name, 0), 0x01000005u);
  EXPECT_EQ(api.texts.back(), expected);
  EXPECT_TRUE(api.params.empty());
  MemFree(expected);

  SetHostEncoding("utf-8");
  HostSaveFile(0x01000005, "C:\\plain.fm", 0);
  SetHostEncoding("FrameRoman");
  EXPECT_EQ(api.texts.back(), "C:\\plain.fm");
}

TEST_F(HostOperations, CopiesThatCannotBeAllocatedFailAndStillFreeTheHostBlock) {
  api.status = 0;
  ScriptResults(api);
  MemFailNextAllocations(1);
  EXPECT_EQ(HostGetStringProp(0, 7, 20), nullptr);
  EXPECT_EQ(HostLastError(), -1);
  EXPECT_EQ(Frees(), 1u);

  MemFailNextAllocations(1);
  IntList ints = HostGetIntsProp(7, 8, 1345);
  EXPECT_EQ(ints.values, nullptr);
  EXPECT_EQ(HostLastError(), -1);

  for (uint32_t successes : {0u, 5u, 30u}) {
    MemFailNextAllocationsAfter(successes, 1);
    PropertyList props = HostGetProps(7, 8);
    MemFailNextAllocations(0);
    EXPECT_EQ(props.count, 0u);
    EXPECT_EQ(props.entries, nullptr);
    EXPECT_EQ(HostLastError(), -1);
  }

  // A document that opened keeps its id when only the return list is lost.
  api.idResult = 0x01000009;
  PropertyList* returned = nullptr;
  MemFailNextAllocations(1);
  EXPECT_EQ(HostOpenDocument("C:\\a.fm", nullptr, &returned), 0x01000009u);
  MemFailNextAllocations(0);
  ASSERT_NE(returned, nullptr);
  EXPECT_EQ(returned->count, 0u);
}

// Counts from the host that no block could hold with 32-bit sizes fail like a
// short allocation; the host's block is still freed.
TEST_F(HostOperations, CountsBeyondA32BitSizeFail) {
  SKIP_UNLESS_32_BIT_SIZES();
  api.status = 0;
  api.intsResult = {1, 2};
  api.intsCountOverride = 0x40000001u;
  IntList ints = HostGetIntsProp(7, 8, 1345);
  EXPECT_EQ(ints.count, 0u);
  EXPECT_EQ(ints.values, nullptr);
  EXPECT_EQ(HostLastError(), -1);
  EXPECT_EQ(Frees(), 1u);

  PropEntry entry = {};
  const PropertyList huge = {0x20000000u, &entry};  // 28-byte entries
  PropertyList copy = {1, &entry};
  EXPECT_EQ(CopyPropertyList(&copy, &huge, PluginBlockAlloc), -1);
  EXPECT_EQ(copy.count, 0u);
  EXPECT_EQ(copy.entries, nullptr);
}

}  // namespace
