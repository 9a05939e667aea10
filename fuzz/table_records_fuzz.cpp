// The table file's structures directly: QXHT curve bodies (structured or simple) handed to
// the curve replacement, and QXDB chunks read back into the table id list.
//
// Curve bodies: any bytes, in an exact heap block, for any table id, levels and byte order:
// a status of CAL_OK or the replacement's failure, nothing read or written outside the body,
// and with every level neutral not one byte changed.
// QXDB chunks: up to three, each built from listed ids by the sample writer (whose ids must
// come back in first-seen order, without duplicates) or raw bytes (a status, never a read
// outside the chunk), in a table file of either directory layout.
//
// Input: a selector byte (bit 0: QXDB part, else QXHT part), then that part's fields.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "curves.h"
#include "fuzz_support.h"
#include "presets.h"
#include "table_file.h"
#include "table_sample.h"
#include "testing/fault_control.h"
#include "work_context.h"

namespace {

namespace sample = cal::sample;

constexpr int16_t kLevelChoices[] = {0, -5, -3, 3, 5, 0, -3, 5};

cal::WorkContext MakeContext(const CalibrationRequest& request, const int16_t* levels, bool swapped) {
  cal::WorkContext context{};
  context.request = &request;
  context.levels = levels;
  context.byteOrderCode = swapped ? cal::BYTE_ORDER_SWAPPED : cal::BYTE_ORDER_HOST;
  context.tableFile.file.handle = plat::kInvalidFile;
  return context;
}

void FuzzCurveBody(fuzz::Reader& in) {
  const uint8_t flags = in.U8();
  const bool swapped = (flags & 0x01u) != 0;
  const bool neutral = (flags & 0x02u) != 0;
  CalibrationRequest request{7, static_cast<int16_t>((flags & 0x04u) != 0 ? in.U8() % 8 : 3), 1, 2, 3};
  int16_t levels[8] = {};
  for (int16_t& level : levels) level = neutral ? int16_t{0} : kLevelChoices[in.U8() % 8];
  const uint16_t idChoice = in.U16();
  const int32_t tableId = (idChoice & 0x8000u) != 0
                              ? static_cast<int32_t>(idChoice & 0x7FFFu)
                              : cal::PRESET_GROUPS[idChoice % cal::PRESET_GROUP_COUNT].tableId;

  // The body, exactly as long as the input gives it; optionally marked structured.
  const std::span<const uint8_t> raw = in.Rest();
  std::vector<uint8_t> body(raw.begin(), raw.end());
  body.shrink_to_fit();
  if ((flags & 0x08u) != 0 && body.size() >= 4) {
    sample::Bytes word(4);
    sample::PutU32(word, 0, cal::STRUCTURED_FORMAT_WORD, swapped ? sample::DataOrder::Big : sample::DataOrder::Little);
    std::copy(word.begin(), word.end(), body.begin());
  }
  const std::vector<uint8_t> before = body;

  cal::WorkContext context = MakeContext(request, levels, swapped);
  const int16_t status = cal::ReplaceCurvesInChunk(context, tableId, std::span<uint8_t>(body.data(), body.size()));
  FUZZ_CHECK(status == CAL_OK || status == cal::CURVES_FAILED);
  FUZZ_CHECK(body.size() == before.size());
  if (neutral) FUZZ_CHECK(body == before);
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
}

// The QXDB chunk ids the module looks for, a few of them.
constexpr int16_t kDbChunkIds[] = {1000, 1001, 1002, 1026, 1128, 1019, 1013, 999};

void FuzzDbChunks(fuzz::Reader& in) {
  const uint8_t flags = in.U8();
  const bool swapped = (flags & 0x01u) != 0;
  const sample::DataOrder order = swapped ? sample::DataOrder::Big : sample::DataOrder::Little;
  sample::TableSpec spec;
  spec.sharedDirectory = (flags & 0x02u) != 0;
  bool known = true;  // every body from the writer: the id list is known
  std::vector<std::pair<int16_t, std::vector<int32_t>>> listed;
  const uint32_t chunkCount = 1 + in.U8() % 3;
  for (uint32_t c = 0; c < chunkCount; ++c) {
    const uint8_t form = in.U8();
    const int16_t chunkId = kDbChunkIds[form % 8];
    // A second chunk of an id already there would never be looked at: none is made.
    bool duplicate = false;
    for (const sample::ChunkSpec& chunk : spec.chunks) duplicate = duplicate || chunk.id == static_cast<uint16_t>(chunkId);
    sample::Bytes body;
    std::vector<int32_t> ids;
    if ((form & 0x80u) != 0) {
      const std::span<const uint8_t> raw = in.Blob();
      body.assign(raw.begin(), raw.end());
      if (!duplicate) known = false;
    } else {
      const uint32_t version = (form >> 3) & 0x03u;
      const uint32_t idCount = in.U8() % 48;
      for (uint32_t i = 0; i < idCount; ++i) {
        const uint8_t pick = in.U8();
        ids.push_back((pick & 0x80u) != 0 ? static_cast<int32_t>(in.U32()) : static_cast<int32_t>(1300u + (pick & 0x1Fu)));
      }
      const bool lying = (form & 0x40u) != 0;  // a record count the body does not hold
      body = sample::DbChunkBody(version, ids, order, lying ? int64_t{in.U16()} : int64_t{-1});
      if (lying && !duplicate) known = false;
      if (version == 3) ids.clear();  // no known layout: no ids
      if (version == 2) {
        for (int32_t& id : ids) id = static_cast<int16_t>(static_cast<uint32_t>(id) & 0xFFFFu);
      }
    }
    if (duplicate) continue;
    listed.emplace_back(chunkId, ids);
    spec.chunks.push_back({sample::KIND_DB, static_cast<uint16_t>(chunkId), body});
  }
  const sample::Bytes file = sample::BuildTableFile(spec);

  const std::filesystem::path dir = fuzz::ScratchRoot() / "records";
  fuzz::EmptyDirectory(dir);
  FUZZ_CHECK(fuzz::WriteBytes(dir / "t.tbl", file));
  const std::string dirText = dir.string();
  const std::u16string wideDir(dirText.begin(), dirText.end());

  const CalibrationRequest request{7, 3, 1, 2, 3};
  const int16_t levels[8] = {};
  cal::WorkContext context = MakeContext(request, levels, swapped);
  FUZZ_CHECK(cal::FileOpenReadWrite(context.tableFile.file, wideDir.c_str(), "t.tbl") == CAL_OK);
  const int16_t status = cal::CollectTableIds(context);
  cal::FileClose(context.tableFile.file);
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
  FUZZ_CHECK(status == CAL_OK || status == cal::TABLE_IDS_FULL || status == CALERR_FILE ||
             status == CALERR_MEMORY);
  const cal::TableIdList& list = context.tableIds;
  FUZZ_CHECK(list.count >= 0 && static_cast<uint32_t>(list.count) <= cal::TABLE_ID_CAPACITY);
  for (int16_t i = 0; i < list.count; ++i) {
    for (int16_t j = 0; j < i; ++j) FUZZ_CHECK(list.ids[i] != list.ids[j]);
  }
  // The file was never changed by reading it.
  FUZZ_CHECK(fuzz::ReadBytes(dir / "t.tbl") == file);
  if (!known) return;

  // Chunks are read in the module's own id order, ids kept at their first sight.
  std::vector<int32_t> expected;
  for (const int16_t offset : cal::DB_CHUNK_ID_OFFSETS) {
    for (const auto& [chunkId, ids] : listed) {
      if (chunkId != cal::DB_CHUNK_ID_BASE + offset) continue;
      for (const int32_t id : ids) {
        if (expected.size() < cal::TABLE_ID_CAPACITY && std::find(expected.begin(), expected.end(), id) == expected.end()) {
          expected.push_back(id);
        }
      }
    }
  }
  FUZZ_CHECK(status == (expected.size() == cal::TABLE_ID_CAPACITY ? cal::TABLE_IDS_FULL : CAL_OK));
  FUZZ_CHECK(std::vector<int32_t>(list.ids, list.ids + list.count) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::testing::Reset();
  fuzz::Reader in{{data, size}};
  if ((in.U8() & 0x01u) != 0) {
    FuzzDbChunks(in);
  } else {
    FuzzCurveBody(in);
  }
  return 0;
}
