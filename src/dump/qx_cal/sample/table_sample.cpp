#include "table_sample.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace cal::sample {

// ---- Helpers ------------------------------------------------------------------------------

void PutLe32(Bytes& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const Bytes& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes.at(offset + i)) << (8 * i);
  return value;
}

void PutU16(Bytes& bytes, size_t offset, uint16_t value, DataOrder order) {
  const auto low = static_cast<uint8_t>(value & 0xFFu);
  const auto high = static_cast<uint8_t>(value >> 8);
  bytes.at(offset) = order == DataOrder::Little ? low : high;
  bytes.at(offset + 1) = order == DataOrder::Little ? high : low;
}

uint16_t GetU16(const Bytes& bytes, size_t offset, DataOrder order) {
  const uint16_t a = bytes.at(offset);
  const uint16_t b = bytes.at(offset + 1);
  return static_cast<uint16_t>(order == DataOrder::Little ? (a | (b << 8)) : ((a << 8) | b));
}

void PutU32(Bytes& bytes, size_t offset, uint32_t value, DataOrder order) {
  for (size_t i = 0; i < 4; ++i) {
    const size_t at = order == DataOrder::Little ? i : 3 - i;
    bytes.at(offset + at) = static_cast<uint8_t>(value >> (8 * i));
  }
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool ReadFileBytes(const std::string& path, Bytes* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

namespace {

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

void AlignTo4(Bytes& bytes) {
  while (bytes.size() % 4 != 0) bytes.push_back(0);
}

uint32_t SizeOf(const Bytes& bytes) { return static_cast<uint32_t>(bytes.size()); }

}  // namespace

// ---- Curves -------------------------------------------------------------------------------

std::vector<uint16_t> SampleCurve(uint32_t seed) {
  // A gently bent rise to between 3600 and 4095, different for every seed below 64.
  const double end = 3600.0 + 7.0 * static_cast<double>(seed % 71);
  const double bend = 0.85 + 0.01 * static_cast<double>(seed % 37);
  std::vector<uint16_t> curve(256);
  for (size_t i = 0; i < curve.size(); ++i) {
    const double x = static_cast<double>(i) / 255.0;
    curve[i] = static_cast<uint16_t>(std::lround(end * std::pow(x, bend)));
  }
  return curve;
}

namespace {

void PutCurve(Bytes& bytes, size_t offset, uint32_t seed, DataOrder order) {
  const std::vector<uint16_t> curve = SampleCurve(seed);
  for (size_t i = 0; i < curve.size(); ++i) PutU16(bytes, offset + 2 * i, curve[i], order);
}

}  // namespace

// ---- QXDB bodies --------------------------------------------------------------------------

namespace {

enum class Unit : uint8_t { Bytes = 1, Half = 2, Word = 4 };
struct Range {
  uint32_t first;
  uint32_t length;
  Unit unit;
};
struct Layout {
  uint32_t version;
  uint32_t size;
  std::vector<Range> ranges;
  uint32_t idOffset;
  Unit idUnit;
};

const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {0, 164, {{0, 104, Unit::Word}, {104, 48, Unit::Bytes}, {152, 8, Unit::Word}, {160, 4, Unit::Bytes}}, 64, Unit::Word},
      {1, 296, {{0, 108, Unit::Word}, {108, 48, Unit::Bytes}, {156, 8, Unit::Word}, {164, 132, Unit::Bytes}}, 36, Unit::Word},
      {2, 300, {{0, 4, Unit::Word}, {4, 20, Unit::Half}, {24, 68, Unit::Word}, {92, 48, Unit::Bytes},
                {140, 8, Unit::Word}, {148, 132, Unit::Bytes}, {280, 20, Unit::Half}}, 22, Unit::Half},
  };
  return layouts;
}

const Layout* FindLayout(uint32_t version) {
  for (const Layout& layout : Layouts()) {
    if (layout.version == version) return &layout;
  }
  return nullptr;
}

}  // namespace

uint32_t DbRecordSize(uint32_t version) {
  const Layout* layout = FindLayout(version & 0xFFFFu);
  return layout != nullptr ? layout->size : 0;
}

