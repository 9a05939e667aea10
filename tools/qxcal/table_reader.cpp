#include "table_reader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "curves.h"
#include "presets.h"
#include "table_file.h"

namespace qxcal {

namespace {

// Header slots and directory layout.
constexpr uint32_t kHeaderSize = 24;  // the last slot read ends at byte 23
constexpr uint32_t kIdentFieldsSize = 8;
constexpr uint32_t kMaxIdentLength = cal::TABLE_IDENT_SIZE - 1;
constexpr uint32_t kChunkSizeField = 4;

std::string Hex(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
  return buffer;
}

class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, DataOrder order) : bytes_(bytes), order_(order) {}

  bool Inside(uint64_t offset, uint64_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }
  uint32_t Le32(uint64_t at) const {
    return static_cast<uint32_t>(bytes_[at]) | static_cast<uint32_t>(bytes_[at + 1]) << 8 |
           static_cast<uint32_t>(bytes_[at + 2]) << 16 | static_cast<uint32_t>(bytes_[at + 3]) << 24;
  }
  uint16_t Le16(uint64_t at) const { return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8); }
  uint32_t Data32(uint64_t at) const {
    if (order_ == DataOrder::Little) return Le32(at);
    return static_cast<uint32_t>(bytes_[at]) << 24 | static_cast<uint32_t>(bytes_[at + 1]) << 16 |
           static_cast<uint32_t>(bytes_[at + 2]) << 8 | static_cast<uint32_t>(bytes_[at + 3]);
  }
  uint16_t Data16(uint64_t at) const {
    return order_ == DataOrder::Little ? Le16(at) : static_cast<uint16_t>(bytes_[at] << 8 | bytes_[at + 1]);
  }
  CurveValues CurveAt(uint64_t at) const {
    CurveValues values{};
    for (uint32_t i = 0; i < kCurveEntries; ++i) values[i] = Data16(at + 2 * i);
    return values;
  }
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

 private:
  std::span<const uint8_t> bytes_;
  DataOrder order_;
};

// A directory at the offset in header slot `slot`.
bool ReadDirectory(const Reader& reader, uint32_t slot, const char* what, uint32_t* offset,
                   std::vector<DirectoryEntry>* entries, TableFile* table) {
  *offset = reader.Le32(slot);
  if (!reader.Inside(*offset, 4)) {
    table->errors.push_back(std::string(what) + " directory: its offset " + Hex(*offset) + " (header bytes " +
                            std::to_string(slot) + "-" + std::to_string(slot + 3) + ") lies outside the " +
                            std::to_string(reader.size()) + "-byte file");
    return false;
  }
  const uint32_t count = reader.Le32(*offset);
  const uint64_t need = static_cast<uint64_t>(count) * cal::CHUNK_DIR_ENTRY_SIZE;
  if (!reader.Inside(static_cast<uint64_t>(*offset) + 4, need)) {
    table->errors.push_back(std::string(what) + " directory at " + Hex(*offset) + ": " + std::to_string(count) +
                            " entries of 12 bytes do not fit in the " + std::to_string(reader.size()) + "-byte file");
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = static_cast<uint64_t>(*offset) + 4 + static_cast<uint64_t>(i) * cal::CHUNK_DIR_ENTRY_SIZE;
    DirectoryEntry entry{reader.Le32(at + cal::CHUNK_DIR_ENTRY_KIND), reader.Le16(at + cal::CHUNK_DIR_ENTRY_ID),
                         reader.Le32(at + cal::CHUNK_DIR_ENTRY_OFFSET), 0, false};
    if (reader.Inside(entry.chunkOffset, kChunkSizeField)) {
      entry.bodySize = reader.Le32(entry.chunkOffset);
      entry.bodyInside = reader.Inside(static_cast<uint64_t>(entry.chunkOffset) + kChunkSizeField, entry.bodySize);
    }
    entries->push_back(entry);
  }
  return true;
}

// The first entry of that kind and id, as the calibration finds it.
const DirectoryEntry* FindEntry(const std::vector<DirectoryEntry>& entries, uint32_t kind, uint16_t id) {
  for (const DirectoryEntry& entry : entries) {
    if (entry.kind == kind && entry.id == id) return &entry;
  }
  return nullptr;
}

std::string ChunkName(const char* tag, uint16_t id) { return std::string(tag) + " " + std::to_string(id); }

// Checks that the entry's chunk lies in the file; reports where it does not.
bool ChunkInside(const DirectoryEntry& entry, const char* tag, const Reader& reader, TableFile* table) {
  if (entry.bodyInside) return true;
  if (!reader.Inside(entry.chunkOffset, kChunkSizeField)) {
    table->errors.push_back(ChunkName(tag, entry.id) + ": its offset " + Hex(entry.chunkOffset) +
                            " lies outside the " + std::to_string(reader.size()) + "-byte file");
  } else {
    table->errors.push_back(ChunkName(tag, entry.id) + " at " + Hex(entry.chunkOffset) + ": its body of " +
                            std::to_string(entry.bodySize) + " bytes runs past the end of the " +
                            std::to_string(reader.size()) + "-byte file");
  }
  return false;
}

