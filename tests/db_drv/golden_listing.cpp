#include "golden_listing.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "db_query.h"
#include "entry.h"
#include "image.h"
#include "query_env.h"
#include "testing/fault_control.h"

namespace dbtest {

namespace {

// ---- Inputs ---------------------------------------------------------------------------------

enum class PrinterState : uint8_t { SilentOn, SilentInWindow, SilentOutOfWindow, SilentOff, NoValue, NoPrinter };

struct Assignment {
  enum class Kind : uint8_t { Setting, String, Printer, NoSettings, NoStrings } kind;
  uint32_t position = 0;
  int32_t value = 0;
  std::string text;
};

struct AxisValue {
  std::string label;
  std::vector<Assignment> assignments;
};

// values[0] is the base value; pairs: whether the axis is combined with the others.
struct Axis {
  std::string name;
  std::vector<AxisValue> values;
  bool pairs = true;
};

// A point: the non-base value of each axis it sets, by axis index.
using Point = std::vector<std::pair<size_t, size_t>>;

struct CategoryInfo {
  const char* name;
  mdb::Category category;
  uint32_t firstKey, lastKey;
  uint32_t settings, strings;
};

constexpr CategoryInfo kCategories[] = {
    {"root", mdb::Category::Root, 0x0001, 0x0FFF, 1, 1},
    {"drv", mdb::Category::Drv, 0x1001, 0x1FFF, 95, 0},
    {"lm", mdb::Category::LM, 0x2001, 0x2FFF, 13, 5},
    {"mnt", mdb::Category::Mnt, 0x3001, 0x3FFF, 1, 0},
    {"pa", mdb::Category::PA, 0x4001, 0x4FFF, 4, 0},
    {"sm", mdb::Category::SM, 0x6001, 0x6FFF, 16, 9},
};

// Drv keys the dispatcher answers from several trees, some of them outside the directory.
bool DispatcherKey(uint32_t key) {
  return (key >= 4108 && key <= 4126 && key != 4117) || key == 4173 || key == 4174 ||
         key == 4177 || key == 4180;
}

// The Drv base: engine 3, colour, plain paper, margins, quality 4, first variant, ink set 7,
// A4, and the user-defined and host paper sizes of the computed answers.
const std::map<uint32_t, int32_t> kDrvBase{{4, 3},      {9, 0},      {5, 1},      {8, 4},
                                           {6, 1},      {7, 7},      {28, 9},     {25, 21000},
                                           {26, 29700}, {29, 10000}, {30, 15000}};

constexpr char16_t kPrinter[] = u"Q770";
constexpr uint32_t kClockMinute = 9 * 60 + 5;  // the test clock's 09:05

// ---- What the trees compare -------------------------------------------------------------------

struct Harvest {
  std::map<uint32_t, std::set<int32_t>> settings;
  std::set<uint32_t> maskedSettings;
  std::map<uint32_t, std::set<std::string>> strings;
  std::set<uint32_t> computed;
  bool printerData = false;
};

void Walk(const mdb::DbImage& image, uint32_t index, Harvest* h, std::set<uint32_t>* seen) {
  if (index >= image.counts[mdb::kNodeCount] || !seen->insert(index).second) return;
  const mdb::DbNode node = image.nodes[index];
  const uint32_t type = mdb::NodeTypeCode(node);
  const uint32_t first = mdb::NodeIndex(node);
  const uint32_t param = mdb::NodeParam(node);
  const uint32_t count = mdb::NodeCount(node);
  auto nodeAt = [&image](uint32_t i) { return image.nodes[i]; };
  auto inTable = [&image](uint32_t i) { return i < image.counts[mdb::kNodeCount]; };
  switch (static_cast<mdb::NodeType>(type)) {
    case mdb::NodeType::Sequence:
    case mdb::NodeType::SettingGuard:
    case mdb::NodeType::ValueCase:
    case mdb::NodeType::DefaultCase:
      for (uint32_t c = first; c < first + count; ++c) Walk(image, c, h, seen);
      return;
    case mdb::NodeType::SettingFilter:
      for (uint32_t c = first; c < first + count && inTable(c); ++c) {
        if (mdb::NodeTypeCode(nodeAt(c)) == static_cast<uint32_t>(mdb::NodeType::SettingGuard)) {
          h->settings[param].insert(static_cast<int32_t>(mdb::NodeParam(nodeAt(c))));
        }
        Walk(image, c, h, seen);
      }
      return;
    case mdb::NodeType::SettingSwitch:
    case mdb::NodeType::PrinterDataSwitch:
    case mdb::NodeType::MaskedSettingSwitch:
    case mdb::NodeType::StringSwitch: {
      uint32_t cases = first;
      const auto kind = static_cast<mdb::NodeType>(type);
      if (kind == mdb::NodeType::MaskedSettingSwitch) {
        if (!inTable(first)) return;
        cases = mdb::NodeIndex(nodeAt(first));
        h->maskedSettings.insert(param);
      }
      if (kind == mdb::NodeType::PrinterDataSwitch) h->printerData = true;
      for (uint32_t c = cases; c < cases + count && inTable(c); ++c) {
        const mdb::DbNode k = nodeAt(c);
        const auto caseType = static_cast<mdb::NodeType>(mdb::NodeTypeCode(k));
        if (kind != mdb::NodeType::PrinterDataSwitch && kind != mdb::NodeType::StringSwitch) {
          if (caseType == mdb::NodeType::ValueCase) {
            h->settings[param].insert(static_cast<int32_t>(k.value));
          } else if (caseType == mdb::NodeType::RangeCase &&
                     k.value + 1 < image.counts[mdb::kInt32Count]) {
            const int32_t low = image.int32Pool[k.value];
            const int32_t high = image.int32Pool[k.value + 1];
            std::set<int32_t>& values = h->settings[param];
            values.insert(low);
            values.insert(high);
            if (low > INT_MIN) values.insert(low - 1);
            if (high < INT_MAX) values.insert(high + 1);
          }
        }
        if (kind == mdb::NodeType::StringSwitch && caseType == mdb::NodeType::StringCase &&
            inTable(k.value)) {
          const mdb::DbNode d = nodeAt(k.value);
          const uint32_t offset = mdb::NodeIndex(d);
          const uint32_t length = mdb::NodeCount(d);
          if (offset + length <= image.counts[mdb::kStringCount]) {
            h->strings[param].insert(std::string(image.stringPool + offset,
                                                 image.stringPool + offset + length));
          }
        }
        Walk(image, mdb::NodeIndex(k), h, seen);
      }
      return;
    }
    case mdb::NodeType::Computed:
      h->computed.insert(count);
      return;
    default:
      return;
  }
}

std::string SettingLabel(uint32_t number, int32_t value, bool hex) {
  char text[48];
  if (hex || value >= 0x10000 || value <= -0x10000) {
    std::snprintf(text, sizeof text, "s%u=0x%X", number, static_cast<uint32_t>(value));
  } else {
    std::snprintf(text, sizeof text, "s%u=%d", number, value);
  }
  return text;
}

AxisValue SettingValue(uint32_t number, int32_t value, bool hex) {
  return {SettingLabel(number, value, hex), {{Assignment::Kind::Setting, number, value, ""}}};
}

AxisValue Bundle(std::initializer_list<std::pair<uint32_t, int32_t>> settings) {
  AxisValue v;
  for (const auto& [number, value] : settings) {
    if (!v.label.empty()) v.label += ' ';
    v.label += SettingLabel(number, value, false);
    v.assignments.push_back({Assignment::Kind::Setting, number, value, ""});
  }
  return v;
}

// The axes of one key: each setting and string its trees compare, with the values they
// compare against, one value none of them matches, and the documented inputs of the
// computed answers and of the printer data.
std::vector<Axis> AxesOf(const Harvest& h, const CategoryInfo& cat,
                         const std::map<uint32_t, int32_t>& base) {
  std::vector<Axis> axes;
  std::map<uint32_t, std::set<int32_t>> settings = h.settings;
  if (h.computed.count(1) || h.computed.count(2) || h.computed.count(3) || h.computed.count(4)) {
    settings[52].insert(5);
  }
  if (h.computed.count(6)) {
    for (int32_t v : {0x00800000, 0x00900000, 0x00A00000, 0x00C00000, -1}) settings[79].insert(v);
  }
  for (const auto& [number, found] : settings) {
    if (number == 29 || number == 30 || number == 25 || number == 26) continue;
    const auto b = base.find(number);
    const int32_t baseValue = b == base.end() ? 0 : b->second;
    const bool hex = h.maskedSettings.count(number) != 0;
    Axis axis{"s" + std::to_string(number), {SettingValue(number, baseValue, hex)}, true};
    for (int32_t v : found) {
      if (v != baseValue) axis.values.push_back(SettingValue(number, v, hex));
    }
    int32_t other = 0;
    while (found.count(other) || other == baseValue) ++other;
    axis.values.push_back(SettingValue(number, other, hex));
    axes.push_back(std::move(axis));
  }
  if (h.computed.count(1) || h.computed.count(2) || h.computed.count(4)) {
    axes.push_back({"user size",
                    {Bundle({{29, 10000}, {30, 15000}}), Bundle({{29, 30000}, {30, 42000}}),
                     Bundle({{29, 21000}, {30, 29700}})},
                    true});
  }
  if (h.computed.count(3)) {
    axes.push_back({"host size",
                    {Bundle({{25, 21000}, {26, 29700}}), Bundle({{25, 30000}, {26, 42000}})}, true});
  }
  if (h.computed.count(6)) {
    axes.push_back({"s80", {SettingValue(80, 0, false), SettingValue(80, 0x1234, false)}, true});
  }
  for (const auto& entry : h.strings) {
    const uint32_t position = entry.first;
    const std::set<std::string>& found = entry.second;
    auto value = [position](const std::string& text) {
      return AxisValue{"t" + std::to_string(position) + "=\"" + text + "\"",
                       {{Assignment::Kind::String, position, 0, text}}};
    };
    Axis axis{"t" + std::to_string(position), {value("")}, true};
    for (const std::string& s : found) {
      if (!s.empty()) axis.values.push_back(value(s));
    }
    axis.values.push_back(value("??"));
    axes.push_back(std::move(axis));
  }
  if (h.printerData || h.computed.count(7)) {
    auto state = [](const char* label, PrinterState s) {
      return AxisValue{std::string("printer=") + label,
                       {{Assignment::Kind::Printer, 0, static_cast<int32_t>(s), ""}}};
    };
    axes.push_back({"printer",
                    {state("silent-on", PrinterState::SilentOn),
                     state("silent-in-window", PrinterState::SilentInWindow),
                     state("silent-out-of-window", PrinterState::SilentOutOfWindow),
                     state("silent-off", PrinterState::SilentOff),
                     state("no-value", PrinterState::NoValue),
                     state("none", PrinterState::NoPrinter)},
                    true});
  }
  Axis shape{"context", {AxisValue{"context=full", {}}}, false};
  shape.values.push_back({"context=no-settings", {{Assignment::Kind::NoSettings, 0, 0, ""}}});
  if (cat.strings > 0) {
    shape.values.push_back({"context=no-strings", {{Assignment::Kind::NoStrings, 0, 0, ""}}});
  }
  axes.push_back(std::move(shape));
  return axes;
}

// ---- Points -------------------------------------------------------------------------------------

// Base, every single value, every pair of values of two axes, and the full products of the
// given groups of axes (print modes, paper sizes). Each family is closed under resetting one
// axis to its base, so every point's neighbours one step down are points too.
std::vector<Point> PointsOf(const std::vector<Axis>& axes,
                            const std::vector<std::vector<std::string>>& products) {
  std::vector<Point> points{{}};
  std::set<Point> seen{{}};
  auto add = [&](Point p) {
    std::sort(p.begin(), p.end());
    if (seen.insert(p).second) points.push_back(p);
  };
  for (size_t a = 0; a < axes.size(); ++a) {
    for (size_t v = 1; v < axes[a].values.size(); ++v) add({{a, v}});
  }
  for (size_t a = 0; a < axes.size(); ++a) {
    if (!axes[a].pairs) continue;
    for (size_t b = a + 1; b < axes.size(); ++b) {
      if (!axes[b].pairs) continue;
      for (size_t v = 1; v < axes[a].values.size(); ++v) {
        for (size_t w = 1; w < axes[b].values.size(); ++w) add({{a, v}, {b, w}});
      }
    }
  }
  for (const std::vector<std::string>& names : products) {
    std::vector<size_t> group;
    for (const std::string& n : names) {
      for (size_t a = 0; a < axes.size(); ++a) {
        if (axes[a].name == n) group.push_back(a);
      }
    }
    if (group.size() < 3) continue;  // pairs already cover it
    std::vector<size_t> odometer(group.size(), 0);
    for (;;) {
      Point p;
      for (size_t i = 0; i < group.size(); ++i) {
        if (odometer[i] != 0) p.push_back({group[i], odometer[i]});
      }
      add(p);
      size_t i = 0;
      while (i < group.size() && ++odometer[i] == axes[group[i]].values.size()) odometer[i++] = 0;
      if (i == group.size()) break;
    }
  }
  return points;
}

std::string PointLabel(const std::vector<Axis>& axes, const Point& p) {
  if (p.empty()) return "base";
  std::string label;
  for (const auto& [a, v] : p) {
    if (!label.empty()) label += ' ';
    label += axes[a].values[v].label;
  }
  return label;
}

// ---- Asking -------------------------------------------------------------------------------------

void SetPrinterState(PrinterState state) {
  plat::testing::RemovePrinterValue(kPrinter, u"VrdUI_SilentModeEnable");
  plat::testing::RemovePrinterValue(kPrinter, u"VrdUI_SilentModeTime");
  switch (state) {
    case PrinterState::SilentOn:
      plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 1);
      break;
    case PrinterState::SilentInWindow:
    case PrinterState::SilentOutOfWindow: {
      plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 2);
      const uint32_t start = state == PrinterState::SilentInWindow ? kClockMinute - 5 : kClockMinute + 60;
      plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeTime", ((start + 120) << 16) | start);
      break;
    }
    case PrinterState::SilentOff:
      plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 0);
      break;
    case PrinterState::NoValue:
    case PrinterState::NoPrinter:
      break;
  }
}

