#include "reliability_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <atomic>
#include <sstream>
#include <thread>
#include <tuple>

namespace rel {

// ---- Files ------------------------------------------------------------------------------------

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.flush()) << path;
}

std::u16string Widen(const std::string& text) { return {text.begin(), text.end()}; }

DirectoryState Snapshot(const fs::path& dir) {
  DirectoryState state;
  for (const auto& entry : fs::directory_iterator(dir)) {
    state[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return state;
}

void ScratchTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string leaf = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(leaf.begin(), leaf.end(), '/', '_');
  // Per process: the same test may run in several build directories at once.
  root_ = fs::temp_directory_path() / ("mpx_reliability." + std::to_string(getpid())) / leaf;
  fs::remove_all(root_);
  fs::create_directories(root_);
}

void ScratchTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  fs::remove(root_.parent_path(), ignored);  // only once every test's directory is gone
}

// ---- Model database queries -------------------------------------------------------------------

void Build(const HostState& state, void* handle, BuiltContext* built) {
  built->settings.assign(state.settingCount, 0);
  for (const auto& [index, value] : state.settings) {
    if (index < built->settings.size()) built->settings[index] = value;
  }
  built->strings = state.strings;
  built->pointers.clear();
  for (const std::string& s : built->strings) built->pointers.push_back(s.c_str());
  built->printerName = state.printerName;
  QueryContext& c = built->context;
  c = QueryContext{};
  c.hostData = 0x1234;
  c.settingCount = static_cast<uint32_t>(built->settings.size());
  c.settings = built->settings.empty() ? nullptr : built->settings.data();
  c.stringCount = static_cast<uint32_t>(built->pointers.size());
  c.strings = built->pointers.empty() ? nullptr : built->pointers.data();
  if (state.printer == Printer::ByName) c.printerName = built->printerName.c_str();
  if (state.printer == Printer::ByHandle) c.hPrinter = handle;
}

std::string Describe(const Answer& answer) {
  std::ostringstream text;
  text << "status " << answer.status << ", size " << answer.size << ", bytes";
  for (size_t i = 0; i < answer.bytes.size() && i < 24; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", answer.bytes[i]);
    text << hex;
  }
  if (answer.bytes.size() > 24) text << " ...";
  return text.str();
}

Answer Ask(QueryFn query, uint32_t key, const QueryContext& context) {
  Answer answer;
  uint32_t size = 0;
  answer.status = query(key, &context, 0, nullptr, &size);
  if (answer.status != MPX_BUFFER_TOO_SMALL) return answer;
  answer.size = size;
  // Item lists leave bytes they do not own as the buffer had them.
  answer.bytes.assign(size, 0xEE);
  uint32_t written = size;
  answer.status = query(key, &context, size, answer.bytes.data(), &written);
  if (answer.status == MPX_OK && written != size) answer.size = written;
  return answer;
}

const std::array<CategoryExport, 6> kCategories = {{
    {"Root", MPX_AccessRootDataBase, 0x0001},
    {"Drv", MPX_AccessDrvDataBase, 0x1001},
    {"LM", MPX_AccessLMDataBase, 0x2001},
    {"Mnt", MPX_AccessMntDataBase, 0x3001},
    {"PA", MPX_AccessPADataBase, 0x4001},
    {"SM", MPX_AccessSMDataBase, 0x6001},
}};

HostState DrvJob() {
  HostState state;
  state.settings = {{4, 3},      {9, 0},      {5, 1},      {8, 4},      {6, 1},
                    {7, 7},      {28, 9},     {25, 21000}, {26, 29700}, {29, 10000},
                    {30, 15000}, {79, 0x00800000}};
  state.strings = {"", "DS,LS", "", "", "", "", "", "", ""};
  return state;
}

std::vector<QueryJob> EveryKeyJobs(size_t contextCount) {
  std::vector<QueryJob> jobs;
  for (size_t c = 0; c < contextCount; ++c) {
    for (uint8_t category = 0; category < kCategories.size(); ++category) {
      const uint32_t first = kCategories[category].firstKey;
      for (uint32_t key = first; key < first + 0x0FFF; ++key) {
        jobs.push_back({category, static_cast<uint16_t>(key), static_cast<uint16_t>(c)});
      }
    }
  }
  return jobs;
}

