#include "settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "answer.h"
#include "cli.h"
#include "drv_keys.h"
#include "text.h"

namespace mpxq {

namespace {

using tools::ToolError;
using tools::UsageError;

constexpr int32_t kHundredthsPerMm = 100;
constexpr double kHundredthsPerInch = 2540.0;
// Dimensions typed on the command line match a paper size within half a millimetre.
constexpr int32_t kPaperTolerance = 50;

Query DrvQuery(const Query& base, uint16_t key) {
  Query query = base;
  query.category = FindCategory("drv");
  query.key = key;
  return query;
}

void SetSetting(Query* query, uint32_t number, int32_t value, const char* what) {
  if (number >= query->settings.size()) {
    throw UsageError(std::string(what) + " needs setting " + std::to_string(number) + ", but only " +
                     std::to_string(query->settings.size()) + " settings are passed");
  }
  query->settings[number] = value;
}

std::optional<double> ParseDecimal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || ptr != end || !std::isfinite(value) || value < 0) return std::nullopt;
  return value;
}

// "100mm", "4in", "100" (millimetres) to 0.01 mm.
std::optional<int32_t> ParseLength(std::string_view text, bool unitRequired) {
  double scale = kHundredthsPerMm;
  if (text.ends_with("mm")) {
    text.remove_suffix(2);
  } else if (text.ends_with("in")) {
    text.remove_suffix(2);
    scale = kHundredthsPerInch;
  } else if (unitRequired) {
    return std::nullopt;
  }
  const std::optional<double> value = ParseDecimal(text);
  if (!value || *value * scale > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(std::lround(*value * scale));
}

std::string Millimetres(int32_t hundredths) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", hundredths / 100.0);
  return buffer;
}

int32_t MarkedIn(const std::vector<ItemRecord>& records) {
  for (const ItemRecord& record : records) {
    if (record.mark != 0) return record.id;
  }
  return -1;
}

// The choice the database marks in an item list. Mark keys answer only once their setting
// holds a supported value, so when nothing is marked for the current settings each listed
// choice is tried in turn.
int32_t DefaultChoice(const ModelDb& db, const Query& base, uint16_t listKey, uint16_t candidatesKey,
                      uint32_t setting, const std::string& what);

bool Listed(const std::vector<ItemRecord>& records, int32_t id) {
  for (const ItemRecord& record : records) {
    if (record.id == id) return true;
  }
  return false;
}

std::string IdList(const std::vector<ItemRecord>& records) {
  std::string out;
  for (const ItemRecord& record : records) out += (out.empty() ? "" : ", ") + std::to_string(record.id);
  return out;
}

