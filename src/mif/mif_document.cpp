// MIF document trees to and from the substitute host's document model: the
// entry points, and the runs of the Reader and the Updater.
#include "mif/mif_mapping.h"

#include <utility>

#include "mif/mif_writer.h"

namespace gw::mif {

namespace mapping {

Status Reader::Run() {
  binding_.documentId = model_.Id();
  binding_.unitless = tree_.DeclaredUnit();
  std::vector<NodeId> pages, flows, tbls;
  NodeId colours = kNoNode, rulings = kNoNode, pgfs = kNoNode, formats = kNoNode, document = kNoNode;
  for (NodeId node = tree_.FirstChild(tree_.Root()); node != kNoNode; node = tree_.Next(node)) {
    if (!tree_.IsStatement(node)) continue;
    std::string_view name = tree_.Name(node);
    if (name == "ColorCatalog" && colours == kNoNode)
      colours = node;
    else if (name == "RulingCatalog" && rulings == kNoNode)
      rulings = node;
    else if (name == "PgfCatalog" && pgfs == kNoNode)
      pgfs = node;
    else if (name == "TblCatalog" && formats == kNoNode)
      formats = node;
    else if (name == "Document" && document == kNoNode)
      document = node;
    else if (name == "Page")
      pages.push_back(node);
    else if (name == "TextFlow")
      flows.push_back(node);
    else if (name == "Tbls")
      tbls.push_back(node);
  }
  if (Status s = ReadNames(colours, "Color", "ColorTag", binding_.colourNames, true); !s) return s;
  for (const char* reserved : kReservedColours) {
    if (model_.ColourId(reserved) == 0) model_.AddColour(reserved);
  }
  if (Status s = ReadNames(rulings, "Ruling", "RulingTag", binding_.rulingNames, false); !s) return s;
  if (Status s = ReadParagraphFormats(pgfs); !s) return s;
  if (Status s = ReadTableFormats(formats); !s) return s;
  if (Status s = ReadDisplayUnit(document); !s) return s;
  for (NodeId page : pages) {
    if (Status s = ReadPage(page); !s) return s;
  }
  for (NodeId flow : flows) {
    if (Status s = ReadFlow(flow); !s) return s;
  }
  for (NodeId group : tbls) {
    for (NodeId tbl = tree_.FirstChild(group); tbl != kNoNode; tbl = tree_.Next(tbl)) {
      if (tree_.IsStatement(tbl) && tree_.Name(tbl) == "Tbl") {
        if (Status s = ReadTable(tbl); !s) return s;
      }
    }
  }
  ResolveAnchors();
  binding_.tableOrder = model_.TablesInOrder();
  // Text rectangles no flow runs through are still frames on their pages.
  for (const auto& [id, rect] : rectOrder_) {
    if (!rect.used) binding_.frameRects[model_.AddTextFrame(0, rect.page, rect.parentFrame).id] = id;
  }
  ChooseMainFlow();
  return Status::Ok();
}

Status Updater::Run() {
  if (model_.Id() != binding_.documentId) {
    return Error{tree_.FileName() + ": save: the document is not the one read from this file"};
  }
  tree_.ClearEdits();
  record_.clear();
  tablesInOrder_ = model_.TablesInOrder();
  anchors_ = AnchorsByParagraph(model_, tablesInOrder_);
  for (const auto& [id, entry] : binding_.tables) tblIds_[id] = entry.tblId;
  for (ObjectId table : tablesInOrder_) {
    if (tblIds_.count(table) == 0) tblIds_[table] = binding_.nextTblId++;
  }
  UpdateTableFormats();
  UpdateTables();
  UpdateFlows();
  // Whatever was written outside an object's change is still reported.
  ObjectChange other;
  other.edits = CollectEdits(tree_, claimed_);
  if (!other.edits.empty()) record_.push_back(std::move(other));
  binding_.tableOrder = tablesInOrder_;
  return editor_.Outcome();
}

void Updater::Claim() {
  std::vector<StatementEdit> loose = CollectEdits(tree_, claimed_);
  if (!loose.empty()) {
    ObjectChange other;
    other.edits = std::move(loose);
    record_.push_back(std::move(other));
  }
  claimed_ = tree_.Edits().size();
}

}  // namespace mapping

Result<BoundDocument> ReadDocument(Document tree, std::string hostFileName) {
  if (tree.Kind() != FileKind::Document) {
    return Error{tree.FileName() + ": is a book file, not a document"};
  }
  BoundDocument bound;
  bound.binding = DocumentBindingPtr(new DocumentBinding(std::move(tree)));
  bound.document = std::make_unique<Model>(std::move(hostFileName));
  mapping::Reader reader(*bound.binding, *bound.document);
  if (Status status = reader.Run(); !status) return status.GetError();
  return bound;
}

Result<ChangeRecord> UpdateTree(DocumentBinding& binding, const substitute::Document& document) {
  mapping::Updater updater(binding, document);
  if (Status status = updater.Run(); !status) return status.GetError();
  return updater.TakeRecord();
}

DocumentBindingPtr CopyBinding(const DocumentBinding& binding) {
  return DocumentBindingPtr(new DocumentBinding(binding));
}

struct UpdateTrial::SavedTables {
  BindingTables tables;
};

UpdateTrial::UpdateTrial(DocumentBinding& binding)
    : binding_(binding), saved_(new SavedTables{static_cast<const BindingTables&>(binding)}) {
  binding_.tree.BeginTrial();
}

UpdateTrial::~UpdateTrial() {
  if (saved_ == nullptr) return;
  binding_.tree.Rollback();
  static_cast<BindingTables&>(binding_) = std::move(saved_->tables);
}

Result<ChangeRecord> UpdateTrial::Run(const substitute::Document& document) { return UpdateTree(binding_, document); }

void UpdateTrial::Keep() {
  binding_.tree.Commit();
  saved_.reset();
}

Result<ChangeRecord> PreviewUpdate(const DocumentBinding& binding, const substitute::Document& document) {
  // The update runs in place and is always undone, which leaves the binding
  // as it was (it is never const itself; only this call promises no change).
  UpdateTrial trial(const_cast<DocumentBinding&>(binding));
  return trial.Run(document);
}

void DocumentBindingDeleter::operator()(DocumentBinding* binding) const { delete binding; }

std::string WriteBoundDocument(const DocumentBinding& binding) { return Write(binding.tree); }

::ObjectId BoundDocumentId(const DocumentBinding& binding) { return binding.documentId; }

std::vector<std::optional<std::uint32_t>> SourceLinesOf(const DocumentBinding& binding,
                                                         const std::vector<::ObjectId>& objects) {
  std::vector<NodeId> nodes;
  nodes.reserve(objects.size());
  for (::ObjectId object : objects) {
    NodeId node = kNoNode;
    if (auto format = binding.tableFormats.find(object); format != binding.tableFormats.end()) {
      node = format->second.node;
    } else if (auto table = binding.tables.find(object); table != binding.tables.end()) {
      node = table->second.node;
    } else if (auto row = binding.rows.find(object); row != binding.rows.end()) {
      node = row->second.node;
    } else if (auto cell = binding.cells.find(object); cell != binding.cells.end()) {
      node = cell->second.node;
    }
    nodes.push_back(node);
  }
  return binding.tree.LinesOf(nodes);
}

std::string WriteNewDocument(const substitute::Document& document) { return mapping::NewDocumentText(document); }

}  // namespace gw::mif
