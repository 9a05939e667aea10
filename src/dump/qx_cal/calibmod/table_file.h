// The table file: header slots, the identification block, chunk directories and chunks,
// the QXDB record layouts and the list of table ids they name.
//
// Every offset, count and size read from the file is checked against the file size before
// it is used: a file that points outside itself is an I/O failure (CALERR_FILE), never a
// read or write outside the file, a chunk body or a caller's buffer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "file_layer.h"

namespace cal {

struct WorkContext;  // work_context.h

// ---- File layout ------------------------------------------------------------------------------

// Header bytes 4-7: offset of the identification block.
inline constexpr uint32_t HEADER_IDENT_SLOT = 4;

// A chunk kind is the header byte offset holding the offset of its chunk directory.
inline constexpr uint32_t CHUNK_KIND_DB = 8;   // QXDB chunks
inline constexpr uint32_t CHUNK_KIND_HT = 20;  // QXHT chunks

inline constexpr const char* CHUNK_TAG_DB = "QXDB";
inline constexpr const char* CHUNK_TAG_HT = "QXHT";

// Directory: u32 entry count, then entries of kind (u32), id (u16), 2 unread bytes,
// chunk offset (u32). Chunk: u32 body size, then the body.
inline constexpr uint32_t CHUNK_DIR_ENTRY_SIZE = 12;
inline constexpr uint32_t CHUNK_DIR_ENTRY_KIND = 0;
inline constexpr uint32_t CHUNK_DIR_ENTRY_ID = 4;
inline constexpr uint32_t CHUNK_DIR_ENTRY_OFFSET = 8;

// The QXDB chunks looked for are DB_CHUNK_ID_BASE plus each of these, in this order.
inline constexpr int16_t DB_CHUNK_ID_BASE = 1000;
inline constexpr std::array<int16_t, 30> DB_CHUNK_ID_OFFSETS = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  13,  14,
    15, 16, 17, 18, 20, 21, 22, 24, 25, 26, 27, 100, 101, 102, 128};

// QXDB body: a 12-byte header (version, record count, one unread word), then the records.
inline constexpr uint32_t DB_CHUNK_HEADER_SIZE = 12;

// How a range of record bytes is converted when the byte order differs.
enum class FieldUnit : uint8_t { Bytes = 1, Half = 2, Word = 4 };

struct RecordRange {
  uint16_t first;   // first record byte
  uint16_t length;  // bytes
  FieldUnit unit;
};

// One known record layout: its size, the conversion of its byte ranges, and where its
// signed table id sits (a 4-byte field, or a 2-byte field widened to 32 bits).
struct DbRecordLayout {
  uint16_t version;
  uint32_t recordSize;
  std::span<const RecordRange> ranges;
  uint32_t tableIdOffset;
  FieldUnit tableIdUnit;
};

// The layout of a version, or null for a version without a known layout.
const DbRecordLayout* FindDbRecordLayout(uint16_t version);

// ---- Byte order -------------------------------------------------------------------------------

// The work context's code; combined with a data mark for each conversion.
inline constexpr uint8_t BYTE_ORDER_HOST = 1;     // the file is in host order
inline constexpr uint8_t BYTE_ORDER_SWAPPED = 2;  // the file is in the other order
inline constexpr uint32_t SWAP_MARK_STRUCT = 0x10;  // 4-byte structure data
inline constexpr uint32_t SWAP_MARK_CURVE = 0x20;   // 2-byte curve entries

// Swaps only when the low byte of code is 0x12 or 0x22.
void SwapIfNeeded(uint32_t code, uint8_t* data, uint32_t length, int16_t unit);

// ---- Chunk access -----------------------------------------------------------------------------

inline constexpr uint32_t CHUNK_TAG_SIZE = 32;