void ReadDbChunks(const Reader& reader, TableFile* table) {
  for (const int16_t offset : cal::DB_CHUNK_ID_OFFSETS) {
    const auto id = static_cast<uint16_t>(cal::DB_CHUNK_ID_BASE + offset);
    const DirectoryEntry* entry = FindEntry(table->dbDirectory, cal::CHUNK_KIND_DB, id);
    if (entry == nullptr || !ChunkInside(*entry, cal::CHUNK_TAG_DB, reader, table)) continue;
    const uint32_t body = entry->chunkOffset + kChunkSizeField;
    DbChunk chunk{id, body, entry->bodySize, 0, 0, 0, 0, {}};
    if (entry->bodySize < cal::DB_CHUNK_HEADER_SIZE) {
      table->errors.push_back(ChunkName(cal::CHUNK_TAG_DB, id) + ": a body of " + std::to_string(entry->bodySize) +
                              " bytes is shorter than its 12-byte header");
      continue;
    }
    chunk.version = reader.Data32(body);
    chunk.recordCount = reader.Data32(body + 4);
    const cal::DbRecordLayout* layout = cal::FindDbRecordLayout(static_cast<uint16_t>(chunk.version & 0xFFFFu));
    if (layout == nullptr) {
      table->warnings.push_back(ChunkName(cal::CHUNK_TAG_DB, id) + ": version " + std::to_string(chunk.version & 0xFFFFu) +
                                " has no known record layout; its records name no table");
    } else {
      chunk.recordSize = layout->recordSize;
      const uint32_t room = (entry->bodySize - cal::DB_CHUNK_HEADER_SIZE) / layout->recordSize;
      chunk.recordsInBody = std::min(chunk.recordCount, room);
      if (chunk.recordCount > room) {
        table->warnings.push_back(ChunkName(cal::CHUNK_TAG_DB, id) + ": declares " + std::to_string(chunk.recordCount) +
                                  " records of " + std::to_string(layout->recordSize) + " bytes, the body holds " +
                                  std::to_string(room));
      }
      for (uint32_t r = 0; r < chunk.recordsInBody; ++r) {
        const uint64_t record = static_cast<uint64_t>(body) + cal::DB_CHUNK_HEADER_SIZE + static_cast<uint64_t>(r) * layout->recordSize;
        const int32_t tableId = layout->tableIdUnit == cal::FieldUnit::Half
                                    ? static_cast<int16_t>(reader.Data16(record + layout->tableIdOffset))
                                    : static_cast<int32_t>(reader.Data32(record + layout->tableIdOffset));
        chunk.tableIds.push_back(tableId);
        if (std::find(table->tableIds.begin(), table->tableIds.end(), tableId) == table->tableIds.end()) {
          table->tableIds.push_back(tableId);
        }
      }
    }
    table->dbChunks.push_back(std::move(chunk));
  }
  if (table->tableIds.size() >= cal::TABLE_ID_CAPACITY) {
    table->errors.push_back("the QXDB records name " + std::to_string(table->tableIds.size()) +
                            " distinct tables; the calibration takes at most 255");
  }
  for (const DirectoryEntry& entry : table->dbDirectory) {
    if (entry.kind != cal::CHUNK_KIND_DB) continue;
    const bool lookedFor = std::any_of(cal::DB_CHUNK_ID_OFFSETS.begin(), cal::DB_CHUNK_ID_OFFSETS.end(),
                                       [&](int16_t o) { return entry.id == cal::DB_CHUNK_ID_BASE + o; });
    if (!lookedFor) {
      table->warnings.push_back(ChunkName(cal::CHUNK_TAG_DB, entry.id) + " is not one the calibration reads");
    }
  }
}

void ReadSimpleCurves(const Reader& reader, HtChunk* chunk, TableFile* table) {
  const int16_t count = cal::SimpleCurveCount(chunk->id);
  if (count == 0) {
    if (chunk->presetGroup) {
      table->errors.push_back(ChunkName(cal::CHUNK_TAG_HT, chunk->id) +
                              ": a simple body for a table outside 1200-1499 has no curve count");
    } else {
      table->warnings.push_back(ChunkName(cal::CHUNK_TAG_HT, chunk->id) +
                                ": simple layout outside tables 1200-1499: its curves are not known");
    }
    return;
  }
  chunk->curveCount = static_cast<uint32_t>(count);
  const uint32_t need = chunk->curveCount * cal::CURVE_BYTES;
  if (chunk->bodySize < need) {
    table->errors.push_back(ChunkName(cal::CHUNK_TAG_HT, chunk->id) + ": " + std::to_string(count) +
                            " curves need " + std::to_string(need) + " bytes, the body has " +
                            std::to_string(chunk->bodySize));
  }
  for (uint32_t k = 0; k < chunk->curveCount && (k + 1) * cal::CURVE_BYTES <= chunk->bodySize; ++k) {
    const uint32_t at = chunk->bodyOffset + k * cal::CURVE_BYTES;
    chunk->curves.push_back({chunk->id, static_cast<int32_t>(k), at, reader.CurveAt(at)});
  }
}

