// Which curves differ between two table files, by table id and ink position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "table_reader.h"

namespace qxcal {

enum class CurveChange : uint8_t { Changed, OnlyInFirst, OnlyInSecond };

struct CurveDifference {
  uint16_t tableId;
  int32_t inkPosition;
  CurveChange change;
  uint32_t entriesDiffering;  // Changed only
  int32_t largestChange;      // Changed only: second minus first, the entry of largest size
  const Curve* first;         // null when absent
  const Curve* second;
};

struct TableDifference {
  bool identDiffers = false;
  std::vector<CurveDifference> curves;
  uint64_t otherBytesDiffering = 0;  // outside every curve, when both files have one size
  bool sizesDiffer = false;
};

// Curves are matched by table id and ink position (and by order when a table repeats an ink).
TableDifference CompareTables(const TableFile& first, const std::vector<uint8_t>& firstBytes, const TableFile& second,
                              const std::vector<uint8_t>& secondBytes);

// "table 1302: ink positions 0, 2, 5 changed" lines, each starting with indent.
std::string DifferenceListing(const TableDifference& difference, const std::string& indent);
nlohmann::json DifferenceJson(const TableDifference& difference);

}  // namespace qxcal
