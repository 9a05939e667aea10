#include "decompiler.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "image_check.h"
#include "owned_image.h"

namespace dbc {

namespace {

using mdb::DbNode;
using mdb::NodeType;

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kLocaleTag = 0x500F;
constexpr uint32_t kMaxPrintDepth = 400;  // only a malformed image nests deeper
constexpr size_t kBytesPerLine = 16;
constexpr size_t kValuesPerLine = 12;
constexpr size_t kMinTextRun = 4;  // shorter printable runs read better as hex

uint32_t Type(DbNode n) { return mdb::NodeTypeCode(n); }
bool Is(DbNode n, NodeType t) { return Type(n) == static_cast<uint32_t>(t); }

const char* const kTypeNames[] = {
    "?",             "Bytes",         "Int32Array",   "SignedBytes",       "Int16Array",
    "UnsignedBytes", "UInt16Array",   "WideText",     "Sequence",          "SettingFilter",
    "SettingGuard",  "SettingSwitch", "StringSwitch", "PrinterDataSwitch", "LocaleSwitch",
    "ValueCase",     "StringCase",    "DefaultCase",  "Computed",          "MaskedSettingSwitch",
    "MaskHeader",    "RangeCase"};

const char* const kNamePrefixes[] = {
    "node",   "bytes", "ints32", "sbytes", "ints16", "ubytes", "uints16", "text",
    "seq",    "filter", "guard", "switch", "strswitch", "pdswitch", "locswitch",
    "vcase",  "scase", "dcase",  "computed", "mswitch", "mask", "rcase"};

std::string TypeName(uint32_t t) { return t < std::size(kTypeNames) ? kTypeNames[t] : "?"; }

std::string HexByte(uint8_t b) {
  char buffer[4];
  std::snprintf(buffer, sizeof buffer, "%02X", b);
  return buffer;
}

std::string HexValue(uint32_t v, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, v);
  return buffer;
}

bool IsTextByte(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\n' || b == '\r' || b == '\t'; }

std::string Quote(const uint8_t* bytes, size_t n) {
  std::string out = "\"";
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (b) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0x1B: out += "\\e"; break;
      case 0: out += "\\0"; break;
      default:
        if (b >= 0x20 && b < 0x7F) {
          out += static_cast<char>(b);
        } else {
          out += "\\x" + HexByte(b);
        }
    }
  }
  return out + "\"";
}

// A byte block: text runs in quotes, the rest as hex pairs, wrapped for long blocks.
std::string ByteBlock(const uint8_t* bytes, size_t n, const std::string& indent) {
  std::vector<std::string> items;
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && IsTextByte(bytes[run])) ++run;
    if (run - i >= kMinTextRun) {
      items.push_back(Quote(bytes + i, run - i));
      i = run;
      continue;
    }
    items.push_back(HexByte(bytes[i]));
    ++i;
  }
  if (items.empty()) return "{}";
  std::string out = "{";
  size_t onLine = 0;
  const bool wrap = n > kBytesPerLine;
  for (const std::string& item : items) {
    if (wrap && (onLine == kBytesPerLine || (onLine > 0 && item[0] == '"'))) {
      out += "\n" + indent + "  ";
      onLine = 0;
    } else if (wrap && onLine == 0 && &item == &items.front()) {
      out += "\n" + indent + "  ";
    } else {
      out += " ";
    }
    out += item;
    onLine += item[0] == '"' ? kBytesPerLine : 1;
  }
  return out + (wrap ? "\n" + indent + "}" : " }");
}

std::string BytesValue(const uint8_t* bytes, size_t n, const std::string& indent) {
  bool text = n > 0;
  for (size_t i = 0; i < n; ++i) text = text && IsTextByte(bytes[i]);
  return text ? Quote(bytes, n) : ByteBlock(bytes, n, indent);
}

template <typename T>
std::string ValueList(const T* values, size_t n, const std::string& indent) {
  std::string out = "[";
  const bool wrap = n > kValuesPerLine;
  for (size_t i = 0; i < n; ++i) {
    if (wrap && i % kValuesPerLine == 0) {
      out += (i == 0 ? "\n" : ",\n") + indent + "  ";
    } else if (i != 0) {
      out += ", ";
    }
    out += std::to_string(values[i]);
  }
  return out + (wrap ? "\n" + indent + "]" : "]");
}

