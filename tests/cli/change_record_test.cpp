// Saves change exactly the statements their change record names. Every
// changing command runs on generated MIF documents (anchors at one offset in
// any order, inline statements of every kind, straddles, row heights, wrapped
// strings, MIF 7 escapes, MIF 8+ UTF-8, CRLF) and on the sample book; a small
// scanner of its own, not the project's reader, compares the files at the
// statement level with the record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <set>
#include <sstream>

#include "cli_test_support.h"
#include "cli/plain_list.h"
#include "cli/session.h"

namespace gw::cli {
namespace {

using testing::ReadAll;
using testing::RunResult;
using testing::SampleBook;
using testing::WriteAll;

// ---- An independent statement scanner ----------------------------------------------------------

struct Scanned {
  std::string path;  // statement names from the top, "/"-joined
  size_t firstLine = 0, lastLine = 0;
  size_t depth = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<Scanned> Scan(const std::string& text) {
  std::vector<Scanned> found;
  std::vector<size_t> open;
  size_t line = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') {
      ++line;
    } else if (c == '#') {
      while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
    } else if (c == '`') {
      for (++i; i < text.size() && text[i] != '\''; ++i) {
        if (text[i] == '\\') ++i;
        if (i < text.size() && text[i] == '\n') ++line;
      }
    } else if (c == '<') {
      size_t end = i + 1;
      while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
      Scanned statement;
      statement.path = (open.empty() ? "" : found[open.back()].path + "/") + text.substr(i + 1, end - i - 1);
      statement.firstLine = line;
      statement.depth = open.size();
      open.push_back(found.size());
      found.push_back(statement);
    } else if (c == '>' && !open.empty()) {
      found[open.back()].lastLine = line;
      open.pop_back();
    }
  }
  return found;
}

// The path of the deepest statement on each line ("" for none).
std::vector<std::string> InnermostByLine(const std::string& text) {
  std::vector<std::string> paths(Lines(text).size() + 1);
  std::vector<size_t> depth(paths.size(), 0);
  for (const Scanned& s : Scan(text)) {
    for (size_t l = s.firstLine; l <= s.lastLine && l < paths.size(); ++l) {
      if (paths[l].empty() || s.depth >= depth[l]) {
        paths[l] = s.path;
        depth[l] = s.depth;
      }
    }
  }
  return paths;
}

// The statements (by path) of the lines that differ: removed from the old
// text and added in the new one, by a longest-common-subsequence line diff.
struct Difference {
  std::set<std::string> removed, added;
};

Difference Diff(const std::string& before, const std::string& after) {
  std::vector<std::string> a = Lines(before), b = Lines(after);
  std::vector<std::string> pa = InnermostByLine(before), pb = InnermostByLine(after);
  const size_t n = a.size(), m = b.size();
  std::vector<uint32_t> lcs((n + 1) * (m + 1), 0);
  auto at = [&](size_t i, size_t j) -> uint32_t& { return lcs[i * (m + 1) + j]; };
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
  }
  Difference difference;
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      ++i, ++j;
    } else if (j < m && (i == n || at(i, j + 1) >= at(i + 1, j))) {
      difference.added.insert(pb[j++]);
    } else {
      difference.removed.insert(pa[i++]);
    }
  }
  return difference;
}

// A line's statement and an edited statement are the same, or one holds the
// other (a line diff may give a container's own lines to a neighbour).
bool Related(const std::string& a, const std::string& b) {
  return a == b || b.rfind(a + "/", 0) == 0 || a.rfind(b + "/", 0) == 0;
}

// Every differing line belongs to a statement the record names, and every
// statement the record names differs.
void ExpectRecordMatchesFiles(const mif::ChangeRecord& record, const std::string& before, const std::string& after,
                              const std::string& what) {
  const Difference difference = Diff(before, after);
  const std::vector<mif::StatementEdit> edits = mif::AllEdits(record);
  // A container's own lines may be matched across an added or removed child, so a
  // differing line counts as covered by an edit of any kind at a related statement.
  const auto covered = [&](const std::string& path) {
    return std::any_of(edits.begin(), edits.end(),
                       [&](const mif::StatementEdit& edit) { return Related(edit.path, path); });
  };
  for (const std::string& path : difference.removed) EXPECT_TRUE(covered(path)) << what << ": removed " << path;
  for (const std::string& path : difference.added) EXPECT_TRUE(covered(path)) << what << ": added " << path;
  for (const mif::StatementEdit& edit : edits) {
    bool seen = false;
    for (const std::string& path : difference.removed) seen = seen || Related(edit.path, path);
    for (const std::string& path : difference.added) seen = seen || Related(edit.path, path);
    EXPECT_TRUE(seen) << what << ": recorded but unchanged: " << edit.path;
  }
  EXPECT_EQ(record.empty(), before == after) << what;
}

