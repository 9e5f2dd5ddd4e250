// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "foundation/StartupTables.h"

namespace {

template <class T>
std::vector<T> values(const PooledList<T>& list) {
  std::vector<T> out;
  list.forEach([&](const T& v) { out.push_back(v); });
  return out;
}

struct Widget {
  char bytes[40];
};

TEST(ObjectPool, GrowsByBlocksOf256AndReusesTheLastReleasedFirst) {
  auto& pool = ObjectPool<Widget>::shared();  // no other code uses this type: a fresh pool
  ASSERT_EQ(pool.blockCount(), 0u);
  std::vector<Widget*> taken;
  for (int i = 0; i < 256; ++i) taken.push_back(pool.make());
  EXPECT_EQ(pool.blockCount(), 1u);
  EXPECT_EQ(pool.freeCount(), 0u);
  // One block, handed out in address order.
  for (int i = 1; i < 256; ++i)
    EXPECT_GT(reinterpret_cast<char*>(taken[i]), reinterpret_cast<char*>(taken[i - 1]));
  Widget* second = pool.make();  // the 257th
  EXPECT_EQ(pool.blockCount(), 2u);
  EXPECT_EQ(pool.freeCount(), 255u);
  const auto* low = reinterpret_cast<char*>(taken.front());
  const auto* high = reinterpret_cast<char*>(taken.back());
  const auto* at = reinterpret_cast<char*>(second);
  EXPECT_TRUE(at < low || at > high) << "the 257th object lies inside the first block";

  pool.dispose(taken[10]);
  pool.dispose(taken[20]);
  EXPECT_EQ(pool.make(), taken[20]);
  EXPECT_EQ(pool.make(), taken[10]);
  EXPECT_EQ(pool.blockCount(), 2u);
}

TEST(PooledList, AppendRemoveReverse) {
  PooledList<int> list;
  list.reverse();
  EXPECT_EQ(list.count(), 0);
  auto* only = list.append(1);
  list.reverse();
  EXPECT_EQ(values(list), std::vector<int>{1});
  EXPECT_TRUE(list.remove(only));
  EXPECT_EQ(list.head(), nullptr);
  EXPECT_EQ(list.tail(), nullptr);
  EXPECT_EQ(list.count(), 0);

  std::vector<PooledList<int>::Cell*> cells;
  for (int i = 1; i <= 5; ++i) cells.push_back(list.append(i));
  list.reverse();
  EXPECT_EQ(values(list), (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(list.tail()->value, 1);
  list.reverse();
  EXPECT_EQ(values(list), (std::vector<int>{1, 2, 3, 4, 5}));

  PooledList<int> other;
  auto* foreign = other.append(9);
  EXPECT_FALSE(list.remove(foreign));
  EXPECT_EQ(list.count(), 5);

  struct Removal {
    int index;
    std::vector<int> left;
    int tail;
  } removals[] = {{4, {1, 2, 3, 4}, 4}, {0, {2, 3, 4}, 4}, {2, {2, 4}, 4}, {3, {2}, 2}};
  for (const Removal& r : removals) {
    EXPECT_TRUE(list.remove(cells[r.index]));
    EXPECT_EQ(values(list), r.left);
    EXPECT_EQ(list.tail()->value, r.tail);
    EXPECT_EQ(list.count(), int(r.left.size()));
  }
  EXPECT_EQ(list.head(), list.tail());  // one cell left: it is head and tail
}

TEST(PooledList, HoldsRecordsByValue) {
  PooledList<FSRef> list;
  FSRef ref;
  std::memset(&ref, 0xAB, sizeof ref);
  auto* cell = list.append(ref);
  std::memset(&ref, 0, sizeof ref);
  EXPECT_EQ(cell->value.hidden[79], 0xAB);
}

ICMapEntry entryNamed(const char* extension, OSType type) {
  ICMapEntry entry{};
  entry.fileType = type;
  entry.extension[0] = UInt8(std::strlen(extension));
  std::memcpy(entry.extension + 1, extension, entry.extension[0]);
  return entry;
}

TEST(MappingTable, FindOrInsertByExtension) {
  ExtensionMappingTable table(EmptyBoundedString());
  const ICMapEntry jpeg = entryNamed("jpg", FOUR_CHAR_CODE("JPEG"));
  auto* node = table.findOrInsert("jpg", &jpeg);
  EXPECT_EQ(node->entry.fileType, FOUR_CHAR_CODE("JPEG"));
  EXPECT_EQ(table.nodeCount, 1);

  const ICMapEntry other = entryNamed("jpg", FOUR_CHAR_CODE("XXXX"));
  EXPECT_EQ(table.findOrInsert("jpg", &other), node);  // present: entry unchanged, nothing added
  EXPECT_EQ(node->entry.fileType, FOUR_CHAR_CODE("JPEG"));
  EXPECT_EQ(table.nodeCount, 1);

  auto* upper = table.findOrInsert("JPG", &table.defaultEntry);
  EXPECT_NE(upper, node);  // case matters
  EXPECT_EQ(upper->entry.fileType, 0u);
  auto* empty = table.findOrInsert("", &other);
  EXPECT_STREQ(empty->key.c_str(), "");
  EXPECT_EQ(table.find(""), empty);
  EXPECT_EQ(table.find("png"), nullptr);
  EXPECT_EQ(table.nodeCount, 3);
  // Insertion order is kept beside the tree.
  std::vector<std::string> order;
  table.orderList.forEach([&](auto* n) { order.emplace_back(n->key.c_str()); });
  EXPECT_EQ(order, (std::vector<std::string>{"jpg", "JPG", ""}));

  auto& pool = ExtensionMappingTable::NodePool::shared();
  const std::size_t freeBefore = pool.freeCount();
  table.destroy();
  EXPECT_EQ(pool.freeCount(), freeBefore + 3);
  EXPECT_EQ(table.root, nullptr);
  EXPECT_EQ(table.nodeCount, 0);
}

TEST(MappingTable, FileTypesInNumericOrderAndLongKeysCut) {
  FileTypeMappingTable types(0);
  const OSType keys[] = {FOUR_CHAR_CODE("TEXT"), FOUR_CHAR_CODE("APPL"), FOUR_CHAR_CODE("ZZZZ"), FOUR_CHAR_CODE("MooV"), 0};
  for (OSType key : keys) types.findOrInsert(key, nullptr)->entry.fileType = key;
  EXPECT_EQ(types.nodeCount, 5);
  for (OSType key : keys) EXPECT_EQ(types.find(key)->entry.fileType, key);
  // An in-order walk of the tree gives the keys sorted as unsigned numbers.
  std::vector<OSType> sorted;
  auto walk = [&](auto&& self, const FileTypeMappingTable::Node* n) -> void {
    if (!n) return;
    self(self, n->left);
    sorted.push_back(n->key);
    self(self, n->right);
  };
  walk(walk, types.root);
  EXPECT_EQ(sorted, (std::vector<OSType>{0, FOUR_CHAR_CODE("APPL"), FOUR_CHAR_CODE("MooV"), FOUR_CHAR_CODE("TEXT"), FOUR_CHAR_CODE("ZZZZ")}));

  ExtensionMappingTable extensions(EmptyBoundedString());
  const std::string longKey(300, 'e');
  auto* node = extensions.findOrInsert(longKey.c_str(), nullptr);
  EXPECT_EQ(node->key.Length(), 255u);
}

TEST(StartupTables, BuiltEmptyBeforeMain) {
  EXPECT_TRUE(StartupTablesBuilt());
  EXPECT_EQ(ExtensionMappings.root, nullptr);
  EXPECT_EQ(ExtensionMappings.nodeCount, 0);
  EXPECT_STREQ(ExtensionMappings.defaultKey.c_str(), "");
  EXPECT_EQ(FileTypeMappings.defaultKey, 0u);
  const ICMapEntry zero{};
  EXPECT_EQ(std::memcmp(&ExtensionMappings.defaultEntry, &zero, sizeof zero), 0);
  EXPECT_EQ(std::memcmp(&FileTypeMappings.defaultEntry, &zero, sizeof zero), 0);
}

}  // namespace
