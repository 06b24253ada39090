// Sample values of every type code for the host-layer tests.
#include "sample_values.h"

#include <cstring>

namespace sample {
namespace {

char* String(const char* text, BlockAllocFunction alloc) {
  if (text == nullptr) return nullptr;
  size_t size = std::strlen(text) + 1;
  char* block = static_cast<char*>(alloc(size));
  std::memcpy(block, text, size);
  return block;
}

template <typename T>
T* Array(uint32_t count, BlockAllocFunction alloc) {
  T* items = static_cast<T*>(alloc(count * sizeof(T)));
  std::memset(static_cast<void*>(items), 0, count * sizeof(T));
  return items;
}

StringList Strings(const char* first, const char* second, BlockAllocFunction alloc) {
  StringList list = {2, Array<char*>(2, alloc)};
  list.strings[0] = String(first, alloc);
  list.strings[1] = String(second, alloc);
  return list;
}

std::string Text(const char* s) { return s != nullptr ? std::string("\"") + s + "\"" : "<null>"; }

std::string Describe(const StringList& list) {
  std::string text = "[";
  for (uint32_t i = 0; list.strings != nullptr && i < list.count; ++i) text += Text(list.strings[i]) + ",";
  return text + "]";
}

}  // namespace

TypedValue Value(int32_t type, BlockAllocFunction alloc) {
  TypedValue value;
  std::memset(&value, 0, sizeof value);
  value.type = type;
  switch (type) {
    case 1: case 2: case 4: case 11:
      value.u.intValue = 1000 + type;
      break;
    case 3:
      value.u.string = String("Body", alloc);
      break;
    case 5: case 13: case 15:
      value.u.ints = {2, Array<int32_t>(2, alloc)};
      value.u.ints.values[0] = type;
      value.u.ints.values[1] = -type;
      break;
    case 6:
      value.u.strings = Strings("Heading1", nullptr, alloc);
      break;
    case 7: case 12:
      value.u.pairs = {2, Array<IntPair>(2, alloc)};
      value.u.pairs.items[0] = {1, 2};
      value.u.pairs.items[1] = {3, 4};
      break;
    case 8:
      value.u.records8 = {2, Array<Record8>(2, alloc)};
      value.u.records8.items[0] = {1, 2, String("eight", alloc), 3};
      value.u.records8.items[1] = {4, 5, nullptr, 6};
      break;
    case 9:
      value.u.textLoc = {0x05000001, 7};
      break;
    case 10:
      value.u.textRange = {{0x05000001, 1}, {0x05000001, 9}};
      break;
    case 14:
      value.u.bytes = {2, Array<uint8_t>(2, alloc)};
      value.u.bytes.bytes[0] = 0xAB;
      value.u.bytes.bytes[1] = 0xCD;
      break;
    case 17:
      value.u.records17 = {2, Array<Record17>(2, alloc)};
      for (uint32_t i = 0; i < 2; ++i) {
        Record17& r = value.u.records17.items[i];
        r.string1 = String("s1", alloc);
        r.value1 = 1;
        r.value2 = 2;
        r.value3 = 3;
        r.list1 = Strings("a", "b", alloc);
        r.list2 = Strings(nullptr, "c", alloc);
        r.string2 = i == 0 ? String("s2", alloc) : nullptr;
        r.string3 = String("s3", alloc);
      }
      break;
    case 18:
      value.u.records18 = {2, Array<Record18>(2, alloc)};
      for (uint32_t i = 0; i < 2; ++i) {
        value.u.records18.items[i].string = String(i == 0 ? "r18" : nullptr, alloc);
        value.u.records18.items[i].list = Strings("x", "y", alloc);
        value.u.records18.items[i].value = static_cast<int16_t>(-5 - i);
      }
      break;
    case 19: {
      uint8_t* record = static_cast<uint8_t*>(alloc(kRecord19CopySize));
      for (int i = 0; i < kRecord19CopySize; ++i) record[i] = static_cast<uint8_t>(i + 1);
      value.u.record19 = record;
      break;
    }
    case 20: {
      TypedValueList* list = static_cast<TypedValueList*>(alloc(sizeof(TypedValueList)));
      list->count = 3;
      list->values = Array<TypedValue>(3, alloc);
      list->values[0] = Value(3, alloc);
      list->values[1] = Value(5, alloc);
      // One level further down: a type 20 holding a string list.
      TypedValueList* inner = static_cast<TypedValueList*>(alloc(sizeof(TypedValueList)));
      inner->count = 1;
      inner->values = Array<TypedValue>(1, alloc);
      inner->values[0] = Value(6, alloc);
      list->values[2].type = 20;
      list->values[2].u.list = inner;
      value.u.list = list;
      break;
    }
    case 21:
      value.u.records21 = {2, Array<Record21>(2, alloc)};
      for (uint32_t i = 0; i < 2; ++i) {
        Record21& r = value.u.records21.items[i];
        r.string = String("r21", alloc);
        r.list1 = Strings("p", nullptr, alloc);
        r.list2 = Strings("q", "r", alloc);
        r.value1 = static_cast<uint16_t>(600 + i);
        r.value2 = static_cast<uint8_t>(7 + i);
      }
      break;
    case 22:
      value.u.records22 = {2, Array<Record22>(2, alloc)};
      for (uint32_t i = 0; i < 2; ++i) {
        value.u.records22.items[i].value = static_cast<int32_t>(i);
        value.u.records22.items[i].list = Strings("m", "n", alloc);
      }
      break;
    default:
      break;
  }
  return value;
}

PropertyList List(BlockAllocFunction alloc) {
  uint32_t count = static_cast<uint32_t>(sizeof kTypeCodes / sizeof kTypeCodes[0]) + 1;
  PropertyList list = {count, Array<PropEntry>(count, alloc)};
  uint32_t i = 0;
  for (int32_t type : kTypeCodes) {
    list.entries[i].ident.code = 100 + type;
    list.entries[i].value = Value(type, alloc);
    ++i;
  }
  list.entries[i].ident = {0, String("ByName", alloc)};
  list.entries[i].value = Value(3, alloc);
  return list;
}

TextItemList TextItems(BlockAllocFunction alloc) {
  TextItemList list = {3, Array<TextItem>(3, alloc)};
  list.items[0].offset = 0;
  list.items[0].kind = 1;
  list.items[0].u.string = String("one", alloc);
  list.items[1].offset = 3;
  list.items[1].kind = 5;
  list.items[1].u.value = 77;
  list.items[2].offset = 3;
  list.items[2].kind = 1;
  list.items[2].u.string = String("two", alloc);
  return list;
}

std::string Describe(const TypedValue& value) {
  using std::to_string;
  // Describes each item of an array with one, separated by commas.
  auto items = [](const auto* array, uint32_t count, auto one) {
    std::string text;
    for (uint32_t i = 0; array != nullptr && i < count; ++i) text += one(array[i]) + ",";
    return text;
  };
  const auto& u = value.u;
  std::string text = "T" + to_string(value.type) + ":";
  switch (value.type) {
    case 3: return text + Text(u.string);
    case 5: case 13: case 15: return text + items(u.ints.values, u.ints.count, [](int32_t v) { return to_string(v); });
    case 6: return text + Describe(u.strings);
    case 7: case 12:
      return text + items(u.pairs.items, u.pairs.count,
                          [](const IntPair& p) { return to_string(p.first) + "/" + to_string(p.second); });
    case 8:
      return text + items(u.records8.items, u.records8.count, [](const Record8& r) {
               return to_string(r.first) + to_string(r.second) + Text(r.string) + to_string(r.third);
             });
    case 9: return text + to_string(u.textLoc.object) + "@" + to_string(u.textLoc.offset);
    case 10: return text + to_string(u.textRange.start.offset) + "-" + to_string(u.textRange.end.offset);
    case 14: return text + items(u.bytes.bytes, u.bytes.count, [](uint8_t b) { return to_string(b); });
    case 17:
      return text + items(u.records17.items, u.records17.count, [](const Record17& r) {
               return Text(r.string1) + to_string(r.value1 + r.value2 * 10 + r.value3 * 100) + Describe(r.list1) +
                      Describe(r.list2) + Text(r.string2) + Text(r.string3);
             });
    case 18:
      return text + items(u.records18.items, u.records18.count, [](const Record18& r) {
               return Text(r.string) + Describe(r.list) + to_string(r.value);
             });
    case 19:
      return text + items(static_cast<const uint8_t*>(u.record19), kRecord19CopySize, [](uint8_t b) { return to_string(b); });
    case 20:
      if (u.list == nullptr) return text + "<null>";
      return text + "{" + items(u.list->values, u.list->count, [](const TypedValue& v) { return Describe(v); }) + "}";
    case 21:
      return text + items(u.records21.items, u.records21.count, [](const Record21& r) {
               return Text(r.string) + Describe(r.list1) + Describe(r.list2) + to_string(r.value1) + "/" +
                      to_string(r.value2);
             });
    case 22:
      return text + items(u.records22.items, u.records22.count,
                          [](const Record22& r) { return to_string(r.value) + Describe(r.list); });
    default: return text + to_string(u.intValue);
  }
}

std::string Describe(const PropertyList& list) {
  std::string text;
  for (uint32_t i = 0; list.entries != nullptr && i < list.count; ++i) {
    const PropEntry& entry = list.entries[i];
    text += std::to_string(entry.ident.code);
    if (entry.ident.code == 0) text += Text(entry.ident.name);
    text += "=" + Describe(entry.value) + "\n";
  }
  return text;
}

}  // namespace sample
