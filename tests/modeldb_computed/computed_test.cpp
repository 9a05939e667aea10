// The computed values other than silent mode: page format, printable areas, paper length in
// dots, time setting and option flags, with their size queries and check orders.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "computed.h"
#include "testing/fault_control.h"

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;

// "1B 28 70 ..." as bytes.
std::vector<uint8_t> Hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<uint8_t> bytes;
  std::string pair;
  while (in >> pair) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A Drv settings array of 95 entries, all 0 but the given ones.
std::vector<int32_t> Settings(std::initializer_list<std::pair<uint32_t, int32_t>> values,
                              size_t count = 95) {
  std::vector<int32_t> settings(count, 0);
  for (const auto& [index, value] : values) settings.at(index) = value;
  return settings;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (static_cast<uint32_t>(b[at]) << 24) | (static_cast<uint32_t>(b[at + 1]) << 16) |
         (static_cast<uint32_t>(b[at + 2]) << 8) | b[at + 3];
}
uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
int32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(static_cast<uint32_t>(b[at]) |
                              (static_cast<uint32_t>(b[at + 1]) << 8) |
                              (static_cast<uint32_t>(b[at + 2]) << 16) |
                              (static_cast<uint32_t>(b[at + 3]) << 24));
}

class ComputedTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::testing::Reset(); }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }

  // Runs the size query and the fill, expecting both to succeed; returns the answer.
  std::vector<uint8_t> Answer(uint32_t subCode, const std::vector<int32_t>& settings) {
    QueryContext context{};
    context.settingCount = static_cast<uint32_t>(settings.size());
    context.settings = settings.data();
    uint32_t size = kUntouched;
    EXPECT_EQ(mdb::ComputeValue(env_, subCode, &context, 0, nullptr, &size), MPX_BUFFER_TOO_SMALL);
    std::vector<uint8_t> answer(size, 0xEE);
    uint32_t written = kUntouched;
    EXPECT_EQ(mdb::ComputeValue(env_, subCode, &context, size, answer.data(), &written), MPX_OK);
    EXPECT_EQ(written, size);
    return answer;
  }

  mdb::DbImage image_{};
  mdb::QueryEnv env_{&image_, nullptr};
};

// ---- Size queries and check order ----------------------------------------------------------

TEST_F(ComputedTest, SizeQueryOfEverySubCode) {
  const std::vector<int32_t> settings = Settings({});
  QueryContext context{};
  context.settingCount = static_cast<uint32_t>(settings.size());
  context.settings = settings.data();
  const struct {
    uint32_t subCode;
    int32_t status;
    uint32_t size;
  } cases[] = {{1, MPX_BUFFER_TOO_SMALL, 51}, {2, MPX_BUFFER_TOO_SMALL, 16},
               {3, MPX_BUFFER_TOO_SMALL, 16}, {4, MPX_BUFFER_TOO_SMALL, 4},
               {5, MPX_BUFFER_TOO_SMALL, 65}, {6, MPX_BUFFER_TOO_SMALL, 12},
               {7, MPX_BUFFER_TOO_SMALL, 56}, {0, MPX_NO_ANSWER, kUntouched},
               {8, MPX_NO_ANSWER, kUntouched}, {0xFFFF, MPX_NO_ANSWER, kUntouched}};
  for (const auto& c : cases) {
    uint32_t size = kUntouched;
    EXPECT_EQ(mdb::ComputeValue(env_, c.subCode, &context, 0, nullptr, &size), c.status)
        << "sub-code " << c.subCode;
    EXPECT_EQ(size, c.size) << "sub-code " << c.subCode;
  }
  // Neither the clock nor the printer is consulted to size an answer.
  EXPECT_EQ(plat::testing::AllocationCount(), 0u);
}

