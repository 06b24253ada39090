// MIF book files to and from the substitute host's Book.
#include "mif/mif_book.h"

#include "mif/host_paths.h"
#include "mif/mif_reader.h"
#include "mif/mif_string.h"
#include "mif/mif_writer.h"

namespace gw::mif {

namespace sub = gw::substitute;

namespace {

class BookReader {
 public:
  BookReader(const Document& tree, std::string folder, sub::Book& book)
      : tree_(tree), folder_(std::move(folder)), book_(book) {}

  Status ReadLevel(NodeId parent, ObjectId parentComponent) {
    for (NodeId node = tree_.FirstChild(parent); node != kNoNode; node = tree_.Next(node)) {
      if (!tree_.IsStatement(node)) continue;
      std::string_view name = tree_.Name(node);
      if (name == "BookComponent") {
        if (Status s = ReadComponent(node, parentComponent); !s) return s;
      } else if (name == "BookFolder" || name == "BookGroup") {
        Result<std::string> label = GroupName(node);
        if (!label) return label.GetError();
        int32_t kind = name == "BookFolder" ? sub::kComponentFolder : sub::kComponentGroup;
        ObjectId group = book_.AddComponent(parentComponent, kind, label.Value()).id;
        if (Status s = ReadLevel(node, group); !s) return s;
      }
    }
    return Status::Ok();
  }

 private:
  Status ReadComponent(NodeId node, ObjectId parentComponent) {
    NodeId fileName = tree_.FindChild(node, "FileName");
    if (fileName == kNoNode) return Error{tree_.Describe(node) + ": book component without FileName"};
    Result<std::string> path = tree_.ReadString(fileName);
    if (!path) return path.GetError();
    Result<std::string> host = ResolveDevicePath(path.Value(), folder_);
    if (!host) return Error{tree_.Describe(fileName) + ": " + host.ErrorMessage()};
    book_.AddComponent(parentComponent, sub::kComponentDocument, host.Value());
    return Status::Ok();
  }

  Result<std::string> GroupName(NodeId node) {
    for (const char* statement : {"FolderName", "GroupName", "Name"}) {
      NodeId child = tree_.FindChild(node, statement);
      if (child != kNoNode) return tree_.ReadString(child);
    }
    return std::string();
  }

  const Document& tree_;
  std::string folder_;
  sub::Book& book_;
};

void WriteLevel(Document& tree, NodeId parent, sub::Book& book, const std::vector<ObjectId>& components,
                const std::string& folder, Status& failure) {
  const auto take = [&](Result<NodeId> result) {
    if (!result && failure.IsOk()) failure = result.GetError();
    return result ? result.Value() : kNoNode;
  };
  for (ObjectId id : components) {
    const sub::BookComponent* component = book.FindComponent(id);
    if (component == nullptr || !failure.IsOk()) continue;
    if (component->kind == sub::kComponentDocument) {
      NodeId node = take(tree.AppendStatement(parent, "BookComponent"));
      if (node == kNoNode) return;
      NodeId fileName = take(tree.AppendStatement(node, "FileName"));
      if (fileName != kNoNode) take(tree.AppendString(fileName, MakeDevicePath(component->fileName, folder)));
      continue;
    }
    const bool folderKind = component->kind == sub::kComponentFolder;
    NodeId node = take(tree.AppendStatement(parent, folderKind ? "BookFolder" : "BookGroup"));
    if (node == kNoNode) return;
    NodeId name = take(tree.AppendStatement(node, folderKind ? "FolderName" : "GroupName"));
    if (name != kNoNode) take(tree.AppendString(name, component->fileName));
    WriteLevel(tree, node, book, component->children, folder, failure);
  }
}

}  // namespace

Status ReadBook(const Document& tree, std::string_view hostBookName, substitute::Book& into) {
  if (tree.Kind() != FileKind::Book) return Error{tree.FileName() + ": is a document, not a book file"};
  BookReader reader(tree, HostFolderOf(hostBookName), into);
  return reader.ReadLevel(tree.Root(), 0);
}

std::string WriteNewBook(const substitute::Book& book, std::string_view hostBookName) {
  Result<Document> parsed = Parse("<Book 7.00> # Written by Gridwright\n", "new.book");
  if (!parsed) return {};
  Document& tree = parsed.Value();
  Status failure;
  // The model looks components up only on a mutable book; nothing is changed.
  sub::Book& components = const_cast<sub::Book&>(book);
  WriteLevel(tree, tree.Root(), components, book.TopLevel(), HostFolderOf(hostBookName), failure);
  if (!failure) return {};
  return Write(tree) + "# End of Book\n";
}

}  // namespace gw::mif
