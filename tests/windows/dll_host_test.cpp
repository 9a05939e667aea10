// modeldb.dll and calibmod.dll as the host printer driver uses them: loaded with
// LoadLibrary, their functions found with GetProcAddress under the undecorated names and
// called __stdcall. The program does not link the DLLs, so every load here is a real one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "calibration_support.h"
#include "modeldb.h"
#include "scratch_dir.h"

namespace {

using QueryFn = int32_t(MPX_CALL*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

constexpr const char* kQueryExports[] = {"MPX_AccessRootDataBase", "MPX_AccessDrvDataBase",
                                         "MPX_AccessLMDataBase",   "MPX_AccessMntDataBase",
                                         "MPX_AccessPADataBase",   "MPX_AccessSMDataBase"};

// One loaded DLL, freed at the end of the scope.
class Library {
 public:
  explicit Library(const std::string& name) : module_(LoadLibraryA(name.c_str())) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return module_ != nullptr; }
  template <typename Fn>
  Fn Find(const char* name) const {
    // GetProcAddress hands out every function as FARPROC; the host casts it to the real type.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// A host context: the category's arrays, every setting 0 and every string "" unless given.
struct Host {
  std::vector<int32_t> settings;
  std::vector<std::string> strings;
  std::vector<const char*> pointers;
  std::u16string printerName;
  bool noSettings = false;
  bool noStrings = false;
  QueryContext context{};

  Host(uint32_t settingCount, uint32_t stringCount) : settings(settingCount), strings(stringCount) {}
  const QueryContext* Context() {
    pointers.clear();
    for (const std::string& s : strings) pointers.push_back(s.c_str());
    context = QueryContext{};
    context.settingCount = noSettings ? 0 : static_cast<uint32_t>(settings.size());
    context.settings = noSettings ? nullptr : settings.data();
    context.stringCount = noStrings ? 0 : static_cast<uint32_t>(strings.size());
    context.strings = noStrings || strings.empty() ? nullptr : pointers.data();
    context.printerName = printerName.empty() ? nullptr : printerName.c_str();
    return &context;
  }
};

struct Answer {
  int32_t status = 0;
  uint32_t size = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const Answer&) const = default;
};

// The host's two calls: the size with a null buffer, then the answer into a buffer of it.
Answer Ask(QueryFn query, uint32_t key, Host& host) {
  Answer answer;
  answer.status = query(key, host.Context(), 0, nullptr, &answer.size);
  if (answer.status != MPX_BUFFER_TOO_SMALL) return answer;
  answer.bytes.assign(answer.size, 0xEE);
  uint32_t size = 0;
  answer.status = query(key, host.Context(), answer.size, answer.bytes.data(), &size);
  return answer;
}

std::string AnswerText(const Answer& answer) {
  std::string text;
  for (size_t i = 0; i + 1 < answer.bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(answer.bytes[i] | (answer.bytes[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const uint8_t b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
  return hash;
}

// ---- Loading ---------------------------------------------------------------------------------

struct DllExports {
  const char* file;
  std::vector<std::string> exports;
};

class DllLoading : public ::testing::TestWithParam<DllExports> {};

TEST_P(DllLoading, LoadsUnloadsAndFindsExactlyItsExportsByUndecoratedName) {
  const std::string file = GetParam().file;
  for (int round = 0; round < 2; ++round) {
    {
      Library library(file);
      ASSERT_TRUE(library.loaded()) << file << ": error " << GetLastError();
      for (const std::string& name : GetParam().exports) {
        EXPECT_NE(library.Find<void*>(name.c_str()), nullptr) << name;
        // Only the undecorated name is exported.
        EXPECT_EQ(library.Find<void*>(("_" + name + "@20").c_str()), nullptr) << name;
        EXPECT_EQ(library.Find<void*>((name + "@20").c_str()), nullptr) << name;
      }
      EXPECT_EQ(library.Find<void*>("DllMain"), nullptr);
    }
    // Unloading succeeded: the DLL is gone from the process.
    EXPECT_EQ(GetModuleHandleA(file.c_str()), nullptr) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dlls, DllLoading,
    ::testing::Values(DllExports{"modeldb.dll", {std::begin(kQueryExports), std::end(kQueryExports)}},
                      DllExports{"calibmod.dll", {"QXCalibration"}}),
    [](const auto& p) { return std::string(p.param.file).substr(0, std::string(p.param.file).find('.')); });

// ---- Queries ---------------------------------------------------------------------------------

struct Category {
  const char* name;
  const char* exportName;
  uint32_t settings, strings;
};
constexpr Category kCategories[] = {
    {"root", "MPX_AccessRootDataBase", 1, 1}, {"drv", "MPX_AccessDrvDataBase", 95, 0},
    {"lm", "MPX_AccessLMDataBase", 13, 5},    {"mnt", "MPX_AccessMntDataBase", 1, 0},
    {"pa", "MPX_AccessPADataBase", 4, 0},     {"sm", "MPX_AccessSMDataBase", 16, 9},
};

class DllQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(modeldb_.loaded());
    for (const Category& c : kCategories) {
      exports_[c.name] = modeldb_.Find<QueryFn>(c.exportName);
      ASSERT_NE(exports_[c.name], nullptr) << c.exportName;
    }
  }
  static Host HostOf(const Category& c) { return Host(c.settings, c.strings); }
  static const Category& CategoryNamed(const std::string& name) {
    for (const Category& c : kCategories) {
      if (name == c.name) return c;
    }
    return kCategories[0];
  }

  Library modeldb_{"modeldb.dll"};
  std::map<std::string, QueryFn> exports_;
};

TEST_F(DllQueries, CompanionNamesAndValues) {
  Host root = HostOf(kCategories[0]);
  Host drv = HostOf(kCategories[1]);
  EXPECT_EQ(AnswerText(Ask(exports_["root"], 30, root)), "calibmod.dll");
  EXPECT_EQ(AnswerText(Ask(exports_["root"], 2, root)), "1.52");
  EXPECT_EQ(AnswerText(Ask(exports_["drv"], 4162, drv)), "htab0000.tbl");
  EXPECT_EQ(AnswerText(Ask(exports_["drv"], 4127, drv)), "cprof002.icm");
  root.settings[0] = 153;
  EXPECT_EQ(AnswerText(Ask(exports_["root"], 8, root)), "VrdUI_SilentModeEnable");
  root.strings[0] = "TNK";
  EXPECT_EQ(AnswerText(Ask(exports_["root"], 18, root)), "VrdSLM_TNK");

  // The entry frame: context first, then the key range of the export.
  uint32_t size = 77;
  EXPECT_EQ(exports_["root"](0x1001, nullptr, 0, nullptr, &size), MPX_ERR_CONTEXT);
  EXPECT_EQ(exports_["root"](0x1001, root.Context(), 0, nullptr, &size), MPX_NO_ANSWER);
  EXPECT_EQ(exports_["drv"](0x5008, drv.Context(), 0, nullptr, &size), MPX_NO_ANSWER);
  EXPECT_EQ(exports_["drv"](0x7FFF0000u | 4162u, drv.Context(), 0, nullptr, &size),
            MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 26u);
}

// With the real spooler a printer name it does not know answers like no printer at all:
// keys that read printer data report the missing handle, every other key answers.
TEST_F(DllQueries, AnUnknownPrinterAnswersLikeNoPrinter) {
  struct Case {
    const char* category;
    uint32_t key;
  };
  for (const Case c : {Case{"drv", 4120}, Case{"drv", 4121}, Case{"drv", 4126}, Case{"drv", 4099},
                       Case{"root", 30}, Case{"root", 8}, Case{"sm", 0x6001}}) {
    Host none = HostOf(CategoryNamed(c.category));
    Host unknown = HostOf(CategoryNamed(c.category));
    unknown.printerName = u"No Such Printer";
    EXPECT_EQ(Ask(exports_[c.category], c.key, unknown), Ask(exports_[c.category], c.key, none))
        << c.category << " " << c.key;
  }
  Host drv = HostOf(kCategories[1]);
  drv.printerName = u"No Such Printer";
  EXPECT_EQ(Ask(exports_["drv"], 4120, drv).status, MPX_ERR_CONTEXT);
  EXPECT_EQ(AnswerText(Ask(exports_["drv"], 4162, drv)), "htab0000.tbl");
}

// One entry of the golden answer listing (tests/golden/answers.txt): an input and the
// status, size and digest the answer must have.
struct GoldenLine {
  std::string text;
  std::string category;
  uint32_t key = 0;
  std::map<uint32_t, int32_t> settings;
  std::map<uint32_t, std::string> strings;
  bool noSettings = false, noStrings = false, printerInput = false;
  int32_t status = 0;
  bool hasDigest = false;
  uint32_t size = 0;
  uint64_t digest = 0;
};

// Parses "<category> <key> <inputs>: <status>[ size <n> fnv <hex>[ [bytes]]]"; false for
// comments and for the digests over all inputs of a key.
bool ParseGolden(const std::string& line, GoldenLine* out) {
  if (line.empty() || line[0] == '#') return false;
  // The inputs end at the first ':' outside a quoted text; their tokens keep texts whole.
  std::vector<std::string> tokens(1);
  bool quoted = false;
  size_t colon = 0;
  for (; colon < line.size() && (quoted || line[colon] != ':'); ++colon) {
    const char c = line[colon];
    if (c == '"') quoted = !quoted;
    if (c == ' ' && !quoted) {
      if (!tokens.back().empty()) tokens.emplace_back();
    } else if (c != '"') {
      tokens.back().push_back(c);
    }
  }
  if (colon == line.size() || tokens.size() < 3) return false;
  GoldenLine g;
  g.text = line;
  g.category = tokens[0];
  g.key = static_cast<uint32_t>(std::stoul(tokens[1]));
  for (size_t i = 2; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token == "base" || token.empty()) continue;
    if (token == "all") return false;
    const size_t eq = token.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    const std::string name = token.substr(0, eq);
    const std::string value = token.substr(eq + 1);
    if (name == "context") {
      g.noSettings = value == "no-settings";
      g.noStrings = value == "no-strings";
    } else if (name == "printer") {
      g.printerInput = true;
    } else if (name[0] == 's') {
      g.settings[static_cast<uint32_t>(std::stoul(name.substr(1)))] =
          static_cast<int32_t>(static_cast<uint32_t>(std::stoll(value, nullptr, 0)));
    } else if (name[0] == 't') {
      g.strings[static_cast<uint32_t>(std::stoul(name.substr(1)))] = value;
    } else {
      return false;
    }
  }
  std::istringstream result(line.substr(colon + 1));
  if (!(result >> g.status)) return false;
  std::string word, digest;
  if (result >> word) {
    if (word != "size" || !(result >> g.size >> word >> digest) || word != "fnv") return false;
    g.digest = std::stoull(digest, nullptr, 16);
    g.hasDigest = true;
  }
  *out = g;
  return true;
}

// The Drv base of the listing (its header): engine 3, colour, plain paper, margins,
// quality 4, first variant, ink set 7, A4, host size 21000 x 29700, user size 10000 x 15000.
const std::map<uint32_t, int32_t> kListingDrvBase{{4, 3},      {9, 0},      {5, 1},
                                                  {8, 4},      {6, 1},      {7, 7},
                                                  {28, 9},     {25, 21000}, {26, 29700},
                                                  {29, 10000}, {30, 15000}};

// Every answer of the listing that does not depend on printer data or the clock, asked of
// the real DLL without a printer.
TEST_F(DllQueries, TheGoldenListingHoldsForTheDll) {
  std::ifstream file(MPX_GOLDEN_ANSWERS);
  ASSERT_TRUE(file.good()) << MPX_GOLDEN_ANSWERS;
  size_t asked = 0;
  std::string line;
  while (std::getline(file, line)) {
    GoldenLine g;
    if (!ParseGolden(line, &g)) continue;
    // The job-start commands carry the time and read the silent mode from the printer.
    if (g.printerInput || (g.category == "drv" && g.key == 4120)) continue;
    ASSERT_TRUE(exports_.count(g.category) == 1) << line;
    Host host = HostOf(CategoryNamed(g.category));
    if (g.category == "drv") {
      for (const auto& [position, value] : kListingDrvBase) host.settings[position] = value;
    }
    for (const auto& [position, value] : g.settings) {
      ASSERT_LT(position, host.settings.size()) << line;
      host.settings[position] = value;
    }
    for (const auto& [position, value] : g.strings) {
      ASSERT_LT(position, host.strings.size()) << line;
      host.strings[position] = value;
    }
    host.noSettings = g.noSettings;
    host.noStrings = g.noStrings;
    const Answer answer = Ask(exports_[g.category], g.key, host);
    ++asked;
    EXPECT_EQ(answer.status, g.status) << line;
    if (g.hasDigest && answer.status == g.status) {
      EXPECT_EQ(answer.size, g.size) << line;
      EXPECT_EQ(Fnv1a(answer.bytes), g.digest) << line;
    }
  }
  // The listing has an entry for every key and more; a format this parser does not know
  // would leave it with few.
  EXPECT_GT(asked, 1000u);
}

// ---- Calibration -----------------------------------------------------------------------------

// The host's road of one calibration: modeldb names the module and the table file, the host
// loads the module by that name and calibrates; asked again, the working file is reused.
class DllCalibration : public caltest::CalibrationDirs {};

TEST_F(DllCalibration, TheHostFindsTheModuleAndTheTableInTheDatabase) {
  Library modeldb("modeldb.dll");
  ASSERT_TRUE(modeldb.loaded());
  Host root(1, 1);
  Host drv(95, 0);
  const std::string moduleName = AnswerText(Ask(modeldb.Find<QueryFn>("MPX_AccessRootDataBase"), 30, root));
  const std::string tableName = AnswerText(Ask(modeldb.Find<QueryFn>("MPX_AccessDrvDataBase"), 4162, drv));
  ASSERT_EQ(tableName, caltest::kBaseName);

  Library calibmod(moduleName);
  ASSERT_TRUE(calibmod.loaded()) << moduleName;
  const auto calibrate = calibmod.Find<caltest::CalibrateFn>("QXCalibration");
  ASSERT_NE(calibrate, nullptr);

  constexpr CalibrationRequest kRequest{7, 3, 1, 2, 3};
  ASSERT_EQ(Run(calibrate, kRequest, caltest::kAdjusted, tableName.c_str()), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_TRUE(caltest::SameBytes(Work("htab0001.tbl"), Expected(caltest::kAdjusted)));
  EXPECT_EQ(Text(HistoryName()), "7,1,2,3,htab0001.tbl\r\n");

  // Asked again: the same name, and nothing written.
  AgeFiles(workDir_);
  const caltest::DirectoryState before = Snapshot(workDir_);
  ASSERT_EQ(Run(calibrate, kRequest, caltest::kAdjusted, tableName.c_str()), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_EQ(Snapshot(workDir_), before);

  // Another calibration: a file of its own; neutral levels make an exact copy of the base.
  ASSERT_EQ(Run(calibrate, CalibrationRequest{7, 3, 1, 2, 4}, caltest::kOtherAdjusted,
                tableName.c_str()),
            CAL_OK);
  EXPECT_EQ(Returned(), "htab0002.tbl");
  EXPECT_TRUE(caltest::SameBytes(Work("htab0002.tbl"), Expected(caltest::kOtherAdjusted)));
  ASSERT_EQ(Run(calibrate, CalibrationRequest{7, 3, 1, 2, 5}, caltest::kNeutral, tableName.c_str()),
            CAL_OK);
  EXPECT_EQ(Returned(), "htab0003.tbl");
  EXPECT_TRUE(caltest::SameBytes(Work("htab0003.tbl"), base_));
  EXPECT_EQ(Text(HistoryName()),
            "7,1,2,3,htab0001.tbl\r\n7,1,2,4,htab0002.tbl\r\n7,1,2,5,htab0003.tbl\r\n");
}

TEST_F(DllCalibration, EveryFailureAnswersWithTheBaseName) {
  Library calibmod("calibmod.dll");
  ASSERT_TRUE(calibmod.loaded());
  const auto calibrate = calibmod.Find<caltest::CalibrateFn>("QXCalibration");
  ASSERT_NE(calibrate, nullptr);
  constexpr CalibrationRequest kRequest{7, 3, 1, 2, 3};

  // A base file that is not there.
  std::filesystem::remove(baseDir_ / caltest::kBaseName);
  EXPECT_NE(Run(calibrate, kRequest, caltest::kAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), caltest::kBaseName);

  // A working directory that is not there.
  PutBase(caltest::BaseSpec());
  wideWork_ = caltest::Widen((root_ / "absent").string());
  EXPECT_NE(Run(calibrate, kRequest, caltest::kAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), caltest::kBaseName);
}

}  // namespace
