// The print modes the database supports: every combination of engine, colour mode, media,
// margins and quality that the database lists and answers a print-mode key for.
#pragma once

#include <cstdint>
#include <vector>

#include "modeldb_client.h"

namespace mpxq {

struct PrintMode {
  int32_t engine, colour, media, borderless, quality;  // settings 4, 9, 5, 81, 8
  std::vector<int32_t> modeValues;                     // key 4117
  std::vector<int32_t> resolution;                     // key 4104
};

std::vector<PrintMode> SupportedModes(const ModelDb& db, const Query& base);

}  // namespace mpxq