int32_t ResolvePaper(const ModelDb& db, const Query& query, const std::string& text,
                     std::vector<std::string>* notes) {
  if (text == "user") return drv::kUserDefinedPaper;
  const std::vector<PaperSize> sizes = PaperSizes(db, query);
  if (const std::optional<int64_t> id = tools::ParseIntegerIn(text, INT32_MIN, INT32_MAX)) {
    if (*id == drv::kUserDefinedPaper) return drv::kUserDefinedPaper;
    for (const PaperSize& size : sizes) {
      if (size.id == *id) {
        notes->push_back("paper " + std::to_string(size.id) + ": " + Millimetres(size.width) +
                         " x " + Millimetres(size.length) + " mm");
        return size.id;
      }
    }
    std::string known;
    for (const PaperSize& size : sizes) known += (known.empty() ? "" : ", ") + std::to_string(size.id);
    throw UsageError("paper size " + text + " is not in the database's list (" + known + ", or 256)");
  }
  const size_t cross = text.find('x');
  if (cross == std::string::npos) {
    throw UsageError("--paper takes an id, \"user\" or dimensions such as 210x297mm, not \"" + text + "\"");
  }
  std::string first = text.substr(0, cross);
  const std::string second = text.substr(cross + 1);
  // A unit written once, after the length, applies to both.
  const std::string unit = second.size() >= 2 ? second.substr(second.size() - 2) : "";
  if (!first.ends_with("mm") && !first.ends_with("in")) first += unit;
  const std::optional<int32_t> width = ParseLength(first, true);
  const std::optional<int32_t> length = ParseLength(second, true);
  if (!width || !length) {
    throw UsageError("paper dimensions need a unit, as in 210x297mm or 8.5x11in: \"" + text + "\"");
  }
  const PaperSize* best = nullptr;
  int32_t bestDistance = 0;
  for (const PaperSize& size : sizes) {
    const int32_t distance = std::abs(size.width - *width) + std::abs(size.length - *length);
    if (std::abs(size.width - *width) <= kPaperTolerance &&
        std::abs(size.length - *length) <= kPaperTolerance && (best == nullptr || distance < bestDistance)) {
      best = &size;
      bestDistance = distance;
    }
  }
  if (best == nullptr) {
    throw UsageError("no paper size of the database measures " + Millimetres(*width) + " x " +
                     Millimetres(*length) + " mm; give --width and --length for a user-defined size");
  }
  notes->push_back("paper " + std::to_string(best->id) + ": " + Millimetres(best->width) + " x " +
                   Millimetres(best->length) + " mm");
  return best->id;
}

// Returns the setting number assigned.
uint32_t ApplyAssignment(const std::string& text, Query* query) {
  const size_t equals = text.find('=');
  const std::optional<int64_t> number =
      equals == std::string::npos ? std::nullopt : tools::ParseIntegerIn(text.substr(0, equals), 0, 65535);
  const std::optional<int64_t> value =
      equals == std::string::npos ? std::nullopt
                                  : tools::ParseIntegerIn(text.substr(equals + 1), INT32_MIN, UINT32_MAX);
  if (!number || !value) {
    throw UsageError("a setting is written N=V with whole numbers (V may be 0x hex), not \"" + text + "\"");
  }
  // Values above INT32_MAX are bit patterns, as a flag word would be written.
  SetSetting(query, static_cast<uint32_t>(*number), static_cast<int32_t>(static_cast<uint32_t>(*value)),
             ("setting " + text).c_str());
  return static_cast<uint32_t>(*number);
}

void ApplyStrings(const std::vector<std::string>& strings, Query* query) {
  query->strings.clear();
  query->passStrings = !strings.empty();
  for (const std::string& text : strings) {
    const size_t equals = text.find('=');
    const std::optional<int64_t> position =
        equals == std::string::npos ? std::nullopt : tools::ParseIntegerIn(text.substr(0, equals), 0, 255);
    if (!position) throw UsageError("a context string is written P=TEXT, P its position: \"" + text + "\"");
    const auto at = static_cast<size_t>(*position);
    if (query->strings.size() <= at) query->strings.resize(at + 1);
    query->strings[at] = text.substr(equals + 1);
  }
}

std::vector<ItemRecord> TryItems(const ModelDb& db, const Query& base, uint16_t key) {
  std::vector<uint8_t> answer;
  Query query = base;
  query.category = FindCategory("drv");
  query.key = key;
  return db.Ask(query, &answer) == MPX_OK ? ItemRecords(answer) : std::vector<ItemRecord>{};
}

int32_t DefaultChoice(const ModelDb& db, const Query& base, uint16_t listKey, uint16_t candidatesKey,
                      uint32_t setting, const std::string& what) {
  if (const int32_t marked = MarkedIn(TryItems(db, base, listKey)); marked >= 0) return marked;
  std::vector<int32_t> candidates;
  for (const ItemRecord& record : TryItems(db, base, candidatesKey)) candidates.push_back(record.id);
  if (candidates.empty()) {
    Query list = base;
    list.category = FindCategory("drv");
    list.key = candidatesKey;
    candidates = ItemListLeafIds(list);
  }
  for (const int32_t candidate : candidates) {
    Query trial = base;
    SetSetting(&trial, setting, candidate, what.c_str());
    if (const int32_t marked = MarkedIn(TryItems(db, trial, listKey)); marked >= 0) return marked;
  }
  throw ToolError("the database marks no default " + what + " for settings " + NonZeroSettings(base));
}

}  // namespace

