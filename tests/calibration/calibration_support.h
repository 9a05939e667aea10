// Fixtures of the calibration tests: a base directory with a base table file, a working
// directory, the working file a calibration must produce (computed from the preset tables
// and the sample file's layout, not by the module), and helpers to read the history back.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "calibmod.h"
#include "presets.h"
#include "table_sample.h"

namespace caltest {

namespace fs = std::filesystem;
using cal::sample::Bytes;

using CalibrateFn = int16_t (MPX_CALL*)(const CalibrationRequest*, uint8_t*, const int16_t*,
                                const char16_t*, const char16_t*);

inline constexpr const char* kBaseName = "htab0000.tbl";
inline constexpr const char* kStem = "qxhis";
inline constexpr size_t kNameBlockSize = 40;  // 37 used; the rest must stay untouched
inline constexpr uint8_t kFill = 0xAA;

using Levels = std::array<int16_t, 8>;
inline constexpr Levels kNeutral = {0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Levels kAdjusted = {3, 0, -5, 0, 0, 5, 0, 0};
inline constexpr Levels kOtherAdjusted = {-3, 5, 0, 3, -5, 0, 0, 0};

inline std::u16string Widen(const std::string& text) { return {text.begin(), text.end()}; }

inline std::string NameLine(int32_t key, uint32_t id1, uint32_t id2, uint32_t id3,
                            const std::string& name) {
  return std::to_string(key) + "," + std::to_string(id1) + "," + std::to_string(id2) + "," +
         std::to_string(id3) + "," + name + "\r\n";
}

// A base table file of simple-layout curve tables: 1302 and 1308 have presets, 1305 has
// none. The QXDB chunk names 1302 twice.
inline cal::sample::TableSpec BaseSpec(const std::string& ident = "Q770 HTAB0000 1.00") {
  using namespace cal::sample;
  TableSpec spec;
  spec.ident = ident;
  spec.chunks.push_back({KIND_DB, 1000, DbChunkBody(0, {1302, 1305, 1308, 1302}, DataOrder::Little)});
  spec.chunks.push_back({KIND_HT, 1302, SimpleCurveBody(1302, 0, DataOrder::Little)});
  spec.chunks.push_back({KIND_HT, 1305, SimpleCurveBody(1305, 6, DataOrder::Little)});
  spec.chunks.push_back({KIND_HT, 1308, SimpleCurveBody(1308, 12, DataOrder::Little)});
  return spec;
}

// The base file with the preset curves of every non-neutral level put in.
inline Bytes ExpectedWorkingFile(const Bytes& base, const cal::sample::TableLayout& layout,
                                 const Levels& levels) {
  Bytes expected = base;
  for (const cal::sample::PlacedChunk& chunk : layout.chunks) {
    if (chunk.kind != cal::sample::KIND_HT) continue;
    const cal::PresetGroup* group = cal::FindPresetGroup(chunk.id);
    if (group == nullptr) continue;
    for (int16_t ink = 0; ink < 6; ++ink) {
      if (levels[static_cast<size_t>(ink)] == 0) continue;
      const cal::PresetCurve* curve = cal::FindPresetCurve(*group, levels[static_cast<size_t>(ink)], ink);
      if (curve == nullptr) {
        ADD_FAILURE() << "no preset for table " << chunk.id;
        continue;
      }
      const size_t at = chunk.chunkOffset + 4 + 512 * static_cast<size_t>(ink);
      for (size_t e = 0; e < 256; ++e) {
        expected[at + 2 * e] = static_cast<uint8_t>((*curve)[e] & 0xFF);
        expected[at + 2 * e + 1] = static_cast<uint8_t>((*curve)[e] >> 8);
      }
    }
  }
  return expected;
}

// Equal bytes, or where they first differ.
inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << at;
}

struct FileState {
  Bytes bytes;
  fs::file_time_type modified;
  bool operator==(const FileState&) const = default;
};
using DirectoryState = std::map<std::string, FileState>;

// Two directories (base and working) under a fresh temporary one.
class CalibrationDirs : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string leaf = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : leaf) {
      if (c == '/') c = '_';
    }
    // A directory of this process alone: the same test may run in several builds at once.
    root_ = fs::temp_directory_path() /
            ("calibration_test_" + std::to_string(std::random_device{}())) / leaf;
    fs::remove_all(root_);
    baseDir_ = root_ / "base";
    workDir_ = root_ / "work";
    fs::create_directories(baseDir_);
    fs::create_directories(workDir_);
    wideBase_ = Widen(baseDir_.string());
    wideWork_ = Widen(workDir_.string());
    PutBase(BaseSpec());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_.parent_path(), ignored);
  }

  void PutBase(const cal::sample::TableSpec& spec) {
    base_ = cal::sample::BuildTableFile(spec, &layout_);
    expected_.clear();
    ASSERT_TRUE(cal::sample::WriteFileBytes((baseDir_ / kBaseName).string(), base_));
  }
  const Bytes& Expected(const Levels& levels) {
    auto found = expected_.find(levels);
    if (found == expected_.end()) {
      found = expected_.emplace(levels, ExpectedWorkingFile(base_, layout_, levels)).first;
    }
    return found->second;
  }

  static Bytes Read(const fs::path& path) {
    Bytes bytes;
    if (!cal::sample::ReadFileBytes(path.string(), &bytes)) ADD_FAILURE() << "cannot read " << path;
    return bytes;
  }
  Bytes Work(const std::string& name) const { return Read(workDir_ / name); }
  bool WorkExists(const std::string& name) const { return fs::exists(workDir_ / name); }
  void PutWork(const std::string& name, const Bytes& bytes) const {
    ASSERT_TRUE(cal::sample::WriteFileBytes((workDir_ / name).string(), bytes));
  }
  void PutText(const std::string& name, const std::string& text) const {
    PutWork(name, Bytes(text.begin(), text.end()));
  }
  std::string Text(const std::string& name) const {
    const Bytes bytes = Work(name);
    return {bytes.begin(), bytes.end()};
  }
  std::string HistoryName(int16_t key = 7) const {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", key);
    return std::string(kStem) + digits + ".ini";
  }

  // Every file of a directory with its bytes and modification time.
  static DirectoryState Snapshot(const fs::path& dir) {
    DirectoryState state;
    for (const auto& entry : fs::directory_iterator(dir)) {
      state[entry.path().filename().string()] = {Read(entry.path()), fs::last_write_time(entry.path())};
    }
    return state;
  }
  // Dates every file back, so that any write shows in its modification time.
  static void AgeFiles(const fs::path& dir) {
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    for (const auto& entry : fs::directory_iterator(dir)) fs::last_write_time(entry.path(), old);
  }

  // Runs one calibration; the name block starts filled with kFill past the base name and
  // the stem, and bytes 37 onwards must keep it.
  int16_t Run(CalibrateFn calibrate, const CalibrationRequest& request, const Levels& levels,
              const char* baseName = kBaseName, const char* stem = kStem) {
    block_.fill(kFill);
    std::memset(block_.data(), 0, 16);
    std::memcpy(block_.data(), baseName, std::min<size_t>(std::strlen(baseName), 16));
    std::memcpy(block_.data() + 32, stem, 5);
    const int16_t status =
        calibrate(&request, block_.data(), levels.data(), wideBase_.c_str(), wideWork_.c_str());
    for (size_t i = 37; i < block_.size(); ++i) {
      EXPECT_EQ(block_[i], kFill) << "name block byte " << i << " written";
    }
    return status;
  }
  // Bytes 16-31 as returned: the name up to its NUL, and every byte after it zero.
  std::string Returned() const {
    const auto* result = reinterpret_cast<const char*>(block_.data() + 16);
    const size_t length = strnlen(result, 16);
    for (size_t i = length; i < 16; ++i) {
      EXPECT_EQ(block_[16 + i], 0) << "byte " << 16 + i << " after the returned name";
    }
    return {result, length};
  }

  fs::path root_, baseDir_, workDir_;
  std::u16string wideBase_, wideWork_;
  Bytes base_;
  cal::sample::TableLayout layout_;
  std::map<Levels, Bytes> expected_;
  std::array<uint8_t, kNameBlockSize> block_{};
};

}  // namespace caltest
