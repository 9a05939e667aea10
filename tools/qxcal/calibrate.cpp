#include "calibrate.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "calibmod.h"
#include "cli.h"
#include "text.h"

namespace qxcal {

namespace {

namespace fs = std::filesystem;

constexpr size_t kNameField = 16;
constexpr size_t kNameBlockBase = 0;
constexpr size_t kNameBlockResult = 16;
constexpr size_t kNameBlockStem = 32;
constexpr size_t kNameBlockSize = 37;
constexpr int16_t kSpecialLevel = 8;

struct FileState {
  uint64_t size = 0;
  uint64_t inode = 0;
  int64_t modified = 0;  // nanoseconds
  std::vector<uint8_t> content;
};

using Snapshot = std::map<std::string, FileState>;

// Every regular file of the directory with its content; the working files are small.
Snapshot TakeSnapshot(const std::string& directory) {
  Snapshot snapshot;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
    if (!entry.is_regular_file(error)) continue;
    FileState state;
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) == 0) {
      state.size = static_cast<uint64_t>(info.st_size);
      state.inode = static_cast<uint64_t>(info.st_ino);
      state.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    state.content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    snapshot[entry.path().filename().string()] = std::move(state);
  }
  return snapshot;
}

bool Same(const FileState& a, const FileState& b) {
  return a.inode == b.inode && a.modified == b.modified && a.content == b.content;
}

uint32_t LineCount(const std::vector<uint8_t>& text) {
  uint32_t lines = 0;
  bool inLine = false;
  for (const uint8_t b : text) {
    if (b == '\r' || b == '\n' || b == '\0') {
      if (inLine) ++lines;
      inLine = false;
    } else {
      inLine = true;
    }
  }
  return lines;
}

std::string HistoryFileName(const std::string& stem, int16_t key) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(key));
  return stem + digits + ".ini";
}

}  // namespace

std::string CalibrationStatusName(int16_t status) {
  switch (status) {
    case CAL_OK: return "CAL_OK";
    case CALERR_FILE: return "CALERR_FILE: a file could not be read, created or written";
    case CALERR_MEMORY: return "CALERR_MEMORY: memory could not be allocated";
    case CALERR_UNSUPPORTED: return "CALERR_UNSUPPORTED: ink configuration or level not supported";
    default: return "unknown status";
  }
}

bool CalibrationModule::Load(const std::string& commandLinePath, std::string* error) {
  const std::vector<std::string> candidates = tools::LibraryCandidates(
      commandLinePath, "MPX_CALIBMOD_LIBRARY", QXCAL_CALIBMOD_BUILD_PATH, "libcalibmod.so");
  if (!library_.Load(candidates, error)) return false;
  void* symbol = library_.Symbol("QXCalibration", error);
  entry_ = reinterpret_cast<Entry>(symbol);
  return entry_ != nullptr;
}

