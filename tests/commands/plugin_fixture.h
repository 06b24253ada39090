// The fixture of the end-to-end command tests: a substitute host with an
// in-memory file store, the plug-in loaded into it and initialised as the host
// does at start-up (Initialize with code 1), and at the end the checks every
// test shares: no alert or prompt the test did not script, every scripted
// answer used, no fatal stop, and no host block or reference leaked.
//
//   class ConvertTablesTest : public PluginTest {};
//   TEST_F(ConvertTablesTest, AsksBeforeConverting) {
//     gw::substitute::Document& doc = NewDocument();
//     User().ExpectAlert("Are you sure you want to convert table formats?", 1);
//     Command(2);
//     ...
//   }
//
// A test that must prepare the host before Initialize (an existing menu, say)
// overrides BeforeInitialize; one that needs another initialisation code
// overrides InitializationCode.
#ifndef GRIDWRIGHT_TESTS_COMMANDS_PLUGIN_FIXTURE_H
#define GRIDWRIGHT_TESTS_COMMANDS_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "substitute/substitute_host.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<gw::substitute::SubstituteHost>(store_, HostConfiguration());
    BeforeInitialize();
    auto loaded = gw::substitute::PluginSession::Load(*host_, {GRIDWRIGHT_PLUGIN_PATH, GRIDWRIGHT_ICU_DATA_DIR});
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    session_ = std::move(loaded.value());
    ASSERT_EQ(session_->InitResult(), 0);
    ASSERT_EQ(session_->Initialize(InitializationCode()), S_OK);
    host_->ClearRecords();
  }

  void TearDown() override {
    if (session_ == nullptr) return;
    EXPECT_EQ(host_->User().Problems(), "");
    EXPECT_TRUE(session_->Faults().empty()) << session_->Faults().front();
    session_->Shutdown();
    EXPECT_EQ(host_->LeakedBlocks(), 0);
    EXPECT_EQ(host_->OutstandingReferences(), 0);
  }

  // ---- Hooks for derived fixtures ----
  virtual gw::substitute::HostOptions HostConfiguration() { return {}; }
  virtual void BeforeInitialize() {}
  virtual int32_t InitializationCode() { return 1; }

  // ---- Driving the plug-in as the host does ----
  HRESULT Command(int32_t number) { return session_->Command(number); }
  HRESULT ClientCall(const char* text) { return session_->ClientCall(text); }

  // ---- The host's state ----
  gw::substitute::SubstituteHost& Host() { return *host_; }
  gw::substitute::MemoryFileStore& Store() { return store_; }
  gw::substitute::UserScript& User() { return host_->User(); }
  gw::substitute::PluginSession& Session() { return *session_; }
  // A new standard document, open and active.
  gw::substitute::Document& NewDocument() { return host_->NewDocument(); }
  // A standard document stored under path (not opened).
  void PutDocument(const std::string& path) { store_.Put(path, *gw::substitute::Document::NewStandard(path)); }

  // The texts of the main-flow paragraphs of a document, in order (the empty
  // last paragraph included).
  std::vector<std::string> ParagraphTexts(ObjectId document) {
    std::vector<std::string> texts;
    gw::substitute::Document* doc = host_->FindDocument(document);
    if (doc == nullptr) return texts;
    for (ObjectId id : doc->MainFlowParagraphs()) texts.push_back(doc->FindParagraph(id)->text);
    return texts;
  }

 private:
  gw::substitute::MemoryFileStore store_;
  std::unique_ptr<gw::substitute::SubstituteHost> host_;
  std::unique_ptr<gw::substitute::PluginSession> session_;
};

#endif  // GRIDWRIGHT_TESTS_COMMANDS_PLUGIN_FIXTURE_H
