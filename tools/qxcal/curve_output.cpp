#include "curve_output.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace qxcal {

namespace {

// Plot geometry in SVG user units.
constexpr double kWidth = 860;
constexpr double kHeight = 560;
constexpr double kLeft = 80;
constexpr double kRight = 230;  // room for the legend
constexpr double kTop = 50;
constexpr double kBottom = 70;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;
constexpr uint32_t kXTicks = 8;
constexpr uint32_t kYTicks = 8;
constexpr uint32_t kLegendRowsShown = 40;

constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#393b79", "#637939"};

std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // XML 1.0 allows no control characters but tab, line feed and carriage return.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out.push_back(c);
    }
  }
  return out;
}

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// The top of the value axis: the 12-bit full scale, or above the highest value.
double AxisTop(const std::vector<PlotCurve>& curves) {
  uint32_t highest = 0;
  for (const PlotCurve& curve : curves) highest = std::max<uint32_t>(highest, *std::max_element(curve.values.begin(), curve.values.end()));
  double top = kDefaultFullScale + 1;
  while (highest > top) top *= 2;
  return top;
}

}  // namespace

std::string CurvesSvg(const std::vector<PlotCurve>& curves, const std::string& title) {
  const double top = AxisTop(curves);
  const auto x = [](double input) { return kLeft + input / 255.0 * kPlotWidth; };
  const auto y = [top](double value) { return kTop + kPlotHeight - value / top * kPlotHeight; };
  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(kWidth) + "\" height=\"" + Number(kHeight) +
         "\" viewBox=\"0 0 " + Number(kWidth) + " " + Number(kHeight) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "  <title>" + Escape(title) + "</title>\n";
  svg += "  <rect x=\"0\" y=\"0\" width=\"" + Number(kWidth) + "\" height=\"" + Number(kHeight) + "\" fill=\"white\"/>\n";
  svg += "  <text x=\"" + Number(kLeft) + "\" y=\"28\" font-size=\"15\">" + Escape(title) + "</text>\n";

  // Grid, ticks and axis labels.
  svg += "  <g class=\"axes\" stroke=\"#888\" stroke-width=\"1\">\n";
  for (uint32_t i = 0; i <= kXTicks; ++i) {
    const double input = 255.0 * i / kXTicks;
    svg += "    <line x1=\"" + Number(x(input)) + "\" y1=\"" + Number(kTop) + "\" x2=\"" + Number(x(input)) + "\" y2=\"" +
           Number(kTop + kPlotHeight) + "\" stroke=\"#eee\"/>\n";
  }
  for (uint32_t i = 0; i <= kYTicks; ++i) {
    const double value = top * i / kYTicks;
    svg += "    <line x1=\"" + Number(kLeft) + "\" y1=\"" + Number(y(value)) + "\" x2=\"" + Number(kLeft + kPlotWidth) +
           "\" y2=\"" + Number(y(value)) + "\" stroke=\"#eee\"/>\n";
  }
  svg += "    <line x1=\"" + Number(kLeft) + "\" y1=\"" + Number(kTop + kPlotHeight) + "\" x2=\"" + Number(kLeft + kPlotWidth) +
         "\" y2=\"" + Number(kTop + kPlotHeight) + "\"/>\n";
  svg += "    <line x1=\"" + Number(kLeft) + "\" y1=\"" + Number(kTop) + "\" x2=\"" + Number(kLeft) + "\" y2=\"" +
         Number(kTop + kPlotHeight) + "\"/>\n";
  svg += "  </g>\n  <g class=\"tick-labels\" fill=\"#333\">\n";
  for (uint32_t i = 0; i <= kXTicks; ++i) {
    const double input = 255.0 * i / kXTicks;
    svg += "    <text x=\"" + Number(x(input)) + "\" y=\"" + Number(kTop + kPlotHeight + 18) +
           "\" text-anchor=\"middle\">" + std::to_string(static_cast<int>(input + 0.5)) + "</text>\n";
  }
  for (uint32_t i = 0; i <= kYTicks; ++i) {
    const double value = top * i / kYTicks;
    svg += "    <text x=\"" + Number(kLeft - 8) + "\" y=\"" + Number(y(value) + 4) + "\" text-anchor=\"end\">" +
           std::to_string(static_cast<int>(value + 0.5)) + "</text>\n";
  }
  svg += "  </g>\n";
  svg += "  <text class=\"axis-label\" x=\"" + Number(kLeft + kPlotWidth / 2) + "\" y=\"" + Number(kHeight - 22) +
         "\" text-anchor=\"middle\">input level (curve entry 0-255)</text>\n";
  svg += "  <text class=\"axis-label\" x=\"20\" y=\"" + Number(kTop + kPlotHeight / 2) +
         "\" text-anchor=\"middle\" transform=\"rotate(-90 20 " + Number(kTop + kPlotHeight / 2) +
         ")\">output value (16-bit curve entry)</text>\n";

  // One path per curve, and its legend entry.
  svg += "  <g class=\"curves\" fill=\"none\" stroke-width=\"1.5\">\n";
  for (size_t c = 0; c < curves.size(); ++c) {
    const PlotCurve& curve = curves[c];
    std::string d;
    for (uint32_t i = 0; i < kCurveEntries; ++i) {
      d += (i == 0 ? "M" : " L") + Number(x(i)) + "," + Number(y(curve.values[i]));
    }
    svg += "    <path class=\"curve\" stroke=\"" + std::string(kColours[c % std::size(kColours)]) + "\"" +
           (curve.dashed ? " stroke-dasharray=\"5,4\"" : "") + " d=\"" + d + "\"><title>" + Escape(curve.label) +
           "</title></path>\n";
  }
  svg += "  </g>\n  <g class=\"legend\">\n";
  for (size_t c = 0; c < curves.size() && c < kLegendRowsShown; ++c) {
    const double rowY = kTop + 10 + 12.0 * static_cast<double>(c);
    const double lineX = kLeft + kPlotWidth + 16;
    svg += "    <line x1=\"" + Number(lineX) + "\" y1=\"" + Number(rowY - 4) + "\" x2=\"" + Number(lineX + 22) + "\" y2=\"" +
           Number(rowY - 4) + "\" stroke=\"" + kColours[c % std::size(kColours)] + "\" stroke-width=\"2\"" +
           (curves[c].dashed ? " stroke-dasharray=\"5,4\"" : "") + "/>\n";
    svg += "    <text x=\"" + Number(lineX + 28) + "\" y=\"" + Number(rowY) + "\" font-size=\"10\">" +
           Escape(curves[c].label) + "</text>\n";
  }
  if (curves.size() > kLegendRowsShown) {
    svg += "    <text x=\"" + Number(kLeft + kPlotWidth + 16) + "\" y=\"" +
           Number(kTop + 10 + 12.0 * kLegendRowsShown) + "\" font-size=\"10\">and " +
           std::to_string(curves.size() - kLegendRowsShown) + " more</text>\n";
  }
  svg += "  </g>\n</svg>\n";
  return svg;
}

