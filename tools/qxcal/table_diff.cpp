#include "table_diff.h"

#include <cstdlib>
#include <map>
#include <tuple>
#include <utility>

namespace qxcal {

namespace {

using CurveKey = std::tuple<uint16_t, int32_t, uint32_t>;  // table, ink position, occurrence

std::map<CurveKey, const Curve*> Index(const TableFile& table) {
  std::map<CurveKey, const Curve*> index;
  std::map<std::pair<uint16_t, int32_t>, uint32_t> seen;
  for (const HtChunk& chunk : table.htChunks) {
    for (const Curve& curve : chunk.curves) {
      const uint32_t occurrence = seen[{curve.tableId, curve.inkPosition}]++;
      index[{curve.tableId, curve.inkPosition, occurrence}] = &curve;
    }
  }
  return index;
}

const char* ChangeName(CurveChange change) {
  switch (change) {
    case CurveChange::Changed: return "changed";
    case CurveChange::OnlyInFirst: return "only in the first file";
    case CurveChange::OnlyInSecond: return "only in the second file";
  }
  return "changed";
}

}  // namespace

TableDifference CompareTables(const TableFile& first, const std::vector<uint8_t>& firstBytes, const TableFile& second,
                              const std::vector<uint8_t>& secondBytes) {
  TableDifference difference;
  difference.identDiffers = first.ident != second.ident;
  const auto a = Index(first);
  const auto b = Index(second);
  for (const auto& [key, curve] : a) {
    const auto other = b.find(key);
    if (other == b.end()) {
      difference.curves.push_back({std::get<0>(key), std::get<1>(key), CurveChange::OnlyInFirst, 0, 0, curve, nullptr});
      continue;
    }
    uint32_t differing = 0;
    int32_t largest = 0;
    for (uint32_t i = 0; i < kCurveEntries; ++i) {
      const int32_t delta = other->second->values[i] - curve->values[i];
      if (delta != 0) ++differing;
      if (std::abs(delta) > std::abs(largest)) largest = delta;
    }
    if (differing > 0) {
      difference.curves.push_back({std::get<0>(key), std::get<1>(key), CurveChange::Changed, differing, largest, curve,
                                   other->second});
    }
  }
  for (const auto& [key, curve] : b) {
    if (a.find(key) == a.end()) {
      difference.curves.push_back({std::get<0>(key), std::get<1>(key), CurveChange::OnlyInSecond, 0, 0, nullptr, curve});
    }
  }
  difference.sizesDiffer = firstBytes.size() != secondBytes.size();
  if (!difference.sizesDiffer) {
    // Bytes outside the curves of both files.
    std::vector<bool> inCurve(firstBytes.size(), false);
    for (const TableFile* table : {&first, &second}) {
      for (const HtChunk& chunk : table->htChunks) {
        for (const Curve& curve : chunk.curves) {
          for (uint32_t i = 0; i < 2 * kCurveEntries && curve.fileOffset + i < inCurve.size(); ++i) {
            inCurve[curve.fileOffset + i] = true;
          }
        }
      }
    }
    for (size_t i = 0; i < firstBytes.size(); ++i) {
      if (!inCurve[i] && firstBytes[i] != secondBytes[i]) ++difference.otherBytesDiffering;
    }
  }
  return difference;
}

std::string DifferenceListing(const TableDifference& difference, const std::string& indent) {
  std::string out;
  if (difference.identDiffers) out += indent + "the identification texts differ\n";
  std::map<std::pair<uint16_t, CurveChange>, std::vector<const CurveDifference*>> byTable;
  for (const CurveDifference& d : difference.curves) byTable[{d.tableId, d.change}].push_back(&d);
  for (const auto& [key, list] : byTable) {
    std::string inks;
    for (const CurveDifference* d : list) {
      inks += (inks.empty() ? "" : ", ") + std::to_string(d->inkPosition);
      if (d->change == CurveChange::Changed) {
        inks += " (" + std::to_string(d->entriesDiffering) + " entries, up to " +
                (d->largestChange > 0 ? "+" : "") + std::to_string(d->largestChange) + ")";
      }
    }
    out += indent + "table " + std::to_string(key.first) + ": ink position" + (list.size() == 1 ? " " : "s ") + inks +
           " " + ChangeName(key.second) + "\n";
  }
  if (difference.sizesDiffer) {
    out += indent + "the files differ in size\n";
  } else if (difference.otherBytesDiffering > 0) {
    out += indent + std::to_string(difference.otherBytesDiffering) + " bytes outside the curves differ\n";
  }
  if (out.empty()) out = indent + "no difference\n";
  return out;
}

nlohmann::json DifferenceJson(const TableDifference& difference) {
  nlohmann::json curves = nlohmann::json::array();
  for (const CurveDifference& d : difference.curves) {
    nlohmann::json item = {{"table", d.tableId}, {"ink_position", d.inkPosition}, {"change", ChangeName(d.change)}};
    if (d.change == CurveChange::Changed) {
      item["entries_differing"] = d.entriesDiffering;
      item["largest_change"] = d.largestChange;
    }
    curves.push_back(item);
  }
  nlohmann::json out = {{"ident_differs", difference.identDiffers}, {"curves", curves},
                        {"sizes_differ", difference.sizesDiffer}};
  if (!difference.sizesDiffer) out["other_bytes_differing"] = difference.otherBytesDiffering;
  return out;
}

}  // namespace qxcal
