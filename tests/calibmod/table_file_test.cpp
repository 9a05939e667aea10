// The table file: chunk lookup and write-back, QXDB records and their conversion, the table
// id list, the identification text, and files that point outside themselves.
#include <map>

#include "table_file.h"
#include "test_support.h"

namespace caltest {
namespace {

using cal::sample::ChunkSpec;
using cal::sample::DataOrder;
using cal::sample::KIND_DB;
using cal::sample::KIND_HT;
using cal::sample::TableLayout;
using cal::sample::TableSpec;
using plat::testing::LiveBlocks;

Bytes Filled(size_t size, uint8_t value) { return Bytes(size, value); }

cal::ChunkRequest Request(uint32_t kind, int16_t id) {
  cal::ChunkRequest request{};
  request.kind = kind;
  request.id = id;
  return request;
}

using ChunkTest = TableTest;

// ---- Lookup -------------------------------------------------------------------------------

struct LookupCase {
  const char* name;
  uint32_t kind;
  int16_t id;
  int32_t expectedSize;  // or CALERR_FILE
  uint8_t expectedFill;
};

class ChunkLookupTest : public TableTest, public ::testing::WithParamInterface<LookupCase> {};

// One shared directory: the same id under both kinds, a repeated kind and id, and a chunk of
// a third kind.
TEST_P(ChunkLookupTest, FindsTheFirstEntryWhoseKindAndIdBothMatch) {
  TableSpec spec;
  spec.sharedDirectory = true;
  spec.chunks = {{KIND_DB, 1302, Filled(40, 0xD8)},
                 {KIND_HT, 1302, Filled(60, 0x20)},
                 {KIND_HT, 1303, Filled(24, 0x31)},
                 {KIND_HT, 1303, Filled(28, 0x32)},
                 {12, 1304, Filled(8, 0x12)}};
  OpenTable(cal::sample::BuildTableFile(spec));
  const LookupCase& c = GetParam();
  cal::ChunkRequest request = Request(c.kind, c.id);
  ASSERT_EQ(cal::ChunkReadInto(context_.tableFile.file, request),
            c.expectedSize < 0 ? c.expectedSize : CAL_OK);
  if (c.expectedSize >= 0) {
    EXPECT_EQ(request.size, static_cast<uint32_t>(c.expectedSize));
    EXPECT_EQ(Bytes(request.data, request.data + request.size), Filled(request.size, c.expectedFill));
    cal::MemBlockFree(request.block);
  } else {
    EXPECT_EQ(request.data, nullptr);
  }
  EXPECT_EQ(LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkLookupTest,
    ::testing::Values(LookupCase{"DbKind", KIND_DB, 1302, 40, 0xD8},
                      LookupCase{"HtKind", KIND_HT, 1302, 60, 0x20},
                      LookupCase{"FirstOfTwoInFileOrder", KIND_HT, 1303, 24, 0x31},
                      LookupCase{"IdUnderAnotherKindOnly", KIND_DB, 1303, CALERR_FILE, 0},
                      LookupCase{"IdUnderAThirdKindOnly", KIND_HT, 1304, CALERR_FILE, 0},
                      LookupCase{"MissingId", KIND_HT, 1309, CALERR_FILE, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ChunkTest, SeparateDirectoriesAreFoundThroughTheirOwnHeaderSlot) {
  TableSpec spec;
  spec.chunks = {{KIND_HT, 1302, Filled(16, 0x20)}, {KIND_DB, 1302, Filled(12, 0xD8)}};
  TableLayout layout;
  OpenTable(cal::sample::BuildTableFile(spec, &layout));
  ASSERT_NE(layout.dbDirectoryOffset, layout.htDirectoryOffset);
  cal::ChunkRequest db = Request(KIND_DB, 1302);
  cal::ChunkRequest ht = Request(KIND_HT, 1302);
  EXPECT_EQ(cal::ChunkFind(context_.tableFile.file, db), 12);
  EXPECT_EQ(cal::ChunkFind(context_.tableFile.file, ht), 16);
}

TEST_F(ChunkTest, EmptyDirectoryFindsNothing) {
  TableSpec spec;
  spec.chunks = {{KIND_HT, 1302, Filled(16, 0x20)}};  // the QXDB directory stays empty
  OpenTable(cal::sample::BuildTableFile(spec));
  cal::ChunkRequest db = Request(KIND_DB, 1302);
  EXPECT_EQ(cal::ChunkFind(context_.tableFile.file, db), CALERR_FILE);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(ChunkTest, WriteBackReplacesTheBodyInPlaceOnly) {
  TableSpec spec = cal::sample::SampleTable();
  TableLayout layout;
  const Bytes original = cal::sample::BuildTableFile(spec, &layout);
  OpenTable(original);
  cal::TableFile& table = context_.tableFile;
  ASSERT_EQ(cal::TableReadChunk(table, cal::CHUNK_TAG_HT, 1303, cal::CHUNK_KIND_HT), CAL_OK);
  std::fill(table.chunkData, table.chunkData + table.chunkSize, uint8_t{0x77});
  ASSERT_EQ(cal::TableWriteChunk(table, cal::CHUNK_TAG_HT, 1303, cal::CHUNK_KIND_HT), CAL_OK);
  cal::TableReleaseChunk(table);
  EXPECT_EQ(table.chunkData, nullptr);
  EXPECT_EQ(LiveBlocks(), 0u);
  CloseTable();

  const cal::sample::PlacedChunk* placed = layout.Find(KIND_HT, 1303);
  ASSERT_NE(placed, nullptr);
  Bytes expected = original;
  Overwrite(expected, placed->chunkOffset + 4, Filled(placed->bodySize, 0x77));
  EXPECT_EQ(Get(kTable), expected);
}

TEST_F(ChunkTest, WriteBackIsRefusedWhenTheBodySizeChanged) {
  TableSpec spec = cal::sample::SampleTable();
  TableLayout layout;
  const Bytes original = cal::sample::BuildTableFile(spec, &layout);
  OpenTable(original);
  cal::TableFile& table = context_.tableFile;
  ASSERT_EQ(cal::TableReadChunk(table, cal::CHUNK_TAG_HT, 1302, cal::CHUNK_KIND_HT), CAL_OK);
  std::fill(table.chunkData, table.chunkData + table.chunkSize, uint8_t{0x77});

  // Someone shrinks the chunk in the file meanwhile.
  const cal::sample::PlacedChunk* placed = layout.Find(KIND_HT, 1302);
  Bytes shrunk = original;
  cal::sample::PutLe32(shrunk, placed->chunkOffset, placed->bodySize - 2);
  CloseTable();
  OpenTable(shrunk);
  table.chunkSize = placed->bodySize;
  EXPECT_EQ(cal::TableWriteChunk(table, cal::CHUNK_TAG_HT, 1302, cal::CHUNK_KIND_HT), CALERR_FILE);
  cal::TableReleaseChunk(table);
  CloseTable();
  EXPECT_EQ(Get(kTable), shrunk);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(ChunkTest, ReadingASecondChunkReleasesTheFirst) {
  OpenTable(cal::sample::BuildTableFile(cal::sample::SampleTable()));
  cal::TableFile& table = context_.tableFile;
  ASSERT_EQ(cal::TableReadChunk(table, cal::CHUNK_TAG_HT, 1302, cal::CHUNK_KIND_HT), CAL_OK);
  ASSERT_EQ(cal::TableReadChunk(table, cal::CHUNK_TAG_HT, 1303, cal::CHUNK_KIND_HT), CAL_OK);
  EXPECT_EQ(LiveBlocks(), 1u);
  EXPECT_STREQ(table.request.tag, "QXHT");
  cal::TableReleaseChunk(table);
  EXPECT_EQ(LiveBlocks(), 0u);
}

// ---- Files that point outside themselves --------------------------------------------------

enum class Damage : uint8_t {
  DirectoryOffsetPastEnd,
  DirectoryOffsetHuge,
  EntryCountHuge,
  EntryCountNegative,
  EntryCountOneTooMany,
  ChunkOffsetPastEnd,
  ChunkOffsetInLastBytes,
  BodySizePastEnd,
  BodySizeHuge,
  FileCutInHeader,
};

struct DamageCase {
  const char* name;
  Damage damage;
};

class DamagedFileTest : public TableTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFileTest, LookupFailsWithoutReadingOutsideTheFileOrAllocatingHugely) {
  TableSpec spec;
  spec.chunks = {{KIND_HT, 1302, Filled(600, 0x20)}, {KIND_HT, 1303, Filled(40, 0x30)}};
  TableLayout layout;
  Bytes file = cal::sample::BuildTableFile(spec, &layout);
  const auto size = static_cast<uint32_t>(file.size());
  const cal::sample::PlacedChunk& last = layout.chunks.back();
  switch (GetParam().damage) {
    case Damage::DirectoryOffsetPastEnd: cal::sample::PutLe32(file, 20, size - 2); break;
    case Damage::DirectoryOffsetHuge: cal::sample::PutLe32(file, 20, 0xFFFFFFF0u); break;
    case Damage::EntryCountHuge: cal::sample::PutLe32(file, layout.htDirectoryOffset, 0x7FFFFFFFu); break;
    case Damage::EntryCountNegative: cal::sample::PutLe32(file, layout.htDirectoryOffset, 0xFFFFFFFFu); break;
    case Damage::EntryCountOneTooMany:
      // The directory sits before the chunks: claim as many entries as the whole file holds.
      cal::sample::PutLe32(file, layout.htDirectoryOffset, (size - layout.htDirectoryOffset - 4) / 12 + 1);
      break;
    case Damage::ChunkOffsetPastEnd: cal::sample::PutLe32(file, last.entryOffset + 8, size + 100); break;
    case Damage::ChunkOffsetInLastBytes: cal::sample::PutLe32(file, last.entryOffset + 8, size - 3); break;
    case Damage::BodySizePastEnd: cal::sample::PutLe32(file, last.chunkOffset, last.bodySize + 1); break;
    case Damage::BodySizeHuge: cal::sample::PutLe32(file, last.chunkOffset, 0xFFFFFF00u); break;
    case Damage::FileCutInHeader: file.resize(22); break;
  }
  OpenTable(file);
  plat::testing::Reset();
  cal::TableFile& table = context_.tableFile;
  EXPECT_EQ(cal::TableReadChunk(table, cal::CHUNK_TAG_HT, 1303, cal::CHUNK_KIND_HT), CALERR_FILE);
  EXPECT_EQ(table.chunkData, nullptr);
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_LE(plat::testing::AllocationCount(), 1u);  // at most the directory, and only a real one
  // And nothing was written.
  CloseTable();
  EXPECT_EQ(Get(kTable), file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFileTest,
    ::testing::Values(DamageCase{"DirectoryOffsetPastEnd", Damage::DirectoryOffsetPastEnd},
                      DamageCase{"DirectoryOffsetHuge", Damage::DirectoryOffsetHuge},
                      DamageCase{"EntryCountHuge", Damage::EntryCountHuge},
                      DamageCase{"EntryCountNegative", Damage::EntryCountNegative},
                      DamageCase{"EntryCountOneTooMany", Damage::EntryCountOneTooMany},
                      DamageCase{"ChunkOffsetPastEnd", Damage::ChunkOffsetPastEnd},
                      DamageCase{"ChunkOffsetInLastBytes", Damage::ChunkOffsetInLastBytes},
                      DamageCase{"BodySizePastEnd", Damage::BodySizePastEnd},
                      DamageCase{"BodySizeHuge", Damage::BodySizeHuge},
                      DamageCase{"FileCutInHeader", Damage::FileCutInHeader}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ChunkTest, BodyEndingExactlyAtTheEndOfTheFileIsRead) {
  TableSpec spec;
  spec.chunks = {{KIND_HT, 1302, Filled(20, 0x20)}};
  TableLayout layout;
  Bytes file = cal::sample::BuildTableFile(spec, &layout);
  ASSERT_EQ(file.size(), layout.chunks[0].chunkOffset + 4 + 20);
  OpenTable(file);
  cal::ChunkRequest request = Request(KIND_HT, 1302);
  EXPECT_EQ(cal::ChunkFind(context_.tableFile.file, request), 20);
}

// ---- QXDB records -------------------------------------------------------------------------

// A QXDB chunk written in the other byte order and read with byte-order code 2 gives
// exactly the bytes of the same chunk written in host order: every 4-byte and 2-byte field
// is swapped and the byte data is left alone.
class DbConversionTest : public TableTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(DbConversionTest, SwappedRecordsReadBackAsHostOrder) {
  const uint32_t version = GetParam();
  const std::vector<int32_t> ids = {1302, -7, 1309};
  const Bytes host = cal::sample::DbChunkBody(version, ids, DataOrder::Little);
  const Bytes other = cal::sample::DbChunkBody(version, ids, DataOrder::Big);
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1005, other}};
  OpenTable(cal::sample::BuildTableFile(spec));
  context_.byteOrderCode = cal::BYTE_ORDER_SWAPPED;

  uint8_t* header = nullptr;
  uint8_t* records = nullptr;
  int16_t readVersion = -1;
  uint32_t count = 0;
  ASSERT_EQ(cal::ReadDbChunk(context_, 1005, &header, &records, &readVersion, &count), CAL_OK);
  EXPECT_EQ(readVersion, static_cast<int16_t>(version));
  EXPECT_EQ(count, ids.size());
  EXPECT_EQ(records, header + 12);
  EXPECT_EQ(Bytes(header, header + context_.tableFile.chunkSize), host);
  cal::TableReleaseChunk(context_.tableFile);
  EXPECT_EQ(LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, DbConversionTest, ::testing::Values(0u, 1u, 2u));

TEST_F(ChunkTest, HostOrderCodeLeavesQxdbBytesAlone) {
  const Bytes body = cal::sample::DbChunkBody(2, {1302}, DataOrder::Big);
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1000, body}};
  OpenTable(cal::sample::BuildTableFile(spec));
  uint8_t* header = nullptr;
  uint8_t* records = nullptr;
  int16_t version = 0;
  uint32_t count = 0;
  ASSERT_EQ(cal::ReadDbChunk(context_, 1000, &header, &records, &version, &count), CAL_OK);
  EXPECT_EQ(Bytes(header, header + context_.tableFile.chunkSize), body);
  cal::TableReleaseChunk(context_.tableFile);
}

TEST_F(ChunkTest, VersionThreeChunkConvertsOnlyItsHeader) {
  const Bytes host = cal::sample::DbChunkBody(3, {1302, 1303}, DataOrder::Little);
  const Bytes other = cal::sample::DbChunkBody(3, {1302, 1303}, DataOrder::Big);
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1000, other}, {KIND_DB, 1001, cal::sample::DbChunkBody(0, {1308}, DataOrder::Big)}};
  OpenTable(cal::sample::BuildTableFile(spec));
  context_.byteOrderCode = cal::BYTE_ORDER_SWAPPED;
  uint8_t* header = nullptr;
  uint8_t* records = nullptr;
  int16_t version = 0;
  uint32_t count = 99;
  ASSERT_EQ(cal::ReadDbChunk(context_, 1000, &header, &records, &version, &count), CAL_OK);
  EXPECT_EQ(version, 3);
  EXPECT_EQ(count, 0u);
  const Bytes body(header, header + context_.tableFile.chunkSize);
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 12), Bytes(host.begin(), host.begin() + 12));
  EXPECT_EQ(Bytes(body.begin() + 12, body.end()), Bytes(other.begin() + 12, other.end()));
  cal::TableReleaseChunk(context_.tableFile);

