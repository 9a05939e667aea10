#include "table_file.h"

#include <algorithm>

#include "work_context.h"

namespace cal {

// ---- Record layouts ---------------------------------------------------------------------------

namespace {

constexpr RecordRange kVersion0Ranges[] = {
    {0, 104, FieldUnit::Word}, {104, 48, FieldUnit::Bytes},
    {152, 8, FieldUnit::Word}, {160, 4, FieldUnit::Bytes}};
constexpr RecordRange kVersion1Ranges[] = {
    {0, 108, FieldUnit::Word}, {108, 48, FieldUnit::Bytes},
    {156, 8, FieldUnit::Word}, {164, 132, FieldUnit::Bytes}};
constexpr RecordRange kVersion2Ranges[] = {
    {0, 4, FieldUnit::Word},     {4, 20, FieldUnit::Half},    {24, 68, FieldUnit::Word},
    {92, 48, FieldUnit::Bytes},  {140, 8, FieldUnit::Word},   {148, 132, FieldUnit::Bytes},
    {280, 20, FieldUnit::Half}};

constexpr DbRecordLayout kRecordLayouts[] = {
    {0, 164, kVersion0Ranges, 64, FieldUnit::Word},
    {1, 296, kVersion1Ranges, 36, FieldUnit::Word},
    {2, 300, kVersion2Ranges, 22, FieldUnit::Half},
};

constexpr bool RangesCover(const DbRecordLayout& layout) {
  uint32_t next = 0;
  for (const RecordRange& r : layout.ranges) {
    if (r.first != next || r.length % static_cast<uint32_t>(r.unit) != 0) return false;
    next += r.length;
  }
  return next == layout.recordSize;
}
static_assert(RangesCover(kRecordLayouts[0]) && RangesCover(kRecordLayouts[1]) &&
              RangesCover(kRecordLayouts[2]));

}  // namespace

const DbRecordLayout* FindDbRecordLayout(uint16_t version) {
  for (const DbRecordLayout& layout : kRecordLayouts) {
    if (layout.version == version) return &layout;
  }
  return nullptr;
}

void SwapIfNeeded(uint32_t code, uint8_t* data, uint32_t length, int16_t unit) {
  const uint32_t low = code & 0xFFu;
  if (low != (SWAP_MARK_STRUCT | BYTE_ORDER_SWAPPED) &&
      low != (SWAP_MARK_CURVE | BYTE_ORDER_SWAPPED)) {
    return;
  }
  ByteSwap(data, static_cast<int32_t>(std::min<uint32_t>(length, INT32_MAX)), unit);
}

// ---- Chunk access -----------------------------------------------------------------------------

namespace {

// Reads the little-endian u32 at offset, which must lie inside a file of fileSize bytes.
int16_t ReadU32At(FileContext& file, uint64_t offset, uint32_t fileSize, uint32_t* value) {
  if (offset + 4 > fileSize) return CALERR_FILE;
  uint8_t bytes[4] = {};
  if (FileSeek(file, static_cast<int32_t>(offset)) != CAL_OK ||
      FileRead(file, bytes, sizeof bytes) != CAL_OK) {
    return CALERR_FILE;
  }
  *value = LoadLe32(bytes);
  return CAL_OK;
}

// The offset of the first entry matching kind and id, read from a directory of count
// entries that lies in the file.
int32_t FindInDirectory(FileContext& file, uint32_t count, uint32_t kind, int16_t id,
                        uint32_t* chunkOffset) {
  MemBlock entries{};
  void* memory = nullptr;
  if (MemBlockAlloc(count * CHUNK_DIR_ENTRY_SIZE, entries, &memory) != CAL_OK) {
    return CALERR_MEMORY;
  }
  const auto* bytes = static_cast<const uint8_t*>(memory);
  int32_t status = FileRead(file, memory, count * CHUNK_DIR_ENTRY_SIZE);
  if (status == CAL_OK) {
    status = CHUNK_NOT_LISTED;  // until an entry matches
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* entry = bytes + i * CHUNK_DIR_ENTRY_SIZE;
      if (LoadLe32(entry + CHUNK_DIR_ENTRY_KIND) == kind &&
          LoadLe16(entry + CHUNK_DIR_ENTRY_ID) == static_cast<uint16_t>(id)) {
        *chunkOffset = LoadLe32(entry + CHUNK_DIR_ENTRY_OFFSET);
        status = CAL_OK;
        break;
      }
    }
  }
  MemBlockFree(entries);
  return status;
}

}  // namespace

