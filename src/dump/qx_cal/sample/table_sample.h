// Builder of sample table files: a realistic base table file for trying calibration, and
// the fixtures of the tests (scaled-up and deliberately damaged variants included).
//
// A table file is a 32-byte header, the identification block, one or two chunk directories
// and the chunks. Header slots, directories, chunk sizes and the identification fields are
// little-endian; the structure data inside QXDB bodies and structured QXHT bodies, and the
// curves, are written in the byte order the caller chooses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cal::sample {

using Bytes = std::vector<uint8_t>;

enum class DataOrder : uint8_t { Little, Big };

inline constexpr uint32_t KIND_DB = 8;
inline constexpr uint32_t KIND_HT = 20;
inline constexpr uint32_t HEADER_SIZE = 32;

// ---- Chunk bodies -------------------------------------------------------------------------

// A plausible correction curve: rises from 0, never decreases; seed picks its end and bend.
std::vector<uint16_t> SampleCurve(uint32_t seed);

// The record size of QXDB versions 0, 1 and 2, or 0 for another version.
uint32_t DbRecordSize(uint32_t version);

// A QXDB body: the 12-byte header (version, record count, one word), then one record per
// table id. Records of versions 0-2 carry the id at their layout's position and distinct
// filler in every other byte; records of another version are recordSizeOther bytes of
// filler. declaredCount, when not negative, replaces the record count written in the header.
Bytes DbChunkBody(uint32_t version, const std::vector<int32_t>& tableIds, DataOrder order,
                  int64_t declaredCount = -1, uint32_t recordSizeOther = 64);

// The simple layout: curves for the table id's ink count (4, 6 or 7; 6 outside 1200-1499)
// from seed on, then tailBytes bytes of other data.
Bytes SimpleCurveBody(int32_t tableId, uint32_t seed, DataOrder order, uint32_t tailBytes = 32);

// The structured layout.
struct StructEntrySpec {
  uint8_t tag;               // 0xF8 value, 0x9A ignored, 0xDC offset, or anything else
  uint32_t value;            // for an offset entry with blockIndex: index into blocks
  bool blockIndex = false;   // replace value by the offset of block `value`
  uint32_t lowBits = 0x000001;  // bits 0-23 of the tag word (never read)
};
struct CurveBlockSpec {
  int32_t inkPosition;
  uint32_t seed = 0;                    // SampleCurve seed of its curve
  uint8_t tag = 0xF8;
  uint32_t descriptor = 0x44000100;
  int64_t curveOffset = -1;             // from the block start; -1: right after the block
};
struct StructuredSpec {
  std::vector<StructEntrySpec> entries;
  std::vector<CurveBlockSpec> blocks;
  int64_t entryCount = -1;  // -1: the number of entries; otherwise written as given
};
struct StructuredBody {
  Bytes bytes;
  std::vector<uint32_t> blockOffsets;  // from the body start
  std::vector<uint32_t> curveOffsets;  // from the body start
};
// Entries ignored, value B, ignored, B offsets, ignored; one block per ink position.
StructuredSpec StandardStructured(const std::vector<int32_t>& inkPositions, uint32_t seed = 0);
StructuredBody StructuredCurveBody(const StructuredSpec& spec, DataOrder order);

// ---- Files --------------------------------------------------------------------------------

struct ChunkSpec {
  uint32_t kind;  // KIND_DB, KIND_HT or another code
  uint16_t id;
  Bytes body;
};

struct TableSpec {
  std::string ident = "Q770 HTAB0000 1.00";
  bool sharedDirectory = false;  // one directory for every kind, in chunk order
  std::vector<ChunkSpec> chunks;  // file order; separate directories: kind 8 in the QXDB one
};

// Where the builder put everything, for tests that damage a file on purpose.
struct PlacedChunk {
  uint32_t kind;
  uint16_t id;
  uint32_t entryOffset;  // its directory entry
  uint32_t chunkOffset;  // its size field; the body follows
  uint32_t bodySize;
};
struct TableLayout {
  uint32_t identOffset = 0;
  uint32_t dbDirectoryOffset = 0;
  uint32_t htDirectoryOffset = 0;
  std::vector<PlacedChunk> chunks;  // in the order of TableSpec::chunks
  const PlacedChunk* Find(uint32_t kind, uint16_t id) const;
};

Bytes BuildTableFile(const TableSpec& spec, TableLayout* layout = nullptr);

// The realistic base table file: QXDB chunks 1000 (version 0), 1001 (version 1) and
// 1002 (version 2) naming table ids 1302, 1303, 1304, 1305, 1308 and 1309 (some more than
// once), QXHT chunks for them in the simple layout except 1304 in the structured layout,
// and a chunk of another kind.
TableSpec SampleTable(DataOrder order = DataOrder::Little, bool sharedDirectory = false);
// The sample table grown to about targetBytes: more QXDB-listed QXHT tables without presets
// (up to 255 ids in all) and, beyond that, large chunks nothing lists.
TableSpec ScaledSampleTable(uint32_t targetBytes, DataOrder order = DataOrder::Little);

// ---- Helpers ------------------------------------------------------------------------------

void PutLe32(Bytes& bytes, size_t offset, uint32_t value);
uint32_t GetLe32(const Bytes& bytes, size_t offset);
void PutU16(Bytes& bytes, size_t offset, uint16_t value, DataOrder order);
uint16_t GetU16(const Bytes& bytes, size_t offset, DataOrder order);
void PutU32(Bytes& bytes, size_t offset, uint32_t value, DataOrder order);

// Writes bytes to path (created or truncated); false on failure.
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
bool ReadFileBytes(const std::string& path, Bytes* bytes);

}  // namespace cal::sample
