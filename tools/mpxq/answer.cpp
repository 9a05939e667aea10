#include "answer.h"

#include <algorithm>
#include <cstdio>

#include "drv_keys.h"
#include "evaluator.h"
#include "fetch.h"
#include "image.h"
#include "printer_commands.h"
#include "query_env.h"
#include "text.h"

namespace mpxq {

namespace {

// Computed sub-codes by what they answer.
constexpr uint32_t kComputedPageFormat = 1;
constexpr uint32_t kComputedAreaUser = 2;
constexpr uint32_t kComputedAreaPaper = 3;
constexpr uint32_t kComputedLengthDots = 4;

bool IsItemListKey(uint16_t key) {
  return std::find(std::begin(drv::kItemListKeys), std::end(drv::kItemListKeys), key) !=
         std::end(drv::kItemListKeys);
}

const char* LeafTypeName(uint32_t type) {
  static constexpr const char* kNames[] = {"", "Bytes", "Int32Array", "SignedBytes", "Int16Array",
                                           "UnsignedBytes", "UInt16Array", "WideText"};
  if (type < std::size(kNames)) return kNames[type];
  return type == static_cast<uint32_t>(mdb::NodeType::Computed) ? "Computed" : "node";
}

}  // namespace

const char* ShapeName(AnswerShape shape) {
  switch (shape) {
    case AnswerShape::Values: return "values";
    case AnswerShape::Text: return "text";
    case AnswerShape::Commands: return "commands";
    case AnswerShape::ItemRecords: return "item records";
    case AnswerShape::SelectorRecord: return "selector record";
    case AnswerShape::PrintableArea: return "printable area";
  }
  return "values";
}

ShapeInfo ClassifyAnswer(const Query& query) {
  if (query.category->category == Category::Drv) {
    if (IsItemListKey(query.key)) return {AnswerShape::ItemRecords, "item list"};
    if (query.key >= drv::kFirstSequenceKey && query.key <= drv::kLastSequenceKey) {
      return {AnswerShape::Commands, "command sequence"};
    }
    if (query.key == drv::kSelectorKey) return {AnswerShape::SelectorRecord, "selector key"};
  }
  std::vector<const char*> strings;
  const QueryContext context = ContextOf(query, &strings);
  mdb::DbNode leaf{};
  if (mdb::LookupKey(mdb::ShippedEnv(), query.key, &context, &leaf) != MPX_OK) {
    return {AnswerShape::Values, "no leaf found"};
  }
  const uint32_t type = mdb::NodeTypeCode(leaf);
  const std::string source = std::string(LeafTypeName(type)) + " leaf";
  switch (static_cast<mdb::NodeType>(type)) {
    case mdb::NodeType::WideText:
      return {AnswerShape::Text, source};
    case mdb::NodeType::Bytes:
      return {AnswerShape::Commands, source};
    case mdb::NodeType::Computed: {
      const uint32_t subCode = mdb::NodeCount(leaf);
      const std::string computed = "Computed leaf, sub-code " + std::to_string(subCode);
      if (subCode == kComputedAreaUser || subCode == kComputedAreaPaper) {
        return {AnswerShape::PrintableArea, computed};
      }
      if (subCode == kComputedLengthDots) return {AnswerShape::Values, computed};
      if (subCode == kComputedPageFormat || subCode > kComputedLengthDots) {
        return {AnswerShape::Commands, computed};
      }
      return {AnswerShape::Values, computed};
    }
    default:
      return {AnswerShape::Values, source};
  }
}

std::vector<ItemRecord> ItemRecords(const std::vector<uint8_t>& answer) {
  std::vector<ItemRecord> records;
  for (size_t r = 0; (r + 1) * drv::kItemRecordSize <= answer.size(); ++r) {
    const size_t base = r * 5;
    records.push_back({AnswerValue(answer, base), AnswerValue(answer, base + 1),
                       AnswerValue(answer, base + 2), AnswerValue(answer, base + 3),
                       AnswerValue(answer, base + 4)});
  }
  return records;
}

std::vector<int32_t> ItemListLeafIds(const Query& query) {
  std::vector<const char*> strings;
  const QueryContext context = ContextOf(query, &strings);
  mdb::DbNode leaf{};
  if (mdb::LookupKey(mdb::ShippedEnv(), query.key, &context, &leaf) != MPX_OK) return {};
  uint32_t size = 0;
  if (mdb::FetchTypedValue(mdb::ShippedEnv(), &context, 0, nullptr, &size, leaf) != MPX_BUFFER_TOO_SMALL) return {};
  std::vector<uint8_t> bytes(size);
  if (mdb::FetchTypedValue(mdb::ShippedEnv(), &context, size, bytes.data(), &size, leaf) != MPX_OK) return {};
  return AnswerValues(bytes);
}

std::string DecodeText(const std::vector<uint8_t>& answer) {
  std::u16string text;
  for (size_t i = 0; i + 1 < answer.size(); i += 2) {
    const auto unit = static_cast<char16_t>(answer[i] | answer[i + 1] << 8);
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return tools::Utf16ToUtf8(text);
}

namespace {

std::string ValuesText(const std::vector<int32_t>& values) {
  std::string out = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ", ";
    out += std::to_string(values[i]);
  }
  return out + "]";
}

constexpr const char* kAreaFields[] = {"left offset", "printable width", "top offset",
                                       "printable length"};

// Bytes 28-47 of a row of selector row table 1 hold the table file's name.
constexpr size_t kRowFileNameOffset = 28;
constexpr size_t kRowFileNameSize = 20;

std::string RowFileName(const std::vector<uint8_t>& answer) {
  std::string name;
  for (size_t i = kRowFileNameOffset; i < kRowFileNameOffset + kRowFileNameSize && i < answer.size(); ++i) {
    if (answer[i] == 0) break;
    if (answer[i] < 0x20 || answer[i] >= 0x7F) return "";
    name.push_back(static_cast<char>(answer[i]));
  }
  return name;
}

}  // namespace

std::string AnswerListing(const ShapeInfo& shape, const std::vector<uint8_t>& answer) {
  std::string out;
  char buffer[160];
  switch (shape.shape) {
    case AnswerShape::Values:
      out = "  " + ValuesText(AnswerValues(answer)) + "\n";
      break;
    case AnswerShape::Text:
      out = "  \"" + DecodeText(answer) + "\"\n";
      break;
    case AnswerShape::Commands:
      out = ListCommands(SplitCommands(answer), "  ");
      break;
    case AnswerShape::PrintableArea: {
      const std::vector<int32_t> values = AnswerValues(answer);
      for (size_t i = 0; i < values.size() && i < std::size(kAreaFields); ++i) {
        std::snprintf(buffer, sizeof buffer, "  %-17s %7d (%.2f mm)\n", kAreaFields[i], values[i],
                      values[i] / 100.0);
        out += buffer;
      }
      break;
    }
    case AnswerShape::ItemRecords: {
      out = "        id      value  completion1  completion2   mark\n";
      for (const ItemRecord& r : ItemRecords(answer)) {
        std::snprintf(buffer, sizeof buffer, "  %8d %10d %12d %12d %6d%s\n", r.id, r.value,
                      r.completion1, r.completion2, r.mark, r.mark != 0 ? "  <- marked" : "");
        out += buffer;
      }
      break;
    }
    case AnswerShape::SelectorRecord: {
      size_t offset = 0;
      for (size_t t = 0; t < std::size(drv::kSelectorRowSizes) && offset < answer.size(); ++t) {
        const size_t n = std::min<size_t>(drv::kSelectorRowSizes[t], answer.size() - offset);
        std::snprintf(buffer, sizeof buffer, "  row of table %zu (%zu bytes at %zu):\n", t + 1, n, offset);
        out += buffer;
        for (size_t i = 0; i < n; i += 16) {
          out += "    " + tools::HexBytes(std::span(answer).subspan(offset + i, std::min<size_t>(16, n - i))) + "\n";
        }
        offset += n;
      }
      if (const std::string name = RowFileName(answer); !name.empty()) {
        out += "  table file named in the row of table 1: " + name + "\n";
      }
      break;
    }
  }
  return out;
}

nlohmann::json AnswerJson(const ShapeInfo& shape, const std::vector<uint8_t>& answer) {
  nlohmann::json out = {{"shape", ShapeName(shape.shape)}, {"source", shape.source},
                        {"hex", tools::HexBytes(answer, "")}};
  switch (shape.shape) {
    case AnswerShape::Values:
      out["values"] = AnswerValues(answer);
      break;
    case AnswerShape::Text:
      out["text"] = DecodeText(answer);
      break;
    case AnswerShape::Commands:
      out["commands"] = CommandsJson(SplitCommands(answer));
      break;
    case AnswerShape::PrintableArea: {
      const std::vector<int32_t> values = AnswerValues(answer);
      out["values"] = values;
      for (size_t i = 0; i < values.size() && i < std::size(kAreaFields); ++i) {
        out["area"][kAreaFields[i]] = values[i];
      }
      break;
    }
    case AnswerShape::ItemRecords: {
      nlohmann::json records = nlohmann::json::array();
      for (const ItemRecord& r : ItemRecords(answer)) {
        records.push_back({{"id", r.id}, {"value", r.value}, {"completion1", r.completion1},
                           {"completion2", r.completion2}, {"mark", r.mark}});
      }
      out["records"] = records;
      break;
    }
    case AnswerShape::SelectorRecord: {
      nlohmann::json rows = nlohmann::json::array();
      size_t offset = 0;
      for (size_t t = 0; t < std::size(drv::kSelectorRowSizes) && offset < answer.size(); ++t) {
        const size_t n = std::min<size_t>(drv::kSelectorRowSizes[t], answer.size() - offset);
        rows.push_back(tools::HexBytes(std::span(answer).subspan(offset, n), ""));
        offset += n;
      }
      out["rows"] = rows;
      out["table_file"] = RowFileName(answer);
      break;
    }
  }
  return out;
}

}  // namespace mpxq