mdb::Category g_category = mdb::Category::Root;

int32_t MPX_CALL CoreQuery(uint32_t key, const QueryContext* context, uint32_t size, void* buffer,
                           uint32_t* required) {
  return mdb::RunQuery(mdb::ShippedEnv(), g_category, key, context, size, buffer, required);
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = 0xCBF29CE484222325ull) {
  for (uint8_t b : bytes) {
    hash ^= b;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

std::string Describe(const Answer& a) {
  std::string text = std::to_string(a.status);
  if (a.status != MPX_OK) return text;
  char digest[24];
  std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(Fnv1a(a.bytes)));
  text += " size " + std::to_string(a.size) + " fnv " + digest;
  if (a.size > 0 && a.size <= 16) text += " [" + Hex(a.bytes) + "]";
  return text;
}

std::string AskAt(const CategoryInfo& cat, uint32_t key, const std::map<uint32_t, int32_t>& base,
                  const std::vector<Axis>& axes, const Point& p) {
  HostState state;
  state.settingCount = cat.settings;
  state.stringCount = cat.strings;
  state.settings = base;
  state.printerName = kPrinter;
  PrinterState printer = PrinterState::SilentOn;
  for (const auto& [a, v] : p) {
    for (const Assignment& x : axes[a].values[v].assignments) {
      switch (x.kind) {
        case Assignment::Kind::Setting: state.settings[x.position] = x.value; break;
        case Assignment::Kind::String: state.strings[x.position] = x.text; break;
        case Assignment::Kind::Printer: printer = static_cast<PrinterState>(x.value); break;
        case Assignment::Kind::NoSettings: state.noSettings = true; break;
        case Assignment::Kind::NoStrings: state.noStrings = true; break;
      }
    }
  }
  if (printer == PrinterState::NoPrinter) state.printerName.clear();
  SetPrinterState(printer);
  g_category = cat.category;
  return Describe(Ask(CoreQuery, key, state));
}

// ---- The listing --------------------------------------------------------------------------------

std::vector<uint32_t> KeysOf(const mdb::DbImage& image, const CategoryInfo& cat) {
  std::set<uint32_t> keys;
  for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
    const uint32_t key = image.directoryKeys[i];
    if (key >= cat.firstKey && key <= cat.lastKey) keys.insert(key);
  }
  if (cat.category == mdb::Category::Drv) {
    for (uint32_t key = 4108; key <= 4126; ++key) keys.insert(key);
  }
  return {keys.begin(), keys.end()};
}