TEST_F(ComputedTest, ChecksRunInTheirOrder) {
  enum class Ctx { Null, NullSettings, Count };
  const struct {
    uint32_t subCode;
    Ctx ctx;
    uint32_t settingCount;
    bool sizeOutput;
    int32_t status;
  } cases[] = {
      // A missing context: -1 for the page format, paper length and option flags, -3 for the
      // printable areas and silent mode; the time setting does not use it.
      {1, Ctx::Null, 0, true, MPX_ERR_DATABASE},
      {4, Ctx::Null, 0, true, MPX_ERR_DATABASE},
      {6, Ctx::Null, 0, true, MPX_ERR_DATABASE},
      {2, Ctx::Null, 0, true, MPX_ERR_SETTINGS},
      {3, Ctx::Null, 0, true, MPX_ERR_SETTINGS},
      {7, Ctx::Null, 0, true, MPX_ERR_SETTINGS},
      {5, Ctx::Null, 0, true, MPX_BUFFER_TOO_SMALL},
      // Settings 29, 30 and 52 need 53 entries; 79 and 80 need 81.
      {1, Ctx::Count, 52, true, MPX_ERR_SETTINGS},
      {2, Ctx::Count, 52, true, MPX_ERR_SETTINGS},
      {3, Ctx::Count, 52, true, MPX_ERR_SETTINGS},
      {4, Ctx::Count, 52, true, MPX_ERR_SETTINGS},
      {1, Ctx::Count, 53, true, MPX_BUFFER_TOO_SMALL},
      {2, Ctx::Count, 53, true, MPX_BUFFER_TOO_SMALL},
      {3, Ctx::Count, 53, true, MPX_BUFFER_TOO_SMALL},
      {4, Ctx::Count, 53, true, MPX_BUFFER_TOO_SMALL},
      {6, Ctx::Count, 53, true, MPX_ERR_SETTINGS},
      {6, Ctx::Count, 80, true, MPX_ERR_SETTINGS},
      {6, Ctx::Count, 81, true, MPX_BUFFER_TOO_SMALL},
      {7, Ctx::Count, 0, true, MPX_BUFFER_TOO_SMALL},
      {1, Ctx::NullSettings, 95, true, MPX_ERR_SETTINGS},
      {2, Ctx::NullSettings, 95, true, MPX_ERR_SETTINGS},
      {4, Ctx::NullSettings, 95, true, MPX_ERR_SETTINGS},
      {6, Ctx::NullSettings, 95, true, MPX_ERR_SETTINGS},
      // A missing size output comes last.
      {1, Ctx::Count, 95, false, MPX_ERR_DATABASE},
      {2, Ctx::Count, 95, false, MPX_ERR_DATABASE},
      {3, Ctx::Count, 95, false, MPX_ERR_DATABASE},
      {4, Ctx::Count, 95, false, MPX_ERR_DATABASE},
      {6, Ctx::Count, 95, false, MPX_ERR_DATABASE},
      {1, Ctx::Count, 52, false, MPX_ERR_SETTINGS},
      {1, Ctx::Null, 0, false, MPX_ERR_DATABASE},
      {2, Ctx::Null, 0, false, MPX_ERR_SETTINGS},
      {7, Ctx::Null, 0, false, MPX_ERR_SETTINGS},
  };
  const std::vector<int32_t> settings = Settings({});
  for (const auto& c : cases) {
    QueryContext context{};
    context.settingCount = c.settingCount;
    context.settings = c.ctx == Ctx::Count ? settings.data() : nullptr;
    uint32_t size = kUntouched;
    const int32_t status =
        mdb::ComputeValue(env_, c.subCode, c.ctx == Ctx::Null ? nullptr : &context, 0, nullptr,
                          c.sizeOutput ? &size : nullptr);
    EXPECT_EQ(status, c.status) << "sub-code " << c.subCode << " settings " << c.settingCount;
    if (status != MPX_BUFFER_TOO_SMALL) {
      EXPECT_EQ(size, kUntouched) << "sub-code " << c.subCode;
    }
  }
}

TEST_F(ComputedTest, ShortOrMissingBufferGetsTheSizeAndNothingElse) {
  const std::vector<int32_t> settings = Settings({{29, 10000}, {30, 15000}});
  QueryContext context{};
  context.settingCount = static_cast<uint32_t>(settings.size());
  context.settings = settings.data();
  const uint32_t sizes[] = {0, 51, 16, 16, 4, 65, 12, 56};
  for (uint32_t subCode = 1; subCode <= 7; ++subCode) {
    const uint32_t answerSize = sizes[subCode];
    std::vector<uint8_t> buffer(answerSize, 0xEE);
    uint32_t size = kUntouched;
    EXPECT_EQ(mdb::ComputeValue(env_, subCode, &context, answerSize - 1, buffer.data(), &size),
              MPX_BUFFER_TOO_SMALL)
        << "sub-code " << subCode;
    EXPECT_EQ(size, answerSize);
    EXPECT_EQ(buffer, std::vector<uint8_t>(answerSize, 0xEE)) << "sub-code " << subCode;
    size = kUntouched;
    EXPECT_EQ(mdb::ComputeValue(env_, subCode, &context, answerSize, nullptr, &size),
              MPX_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, answerSize);
  }
}

