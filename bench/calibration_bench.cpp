// Calibration against the time of copying the same table file with cp, in the same run:
// a new calibration (the working file made, patched, flushed to the disk and recorded) and
// a repeat calibration (the working file reused), on sample table files of 1, 16 and
// 64 MiB. cp followed by a flush of its copy is measured too, for the same durability. Before the
// benchmarks, one calibration per size runs in a child process of its own and reports how
// much its peak resident memory grew, against the limit of the file size plus 1 MiB.
//
// The files live in a scratch directory under $MPX_BENCH_DIR, else the current directory,
// so that cp and the calibration work on the same file system.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calibmod.h"
#include "ratio_report.h"
#include "table_sample.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSizesMiB[] = {1, 16, 64};
constexpr uint32_t kMiB = 1024 * 1024;
constexpr const char* kBaseName = "htab0000.tbl";
constexpr const char* kHistoryStem = "qxhis";
constexpr std::array<int16_t, 8> kLevels = {3, 0, -5, 0, 0, 5, 0, 0};
constexpr size_t kNameBlockSize = 40;

fs::path& Scratch() {
  static fs::path scratch;
  return scratch;
}

fs::path BaseDir(uint32_t mib) { return Scratch() / ("base" + std::to_string(mib)); }
fs::path NewDir(uint32_t mib) { return Scratch() / ("new" + std::to_string(mib)); }
fs::path RepeatDir(uint32_t mib) { return Scratch() / ("repeat" + std::to_string(mib)); }
fs::path CopyDir(uint32_t mib) { return Scratch() / ("copy" + std::to_string(mib)); }

std::u16string Wide(const fs::path& path) {
  const std::string text = path.string();
  return {text.begin(), text.end()};
}

// One call of the export; the status and the name it returns.
int16_t Calibrate(const fs::path& base, const fs::path& work, std::string* returned) {
  const CalibrationRequest request{7, 3, 1, 2, 3};
  std::array<uint8_t, kNameBlockSize> block{};
  std::memcpy(block.data(), kBaseName, std::strlen(kBaseName));
  std::memcpy(block.data() + 32, kHistoryStem, 5);
  const std::u16string baseDir = Wide(base);
  const std::u16string workDir = Wide(work);
  const int16_t status =
      QXCalibration(&request, block.data(), kLevels.data(), baseDir.c_str(), workDir.c_str());
  if (returned != nullptr) {
    const auto* name = reinterpret_cast<const char*>(block.data() + 16);
    returned->assign(name, strnlen(name, 16));
  }
  return status;
}

void EmptyDirectory(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
}

bool RunCp(const fs::path& from, const fs::path& to) {
  const std::string source = from.string();
  const std::string target = to.string();
  char cp[] = "cp";
  char* argv[] = {cp, const_cast<char*>(source.c_str()), const_cast<char*>(target.c_str()),
                  nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "cp", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- Benchmarks ----------------------------------------------------------------------------

void BM_Cp(benchmark::State& state) {
  const auto mib = static_cast<uint32_t>(state.range(0));
  const fs::path target = CopyDir(mib) / kBaseName;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(target);
    state.ResumeTiming();
    if (!RunCp(BaseDir(mib) / kBaseName, target)) {
      state.SkipWithError("cp failed");
      break;
    }
  }
}

// cp, then the copy flushed to the disk: the durability the calibration gives its working
// file before it installs it.
void BM_CpAndFlush(benchmark::State& state) {
  const auto mib = static_cast<uint32_t>(state.range(0));
  const fs::path target = CopyDir(mib) / kBaseName;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(target);
    state.ResumeTiming();
    bool ok = RunCp(BaseDir(mib) / kBaseName, target);
    const int fd = ok ? open(target.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    ok = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!ok) {
      state.SkipWithError("cp or its flush failed");
      break;
    }
  }
}

void BM_NewCalibration(benchmark::State& state) {
  const auto mib = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    EmptyDirectory(NewDir(mib));
    state.ResumeTiming();
    std::string name;
    if (Calibrate(BaseDir(mib), NewDir(mib), &name) != CAL_OK || name == kBaseName) {
      state.SkipWithError("the calibration failed");
      break;
    }
  }
}

void BM_RepeatCalibration(benchmark::State& state) {
  const auto mib = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    std::string name;
    if (Calibrate(BaseDir(mib), RepeatDir(mib), &name) != CAL_OK || name == kBaseName) {
      state.SkipWithError("the calibration failed");
      break;
    }
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const uint32_t mib : kSizesMiB) b->Arg(mib);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Cp)->Apply(Sizes);
BENCHMARK(BM_CpAndFlush)->Apply(Sizes);
BENCHMARK(BM_NewCalibration)->Apply(Sizes);
BENCHMARK(BM_RepeatCalibration)->Apply(Sizes);

// ---- Setup and peak memory -----------------------------------------------------------------