std::vector<Answer> RunJobs(const std::vector<QueryJob>& jobs,
                            const std::vector<const QueryContext*>& contexts, size_t first) {
  std::vector<Answer> answers(jobs.size());
  for (size_t n = 0; n < jobs.size(); ++n) {
    const size_t i = (first + n) % jobs.size();
    const QueryJob& job = jobs[i];
    answers[i] = Ask(kCategories[job.category].query, job.key, *contexts[job.context]);
  }
  return answers;
}

std::vector<std::vector<Answer>> RunJobsInThreads(const std::vector<QueryJob>& jobs,
                                                  const std::vector<const QueryContext*>& contexts,
                                                  size_t threads) {
  std::vector<std::vector<Answer>> answers(threads);
  std::atomic<size_t> ready{0};
  std::vector<std::thread> pool;
  for (size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      answers[t] = RunJobs(jobs, contexts, jobs.size() * t / threads);
    });
  }
  for (std::thread& thread : pool) thread.join();
  return answers;
}

// ---- Calibrations -----------------------------------------------------------------------------

const Calibration kMine{{kHistoryKey, 3, 1, 2, 3}, {3, 0, -5, 0, 5, -3, 0, 0}};
const std::array<Calibration, 3> kOthers = {{
    {{kHistoryKey, 3, 9, 9, 9}, {-3, 5, 0, 3, -5, 0, 0, 0}},
    {{kHistoryKey, 3, 8, 8, 8}, {5, 5, 5, 5, 5, 5, 0, 0}},
    {{kHistoryKey, 3, 1, 2, 4}, {-5, 0, 0, 0, 0, 3, 0, 0}},
}};

const char* StateName(StartState state) {
  switch (state) {
    case StartState::NoHistory: return "NoHistory";
    case StartState::NoEntry: return "NoEntry";
    case StartState::EntryFound: return "EntryFound";
    case StartState::StaleMissing: return "StaleMissing";
    case StartState::StaleIdent: return "StaleIdent";
  }
  return "?";
}

const char* TableName(BaseTable table) {
  switch (table) {
    case BaseTable::Sample: return "Sample";
    case BaseTable::SampleSharedDirectory: return "SharedDirectory";
    case BaseTable::Small: return "Small";
  }
  return "?";
}

namespace {

cal::sample::TableSpec SpecOf(BaseTable table) {
  using namespace cal::sample;
  if (table != BaseTable::Small) return SampleTable(DataOrder::Little, table == BaseTable::SampleSharedDirectory);
  TableSpec spec;
  spec.chunks.push_back({KIND_DB, 1000, DbChunkBody(0, {1302, 1305}, DataOrder::Little)});
  spec.chunks.push_back({KIND_DB, 1002, DbChunkBody(2, {1304, 1302}, DataOrder::Little)});
  spec.chunks.push_back({KIND_HT, 1302, SimpleCurveBody(1302, 0, DataOrder::Little)});
  spec.chunks.push_back({KIND_HT, 1304, StructuredCurveBody(StandardStructured({0, 1, 2, 3, 4, 5}, 6), DataOrder::Little).bytes});
  spec.chunks.push_back({KIND_HT, 1305, SimpleCurveBody(1305, 12, DataOrder::Little)});
  return spec;
}

}  // namespace

