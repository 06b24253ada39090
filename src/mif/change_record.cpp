// Statement edits of a save, from the tree's edit log.
#include "mif/change_record.h"

#include <algorithm>
#include <set>
#include <utility>

namespace gw::mif {

std::vector<StatementEdit> CollectEdits(const Document& tree, std::size_t from) {
  const std::vector<Document::Edit>& log = tree.Edits();
  // Statements added by this save; edits within them are part of their addition.
  std::set<NodeId> addedHere;
  for (std::size_t i = from; i < log.size(); ++i) {
    if (log[i].kind == Document::Edit::Kind::kAdded) addedHere.insert(log[i].statement);
  }
  const auto withinAdded = [&](NodeId node, bool strict) {
    for (NodeId at = strict ? tree.Parent(node) : node; at != kNoNode; at = tree.Parent(at)) {
      if (addedHere.count(at) != 0) return true;
    }
    return false;
  };
  const auto withinRemoved = [&](NodeId node) {
    for (NodeId at = tree.Parent(node); at != kNoNode; at = tree.Parent(at)) {
      if (tree.IsRemoved(at)) return true;
    }
    return false;
  };
  std::vector<StatementEdit> edits;
  std::set<std::pair<int, NodeId>> seen;
  for (std::size_t i = from; i < log.size(); ++i) {
    const Document::Edit& edit = log[i];
    const NodeId node = edit.statement;
    switch (edit.kind) {
      case Document::Edit::Kind::kAdded:
        if (tree.IsRemoved(node) || withinAdded(node, true) || withinRemoved(node)) continue;
        break;
      case Document::Edit::Kind::kRemoved:
        // A statement this save added and removed again, or one inside a removed one.
        if (addedHere.count(node) != 0 || withinAdded(node, true) || withinRemoved(node)) continue;
        break;
      case Document::Edit::Kind::kChanged:
        if (tree.IsRemoved(node) || withinAdded(node, false) || withinRemoved(node)) continue;
        break;
    }
    if (!seen.insert({static_cast<int>(edit.kind), node}).second) continue;
    StatementEdit made;
    made.kind = edit.kind;
    made.path = tree.PathOf(node);
    if (edit.kind != Document::Edit::Kind::kAdded) {
      if (std::optional<SourcePosition> at = tree.PositionOf(node)) made.line = at->line;
    }
    edits.push_back(std::move(made));
  }
  return edits;
}

std::vector<StatementEdit> AllEdits(const ChangeRecord& record) {
  std::vector<StatementEdit> all;
  for (const ObjectChange& change : record) all.insert(all.end(), change.edits.begin(), change.edits.end());
  return all;
}

}  // namespace gw::mif