std::vector<ItemRecord> AskItems(const ModelDb& db, const Query& base, uint16_t key) {
  std::vector<uint8_t> answer;
  const Query query = DrvQuery(base, key);
  const int32_t status = db.Ask(query, &answer);
  if (status != MPX_OK) {
    throw ToolError("Drv key " + std::to_string(key) + " answered status " + std::to_string(status) +
                    " (" + StatusName(status) + ") for settings " + NonZeroSettings(query));
  }
  return ItemRecords(answer);
}

std::vector<PaperSize> PaperSizes(const ModelDb& db, const Query& base) {
  std::vector<PaperSize> sizes;
  for (const ItemRecord& record : AskItems(db, base, drv::kAllPaperSizesKey)) {
    if (record.id == drv::kUserDefinedPaper) continue;
    Query query = DrvQuery(base, drv::kPaperSizeKey);
    SetSetting(&query, drv::kPaperSetting, record.id, "the paper list");
    std::vector<uint8_t> answer;
    if (db.Ask(query, &answer) != MPX_OK || answer.size() < 8) continue;
    sizes.push_back({record.id, AnswerValue(answer, 0), AnswerValue(answer, 1)});
  }
  return sizes;
}

std::vector<std::string> ApplySettings(const ModelDb& db, const SettingOptions& options,
                                       bool jobDefaults, Query* query) {
  std::vector<std::string> notes;
  const bool drvCategory = query->category->category == Category::Drv;
  const int64_t count = options.settingCount >= 0 ? options.settingCount : query->category->settingCount;
  query->settings.assign(static_cast<size_t>(count), 0);
  query->passSettings = count > 0;
  ApplyStrings(options.strings, query);
  if (!options.printer.empty()) {
    query->printerName = tools::Utf8ToUtf16(options.printer);
    if (!query->printerName) throw UsageError("the printer name is not UTF-8");
  }

  const bool symbolic = !options.paper.empty() || !options.media.empty() || !options.quality.empty() ||
                        !options.width.empty() || !options.length.empty() || options.borderless;
  if (symbolic && !drvCategory) {
    throw UsageError("--paper, --media, --quality, --width, --length and --borderless set Drv settings; " +
                     KeyLabel(*query->category, query->key) + " is not a Drv key");
  }

  if (jobDefaults) {
    SetSetting(query, drv::kEngineSetting,
               DefaultChoice(db, *query, drv::kEnginesKey, drv::kEnginesKey, drv::kEngineSetting, "engine"),
               "the engine");
    SetSetting(query, drv::kInkSetSetting,
               DefaultChoice(db, *query, drv::kInkSetsKey, drv::kInkSetsKey, drv::kInkSetSetting, "ink set"),
               "the ink set");
    SetSetting(query, drv::kVariantSetting, drv::kVariantStandard, "the print-mode variant");
    SetSetting(query, drv::kColourSetting, drv::kColour, "the colour mode");
  }
  std::vector<uint32_t> assigned;
  for (const std::string& assignment : options.assignments) assigned.push_back(ApplyAssignment(assignment, query));
  // A job default gives way to a setting written as N=V.
  const auto defaultFor = [&](uint32_t setting, const char* value) -> std::string {
    const bool given = std::find(assigned.begin(), assigned.end(), setting) != assigned.end();
    return jobDefaults && !given ? value : "";
  };

  const std::string paper = !options.paper.empty()                                ? options.paper
                            : !options.width.empty() || !options.length.empty() ? "user"
                                                                                  : defaultFor(drv::kPaperSetting, "210x297mm");
  if (!paper.empty()) {
    const int32_t id = ResolvePaper(db, *query, paper, &notes);
    SetSetting(query, drv::kPaperSetting, id, "--paper");
    if (id == drv::kUserDefinedPaper) {
      const std::optional<int32_t> width = ParseLength(options.width, false);
      const std::optional<int32_t> length = ParseLength(options.length, false);
      if (!width || !length || *width == 0 || *length == 0) {
        throw UsageError("the user-defined paper size needs --width and --length (as 100mm or 4in)");
      }
      SetSetting(query, drv::kUserWidthSetting, *width, "--width");
      SetSetting(query, drv::kUserLengthSetting, *length, "--length");
      notes.push_back("paper 256 (user-defined): " + Millimetres(*width) + " x " + Millimetres(*length) + " mm");
    } else if (!options.width.empty() || !options.length.empty()) {
      throw UsageError("--width and --length apply only to the user-defined paper size (--paper user)");
    }
  }
  if (options.borderless) SetSetting(query, drv::kBorderlessSetting, 1, "--borderless");

  const std::string media = !options.media.empty() ? options.media : defaultFor(drv::kMediaSetting, "default");
  if (!media.empty()) {
    const std::vector<ItemRecord> all = AskItems(db, *query, drv::kAllMediaKey);
    int32_t id = 0;
    if (media == "default") {
      id = DefaultChoice(db, *query, drv::kAllMediaKey, drv::kAllMediaKey, drv::kMediaSetting, "media");
      notes.push_back("media " + std::to_string(id) + ": the database's default");
    } else {
      const std::optional<int64_t> parsed = tools::ParseIntegerIn(media, INT32_MIN, INT32_MAX);
      if (!parsed) throw UsageError("--media takes a media id or \"default\", not \"" + media + "\"");
      id = static_cast<int32_t>(*parsed);
      if (!Listed(all, id)) throw UsageError("media " + media + " is not in the database's list (" + IdList(all) + ")");
    }
    SetSetting(query, drv::kMediaSetting, id, "--media");
  }

  const std::string quality =
      !options.quality.empty() ? options.quality : defaultFor(drv::kQualitySetting, "default");
  if (!quality.empty()) {
    int32_t id = 0;
    if (quality == "default") {
      id = DefaultChoice(db, *query, drv::kQualitiesKey, drv::kAllQualitiesKey, drv::kQualitySetting,
                         "quality for this media");
      notes.push_back("quality " + std::to_string(id) + ": the database's default for media " +
                      std::to_string(query->settings[drv::kMediaSetting]));
    } else {
      // The list of every quality answers only once setting 8 holds one; its leaf holds the ids.
      Query every = *query;
      every.key = drv::kAllQualitiesKey;
      std::vector<ItemRecord> all;
      for (const int32_t listed : ItemListLeafIds(every)) all.push_back({listed, 0, 0, 0, 0});
      const std::optional<int64_t> parsed = tools::ParseIntegerIn(quality, INT32_MIN, INT32_MAX);
      if (!parsed) throw UsageError("--quality takes a quality id or \"default\", not \"" + quality + "\"");
      id = static_cast<int32_t>(*parsed);
      if (!Listed(all, id)) {
        throw UsageError("quality " + quality + " is not in the database's list (" + IdList(all) + ")");
      }
    }
    SetSetting(query, drv::kQualitySetting, id, "--quality");
  }
  return notes;
}

std::string NonZeroSettings(const Query& query) {
  std::string out;
  for (size_t i = 0; i < query.settings.size(); ++i) {
    if (query.settings[i] == 0) continue;
    out += (out.empty() ? "" : " ") + std::to_string(i) + "=" + std::to_string(query.settings[i]);
  }
  return out.empty() ? "all 0" : out;
}

}  // namespace mpxq
