// QXCalibration on any base table file, history file and working file, with any request,
// levels and names, in a scratch directory: a documented status, the base table file name
// in bytes 16-31 on failure, no other byte of the name block written, no block left
// allocated, the base table file unchanged, no temporary file left behind, and a repeated
// call that reuses what the first one made.
//
// Input: flags, the request, six levels, the names, then three blobs (16-bit length
// first): the base table file, the history file and a working file.
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "calibmod.h"
#include "fuzz_support.h"
#include "table_file.h"
#include "testing/fault_control.h"

namespace {

namespace fs = std::filesystem;

enum Flag : uint8_t {
  kHasHistory = 0x01,
  kHasWorkingFile = 0x02,
  kRawInkConfiguration = 0x04,
  kRawLevels = 0x08,
  kCallTwice = 0x10,
  kSameDirectory = 0x20,
  kRawBaseName = 0x40,
  kRawStem = 0x80,
};

constexpr int16_t kLevelChoices[] = {0, -5, -3, 3, 5, 0, 3, 8};
constexpr const char* kBaseNames[] = {"htab0000.tbl", "HTAB0000.TBL", "a.b", "htab0001.tbl",
                                      "t.x.tbl", "htab000z.tbl", "qxhis007.ini", "b0.t"};
constexpr const char* kWorkingNames[] = {"htab0001.tbl", "htab0002.tbl", "a1.b", "htab000z.tbl"};
constexpr size_t kNameBlockSize = 48;
constexpr uint8_t kNameFill = 0xC3;

using Snapshot = std::map<std::string, std::vector<uint8_t>>;

Snapshot Take(const fs::path& dir) {
  Snapshot files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = fuzz::ReadBytes(entry.path());
  }
  return files;
}

std::u16string Widen(const std::string& text) { return {text.begin(), text.end()}; }

struct Call {
  int16_t status;
  std::array<uint8_t, kNameBlockSize> block;
};

Call Calibrate(const CalibrationRequest& request, const std::array<uint8_t, kNameBlockSize>& block,
               const int16_t* levels, const std::u16string& baseDir, const std::u16string& workDir) {
  Call call{0, block};
  call.status = QXCalibration(&request, call.block.data(), levels, baseDir.c_str(), workDir.c_str());
  return call;
}

