// The id-indexed object table behind the document model.
#include "substitute/id_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw::substitute {
namespace {

ObjectId Id(uint32_t kind, uint32_t serial) { return kind << 24 | serial; }

std::vector<ObjectId> Keys(const IdTable<std::string>& table) {
  std::vector<ObjectId> keys;
  for (const auto& [id, value] : table) keys.push_back(id);
  return keys;
}

TEST(IdTable, IteratesInIdOrderAcrossKindsPagesAndWrappedSerials) {
  IdTable<std::string> table;
  // Two kinds (as frames of both sorts share one table), serials far apart,
  // and one below the first page (serials wrap after 2^24).
  const std::vector<ObjectId> ids = {Id(0x1D, 5), Id(0x11, 700), Id(0x11, 3), Id(0x11, 100000), Id(0x11, 64)};
  for (ObjectId id : ids) table[id] = std::to_string(id);
  EXPECT_EQ(Keys(table),
            (std::vector<ObjectId>{Id(0x11, 3), Id(0x11, 64), Id(0x11, 700), Id(0x11, 100000), Id(0x1D, 5)}));
  EXPECT_EQ(table.size(), 5u);
  for (ObjectId id : ids) ASSERT_NE(table.Find(id), nullptr);
  EXPECT_EQ(*table.Find(Id(0x11, 3)), std::to_string(Id(0x11, 3)));
  // Nothing is found under another kind, between pages or past the ends.
  EXPECT_EQ(table.Find(Id(0x12, 3)), nullptr);
  EXPECT_EQ(table.Find(Id(0x11, 4)), nullptr);
  EXPECT_EQ(table.Find(Id(0x11, 5000)), nullptr);
  EXPECT_EQ(table.Find(Id(0x11, 0xFFFFFF)), nullptr);
  EXPECT_EQ(table.find(Id(0x11, 2)), table.end());
}

TEST(IdTable, ObjectsStayPutAndEraseFreesOnlyTheirSlots) {
  IdTable<std::string> table;
  table[Id(0x12, 1)] = "first";
  const std::string* first = table.Find(Id(0x12, 1));
  for (uint32_t serial = 2; serial < 5000; ++serial) table.Emplace(Id(0x12, serial), "x");
  EXPECT_EQ(table.Find(Id(0x12, 1)), first);  // not moved by later inserts
  EXPECT_FALSE(table.Emplace(Id(0x12, 1), "again").second);
  EXPECT_EQ(*first, "first");

  for (uint32_t serial = 1; serial < 200; ++serial) EXPECT_EQ(table.erase(Id(0x12, serial)), 1u);
  EXPECT_EQ(table.erase(Id(0x12, 1)), 0u);
  EXPECT_EQ(table.size(), 4999u - 199u);
  EXPECT_EQ(table.begin()->first, Id(0x12, 200));
  // A slot of an emptied page can be filled again.
  table[Id(0x12, 7)] = "back";
  EXPECT_EQ(table.begin()->first, Id(0x12, 7));
  EXPECT_THROW((void)table.at(Id(0x12, 8)), std::out_of_range);
}

}  // namespace
}  // namespace gw::substitute