int32_t ChunkFind(FileContext& file, ChunkRequest& request) {
  // Every offset and count read below is measured against the file before it is used, so a
  // damaged file cannot send a read outside itself or ask for a huge directory buffer.
  const int32_t size = FileGetSize(file);
  if (size < 0) return CALERR_FILE;
  const uint32_t fileSize = static_cast<uint32_t>(size);

  uint32_t directoryOffset = 0;
  uint32_t count = 0;
  if (ReadU32At(file, request.kind, fileSize, &directoryOffset) != CAL_OK ||
      ReadU32At(file, directoryOffset, fileSize, &count) != CAL_OK) {
    return CALERR_FILE;
  }
  // An empty or negative count holds no entry.
  if (count == 0 || count > static_cast<uint32_t>(INT32_MAX)) return CALERR_FILE;
  const uint64_t entriesEnd = uint64_t{directoryOffset} + 4 + uint64_t{count} * CHUNK_DIR_ENTRY_SIZE;
  if (entriesEnd > fileSize) return CALERR_FILE;

  uint32_t chunkOffset = 0;
  const int32_t found = FindInDirectory(file, count, request.kind, request.id, &chunkOffset);
  if (found == CHUNK_NOT_LISTED) return CALERR_FILE;
  if (found != CAL_OK) return found;

  uint32_t bodySize = 0;
  if (ReadU32At(file, chunkOffset, fileSize, &bodySize) != CAL_OK) return CALERR_FILE;
  if (uint64_t{chunkOffset} + 4 + bodySize > fileSize) return CALERR_FILE;
  return static_cast<int32_t>(bodySize);  // below the file size, so below 2 GiB
}

int16_t ChunkListed(FileContext& file, uint32_t kind, int16_t id) {
  const int32_t size = FileGetSize(file);
  if (size < 0) return CALERR_FILE;
  const uint32_t fileSize = static_cast<uint32_t>(size);
  uint32_t directoryOffset = 0;
  uint32_t count = 0;
  if (ReadU32At(file, kind, fileSize, &directoryOffset) != CAL_OK ||
      ReadU32At(file, directoryOffset, fileSize, &count) != CAL_OK) {
    return CALERR_FILE;
  }
  if (count == 0 || count > static_cast<uint32_t>(INT32_MAX)) return CHUNK_NOT_LISTED;
  const uint64_t entriesEnd = uint64_t{directoryOffset} + 4 + uint64_t{count} * CHUNK_DIR_ENTRY_SIZE;
  if (entriesEnd > fileSize) return CALERR_FILE;
  uint32_t chunkOffset = 0;
  return static_cast<int16_t>(FindInDirectory(file, count, kind, id, &chunkOffset));
}

int16_t ChunkReadInto(FileContext& file, ChunkRequest& request) {
  const int32_t size = ChunkFind(file, request);
  if (size < 0) return static_cast<int16_t>(size);
  const uint32_t bodySize = static_cast<uint32_t>(size);
  void* memory = nullptr;
  // An empty body still gets a block, so that "held" always means a non-null pointer.
  if (MemBlockAlloc(std::max<uint32_t>(bodySize, 1), request.block, &memory) != CAL_OK) {
    request.data = nullptr;
    return CALERR_MEMORY;
  }
  request.data = static_cast<uint8_t*>(memory);
  if (FileRead(file, request.data, bodySize) != CAL_OK) {
    MemBlockFree(request.block);
    request.data = nullptr;
    return CALERR_FILE;
  }
  request.size = bodySize;
  return CAL_OK;
}

