// Shared fixtures of the calibration module tests: a scratch directory, files in it, and a
// work context with a table file open for reading and writing.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "calibmod.h"
#include "presets.h"
#include "table_sample.h"
#include "testing/fault_control.h"
#include "work_context.h"

namespace caltest {

using cal::sample::Bytes;

inline std::u16string Widen(const std::string& text) { return {text.begin(), text.end()}; }

// A fresh directory per test, removed afterwards. Resets the test backend first.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string leaf = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : leaf) {
      if (c == '/') c = '_';
    }
    // Per process too, so that two builds running the suite at once do not collide.
    dir_ = std::filesystem::temp_directory_path() /
           ("calibmod_core_test." + std::to_string(getpid())) / leaf;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    wideDir_ = Widen(dir_.string());
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
    std::filesystem::remove(dir_.parent_path(), ignored);  // only once it is empty
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  void Put(const std::string& name, const Bytes& bytes) const {
    ASSERT_TRUE(cal::sample::WriteFileBytes(PathOf(name), bytes));
  }
  Bytes Get(const std::string& name) const {
    Bytes bytes;
    EXPECT_TRUE(cal::sample::ReadFileBytes(PathOf(name), &bytes)) << name;
    return bytes;
  }
  const char16_t* Dir() const { return wideDir_.c_str(); }

  std::filesystem::path dir_;
  std::u16string wideDir_;
};

// A work context over a table file in the scratch directory.
class TableTest : public ScratchTest {
 protected:
  static constexpr const char* kTable = "htab0001.tbl";

  void SetUp() override {
    ScratchTest::SetUp();
    request_ = CalibrationRequest{7, 3, 1, 2, 3};
    context_ = cal::WorkContext{};
    context_.request = &request_;
    context_.levels = levels_;
    context_.byteOrderCode = cal::BYTE_ORDER_HOST;
    context_.tableFile.file.handle = plat::kInvalidFile;
  }
  void TearDown() override {
    CloseTable();
    ScratchTest::TearDown();
  }

  // Writes the file and opens it as the work context's table file.
  void OpenTable(const Bytes& bytes) {
    Put(kTable, bytes);
    ASSERT_EQ(cal::FileOpenReadWrite(context_.tableFile.file, Dir(), kTable), CAL_OK);
    open_ = true;
  }
  void CloseTable() {
    if (!open_) return;
    cal::FileClose(context_.tableFile.file);
    open_ = false;
  }
  void SetLevels(std::initializer_list<int16_t> levels) {
    std::fill(std::begin(levels_), std::end(levels_), int16_t{0});
    std::copy(levels.begin(), levels.end(), levels_);
  }

  CalibrationRequest request_{};
  int16_t levels_[8] = {};
  cal::WorkContext context_{};
  bool open_ = false;
};

// The little-endian or big-endian bytes of a preset curve.
inline Bytes CurveBytes(const cal::PresetCurve& curve, cal::sample::DataOrder order) {
  Bytes bytes(512);
  for (size_t i = 0; i < 256; ++i) cal::sample::PutU16(bytes, 2 * i, curve[i], order);
  return bytes;
}

inline void Overwrite(Bytes& bytes, size_t offset, const Bytes& with) {
  ASSERT_LE(offset + with.size(), bytes.size());
  std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace caltest
