#include "verifier.h"

#include <algorithm>
#include <map>
#include <string>

#include "evaluator.h"

namespace dbc {

namespace {

using mdb::NodeType;

constexpr uint32_t kPrinterDataNameKey = 8;

bool IsLeaf(NodeType t) {
  return (t >= NodeType::Bytes && t <= NodeType::WideText) || t == NodeType::Computed;
}

bool IsSwitch(NodeType t) {
  return t == NodeType::SettingSwitch || t == NodeType::StringSwitch ||
         t == NodeType::PrinterDataSwitch || t == NodeType::LocaleSwitch ||
         t == NodeType::MaskedSettingSwitch;
}

const char* TypeName(NodeType t) {
  switch (t) {
    case NodeType::Bytes: return "Bytes";
    case NodeType::Int32Array: return "Int32Array";
    case NodeType::SignedBytes: return "SignedBytes";
    case NodeType::Int16Array: return "Int16Array";
    case NodeType::UnsignedBytes: return "UnsignedBytes";
    case NodeType::UInt16Array: return "UInt16Array";
    case NodeType::WideText: return "WideText";
    case NodeType::Sequence: return "Sequence";
    case NodeType::SettingFilter: return "SettingFilter";
    case NodeType::SettingGuard: return "SettingGuard";
    case NodeType::ValueCase: return "ValueCase";
    case NodeType::DefaultCase: return "DefaultCase";
    case NodeType::Computed: return "Computed";
    case NodeType::MaskHeader: return "MaskHeader";
    case NodeType::SettingSwitch: return "SettingSwitch";
    case NodeType::StringSwitch: return "StringSwitch";
    case NodeType::PrinterDataSwitch: return "PrinterDataSwitch";
    case NodeType::LocaleSwitch: return "LocaleSwitch";
    case NodeType::MaskedSettingSwitch: return "MaskedSettingSwitch";
    default: return "node";
  }
}

struct Edge {
  uint32_t to;
  SourceLoc at;          // where the reference is written
  bool nameKey = false;  // a printer-data switch evaluating key 8
};

struct Checker {
  const SourceModel& model;
  Diagnostics* diags;
  std::map<std::string, uint32_t> names;
  std::vector<uint32_t> target;
  std::vector<std::vector<Edge>> edges;
  std::vector<uint32_t> depth;  // nodes on the longest evaluation path from a node
  std::vector<uint32_t> postOrder;
  std::map<uint32_t, SourceLoc> directory;  // key -> first statement
  uint32_t nameKeyRoot = kNoNode;           // root of key 8, for printer-data switches
  bool ok = true;
  bool cycleFound = false;

  void Error(SourceLoc loc, std::string message) {
    AddError(diags, loc, std::move(message));
    ok = false;
  }

  void CollectNames() {
    for (uint32_t i = 0; i < model.nodes.size(); ++i) {
      const SourceNode& node = model.nodes[i];
      if (node.isUse || node.name.empty()) continue;
      auto [it, inserted] = names.emplace(node.name, i);
      if (!inserted) {
        Error(node.loc, "the name '" + node.name + "' is already given at " +
                            FormatLoc(*diags, model.nodes[it->second].loc));
      }
    }
  }

  void Resolve() {
    target.resize(model.nodes.size());
    for (uint32_t i = 0; i < model.nodes.size(); ++i) {
      const SourceNode& node = model.nodes[i];
      target[i] = i;
      if (!node.isUse) continue;
      auto it = names.find(node.name);
      if (it == names.end()) {
        Error(node.loc, "unknown name '" + node.name + "'");
        target[i] = kNoNode;
      } else {
        target[i] = it->second;
      }
    }
  }

  void CollectDirectory() {
    for (const RootStatement& st : model.roots) {
      if (st.kind != StatementKind::Key) continue;
      auto [it, inserted] = directory.emplace(st.key, st.loc);
      if (!inserted) {
        AddWarning(diags, st.loc, "key " + Hex(st.key) + " is already in the directory at " +
                                      FormatLoc(*diags, it->second) + "; the first entry wins");
        continue;
      }
      if (st.key == kPrinterDataNameKey && st.form == RootForm::Node) {
        nameKeyRoot = st.node < target.size() ? target[st.node] : kNoNode;
      }
    }
  }