  // Its records name no table ids; the next chunk's do.
  ASSERT_EQ(cal::CollectTableIds(context_), CAL_OK);
  ASSERT_EQ(context_.tableIds.count, 1);
  EXPECT_EQ(context_.tableIds.ids[0], 1308);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(ChunkTest, BodyShorterThanItsHeaderIsRefused) {
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1000, Filled(8, 0)}};
  OpenTable(cal::sample::BuildTableFile(spec));
  uint8_t* header = nullptr;
  uint8_t* records = nullptr;
  int16_t version = 0;
  uint32_t count = 0;
  EXPECT_EQ(cal::ReadDbChunk(context_, 1000, &header, &records, &version, &count), CALERR_FILE);
  EXPECT_EQ(LiveBlocks(), 0u);
}

// ---- Table ids ----------------------------------------------------------------------------

TEST_F(ChunkTest, SampleTableNamesItsSixTablesInFirstSeenOrder) {
  OpenTable(cal::sample::BuildTableFile(cal::sample::SampleTable()));
  ASSERT_EQ(cal::CollectTableIds(context_), CAL_OK);
  const std::vector<int32_t> expected = {1302, 1303, 1304, 1305, 1308, 1309};
  ASSERT_EQ(context_.tableIds.count, 6);
  EXPECT_EQ(std::vector<int32_t>(context_.tableIds.ids, context_.tableIds.ids + 6), expected);
  for (uint32_t i = 6; i < cal::TABLE_ID_CAPACITY; ++i) ASSERT_EQ(context_.tableIds.ids[i], -1);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(ChunkTest, ChunksAreLookedForInTheirListedOrderNotFileOrder) {
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1128, cal::sample::DbChunkBody(1, {1401}, DataOrder::Little)},
                 {KIND_DB, 1019, cal::sample::DbChunkBody(1, {1402}, DataOrder::Little)},  // not listed
                 {KIND_DB, 1020, cal::sample::DbChunkBody(0, {1403, 1401}, DataOrder::Little)},
                 {KIND_DB, 1000, cal::sample::DbChunkBody(2, {1404}, DataOrder::Little)}};
  OpenTable(cal::sample::BuildTableFile(spec));
  ASSERT_EQ(cal::CollectTableIds(context_), CAL_OK);
  ASSERT_EQ(context_.tableIds.count, 3);
  EXPECT_EQ(std::vector<int32_t>(context_.tableIds.ids, context_.tableIds.ids + 3),
            (std::vector<int32_t>{1404, 1403, 1401}));
}

