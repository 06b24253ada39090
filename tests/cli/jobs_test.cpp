// Reading ahead (--jobs): the same output, exit code and files as reading on
// one thread, and each chapter read once per walk.
#include <functional>

#include "cli/session.h"
#include "cli/verbs.h"
#include "cli_test_support.h"
#include "mif/mif_file_store.h"

namespace gw::cli::testing {
namespace {

class Jobs : public SampleBook {
 protected:
  // Writes manual.book with these chapters, in order, at its top level.
  void WriteBook(const std::vector<std::string>& chapters) {
    std::string book = "<Book 7.00>\n";
    for (const std::string& chapter : chapters) book += "<BookComponent\n <FileName `<c\\>" + chapter + "'>\n>\n";
    WriteAll(Path("manual/manual.book"), book);
  }

  struct Ran {
    RunResult result;
    std::map<std::string, std::string> files;
  };

  // Runs the arguments with --jobs on a fresh copy of the book, prepared.
  Ran RunWithJobs(const std::string& jobs, std::vector<std::string> arguments, const std::function<void()>& prepare) {
    std::filesystem::remove_all(root_ / "manual");
    std::filesystem::copy(std::filesystem::path(GRIDWRIGHT_SAMPLES_DIR) / "manual", root_ / "manual",
                          std::filesystem::copy_options::recursive);
    prepare();
    arguments.insert(arguments.begin() + 1, {"--jobs", jobs});
    Ran ran{Run(arguments), {}};
    ran.files = Snapshot();
    return ran;
  }

  // Runs with 1, 2 and 4 jobs and expects the same; returns the --jobs 1 run.
  Ran ExpectSameForAnyJobs(const std::vector<std::string>& arguments, const std::function<void()>& prepare) {
    Ran one = RunWithJobs("1", arguments, prepare);
    for (const char* jobs : {"2", "4"}) {
      Ran other = RunWithJobs(jobs, arguments, prepare);
      SCOPED_TRACE(arguments.front() + " --jobs " + jobs);
      EXPECT_EQ(other.result.code, one.result.code);
      EXPECT_EQ(other.result.out, one.result.out);
      EXPECT_EQ(other.result.err, one.result.err);
      EXPECT_TRUE(other.files == one.files);
    }
    return one;
  }
};

TEST_F(Jobs, ChaptersThatDoNotReadGiveTheSameResults) {
  auto prepare = [&] {
    std::string install = ReadAll(Path("manual/install.mif"));
    WriteAll(Path("manual/install.mif"), install.substr(0, install.size() / 2));  // truncated
    WriteAll(Path("manual/settings.mif"), "<MIFFile 7.00>\n<Pgf `unterminated\n");
  };
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"list-usage", "{dir}/manual/manual.book"},
        {"remove-overrides", "--yes", "{dir}/manual/manual.book"}, {"show", "{dir}/manual/manual.book"},
        {"check", "{dir}/manual/manual.book"}}) {
    Ran one = ExpectSameForAnyJobs(arguments, prepare);
    EXPECT_NE(one.result.err.find("install.mif:"), std::string::npos) << one.result.err;
  }
  // The pre-check reports the first chapter in book order that does not read.
  Ran changing = ExpectSameForAnyJobs({"delete-unused", "--yes", "{dir}/manual/manual.book"}, prepare);
  EXPECT_EQ(changing.result.code, ExitCode::kUnreadable);
  EXPECT_EQ(changing.result.err.find("settings.mif"), std::string::npos) << changing.result.err;
}

// The first visit of a chapter saves it before a later one opens it again.
TEST_F(Jobs, BookNamingAChapterTwiceGivesTheSameResults) {
  auto prepare = [&] {
    WriteBook({"install.mif", "install.mif", "intro.mif", "commands.mif", "install.mif", "glossary.mif",
               "commands.mif"});
  };
  Ran removed = ExpectSameForAnyJobs({"remove-overrides", "--yes", "{dir}/manual/manual.book"}, prepare);
  EXPECT_EQ(removed.result.code, ExitCode::kDone) << removed.result.err;
  const std::string changed = "Changed {dir}/manual/install.mif:";
  size_t first = removed.result.out.find(changed);
  ASSERT_NE(first, std::string::npos) << removed.result.out;
  EXPECT_EQ(removed.result.out.find(changed, first + 1), std::string::npos) << "changed twice";
  ExpectSameForAnyJobs({"delete-unused", "--yes", "{dir}/manual/manual.book"}, prepare);
  ExpectSameForAnyJobs({"list-usage", "--by-tag", "{dir}/manual/manual.book"}, prepare);
}

// Each walk reads each chapter once, read ahead or not (how many were read
// ahead depends on how fast the worker is; the store's tests pin that down).
TEST_F(Jobs, WalksReadEachChapterOnce) {
  std::ostringstream out, err;
  std::istringstream in;
  Io io{out, err, in, false, false};
  SessionConfig config = DefaultSessionConfig();
  config.jobs = 2;
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(config, io);
  ASSERT_TRUE(session.IsOk()) << session.GetError().message;
  HostSession& host = *session.Value();
  Result<substitute::Book*> book = host.OpenBook(Path("manual/manual.book"));
  ASSERT_TRUE(book.IsOk()) << book.GetError().message;
  ASSERT_TRUE(host.CheckBookReadable(*book.Value()).IsOk());
  const size_t chapters = 5;
  EXPECT_EQ(host.Files().Reads().parsed, chapters);
  Answers answers;
  answers.confirm = true;
  host.SetAnswers(answers);
  host.RunCommand(FindVerb("remove-overrides")->bookCommand);
  const mif::MifFileStore::ReadCounts& reads = host.Files().Reads();
  EXPECT_EQ(reads.loaded, chapters) << err.str();
  EXPECT_EQ(reads.parsed, 2 * chapters);
  EXPECT_LE(reads.readAhead, chapters - 1);
  host.RunCommand(FindVerb("delete-unused")->bookCommand);  // examines, then changes: two walks
  EXPECT_EQ(reads.loaded, 3 * chapters) << err.str();
  EXPECT_EQ(reads.parsed, 4 * chapters);
  // The second walk is read ahead around its end: at most one read is dropped.
  EXPECT_LE(reads.discarded, 1u);
}

}  // namespace
}  // namespace gw::cli::testing