  void CheckNode(uint32_t index) {
    const SourceNode& node = model.nodes[index];
    if (node.isUse || node.incomplete) return;
    if (IsLeaf(node.type) && directory.count(node.label) == 0) {
      Error(node.loc, "leaf label " + Hex(node.label) + " is not a key of the directory");
    }
    if (node.type == NodeType::MaskHeader) {
      Error(node.loc, "a MaskHeader stands only under its MaskedSettingSwitch "
                      "(write 'MaskedSettingSwitch <setting> mask <mask> { ... }')");
    }
    if (node.type == NodeType::ValueCase && node.children.size() != (node.param & 0xFFFFu)) {
      Error(node.loc, "a ValueCase evaluated as a sequence has as many children as the low 16 "
                      "bits of its value (" + std::to_string(node.param & 0xFFFFu) + "); " +
                      std::to_string(node.children.size()) + " are written");
    }
    if (!IsSwitch(node.type)) return;
    const bool stringSwitch = node.type == NodeType::StringSwitch;
    for (const SourceCase& c : node.cases) {
      if (stringSwitch && (c.form == CaseForm::Value || c.form == CaseForm::Range)) {
        Error(c.loc, std::string(c.form == CaseForm::Value ? "a value" : "a range") +
                         " case is not allowed in a StringSwitch (only text cases and default)");
      }
      if (!stringSwitch && c.form == CaseForm::String) {
        Error(c.loc, std::string("a text case is not allowed in a ") + TypeName(node.type) +
                         " (only value, range and default cases)");
      }
      if (c.form == CaseForm::Range && c.low > c.high) {
        AddWarning(diags, c.loc, "range " + std::to_string(c.low) + ".." +
                                     std::to_string(c.high) + " matches nothing");
      }
    }
  }

  // Edges of the evaluation graph: children, case targets and, for a printer-data switch,
  // the nested evaluation of key 8.
  void BuildEdges() {
    edges.resize(model.nodes.size());
    auto add = [&](uint32_t from, uint32_t ref) {
      if (ref >= target.size() || target[ref] == kNoNode) return;
      edges[from].push_back(Edge{target[ref], model.nodes[ref].loc, false});
    };
    for (uint32_t i = 0; i < model.nodes.size(); ++i) {
      const SourceNode& node = model.nodes[i];
      if (node.isUse) continue;
      for (uint32_t child : node.children) add(i, child);
      for (const SourceCase& c : node.cases) add(i, c.target);
      if (node.type == NodeType::PrinterDataSwitch && nameKeyRoot != kNoNode) {
        edges[i].push_back(Edge{nameKeyRoot, node.loc, true});
      }
    }
  }

  std::string NameOf(uint32_t index) const {
    const SourceNode& node = model.nodes[index];
    if (!node.name.empty()) return "'" + node.name + "'";
    return std::string("the ") + TypeName(node.type) + " at " + FormatLoc(*diags, node.loc);
  }

  // Depth-first with an explicit stack: a source may chain uses far deeper than the
  // machine stack allows.
  void Walk() {
    enum : uint8_t { kWhite, kGray, kBlack };
    std::vector<uint8_t> color(model.nodes.size(), kWhite);
    depth.assign(model.nodes.size(), 0);
    struct Frame {
      uint32_t node;
      size_t next;
    };
    std::vector<Frame> stack;
    for (uint32_t start = 0; start < model.nodes.size(); ++start) {
      if (model.nodes[start].isUse || color[start] != kWhite) continue;
      stack.push_back(Frame{start, 0});
      color[start] = kGray;
      while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < edges[top.node].size()) {
          const Edge edge = edges[top.node][top.next++];
          if (color[edge.to] == kWhite) {
            color[edge.to] = kGray;
            stack.push_back(Frame{edge.to, 0});
          } else if (color[edge.to] == kGray) {
            std::string path;
            size_t from = stack.size();
            while (from > 0 && stack[from - 1].node != edge.to) --from;
            for (size_t k = from == 0 ? 0 : from - 1; k < stack.size(); ++k) {
              const Edge& taken = edges[stack[k].node][stack[k].next - 1];
              path += NameOf(stack[k].node) + (taken.nameKey ? " -> (key 8) -> " : " -> ");
            }
            path += NameOf(edge.to);
            Error(edge.at, "cycle: " + path);
            cycleFound = true;
          }
          continue;
        }
        uint32_t longest = 0;
        for (const Edge& edge : edges[top.node]) longest = std::max(longest, depth[edge.to]);
        depth[top.node] = longest + 1;
        color[top.node] = kBlack;
        postOrder.push_back(top.node);
        stack.pop_back();
      }
    }
  }

