// A small builder of model database images for tests: nodes, directory, pools, list tables
// and selector rows kept in vectors, and a DbImage that points into them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image.h"
#include "modeldb.h"
#include "query_env.h"

namespace mdbtest {

using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

struct TestImage {
  std::vector<DbNode> nodes;
  std::vector<uint16_t> directoryKeys;
  std::vector<uint32_t> directoryRoots;
  std::vector<uint16_t> listKeys, listCounts;
  std::vector<uint32_t> listStarts;
  std::vector<uint32_t> nodeIndexList;
  std::vector<uint16_t> categoryIds, categoryCounts;
  std::vector<uint32_t> categoryStarts;
  std::vector<uint16_t> itemIds;
  std::vector<uint32_t> itemValues;
  std::vector<int32_t> int32Pool;
  std::vector<uint16_t> int16Pool;
  std::vector<uint8_t> bytePool;
  std::vector<uint8_t> stringPool;
  std::vector<mdb::SelectorRecord> selectors;
  std::vector<uint8_t> rows[mdb::kSelectorRowTables];

  // ---- Nodes ----
  uint32_t Add(DbNode node) {
    nodes.push_back(node);
    return static_cast<uint32_t>(nodes.size() - 1);
  }

  // Leaves: the values go to their pool; the node is returned, not yet added.
  DbNode Int16(uint16_t label, const std::vector<int32_t>& values) {
    const auto offset = static_cast<uint32_t>(int16Pool.size());
    for (int32_t v : values) int16Pool.push_back(static_cast<uint16_t>(v));
    return MakeNode(NodeType::Int16Array, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode Int32(uint16_t label, const std::vector<int32_t>& values) {
    const auto offset = static_cast<uint32_t>(int32Pool.size());
    int32Pool.insert(int32Pool.end(), values.begin(), values.end());
    return MakeNode(NodeType::Int32Array, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode SignedBytes(uint16_t label, const std::vector<int32_t>& values) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    for (int32_t v : values) bytePool.push_back(static_cast<uint8_t>(v));
    return MakeNode(NodeType::SignedBytes, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode Bytes(uint16_t label, const std::vector<uint8_t>& bytes) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    bytePool.insert(bytePool.end(), bytes.begin(), bytes.end());
    return MakeNode(NodeType::Bytes, offset, label, static_cast<uint16_t>(bytes.size()));
  }
  // Stored with its terminating NUL, which the count includes.
  DbNode WideText(uint16_t label, const std::string& text) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    bytePool.insert(bytePool.end(), text.begin(), text.end());
    bytePool.push_back(0);
    return MakeNode(NodeType::WideText, offset, label, static_cast<uint16_t>(text.size() + 1));
  }
  static DbNode Computed(uint16_t label, uint16_t subCode) {
    return MakeNode(NodeType::Computed, 0, label, subCode);
  }

  // Branches: children are copied into consecutive nodes, then the branch node is added.
  uint32_t Sequence(const std::vector<DbNode>& children) {
    const auto first = static_cast<uint32_t>(nodes.size());
    for (const DbNode& c : children) Add(c);
    return Add(MakeNode(NodeType::Sequence, first, 0, static_cast<uint16_t>(children.size())));
  }
  // A SettingSwitch whose ValueCases lead to the given node indexes.
  uint32_t Switch(uint16_t setting, const std::vector<std::pair<int32_t, uint32_t>>& cases) {
    const uint32_t node = Add(MakeNode(NodeType::SettingSwitch,
                                       static_cast<uint32_t>(nodes.size() + 1), setting,
                                       static_cast<uint16_t>(cases.size())));
    for (const auto& [value, target] : cases)
      Add(MakeNode(NodeType::ValueCase, target, static_cast<uint32_t>(value)));
    return node;
  }
  // A switch on `setting` whose cases each answer one leaf.
  uint32_t SwitchLeaves(uint16_t setting, const std::vector<std::pair<int32_t, DbNode>>& cases) {
    std::vector<std::pair<int32_t, uint32_t>> targets;
    for (const auto& [value, leaf] : cases) targets.emplace_back(value, Add(leaf));
    return Switch(setting, targets);
  }

  // ---- Tables ----
  void Key(uint16_t key, uint32_t root) {
    directoryKeys.push_back(key);
    directoryRoots.push_back(root);
  }
  // A key whose tree is the single leaf.
  void KeyLeaf(uint16_t key, DbNode leaf) { Key(key, Add(leaf)); }

  void List(uint16_t key, const std::vector<uint32_t>& partNodes) {
    listKeys.push_back(key);
    listCounts.push_back(static_cast<uint16_t>(partNodes.size()));
    listStarts.push_back(static_cast<uint32_t>(nodeIndexList.size()));
    nodeIndexList.insert(nodeIndexList.end(), partNodes.begin(), partNodes.end());
  }

  void Category(uint16_t id, const std::vector<std::pair<uint16_t, uint32_t>>& items) {
    categoryIds.push_back(id);
    categoryCounts.push_back(static_cast<uint16_t>(items.size()));
    categoryStarts.push_back(static_cast<uint32_t>(itemIds.size()));
    for (const auto& [itemId, value] : items) {
      itemIds.push_back(itemId);
      itemValues.push_back(value);
    }
  }

  // Appends one row to table t (0-3); the row is `fill` repeated, then `head` over its start.
  uint16_t Row(uint32_t t, uint8_t fill, const std::vector<uint8_t>& head = {}) {
    const uint32_t size = mdb::kSelectorRowSize[t];
    const auto row = static_cast<uint16_t>(rows[t].size() / size);
    std::vector<uint8_t> bytes(size, fill);
    for (size_t i = 0; i < head.size() && i < size; ++i) bytes[i] = head[i];
    rows[t].insert(rows[t].end(), bytes.begin(), bytes.end());
    return row;
  }

  mdb::DbImage Build() const {
    mdb::DbImage image{};
    auto count = [](const auto& v) { return static_cast<uint32_t>(v.size()); };
    image.counts[mdb::kNodeCount] = count(nodes);
    image.counts[mdb::kDirectoryCount] = count(directoryKeys);
    image.counts[mdb::kListKeyCount] = count(listKeys);
    image.counts[mdb::kNodeIndexCount] = count(nodeIndexList);
    image.counts[mdb::kCategoryCount] = count(categoryIds);
    image.counts[mdb::kItemCount] = count(itemIds);
    image.counts[mdb::kInt32Count] = count(int32Pool);
    image.counts[mdb::kInt16Count] = count(int16Pool);
    image.counts[mdb::kByteCount] = count(bytePool);
    image.counts[mdb::kStringCount] = count(stringPool);
    image.counts[mdb::kSelectorCount] = count(selectors);
    for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t)
      image.counts[mdb::kRowTable1Count + t] = count(rows[t]) / mdb::kSelectorRowSize[t];
    image.nodes = nodes.data();
    image.directoryKeys = directoryKeys.data();
    image.directoryRoots = directoryRoots.data();
    image.listKeys = listKeys.data();
    image.listCounts = listCounts.data();
    image.listStarts = listStarts.data();
    image.nodeIndexList = nodeIndexList.data();
    image.categoryIds = categoryIds.data();
    image.categoryCounts = categoryCounts.data();
    image.categoryStarts = categoryStarts.data();
    image.itemIds = itemIds.data();
    image.itemValues = itemValues.data();
    image.int32Pool = int32Pool.data();
    image.int16Pool = int16Pool.data();
    image.bytePool = bytePool.data();
    image.stringPool = stringPool.data();
    image.selectors = selectors.data();
    for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) image.rowTables[t] = rows[t].data();
    return image;
  }
};

// A context over a settings array the test owns (empty: a null settings pointer).
inline QueryContext ContextWith(const std::vector<int32_t>& settings, void* printer = nullptr) {
  QueryContext context{};
  context.hPrinter = printer;
  context.settingCount = static_cast<uint32_t>(settings.size());
  context.settings = settings.empty() ? nullptr : settings.data();
  return context;
}

}  // namespace mdbtest