int16_t ChunkWriteBack(FileContext& file, ChunkRequest& request, uint32_t expectedSize) {
  if (request.data == nullptr) return CALERR_FILE;
  const int32_t size = ChunkFind(file, request);
  if (size < 0 || static_cast<uint32_t>(size) != expectedSize) return CALERR_FILE;
  return FileWrite(file, request.data, expectedSize);
}

namespace {

void FillRequest(ChunkRequest& request, const char* tag, int16_t id, uint32_t kind) {
  StrCopy(request.tag, CHUNK_TAG_SIZE, tag);
  request.id = id;
  request.kind = kind;
}

}  // namespace

int16_t TableReadChunk(TableFile& table, const char* tag, int16_t id, uint32_t kind) {
  TableReleaseChunk(table);  // one chunk at a time; never lose a held one
  FillRequest(table.request, tag, id, kind);
  const int16_t status = ChunkReadInto(table.file, table.request);
  if (status != CAL_OK) return status;
  table.chunkData = table.request.data;
  table.chunkSize = table.request.size;
  return CAL_OK;
}

int16_t TableWriteChunk(TableFile& table, const char* tag, int16_t id, uint32_t kind) {
  FillRequest(table.request, tag, id, kind);
  table.request.data = table.chunkData;
  return ChunkWriteBack(table.file, table.request, table.chunkSize);
}

void TableReleaseChunk(TableFile& table) {
  if (table.chunkData == nullptr) return;
  MemBlockFree(table.request.block);
  table.request.data = nullptr;
  table.chunkData = nullptr;
}

// ---- QXDB and QXHT chunks ---------------------------------------------------------------------

int16_t ReadDbChunk(WorkContext& context, int16_t id, uint8_t** header, uint8_t** records,
                    int16_t* version, uint32_t* recordCount) {
  TableFile& table = context.tableFile;
  const int16_t status = TableReadChunk(table, CHUNK_TAG_DB, id, CHUNK_KIND_DB);
  if (status != CAL_OK) return status;
  if (table.chunkSize < DB_CHUNK_HEADER_SIZE) {
    TableReleaseChunk(table);
    return CALERR_FILE;
  }
  uint8_t* body = table.chunkData;
  const uint32_t code = context.byteOrderCode | SWAP_MARK_STRUCT;
  SwapIfNeeded(code, body, DB_CHUNK_HEADER_SIZE, 4);
  const uint16_t recordVersion = static_cast<uint16_t>(LoadHost32(body) & 0xFFFFu);
  const uint32_t declared = LoadHost32(body + 4);

  uint32_t whole = 0;
  if (const DbRecordLayout* layout = FindDbRecordLayout(recordVersion)) {
    whole = std::min(declared, (table.chunkSize - DB_CHUNK_HEADER_SIZE) / layout->recordSize);
    for (uint32_t i = 0; i < whole; ++i) {
      uint8_t* record = body + DB_CHUNK_HEADER_SIZE + i * layout->recordSize;
      for (const RecordRange& range : layout->ranges) {
        if (range.unit == FieldUnit::Bytes) continue;
        SwapIfNeeded(code, record + range.first, range.length, static_cast<int16_t>(range.unit));
      }
    }
  }
  *header = body;
  *records = body + DB_CHUNK_HEADER_SIZE;
  *version = static_cast<int16_t>(recordVersion);
  *recordCount = whole;
  return CAL_OK;
}

int16_t ReadHtChunk(WorkContext& context, int16_t id, uint8_t** data, uint32_t* size) {
  TableFile& table = context.tableFile;
  const int16_t status = TableReadChunk(table, CHUNK_TAG_HT, id, CHUNK_KIND_HT);
  if (status != CAL_OK) return status;
  *data = table.chunkData;
  *size = table.chunkSize;
  return CAL_OK;
}

int16_t WriteHtChunk(WorkContext& context, int16_t id) {
  return TableWriteChunk(context.tableFile, CHUNK_TAG_HT, id, CHUNK_KIND_HT);
}

