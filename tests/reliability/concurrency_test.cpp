// Concurrency of the model database on the fault-injecting backend (clock fixed, printers
// in memory): many threads ask every key of every category in several host states, with
// and without printer data, printers opened by name or shared by handle, and every thread
// gets exactly the answers of a serial run. Run under ThreadSanitizer by scripts/tsan.sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "reliability_support.h"
#include "testing/fault_control.h"

namespace rel {
namespace {

namespace pt = plat::testing;

constexpr size_t kThreads = 6;
const std::u16string kSilentPrinter = u"Q770 Silent Window";
const std::u16string kQuietPrinter = u"Q770 Always Silent";
const std::u16string kBarePrinter = u"Q770 No Data";

// The host states asked in: name, state, and the printer it names.
struct StateCase {
  const char* name;
  HostState state;
};

std::vector<StateCase> States() {
  HostState job = DrvJob();
  HostState silentByName = DrvJob();
  silentByName.printer = Printer::ByName;
  silentByName.printerName = kSilentPrinter;
  HostState silentByHandle = silentByName;
  silentByHandle.printer = Printer::ByHandle;
  HostState quiet = DrvJob();
  quiet.printer = Printer::ByName;
  quiet.printerName = kQuietPrinter;
  HostState userSize = DrvJob();
  userSize.settings[28] = 256;
  userSize.settings[52] = 5;
  userSize.printer = Printer::ByName;
  userSize.printerName = kBarePrinter;
  HostState few;
  few.settingCount = 3;
  few.strings.resize(1);
  return {{"zero settings", HostState{}},      {"print job", job},
          {"silent window by name", silentByName}, {"silent window by handle", silentByHandle},
          {"always silent", quiet},            {"user size, printer without data", userSize},
          {"three settings, one string", few}};
}

TEST(ModelDatabaseConcurrency, ThreadsAskingEveryKeyGetTheSerialAnswers) {
  pt::Reset();
  pt::AddPrinter(kSilentPrinter);
  pt::SetPrinterDword(kSilentPrinter, u"VrdUI_SilentModeEnable", 2);
  pt::SetPrinterDword(kSilentPrinter, u"VrdUI_SilentModeTime", 540u | (600u << 16));
  pt::AddPrinter(kQuietPrinter);
  pt::SetPrinterDword(kQuietPrinter, u"VrdUI_SilentModeEnable", 1);
  pt::AddPrinter(kBarePrinter);
  void* shared = nullptr;
  ASSERT_TRUE(plat::PrinterOpen(kSilentPrinter.c_str(), &shared));

  const std::vector<StateCase> states = States();
  std::vector<BuiltContext> built(states.size());
  std::vector<const QueryContext*> contexts;
  for (size_t i = 0; i < states.size(); ++i) {
    Build(states[i].state, shared, &built[i]);
    contexts.push_back(&built[i].context);
  }
  const std::vector<QueryJob> jobs = EveryKeyJobs(contexts.size());
  const std::vector<Answer> serial = RunJobs(jobs, contexts, 0);

  // The serial run must mean something: answers of every category, with printer data.
  size_t answered = 0;
  std::vector<size_t> perCategory(kCategories.size(), 0);
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (serial[i].status != MPX_OK) continue;
    ++answered;
    ++perCategory[jobs[i].category];
  }
  for (size_t c = 0; c < kCategories.size(); ++c) EXPECT_GT(perCategory[c], 0u) << kCategories[c].name;
  EXPECT_GT(pt::PrinterReadCount(), 0u) << "no printer data was read";

  const std::vector<std::vector<Answer>> threaded = RunJobsInThreads(jobs, contexts, kThreads);
  for (size_t t = 0; t < threaded.size(); ++t) {
    size_t differences = 0;
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (threaded[t][i] == serial[i]) continue;
      if (++differences > 5) break;
      ADD_FAILURE() << "thread " << t << ", " << kCategories[jobs[i].category].name << " key "
                    << jobs[i].key << " in '" << states[jobs[i].context].name << "': "
                    << Describe(threaded[t][i]) << ", serially " << Describe(serial[i]);
    }
  }
  EXPECT_EQ(pt::LiveBlocks(), 0u);
  EXPECT_EQ(pt::OpenPrinterHandles(), 1u) << "only the shared handle stays open";
  plat::PrinterClose(shared);
  std::printf("[ threads  ] %zu threads x %zu queries (%zu answered)\n", kThreads, jobs.size(), answered);
}

}  // namespace
}  // namespace rel
