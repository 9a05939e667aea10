#include "key_catalog.h"

#include <algorithm>
#include <map>
#include <set>

#include "image.h"
#include "node_text.h"
#include "text.h"

namespace mpxq {

namespace {

using mdb::DbNode;
using mdb::NodeType;

struct Meaning {
  uint16_t key;
  const char* text;
};

// What the keys whose meaning the database's answers show are for.
constexpr Meaning kMeanings[] = {
    {2, "version text"},
    {3, "companion file name"}, {10, "companion file name"}, {11, "companion file name"},
    {16, "companion file name"}, {19, "companion file name"}, {20, "companion file name"},
    {24, "companion file name"}, {26, "companion file name"}, {27, "companion file name"},
    {29, "companion file name"}, {37, "companion file name"}, {38, "companion file name"},
    {39, "companion file name"}, {42, "companion file name"}, {43, "companion file name"},
    {8, "printer-data value name for a value-name number"},
    {18, "\"VrdSLM_\" value name for a three-letter status code"},
    {25, "name of the port driver"},
    {28, "title of the status monitor"},
    {30, "file name of the calibration module"},
    {35, "name of the print processor"},
    {4097, "printable width and length"},
    {4098, "top and left offsets"},
    {4099, "paper width and length"},
    {4100, "printable-area record of the user-defined paper size"},
    {4104, "resolution of the print mode"},
    {4108, "item list: engines (setting 4) for the settings"},
    {4109, "item list: every engine (setting 4)"},
    {4110, "item list: media (setting 5) for the settings"},
    {4111, "item list: every media (setting 5)"},
    {4112, "item list: paper sizes with a printable area (setting 28)"},
    {4113, "item list: every paper size (setting 28), field 3 = 1 when not printable"},
    {4114, "item list: ink sets (setting 7) for the settings"},
    {4115, "item list: every ink set (setting 7)"},
    {4116, "item list"},
    {4117, "print-mode values, only for supported print modes"},
    {4118, "item list: qualities (setting 8) for the media and margins"},
    {4119, "item list: every quality (setting 8)"},
    {4120, "command sequence: time setting, silent mode, option flags"},
    {4121, "command sequence: print mode, page format and media"},
    {4122, "command sequence"}, {4123, "command sequence"}, {4124, "command sequence"},
    {4125, "command sequence"},
    {4126, "selector record: rows of the four selector row tables"},
    {4127, "file name of the colour profile"},
    {4146, "printable-area record of the paper (settings 25, 26)"},
    {4147, "paper length in dots without top and bottom margins"},
    {4149, "companion file name"}, {4155, "companion file name"}, {4168, "companion file name"},
    {4162, "file name of the table file"},
    {4173, "item list"}, {4174, "item list"}, {4177, "item list: media"},
    {4176, "bleed area without margins"},
    {4180, "item list: paper sizes printable without margins"},
    {8201, "model check of context string 0"},
    {8237, "operation check of context string 4"},
    {8218, "companion file name"}, {8235, "companion file name"},
    {12299, "pieces of command-language blocks"},
    {24591, "value-name numbers of Root key 8"},
    {24599, "ink index and level code of an ink"},
    {20482, "mark of the default ink set"},
    {20483, "mark of the default engine"},
    {20484, "mark of the default media"},
    {20485, "mark of the default quality for the media"},
    {20486, "value of a quality item"},
    {20487, "completion value of a quality item"},
    {20488, "printer command fragments of the command sequences"},
    {20491, "completion value of an engine item"},
    {20492, "completion value of an engine item"},
    {20494, "identifier of a paper size"},
};

// Drv keys the dispatcher answers without a directory entry.
constexpr uint16_t kDispatchedDrvKeys[] = {4109, 4111, 4115, 4120, 4121, 4122, 4123, 4124, 4125, 4126};

struct Summary {
  bool hasLeaf = false;
  std::set<std::string> leafTypes;
  std::set<std::pair<int, uint32_t>> selectors;  // (kind, parameter)
};

enum SelectorKind : int { kSetting = 0, kString = 1, kPrinterData = 2, kLocale = 3 };

class TreeSummarizer {
 public:
  TreeSummarizer(const mdb::DbImage& image, uint16_t key) : image_(image), key_(key) {}

  const Summary& Of(uint32_t index, uint32_t depth = 0) {
    if (const auto found = memo_.find(index); found != memo_.end()) return found->second;
    Summary summary;
    DbNode node{};
    if (depth < 64 && mdb::ReadNode(image_, index, &node)) Fill(node, depth, &summary);
    return memo_[index] = summary;
  }

 private:
  void Merge(const Summary& child, Summary* into) {
    if (!child.hasLeaf) return;
    into->hasLeaf = true;
    into->leafTypes.insert(child.leafTypes.begin(), child.leafTypes.end());
    into->selectors.insert(child.selectors.begin(), child.selectors.end());
  }

