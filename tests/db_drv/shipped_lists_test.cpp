// The dispatcher's answers on the shipped database through the exported functions: item
// lists, command sequences and the selector record, as a host asks for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "db_query.h"
#include "modeldb.h"
#include "q770_model.h"

namespace {

using dbtest::Answer;
using dbtest::Ask;
using dbtest::HexBytes;
using dbtest::HostState;
using dbtest::Int32s;

constexpr int32_t kUntouched32 = static_cast<int32_t>(0xEEEEEEEEu);

HostState DrvState(std::map<uint32_t, int32_t> overrides = {}) {
  HostState s;
  s.stringCount = 0;
  s.settings = {{q770::kEngine, 3}, {q770::kGrey, 0},  {q770::kMedia, 1},
                {q770::kQuality, 4}, {q770::kVariant, 1}, {q770::kInkSet, 7},
                {q770::kPaperSize, 9}};
  for (const auto& [k, v] : overrides) s.settings[k] = v;
  return s;
}

Answer Drv(uint32_t key, const HostState& s) { return Ask(MPX_AccessDrvDataBase, key, s); }

using Record = std::array<int32_t, 5>;

std::vector<Record> Records(const Answer& a) {
  const std::vector<int32_t> v = Int32s(a);
  std::vector<Record> records;
  for (size_t i = 0; i + 5 <= v.size(); i += 5) {
    records.push_back({v[i], v[i + 1], v[i + 2], v[i + 3], v[i + 4]});
  }
  return records;
}

// An item list first fetches its n ids to the first n 32-bit slots, then spreads them to
// their records and clears the slots it moved them from; fields no step writes keep the
// caller's bytes.
std::vector<Record> Spread(std::vector<Record> records) {
  for (size_t slot = 1; slot < records.size(); ++slot) {
    int32_t& field = records[slot / 5][slot % 5];
    if (field == kUntouched32) field = 0;
  }
  return records;
}

std::vector<int32_t> Ids(const std::vector<Record>& records) {
  std::vector<int32_t> ids;
  for (const Record& r : records) ids.push_back(r[0]);
  return ids;
}

// ---- Item lists ---------------------------------------------------------------------------------

TEST(EngineList, OneRecordCompletedAndMarked) {
  uint32_t size = 0;
  HostState s = DrvState();
  dbtest::BuiltContext built;
  dbtest::Build(s, &built);
  ASSERT_EQ(MPX_AccessDrvDataBase(4109, &built.context, 0, nullptr, &size), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 20u);
  std::vector<uint8_t> buffer(20, 0);
  uint32_t kept = 12345;
  ASSERT_EQ(MPX_AccessDrvDataBase(4109, &built.context, 20, buffer.data(), &kept), MPX_OK);
  EXPECT_EQ(kept, 12345u) << "item lists leave the size output alone on success";
  for (uint32_t key : {4108u, 4109u}) {
    for (int32_t grey : {0, 1}) {
      EXPECT_EQ(Records(Drv(key, DrvState({{q770::kGrey, grey}}))),
                (std::vector<Record>{{3, 15003, 20003, 1, 1}}))
          << key;
    }
  }
  // Outside the print modes the list stands, without its mark.
  EXPECT_EQ(Records(Drv(4109, DrvState({{q770::kGrey, 2}}))),
            (std::vector<Record>{{3, 15003, 20003, 1, 0}}));
}

TEST(MediaList, TenMediaWithTheirValuesAndPlainPaperMarked) {
  std::vector<Record> expected;
  for (const q770::Media& m : q770::MediaList()) {
    expected.push_back({m.id, m.itemValue, kUntouched32, kUntouched32, m.id == 1 ? 1 : 0});
  }
  EXPECT_EQ(Records(Drv(4110, DrvState())), Spread(expected));
  EXPECT_EQ(Records(Drv(4111, DrvState())), Spread(expected));
  EXPECT_EQ(Records(Drv(4110, DrvState({{q770::kGrey, 1}}))), Spread(expected));
  EXPECT_EQ(Drv(4110, DrvState({{q770::kGrey, 2}})).status, MPX_NO_ANSWER);
  EXPECT_EQ(Drv(4110, DrvState({{q770::kEngine, 2}})).status, MPX_NO_ANSWER);
}

TEST(PaperLists, PrintableAllAndBorderless) {
  std::vector<Record> printable, all, borderless;
  for (const q770::Paper& p : q770::kPapers) {
    all.push_back({p.size, p.itemValue, p.identifier, p.printable ? 0 : 1, kUntouched32});
    if (p.printable) printable.push_back({p.size, p.itemValue, p.identifier, kUntouched32, kUntouched32});
    if (p.borderless) borderless.push_back({p.size, p.itemValue, p.identifier, kUntouched32, 0});
  }
  EXPECT_EQ(Records(Drv(4112, DrvState())), Spread(printable));
  EXPECT_EQ(Records(Drv(4113, DrvState())), Spread(all));
  EXPECT_EQ(Records(Drv(4180, DrvState())), Spread(borderless));
  EXPECT_EQ(Ids(borderless), (std::vector<int32_t>{9, 1, 280}));
}

TEST(InkSetList, SevenMarked) {
  const std::vector<Record> expected{{7, 15302, kUntouched32, kUntouched32, 1}};
  EXPECT_EQ(Records(Drv(4114, DrvState())), expected);
  EXPECT_EQ(Records(Drv(4115, DrvState())), expected);
}

TEST(VariantList, SecondVariantOnlyAtQualityFive) {
  EXPECT_EQ(Records(Drv(4116, DrvState())),
            (std::vector<Record>{{3, 0, kUntouched32, kUntouched32, 1},
                                 {1, kUntouched32, kUntouched32, kUntouched32, 0}}));
  for (int32_t media : {1, 263}) {
    EXPECT_EQ(Ids(Records(Drv(4116, DrvState({{q770::kMedia, media}, {q770::kQuality, 5}})))),
              (std::vector<int32_t>{3, 2, 1}));
  }
  EXPECT_EQ(Ids(Records(Drv(4116, DrvState({{q770::kMedia, 2}, {q770::kQuality, 5}})))),
            (std::vector<int32_t>{3, 1}));
  EXPECT_EQ(Drv(4116, DrvState({{q770::kQuality, 2}})).status, MPX_NO_ANSWER);
}

TEST(QualityLists, ByMediaAndMargins) {
  for (const q770::Media& m : q770::MediaList()) {
    for (int32_t borderless : {0, 1}) {
      const std::vector<int32_t>& qualities = borderless ? m.borderlessQualities : m.qualities;
      if (qualities.empty()) {
        for (int32_t q = 1; q <= 5; ++q) {
          EXPECT_EQ(Drv(4118, DrvState({{q770::kMedia, m.id}, {q770::kBorderless, 1},
                                        {q770::kQuality, q}}))
                        .status,
                    MPX_NO_ANSWER)
              << m.id;
        }
        continue;
      }
      // Asked with a quality of the list; the mark is the media's quality mark.
      const HostState s = DrvState({{q770::kMedia, m.id}, {q770::kBorderless, borderless},
                                    {q770::kQuality, qualities.front()}});
      const std::vector<Record> records = Records(Drv(4118, s));
      ASSERT_EQ(Ids(records), qualities) << m.id << " " << borderless;
      for (const Record& r : records) {
        EXPECT_GE(r[1], 0);
        EXPECT_LE(r[1], 3);
        EXPECT_GE(r[2], -4);
        EXPECT_LE(r[2], -2);
        EXPECT_EQ(r[3], kUntouched32);
        EXPECT_EQ(r[4], r[0] == m.qualityMark ? 1 : 0);
      }
      std::vector<Record> all = Records(Drv(4119, s));
      ASSERT_EQ(Ids(all), (std::vector<int32_t>{1, 2, 3, 4, 5}));
      for (const Record& r : all) EXPECT_EQ(r[4], r[0] == m.qualityMark ? 1 : 0) << m.id;
    }
  }
  // A quality the media does not offer: the quality mark has no answer, so neither list has.
  EXPECT_EQ(Drv(4118, DrvState({{q770::kQuality, 2}})).status, MPX_NO_ANSWER);
  EXPECT_EQ(Drv(4119, DrvState({{q770::kQuality, 2}})).status, MPX_NO_ANSWER);
}

TEST(MarginLists, ByMedia) {
  const Record none0{0, kUntouched32, kUntouched32, kUntouched32, 1};
  const Record none1{1, kUntouched32, kUntouched32, kUntouched32, 0};
  for (const q770::Media& m : q770::MediaList()) {
    const std::vector<Record> expected = m.borderlessQualities.empty()
                                             ? std::vector<Record>{none0}
                                             : std::vector<Record>{none0, none1};
    EXPECT_EQ(Records(Drv(4173, DrvState({{q770::kMedia, m.id}}))), Spread(expected)) << m.id;
  }
  EXPECT_EQ(Records(Drv(4174, DrvState())), Spread({none0, none1}));
}

TEST(BorderlessMediaList, FiveMedia) {
  std::vector<Record> expected;
  for (int32_t id : {281, 285, 284, 277, 1}) {
    expected.push_back({id, q770::FindMedia(id)->itemValue, kUntouched32, kUntouched32, kUntouched32});
  }
  EXPECT_EQ(Records(Drv(4177, DrvState())), Spread(expected));
}

// ---- Command sequences ----------------------------------------------------------------------

TEST(PrintJobCommands, PlainPaperQualityFourOnAFour) {
  const Answer a = Drv(4121, DrvState());
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.size, 116u);
  const std::vector<uint8_t> expected = HexBytes(
      "1B 28 62 01 00 01"
      "1B 28 63 03 00 30 00 01  1B 28 64 04 00 02 58 02 58"
      "1B 28 74 1E 00 80 80 01 24 00 05 24 00 05 24 00 05 24 00 05"
      "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
      "1B 28 70 2E 00 02 AB 00 00 01 E0 00 00 00 00 00 00 02 58 00 00 00 50 00 00 00 46 00 00"
      "12 C0 00 00 1A AB 00 00 00 00 00 00 00 00 00 00 13 61 00 00 1B 68"
      "1B 28 6C 02 00 34 00");
  ASSERT_EQ(expected.size(), 116u);
  EXPECT_EQ(dbtest::Hex(a.bytes), dbtest::Hex(expected));
  // The ESC ( l part does not depend on setting 7.
  const Answer other = Drv(4121, DrvState({{q770::kInkSet, 4}}));
  EXPECT_EQ(other.bytes, a.bytes);
}

