// Writes the seed corpora of the binary fuzz targets into fuzz/corpus/<target>/: inputs in
// each target's own format, built from small database sources, the sample table files and
// realistic host states, so that fuzzing starts from inputs that reach deep.
//
//   fuzz_seed_writer <fuzz/corpus directory>
//
// The seeds are committed; run this again only after a change of an input format.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "compiler.h"
#include "fuzz_support.h"
#include "owned_image.h"
#include "table_sample.h"

namespace {

namespace fs = std::filesystem;
namespace sample = cal::sample;
using fuzz::Writer;

void Save(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(dir);
  if (!fuzz::WriteBytes(dir / name, bytes)) {
    std::fprintf(stderr, "cannot write %s\n", (dir / name).string().c_str());
    std::exit(1);
  }
}

// ---- Host state (query_input.h) -------------------------------------------------------------

void Setting(Writer& w, int32_t value) {
  if (value >= 0 && value < 64) {
    w.U8(static_cast<uint32_t>(value));
  } else if (value >= 256 && value < 320) {
    w.U8(0x40u | static_cast<uint32_t>(value - 256));
  } else if (value >= -32768 && value < 32768) {
    w.U8(0x80);
    w.U16(static_cast<uint32_t>(value) & 0xFFFFu);
  } else {
    w.U8(0xC0);
    w.U32(static_cast<uint32_t>(value));
  }
}

struct HostState {
  std::map<uint32_t, int32_t> settings;
  uint32_t settingCount = 95;
  std::vector<std::string> strings = std::vector<std::string>(9);
  uint8_t printerUse = 0;   // 0 none, 1 by name, 2 by handle, 3 unknown name
  bool silentOn = false;    // VrdUI_SilentModeEnable = 1 and a silent window
  uint16_t bufferSize = 0;  // below 1024
  bool nullBuffer = true;
};

void WriteHost(Writer& w, const HostState& h) {
  w.U8(static_cast<uint32_t>(h.printerUse << 4) | (h.nullBuffer ? 0x40u : 0u));
  w.U8(h.settingCount);
  for (uint32_t i = 0; i < h.settingCount; ++i) {
    const auto found = h.settings.find(i);
    Setting(w, found != h.settings.end() ? found->second : 0);
  }
  w.U8(static_cast<uint32_t>(h.strings.size()));
  for (const std::string& s : h.strings) {
    w.U8(static_cast<uint32_t>(s.size()));
    w.Raw({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
  }
  w.U8(h.silentOn ? 0x03u : 0x00u);
  if (h.silentOn) {
    w.U8(1);
    w.U32(0x16000700u);  // 22:00 to 07:00
  }
  w.U16(h.bufferSize);
}

HostState DrvBase() {
  HostState h;
  h.settings = {{4, 3}, {9, 0}, {5, 1}, {8, 4}, {6, 1}, {7, 7}, {28, 9}, {25, 21000}, {26, 29700},
                {29, 10000}, {30, 15000}};
  h.settingCount = 120;
  h.strings = {"", "DS,LS", "", "", "", "", "", "", ""};
  return h;
}

// ---- exports --------------------------------------------------------------------------------

void WriteExportSeeds(const fs::path& dir) {
  struct Seed {
    const char* name;
    uint32_t exportIndex;
    uint32_t key;
    HostState host;
  };
  HostState printer = DrvBase();
  printer.printerUse = 1;
  printer.silentOn = true;
  HostState handle = printer;
  handle.printerUse = 2;
  HostState small = DrvBase();
  small.nullBuffer = false;
  small.bufferSize = 7;
  HostState noSettings = DrvBase();
  noSettings.settingCount = 0;
  HostState userSize = DrvBase();
  userSize.settings[28] = 256;
  HostState lm;
  lm.settingCount = 13;
  lm.strings = {"", "", "", "", ""};
  HostState pa;
  pa.settings = {{0, 1}, {1, 281}};
  pa.settingCount = 4;
  HostState sm;
  sm.settingCount = 16;
  sm.settings = {{0, 1}};
  const Seed seeds[] = {
      {"root_version", 0, 2, HostState{}},
      {"root_value_names", 0, 8, HostState{{{0, 1}}, 1}},
      {"root_module_name", 0, 30, HostState{}},
      {"drv_job_commands", 1, 4121, DrvBase()},
      {"drv_job_commands_printer", 1, 4121, printer},
      {"drv_job_commands_handle", 1, 4122, handle},
      {"drv_selector", 1, 4126, DrvBase()},
      {"drv_media_list", 1, 4111, DrvBase()},
      {"drv_paper_list", 1, 4112, DrvBase()},
      {"drv_paper_user_size", 1, 4113, userSize},
      {"drv_quality_list", 1, 4118, DrvBase()},
      {"drv_short_buffer", 1, 4127, small},
      {"drv_no_settings", 1, 4121, noSettings},
      {"drv_silent", 1, 0x1007, printer},
      {"lm_first", 2, 0x2001, lm},
      {"mnt_first", 3, 0x3001, HostState{}},
      {"pa_pair", 4, 16390, pa},
      {"sm_first", 5, 0x6001, sm},
  };
  for (const Seed& seed : seeds) {
    Writer w;
    w.U8(seed.exportIndex);
    w.U8(1);  // key inside the export's range
    w.U32(seed.key);
    WriteHost(w, seed.host);
    Save(dir, seed.name, w.bytes);
  }
}

// ---- image_eval -----------------------------------------------------------------------------

const char* const kImageSources[][2] = {
    {"leaf", "key 0x0002 = WideText \"1.52\"\n"},
    {"switches",
     "key 0x1007 = SettingFilter 4 {\n"
     "  SettingGuard 3 {\n"
     "    SignedBytes @0x103A [2]\n"
     "    SettingSwitch 9 { case 0: SignedBytes [24] case 1, 2: SignedBytes [8] }\n"
     "  }\n"
     "}\n"
     "key 0x103A = Int32Array [1, -2, 3]\n"},
    {"printer_data",
     "key 8 = SettingSwitch 0 { case 153: WideText \"VrdUI_SilentModeEnable\" }\n"
     "key 0x1008 = PrinterDataSwitch 153 { case 1: Bytes { 1B 5B \"QXL\\n\" } case 2: Computed 7 default: Bytes \"x\" }\n"},
    {"masked_range_locale",
     "key 0x2001 = MaskedSettingSwitch 79 mask 0x00800000 { case 8388608: Computed 6 range -5..-1: Bytes {} }\n"
     "key 0x3001 = LocaleSwitch { case 44: UnsignedBytes [255] default: UInt16Array [7] }\n"
     "key 0x4001 = StringSwitch 1 { case \"DS,LS\", \"\": Int32Array [-1] default: UInt16Array [65535] }\n"},
    {"computed",
     "key 0x1030 = Sequence { Computed 1 }\n"
     "key 0x1031 = Computed 2\nkey 0x1032 = Computed 3\nkey 0x1033 = Computed 4\n"
     "key 0x1034 = Computed 5\nkey 0x1035 = Computed 6\n"},
    {"command_sequence",
     "key 0x5008 = AllTrees\n"
     "tree parts for 0x5008 = Sequence {\n"
     "  reset: Bytes { 1B 40 }\n"
     "  page: SettingSwitch 28 { case 256: Computed 1 default: Bytes { 1B 28 63 } }\n"
     "}\n"
     "list 4121 = [reset, page]\nlist 4122 = [page]\n"},
    {"items_and_selector",
     "key 0x1010 = Int16Array [5, 281]\n"
     "category 5 { 1 = 15101 281 = 15127 }\n"
     "category 28 { 9 = 15760 256 = 15744 }\n"
     "row 1 { u16 124; text \"htab0000.tbl\"; pad 48 }\n"
     "row 2 { zeros 40 }\nrow 3 { i32 -1; pad 36 }\nrow 4 { bytes { FF \"a\" }; pad 48 }\n"
     "selector (4=3, 9=0, 5=1, 8=4, 6=1, 81=0) rows (0, 0, 0, 0)\n"},
};

template <typename T, typename Put>
void Table(const std::vector<T>& table, Put put) {
  for (const T& element : table) put(element);
}

bool WriteImageSeed(const fs::path& dir, const std::string& name, const std::string& source,
                    const HostState& host) {
  dbc::OwnedImage image;
  dbc::Diagnostics diags;
  if (!dbc::CompileText(source, &image, &diags, name)) {
    std::fprintf(stderr, "%s", dbc::FormatAll(diags).c_str());
    return false;
  }
  const std::array<uint32_t, mdb::kCountSlots> counts = dbc::CountsOf(image);
  Writer w;
  for (uint32_t slot = 0; slot < mdb::kCountSlots; ++slot) {
    if (slot == mdb::kReservedCount) {
      w.U32(counts[slot]);
    } else {
      w.U16(counts[slot]);
    }
  }
  w.U32(0);  // no absent table
  WriteHost(w, host);
  Table(image.nodes, [&](mdb::DbNode n) { w.U32(n.tag); w.U32(n.value); });
  Table(image.directoryKeys, [&](uint16_t v) { w.U16(v); });
  Table(image.directoryRoots, [&](uint32_t v) { w.U8(v); });
  Table(image.listKeys, [&](uint16_t v) { w.U16(v); });
  Table(image.listCounts, [&](uint16_t v) { w.U8(v); });
  Table(image.listStarts, [&](uint32_t v) { w.U32(v); });
  Table(image.nodeIndexList, [&](uint32_t v) { w.U8(v); });
  Table(image.categoryIds, [&](uint16_t v) { w.U8(v); });
  Table(image.categoryCounts, [&](uint16_t v) { w.U16(v); });
  Table(image.categoryStarts, [&](uint32_t v) { w.U32(v); });
  Table(image.itemIds, [&](uint16_t v) { w.U16(v); });
  Table(image.itemValues, [&](uint32_t v) { w.U32(v); });
  Table(image.int32Pool, [&](int32_t v) { w.U32(static_cast<uint32_t>(v)); });
  Table(image.int16Pool, [&](uint16_t v) { w.U16(v); });
  Table(image.bytePool, [&](uint8_t v) { w.U8(v); });
  Table(image.stringPool, [&](uint8_t v) { w.U8(v); });
  Table(image.selectors, [&](const mdb::SelectorRecord& r) {
    for (const int16_t v : {r.setting4, r.setting9, r.setting5, r.setting8, r.setting6, r.setting81}) {
      w.U16(static_cast<uint16_t>(v));
    }
    for (const uint16_t v : {r.row1, r.row2, r.row3, r.row4}) w.U16(v);
  });
  for (const auto& rows : image.rowTables) Table(rows, [&](uint8_t v) { w.U8(v); });
  Save(dir, name, w.bytes);
  return true;
}

// ---- calibration ----------------------------------------------------------------------------

struct CalibrationSeed {
  const char* name;
  uint8_t flags;
  int16_t levels[6];
  sample::Bytes base;
  std::string history;
  bool workingIsCalibrated;  // the working file a first call would make, else base bytes
};

void WriteCalibrationSeeds(const fs::path& dir) {
  const sample::Bytes little = sample::BuildTableFile(sample::SampleTable());
  const sample::Bytes big = sample::BuildTableFile(sample::SampleTable(sample::DataOrder::Big, true));
  sample::TableSpec small;
  small.chunks.push_back({sample::KIND_DB, 1000, sample::DbChunkBody(0, {1302, 1308}, sample::DataOrder::Little)});
  small.chunks.push_back({sample::KIND_HT, 1302, sample::SimpleCurveBody(1302, 0, sample::DataOrder::Little)});
  small.chunks.push_back({sample::KIND_HT, 1308, sample::SimpleCurveBody(1308, 3, sample::DataOrder::Little)});
  const sample::Bytes smallFile = sample::BuildTableFile(small);
  // Level choices by index: 0 neutral, 1 -5, 2 -3, 3 +3, 4 +5, 7 special.
  const CalibrationSeed seeds[] = {
      {"first_call", 0x00, {3, 0, 2, 0, 0, 4}, little, "", false},
      {"first_call_big_endian", 0x00, {1, 2, 3, 4, 1, 2}, big, "", false},
      {"append", 0x01, {3, 0, 2, 0, 0, 4}, smallFile, "7,9,9,9,htab0001.tbl\r\n", false},
      {"reuse_twice", 0x13, {3, 0, 2, 0, 0, 4}, smallFile, "7,1,2,3,htab0001.tbl\r\n", true},
      {"stale", 0x03, {4, 4, 4, 4, 4, 4}, smallFile, "7,1,2,3,htab0001.tbl\r\n", false},
      {"malformed_history", 0x01, {3, 0, 0, 0, 0, 0}, smallFile, "7,1,2\r\nnot a line\n", false},
      {"special_level", 0x00, {7, 0, 0, 0, 0, 0}, smallFile, "", false},
      {"same_directory", 0x30, {3, 3, 3, 3, 3, 3}, smallFile, "", false},
  };
  for (const CalibrationSeed& seed : seeds) {
    Writer w;
    w.U8(seed.flags);
    w.U16(7);  // history key
    w.U16(3);  // ink configuration
    for (uint32_t id : {1u, 2u, 3u}) w.U32(id);
    for (int16_t level : seed.levels) w.U16(static_cast<uint16_t>(level));
    w.U16(0);
    w.U16(0);
    w.U8(0);  // base name "htab0000.tbl"
    w.U8(0);  // working name "htab0001.tbl"
    w.Blob(seed.base);
    w.Blob({reinterpret_cast<const uint8_t*>(seed.history.data()), seed.history.size()});
    w.Blob(seed.base);  // a working file with the base file's identification
    Save(dir, seed.name, w.bytes);
  }
}

// ---- table_records --------------------------------------------------------------------------

void WriteTableRecordSeeds(const fs::path& dir) {
  const auto curveSeed = [&](const char* name, uint8_t flags, uint16_t tableChoice, const sample::Bytes& body) {
    Writer w;
    w.U8(0);  // curve part
    w.U8(flags);
    for (int i = 0; i < 8; ++i) w.U8(static_cast<uint32_t>(1 + i % 4));
    w.U16(tableChoice);
    w.Raw(body);
    Save(dir, name, w.bytes);
  };
  for (const auto order : {sample::DataOrder::Little, sample::DataOrder::Big}) {
    const uint8_t swapped = order == sample::DataOrder::Big ? 1 : 0;
    const std::string suffix = swapped != 0 ? "_big" : "_little";
    curveSeed(("structured" + suffix).c_str(), swapped, 2,
              sample::StructuredCurveBody(sample::StandardStructured({0, 1, 2, 3, 4, 5}, 12), order).bytes);
    curveSeed(("structured_neutral" + suffix).c_str(), static_cast<uint8_t>(swapped | 0x02), 2,
              sample::StructuredCurveBody(sample::StandardStructured({5, 3, 1}, 4), order).bytes);
    curveSeed(("simple" + suffix).c_str(), swapped, 0, sample::SimpleCurveBody(1302, 0, order));
  }

  const auto dbSeed = [&](const char* name, uint8_t flags, const std::vector<std::pair<uint8_t, std::vector<int32_t>>>& chunks) {
    Writer w;
    w.U8(1);  // QXDB part
    w.U8(flags);
    w.U8(static_cast<uint32_t>(chunks.size() - 1));
    for (const auto& [form, ids] : chunks) {
      w.U8(form);
      if ((form & 0x80u) != 0) {
        const sample::Bytes raw = sample::DbChunkBody(0, ids, sample::DataOrder::Little);
        w.Blob(raw);
        continue;
      }
      w.U8(static_cast<uint32_t>(ids.size()));
      for (const int32_t id : ids) {
        if (id >= 1300 && id < 1332) {
          w.U8(static_cast<uint32_t>(id - 1300));
        } else {
          w.U8(0x80);
          w.U32(static_cast<uint32_t>(id));
        }
      }
      if ((form & 0x40u) != 0) w.U16(1000);
    }
    Save(dir, name, w.bytes);
  };
  // form: bits 0-2 the chunk id choice, bits 3-4 the version, 0x40 a false count, 0x80 raw.
  dbSeed("db_three_versions", 0x00, {{0x00, {1302, 1303, 1302}}, {0x09, {1304, 1305, 1303}}, {0x12, {1308, 1309, 1305}}});
  dbSeed("db_big_shared", 0x03, {{0x00, {1302, 1303}}, {0x11, {1308, 70000}}});
  dbSeed("db_false_count", 0x00, {{0x40, {1302, 1303}}});
  dbSeed("db_raw", 0x00, {{0x80, {1302, 1303}}, {0x19, {1304}}});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <fuzz/corpus directory>\n", argv[0]);
    return 2;
  }
  const fs::path corpus = argv[1];
  WriteExportSeeds(corpus / "exports");
  HostState printer = DrvBase();
  printer.printerUse = 1;
  printer.silentOn = true;
  for (const auto& [name, source] : kImageSources) {
    if (!WriteImageSeed(corpus / "image_eval", name, source, DrvBase())) return 1;
  }
  if (!WriteImageSeed(corpus / "image_eval", "printer_data_on", kImageSources[2][1], printer)) return 1;
  WriteCalibrationSeeds(corpus / "calibration");
  WriteTableRecordSeeds(corpus / "table_records");
  std::printf("seeds written under %s\n", corpus.string().c_str());
  return 0;
}
