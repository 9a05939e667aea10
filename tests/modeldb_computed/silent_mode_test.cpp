// The silent-mode command: the window read through the printer data named by Root key 8,
// and every way of failing to read it, which all end in the silent-off block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "computed.h"
#include "test_image.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::TestImage;

constexpr uint16_t kRootValueNames = 8;
const std::u16string kPrinter = u"Q770 test";
const std::u16string kWindowValue = u"VrdUI_SilentModeTime";

std::vector<uint8_t> SilentBlock(const std::string& command) {
  std::vector<uint8_t> bytes = {0x1B, 0x5B, 0x4B, 0x02, 0x00, 0x00, 0x1F};
  const std::string lines = "QXLSTART\nControlMode=Common\n" + command + "QXLEND\n";
  bytes.insert(bytes.end(), lines.begin(), lines.end());
  return bytes;
}
const std::vector<uint8_t> kSilentOn = SilentBlock("SetSilent=ON\n\n");
const std::vector<uint8_t> kSilentOff = SilentBlock("SetSilent=OFF\n");

uint32_t Window(uint16_t start, uint16_t end) { return static_cast<uint32_t>(end) << 16 | start; }

class SilentModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    plat::testing::AddPrinter(kPrinter);
    ASSERT_TRUE(plat::PrinterOpen(kPrinter.c_str(), &printer_));
    // Root key 8: printer-data value names by setting 0.
    db_.Key(kRootValueNames,
            db_.SwitchLeaves(0, {{153, db_.WideText(kRootValueNames, "VrdUI_SilentModeEnable")},
                                 {154, db_.WideText(kRootValueNames, "VrdUI_SilentModeTime")}}));
  }
  void TearDown() override {
    plat::PrinterClose(printer_);
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
    EXPECT_EQ(plat::testing::OpenPrinterHandles(), 0u);
  }

  void At(uint16_t hour, uint16_t minute) {
    plat::testing::SetClock({2024, 5, 3, 17, hour, minute, 30, 0});
  }

  // The answer of sub-code 7 for a filled 56-byte buffer; status and size must be 0 and 56.
  std::vector<uint8_t> Command(void* printer) {
    const mdb::DbImage image = db_.Build();
    const mdb::QueryEnv env{&image, nullptr};
    const std::vector<int32_t> settings(95, 0);
    const QueryContext context = mdbtest::ContextWith(settings, printer);
    std::vector<uint8_t> buffer(56, 0xEE);
    uint32_t size = 0;
    EXPECT_EQ(mdb::ComputeValue(env, 7, &context, 56, buffer.data(), &size), MPX_OK);
    EXPECT_EQ(size, 56u);
    return buffer;
  }
  std::vector<uint8_t> Command() { return Command(printer_); }

  TestImage db_;
  void* printer_ = nullptr;
};

TEST_F(SilentModeTest, ActiveInsideTheWindowBothEndsIncluded) {
  const struct {
    uint16_t start, end, hour, minute;
    bool active;
  } cases[] = {
      // 22:00 to 07:00, across midnight.
      {1320, 420, 23, 30, true},
      {1320, 420, 6, 59, true},
      {1320, 420, 22, 0, true},
      {1320, 420, 7, 0, true},
      {1320, 420, 0, 0, true},
      {1320, 420, 21, 59, false},
      {1320, 420, 7, 1, false},
      {1320, 420, 12, 0, false},
      // 09:00 to 17:00, within one day.
      {540, 1020, 9, 0, true},
      {540, 1020, 12, 0, true},
      {540, 1020, 17, 0, true},
      {540, 1020, 8, 59, false},
      {540, 1020, 17, 1, false},
      {540, 1020, 23, 0, false},
      // An empty window is never open, not even at its own minute.
      {600, 600, 10, 0, false},
      {600, 600, 3, 0, false},
      {0, 1439, 0, 0, true},
      {0, 1439, 23, 59, true},
  };
  for (const auto& c : cases) {
    plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(c.start, c.end));
    At(c.hour, c.minute);
    EXPECT_EQ(Command(), c.active ? kSilentOn : kSilentOff)
        << c.start << "-" << c.end << " at " << c.hour << ":" << c.minute;
  }
}