std::string CurvesCgats(const std::vector<PlotCurve>& curves, double fullScale, const std::string& description) {
  const std::string rep = std::to_string(curves.size()) + "CLR";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char created[64];
  std::strftime(created, sizeof created, "%a %b %d %H:%M:%S %Y", &local);
  std::string out = "CAL\n\n";
  std::string quoted = description;
  std::replace(quoted.begin(), quoted.end(), '"', '\'');
  out += "DESCRIPTOR \"" + quoted + "\"\n";
  out += "ORIGINATOR \"qxcal " MPX_TOOLS_VERSION "\"\n";
  out += std::string("CREATED \"") + created + "\"\n";
  out += "KEYWORD \"DEVICE_CLASS\"\nDEVICE_CLASS \"OUTPUT\"\n";
  out += "KEYWORD \"COLOR_REP\"\nCOLOR_REP \"" + rep + "\"\n\n";
  out += "NUMBER_OF_FIELDS " + std::to_string(curves.size() + 1) + "\nBEGIN_DATA_FORMAT\n" + rep + "_I";
  for (size_t c = 0; c < curves.size(); ++c) out += " " + rep + "_" + std::to_string(c + 1);
  out += "\nEND_DATA_FORMAT\n\nNUMBER_OF_SETS " + std::to_string(kCurveEntries) + "\nBEGIN_DATA\n";
  char buffer[32];
  for (uint32_t i = 0; i < kCurveEntries; ++i) {
    std::snprintf(buffer, sizeof buffer, "%.6f", i / 255.0);
    out += buffer;
    for (const PlotCurve& curve : curves) {
      const double value = std::clamp(curve.values[i] / fullScale, 0.0, 1.0);
      std::snprintf(buffer, sizeof buffer, " %.6f", value);
      out += buffer;
    }
    out += "\n";
  }
  out += "END_DATA\n";
  return out;
}

}  // namespace qxcal