// Everything the Drv dispatcher may consult: every tree but node 0 and the command lists.
Harvest DrvHarvest(const mdb::DbImage& image) {
  Harvest h;
  std::set<uint32_t> seen{0};
  for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
    const uint32_t key = image.directoryKeys[i];
    if ((key >> 12) == 1 || (key >> 12) == 5) Walk(image, image.directoryRoots[i], &h, &seen);
  }
  for (uint32_t i = 0; i < image.counts[mdb::kNodeIndexCount]; ++i) {
    Walk(image, image.nodeIndexList[i], &h, &seen);
  }
  for (uint32_t r = 0; r < image.counts[mdb::kSelectorCount]; ++r) {
    const mdb::SelectorRecord& s = image.selectors[r];
    h.settings[4].insert(s.setting4);
    h.settings[9].insert(s.setting9);
    h.settings[5].insert(s.setting5);
    h.settings[8].insert(s.setting8);
    h.settings[6].insert(s.setting6);
    h.settings[81].insert(s.setting81);
  }
  return h;
}

void ListKey(const mdb::DbImage& image, const CategoryInfo& cat, uint32_t key,
             const Harvest& drv, std::ostringstream* out) {
  const std::map<uint32_t, int32_t> base =
      cat.category == mdb::Category::Drv ? kDrvBase : std::map<uint32_t, int32_t>{};
  Harvest h;
  if (cat.category == mdb::Category::Drv && DispatcherKey(key)) {
    h = drv;
  } else {
    for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
      if (image.directoryKeys[i] == key) {
        std::set<uint32_t> seen;
        Walk(image, image.directoryRoots[i], &h, &seen);
        break;
      }
    }
  }
  const std::vector<Axis> axes = AxesOf(h, cat, base);
  const std::vector<Point> points =
      PointsOf(axes, {{"s9", "s5", "s81", "s8", "s6"}, {"s28", "s52", "s81"}});

  std::map<Point, std::string> results;
  uint64_t digest = 0xCBF29CE484222325ull;
  for (const Point& p : points) {
    const std::string r = AskAt(cat, key, base, axes, p);
    results[p] = r;
    const std::string line = PointLabel(axes, p) + ": " + r + "\n";
    digest = Fnv1a(std::vector<uint8_t>(line.begin(), line.end()), digest);
  }
  const std::string prefix = std::string(cat.name) + " " + std::to_string(key) + " ";
  for (const Point& p : points) {
    const std::string& r = results[p];
    bool everyInputCounts = true;
    for (size_t i = 0; i < p.size() && everyInputCounts; ++i) {
      Point down = p;
      down.erase(down.begin() + static_cast<std::ptrdiff_t>(i));
      everyInputCounts = results.at(down) != r;
    }
    if (everyInputCounts) *out << prefix << PointLabel(axes, p) << ": " << r << "\n";
  }
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
  *out << prefix << "all " << points.size() << " inputs: fnv " << text << "\n";
}

}  // namespace