TEST_F(SilentModeTest, SizeQueryReadsNeitherPrinterNorClock) {
  plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
  const mdb::DbImage image = db_.Build();
  const mdb::QueryEnv env{&image, nullptr};
  const std::vector<int32_t> settings(95, 0);
  const QueryContext context = mdbtest::ContextWith(settings, printer_);
  uint32_t size = 0;
  EXPECT_EQ(mdb::ComputeValue(env, 7, &context, 0, nullptr, &size), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 56u);
  // The value name is only fetched (into a block of its own) by the call that fills a buffer.
  EXPECT_EQ(plat::testing::AllocationCount(), 0u);
  At(12, 0);
  EXPECT_EQ(Command(), kSilentOn);
  EXPECT_GT(plat::testing::AllocationCount(), 0u);
}

TEST_F(SilentModeTest, AnUnreadableWindowGivesSilentOff) {
  At(12, 0);
  // No value at all.
  EXPECT_EQ(Command(), kSilentOff);
  // A value longer than four bytes.
  plat::testing::SetPrinterValue(kPrinter, kWindowValue, std::string(8, '\0'));
  EXPECT_EQ(Command(), kSilentOff);
  // A window that would be open, but no printer handle to read it with.
  plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
  EXPECT_EQ(Command(nullptr), kSilentOff);
  EXPECT_EQ(Command(), kSilentOn);
}

TEST_F(SilentModeTest, AMissingValueNameGivesSilentOff) {
  plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
  At(12, 0);
  const struct {
    const char* what;
    void (*build)(TestImage&);
  } images[] = {
      {"no key 8", [](TestImage& db) { db = TestImage{}; }},
      {"key 8 without name 154",
       [](TestImage& db) {
         db = TestImage{};
         db.Key(kRootValueNames,
                db.SwitchLeaves(0, {{153, db.WideText(8, "VrdUI_SilentModeTime")}}));
       }},
      {"key 8 answering the empty name",
       [](TestImage& db) {
         db = TestImage{};
         db.KeyLeaf(kRootValueNames, mdb::MakeNode(mdb::NodeType::WideText, 0, 8, 0));
       }},
      {"key 8 with a malformed node",
       [](TestImage& db) {
         db = TestImage{};
         db.KeyLeaf(kRootValueNames, mdb::MakeNode(mdb::NodeType::MaskHeader, 0, 8, 1));
       }},
      // A key 8 that answers with the silent-mode command itself must not recurse.
      {"key 8 answering the silent-mode command",
       [](TestImage& db) {
         db = TestImage{};
         db.KeyLeaf(kRootValueNames, TestImage::Computed(8, 7));
       }},
  };
  for (const auto& image : images) {
    image.build(db_);
    EXPECT_EQ(Command(), kSilentOff) << image.what;
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << image.what;
  }
}

TEST_F(SilentModeTest, ANameStoredWithoutItsNulIsStillTerminated) {
  plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
  At(12, 0);
  db_ = TestImage{};
  // The 20 characters of the name, followed in the pool by bytes that are not part of it.
  const mdb::DbNode stored = db_.WideText(8, "VrdUI_SilentModeTimeXYZ");
  db_.KeyLeaf(kRootValueNames,
              mdb::MakeNode(mdb::NodeType::WideText, mdb::NodeIndex(stored), 8, 20));
  EXPECT_EQ(Command(), kSilentOn);
}

TEST_F(SilentModeTest, AFailedAllocationGivesSilentOff) {
  plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
  At(12, 0);
  EXPECT_EQ(Command(), kSilentOn);
  const uint32_t allocations = plat::testing::AllocationCount();
  ASSERT_GT(allocations, 0u);
  for (uint32_t nth = 1; nth <= allocations; ++nth) {
    plat::testing::Reset();
    plat::testing::AddPrinter(kPrinter);
    plat::testing::SetPrinterDword(kPrinter, kWindowValue, Window(0, 1439));
    void* printer = nullptr;
    ASSERT_TRUE(plat::PrinterOpen(kPrinter.c_str(), &printer));
    At(12, 0);
    plat::testing::FailAllocation(nth);
    EXPECT_EQ(Command(printer), kSilentOff) << "allocation " << nth;
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << "allocation " << nth;
    plat::PrinterClose(printer);
  }
  plat::testing::Reset();
  plat::testing::AddPrinter(kPrinter);
  ASSERT_TRUE(plat::PrinterOpen(kPrinter.c_str(), &printer_));
}

}  // namespace