struct Entity {
  DbNode node{};
  uint32_t home = 0;        // lowest record holding it
  uint32_t refs = 0;      // occurrences in the printed text
  bool listed = false;    // named by a list entry
  bool reached = false;   // printed under some statement
  bool expanded = false;
  bool defined = false;
  int64_t site = -1;      // the root statement that defines it
  std::string name;
};

enum class StatementKind : uint8_t { Key, AllTrees, Tree };

struct Statement {
  StatementKind kind;
  uint32_t key;
  uint32_t entity;
  uint16_t label;  // Tree: default label
};

struct CaseGroup {
  std::vector<uint32_t> records;
  uint32_t target;  // entity, or kNone for a case that cannot be printed
};

struct Decompiler {
  const mdb::DbImage& image;
  uint32_t nodeCount = 0;
  std::map<uint64_t, uint32_t> entityIds;
  std::vector<Entity> entities;
  std::vector<Statement> statements;
  std::vector<uint32_t> extraNodes;  // listed entities no statement reaches
  std::string out;
  int64_t currentSite = -1;

  uint32_t Count(const void* table, uint32_t slot) const {
    return table == nullptr ? 0 : image.counts[slot];
  }

  uint32_t EntityOf(uint32_t record) {
    if (record >= nodeCount) return kNone;
    const DbNode node = image.nodes[record];
    const uint64_t key = (uint64_t{node.tag} << 32) | node.value;
    auto [it, inserted] = entityIds.emplace(key, static_cast<uint32_t>(entities.size()));
    if (inserted) {
      Entity e;
      e.node = node;
      e.home = record;
      entities.push_back(std::move(e));
    }
    return it->second;
  }

