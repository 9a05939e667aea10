// What every key the Drv export answers must give for a host state, from the printer's
// documentation (q770_model.h): the status, and the exact bytes or, where the database
// holds values of its own choosing, the shape they must have.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

namespace dbtest {

inline constexpr plat::LocalTime kTestClock{2002, 2, 5, 8, 9, 5, 3, 0};

using Settings = std::map<uint32_t, int32_t>;

struct Expectation {
  int32_t status = 0;
  std::optional<std::vector<uint8_t>> bytes;  // exact answer, when it is fixed
  // Checks an answer of fixed shape; returns a description of what is wrong, or "".
  std::function<std::string(const std::vector<uint8_t>&)> shape;
};

// The keys the Drv export answers: the directory keys and the dispatcher's own.
const std::vector<uint32_t>& DrvKeys();

// Item lists fill the fields they own and leave the others as the caller's buffer had
// them (filled with kUntouched by Ask).
Expectation ExpectDrv(uint32_t key, const Settings& settings);

// The 65-byte time-setting command at 2002-02-08 09:05:03 (kTestClock).
std::vector<uint8_t> TimeCommandAtTestClock();

// The value of "VrdUI_SilentModeEnable" the expectations of key 4120 assume.
inline constexpr uint32_t kSilentAlwaysOn = 1;

}  // namespace dbtest
