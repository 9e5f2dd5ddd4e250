// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MappingTable: Internet Config mapping entries in an unbalanced binary search tree keyed by
// extension or by file type, with the nodes also listed in insertion order. Nodes come from
// their own pool; nothing is removed until the table is destroyed.
#include <cstring>

#include "foundation/ObjectPool.h"
#include "foundation/PooledList.h"
#include "platform/carbon/InternetConfig.h"
#include "support/StringUtilities.h"

// Key kinds: how a key is stored, compared (negative, 0, positive) and given.
struct ExtensionKey {
  using Stored = BoundedString;
  using Argument = const char*;
  static void set(Stored& stored, Argument key) { stored.Assign(key); }
  static int compare(Argument key, const Stored& stored) {
    return std::strcmp(key ? key : "", stored.c_str());  // byte-wise: case matters
  }
};
struct FileTypeKey {
  using Stored = OSType;
  using Argument = OSType;
  static void set(Stored& stored, Argument key) { stored = key; }
  static int compare(Argument key, const Stored& stored) {
    return key < stored ? -1 : key > stored ? 1 : 0;
  }
};

template <class KeyKind>
class MappingTable {
 public:
  using Key = typename KeyKind::Stored;
  struct Node {
    Key key;
    ICMapEntry entry;
    Node* left;
    Node* right;
  };
  using NodePool = ObjectPool<Node>;

  explicit MappingTable(const Key& defaultKey) : defaultKey(defaultKey) {
    std::memset(&defaultEntry, 0, sizeof defaultEntry);
  }
  ~MappingTable() { destroy(); }
  MappingTable(const MappingTable&) = delete;
  MappingTable& operator=(const MappingTable&) = delete;

  // The node of key; a new one holding a copy of *initial (zeros when null) when absent. An
  // existing node keeps its entry.
  Node* findOrInsert(typename KeyKind::Argument key, const ICMapEntry* initial) {
    Node** link = &root;
    while (Node* node = *link) {
      const int order = KeyKind::compare(key, node->key);
      if (order == 0) return node;
      link = order < 0 ? &node->left : &node->right;
    }
    Node* node = NodePool::shared().make();
    KeyKind::set(node->key, key);
    if (initial) std::memcpy(&node->entry, initial, sizeof node->entry);
    else std::memset(&node->entry, 0, sizeof node->entry);
    node->left = node->right = nullptr;
    try {
      orderList.append(node);
    } catch (...) {
      NodePool::shared().dispose(node);
      throw;
    }
    *link = node;
    ++nodeCount;
    return node;
  }

  // The node of key, or null.
  const Node* find(typename KeyKind::Argument key) const {
    for (const Node* node = root; node;) {
      const int order = KeyKind::compare(key, node->key);
      if (order == 0) return node;
      node = order < 0 ? node->left : node->right;
    }
    return nullptr;
  }

  // Returns every node to its pool and empties the table.
  void destroy() {
    orderList.forEach([](Node* node) { NodePool::shared().dispose(node); });
    orderList.clear();
    root = nullptr;
    nodeCount = 0;
  }

  Node* root = nullptr;
  ICMapEntry defaultEntry;
  Key defaultKey;  // consulted by no operation
  PooledList<Node*> orderList;
  SInt32 nodeCount = 0;
};

using ExtensionMappingTable = MappingTable<ExtensionKey>;
using FileTypeMappingTable = MappingTable<FileTypeKey>;