  void CheckDepth(uint32_t node, SourceLoc loc, const std::string& what, uint32_t extra) {
    if (node == kNoNode) return;
    const uint32_t nodes = depth[node] + extra;
    if (nodes > mdb::kMaxEvalDepth) {
      Error(loc, "the longest evaluation path of " + what + " has " + std::to_string(nodes) +
                     " nodes; the evaluator allows " + std::to_string(mdb::kMaxEvalDepth));
    }
  }

  void CheckDepths() {
    uint32_t deepestRoot = 0;
    bool allTrees = false;
    SourceLoc allTreesLoc{};
    for (const RootStatement& st : model.roots) {
      if (st.form == RootForm::AllTrees) {
        if (!allTrees) allTreesLoc = st.loc;
        allTrees = true;
        continue;
      }
      const uint32_t root = target[st.node];
      if (root == kNoNode || st.kind == StatementKind::Node) continue;
      deepestRoot = std::max(deepestRoot, depth[root]);
      CheckDepth(root, st.loc, st.kind == StatementKind::Key ? "key " + Hex(st.key) : "this tree", 0);
    }
    if (allTrees && deepestRoot + 1 > mdb::kMaxEvalDepth) {
      Error(allTreesLoc, "the longest evaluation path from AllTrees has " +
                             std::to_string(deepestRoot + 1) + " nodes; the evaluator allows " +
                             std::to_string(mdb::kMaxEvalDepth));
    }
    for (const ListStatement& list : model.lists) {
      for (const NameRef& ref : list.entries) {
        auto it = names.find(ref.name);
        if (it != names.end()) CheckDepth(it->second, ref.loc, "'" + ref.name + "'", 0);
      }
    }
  }

  void CheckLists() {
    std::map<uint32_t, SourceLoc> seen;
    for (const ListStatement& list : model.lists) {
      auto [it, inserted] = seen.emplace(list.key, list.loc);
      if (!inserted) {
        AddWarning(diags, list.loc, "list key " + Hex(list.key) + " is already given at " +
                                        FormatLoc(*diags, it->second) + "; the first wins");
      }
      for (const NameRef& ref : list.entries) {
        if (names.count(ref.name) == 0) {
          Error(ref.loc, "list " + Hex(list.key) + " names '" + ref.name +
                             "', which is no node of the source");
        }
      }
    }
    std::map<uint32_t, SourceLoc> ids;
    for (const CategoryStatement& category : model.categories) {
      auto [it, inserted] = ids.emplace(category.id, category.loc);
      if (!inserted) {
        AddWarning(diags, category.loc, "category " + std::to_string(category.id) +
                                            " is already given at " +
                                            FormatLoc(*diags, it->second) + "; the first wins");
      }
    }
  }

  void CheckSelectors() {
    uint32_t rows[mdb::kSelectorRowTables] = {};
    for (const RowStatement& row : model.rows) ++rows[row.table];
    for (const SelectorStatement& st : model.selectors) {
      const uint16_t index[mdb::kSelectorRowTables] = {st.record.row1, st.record.row2,
                                                       st.record.row3, st.record.row4};
      for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
        if (index[t] >= rows[t]) {
          Error(st.rowLocs[t], "row " + std::to_string(index[t]) + " of table " +
                                   std::to_string(t + 1) + " does not exist (row count " +
                                   std::to_string(rows[t]) + ")");
        }
      }
    }
  }
};

}  // namespace

uint32_t FindName(const SourceModel& model, const std::string& name) {
  for (uint32_t i = 0; i < model.nodes.size(); ++i) {
    if (!model.nodes[i].isUse && model.nodes[i].name == name) return i;
  }
  return kNoNode;
}

bool VerifySource(const SourceModel& model, Diagnostics* diags, Resolution* resolution) {
  Checker checker{model, diags, {}, {}, {}, {}, {}, {}, kNoNode, true, false};
  checker.CollectNames();
  checker.Resolve();
  checker.CollectDirectory();
  for (uint32_t i = 0; i < model.nodes.size(); ++i) checker.CheckNode(i);
  checker.BuildEdges();
  checker.Walk();
  if (!checker.cycleFound) checker.CheckDepths();
  checker.CheckLists();
  checker.CheckSelectors();
  resolution->target = std::move(checker.target);
  resolution->postOrder = std::move(checker.postOrder);
  return checker.ok;
}

}  // namespace dbc
