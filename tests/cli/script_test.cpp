// Script mode: several steps in one host session.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli_test_support.h"

namespace gw::cli::testing {
namespace {

TEST_F(SampleBook, ScriptRunsStepsInOneSessionAndPrintsTheTranscript) {
  WriteAll(Path("steps.gw"),
           "# a tour of the sample book\n"
           "open-book {dir}/manual/manual.book\n"
           "command ListTableUsageBook\n"
           "print report\n"
           "open {dir}/manual/install.mif\n"
           "answer no\n"
           "call SetDocId @install.mif\n"
           "call RemoveOverrides\n"
           "answer yes\n"
           "command 8\n"
           "print tables install.mif\n"
           "save\n"
           "select install.mif 1\n"
           "command FindNextOverride\n"
           "choose \"Table Tags in Use\"\n"
           "command CreateTableList\n"
           "print report\n"
           "print transcript\n");
  std::string script = ReadAll(Path("steps.gw"));
  for (size_t at; (at = script.find("{dir}")) != std::string::npos;) script.replace(at, 5, root_.string());
  WriteAll(Path("steps.gw"), script);
  RunResult result = Run({"script", "{dir}/steps.gw"});
  // The first RemoveOverrides was declined.
  EXPECT_EQ(result.code, ExitCode::kDeclined) << result.err;
  ExpectMatchesFile(result.out + "--- standard error ---\n" + result.err, "script-tour.txt");
  // The save wrote the document with its overrides removed.
  std::string tables = Run({"show", "{dir}/manual/install.mif"}).out;
  EXPECT_EQ(tables.find("overrides:"), std::string::npos) << tables;
}

TEST_F(SampleBook, SampleFilesReadAndSaveBackByteForByte) {
  auto before = Snapshot();
  std::string script = "open-book " + Path("manual/manual.book") + "\n";
  for (const char* chapter : {"intro.mif", "install.mif", "commands.mif", "settings.mif", "glossary.mif"}) {
    script += "open " + Path(std::string("manual/") + chapter) + "\nsave " + chapter + "\n";
  }
  script += "print transcript\n";
  RunResult result = Run({"script", "-"}, script);
  ASSERT_EQ(result.code, ExitCode::kDone) << result.err;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 5) << result.out;  // five "saved:" lines
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, ScriptFromStandardInputStopsAtAWrongStep) {
  RunResult result = Run({"script", "-"}, "open " + Path("manual/intro.mif") + "\n" +
                                              "answer maybe\n"
                                              "command DeleteUnusedTables\n");
  EXPECT_EQ(result.code, ExitCode::kUsage);
  EXPECT_EQ(result.err, "<stdin>:2: answer: \"maybe\" is not yes, no, ok or cancel\n");
}

TEST_F(SampleBook, ScriptStepErrorsNameTheLine) {
  struct Case {
    std::string script;
    ExitCode code;
    std::string error;
  };
  const Case cases[] = {
      {"frob\n", ExitCode::kUsage, "<stdin>:1: unknown step \"frob\"\n"},
      {"\n# only a comment\nopen\n", ExitCode::kUsage, "<stdin>:3: usage: open FILE\n"},
      {"command NoSuchCommand\n", ExitCode::kUsage, "<stdin>:1: command: no command named \"NoSuchCommand\"\n"},
      {"call SetDocId @nowhere.mif\n", ExitCode::kUsage, "<stdin>:1: call: no open document or book \"nowhere.mif\"\n"},
      {"print summary \"unterminated\n", ExitCode::kUsage, "<stdin>:1: unterminated quote\n"},
      {"open {dir}/manual/nothing.mif\n", ExitCode::kUnreadable, ""},
  };
  for (const Case& c : cases) {
    RunResult result = Run({"script", "-"}, [&] {
      std::string text = c.script;
      for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, root_.string());
      return text;
    }());
    EXPECT_EQ(result.code, c.code) << c.script;
    if (!c.error.empty()) {
      EXPECT_EQ(result.err, c.error);
    }
  }
}

TEST_F(SampleBook, ScriptCallsWithIdsTargetTheNamedDocument) {
  // Two documents open, the glossary active: SetDocId sends the command to
  // intro.mif. The report then is the active document, as in the host, so
  // the glossary is made active again for the second call.
  RunResult result =
      Run({"script", "-"}, "open " + Path("manual/intro.mif") + "\n" + "open " + Path("manual/glossary.mif") + "\n" +
                               "call SetDocId @intro.mif\n"
                               "call ListTableUsage\n"
                               "activate glossary.mif\n"
                               "call ListTableUsage\n"
                               "print report\n");
  EXPECT_EQ(result.code, ExitCode::kDone) << result.err;
  EXPECT_EQ(result.out.find("Heading1: intro.mif"), 0u) << result.out;
  EXPECT_NE(result.out.find("Heading1: glossary.mif"), std::string::npos) << result.out;
}

// A quoted call text gets its @NAME replaced too; print selection shows where
// Find Next Override stopped.
TEST_F(SampleBook, QuotedCallsNameDocumentsAndTheSelectionCanBePrinted) {
  RunResult result =
      Run({"script", "-"}, "open " + Path("manual/install.mif") + "\n" + "open " + Path("manual/glossary.mif") + "\n" +
                               "call \"SetDocId @install.mif\"\n"
                               "call FindNextOverride\n"
                               "print selection install.mif\n");
  EXPECT_EQ(result.code, ExitCode::kDone) << result.err;
  EXPECT_EQ(result.out, "install.mif: the selection is in table 1 of 3 (\"Steps\")\n");
}

}  // namespace
}  // namespace gw::cli::testing
