// Heap, clock, locale and printers of the POSIX backend.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"
#include "temp_dir.h"

// glibc's newlocale() keeps its copy of LOCPATH, which the locale tests set, and never frees
// it; the leak checker is told so it does not blame the backend.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\nleak:__argz_create_sep\n";
}

namespace {

using platform_test::TempDir;
using platform_test::WriteBytes;

// Sets an environment variable for one scope, and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PosixHeap, ZeroFilledAndEmptyBlocks) {
  auto* zeroed = static_cast<uint8_t*>(plat::HeapAlloc(4096, true));
  ASSERT_NE(zeroed, nullptr);
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(zeroed[i], 0) << i;
  plat::HeapFree(zeroed);
  // A zero-byte block is a block of its own.
  void* a = plat::HeapAlloc(0, false);
  void* b = plat::HeapAlloc(0, true);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_NE(a, b);
  plat::HeapFree(a);
  plat::HeapFree(b);
  plat::HeapFree(nullptr);
}

// The local time at one instant under a TZ, read so that no second boundary falls between
// the backend's reading and ours.
struct Reading {
  plat::LocalTime local;
  std::time_t utc;
};
Reading ReadAtOneInstant() {
  for (;;) {
    const std::time_t before = std::time(nullptr);
    Reading reading{};
    plat::GetLocalTime(&reading.local);
    if (std::time(nullptr) == before) {
      reading.utc = before;
      return reading;
    }
  }
}

TEST(PosixClock, FollowsTheTimeZoneOfTheEnvironment) {
  struct Case {
    const char* tz;
    long offsetSeconds;  // east of UTC
  };
  const Case cases[] = {{"UTC0", 0}, {"<+14>-14", 14 * 3600}, {"<-0930>9:30", -(9 * 3600 + 1800)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tz);
    ScopedEnv tz("TZ", c.tz);
    const Reading reading = ReadAtOneInstant();
    const std::time_t shifted = reading.utc + c.offsetSeconds;
    std::tm expected{};
    ASSERT_NE(gmtime_r(&shifted, &expected), nullptr);
    EXPECT_EQ(reading.local.year, expected.tm_year + 1900);
    EXPECT_EQ(reading.local.month, expected.tm_mon + 1);
    EXPECT_EQ(reading.local.day, expected.tm_mday);
    EXPECT_EQ(reading.local.dayOfWeek, expected.tm_wday);
    EXPECT_EQ(reading.local.hour, expected.tm_hour);
    EXPECT_EQ(reading.local.minute, expected.tm_min);
    EXPECT_EQ(reading.local.second, expected.tm_sec);
    EXPECT_EQ(reading.local.milliseconds, 0);
  }
}

// A locale of our own with only a telephone category, compiled with localedef into a
// private LOCPATH, so the test knows the prefix the locale holds.
class PosixLocale : public ::testing::Test {
 protected:
  // localedef takes a good part of a second per locale: build them once for the suite.
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    compiled_ = dir_->ok() && Compile("xx_TEL.UTF-8", "44") && Compile("xx_NONE.UTF-8", "");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!compiled_) GTEST_SKIP() << "localedef cannot build a locale here";
  }

  static bool Compile(const std::string& name, const std::string& prefix) {
    const auto source = dir_->File(name + ".src");
    WriteBytes(source, "comment_char %\nescape_char /\nLC_TELEPHONE\n"
                       "tel_int_fmt \"+%c %a %l\"\nint_prefix \"" + prefix +
                       "\"\nEND LC_TELEPHONE\n");
    const pid_t child = fork();
    if (child == 0) {
      // Silence its warnings about the categories the source leaves out.
      if (freopen("/dev/null", "w", stderr) == nullptr || freopen("/dev/null", "w", stdout) == nullptr) {
        _exit(127);
      }
      execlp("localedef", "localedef", "-c", "-i", source.c_str(), "-f", "UTF-8",
             dir_->File(name).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return false;
    return std::filesystem::exists(dir_->File(name) / "LC_TELEPHONE");
  }

  static TempDir* dir_;
  static bool compiled_;
};
TempDir* PosixLocale::dir_ = nullptr;
bool PosixLocale::compiled_ = false;

TEST_F(PosixLocale, CountryIsTheDiallingPrefixOfTheTelephoneLocale) {
  ScopedEnv path("LOCPATH", dir_->path().c_str());
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv lang("LANG", "C");
  ScopedEnv telephone("LC_TELEPHONE", "xx_TEL.UTF-8");

  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 3);
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 2), 0);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 3), 3);
  EXPECT_STREQ(buffer, "44");
  EXPECT_EQ(plat::GetLocaleCountry(buffer, -1), 0);
  // The process locale stays as it was.
  EXPECT_STREQ(setlocale(LC_TELEPHONE, nullptr), "C");
}

TEST_F(PosixLocale, NoPrefixOrNoLocaleIsAFailure) {
  ScopedEnv path("LOCPATH", dir_->path().c_str());
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv lang("LANG", "C");
  const char* const locales[] = {"xx_NONE.UTF-8", "C", "xx_MISSING.UTF-8"};
  for (const char* name : locales) {
    SCOPED_TRACE(name);
    ScopedEnv telephone("LC_TELEPHONE", name);
    char buffer[8] = {};
    EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 0);
    EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 0);
  }
  // LC_ALL outranks LC_TELEPHONE.
  ScopedEnv telephone("LC_TELEPHONE", "xx_TEL.UTF-8");
  ScopedEnv allNone("LC_ALL", "xx_NONE.UTF-8");
  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 0);
}

TEST(PosixPrinters, GoThroughTheSpoolerStandIn) {
  TempDir store;
  ASSERT_TRUE(store.ok());
  ScopedEnv spoolDir("MPX_SPOOL_DIR", store.path().c_str());
  WriteBytes(store.File("Desk.ini"), "VrdUI_SilentModeEnable=2\n");

  void* handle = reinterpret_cast<void*>(uintptr_t{1});
  EXPECT_FALSE(plat::PrinterOpen(u"Nowhere", &handle));
  EXPECT_EQ(handle, nullptr);
  ASSERT_TRUE(plat::PrinterOpen(u"Desk", &handle));
  uint8_t data[4] = {};
  uint32_t type = 0;
  uint32_t needed = 0;
  EXPECT_EQ(plat::PrinterGetData(handle, u"VrdUI_SilentModeEnable", &type, data, 4, &needed),
            plat::kErrorSuccess);
  EXPECT_EQ(type, plat::kRegDword);
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(plat::PrinterGetData(handle, u"VrdUI_SilentModeTime", &type, data, 4, &needed),
            plat::kErrorFileNotFound);
  plat::PrinterClose(handle);
  EXPECT_EQ(plat::PrinterGetData(handle, u"VrdUI_SilentModeEnable", &type, data, 4, &needed),
            plat::kErrorInvalidHandle);
}

}  // namespace