TEST(PrintJobCommands, UserDefinedSizeIsComputed) {
  const Answer a = Drv(4121, DrvState({{q770::kPaperSize, 256}, {q770::kUserWidth, 10000},
                                       {q770::kUserLength, 15000}}));
  ASSERT_EQ(a.status, MPX_OK);
  ASSERT_EQ(a.size, 116u);
  const std::vector<uint8_t> page(a.bytes.begin() + 58, a.bytes.begin() + 109);
  EXPECT_EQ(dbtest::Hex(page),
            "1B 28 70 2E 00 01 50 00 00 00 DD 00 00 00 00 00 00 02 58 00 00 00 50 00 00 00 46 "
            "00 00 08 9A 00 00 0D 1B 00 00 00 00 00 00 00 00 00 00 09 3B 00 00 0D D8");
}

TEST(PrintJobCommands, SizesWithoutPrintableAreaHaveNoPageFormat) {
  const Answer a = Drv(4121, DrvState({{q770::kPaperSize, 8}}));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.size, 65u);
}

TEST(SingleCommands, AreStoredBytes) {
  const std::pair<uint32_t, const char*> commands[] = {
      {4122, "1B 28 71 01 00 00"}, {4123, "1B 40"}, {4124, "1B 28 62 01 00 00"},
      {4125, "1B 28 65 02 00 00 01 0C"}};
  for (const auto& [key, hex] : commands) {
    const Answer a = Drv(key, DrvState());
    ASSERT_EQ(a.status, MPX_OK) << key;
    EXPECT_EQ(dbtest::Hex(a.bytes), hex) << key;
  }
}