// ---- A generator of MIF documents --------------------------------------------------------------

class Generator {
 public:
  Generator(uint32_t seed, const std::string& version) : random_(seed), version_(version) {}

  std::string Document() {
    std::string text = "<MIFFile " + version_ + "> # generated\n<Units Upt>\n";
    text += "<ColorCatalog \n <Color \n  <ColorTag `Black'>\n > # end of Color\n> # end of ColorCatalog\n";
    text += "<PgfCatalog \n";
    for (const char* tag : {"Body", "CellBody", "CellHeading", "TableTitle"})
      text += " <Pgf \n  <PgfTag `" + std::string(tag) + "'>\n > # end of Pgf\n";
    text += "> # end of PgfCatalog\n<RulingCatalog \n <Ruling \n  <RulingTag `Thin'>\n > # end of Ruling\n"
            "> # end of RulingCatalog\n";
    text += "<TblCatalog \n <TblFormat \n  <TblTag `Format A'>\n  <TblLIndent 0.0 pt>\n  <TblAlignment Left>\n";
    text += Pick(2) == 0 ? "  <TblTitlePgf1 \n   <PgfTag `TableTitle'>\n  > # end of TblTitlePgf1\n"
                         : "  <TblTitlePgf1 \n   <Pgf \n    <PgfTag `TableTitle'>\n   > # end of Pgf\n"
                           "  > # end of TblTitlePgf1\n";
    text += " > # end of TblFormat\n <TblFormat \n  <TblTag `Spare'>\n  <TblAlignment Center>\n"
            "  <TblSpBefore 9.0 pt>\n > # end of TblFormat\n"
            " <TblFormat <TblTag `Unused'> <TblSpBefore 12.0 pt>> # never used\n> # end of TblCatalog\n";
    const int tables = 1 + Pick(4);
    text += "<Tbls \n";
    for (int t = 1; t <= tables; ++t) text += Table(t);
    text += "> # end of Tbls\n";
    text += "<Page \n <PageType BodyPage>\n <PageNum `1'>\n <TextRect \n  <ID 10>\n > # end of TextRect\n"
            " <Frame \n  <ID 7>\n  <Math \n   <MathFullForm `=[*sum[char[i],num[1,\"1\"],char[n]],\n"
            "    over[num[1,\"1\"],char[n]]]'>\n  > # end of Math\n > # end of Frame\n> # end of Page\n";
    text += "<TextFlow \n <TFTag `A'>\n <TFAutoConnect Yes>\n";
    text += " <Para \n  <PgfTag `Body'>\n  <ParaLine \n   <TextRectID 10>\n" + Inline(3) + "  >\n > # end of Para\n";
    // Tables anchored in twos and threes at one offset, in any order.
    std::vector<int> ids;
    for (int t = 1; t <= tables; ++t) ids.push_back(t);
    std::shuffle(ids.begin(), ids.end(), random_);
    for (size_t i = 0; i < ids.size();) {
      size_t count = std::min<size_t>(ids.size() - i, 1 + static_cast<size_t>(Pick(3)));
      text += " <Para \n  <PgfTag `Body'>\n  <ParaLine \n" + Inline(2);
      for (size_t k = 0; k < count; ++k) text += "   <ATbl " + std::to_string(ids[i + k]) + ">\n";
      text += Inline(2) + "  >\n > # end of Para\n";
      i += count;
    }
    text += "> # end of TextFlow\n# End of MIFFile\n";
    if (Pick(3) == 0) {
      std::string crlf;
      for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
      text = crlf;
    }
    return text;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Text() {
    const bool utf8 = version_ != "7.00";
    static const char* const kLatin[] = {"Edition", "Plain ", "Stra\\xdf e", "tab\\tbed", "a \\> b", "it\\qs"};
    static const char* const kUtf8[] = {"Edition",
                                        "\xe7\x89\x88 \xc3\x89"
                                        "dition \xe2\x9c\x93 \xe2\x82\xac",
                                        "caf\xc3\xa9",
                                        "\xe2\x80\x9cquoted\xe2\x80\x9d"};
    return utf8 ? kUtf8[Pick(4)] : kLatin[Pick(6)];
  }

  // Inline statements of every kind the model keeps or does not know.
  std::string Inline(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      switch (Pick(11)) {
        case 0: text += "   <Font \n    <FTag `Emphasis'>\n   > # end of Font\n"; break;
        case 1: text += "   <Marker \n    <MType 2>\n    <MText `index entry'>\n   > # end of Marker\n"; break;
        case 2: text += "   <XRef \n    <XRefName `Heading'>\n    <XRefSrcText `12: Start'>\n   > # end of XRef\n"
                        "   <String `see'>\n   <XRefEnd >\n"; break;
        case 3: text += "   <Variable \n    <VariableName `Current Date'>\n   > # end of Variable\n"; break;
        case 4: text += "   <FNote 3>\n"; break;
        case 5: text += "   <AFrame 7>\n"; break;
        case 6: text += "   <Char Tab>\n"; break;
        case 7: text += "   <ElementBegin \n    <ETag `Term'>\n   > # end of ElementBegin\n   <String `x'>\n"
                        "   <ElementEnd `Term'>\n"; break;
        case 8: text += "   <Conditional \n    <InCondition `Draft'>\n   > # end of Conditional\n"; break;
        case 9: text += "   <FutureInline <Deep 1 `two'>>\n"; break;
        default: text += "   <String `" + Text() + "'>\n"; break;
      }
    }
    return text;
  }

