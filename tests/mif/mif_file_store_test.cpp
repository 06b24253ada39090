#include "mif/mif_file_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::mif {
namespace {

namespace fs = std::filesystem;
namespace sub = gw::substitute;
using sub::StoreError;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class MifFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("gw_mif_store_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "guide");
    chapter_ = ReadText(std::string(GW_MIF_TEST_DATA) + "/chapter.mif");
    WriteText(root_ / "guide" / "ch1.mif", chapter_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::unique_ptr<sub::Document> MustLoad(MifFileStore& store, std::string_view host) {
    sub::LoadResult loaded = store.Load(host);
    if (auto* error = std::get_if<StoreError>(&loaded)) {
      ADD_FAILURE() << error->message;
      return nullptr;
    }
    return std::move(std::get<std::unique_ptr<sub::Document>>(loaded));
  }

  fs::path root_;
  std::string chapter_;
};

TEST_F(MifFileStoreTest, HostReadsALoadedDocumentThroughItsApi) {
  MifFileStore store{HostPaths(root_)};
  sub::SubstituteHost host(store);
  sub::Document* doc = host.OpenFromStore("g:/GUIDE/ch1.mif");
  ASSERT_NE(doc, nullptr);
  IFrameMakerApi* api = host.Api();
  const auto idProp = [&](ObjectId object, int32_t code) {
    PropIdent prop{code, nullptr};
    int32_t status = -1;
    ObjectId value = 0;
    EXPECT_EQ(api->GetIdProp(object == doc->Id() ? 0 : doc->Id(), object, &prop, &status, &value), S_OK);
    EXPECT_EQ(status, 0);
    return value;
  };
  const auto stringProp = [&](ObjectId object, int32_t code) {
    PropIdent prop{code, nullptr};
    int32_t status = -1;
    char* value = nullptr;
    EXPECT_EQ(api->GetStringProp(object == doc->Id() ? 0 : doc->Id(), object, &prop, &status, &value), S_OK);
    std::string text = value != nullptr ? value : "";
    CoTaskMemFree(value);
    return text;
  };
  std::vector<std::string> tags;
  for (ObjectId table = idProp(doc->Id(), 120); table != 0; table = idProp(table, 1337))
    tags.push_back(stringProp(table, 1275));
  EXPECT_EQ(tags, (std::vector<std::string>{"Fancy", "Format A", "Ghost"}));
  std::vector<std::string> formats;
  for (ObjectId format = idProp(doc->Id(), 125); format != 0; format = idProp(format, 1276)) {
    formats.push_back(stringProp(format, 1275));
  }
  EXPECT_EQ(formats, (std::vector<std::string>{"Format A", "Unused", "Fancy"}));

  // Closing the document drops the tree kept for saving it, so that a book
  // walk holds one document's tree at a time.
  const ObjectId id = doc->Id();
  EXPECT_TRUE(store.IsBound(id));
  int32_t status = -1;
  EXPECT_EQ(api->CloseDocument(id, 1, &status), S_OK);
  EXPECT_FALSE(store.IsBound(id));
}

TEST_F(MifFileStoreTest, SavesWriteBackTheFileWithExactlyTheChanges) {
  MifFileStore store{HostPaths(root_)};
  std::unique_ptr<sub::Document> doc = MustLoad(store, "G:\\guide\\ch1.mif");
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(store.Save("G:\\guide\\ch1.mif", *doc).has_value());
  EXPECT_EQ(ReadText(root_ / "guide" / "ch1.mif"), chapter_);

  ASSERT_TRUE(doc->DeleteTableFormat(doc->FindTableFormat("Unused")->id));
  std::optional<StoreError> saved = store.Save("G:\\guide\\ch1.mif", *doc);
  ASSERT_FALSE(saved.has_value()) << saved->message;
  std::string after = ReadText(root_ / "guide" / "ch1.mif");
  EXPECT_EQ(after.find("Unused"), std::string::npos);
  EXPECT_EQ(
      after.size(),
      chapter_.size() -
          std::string("\n <TblFormat <TblTag `Unused'> <TblAlignment Center> <TblSpBefore  12.0 pt>> # never used")
              .size());

  // Saving twice in a row works: the store knows the file it wrote.
  doc->FindTableFormat("Fancy")->properties[1291] = sub::PropertyValue::Int(3);
  saved = store.Save("G:\\guide\\ch1.mif", *doc);
  ASSERT_FALSE(saved.has_value()) << saved->message;
  std::unique_ptr<sub::Document> again = MustLoad(store, "G:\\guide\\ch1.mif");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->FindTableFormat("Fancy")->properties.at(1291).number, 3);
  EXPECT_EQ(again->TableFormatNames(), (std::vector<std::string>{"Format A", "Fancy"}));
  // Three saves into one folder leave it to be flushed once, at the end.
  EXPECT_EQ(store.Folders().Pending(), 1u);
  EXPECT_EQ(store.Folders().Synced(), 0u);
  store.SyncFolders();
  EXPECT_EQ(store.Folders().Pending(), 0u);
  EXPECT_EQ(store.Folders().Synced(), 1u);
}

TEST_F(MifFileStoreTest, MalformedFileDoesNotOpenAndIsNeverWrittenOver) {
  const std::string broken = "<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag `A>\n";
  WriteText(root_ / "guide" / "broken.mif", broken);
  MifFileStore store{HostPaths(root_), MifStoreOptions{true}};
  sub::LoadResult loaded = store.Load("G:\\guide\\broken.mif");
  ASSERT_TRUE(std::holds_alternative<StoreError>(loaded));
  const StoreError& error = std::get<StoreError>(loaded);
  EXPECT_EQ(error.kind, StoreError::Kind::kUnreadable);
  EXPECT_NE(error.message.find((root_ / "guide" / "broken.mif").string() + ":3:"), std::string::npos) << error.message;

  std::unique_ptr<sub::Document> fresh = sub::Document::NewStandard("G:\\guide\\broken.mif");
  std::optional<StoreError> saved = store.Save("G:\\guide\\broken.mif", *fresh);
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->kind, StoreError::Kind::kFailed);
  EXPECT_EQ(ReadText(root_ / "guide" / "broken.mif"), broken);