std::string GoldenListing() {
  plat::testing::Reset();
  plat::testing::SetClock(plat::LocalTime{2002, 2, 5, 8, 9, 5, 3, 0});
  plat::testing::AddPrinter(kPrinter);
  const mdb::DbImage& image = mdb::ShippedImage();
  const Harvest drv = DrvHarvest(image);

  std::ostringstream out;
  out << "# Golden answers of the shipped model database. Generated by db_golden_dump; do not\n"
         "# edit. After an intended change of db/*.mdb run: cmake --build <dir> --target golden-update\n"
         "#\n"
         "# For each key of each category: its answer at the base input, then every input at\n"
         "# which the answer differs from the answer with any one of its values set back to the\n"
         "# base, then a digest over the answers at all inputs it was asked with. Inputs: each\n"
         "# setting (sN) and context string (tN) the key's trees compare, with the values they\n"
         "# compare against and one value matching none; single values, pairs of values, and for\n"
         "# the Drv keys every print mode (s9 s5 s81 s8 s6) and paper size (s28 s52 s81); the\n"
         "# printer data of the silent mode; a context without settings or strings.\n"
         "# Base: settings 0 and strings \"\"; Drv: s4=3 s9=0 s5=1 s8=4 s6=1 s7=7 s28=9,\n"
         "# host size 21000 x 29700, user size 10000 x 15000, silent mode on; clock\n"
         "# 2002-02-08 09:05:03. Answer: status, then size, FNV-1a digest and (up to 16 bytes)\n"
         "# the bytes. Item-list fields the library leaves alone read EE.\n";
  for (const CategoryInfo& cat : kCategories) {
    for (uint32_t key : KeysOf(image, cat)) ListKey(image, cat, key, drv, &out);
  }
  plat::testing::Reset();
  return out.str();
}

std::string DescribeListingDifferences(const std::string& expected, const std::string& actual) {
  auto lines = [](const std::string& text) {
    std::map<std::string, std::set<std::string>> byKey;  // "cat key" -> lines
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      const size_t first = line.find(' ');
      const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
      byKey[line.substr(0, second)].insert(line);
    }
    return byKey;
  };
  const auto before = lines(expected);
  const auto after = lines(actual);
  std::set<std::string> keys;
  for (const auto& [k, v] : before) keys.insert(k);
  for (const auto& [k, v] : after) keys.insert(k);
  std::ostringstream out;
  for (const std::string& k : keys) {
    const auto b = before.find(k);
    const auto a = after.find(k);
    const std::set<std::string> none;
    const std::set<std::string>& was = b == before.end() ? none : b->second;
    const std::set<std::string>& now = a == after.end() ? none : a->second;
    if (was == now) continue;
    out << k << ":\n";
    for (const std::string& l : was) {
      if (!now.count(l)) out << "  - " << l << "\n";
    }
    for (const std::string& l : now) {
      if (!was.count(l)) out << "  + " << l << "\n";
    }
  }
  return out.str();
}

}  // namespace dbtest
