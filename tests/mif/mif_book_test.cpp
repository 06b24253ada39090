#include "mif/mif_book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mif/mif_reader.h"
#include "substitute/host_codes.h"

namespace gw::mif {
namespace {

namespace sub = gw::substitute;

const char kBook[] =
    "<Book 7.00> # a hand-written book\n"
    "<BookSettings <BookUpdateReferences Yes>>\n"
    "<BookComponent\n"
    " <FileName `<c\\>front.mif'>\n"
    " <Unique 101>\n"
    "> # end of BookComponent\n"
    "<BookFolder\n"
    " <FolderName `Chapters'>\n"
    " <BookComponent <FileName `<c\\>parts<c\\>ch1.mif'>>\n"
    " <BookGroup <GroupName `Appendices'>\n"
    "  <BookComponent <FileName `<u\\><c\\>common<c\\>glossary.mif'>>\n"
    " >\n"
    ">\n"
    "<BookComponent <FileName `<c\\>index.mif'> <DeriveType IDX>>\n";

// "kind name" lines, two spaces per level.
std::vector<std::string> Render(sub::Book& book, const std::vector<ObjectId>& level, int depth = 0) {
  std::vector<std::string> lines;
  for (ObjectId id : level) {
    const sub::BookComponent* c = book.FindComponent(id);
    lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + std::to_string(c->kind) + " " + c->fileName);
    for (std::string& line : Render(book, c->children, depth + 1)) lines.push_back(std::move(line));
  }
  return lines;
}

TEST(MifBook, ComponentsWithResolvedHostNamesAndGroups) {
  Result<Document> tree = Parse(kBook, "guide.book");
  ASSERT_TRUE(tree.IsOk()) << tree.ErrorMessage();
  sub::Book book("G:\\books\\guide.book");
  Status read = ReadBook(tree.Value(), book.fileName, book);
  ASSERT_TRUE(read.IsOk()) << read.ErrorMessage();
  EXPECT_EQ(Render(book, book.TopLevel()), (std::vector<std::string>{
                                               "512 G:\\books\\front.mif",
                                               "64 Chapters",
                                               "  512 G:\\books\\parts\\ch1.mif",
                                               "  2 Appendices",
                                               "    512 G:\\common\\glossary.mif",
                                               "512 G:\\books\\index.mif",
                                           }));

  // Written and read again, the book has the same components.
  std::string written = WriteNewBook(book, "G:\\books\\guide.book");
  Result<Document> again = Parse(written, "again.book");
  ASSERT_TRUE(again.IsOk()) << again.ErrorMessage() << "\n" << written;
  sub::Book copy("G:\\books\\guide.book");
  ASSERT_TRUE(ReadBook(again.Value(), copy.fileName, copy).IsOk());
  EXPECT_EQ(Render(copy, copy.TopLevel()), Render(book, book.TopLevel()));
  EXPECT_NE(written.find("<FileName `<u\\><c\\>common<c\\>glossary.mif'>"), std::string::npos) << written;
}

TEST(MifBook, BadComponentsNameFileAndLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"<Book 7.00>\n<BookComponent <Unique 1>>\n", "b.book:2:1: <BookComponent>: book component without FileName"},
      {"<Book 7.00>\n<BookComponent\n <FileName `ch1.mif'>>\n",
       "b.book:3:2: <FileName>: book component path \"ch1.mif\""},
      {"<Book 7.00>\n<BookComponent <FileName `<u\\><u\\><u\\><c\\>x.mif'>>\n",
       "b.book:2:16: <FileName>: book component path"},
      {"<MIFFile 7.00>\n", "b.book: is a document, not a book file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Result<Document> tree = Parse(c.text, "b.book");
    ASSERT_TRUE(tree.IsOk()) << tree.ErrorMessage();
    sub::Book book("G:\\b\\b.book");
    Status read = ReadBook(tree.Value(), book.fileName, book);
    ASSERT_FALSE(read.IsOk());
    EXPECT_EQ(read.ErrorMessage().substr(0, std::string(c.message).size()), c.message) << read.ErrorMessage();
  }
}

}  // namespace
}  // namespace gw::mif