  sub::SubstituteHost host(store);
  EXPECT_EQ(host.OpenFromStore("G:\\guide\\broken.mif"), nullptr) << "the host sees a failed open";
}

TEST_F(MifFileStoreTest, ExistingFilesAreReplacedOnlyWhenReadAndUnchanged) {
  std::unique_ptr<sub::Document> fresh = sub::Document::NewStandard("G:\\guide\\ch1.mif");
  MifFileStore store{HostPaths(root_)};
  std::optional<StoreError> saved = store.Save("G:\\guide\\ch1.mif", *fresh);
  ASSERT_TRUE(saved.has_value()) << "never read: not replaced";
  EXPECT_NE(saved->message.find("not read"), std::string::npos) << saved->message;
  EXPECT_EQ(ReadText(root_ / "guide" / "ch1.mif"), chapter_);

  std::unique_ptr<sub::Document> doc = MustLoad(store, "G:\\guide\\ch1.mif");
  ASSERT_NE(doc, nullptr);
  saved = store.Save("G:\\guide\\ch1.mif", *fresh);
  ASSERT_TRUE(saved.has_value()) << "another document would replace the one read";

  WriteText(root_ / "guide" / "ch1.mif", chapter_ + "# edited elsewhere\n");
  saved = store.Save("G:\\guide\\ch1.mif", *doc);
  ASSERT_TRUE(saved.has_value());
  EXPECT_NE(saved->message.find("changed on disk"), std::string::npos) << saved->message;
  EXPECT_EQ(ReadText(root_ / "guide" / "ch1.mif"), chapter_ + "# edited elsewhere\n");

  // A new file, and saving it again, are fine; so is a copy under a new name.
  EXPECT_FALSE(store.Save("G:\\guide\\new.mif", *fresh).has_value());
  EXPECT_FALSE(store.Save("G:\\guide\\new.mif", *fresh).has_value());
  EXPECT_FALSE(store.Save("G:\\guide\\copy.mif", *doc).has_value());
  EXPECT_TRUE(store.Exists("g:\\guide\\NEW.mif"));
  EXPECT_FALSE(store.Exists("G:\\guide\\missing.mif"));
}

TEST_F(MifFileStoreTest, FailedSaveLeavesTheOldFileWhole) {
  MifFileStore store{HostPaths(root_)};
  std::unique_ptr<sub::Document> doc = MustLoad(store, "G:\\guide\\ch1.mif");
  ASSERT_NE(doc, nullptr);
  doc->FindTableFormat("Fancy")->properties[1291] = sub::PropertyValue::Int(3);
  Result<ChangeRecord> pending = store.PendingChanges(*doc);
  ASSERT_TRUE(pending.IsOk());
  ASSERT_FALSE(AllEdits(pending.Value()).empty());

  // Files may grow to 1000 bytes only: the write stops partway.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::optional<StoreError> saved = store.Save("G:\\guide\\ch1.mif", *doc);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previousHandler);

  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->kind, StoreError::Kind::kFailed);
  EXPECT_EQ(ReadText(root_ / "guide" / "ch1.mif"), chapter_);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(root_ / "guide")) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u) << "no temporary file is left behind";

  // Once the disk has room again, the same save succeeds, and writes what
  // it would have written first: the failed attempt left no trace.
  saved = store.Save("G:\\guide\\ch1.mif", *doc);
  EXPECT_FALSE(saved.has_value()) << saved->message;
  EXPECT_EQ(AllEdits(store.LastSaved(doc->Id())), AllEdits(pending.Value()));
}