Bytes DbChunkBody(uint32_t version, const std::vector<int32_t>& tableIds, DataOrder order,
                  int64_t declaredCount, uint32_t recordSizeOther) {
  const Layout* layout = FindLayout(version & 0xFFFFu);
  const uint32_t recordSize = layout != nullptr ? layout->size : recordSizeOther;
  Bytes body(12 + recordSize * tableIds.size());
  const uint32_t count =
      declaredCount >= 0 ? static_cast<uint32_t>(declaredCount) : static_cast<uint32_t>(tableIds.size());
  PutU32(body, 0, version, order);
  PutU32(body, 4, count, order);
  PutU32(body, 8, 0x00C0FFEEu, order);
  for (size_t r = 0; r < tableIds.size(); ++r) {
    const size_t base = 12 + r * recordSize;
    const auto tag = static_cast<uint32_t>(r & 0xFFu);
    if (layout == nullptr) {
      for (uint32_t i = 0; i < recordSize; ++i) body[base + i] = static_cast<uint8_t>(i * 13 + r);
      continue;
    }
    // Distinct values in every field, so a test sees exactly which bytes were converted.
    for (const Range& range : layout->ranges) {
      const uint32_t step = static_cast<uint32_t>(range.unit);
      for (uint32_t i = range.first; i < range.first + range.length; i += step) {
        if (range.unit == Unit::Word) {
          PutU32(body, base + i, 0x51000000u | (tag << 16) | i, order);
        } else if (range.unit == Unit::Half) {
          PutU16(body, base + i, static_cast<uint16_t>(0x6100u | i), order);
        } else {
          body[base + i] = static_cast<uint8_t>(0x80u + i);
        }
      }
    }
    const auto id = static_cast<uint32_t>(tableIds[r]);
    if (layout->idUnit == Unit::Word) {
      PutU32(body, base + layout->idOffset, id, order);
    } else {
      PutU16(body, base + layout->idOffset, static_cast<uint16_t>(id & 0xFFFFu), order);
    }
  }
  return body;
}

// ---- QXHT bodies --------------------------------------------------------------------------

Bytes SimpleCurveBody(int32_t tableId, uint32_t seed, DataOrder order, uint32_t tailBytes) {
  uint32_t curves = 6;
  if (tableId >= 1200 && tableId <= 1299) curves = 4;
  if (tableId >= 1400 && tableId <= 1499) curves = 7;
  Bytes body(curves * 512 + tailBytes);
  for (uint32_t k = 0; k < curves; ++k) PutCurve(body, k * 512, seed + k, order);
  for (uint32_t i = 0; i < tailBytes; ++i) body[curves * 512 + i] = static_cast<uint8_t>(0xE0u + (i & 0x1Fu));
  return body;
}

StructuredSpec StandardStructured(const std::vector<int32_t>& inkPositions, uint32_t seed) {
  StructuredSpec spec;
  spec.entries.push_back({0x9A, 0x11111111});
  spec.entries.push_back({0xF8, static_cast<uint32_t>(inkPositions.size())});
  spec.entries.push_back({0x9A, 0x22222222});
  for (size_t b = 0; b < inkPositions.size(); ++b) {
    spec.entries.push_back({0xDC, static_cast<uint32_t>(b), true});
    spec.blocks.push_back({inkPositions[b], seed + static_cast<uint32_t>(b)});
  }
  spec.entries.push_back({0x9A, 0x33333333});
  return spec;
}