namespace {

using Identity = std::tuple<int32_t, int32_t, int32_t, int32_t>;

Identity IdentityOf(const CalibrationRequest& r) {
  return {r.historyKey, r.identity1, r.identity2, r.identity3};
}

Identity IdentityOf(const HistoryEntry& e) { return {e.key, e.id1, e.id2, e.id3}; }

CalibrationCall CallWith(CalibrateFn calibrate, const Calibration& calibration,
                         const fs::path& baseDir, const fs::path& workDir) {
  std::array<uint8_t, kNameBlockSize> block;
  block.fill(kNameFill);
  std::memset(block.data(), 0, 16);
  std::memcpy(block.data(), kBaseName, std::strlen(kBaseName));
  std::memcpy(block.data() + 32, kStem, 5);
  const std::u16string base = Widen(baseDir.string());
  const std::u16string work = Widen(workDir.string());
  CalibrationCall call;
  call.status = calibrate(&calibration.request, block.data(), calibration.levels.data(),
                          base.c_str(), work.c_str());
  for (size_t i = 37; i < block.size(); ++i) EXPECT_EQ(block[i], kNameFill) << "name block byte " << i;
  EXPECT_EQ(std::memcmp(block.data(), kBaseName, std::strlen(kBaseName) + 1), 0);
  const auto* field = reinterpret_cast<const char*>(block.data() + 16);
  const size_t length = strnlen(field, 16);
  for (size_t i = length; i < 16; ++i) EXPECT_EQ(block[16 + i], 0) << "byte " << 16 + i;
  call.returned.assign(field, length);
  return call;
}

}  // namespace

std::vector<HistoryEntry> ReadHistory(const fs::path& file, bool* wellFormed) {
  std::vector<HistoryEntry> entries;
  *wellFormed = true;
  const Bytes bytes = ReadFile(file);
  const std::string text(bytes.begin(), bytes.end());
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      *wellFormed = false;
      break;
    }
    std::vector<std::string> fields;
    std::stringstream line(text.substr(at, end - at));
    for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
    if (fields.size() != 5) {
      *wellFormed = false;
      break;
    }
    const auto number = [](const std::string& f) { return static_cast<int32_t>(std::stoul(f)); };
    entries.push_back({number(fields[0]), number(fields[1]), number(fields[2]), number(fields[3]), fields[4]});
    at = end + 2;
  }
  return entries;
}

CalibrationBench::CalibrationBench(const fs::path& root, CalibrateFn calibrate, StartState state,
                                   BaseTable table)
    : calibrate_(calibrate),
      baseDir_(root / "base"),
      workDir_(root / "work"),
      templateDir_(root / "template") {
  for (const fs::path& dir : {baseDir_, workDir_, templateDir_}) fs::create_directories(dir);
  const cal::sample::TableSpec spec = SpecOf(table);
  base_ = cal::sample::BuildTableFile(spec);
  WriteFile(baseDir_ / kBaseName, base_);
  MakeReferences(root / "references");

  // The scenario's starting files, made by clean calibrations.
  const auto calibrateInTemplate = [&](const Calibration& c) {
    const CalibrationCall call = CalibrateIn(c, templateDir_);
    EXPECT_EQ(call.status, CAL_OK);
    return call.returned;
  };
  if (state != StartState::NoHistory) {
    for (const Calibration& other : kOthers) calibrateInTemplate(other);
  }
  if (state == StartState::EntryFound || state == StartState::StaleMissing ||
      state == StartState::StaleIdent) {
    const std::string mine = calibrateInTemplate(kMine);
    if (state == StartState::StaleMissing) fs::remove(templateDir_ / mine);
    if (state == StartState::StaleIdent) {
      cal::sample::TableSpec changed = spec;
      changed.ident = "Q770 HTAB0000 0.99";
      staleFile_ = cal::sample::BuildTableFile(changed);
      WriteFile(templateDir_ / mine, staleFile_);
    }
  }
  bool wellFormed = true;
  if (fs::exists(templateDir_ / HistoryName())) {
    historyBefore_ = ReadHistory(templateDir_ / HistoryName(), &wellFormed);
  }
  EXPECT_TRUE(wellFormed);
}

void CalibrationBench::MakeReferences(const fs::path& scratch) {
  std::vector<Calibration> all(kOthers.begin(), kOthers.end());
  all.push_back(kMine);
  for (const Calibration& c : all) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const CalibrationCall call = CalibrateIn(c, scratch);
    EXPECT_EQ(call.status, CAL_OK);
    references_[IdentityOf(c.request)] = ReadFile(scratch / call.returned);
    // Every calibration here changes curves: a reference equal to the base file would prove
    // nothing.
    EXPECT_NE(references_[IdentityOf(c.request)], base_);
  }
  fs::remove_all(scratch);
}

