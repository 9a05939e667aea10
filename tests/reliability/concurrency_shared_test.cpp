// Concurrency of the shipped libraries on the real platform: libmodeldb.so asked for every
// key of every category by many threads, printers opened by name through libmpxspool.so,
// and threads opening, reading and closing printers in the spooler stand-in directly.
// Every thread gets the answers of a serial run. Run under ThreadSanitizer by
// scripts/tsan.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "modeldb.h"
#include "mpxspool.h"
#include "reliability_support.h"

namespace rel {
namespace {

constexpr size_t kThreads = 6;

class SharedLibraryConcurrency : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    store_ = root_ / "printers";
    fs::create_directories(store_);
    // Set before any thread starts; the spooler reads it on every call.
    setenv("MPX_SPOOL_DIR", store_.c_str(), 1);
    std::ofstream(store_ / "Q770 Silent.ini") << "VrdUI_SilentModeEnable=1\n";
    std::ofstream(store_ / "Q770 Window.ini") << "VrdUI_SilentModeEnable=2\nVrdUI_SilentModeTime=0\n";
    std::ofstream(store_ / "Q770 Plain.ini") << "SomethingElse=5\n";
  }
  void TearDown() override {
    unsetenv("MPX_SPOOL_DIR");
    ScratchTest::TearDown();
  }
  fs::path store_;
};

TEST_F(SharedLibraryConcurrency, ThreadsAskingEveryKeyGetTheSerialAnswers) {
  std::vector<HostState> states(5, DrvJob());
  states[0] = HostState{};
  states[1].printer = Printer::ByName;
  states[1].printerName = u"Q770 Silent";
  states[2].printer = Printer::ByName;
  states[2].printerName = u"Q770 Window";
  states[3].printer = Printer::ByName;
  states[3].printerName = u"No Such Printer";
  states[4].settings[28] = 256;
  std::vector<BuiltContext> built(states.size());
  std::vector<const QueryContext*> contexts;
  for (size_t i = 0; i < states.size(); ++i) {
    Build(states[i], nullptr, &built[i]);
    contexts.push_back(&built[i].context);
  }
  const std::vector<QueryJob> jobs = EveryKeyJobs(contexts.size());

  // The printer's clock runs: an answer that holds the time differs between two serial
  // runs a second apart, and for it only the status and the size must agree.
  const std::vector<Answer> serial = RunJobs(jobs, contexts, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const std::vector<Answer> later = RunJobs(jobs, contexts, 0);
  size_t timed = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (serial[i] == later[i]) continue;
    ++timed;
    ASSERT_EQ(serial[i].status, later[i].status);
    ASSERT_EQ(serial[i].size, later[i].size);
  }
  // The job start of a printer that opens sets the printer's clock; little else depends on it.
  EXPECT_GT(timed, 0u);
  EXPECT_LT(timed, jobs.size() / 100);

  const std::vector<std::vector<Answer>> threaded = RunJobsInThreads(jobs, contexts, kThreads);
  for (size_t t = 0; t < threaded.size(); ++t) {
    size_t differences = 0;
    for (size_t i = 0; i < jobs.size() && differences <= 5; ++i) {
      const Answer& got = threaded[t][i];
      const bool same = serial[i] == later[i]
                            ? got == serial[i]
                            : got.status == serial[i].status && got.size == serial[i].size;
      if (same) continue;
      ++differences;
      ADD_FAILURE() << "thread " << t << ", " << kCategories[jobs[i].category].name << " key "
                    << jobs[i].key << " in state " << jobs[i].context << ": " << Describe(got)
                    << ", serially " << Describe(serial[i]);
    }
  }
  EXPECT_EQ(MpxSpoolOpenHandleCount(), 0u) << "every printer opened by name is closed again";
}

// One thread's walk over the printers: open, read each value, read with a short buffer,
// close, and read through the closed handle.
struct SpoolRead {
  int32_t opened;
  std::vector<uint32_t> results;  // error code, type, needed and value of each read
  bool operator==(const SpoolRead&) const = default;
};

std::vector<SpoolRead> WalkPrinters(int rounds) {
  static const char16_t* const kPrinters[] = {u"Q770 Silent", u"Q770 Window", u"Q770 Plain",
                                              u"No Such Printer"};
  static const char16_t* const kValues[] = {u"VrdUI_SilentModeEnable", u"vrdui_silentmodetime",
                                            u"SomethingElse", u"Missing"};
  std::vector<SpoolRead> reads;
  for (int round = 0; round < rounds; ++round) {
    for (const char16_t* printer : kPrinters) {
      SpoolRead read{};
      void* handle = nullptr;
      read.opened = OpenPrinterW(printer, &handle, nullptr);
      for (const char16_t* value : kValues) {
        for (const uint32_t size : {4u, 2u}) {
          uint32_t type = 0;
          uint32_t needed = 0;
          uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
          read.results.push_back(GetPrinterDataW(handle, value, &type, data, size, &needed));
          read.results.insert(read.results.end(),
                              {type, needed, static_cast<uint32_t>(data[0] | (data[1] << 8) |
                                                                   (data[2] << 16) | (data[3] << 24))});
        }
      }
      if (read.opened != 0) {
        ClosePrinter(handle);
        uint32_t type = 0;
        uint32_t needed = 0;
        uint8_t data[4] = {};
        read.results.push_back(GetPrinterDataW(handle, kValues[0], &type, data, 4, &needed));
      }
      reads.push_back(read);
    }
  }
  return reads;
}

TEST_F(SharedLibraryConcurrency, ThreadsOpeningReadingAndClosingPrintersAgreeWithASerialRun) {
  constexpr int kRounds = 40;
  const std::vector<SpoolRead> serial = WalkPrinters(kRounds);
  ASSERT_EQ(MpxSpoolOpenHandleCount(), 0u);
  // The walk sees printers that open and ones that do not, values found and not found.
  ASSERT_NE(serial[0].opened, 0);
  ASSERT_EQ(serial[3].opened, 0);
  ASSERT_EQ(serial[0].results[0], MPX_ERROR_SUCCESS);
  ASSERT_EQ(serial[0].results[3], 1u);  // VrdUI_SilentModeEnable=1
  ASSERT_EQ(serial[0].results[4], MPX_ERROR_MORE_DATA);
  ASSERT_EQ(serial[0].results.back(), MPX_ERROR_INVALID_HANDLE);

  std::vector<std::vector<SpoolRead>> threaded(kThreads);
  std::atomic<size_t> ready{0};
  std::vector<std::thread> pool;
  for (size_t t = 0; t < kThreads; ++t) {
    pool.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      threaded[t] = WalkPrinters(kRounds);
    });
  }
  for (std::thread& thread : pool) thread.join();
  for (size_t t = 0; t < kThreads; ++t) EXPECT_TRUE(threaded[t] == serial) << "thread " << t;
  EXPECT_EQ(MpxSpoolOpenHandleCount(), 0u);
}

}  // namespace
}  // namespace rel