StructuredBody StructuredCurveBody(const StructuredSpec& spec, DataOrder order) {
  constexpr uint32_t kBlockHeader = 64;
  constexpr uint32_t kBlockSpan = kBlockHeader + 512;
  const auto entries = static_cast<uint32_t>(spec.entries.size());
  const uint32_t firstBlock = 16 + 8 * entries;
  StructuredBody out;
  out.bytes.assign(firstBlock + kBlockSpan * spec.blocks.size(), 0);
  Bytes& body = out.bytes;
  PutU32(body, 0, 0x50178516u, order);
  PutU32(body, 4, 0x00010002u, order);
  PutU32(body, 8, spec.entryCount >= 0 ? static_cast<uint32_t>(spec.entryCount) : entries, order);
  PutU32(body, 12, 0, order);
  for (size_t b = 0; b < spec.blocks.size(); ++b) {
    out.blockOffsets.push_back(firstBlock + kBlockSpan * static_cast<uint32_t>(b));
  }
  for (uint32_t j = 0; j < entries; ++j) {
    const StructEntrySpec& e = spec.entries[j];
    uint32_t value = e.value;
    if (e.blockIndex) value = e.value < out.blockOffsets.size() ? out.blockOffsets[e.value] : 0xFFFFFF00u;
    PutU32(body, 16 + 8 * j, (static_cast<uint32_t>(e.tag) << 24) | (e.lowBits & 0xFFFFFFu), order);
    PutU32(body, 16 + 8 * j + 4, value, order);
  }
  for (size_t b = 0; b < spec.blocks.size(); ++b) {
    const CurveBlockSpec& block = spec.blocks[b];
    const uint32_t at = out.blockOffsets[b];
    for (uint32_t i = 0; i < 24; ++i) body[at + i] = static_cast<uint8_t>(0x40u + i);
    PutU32(body, at + 24, (static_cast<uint32_t>(block.tag) << 24) | 0x000004u, order);
    PutU32(body, at + 28, static_cast<uint32_t>(block.inkPosition), order);
    for (uint32_t i = 32; i < 56; ++i) body[at + i] = static_cast<uint8_t>(0x40u + i);
    const uint32_t curveOffset =
        block.curveOffset >= 0 ? static_cast<uint32_t>(block.curveOffset) : kBlockHeader;
    PutU32(body, at + 56, block.descriptor, order);
    PutU32(body, at + 60, curveOffset, order);
    PutCurve(body, at + kBlockHeader, block.seed, order);
    out.curveOffsets.push_back(at + curveOffset);
  }
  return out;
}

// ---- Files --------------------------------------------------------------------------------

const PlacedChunk* TableLayout::Find(uint32_t kind, uint16_t id) const {
  for (const PlacedChunk& chunk : chunks) {
    if (chunk.kind == kind && chunk.id == id) return &chunk;
  }
  return nullptr;
}

Bytes BuildTableFile(const TableSpec& spec, TableLayout* layoutOut) {
  TableLayout layout;
  Bytes file(HEADER_SIZE, 0);
  file[0] = 'H';
  file[1] = 'T';
  file[2] = 'B';
  file[3] = 1;
  PutLe32(file, 12, 0x00000001u);  // not read: a format revision and a flags word
  PutLe32(file, 16, 0x00000000u);

  layout.identOffset = SizeOf(file);
  Bytes ident(8, 0);
  PutLe32(ident, 0, 0x544E4449u);  // "IDNT"
  PutLe32(ident, 4, static_cast<uint32_t>(spec.ident.size()));
  ident.insert(ident.end(), spec.ident.begin(), spec.ident.end());
  Append(file, ident);
  AlignTo4(file);

  // Which directory lists each chunk: 0 the QXDB one (or the shared one), 1 the QXHT one.
  std::vector<int> directoryOf;
  for (const ChunkSpec& chunk : spec.chunks) {
    directoryOf.push_back(spec.sharedDirectory || chunk.kind == KIND_DB ? 0 : 1);
  }
  const int directories = spec.sharedDirectory ? 1 : 2;
  std::vector<uint32_t> directoryOffset(2, 0);
  std::vector<uint32_t> nextEntry(2, 0);
  for (int d = 0; d < directories; ++d) {
    const auto count = static_cast<uint32_t>(std::count(directoryOf.begin(), directoryOf.end(), d));
    directoryOffset[static_cast<size_t>(d)] = SizeOf(file);
    nextEntry[static_cast<size_t>(d)] = SizeOf(file) + 4;
    Bytes directory(4 + 12 * count, 0);
    PutLe32(directory, 0, count);
    Append(file, directory);
  }
  layout.dbDirectoryOffset = directoryOffset[0];
  layout.htDirectoryOffset = spec.sharedDirectory ? directoryOffset[0] : directoryOffset[1];
  PutLe32(file, 4, layout.identOffset);
  PutLe32(file, 8, layout.dbDirectoryOffset);
  PutLe32(file, 20, layout.htDirectoryOffset);

  for (size_t c = 0; c < spec.chunks.size(); ++c) {
    const ChunkSpec& chunk = spec.chunks[c];
    PlacedChunk placed{chunk.kind, chunk.id, 0, SizeOf(file), SizeOf(chunk.body)};
    Bytes sizeField(4, 0);
    PutLe32(sizeField, 0, placed.bodySize);
    Append(file, sizeField);
    Append(file, chunk.body);
    AlignTo4(file);
    const auto d = static_cast<size_t>(directoryOf[c]);
    placed.entryOffset = nextEntry[d];
    nextEntry[d] += 12;
    PutLe32(file, placed.entryOffset, chunk.kind);
    file[placed.entryOffset + 4] = static_cast<uint8_t>(chunk.id & 0xFFu);
    file[placed.entryOffset + 5] = static_cast<uint8_t>(chunk.id >> 8);
    file[placed.entryOffset + 6] = 0x5A;  // not read
    file[placed.entryOffset + 7] = 0xA5;
    PutLe32(file, placed.entryOffset + 8, placed.chunkOffset);
    layout.chunks.push_back(placed);
  }
  if (layoutOut != nullptr) *layoutOut = std::move(layout);
  return file;
}

