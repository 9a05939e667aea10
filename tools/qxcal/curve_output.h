// Curves for people and for colour-management tools: an SVG plot a browser shows (axes
// labelled, one path per curve, a legend) and a CGATS text file in the .cal layout (one
// column per ink, 256 rows, values scaled to 0-1).
#pragma once

#include <string>
#include <vector>

#include "table_reader.h"

namespace qxcal {

struct PlotCurve {
  std::string label;
  CurveValues values;
  bool dashed = false;  // drawn dashed, e.g. the curve before a calibration
};

std::string CurvesSvg(const std::vector<PlotCurve>& curves, const std::string& title);

// Curves of one table, one column per ink position in order. Each value is divided by
// fullScale and kept within 0-1.
std::string CurvesCgats(const std::vector<PlotCurve>& curves, double fullScale, const std::string& description);

// The 12-bit full scale of a curve entry.
inline constexpr double kDefaultFullScale = 4095.0;

}  // namespace qxcal