struct ChunkRequest {
  char tag[CHUNK_TAG_SIZE];  // "QXDB" or "QXHT"; not compared with the file
  int16_t id;
  uint32_t kind;             // CHUNK_KIND_DB or CHUNK_KIND_HT
  uint32_t size;             // body size, set by a successful read
  uint8_t* data;             // the body in memory
  MemBlock block;            // owns the body
};

// The open working table file and the one chunk it holds at a time.
struct TableFile {
  FileContext file;  // only name, handle and directory are used
  ChunkRequest request;
  uint8_t* chunkData;  // the held body, or null
  uint32_t chunkSize;
};

// Finds the first directory entry (in file order) whose kind and id both match and leaves
// the file positioned at the chunk body. The body size, or CALERR_FILE / CALERR_MEMORY.
int32_t ChunkFind(FileContext& file, ChunkRequest& request);
// ChunkListed: the directory reads cleanly and holds no entry of that kind and id.
inline constexpr int16_t CHUNK_NOT_LISTED = 1;
// CAL_OK when the kind's directory lists the chunk, CHUNK_NOT_LISTED when it does not, or
// CALERR_FILE / CALERR_MEMORY when the directory cannot be read.
int16_t ChunkListed(FileContext& file, uint32_t kind, int16_t id);
// Reads the body whole into request.block / request.data and sets request.size.
// A failed read leaves nothing allocated.
int16_t ChunkReadInto(FileContext& file, ChunkRequest& request);
// Writes request.data back over the body in place, only when the body size in the file is
// still expectedSize; otherwise CALERR_FILE and nothing is written.
int16_t ChunkWriteBack(FileContext& file, ChunkRequest& request, uint32_t expectedSize);

int16_t TableReadChunk(TableFile& table, const char* tag, int16_t id, uint32_t kind);
int16_t TableWriteChunk(TableFile& table, const char* tag, int16_t id, uint32_t kind);
void TableReleaseChunk(TableFile& table);

// Reads QXDB chunk id into the work context's table file and converts its header and
// records to host order. *recordCount is the number of whole records of a known layout that
// lie inside the body (0 for a version without a known layout, whose records stay as they
// are); records past the body are neither converted nor reported. A body too short for its
// header is refused (CALERR_FILE). The chunk stays held until TableReleaseChunk.
int16_t ReadDbChunk(WorkContext& context, int16_t id, uint8_t** header, uint8_t** records,
                    int16_t* version, uint32_t* recordCount);
// Reads QXHT chunk id; the body stays owned by the table until TableReleaseChunk.
int16_t ReadHtChunk(WorkContext& context, int16_t id, uint8_t** data, uint32_t* size);
int16_t WriteHtChunk(WorkContext& context, int16_t id);

// ---- Identification and table ids -------------------------------------------------------------

// The caller's buffer for the identification text: at most 31 characters and a NUL.
inline constexpr uint32_t TABLE_IDENT_SIZE = 32;

// Reads the identification text of the named file into text, NUL-terminated. A text longer
// than 31 characters does not fit and counts as unreadable: CALERR_FILE, text unchanged.
// A length of 0 (or negative as a signed value) gives an empty text.
int16_t ReadTableIdent(const char* name, const char16_t* directory,
                       std::span<char, TABLE_IDENT_SIZE> text);

inline constexpr uint32_t TABLE_ID_CAPACITY = 256;
inline constexpr int32_t NO_TABLE_ID = -1;
// CollectTableIds: the file names 256 or more distinct table ids.
inline constexpr int16_t TABLE_IDS_FULL = -1;

struct TableIdList {
  int16_t count;
  int32_t ids[TABLE_ID_CAPACITY];
};

// Fills the work context's table id list from the records of every QXDB chunk present, in
// first-seen order without duplicates. CAL_OK, or TABLE_IDS_FULL when 256 distinct ids are
// reached (at most 255 are usable). QXDB chunks the directory does not list are skipped; one
// it lists that cannot be read gives CALERR_FILE.
int16_t CollectTableIds(WorkContext& context);

}  // namespace cal
