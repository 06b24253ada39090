// gridwright check on the sample book and on chapters edited to show drift,
// template differences and unreadable input; its JSON read back as data.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/check.h"
#include "cli_test_support.h"

namespace gw::cli::testing {
namespace {

// A local path with "/" for either separator (Windows paths use "\\").
std::string Slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

using Json = nlohmann::json;

// Gives a statement of a catalogue format a new value: the first <NAME ...>
// after the format's first <TblTag `format'> (the catalogue comes first).
void EditFormat(const std::string& path, const std::string& format, const std::string& statement,
                const std::string& value) {
  std::string text = ReadAll(path);
  size_t tag = text.find("<TblTag `" + format + "'>");
  ASSERT_NE(tag, std::string::npos) << format;
  size_t at = text.find("<" + statement + " ", tag);
  ASSERT_NE(at, std::string::npos) << statement;
  text.replace(at, text.find('>', at) + 1 - at, "<" + statement + " " + value + ">");
  WriteAll(path, text);
}

void RenameFormat(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = ReadAll(path);
  size_t tag = text.find("<TblTag `" + from + "'>");
  ASSERT_NE(tag, std::string::npos) << from;
  text.replace(tag, from.size() + 11, "<TblTag `" + to + "'>");
  WriteAll(path, text);
}

const Json* FindingOf(const Json& json, const std::string& kind, const std::string& format) {
  for (const Json& finding : json["findings"]) {
    if (finding["kind"] == kind && finding["format"] == format) return &finding;
  }
  return nullptr;
}

const Json* PropertyOf(const Json& finding, const std::string& name) {
  for (const Json& property : finding["properties"]) {
    if (property["name"] == name) return &property;
  }
  return nullptr;
}

TEST_F(SampleBook, CheckOfTheSampleBookPrintsTheExpectedAuditAndWritesNothing) {
  auto before = Snapshot();
  RunResult result = Run({"check", "{dir}/manual/manual.book"});
  EXPECT_EQ(result.code, ExitCode::kFindings) << result.err;
  ExpectMatchesFile(result.out + "--- standard error ---\n" + result.err + "--- exit 1 ---\n", "check-book.txt");
  // Fix Table Headings ran with every question declined: nothing changed or was written.
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SampleBook, CheckJsonHoldsCountsLocationsAndValuesInPoints) {
  RunResult result = Run({"check", "--format", "json", "{dir}/manual/manual.book"});
  ASSERT_EQ(result.code, ExitCode::kFindings) << result.err;
  Json json = Json::parse(result.out);
  EXPECT_EQ(json["schema_version"], 1);
  EXPECT_EQ(json["summary"]["exit_code"], 1);
  EXPECT_EQ(json["files"].size(), 5u);

  // Usage per format, per file and in total.
  bool sawFormatA = false;
  for (const Json& format : json["formats"]) {
    if (format["name"] != "Format A") continue;
    sawFormatA = true;
    EXPECT_EQ(format["tables"], 4);
    EXPECT_EQ(format["per_file"].size(), 4u);
  }
  EXPECT_TRUE(sawFormatA);

  // The overriding table of commands.mif, with the format's and the table's values in points.
  const Json* options = FindingOf(json, "override", "Options");
  ASSERT_NE(options, nullptr) << result.out;
  EXPECT_EQ((*options)["severity"], "error");
  EXPECT_EQ((*options)["table"], 2);
  EXPECT_GT((*options)["line"].get<int>(), 0);
  EXPECT_TRUE(Slashed((*options)["file"].get<std::string>()).ends_with("/manual/commands.mif"));
  const Json* indent = PropertyOf(*options, "Indents Left");
  ASSERT_NE(indent, nullptr);
  EXPECT_EQ((*indent)["format"], 0.0);
  EXPECT_EQ((*indent)["table"], 18.0);

  // A cell override names its row, column and flags.
  const Json* cells = FindingOf(json, "override", "Format A");
  ASSERT_NE(cells, nullptr);
  ASSERT_EQ((*cells)["cells"].size(), 1u);
  EXPECT_EQ((*cells)["cells"][0]["row"], 2);
  EXPECT_EQ((*cells)["cells"][0]["column"], 2);
  EXPECT_EQ((*cells)["cells"][0]["overrides"], Json::array({"Fill", "Color"}));

  // Unused formats and case variants are warnings by default.
  const Json* legacy = FindingOf(json, "unused", "Legacy");
  ASSERT_NE(legacy, nullptr);
  EXPECT_EQ((*legacy)["severity"], "warning");
  const Json* missing = FindingOf(json, "missing-format", "Missing");
  ASSERT_NE(missing, nullptr);
  for (const Json& table : json["tables"]) {
    if (table["tag"] == "Missing") {
      EXPECT_FALSE(table["format_exists"].get<bool>());
    }
  }
}

TEST_F(SampleBook, DriftAcrossThreeChaptersNamesTheDocumentsOfEachVariant) {
  EditFormat(Path("manual/intro.mif"), "Format A", "TblLIndent", "12.0 pt");
  EditFormat(Path("manual/install.mif"), "Format A", "TblLIndent", "12.0 pt");
  EditFormat(Path("manual/commands.mif"), "Format A", "TblAlignment", "Center");
  RunResult result = Run({"check", "--format", "json", "{dir}/manual/manual.book"});
  ASSERT_EQ(result.code, ExitCode::kFindings) << result.err;
  Json json = Json::parse(result.out);
  const Json* drift = FindingOf(json, "drift", "Format A");
  ASSERT_NE(drift, nullptr) << result.out;
  EXPECT_TRUE(Slashed((*drift)["file"].get<std::string>()).ends_with("/manual/intro.mif"));
  ASSERT_EQ((*drift)["properties"].size(), 2u);
  const Json* indent = PropertyOf(*drift, "Indents Left");
  ASSERT_NE(indent, nullptr);
  ASSERT_EQ((*indent)["variants"].size(), 2u);
  EXPECT_EQ((*indent)["variants"][0]["value"], 12.0);
  EXPECT_EQ((*indent)["variants"][0]["files"].size(), 2u);  // intro, install
  EXPECT_EQ((*indent)["variants"][1]["value"], 0.0);
  EXPECT_EQ((*indent)["variants"][1]["files"].size(), 3u);  // commands, settings, glossary
  const Json* alignment = PropertyOf(*drift, "Alignment");
  ASSERT_NE(alignment, nullptr);
  EXPECT_EQ((*alignment)["variants"][1]["value"], 1);  // Center
  EXPECT_EQ((*alignment)["variants"][1]["files"].size(), 1u);

  // The text names the documents of each variant; --fail-on without drift passes.
  RunResult text = Run({"check", "--fail-on", "missing-format,override", "{dir}/manual/manual.book"});
  EXPECT_NE(text.out.find("    Indents Left: 12.00 pt in intro.mif, install.mif; 0.00 pt in commands.mif, "
                          "settings.mif, glossary.mif\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("warning: drift: table format \"Format A\" is defined differently in 5 documents"),
            std::string::npos)
      << text.out;
}

TEST_F(SampleBook, TemplateNamesMissingAndDifferingFormatsInTheDocumentsUnit) {
  std::filesystem::copy_file(Path("manual/glossary.mif"), Path("house.mif"));
  RenameFormat(Path("house.mif"), "Legacy", "House");
  EditFormat(Path("house.mif"), "Format A", "TblSpBefore", "12.0 pt");
  // install.mif shows its values in inches.
  std::string install = ReadAll(Path("manual/install.mif"));
  install.replace(install.find("<Document "), 10, "<Document \n <DUnits Uin>");
  WriteAll(Path("manual/install.mif"), install);
  RunResult result = Run({"check", "--template", "{dir}/house.mif", "--fail-on", "template", "{dir}/manual/install.mif"});
  EXPECT_EQ(result.code, ExitCode::kFindings) << result.err;
  EXPECT_NE(result.out.find("error: template: table format \"House\" of the template is missing\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("error: template: table format \"Format A\" differs from the template's in 1 property\n"
                            "    Space Above: template 0.17 in, here 0.08 in\n"),
            std::string::npos)
      << result.out;
  // Only template findings fail here.
  EXPECT_NE(result.out.find("warning: override:"), std::string::npos);
}

TEST_F(SampleBook, CheckExitCodesFollowFailOn) {
  struct Case {
    std::vector<std::string> arguments;
    ExitCode code;
  };
  const Case cases[] = {
      // glossary.mif has only an unused format and case variants: warnings by default.
      {{"check", "{dir}/manual/glossary.mif"}, ExitCode::kDone},
      {{"check", "--fail-on", "unused", "{dir}/manual/glossary.mif"}, ExitCode::kFindings},
      {{"check", "--fail-on", "all", "{dir}/manual/glossary.mif"}, ExitCode::kFindings},
      {{"check", "--fail-on", "case-variant,drift", "{dir}/manual/glossary.mif"}, ExitCode::kFindings},
      {{"check", "{dir}/manual/manual.book"}, ExitCode::kFindings},
      {{"check", "--fail-on", "none", "{dir}/manual/manual.book"}, ExitCode::kDone},
      {{"check", "--fail-on", "body-first-row", "{dir}/manual/intro.mif"}, ExitCode::kFindings},
      {{"check", "--fail-on", "body-first-row", "{dir}/manual/commands.mif"}, ExitCode::kDone},  // reference page
      {{"check", "--fail-on", "unused,bogus", "{dir}/manual/glossary.mif"}, ExitCode::kUsage},
      {{"check", "--format", "xml", "{dir}/manual/glossary.mif"}, ExitCode::kUsage},
      {{"check", "--template", "{dir}/manual/manual.book", "{dir}/manual/glossary.mif"}, ExitCode::kUsage},
      {{"list-usage", "--fail-on", "all", "{dir}/manual/glossary.mif"}, ExitCode::kUsage},
      {{"check", "{dir}/manual/none.mif"}, ExitCode::kUnreadable},
  };
  for (const Case& c : cases) {
    RunResult result = Run(c.arguments);
    EXPECT_EQ(result.code, c.code) << c.arguments[1] << " " << c.arguments[2] << ": " << result.err;
  }
}

#if !defined(_WIN32)  // file names as bytes; Windows names are code-page text
TEST_F(SampleBook, CheckRefusesFileNamesTheHostCannotHoldBeforeWritingJson) {
  std::filesystem::copy(Path("manual"), Path("b\xFF" "d"), std::filesystem::copy_options::recursive);
  RunResult result = Run({"check", "--format", "json", "{dir}/b\xFF" "d/manual.book"});
  EXPECT_EQ(result.code, ExitCode::kUsage);
  EXPECT_NE(result.err.find("cannot hold"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}
#endif

TEST_F(SampleBook, UnreadableChapterStopsTheCheckWithFileAndLine) {
  std::string text = ReadAll(Path("manual/settings.mif"));
  size_t at = text.find("<String `Settings are read");
  ASSERT_NE(at, std::string::npos);
  text.erase(text.find('\'', at), 1);
  WriteAll(Path("manual/settings.mif"), text);
  RunResult result = Run({"check", "--format", "json", "{dir}/manual/manual.book"});
  EXPECT_EQ(result.code, ExitCode::kUnreadable);
  EXPECT_EQ(result.out, "");  // no partial audit that could pass for a whole one
  EXPECT_NE(result.err.find("{dir}/manual/settings.mif:"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace gw::cli::testing
