// The command-language blocks built into the library: printer text commands framed by
// ESC [ K (length 2, parameters 00 1F) and the lines "QXLSTART" ... "QXLEND". They are
// constant data, byte for byte; the time-setting template gets its clock text at run time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mdb {

namespace detail {
// A string literal as bytes, without the literal's own terminating NUL.
template <size_t N>
constexpr std::array<uint8_t, N - 1> LiteralBytes(const char (&text)[N]) {
  std::array<uint8_t, N - 1> bytes{};
  for (size_t i = 0; i + 1 < N; ++i) bytes[i] = static_cast<uint8_t>(text[i]);
  return bytes;
}
}  // namespace detail

// The seven lead-in bytes 1B 5B 4B 02 00 00 1F, spelled so that no hex escape runs on
// into the following letters.
#define MDB_COMMAND_LANGUAGE_LEAD_IN "\x1B[K\x02\x00\x00\x1F"

inline constexpr auto kTimeSettingTemplate = detail::LiteralBytes(
    MDB_COMMAND_LANGUAGE_LEAD_IN "QXLSTART\n"
                                 "ControlMode=Common\n"
                                 "SetTime=yyyymmddhhmmss\n"
                                 "QXLEND\n");

// The empty line after "SetSilent=ON" makes both silent blocks 56 bytes long.
inline constexpr auto kSilentOffBlock = detail::LiteralBytes(
    MDB_COMMAND_LANGUAGE_LEAD_IN "QXLSTART\n"
                                 "ControlMode=Common\n"
                                 "SetSilent=OFF\n"
                                 "QXLEND\n");

inline constexpr auto kSilentOnBlock = detail::LiteralBytes(
    MDB_COMMAND_LANGUAGE_LEAD_IN "QXLSTART\n"
                                 "ControlMode=Common\n"
                                 "SetSilent=ON\n"
                                 "\n"
                                 "QXLEND\n");

#undef MDB_COMMAND_LANGUAGE_LEAD_IN

// Where "yyyymmddhhmmss" stands in the template, and its length.
inline constexpr size_t kTimeTextOffset = 43;
inline constexpr size_t kTimeTextLength = 14;

static_assert(kTimeSettingTemplate.size() == 65);
static_assert(kSilentOffBlock.size() == 56);
static_assert(kSilentOnBlock.size() == 56);
static_assert(kTimeSettingTemplate[kTimeTextOffset] == 'y' &&
              kTimeSettingTemplate[kTimeTextOffset + kTimeTextLength - 1] == 's');

}  // namespace mdb
