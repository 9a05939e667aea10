// Derived contexts: preset sizes and layout, what is copied from a source, what is cleared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "context.h"
#include "testing/fault_control.h"

namespace {

struct Preset {
  int32_t number;
  uint32_t settings;
  uint32_t strings;
  uint32_t win32Bytes;  // the block size with 32-bit pointers
};

constexpr Preset kPresets[] = {{0, 1, 1, 36}, {1, 95, 0, 408}, {2, 13, 5, 100},
                               {3, 1, 0, 32},  {4, 4, 0, 44},   {5, 16, 9, 128}};

// Leaves a dirty block of the preset's size on the heap, so a context that forgot to clear an
// entry would most likely show the dirt.
void DirtyHeap(int32_t preset) {
  const uint32_t size = mdb::DerivedContextBlockSize(preset);
  void* block = plat::HeapAlloc(size, false);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, size);
  plat::HeapFree(block);
}

class DerivedContext : public ::testing::TestWithParam<Preset> {
 protected:
  void SetUp() override { plat::testing::Reset(); }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }
};

TEST_P(DerivedContext, HasThePresetSizesWithTheAreasBehindTheHeader) {
  const Preset p = GetParam();
  const uint32_t size = mdb::DerivedContextBlockSize(p.number);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(size, p.win32Bytes);
  } else {
    EXPECT_GE(size, sizeof(QueryContext) + 4 * p.settings + sizeof(char*) * p.strings);
    EXPECT_LT(size, sizeof(QueryContext) + 4 * p.settings + sizeof(char*) * p.strings + 8);
  }

  DirtyHeap(p.number);
  QueryContext* c = mdb::AllocDerivedContext(p.number, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->hPrinter, nullptr);
  EXPECT_EQ(c->hostData, 0u);
  EXPECT_EQ(c->settingCount, p.settings);
  EXPECT_EQ(c->stringCount, p.strings);
  const auto* base = reinterpret_cast<const unsigned char*>(c);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(c->settings), base + sizeof(QueryContext));
  EXPECT_EQ(mdb::DerivedSettings(c), c->settings);
  if (p.strings == 0) {
    EXPECT_EQ(c->strings, nullptr);
  } else {
    const auto* stringsArea = reinterpret_cast<const unsigned char*>(c->strings);
    EXPECT_GE(stringsArea, reinterpret_cast<const unsigned char*>(c->settings + p.settings));
    EXPECT_EQ(stringsArea + sizeof(char*) * p.strings, base + size) << "strings end the block";
    EXPECT_EQ(mdb::DerivedStrings(c), c->strings);
  }
  for (uint32_t i = 0; i < p.settings; ++i) EXPECT_EQ(c->settings[i], 0) << i;
  for (uint32_t i = 0; i < p.strings; ++i) EXPECT_EQ(c->strings[i], nullptr) << i;
  mdb::ReleaseDerivedContext(c);
}

TEST_P(DerivedContext, CopiesThePrefixOfTheSourceAndClearsTheRest) {
  const Preset p = GetParam();
  std::vector<int32_t> settings(120);
  for (size_t i = 0; i < settings.size(); ++i) settings[i] = static_cast<int32_t>(1000 + i);
  const char* strings[] = {"a", nullptr, "c"};
  int marker = 0;

  for (uint32_t settingCount : {0u, 3u, 120u}) {
    const QueryContext source{&marker, 0xCAFEu, 3, strings, settingCount, settings.data(), u"name"};
    DirtyHeap(p.number);
    QueryContext* c = mdb::AllocDerivedContext(p.number, &source);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->hPrinter, &marker);
    EXPECT_EQ(c->hostData, 0xCAFEu);
    EXPECT_EQ(c->printerName, nullptr);
    const uint32_t copied = std::min(p.settings, settingCount);
    for (uint32_t i = 0; i < p.settings; ++i) {
      EXPECT_EQ(c->settings[i], i < copied ? settings[i] : 0) << "setting " << i;
    }
    for (uint32_t i = 0; i < p.strings; ++i) {
      EXPECT_EQ(c->strings[i], i < 3 ? strings[i] : nullptr) << "string " << i;
    }
    mdb::ReleaseDerivedContext(c);
  }
}

INSTANTIATE_TEST_SUITE_P(Presets, DerivedContext, ::testing::ValuesIn(kPresets),
                         [](const auto& tp) { return "Preset" + std::to_string(tp.param.number); });

TEST(DerivedContextAlloc, OtherPresetsYieldNoneWithoutAllocating) {
  plat::testing::Reset();
  for (int32_t preset : {-1, 6, 7, 1000}) {
    EXPECT_EQ(mdb::AllocDerivedContext(preset, nullptr), nullptr) << preset;
    EXPECT_EQ(mdb::DerivedContextBlockSize(preset), 0u) << preset;
  }
  EXPECT_EQ(plat::testing::AllocationCount(), 0u);
}

TEST(DerivedContextAlloc, SourceWithNullArraysCopiesNothing) {
  plat::testing::Reset();
  const QueryContext source{nullptr, 7, 5, nullptr, 20, nullptr, nullptr};
  QueryContext* c = mdb::AllocDerivedContext(5, &source);
  ASSERT_NE(c, nullptr);
  for (uint32_t i = 0; i < c->settingCount; ++i) EXPECT_EQ(c->settings[i], 0);
  for (uint32_t i = 0; i < c->stringCount; ++i) EXPECT_EQ(c->strings[i], nullptr);
  mdb::ReleaseDerivedContext(c);
  mdb::ReleaseDerivedContext(nullptr);
  EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
}

TEST(DerivedContextAlloc, ExhaustedHeapYieldsNone) {
  plat::testing::Reset();
  plat::testing::FailAllocation(1);
  EXPECT_EQ(mdb::AllocDerivedContext(1, nullptr), nullptr);
  EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
  QueryContext* c = mdb::AllocDerivedContext(1, nullptr);  // the next one succeeds
  EXPECT_NE(c, nullptr);
  mdb::ReleaseDerivedContext(c);
}

}  // namespace
