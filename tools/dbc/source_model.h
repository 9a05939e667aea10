// The database source as parsed: node definitions with their places in the source, and the
// statements that make the directory, the list tables, the item lists and the selector rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "image.h"

namespace dbc {

inline constexpr uint32_t kNoNode = 0xFFFFFFFFu;

enum class CaseForm : uint8_t { Value, Range, Default, String };

struct SourceCase {
  CaseForm form;
  SourceLoc loc;
  uint32_t value = 0;          // Value: the 32-bit case value
  int32_t low = 0, high = 0;   // Range: signed bounds
  std::string text;            // String
  uint32_t target = kNoNode;   // index into SourceModel::nodes
};

// One written node. A `use` is a node of its own that stands for the node it names.
struct SourceNode {
  SourceLoc loc;
  bool isUse = false;
  std::string name;             // the name given to this node, or the name a use refers to
  mdb::NodeType type = mdb::NodeType::Sequence;
  uint16_t label = 0;           // leaves: resolved key label
  uint32_t param = 0;           // setting, guard value, position, value-name number, tag,
                                // sub-code (Computed) or case value (standalone ValueCase)
  uint32_t mask = 0;            // MaskedSettingSwitch and a misplaced MaskHeader
  std::vector<uint8_t> bytes;   // byte-pool leaves
  std::vector<uint16_t> halves; // int16-pool leaves
  std::vector<int32_t> words;   // Int32Array
  std::vector<uint32_t> children;
  std::vector<SourceCase> cases;
  bool incomplete = false;      // written in a statement that did not parse
};

enum class RootForm : uint8_t { Node, AllTrees };

enum class StatementKind : uint8_t {
  Key,   // a directory entry (its root is a child of node 0)
  Tree,  // a named root that no key names (a child of node 0)
  Node,  // a named node outside every tree (not a child of node 0)
};

struct RootStatement {
  StatementKind kind;
  SourceLoc loc;
  uint32_t key = 0;        // Key: the directory key
  RootForm form = RootForm::Node;
  uint32_t node = kNoNode; // the root (a use node when the key shares another root)
};

struct NameRef {
  std::string name;
  SourceLoc loc;
};

struct ListStatement {
  SourceLoc loc;
  uint16_t key = 0;
  std::vector<NameRef> entries;
};

struct Item {
  uint16_t id = 0;
  uint32_t value = 0;
};

struct CategoryStatement {
  SourceLoc loc;
  uint16_t id = 0;
  std::vector<Item> items;
};

struct SelectorStatement {
  SourceLoc loc;
  mdb::SelectorRecord record{};
  std::array<SourceLoc, mdb::kSelectorRowTables> rowLocs{};
};

struct RowStatement {
  SourceLoc loc;
  uint32_t table = 0;  // 0-3
  std::vector<uint8_t> bytes;
};

struct SourceModel {
  std::vector<SourceNode> nodes;
  std::vector<RootStatement> roots;  // key, tree and node statements in source order
  std::vector<ListStatement> lists;
  std::vector<CategoryStatement> categories;
  std::vector<SelectorStatement> selectors;
  std::vector<RowStatement> rows;
};

}  // namespace dbc