  std::string Cell(bool heading, bool straddle, bool empty) {
    std::string text = "    <Cell \n";
    if (Pick(3) == 0) text += "     <CellFill 3>\n";
    if (straddle) text += "     <CellColumns 2>\n";
    text += "     <CellContent \n      <Para \n       <PgfTag `" + std::string(heading ? "CellHeading" : "CellBody") +
            "'>\n       <ParaLine \n";
    if (!empty) text += "        <String `" + Text() + "'>\n" + Inline(Pick(3));
    text += "       >\n      > # end of Para\n     > # end of CellContent\n    > # end of Cell\n";
    return text;
  }

  std::string Row(int columns, bool heading) {
    std::string text = "   <Row \n";
    if (Pick(2) == 0) text += "    <RowHeight 14.0 pt>\n";
    const bool straddle = columns > 1 && Pick(3) == 0;
    for (int c = 0; c < columns; ++c) text += Cell(heading, straddle && c == 0, straddle && c == 1);
    return text + "   > # end of Row\n";
  }

  std::string Table(int id) {
    const int columns = 1 + Pick(3);
    std::string text = " <Tbl \n  <TblID " + std::to_string(id) + ">\n  <TblTag `" +
                       (Pick(3) == 0 ? "Spare" : "Format A") + "'>\n";
    if (Pick(2) == 0) text += "  <TblFormat \n   <TblLIndent " + std::string(Pick(2) ? "0.0000153" : "6.0") +
                              " pt>\n  > # end of TblFormat\n";
    text += "  <TblNumColumns " + std::to_string(columns) + ">\n";
    for (int c = 0; c < columns; ++c) text += "  <TblColumnWidth 72.0 pt>\n";
    if (Pick(3) == 0) text += "  <TblH \n" + Row(columns, true) + "  > # end of TblH\n";
    text += "  <TblBody \n";
    const int rows = 1 + Pick(3);
    for (int r = 0; r < rows; ++r) text += Row(columns, false);
    return text + "  > # end of TblBody\n > # end of Tbl\n";
  }

  std::mt19937 random_;
  std::string version_;
};

// ---- Running commands ----------------------------------------------------------------------------

struct CommandRun {
  int32_t command;
  const char* name;
};
constexpr CommandRun kCommands[] = {
    {4, "delete-unused"}, {8, "remove-overrides"}, {1, "fix-headings"}, {2, "convert"}, {6, "keep-listed"}};
constexpr CommandRun kReopen = {0, "reopening"};  // no command: nothing may be pending