  // Children of a branch, or of a value/default case evaluated directly.
  std::vector<uint32_t> Children(const Entity& e) {
    std::vector<uint32_t> result;
    const uint32_t f = mdb::NodeIndex(e.node);
    const uint32_t n = mdb::NodeCount(e.node);
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t child = EntityOf(f + i);
      if (child == kNone) break;
      result.push_back(child);
    }
    return result;
  }

  bool IsSwitch(uint32_t t) const {
    return t == static_cast<uint32_t>(NodeType::SettingSwitch) ||
           t == static_cast<uint32_t>(NodeType::StringSwitch) ||
           t == static_cast<uint32_t>(NodeType::PrinterDataSwitch) ||
           t == static_cast<uint32_t>(NodeType::LocaleSwitch) ||
           t == static_cast<uint32_t>(NodeType::MaskedSettingSwitch);
  }

  bool HasChildren(uint32_t t) const {
    return t == static_cast<uint32_t>(NodeType::Sequence) ||
           t == static_cast<uint32_t>(NodeType::SettingFilter) ||
           t == static_cast<uint32_t>(NodeType::SettingGuard) ||
           t == static_cast<uint32_t>(NodeType::ValueCase) ||
           t == static_cast<uint32_t>(NodeType::DefaultCase);
  }

  uint32_t FirstCase(const Entity& e) const {
    if (!Is(e.node, NodeType::MaskedSettingSwitch)) return mdb::NodeIndex(e.node);
    const uint32_t header = mdb::NodeIndex(e.node);
    if (header >= nodeCount || !Is(image.nodes[header], NodeType::MaskHeader)) return kNone;
    return mdb::NodeIndex(image.nodes[header]);
  }

  // Consecutive value (or text) cases with one target print as one `case a, b:` line.
  std::vector<CaseGroup> Cases(const Entity& e) {
    std::vector<CaseGroup> groups;
    const uint32_t first = FirstCase(e);
    const uint32_t n = mdb::NodeCount(e.node);
    if (first == kNone) return groups;
    for (uint32_t i = 0; i < n && first + i < nodeCount; ++i) {
      const uint32_t record = first + i;
      const DbNode c = image.nodes[record];
      const uint32_t target = EntityOf(mdb::NodeIndex(c));
      const bool groupable = Is(c, NodeType::ValueCase) || Is(c, NodeType::StringCase);
      if (groupable && !groups.empty() && groups.back().target == target && target != kNone) {
        const DbNode last = image.nodes[groups.back().records.back()];
        if (Type(last) == Type(c)) {
          groups.back().records.push_back(record);
          continue;
        }
      }
      groups.push_back(CaseGroup{{record}, target});
    }
    return groups;
  }

  void Expand(uint32_t id, uint32_t depth) {
    if (id == kNone) return;
    Entity& e = entities[id];
    e.reached = true;
    if (e.expanded || depth > kMaxPrintDepth) return;
    e.expanded = true;
    const uint32_t t = Type(e.node);
    if (HasChildren(t)) {
      for (uint32_t child : Children(entities[id])) {
        ++entities[child].refs;
        Expand(child, depth + 1);
      }
    } else if (IsSwitch(t)) {
      for (const CaseGroup& g : Cases(entities[id])) {
        if (g.target == kNone) continue;
        ++entities[g.target].refs;
        Expand(g.target, depth + 1);
      }
    }
  }

  // The label of the first leaf below a tree: the default its statement names. Each node is
  // looked at once, so shared subtrees cost nothing more.
  uint16_t FirstLeafLabel(uint32_t root) {
    std::vector<bool> seen;
    std::vector<uint32_t> pending{root};
    while (!pending.empty()) {
      const uint32_t id = pending.back();
      pending.pop_back();
      if (id == kNone) continue;
      if (seen.size() <= id) seen.resize(id + 1, false);
      if (seen[id]) continue;
      seen[id] = true;
      const DbNode node = entities[id].node;
      const uint32_t t = Type(node);
      if ((t >= 1 && t <= 7) || t == static_cast<uint32_t>(NodeType::Computed)) return mdb::NodeParam(node);
      std::vector<uint32_t> next;
      if (HasChildren(t)) next = Children(entities[id]);
      if (IsSwitch(t)) {
        for (const CaseGroup& g : Cases(entities[id])) next.push_back(g.target);
      }
      pending.insert(pending.end(), next.rbegin(), next.rend());  // first child first
    }
    return 0;
  }

  void BuildStatements() {
    std::vector<uint32_t> roots;
    bool allTrees = false;
    if (nodeCount > 0 && Is(image.nodes[0], NodeType::Sequence)) {
      const uint32_t f = mdb::NodeIndex(image.nodes[0]);
      const uint32_t n = mdb::NodeCount(image.nodes[0]);
      if ((n == 0 || f == 1) && n < nodeCount) {
        allTrees = true;
        for (uint32_t i = 1; i <= n; ++i) roots.push_back(EntityOf(i));
      }
    }
    std::vector<bool> isRootEntity;  // printed by a root statement already
    auto rooted = [&](uint32_t id) { return id < isRootEntity.size() && isRootEntity[id]; };
    auto markRooted = [&](uint32_t id) {
      if (isRootEntity.size() <= id) isRootEntity.resize(id + 1, false);
      isRootEntity[id] = true;
    };
    size_t cursor = 0;
    auto emitTree = [&](uint32_t id) {
      if (rooted(id)) return;
      markRooted(id);
      statements.push_back(Statement{StatementKind::Tree, 0, id, FirstLeafLabel(id)});
    };
    const uint32_t entries = std::min(Count(image.directoryKeys, mdb::kDirectoryCount),
                                      Count(image.directoryRoots, mdb::kDirectoryCount));
    for (uint32_t i = 0; i < entries; ++i) {
      const uint32_t key = image.directoryKeys[i];
      const uint32_t root = image.directoryRoots[i];
      if (root == 0 && allTrees) {
        statements.push_back(Statement{StatementKind::AllTrees, key, kNone, 0});
        continue;
      }
      const uint32_t id = EntityOf(root);
      if (id == kNone) {
        statements.push_back(Statement{StatementKind::Key, key, kNone, 0});
        continue;
      }
      if (!rooted(id)) {
        const auto found = std::find(roots.begin() + static_cast<std::ptrdiff_t>(cursor), roots.end(), id);
        if (found != roots.end()) {
          for (; roots.begin() + static_cast<std::ptrdiff_t>(cursor) != found; ++cursor) emitTree(roots[cursor]);
          ++cursor;
        }
        markRooted(id);
      }
      statements.push_back(Statement{StatementKind::Key, key, id, 0});
    }
    for (; cursor < roots.size(); ++cursor) emitTree(roots[cursor]);
  }

  void Prepare() {
    for (size_t s = 0; s < statements.size(); ++s) {
      const uint32_t id = statements[s].entity;
      if (id == kNone) continue;
      ++entities[id].refs;
      if (entities[id].site < 0) entities[id].site = static_cast<int64_t>(s);
      Expand(id, 0);
    }
    const uint32_t listEntries = Count(image.nodeIndexList, mdb::kNodeIndexCount);
    for (uint32_t i = 0; i < listEntries; ++i) {
      const uint32_t id = EntityOf(image.nodeIndexList[i]);
      if (id == kNone) continue;
      entities[id].listed = true;
      if (!entities[id].reached) {
        extraNodes.push_back(id);
        ++entities[id].refs;
        Expand(id, 0);
      }
    }
    for (Entity& e : entities) {
      if (e.refs >= 2 || e.listed) {
        const uint32_t t = Type(e.node);
        e.name = std::string(t < std::size(kNamePrefixes) ? kNamePrefixes[t] : "node") + "_" +
                 std::to_string(e.home);
      }
    }
  }

  std::string Label(DbNode node, uint16_t defaultLabel) const {
    const uint16_t label = mdb::NodeParam(node);
    return label == defaultLabel ? "" : " @" + HexValue(label, 4);
  }

  std::string Leaf(DbNode node, uint16_t defaultLabel, const std::string& indent) const {
    const uint32_t t = Type(node);
    const uint32_t f = mdb::NodeIndex(node);
    const uint32_t n = mdb::NodeCount(node);
    std::string text = TypeName(t) + Label(node, defaultLabel) + " ";
    auto inPool = [&](const void* pool, uint32_t slot) {
      return pool != nullptr && f <= image.counts[slot] && n <= image.counts[slot] - f;
    };
    switch (static_cast<NodeType>(t)) {
      case NodeType::Computed:
        return text + std::to_string(n);
      case NodeType::Bytes:
      case NodeType::SignedBytes:
      case NodeType::UnsignedBytes:
      case NodeType::WideText: {
        if (!inPool(image.bytePool, mdb::kByteCount)) break;
        const uint8_t* bytes = image.bytePool + f;
        if (Is(node, NodeType::Bytes)) return text + BytesValue(bytes, n, indent);
        if (Is(node, NodeType::WideText)) {
          bool plain = n > 0 && bytes[n - 1] == 0;
          for (uint32_t i = 0; plain && i + 1 < n; ++i) plain = IsTextByte(bytes[i]);
          return text + (plain ? Quote(bytes, n - 1) : "raw " + ByteBlock(bytes, n, indent));
        }
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < n; ++i) {
          values.push_back(Is(node, NodeType::SignedBytes) ? static_cast<int8_t>(bytes[i]) : bytes[i]);
        }
        return text + ValueList(values.data(), values.size(), indent);
      }
      case NodeType::Int16Array:
      case NodeType::UInt16Array: {
        if (!inPool(image.int16Pool, mdb::kInt16Count)) break;
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < n; ++i) {
          const uint16_t v = image.int16Pool[f + i];
          values.push_back(Is(node, NodeType::Int16Array) ? static_cast<int16_t>(v) : v);
        }
        return text + ValueList(values.data(), values.size(), indent);
      }
      case NodeType::Int32Array:
        if (!inPool(image.int32Pool, mdb::kInt32Count)) break;
        return text + ValueList(image.int32Pool + f, n, indent);
      default:
        break;
    }
    return text + "[]  # its run lies outside its pool";
  }

  std::string CaseHead(const CaseGroup& g) const {
    const DbNode first = image.nodes[g.records.front()];
    switch (static_cast<NodeType>(Type(first))) {
      case NodeType::ValueCase: {
        std::string text = "case ";
        for (size_t i = 0; i < g.records.size(); ++i) {
          const uint32_t v = image.nodes[g.records[i]].value;
          text += (i == 0 ? "" : ", ") + std::to_string(static_cast<int32_t>(v) < 0 && v >= 0x80000000u
                                                            ? static_cast<int64_t>(static_cast<int32_t>(v))
                                                            : static_cast<int64_t>(v));
        }
        return text;
      }
      case NodeType::StringCase: {
        std::string text = "case ";
        for (size_t i = 0; i < g.records.size(); ++i) {
          const uint32_t d = image.nodes[g.records[i]].value;
          std::string quoted = "\"\"";
          if (d < nodeCount && image.stringPool != nullptr) {
            const DbNode desc = image.nodes[d];
            const uint32_t off = mdb::NodeIndex(desc);
            const uint32_t len = mdb::NodeCount(desc);
            if (off <= image.counts[mdb::kStringCount] && len <= image.counts[mdb::kStringCount] - off) {
              quoted = Quote(image.stringPool + off, len);
            }
          }
          text += (i == 0 ? "" : ", ") + quoted;
        }
        return text;
      }
      case NodeType::RangeCase: {
        const uint32_t q = first.value;
        const uint32_t count = Count(image.int32Pool, mdb::kInt32Count);
        if (q < count && q + 1 < count) {
          return "range " + std::to_string(image.int32Pool[q]) + ".." + std::to_string(image.int32Pool[q + 1]);
        }
        return "range 1..0  # its bounds lie outside the int32 pool\n";
      }
      case NodeType::DefaultCase:
        return "default";
      default:
        return "default  # node " + std::to_string(g.records.front()) + " is no case (type " +
               std::to_string(Type(first)) + ")\n";
    }
  }

  // `bare`: the statement prints the name itself (`key K as name =`, `tree name for K =`).
  std::string Node(uint32_t id, uint16_t defaultLabel, const std::string& indent, uint32_t depth,
                   bool bare = false) {
    if (id == kNone) return "Sequence {}  # a reference beyond the node table";
    Entity& e = entities[id];
    if (!bare && !e.name.empty() && (e.defined || (e.site >= 0 && e.site != currentSite))) {
      return "use " + e.name;
    }
    // Only a malformed image gets here: an unnamed node met twice, or a path without end.
    if (e.defined) return "Sequence {}  # node " + std::to_string(e.home) + " again";
    if (depth > kMaxPrintDepth) return "Sequence {}  # nested too deep";
    e.defined = true;
    const DbNode node = e.node;
    std::string text = e.name.empty() || bare ? "" : e.name + ": ";
    const uint32_t t = Type(node);
    const std::string inner = indent + "  ";
    if ((t >= 1 && t <= 7) || t == static_cast<uint32_t>(NodeType::Computed)) {
      return text + Leaf(node, defaultLabel, indent);
    }
    const uint32_t param = mdb::NodeParam(node);
    if (HasChildren(t)) {
      switch (static_cast<NodeType>(t)) {
        case NodeType::Sequence: text += "Sequence"; break;
        case NodeType::SettingFilter: text += "SettingFilter " + std::to_string(param); break;
        case NodeType::SettingGuard: text += "SettingGuard " + std::to_string(param); break;
        case NodeType::ValueCase: text += "ValueCase " + std::to_string(node.value); break;
        default: text += "DefaultCase"; break;
      }
      const std::vector<uint32_t> children = Children(e);
      if (children.empty()) return text + " {}";
      text += " {\n";
      for (uint32_t child : children) text += inner + Node(child, defaultLabel, inner, depth + 1) + "\n";
      return text + indent + "}";
    }
    if (!IsSwitch(t)) {
      return text + "Sequence {}  # node " + std::to_string(e.home) + " of type " +
             std::to_string(t) + " cannot be evaluated";
    }
    switch (static_cast<NodeType>(t)) {
      case NodeType::SettingSwitch: text += "SettingSwitch " + std::to_string(param); break;
      case NodeType::StringSwitch: text += "StringSwitch " + std::to_string(param); break;
      case NodeType::PrinterDataSwitch: text += "PrinterDataSwitch " + std::to_string(param); break;
      case NodeType::LocaleSwitch:
        text += param == kLocaleTag ? "LocaleSwitch" : "LocaleSwitch tag " + HexValue(param, 4);
        break;
      default: {
        const uint32_t header = mdb::NodeIndex(node);
        const uint32_t mask = header < nodeCount ? image.nodes[header].value : 0;
        text += "MaskedSettingSwitch " + std::to_string(param) + " mask " + HexValue(mask, 8);
        break;
      }
    }
    const std::vector<CaseGroup> groups = Cases(e);
    if (groups.empty()) return text + " {}";
    text += " {\n";
    for (const CaseGroup& g : groups) {
      text += inner + CaseHead(g) + ": " + Node(g.target, defaultLabel, inner, depth + 1) + "\n";
    }
    return text + indent + "}";
  }

  void Header(const std::vector<std::string>& problems) {
    out += "# Model database source printed back from an image by dbc.\n# Counts:";
    for (uint32_t i = 0; i < mdb::kCountSlots; ++i) {
      out += std::string(i == 0 ? " " : ", ") + kCountNames[i] + " " + std::to_string(image.counts[i]);
    }
    out += ".\n";
    for (const std::string& p : problems) out += "# problem: " + p + "\n";
    out += "\n";
  }

  void PrintStatements() {
    for (size_t s = 0; s < statements.size(); ++s) {
      const Statement& st = statements[s];
      currentSite = static_cast<int64_t>(s);
      const std::string key = HexValue(st.key, 4);
      switch (st.kind) {
        case StatementKind::AllTrees:
          out += "key " + key + " = AllTrees\n";
          break;
        case StatementKind::Key: {
          if (st.entity == kNone) {
            out += "key " + key + " = Sequence {}  # its root lies beyond the node table\n";
            break;
          }
          const Entity& e = entities[st.entity];
          const bool defines = !e.defined && e.site == currentSite;
          if (defines && !e.name.empty()) {
            out += "key " + key + " as " + e.name + " = " +
                   Node(st.entity, static_cast<uint16_t>(st.key), "", 0, true) + "\n";
          } else {
            out += "key " + key + " = " + Node(st.entity, static_cast<uint16_t>(st.key), "", 0) + "\n";
          }
          break;
        }
        case StatementKind::Tree: {
          Entity& e = entities[st.entity];
          if (e.name.empty()) e.name = "tree_" + std::to_string(e.home);
          out += "tree " + e.name + " for " + HexValue(st.label, 4) + " = " +
                 Node(st.entity, st.label, "", 0, true) + "\n";
          break;
        }
      }
    }
    currentSite = -1;
    for (uint32_t id : extraNodes) {
      Entity& e = entities[id];
      if (e.defined) continue;
      const uint16_t label = FirstLeafLabel(id);
      out += "node " + e.name + " for " + HexValue(label, 4) + " = " + Node(id, label, "", 0, true) + "\n";
    }
  }

  void PrintLists() {
    const uint32_t lists = std::min({Count(image.listKeys, mdb::kListKeyCount), Count(image.listCounts, mdb::kListKeyCount),
                                     Count(image.listStarts, mdb::kListKeyCount)});
    const uint32_t indexCount = Count(image.nodeIndexList, mdb::kNodeIndexCount);
    if (lists != 0) out += "\n";
    for (uint32_t i = 0; i < lists; ++i) {
      out += "list " + HexValue(image.listKeys[i], 4) + " = [";
      const uint32_t start = image.listStarts[i];
      for (uint32_t k = 0; k < image.listCounts[i]; ++k) {
        if (start + k >= indexCount || start > indexCount) {
          out += "]  # runs beyond the node-index list";
          break;
        }
        const uint32_t id = EntityOf(image.nodeIndexList[start + k]);
        out += (k == 0 ? "" : ", ") + (id == kNone ? std::string("missing") : entities[id].name);
      }
      out += "]\n";
    }
  }

  void PrintCategories() {
    const uint32_t categories = std::min({Count(image.categoryIds, mdb::kCategoryCount), Count(image.categoryCounts, mdb::kCategoryCount),
                                          Count(image.categoryStarts, mdb::kCategoryCount)});
    const uint32_t items = std::min(Count(image.itemIds, mdb::kItemCount), Count(image.itemValues, mdb::kItemCount));
    for (uint32_t i = 0; i < categories; ++i) {
      out += "\ncategory " + std::to_string(image.categoryIds[i]) + " {";
      const uint32_t start = image.categoryStarts[i];
      for (uint32_t k = 0; k < image.categoryCounts[i]; ++k) {
        if (start > items || start + k >= items) {
          out += "  # runs beyond the item pool";
          break;
        }
        out += (k % 6 == 0 ? "\n  " : "  ") + std::to_string(image.itemIds[start + k]) + " = " +
               std::to_string(image.itemValues[start + k]);
      }
      out += image.categoryCounts[i] == 0 ? "}\n" : "\n}\n";
    }
  }

  void PrintSelectors() {
    const uint32_t selectors = Count(image.selectors, mdb::kSelectorCount);
    if (selectors != 0) out += "\n";
    for (uint32_t i = 0; i < selectors; ++i) {
      const mdb::SelectorRecord& s = image.selectors[i];
      out += "selector (4=" + std::to_string(s.setting4) + ", 9=" + std::to_string(s.setting9) +
             ", 5=" + std::to_string(s.setting5) + ", 8=" + std::to_string(s.setting8) +
             ", 6=" + std::to_string(s.setting6) + ", 81=" + std::to_string(s.setting81) +
             ") rows (" + std::to_string(s.row1) + ", " + std::to_string(s.row2) + ", " +
             std::to_string(s.row3) + ", " + std::to_string(s.row4) + ")\n";
    }
  }

  // A row as fields: text runs, zero runs, and 16-bit values elsewhere.
  static std::string RowFields(const uint8_t* row, uint32_t size) {
    std::vector<std::string> fields;
    uint32_t i = 0;
    while (i < size) {
      uint32_t run = i;
      while (run < size && row[run] >= 0x20 && row[run] < 0x7F) ++run;
      if (run - i >= kMinTextRun) {
        fields.push_back("text " + Quote(row + i, run - i));
        i = run;
        continue;
      }
      run = i;
      while (run < size && row[run] == 0) ++run;
      if (run - i >= kMinTextRun || (run == size && run > i)) {
        fields.push_back(run == size ? "pad " + std::to_string(size) : "zeros " + std::to_string(run - i));
        i = run;
        continue;
      }
      // 16-bit values up to the next text or zero run.
      std::string values;
      while (i + 1 < size) {
        uint32_t ahead = i;
        while (ahead < size && row[ahead] >= 0x20 && row[ahead] < 0x7F) ++ahead;
        if (ahead - i >= kMinTextRun) break;
        ahead = i;
        while (ahead < size && row[ahead] == 0) ++ahead;
        if (ahead - i >= kMinTextRun || ahead == size) break;
        values += " " + std::to_string(row[i] | (row[i + 1] << 8));
        i += 2;
      }
      if (!values.empty()) {
        fields.push_back("u16" + values);
      } else {
        fields.push_back("u8 " + std::to_string(row[i]));
        ++i;
      }
    }
    std::string text;
    for (const std::string& f : fields) text += " " + f + ";";
    return text;
  }

  void PrintRows() {
    for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
      const uint32_t rows = Count(image.rowTables[t], mdb::kRowTable1Count + t);
      const uint32_t size = mdb::kSelectorRowSize[t];
      if (rows != 0) out += "\n";
      for (uint32_t r = 0; r < rows; ++r) {
        out += "row " + std::to_string(t + 1) + " {" + RowFields(image.rowTables[t] + r * size, size) +
               " }  # " + std::to_string(r) + "\n";
      }
    }
  }

  void Run() {
    nodeCount = image.nodes == nullptr ? 0 : image.counts[mdb::kNodeCount];
    entities.reserve(nodeCount);  // references into it stay valid while printing
    Header(CheckImage(image));
    BuildStatements();
    Prepare();
    PrintStatements();
    PrintLists();
    PrintCategories();
    PrintSelectors();
    PrintRows();
  }
};

}  // namespace

std::string DecompileImage(const mdb::DbImage& image) {
  Decompiler decompiler{image, 0, {}, {}, {}, {}, {}, -1};
  decompiler.Run();
  return std::move(decompiler.out);
}

}  // namespace dbc
