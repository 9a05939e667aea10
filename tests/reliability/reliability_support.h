// Shared pieces of the reliability tests: host queries through the model database exports
// (a host state, the size query and the fetch), and calibrations through QXCalibration in
// a scratch directory, set up in each of the four calibration states, with the working
// file a clean calibration makes as the reference every faulted run is held to.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "calibmod.h"
#include "modeldb.h"
#include "table_sample.h"

namespace rel {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---- Files ------------------------------------------------------------------------------------

Bytes ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const Bytes& bytes);
std::u16string Widen(const std::string& text);

// Every file of a directory with its bytes.
using DirectoryState = std::map<std::string, Bytes>;
DirectoryState Snapshot(const fs::path& dir);

// A directory of this test in this process, removed at the end.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path root_;
};

// ---- Model database queries -------------------------------------------------------------------

using QueryFn = int32_t(MPX_CALL*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

enum class Printer : uint8_t { None, ByName, ByHandle };

// A host state; settings not given are 0, strings not given "".
struct HostState {
  std::map<uint32_t, int32_t> settings;
  uint32_t settingCount = 120;
  std::vector<std::string> strings = std::vector<std::string>(9);
  Printer printer = Printer::None;
  std::u16string printerName = u"Q770 Reliability";
};

// Owns what a QueryContext points into.
struct BuiltContext {
  std::vector<int32_t> settings;
  std::vector<std::string> strings;
  std::vector<const char*> pointers;
  std::u16string printerName;
  QueryContext context{};
};
// handle: the printer handle to pass for Printer::ByHandle.
void Build(const HostState& state, void* handle, BuiltContext* built);

struct Answer {
  int32_t status = 0;  // of the fetch when the size query reported a size, else of the size query
  uint32_t size = 0;
  Bytes bytes;
  bool operator==(const Answer&) const = default;
};
std::string Describe(const Answer& answer);

// The host's two calls: a null buffer for the size, then a buffer of that size.
Answer Ask(QueryFn query, uint32_t key, const QueryContext& context);

// The six exports with the first key of each range.
struct CategoryExport {
  const char* name;
  QueryFn query;
  uint32_t firstKey;
};
extern const std::array<CategoryExport, 6> kCategories;

// Settings of a Drv print job: engine 3, colour, plain paper, quality 4, A4.
HostState DrvJob();

// Every key of every category asked in every context: one job each.
struct QueryJob {
  uint8_t category;  // in kCategories
  uint16_t key;
  uint16_t context;  // index into the contexts passed to RunJobs
};
std::vector<QueryJob> EveryKeyJobs(size_t contextCount);
// The answers of all jobs, in job order; the walk starts at job `first` and wraps round,
// so that threads started at different places ask different keys at the same moment.
std::vector<Answer> RunJobs(const std::vector<QueryJob>& jobs,
                            const std::vector<const QueryContext*>& contexts, size_t first);
// RunJobs on `threads` threads at once, released together; one answer list per thread.
std::vector<std::vector<Answer>> RunJobsInThreads(const std::vector<QueryJob>& jobs,
                                                  const std::vector<const QueryContext*>& contexts,
                                                  size_t threads);

// ---- Calibrations -----------------------------------------------------------------------------

inline constexpr const char* kBaseName = "htab0000.tbl";
inline constexpr const char* kStem = "qxhis";
inline constexpr int16_t kHistoryKey = 7;
inline constexpr size_t kNameBlockSize = 48;
inline constexpr uint8_t kNameFill = 0xAA;

using Levels = std::array<int16_t, 8>;

struct Calibration {
  CalibrationRequest request;
  Levels levels;
};

// The request the tests calibrate, and others that fill the history before it.
extern const Calibration kMine;
extern const std::array<Calibration, 3> kOthers;

enum class StartState : uint8_t {
  NoHistory,    // state 2
  NoEntry,      // state 3: other calibrations in the history, with their working files
  EntryFound,   // state 1: the request's own working file in place
  StaleMissing, // state 4: its entry, but its working file is gone
  StaleIdent,   // state 4: its entry, but its working file carries another identification
};
const char* StateName(StartState state);

// A base table file layout: the realistic sample (six tables in QXDB chunks of each record
// version, one structured, and a chunk of another kind), the same with one shared chunk
// directory, and a small one that takes the same paths with fewer chunks (QXDB versions 0
// and 2, a simple and a structured table with presets, one table without).
enum class BaseTable : uint8_t { Sample, SampleSharedDirectory, Small };
const char* TableName(BaseTable table);

struct CalibrationCall {
  int16_t status;
  std::string returned;  // bytes 16-31 up to the NUL
};

using CalibrateFn = int16_t(MPX_CALL*)(const CalibrationRequest*, uint8_t*, const int16_t*,
                                const char16_t*, const char16_t*);

// One history line as written: key, three identity values, name.
struct HistoryEntry {
  int32_t key, id1, id2, id3;
  std::string name;
  bool operator==(const HistoryEntry&) const = default;
};
std::vector<HistoryEntry> ReadHistory(const fs::path& file, bool* wellFormed);

// What becomes of the history entries of other calibrations.
enum class Entries : uint8_t {
  Kept,
  // Kept, or the history replaced by one holding only this calibration's line: what a
  // history that cannot be read leads to (it counts as no history).
  KeptOrReplaced,
  Any,
};

// A base directory and a working directory under `root`, the scenario's files prepared once
// in a template that every run copies, and the reference working file of each calibration.
// The calibrations that prepare it and the references run `calibrate` without faults.
class CalibrationBench {
 public:
  CalibrationBench(const fs::path& root, CalibrateFn calibrate, StartState state, BaseTable table);

  // Puts the working directory back as the scenario starts.
  void Prepare() const;
  // One call for kMine; checks the name block bytes it must not write.
  CalibrationCall Calibrate() const;

  const Bytes& Reference(const Calibration& calibration) const;
  const Bytes& MyReference() const { return Reference(kMine); }
  const Bytes& Base() const { return base_; }
  std::string HistoryName() const;
  const std::vector<HistoryEntry>& HistoryBefore() const { return historyBefore_; }
  const fs::path& BaseDir() const { return baseDir_; }
  const fs::path& WorkDir() const { return workDir_; }

  // What must hold after any call, faulted, crashed or clean: the base table file keeps its
  // bytes; every history entry whose working file exists names a finished working file of
  // its own calibration; and the entries of other calibrations are as `entries` says.
  // Returns the description of the first violation, or "".
  std::string CheckConsistent(Entries entries) const;
  // Whether the history now holds this calibration's line alone (a replaced history).
  bool HistoryReplaced() const;
  // A normal call after whatever happened: CAL_OK, a working file byte-identical to a clean
  // calibration, the history naming it, nothing left allocated. "" or what is wrong.
  std::string CheckRecovers() const;

 private:
  void MakeReferences(const fs::path& scratch);
  CalibrationCall CalibrateIn(const Calibration& calibration, const fs::path& workDir) const;

  CalibrateFn calibrate_;
  fs::path baseDir_, workDir_, templateDir_;
  Bytes base_;
  Bytes staleFile_;  // StaleIdent: the working file of another identification
  std::map<std::tuple<int32_t, int32_t, int32_t, int32_t>, Bytes> references_;
  std::vector<HistoryEntry> historyBefore_;
};

}  // namespace rel