  void Fill(DbNode node, uint32_t depth, Summary* summary) {
    const auto type = static_cast<NodeType>(mdb::NodeTypeCode(node));
    const uint32_t first = mdb::NodeIndex(node);
    const uint32_t n = mdb::NodeCount(node);
    const uint32_t p = mdb::NodeParam(node);
    if (IsLeafNode(node)) {
      if (p != key_) return;
      summary->hasLeaf = true;
      summary->leafTypes.insert(type == NodeType::Computed
                                    ? "Computed " + std::to_string(n)
                                    : NodeTypeName(mdb::NodeTypeCode(node)));
      return;
    }
    switch (type) {
      case NodeType::Sequence:
      case NodeType::SettingGuard:
      case NodeType::ValueCase:
      case NodeType::DefaultCase:
        for (uint32_t i = 0; i < n; ++i) Merge(Of(first + i, depth + 1), summary);
        return;
      case NodeType::SettingFilter: {
        for (uint32_t i = 0; i < n; ++i) {
          DbNode child{};
          const Summary& below = Of(first + i, depth + 1);
          Merge(below, summary);
          if (below.hasLeaf && mdb::ReadNode(image_, first + i, &child) &&
              mdb::NodeTypeCode(child) == static_cast<uint32_t>(NodeType::SettingGuard)) {
            summary->selectors.insert({kSetting, p});
          }
        }
        return;
      }
      case NodeType::SettingSwitch:
      case NodeType::MaskedSettingSwitch:
      case NodeType::PrinterDataSwitch:
      case NodeType::LocaleSwitch:
      case NodeType::StringSwitch: {
        uint32_t firstCase = first;
        if (type == NodeType::MaskedSettingSwitch) {
          DbNode header{};
          if (!mdb::ReadNode(image_, first, &header)) return;
          firstCase = mdb::NodeIndex(header);
        }
        for (uint32_t i = 0; i < n; ++i) {
          DbNode caseNode{};
          if (!mdb::ReadNode(image_, firstCase + i, &caseNode)) continue;
          Merge(Of(mdb::NodeIndex(caseNode), depth + 1), summary);
        }
        if (!summary->hasLeaf) return;
        const int kind = type == NodeType::StringSwitch      ? kString
                         : type == NodeType::PrinterDataSwitch ? kPrinterData
                         : type == NodeType::LocaleSwitch      ? kLocale
                                                               : kSetting;
        summary->selectors.insert({kind, p});
        return;
      }
      default:
        return;
    }
  }

  const mdb::DbImage& image_;
  uint16_t key_;
  std::map<uint32_t, Summary> memo_;
};

std::string SelectorsText(const std::set<std::pair<int, uint32_t>>& selectors) {
  std::vector<std::string> parts;
  std::string settings;
  std::string strings;
  for (const auto& [kind, parameter] : selectors) {
    if (kind == kSetting) settings += (settings.empty() ? "" : ", ") + std::to_string(parameter);
    if (kind == kString) strings += (strings.empty() ? "" : ", ") + std::to_string(parameter);
    if (kind == kPrinterData) parts.push_back("printer-data value " + std::to_string(parameter));
    if (kind == kLocale) parts.push_back("the locale");
  }
  if (!strings.empty()) parts.insert(parts.begin(), (strings.find(',') != std::string::npos ? "strings " : "string ") + strings);
  if (!settings.empty()) parts.insert(parts.begin(), (settings.find(',') != std::string::npos ? "settings " : "setting ") + settings);
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "; ") + part;
  return out;
}

std::string MeaningOf(uint16_t key) {
  for (const Meaning& meaning : kMeanings) {
    if (meaning.key == key) return meaning.text;
  }
  return "";
}

}  // namespace

std::vector<KeyEntry> CatalogKeys(const CategoryInfo& category) {
  const mdb::DbImage& image = mdb::ShippedImage();
  std::vector<KeyEntry> entries;
  const uint32_t directoryCount = image.counts[mdb::kDirectoryCount];
  for (uint32_t i = 0; i < directoryCount && image.directoryKeys != nullptr; ++i) {
    const uint16_t key = image.directoryKeys[i];
    if (key >> 12 != static_cast<uint16_t>(category.category)) continue;
    if (std::any_of(entries.begin(), entries.end(), [key](const KeyEntry& e) { return e.key == key; })) continue;
    TreeSummarizer summarizer(image, key);
    const Summary& summary = summarizer.Of(image.directoryRoots[i]);
    std::string answers;
    for (const std::string& type : summary.leafTypes) answers += (answers.empty() ? "" : ", ") + type;
    entries.push_back({key, MeaningOf(key), answers.empty() ? "no leaf" : answers,
                       SelectorsText(summary.selectors), true});
  }
  if (category.category == Category::Drv) {
    for (const uint16_t key : kDispatchedDrvKeys) {
      const char* answers = key == 4126 ? "selector record" : key >= 4120 ? "printer commands" : "item records";
      entries.push_back({key, MeaningOf(key), answers, "", false});
    }
  }
  std::sort(entries.begin(), entries.end(), [](const KeyEntry& a, const KeyEntry& b) { return a.key < b.key; });
  return entries;
}

std::string KeyDescription(const KeyEntry& entry) {
  std::string out = entry.meaning;
  std::string shape = entry.answers;
  if (!entry.selectors.empty()) shape += " by " + entry.selectors;
  if (!entry.inDirectory) shape += " (answered by code)";
  if (!out.empty()) out += "; ";
  return out + shape;
}

}  // namespace mpxq
