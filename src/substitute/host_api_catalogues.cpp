// The API interface for the catalogues: paragraph formats and table formats
// found by name, and the property lists of formats, paragraphs and tables.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "substitute/host_api_impl.h"

namespace gw::substitute {

namespace {

bool WriteListValue(const ListValue& value, TypedValue* out, BlockBatch& blocks);

bool WriteStrings(const std::vector<std::string>& strings, StringList* out, BlockBatch& blocks) {
  out->count = static_cast<uint32_t>(strings.size());
  out->strings = nullptr;
  if (strings.empty()) return true;
  out->strings = static_cast<char**>(blocks.Alloc(strings.size() * sizeof(char*)));
  if (out->strings == nullptr) return false;
  for (size_t i = 0; i < strings.size(); ++i) {
    out->strings[i] = blocks.String(strings[i]);
    if (out->strings[i] == nullptr) return false;
  }
  return true;
}

bool WriteListValue(const ListValue& value, TypedValue* out, BlockBatch& blocks) {
  std::memset(out, 0, sizeof *out);
  out->type = value.type;
  switch (value.type) {
    case kValueInt:
    case kValueMetric:
    case kValueId:
      out->u.intValue = value.number;
      return true;
    case kValueString:
      out->u.string = blocks.String(value.text);
      return out->u.string != nullptr;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      out->u.ints.count = static_cast<uint32_t>(value.ints.size());
      if (value.ints.empty()) return true;
      out->u.ints.values = static_cast<int32_t*>(blocks.Alloc(value.ints.size() * sizeof(int32_t)));
      if (out->u.ints.values == nullptr) return false;
      std::memcpy(out->u.ints.values, value.ints.data(), value.ints.size() * sizeof(int32_t));
      return true;
    case kValueStrings:
      return WriteStrings(value.strings, &out->u.strings, blocks);
    case kValueTextLoc:
      out->u.textLoc = value.range.start;
      return true;
    case kValueTextRange:
      out->u.textRange = value.range;
      return true;
    case kValueList: {
      auto* list = static_cast<TypedValueList*>(blocks.Alloc(sizeof(TypedValueList)));
      if (list == nullptr) return false;
      out->u.list = list;
      list->count = static_cast<uint32_t>(value.list.size());
      if (value.list.empty()) return true;
      list->values = static_cast<TypedValue*>(blocks.Alloc(value.list.size() * sizeof(TypedValue)));
      if (list->values == nullptr) return false;
      for (size_t i = 0; i < value.list.size(); ++i) {
        if (!WriteListValue(value.list[i], &list->values[i], blocks)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

// Reads a typed value the plug-in passed; false for a type the model does
// not keep.
bool ReadListValue(const TypedValue& in, ListValue* out, int depth = 0) {
  if (depth > 32) return false;
  out->type = in.type;
  switch (in.type) {
    case kValueInt:
    case kValueMetric:
    case kValueId:
      out->number = in.u.intValue;
      return true;
    case kValueString:
      out->text = Str(in.u.string);
      return true;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      if (in.u.ints.values != nullptr) out->ints.assign(in.u.ints.values, in.u.ints.values + in.u.ints.count);
      return in.u.ints.values != nullptr || in.u.ints.count == 0;
    case kValueStrings:
      if (in.u.strings.strings == nullptr) return in.u.strings.count == 0;
      for (uint32_t i = 0; i < in.u.strings.count; ++i) out->strings.push_back(Str(in.u.strings.strings[i]));
      return true;
    case kValueTextLoc:
      out->range.start = in.u.textLoc;
      return true;
    case kValueTextRange:
      out->range = in.u.textRange;
      return true;
    case kValueList:
      if (in.u.list == nullptr) return true;
      if (in.u.list->values == nullptr) return in.u.list->count == 0;
      for (uint32_t i = 0; i < in.u.list->count; ++i) {
        ListValue element;
        if (!ReadListValue(in.u.list->values[i], &element, depth + 1)) return false;
        out->list.push_back(std::move(element));
      }
      return true;
    default:
      return false;
  }
}

ListValue ToListValue(const PropertyValue& value) {
  ListValue out;
  switch (value.kind) {
    case ValueKind::kInt: out.type = kValueInt; out.number = value.number; break;
    case ValueKind::kMetric: out.type = kValueMetric; out.number = value.number; break;
    case ValueKind::kId: out.type = kValueId; out.number = value.number; break;
    case ValueKind::kString: out.type = kValueString; out.text = value.text; break;
    case ValueKind::kInts: out.type = kValueInts; out.ints = value.ints; break;
    case ValueKind::kTextLoc: out.type = kValueTextLoc; out.range = value.range; break;
    case ValueKind::kTextRange: out.type = kValueTextRange; out.range = value.range; break;
  }
  return out;
}

std::optional<PropertyValue> FromListValue(const ListValue& value) {
  switch (value.type) {
    case kValueInt: return PropertyValue::Int(value.number);
    case kValueMetric: return PropertyValue::OfMetric(value.number);
    case kValueId: return PropertyValue::Id(static_cast<ObjectId>(value.number));
    case kValueString: return PropertyValue::String(value.text);
    case kValueInts: return PropertyValue::Ints(value.ints);
    default: return std::nullopt;
  }
}

}  // namespace

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetNamedObject(ObjectId documentId, int32_t type, const char* name,
                                                                  int32_t* status, ObjectId* object) {
  Zero(object);
  if (auto hr = Enter("GetNamedObject",
                      [&] { return Args({FormatId(documentId), Num(type), Quote(name)}); },
                      type, status)) {
    return *hr;
  }
  std::string wanted = Str(name);
  ObjectId found = 0;
  if (type == kNamedMenu || type == kNamedMenuItem) {
    for (ObjectId id : host_.menuOrder_) {
      const MenuEntry& entry = host_.menus_.at(id);
      bool kindFits = type == kNamedMenu ? entry.kind == ObjectKind::kMenu : entry.kind != ObjectKind::kMenu;
      if (kindFits && entry.name == wanted) {
        found = id;
        break;
      }
    }
    return Done(status, 0, object, found);
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (type == kNamedParagraphFormat) {
    if (ParagraphFormat* format = document->FindParagraphFormat(wanted)) found = format->id;
  } else if (type == kNamedTableFormat) {
    if (TableFormat* format = document->FindTableFormat(wanted)) found = format->id;
  } else {
    return Done(status, kStatusBadParameter);
  }
  // A name the document does not have is an answer of 0, not a failure.
  return Done(status, 0, object, found);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::GetProps(ObjectId documentId, ObjectId object, int32_t* status,
                                                            PropertyList* result) {
  if (result != nullptr) *result = PropertyList{0, nullptr};
  if (auto hr = Enter("GetProps",
                      [&] { return Args({FormatId(documentId), FormatId(object)}); },
                      std::nullopt, status)) {
    return *hr;
  }
  if (result == nullptr) return Done(status, kStatusBadParameter);
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  ListProperties properties;
  if (ParagraphFormat* format = document->FindParagraphFormat(object)) {
    properties.push_back({kPropTag, ToListValue(PropertyValue::String(format->name))});
    properties.insert(properties.end(), format->properties.begin(), format->properties.end());
  } else if (Paragraph* paragraph = document->FindParagraph(object)) {
    properties.push_back({kPropTag, ToListValue(PropertyValue::String(paragraph->formatName))});
    const ListProperties& own = paragraph->formatProperties.Get();
    properties.insert(properties.end(), own.begin(), own.end());
  } else if (TableFormat* format = document->FindTableFormat(object)) {
    properties.push_back({kPropTag, ToListValue(PropertyValue::String(format->name))});
    for (const auto& [code, value] : format->properties) properties.push_back({code, ToListValue(value)});
  } else if (Table* table = document->FindTable(object)) {
    properties.push_back({kPropTag, ToListValue(PropertyValue::String(table->tag))});
    for (const auto& [code, value] : table->properties) properties.push_back({code, ToListValue(value)});
  } else {
    return Done(status, kStatusBadObject);
  }
  BlockBatch blocks;
  if (!properties.empty()) {
    auto* entries = static_cast<PropEntry*>(blocks.Alloc(properties.size() * sizeof(PropEntry)));
    if (entries == nullptr) return Done(status, kStatusNoMemory);
    for (size_t i = 0; i < properties.size(); ++i) {
      entries[i].ident = PropIdent{properties[i].code, nullptr};
      if (!WriteListValue(properties[i].value, &entries[i].value, blocks)) return Done(status, kStatusNoMemory);
    }
    result->count = static_cast<uint32_t>(properties.size());
    result->entries = entries;
  }
  Hand(blocks);
  return Done(status, 0);
}

HRESULT STDMETHODCALLTYPE SubstituteHost::ApiImpl::SetProps(ObjectId documentId, ObjectId object,
                                                            const PropertyList* props, int32_t* status) {
  if (auto hr = Enter("SetProps",
                      [&] { return Args({FormatId(documentId), FormatId(object), Props(props)}); },
                      std::nullopt,
                      status)) {
    return *hr;
  }
  Document* document = host_.FindDocument(documentId);
  if (document == nullptr) return Done(status, kStatusBadDocument);
  if (props == nullptr || (props->count > 0 && props->entries == nullptr)) return Done(status, kStatusBadParameter);
  ListProperties entries;
  for (uint32_t i = 0; i < props->count; ++i) {
    ListEntry entry;
    entry.code = props->entries[i].ident.code;
    if (entry.code == 0 || !ReadListValue(props->entries[i].value, &entry.value)) {
      return Done(status, kStatusBadValue);
    }
    entries.push_back(std::move(entry));
  }
  return Done(status, ApplyProperties(*document, object, entries));
}

int32_t SubstituteHost::ApiImpl::ApplyProperties(Document& document, ObjectId object, const ListProperties& entries) {
  if (Paragraph* paragraph = document.FindParagraph(object)) {
    // A paragraph takes the format name and every property of the list.
    for (const ListEntry& entry : entries) {
      if (entry.code == kPropTag) {
        if (entry.value.type != kValueString) return kStatusWrongKind;
        paragraph->formatName = entry.value.text;
        continue;
      }
      // Setting a value the paragraph already has changes nothing, so its
      // shared list stays shared (a report applies a whole format to each
      // of thousands of paragraphs).
      const ListProperties& now = paragraph->formatProperties.Get();
      auto same = std::find_if(now.begin(), now.end(), [&](const ListEntry& e) { return e.code == entry.code; });
      if (same != now.end() && same->value == entry.value) continue;
      ListProperties& own = paragraph->formatProperties.Edit();  // a copy of its own when shared
      auto it = std::find_if(own.begin(), own.end(), [&](const ListEntry& e) { return e.code == entry.code; });
      if (it != own.end()) {
        it->value = entry.value;
      } else {
        own.push_back(entry);
      }
    }
    return 0;
  }
  if (ParagraphFormat* format = document.FindParagraphFormat(object)) {
    for (const ListEntry& entry : entries) {
      if (entry.code == kPropTag) continue;  // formats are not renamed this way
      auto it = std::find_if(format->properties.begin(), format->properties.end(),
                             [&](const ListEntry& e) { return e.code == entry.code; });
      if (it != format->properties.end()) {
        it->value = entry.value;
      } else {
        format->properties.push_back(entry);
      }
    }
    return 0;
  }
  if (document.FindTable(object) == nullptr && document.FindTableFormat(object) == nullptr) return kStatusBadObject;
  // Tables and table formats: each entry as a single property, all checked first.
  for (const ListEntry& entry : entries) {
    std::optional<PropertyValue> value = FromListValue(entry.value);
    if (!value) return kStatusBadValue;
    Got current = ReadInDocument(document, object, entry.code);
    if (current.status != 0) return current.status;
    if (current.value.kind != value->kind) return kStatusWrongKind;
  }
  for (const ListEntry& entry : entries) {
    if (int32_t result = WriteInDocument(document, object, entry.code, *FromListValue(entry.value))) return result;
  }
  return 0;
}

}  // namespace gw::substitute
