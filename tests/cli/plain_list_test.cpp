// Lists given without a list document: --keep, --map and plain text lists, end
// to end on a copy of the sample book.
#include "cli/plain_list.h"

#include <gtest/gtest.h>

#include "cli/document_text.h"
#include "cli_test_support.h"

namespace gw::cli::testing {
namespace {

// The table formats `show` lists for a document, in catalogue order.
std::vector<std::string> FormatNames(const std::string& show) {
  std::vector<std::string> names;
  for (size_t at = show.find("\n  \""); at != std::string::npos; at = show.find("\n  \"", at + 1)) {
    size_t end = show.find('"', at + 4);
    names.push_back(show.substr(at + 4, end - at - 4));
  }
  return names;
}

TEST_F(SampleBook, KeepOnTheCommandLineKeepsExactlyTheNamedFormats) {
  // "Body" is not "body": names match exactly, as in a list document.
  RunResult kept = Run({"keep-listed", "--yes", "--keep", "Format A, Wide", "--keep", "Body", "{dir}/manual/intro.mif"});
  ASSERT_EQ(kept.code, ExitCode::kDone) << kept.err;
  // The table tagged "body" took its properties from that format; the file now states them in the table.
  EXPECT_EQ(kept.out, "Changed {dir}/manual/intro.mif:\n  deleted table format \"Legacy\"\n"
                      "  deleted table format \"body\"\n"
                      "  table 2 (\"body\"): keeps the properties its format gave it\n");
  EXPECT_EQ(FormatNames(Run({"show", "{dir}/manual/intro.mif"}).out), (std::vector<std::string>{"Format A", "Wide"}));
}

TEST_F(SampleBook, MapOnTheCommandLineRetagsTables) {
  RunResult converted = Run({"convert", "--yes", "--map", "Steps=Format A", "{dir}/manual/install.mif"});
  ASSERT_EQ(converted.code, ExitCode::kDone) << converted.err;
  std::string show = Run({"show", "{dir}/manual/install.mif"}).out;
  EXPECT_NE(show.find("1. \"Format A\" on a body page, 2 columns, rows 1 heading 3 body 0 footing\n"
                      "    matches its format"),
            std::string::npos)
      << show;
}

// The list the command line builds is the one the plug-in writes, so the
// plug-in cannot tell a built list from a list the user filled in.
TEST_F(SampleBook, BuiltListDocumentIsThePluginsOwnListTable) {
  std::ostringstream out, err;
  std::istringstream in;
  Io io{out, err, in, false, false};
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(DefaultSessionConfig(), io);
  ASSERT_TRUE(session.IsOk()) << session.GetError().message;
  HostSession& host = *session.Value();
  ASSERT_TRUE(host.OpenDocument(Path("manual/intro.mif")).IsOk());
  Answers answers;
  answers.listType = 1;  // Table Tags in Use
  host.SetAnswers(answers);
  host.MarkDocuments();
  host.RunCommand(7);  // Create Conversion Document
  ASSERT_EQ(host.NewUntitledDocuments().size(), 1u);
  const substitute::Document& written = *host.NewUntitledDocuments().front();

  Result<std::string> text = ListText(written);
  ASSERT_TRUE(text.IsOk()) << text.GetError().message;
  Result<PlainList> parsed = ParseListText(text.Value(), true, "list.txt");
  ASSERT_TRUE(parsed.IsOk()) << parsed.GetError().message;
  const substitute::Document& built = BuildListDocument(host.Host(), parsed.Value());

  EXPECT_EQ(RenderReport(built), RenderReport(written));
  // Properties in words: ids of rulings and colours differ between documents.
  auto described = [](const substitute::Document& document) {
    DocumentSummary summary = Summarize(document);
    std::string text = RenderTable(summary, 0);
    for (const PropertyText& property : summary.tables.at(0).properties) {
      text += property.label + "=" + property.value + "\n";
    }
    return text;
  };
  EXPECT_EQ(described(built), described(written));
  const substitute::Table* a = written.FindTable(written.TablesInOrder().front());
  const substitute::Table* b = built.FindTable(built.TablesInOrder().front());
  EXPECT_EQ(b->columnWidths, a->columnWidths);
  EXPECT_TRUE(b->titleParagraphs.empty());
  EXPECT_EQ(host.Host().ActiveDocument(), built.Id());
}

TEST_F(SampleBook, TextListsWrittenByCreateGoBackIntoKeepListedAndConvert) {
  ASSERT_EQ(
      Run({"create-tag-list", "--list-type", "all", "--output", "{dir}/keep.txt", "{dir}/manual/intro.mif"}).code,
      ExitCode::kDone);
  std::string keep = ReadAll(Path("keep.txt"));
  size_t legacy = keep.find("\nLegacy\n");
  ASSERT_NE(legacy, std::string::npos) << keep;
  keep.erase(legacy, std::string("\nLegacy").size());
  WriteAll(Path("keep.txt"), keep);
  RunResult kept = Run({"keep-listed", "--yes", "--list", "{dir}/keep.txt", "{dir}/manual/intro.mif"});
  ASSERT_EQ(kept.code, ExitCode::kDone) << kept.err;
  EXPECT_EQ(kept.out, "Changed {dir}/manual/intro.mif:\n  deleted table format \"Legacy\"\n");

  ASSERT_EQ(Run({"create-conversion-list", "--list-type", "used", "--output", "{dir}/convert.txt",
                 "{dir}/manual/manual.book"})
                .code,
            ExitCode::kDone);
  std::string convert = ReadAll(Path("convert.txt"));
  size_t steps = convert.find("\nSteps =\n");
  ASSERT_NE(steps, std::string::npos) << convert;
  convert.replace(steps, std::string("\nSteps =").size(), "\r\nSteps\tFormat A  ");  // an editor's line ends, a tab
  WriteAll(Path("convert.txt"), convert);
  RunResult converted = Run({"convert", "--yes", "--list", "{dir}/convert.txt", "{dir}/manual/manual.book"});
  ASSERT_EQ(converted.code, ExitCode::kDone) << converted.err;
  EXPECT_NE(converted.out.find("Changed {dir}/manual/install.mif:\n  table 1 (\"Steps\"): tag \"Steps\" -> \"Format A\""),
            std::string::npos)
      << converted.out;
  // Only Steps had a destination.
  EXPECT_EQ(converted.out.find("Changed {dir}/manual/intro.mif"), std::string::npos) << converted.out;
}

TEST_F(SampleBook, BadTextListsAreUsageErrorsNamingFileAndLineAndChangeNothing) {
  struct Case {
    const char* verb;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"convert", "# filled in\nSteps = Format A\n\nNotes Wide\n", "list.txt:4: expected SOURCE = DEST"},
      {"convert", "Steps = Format A\n = Wide\n", "list.txt:2: no source table format"},
      {"keep-listed", "Body\n\xE4\xB8\xAD\n", "list.txt:2: \"\xE4\xB8\xAD\": the character U+4E2D has no FrameRoman form"},
      {"keep-listed", "Body\nWi\xFF" "de\n", "list.txt:2: not valid UTF-8"},
      {"keep-listed", "# all deleted\n\n", "list.txt: lists no table formats"},
  };
  auto before = Snapshot();
  for (const Case& c : cases) {
    WriteAll(Path("list.txt"), c.text);
    RunResult result = Run({c.verb, "--yes", "--list", "{dir}/list.txt", "{dir}/manual/manual.book"});
    EXPECT_EQ(result.code, ExitCode::kUsage) << c.message;
    EXPECT_NE(result.err.find("gridwright: {dir}/" + std::string(c.message)), std::string::npos) << result.err;
  }
  RunResult both = Run({"keep-listed", "--yes", "--list", "{dir}/list.txt", "--keep", "Body", "{dir}/manual/intro.mif"});
  EXPECT_EQ(both.code, ExitCode::kUsage);
  std::filesystem::remove(Path("list.txt"));
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace gw::cli::testing
