// libFuzzer target over the MIF layer: the reader, the model a document or
// book maps to, and the writers. Every input that reads must also write back
// and read again to the same model:
// - a document: the model, changed a little (a format deleted, a cell's text
//   set), is written into its own tree and read again; the second model must
//   equal the first. Its tree must also come back from a complete new file.
// - a book: written as a new book file and read again with the same components.
// - any tree, edited here and there, writes the same tree whether untouched
//   statements are copied in one piece or written node by node.
// A difference aborts, so that libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "mif/mif_book.h"
#include "mif/mif_document.h"
#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace {

namespace sub = gw::substitute;

constexpr char kDocumentName[] = "G:\\fuzz\\chapter.mif";
constexpr char kBookName[] = "G:\\fuzz\\manual.book";

// What of a document the round trips must keep: the catalogues, the tables
// with their rows and cell texts, the main flow's paragraphs.
std::string Describe(const sub::Document& document, bool everything) {
  std::string out;
  for (::ObjectId id : document.TableFormatOrder()) out += "format " + document.FindTableFormat(id)->name + "\n";
  for (::ObjectId id : document.TablesInOrder()) {
    const sub::Table* table = document.FindTable(id);
    out += "table " + table->tag + " rows " + std::to_string(table->rows.size()) + "\n";
    if (!everything) continue;
    for (::ObjectId rowId : table->rows) {
      const sub::Row* row = document.FindRow(rowId);
      out += " row " + std::to_string(row->kind);
      for (::ObjectId cell : row->cells) out += " [" + document.CellText(cell) + "]";
      out += "\n";
    }
  }
  if (everything) {
    for (::ObjectId id : document.ParagraphFormatOrder()) {
      out += "pgf " + document.FindParagraphFormat(id)->name + "\n";
    }
    for (::ObjectId id : document.MainFlowParagraphs()) {
      const sub::Paragraph* paragraph = document.FindParagraph(id);
      out += "para " + paragraph->formatName + ": " + paragraph->text + "\n";
    }
  }
  return out;
}

std::string DescribeBook(sub::Book& book) {
  std::string out;
  std::vector<std::pair<::ObjectId, int>> pending;
  for (auto it = book.TopLevel().rbegin(); it != book.TopLevel().rend(); ++it) pending.push_back({*it, 0});
  while (!pending.empty()) {
    auto [id, depth] = pending.back();
    pending.pop_back();
    const sub::BookComponent* component = book.FindComponent(id);
    out += std::string(static_cast<size_t>(depth), ' ') + std::to_string(component->kind) + " " + component->fileName +
           "\n";
    for (auto it = component->children.rbegin(); it != component->children.rend(); ++it) {
      pending.push_back({*it, depth + 1});
    }
  }
  return out;
}

[[noreturn]] void Unstable(const char* what, const std::string& first, const std::string& second) {
  std::fprintf(stderr, "unstable round trip: %s\n--- first ---\n%s--- second ---\n%s", what, first.c_str(),
               second.c_str());
  std::abort();
}

// Statements the edits left alone are copied from the file in one piece; a
// node-by-node write must express the same tree. The two differ only where the
// file wrote two tokens with nothing between them, which the node-by-node
// write separates by a space, so the trees are compared token by token.
std::string Tokens(const std::string& text) {
  gw::mif::Result<gw::mif::Document> tree = gw::mif::Parse(text, "tokens.mif");
  if (!tree) return "does not read: " + tree.ErrorMessage();
  const gw::mif::Document& doc = tree.Value();
  std::string out;
  std::vector<std::pair<gw::mif::NodeId, int>> pending{{doc.Root(), 0}};
  while (!pending.empty()) {
    auto [at, depth] = pending.back();
    pending.pop_back();
    out += std::to_string(depth) + " " + std::string(doc.IsStatement(at) ? doc.Name(at) : doc.RawText(at)) + "\n";
    for (gw::mif::NodeId child = doc.LastChild(at); child != gw::mif::kNoNode; child = doc.Previous(child)) {
      pending.push_back({child, depth + 1});
    }
  }
  return out;
}

// Edits spread over the tree: every third statement, in turn, loses a value,
// gets one changed, loses its last child or gains a new one.
void CheckCopiedStatements(gw::mif::Document tree) {
  std::vector<gw::mif::NodeId> statements;
  for (std::vector<gw::mif::NodeId> pending{tree.Root()}; !pending.empty();) {
    gw::mif::NodeId at = pending.back();
    pending.pop_back();
    for (gw::mif::NodeId child = tree.FirstChild(at); child != gw::mif::kNoNode; child = tree.Next(child)) {
      if (!tree.IsStatement(child)) continue;
      statements.push_back(child);
      pending.push_back(child);
    }
  }
  for (std::size_t i = 1; i < statements.size(); i += 3) {
    const gw::mif::NodeId statement = statements[i];
    if (tree.IsRemoved(statement)) continue;
    const std::vector<gw::mif::NodeId> values = tree.Values(statement);
    switch (i % 4) {
      case 0:
        if (!values.empty()) (void)tree.Remove(values.back());
        break;
      case 1:
        if (!values.empty()) (void)tree.SetRawValue(values.front(), "7", gw::mif::NodeKind::Number);
        break;
      case 2:
        if (tree.LastChild(statement) != gw::mif::kNoNode) (void)tree.Remove(tree.LastChild(statement));
        break;
      default:
        (void)tree.AppendStatement(statement, "New");
        break;
    }
  }
  const std::string written = gw::mif::Write(tree);
  const std::string everyNode = gw::mif::WriteEveryNode(tree);
  if (everyNode != written && Tokens(everyNode) != Tokens(written)) {
    Unstable("untouched statements copied", Tokens(everyNode), Tokens(written));
  }
}