TEST_F(ChunkTest, DeclaredRecordCountBeyondTheBodyReadsOnlyWholeRecords) {
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1000, cal::sample::DbChunkBody(1, {1302, 1303}, DataOrder::Little, 100000)},
                 {KIND_DB, 1001, cal::sample::DbChunkBody(0, {1304}, DataOrder::Little, 0)}};
  OpenTable(cal::sample::BuildTableFile(spec));
  ASSERT_EQ(cal::CollectTableIds(context_), CAL_OK);
  ASSERT_EQ(context_.tableIds.count, 2);
  EXPECT_EQ(context_.tableIds.ids[0], 1302);
  EXPECT_EQ(context_.tableIds.ids[1], 1303);
}

struct IdCountCase {
  int distinct;
  int16_t expectedStatus;
  int16_t expectedCount;
};

class TableIdLimitTest : public TableTest, public ::testing::WithParamInterface<IdCountCase> {};

// The ids are spread over chunks of every version, with repeats, so the limit counts
// distinct ids across chunks.
TEST_P(TableIdLimitTest, TwoHundredFiftySixDistinctIdsFillTheList) {
  const IdCountCase& c = GetParam();
  std::vector<std::vector<int32_t>> perChunk(3);
  for (int i = 0; i < c.distinct; ++i) {
    perChunk[static_cast<size_t>(i % 3)].push_back(1000 + i);
    if (i % 10 == 0) perChunk[static_cast<size_t>((i + 1) % 3)].push_back(1000 + i);  // repeats
  }
  TableSpec spec;
  for (uint32_t v = 0; v < 3; ++v) {
    spec.chunks.push_back({KIND_DB, static_cast<uint16_t>(1010 + v),
                           cal::sample::DbChunkBody(v, perChunk[v], DataOrder::Little)});
  }
  OpenTable(cal::sample::BuildTableFile(spec));
  EXPECT_EQ(cal::CollectTableIds(context_), c.expectedStatus);
  EXPECT_EQ(context_.tableIds.count, c.expectedCount);
  std::map<int32_t, int> seen;
  for (int16_t i = 0; i < context_.tableIds.count; ++i) ++seen[context_.tableIds.ids[i]];
  EXPECT_EQ(seen.size(), static_cast<size_t>(context_.tableIds.count));  // no duplicates
  EXPECT_EQ(LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boundary, TableIdLimitTest,
                         ::testing::Values(IdCountCase{254, CAL_OK, 254},
                                           IdCountCase{255, CAL_OK, 255},
                                           IdCountCase{256, cal::TABLE_IDS_FULL, 256},
                                           IdCountCase{300, cal::TABLE_IDS_FULL, 256}));

// ---- Identification text ------------------------------------------------------------------

struct IdentCase {
  const char* name;
  std::string ident;
  int64_t lengthOverride;  // -1: the real length
  int16_t expectedStatus;
  const char* expectedText;  // on success
};

class IdentTest : public ScratchTest, public ::testing::WithParamInterface<IdentCase> {};

TEST_P(IdentTest, ReadsTheTextOnlyWhenItFitsTheBuffer) {
  const IdentCase& c = GetParam();
  TableSpec spec = cal::sample::SampleTable();
  spec.ident = c.ident;
  TableLayout layout;
  Bytes file = cal::sample::BuildTableFile(spec, &layout);
  if (c.lengthOverride >= 0) {
    cal::sample::PutLe32(file, layout.identOffset + 4, static_cast<uint32_t>(c.lengthOverride));
  }
  Put("t.tbl", file);
  char text[cal::TABLE_IDENT_SIZE + 8];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(cal::ReadTableIdent("t.tbl", Dir(), std::span<char, cal::TABLE_IDENT_SIZE>(text, 32)),
            c.expectedStatus);
  if (c.expectedStatus == CAL_OK) {
    EXPECT_STREQ(text, c.expectedText);
  } else {
    for (size_t i = 0; i < cal::TABLE_IDENT_SIZE; ++i) ASSERT_EQ(text[i], '#') << i;
  }
  for (size_t i = cal::TABLE_IDENT_SIZE; i < sizeof text; ++i) ASSERT_EQ(text[i], '#') << i;
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_EQ(plat::testing::FileOpCount(plat::testing::FileOp::Open),
            plat::testing::FileOpCount(plat::testing::FileOp::Close));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentTest,
    ::testing::Values(IdentCase{"Ordinary", "Q770 HTAB0000 1.00", -1, CAL_OK, "Q770 HTAB0000 1.00"},
                      IdentCase{"Empty", "", -1, CAL_OK, ""},
                      IdentCase{"ThirtyOne", std::string(31, 'i'), -1, CAL_OK, "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"},
                      IdentCase{"ThirtyTwo", std::string(32, 'i'), -1, CALERR_FILE, ""},
                      IdentCase{"Long", std::string(200, 'i'), -1, CALERR_FILE, ""},
                      IdentCase{"NegativeLength", "abc", 0xFFFFFFF0, CAL_OK, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ScratchTest, IdentOfAMissingFileOrAFileTooShortIsUnreadable) {
  char text[cal::TABLE_IDENT_SIZE] = {};
  EXPECT_EQ(cal::ReadTableIdent("none.tbl", Dir(), text), CALERR_FILE);
  Put("short.tbl", Bytes{1, 2, 3, 4, 5, 6});
  EXPECT_EQ(cal::ReadTableIdent("short.tbl", Dir(), text), CALERR_FILE);
  Bytes pointsAway(64, 0);
  cal::sample::PutLe32(pointsAway, 4, 0xFFFFFFFCu);
  Put("away.tbl", pointsAway);
  EXPECT_EQ(cal::ReadTableIdent("away.tbl", Dir(), text), CALERR_FILE);
  // The block is the last thing in the file and claims more text than is left.
  Bytes cut(62, 0);
  cal::sample::PutLe32(cut, 4, 52);
  cal::sample::PutLe32(cut, 56, 5);
  cut[60] = 'a';
  cut[61] = 'b';
  Put("cut.tbl", cut);
  EXPECT_EQ(cal::ReadTableIdent("cut.tbl", Dir(), text), CALERR_FILE);
  cut.push_back('c');
  cut.push_back('d');
  cut.push_back('e');
  Put("whole.tbl", cut);
  EXPECT_EQ(cal::ReadTableIdent("whole.tbl", Dir(), text), CAL_OK);
  EXPECT_STREQ(text, "abcde");
  EXPECT_EQ(LiveBlocks(), 0u);
}

}  // namespace
}  // namespace caltest
