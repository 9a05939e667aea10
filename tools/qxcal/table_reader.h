// A table file read whole into memory and described: header, identification text, chunk
// directories, the QXDB chunks and the table ids their records name, the QXHT chunks with
// their layout and curves. Every offset is checked against the file, and every problem is
// said in words (where, what was found, what was expected).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qxcal {

// The byte order of the structure data and curves inside the chunks (the header,
// directories, chunk sizes and identification fields are always little-endian).
enum class DataOrder : uint8_t { Little, Big };

inline constexpr uint32_t kCurveEntries = 256;
using CurveValues = std::array<uint16_t, kCurveEntries>;

struct Curve {
  uint16_t tableId;
  int32_t inkPosition;
  uint32_t fileOffset;  // of entry 0
  CurveValues values;
};

struct DirectoryEntry {
  uint32_t kind;
  uint16_t id;
  uint32_t chunkOffset;
  uint32_t bodySize;     // 0 when the size field lies outside the file
  bool bodyInside;       // size field and body lie inside the file
};

struct DbChunk {
  uint16_t id;
  uint32_t bodyOffset;
  uint32_t bodySize;
  uint32_t version;           // the header's first word
  uint32_t recordCount;       // as declared
  uint32_t recordSize;        // 0 for a version without a known layout
  uint32_t recordsInBody;     // whole records of the known layout inside the body
  std::vector<int32_t> tableIds;  // one per record read
};

struct HtChunk {
  uint16_t id;
  uint32_t bodyOffset;
  uint32_t bodySize;
  bool structured;
  uint32_t curveCount;        // curves the layout names (found or not)
  bool presetGroup;           // the calibration has preset curves for this table
  bool listed;                // a QXDB record names it
  std::vector<Curve> curves;
};

struct TableFile {
  uint32_t size = 0;
  uint32_t identOffset = 0;
  uint32_t identLength = 0;
  std::string ident;
  uint32_t dbDirectoryOffset = 0;
  uint32_t htDirectoryOffset = 0;
  std::vector<DirectoryEntry> dbDirectory;
  std::vector<DirectoryEntry> htDirectory;
  std::vector<DbChunk> dbChunks;   // the QXDB chunks the calibration looks for, in its order
  std::vector<HtChunk> htChunks;   // every QXHT entry of the QXHT directory
  std::vector<int32_t> tableIds;   // first-seen order, no duplicates
  std::vector<std::string> errors;    // the calibration would fail on this file, or parts are unreadable
  std::vector<std::string> warnings;  // legal but worth knowing

  std::vector<Curve> AllCurves() const;
};

TableFile ReadTableFile(std::span<const uint8_t> bytes, DataOrder order);
// Reads the file; false with the reason when it cannot be read at all.
bool LoadTableFile(const std::string& path, DataOrder order, TableFile* table, std::string* error);

}  // namespace qxcal
