// Generate Table Tag Report, all tags (11) and one selected tag (19), driven end
// to end through the substitute host: the report paragraphs with their formats.
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "tag_test_documents.h"

namespace {

using gw::substitute::Document;
using gw::substitute::FailureRule;
using gw::substitute::PropertyValue;
using gw::substitute::UserScript;
using tag_test::ReportLines;

const char kChooseTitle[] = "Choose a table tag.";
const char kIncomplete[] =
    "The table tag report is incomplete: some table format properties could not be read or written.";
const int32_t kPoint = 65536;

class TagReportTest : public PluginTest {
 protected:
  // An open, active document whose catalogue holds exactly the given names.
  Document& OpenCatalogue(const std::vector<std::string>& names) {
    return tag_test::OpenTagDocument(Host(), "C:\\Docs\\report.fm", names, {});
  }

  static void Set(Document& document, const std::string& format, int32_t code, PropertyValue value) {
    gw::substitute::SetFormatLevelProperty(document.FindTableFormat(format)->properties, code, value);
  }

  // Runs a command; returns the paragraphs of the report document it created
  // (nothing when it created none).
  ReportLines Run(int32_t command) {
    std::vector<ObjectId> before = Host().OpenDocuments();
    EXPECT_EQ(Command(command), S_OK);
    std::vector<ObjectId> created = tag_test::NewDocuments(Host(), before);
    EXPECT_LE(created.size(), 1u);
    created_ = created.size();
    return created.empty() ? ReportLines{} : tag_test::ReportParagraphs(Host(), created.front());
  }

  // The single-tag report of the only format of a document built by set-up.
  ReportLines ReportOfOnlyFormat() {
    User().ExpectPrompt(kChooseTitle, 0);
    return Run(19);
  }

