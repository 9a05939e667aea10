// The query's settings, context strings and printer from the command line: settings as
// N=V, and the Drv settings by what they mean (paper by its dimensions or id, media and
// quality by id or the database's default, borderless, user-defined width and length),
// resolved through the database's own answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "answer.h"
#include "modeldb_client.h"

namespace mpxq {

struct SettingOptions {
  std::vector<std::string> assignments;  // "N=V"
  std::vector<std::string> strings;      // "P=TEXT": context string at position P
  std::string paper;    // "210x297mm", "8.5x11in", an id, or "user"
  std::string media;    // an id or "default"
  std::string quality;  // an id or "default"
  std::string width;    // user-defined size: "100mm", "4in" or millimetres
  std::string length;
  bool borderless = false;
  int64_t settingCount = -1;  // -1: the category's own count; 0: no settings array
  std::string printer;        // printer name in the spooler stand-in, or empty
};

struct PaperSize {
  int32_t id;
  int32_t width, length;  // 0.01 mm
};

// Every paper size of the Drv paper-size list with its dimensions.
std::vector<PaperSize> PaperSizes(const ModelDb& db, const Query& base);

// Fills the query's settings, strings and printer. With jobDefaults (Drv only) every
// setting a print job needs starts from the database's default choice, and the paper from
// A4. Throws tools::UsageError for a wrong option, tools::ToolError when the database cannot
// resolve one. Returns one line per symbolic value resolved ("paper 9: 210.00 x 297.00 mm").
std::vector<std::string> ApplySettings(const ModelDb& db, const SettingOptions& options,
                                       bool jobDefaults, Query* query);

// "4=3 5=1 ..." for the settings that are not 0.
std::string NonZeroSettings(const Query& query);

// Asks an item-list key with the query's settings; ToolError when it does not answer.
std::vector<ItemRecord> AskItems(const ModelDb& db, const Query& base, uint16_t key);

}  // namespace mpxq