// Printers of the spooler stand-in live in a directory of files.
class JobStartCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // A name of its own, so runs of the suite side by side do not share a store.
    store_ = std::filesystem::temp_directory_path() /
             ("db_drv_spool_" + std::to_string(std::random_device{}()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(store_);
    ::setenv("MPX_SPOOL_DIR", store_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("MPX_SPOOL_DIR");
    std::filesystem::remove_all(store_);
  }
  void SetPrinter(const std::string& lines) {
    std::ofstream(store_ / "Q770 test.ini") << lines;
  }
  static HostState WithPrinter(std::map<uint32_t, int32_t> settings = {}) {
    HostState s = DrvState(std::move(settings));
    s.printerName = u"Q770 test";
    return s;
  }
  std::filesystem::path store_;
};

constexpr size_t kTimeCommand = 65;

std::string Tail(const Answer& a, size_t from) {
  return std::string(a.bytes.begin() + static_cast<std::ptrdiff_t>(from), a.bytes.end());
}

TEST_F(JobStartCommands, SilentAlwaysOn) {
  SetPrinter("VrdUI_SilentModeEnable=1\n");
  const Answer a = Drv(4120, WithPrinter());
  ASSERT_EQ(a.status, MPX_OK);
  ASSERT_EQ(a.size, 127u);
  EXPECT_EQ(Tail(a, kTimeCommand),
            std::string("\x1B[K\x02\x00\x00\x1F", 7) +
                "QXLSTART\nControlMode=Common\nSetSilent=ON\nQXLEND\n" +
                std::string("\x1B[K\x02\x00\x00\x0F", 7));
  EXPECT_EQ(std::string(a.bytes.begin() + 7, a.bytes.begin() + 43),
            "QXLSTART\nControlMode=Common\nSetTime=");
}

TEST_F(JobStartCommands, SilentOffOrWindowed) {
  for (const char* value : {"0", "2", "7"}) {
    SetPrinter(std::string("VrdUI_SilentModeEnable=") + value + "\n");
    const Answer a = Drv(4120, WithPrinter());
    ASSERT_EQ(a.status, MPX_OK) << value;
    EXPECT_EQ(a.size, 128u) << value;
  }
  SetPrinter("");
  const Answer missing = Drv(4120, WithPrinter());
  ASSERT_EQ(missing.status, MPX_OK);
  EXPECT_EQ(Tail(missing, kTimeCommand),
            std::string("\x1B[K\x02\x00\x00\x1F", 7) +
                "QXLSTART\nControlMode=Common\nSetSilent=OFF\nQXLEND\n" +
                std::string("\x1B[K\x02\x00\x00\x0F", 7));
}

TEST_F(JobStartCommands, OptionFlagsUnderBit23) {
  SetPrinter("VrdUI_SilentModeEnable=1\n");
  const Answer a = Drv(4120, WithPrinter({{q770::kOptionFlags, 0x00800000}, {q770::kOptionValue, 0x1234}}));
  ASSERT_EQ(a.status, MPX_OK);
  ASSERT_EQ(a.size, 139u);
  EXPECT_EQ(dbtest::Hex(std::vector<uint8_t>(a.bytes.end() - 12, a.bytes.end())),
            "1B 28 24 07 00 01 00 01 12 34 00 01");
  // Other bits alone add nothing.
  EXPECT_EQ(Drv(4120, WithPrinter({{q770::kOptionFlags, 0x00700000}})).size, 127u);
}

TEST_F(JobStartCommands, NeedAPrinter) {
  EXPECT_EQ(Drv(4120, DrvState()).status, MPX_ERR_CONTEXT);
}

// ---- Selector -------------------------------------------------------------------------------

TEST(Selector, GreyscaleSecondVariantOn263) {
  const Answer a = Drv(4126, DrvState({{q770::kGrey, 1}, {q770::kMedia, 263}, {q770::kQuality, 5},
                                       {q770::kVariant, 2}}));
  ASSERT_EQ(a.status, MPX_OK);
  ASSERT_EQ(a.size, 192u);
  const std::vector<uint8_t>& b = a.bytes;
  // Table 1 row 23: value 8 of group 11, 0 for the second variant, 1 for greyscale.
  EXPECT_EQ(dbtest::Hex({b.begin(), b.begin() + 28}),
            "7C 00 08 00 FF 00 00 01 00 00 00 00 00 00 00 00 01 00 58 02 58 02 58 02 58 02 02 00");
  EXPECT_EQ(std::string(b.begin() + 28, b.begin() + 40), "htab0000.tbl");
  EXPECT_TRUE(std::all_of(b.begin() + 40, b.begin() + 88, [](uint8_t x) { return x == 0; }));
  // Table 3 row 2.
  EXPECT_EQ(dbtest::Hex({b.begin() + 88, b.begin() + 108}),
            "0D 00 07 00 00 00 14 00 56 54 00 00 24 6D 00 00 03 00 00 00");
  EXPECT_TRUE(std::all_of(b.begin() + 108, b.begin() + 172, [](uint8_t x) { return x == 0; }));
  EXPECT_TRUE(std::all_of(b.begin() + 172, b.end(), [](uint8_t x) { return x == dbtest::kUntouched; }));
}

TEST(Selector, FirstRecordAndNoRecord) {
  const Answer first = Drv(4126, DrvState({{q770::kQuality, 1}}));
  ASSERT_EQ(first.status, MPX_OK);
  EXPECT_EQ(first.bytes[2], 0);    // group 0
  EXPECT_EQ(first.bytes[16], 0);   // colour
  EXPECT_EQ(first.bytes[94], 0);   // table 3 row 0 value
  EXPECT_EQ(Drv(4126, DrvState({{q770::kEngine, 2}})).status, MPX_NO_ANSWER);
  EXPECT_EQ(Drv(4126, DrvState({{q770::kVariant, 3}})).status, MPX_NO_ANSWER);
}

}  // namespace