// Bytes 16-31: the name up to its NUL and zeros after it.
std::string Returned(const Call& call) {
  const auto* field = reinterpret_cast<const char*>(call.block.data() + 16);
  const size_t length = strnlen(field, 16);
  for (size_t i = length; i < 16; ++i) FUZZ_CHECK(call.block[16 + i] == 0);
  return {field, length};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::testing::Reset();
  fuzz::Reader in{{data, size}};
  const uint8_t flags = in.U8();

  CalibrationRequest request{};
  request.historyKey = static_cast<int16_t>(in.U16());
  const uint16_t ink = in.U16();
  request.inkConfiguration = (flags & kRawInkConfiguration) != 0 ? static_cast<int16_t>(ink) : int16_t{3};
  request.identity1 = static_cast<int32_t>(in.U32());
  request.identity2 = static_cast<int32_t>(in.U32());
  request.identity3 = static_cast<int32_t>(in.U32());
  int16_t levels[8] = {};
  for (int16_t& level : levels) {
    const uint16_t raw = in.U16();
    level = (flags & kRawLevels) != 0 ? static_cast<int16_t>(raw) : kLevelChoices[raw % 8];
  }

  std::array<uint8_t, kNameBlockSize> block{};
  block.fill(kNameFill);
  if ((flags & kRawBaseName) != 0) {
    const std::span<const uint8_t> raw = in.Take(16);
    std::fill(block.begin(), block.begin() + 16, uint8_t{0});
    std::copy(raw.begin(), raw.end(), block.begin());
  } else {
    const char* name = kBaseNames[in.U8() % 8];
    std::fill(block.begin(), block.begin() + 16, uint8_t{0});
    std::memcpy(block.data(), name, std::strlen(name));
  }
  if ((flags & kRawStem) != 0) {
    const std::span<const uint8_t> raw = in.Take(5);
    std::fill(block.begin() + 32, block.begin() + 37, uint8_t{0});
    std::copy(raw.begin(), raw.end(), block.begin() + 32);
  } else {
    std::memcpy(block.data() + 32, "qxhis", 5);
  }
  const char* workingName = kWorkingNames[in.U8() % 4];

  const fs::path& root = fuzz::ScratchRoot();
  const fs::path baseDir = root / "base";
  const fs::path workDir = (flags & kSameDirectory) != 0 ? baseDir : root / "work";
  fuzz::EmptyDirectory(root / "base");
  fuzz::EmptyDirectory(root / "work");

  // The base table file, when its name is one the file system can hold.
  const std::span<const uint8_t> base = in.Blob();
  const std::string baseName(reinterpret_cast<const char*>(block.data()), strnlen(reinterpret_cast<const char*>(block.data()), 16));
  const bool plainName = !baseName.empty() && baseName.find('/') == std::string::npos &&
                         baseName != "." && baseName != "..";
  if (plainName) fuzz::WriteBytes(baseDir / baseName, base);
  const std::span<const uint8_t> history = in.Blob();
  if ((flags & kHasHistory) != 0) {
    char historyName[16];
    std::snprintf(historyName, sizeof historyName, "qxhis%03d.ini", request.historyKey & 0x7FFF);
    fuzz::WriteBytes(workDir / historyName, history);
  }
  const std::span<const uint8_t> working = in.Blob();
  if ((flags & kHasWorkingFile) != 0 && (!plainName || baseName != workingName)) {
    fuzz::WriteBytes(workDir / workingName, working);
  }

  const Snapshot baseBefore = Take(baseDir);
  const Snapshot workBefore = Take(workDir);
  const std::u16string wideBase = Widen(baseDir.string());
  const std::u16string wideWork = Widen(workDir.string());

  const Call first = Calibrate(request, block, levels, wideBase, wideWork);
  FUZZ_CHECK(first.status == CAL_OK || first.status == CALERR_FILE ||
             first.status == CALERR_MEMORY || first.status == CALERR_UNSUPPORTED);
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
  // Only bytes 16-31 of the name block are written.
  for (size_t i = 0; i < kNameBlockSize; ++i) {
    if (i < 16 || i >= 32) FUZZ_CHECK(first.block[i] == block[i]);
  }
  const std::string name = Returned(first);
  const std::string baseField(reinterpret_cast<const char*>(block.data()), strnlen(reinterpret_cast<const char*>(block.data()), 16));
  if (first.status != CAL_OK) FUZZ_CHECK(name == baseField);

  // The base table file keeps its bytes, whatever the call did.
  if (plainName) {
    FUZZ_CHECK(fs::exists(baseDir / baseName));
    FUZZ_CHECK(fuzz::ReadBytes(baseDir / baseName) == baseBefore.at(baseName));
  }
  const Snapshot workAfter = Take(workDir);
  for (const auto& [file, bytes] : workAfter) {
    FUZZ_CHECK(file.size() < 4 || file.compare(file.size() - 4, 4, ".tmp") != 0);
  }
  const bool madeWorkingFile = first.status == CAL_OK && name != baseField;
  if (madeWorkingFile) {
    // The name handed back opens; a file this call wrote is the base file, patched in place.
    FUZZ_CHECK(workAfter.count(name) == 1);
    const auto before = workBefore.find(name);
    if (before == workBefore.end() || before->second != workAfter.at(name)) {
      FUZZ_CHECK(workAfter.at(name).size() == base.size());
    }
  }

  if ((flags & kCallTwice) == 0 || first.status != CAL_OK) return 0;
  // The same request again finds its entry: same status and name, and when the base
  // working file carries the base file's identification text, nothing is written.
  // (A table whose curves lie over its own identification text changes that text when it
  // is calibrated; its working file is then rebuilt on every call, which is allowed.)
  char baseIdent[cal::TABLE_IDENT_SIZE] = {};
  char workIdent[cal::TABLE_IDENT_SIZE] = {};
  const bool identsMatch =
      madeWorkingFile && plainName &&
      cal::ReadTableIdent(baseName.c_str(), wideBase.c_str(), baseIdent) == CAL_OK &&
      cal::ReadTableIdent(name.c_str(), wideWork.c_str(), workIdent) == CAL_OK &&
      std::memcmp(baseIdent, workIdent, sizeof baseIdent) == 0;
  plat::testing::Reset();
  const Call second = Calibrate(request, block, levels, wideBase, wideWork);
  FUZZ_CHECK(second.status == CAL_OK);
  FUZZ_CHECK(Returned(second) == name);
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
  if (identsMatch || !madeWorkingFile) FUZZ_CHECK(Take(workDir) == workAfter);
  return 0;
}
