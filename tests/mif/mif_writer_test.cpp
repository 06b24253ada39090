#include "mif/mif_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mif/mif_reader.h"

namespace gw::mif {
namespace {

Document MustParse(const std::string& text) {
  Result<Document> parsed = Parse(text, "t.mif");
  EXPECT_TRUE(parsed.IsOk()) << (parsed.IsOk() ? "" : parsed.ErrorMessage());
  if (!parsed) std::abort();
  return std::move(parsed).Value();
}

const char kCatalog[] =
    "<MIFFile 7.00> # Generated\n"
    "<TblCatalog \n"
    " <TblFormat \n"
    "  <TblTag `Format A'>\n"
    "  <TblSpBefore 6.0 pt>\n"
    "  <TblLIndent 0.5\">\n"
    " > # end of TblFormat\n"
    " # the second format\n"
    " <TblFormat \n"
    "  <TblTag `Format B'>\n"
    " > # end of TblFormat\n"
    "> # end of TblCatalog\n"
    "# End of MIFFile\n";

TEST(MifEdit, NewStatementsAreWrittenInTheHostsStyle) {
  Document document = MustParse(kCatalog);
  NodeId catalog = document.FindChild(document.Root(), "TblCatalog");
  NodeId format = document.AppendStatement(catalog, "TblFormat").Value();
  NodeId tag = document.AppendStatement(format, "TblTag").Value();
  ASSERT_TRUE(document.AppendString(tag, "Format \xD5" "C").IsOk());
  NodeId indent = document.AppendStatement(format, "TblLIndent").Value();
  ASSERT_TRUE(document.AppendDimension(indent, 36, Unit::Inch).IsOk());
  NodeId title = document.AppendStatement(format, "TblTitlePgf1").Value();
  ASSERT_TRUE(document.AppendKeyword(document.AppendStatement(title, "PgfAlignment").Value(), "Center").IsOk());
  NodeId shape = document.AppendStatement(format, "ShapeRect").Value();
  ASSERT_TRUE(document.AppendInt(shape, 1).IsOk());
  ASSERT_TRUE(document.AppendInt(shape, 2).IsOk());

  EXPECT_EQ(Write(document),
            "<MIFFile 7.00> # Generated\n"
            "<TblCatalog \n"
            " <TblFormat \n"
            "  <TblTag `Format A'>\n"
            "  <TblSpBefore 6.0 pt>\n"
            "  <TblLIndent 0.5\">\n"
            " > # end of TblFormat\n"
            " # the second format\n"
            " <TblFormat \n"
            "  <TblTag `Format B'>\n"
            " > # end of TblFormat\n"
            " <TblFormat \n"
            "  <TblTag `Format \\xd5 C'>\n"
            "  <TblLIndent 0.5\">\n"
            "  <TblTitlePgf1 \n"
            "   <PgfAlignment Center>\n"
            "  > # end of TblTitlePgf1\n"
            "  <ShapeRect 1 2>\n"
            " > # end of TblFormat\n"
            "> # end of TblCatalog\n"
            "# End of MIFFile\n");
}

TEST(MifEdit, InsertBeforeAndAfterKeepNeighboursIntact) {
  Document document = MustParse(kCatalog);
  NodeId catalog = document.FindChild(document.Root(), "TblCatalog");
  std::vector<NodeId> formats = document.FindChildren(catalog, "TblFormat");
  NodeId spaceBefore = document.FindChild(formats[0], "TblSpBefore");
  ASSERT_TRUE(document.SetInt(document.InsertStatementBefore(spaceBefore, "TblID").Value(), 7).IsOk());
  ASSERT_TRUE(document.SetKeyword(document.InsertStatementAfter(document.FindChild(formats[1], "TblTag"), "TblAlignment").Value(),
                                  "Left")
                  .IsOk());
  ASSERT_TRUE(document.InsertStatementAfter(catalog, "Tbls").IsOk());
  EXPECT_EQ(Write(document),
            "<MIFFile 7.00> # Generated\n"
            "<TblCatalog \n"
            " <TblFormat \n"
            "  <TblTag `Format A'>\n"
            "  <TblID 7>\n"
            "  <TblSpBefore 6.0 pt>\n"
            "  <TblLIndent 0.5\">\n"
            " > # end of TblFormat\n"
            " # the second format\n"
            " <TblFormat \n"
            "  <TblTag `Format B'>\n"
            "  <TblAlignment Left>\n"
            " > # end of TblFormat\n"
            "> # end of TblCatalog\n"
            "<Tbls>\n"
            "# End of MIFFile\n");
}

TEST(MifEdit, ChangedValuesKeepTheirPlaceSpacingAndUnit) {
  Document document = MustParse(kCatalog);
  NodeId format = document.FindChild(document.FindChild(document.Root(), "TblCatalog"), "TblFormat");
  ASSERT_TRUE(document.SetString(document.FindChild(format, "TblTag"), "It's `new' > \\").IsOk());
  ASSERT_TRUE(document.SetPoints(document.FindChild(format, "TblSpBefore"), 12).IsOk());
  ASSERT_TRUE(document.SetPoints(document.FindChild(format, "TblLIndent"), 108).IsOk());
  std::string written = Write(document);
  EXPECT_NE(written.find("  <TblTag `It\\qs \\Qnew\\q \\> \\\\'>\n"), std::string::npos) << written;
  EXPECT_NE(written.find("  <TblSpBefore 12.0 pt>\n"), std::string::npos) << written;
  EXPECT_NE(written.find("  <TblLIndent 1.5\">\n"), std::string::npos) << written;
  // What was written reads back to the same values.
  Document again = MustParse(written);
  NodeId reread = again.FindChild(again.FindChild(again.Root(), "TblCatalog"), "TblFormat");
  EXPECT_EQ(again.ReadString(again.FindChild(reread, "TblTag")).Value(), "It's `new' > \\");
  EXPECT_DOUBLE_EQ(again.ReadPoints(again.FindChild(reread, "TblLIndent"), Unit::Inch).Value(), 108);
}

TEST(MifEdit, RemovingAStatementTakesItsLeadingCommentButNotTheNeighboursLine) {
  Document document = MustParse(kCatalog);
  NodeId catalog = document.FindChild(document.Root(), "TblCatalog");
  std::vector<NodeId> formats = document.FindChildren(catalog, "TblFormat");
  ASSERT_TRUE(document.Remove(formats[1]).IsOk());
  ASSERT_TRUE(document.Remove(document.FindChild(formats[0], "TblSpBefore")).IsOk());
  EXPECT_EQ(Write(document),
            "<MIFFile 7.00> # Generated\n"
            "<TblCatalog \n"
            " <TblFormat \n"
            "  <TblTag `Format A'>\n"
            "  <TblLIndent 0.5\">\n"
            " > # end of TblFormat\n"
            "> # end of TblCatalog\n"
            "# End of MIFFile\n");
  // Ids inside a removed statement cannot be edited unseen.
  EXPECT_FALSE(document.SetString(document.FindChild(formats[1], "TblTag"), "x").IsOk());
  EXPECT_FALSE(document.Remove(formats[1]).IsOk());
}

TEST(MifEdit, RefusesEditsThatWouldWriteBrokenMif) {
  Document document = MustParse(kCatalog);
  NodeId catalog = document.FindChild(document.Root(), "TblCatalog");
  NodeId tag = document.SingleValue(document.FindChild(document.FindChild(catalog, "TblFormat"), "TblTag")).Value();
  EXPECT_FALSE(document.SetRawValue(tag, "`open", NodeKind::String).IsOk());
  EXPECT_FALSE(document.SetRawValue(tag, "`a'b'", NodeKind::String).IsOk());
  EXPECT_FALSE(document.SetRawValue(tag, "two words", NodeKind::Keyword).IsOk());
  EXPECT_FALSE(document.SetRawValue(tag, "12 px", NodeKind::Dimension).IsOk());
  EXPECT_FALSE(document.AppendStatement(catalog, "Bad>Name").IsOk());
  EXPECT_FALSE(document.AppendStatement(catalog, "").IsOk());
  EXPECT_FALSE(document.Remove(document.Header()).IsOk());
  EXPECT_FALSE(document.Remove(document.Root()).IsOk());
  EXPECT_FALSE(document.InsertStatementBefore(document.Header(), "X").IsOk());
  EXPECT_EQ(Write(MustParse(kCatalog)), kCatalog);
}

// Found by fuzzing: a value written right after a statement (no space) must
// not run into the catalogue's name once that statement is removed.
TEST(MifEdit, RemovingAStatementNeverJoinsTheTokensAroundIt) {
  Document document = MustParse("<MIFFile 7.00>\n<TblCatalog\n <TblFormat <TblTag `A'>>\x12 <TblFormat <TblTag `B'>>\n>\n");
  NodeId catalog = document.FindChild(document.Root(), "TblCatalog");
  ASSERT_TRUE(document.Remove(document.FindChildren(catalog, "TblFormat")[0]).IsOk());
  Result<Document> again = Parse(Write(document), "again.mif");
  ASSERT_TRUE(again.IsOk()) << again.ErrorMessage();
  NodeId reread = again.Value().FindChild(again.Value().Root(), "TblCatalog");
  ASSERT_NE(reread, kNoNode) << Write(document);
  EXPECT_EQ(again.Value().FindChildren(reread, "TblFormat").size(), 1u);
}

TEST(MifEdit, NewLinesFollowTheFilesLineBreaks) {
  Document document = MustParse("<MIFFile 7.00>\r\n<Tbls \r\n> # end of Tbls\r\n");
  EXPECT_EQ(document.LineBreak(), "\r\n");
  NodeId tbls = document.FindChild(document.Root(), "Tbls");
  ASSERT_TRUE(document.SetInt(document.AppendStatement(document.AppendStatement(tbls, "Tbl").Value(), "TblID").Value(), 3)
                  .IsOk());
  EXPECT_EQ(Write(document), "<MIFFile 7.00>\r\n<Tbls \r\n <Tbl \r\n  <TblID 3>\r\n > # end of Tbl\r\n> # end of Tbls\r\n");
}

TEST(MifEdit, AddedItemsNeverLandInsideAComment) {
  Document document = MustParse("<MIFFile 7.00>\n<ShapeRect 1\" # left\n>\n<Tbls # all tables\n>\n");
  ASSERT_TRUE(document.AppendDimension(document.FindChild(document.Root(), "ShapeRect"), 144, Unit::Inch).IsOk());
  ASSERT_TRUE(document.AppendStatement(document.FindChild(document.Root(), "Tbls"), "Tbl").IsOk());
  std::string written = Write(document);
  EXPECT_EQ(written, "<MIFFile 7.00>\n<ShapeRect 1\" # left\n 2.0\"\n>\n<Tbls # all tables\n <Tbl>\n>\n");
  Document again = MustParse(written);
  EXPECT_EQ(again.Values(again.FindChild(again.Root(), "ShapeRect")).size(), 2u);
  EXPECT_NE(again.FindChild(again.FindChild(again.Root(), "Tbls"), "Tbl"), kNoNode);
}

TEST(MifEdit, FileTextAfterANewStatementsClosingCommentStartsANewLine) {
  // Compact MIF: a heading section inserted before the body on the same line.
  Document document = MustParse("<MIFFile 7.00>\n<Tbls <Tbl <TblID 1> <TblBody <Row <Cell>>>>>\n");
  NodeId tbl = document.FindChild(document.FindChild(document.Root(), "Tbls"), "Tbl");
  NodeId heading = document.InsertStatementBefore(document.FindChild(tbl, "TblBody"), "TblH").Value();
  ASSERT_TRUE(document.AppendStatement(document.AppendStatement(heading, "Row").Value(), "Cell").IsOk());
  ASSERT_TRUE(document.AppendStatement(tbl, "TblTitle").IsOk());
  ASSERT_TRUE(document.AppendStatement(document.AppendStatement(tbl, "TblF").Value(), "Row").IsOk());
  std::string written = Write(document);
  Result<Document> again = Parse(written, "t.mif");
  ASSERT_TRUE(again.IsOk()) << again.ErrorMessage() << "\n" << written;
  NodeId tblAgain = again.Value().FindChild(again.Value().FindChild(again.Value().Root(), "Tbls"), "Tbl");
  EXPECT_NE(again.Value().FindChild(tblAgain, "TblH"), kNoNode);
  EXPECT_NE(again.Value().FindChild(tblAgain, "TblBody"), kNoNode);
  EXPECT_NE(again.Value().FindChild(tblAgain, "TblF"), kNoNode);
}

// Found by fuzzing: a carriage return alone does not end a comment, so the
// ">" after it would close nothing.
TEST(MifEdit, AClosingAfterALoneCarriageReturnStaysOutOfTheComment) {
  Document document = MustParse("<MIFFile 7.00>\n<A <B 1>\r>\n");
  NodeId added = document.AppendStatement(document.FindChild(document.Root(), "A"), "C").Value();
  ASSERT_TRUE(document.AppendStatement(added, "D").IsOk());  // C now closes with "> # end of C"
  std::string written = Write(document);
  Result<Document> again = Parse(written, "t.mif");
  ASSERT_TRUE(again.IsOk()) << again.ErrorMessage() << "\n" << written;
  EXPECT_NE(again.Value().FindChild(again.Value().FindChild(again.Value().Root(), "A"), "C"), kNoNode);
}

// Statements no edit touched are copied from the file in one piece; the text
// must be the one a node-by-node write makes, wherever the edit falls: one
// edit of each kind on every statement of a chapter and of compact,
// commented and CRLF files, alone and after a rolled-back trial.
TEST(MifEdit, CopyingUntouchedStatementsWritesWhatEveryNodeWrites) {
  std::ifstream in(GW_MIF_TEST_DATA "/chapter.mif", std::ios::binary);
  const std::string chapter((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(chapter.empty());
  const std::vector<std::string> texts = {
      chapter,
      "<MIFFile 7.00>\r\n<A \r\n <B 1 2> # one\r\n <C `x'>\r\n> # end of A\r\n<D 2>\r\n",
      "<MIFFile 7.00>\n<Tbls <Tbl <TblID 1> <TblBody <Row <Cell>>>>>\n# end\n",
      "<MIFFile 7.00>\n<A <B 1>\r>\n<ShapeRect 1\" # left\n>\n<M\n=data & more\n&more\n>\n",
  };
  enum Edit { kRemove, kSetValue, kAppend, kCopy, kTrialThenRemoveValue, kEdits };
  for (const std::string& text : texts) {
    const Document original = MustParse(text);
    std::vector<NodeId> statements;
    for (std::vector<NodeId> pending{original.Root()}; !pending.empty();) {
      NodeId at = pending.back();
      pending.pop_back();
      for (NodeId child = original.FirstChild(at); child != kNoNode; child = original.Next(child)) {
        if (!original.IsStatement(child)) continue;
        statements.push_back(child);
        pending.push_back(child);
      }
    }
    ASSERT_GE(statements.size(), 4u);
    for (NodeId statement : statements) {
      for (int edit = 0; edit < kEdits; ++edit) {
        Document doc = original.Copy();
        const std::vector<NodeId> values = doc.Values(statement);
        switch (edit) {
          case kRemove:
            (void)doc.Remove(statement);
            break;
          case kSetValue:
            if (!values.empty()) {
              ASSERT_TRUE(doc.SetRawValue(values.front(), "42", NodeKind::Number).IsOk());
            }
            break;
          case kAppend:
            ASSERT_TRUE(doc.AppendInt(doc.AppendStatement(statement, "New").Value(), 1).IsOk());
            break;
          case kCopy:
            ASSERT_TRUE(doc.CopyStatement(statement, doc.Parent(statement), kNoNode).IsOk());
            break;
          case kTrialThenRemoveValue:
            doc.BeginTrial();
            ASSERT_TRUE(doc.AppendStatement(statement, "Gone").IsOk());
            doc.Rollback();
            if (!values.empty()) {
              ASSERT_TRUE(doc.Remove(values.back()).IsOk());
            }
            break;
        }
        ASSERT_EQ(Write(doc), WriteEveryNode(doc)) << "edit " << edit << " of " << doc.Describe(statement);
      }
    }
  }
}

TEST(MifEdit, Utf8FilesGetUtf8Strings) {
  Document document = MustParse("<MIFFile 2015>\n<A `x'>\n");
  ASSERT_TRUE(document.SetString(document.FindChild(document.Root(), "A"), "Caf\x8E").IsOk());
  EXPECT_EQ(Write(document), "<MIFFile 2015>\n<A `Caf\xC3\xA9'>\n");
}

// --- Saving -------------------------------------------------------------

class AtomicWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mif_write_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

  static std::string Slurp(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "<unreadable>";
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
  }
  static void Put(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  std::vector<std::string> Entries(const std::string& folder) const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
  }

  std::string folder_;
};

TEST_F(AtomicWrite, ReplacesTheFileAndKeepsItsPermissions) {
  std::string path = folder_ + "/ch1.mif";
  Put(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  Status status = WriteFileAtomically(path, "new text");
  ASSERT_TRUE(status.IsOk()) << status.ErrorMessage();
  EXPECT_EQ(Slurp(path), "new text");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"ch1.mif"});
}

TEST_F(AtomicWrite, ThroughALinkReplacesTheTargetAndKeepsTheLink) {
  std::string target = folder_ + "/real.mif";
  std::string link = folder_ + "/link.mif";
  Put(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteFileAtomically(link, "new").IsOk());
  struct stat info {};
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(Slurp(target), "new");
}

TEST_F(AtomicWrite, MissingFolderFailsWithoutWritingAnything) {
  std::string path = folder_ + "/absent/ch1.mif";
  Status status = WriteFileAtomically(path, "text");
  ASSERT_FALSE(status.IsOk());
  EXPECT_NE(status.ErrorMessage().find(path + ": cannot save: cannot create a temporary file"), std::string::npos)
      << status.ErrorMessage();
  EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(AtomicWrite, FailedRenameRemovesTheTemporaryFile) {
  // A folder in the way of the rename: the text was written in full first.
  std::string path = folder_ + "/taken";
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  Put(path + "/inside", "kept");
  Status status = WriteFileAtomically(path, "text");
  ASSERT_FALSE(status.IsOk());
  EXPECT_NE(status.ErrorMessage().find("cannot replace the file"), std::string::npos) << status.ErrorMessage();
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"taken"});
  EXPECT_EQ(Slurp(path + "/inside"), "kept");
}

TEST_F(AtomicWrite, SaveThatFailsHalfwayLeavesTheOldFileWhole) {
  std::string path = folder_ + "/ch1.mif";
  Put(path, "the old chapter");
  // A file size limit makes the write fail after its first bytes.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Status status = WriteFileAtomically(path, std::string(100000, 'x'));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
  ASSERT_EQ(::sigaction(SIGXFSZ, &previous, nullptr), 0);

  ASSERT_FALSE(status.IsOk());
  EXPECT_NE(status.ErrorMessage().find(path + ": cannot save: cannot write: File too large"), std::string::npos)
      << status.ErrorMessage();
  EXPECT_EQ(Slurp(path), "the old chapter");
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"ch1.mif"});
}

