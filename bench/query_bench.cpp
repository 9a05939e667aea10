// Query cost through the exports of libmodeldb, each beside its floor measured in the same
// run: copying the same answer bytes out of a table precomputed by key. Then a sweep of
// every key of every category over every supported print mode and paper size.
//
// Printer data comes from the spooler stand-in, from a printer file in a scratch store.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "evaluator.h"
#include "image.h"
#include "modeldb.h"
#include "mpxspool.h"
#include "query_env.h"
#include "ratio_report.h"
#include "trace.h"

namespace {

namespace fs = std::filesystem;

using Export = int32_t (*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

// The exports by the category in a key's high four bits (5, internal, has none).
constexpr Export kExports[7] = {MPX_AccessRootDataBase, MPX_AccessDrvDataBase,
                                MPX_AccessLMDataBase,   MPX_AccessMntDataBase,
                                MPX_AccessPADataBase,   nullptr,
                                MPX_AccessSMDataBase};

Export ExportOf(uint16_t key) { return (key >> 12) < 7 ? kExports[key >> 12] : nullptr; }

// Drv settings and keys the setup asks about.
constexpr uint32_t kEngineSetting = 4, kMediaSetting = 5, kVariantSetting = 6, kInkSetSetting = 7,
                   kQualitySetting = 8, kColourSetting = 9, kPaperSetting = 28,
                   kUserWidthSetting = 29, kUserLengthSetting = 30, kBorderlessSetting = 81;
constexpr int32_t kUserDefinedPaper = 256;
constexpr uint16_t kAllEnginesKey = 4109, kAllMediaKey = 4111, kAllPaperSizesKey = 4113,
                   kPrintModeKey = 4117, kQualitiesKey = 4118, kJobCommandsKey = 4121,
                   kPageCommandsKey = 4120, kSelectorKey = 4126;
// The Drv keys answered by the dispatcher's own code (they need not stand in the directory).
constexpr uint16_t kListKeys[] = {4108, 4109, 4110, 4111, 4112, 4113, 4114, 4115, 4116, 4118, 4119,
                                  4120, 4121, 4122, 4123, 4124, 4125, 4126, 4173, 4174, 4177, 4180};
constexpr uint32_t kItemRecordSize = 20;
constexpr uint32_t kAnswerBufferSize = 65536;

// A host's state: the settings array, empty context strings and the printer handle.
struct HostState {
  std::array<int32_t, 128> settings{};
  std::array<const char*, 16> strings{};
  QueryContext context{};

  HostState() {
    strings.fill("");
    context.stringCount = static_cast<uint32_t>(strings.size());
    context.strings = strings.data();
    context.settingCount = static_cast<uint32_t>(settings.size());
    context.settings = settings.data();
  }
  HostState(const HostState& other) : HostState() {
    settings = other.settings;
    context.hPrinter = other.context.hPrinter;
  }
  HostState& operator=(const HostState& other) {
    settings = other.settings;
    context.hPrinter = other.context.hPrinter;
    return *this;
  }
};

// The host's two calls: the size query, then the answer into a buffer of that size (an
// item list keeps the size output as it was when it succeeds).
int32_t Ask(uint16_t key, const HostState& state, std::vector<uint8_t>* answer) {
  answer->clear();
  uint32_t size = 0;
  const Export ask = ExportOf(key);
  const int32_t sized = ask(key, &state.context, 0, nullptr, &size);
  if (sized != MPX_BUFFER_TOO_SMALL && sized != MPX_OK) return sized;
  answer->assign(std::max<uint32_t>(size, 1), 0);
  uint32_t written = size;
  const int32_t status = ask(key, &state.context, size, answer->data(), &written);
  answer->resize(status == MPX_OK ? size : 0);
  return status;
}

std::vector<int32_t> ItemIds(uint16_t key, const HostState& state) {
  std::vector<uint8_t> answer;
  std::vector<int32_t> ids;
  if (Ask(key, state, &answer) != MPX_OK) return ids;
  for (size_t at = 0; at + kItemRecordSize <= answer.size(); at += kItemRecordSize) {
    int32_t id = 0;
    std::memcpy(&id, answer.data() + at, 4);
    ids.push_back(id);
  }
  return ids;
}

// ---- The setup ----------------------------------------------------------------------------

struct Setup {
  fs::path scratch;
  void* printer = nullptr;
  HostState base;                     // a supported print mode on A4, with the printer
  std::vector<HostState> sweepStates;  // every supported print mode on every paper size
  std::vector<uint16_t> sweepKeys;     // every key of every category
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

bool OpenScratchPrinter(Setup* s) {
  char pattern[] = "/tmp/mpx-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  s->scratch = pattern;
  std::ofstream(s->scratch / "Q770.ini") << "VrdUI_SilentModeEnable=1\nVrdUI_SilentModeTime=30\n";
  setenv("MPX_SPOOL_DIR", s->scratch.c_str(), 1);
  return OpenPrinterW(u"Q770", &s->printer, nullptr) != 0;
}

// The print modes the database supports, found the way a host finds them: engines and media
// from their full lists, every colour mode and margin setting, and each quality that the
// media's quality list names and the print-mode key answers for.
std::vector<HostState> SupportedModes(const HostState& start) {
  std::vector<HostState> modes;
  HostState state = start;
  for (const int32_t engine : ItemIds(kAllEnginesKey, state)) {
    state.settings[kEngineSetting] = engine;
    for (const int32_t media : ItemIds(kAllMediaKey, state)) {
      state.settings[kMediaSetting] = media;
      for (const int32_t colour : {0, 1}) {
        state.settings[kColourSetting] = colour;
        for (const int32_t borderless : {0, 1}) {
          state.settings[kBorderlessSetting] = borderless;
          for (int32_t quality = 0; quality < 32; ++quality) {
            state.settings[kQualitySetting] = quality;
            const std::vector<int32_t> listed = ItemIds(kQualitiesKey, state);
            if (std::find(listed.begin(), listed.end(), quality) == listed.end()) continue;
            std::vector<uint8_t> answer;
            if (Ask(kPrintModeKey, state, &answer) == MPX_OK) modes.push_back(state);
          }
        }
      }
    }
  }
  return modes;
}

bool Prepare(Setup* s) {
  if (!OpenScratchPrinter(s)) {
    std::fprintf(stderr, "cannot open the scratch printer\n");
    return false;
  }
  HostState start;
  start.context.hPrinter = s->printer;
  start.settings[kVariantSetting] = 1;
  start.settings[kInkSetSetting] = 7;
  start.settings[kPaperSetting] = 9;
  start.settings[kUserWidthSetting] = 10000;
  start.settings[kUserLengthSetting] = 15000;
  const std::vector<HostState> modes = SupportedModes(start);
  if (modes.empty()) {
    std::fprintf(stderr, "no supported print mode found\n");
    return false;
  }
  s->base = modes.front();
  for (const HostState& mode : modes) {
    for (const int32_t paper : ItemIds(kAllPaperSizesKey, mode)) {
      HostState state = mode;
      state.settings[kPaperSetting] = paper;
      s->sweepStates.push_back(state);
    }
  }
  std::set<uint16_t> keys(std::begin(kListKeys), std::end(kListKeys));
  const mdb::DbImage& image = mdb::ShippedImage();
  for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
    if (ExportOf(image.directoryKeys[i]) != nullptr) keys.insert(image.directoryKeys[i]);
  }
  s->sweepKeys.assign(keys.begin(), keys.end());
  std::printf("Sweep: %zu supported print modes, %zu mode and paper states, %zu keys\n",
              modes.size(), s->sweepStates.size(), s->sweepKeys.size());
  return true;
}

// ---- The representative keys ------------------------------------------------------------------

bool IsStoredLeaf(mdb::DbNode node) {
  const uint32_t type = mdb::NodeTypeCode(node);
  return type >= static_cast<uint32_t>(mdb::NodeType::Bytes) &&
         type <= static_cast<uint32_t>(mdb::NodeType::WideText);
}

// A key whose root is itself the stored leaf that answers it.
uint16_t StoredLeafAtTheTop(const HostState& state) {
  const mdb::DbImage& image = mdb::ShippedImage();
  for (uint32_t i = 0; i < image.counts[mdb::kDirectoryCount]; ++i) {
    const uint16_t key = image.directoryKeys[i];
    mdb::DbNode root{};
    if (ExportOf(key) == nullptr || !mdb::ReadNode(image, image.directoryRoots[i], &root)) continue;
    if (!IsStoredLeaf(root) || mdb::NodeParam(root) != key) continue;
    std::vector<uint8_t> answer;
    if (Ask(key, state, &answer) == MPX_OK && !answer.empty()) return key;
  }
  return 0;
}

struct DepthProbe {
  uint32_t answerDepth = 0;
};

// The key and state whose answering leaf lies deepest, over the sweep's states.
struct DeepAnswer {
  uint16_t key = 0;
  size_t state = 0;
  uint32_t nodes = 0;  // on the path from the root to the leaf
};

DeepAnswer DeepestAnswer(const Setup& s) {
  DepthProbe probe;
  mdb::EvalTracer tracer{};
  tracer.user = &probe;
  tracer.leave = [](void* user, uint32_t, mdb::DbNode node, uint32_t depth, int32_t status) {
    if (status == MPX_OK && IsStoredLeaf(node)) static_cast<DepthProbe*>(user)->answerDepth = depth;
  };
  const mdb::QueryEnv traced{&mdb::ShippedImage(), &tracer};
  DeepAnswer deepest;
  const std::set<uint16_t> listKeys(std::begin(kListKeys), std::end(kListKeys));
  for (size_t i = 0; i < s.sweepStates.size(); ++i) {
    for (const uint16_t key : s.sweepKeys) {
      if (listKeys.count(key) != 0) continue;
      probe.answerDepth = 0;
      mdb::DbNode leaf{};
      if (mdb::LookupKey(traced, key, &s.sweepStates[i].context, &leaf) != MPX_OK) continue;
      if (!IsStoredLeaf(leaf) || probe.answerDepth + 1 <= deepest.nodes) continue;
      deepest = DeepAnswer{key, i, probe.answerDepth + 1};
    }
  }
  return deepest;
}

// ---- Queries and floors -----------------------------------------------------------------------

// The floor: the same answer bytes, copied out of a table indexed by key.
struct FloorEntry {
  uint32_t offset;
  uint32_t size;
};
struct FloorTable {
  std::vector<FloorEntry> entries = std::vector<FloorEntry>(0x10000, FloorEntry{0, 0});
  std::vector<uint8_t> bytes;
};

FloorTable& Floors() {
  static FloorTable table;
  return table;
}

[[gnu::noinline]] int32_t FloorAnswer(const FloorTable& table, uint32_t key, uint32_t bufferSize,
                                      void* buffer, uint32_t* requiredSize) {
  const FloorEntry& entry = table.entries[key & 0xFFFFu];
  *requiredSize = entry.size;
  if (buffer == nullptr || bufferSize < entry.size) return MPX_BUFFER_TOO_SMALL;
  std::memcpy(buffer, table.bytes.data() + entry.offset, entry.size);
  return MPX_OK;
}

struct QueryCase {
  std::string name;
  uint16_t key;
  HostState state;
};

void RegisterCase(const QueryCase& c) {
  std::vector<uint8_t> answer;
  const int32_t status = Ask(c.key, c.state, &answer);
  std::printf("  %-12s key %5u: status %d, %zu bytes\n", c.name.c_str(), c.key, status,
              answer.size());
  if (status != MPX_OK) return;
  FloorTable& floors = Floors();
  floors.entries[c.key] = FloorEntry{static_cast<uint32_t>(floors.bytes.size()),
                                     static_cast<uint32_t>(answer.size())};
  floors.bytes.insert(floors.bytes.end(), answer.begin(), answer.end());

  benchmark::RegisterBenchmark(("BM_Query/" + c.name).c_str(), [c](benchmark::State& state) {
    std::vector<uint8_t> buffer(kAnswerBufferSize);
    const Export ask = ExportOf(c.key);
    for (auto _ : state) {
      uint32_t size = 0;
      const int32_t got = ask(c.key, &c.state.context, kAnswerBufferSize, buffer.data(), &size);
      if (got != MPX_OK) {
        state.SkipWithError("the query failed");
        break;
      }
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
    }
  });
  benchmark::RegisterBenchmark(("BM_Floor/" + c.name).c_str(), [c](benchmark::State& state) {
    std::vector<uint8_t> buffer(kAnswerBufferSize);
    const FloorTable& table = Floors();
    for (auto _ : state) {
      uint32_t size = 0;
      benchmark::DoNotOptimize(FloorAnswer(table, c.key, kAnswerBufferSize, buffer.data(), &size));
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
    }
  });
}

void BM_Sweep(benchmark::State& state) {
  const Setup& s = TheSetup();
  std::vector<uint8_t> buffer(kAnswerBufferSize);
  int64_t queries = 0;
  for (auto _ : state) {
    for (const HostState& host : s.sweepStates) {
      for (const uint16_t key : s.sweepKeys) {
        uint32_t size = 0;
        benchmark::DoNotOptimize(
            ExportOf(key)(key, &host.context, kAnswerBufferSize, buffer.data(), &size));
      }
    }
    queries += static_cast<int64_t>(s.sweepStates.size() * s.sweepKeys.size());
  }
  state.SetItemsProcessed(queries);
}

void PrintSweepAnswers(const Setup& s) {
  std::map<int32_t, size_t> statuses;
  std::vector<uint8_t> answer;
  for (const HostState& host : s.sweepStates) {
    for (const uint16_t key : s.sweepKeys) ++statuses[Ask(key, host, &answer)];
  }
  std::printf("Sweep answers by status:");
  for (const auto& [status, count] : statuses) std::printf("  %d: %zu", status, count);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  Setup& s = TheSetup();
  if (!Prepare(&s)) return 2;
  PrintSweepAnswers(s);

  const DeepAnswer deep = DeepestAnswer(s);
  std::printf("Representative queries:\n");
  const uint16_t top = StoredLeafAtTheTop(s.base);
  RegisterCase({"stored_top", top, s.base});
  QueryCase deepCase{"deep_tree", deep.key, s.sweepStates[deep.state]};
  std::printf("  (the deepest stored answer: key %u, %u nodes from root to leaf)\n", deep.key,
              deep.nodes);
  RegisterCase(deepCase);
  RegisterCase({"items_4113", kAllPaperSizesKey, s.base});
  RegisterCase({"job_4121", kJobCommandsKey, s.base});
  RegisterCase({"page_4120", kPageCommandsKey, s.base});
  RegisterCase({"select_4126", kSelectorKey, s.base});
  benchmark::RegisterBenchmark("BM_Sweep", BM_Sweep)->Unit(benchmark::kMillisecond);

  constexpr auto kCpu = mdbbench::Clock::Cpu;  // queries compute, they never wait
  const int result = mdbbench::RunWithRatios(
      argc, argv,
      {{"stored leaf at the top: query / floor", "BM_Query/stored_top", "BM_Floor/stored_top", 10,
        kCpu},
       {"deep tree: query / floor", "BM_Query/deep_tree", "BM_Floor/deep_tree", 10, kCpu},
       {"item list 4113: query / floor", "BM_Query/items_4113", "BM_Floor/items_4113", 0, kCpu},
       {"job commands 4121: query / floor", "BM_Query/job_4121", "BM_Floor/job_4121", 40, kCpu},
       {"page commands 4120 (printer data): query / floor", "BM_Query/page_4120",
        "BM_Floor/page_4120", 0, kCpu},
       {"selector 4126: query / floor", "BM_Query/select_4126", "BM_Floor/select_4126", 0,
        kCpu}});
  ClosePrinter(s.printer);
  std::error_code ignored;
  fs::remove_all(s.scratch, ignored);
  return result;
}