void CheckBook(const gw::mif::Document& tree) {
  sub::Book book(kBookName);
  if (!gw::mif::ReadBook(tree, kBookName, book)) return;
  std::string written = gw::mif::WriteNewBook(book, kBookName);
  gw::mif::Result<gw::mif::Document> again = gw::mif::Parse(written, "again.book");
  if (!again) Unstable(("written book does not read: " + again.ErrorMessage()).c_str(), written, "");
  sub::Book reread(kBookName);
  gw::mif::Status status = gw::mif::ReadBook(again.Value(), kBookName, reread);
  if (!status) Unstable(("written book does not map: " + status.ErrorMessage()).c_str(), written, "");
  if (DescribeBook(book) != DescribeBook(reread)) Unstable("book components", DescribeBook(book), DescribeBook(reread));
}

void CheckDocument(gw::mif::Document tree, const std::string& text) {
  gw::mif::Result<gw::mif::BoundDocument> bound = gw::mif::ReadDocument(std::move(tree), kDocumentName);
  if (!bound) return;
  sub::Document& model = *bound.Value().document;

  // A complete new file of the model reads back with the same catalogue and tables.
  std::string fresh = gw::mif::WriteNewDocument(model);
  gw::mif::Result<gw::mif::Document> freshTree = gw::mif::Parse(fresh, "fresh.mif");
  if (!freshTree) Unstable(("new file does not read: " + freshTree.ErrorMessage()).c_str(), fresh, "");
  gw::mif::Result<gw::mif::BoundDocument> freshModel =
      gw::mif::ReadDocument(std::move(freshTree.Value()), kDocumentName);
  if (!freshModel) Unstable(("new file does not map: " + freshModel.ErrorMessage()).c_str(), fresh, "");
  if (Describe(model, false) != Describe(*freshModel.Value().document, false)) {
    Unstable("new file", Describe(model, false), Describe(*freshModel.Value().document, false));
  }

  // Small changes written into the file's own tree read back as made.
  if (!model.TableFormatOrder().empty()) model.DeleteTableFormat(model.TableFormatOrder().front());
  std::vector<::ObjectId> tables = model.TablesInOrder();
  if (!tables.empty()) {
    ::ObjectId cell = model.CellAt(tables.front(), 0, 0);
    if (cell != 0) model.SetCellText(cell, "fuzz \xA5 <text>");
  }
  // A preview runs the update and undoes it: the tree is left as read, and
  // the update then makes the edits the preview named.
  gw::mif::Result<gw::mif::ChangeRecord> previewed = gw::mif::PreviewUpdate(*bound.Value().binding, model);
  if (gw::mif::WriteBoundDocument(*bound.Value().binding) != text) {
    Unstable("tree after a preview", text, gw::mif::WriteBoundDocument(*bound.Value().binding));
  }
  gw::mif::Result<gw::mif::ChangeRecord> updated = gw::mif::UpdateTree(*bound.Value().binding, model);
  if (previewed.IsOk() != updated.IsOk() ||
      (updated && gw::mif::AllEdits(previewed.Value()) != gw::mif::AllEdits(updated.Value()))) {
    Unstable("preview and update", previewed ? "preview made edits" : previewed.ErrorMessage(),
             updated ? "update made edits" : updated.ErrorMessage());
  }
  if (!updated) return;  // an edit the tree cannot take is refused, not written
  std::string written = gw::mif::WriteBoundDocument(*bound.Value().binding);
  gw::mif::Result<gw::mif::Document> again = gw::mif::Parse(written, "again.mif");
  if (!again) Unstable(("changed file does not read: " + again.ErrorMessage()).c_str(), written, "");
  gw::mif::Result<gw::mif::BoundDocument> reread = gw::mif::ReadDocument(std::move(again.Value()), kDocumentName);
  if (!reread) Unstable(("changed file does not map: " + reread.ErrorMessage()).c_str(), written, "");
  if (Describe(model, true) != Describe(*reread.Value().document, true)) {
    std::fprintf(stderr, "--- written ---\n%s", written.c_str());
    Unstable("changed file", Describe(model, true), Describe(*reread.Value().document, true));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256 * 1024) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  gw::mif::Result<gw::mif::Document> tree = gw::mif::Parse(text, "input.mif");
  if (!tree) return 0;
  // Unchanged, the tree is the file byte for byte.
  if (gw::mif::Write(tree.Value()) != text) Unstable("unchanged tree", text, gw::mif::Write(tree.Value()));
  CheckCopiedStatements(tree.Value().Copy());
  if (tree.Value().Kind() == gw::mif::FileKind::Book) {
    CheckBook(tree.Value());
  } else {
    CheckDocument(std::move(tree.Value()), text);
  }
  return 0;
}
