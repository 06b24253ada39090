// Tables: Tbl statements, their rows and cells, read, changed and written new.
#include "mif/mif_mapping.h"

#include <algorithm>
#include <limits>

namespace gw::mif::mapping {

Status Reader::ReadContainer(NodeId content, ObjectId target, std::vector<ObjectId>* list, std::string format) {
  if (list == nullptr) return Status::Ok();
  size_t index = 0;
  if (content != kNoNode) {
    for (NodeId para = tree_.FirstChild(content); para != kNoNode; para = tree_.Next(para)) {
      if (!tree_.IsStatement(para) || tree_.Name(para) != "Para") continue;
      ParaText text;
      if (Status s = ReadParaText(para, text); !s) return s;
      Result<std::string> named = ParaFormat(para, format);
      if (!named) return named.GetError();
      format = std::move(named).Value();
      sub::Paragraph* paragraph = nullptr;
      if (index < list->size()) {
        paragraph = model_.FindParagraph((*list)[index]);
        paragraph->text = std::move(text.text);
        if (paragraph->formatName != format) {
          if (sub::ParagraphFormat* f = model_.FindParagraphFormat(format)) {
            model_.ApplyParagraphFormat(paragraph->id, *f);  // its name is format
          } else {
            paragraph->formatName = format;
            paragraph->formatProperties.Clear();
          }
        }
      } else {
        paragraph = &model_.AppendParagraph(target, std::move(text.text), format);
      }
      ++index;
      Bind(paragraph->id, para, *paragraph, -1, text.verbatim);
      NotePending(paragraph->id, text);
    }
  }
  // Paragraphs the model made that the file has no statement for.
  for (size_t i = index; i < list->size(); ++i) Bind((*list)[i], kNoNode, *model_.FindParagraph((*list)[i]), -1);
  return Status::Ok();
}

ObjectId Reader::SomeParagraph() {
  for (const auto& [id, entry] : binding_.paragraphs) return id;
  if (placeholder_ == 0) placeholder_ = model_.AppendParagraph(model_.AddTextFrame(0, 0).id, "", "Body").id;
  return placeholder_;
}

Status Reader::ReadTable(NodeId tbl) {
  NodeId idNode = tree_.FindChild(tbl, "TblID");
  if (idNode == kNoNode) return Fail(tbl, "table without TblID");
  Result<int64_t> tblId = tree_.ReadInt(idNode);
  if (!tblId) return tblId.GetError();
  if (tablesById_.count(tblId.Value()) != 0)
    return Fail(idNode, "TblID " + std::to_string(tblId.Value()) + " used twice");
  // The largest possible ID leaves no next one; new tables then count on from the others.
  if (tblId.Value() < std::numeric_limits<int64_t>::max()) {
    binding_.nextTblId = std::max(binding_.nextTblId, tblId.Value() + 1);
  }

  std::string tag;
  NodeId tagNode = tree_.FindChild(tbl, "TblTag");
  NodeId ownFormat = tree_.FindChild(tbl, "TblFormat");
  if (tagNode == kNoNode && ownFormat != kNoNode) tagNode = tree_.FindChild(ownFormat, "TblTag");
  if (tagNode != kNoNode) {
    Result<std::string> text = StringOf(tagNode);
    if (!text) return text.GetError();
    tag = text.Value();
  }
  // A table has its format's properties (AddTable below copies them), over
  // which its own format statement, when it has one, is read.
  std::optional<sub::PropertyBag> own;
  if (ownFormat != kNoNode) {
    const sub::TableFormat* format = model_.FindTableFormat(tag);
    own = format != nullptr ? format->properties : sub::DefaultTableFormatProperties(model_);
    if (Status s = ReadFormatStatements(ownFormat, *own); !s) return s;
  }

  std::vector<Metric> widths;
  for (NodeId width : tree_.FindChildren(tbl, "TblColumnWidth")) {
    Result<int32_t> metric = tree_.ReadMetric(width, binding_.unitless);
    if (!metric) return metric.GetError();
    widths.push_back(metric.Value());
  }
  // The Row statements of each section, and the Cell statements of all rows
  // in one list: row r's cells are cellNodes[cellStart[r], cellStart[r + 1]).
  std::vector<NodeId> sectionRows[3];
  std::vector<NodeId> cellNodes;
  std::vector<size_t> cellStart;
  const char* sectionNames[3] = {"TblH", "TblBody", "TblF"};
  size_t widest = 0;
  for (int i = 0; i < 3; ++i) {
    for (NodeId section : tree_.FindChildren(tbl, sectionNames[i])) {
      for (NodeId row = tree_.FirstChild(section); row != kNoNode; row = tree_.Next(row)) {
        if (!tree_.IsStatement(row) || tree_.Name(row) != "Row") continue;
        sectionRows[i].push_back(row);
        cellStart.push_back(cellNodes.size());
        for (NodeId cell = tree_.FirstChild(row); cell != kNoNode; cell = tree_.Next(cell)) {
          if (tree_.IsStatement(cell) && tree_.Name(cell) == "Cell") cellNodes.push_back(cell);
        }
        widest = std::max(widest, cellNodes.size() - cellStart.back());
      }
    }
  }
  cellStart.push_back(cellNodes.size());
  int64_t columns = static_cast<int64_t>(std::max(widths.size(), widest));
  if (NodeId count = tree_.FindChild(tbl, "TblNumColumns"); count != kNoNode) {
    Result<int64_t> number = tree_.ReadInt(count);
    if (!number) return number.GetError();
    if (number.Value() < 1 || number.Value() > 4096) return Fail(count, "bad number of columns");
    columns = number.Value();
  }
  columns = std::max<int64_t>(columns, 1);
  const size_t rowCount = sectionRows[0].size() + sectionRows[1].size() + sectionRows[2].size();
  if (static_cast<double>(rowCount) * static_cast<double>(columns) > kMaxCellsPerTable) {
    return Fail(tbl,
                "table too large: " + std::to_string(rowCount) + " rows of " + std::to_string(columns) + " columns");
  }

  // The model makes tables only in a format it has and at a paragraph; a
  // format made for the purpose is taken away again at once.
  bool madeFormat = false;
  if (model_.FindTableFormat(tag) == nullptr) {
    model_.AddTableFormat(tag);
    madeFormat = true;
  }
  sub::Table* table =
      model_.AddTable(tag, static_cast<int32_t>(columns), static_cast<int32_t>(sectionRows[1].size()),
                      static_cast<int32_t>(sectionRows[0].size()), static_cast<int32_t>(sectionRows[2].size()),
                      TextLoc{SomeParagraph(), 0});
  if (madeFormat) {
    if (sub::TableFormat* made = model_.FindTableFormat(tag)) model_.DeleteTableFormat(made->id);
  }
  if (table == nullptr) return Fail(tbl, "the table could not be made");
  const ObjectId tableId = table->id;
  table->anchor = TextLoc{0, 0};
  model_.InvalidateTableOrder();
  if (own) table->properties = std::move(*own);
  auto titleNamed = table->properties.find(kTitleFormatCode);
  const std::string titleFormat = titleNamed != table->properties.end() ? titleNamed->second.text : "TableTitle";
  widths.resize(static_cast<size_t>(columns), widths.empty() ? 72 * kPoint : widths.back());
  table->columnWidths = std::move(widths);
  model_.UpdateTitle(*table);
  tablesById_[tblId.Value()] = tableId;

  DocumentBinding::TableEntry entry;
  entry.node = tbl;
  entry.tblId = tblId.Value();
  entry.tag = tag;

  // Title paragraphs.
  NodeId titleContent = kNoNode;
  if (NodeId title = tree_.FindChild(tbl, "TblTitle"); title != kNoNode) {
    titleContent = tree_.FindChild(title, "TblTitleContent");
  }
  if (!model_.FindTable(tableId)->titleParagraphs.empty()) {
    if (Status s = ReadContainer(titleContent, tableId, model_.ParagraphsOf(tableId), titleFormat); !s) return s;
  }

  // Rows and cells: the model's rows are heading, body, footing in order.
  size_t rowIndex = 0;
  for (const std::vector<NodeId>& rows : sectionRows) {
    for (const NodeId rowNode : rows) {
      const size_t firstCell = cellStart[rowIndex];
      const size_t cellCount = cellStart[rowIndex + 1] - firstCell;
      ObjectId rowId = table->rows[rowIndex++];  // the model's objects stay in place
      sub::Row* row = model_.FindRow(rowId);
      const std::string cellFormat = row->kind == sub::kRowBody ? "CellBody" : "CellHeading";
      DocumentBinding::RowEntry& rowEntry = binding_.rows[rowId];
      rowEntry.node = rowNode;
      rowEntry.kind = row->kind;
      rowEntry.cells = row->cells;
      for (size_t c = 0; c < row->cells.size(); ++c) {
        ObjectId cellId = row->cells[c];
        sub::Cell* cell = model_.FindCell(cellId);
        DocumentBinding::CellEntry& cellEntry = binding_.cells[cellId];
        cellEntry.row = rowNode;
        NodeId content = kNoNode;
        if (c < cellCount) {
          const NodeId cellNode = cellNodes[firstCell + c];
          cellEntry.node = cellNode;
          // One pass over the cell's statements: its override flags and content.
          std::fill(std::begin(cell->overrides), std::end(cell->overrides), 0);
          for (NodeId child = tree_.FirstChild(cellNode); child != kNoNode; child = tree_.Next(child)) {
            if (!tree_.IsStatement(child)) continue;
            std::string_view name = tree_.Name(child);
            if (name == "CellContent") {
              if (content == kNoNode) content = child;
              continue;
            }
            for (size_t f = 0; f < 6; ++f) {
              if (name == kCellOverrideStatements[f]) cell->overrides[f] = 1;
            }
          }
        }
        std::copy(std::begin(cell->overrides), std::end(cell->overrides), cellEntry.overrides.begin());
        if (Status s = ReadContainer(content, cellId, &cell->paragraphs, cellFormat); !s) return s;
        cellEntry.paragraphs = cell->paragraphs;
      }
    }
  }
  const sub::Table& made = *model_.FindTable(tableId);
  entry.baseline = made.properties;
  entry.widths = made.columnWidths;
  entry.rows = made.rows;
  entry.title = made.titleParagraphs;
  binding_.tables[tableId] = std::move(entry);
  return Status::Ok();
}

NodeId Updater::TblsNode() {
  NodeId node = tree_.FindChild(tree_.Root(), "Tbls");
  if (node != kNoNode) return node;
  for (const char* before : {"Page", "TextFlow"}) {
    NodeId next = tree_.FindChild(tree_.Root(), before);
    if (next != kNoNode) return editor_.Before(next, "Tbls");
  }
  return editor_.Append(tree_.Root(), "Tbls");
}

void Updater::UpdateTables() {
  const std::vector<ObjectId>& order = tablesInOrder_;
  std::unordered_set<ObjectId> present(order.begin(), order.end());
  std::vector<ObjectId> gone;
  for (const auto& [id, entry] : binding_.tables) {
    if (present.count(id) == 0) gone.push_back(id);
  }
  for (ObjectId id : gone) {
    ObjectChange change;
    change.subject = ObjectChange::Subject::kTable;
    change.action = ObjectChange::Action::kDeleted;
    change.name = binding_.tables[id].tag;
    auto at = std::find(binding_.tableOrder.begin(), binding_.tableOrder.end(), id);
    change.tableNumber = static_cast<int32_t>(at - binding_.tableOrder.begin()) + 1;
    Record(std::move(change), [&](ObjectChange&) { editor_.Remove(binding_.tables[id].node); });
    binding_.tables.erase(id);
  }
  for (size_t i = 0; i < order.size(); ++i) {
    const ObjectId id = order[i];
    const sub::Table* table = model_.FindTable(id);
    auto entry = binding_.tables.find(id);
    EnsureNamed(table->properties);
    ObjectChange change;
    change.subject = ObjectChange::Subject::kTable;
    change.tableNumber = static_cast<int32_t>(i) + 1;
    change.newName = table->tag;
    if (entry == binding_.tables.end()) {
      change.action = ObjectChange::Action::kAdded;
      change.name = table->tag;
      Record(std::move(change), [&](ObjectChange&) {
        NodeId tbl = editor_.Append(TblsNode(), "Tbl");
        if (tbl == kNoNode) return;
        WriteTable(editor_, tbl, model_, *table, tblIds_[id], anchors_, tblIds_);
        BindNewTable(*table, tbl);
      });
      continue;
    }
    change.name = entry->second.tag;
    Record(std::move(change), [&](ObjectChange& made) { UpdateTable(*table, entry->second, made); });
  }
}

void Updater::BindNewTable(const sub::Table& table, NodeId tbl) {
  DocumentBinding::TableEntry& entry = binding_.tables[table.id];
  entry.node = tbl;
  entry.tblId = tblIds_[table.id];
  entry.tag = table.tag;
  entry.baseline = table.properties;
  entry.widths = table.columnWidths;
  entry.rows = table.rows;
  entry.title = table.titleParagraphs;
  if (!table.titleParagraphs.empty()) {
    NodeId content = tree_.FindChild(tree_.FindChild(tbl, "TblTitle"), "TblTitleContent");
    BindParagraphs(table.titleParagraphs, content);
  }
  std::vector<NodeId> rowNodes;
  for (const char* section : {"TblH", "TblBody", "TblF"}) {
    NodeId node = tree_.FindChild(tbl, section);
    if (node == kNoNode) continue;
    for (NodeId row : tree_.FindChildren(node, "Row")) rowNodes.push_back(row);
  }
  // Rows were written grouped by kind; bind them in that order.
  std::vector<ObjectId> rows;
  for (int32_t kind = 0; kind < 3; ++kind) {
    for (ObjectId r : table.rows) {
      const sub::Row* row = model_.FindRow(r);
      if (row != nullptr && std::clamp(row->kind, 0, 2) == kind) rows.push_back(r);
    }
  }
  for (size_t i = 0; i < rows.size() && i < rowNodes.size(); ++i) BindNewRow(rows[i], rowNodes[i]);
}

void Updater::BindNewRow(ObjectId rowId, NodeId rowNode) {
  const sub::Row* row = model_.FindRow(rowId);
  DocumentBinding::RowEntry& entry = binding_.rows[rowId];
  entry.node = rowNode;
  entry.kind = row->kind;
  entry.cells = row->cells;
  std::vector<NodeId> cellNodes = tree_.FindChildren(rowNode, "Cell");
  for (size_t c = 0; c < row->cells.size() && c < cellNodes.size(); ++c)
    BindNewCell(row->cells[c], cellNodes[c], rowNode);
}

void Updater::BindNewCell(ObjectId cellId, NodeId cellNode, NodeId rowNode) {
  const sub::Cell* cell = model_.FindCell(cellId);
  DocumentBinding::CellEntry& entry = binding_.cells[cellId];
  entry.node = cellNode;
  entry.row = rowNode;
  std::copy(std::begin(cell->overrides), std::end(cell->overrides), entry.overrides.begin());
  entry.paragraphs = cell->paragraphs;
  BindParagraphs(cell->paragraphs, tree_.FindChild(cellNode, "CellContent"));
}

void Updater::CountRows(const std::vector<ObjectId>& rows, bool baseline, std::array<int32_t, 3>& kinds,
               int32_t& overrides) const {
  kinds = {0, 0, 0};
  overrides = 0;
  const auto flagged = [](const auto& flags) {
    return std::any_of(std::begin(flags), std::end(flags), [](int32_t f) { return f == 1; });
  };
  for (ObjectId r : rows) {
    std::vector<ObjectId> cells;
    int32_t kind = 1;
    if (baseline) {
      auto row = binding_.rows.find(r);
      if (row == binding_.rows.end()) continue;
      kind = row->second.kind;
      cells = row->second.cells;
    } else {
      const sub::Row* row = model_.FindRow(r);
      if (row == nullptr) continue;
      kind = row->kind;
      cells = row->cells;
    }
    ++kinds[static_cast<size_t>(std::clamp(kind, 0, 2))];
    for (ObjectId c : cells) {
      if (baseline) {
        auto cell = binding_.cells.find(c);
        if (cell != binding_.cells.end() && flagged(cell->second.overrides)) ++overrides;
      } else if (const sub::Cell* cell = model_.FindCell(c); cell != nullptr && flagged(cell->overrides)) {
        ++overrides;
      }
    }
  }
}

bool Updater::TableContentChanged(const sub::Table& table, const DocumentBinding::TableEntry& entry) const {
  if (ParagraphsChanged(table.titleParagraphs, entry.title)) return true;
  for (ObjectId r : table.rows) {
    const sub::Row* row = model_.FindRow(r);
    if (row == nullptr) continue;
    for (ObjectId c : row->cells) {
      const sub::Cell* cell = model_.FindCell(c);
      auto bound = binding_.cells.find(c);
      if (cell == nullptr) continue;
      if (bound == binding_.cells.end() || ParagraphsChanged(cell->paragraphs, bound->second.paragraphs)) return true;
    }
  }
  return false;
}

void Updater::UpdateTable(const sub::Table& table, DocumentBinding::TableEntry& entry, ObjectChange& change) {
  change.properties = PropertyChanges(entry.baseline, table.properties, ChangedCodes(entry.baseline, table.properties));
  CountRows(entry.rows, true, change.rowsBefore, change.overridesBefore);
  CountRows(table.rows, false, change.rowsAfter, change.overridesAfter);
  change.contentChanged = TableContentChanged(table, entry);
  const NodeId tbl = entry.node;
  if (entry.tag != table.tag) {
    NodeId tag = tree_.FindChild(tbl, "TblTag");
    NodeId format = tree_.FindChild(tbl, "TblFormat");
    NodeId inner = format != kNoNode ? tree_.FindChild(format, "TblTag") : kNoNode;
    if (tag == kNoNode && inner == kNoNode) {
      NodeId id = tree_.FindChild(tbl, "TblID");
      tag = id != kNoNode ? editor_.After(id, "TblTag") : editor_.Append(tbl, "TblTag");
    }
    if (tag != kNoNode) editor_.SetString(tag, table.tag);
    if (inner != kNoNode) editor_.SetString(inner, table.tag);
    entry.tag = table.tag;
  }
  // Every table is checked, not only those the model changed: a table that
  // takes a property from its catalogue format must keep its value when the
  // format changes or the table is given another tag.
  const sub::TableFormat* format = FormatOf(model_, table.tag);
  const sub::PropertyBag implied = format != nullptr ? format->properties : sub::DefaultTableFormatProperties(model_);
  NodeId after = tree_.FindChild(tbl, "TblTag");
  if (after == kNoNode) after = tree_.FindChild(tbl, "TblID");
  WriteTableProperties(editor_, tbl, after, table.properties, implied, model_, binding_.unitless);
  entry.baseline = table.properties;
  if (entry.widths != table.columnWidths) UpdateWidths(table, entry);
  UpdateTitle(table, entry);
  UpdateRows(table, entry);
}

void Updater::UpdateWidths(const sub::Table& table, DocumentBinding::TableEntry& entry) {
  const NodeId tbl = entry.node;
  std::vector<NodeId> nodes = tree_.FindChildren(tbl, "TblColumnWidth");
  if (nodes.size() == table.columnWidths.size()) {
    for (size_t i = 0; i < nodes.size(); ++i) editor_.SetPoints(nodes[i], ToPoints(table.columnWidths[i]));
  } else {
    for (NodeId node : nodes) editor_.Remove(node);
    NodeId count = editor_.Child(tbl, "TblNumColumns");
    editor_.SetInt(count, static_cast<int64_t>(table.columnWidths.size()));
    NodeId previous = count;
    for (Metric width : table.columnWidths) {
      previous = editor_.After(previous, "TblColumnWidth");
      if (previous != kNoNode) (void)tree_.AppendDimension(previous, ToPoints(width), Unit::Point);
    }
  }
  entry.widths = table.columnWidths;
}

void Updater::UpdateTitle(const sub::Table& table, DocumentBinding::TableEntry& entry) {
  NodeId title = tree_.FindChild(entry.node, "TblTitle");
  if (table.titleParagraphs.empty()) {
    if (!entry.title.empty() && title != kNoNode) editor_.Remove(title);
    for (ObjectId p : entry.title) binding_.paragraphs.erase(p);
    entry.title.clear();
    return;
  }
  if (!ParagraphsChanged(table.titleParagraphs, entry.title)) return;
  if (entry.title.empty() && title != kNoNode) {
    // A title the model did not read (its table had no title position) is replaced.
    editor_.Remove(title);
    title = kNoNode;
  }
  if (title == kNoNode) {
    NodeId before = kNoNode;
    for (const char* section : {"TblH", "TblBody", "TblF"}) {
      if (before == kNoNode) before = tree_.FindChild(entry.node, section);
    }
    title = before != kNoNode ? editor_.Before(before, "TblTitle") : editor_.Append(entry.node, "TblTitle");
  }
  if (title == kNoNode) return;
  NodeId content = editor_.Child(title, "TblTitleContent");
  SyncParagraphs(content, table.titleParagraphs, entry.title, nullptr);
}

NodeId Updater::Section(NodeId tbl, int32_t kind) {
  static const char* const kNames[3] = {"TblH", "TblBody", "TblF"};
  kind = std::clamp(kind, 0, 2);
  NodeId node = tree_.FindChild(tbl, kNames[kind]);
  if (node != kNoNode) return node;
  for (int32_t later = kind + 1; later < 3; ++later) {
    NodeId next = tree_.FindChild(tbl, kNames[later]);
    if (next != kNoNode) return editor_.Before(next, kNames[kind]);
  }
  return editor_.Append(tbl, kNames[kind]);
}

void Updater::UpdateRows(const sub::Table& table, DocumentBinding::TableEntry& entry) {
  std::unordered_set<ObjectId> present(table.rows.begin(), table.rows.end());
  // Rows that went stay bound until the new rows are written: a pasted row
  // is written as a copy of the row it came from.
  std::vector<ObjectId> gone;
  for (ObjectId r : entry.rows) {
    auto row = binding_.rows.find(r);
    if (row == binding_.rows.end()) continue;
    const sub::Row* now = model_.FindRow(r);
    if (present.count(r) == 0 || now == nullptr || now->kind != row->second.kind) {
      editor_.Remove(row->second.node);
      gone.push_back(r);
    }
  }
  NodeId previous = kNoNode;
  int32_t previousKind = -1;
  for (ObjectId r : table.rows) {
    const sub::Row* row = model_.FindRow(r);
    if (row == nullptr) continue;
    auto bound = binding_.rows.find(r);
    if (bound != binding_.rows.end()) {
      UpdateCells(*row, bound->second);
      previous = bound->second.node;
      previousKind = row->kind;
      continue;
    }
    NodeId node;
    if (previous != kNoNode && previousKind == row->kind) {
      node = editor_.After(previous, "Row");
    } else {
      NodeId section = Section(entry.node, row->kind);
      NodeId first = section != kNoNode ? tree_.FindChild(section, "Row") : kNoNode;
      node = first != kNoNode ? editor_.Before(first, "Row") : editor_.Append(section, "Row");
    }
    if (node == kNoNode) break;
    if (!WritePastedRow(*row, node)) {
      for (ObjectId c : row->cells) {
        if (const sub::Cell* cell = model_.FindCell(c))
          WriteCell(editor_, editor_.Append(node, "Cell"), model_, *cell, anchors_, tblIds_);
      }
    }
    BindNewRow(r, node);
    previous = node;
    previousKind = row->kind;
  }
  for (ObjectId r : gone) ForgetRow(r);
  entry.rows = table.rows;
}

bool Updater::SameAsOrigin(const sub::Cell& cell) const {
  auto origin = binding_.cells.find(cell.pastedFrom);
  if (cell.pastedFrom == 0 || origin == binding_.cells.end() || origin->second.node == kNoNode) return false;
  const DocumentBinding::CellEntry& was = origin->second;
  if (!std::equal(was.overrides.begin(), was.overrides.end(), std::begin(cell.overrides))) return false;
  if (was.paragraphs.size() != cell.paragraphs.size()) return false;
  for (size_t k = 0; k < cell.paragraphs.size(); ++k) {
    const sub::Paragraph* p = model_.FindParagraph(cell.paragraphs[k]);
    auto bound = binding_.paragraphs.find(was.paragraphs[k]);
    if (p == nullptr || bound == binding_.paragraphs.end() || p->pastedFrom != was.paragraphs[k]) return false;
    if (bound->second.text != p->text || bound->second.format != p->formatName ||
        bound->second.anchors != AnchorsOf(p->id)) {
      return false;
    }
  }
  return true;
}

bool Updater::WritePastedRow(const sub::Row& row, NodeId node) {
  auto origin = binding_.rows.find(row.pastedFrom);
  if (row.pastedFrom == 0 || origin == binding_.rows.end() || origin->second.node == kNoNode) return false;
  if (origin->second.cells.size() != row.cells.size()) return false;
  for (NodeId child = tree_.FirstChild(origin->second.node); child != kNoNode; child = tree_.Next(child)) {
    if (!tree_.IsStatement(child)) continue;
    if (tree_.Name(child) != "Cell") editor_.Copy(child, node);
  }
  for (size_t c = 0; c < row.cells.size(); ++c) {
    const sub::Cell* cell = model_.FindCell(row.cells[c]);
    if (cell == nullptr) continue;
    auto was = binding_.cells.find(origin->second.cells[c]);
    if (cell->pastedFrom == origin->second.cells[c] && was != binding_.cells.end() && was->second.node != kNoNode &&
        SameAsOrigin(*cell)) {
      if (editor_.Copy(was->second.node, node) != kNoNode) continue;
    }
    WriteCell(editor_, editor_.Append(node, "Cell"), model_, *cell, anchors_, tblIds_);
  }
  return true;
}

void Updater::ForgetRow(ObjectId r) {
  auto row = binding_.rows.find(r);
  if (row == binding_.rows.end()) return;
  for (ObjectId c : row->second.cells) {
    auto cell = binding_.cells.find(c);
    if (cell == binding_.cells.end()) continue;
    for (ObjectId p : cell->second.paragraphs) binding_.paragraphs.erase(p);
    binding_.cells.erase(cell);
  }
  binding_.rows.erase(row);
}

void Updater::UpdateCells(const sub::Row& row, DocumentBinding::RowEntry& entry) {
  for (ObjectId c : row.cells) {
    const sub::Cell* cell = model_.FindCell(c);
    auto bound = binding_.cells.find(c);
    if (cell == nullptr) continue;
    if (bound == binding_.cells.end()) {
      WriteCell(editor_, editor_.Append(entry.node, "Cell"), model_, *cell, anchors_, tblIds_);
      std::vector<NodeId> cells = tree_.FindChildren(entry.node, "Cell");
      if (!cells.empty()) BindNewCell(c, cells.back(), entry.node);
      continue;
    }
    UpdateCell(*cell, bound->second);
  }
  entry.cells = row.cells;
}

void Updater::UpdateCell(const sub::Cell& cell, DocumentBinding::CellEntry& entry) {
  bool overridesChanged = !std::equal(entry.overrides.begin(), entry.overrides.end(), std::begin(cell.overrides));
  if (entry.node == kNoNode) {
    // A cell the file had no statement for: written whole once it differs.
    bool changed = overridesChanged || entry.paragraphs != cell.paragraphs;
    for (ObjectId p : cell.paragraphs) changed = changed || ParagraphChanged(p);
    if (!changed) return;
    NodeId node = editor_.Append(entry.row, "Cell");
    WriteCell(editor_, node, model_, cell, anchors_, tblIds_);
    BindNewCell(cell.id, node, entry.row);
    return;
  }
  if (overridesChanged) {
    NodeId content = tree_.FindChild(entry.node, "CellContent");
    for (size_t i = 0; i < 6; ++i) {
      if ((entry.overrides[i] == 1) == (cell.overrides[i] == 1)) continue;
      if (cell.overrides[i] != 1) {
        for (NodeId node : tree_.FindChildren(entry.node, kCellOverrideStatements[i])) editor_.Remove(node);
        if (i == 1) {
          for (NodeId node : tree_.FindChildren(entry.node, "CellSeparation")) editor_.Remove(node);
        }
      } else {
        NodeId node = content != kNoNode ? editor_.Before(content, kCellOverrideStatements[i])
                                         : editor_.Append(entry.node, kCellOverrideStatements[i]);
        if (node == kNoNode) continue;
        if (i == 0) {
          (void)tree_.AppendInt(node, 15);
        } else {
          (void)tree_.AppendString(node, i == 1 ? "Black" : "");
        }
      }
    }
    std::copy(std::begin(cell.overrides), std::end(cell.overrides), entry.overrides.begin());
  }
  if (!ParagraphsChanged(cell.paragraphs, entry.paragraphs)) return;
  NodeId content = editor_.Child(entry.node, "CellContent");
  SyncParagraphs(content, cell.paragraphs, entry.paragraphs, nullptr);
}

// Fills a new Cell statement: its overrides and its paragraphs.
void WriteCell(TreeEditor& editor, NodeId cellNode, const Model& model, const sub::Cell& cell,
               const std::unordered_map<ObjectId, Anchors>& anchors,
               const std::unordered_map<ObjectId, int64_t>& tblIds) {
  for (size_t i = 0; i < 6; ++i) {
    if (cell.overrides[i] != 1) continue;
    if (i == 0) {
      editor.AppendInt(cellNode, "CellFill", 15);
    } else if (i == 1) {
      editor.AppendString(cellNode, "CellColor", "Black");
    } else {
      editor.AppendString(cellNode, kCellOverrideStatements[i], "");
    }
  }
  NodeId content = editor.Append(cellNode, "CellContent");
  if (content == kNoNode) return;
  static const Anchors kNone;
  for (ObjectId p : cell.paragraphs) {
    const sub::Paragraph* paragraph = model.FindParagraph(p);
    if (paragraph == nullptr) continue;
    auto found = anchors.find(p);
    WriteParagraph(editor, editor.Append(content, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                   -1, tblIds);
  }
}

// Fills a new Tbl statement with the whole table.
void WriteTable(TreeEditor& editor, NodeId tbl, const Model& model, const sub::Table& table, int64_t tblId,
                const std::unordered_map<ObjectId, Anchors>& anchors,
                const std::unordered_map<ObjectId, int64_t>& tblIds) {
  static const Anchors kNone;
  editor.AppendInt(tbl, "TblID", tblId);
  editor.AppendString(tbl, "TblTag", table.tag);
  NodeId format = editor.Append(tbl, "TblFormat");
  if (format != kNoNode)
    WriteFormatProperties(editor, format, table.properties, model, nullptr, editor.Tree().DeclaredUnit());
  editor.AppendInt(tbl, "TblNumColumns", static_cast<int64_t>(table.columnWidths.size()));
  for (Metric width : table.columnWidths) editor.AppendPoints(tbl, "TblColumnWidth", ToPoints(width));
  if (!table.titleParagraphs.empty()) {
    NodeId content = editor.Append(editor.Append(tbl, "TblTitle"), "TblTitleContent");
    for (ObjectId p : table.titleParagraphs) {
      const sub::Paragraph* paragraph = model.FindParagraph(p);
      if (paragraph == nullptr || content == kNoNode) continue;
      auto found = anchors.find(p);
      WriteParagraph(editor, editor.Append(content, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                     -1, tblIds);
    }
  }
  const char* sections[3] = {"TblH", "TblBody", "TblF"};
  for (int32_t kind = 0; kind < 3; ++kind) {
    NodeId section = kNoNode;
    for (ObjectId r : table.rows) {
      const sub::Row* row = model.FindRow(r);
      if (row == nullptr || std::clamp(row->kind, 0, 2) != kind) continue;
      if (section == kNoNode) section = editor.Append(tbl, sections[kind]);
      NodeId rowNode = editor.Append(section, "Row");
      for (ObjectId c : row->cells) {
        const sub::Cell* cell = model.FindCell(c);
        if (cell != nullptr && rowNode != kNoNode)
          WriteCell(editor, editor.Append(rowNode, "Cell"), model, *cell, anchors, tblIds);
      }
    }
  }
}

}  // namespace gw::mif::mapping
