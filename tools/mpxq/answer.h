// What an answer's bytes are, and the answer decoded by that shape: 32-bit values, UTF-16
// text, printer commands, item records, the selector record or a printable-area record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "modeldb_client.h"

namespace mpxq {

enum class AnswerShape : uint8_t {
  Values,          // 32-bit little-endian values
  Text,            // UTF-16 text with its NUL
  Commands,        // printer command bytes
  ItemRecords,     // 20-byte item records
  SelectorRecord,  // the 192-byte record of key 4126
  PrintableArea,   // four 32-bit values: left offset, width, top offset, length
};

struct ShapeInfo {
  AnswerShape shape;
  std::string source;  // what decided it: "SignedBytes leaf", "command sequence", ...
};

// The shape of the key's answer for the query's settings, from the database's leaf (or
// the Drv key's list kind). Values when nothing tells.
ShapeInfo ClassifyAnswer(const Query& query);

// Marked item of an item list (field 4 not 0); -1 when none.
struct ItemRecord {
  int32_t id, value, completion1, completion2, mark;
};
std::vector<ItemRecord> ItemRecords(const std::vector<uint8_t>& answer);

// The ids an item-list key's own leaf holds for the query's settings, read from the database
// built into this tool; the list key itself answers only once its mark key does.
std::vector<int32_t> ItemListLeafIds(const Query& query);

std::string DecodeText(const std::vector<uint8_t>& answer);

// The decoded answer as text lines (each starting with two spaces) and as JSON.
std::string AnswerListing(const ShapeInfo& shape, const std::vector<uint8_t>& answer);
nlohmann::json AnswerJson(const ShapeInfo& shape, const std::vector<uint8_t>& answer);

const char* ShapeName(AnswerShape shape);

}  // namespace mpxq
