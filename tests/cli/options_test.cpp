// Argument parsing: what each option asks for, and bad usage named clearly.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/version_info.h"

namespace gw::cli {
namespace {

TEST(Options, VerbFormsAndAnswers) {
  Result<JobRequest> parsed = ParseArguments({"list-usage", "--by-tag", "--no-progress", "book.book"});
  ASSERT_TRUE(parsed.IsOk()) << parsed.GetError().message;
  EXPECT_EQ(parsed.Value().verb->name, "list-usage");
  EXPECT_EQ(parsed.Value().form, VerbForm::kByTag);
  EXPECT_FALSE(parsed.Value().progress);
  EXPECT_EQ(parsed.Value().file, "book.book");
  EXPECT_EQ(CommandFor(*parsed.Value().verb, true, parsed.Value().form), 21);
  EXPECT_EQ(CommandFor(*parsed.Value().verb, false, parsed.Value().form), 0);

  Result<JobRequest> report = ParseArguments({"report", "--tag", "Format A", "a.mif"});
  ASSERT_TRUE(report.IsOk());
  EXPECT_EQ(report.Value().answers.tag, "Format A");
  EXPECT_EQ(CommandFor(*report.Value().verb, false, report.Value().form), 19);

  Result<JobRequest> list = ParseArguments({"create-tag-list", "--list-type", "all", "-o", "l.mif", "a.mif"});
  ASSERT_TRUE(list.IsOk());
  EXPECT_EQ(list.Value().answers.listType, 2);
  EXPECT_EQ(list.Value().outputMif, "l.mif");

  // Names reach the plug-in in its encoding, in the order given.
  Result<JobRequest> keep = ParseArguments({"keep-listed", "--keep", " Caf\xC3\xA9 ,Wide", "--keep", "Body", "a.mif"});
  ASSERT_TRUE(keep.IsOk()) << keep.GetError().message;
  ASSERT_EQ(keep.Value().givenList->entries.size(), 3u);
  EXPECT_EQ(keep.Value().givenList->entries[0].source, "Caf\x8E");
  EXPECT_EQ(keep.Value().givenList->entries[2].source, "Body");
  Result<JobRequest> map = ParseArguments({"convert", "--map", "Steps = Format A", "a.mif"});
  ASSERT_TRUE(map.IsOk()) << map.GetError().message;
  EXPECT_TRUE(map.Value().givenList->conversion);
  EXPECT_EQ(map.Value().givenList->entries[0].destination, "Format A");

  Result<JobRequest> no = ParseArguments({"delete-unused", "--no", "--dry-run", "a.mif"});
  ASSERT_TRUE(no.IsOk());
  EXPECT_EQ(no.Value().answers.confirm, false);
  EXPECT_TRUE(no.Value().dryRun);
}

TEST(Options, BadUsageNamesTheArgument) {
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{}, "no verb given"},
      {{"lst-usage", "a.mif"}, "unknown verb \"lst-usage\""},
      {{"list-usage"}, "no file given"},
      {{"list-usage", "a.mif", "b.mif"}, "unexpected argument \"b.mif\""},
      {{"list-usage", "--frob", "a.mif"}, "unknown option \"--frob\""},
      {{"create-tag-list", "--list-type", "some", "a.mif"}, "--list-type: \"some\" is not empty, used or all"},
      {{"create-tag-list", "a.mif", "--list-type"}, "--list-type: needs a value"},
      {{"delete-unused", "--list-type", "all", "a.mif"},
       "--list-type is an option of create-tag-list and create-conversion-list"},
      {{"report", "--individual", "a.mif"}, "--individual and --by-tag are options of list-usage"},
      {{"convert", "--tag", "X", "a.mif"}, "--tag is an option of report"},
      {{"find-override", "--after", "0", "a.mif"}, "--after: \"0\" is not a table number (1, 2, ...)"},
      {{"about", "a.mif"}, "unexpected argument \"a.mif\""},
      {{"delete-unused", "--output", "x.mif", "a.mif"},
       "--output is an option of the verbs that write a report or a list"},
      {{"keep-listed", "--list", "k.txt", "--keep", "Body", "a.mif"},
       "--list and --keep cannot be used together: give the list one way"},
      {{"keep-listed", "--keep", "Body", "--map", "A=B", "a.mif"}, "--keep and --map cannot be used together"},
      {{"convert", "--keep", "Body", "a.mif"}, "--keep is an option of keep-listed"},
      {{"keep-listed", "--map", "A=B", "a.mif"}, "--map is an option of convert"},
      {{"keep-listed", "--keep", "Body, ,Wide", "a.mif"}, "--keep \"Body, ,Wide\": an empty table format name"},
      {{"keep-listed", "--keep", "Caf\xC3\xA9,\xE4\xB8\xAD", "a.mif"},
       "--keep: \"\xE4\xB8\xAD\": the character U+4E2D has no FrameRoman form"},
      {{"convert", "--map", "Body", "a.mif"}, "--map \"Body\": expected SOURCE=DEST"},
      {{"convert", "--map", "Body=", "a.mif"}, "--map \"Body=\": no destination table format after '='"},
      {{"list-usage", "--jobs", "0", "a.book"}, "--jobs: \"0\" is not a number of jobs from 1 to 64"},
      {{"list-usage", "--jobs=-2", "a.book"}, "--jobs: \"-2\" is not a number of jobs from 1 to 64"},
      {{"list-usage", "--jobs", "2x", "a.book"}, "--jobs: \"2x\" is not a number of jobs from 1 to 64"},
      {{"list-usage", "--jobs", "65", "a.book"}, "--jobs: \"65\" is not a number of jobs from 1 to 64"},
  };
  for (const Case& c : cases) {
    Result<JobRequest> parsed = ParseArguments(c.arguments);
    ASSERT_FALSE(parsed.IsOk()) << c.message;
    EXPECT_EQ(parsed.GetError().code, ExitCode::kUsage);
    EXPECT_EQ(parsed.GetError().message, c.message);
  }
}