void ReadStructuredCurves(const Reader& reader, HtChunk* chunk, TableFile* table) {
  const std::string name = ChunkName(cal::CHUNK_TAG_HT, chunk->id);
  const uint32_t body = chunk->bodyOffset;
  const auto fail = [&](const std::string& what) { table->errors.push_back(name + " (structured): " + what); };
  if (chunk->bodySize < cal::STRUCT_HEADER_SIZE) return fail("the body is shorter than its 16-byte header");
  const auto entries = static_cast<int32_t>(reader.Data32(body + 8));
  if (entries < 0) return fail("a negative entry count " + std::to_string(entries));
  const uint64_t entriesEnd = cal::STRUCT_HEADER_SIZE + static_cast<uint64_t>(entries) * cal::STRUCT_ENTRY_SIZE;
  if (entriesEnd > chunk->bodySize) {
    return fail(std::to_string(entries) + " entries of 8 bytes run past the " + std::to_string(chunk->bodySize) +
                "-byte body");
  }
  int32_t blocks = -1;
  std::vector<uint32_t> offsets;
  for (int32_t j = 0; j < entries; ++j) {
    const uint32_t at = body + cal::STRUCT_HEADER_SIZE + static_cast<uint32_t>(j) * cal::STRUCT_ENTRY_SIZE;
    const auto tag = static_cast<uint8_t>(reader.Data32(at) >> 24);
    const uint32_t value = reader.Data32(at + 4);
    if (tag == cal::ENTRY_VALUE) {
      if (static_cast<int32_t>(value) > cal::MAX_CURVE_BLOCKS || static_cast<int32_t>(value) < 0) {
        return fail("entry " + std::to_string(j) + " counts " + std::to_string(value) + " curve blocks, at most 7 are allowed");
      }
      blocks = static_cast<int32_t>(value);
    } else if (tag == cal::ENTRY_OFFSET) {
      if (blocks < 0) return fail("entry " + std::to_string(j) + " gives a block offset before the block count");
      if (static_cast<int32_t>(offsets.size()) == blocks) {
        return fail("entry " + std::to_string(j) + " gives more block offsets than the count " + std::to_string(blocks));
      }
      offsets.push_back(value);
    } else if (tag != cal::ENTRY_IGNORED) {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "0x%02X", tag);
      return fail("entry " + std::to_string(j) + " has the unknown tag " + buffer);
    }
  }
  chunk->curveCount = static_cast<uint32_t>(offsets.size());
  if (blocks > 0 && static_cast<int32_t>(offsets.size()) < blocks) {
    table->warnings.push_back(name + ": counts " + std::to_string(blocks) + " curve blocks but gives " +
                              std::to_string(offsets.size()) + " offsets");
  }
  for (size_t b = 0; b < offsets.size(); ++b) {
    const std::string block = "block " + std::to_string(b) + " at body offset " + Hex(offsets[b]);
    if (static_cast<uint64_t>(offsets[b]) + cal::CURVE_BLOCK_SIZE > chunk->bodySize) {
      fail(block + " runs past the " + std::to_string(chunk->bodySize) + "-byte body");
      continue;
    }
    const uint32_t at = body + offsets[b];
    const auto tag = static_cast<uint8_t>(reader.Data32(at + cal::CURVE_BLOCK_TAG) >> 24);
    const auto ink = static_cast<int32_t>(reader.Data32(at + cal::CURVE_BLOCK_TAG + 4));
    const uint32_t descriptor = reader.Data32(at + cal::CURVE_BLOCK_DESCRIPTOR);
    const uint32_t curveOffset = reader.Data32(at + cal::CURVE_BLOCK_DESCRIPTOR + 4);
    if (tag != cal::CURVE_BLOCK_TAG_VALUE) {
      fail(block + ": its tag is " + Hex(tag) + ", not 0xF8");
      continue;
    }
    if (descriptor != cal::CURVE_DESCRIPTOR) {
      fail(block + ": its descriptor is " + Hex(descriptor) + ", not 0x44000100 (256 entries)");
      continue;
    }
    if (ink < 0 || ink >= static_cast<int32_t>(cal::PRESET_INKS)) {
      fail(block + ": ink position " + std::to_string(ink) + " is outside 0-5");
      continue;
    }
    if (static_cast<uint64_t>(offsets[b]) + curveOffset + cal::CURVE_BYTES > chunk->bodySize) {
      fail(block + ": its curve at block offset " + Hex(curveOffset) + " runs past the body");
      continue;
    }
    const uint32_t curveAt = at + curveOffset;
    chunk->curves.push_back({chunk->id, ink, curveAt, reader.CurveAt(curveAt)});
  }
}

