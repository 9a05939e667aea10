// A small builder for hand-made database images, so each test can state the tree it needs
// in a few readable lines.
//
// Members of a branch are consecutive in the node table, so Group() appends the member
// records it is given and returns the branch record pointing at them; Add() stores a record
// and returns its index (case targets and roots are indexes). Leaf helpers append their
// elements to the matching pool.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "image.h"
#include "query_env.h"

namespace mdbtest {

using mdb::DbImage;
using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

class ImageBuilder {
 public:
  std::vector<DbNode> nodes;
  std::vector<uint16_t> keys;
  std::vector<uint32_t> roots;
  std::vector<int32_t> int32Pool;
  std::vector<uint16_t> int16Pool;
  std::vector<uint8_t> bytePool;
  std::vector<uint8_t> stringPool;

  uint32_t Add(DbNode node) {
    nodes.push_back(node);
    return static_cast<uint32_t>(nodes.size() - 1);
  }

  // A branch over `members`, stored consecutively from the next free index.
  DbNode Group(NodeType type, uint16_t param, std::initializer_list<DbNode> members) {
    const auto first = static_cast<uint32_t>(nodes.size());
    for (DbNode m : members) nodes.push_back(m);
    return MakeNode(type, first, param, static_cast<uint16_t>(members.size()));
  }
  DbNode Sequence(std::initializer_list<DbNode> children) {
    return Group(NodeType::Sequence, 0, children);
  }
  DbNode Filter(uint16_t setting, std::initializer_list<DbNode> children) {
    return Group(NodeType::SettingFilter, setting, children);
  }
  DbNode Guard(uint16_t value, std::initializer_list<DbNode> children) {
    return Group(NodeType::SettingGuard, value, children);
  }
  DbNode Switch(uint16_t setting, std::initializer_list<DbNode> cases) {
    return Group(NodeType::SettingSwitch, setting, cases);
  }
  DbNode Masked(uint16_t setting, uint32_t mask, std::initializer_list<DbNode> cases) {
    const DbNode firstCase = Group(NodeType::Sequence, 0, cases);  // only for its index
    const uint32_t header = Add(MakeNode(NodeType::MaskHeader, mdb::NodeIndex(firstCase), mask));
    return MakeNode(NodeType::MaskedSettingSwitch, header, setting,
                    static_cast<uint16_t>(cases.size()));
  }

  static DbNode Value(uint32_t value, uint32_t target) {
    return MakeNode(NodeType::ValueCase, target, value);
  }
  static DbNode Default(uint32_t target) { return MakeNode(NodeType::DefaultCase, target, 0u); }
  DbNode Range(int32_t low, int32_t high, uint32_t target) {
    const auto pair = static_cast<uint32_t>(int32Pool.size());
    int32Pool.push_back(low);
    int32Pool.push_back(high);
    return MakeNode(NodeType::RangeCase, target, pair);
  }
  // A StringCase and the Bytes node describing its string in the string pool.
  DbNode StringCaseNode(const std::string& text, uint32_t target) {
    const auto offset = static_cast<uint32_t>(stringPool.size());
    stringPool.insert(stringPool.end(), text.begin(), text.end());
    const uint32_t descriptor =
        Add(MakeNode(NodeType::Bytes, offset, 0, static_cast<uint16_t>(text.size())));
    return MakeNode(NodeType::StringCase, target, descriptor);
  }

