// Typed values of every type code, built in blocks of a given allocator (the
// COM task allocator for host blocks), and a deep description of a value for
// comparing a copy with its source.
#ifndef GRIDWRIGHT_TESTS_HOST_SAMPLE_VALUES_H
#define GRIDWRIGHT_TESTS_HOST_SAMPLE_VALUES_H

#include <string>

#include "host/property_lists.h"

namespace sample {

// The type codes with a rule, and 11 (no rule) for good measure.
inline constexpr int32_t kTypeCodes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 22};

// A value of that type with two elements in each list, nested blocks made
// with alloc, and one NULL string among its strings where the shape has any.
// Type 20 holds a string, an int list and a further type 20 value.
TypedValue Value(int32_t type, BlockAllocFunction alloc);

// A property list with one entry per type code (codes 100 + type), and an
// entry of code 0 named "ByName".
PropertyList List(BlockAllocFunction alloc);

// A text-item list: kind 1 items "one" and "two" around a kind 5 item.
TextItemList TextItems(BlockAllocFunction alloc);

// A canonical text of the value's contents (strings, numbers, nesting);
// pointer identities are not part of it. NULL strings show as "<null>".
std::string Describe(const TypedValue& value);
std::string Describe(const PropertyList& list);

}  // namespace sample

#endif  // GRIDWRIGHT_TESTS_HOST_SAMPLE_VALUES_H