bool Prepare() {
  const char* root = std::getenv("MPX_BENCH_DIR");
  std::string pattern = (fs::path(root != nullptr && root[0] != '\0' ? root : ".") /
                         "mpx-calibration-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return false;
  }
  Scratch() = fs::absolute(pattern);
  for (const uint32_t mib : kSizesMiB) {
    for (const fs::path& dir : {BaseDir(mib), NewDir(mib), RepeatDir(mib), CopyDir(mib)}) {
      fs::create_directories(dir);
    }
    const cal::sample::Bytes table =
        cal::sample::BuildTableFile(cal::sample::ScaledSampleTable(mib * kMiB));
    if (!cal::sample::WriteFileBytes((BaseDir(mib) / kBaseName).string(), table)) return false;
    std::string name;
    if (Calibrate(BaseDir(mib), RepeatDir(mib), &name) != CAL_OK || name == kBaseName) {
      std::fprintf(stderr, "the first calibration of %u MiB failed\n", mib);
      return false;
    }
    std::printf("Table file of %u MiB: %zu bytes; working file %s\n", mib, table.size(),
                name.c_str());
  }
  return true;
}

// Peak resident memory of this process so far, in KiB.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// The child: one new calibration, then the growth of the peak.
int CalibrateOnce(const char* base, const char* work) {
  const long before = PeakKiB();
  const int16_t status = Calibrate(base, work, nullptr);
  const long after = PeakKiB();
  std::printf("%ld %d\n", after - before, status);
  return status == CAL_OK ? 0 : 1;
}

// Runs CalibrateOnce in a fresh process of this program per size; false when one grows past
// the limit.
bool ReportPeakMemory(const char* self) {
  bool within = true;
  std::printf("Peak memory of one new calibration (growth of the peak resident set):\n");
  for (const uint32_t mib : kSizesMiB) {
    EmptyDirectory(NewDir(mib));
    const std::string command = std::string(self) + " --calibrate-once " + BaseDir(mib).string() +
                                " " + NewDir(mib).string();
    FILE* child = popen(command.c_str(), "r");
    long grown = -1;
    int status = -1;
    if (child == nullptr || std::fscanf(child, "%ld %d", &grown, &status) != 2) grown = -1;
    if (child != nullptr) pclose(child);
    const uintmax_t fileKiB = fs::file_size(BaseDir(mib) / kBaseName) / 1024;
    const uintmax_t limitKiB = fileKiB + 1024;
    const bool ok = grown >= 0 && status == CAL_OK && static_cast<uintmax_t>(grown) <= limitKiB;
    std::printf("  %2u MiB file: %8ld KiB (limit %ju KiB)%s\n", mib, grown, limitKiB,
                ok ? "" : "  MISSED");
    within = within && ok;
  }
  return within;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--calibrate-once") == 0) {
    return CalibrateOnce(argv[2], argv[3]);
  }
  if (!Prepare()) return 2;
  const bool memoryWithin = ReportPeakMemory(fs::read_symlink("/proc/self/exe").c_str());
  // cp works in a process of its own and a new calibration waits for the disk: real time.
  // A repeat calibration only reads what the page cache holds, so its CPU time is its cost;
  // its real time is shown too.
  constexpr auto kReal = mdbbench::Clock::Real;
  constexpr auto kCpu = mdbbench::Clock::Cpu;
  int result = mdbbench::RunWithRatios(
      argc, argv,
      {{"new calibration / cp, 1 MiB", "BM_NewCalibration/1", "BM_Cp/1", 1.5, kReal},
       {"new calibration / cp, 16 MiB", "BM_NewCalibration/16", "BM_Cp/16", 1.5, kReal},
       {"new calibration / cp, 64 MiB", "BM_NewCalibration/64", "BM_Cp/64", 1.5, kReal},
       {"new calibration / (cp + flush), 1 MiB", "BM_NewCalibration/1", "BM_CpAndFlush/1", 0,
        kReal},
       {"new calibration / (cp + flush), 16 MiB", "BM_NewCalibration/16", "BM_CpAndFlush/16", 0,
        kReal},
       {"new calibration / (cp + flush), 64 MiB", "BM_NewCalibration/64", "BM_CpAndFlush/64", 0,
        kReal},
       {"repeat calibration, 64 MiB / 1 MiB", "BM_RepeatCalibration/64", "BM_RepeatCalibration/1",
        1.2, kCpu},
       {"repeat calibration, 16 MiB / 1 MiB", "BM_RepeatCalibration/16", "BM_RepeatCalibration/1",
        0, kCpu},
       {"repeat calibration, 64 MiB / 1 MiB", "BM_RepeatCalibration/64", "BM_RepeatCalibration/1",
        0, kReal},
       {"cp, 64 MiB / 1 MiB", "BM_Cp/64", "BM_Cp/1", 0, kReal}});
  if (result == 0 && !memoryWithin) result = 3;
  std::error_code ignored;
  fs::remove_all(Scratch(), ignored);
  return result;
}
