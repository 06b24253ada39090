#include "mif/mif_tree.h"

#include <gtest/gtest.h>

#include <string>

#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace gw::mif {
namespace {

Document MustParse(const std::string& text) {
  Result<Document> parsed = Parse(text, "t.mif");
  EXPECT_TRUE(parsed.IsOk()) << (parsed.IsOk() ? "" : parsed.ErrorMessage());
  if (!parsed) std::abort();
  return std::move(parsed).Value();
}

const char kValues[] =
    "<MIFFile 7.00>\n"
    "<Tbl\n"
    " <TblTag `Caf\\x8e  \\xd5 s'>\n"
    " <TblID 42>\n"
    " <TblNegative -7>\n"
    " <Shade 12.5>\n"
    " <Inch 1.5\">\n"
    " <Cm 2.54 cm>\n"
    " <Mm 25.4mm>\n"
    " <Pica 2 pc>\n"
    " <Cicero 1 cc>\n"
    " <Unitless 3>\n"
    " <Flag Yes>\n"
    " <Pair 1 2>\n"
    " <Empty>\n"
    ">\n";

TEST(MifValues, ReadsEachKindOfValue) {
  Document document = MustParse(kValues);
  NodeId table = document.FindChild(document.Root(), "Tbl");
  auto child = [&](const char* name) { return document.FindChild(table, name); };

  EXPECT_EQ(document.ReadString(child("TblTag")).Value(), "Caf\x8E \xD5s");
  EXPECT_EQ(document.ReadInt(child("TblID")).Value(), 42);
  EXPECT_EQ(document.ReadInt(child("TblNegative")).Value(), -7);
  EXPECT_DOUBLE_EQ(document.ReadDouble(child("Shade")).Value(), 12.5);
  EXPECT_EQ(document.ReadKeyword(child("Flag")).Value(), "Yes");

  struct PointsCase {
    const char* name;
    double points;
  };
  const PointsCase points[] = {
      {"Inch", 108.0}, {"Cm", 72.0}, {"Mm", 72.0}, {"Pica", 24.0}, {"Cicero", 12 * 0.376065 * 72 / 25.4}, {"Unitless", 3.0},
  };
  for (const PointsCase& c : points) {
    SCOPED_TRACE(c.name);
    Result<double> value = document.ReadPoints(child(c.name), Unit::Point);
    ASSERT_TRUE(value.IsOk()) << value.ErrorMessage();
    EXPECT_NEAR(value.Value(), c.points, 1e-9);
  }
  EXPECT_DOUBLE_EQ(document.ReadPoints(child("Unitless"), Unit::Inch).Value(), 216.0);
  EXPECT_EQ(document.ReadMetric(child("Inch"), Unit::Point).Value(), 108 * 65536);
  EXPECT_EQ(document.ReadMetric(child("Cm"), Unit::Point).Value(), 72 * 65536);
}

TEST(MifValues, WrongShapesFailNamingFileLineAndStatement) {
  Document document = MustParse(kValues);
  NodeId table = document.FindChild(document.Root(), "Tbl");
  auto child = [&](const char* name) { return document.FindChild(table, name); };

  EXPECT_EQ(document.ReadString(child("TblID")).ErrorMessage(), "t.mif:4:2: <TblID>: expected a string, found a number 42");
  EXPECT_EQ(document.ReadInt(child("Pair")).ErrorMessage(), "t.mif:14:2: <Pair>: expected one value, found 2");
  EXPECT_EQ(document.ReadInt(child("Empty")).ErrorMessage(), "t.mif:15:2: <Empty>: expected one value, found 0");
  EXPECT_EQ(document.ReadInt(child("Shade")).ErrorMessage(), "t.mif:6:2: <Shade>: expected an integer, found 12.5");
  EXPECT_FALSE(document.ReadPoints(child("Flag"), Unit::Point).IsOk());
  EXPECT_FALSE(document.ReadDouble(child("Inch")).IsOk());
  EXPECT_EQ(document.ReadString(child("Missing")).ErrorMessage(), "t.mif: missing statement");
  Document huge = MustParse("<MIFFile 7.00>\n<W 99999999 in>\n");
  EXPECT_NE(huge.ReadMetric(huge.FindChild(huge.Root(), "W"), Unit::Point).ErrorMessage().find("out of range"),
            std::string::npos);
}

TEST(MifValues, Utf8StringsBecomeFrameRomanAndMissingCharactersFail) {
  Document document = MustParse("<MIFFile 2015>\n<A `Caf\xC3\xA9 \xE2\x80\x99'>\n<B `\xE4\xB8\xAD'>\n");
  EXPECT_EQ(document.ReadString(document.FindChild(document.Root(), "A")).Value(), "Caf\x8E \xD5");
  Result<std::string> lossy = document.ReadString(document.FindChild(document.Root(), "B"));
  ASSERT_FALSE(lossy.IsOk());
  EXPECT_NE(lossy.ErrorMessage().find("t.mif:3:1: <B>: string has 1 character(s)"), std::string::npos);
}

TEST(MifUnits, NamesAndFormatting) {
  EXPECT_EQ(UnitFromName("\""), Unit::Inch);
  EXPECT_EQ(UnitFromName("PT"), Unit::Point);
  EXPECT_EQ(UnitFromName("didot"), Unit::Didot);
  EXPECT_EQ(UnitFromName("Q"), Unit::Q);
  EXPECT_FALSE(UnitFromName("px").has_value());
  EXPECT_EQ(FormatDimension(6, Unit::Point), "6.0 pt");
  EXPECT_EQ(FormatDimension(1.5, Unit::Inch), "1.5\"");
  EXPECT_EQ(FormatDimension(1.0 / 3.0, Unit::Millimeter), "0.33333333 mm");
  EXPECT_EQ(FormatDimension(-0.000000001, Unit::Point), "0.0 pt");
}

TEST(MifUnits, WrittenDimensionsKeepEveryMetricExact) {
  const Unit units[] = {Unit::Point, Unit::Inch, Unit::Millimeter, Unit::Centimeter,
                        Unit::Pica,  Unit::Didot, Unit::Cicero,    Unit::Q};
  const std::int32_t metrics[] = {1, 7, 65535, 100483, 655360 * 3 + 1, -4718592 - 13, 2147483647};
  for (Unit unit : units) {
    for (std::int32_t metric : metrics) {
      std::string text = "<MIFFile 7.00>\n<W " + FormatDimension(metric / 65536.0 / PointsPerUnit(unit), unit) + ">\n";
      SCOPED_TRACE(text);
      Document document = MustParse(text);
      Result<std::int32_t> back = document.ReadMetric(document.FindChild(document.Root(), "W"), Unit::Point);
      ASSERT_TRUE(back.IsOk()) << back.ErrorMessage();
      EXPECT_EQ(back.Value(), metric);
    }
  }
}

TEST(MifValues, DeclaredUnitDefaultsToInches) {
  EXPECT_EQ(MustParse("<MIFFile 7.00>\n").DeclaredUnit(), Unit::Inch);
  EXPECT_EQ(MustParse("<MIFFile 7.00>\n<Units Upt>\n").DeclaredUnit(), Unit::Point);
}

// A tree large enough for its nodes to live in blocks of their own: a copy
// shares the file's bytes, outlives the original, and edits apart from it.
TEST(MifTree, LargeTreesCopyAndOutliveTheirOriginal) {
  std::string text = "<MIFFile 7.00>\n<Tbls \n";
  for (int i = 0; i < 40000; ++i) text += " <Tbl <TblID " + std::to_string(i) + "> <TblTag `T'>>\n";
  text += "> # end of Tbls\n";
  Document copy = [&] {
    Document original = MustParse(text);
    Document made = original.Copy();
    const NodeId tbls = original.FindChild(original.Root(), "Tbls");
    EXPECT_TRUE(original.Remove(original.FirstChild(tbls)).IsOk());
    EXPECT_NE(Write(original), text);
    return made;
  }();
  EXPECT_EQ(Write(copy), text);
  const NodeId last = copy.LastChild(copy.FindChild(copy.Root(), "Tbls"));
  ASSERT_TRUE(copy.SetInt(copy.FindChild(last, "TblID"), 7).IsOk());
  const std::string edited = Write(copy);
  EXPECT_EQ(edited.size(), text.size() - 4);
  EXPECT_NE(edited.find("<TblID 7> <TblTag `T'>>\n> # end of Tbls"), std::string::npos);
}

// Every kind of edit inside a trial is undone by Rollback, and a committed
// trial is as if no trial had run; a later trial undoes only its own edits.
TEST(MifTree, TrialEditsRollBackExactlyAndCommitAsUsual) {
  const std::string text = "<MIFFile 7.00>\n<A \n <B 1> # one\n <C `x'>\n> # end of A\n<D 2>\n";
  const auto edit = [](Document& doc) {
    const NodeId a = doc.FindChild(doc.Root(), "A");
    ASSERT_TRUE(doc.SetInt(doc.FindChild(a, "B"), 5).IsOk());
    ASSERT_TRUE(doc.Remove(doc.FindChild(a, "C")).IsOk());
    Result<NodeId> e = doc.AppendStatement(a, "E");
    ASSERT_TRUE(e.IsOk());
    ASSERT_TRUE(doc.AppendInt(e.Value(), 7).IsOk());
    ASSERT_TRUE(doc.InsertStatementBefore(a, "F").IsOk());
    ASSERT_TRUE(doc.CopyStatement(a, doc.Root(), kNoNode).IsOk());
    ASSERT_TRUE(doc.Remove(doc.FindChild(doc.Root(), "D")).IsOk());
  };
  Document plain = MustParse(text);
  edit(plain);

  Document doc = MustParse(text);
  doc.BeginTrial();
  edit(doc);
  EXPECT_EQ(Write(doc), Write(plain));
  doc.Rollback();
  EXPECT_EQ(Write(doc), text);
  EXPECT_FALSE(doc.Modified());
  EXPECT_TRUE(doc.Edits().empty());

  doc.BeginTrial();
  edit(doc);
  doc.Commit();
  EXPECT_EQ(Write(doc), Write(plain));
  const std::size_t edits = doc.Edits().size();
  doc.BeginTrial();
  ASSERT_TRUE(doc.SetInt(doc.FindChild(doc.FindChild(doc.Root(), "A"), "B"), 9).IsOk());
  Document copy = doc.Copy();
  doc.Rollback();
  EXPECT_EQ(Write(doc), Write(plain));
  EXPECT_EQ(doc.Edits().size(), edits);
  // The copy holds no trial: its own trial saves and undoes its own edits.
  copy.BeginTrial();
  ASSERT_TRUE(copy.SetInt(copy.FindChild(copy.FindChild(copy.Root(), "A"), "B"), 3).IsOk());
  copy.Rollback();
  EXPECT_NE(Write(copy).find("<B 9>"), std::string::npos);
}

}  // namespace
}  // namespace gw::mif
