#include "image_check.h"

#include <algorithm>
#include <set>

#include "evaluator.h"

namespace dbc {

namespace {

using mdb::DbNode;
using mdb::NodeType;

constexpr size_t kMaxProblems = 200;
constexpr uint32_t kPrinterDataNameKey = 8;

uint32_t Type(DbNode n) { return mdb::NodeTypeCode(n); }
bool Is(DbNode n, NodeType t) { return Type(n) == static_cast<uint32_t>(t); }

bool IsLeafType(uint32_t t) {
  return (t >= 1 && t <= 7) || t == static_cast<uint32_t>(NodeType::Computed);
}

bool InRun(uint32_t offset, uint32_t count, uint32_t poolCount) {
  return offset <= poolCount && count <= poolCount - offset;
}

struct ImageChecker {
  const mdb::DbImage& image;
  std::vector<std::string> problems;
  uint32_t nodeCount = 0;
  std::set<uint32_t> keys;
  std::vector<bool> descriptor;

  void Problem(std::string text) {
    if (problems.size() < kMaxProblems) problems.push_back(std::move(text));
    if (problems.size() == kMaxProblems) problems.push_back("(more problems not shown)");
  }
  void NodeProblem(uint32_t index, const std::string& text) {
    Problem("node " + std::to_string(index) + ": " + text);
  }

  bool Node(uint32_t index, DbNode* node) const {
    if (index >= nodeCount) return false;
    *node = image.nodes[index];
    return true;
  }

  void CheckTables() {
    struct Table {
      const void* data;
      uint32_t slot;
      const char* name;
    };
    const Table tables[] = {
        {image.nodes, mdb::kNodeCount, "node table"},
        {image.directoryKeys, mdb::kDirectoryCount, "directory key array"},
        {image.directoryRoots, mdb::kDirectoryCount, "directory root array"},
        {image.listKeys, mdb::kListKeyCount, "list key array"},
        {image.listCounts, mdb::kListKeyCount, "list count array"},
        {image.listStarts, mdb::kListKeyCount, "list start array"},
        {image.nodeIndexList, mdb::kNodeIndexCount, "node-index list"},
        {image.categoryIds, mdb::kCategoryCount, "category id array"},
        {image.categoryCounts, mdb::kCategoryCount, "category count array"},
        {image.categoryStarts, mdb::kCategoryCount, "category start array"},
        {image.itemIds, mdb::kItemCount, "item id array"},
        {image.itemValues, mdb::kItemCount, "item value array"},
        {image.int32Pool, mdb::kInt32Count, "int32 pool"},
        {image.int16Pool, mdb::kInt16Count, "int16 pool"},
        {image.bytePool, mdb::kByteCount, "byte pool"},
        {image.stringPool, mdb::kStringCount, "string pool"},
        {image.selectors, mdb::kSelectorCount, "selector records"},
        {image.rowTables[0], mdb::kRowTable1Count, "row table 1"},
        {image.rowTables[1], mdb::kRowTable2Count, "row table 2"},
        {image.rowTables[2], mdb::kRowTable3Count, "row table 3"},
        {image.rowTables[3], mdb::kRowTable4Count, "row table 4"},
    };
    for (const Table& t : tables) {
      if (t.data == nullptr && image.counts[t.slot] != 0) {
        Problem(std::string("the ") + t.name + " is absent but its count is " +
                std::to_string(image.counts[t.slot]));
      }
    }
    if (image.counts[mdb::kReservedCount] != 0) Problem("the reserved count is not 0");
    nodeCount = image.nodes == nullptr ? 0 : image.counts[mdb::kNodeCount];
  }

  uint32_t Count(const void* table, uint32_t slot) const {
    return table == nullptr ? 0 : image.counts[slot];
  }

  void CheckDirectory() {
    const uint32_t n = std::min(Count(image.directoryKeys, mdb::kDirectoryCount),
                                Count(image.directoryRoots, mdb::kDirectoryCount));
    for (uint32_t i = 0; i < n; ++i) {
      keys.insert(image.directoryKeys[i]);
      if (image.directoryRoots[i] >= nodeCount) {
        Problem("directory entry " + std::to_string(i) + " (key " + std::to_string(image.directoryKeys[i]) +
                ") has root " + std::to_string(image.directoryRoots[i]) + ", beyond the node table");
      }
    }
  }

