#include "node_text.h"

#include <cstdio>
#include <vector>

#include "fetch.h"
#include "query_env.h"
#include "text.h"

namespace mpxq {

namespace {

using mdb::NodeType;

constexpr size_t kBytesShown = 12;

std::string Hex4(uint32_t key) { return tools::HexNumber(key, 4); }

}  // namespace

const char* NodeTypeName(uint32_t type) {
  static constexpr const char* kNames[] = {
      "node 0",         "Bytes",          "Int32Array",    "SignedBytes",  "Int16Array",
      "UnsignedBytes",  "UInt16Array",    "WideText",      "Sequence",     "SettingFilter",
      "SettingGuard",   "SettingSwitch",  "StringSwitch",  "PrinterDataSwitch",
      "LocaleSwitch",   "ValueCase",      "StringCase",    "DefaultCase",  "Computed",
      "MaskedSettingSwitch", "MaskHeader", "RangeCase"};
  return type < std::size(kNames) ? kNames[type] : "unknown node";
}

bool IsLeafNode(mdb::DbNode node) {
  const uint32_t type = mdb::NodeTypeCode(node);
  return (type >= static_cast<uint32_t>(NodeType::Bytes) && type <= static_cast<uint32_t>(NodeType::WideText)) ||
         type == static_cast<uint32_t>(NodeType::Computed);
}

std::string LeafValueText(const mdb::DbImage& image, mdb::DbNode leaf) {
  const uint32_t type = mdb::NodeTypeCode(leaf);
  if (type == static_cast<uint32_t>(NodeType::Computed)) {
    return "computed value " + std::to_string(mdb::NodeCount(leaf));
  }
  const mdb::QueryEnv env{&image, nullptr};
  const QueryContext context{};
  uint32_t size = 0;
  int32_t status = mdb::FetchTypedValue(env, &context, 0, nullptr, &size, leaf);
  std::vector<uint8_t> bytes(size);
  if (status == MPX_BUFFER_TOO_SMALL) {
    status = mdb::FetchTypedValue(env, &context, size, bytes.empty() ? nullptr : bytes.data(), &size, leaf);
  }
  if (status != MPX_OK) return "(unreadable)";
  if (type == static_cast<uint32_t>(NodeType::Bytes)) {
    const size_t shown = bytes.size() < kBytesShown ? bytes.size() : kBytesShown;
    std::string text = tools::HexBytes(std::span(bytes).first(shown));
    if (shown < bytes.size()) text += " ...";
    return text + " (" + std::to_string(bytes.size()) + " bytes)";
  }
  if (type == static_cast<uint32_t>(NodeType::WideText)) {
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) break;
      text.push_back(static_cast<char>(bytes[i]));
    }
    return "\"" + text + "\"";
  }
  std::string text = "[";
  for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
    const uint32_t u = static_cast<uint32_t>(bytes[i]) | static_cast<uint32_t>(bytes[i + 1]) << 8 |
                       static_cast<uint32_t>(bytes[i + 2]) << 16 | static_cast<uint32_t>(bytes[i + 3]) << 24;
    if (i > 0) text += ", ";
    text += std::to_string(static_cast<int32_t>(u));
  }
  return text + "]";
}

std::string StringCaseText(const mdb::DbImage& image, mdb::DbNode stringCase) {
  mdb::DbNode descriptor{};
  if (!mdb::ReadNode(image, stringCase.value, &descriptor)) return "(unreadable)";
  const uint32_t offset = mdb::NodeIndex(descriptor);
  const uint32_t length = mdb::NodeCount(descriptor);
  const uint32_t poolCount = image.counts[mdb::kStringCount];
  if (image.stringPool == nullptr || offset > poolCount || length > poolCount - offset) return "(unreadable)";
  // Appended piece by piece: GCC 12 warns falsely about a literal + string chain here.
  std::string text(1, '"');
  text += tools::PrintableText(std::span(image.stringPool + offset, length));
  text.push_back('"');
  return text;
}

std::string RangeCaseText(const mdb::DbImage& image, mdb::DbNode rangeCase) {
  const uint32_t pair = rangeCase.value;
  if (image.int32Pool == nullptr || pair + 1 >= image.counts[mdb::kInt32Count]) return "(unreadable)";
  return std::to_string(image.int32Pool[pair]) + ".." + std::to_string(image.int32Pool[pair + 1]);
}

std::string DescribeNode(const mdb::DbImage& image, mdb::DbNode node) {
  const uint32_t type = mdb::NodeTypeCode(node);
  const uint32_t p = mdb::NodeParam(node);
  const uint32_t n = mdb::NodeCount(node);
  const std::string name = NodeTypeName(type);
  const std::string children = std::to_string(n) + (n == 1 ? " child" : " children");
  const std::string cases = std::to_string(n) + (n == 1 ? " case" : " cases");
  if (IsLeafNode(node)) {
    if (type == static_cast<uint32_t>(NodeType::Computed)) {
      return name + " @" + Hex4(p) + " sub-code " + std::to_string(n);
    }
    return name + " @" + Hex4(p) + " x" + std::to_string(n) + " " + LeafValueText(image, node);
  }
  switch (static_cast<NodeType>(type)) {
    case NodeType::Sequence: return name + ", " + children;
    case NodeType::SettingFilter: return name + " on setting " + std::to_string(p) + ", " + children;
    case NodeType::SettingGuard: return name + " " + std::to_string(p) + ", " + children;
    case NodeType::SettingSwitch: return name + " on setting " + std::to_string(p) + ", " + cases;
    case NodeType::MaskedSettingSwitch: {
      mdb::DbNode header{};
      const std::string mask = mdb::ReadNode(image, mdb::NodeIndex(node), &header)
                                   ? tools::HexNumber(header.value, 4)
                                   : "(unreadable)";
      return name + " on setting " + std::to_string(p) + " mask " + mask + ", " + cases;
    }
    case NodeType::PrinterDataSwitch:
      return name + " on printer-data value number " + std::to_string(p) + ", " + cases;
    case NodeType::LocaleSwitch: return name + " on the locale's country code, " + cases;
    case NodeType::StringSwitch: return name + " on context string " + std::to_string(p) + ", " + cases;
    case NodeType::ValueCase:
      return name + " " + std::to_string(node.value) + " -> #" + std::to_string(mdb::NodeIndex(node));
    case NodeType::RangeCase:
      return name + " " + RangeCaseText(image, node) + " -> #" + std::to_string(mdb::NodeIndex(node));
    case NodeType::StringCase:
      return name + " " + StringCaseText(image, node) + " -> #" + std::to_string(mdb::NodeIndex(node));
    case NodeType::DefaultCase: return name + " -> #" + std::to_string(mdb::NodeIndex(node));
    default: return name;
  }
}

}  // namespace mpxq