  size_t created_ = 0;
};

// The 42 paragraphs of a format "T" whose properties exercise every kind of
// line: enum words, nine-digit and negative integers cut to 8 characters,
// negative and fractional metrics, "None" for no ruling or colour, tints.
TEST_F(TagReportTest, WritesAllRowsInOrder) {
  Document& document = OpenCatalogue({"T"});
  const struct {
    int32_t code;
    int32_t value;
  } ints[] = {{1282, 1}, {1283, 4},         {1288, 1}, {1291, 123456789}, {1289, 2}, {1293, -12345678},
              {1294, 2}, {1295, 2},         {1296, 8}, {1300, 1},         {1301, 3}, {1298, 3},
              {1303, 2}, {1302, 7}};
  for (const auto& property : ints) Set(document, "T", property.code, PropertyValue::Int(property.value));
  const struct {
    int32_t code;
    Metric value;
  } metrics[] = {{1290, 6 * kPoint}, {1278, -(4 * kPoint + kPoint / 2)}, {1279, kPoint + kPoint / 4},
                 {1280, 0},          {1281, 72 * kPoint},                {1315, 4 * kPoint},
                 {1316, 2 * kPoint}, {1317, 6 * kPoint},                 {1318, 5 * kPoint}};
  for (const auto& property : metrics) Set(document, "T", property.code, PropertyValue::OfMetric(property.value));
  const struct {
    int32_t code;
    const char* name;
  } rulings[] = {{1309, ""},     {1314, "Double"}, {1310, "Thick"}, {1313, "Very Thin"}, {1311, "Medium"},
                 {1312, "Thin"}, {1305, "Thin"},   {1306, "Double"}, {1307, ""},        {1308, "Medium"}};
  for (const auto& property : rulings) Set(document, "T", property.code, PropertyValue::Id(document.RulingId(property.name)));
  Set(document, "T", 1297, PropertyValue::Id(0));
  Set(document, "T", 1299, PropertyValue::Id(document.ColourId("Red")));
  Set(document, "T", 1304, PropertyValue::Id(document.ColourId("Blue")));
  ReportLines expected = {
      {"Heading1", "T"}, {"Heading2", "Basic"},
      {"Body", "Alignment: Center "}, {"Body", "Start: Top of Right Page "}, {"Body", "Numbering: Column First "},
      {"Body", "Orphan Rows: 12345678 "}, {"Body", "Title Position: Below Table "},
      {"Body", "Table Title Gap: 6.00 points"},
      {"Heading2", "Indents"}, {"Body", "Left: -4.50 points"}, {"Body", "Right: 1.25 points"},
      {"Heading2", "Space"}, {"Body", "Above: 0.00 points"}, {"Body", "Below: 72.00 points"},
      {"Heading2", "Default Cell Margins"}, {"Body", "Top: 4.00 points"}, {"Body", "Bottom: 2.00 points"},
      {"Body", "Left: 6.00 points"}, {"Body", "Right: 5.00 points"},
      {"Heading2", "Ruling"}, {"Body", "Column Ruling Period: -1234567 "}, {"Body", "Column Ruling Style: None "},
      {"Body", "Other Column Ruling Style: Double "}, {"Body", "Body Row Ruling Period: 2 "},
      {"Body", "Body Row Ruling Style: Thick "}, {"Body", "Other Body Row Ruling Style: Very Thin "},
      {"Body", "Heading and Footing Separators: Medium "}, {"Body", "Heading and Footing Rows: Thin "},
      {"Body", "Outside Top Ruling: Thin "}, {"Body", "Outside Bottom Ruling: Double "},
      {"Body", "Outside Left Ruling: None "}, {"Body", "Outside Right Ruling: Medium "},
      {"Body", "Draw Bottom Ruling on Last Sheet Only: False "},
      {"Heading2", "Shading"}, {"Body", "Heading and Footing Fill: As Is "},
      {"Body", "Heading and Footing Fill Color: None "}, {"Body", "Shade By: Column(s) "}, {"Body", "First: 3 "},
      {"Body", "Fill: 50% "}, {"Body", "Color: Red "}, {"Body", "Next: 2 "}, {"Body", "Fill: White "},
      {"Body", "Color: Blue "},
  };
  EXPECT_EQ(ReportOfOnlyFormat(), expected);
  EXPECT_EQ(Host().ConsoleText(), "");
}

TEST_F(TagReportTest, MetricsFollowTheDisplayUnit) {
  Document& document = OpenCatalogue({"T"});
  Set(document, "T", 1290, PropertyValue::OfMetric(6 * kPoint));
  Set(document, "T", 1278, PropertyValue::OfMetric(-(4 * kPoint + kPoint / 2)));
  document.displayUnit = 2 * kPoint;
  ReportLines twoPoints = ReportOfOnlyFormat();
  ASSERT_EQ(twoPoints.size(), 43u);
  EXPECT_EQ(twoPoints[7].second, "Table Title Gap: 3.00 Q");
  EXPECT_EQ(twoPoints[9].second, "Left: -2.25 Q");

  // A unit of nothing would stop the plug-in in the division: lengths are
  // then given in points.
  document.displayUnit = 0;
  Host().SetActiveDocument(document.Id());  // the report became the active one
  ReportLines zero = ReportOfOnlyFormat();
  ASSERT_EQ(zero.size(), 43u);
  EXPECT_EQ(zero[0].second, "T");
  EXPECT_EQ(zero[7].second, "Table Title Gap: 6.00 points");
  EXPECT_TRUE(Session().Faults().empty());
}

TEST_F(TagReportTest, ValuesWithoutWordsReadAsIs) {
  Document& document = OpenCatalogue({"T"});
  Set(document, "T", 1282, PropertyValue::Int(3));
  Set(document, "T", 1283, PropertyValue::Int(6));
  Set(document, "T", 1288, PropertyValue::Int(2));
  Set(document, "T", 1289, PropertyValue::Int(-1));
  Set(document, "T", 1300, PropertyValue::Int(2));
  Set(document, "T", 1296, PropertyValue::Int(15));
  Set(document, "T", 1298, PropertyValue::Int(-1));
  Set(document, "T", 1302, PropertyValue::Int(0));
  Set(document, "T", 1295, PropertyValue::Int(1));
  ReportLines lines = ReportOfOnlyFormat();
  ASSERT_EQ(lines.size(), 43u);
  EXPECT_EQ(lines[2].second, "Alignment: As Is ");
  EXPECT_EQ(lines[3].second, "Start: As Is ");
  EXPECT_EQ(lines[4].second, "Numbering: As Is ");
  EXPECT_EQ(lines[6].second, "Title Position: As Is ");
  EXPECT_EQ(lines[32].second, "Draw Bottom Ruling on Last Sheet Only: True ");
  EXPECT_EQ(lines[34].second, "Heading and Footing Fill: None ");
  EXPECT_EQ(lines[36].second, "Shade By: As Is ");
  EXPECT_EQ(lines[38].second, "Fill: As Is ");
  EXPECT_EQ(lines[41].second, "Fill: 100% ");
}

TEST_F(TagReportTest, AllTagsInByteOrderEachFollowedByAnEmptyParagraph) {
  OpenCatalogue({"b", "B", "a"});
  ReportLines lines = Run(11);
  ASSERT_EQ(lines.size(), 3u * 44u);
  for (size_t block = 0; block < 3; block++) {
    EXPECT_EQ(lines[block * 44].first, "Heading1");
    EXPECT_EQ(lines[block * 44 + 1], (std::pair<std::string, std::string>{"Heading2", "Basic"}));
    EXPECT_EQ(lines[block * 44 + 43], (std::pair<std::string, std::string>{"Body", ""}));
  }
  EXPECT_EQ(lines[0].second, "B");
  EXPECT_EQ(lines[44].second, "a");
  EXPECT_EQ(lines[88].second, "b");
}

TEST_F(TagReportTest, EmptyCatalogueOpensAnEmptyReportOrOffersAnEmptyList) {
  Document& document = OpenCatalogue({});
  EXPECT_TRUE(Run(11).empty());
  EXPECT_EQ(created_, 1u);

  Host().SetActiveDocument(document.Id());  // the report became the active one
  User().ExpectPrompt(kChooseTitle, UserScript::kCancel);
  EXPECT_TRUE(Run(19).empty());
  ASSERT_EQ(User().Transcript().size(), 1u);
  EXPECT_TRUE(User().Transcript()[0].items.empty());
}

TEST_F(TagReportTest, WithoutADocumentNothingHappens) {
  EXPECT_TRUE(Run(11).empty());
  EXPECT_TRUE(Run(19).empty());
  EXPECT_EQ(created_, 0u);
}

TEST_F(TagReportTest, SingleTagOffersTheSortedNamesAndCancelWritesNothing) {
  OpenCatalogue({"b", "B", "a"});
  User().ExpectPrompt(kChooseTitle, UserScript::kCancel);
  EXPECT_TRUE(Run(19).empty());
  EXPECT_EQ(created_, 0u);
  ASSERT_EQ(User().Transcript().size(), 1u);
  EXPECT_EQ(User().Transcript()[0].items, (std::vector<std::string>{"B", "a", "b"}));
  EXPECT_EQ(User().Transcript()[0].defaultIndex, 0);

  User().ExpectPrompt(kChooseTitle, 2);
  ReportLines lines = Run(19);
  ASSERT_EQ(lines.size(), 43u);  // no separator after a single tag
  EXPECT_EQ(lines[0], (std::pair<std::string, std::string>{"Heading1", "b"}));
  EXPECT_EQ(lines[42].second, "Color: Black ");
}

TEST_F(TagReportTest, ValueTheHostFailsToGiveIsMarkedAndTheReportCalledIncomplete) {
  OpenCatalogue({"T"});
  Host().InjectFailure(FailureRule::ForProperty("GetIntProp", 1282));
  ReportLines lines = ReportOfOnlyFormat();
  ASSERT_EQ(lines.size(), 43u);
  EXPECT_EQ(lines[2].second, "Alignment: Unknown ");
  EXPECT_EQ(lines[3].second, "Start: Anywhere ");
  EXPECT_EQ(Host().ConsoleLines(), (std::vector<std::string>{kIncomplete}));
}

TEST_F(TagReportTest, MissingReportDocumentIsToldOnTheConsole) {
  // Neither KVOutput.fm nor a new document: nothing can be written.
  OpenCatalogue({"T"});
  Host().InjectFailure(FailureRule::Every("NewCustomDocument"));
  User().ExpectPrompt(kChooseTitle, 0);
  EXPECT_TRUE(Run(19).empty());
  EXPECT_EQ(Host().ConsoleLines(),
            (std::vector<std::string>{"The table tag report could not be written: no report document."}));
}

}  // namespace