// Runs the command on the file, saves what it changed and checks the saved
// file against the record; returns the record.
mif::ChangeRecord RunAndCheck(const std::string& file, const CommandRun& run) {
  mif::ChangeRecord record;
  std::ostringstream out, err;
  std::istringstream in;
  Io io{out, err, in, false, false};
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(DefaultSessionConfig(), io);
  EXPECT_TRUE(session.IsOk());
  if (!session.IsOk()) return record;
  HostSession& host = *session.Value();
  if (run.command == 2 || run.command == 6) {
    PlainList list;
    list.conversion = run.command == 2;
    if (list.conversion) {
      list.entries.push_back({"Spare", "Format A"});
    } else {
      list.entries.push_back({"Format A", ""});
      list.entries.push_back({"Spare", ""});
    }
    BuildListDocument(host.Host(), list);
  }
  const std::string before = ReadAll(file);
  Result<substitute::Document*> document = host.OpenDocument(file);
  EXPECT_TRUE(document.IsOk()) << (document.IsOk() ? "" : document.GetError().message);
  if (!document.IsOk()) return record;
  Answers answers;
  answers.confirm = true;
  host.SetAnswers(answers);
  if (run.command != 0) host.RunCommand(run.command);
  Result<mif::ChangeRecord> pending = host.PendingChanges(*document.Value());
  EXPECT_TRUE(pending.IsOk());
  if (!pending.IsOk()) return record;
  record = pending.Value();
  if (!record.empty()) {
    EXPECT_TRUE(host.SaveDocument(*document.Value()).IsOk()) << err.str();
  }
  ExpectRecordMatchesFiles(record, before, ReadAll(file), file + " after " + run.name);
  return record;
}

// What each command is meant to change, and nothing else.
void ExpectIntended(const mif::ChangeRecord& record, const CommandRun& run, const std::string& what) {
  using Subject = mif::ObjectChange::Subject;
  for (const mif::ObjectChange& change : record) {
    if (run.command == 4 || run.command == 6) {
      // keep-listed may delete a format in use; its tables then state what they took from it.
      const bool kept = run.command == 6 && change.subject == Subject::kTable && change.properties.empty() &&
                        change.name == change.newName && change.rowsBefore == change.rowsAfter;
      EXPECT_TRUE(kept ||
                  (change.subject == Subject::kTableFormat && change.action == mif::ObjectChange::Action::kDeleted))
          << what;
    } else {
      EXPECT_EQ(change.subject, Subject::kTable) << what;
    }
    if (run.command == 1) {
      EXPECT_EQ(change.rowsAfter[0], change.rowsBefore[0] + 1) << what;
    }
    if (run.command == 2) {
      EXPECT_EQ(change.newName, "Format A") << what;
    }
  }
}

TEST_F(SampleBook, GeneratedDocumentsChangeOnlyWhatTheirRecordsName) {
  const std::string versions[] = {"7.00", "8.00", "9.00", "2019"};
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const std::string version = versions[seed % 4];
    const std::string text = Generator(seed, version).Document();
    for (const CommandRun& run : kCommands) {
      const std::string file = Path("generated.mif");
      WriteAll(file, text);
      const std::string what = "seed " + std::to_string(seed) + " (MIF " + version + ") " + run.name;
      mif::ChangeRecord record = RunAndCheck(file, run);
      ExpectIntended(record, run, what);
      // What was saved reads again and has nothing more to change.
      if (!record.empty()) {
        EXPECT_TRUE(RunAndCheck(file, kReopen).empty()) << what;
      }
    }
  }
}

