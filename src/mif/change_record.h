// The record of what a save wrote into a MIF document: for each model object
// the save changed, the facts of its change (for messages) and the statements
// of the file that changed for it. Nothing else in the file changes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mif/mif_tree.h"
#include "substitute/document_model.h"

namespace gw::mif {

// One statement of the file that a save added, removed or changed. A
// statement added or removed counts with everything inside it; a changed
// statement had a value set, added or removed.
struct StatementEdit {
  using Kind = Document::Edit::Kind;
  Kind kind = Kind::kChanged;
  std::string path;        // statement names from the top: "Tbls/Tbl/TblFormat/TblLIndent"
  std::uint32_t line = 0;  // where it began in the file as read; 0 for an added statement
  bool operator==(const StatementEdit&) const = default;
};

// A format-level property that a save wrote with a new value.
struct PropertyChange {
  std::int32_t code = 0;
  substitute::PropertyValue before;
  substitute::PropertyValue after;
};

struct ObjectChange {
  enum class Subject : std::uint8_t {
    kTableFormat,  // name: the format's name before; newName when renamed
    kTable,        // name: the tag before; newName: the tag after
    kColour,       // a colour that a property names, added to the catalogue
    kRuling,       // likewise a ruling style
    kParagraph,    // a paragraph of a text flow; name: its flow's tag
    kOther,        // statements changed for no object above (should not happen)
  };
  enum class Action : std::uint8_t { kAdded, kDeleted, kChanged };

  Subject subject = Subject::kOther;
  Action action = Action::kChanged;
  std::string name;
  std::string newName;
  // Tables: 1-based place in document order (after the save; before it for
  // a deleted table).
  std::int32_t tableNumber = 0;
  std::vector<PropertyChange> properties;  // changed values, by code
  // Tables: heading, body and footing rows, and cells with overrides, before and after.
  std::array<std::int32_t, 3> rowsBefore{}, rowsAfter{};
  std::int32_t overridesBefore = 0, overridesAfter = 0;
  bool contentChanged = false;  // tables: cell or title paragraphs; paragraphs: text or anchors
  std::vector<StatementEdit> edits;
};

// Everything one save wrote, in the order it was written; empty when the
// file is written back unchanged.
using ChangeRecord = std::vector<ObjectChange>;

// The statement edits of a tree from the edit log's position `from` on, each
// statement once: edits inside a statement added or removed by the same save
// are part of that edit, and a statement both added and removed never existed.
[[nodiscard]] std::vector<StatementEdit> CollectEdits(const Document& tree, std::size_t from);

// Every statement edit of a record, in order.
[[nodiscard]] std::vector<StatementEdit> AllEdits(const ChangeRecord& record);

}  // namespace gw::mif
