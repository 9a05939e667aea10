// The six exports on the shipped image with any key, settings array (0-120 entries),
// context strings, printer and buffer size: a documented status, the size protocol kept,
// nothing written past the buffer, every block and every printer the call opened released,
// and the same answer when asked twice.
//
// Input: the export (one byte), the key (32 bits, upper half included), the host state
// (query_input.h), then the same for a second query while the rest lasts.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "modeldb.h"
#include "query_input.h"
#include "testing/fault_control.h"

namespace {

using Export = int32_t (*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

constexpr Export kExports[] = {MPX_AccessRootDataBase, MPX_AccessDrvDataBase,
                               MPX_AccessLMDataBase,   MPX_AccessMntDataBase,
                               MPX_AccessPADataBase,   MPX_AccessSMDataBase};
constexpr uint32_t kCategoryBase[] = {0x0000, 0x1000, 0x2000, 0x3000, 0x4000, 0x6000};

// Most keys land in the export's own range, where the answers are.
uint32_t ChooseKey(fuzz::Reader& in, uint32_t exportIndex) {
  const uint8_t form = in.U8();
  const uint32_t raw = in.U32();
  if ((form & 0x03u) == 0) return raw;
  return kCategoryBase[exportIndex] | (raw & 0x0FFFu) | ((form & 0x04u) != 0 ? raw & 0xFFFF0000u : 0u);
}

struct Outcome {
  int32_t status;
  uint32_t required;
  std::vector<uint8_t> bytes;
  bool operator==(const Outcome&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::testing::Reset();
  fuzz::Reader in{{data, size}};
  for (int round = 0; round < 4 && (round == 0 || in.Remaining() > 8); ++round) {
    const uint32_t exportIndex = in.U8() % 6u;
    const Export query = kExports[exportIndex];
    const uint32_t key = ChooseKey(in, exportIndex);
    fuzz::QueryInput state;
    fuzz::ReadQueryInput(in, state);
    const auto ask = [&](const QueryContext* context, uint32_t bufferSize, void* buffer,
                         uint32_t* required) { return query(key, context, bufferSize, buffer, required); };
    fuzz::AskAndCheck(ask, state, exportIndex == 1 && fuzz::IsItemListKey(static_cast<uint16_t>(key)));

    // The answer is a function of the state: asked twice, the same bytes.
    Outcome first{}, second{};
    for (Outcome* outcome : {&first, &second}) {
      outcome->bytes.assign(2048, 0x5A);
      outcome->required = fuzz::kUnwritten;
      outcome->status = query(key, &state.context, 2048, outcome->bytes.data(), &outcome->required);
    }
    FUZZ_CHECK(first == second);

    // Without a context nothing is looked at and nothing is written.
    uint32_t untouched = fuzz::kUnwritten;
    FUZZ_CHECK(query(key, nullptr, 16, nullptr, &untouched) == MPX_ERR_CONTEXT);
    FUZZ_CHECK(untouched == fuzz::kUnwritten);

    fuzz::Finish(state);
    FUZZ_CHECK(plat::testing::OpenPrinterHandles() == 0);
    FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
    plat::testing::Reset();
  }
  return 0;
}