// --jobs, else GRIDWRIGHT_JOBS, which is checked as strictly.
TEST(Options, JobsFromTheOptionElseTheEnvironment) {
  const char* set = std::getenv("GRIDWRIGHT_JOBS");
  const std::string saved = set != nullptr ? set : "";
  auto setVariable = [](const std::string& value) {
#if defined(_WIN32)
    _putenv_s("GRIDWRIGHT_JOBS", value.c_str());  // "" removes it
#else
    value.empty() ? unsetenv("GRIDWRIGHT_JOBS") : setenv("GRIDWRIGHT_JOBS", value.c_str(), 1);
#endif
  };
  setVariable("3");
  Result<JobRequest> fromEnvironment = ParseArguments({"list-usage", "a.book"});
  ASSERT_TRUE(fromEnvironment.IsOk()) << fromEnvironment.GetError().message;
  EXPECT_EQ(fromEnvironment.Value().jobs, 3u);
  setVariable("many");
  Result<JobRequest> junk = ParseArguments({"list-usage", "a.book"});
  ASSERT_FALSE(junk.IsOk());
  EXPECT_EQ(junk.GetError().code, ExitCode::kUsage);
  EXPECT_EQ(junk.GetError().message, "GRIDWRIGHT_JOBS: \"many\" is not a number of jobs from 1 to 64");
  Result<JobRequest> given = ParseArguments({"list-usage", "--jobs", "1", "a.book"});
  ASSERT_TRUE(given.IsOk()) << given.GetError().message;
  EXPECT_EQ(given.Value().jobs, 1u);
  setVariable(saved);
}

TEST(Options, HelpForTheToolAndEachVerb) {
  Result<JobRequest> tool = ParseArguments({"--help"});
  ASSERT_TRUE(tool.IsOk());
  EXPECT_EQ(tool.Value().kind, JobRequest::Kind::kHelp);
  EXPECT_EQ(tool.Value().verb, nullptr);
  for (const Verb& verb : Verbs()) {
    Result<JobRequest> help = ParseArguments({std::string(verb.name), "--help"});
    ASSERT_TRUE(help.IsOk()) << verb.name;
    EXPECT_EQ(help.Value().verb, &verb);
    EXPECT_TRUE(VerbHelp(verb).starts_with("Usage: gridwright " + std::string(verb.name))) << verb.name;
    EXPECT_NE(ToolHelp().find("  " + std::string(verb.name) + " "), std::string::npos) << verb.name;
  }
  // The help says that document commands write their files back.
  EXPECT_NE(VerbHelp(*FindVerb("delete-unused")).find("saved over its file"), std::string::npos);
}