// ---- Page format and paper length ----------------------------------------------------------

TEST_F(ComputedTest, PageFormatForUserDefinedSizes) {
  const struct {
    int32_t width, length, marginMode;
    const char* bytes;
  } cases[] = {
      {10000, 15000, 0,
       "1B 28 70 2E 00 01 50 00 00 00 DD 00 00 00 00 00 00 02 58 00 00 00 50 00 00 00 46 00 00 "
       "08 9A 00 00 0D 1B 00 00 00 00 00 00 00 00 00 00 09 3B 00 00 0D D8"},
      // Setting 52 = 5 prints the full length: 355 sixtieths and 3544 dots.
      {10000, 15000, 5,
       "1B 28 70 2E 00 01 63 00 00 00 DD 00 00 00 00 00 00 02 58 00 00 00 50 00 00 00 46 00 00 "
       "08 9A 00 00 0D D8 00 00 00 00 00 00 00 00 00 00 09 3B 00 00 0D D8"},
      // A4 computes the very command stored for the standard size.
      {21000, 29700, 0,
       "1B 28 70 2E 00 02 AB 00 00 01 E0 00 00 00 00 00 00 02 58 00 00 00 50 00 00 00 46 00 00 "
       "12 C0 00 00 1A AB 00 00 00 00 00 00 00 00 00 00 13 61 00 00 1B 68"},
  };
  for (const auto& c : cases) {
    const auto answer =
        Answer(1, Settings({{29, c.width}, {30, c.length}, {52, c.marginMode}}));
    EXPECT_EQ(answer, Hex(c.bytes)) << c.width << " x " << c.length << " T " << c.marginMode;
  }
}

TEST_F(ComputedTest, PageFormatLimitsTheWidthToEightInches) {
  // 300 mm wide: 693 sixtieths and 29320 x 0.01 mm before the limit.
  const auto answer = Answer(1, Settings({{29, 30000}, {30, 15000}}));
  EXPECT_EQ(Be16(answer, 9), 480);
  EXPECT_EQ(Be32(answer, 27), 4800u);
  EXPECT_EQ(Be32(answer, 43), 7087u);  // the paper width itself is not limited
  // The constants of the command stay whatever the paper.
  EXPECT_EQ(Be32(answer, 15), 600u);
  EXPECT_EQ(Be32(answer, 19), 80u);
  EXPECT_EQ(Be32(answer, 23), 70u);
}

TEST_F(ComputedTest, PageFormatRoundsSixtiethsUpOnlyForARemainder) {
  const struct {
    int32_t width;
    uint16_t sixtieths;
  } cases[] = {
      {680 + 254, 6},      // 6 * 254 / 254 exactly
      {680 + 255, 7},      // a remainder rounds up
      {680 + 1, 1},        // 6 / 254 rounds up to 1
      {680, 0},
  };
  for (const auto& c : cases) {
    const auto answer = Answer(1, Settings({{29, c.width}, {30, 15000}}));
    EXPECT_EQ(Be16(answer, 9), c.sixtieths) << "width " << c.width;
  }
}

TEST_F(ComputedTest, PaperLengthInDots) {
  const struct {
    int32_t length;
    uint32_t dots;
  } cases[] = {
      {15000, 3544}, {29700, 7016}, {0, 0}, {1, 1}, {2540, 600},
      // Unsigned arithmetic: -5000 * 600 wraps to 4291967296 before the division.
      {-5000, 1689751},
  };
  for (const auto& c : cases) {
    const auto answer = Answer(4, Settings({{30, c.length}, {52, 5}}));
    EXPECT_EQ(static_cast<uint32_t>(Le32(answer, 0)), c.dots) << "length " << c.length;
  }
}

// ---- Printable areas ---------------------------------------------------------------------------

