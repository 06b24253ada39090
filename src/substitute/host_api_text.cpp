// The API interface for text: text locations and ranges, reading the text
// of paragraphs and inserting text.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::ScrollToText(ObjectId documentId, const TextRange* range,
                                                                int32_t* status) {
  if (auto hr = Enter("ScrollToText",
                      [&] { return Args({FormatId(documentId), Range(range)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (range == nullptr || document->FindParagraph(range->start.object) == nullptr) {
    return Done(status, kStatusBadParameter);
  }
  host_.scrolledTo_.push_back(*range);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::AddText(ObjectId documentId, const TextLoc* location,
                                                           const char* text, int32_t* status, TextLoc* end) {
  if (end != nullptr) *end = TextLoc{0, 0};
  if (auto hr = Enter("AddText",
                      [&] { return Args({FormatId(documentId), Loc(location), Quote(text)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (location == nullptr) return Done(status, kStatusBadParameter);
  std::optional<TextLoc> after = document->InsertText(*location, Str(text));
  if (!after) return Done(status, kStatusBadObject);
  if (end != nullptr) *end = *after;
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetText(ObjectId documentId, const TextRange* range, int32_t flags,
                                                           int32_t* status, TextItemList* result) {
  if (result != nullptr) *result = TextItemList{0, nullptr};
  if (auto hr = Enter("GetText",
                      [&] { return Args({FormatId(documentId), Range(range), Num(flags)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (range == nullptr || result == nullptr) return Done(status, kStatusBadParameter);
  struct Item {
    int32_t offset;
    int32_t kind;
    std::string text;
    int32_t value;
  };
  std::vector<Item> items;
  const Paragraph* first = document->FindParagraph(range->start.object);
  const Paragraph* last = document->FindParagraph(range->end.object);
  if (first == nullptr || last == nullptr || first->container != last->container) {
    return Done(status, kStatusBadObject);
  }
  const std::vector<ObjectId>* list = std::as_const(*document).ParagraphsOf(first->container);
  auto from = std::find(list->begin(), list->end(), first->id);
  auto to = std::find(list->begin(), list->end(), last->id);
  if (to < from) return Done(status, kStatusBadParameter);
  for (auto it = from; it <= to; ++it) {
    const Paragraph& p = *document->FindParagraph(*it);
    size_t size = p.text.size();
    size_t begin = it == from ? ClampOffset(range->start.offset, size) : 0;
    size_t end = it == to ? ClampOffset(range->end.offset, size) : size;
    // String items are split at table anchors, as the text runs between them.
    std::vector<std::pair<size_t, ObjectId>> anchors;
    for (ObjectId t : document->TablesAnchoredIn(p.id)) {
      anchors.emplace_back(static_cast<size_t>(document->FindTable(t)->anchor.offset), t);
    }
    size_t position = begin;
    for (const auto& [offset, table] : anchors) {
      if (offset < begin || offset > end) continue;
      if (offset > position) {
        items.push_back({static_cast<int32_t>(position), kTextItemString, p.text.substr(position, offset - position), 0});
      }
      if (offset < end || (offset == end && it != to)) {
        items.push_back({static_cast<int32_t>(offset), kTextItemTableAnchor, {}, static_cast<int32_t>(table)});
      }
      position = offset;
    }
    if (end > position) {
      items.push_back({static_cast<int32_t>(position), kTextItemString, p.text.substr(position, end - position), 0});
    }
    bool endIncluded = it != to || range->end.offset == kTextOffsetEnd ||
                       (range->end.offset >= 0 && static_cast<size_t>(range->end.offset) > size);
    if (endIncluded) items.push_back({static_cast<int32_t>(size), kTextItemParagraphEnd, {}, 0});
  }
  // The flags select item kinds: 1 strings, 2 paragraph ends, 4 table anchors.
  std::erase_if(items, [&](const Item& item) { return (flags & (1 << (item.kind - 1))) == 0; });
  BlockBatch blocks;
  if (!items.empty()) {
    auto* out = static_cast<TextItem*>(blocks.Alloc(items.size() * sizeof(TextItem)));
    if (out == nullptr) return Done(status, kStatusNoMemory);
    for (size_t i = 0; i < items.size(); ++i) {
      out[i].offset = items[i].offset;
      out[i].kind = items[i].kind;
      if (items[i].kind == kTextItemString) {
        out[i].u.string = blocks.String(items[i].text);
        if (out[i].u.string == nullptr) return Done(status, kStatusNoMemory);
      } else {
        out[i].u.value = items[i].value;
      }
    }
    result->count = static_cast<uint32_t>(items.size());
    result->items = out;
  }
  Hand(blocks);
  return Done(status, 0);
}

}  // namespace gw::substitute