TEST(Options, CheckOptionsAndTheParsersOwnForms) {
  Result<JobRequest> check =
      ParseArguments({"check", "--format=json", "--fail-on", "unused,drift", "--template", "t.mif", "b.book"});
  ASSERT_TRUE(check.IsOk()) << check.GetError().message;
  EXPECT_TRUE(check.Value().check.json);
  EXPECT_EQ(check.Value().check.failOn, (std::set<FindingKind>{FindingKind::kUnused, FindingKind::kDrift}));
  EXPECT_EQ(check.Value().check.templateFile, "t.mif");
  EXPECT_EQ(ParseArguments({"check", "--fail-on", "none", "b.book"}).Value().check.failOn.size(), 0u);
  EXPECT_EQ(ParseArguments({"check", "--fail-on", "unused", "--fail-on", "drift", "b.book"}).Value().check.failOn,
            (std::set<FindingKind>{FindingKind::kUnused, FindingKind::kDrift}));
  EXPECT_EQ(ParseArguments({"check", "--fail-on", "all", "b.book"}).Value().check.failOn.size(),
            AllFindingKinds().size());
  // The default fails on everything but unused formats, case variants and body first rows.
  EXPECT_EQ(ParseArguments({"check", "b.book"}).Value().check.failOn,
            (std::set<FindingKind>{FindingKind::kMissingFormat, FindingKind::kOverride, FindingKind::kDrift,
                                   FindingKind::kTemplate}));
  // After "--" everything is a file, even what looks like an option; the last --yes/--no counts.
  Result<JobRequest> dashed = ParseArguments({"delete-unused", "--yes", "--no", "--", "--odd.mif"});
  ASSERT_TRUE(dashed.IsOk()) << dashed.GetError().message;
  EXPECT_EQ(dashed.Value().file, "--odd.mif");
  EXPECT_EQ(dashed.Value().answers.confirm, false);
  EXPECT_EQ(ParseArguments({"check", "--fail-on", "drift,", "b.book"}).GetError().message,
            "--fail-on: \"\" is not a kind of finding (unused, missing-format, override, case-variant, "
            "body-first-row, drift, template, all, none)");
  EXPECT_EQ(ParseArguments({"report", "--format", "json", "a.mif"}).GetError().message,
            "--template, --format and --fail-on are options of check");
}

TEST(Options, VersionAsOptionAndVerbTakesNoArguments) {
  for (const char* spelling : {"--version", "version"}) {
    Result<JobRequest> parsed = ParseArguments({spelling});
    ASSERT_TRUE(parsed.IsOk()) << spelling;
    EXPECT_EQ(parsed.Value().kind, JobRequest::Kind::kVersion);
  }
  Result<JobRequest> extra = ParseArguments({"version", "a.mif"});
  ASSERT_FALSE(extra.IsOk());
  EXPECT_EQ(extra.GetError().code, ExitCode::kUsage);
  EXPECT_EQ(VersionText(), std::string("gridwright ") + GW_VERSION_TEXT + "\nplug-in Gridwright " + GW_VERSION_TEXT +
                               " (" + GW_FILE_DESCRIPTION + ")\n");
}

TEST(PluginCommands, FoundByNumberCommandNameAndClientCallName) {
  EXPECT_EQ(FindPluginCommand("20")->name, "ListTableUsageBookIndFiles");
  EXPECT_EQ(FindPluginCommand("ListTableUsageBookIndividual")->number, 20);
  EXPECT_EQ(FindPluginCommand("FindNextTableOverride")->number, 9);
  EXPECT_EQ(FindPluginCommand("FindNextOverride")->number, 9);
  EXPECT_EQ(FindPluginCommand("10"), nullptr);
  EXPECT_EQ(FindPluginCommand("listtableusage"), nullptr);
}

}  // namespace
}  // namespace gw::cli