CalibrationCall CalibrationBench::CalibrateIn(const Calibration& calibration, const fs::path& workDir) const {
  return CallWith(calibrate_, calibration, baseDir_, workDir);
}

void CalibrationBench::Prepare() const {
  fs::remove_all(workDir_);
  fs::copy(templateDir_, workDir_);
}

CalibrationCall CalibrationBench::Calibrate() const { return CalibrateIn(kMine, workDir_); }

const Bytes& CalibrationBench::Reference(const Calibration& calibration) const {
  return references_.at(IdentityOf(calibration.request));
}

std::string CalibrationBench::HistoryName() const {
  char name[16];
  std::snprintf(name, sizeof name, "%s%03d.ini", kStem, kHistoryKey);
  return name;
}

bool CalibrationBench::HistoryReplaced() const {
  bool wellFormed = false;
  const std::vector<HistoryEntry> entries = ReadHistory(workDir_ / HistoryName(), &wellFormed);
  return wellFormed && entries.size() == 1 && IdentityOf(entries[0]) == IdentityOf(kMine.request) &&
         historyBefore_.size() > 1;
}

std::string CalibrationBench::CheckConsistent(Entries rule) const {
  if (ReadFile(baseDir_ / kBaseName) != base_) return "the base table file changed";
  std::vector<HistoryEntry> entries;
  if (fs::exists(workDir_ / HistoryName())) {
    bool wellFormed = false;
    entries = ReadHistory(workDir_ / HistoryName(), &wellFormed);
    if (!wellFormed) return "the history is not made of whole lines";
  }
  // The first entry of each calibration is the one a call finds.
  std::map<Identity, bool> seen;
  for (const HistoryEntry& entry : entries) {
    if (seen[IdentityOf(entry)]) continue;
    seen[IdentityOf(entry)] = true;
    const auto reference = references_.find(IdentityOf(entry));
    if (reference == references_.end()) return "an entry of no calibration: " + entry.name;
    if (!fs::exists(workDir_ / entry.name)) continue;
    const Bytes file = ReadFile(workDir_ / entry.name);
    // A stale file of another identification is rebuilt by the next call, never served.
    const bool stale = !staleFile_.empty() && IdentityOf(entry) == IdentityOf(kMine.request) &&
                       file == staleFile_;
    if (file != reference->second && !stale) {
      return "working file " + entry.name + " is not the finished calibration of its entry";
    }
  }
  if (rule == Entries::Kept || (rule == Entries::KeptOrReplaced && !HistoryReplaced())) {
    for (const HistoryEntry& old : historyBefore_) {
      if (IdentityOf(old) == IdentityOf(kMine.request)) continue;
      if (std::find(entries.begin(), entries.end(), old) == entries.end()) {
        return "history entry of " + old.name + " lost";
      }
    }
  }
  return "";
}

std::string CalibrationBench::CheckRecovers() const {
  const CalibrationCall call = Calibrate();
  if (call.status != CAL_OK) return "the next normal call failed with " + std::to_string(call.status);
  if (!fs::exists(workDir_ / call.returned)) return "the next normal call names a missing file";
  if (ReadFile(workDir_ / call.returned) != MyReference()) {
    return "the next normal call's working file differs from a clean calibration's";
  }
  bool wellFormed = false;
  const std::vector<HistoryEntry> entries = ReadHistory(workDir_ / HistoryName(), &wellFormed);
  for (const HistoryEntry& entry : entries) {
    if (IdentityOf(entry) != IdentityOf(kMine.request)) continue;
    if (entry.name != call.returned) return "the history names " + entry.name + ", the call " + call.returned;
    return CheckConsistent(Entries::Any);
  }
  return "the history has no entry for the calibration";
}

}  // namespace rel