  void CheckCases(uint32_t index, DbNode sw, uint32_t first, uint32_t count) {
    const bool stringSwitch = Is(sw, NodeType::StringSwitch);
    if (count == 0) return;
    if (first >= nodeCount || count > nodeCount - first) {
      NodeProblem(index, "its cases run beyond the node table");
      return;
    }
    for (uint32_t c = first; c < first + count; ++c) {
      const DbNode cs = image.nodes[c];
      const bool allowed = Is(cs, NodeType::DefaultCase) ||
                           (stringSwitch ? Is(cs, NodeType::StringCase)
                                         : Is(cs, NodeType::ValueCase) || Is(cs, NodeType::RangeCase));
      if (!allowed) {
        NodeProblem(c, "type " + std::to_string(Type(cs)) + " is not a case kind its switch (node " +
                           std::to_string(index) + ") allows");
      }
    }
  }

  void CheckNode(uint32_t index) {
    const DbNode node = image.nodes[index];
    const uint32_t t = Type(node);
    const uint32_t f = mdb::NodeIndex(node);
    const uint32_t n = mdb::NodeCount(node);
    if (t == 0 || t > static_cast<uint32_t>(NodeType::RangeCase)) {
      NodeProblem(index, "invalid node type " + std::to_string(t));
      return;
    }
    switch (static_cast<NodeType>(t)) {
      case NodeType::Bytes:
        if (descriptor[index]) {
          if (!InRun(f, n, Count(image.stringPool, mdb::kStringCount))) {
            NodeProblem(index, "its case string lies outside the string pool");
          }
          if (mdb::NodeParam(node) != 0) NodeProblem(index, "a case string descriptor carries label 0");
          return;
        }
        [[fallthrough]];
      case NodeType::SignedBytes:
      case NodeType::UnsignedBytes:
      case NodeType::WideText:
        if (!InRun(f, n, Count(image.bytePool, mdb::kByteCount))) NodeProblem(index, "its run lies outside the byte pool");
        break;
      case NodeType::Int16Array:
      case NodeType::UInt16Array:
        if (!InRun(f, n, Count(image.int16Pool, mdb::kInt16Count))) NodeProblem(index, "its run lies outside the int16 pool");
        break;
      case NodeType::Int32Array:
        if (!InRun(f, n, Count(image.int32Pool, mdb::kInt32Count))) NodeProblem(index, "its run lies outside the int32 pool");
        break;
      case NodeType::Sequence:
      case NodeType::SettingFilter:
      case NodeType::SettingGuard:
        if (n != 0 && (f >= nodeCount || n > nodeCount - f)) NodeProblem(index, "its children run beyond the node table");
        break;
      case NodeType::SettingSwitch:
      case NodeType::StringSwitch:
      case NodeType::PrinterDataSwitch:
      case NodeType::LocaleSwitch:
        CheckCases(index, node, f, n);
        break;
      case NodeType::MaskedSettingSwitch: {
        DbNode header{};
        if (!Node(f, &header) || !Is(header, NodeType::MaskHeader)) {
          NodeProblem(index, "its mask index does not name a MaskHeader");
          break;
        }
        CheckCases(index, node, mdb::NodeIndex(header), n);
        break;
      }
      case NodeType::ValueCase:
      case NodeType::DefaultCase:
        if (f >= nodeCount) NodeProblem(index, "its target lies beyond the node table");
        break;
      case NodeType::RangeCase: {
        if (f >= nodeCount) NodeProblem(index, "its target lies beyond the node table");
        const uint32_t q = node.value;
        if (q >= Count(image.int32Pool, mdb::kInt32Count) || q + 1 >= Count(image.int32Pool, mdb::kInt32Count)) {
          NodeProblem(index, "its bounds lie outside the int32 pool");
        }
        break;
      }
      case NodeType::StringCase: {
        if (f >= nodeCount) NodeProblem(index, "its target lies beyond the node table");
        DbNode d{};
        if (!Node(node.value, &d) || !Is(d, NodeType::Bytes)) NodeProblem(index, "its string is not described by a Bytes node");
        break;
      }
      case NodeType::Computed:
      case NodeType::MaskHeader:
        break;
    }
  }

