// A stored answer costs no allocation: every key of the shipped image that is answered by a
// stored leaf (and the selector key, answered from stored rows) takes nothing from the heap,
// neither on the size query nor on the answer call.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "entry.h"
#include "evaluator.h"
#include "image.h"
#include "query_env.h"
#include "testing/fault_control.h"

namespace {

namespace pt = plat::testing;

constexpr uint16_t kSelectorKey = 4126;  // a 192-byte record copied from stored rows

// The Drv keys the dispatcher answers with code of its own (item lists and command
// sequences build their answers from several lookups and temporary memory).
bool AnsweredByListCode(mdb::Category category, uint16_t key) {
  if (category != mdb::Category::Drv) return false;
  return (key >= 4108 && key <= 4116) || (key >= 4118 && key <= 4125) || key == 4173 ||
         key == 4174 || key == 4177 || key == 4180;
}

struct HostState {
  std::array<int32_t, 128> settings{};
  std::array<const char*, 16> strings{};
  QueryContext context{};

  explicit HostState(std::initializer_list<std::pair<uint32_t, int32_t>> values) {
    for (const auto& [number, value] : values) settings[number] = value;
    for (const char*& text : strings) text = "";
    context.stringCount = static_cast<uint32_t>(strings.size());
    context.strings = strings.data();
    context.settingCount = static_cast<uint32_t>(settings.size());
    context.settings = settings.data();
  }
  // The context points into this record's own arrays: a copy would point into the original.
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;
};

constexpr mdb::Category kCategories[] = {mdb::Category::Root, mdb::Category::Drv,
                                         mdb::Category::LM,   mdb::Category::Mnt,
                                         mdb::Category::PA,   mdb::Category::SM};

TEST(StoredAnswers, TakeNoMemory) {
  const mdb::QueryEnv& env = mdb::ShippedEnv();
  const mdb::DbImage& image = *env.image;
  // An empty state and two print modes (engine, media, quality, colour, margins, paper).
  const std::deque<HostState> states = [] {
    std::deque<HostState> s;
    s.emplace_back(std::initializer_list<std::pair<uint32_t, int32_t>>{});
    s.emplace_back(std::initializer_list<std::pair<uint32_t, int32_t>>{
        {4, 3}, {5, 1}, {6, 1}, {7, 7}, {8, 4}, {9, 0}, {28, 9}, {81, 0}});
    s.emplace_back(std::initializer_list<std::pair<uint32_t, int32_t>>{
        {4, 3}, {5, 281}, {6, 1}, {7, 7}, {8, 2}, {9, 1}, {28, 280}, {81, 1}});
    return s;
  }();

  uint32_t checked = 0;
  std::vector<uint8_t> buffer(65536 * 4);
  // Size query and answer call; both must leave the heap alone.
  const auto expectNoAllocation = [&](const HostState& state, mdb::Category category,
                                      uint16_t key) {
    pt::Reset();
    uint32_t required = 0;
    const int32_t sized = mdb::RunQuery(env, category, key, &state.context, 0, nullptr, &required);
    const int32_t answered =
        mdb::RunQuery(env, category, key, &state.context, static_cast<uint32_t>(buffer.size()),
                      buffer.data(), &required);
    EXPECT_EQ(sized, MPX_BUFFER_TOO_SMALL) << "key " << key;
    EXPECT_EQ(answered, MPX_OK) << "key " << key;
    EXPECT_EQ(pt::AllocationCount(), 0u) << "key " << key;
    ++checked;
  };
  for (const HostState& state : states) {
    for (const mdb::Category category : kCategories) {
      for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
        const uint16_t key = image.directoryKeys[i];
        if (key >> 12 != static_cast<uint16_t>(category) || AnsweredByListCode(category, key)) {
          continue;
        }
        mdb::DbNode leaf{};
        if (mdb::LookupKey(env, key, &state.context, &leaf) != MPX_OK ||
            mdb::NodeTypeCode(leaf) == static_cast<uint32_t>(mdb::NodeType::Computed)) {
          continue;  // no answer here, or one computed on the spot
        }
        expectNoAllocation(state, category, key);
      }
    }
  }
  // The selector rows of the print modes that have a selector record.
  const uint32_t beforeSelector = checked;
  for (const HostState& state : states) {
    uint32_t required = 0;
    std::array<uint8_t, 192> record{};
    if (mdb::RunQuery(env, mdb::Category::Drv, kSelectorKey, &state.context, 192, record.data(),
                      &required) == MPX_OK) {
      expectNoAllocation(state, mdb::Category::Drv, kSelectorKey);
    }
  }
  EXPECT_GT(checked, beforeSelector) << "a print mode with a selector record";
  // Most keys of every category are stored answers; the sweep must have reached them.
  EXPECT_GT(checked, 200u);
}

}  // namespace