  // Leaves.
  DbNode Bytes(uint16_t label, const std::string& data) {
    return MakeNode(NodeType::Bytes, AppendBytes(data), label, static_cast<uint16_t>(data.size()));
  }
  DbNode WideText(uint16_t label, const std::string& textWithNul) {
    return MakeNode(NodeType::WideText, AppendBytes(textWithNul), label,
                    static_cast<uint16_t>(textWithNul.size()));
  }
  DbNode SignedBytes(uint16_t label, std::initializer_list<int8_t> values) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    for (int8_t v : values) bytePool.push_back(static_cast<uint8_t>(v));
    return MakeNode(NodeType::SignedBytes, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode UnsignedBytes(uint16_t label, std::initializer_list<uint8_t> values) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    bytePool.insert(bytePool.end(), values);
    return MakeNode(NodeType::UnsignedBytes, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode Int32s(uint16_t label, std::initializer_list<int32_t> values) {
    const auto offset = static_cast<uint32_t>(int32Pool.size());
    int32Pool.insert(int32Pool.end(), values);
    return MakeNode(NodeType::Int32Array, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode Int16s(uint16_t label, std::initializer_list<uint16_t> values) {
    const auto offset = static_cast<uint32_t>(int16Pool.size());
    int16Pool.insert(int16Pool.end(), values);
    return MakeNode(NodeType::Int16Array, offset, label, static_cast<uint16_t>(values.size()));
  }
  DbNode UInt16s(uint16_t label, std::initializer_list<uint16_t> values) {
    const auto offset = static_cast<uint32_t>(int16Pool.size());
    int16Pool.insert(int16Pool.end(), values);
    return MakeNode(NodeType::UInt16Array, offset, label, static_cast<uint16_t>(values.size()));
  }
  static DbNode Computed(uint16_t label, uint16_t subCode) {
    return MakeNode(NodeType::Computed, 0, label, subCode);
  }

  void Key(uint16_t key, uint32_t root) {
    keys.push_back(key);
    roots.push_back(root);
  }

  // The image over the vectors as they are now; an empty vector is an absent table.
  // Rebuild after changing the vectors.
  const DbImage& Image() {
    image_ = DbImage{};
    image_.counts[mdb::kNodeCount] = Count(nodes);
    image_.counts[mdb::kDirectoryCount] = Count(keys);
    image_.counts[mdb::kInt32Count] = Count(int32Pool);
    image_.counts[mdb::kInt16Count] = Count(int16Pool);
    image_.counts[mdb::kByteCount] = Count(bytePool);
    image_.counts[mdb::kStringCount] = Count(stringPool);
    image_.nodes = Data(nodes);
    image_.directoryKeys = Data(keys);
    image_.directoryRoots = Data(roots);
    image_.int32Pool = Data(int32Pool);
    image_.int16Pool = Data(int16Pool);
    image_.bytePool = Data(bytePool);
    image_.stringPool = Data(stringPool);
    return image_;
  }
  mdb::QueryEnv Env(const mdb::EvalTracer* tracer = nullptr) {
    return mdb::QueryEnv{&Image(), tracer};
  }

 private:
  DbImage image_{};

  uint32_t AppendBytes(const std::string& data) {
    const auto offset = static_cast<uint32_t>(bytePool.size());
    bytePool.insert(bytePool.end(), data.begin(), data.end());
    return offset;
  }
  template <typename T>
  static uint32_t Count(const std::vector<T>& v) {
    return static_cast<uint32_t>(v.size());
  }
  template <typename T>
  static const T* Data(const std::vector<T>& v) {
    return v.empty() ? nullptr : v.data();
  }
};

// A context over vectors the test keeps alive.
struct ContextHolder {
  std::vector<int32_t> settings;
  std::vector<const char*> strings;
  void* printer = nullptr;
  const char16_t* printerName = nullptr;
  bool nullSettings = false;
  bool nullStrings = false;

  QueryContext Get() const {
    QueryContext c{};
    c.hPrinter = printer;
    c.hostData = 0;
    c.stringCount = static_cast<uint32_t>(strings.size());
    c.strings = nullStrings || strings.empty() ? nullptr : strings.data();
    c.settingCount = static_cast<uint32_t>(settings.size());
    c.settings = nullSettings || settings.empty() ? nullptr : settings.data();
    c.printerName = printerName;
    return c;
  }
};

}  // namespace mdbtest