  // Evaluation edges of a node evaluated directly (guards, value and default cases act as
  // sequences); false when the node cannot be evaluated at all.
  bool Evaluated(DbNode node, std::vector<uint32_t>* next, uint32_t nameKeyRoot) const {
    next->clear();
    const uint32_t t = Type(node);
    const uint32_t f = mdb::NodeIndex(node);
    const uint32_t n = mdb::NodeCount(node);
    if (IsLeafType(t)) return true;
    switch (static_cast<NodeType>(t)) {
      case NodeType::Sequence:
      case NodeType::SettingFilter:
      case NodeType::SettingGuard:
      case NodeType::ValueCase:
      case NodeType::DefaultCase:
        for (uint32_t i = 0; i < n && f + i < nodeCount; ++i) next->push_back(f + i);
        return true;
      case NodeType::SettingSwitch:
      case NodeType::StringSwitch:
      case NodeType::PrinterDataSwitch:
      case NodeType::LocaleSwitch:
      case NodeType::MaskedSettingSwitch: {
        uint32_t first = f;
        if (Is(node, NodeType::MaskedSettingSwitch)) {
          DbNode header{};
          if (!Node(f, &header) || !Is(header, NodeType::MaskHeader)) return true;
          first = mdb::NodeIndex(header);
        }
        for (uint32_t i = 0; i < n && first + i < nodeCount; ++i) {
          const uint32_t target = mdb::NodeIndex(image.nodes[first + i]);
          if (target < nodeCount) next->push_back(target);
        }
        if (Is(node, NodeType::PrinterDataSwitch) && nameKeyRoot < nodeCount) next->push_back(nameKeyRoot);
        return true;
      }
      default:
        return false;
    }
  }

  void CheckGraph() {
    uint32_t nameKeyRoot = 0xFFFFFFFFu;
    std::vector<uint32_t> starts;
    const uint32_t entries = std::min(Count(image.directoryKeys, mdb::kDirectoryCount),
                                      Count(image.directoryRoots, mdb::kDirectoryCount));
    for (uint32_t i = 0; i < entries; ++i) {
      if (image.directoryRoots[i] >= nodeCount) continue;
      starts.push_back(image.directoryRoots[i]);
      if (image.directoryKeys[i] == kPrinterDataNameKey && nameKeyRoot == 0xFFFFFFFFu) {
        nameKeyRoot = image.directoryRoots[i];
      }
    }
    const uint32_t listEntries = Count(image.nodeIndexList, mdb::kNodeIndexCount);
    for (uint32_t i = 0; i < listEntries; ++i) {
      if (image.nodeIndexList[i] < nodeCount) starts.push_back(image.nodeIndexList[i]);
    }
    enum : uint8_t { kWhite, kGray, kBlack };
    std::vector<uint8_t> color(nodeCount, kWhite);
    std::vector<uint32_t> depth(nodeCount, 0);
    struct Frame {
      uint32_t node;
      std::vector<uint32_t> next;
      size_t at;
    };
    bool cyclic = false;
    for (uint32_t start : starts) {
      if (color[start] != kWhite) continue;
      std::vector<Frame> stack;
      auto enter = [&](uint32_t index) {
        color[index] = kGray;
        Frame frame{index, {}, 0};
        const DbNode node = image.nodes[index];
        if (!Evaluated(node, &frame.next, nameKeyRoot)) {
          NodeProblem(index, "type " + std::to_string(Type(node)) + " is reached where a node is evaluated");
        }
        if (IsLeafType(Type(node)) && !descriptor[index] && keys.count(mdb::NodeParam(node)) == 0) {
          NodeProblem(index, "leaf label " + std::to_string(mdb::NodeParam(node)) + " is not a key of the directory");
        }
        stack.push_back(std::move(frame));
      };
      enter(start);
      while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.at < top.next.size()) {
          const uint32_t to = top.next[top.at++];
          if (color[to] == kWhite) {
            enter(to);
          } else if (color[to] == kGray) {
            if (!cyclic) NodeProblem(top.node, "a cycle leads back to node " + std::to_string(to));
            cyclic = true;
          }
          continue;
        }
        uint32_t longest = 0;
        for (uint32_t to : top.next) longest = std::max(longest, depth[to]);
        depth[top.node] = longest + 1;
        color[top.node] = kBlack;
        stack.pop_back();
      }
    }
    if (cyclic) return;
    for (uint32_t start : starts) {
      if (depth[start] > mdb::kMaxEvalDepth) {
        NodeProblem(start, "its longest evaluation path has " + std::to_string(depth[start]) +
                               " nodes; the evaluator allows " + std::to_string(mdb::kMaxEvalDepth));
      }
    }
  }

