// Key lookup against the length of the directory: synthetic images of 200 to 60,000 keys,
// searched through their directory index and, for contrast, entry by entry.
//
// Each lookup asks one of 64 keys taken at evenly spread positions of the directory, in a
// shuffled order, so that every image is asked the same number of distinct keys and the
// time shows the search, not how many of the image's tables fit the caches.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>

#include "image.h"
#include "ratio_report.h"
#include "synthetic_image.h"

namespace {

constexpr uint32_t kSampleKeys = 64;
constexpr uint32_t kSizes[] = {200, 2000, 20000, 60000};

const mdbbench::SyntheticImage& ImageOf(uint32_t keys) {
  static std::map<uint32_t, std::unique_ptr<mdbbench::SyntheticImage>> images;
  auto& slot = images[keys];
  if (!slot) {
    slot = std::make_unique<mdbbench::SyntheticImage>();
    mdbbench::BuildSyntheticImage(mdbbench::SyntheticSpec{keys, 0, true}, slot.get());
  }
  return *slot;
}

std::array<uint16_t, kSampleKeys> SampleKeys(const mdbbench::SyntheticImage& image) {
  std::array<uint16_t, kSampleKeys> keys{};
  const auto entries = static_cast<uint32_t>(image.keys.size());
  for (uint32_t j = 0; j < kSampleKeys; ++j) {
    // Positions spread over the whole directory, last entry included, visited in the order
    // of an odd stride through the sample.
    const uint32_t slot = (j * 37u) % kSampleKeys;
    keys[j] = image.keys[(static_cast<uint64_t>(slot) * (entries - 1)) / (kSampleKeys - 1)];
  }
  return keys;
}

void BM_Lookup(benchmark::State& state, bool indexed) {
  const mdbbench::SyntheticImage& built = ImageOf(static_cast<uint32_t>(state.range(0)));
  mdb::DbImage image = built.image;
  if (!indexed) image.directoryIndex = nullptr;
  if (indexed && image.directoryIndex == nullptr) {
    state.SkipWithError("the image has no index");
    return;
  }
  const std::array<uint16_t, kSampleKeys> keys = SampleKeys(built);
  uint32_t next = 0;
  for (auto _ : state) {
    uint32_t root = 0;
    mdb::DbNode node{};
    const int32_t status = mdb::DirectorySearch(image, keys[next], &root, &node);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(root);
    next = (next + 1) % kSampleKeys;
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const uint32_t size : kSizes) b->Arg(size);
}

BENCHMARK_CAPTURE(BM_Lookup, indexed, true)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Lookup, linear, false)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
  constexpr auto kCpu = mdbbench::Clock::Cpu;  // a lookup never waits
  return mdbbench::RunWithRatios(
      argc, argv,
      {{"lookup, index: 2,000 / 200 keys", "BM_Lookup/indexed/2000", "BM_Lookup/indexed/200", 0,
        kCpu},
       {"lookup, index: 20,000 / 200 keys", "BM_Lookup/indexed/20000", "BM_Lookup/indexed/200", 0,
        kCpu},
       {"lookup, index: 60,000 / 200 keys", "BM_Lookup/indexed/60000", "BM_Lookup/indexed/200", 1.2,
        kCpu},
       {"lookup, entry by entry: 60,000 / 200 keys", "BM_Lookup/linear/60000",
        "BM_Lookup/linear/200", 0, kCpu},
       {"lookup at 60,000 keys: entry by entry / index", "BM_Lookup/linear/60000",
        "BM_Lookup/indexed/60000", 0, kCpu}});
}
