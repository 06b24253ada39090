// The outcome of a command: what its facts decide, and the runs of the
// command line where the host fails, the input is no regular file, a chapter
// is read-only, or file names are not ASCII.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/outcome.h"
#include "cli_test_support.h"
#include "substitute/substitute_host.h"

namespace gw::cli::testing {
namespace {

TEST(Outcome, AnythingThatFailedWithholdsTheSaveAndExitsWithFour) {
  EXPECT_EQ(Decide({}).code, ExitCode::kDone);
  EXPECT_TRUE(Decide({}).save);
  CommandFacts declined;
  declined.declined = true;
  EXPECT_EQ(Decide(declined).code, ExitCode::kDeclined);
  EXPECT_TRUE(Decide(declined).save);  // what was done before the "no" stays
  for (auto set : {+[](CommandFacts& f) { f.stopped = true; }, +[](CommandFacts& f) { f.failedHostCalls = 1; },
                   +[](CommandFacts& f) { f.problemLines = 1; }, +[](CommandFacts& f) { f.warning = true; },
                   +[](CommandFacts& f) { f.saveFailed = true; }, +[](CommandFacts& f) { f.unopenedFiles = 1; }}) {
    CommandFacts facts;
    facts.declined = true;
    set(facts);
    EXPECT_EQ(Decide(facts).code, ExitCode::kFailed);
    EXPECT_FALSE(Decide(facts).save);
  }
  CommandFacts unreadable;
  unreadable.fileUnreadable = true;
  unreadable.failedHostCalls = 2;
  EXPECT_EQ(Decide(unreadable).code, ExitCode::kUnreadable);
  // In a walk, a book document that did not open holds back nothing else.
  CommandFacts missing;
  missing.unopenedFiles = 1;
  EXPECT_TRUE(MayWriteDuringCommand(missing));
  missing.failedHostCalls = 1;
  EXPECT_FALSE(MayWriteDuringCommand(missing));
}

// Runs with host calls failing as the rule says.
class FailingHost : public SampleBook {
 protected:
  RunResult RunFailing(substitute::FailureRule rule, std::vector<std::string> arguments) {
    SetSessionProbe({[rule](substitute::SubstituteHost& host) { host.InjectFailure(rule); }, {}, {}});
    RunResult result = Run(std::move(arguments));
    SetSessionProbe({});
    return result;
  }
};

TEST_F(FailingHost, AHalfDoneDocumentIsNotSavedAndTheRunFails) {
  auto before = Snapshot();
  // Fix Table Headings cannot add the heading row: the cut row goes back,
  // and the file keeps its first row in any case.
  RunResult headings =
      RunFailing(substitute::FailureRule::Every("AddRows"), {"fix-headings", "--yes", "{dir}/manual/intro.mif"});
  EXPECT_EQ(headings.code, ExitCode::kFailed);
  EXPECT_NE(headings.err.find("intro.mif was not saved because the command failed"), std::string::npos)
      << headings.err;
  // Convert cannot read a format's alignment: the table would keep its old one.
  RunResult convert = RunFailing(substitute::FailureRule::ForProperty("GetIntProp", 1282),
                                 {"convert", "--yes", "--map", "Options=Wide", "{dir}/manual/commands.mif"});
  EXPECT_EQ(convert.code, ExitCode::kFailed);
  EXPECT_NE(convert.err.find("host operation"), std::string::npos) << convert.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailingHost, ABookWalkSavesOnlyWhatWasFinishedAndNamesTheRest) {
  RunResult clean = Run({"remove-overrides", "--yes", "{dir}/manual/manual.book"});
  ASSERT_EQ(clean.code, ExitCode::kDone) << clean.err;
  auto intended = Snapshot();
  std::filesystem::remove_all(Path("manual"));
  std::filesystem::copy(std::filesystem::path(GRIDWRIGHT_SAMPLES_DIR) / "manual", Path("manual"));
  auto original = Snapshot();
  // Every call fails from the 1000th on: the walk is in a later chapter by then.
  substitute::FailureRule rule;
  rule.method = "*";
  rule.skip = 999;
  rule.times = substitute::FailureRule::kEveryTime;
  RunResult failed = RunFailing(rule, {"remove-overrides", "--yes", "{dir}/manual/manual.book"});
  EXPECT_EQ(failed.code, ExitCode::kFailed);
  size_t saved = 0;
  for (const auto& [name, bytes] : Snapshot()) {
    EXPECT_TRUE(bytes == original[name] || bytes == intended[name]) << name;
    if (bytes != original[name]) ++saved;
  }
  EXPECT_GT(saved, 0u);
  EXPECT_NE(failed.err.find("was not saved"), std::string::npos) << failed.err << failed.out;
}

// POSIX only: FIFOs, devices, modes, and UTF-8 file names (the Windows
// command line opens files through the narrow, code-page file functions).
#if !defined(_WIN32)
TEST_F(SampleBook, InputThatIsNoRegularFileIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(Path("pipe.mif").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/zero", Path("manual/zero.mif"));
  WriteAll(Path("manual/zero.book"), "<Book 7.00>\n<BookComponent\n <FileName `<c\\>zero.mif'>\n>\n");
  for (const char* file : {"/dev/zero", "{dir}/pipe.mif", "{dir}/manual/zero.book"}) {
    RunResult result = Run({"list-usage", file});
    EXPECT_EQ(result.code, ExitCode::kUnreadable) << file << ": " << result.err;
    EXPECT_NE(result.err.find("not a regular file"), std::string::npos) << result.err;
  }
  RunResult list = Run({"keep-listed", "--yes", "--list", "/dev/zero", "{dir}/manual/intro.mif"});
  EXPECT_EQ(list.code, ExitCode::kUnreadable) << list.err;
}

TEST_F(SampleBook, AReadOnlyChapterIsNotReplaced) {
  std::string glossary = Path("manual/glossary.mif");
  ASSERT_EQ(::chmod(glossary.c_str(), 0444), 0);
  auto before = Snapshot();
  RunResult result = Run({"delete-unused", "--yes", "{dir}/manual/glossary.mif"});
  EXPECT_EQ(result.code, ExitCode::kFailed);
  EXPECT_NE(result.err.find("read-only"), std::string::npos) << result.err;
  EXPECT_EQ(Snapshot(), before);
  struct stat info {};
  ASSERT_EQ(::stat(glossary.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);
}

TEST_F(SampleBook, NonAsciiFileNamesReachTheHostAndComeBackIntact) {
  const std::string resume = "R\xC3\xA9sum\xC3\xA9.mif";  // Résumé.mif
  std::filesystem::copy_file(Path("manual/intro.mif"), Path("manual/" + resume));
  RunResult report = Run({"list-usage", "{dir}/manual/" + resume});
  EXPECT_EQ(report.code, ExitCode::kDone) << report.err;
  EXPECT_EQ(report.out.substr(0, report.out.find('\n')), "Heading1: " + resume);
  // A MIF 7 book names it in FrameRoman (0x8E is é).
  WriteAll(Path("manual/cv.book"), "<Book 7.00>\n<BookComponent\n <FileName `<c\\>R\\x8e sum\\x8e .mif'>\n>\n"
                                   "<BookComponent\n <FileName `<c\\>Gon\\x8e .mif'>\n>\n");
  RunResult book = Run({"list-usage", "--individual", "{dir}/manual/cv.book"});
  EXPECT_NE(book.out.find("Heading1: " + resume), std::string::npos) << book.out;
  // The console's line names the missing one in UTF-8, converted once.
  EXPECT_NE(book.err.find("Gon\xC3\xA9.mif\n"), std::string::npos) << book.err;
}
#endif

}  // namespace
}  // namespace gw::cli::testing
