// The API interface for tables: making tables, adding and deleting rows,
// selecting cells, and cutting and pasting rows, cells and text.
#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

// ---- Tables ------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::DeleteObject(ObjectId documentId, ObjectId object, int32_t* status) {
  if (auto hr = Enter("DeleteObject",
                      [&] { return Args({FormatId(documentId), FormatId(object)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  switch (KindOf(object)) {
    case ObjectKind::kTableFormat:
      return Done(status, document->DeleteTableFormat(object) ? 0 : kStatusBadObject);
    case ObjectKind::kRow:
      if (document->FindRow(object) == nullptr) return Done(status, kStatusBadObject);
      document->RemoveRow(object);
      return Done(status, 0);
    case ObjectKind::kTable: {
      return Done(status, document->DeleteTable(object) ? 0 : kStatusBadObject);
    }
    default:
      return Done(status, kStatusBadObject);
  }
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::AddRows(ObjectId documentId, ObjectId referenceRow, int32_t position,
                                                           int32_t count, int32_t* status) {
  if (auto hr = Enter("AddRows",
                      [&] { return Args({FormatId(documentId), FormatId(referenceRow), Num(position), Num(count)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  Row* row = document->FindRow(referenceRow);
  if (row == nullptr) return Done(status, kStatusBadObject);
  if (count < 1) return Done(status, kStatusBadParameter);
  Table& table = *document->FindTable(row->table);
  size_t index = static_cast<size_t>(std::find(table.rows.begin(), table.rows.end(), referenceRow) - table.rows.begin());
  int32_t kind = row->kind;
  ObjectId tableId = table.id;
  switch (position) {
    case kAddRowsHeading:
      document->InsertRows(tableId, 0, kRowHeading, count);
      break;
    case kAddRowsFooting:
      document->InsertRows(tableId, table.rows.size(), kRowFooting, count);
      break;
    case kAddRowsAbove:
      document->InsertRows(tableId, index, kind, count);
      break;
    case kAddRowsBelow:
      document->InsertRows(tableId, index + 1, kind, count);
      break;
    default:
      return Done(status, kStatusBadParameter);
  }
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SelectTableCells(ObjectId documentId, ObjectId tableId,
                                                                    int32_t topRow, int32_t bottomRow,
                                                                    int32_t leftColumn, int32_t rightColumn,
                                                                    int32_t* status) {
  if (auto hr = Enter("SelectTableCells",
                      [&] {
                        return Args({FormatId(documentId), FormatId(tableId), Num(topRow), Num(bottomRow),
                                     Num(leftColumn), Num(rightColumn)});
                      },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  Table* table = document->FindTable(tableId);
  if (table == nullptr) return Done(status, kStatusBadObject);
  int32_t rows = static_cast<int32_t>(table->rows.size());
  int32_t columns = static_cast<int32_t>(table->columnWidths.size());
  if (topRow < 0 || bottomRow < topRow || bottomRow >= rows || leftColumn < 0 || rightColumn < leftColumn ||
      rightColumn >= columns) {
    return Done(status, kStatusBadParameter);
  }
  document->cellSelection = Document::CellSelection{tableId, topRow, bottomRow, leftColumn, rightColumn};
  const Cell* cell = document->FindCell(document->CellAt(tableId, static_cast<size_t>(topRow),
                                                         static_cast<size_t>(leftColumn)));
  ObjectId paragraph = cell != nullptr && !cell->paragraphs.empty() ? cell->paragraphs.front() : 0;
  document->selection = TextRange{{paragraph, 0}, {paragraph, 0}};
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::NewTable(ObjectId documentId, const char* formatName,
                                                            int32_t columns, int32_t bodyRows, int32_t headingRows,
                                                            int32_t footingRows, const TextLoc* location,
                                                            int32_t* status, ObjectId* table) {
  Zero(table);
  if (auto hr = Enter("NewTable",
                      [&] {
                        return Args({FormatId(documentId), Quote(formatName), Num(columns), Num(bodyRows),
                                     Num(headingRows), Num(footingRows), Loc(location)});
                      },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (location == nullptr || document->FindParagraph(location->object) == nullptr) {
    return Done(status, kStatusBadObject);
  }
  // A table needs a column and a body row; the host refuses anything less.
  if (columns < 1 || bodyRows < 1 || headingRows < 0 || footingRows < 0) return Done(status, kStatusBadParameter);
  if (document->FindTableFormat(Str(formatName)) == nullptr) return Done(status, kStatusBadValue);
  Table* created = document->AddTable(Str(formatName), columns, bodyRows, headingRows, footingRows, *location);
  if (created == nullptr) return Done(status, kStatusBadParameter);
  return Done(status, 0, table, created->id);
}

// ---- Clipboard ---------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::Cut(ObjectId documentId, int32_t flags, int32_t* status) {
  if (auto hr = Enter("Cut", [&] { return Args({FormatId(documentId), Num(flags)}); }, std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  return Done(status, CutSelection(*document));
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::Paste(ObjectId documentId, int32_t flags, int32_t* status) {
  if (auto hr = Enter("Paste", [&] { return Args({FormatId(documentId), Num(flags)}); }, std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  return Done(status, PasteClipboard(*document));
}

int32_t SubstituteHost::ApiImpl::CutSelection(Document& document) {
  if (document.cellSelection) {
    Document::CellSelection selection = *document.cellSelection;
    Table* table = document.FindTable(selection.table);
    if (table == nullptr) return kStatusNoSelection;
    bool wholeRows = selection.leftColumn == 0 &&
                     selection.rightColumn + 1 == static_cast<int32_t>(table->columnWidths.size());
    host_.clipboardRows_.clear();
    host_.clipboardText_.reset();
    std::vector<ObjectId> rows(table->rows.begin() + selection.topRow, table->rows.begin() + selection.bottomRow + 1);
    const auto origin = [](ObjectId pastedFrom, ObjectId id) { return pastedFrom != 0 ? pastedFrom : id; };
    for (ObjectId rowId : rows) {
      const Row* row = document.FindRow(rowId);
      ClipboardRow cut;
      cut.origin = wholeRows ? origin(row->pastedFrom, rowId) : 0;
      for (int32_t column = selection.leftColumn; column <= selection.rightColumn; ++column) {
        Cell* cell = document.FindCell(row->cells[static_cast<size_t>(column)]);
        ClipboardCell content;
        content.origin = origin(cell->pastedFrom, cell->id);
        std::copy(std::begin(cell->overrides), std::end(cell->overrides), std::begin(content.overrides));
        for (ObjectId p : cell->paragraphs) {
          const Paragraph* paragraph = document.FindParagraph(p);
          content.texts.push_back(paragraph->text);
          content.formats.push_back(paragraph->formatName);
          content.paragraphOrigins.push_back(origin(paragraph->pastedFrom, p));
          content.paragraphIds.push_back(p);
        }
        cut.cells.push_back(std::move(content));
        if (!wholeRows) {
          // Cutting part of a row empties the cells instead of removing them.
          for (size_t i = 1; i < cell->paragraphs.size(); ++i) document.FindParagraph(cell->paragraphs[i])->text.clear();
          document.SetCellText(cell->id, "");
          cell->pastedFrom = 0;
          for (ObjectId p : cell->paragraphs) document.FindParagraph(p)->pastedFrom = 0;
        }
      }
      host_.clipboardRows_.push_back(std::move(cut));
    }
    if (wholeRows) {
      // A table keeps at least one body row, as in the application: when the
      // cut takes every body row, the last of them stays behind, emptied.
      ObjectId keep = 0;
      size_t bodyRows = 0, cutBodyRows = 0;
      for (ObjectId rowId : table->rows) {
        if (document.FindRow(rowId)->kind == kRowBody) ++bodyRows;
      }
      for (ObjectId rowId : rows) {
        if (document.FindRow(rowId)->kind == kRowBody) {
          ++cutBodyRows;
          keep = rowId;
        }
      }
      if (cutBodyRows < bodyRows) keep = 0;
      for (ObjectId rowId : rows) {
        if (rowId != keep) {
          document.RemoveRow(rowId);
          continue;
        }
        // Everything of the row went to the clipboard: an empty body row of
        // the table's own takes its place.
        auto at = std::find(table->rows.begin(), table->rows.end(), rowId);
        const size_t index = static_cast<size_t>(at - table->rows.begin());
        document.RemoveRow(rowId);
        document.InsertRows(table->id, index, kRowBody, 1);
      }
    }
    document.cellSelection.reset();
    document.selection = TextRange{};
    return 0;
  }
  const TextRange& r = document.selection;
  Paragraph* paragraph = document.FindParagraph(r.start.object);
  if (paragraph == nullptr || r.end.object != r.start.object) return kStatusNoSelection;
  size_t size = paragraph->text.size();
  size_t from = ClampOffset(r.start.offset, size);
  size_t to = ClampOffset(r.end.offset, size);
  if (to <= from) return kStatusNoSelection;
  host_.clipboardRows_.clear();
  host_.clipboardText_ = paragraph->text.substr(from, to - from);
  paragraph->text.erase(from, to - from);
  document.selection = TextRange{{paragraph->id, static_cast<int32_t>(from)}, {paragraph->id, static_cast<int32_t>(from)}};
  return 0;
}

int32_t SubstituteHost::ApiImpl::PasteClipboard(Document& document) {
  if (!host_.clipboardRows_.empty()) {
    if (!document.cellSelection) return kStatusNoSelection;
    Document::CellSelection selection = *document.cellSelection;
    Table* table = document.FindTable(selection.table);
    if (table == nullptr) return kStatusNoSelection;
    // Tables anchored in a cut paragraph move with its content.
    std::map<ObjectId, ObjectId> movedParagraphs;  // cut paragraph -> pasted paragraph
    size_t rowIndex = static_cast<size_t>(selection.topRow);
    for (size_t i = 0; i < host_.clipboardRows_.size(); ++i, ++rowIndex) {
      // Rows beyond the selection are added below it, of the last row's kind.
      if (i > static_cast<size_t>(selection.bottomRow - selection.topRow)) {
        int32_t kind = document.FindRow(table->rows[rowIndex - 1])->kind;
        document.InsertRows(table->id, rowIndex, kind, 1);
      }
      Row* row = document.FindRow(table->rows[rowIndex]);
      const ClipboardRow& cut = host_.clipboardRows_[i];
      const std::vector<ClipboardCell>& cells = cut.cells;
      // A whole row pasted over a whole row brings its own properties.
      row->pastedFrom = selection.leftColumn == 0 && cells.size() == row->cells.size() ? cut.origin : 0;
      for (size_t j = 0; j < cells.size(); ++j) {
        size_t column = static_cast<size_t>(selection.leftColumn) + j;
        if (column >= row->cells.size()) break;
        Cell* cell = document.FindCell(row->cells[column]);
        std::vector<ObjectId>* paragraphs = document.ParagraphsOf(cell->id);
        while (paragraphs->size() > 1) {
          ObjectId extra = paragraphs->back();
          paragraphs->pop_back();
          document.SetParagraphText(extra, "");
        }
        cell->pastedFrom = cells[j].origin;
        std::copy(std::begin(cells[j].overrides), std::end(cells[j].overrides), std::begin(cell->overrides));
        for (size_t k = 0; k < cells[j].texts.size(); ++k) {
          Paragraph* pasted = nullptr;
          if (k == 0) {
            pasted = document.FindParagraph(paragraphs->front());
            pasted->text = cells[j].texts[0];
            // The paragraph keeps its own format, whether or not the catalogue has it.
            if (ParagraphFormat* format = document.FindParagraphFormat(cells[j].formats[0])) {
              document.ApplyParagraphFormat(pasted->id, *format);
            } else {
              pasted->formatName = cells[j].formats[0];
              pasted->formatProperties.Clear();
            }
          } else {
            pasted = &document.AppendParagraph(cell->id, cells[j].texts[k], cells[j].formats[k]);
          }
          pasted->pastedFrom = cells[j].paragraphOrigins[k];
          movedParagraphs[cells[j].paragraphIds[k]] = pasted->id;
        }
      }
    }
    for (ObjectId tableId : document.TablesInOrder()) {
      Table* anchored = document.FindTable(tableId);
      if (document.FindParagraph(anchored->anchor.object) != nullptr) continue;
      auto moved = movedParagraphs.find(anchored->anchor.object);
      if (moved != movedParagraphs.end()) anchored->anchor.object = moved->second;
    }
    document.InvalidateTableOrder();
    return 0;
  }
  if (host_.clipboardText_) {
    const TextRange& r = document.selection;
    if (document.FindParagraph(r.start.object) == nullptr) return kStatusNoSelection;
    std::optional<TextLoc> end = document.InsertText(r.start, *host_.clipboardText_);
    if (!end) return kStatusNoSelection;
    document.selection = TextRange{*end, *end};
    return 0;
  }
  return kStatusNoSelection;
}

}  // namespace gw::substitute
