// What the substitute host records and injects: failure rules, the scripted
// user, the console, the call trace, host blocks and the COM host object.
#include <gtest/gtest.h>

#include "api_helpers.h"

namespace gw::substitute::testing {
namespace {

using HostRecords = ApiTest;

TEST_F(HostRecords, NthCallFailsOnceWithTheGivenStatus) {
  Document& doc = host.NewDocument();
  ObjectId id = doc.Id();
  host.InjectFailure(FailureRule::NthCall("GetIntProp", 3, -77));
  PropIdent ident{kPropBulkEdit, nullptr};
  std::vector<int32_t> statuses;
  for (int i = 0; i < 4; ++i) {
    int32_t status = -1;
    int32_t value = 5;
    ASSERT_EQ(api->GetIntProp(id, id, &ident, &status, &value), S_OK);
    statuses.push_back(status);
    if (status != 0) {
      EXPECT_EQ(value, 0);
    }
  }
  EXPECT_EQ(statuses, (std::vector<int32_t>{0, 0, -77, 0}));
  // Other methods do not count.
  EXPECT_EQ(host.CallsOf("GetIntProp").size(), 4u);
}

TEST_F(HostRecords, EveryCallAndPropertyRulesMatchOnlyTheirCalls) {
  Document& doc = host.NewDocument();
  host.InjectFailure(FailureRule::Every("SaveDocument"));
  host.InjectFailure(FailureRule::ForProperty("GetStringProp", kPropHomeDirectory, -5));
  for (int i = 0; i < 3; ++i) {
    int32_t status = -1;
    ObjectId saved = 9;
    ASSERT_EQ(api->SaveDocument(doc.Id(), "C:\\x.fm", nullptr, nullptr, &status, &saved), S_OK);
    EXPECT_EQ(status, kStatusInjected);
    EXPECT_EQ(saved, 0u);
  }
  EXPECT_TRUE(store.SavedPaths().empty());
  PropIdent home{kPropHomeDirectory, nullptr};
  int32_t status = -1;
  char* text = nullptr;
  ASSERT_EQ(api->GetStringProp(0, 0, &home, &status, &text), S_OK);
  EXPECT_EQ(status, -5);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(GetString(0, doc.Id(), kPropFileName), "");  // another code passes
  host.ClearFailures();
  EXPECT_EQ(GetString(0, 0, kPropHomeDirectory), "C:\\Gridwright");
}

TEST_F(HostRecords, ComErrorsLeaveTheStatusAloneAndAreStillTraced) {
  host.InjectFailure(FailureRule::NthCall("GetIdProp", 1).WithHresult(RPC_E_SERVERCALL_RETRYLATER));
  host.InjectFailure(FailureRule::NthCall("*", 2).WithHresult(E_FAIL));
  PropIdent active{kPropActiveDocument, nullptr};
  int32_t status = -1;
  ObjectId value = 0;
  EXPECT_EQ(api->GetIdProp(0, 0, &active, &status, &value), RPC_E_SERVERCALL_RETRYLATER);
  EXPECT_EQ(status, -1);
  int32_t answer = 0;
  EXPECT_EQ(api->ConsoleWrite("lost", &status), E_FAIL);  // the second call of any method
  EXPECT_EQ(host.ConsoleText(), "");
  host.User().ExpectAlert(std::nullopt, 0);
  EXPECT_EQ(api->Alert("fine", 2, &status, &answer), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(host.CallNames(), (std::vector<std::string>{"GetIdProp", "ConsoleWrite", "Alert"}));
  EXPECT_EQ(host.CallTrace()[0], "GetIdProp(0x00000000, 0x00000000, 51)");
}

TEST_F(HostRecords, TheScriptAnswersInOrderAndCatchesTheUnexpected) {
  host.User()
      .ExpectAlert("Are you sure?", 0)
      .ExpectPrompt("Choose a list type", 2)
      .ExpectAlertOfKind(4, std::nullopt, 1);
  int32_t status = -1;
  int32_t answer = -5;
  ASSERT_EQ(api->Alert("Are you sure?", 1, &status, &answer), S_OK);
  EXPECT_EQ(answer, 0);
  char empty[] = "Empty";
  char used[] = "Table Tags in Use";
  char all[] = "All Table Tags";
  char* choices[] = {empty, used, all};
  StringList items{3, choices};
  int32_t chosen = 0;
  ASSERT_EQ(api->ScrollListPrompt("Choose a list type", &items, -1, &status, &chosen), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(chosen, 2);
  // Not the next expectation (kind 4 expected): unexpected, answered no.
  ASSERT_EQ(api->Alert("Surprise", 1, &status, &answer), S_OK);
  EXPECT_EQ(answer, 1);
  ASSERT_EQ(api->Alert("Fix this table heading?", 4, &status, &answer), S_OK);
  EXPECT_EQ(answer, 1);
  // Nothing left: a prompt is cancelled.
  ASSERT_EQ(api->ScrollListPrompt("Choose a table tag.", &items, 0, &status, &chosen), S_OK);
  EXPECT_EQ(chosen, UserScript::kCancel);
  EXPECT_EQ(host.User().Problems(),
            "unexpected alert (kind 1): \"Surprise\"\nunexpected prompt: \"Choose a table tag.\"\n");
  EXPECT_EQ(host.User().Transcript().size(), 5u);
  EXPECT_EQ(host.User().Transcript()[1].items.size(), 3u);
}

TEST_F(HostRecords, UnusedExpectationsAreProblemsToo) {
  host.User().ExpectAlert("Never shown", 0);
  EXPECT_EQ(host.User().Problems(), "expected alert never shown: \"Never shown\"\n");
  host.User().Clear();
  EXPECT_EQ(host.User().Problems(), "");
}

TEST_F(HostRecords, ConsoleKeepsTextAndLines) {
  int32_t status = -1;
  ASSERT_EQ(api->ConsoleWrite("Could not open file:", &status), S_OK);
  ASSERT_EQ(api->ConsoleWrite("C:\\a.fm", &status), S_OK);
  ASSERT_EQ(api->ConsoleWrite("\n\xC3\xA9\n", &status), S_OK);
  EXPECT_EQ(host.ConsoleText(), "Could not open file:C:\\a.fm\n\xC3\xA9\n");
  EXPECT_EQ(host.ConsoleLines(), (std::vector<std::string>{"Could not open file:C:\\a.fm", "\xC3\xA9"}));
}

TEST_F(HostRecords, EveryBlockComesFromTheTaskAllocatorAndBalances) {
  Document& doc = host.NewDocument();
  uint64_t badFrees = CoTaskMemBadFrees();
  EXPECT_EQ(GetString(0, 0, kPropHomeDirectory), "C:\\Gridwright");  // freed with CoTaskMemFree
  Table* table = doc.AddTable("Format A", 3, 1, 0, 0, {doc.LastParagraph().id, 0});
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(GetInts(doc.Id(), table->id, kPropColumnWidths).size(), 3u);
  EXPECT_EQ(ParagraphText(doc.Id(), doc.FindCell(doc.CellAt(table->id, 0, 0))->paragraphs[0]), "");
  EXPECT_GT(host.BlocksHandedOut(), 0u);
  EXPECT_EQ(CoTaskMemBadFrees(), badFrees);
  EXPECT_EQ(host.LeakedBlocks(), 0);
}

TEST_F(HostRecords, AllocationFailureIsAHostStatusAndLeaksNothing) {
  Document& doc = host.NewDocument();
  ObjectId format = doc.FindParagraphFormat("Body")->id;
  int32_t status = -1;
  PropertyList props{0, nullptr};
  CoTaskMemFailNext(1);
  ASSERT_EQ(api->GetProps(doc.Id(), format, &status, &props), S_OK);
  EXPECT_EQ(status, kStatusNoMemory);
  EXPECT_EQ(props.count, 0u);
  EXPECT_EQ(props.entries, nullptr);
  EXPECT_EQ(host.LeakedBlocks(), 0);
}

TEST(HostOwnsResults, HostKeepsAndFreesItsBlocks) {
  MemoryFileStore store;
  HostOptions options;
  options.memoryModeAnswer = S_OK;
  uint64_t badFrees = CoTaskMemBadFrees();
  uint64_t live = CoTaskMemLiveBlocks();
  {
    SubstituteHost host(store, options);
    void* object = nullptr;
    ASSERT_EQ(host.HostObject()->QueryInterface(kIidHostMemoryMode, &object), S_OK);
    auto* mode = static_cast<IHostMemoryMode*>(object);
    EXPECT_EQ(mode->SetResultOwnership(1), S_OK);
    mode->Release();
    ASSERT_TRUE(host.HostOwnsResults());
    PropIdent home{kPropHomeDirectory, nullptr};
    int32_t status = -1;
    char* text = nullptr;
    ASSERT_EQ(host.Api()->GetStringProp(0, 0, &home, &status, &text), S_OK);
    EXPECT_STREQ(text, "C:\\Gridwright");
    EXPECT_EQ(host.HostOwnedBlocks(), 1u);
    EXPECT_EQ(host.LeakedBlocks(), 0);
  }
  EXPECT_EQ(CoTaskMemLiveBlocks(), live);
  EXPECT_EQ(CoTaskMemBadFrees(), badFrees);  // the plug-in side freed none here
}

TEST(HostObject, AnswersTheFifteenInterfacesAndCanWithholdOne) {
  MemoryFileStore store;
  HostOptions options;
  options.withheldInterfaces = {kHostApiInterfaceIndex};
  SubstituteHost host(store, options);
  std::vector<IUnknown*> held;
  for (int i = 0; i < kHostInterfaceCount; ++i) {
    void* object = reinterpret_cast<void*>(1);
    HRESULT hr = host.HostObject()->QueryInterface(kHostInterfaceIids[i], &object);
    if (i == kHostApiInterfaceIndex) {
      EXPECT_EQ(hr, E_NOINTERFACE);
      EXPECT_EQ(object, nullptr);
    } else {
      ASSERT_EQ(hr, S_OK) << i;
      held.push_back(static_cast<IUnknown*>(object));
    }
  }
  EXPECT_EQ(host.OutstandingReferences(), kHostInterfaceCount - 1);
  for (IUnknown* object : held) object->Release();
  EXPECT_EQ(host.OutstandingReferences(), 0);
  void* object = nullptr;
  EXPECT_EQ(host.HostObject()->QueryInterface(kIidFrameMakerNotifications0, &object), E_NOINTERFACE);
  // The memory-mode answer is the configured one.
  ASSERT_EQ(host.HostObject()->QueryInterface(kIidHostMemoryMode, &object), S_OK);
  EXPECT_EQ(static_cast<IHostMemoryMode*>(object)->SetResultOwnership(1), E_FAIL);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_FALSE(host.HostOwnsResults());
}

}  // namespace
}  // namespace gw::substitute::testing