  void CheckLists() {
    const uint32_t lists = std::min({Count(image.listKeys, mdb::kListKeyCount), Count(image.listCounts, mdb::kListKeyCount),
                                     Count(image.listStarts, mdb::kListKeyCount)});
    const uint32_t indexCount = Count(image.nodeIndexList, mdb::kNodeIndexCount);
    for (uint32_t i = 0; i < lists; ++i) {
      if (!InRun(image.listStarts[i], image.listCounts[i], indexCount)) {
        Problem("list entry " + std::to_string(i) + " runs beyond the node-index list");
      }
    }
    for (uint32_t i = 0; i < indexCount; ++i) {
      if (image.nodeIndexList[i] >= nodeCount) {
        Problem("node-index list entry " + std::to_string(i) + " names node " +
                std::to_string(image.nodeIndexList[i]) + ", which does not exist");
      } else if (Is(image.nodes[image.nodeIndexList[i]], NodeType::MaskHeader)) {
        Problem("node-index list entry " + std::to_string(i) + " names a MaskHeader");
      }
    }
    const uint32_t categories = std::min({Count(image.categoryIds, mdb::kCategoryCount), Count(image.categoryCounts, mdb::kCategoryCount),
                                          Count(image.categoryStarts, mdb::kCategoryCount)});
    const uint32_t items = std::min(Count(image.itemIds, mdb::kItemCount), Count(image.itemValues, mdb::kItemCount));
    for (uint32_t i = 0; i < categories; ++i) {
      if (!InRun(image.categoryStarts[i], image.categoryCounts[i], items)) {
        Problem("category " + std::to_string(image.categoryIds[i]) + " runs beyond the item pool");
      }
    }
    const uint32_t selectors = Count(image.selectors, mdb::kSelectorCount);
    for (uint32_t i = 0; i < selectors; ++i) {
      const mdb::SelectorRecord& s = image.selectors[i];
      const uint16_t rows[mdb::kSelectorRowTables] = {s.row1, s.row2, s.row3, s.row4};
      for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
        if (rows[t] >= Count(image.rowTables[t], mdb::kRowTable1Count + t)) {
          Problem("selector " + std::to_string(i) + " names row " + std::to_string(rows[t]) +
                  " of table " + std::to_string(t + 1) + ", which does not exist");
        }
      }
    }
  }

  // A MaskHeader is reached only through its switch: never as a child, case target or root.
  void CheckMaskHeaders() {
    for (uint32_t i = 0; i < nodeCount; ++i) {
      const DbNode node = image.nodes[i];
      const uint32_t t = Type(node);
      const uint32_t f = mdb::NodeIndex(node);
      const uint32_t n = mdb::NodeCount(node);
      const bool block = t == static_cast<uint32_t>(NodeType::Sequence) ||
                         t == static_cast<uint32_t>(NodeType::SettingFilter) ||
                         t == static_cast<uint32_t>(NodeType::SettingGuard);
      const bool caseNode = t == static_cast<uint32_t>(NodeType::ValueCase) || t == static_cast<uint32_t>(NodeType::RangeCase) ||
                            t == static_cast<uint32_t>(NodeType::StringCase) || t == static_cast<uint32_t>(NodeType::DefaultCase);
      for (uint32_t k = 0; block && k < n && f + k < nodeCount; ++k) {
        if (Is(image.nodes[f + k], NodeType::MaskHeader)) NodeProblem(i, "a MaskHeader stands among its children");
      }
      if (caseNode && f < nodeCount && Is(image.nodes[f], NodeType::MaskHeader)) {
        NodeProblem(i, "its target is a MaskHeader");
      }
    }
  }

  void Run() {
    CheckTables();
    CheckDirectory();
    descriptor.assign(nodeCount, false);
    for (uint32_t i = 0; i < nodeCount; ++i) {
      const DbNode node = image.nodes[i];
      if (Is(node, NodeType::StringCase) && node.value < nodeCount) descriptor[node.value] = true;
    }
    for (uint32_t i = 0; i < nodeCount; ++i) CheckNode(i);
    CheckMaskHeaders();
    CheckGraph();
    CheckLists();
  }
};

}  // namespace

std::vector<std::string> CheckImage(const mdb::DbImage& image) {
  ImageChecker checker{image, {}, 0, {}, {}};
  checker.Run();
  return std::move(checker.problems);
}

}  // namespace dbc