TEST_F(SampleBook, SampleFilesChangeOnlyWhatTheirRecordsName) {
  for (const char* name : {"intro", "install", "commands", "settings", "glossary"}) {
    for (const CommandRun& run : kCommands) {
      SetUp();  // a fresh copy for each command
      const std::string file = Path("manual/" + std::string(name) + ".mif");
      ExpectIntended(RunAndCheck(file, run), run, std::string(name) + " " + run.name);
    }
  }
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The revision table's first row, as fix-headings moves it: a row height,
// a straddle, a cell's own fill and every kind of inline statement.
const char kRichRow[] =
    "   <Row \n    <RowHeight 14.0 pt>\n    <Cell \n     <CellFill 3>\n     <CellColumns 2>\n     <CellContent \n"
    "      <Para \n       <Pgf <PgfTag `Revision'>>\n       <ParaLine \n        <ElementBegin <ETag `Term'>>\n"
    "        <String `Edi'>\n        <Font <FTag `Emphasis'>>\n        <String `tion'>\n"
    "        <Marker <MType 2> <MText `index'>>\n        <XRef <XRefName `Heading'>>\n        <XRefEnd >\n"
    "        <Variable <VariableName `Current Date'>>\n        <FNote 3>\n        <AFrame 7>\n"
    "        <ElementEnd `Term'>\n       >\n      > # end of Para\n     > # end of CellContent\n    > # end of Cell\n";

TEST_F(SampleBook, FixedHeadingRowCarriesEverythingOfTheRow) {
  const std::string file = Path("manual/intro.mif");
  std::string text = ReadAll(file);
  text = Replaced(text,
                  "  <TblBody \n   <Row \n    <Cell \n     <CellContent \n      <Para \n       <PgfTag `CellBody'>\n"
                        "       <ParaLine \n        <String `Edition'>\n       >\n      > # end of Para\n"
                        "     > # end of CellContent\n    > # end of Cell\n",
                  std::string("  <TblBody \n") + kRichRow);
  WriteAll(file, text);
  RunResult fixed = Run({"fix-headings", "--yes", file});
  ASSERT_EQ(fixed.code, ExitCode::kDone) << fixed.err;
  const std::string saved = ReadAll(file);
  // The row moved whole into a new heading section; nothing else changed.
  EXPECT_EQ(saved, Replaced(Replaced(text, std::string("  <TblBody \n") + kRichRow,
                                     std::string("  <TblH \n") + kRichRow),
                            "   > # end of Row\n   <Row \n    <Cell \n     <CellContent \n      <Para \n"
                            "       <PgfTag `CellBody'>\n       <ParaLine \n        <String `1'>",
                            "   > # end of Row\n  > # end of TblH\n  <TblBody \n   <Row \n    <Cell \n"
                            "     <CellContent \n      <Para \n       <PgfTag `CellBody'>\n       <ParaLine \n"
                            "        <String `1'>"));
}

TEST_F(SampleBook, SingleBodyRowMovesWithItsFrameAndItsUtf8Text) {
  // MIF 9 text outside FrameRoman, and an anchored frame, in the only row of a table.
  const std::string file = Path("manual/glossary.mif");
  std::string text = Replaced(ReadAll(file), "<MIFFile 7.00>", "<MIFFile 9.00>");
  const std::string cell = "<String `\xe7\x89\x88 \xc3\x89" "dition \xe2\x9c\x93 \xe2\x82\xac'>\n        <AFrame 7>";
  const size_t body = text.find("  <TblBody \n");
  ASSERT_NE(body, std::string::npos);
  const size_t first = text.find("<String `", body);
  text.replace(first, text.find('\n', first) - first, cell);
  // Keep only the first body row.
  const size_t rowEnd = text.find("   > # end of Row\n", first) + std::string("   > # end of Row\n").size();
  text.erase(rowEnd, text.find("  > # end of TblBody", rowEnd) - rowEnd);
  const size_t heading = text.find("  <TblH ");
  text.erase(heading, text.find("  > # end of TblH\n") + std::string("  > # end of TblH\n").size() - heading);
  WriteAll(file, text);
  RunResult fixed = Run({"fix-headings", "--yes", file});
  ASSERT_EQ(fixed.code, ExitCode::kDone) << fixed.err;
  const std::string saved = ReadAll(file);
  EXPECT_NE(saved.find(cell), std::string::npos) << saved;
  EXPECT_EQ(saved.find("<AFrame 7>"), saved.rfind("<AFrame 7>")) << "the frame is anchored once, in the heading";
  EXPECT_LT(saved.find("<TblH"), saved.find(cell));
}

// A difference far below what two decimals show is an override, is removed
// and is listed.
TEST_F(SampleBook, TinyOverrideIsFoundRemovedAndListed) {
  const std::string file = Path("manual/glossary.mif");
  WriteAll(file, Replaced(ReadAll(file), "  <TblTag `Format A'>\n  <TblNumColumns",
                          "  <TblTag `Format A'>\n  <TblFormat <TblLIndent 0.0000153 pt>>\n  <TblNumColumns"));
  RunResult found = Run({"find-override", file});
  EXPECT_NE(found.out.find("overrides: Indent Left 0.0000153 pt"), std::string::npos) << found.out;
  RunResult removed = Run({"remove-overrides", "--yes", file});
  ASSERT_EQ(removed.code, ExitCode::kDone) << removed.err;
  EXPECT_EQ(removed.out,
            "Changed {dir}/manual/glossary.mif:\n  table 1 (\"Format A\"): Indent Left 0.0000153 pt -> 0.00 pt\n");
  EXPECT_NE(ReadAll(file).find("<TblFormat <TblLIndent 0.0 pt>>"), std::string::npos);
}

TEST_F(SampleBook, TableInAFlowWithoutPagesIsOnNoPage) {
  const std::string file = Path("manual/glossary.mif");
  WriteAll(file, Replaced(ReadAll(file), "   <TextRectID 10>\n", ""));
  RunResult shown = Run({"show", file});
  EXPECT_NE(shown.out.find("1. \"Format A\" on no page, "), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace gw::cli