// A file-size limit must not end the program: with SIGXFSZ at its default
// action the write still fails as a value and leaves no temporary file.
TEST_F(AtomicWrite, AFileSizeLimitIsAFailedWriteNotASignal) {
  std::string path = folder_ + "/ch1.mif";
  Put(path, "the old chapter");
  struct sigaction byDefault {};
  struct sigaction previous {};
  byDefault.sa_handler = SIG_DFL;
  ASSERT_EQ(::sigaction(SIGXFSZ, &byDefault, &previous), 0);
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Status status = WriteFileAtomically(path, std::string(100000, 'x'));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
  struct sigaction after {};
  ASSERT_EQ(::sigaction(SIGXFSZ, &previous, &after), 0);
  EXPECT_EQ(after.sa_handler, SIG_DFL);  // put back as it was
  ASSERT_FALSE(status.IsOk());
  EXPECT_EQ(Slurp(path), "the old chapter");
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"ch1.mif"});
}

// Like an editor, a save does not replace a read-only file, even where the
// folder would allow the rename.
TEST_F(AtomicWrite, AReadOnlyFileIsNotReplaced) {
  std::string path = folder_ + "/ch1.mif";
  Put(path, "the old chapter");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  Status status = WriteFileAtomically(path, "new text");
  ASSERT_FALSE(status.IsOk());
  EXPECT_EQ(status.ErrorMessage(), path + ": cannot save: the file is read-only");
  EXPECT_EQ(Slurp(path), "the old chapter");
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"ch1.mif"});
}

TEST_F(AtomicWrite, WrittenDocumentReadsBackTheSame) {
  std::string path = folder_ + "/book.mif";
  Document document = MustParse("<Book 7.00>\n<BookComponent \n <FileName `<c\\>ch1.fm'>\n> # end of BookComponent\n");
  ASSERT_TRUE(document.Remove(document.FindChild(document.Root(), "BookComponent")).IsOk());
  ASSERT_TRUE(WriteFileAtomically(path, Write(document)).IsOk());
  Result<Document> reread = ReadFile(path);
  ASSERT_TRUE(reread.IsOk()) << reread.ErrorMessage();
  EXPECT_EQ(Write(reread.Value()), "<Book 7.00>\n");
  EXPECT_EQ(reread.Value().FindChild(reread.Value().Root(), "BookComponent"), kNoNode);
}

}  // namespace
}  // namespace gw::mif