TableSpec SampleTable(DataOrder order, bool sharedDirectory) {
  TableSpec spec;
  spec.sharedDirectory = sharedDirectory;
  spec.chunks.push_back({KIND_DB, 1000, DbChunkBody(0, {1302, 1303, 1302}, order)});
  spec.chunks.push_back({KIND_DB, 1001, DbChunkBody(1, {1304, 1305, 1303}, order)});
  spec.chunks.push_back({KIND_DB, 1002, DbChunkBody(2, {1308, 1309, 1305}, order)});
  spec.chunks.push_back({KIND_HT, 1302, SimpleCurveBody(1302, 0, order)});
  spec.chunks.push_back({KIND_HT, 1303, SimpleCurveBody(1303, 6, order)});
  spec.chunks.push_back({KIND_HT, 1304, StructuredCurveBody(StandardStructured({0, 1, 2, 3, 4, 5}, 12), order).bytes});
  spec.chunks.push_back({KIND_HT, 1305, SimpleCurveBody(1305, 18, order)});
  spec.chunks.push_back({KIND_HT, 1308, SimpleCurveBody(1308, 24, order)});
  spec.chunks.push_back({KIND_HT, 1309, SimpleCurveBody(1309, 30, order)});
  // A chunk of a kind the calibration never looks for.
  Bytes other(96);
  for (size_t i = 0; i < other.size(); ++i) other[i] = static_cast<uint8_t>(i * 3);
  spec.chunks.push_back({12, 1, other});
  return spec;
}

TableSpec ScaledSampleTable(uint32_t targetBytes, DataOrder order) {
  TableSpec spec = SampleTable(order);
  // The size BuildTableFile will give, without building it.
  const auto fileSize = [&spec] {
    const auto aligned = [](size_t n) { return (n + 3) / 4 * 4; };
    size_t size = HEADER_SIZE + aligned(8 + spec.ident.size()) + 2 * 4;
    for (const ChunkSpec& chunk : spec.chunks) size += 12 + 4 + aligned(chunk.body.size());
    return size;
  };
  // Tables without presets: listed, read and written back, never changed.
  std::vector<int32_t> extraIds;
  for (int32_t id = 1310; id <= 1399; ++id) extraIds.push_back(id);
  for (int32_t id = 1200; id <= 1299; ++id) extraIds.push_back(id);
  for (int32_t id = 1400; id <= 1499; ++id) extraIds.push_back(id);
  std::vector<int32_t> listed;
  constexpr size_t kUsableIds = 255 - 6;
  for (size_t i = 0; i < extraIds.size() && listed.size() < kUsableIds && fileSize() < targetBytes; ++i) {
    const int32_t id = extraIds[i];
    spec.chunks.push_back({KIND_HT, static_cast<uint16_t>(id),
                           SimpleCurveBody(id, static_cast<uint32_t>(i), order, 64)});
    listed.push_back(id);
  }
  if (!listed.empty()) spec.chunks.push_back({KIND_DB, 1003, DbChunkBody(1, listed, order)});
  // Beyond that, bulk the file up with chunks nothing lists.
  constexpr uint32_t kFiller = 1u << 20;
  for (uint16_t id = 3000; fileSize() < targetBytes; ++id) {
    const auto left = static_cast<uint32_t>(targetBytes - fileSize());
    // Each chunk also costs its size field and its directory entry.
    Bytes filler(std::min(kFiller, std::max<uint32_t>(left, 32) - 16));
    for (size_t i = 0; i < filler.size(); ++i) filler[i] = static_cast<uint8_t>((i * 31 + id) & 0xFFu);
    spec.chunks.push_back({KIND_HT, id, std::move(filler)});
  }
  return spec;
}

}  // namespace cal::sample