TEST_F(MifFileStoreTest, MissingFilesAndBooks) {
  MifFileStore store{HostPaths(root_)};
  sub::LoadResult missing = store.Load("G:\\guide\\nothing.mif");
  ASSERT_TRUE(std::holds_alternative<StoreError>(missing));
  EXPECT_EQ(std::get<StoreError>(missing).kind, StoreError::Kind::kNotFound);
  sub::LoadResult offDrive = store.Load("C:\\guide\\ch1.mif");
  ASSERT_TRUE(std::holds_alternative<StoreError>(offDrive));
  EXPECT_EQ(std::get<StoreError>(offDrive).kind, StoreError::Kind::kNotFound);

  WriteText(root_ / "guide" / "guide.book",
            "<Book 7.00>\n<BookComponent <FileName `<c\\>ch1.mif'>>\n<BookComponent <FileName `<c\\>CH2.mif'>>\n");
  MifFileStore::BookResult book = store.LoadBook("G:\\guide\\guide.book");
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<sub::Book>>(book));
  sub::Book& loaded = *std::get<std::unique_ptr<sub::Book>>(book);
  ASSERT_EQ(loaded.TopLevel().size(), 2u);
  EXPECT_EQ(loaded.FindComponent(loaded.TopLevel()[0])->fileName, "G:\\guide\\ch1.mif");
  EXPECT_TRUE(store.Exists(loaded.FindComponent(loaded.TopLevel()[0])->fileName));
  EXPECT_FALSE(store.Exists(loaded.FindComponent(loaded.TopLevel()[1])->fileName));

  sub::LoadResult asDocument = store.Load("G:\\guide\\guide.book");
  ASSERT_TRUE(std::holds_alternative<StoreError>(asDocument));
  EXPECT_EQ(std::get<StoreError>(asDocument).kind, StoreError::Kind::kUnreadable);

  EXPECT_FALSE(store.SaveBook("G:\\guide\\copy.book", loaded).has_value());
  MifFileStore::BookResult copy = store.LoadBook("G:\\guide\\copy.book");
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<sub::Book>>(copy));
  EXPECT_EQ(std::get<std::unique_ptr<sub::Book>>(copy)->TopLevel().size(), 2u);
}

// A file read ahead of a walk is used only while it is unchanged on disk; one
// rewritten after it was read is read again, so its save keeps the edit.
TEST_F(MifFileStoreTest, ReadAheadIsUsedOnlyWhileTheFileIsUnchanged) {
  WriteText(root_ / "guide" / "ch2.mif", chapter_);
  WriteText(root_ / "guide" / "ch3.mif", chapter_);
  MifFileStore store{HostPaths(root_), MifStoreOptions{false, 2}};
  store.ExpectReads({"G:\\guide\\ch1.mif", "G:\\guide\\ch2.mif", "G:\\guide\\ch3.mif"});
  ASSERT_NE(MustLoad(store, "G:\\guide\\ch1.mif"), nullptr);
  store.AwaitReadsAhead();  // ch2 has been read
  ASSERT_NE(MustLoad(store, "G:\\guide\\ch2.mif"), nullptr);
  EXPECT_EQ(store.Reads().readAhead, 1u);
  store.AwaitReadsAhead();  // ch3 has been read
  const std::string theirs = chapter_ + "# edited elsewhere\n";
  WriteText(root_ / "guide" / "ch3.mif", theirs);
  std::unique_ptr<sub::Document> third = MustLoad(store, "G:\\guide\\ch3.mif");
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(store.Reads().readAhead, 1u);
  EXPECT_EQ(store.Reads().discarded, 1u);
  EXPECT_EQ(store.Reads().parsed, 3u);
  std::optional<StoreError> saved = store.Save("G:\\guide\\ch3.mif", *third);
  EXPECT_FALSE(saved) << saved->message;
  EXPECT_EQ(ReadText(root_ / "guide" / "ch3.mif"), theirs);
}

}  // namespace
}  // namespace gw::mif
