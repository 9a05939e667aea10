#include "layout.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>

namespace dbc {

namespace {

using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kMaxIndex = 0x00FFFFFFu;  // the index field of a node is 24 bits

struct ClassCase {
  CaseForm form;
  uint32_t value;
  int32_t low, high;
  std::string text;
  uint32_t target;  // class
  SourceLoc loc;
};

// One distinct subtree.
struct NodeClass {
  uint32_t source;  // a source node with this structure
  std::vector<uint32_t> children;
  std::vector<ClassCase> cases;
  uint32_t home = kNone;   // its first record
  uint32_t block = kNone;  // first child or case
  uint32_t maskRecord = kNone;
  uint32_t poolOffset = 0;
  bool placed = false;
};

enum class RecordKind : uint8_t { AllTrees, Class, MaskHeader, Case, Descriptor };

struct Record {
  RecordKind kind;
  uint32_t cls;   // Class, MaskHeader, Case: the class (the switch for the last two)
  uint32_t item;  // Case: case index; Descriptor: string id
  uint32_t extra;  // RangeCase: int32 pool index of its bounds; StringCase: string id
};

bool IsLeaf(NodeType t) {
  return (t >= NodeType::Bytes && t <= NodeType::WideText) || t == NodeType::Computed;
}

bool HasChildren(NodeType t) {
  return t == NodeType::Sequence || t == NodeType::SettingFilter || t == NodeType::SettingGuard ||
         t == NodeType::ValueCase || t == NodeType::DefaultCase;
}

bool HasCases(NodeType t) {
  return t == NodeType::SettingSwitch || t == NodeType::StringSwitch ||
         t == NodeType::PrinterDataSwitch || t == NodeType::LocaleSwitch ||
         t == NodeType::MaskedSettingSwitch;
}

void Put(std::string* key, uint32_t v) {
  for (int i = 0; i < 4; ++i) key->push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

// A run placed where the pool already holds it, or overlapping the pool's tail, or appended.
template <typename T>
uint32_t Place(std::vector<T>* pool, const std::vector<T>& run) {
  if (run.empty()) return 0;
  auto found = std::search(pool->begin(), pool->end(), run.begin(), run.end());
  if (found != pool->end()) return static_cast<uint32_t>(found - pool->begin());
  const size_t size = pool->size();
  for (size_t overlap = std::min(size, run.size() - 1); overlap > 0; --overlap) {
    if (std::equal(pool->end() - static_cast<std::ptrdiff_t>(overlap), pool->end(), run.begin())) {
      pool->insert(pool->end(), run.begin() + static_cast<std::ptrdiff_t>(overlap), run.end());
      return static_cast<uint32_t>(size - overlap);
    }
  }
  pool->insert(pool->end(), run.begin(), run.end());
  return static_cast<uint32_t>(size);
}

struct Layout {
  const SourceModel& model;
  const Resolution& res;
  Diagnostics* diags;
  OwnedImage* image;
  std::vector<uint32_t> classOf;  // per source node (uses: the class of their target)
  std::vector<NodeClass> classes;
  std::vector<Record> records;
  std::vector<std::string> strings;
  std::vector<uint32_t> stringRecord;
  std::vector<uint32_t> stringOffset;
  bool ok = true;

  uint32_t ClassOfRef(uint32_t ref) const { return classOf[res.target[ref]]; }

  void BuildClasses() {
    classOf.assign(model.nodes.size(), kNone);
    std::unordered_map<std::string, uint32_t> known;
    for (uint32_t index : res.postOrder) {
      const SourceNode& node = model.nodes[index];
      NodeClass cls;
      cls.source = index;
      std::string key;
      Put(&key, static_cast<uint32_t>(node.type));
      Put(&key, node.label);
      Put(&key, node.param);
      Put(&key, node.mask);
      Put(&key, static_cast<uint32_t>(node.bytes.size()));
      key.append(node.bytes.begin(), node.bytes.end());
      Put(&key, static_cast<uint32_t>(node.halves.size()));
      for (uint16_t h : node.halves) Put(&key, h);
      Put(&key, static_cast<uint32_t>(node.words.size()));
      for (int32_t w : node.words) Put(&key, static_cast<uint32_t>(w));
      Put(&key, static_cast<uint32_t>(node.children.size()));
      for (uint32_t child : node.children) {
        cls.children.push_back(ClassOfRef(child));
        Put(&key, cls.children.back());
      }
      Put(&key, static_cast<uint32_t>(node.cases.size()));
      for (const SourceCase& c : node.cases) {
        cls.cases.push_back(ClassCase{c.form, c.value, c.low, c.high, c.text,
                                      ClassOfRef(c.target), c.loc});
        Put(&key, static_cast<uint32_t>(c.form));
        Put(&key, c.value);
        Put(&key, static_cast<uint32_t>(c.low));
        Put(&key, static_cast<uint32_t>(c.high));
        Put(&key, static_cast<uint32_t>(c.text.size()));
        key += c.text;
        Put(&key, cls.cases.back().target);
      }
      auto [it, inserted] = known.emplace(std::move(key), static_cast<uint32_t>(classes.size()));
      if (inserted) classes.push_back(std::move(cls));
      classOf[index] = it->second;
    }
  }

  uint32_t Push(Record record) {
    records.push_back(record);
    return static_cast<uint32_t>(records.size() - 1);
  }

  void PushClass(uint32_t cls) {
    const uint32_t at = Push(Record{RecordKind::Class, cls, 0, 0});
    if (classes[cls].home == kNone) classes[cls].home = at;
  }

  void EnsureHome(uint32_t cls) {
    if (classes[cls].home == kNone) PushClass(cls);
  }

  // Breadth first from record `next` to the end, allocating blocks as records are reached.
  void Expand(size_t next) {
    for (; next < records.size(); ++next) {
      if (records[next].kind != RecordKind::Class) continue;
      const uint32_t c = records[next].cls;
      if (classes[c].block != kNone) continue;
      const SourceNode& node = model.nodes[classes[c].source];
      if (HasChildren(node.type)) {
        classes[c].block = classes[c].children.empty() ? 0 : static_cast<uint32_t>(records.size());
        for (uint32_t child : classes[c].children) PushClass(child);
      } else if (HasCases(node.type)) {
        if (node.type == NodeType::MaskedSettingSwitch) {
          classes[c].maskRecord = Push(Record{RecordKind::MaskHeader, c, 0, 0});
        }
        classes[c].block = classes[c].cases.empty() ? 0 : static_cast<uint32_t>(records.size());
        for (uint32_t i = 0; i < classes[c].cases.size(); ++i) {
          Push(Record{RecordKind::Case, c, i, 0});
        }
        for (const ClassCase& cc : classes[c].cases) EnsureHome(cc.target);
      }
    }
  }

  void PlaceNodes() {
    Push(Record{RecordKind::AllTrees, 0, 0, 0});
    std::vector<bool> isRoot(classes.size(), false);
    for (const RootStatement& st : model.roots) {
      if (st.form == RootForm::AllTrees || st.kind == StatementKind::Node) continue;
      const uint32_t c = ClassOfRef(st.node);
      if (isRoot[c]) continue;
      isRoot[c] = true;
      PushClass(c);
    }
    Expand(1);
    std::map<std::string, uint32_t> names;
    for (uint32_t i = 0; i < model.nodes.size(); ++i) {
      if (!model.nodes[i].isUse && !model.nodes[i].name.empty()) names.emplace(model.nodes[i].name, i);
    }
    for (const ListStatement& list : model.lists) {
      for (const NameRef& ref : list.entries) {
        const size_t before = records.size();
        EnsureHome(classOf[names.at(ref.name)]);
        Expand(before);
      }
    }
    // The strings of StringCase nodes, each described once by a Bytes node at the end.
    std::map<std::string, uint32_t> stringIds;
    const size_t end = records.size();
    for (size_t r = 0; r < end; ++r) {
      if (records[r].kind != RecordKind::Case) continue;
      const ClassCase& cc = classes[records[r].cls].cases[records[r].item];
      if (cc.form != CaseForm::String) continue;
      if (stringIds.count(cc.text) != 0) continue;
      if (cc.text.size() > 0xFFFFu) {
        Error(cc.loc, "a case string holds at most 65535 characters");
        continue;
      }
      const auto id = static_cast<uint32_t>(strings.size());
      stringIds.emplace(cc.text, id);
      strings.push_back(cc.text);
      stringRecord.push_back(Push(Record{RecordKind::Descriptor, 0, id, 0}));
    }
    for (Record& r : records) {
      if (r.kind == RecordKind::Case) {
        const ClassCase& cc = classes[r.cls].cases[r.item];
        if (cc.form == CaseForm::String && stringIds.count(cc.text) != 0) r.extra = stringIds.at(cc.text);
      }
    }
  }

  void Error(SourceLoc loc, std::string message) {
    AddError(diags, loc, std::move(message));
    ok = false;
  }

  void PlacePools() {
    stringOffset.assign(strings.size(), 0);
    for (Record& r : records) {
      if (r.kind == RecordKind::Class) {
        NodeClass& cls = classes[r.cls];
        const SourceNode& node = model.nodes[cls.source];
        if (cls.placed || !IsLeaf(node.type)) continue;
        cls.placed = true;
        if (!node.bytes.empty()) cls.poolOffset = Place(&image->bytePool, node.bytes);
        if (!node.halves.empty()) cls.poolOffset = Place(&image->int16Pool, node.halves);
        if (!node.words.empty()) cls.poolOffset = Place(&image->int32Pool, node.words);
      } else if (r.kind == RecordKind::Case) {
        const ClassCase& cc = classes[r.cls].cases[r.item];
        if (cc.form == CaseForm::Range) r.extra = Place(&image->int32Pool, std::vector<int32_t>{cc.low, cc.high});
      } else if (r.kind == RecordKind::Descriptor) {
        const std::string& text = strings[r.item];
        stringOffset[r.item] = Place(&image->stringPool, std::vector<uint8_t>(text.begin(), text.end()));
      }
    }
  }

  DbNode ClassNode(const NodeClass& cls) const {
    const SourceNode& node = model.nodes[cls.source];
    const auto n16 = [](size_t n) { return static_cast<uint16_t>(n); };
    const auto param = static_cast<uint16_t>(node.param);
    switch (node.type) {
      case NodeType::Bytes:
      case NodeType::SignedBytes:
      case NodeType::UnsignedBytes:
      case NodeType::WideText:
        return MakeNode(node.type, cls.poolOffset, node.label, n16(node.bytes.size()));
      case NodeType::Int16Array:
      case NodeType::UInt16Array:
        return MakeNode(node.type, cls.poolOffset, node.label, n16(node.halves.size()));
      case NodeType::Int32Array:
        return MakeNode(node.type, cls.poolOffset, node.label, n16(node.words.size()));
      case NodeType::Computed:
        return MakeNode(node.type, 0, node.label, param);
      case NodeType::Sequence:
        return MakeNode(node.type, cls.block, 0, n16(cls.children.size()));
      case NodeType::SettingFilter:
      case NodeType::SettingGuard:
        return MakeNode(node.type, cls.block, param, n16(cls.children.size()));
      case NodeType::ValueCase:
        return MakeNode(node.type, cls.block, node.param);
      case NodeType::DefaultCase:
        return MakeNode(node.type, cls.block, 0, n16(cls.children.size()));
      case NodeType::MaskedSettingSwitch:
        return MakeNode(node.type, cls.maskRecord, param, n16(cls.cases.size()));
      default:  // the other switches
        return MakeNode(node.type, cls.block, param, n16(cls.cases.size()));
    }
  }

  DbNode RecordNode(const Record& r, uint32_t rootCount) const {
    switch (r.kind) {
      case RecordKind::AllTrees:
        return MakeNode(NodeType::Sequence, rootCount == 0 ? 0 : 1, 0, static_cast<uint16_t>(rootCount));
      case RecordKind::Class:
        return ClassNode(classes[r.cls]);
      case RecordKind::MaskHeader:
        return MakeNode(NodeType::MaskHeader, classes[r.cls].block, model.nodes[classes[r.cls].source].mask);
      case RecordKind::Descriptor:
        return MakeNode(NodeType::Bytes, stringOffset[r.item], 0,
                        static_cast<uint16_t>(strings[r.item].size()));
      case RecordKind::Case:
        break;
    }
    const ClassCase& cc = classes[r.cls].cases[r.item];
    const uint32_t target = classes[cc.target].home;
    switch (cc.form) {
      case CaseForm::Value: return MakeNode(NodeType::ValueCase, target, cc.value);
      case CaseForm::Range: return MakeNode(NodeType::RangeCase, target, r.extra);
      case CaseForm::Default: return MakeNode(NodeType::DefaultCase, target, 0u);
      case CaseForm::String: break;
    }
    return MakeNode(NodeType::StringCase, target, stringRecord[r.extra]);
  }

  void Emit() {
    uint32_t rootCount = 0;
    {
      std::vector<bool> isRoot(classes.size(), false);
      for (const RootStatement& st : model.roots) {
        if (st.form == RootForm::AllTrees || st.kind == StatementKind::Node) continue;
        const uint32_t c = ClassOfRef(st.node);
        if (!isRoot[c]) ++rootCount;
        isRoot[c] = true;
      }
    }
    if (rootCount > 0xFFFFu) Error(kNoLoc, "more than 65535 trees under node 0");
    if (records.size() > kMaxIndex) Error(kNoLoc, "the image would hold more than 16777215 nodes");
    const size_t pools[] = {image->bytePool.size(), image->int16Pool.size(), image->int32Pool.size(),
                            image->stringPool.size()};
    for (size_t size : pools) {
      if (size > kMaxIndex) Error(kNoLoc, "a value pool would exceed 16777215 elements");
    }
    if (!ok) return;
    image->nodes.reserve(records.size());
    for (const Record& r : records) image->nodes.push_back(RecordNode(r, rootCount));
  }

  void Tables() {
    for (const RootStatement& st : model.roots) {
      if (st.kind != StatementKind::Key) continue;
      image->directoryKeys.push_back(static_cast<uint16_t>(st.key));
      image->directoryRoots.push_back(st.form == RootForm::AllTrees ? 0 : classes[ClassOfRef(st.node)].home);
    }
    std::map<std::string, uint32_t> names;
    for (uint32_t i = 0; i < model.nodes.size(); ++i) {
      if (!model.nodes[i].isUse && !model.nodes[i].name.empty()) names.emplace(model.nodes[i].name, i);
    }
    for (const ListStatement& list : model.lists) {
      std::vector<uint32_t> run;
      for (const NameRef& ref : list.entries) run.push_back(classes[classOf[names.at(ref.name)]].home);
      image->listKeys.push_back(list.key);
      image->listCounts.push_back(static_cast<uint16_t>(run.size()));
      image->listStarts.push_back(Place(&image->nodeIndexList, run));
    }
    std::vector<uint64_t> items;
    for (const CategoryStatement& category : model.categories) {
      std::vector<uint64_t> run;
      for (const Item& item : category.items) run.push_back((uint64_t{item.id} << 32) | item.value);
      image->categoryIds.push_back(category.id);
      image->categoryCounts.push_back(static_cast<uint16_t>(run.size()));
      image->categoryStarts.push_back(Place(&items, run));
    }
    for (uint64_t item : items) {
      image->itemIds.push_back(static_cast<uint16_t>(item >> 32));
      image->itemValues.push_back(static_cast<uint32_t>(item & 0xFFFFFFFFu));
    }
    for (const SelectorStatement& st : model.selectors) image->selectors.push_back(st.record);
    for (const RowStatement& row : model.rows) {
      image->rowTables[row.table].insert(image->rowTables[row.table].end(), row.bytes.begin(), row.bytes.end());
    }
  }
};

}  // namespace

bool LayOut(const SourceModel& model, const Resolution& resolution, Diagnostics* diags,
            OwnedImage* image) {
  *image = OwnedImage{};
  Layout layout{model, resolution, diags, image, {}, {}, {}, {}, {}, {}, true};
  layout.BuildClasses();
  layout.PlaceNodes();
  layout.PlacePools();
  layout.Emit();
  if (!layout.ok) return false;
  layout.Tables();
  return true;
}

}  // namespace dbc
