// The file layer: memory ownership, opening, recreating, whole-file reads and writes, byte
// swapping.
#include <sys/stat.h>

#include "file_layer.h"
#include "test_support.h"

namespace caltest {
namespace {

using plat::testing::FileOp;
using plat::testing::FileOpCount;
using plat::testing::LiveBlocks;

cal::FileContext FreshContext() {
  cal::FileContext file{};
  file.handle = plat::kInvalidFile;
  return file;
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

using FileLayerTest = ScratchTest;

TEST_F(FileLayerTest, HolderOwnsZeroFilledMemoryAndRefusesASecondAllocation) {
  cal::BufferHolder holder{};
  cal::HolderClear(holder);
  ASSERT_EQ(cal::HolderAlloc(64, holder), CAL_OK);
  ASSERT_NE(holder.data, nullptr);
  EXPECT_EQ(holder.data, holder.block.base);
  for (size_t i = 0; i < 64; ++i) ASSERT_EQ(holder.data[i], 0) << i;
  EXPECT_EQ(cal::HolderAlloc(64, holder), CALERR_MEMORY);
  EXPECT_EQ(LiveBlocks(), 1u);

  cal::HolderRelease(holder);
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_NE(holder.data, nullptr);  // released, not cleared
  cal::HolderClear(holder);
  cal::HolderRelease(holder);  // a cleared holder frees nothing
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, HolderPointingAtForeignDataOwnsNothing) {
  uint8_t foreign[4] = {};
  cal::BufferHolder holder{};
  holder.data = foreign;
  cal::HolderRelease(holder);  // block empty: nothing freed, nothing crashes
  EXPECT_EQ(holder.block.base, nullptr);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, FailedAllocationLeavesBlockEmpty) {
  plat::testing::FailAllocation(1);
  cal::MemBlock block{reinterpret_cast<void*>(0x1)};
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(cal::MemBlockAlloc(16, block, &out), CALERR_MEMORY);
  EXPECT_EQ(block.base, nullptr);
  EXPECT_EQ(out, nullptr);
}

struct StrCopyCase {
  const char* source;
  uint32_t capacity;
  const char* expected;
};

class StrCopyTest : public ::testing::TestWithParam<StrCopyCase> {};

TEST_P(StrCopyTest, CopiesUpToTheNulAndNeverPastTheCapacity) {
  const StrCopyCase& c = GetParam();
  char buffer[20];
  std::memset(buffer, 'x', sizeof buffer);
  cal::StrCopy(buffer, c.capacity, c.source);
  EXPECT_STREQ(buffer, c.expected);
  for (size_t i = c.capacity; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'x') << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, StrCopyTest,
                         ::testing::Values(StrCopyCase{"htab0000.tbl", 16, "htab0000.tbl"},
                                           StrCopyCase{"", 16, ""},
                                           StrCopyCase{"abcdefghijklmnop", 16, "abcdefghijklmno"},
                                           StrCopyCase{"abc", 4, "abc"},
                                           StrCopyCase{"abcd", 4, "abc"}));

TEST_F(FileLayerTest, ReadAllReadsTheWholeFile) {
  const Bytes content = Pattern(1000, 3);
  Put("base.tbl", content);
  cal::FileContext file = FreshContext();
  cal::HolderClear(file.holder);
  ASSERT_EQ(cal::FileReadAll(file, Dir(), "base.tbl"), CAL_OK);
  EXPECT_EQ(file.dataLength, content.size());
  EXPECT_EQ(Bytes(file.holder.data, file.holder.data + file.dataLength), content);
  cal::HolderRelease(file.holder);
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_EQ(FileOpCount(FileOp::Open), FileOpCount(FileOp::Close));
}

TEST_F(FileLayerTest, ReadAllTellsMissingFromEmptyFromHolderInUse) {
  Put("empty.tbl", {});
  Put("some.tbl", Pattern(10, 1));
  cal::FileContext file = FreshContext();
  cal::HolderClear(file.holder);
  EXPECT_EQ(cal::FileReadAll(file, Dir(), "missing.tbl"), cal::CALERR_NOFILE);
  EXPECT_EQ(cal::FileReadAll(file, Dir(), "empty.tbl"), CALERR_FILE);
  EXPECT_EQ(file.holder.data, nullptr);
  EXPECT_EQ(LiveBlocks(), 0u);

  uint8_t inUse[1] = {};
  file.holder.data = inUse;
  EXPECT_EQ(cal::FileReadAll(file, Dir(), "some.tbl"), CALERR_MEMORY);
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_EQ(FileOpCount(FileOp::Open), 2u + 1u);  // missing (failed), empty, some
  EXPECT_EQ(FileOpCount(FileOp::Close), 2u);
}

TEST_F(FileLayerTest, OpenRefusesNullDirectoryAndUnknownModeWithoutTouchingFiles) {
  Put("a.tbl", Pattern(4, 0));
  cal::FileContext file = FreshContext();
  cal::FileSetLocation(file, nullptr, "a.tbl");
  EXPECT_EQ(cal::FileOpen(file, cal::FILE_MODE_READ), CALERR_FILE);
  cal::FileSetLocation(file, Dir(), "a.tbl");
  EXPECT_EQ(cal::FileOpen(file, 2), CALERR_FILE);
  EXPECT_EQ(cal::FileOpen(file, -1), CALERR_FILE);
  EXPECT_EQ(FileOpCount(FileOp::Any), 0u);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, NullDirectoryKeepsTheOneAlreadySet) {
  Put("a.tbl", Pattern(4, 0));
  cal::FileContext file = FreshContext();
  cal::FileSetLocation(file, Dir(), "x.tbl");
  ASSERT_EQ(cal::FileOpenIn(file, nullptr, "a.tbl", cal::FILE_MODE_READ), CAL_OK);
  cal::FileClose(file);
}

TEST_F(FileLayerTest, NameOfThirtyOneCharactersOpensAndLongerNamesAreRefused) {
  const std::string name31(31, 'n');
  const std::string name32(32, 'n');
  const std::string name40(40, 'n');
  Put(name31, Pattern(4, 0));
  Put(name32, Pattern(4, 0));
  cal::FileContext file = FreshContext();
  ASSERT_EQ(cal::FileOpenIn(file, Dir(), name31.c_str(), cal::FILE_MODE_READ), CAL_OK);
  cal::FileClose(file);
  // A name that does not fit is not cut to another file's name.
  EXPECT_EQ(cal::FileOpenIn(file, Dir(), name32.c_str(), cal::FILE_MODE_READ), CALERR_FILE);
  EXPECT_EQ(cal::FileCreateEmpty(file, Dir(), name40.c_str()), CALERR_FILE);
  EXPECT_EQ(cal::FileOpenIn(file, Dir(), "", cal::FILE_MODE_READ), CALERR_FILE);
  EXPECT_FALSE(std::filesystem::exists(PathOf(name40)));
  EXPECT_EQ(Get(name31), Pattern(4, 0));
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, DirectoryEndingInASeparatorStillNamesTheFile) {
  Put("a.tbl", Pattern(4, 0));
  const std::u16string withSeparator = wideDir_ + plat::PathSeparator();
  cal::FileContext file = FreshContext();
  ASSERT_EQ(cal::FileOpenIn(file, withSeparator.c_str(), "a.tbl", cal::FILE_MODE_READ), CAL_OK);
  cal::FileClose(file);
}

TEST_F(FileLayerTest, ReadOnlyModeCannotWrite) {
  Put("a.tbl", Pattern(8, 0));
  cal::FileContext file = FreshContext();
  ASSERT_EQ(cal::FileOpenIn(file, Dir(), "a.tbl", cal::FILE_MODE_READ), CAL_OK);
  const uint8_t byte = 0xFF;
  EXPECT_EQ(cal::FileWrite(file, &byte, 1), CALERR_FILE);
  cal::FileClose(file);
  EXPECT_EQ(Get("a.tbl"), Pattern(8, 0));
}

TEST_F(FileLayerTest, ReadOfMoreThanTheFileHoldsIsAShortRead) {
  Put("a.tbl", Pattern(8, 0));
  cal::FileContext file = FreshContext();
  ASSERT_EQ(cal::FileOpenReadWrite(file, Dir(), "a.tbl"), CAL_OK);
  uint8_t buffer[16] = {};
  ASSERT_EQ(cal::FileSeek(file, 4), CAL_OK);
  EXPECT_EQ(cal::FileRead(file, buffer, 8), CALERR_FILE);
  ASSERT_EQ(cal::FileSeek(file, 0), CAL_OK);
  EXPECT_EQ(cal::FileRead(file, buffer, 8), CAL_OK);
  EXPECT_EQ(Bytes(buffer, buffer + 8), Pattern(8, 0));
  EXPECT_EQ(cal::FileGetSize(file), 8);
  EXPECT_EQ(cal::FileSeek(file, -4), CALERR_FILE);
  cal::FileClose(file);
}

TEST_F(FileLayerTest, RecreateReplacesAWritableFileAndCreatesAMissingOne) {
  Put("old.tbl", Pattern(100, 9));
  cal::FileContext file = FreshContext();
  ASSERT_EQ(cal::FileCreateEmpty(file, Dir(), "old.tbl"), CAL_OK);
  EXPECT_TRUE(Get("old.tbl").empty());
  ASSERT_EQ(cal::FileCreateEmpty(file, Dir(), "new.tbl"), CAL_OK);
  EXPECT_TRUE(std::filesystem::exists(PathOf("new.tbl")));
  EXPECT_TRUE(Get("new.tbl").empty());
  EXPECT_EQ(FileOpCount(FileOp::Delete), 1u);
  EXPECT_EQ(FileOpCount(FileOp::Create), 2u);
  EXPECT_EQ(FileOpCount(FileOp::Open) + FileOpCount(FileOp::Create), FileOpCount(FileOp::Close) + 1u);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, RecreateLeavesAReadOnlyFileAlone) {
  Put("locked.tbl", Pattern(50, 2));
  ASSERT_EQ(chmod(PathOf("locked.tbl").c_str(), 0444), 0);
  cal::FileContext file = FreshContext();
  EXPECT_EQ(cal::FileCreateEmpty(file, Dir(), "locked.tbl"), CALERR_FILE);
  EXPECT_EQ(Get("locked.tbl"), Pattern(50, 2));
  EXPECT_EQ(FileOpCount(FileOp::Delete), 0u);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(FileLayerTest, WriteDataAtTheEndAppendsAndKeepsTheResolvedOffset) {
  const Bytes original = Pattern(100, 5);
  Put("h.txt", original);
  const Bytes tail = Pattern(30, 77);
  cal::FileContext file = FreshContext();
  file.holder.data = const_cast<uint8_t*>(tail.data());
  file.dataLength = static_cast<uint32_t>(tail.size());
  file.writeOffset = cal::WRITE_AT_END;
  ASSERT_EQ(cal::FileWriteData(file, Dir(), "h.txt"), CAL_OK);
  EXPECT_EQ(file.writeOffset, 100);
  Bytes expected = original;
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Get("h.txt"), expected);
}

TEST_F(FileLayerTest, WriteDataAtZeroOverwritesTheStartAndKeepsTheRest) {
  const Bytes original = Pattern(100, 5);
  Put("h.txt", original);
  const Bytes head = Pattern(10, 200);
  cal::FileContext file = FreshContext();
  file.holder.data = const_cast<uint8_t*>(head.data());
  file.dataLength = static_cast<uint32_t>(head.size());
  file.writeOffset = 0;
  ASSERT_EQ(cal::FileWriteData(file, Dir(), "h.txt"), CAL_OK);
  Bytes expected = original;
  Overwrite(expected, 0, head);
  EXPECT_EQ(Get("h.txt"), expected);
}

TEST_F(FileLayerTest, WriteDataNeverCreatesTheFile) {
  const Bytes data = Pattern(4, 1);
  cal::FileContext file = FreshContext();
  file.holder.data = const_cast<uint8_t*>(data.data());
  file.dataLength = 4;
  file.writeOffset = 0;
  EXPECT_EQ(cal::FileWriteData(file, Dir(), "absent.txt"), CALERR_FILE);
  EXPECT_FALSE(std::filesystem::exists(PathOf("absent.txt")));
}

struct SwapCase {
  std::vector<uint8_t> input;
  int32_t length;
  int16_t unit;
  std::vector<uint8_t> expected;
};

class ByteSwapTest : public ::testing::TestWithParam<SwapCase> {};

TEST_P(ByteSwapTest, SwapsWholeUnitsOnly) {
  SwapCase c = GetParam();
  cal::ByteSwap(c.input.data(), c.length, c.unit);
  EXPECT_EQ(c.input, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteSwapTest,
    ::testing::Values(SwapCase{{0, 1, 2, 3, 4, 5, 6}, 7, 4, {3, 2, 1, 0, 4, 5, 6}},
                      SwapCase{{9}, 1, 2, {9}},
                      SwapCase{{0, 1, 2, 3, 4}, 5, 2, {1, 0, 3, 2, 4}},
                      SwapCase{{0, 1, 2, 3, 4, 5, 6, 7}, 8, 4, {3, 2, 1, 0, 7, 6, 5, 4}},
                      SwapCase{{0, 1, 2, 3}, 4, 3, {0, 1, 2, 3}},
                      SwapCase{{0, 1, 2, 3}, -4, 2, {0, 1, 2, 3}},
                      SwapCase{{0, 1, 2, 3}, 3, 4, {0, 1, 2, 3}},
                      SwapCase{{0, 1, 2, 3}, 2, 2, {1, 0, 2, 3}}));

TEST(HostOrder, LittleEndianHostNeedsNoSwap) {
  const uint32_t probe = 1;
  uint8_t first = 0;
  std::memcpy(&first, &probe, 1);
  EXPECT_EQ(cal::HostNeedsSwap(), first == 1 ? 0 : 1);
}

}  // namespace
}  // namespace caltest