// ---- Identification and table ids -------------------------------------------------------------

int16_t ReadTableIdent(const char* name, const char16_t* directory,
                       std::span<char, TABLE_IDENT_SIZE> text) {
  FileContext file{};
  file.handle = plat::kInvalidFile;
  FileSetLocation(file, directory, name);
  if (FileOpen(file, FILE_MODE_READ) != CAL_OK) return CALERR_FILE;

  int16_t status = CAL_OK;
  const int32_t size = FileGetSize(file);
  uint32_t blockOffset = 0;
  uint32_t length = 0;
  if (size < 0 ||
      ReadU32At(file, HEADER_IDENT_SLOT, static_cast<uint32_t>(size), &blockOffset) != CAL_OK ||
      ReadU32At(file, uint64_t{blockOffset} + 4, static_cast<uint32_t>(size), &length) != CAL_OK) {
    status = CALERR_FILE;
  }
  const int32_t signedLength = static_cast<int32_t>(length);
  if (status == CAL_OK && signedLength > 0) {
    // A text that does not fit the buffer with its NUL is unreadable, not cut.
    if (static_cast<uint32_t>(signedLength) >= TABLE_IDENT_SIZE) {
      status = CALERR_FILE;
    } else if (uint64_t{blockOffset} + 8 + length > static_cast<uint32_t>(size)) {
      status = CALERR_FILE;
    }
  }
  if (status == CAL_OK) {
    const uint32_t count = signedLength > 0 ? length : 0;
    for (uint32_t i = 0; i < count && status == CAL_OK; ++i) {
      if (FileSeek(file, static_cast<int32_t>(blockOffset + 8 + i)) != CAL_OK ||
          FileRead(file, &text[i], 1) != CAL_OK) {
        status = CALERR_FILE;
      }
    }
    if (status == CAL_OK) text[count] = '\0';
  }
  FileClose(file);
  return status;
}

int16_t CollectTableIds(WorkContext& context) {
  TableIdList& list = context.tableIds;
  std::fill(std::begin(list.ids), std::end(list.ids), NO_TABLE_ID);
  list.count = 0;
  bool full = false;
  for (const int16_t offset : DB_CHUNK_ID_OFFSETS) {
    if (full) break;
    uint8_t* header = nullptr;
    uint8_t* records = nullptr;
    int16_t version = 0;
    uint32_t recordCount = 0;
    const int16_t id = static_cast<int16_t>(DB_CHUNK_ID_BASE + offset);
    if (ReadDbChunk(context, id, &header, &records, &version, &recordCount) != CAL_OK) {
      // A QXDB chunk the directory does not list is normal. One it lists that cannot be
      // read (no memory, an I/O failure, a damaged body) would leave its tables
      // uncalibrated in a working file that passes for finished: the enumeration fails.
      if (ChunkListed(context.tableFile.file, CHUNK_KIND_DB, id) == CHUNK_NOT_LISTED) continue;
      return CALERR_FILE;
    }
    const DbRecordLayout* layout = FindDbRecordLayout(static_cast<uint16_t>(version));
    for (uint32_t j = 0; layout != nullptr && j < recordCount; ++j) {
      const uint8_t* field = records + j * layout->recordSize + layout->tableIdOffset;
      const int32_t tableId = layout->tableIdUnit == FieldUnit::Half
                                  ? static_cast<int16_t>(LoadHost16(field))
                                  : static_cast<int32_t>(LoadHost32(field));
      const auto used = std::begin(list.ids) + list.count;
      if (std::find(std::begin(list.ids), used, tableId) != used) continue;
      list.ids[list.count] = tableId;
      ++list.count;
      if (static_cast<uint32_t>(list.count) == TABLE_ID_CAPACITY) {
        full = true;
        break;
      }
    }
    TableReleaseChunk(context.tableFile);
  }
  return full ? TABLE_IDS_FULL : CAL_OK;
}

}  // namespace cal
