// The API interface for documents and books: opening, saving, making and
// closing documents, and the properties of documents, books and their
// components.
#include <algorithm>
#include <string>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

namespace {

// ---- FrameRoman --------------------------------------------------------------------------------

// Code points of the FrameRoman bytes 0x80 to 0xFF (0 where the byte has none).
constexpr char32_t kFrameRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0,      0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// The FrameRoman form of a UTF-8 name; nullopt for invalid UTF-8 or a
// character that FrameRoman lacks.
std::optional<std::string> Utf8ToFrameRoman(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > utf8.size()) return std::nullopt;
    char32_t code = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    i += length;
    const char32_t* found = std::find(std::begin(kFrameRomanHigh), std::end(kFrameRomanHigh), code);
    if (code == 0 || found == std::end(kFrameRomanHigh)) return std::nullopt;
    out.push_back(static_cast<char>(0x80 + (found - std::begin(kFrameRomanHigh))));
  }
  return out;
}

}  // namespace

// ---- Documents --------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::OpenDocument(const char* fileName, const PropertyList* params,
                                                                PropertyList* returnList, int32_t* status,
                                                                ObjectId* document) {
  Zero(document);
  if (auto hr = Enter("OpenDocument", [&] { return Args({Quote(fileName), Props(params)}); }, std::nullopt, status)) {
    return *hr;
  }
  std::string path = Str(fileName);
  int32_t result = 0;
  ObjectId id = 0;
  if (path.empty()) {
    result = kStatusBadParameter;
  } else if (Document* open = host_.FindDocumentByPath(path)) {
    id = open->Id();
  } else {
    LoadResult loaded = host_.store_.Load(path);
    if (const StoreError* error = std::get_if<StoreError>(&loaded)) {
      result = error->kind == StoreError::Kind::kNotFound ? kStatusFileNotFound : kStatusFileUnreadable;
    } else {
      Document* opened = host_.OpenFromStoreLoaded(std::move(std::get<std::unique_ptr<Document>>(loaded)), path);
      id = opened->Id();
    }
  }
  if (int32_t written = WriteReturnList(returnList, result); written != 0) return Done(status, written);
  return Done(status, result, document, result == 0 ? id : 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SaveDocument(ObjectId documentId, const char* fileName,
                                                                const PropertyList* params, PropertyList* returnList,
                                                                int32_t* status, ObjectId* saved) {
  Zero(saved);
  if (auto hr = Enter("SaveDocument",
                      [&] { return Args({FormatId(documentId), Quote(fileName), Props(params)}); },
                      std::nullopt,
                      status)) {
    return *hr;
  }
  int32_t result = 0;
  Document* document = host_.FindDocument(documentId);
  std::optional<std::string> name = Utf8ToFrameRoman(Str(fileName));
  if (document == nullptr) {
    result = kStatusBadDocument;
  } else if (!name || name->empty()) {
    result = kStatusBadParameter;
  } else if (auto error = host_.store_.Save(*name, *document)) {
    result = kStatusSaveFailed;
  } else {
    document->fileName = *name;
  }
  if (int32_t written = WriteReturnList(returnList, result); written != 0) return Done(status, written);
  return Done(status, result, saved, result == 0 ? documentId : 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::NewCustomDocument(Metric width, Metric height, int32_t columns,
                                                                     Metric gap, Metric top, Metric bottom,
                                                                     Metric inside, Metric outside, int32_t sidedness,
                                                                     int32_t makeVisible, int32_t* status,
                                                                     ObjectId* document) {
  Zero(document);
  if (auto hr = Enter("NewCustomDocument",
                      [&] {
                        return Args({Num(width), Num(height), Num(columns), Num(gap), Num(top), Num(bottom),
                                     Num(inside), Num(outside), Num(sidedness), Num(makeVisible)});
                      },
                      std::nullopt, status)) {
    return *hr;
  }
  if (width <= 0 || height <= 0 || columns < 1 || gap < 0 || top < 0 || bottom < 0 || inside < 0 || outside < 0 ||
      top + bottom >= height || inside + outside >= width) {
    return Done(status, kStatusBadParameter);
  }
  std::unique_ptr<Document> created = Document::NewStandard();
  // A new document has its insertion point at the start of its main flow.
  ObjectId first = created->LastParagraph().id;
  created->selection = TextRange{{first, 0}, {first, 0}};
  Document& adopted = *created;
  host_.documents_.push_back(std::move(created));
  if (makeVisible != 0 || host_.activeDocument_ == 0) host_.activeDocument_ = adopted.Id();
  return Done(status, 0, document, adopted.Id());
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::CloseDocument(ObjectId documentId, int32_t flags, int32_t* status) {
  if (auto hr = Enter("CloseDocument",
                      [&] { return Args({FormatId(documentId), Num(flags)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  if (!host_.IsOpen(documentId)) return Done(status, kStatusBadDocument);
  host_.CloseDocument(documentId);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::Redisplay(ObjectId documentId, int32_t* status) {
  if (auto hr = Enter("Redisplay", [&] { return FormatId(documentId); }, std::nullopt, status)) return *hr;
  if (!host_.IsOpen(documentId)) return Done(status, kStatusBadDocument);
  host_.redisplays_.push_back(documentId);
  return Done(status, 0);
}

// The return list of OpenDocument/SaveDocument: one int entry with the
// outcome. Returns 0, or kStatusNoMemory.
int32_t SubstituteHost::ApiImpl::WriteReturnList(PropertyList* returnList, int32_t outcome) {
  if (returnList == nullptr) return 0;
  *returnList = PropertyList{0, nullptr};
  BlockBatch blocks;
  auto* entry = static_cast<PropEntry*>(blocks.Alloc(sizeof(PropEntry)));
  if (entry == nullptr) return kStatusNoMemory;
  entry->ident = PropIdent{1, nullptr};
  entry->value.type = kValueInt;
  entry->value.u.intValue = outcome;
  *returnList = PropertyList{1, entry};
  Hand(blocks);
  return 0;
}

// ---- Properties -------------------------------------------------------------------------------

Got SubstituteHost::ApiImpl::ReadBook(Book& book, ObjectId object, int32_t code) {
  if (object == book.Id()) {
    switch (code) {
      case kPropFileName: return Ok(PropertyValue::String(book.fileName));
      case kPropStatusLine: return Ok(PropertyValue::String(book.StatusLine()));
      case kPropFirstComponent: return Ok(PropertyValue::Id(book.TopLevel().empty() ? 0 : book.TopLevel().front()));
      default: return Fail(kStatusBadProperty);
    }
  }
  BookComponent* component = book.FindComponent(object);
  if (component == nullptr) return Fail(kStatusBadObject);
  switch (code) {
    case kPropFileName: return Ok(PropertyValue::String(component->fileName));
    case kPropComponentKind: return Ok(PropertyValue::Int(component->kind));
    case kPropFirstChild:
      return Ok(PropertyValue::Id(component->children.empty() ? 0 : component->children.front()));
    case kPropParentComponent: return Ok(PropertyValue::Id(component->parent));
    case kPropNextComponent: {
      const std::vector<ObjectId>& siblings = *book.SiblingsOf(object);
      auto it = std::find(siblings.begin(), siblings.end(), object);
      return Ok(PropertyValue::Id(it + 1 == siblings.end() ? 0 : *(it + 1)));
    }
    default: return Fail(kStatusBadProperty);
  }
}

Got SubstituteHost::ApiImpl::ReadInDocument(Document& document, ObjectId object, int32_t code) {
  if (object == document.Id()) {
    switch (code) {
      case kPropFileName: return Ok(PropertyValue::String(document.fileName));
      case kPropNextOpenDocument: {
        auto& list = host_.documents_;
        for (size_t i = 0; i < list.size(); ++i) {
          if (list[i]->Id() == object) return Ok(PropertyValue::Id(i + 1 < list.size() ? list[i + 1]->Id() : 0));
        }
        return Fail(kStatusBadObject);
      }
      case kPropSelection: {
        PropertyValue v;
        v.kind = ValueKind::kTextRange;
        v.range = document.selection;
        return Ok(v);
      }
      case kPropFirstTable: return Ok(PropertyValue::Id(document.FirstTable()));
      case kPropFirstTableFormat: {
        const auto& order = document.TableFormatOrder();
        return Ok(PropertyValue::Id(order.empty() ? 0 : order.front()));
      }
      case kPropSelectedTable:
        if (document.cellSelection) return Ok(PropertyValue::Id(document.cellSelection->table));
        return Ok(PropertyValue::Id(document.TableOfParagraph(document.selection.start.object)));
      case kPropBulkEdit: return Ok(PropertyValue::Int(document.bulkEdit));
      case kPropDisplayUnit: return Ok(PropertyValue::OfMetric(document.displayUnit));
      case kPropMainFlow: return Ok(PropertyValue::Id(document.MainFlow()));
      default: {
        auto it = document.extraProperties.find(code);
        if (it != document.extraProperties.end()) return Ok(it->second);
        return Fail(kStatusBadProperty);
      }
    }
  }
  switch (KindOf(object)) {
    case ObjectKind::kColour:
    case ObjectKind::kRuling: {
      const NamedObject* named = document.FindNamed(object);
      if (named == nullptr) return Fail(kStatusBadObject);
      if (code == kPropFileName) return Ok(PropertyValue::String(named->name));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kFlow: {
      Flow* flow = document.FindFlow(object);
      if (flow == nullptr) return Fail(kStatusBadObject);
      if (code == kPropLastTextFrame) return Ok(PropertyValue::Id(flow->frames.empty() ? 0 : flow->frames.back()));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kTextFrame:
    case ObjectKind::kGraphicFrame: {
      Frame* frame = document.FindFrame(object);
      if (frame == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropLastParagraph:
          if (KindOf(object) != ObjectKind::kTextFrame) return Fail(kStatusBadProperty);
          return Ok(PropertyValue::Id(frame->paragraphs.empty() ? 0 : frame->paragraphs.back()));
        case kPropParentFrame: return Ok(PropertyValue::Id(frame->parentFrame));
        case kPropFramePage: return Ok(PropertyValue::Id(frame->page));
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kParagraph: {
      Paragraph* paragraph = document.FindParagraph(object);
      if (paragraph == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropParagraphFrame: return Ok(PropertyValue::Id(document.FrameOfParagraph(object)));
        case kPropFormatLocked: return Ok(PropertyValue::Int(paragraph->formatLocked));
        case kPropTag: return Ok(PropertyValue::String(paragraph->formatName));
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kParagraphFormat: {
      ParagraphFormat* format = document.FindParagraphFormat(object);
      if (format == nullptr) return Fail(kStatusBadObject);
      if (code == kPropTag) return Ok(PropertyValue::String(format->name));
      return Fail(kStatusBadProperty);
    }
    case ObjectKind::kTableFormat: {
      TableFormat* format = document.FindTableFormat(object);
      if (format == nullptr) return Fail(kStatusBadObject);
      if (code == kPropTag) return Ok(PropertyValue::String(format->name));
      if (code == kPropNextTableFormat) return Ok(PropertyValue::Id(document.NextTableFormat(object)));
      auto it = format->properties.find(code);
      if (it == format->properties.end()) return Fail(kStatusBadProperty);
      return Ok(it->second);
    }
    case ObjectKind::kTable: {
      Table* table = document.FindTable(object);
      if (table == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropTag: return Ok(PropertyValue::String(table->tag));
        case kPropNextTable: return Ok(PropertyValue::Id(document.NextTable(object)));
        case kPropAnchor: {
          PropertyValue v;
          v.kind = ValueKind::kTextLoc;
          v.range.start = table->anchor;
          return Ok(v);
        }
        case kPropFirstParagraph:
          return Ok(PropertyValue::Id(table->titleParagraphs.empty() ? 0 : table->titleParagraphs.front()));
        case kPropColumnCount: return Ok(PropertyValue::Int(static_cast<int32_t>(table->columnWidths.size())));
        case kPropColumnWidths: return Ok(PropertyValue::Ints(table->columnWidths));
        case kPropFirstRow: return Ok(PropertyValue::Id(table->rows.empty() ? 0 : table->rows.front()));
        default: {
          auto it = table->properties.find(code);
          if (it == table->properties.end()) return Fail(kStatusBadProperty);
          return Ok(it->second);
        }
      }
    }
    case ObjectKind::kRow: {
      Row* row = document.FindRow(object);
      if (row == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropRowKind: return Ok(PropertyValue::Int(row->kind));
        case kPropFirstCell: return Ok(PropertyValue::Id(row->cells.empty() ? 0 : row->cells.front()));
        case kPropNextRow: {
          const std::vector<ObjectId>& rows = document.FindTable(row->table)->rows;
          auto it = std::find(rows.begin(), rows.end(), object);
          return Ok(PropertyValue::Id(it + 1 == rows.end() ? 0 : *(it + 1)));
        }
        default: return Fail(kStatusBadProperty);
      }
    }
    case ObjectKind::kCell: {
      Cell* cell = document.FindCell(object);
      if (cell == nullptr) return Fail(kStatusBadObject);
      switch (code) {
        case kPropColumnIndex: return Ok(PropertyValue::Int(cell->column));
        case kPropFirstParagraph: return Ok(PropertyValue::Id(cell->paragraphs.empty() ? 0 : cell->paragraphs.front()));
        case kPropNextCell: {
          const std::vector<ObjectId>& cells = document.FindRow(cell->row)->cells;
          auto it = std::find(cells.begin(), cells.end(), object);
          return Ok(PropertyValue::Id(it + 1 == cells.end() ? 0 : *(it + 1)));
        }
        default:
          for (int i = 0; i < 6; ++i) {
            if (kCellOverrideFlags[i] == code) return Ok(PropertyValue::Int(cell->overrides[i]));
          }
          return Fail(kStatusBadProperty);
      }
    }
    default:
      return Fail(kStatusBadObject);
  }
}

int32_t SubstituteHost::ApiImpl::WriteInDocument(Document& document, ObjectId object, int32_t code,
                                             const PropertyValue& value) {
  const auto isNamed = [&](ObjectId id, ObjectKind kind) {
    return id == 0 || (KindOf(id) == kind && document.FindNamed(id) != nullptr);
  };
  const auto checkFormatValue = [&](int32_t propertyCode, const PropertyValue& v) -> int32_t {
    static constexpr int32_t kColourCodes[] = {1297, 1299, 1304};
    if (v.kind != ValueKind::kId) return 0;
    bool colour = std::find(std::begin(kColourCodes), std::end(kColourCodes), propertyCode) != std::end(kColourCodes);
    ObjectId id = static_cast<ObjectId>(v.number);
    return isNamed(id, colour ? ObjectKind::kColour : ObjectKind::kRuling) ? 0 : kStatusBadValue;
  };
  if (object == document.Id()) {
    switch (code) {
      case kPropSelection: {
        const TextRange& r = value.range;
        bool clear = r.start.object == 0 && r.end.object == 0;
        if (!clear && (document.FindParagraph(r.start.object) == nullptr ||
                       document.FindParagraph(r.end.object) == nullptr)) {
          return kStatusBadValue;
        }
        document.selection = r;
        document.cellSelection.reset();
        return 0;
      }
      case kPropBulkEdit:
        document.bulkEdit = value.number;
        return 0;
      case kPropDisplayUnit:
        if (value.number <= 0) return kStatusBadValue;
        document.displayUnit = value.number;
        return 0;
      default:
        if (document.extraProperties.count(code) != 0) {
          document.extraProperties[code] = value;
          return 0;
        }
        return kStatusReadOnly;
    }
  }
  switch (KindOf(object)) {
    case ObjectKind::kParagraph: {
      Paragraph* paragraph = document.FindParagraph(object);
      if (code == kPropFormatLocked) {
        paragraph->formatLocked = value.number;
        return 0;
      }
      if (code == kPropTag) {
        paragraph->formatName = value.text;
        return 0;
      }
      return kStatusReadOnly;
    }
    case ObjectKind::kTableFormat: {
      TableFormat* format = document.FindTableFormat(object);
      if (code == kPropTag) {
        if (value.text.empty()) return kStatusBadValue;
        TableFormat* other = document.FindTableFormat(value.text);
        if (other != nullptr && other != format) return kStatusNameInUse;
        document.RenameTableFormat(format->id, value.text);
        return 0;
      }
      if (code == kPropNextTableFormat) return kStatusReadOnly;
      if (int32_t bad = checkFormatValue(code, value)) return bad;
      SetFormatLevelProperty(format->properties, code, value);
      return 0;
    }
    case ObjectKind::kTable: {
      Table* table = document.FindTable(object);
      switch (code) {
        case kPropTag:
          // Re-tagging changes the name only; the table keeps its properties.
          table->tag = value.text;
          return 0;
        case kPropColumnWidths:
          if (value.ints.size() != table->columnWidths.size()) return kStatusBadValue;
          if (std::any_of(value.ints.begin(), value.ints.end(), [](int32_t w) { return w <= 0; })) {
            return kStatusBadValue;
          }
          table->columnWidths = value.ints;
          return 0;
        case kPropNextTable:
        case kPropAnchor:
        case kPropFirstParagraph:
        case kPropColumnCount:
        case kPropFirstRow:
          return kStatusReadOnly;
        default:
          if (int32_t bad = checkFormatValue(code, value)) return bad;
          SetFormatLevelProperty(table->properties, code, value);
          if (code == kPropTitlePosition) document.UpdateTitle(*table);
          return 0;
      }
    }
    case ObjectKind::kCell: {
      Cell* cell = document.FindCell(object);
      for (int i = 0; i < 6; ++i) {
        if (kCellOverrideFlags[i] == code) {
          cell->overrides[i] = value.number;
          return 0;
        }
      }
      return kStatusReadOnly;
    }
    default:
      return kStatusReadOnly;
  }
}

}  // namespace gw::substitute