TEST_F(ComputedTest, PrintableAreaRecords) {
  const struct {
    uint32_t subCode;
    int32_t width, length, marginMode;
    int32_t expected[4];
  } cases[] = {
      {2, 10000, 15000, 0, {340, 9320, 300, 14200}},
      {2, 10000, 15000, 5, {340, 9320, 0, 15000}},
      {2, 21000, 29700, 0, {340, 20320, 300, 28900}},
      {2, 21001, 29700, 0, {340, 20320, 300, 28900}},
      {2, 30000, 40000, 0, {340, 20320, 300, 39200}},
      {2, 10000, 15000, -5, {340, 9320, 300, 14200}},
      {3, 10000, 15000, 0, {340, 9320, 300, 14200}},
      {3, 30000, 40000, 0, {340, 29320, 300, 39200}},  // no limit for the standard sizes
      {3, 30000, 40000, 5, {340, 29320, 0, 40000}},
      {2, 500, 600, 0, {340, -180, 300, -200}},
  };
  for (const auto& c : cases) {
    // Sub-code 2 reads settings 29 and 30, sub-code 3 settings 25 and 26; the other pair
    // holds values that would show a mix-up.
    const auto settings =
        c.subCode == 2
            ? Settings({{29, c.width}, {30, c.length}, {25, 1}, {26, 2}, {52, c.marginMode}})
            : Settings({{25, c.width}, {26, c.length}, {29, 1}, {30, 2}, {52, c.marginMode}});
    const auto answer = Answer(c.subCode, settings);
    ASSERT_EQ(answer.size(), 16u);
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(Le32(answer, 4 * i), c.expected[i])
          << "sub-code " << c.subCode << " " << c.width << " x " << c.length << " field " << i;
  }
}

// ---- Option flags ------------------------------------------------------------------------------

TEST_F(ComputedTest, OptionFlagsCommand) {
  constexpr int32_t kBit20 = 1 << 20, kBit21 = 1 << 21, kBit22 = 1 << 22, kBit23 = 1 << 23;
  const struct {
    int32_t flags, value;
    const char* bytes;
  } cases[] = {
      {kBit21, 0, "1B 28 24 07 00 01 00 00 00 00 00 41"},
      {kBit20 | kBit22, 0, "1B 28 24 07 00 01 00 00 00 00 00 11"},
      {kBit22, 0, "1B 28 24 07 00 01 00 00 00 00 00 10"},
      {kBit20, 0, "1B 28 24 07 00 01 00 00 00 00 00 00"},
      {kBit23, 0, "1B 28 24 07 00 01 00 01 00 00 00 01"},
      {0, 0x12345, "1B 28 24 07 00 01 00 00 23 45 00 01"},
      {kBit20 | kBit21 | kBit22 | kBit23, -1, "1B 28 24 07 00 01 00 01 FF FF 00 51"},
      // Bits other than 20-23 play no part.
      {~(kBit20 | kBit21 | kBit22 | kBit23), 7, "1B 28 24 07 00 01 00 00 00 07 00 01"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Answer(6, Settings({{79, c.flags}, {80, c.value}})), Hex(c.bytes))
        << std::hex << "flags " << c.flags;
  }
}

// ---- Time setting ------------------------------------------------------------------------------

std::vector<uint8_t> CommandBlock(const std::string& commandLines) {
  return Concat(Hex("1B 5B 4B 02 00 00 1F"),
                Text("QXLSTART\nControlMode=Common\n" + commandLines + "QXLEND\n"));
}

TEST_F(ComputedTest, TimeSettingCarriesTheLocalClock) {
  const struct {
    plat::LocalTime clock;
    const char* text;
  } cases[] = {
      {{2002, 2, 5, 8, 9, 5, 3, 0}, "20020208090503"},
      {{1999, 12, 5, 31, 23, 59, 59, 999}, "19991231235959"},
      {{999, 1, 0, 1, 0, 0, 0, 0}, "09990101000000"},
  };
  for (const auto& c : cases) {
    plat::testing::SetClock(c.clock);
    const auto answer = Answer(5, Settings({}));
    EXPECT_EQ(answer, CommandBlock(std::string("SetTime=") + c.text + "\n")) << c.text;
  }
}

TEST_F(ComputedTest, TimeSettingFailsWhenTheTextIsNotFourteenCharacters) {
  plat::testing::SetClock({10000, 1, 0, 1, 0, 0, 0, 0});
  // The size query does not read the clock.
  uint32_t size = kUntouched;
  EXPECT_EQ(mdb::ComputeValue(env_, 5, nullptr, 0, nullptr, &size), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 65u);
  std::vector<uint8_t> buffer(65, 0xEE);
  size = kUntouched;
  EXPECT_EQ(mdb::ComputeValue(env_, 5, nullptr, 65, buffer.data(), &size), MPX_ERR_DATABASE);
  EXPECT_EQ(size, kUntouched);
  EXPECT_EQ(buffer, std::vector<uint8_t>(65, 0xEE));
}

}  // namespace
