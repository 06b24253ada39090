// The boundary records on a 64-bit build: natural layout, so that the
// substitute host and the plug-in agree. (The 32-bit layout of the host is
// asserted by the boundary header itself, in the Windows build and in the
// i686 compile CTest runs.)
#include <cstddef>
#include <cstdint>

#include "host/client_hooks.h"
#include "host/fm_api.h"

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(PropIdent) == 16 && offsetof(PropIdent, name) == 8);
static_assert(sizeof(TypedValue) == 24 && offsetof(TypedValue, u) == 8);
static_assert(offsetof(TypedValue, u.ints.values) == 16 && offsetof(TypedValue, u.textRange.end) == 16);
static_assert(sizeof(PropEntry) == 40 && offsetof(PropEntry, value) == 16);
static_assert(sizeof(PropertyList) == 16 && offsetof(PropertyList, entries) == 8);
static_assert(sizeof(TextLoc) == 8 && sizeof(TextRange) == 16);
static_assert(sizeof(TextItem) == 16 && offsetof(TextItem, u) == 8);
static_assert(sizeof(Record8) == 24 && offsetof(Record8, string) == 8 && offsetof(Record8, third) == 16);
static_assert(sizeof(Record17) == 72 && offsetof(Record17, list1) == 24 && offsetof(Record17, string2) == 56);
static_assert(sizeof(Record18) == 32 && offsetof(Record18, value) == 24);
static_assert(sizeof(Record21) == 48 && offsetof(Record21, value1) == 40 && offsetof(Record21, value2) == 42);
static_assert(sizeof(Record22) == 24 && offsetof(Record22, list) == 8);
static_assert(sizeof(TypedValueList) == 16 && sizeof(ResourceData) == 16);
static_assert(sizeof(NotifyFields) == 6 * 8 + 16);
#else
// Where pointers are 32 bits wide the boundary header checks the host's own
// layout; the field record follows it.
static_assert(sizeof(NotifyFields) == 6 * 4 + 8);
#endif