void ReadHtChunks(const Reader& reader, TableFile* table) {
  for (const DirectoryEntry& entry : table->htDirectory) {
    if (entry.kind != cal::CHUNK_KIND_HT) continue;
    if (FindEntry(table->htDirectory, cal::CHUNK_KIND_HT, entry.id) != &entry) {
      table->warnings.push_back(ChunkName(cal::CHUNK_TAG_HT, entry.id) +
                                " is listed again at " + Hex(entry.chunkOffset) + "; the first entry is the one used");
      continue;
    }
    if (!ChunkInside(entry, cal::CHUNK_TAG_HT, reader, table)) continue;
    HtChunk chunk{entry.id, entry.chunkOffset + kChunkSizeField, entry.bodySize, false, 0,
                  cal::FindPresetGroup(entry.id) != nullptr,
                  std::find(table->tableIds.begin(), table->tableIds.end(), entry.id) != table->tableIds.end(), {}};
    chunk.structured = chunk.bodySize >= 4 && reader.Data32(chunk.bodyOffset) == cal::STRUCTURED_FORMAT_WORD;
    if (chunk.structured) {
      ReadStructuredCurves(reader, &chunk, table);
    } else {
      ReadSimpleCurves(reader, &chunk, table);
    }
    table->htChunks.push_back(std::move(chunk));
  }
  for (const int32_t id : table->tableIds) {
    const bool present = id >= 0 && id <= 0xFFFF &&
                         FindEntry(table->htDirectory, cal::CHUNK_KIND_HT, static_cast<uint16_t>(id)) != nullptr;
    if (!present) {
      table->errors.push_back("table " + std::to_string(id) +
                              " is named by a QXDB record, but the QXHT directory has no chunk for it");
    }
  }
}

}  // namespace

std::vector<Curve> TableFile::AllCurves() const {
  std::vector<Curve> curves;
  for (const HtChunk& chunk : htChunks) curves.insert(curves.end(), chunk.curves.begin(), chunk.curves.end());
  return curves;
}

TableFile ReadTableFile(std::span<const uint8_t> bytes, DataOrder order) {
  TableFile table;
  const Reader reader(bytes, order);
  table.size = reader.size();
  if (table.size < kHeaderSize) {
    table.errors.push_back("the file has " + std::to_string(table.size) + " bytes, fewer than the " +
                           std::to_string(kHeaderSize) + " of the header");
    return table;
  }
  table.identOffset = reader.Le32(cal::HEADER_IDENT_SLOT);
  if (!reader.Inside(table.identOffset, kIdentFieldsSize)) {
    table.errors.push_back("identification block: its offset " + Hex(table.identOffset) +
                           " (header bytes 4-7) lies outside the " + std::to_string(table.size) + "-byte file");
  } else {
    table.identLength = reader.Le32(table.identOffset + 4);
    if (!reader.Inside(static_cast<uint64_t>(table.identOffset) + kIdentFieldsSize, table.identLength)) {
      table.errors.push_back("identification text: " + std::to_string(table.identLength) +
                             " characters at " + Hex(table.identOffset + kIdentFieldsSize) + " run past the end of the file");
    } else {
      for (uint32_t i = 0; i < table.identLength; ++i) {
        table.ident.push_back(static_cast<char>(bytes[table.identOffset + kIdentFieldsSize + i]));
      }
      if (table.identLength > kMaxIdentLength) {
        table.errors.push_back("identification text: " + std::to_string(table.identLength) +
                               " characters, more than the 31 a calibration compares");
      }
    }
  }
  const bool dbRead = ReadDirectory(reader, cal::CHUNK_KIND_DB, "QXDB", &table.dbDirectoryOffset, &table.dbDirectory, &table);
  const bool htRead = ReadDirectory(reader, cal::CHUNK_KIND_HT, "QXHT", &table.htDirectoryOffset, &table.htDirectory, &table);
  if (dbRead) ReadDbChunks(reader, &table);
  if (htRead) ReadHtChunks(reader, &table);
  return table;
}

bool LoadTableFile(const std::string& path, DataOrder order, TableFile* table, std::string* error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    *error = path + ": is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be opened";
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": cannot be read";
    return false;
  }
  if (bytes.size() > UINT32_MAX) {
    *error = path + ": larger than 4 GiB";
    return false;
  }
  *table = ReadTableFile(bytes, order);
  return true;
}

}  // namespace qxcal