CalibrationOutcome CalibrationModule::Calibrate(const CalibrationInput& input) const {
  std::error_code error;
  const fs::path base = fs::absolute(input.baseFile, error);
  const std::string baseName = base.filename().string();
  if (baseName.empty() || baseName.size() >= kNameField) {
    throw tools::UsageError("the base table file name \"" + baseName + "\" must have 1 to 15 characters");
  }
  if (input.stem.size() != kStemLength) {
    throw tools::UsageError("the history name stem must have exactly 5 characters, not \"" + input.stem + "\"");
  }
  const fs::path working = fs::absolute(input.workingDirectory, error);
  if (!fs::is_directory(working, error)) {
    throw tools::UsageError("the working directory " + working.string() + " does not exist");
  }
  const std::optional<std::u16string> baseDirectory = tools::Utf8ToUtf16(base.parent_path().string());
  const std::optional<std::u16string> workingDirectory = tools::Utf8ToUtf16(working.string());
  if (!baseDirectory || !workingDirectory) throw tools::UsageError("the directories must be UTF-8 paths");

  CalibrationRequest request{};
  request.historyKey = input.historyKey;
  request.inkConfiguration = input.inkConfiguration;
  request.identity1 = input.identity[0];
  request.identity2 = input.identity[1];
  request.identity3 = input.identity[2];
  uint8_t nameBlock[kNameBlockSize] = {};
  std::copy(baseName.begin(), baseName.end(), nameBlock + kNameBlockBase);
  std::copy(input.stem.begin(), input.stem.end(), nameBlock + kNameBlockStem);

  CalibrationOutcome outcome;
  outcome.baseName = baseName;
  outcome.historyName = HistoryFileName(input.stem, input.historyKey);
  const Snapshot before = TakeSnapshot(working.string());
  outcome.status = entry_(&request, nameBlock, input.levels.data(), baseDirectory->c_str(), workingDirectory->c_str());
  const Snapshot after = TakeSnapshot(working.string());
  const auto* result = reinterpret_cast<const char*>(nameBlock + kNameBlockResult);
  outcome.tableName.assign(result, std::find(result, result + kNameField, '\0'));

  for (const auto& [name, state] : after) {
    const auto old = before.find(name);
    if (old == before.end()) {
      outcome.changes.push_back({name, FileChange::Created, state.size});
    } else if (!Same(old->second, state)) {
      outcome.changes.push_back({name, FileChange::Rewritten, state.size});
    }
  }
  for (const auto& [name, state] : before) {
    if (after.find(name) == after.end()) outcome.changes.push_back({name, FileChange::Removed, state.size});
  }

  const auto historyBefore = before.find(outcome.historyName);
  const auto historyAfter = after.find(outcome.historyName);
  if (historyAfter != after.end()) outcome.historyLines = LineCount(historyAfter->second.content);
  const bool historyChanged = std::any_of(outcome.changes.begin(), outcome.changes.end(),
                                          [&](const WorkingFileChange& c) { return c.name == outcome.historyName; });
  const bool workingWritten = std::any_of(outcome.changes.begin(), outcome.changes.end(),
                                          [&](const WorkingFileChange& c) { return c.name == outcome.tableName; });
  const bool special = std::find(input.levels.begin(), input.levels.end(), kSpecialLevel) != input.levels.end();

  if (outcome.status != CAL_OK) {
    outcome.what = "the calibration failed; the host goes on with the base table file";
  } else if (outcome.tableName == baseName && outcome.changes.empty()) {
    outcome.what = special ? "no calibration: a level is the special level 8, so the base table file stays in use"
                           : "no calibration: the base table file stays in use";
  } else if (outcome.changes.empty()) {
    outcome.state = 1;
    outcome.what = "state 1, entry found: the history names " + outcome.tableName +
                   " for this calibration and it still matches the base table file; nothing was written";
  } else if (historyBefore == before.end() && historyAfter != after.end()) {
    outcome.state = 2;
    outcome.what = "state 2, no history: " + outcome.historyName + " did not exist; a new working file was made";
  } else if (historyChanged && historyBefore != before.end() && historyAfter != after.end()) {
    const std::vector<uint8_t>& old = historyBefore->second.content;
    const std::vector<uint8_t>& now = historyAfter->second.content;
    const bool appended = now.size() > old.size() && std::equal(old.begin(), old.end(), now.begin());
    if (appended) {
      outcome.state = 3;
      outcome.what = "state 3, no entry: the history had no line for this calibration; one was appended";
    } else if (outcome.historyLines == 1) {
      outcome.state = 2;
      outcome.what = "state 2, no history: " + outcome.historyName + " could not be read and was made anew";
    } else {
      outcome.state = 3;
      outcome.what = "state 3, no entry: every working name was in use, the oldest entry gave its name up and "
                     "the history was rewritten";
    }
  } else if (workingWritten) {
    outcome.state = 4;
    outcome.what = "state 4, working file stale: the history names " + outcome.tableName +
                   ", but it was missing or no longer matched the base table file; it was built again";
  } else {
    outcome.what = "files changed in the working directory, but neither the history nor the working file";
  }
  return outcome;
}

std::string OutcomeListing(const CalibrationOutcome& outcome) {
  std::string out = "status " + std::to_string(outcome.status) + " (" + CalibrationStatusName(outcome.status) +
                    "): use " + outcome.tableName + "\n";
  out += outcome.what + "\n";
  for (const WorkingFileChange& change : outcome.changes) {
    const char* verb = change.change == FileChange::Created     ? "created  "
                       : change.change == FileChange::Rewritten ? "rewrote  "
                                                                : "removed  ";
    out += std::string("  ") + verb + change.name + " (" + std::to_string(change.size) + " bytes";
    if (change.name == outcome.historyName) {
      out += ", " + std::to_string(outcome.historyLines) + " line" + (outcome.historyLines == 1 ? "" : "s");
    }
    out += ")\n";
  }
  return out;
}

nlohmann::json OutcomeJson(const CalibrationOutcome& outcome) {
  nlohmann::json changes = nlohmann::json::array();
  for (const WorkingFileChange& change : outcome.changes) {
    changes.push_back({{"name", change.name},
                       {"change", change.change == FileChange::Created     ? "created"
                                  : change.change == FileChange::Rewritten ? "rewritten"
                                                                           : "removed"},
                       {"size", change.size}});
  }
  return {{"status", outcome.status},     {"status_name", CalibrationStatusName(outcome.status)},
          {"table", outcome.tableName},   {"base", outcome.baseName},
          {"history", outcome.historyName}, {"history_lines", outcome.historyLines},
          {"state", outcome.state},       {"what", outcome.what},
          {"changes", changes}};
}

}  // namespace qxcal
