// End-to-end runs of every verb on a copy of the sample book.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "cli/verbs.h"
#include "cli_test_support.h"
#include "mif/host_paths.h"
#include "mif/mif_file_store.h"

namespace gw::cli::testing {
namespace {

std::string Transcript(const RunResult& result) {
  return result.out + "--- standard error ---\n" + result.err + "--- exit " +
         std::to_string(static_cast<int>(result.code)) + " ---\n";
}

// The tables part of `show`.
std::string TablesOf(const std::string& show) {
  size_t at = show.find("Tables (");
  return at == std::string::npos ? std::string() : show.substr(at);
}

struct GoldenCase {
  const char* expected;
  std::vector<std::string> arguments;
  ExitCode code;
};

void PrintTo(const GoldenCase& golden, std::ostream* os) { *os << golden.expected; }

class Verbs : public SampleBook, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Verbs, PrintWhatTheExpectedFileSays) {
  const GoldenCase& golden = GetParam();
  RunResult result = Run(golden.arguments);
  EXPECT_EQ(result.code, golden.code) << result.err;
  ExpectMatchesFile(Transcript(result), golden.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SampleBook, Verbs,
    ::testing::Values(
        GoldenCase{"list-usage-book.txt", {"list-usage", "{dir}/manual/manual.book"}, ExitCode::kDone},
        GoldenCase{
            "list-usage-individual.txt", {"list-usage", "--individual", "{dir}/manual/manual.book"}, ExitCode::kDone},
        GoldenCase{"list-usage-by-tag.txt", {"list-usage", "--by-tag", "{dir}/manual/manual.book"}, ExitCode::kDone},
        GoldenCase{"list-usage-document.txt", {"list-usage", "{dir}/manual/intro.mif"}, ExitCode::kDone},
        GoldenCase{
            "delete-unused-document.txt", {"delete-unused", "--yes", "{dir}/manual/glossary.mif"}, ExitCode::kDone},
        GoldenCase{"delete-unused-book.txt", {"delete-unused", "--yes", "{dir}/manual/manual.book"}, ExitCode::kDone},
        GoldenCase{"create-tag-list-document.txt",
                   {"create-tag-list", "--list-type", "all", "{dir}/manual/intro.mif"},
                   ExitCode::kDone},
        GoldenCase{"create-tag-list-book.txt",
                   {"create-tag-list", "--list-type", "used", "{dir}/manual/manual.book"},
                   ExitCode::kDone},
        GoldenCase{"create-conversion-list-document.txt",
                   {"create-conversion-list", "--list-type", "empty", "{dir}/manual/intro.mif"},
                   ExitCode::kDone},
        GoldenCase{"create-conversion-list-book.txt",
                   {"create-conversion-list", "--list-type", "all", "{dir}/manual/manual.book"},
                   ExitCode::kDone},
        GoldenCase{"remove-overrides-document.txt",
                   {"remove-overrides", "--yes", "{dir}/manual/commands.mif"},
                   ExitCode::kDone},
        GoldenCase{"remove-overrides-book.txt",
                   {"remove-overrides", "--yes", "--dry-run", "{dir}/manual/manual.book"},
                   ExitCode::kDone},
        GoldenCase{"find-override.txt", {"find-override", "{dir}/manual/install.mif"}, ExitCode::kDone},
        GoldenCase{
            "find-override-after.txt", {"find-override", "--after", "1", "{dir}/manual/install.mif"}, ExitCode::kDone},
        GoldenCase{
            "find-override-end.txt", {"find-override", "--after", "3", "{dir}/manual/install.mif"}, ExitCode::kDone},
        GoldenCase{"fix-headings.txt", {"fix-headings", "--yes", "{dir}/manual/intro.mif"}, ExitCode::kDone},
        GoldenCase{"report-one-tag.txt", {"report", "--tag", "Wide", "{dir}/manual/intro.mif"}, ExitCode::kDone},
        GoldenCase{"about.txt", {"about"}, ExitCode::kDone},
        GoldenCase{"show-install.txt", {"show", "{dir}/manual/install.mif"}, ExitCode::kDone}),
    // Each case is named after its expected file: "list_usage_book" for list-usage-book.txt.
    [](const ::testing::TestParamInfo<GoldenCase>& info) {
      std::string name = info.param.expected;
      name = name.substr(0, name.find('.'));
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

// ---- Changes and what is written ---------------------------------------------------------------

TEST_F(SampleBook, DeleteUnusedOnTheBookKeepsFormatsUsedElsewhereAndRewritesUnchangedFilesByteForByte) {
  auto before = Snapshot();
  RunResult result = Run({"delete-unused", "--yes", "{dir}/manual/manual.book"});
  ASSERT_EQ(result.code, ExitCode::kDone) << result.err;
  auto after = Snapshot();
  // Nothing was unused book-wide in these two, so the walk's saves wrote the same bytes.
  EXPECT_EQ(after["manual/install.mif"], before["manual/install.mif"]);
  EXPECT_EQ(after["manual/settings.mif"], before["manual/settings.mif"]);
  EXPECT_NE(after["manual/intro.mif"], before["manual/intro.mif"]);
  // "Body" and "body" are each used by a table somewhere in the book: the glossary keeps both.
  RunResult shown = Run({"show", "{dir}/manual/glossary.mif"});
  EXPECT_NE(shown.out.find("\"Body\""), std::string::npos);
  EXPECT_NE(shown.out.find("\"body\""), std::string::npos);
  EXPECT_EQ(shown.out.find("\"Legacy\""), std::string::npos);
}

TEST_F(SampleBook, ChangedDocumentOpensAgainWithExactlyTheChange) {
  RunResult result = Run({"remove-overrides", "--yes", "{dir}/manual/install.mif"});
  ASSERT_EQ(result.code, ExitCode::kDone) << result.err;
  RunResult shown = Run({"show", "{dir}/manual/install.mif"});
  EXPECT_EQ(TablesOf(shown.out),
            "Tables (3):\n"
            "  1. \"Steps\" on a body page, 2 columns, rows 1 heading 3 body 0 footing\n"
            "    matches its format\n"
            "  2. \"Body\" on a body page, 2 columns, rows 1 heading 2 body 0 footing\n"
            "    matches its format\n"
            "  3. \"Format A\" on a body page, 2 columns, rows 1 heading 2 body 0 footing\n"
            "    matches its format\n");
  // A second run finds nothing to change and writes nothing.
  auto before = Snapshot();
  RunResult again = Run({"remove-overrides", "--yes", "{dir}/manual/install.mif"});
  EXPECT_EQ(again.code, ExitCode::kDone);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, FixHeadingsAsksPerTableAndLeavesReferencePagesAlone) {
  // commands.mif's only body-first table sits on a reference page: no question at all.
  auto before = Snapshot();
  RunResult reference = Run({"fix-headings", "{dir}/manual/commands.mif"});
  EXPECT_EQ(reference.code, ExitCode::kDone) << reference.err;
  EXPECT_EQ(Snapshot(), before);
  // intro.mif's revision table is asked about; answered no, nothing changes and the exit says so.
  RunResult declined = Run({"fix-headings", "--no", "{dir}/manual/intro.mif"});
  EXPECT_EQ(declined.code, ExitCode::kDeclined);
  EXPECT_EQ(Snapshot(), before);
  RunResult fixed = Run({"fix-headings", "--yes", "{dir}/manual/intro.mif"});
  ASSERT_EQ(fixed.code, ExitCode::kDone) << fixed.err;
  std::string tables = TablesOf(Run({"show", "{dir}/manual/intro.mif"}).out);
  EXPECT_NE(tables.find("3. \"Wide\" on a body page, 3 columns, rows 1 heading"), std::string::npos) << tables;
  EXPECT_EQ(tables.find("first row is a body row"), std::string::npos) << tables;
}

TEST_F(SampleBook, ListWrittenAsMifGoesBackIntoKeepListed) {
  RunResult created =
      Run({"create-tag-list", "--list-type", "all", "--output", "{dir}/keep.mif", "{dir}/manual/intro.mif"});
  ASSERT_EQ(created.code, ExitCode::kDone) << created.err;
  // The user deletes the row naming Legacy (its text) and hands the list back.
  std::string list = ReadAll(Path("keep.mif"));
  size_t legacy = list.find("<String `Legacy'>");
  ASSERT_NE(legacy, std::string::npos) << list;
  list.erase(legacy, std::string("<String `Legacy'>").size());
  WriteAll(Path("keep.mif"), list);
  RunResult kept = Run({"keep-listed", "--yes", "--list", "{dir}/keep.mif", "{dir}/manual/intro.mif"});
  ASSERT_EQ(kept.code, ExitCode::kDone) << kept.err;
  EXPECT_EQ(kept.out, "Changed {dir}/manual/intro.mif:\n  deleted table format \"Legacy\"\n");
  EXPECT_EQ(ReadAll(Path("keep.mif")), list);  // the list is only read
}

TEST_F(SampleBook, ConversionListFilledByTheUserConvertsTheBook) {
  RunResult created = Run(
      {"create-conversion-list", "--list-type", "used", "--output", "{dir}/convert.mif", "{dir}/manual/manual.book"});
  ASSERT_EQ(created.code, ExitCode::kDone) << created.err;
  // Fill in one destination: Steps tables become Format A tables.
  std::string list = ReadAll(Path("convert.mif"));
  size_t steps = list.find("<String `Steps'>");
  ASSERT_NE(steps, std::string::npos);
  size_t empty = list.find("<ParaLine>", steps);
  ASSERT_NE(empty, std::string::npos);
  list.replace(empty, std::string("<ParaLine>").size(), "<ParaLine <String `Format A'>>");
  WriteAll(Path("convert.mif"), list);
  RunResult converted = Run({"convert", "--yes", "--list", "{dir}/convert.mif", "{dir}/manual/manual.book"});
  ASSERT_EQ(converted.code, ExitCode::kDone) << converted.err;
  std::string tables = TablesOf(Run({"show", "{dir}/manual/install.mif"}).out);
  EXPECT_NE(tables.find("1. \"Format A\" on a body page, 2 columns, rows 1 heading 3 body 0 footing\n"
                        "    matches its format"),
            std::string::npos)
      << tables;
}

// ---- Dry runs, declined questions, bad input ---------------------------------------------------

TEST_F(SampleBook, DryRunWritesNothing) {
  auto before = Snapshot();
  const std::vector<std::vector<std::string>> runs = {
      {"delete-unused", "--yes", "--dry-run", "{dir}/manual/intro.mif"},
      {"delete-unused", "--yes", "--dry-run", "{dir}/manual/manual.book"},
      {"remove-overrides", "--yes", "--dry-run", "{dir}/manual/install.mif"},
      {"remove-overrides", "--yes", "--dry-run", "{dir}/manual/manual.book"},
      {"fix-headings", "--yes", "--dry-run", "{dir}/manual/intro.mif"},
  };
  for (const auto& arguments : runs) {
    RunResult result = Run(arguments);
    EXPECT_EQ(result.code, ExitCode::kDone) << arguments[0] << ": " << result.err;
    EXPECT_NE(result.out.find("Would "), std::string::npos) << arguments[0] << ": " << result.out;
    EXPECT_EQ(result.err.find("saved"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, UnansweredOrDeclinedQuestionChangesNothing) {
  auto before = Snapshot();
  RunResult unanswered = Run({"delete-unused", "{dir}/manual/intro.mif"});
  EXPECT_EQ(unanswered.code, ExitCode::kDeclined);
  EXPECT_NE(unanswered.err.find("unanswered question: \"Are you sure you want to delete unused table formats?\""),
            std::string::npos)
      << unanswered.err;
  RunResult declined = Run({"remove-overrides", "--no", "{dir}/manual/manual.book"});
  EXPECT_EQ(declined.code, ExitCode::kDeclined);
  RunResult noListType = Run({"create-tag-list", "{dir}/manual/intro.mif"});
  EXPECT_EQ(noListType.code, ExitCode::kDeclined);
  EXPECT_EQ(noListType.out, "");  // cancelled prompt: no report
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, TerminalAnswersAreReadFromStandardInput) {
  RunResult cancelled = Run({"delete-unused", "{dir}/manual/intro.mif"}, "n\n", true);
  EXPECT_EQ(cancelled.code, ExitCode::kDeclined);
  EXPECT_NE(cancelled.err.find("Are you sure you want to delete unused table formats? [OK: y / Cancel: n]"),
            std::string::npos);
  RunResult confirmed = Run({"delete-unused", "{dir}/manual/intro.mif"}, "y\n", true);
  EXPECT_EQ(confirmed.code, ExitCode::kDone);
  EXPECT_EQ(confirmed.out, "Changed {dir}/manual/intro.mif:\n  deleted table format \"Legacy\"\n");
  RunResult listed = Run({"create-tag-list", "{dir}/manual/intro.mif"}, "2\n", true);
  EXPECT_EQ(listed.code, ExitCode::kDone);
  EXPECT_NE(listed.err.find("  2) Table Tags in Use"), std::string::npos) << listed.err;
  EXPECT_EQ(listed.out, "Table: Format A\n\tTags to Keep\n\tFormat A\n\tWide\n\tbody\n");
  // Input that ends before an answer declines.
  RunResult ended = Run({"delete-unused", "{dir}/manual/install.mif"}, "", true);
  EXPECT_EQ(ended.code, ExitCode::kDeclined);
}

TEST_F(SampleBook, StatusLineIsProgressOnATerminalOnly) {
  RunResult terminal = Run({"list-usage", "{dir}/manual/manual.book"}, "", true);
  EXPECT_NE(terminal.err.find("Examining: intro.mif"), std::string::npos) << terminal.err;
  RunResult quiet = Run({"list-usage", "--no-progress", "{dir}/manual/manual.book"}, "", true);
  EXPECT_EQ(quiet.err, "");
  RunResult piped = Run({"list-usage", "{dir}/manual/manual.book"});
  EXPECT_EQ(piped.err, "");
}

TEST_F(SampleBook, MalformedDocumentGivesFileAndLineAndNothingIsWritten) {
  std::string text = ReadAll(Path("manual/settings.mif"));
  size_t at = text.find("<String `Settings are read");
  ASSERT_NE(at, std::string::npos);
  text.erase(text.find('\'', at), 1);  // an unterminated string
  WriteAll(Path("manual/settings.mif"), text);
  auto before = Snapshot();
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"delete-unused", "--yes", "{dir}/manual/manual.book"},
                                             {"remove-overrides", "--yes", "{dir}/manual/settings.mif"},
                                             {"list-usage", "{dir}/manual/manual.book"}}) {
    RunResult result = Run(arguments);
    EXPECT_EQ(result.code, ExitCode::kUnreadable) << arguments[0] << ": " << result.err;
    EXPECT_NE(result.err.find("{dir}/manual/settings.mif:"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("string"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, MissingComponentIsReportedAsTheHostReportsIt) {
  std::filesystem::remove(Path("manual/glossary.mif"));
  RunResult result = Run({"list-usage", "{dir}/manual/manual.book"});
  EXPECT_EQ(result.code, ExitCode::kFailed);
  // The console names the file as the host does, by its host name.
  auto hostName = mif::HostPaths::WholeFileSystem().ToHost(Path("manual/glossary.mif"));
  ASSERT_TRUE(hostName) << hostName.ErrorMessage();
  EXPECT_EQ(result.err, Anonymous("gridwright: Some table tags could not be read; the report is incomplete.\n"
                                  "Could not open file:" + hostName.Value() + "\n"));
}

TEST_F(SampleBook, CommandFailuresExitWithFour) {
  RunResult noList = Run({"convert", "--yes", "{dir}/manual/intro.mif"});
  EXPECT_EQ(noList.code, ExitCode::kFailed);
  EXPECT_EQ(noList.err, "gridwright: The list of table tags to convert could not be found.\n");
  RunResult noPlugin = Run({"list-usage", "--plugin", "{dir}/none.so", "{dir}/manual/intro.mif"});
  EXPECT_EQ(noPlugin.code, ExitCode::kFailed);
  EXPECT_NE(noPlugin.err.find("none.so: no such file"), std::string::npos);
}

TEST_F(SampleBook, BadUsageExitsWithTwo) {
  const std::vector<std::vector<std::string>> runs = {
      {"frobnicate", "{dir}/manual/intro.mif"},
      {"list-usage"},
      {"list-usage", "--individual", "{dir}/manual/intro.mif"},
      {"find-override", "{dir}/manual/manual.book"},
      {"report", "--tag", "Nonesuch", "{dir}/manual/intro.mif"},
      {"find-override", "--after", "9", "{dir}/manual/intro.mif"},
  };
  for (const auto& arguments : runs) {
    RunResult result = Run(arguments);
    EXPECT_EQ(result.code, ExitCode::kUsage) << arguments[0] << ": " << result.err;
    EXPECT_NE(result.err.find("gridwright: "), std::string::npos);
  }
}

}  // namespace
}  // namespace gw::cli::testing

namespace gw::cli::testing {
namespace {

// The library directly: a file that changed on disk after it was read is not
// written over, and the run says the command failed.
TEST_F(SampleBook, DocumentChangedOnDiskMeanwhileIsNotWrittenOver) {
  std::ostringstream out, err;
  std::istringstream in;
  Io io{out, err, in, false, false};
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(DefaultSessionConfig(), io);
  ASSERT_TRUE(session.IsOk()) << session.GetError().message;
  Result<substitute::Document*> document = session.Value()->OpenDocument(Path("manual/intro.mif"));
  ASSERT_TRUE(document.IsOk()) << document.GetError().message;
  Answers answers;
  answers.confirm = true;
  session.Value()->SetAnswers(answers);
  session.Value()->RunCommand(4);  // Delete Unused Table Tags
  // Someone else saves the file meanwhile.
  std::string theirs = ReadAll(Path("manual/intro.mif")) + "# edited elsewhere\n";
  WriteAll(Path("manual/intro.mif"), theirs);
  Status saved = session.Value()->SaveDocument(*document.Value());
  ASSERT_FALSE(saved.IsOk());
  EXPECT_EQ(saved.GetError().code, ExitCode::kFailed);
  EXPECT_NE(saved.GetError().message.find("changed on disk"), std::string::npos) << saved.GetError().message;
  EXPECT_EQ(ReadAll(Path("manual/intro.mif")), theirs);
}

// A changing walk over a book makes each chapter's document once: the check
// that every chapter reads before anything changes only parses them.
TEST_F(SampleBook, ChangingBookWalkLoadsEachChapterOnce) {
  std::ostringstream out, err;
  std::istringstream in;
  Io io{out, err, in, false, false};
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(DefaultSessionConfig(), io);
  ASSERT_TRUE(session.IsOk()) << session.GetError().message;
  HostSession& host = *session.Value();
  Result<substitute::Book*> book = host.OpenBook(Path("manual/manual.book"));
  ASSERT_TRUE(book.IsOk()) << book.GetError().message;
  ASSERT_TRUE(host.CheckBookReadable(*book.Value()).IsOk());
  const size_t chapters = 5;
  EXPECT_EQ(host.Files().Reads().parsed, chapters);
  EXPECT_EQ(host.Files().Reads().loaded, 0u);
  Answers answers;
  answers.confirm = true;
  host.SetAnswers(answers);
  host.RunCommand(FindVerb("remove-overrides")->bookCommand);
  EXPECT_EQ(host.Files().Reads().loaded, chapters) << err.str();
  EXPECT_EQ(host.Files().Reads().parsed, 2 * chapters);
}

TEST_F(SampleBook, OutputNeverReplacesAnInputOfTheRun) {
  auto before = Snapshot();
  RunResult result =
      Run({"create-tag-list", "--list-type", "all", "--output", "{dir}/manual/intro.mif", "{dir}/manual/intro.mif"});
  EXPECT_EQ(result.code, ExitCode::kUsage);
  EXPECT_NE(result.err.find("not written over"), std::string::npos) << result.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, OutputNeverReplacesTheBookOrAChapterTheWalkClosed) {
  auto before = Snapshot();
  for (const char* target : {"{dir}/manual/glossary.mif", "{dir}/manual/manual.book", "{dir}/manual/../manual/intro.mif"}) {
    RunResult result = Run({"list-usage", "--output", target, "{dir}/manual/manual.book"});
    EXPECT_EQ(result.code, ExitCode::kUsage) << target;
    EXPECT_NE(result.err.find("not written over"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, HeadingQuestionsAreAskedOnTheTerminal) {
  RunResult result = Run({"fix-headings", "{dir}/manual/intro.mif"}, "y\n", true);
  EXPECT_EQ(result.code, ExitCode::kDone) << result.err;
  EXPECT_NE(result.err.find("Fix this table heading? [y/n]"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "Changed {dir}/manual/intro.mif:\n  table 3 (\"Wide\"): rows 0/3/0 -> 1/2/0 (heading/body/footing)\n");
}

TEST_F(SampleBook, DryRunOfListCommandsOnTheBookDescribesEachFile) {
  std::string list = Path("keep.mif");
  ASSERT_EQ(Run({"create-tag-list", "--list-type", "used", "--output", list, "{dir}/manual/manual.book"}).code,
            ExitCode::kDone);
  auto before = Snapshot();
  RunResult result = Run({"keep-listed", "--yes", "--dry-run", "--list", list, "{dir}/manual/manual.book"});
  EXPECT_EQ(result.code, ExitCode::kDone) << result.err;
  EXPECT_NE(result.out.find("Would save {dir}/manual/intro.mif:\n  deleted table format \"Legacy\"\n"),
            std::string::npos)
      << result.out;
  // Notes is used in settings.mif, so install.mif keeps it: the list names every format used in the book.
  EXPECT_NE(result.out.find("Would save {dir}/manual/install.mif (no changes)\n"), std::string::npos) << result.out;
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace gw::cli::testing
