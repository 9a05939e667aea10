// One call of QXCalibration through the built libcalibmod, loaded as a host loads it, and
// what the call did: the table name it returned, the calibration state it took and which
// files of the working directory it wrote (seen by comparing the directory before and after).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calibmod.h"
#include "library.h"

namespace qxcal {

inline constexpr size_t kLevelCount = 6;
inline constexpr size_t kStemLength = 5;

struct CalibrationInput {
  std::string baseFile;          // path of the base table file
  std::string workingDirectory;
  std::array<int16_t, kLevelCount> levels{};
  int16_t historyKey = 0;
  int16_t inkConfiguration = 3;
  std::array<int32_t, 3> identity{};
  std::string stem = "calib";    // five characters
};

enum class FileChange : uint8_t { Created, Rewritten, Removed };

struct WorkingFileChange {
  std::string name;
  FileChange change;
  uint64_t size;
};

struct CalibrationOutcome {
  int16_t status = 0;
  std::string tableName;     // bytes 16-31 of the name block
  std::string baseName;
  std::string historyName;
  int state = 0;             // 1-4, or 0 when no calibration ran
  std::string what;          // the state (or why there is none) in words
  std::vector<WorkingFileChange> changes;
  uint32_t historyLines = 0;
};

class CalibrationModule {
 public:
  bool Load(const std::string& commandLinePath, std::string* error);
  const std::string& path() const { return library_.path(); }
  // Throws tools::UsageError for an input the name block cannot carry.
  CalibrationOutcome Calibrate(const CalibrationInput& input) const;

 private:
  using Entry = int16_t(MPX_CALL*)(const CalibrationRequest*, uint8_t*, const int16_t*, const char16_t*,
                                   const char16_t*);
  tools::SharedLibrary library_;
  Entry entry_ = nullptr;
};

std::string CalibrationStatusName(int16_t status);
std::string OutcomeListing(const CalibrationOutcome& outcome);
nlohmann::json OutcomeJson(const CalibrationOutcome& outcome);

}  // namespace qxcal
