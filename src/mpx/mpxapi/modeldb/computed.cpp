// Computed values: the answers that depend on the user-defined paper size, the local clock
// or a printer-data value. Every operation checks its inputs in a fixed order (which decides
// the status of a malformed call), writes the answer size, answers 2 for a null or short
// buffer and only then reads the clock or the printer and fills the buffer.
//
// All arithmetic is 32-bit with wrap-around, as the printer firmware expects it: lengths in
// 0.01 mm, dots of 1/600 inch and sixtieths of an inch.
#include "computed.h"

#include <cstdio>
#include <cstring>

#include "computed_blocks.h"
#include "entry.h"
#include "platform.h"

namespace mdb {
namespace {

enum SubCode : uint32_t {
  kPageFormat = 1,
  kUserPrintableArea = 2,
  kPaperPrintableArea = 3,
  kUserPaperLengthDots = 4,
  kTimeSetting = 5,
  kOptionFlags = 6,
  kSilentMode = 7,
};

// Settings read here (Drv numbering).
constexpr uint32_t kSettingPaperWidth = 25;
constexpr uint32_t kSettingPaperLength = 26;
constexpr uint32_t kSettingUserWidth = 29;
constexpr uint32_t kSettingUserLength = 30;
constexpr uint32_t kSettingMarginMode = 52;
constexpr uint32_t kSettingOptionFlags = 79;
constexpr uint32_t kSettingOptionValue = 80;

// Setting 52 = 5 removes the top and bottom margins.
constexpr int32_t kNoTopBottomMargins = 5;

// Margins in 0.01 mm.
constexpr int32_t kLeftOffset = 340;
constexpr int32_t kLeftRightMargins = 680;
constexpr int32_t kTopOffset = 300;
constexpr int32_t kTopBottomMargins = 800;
constexpr int32_t kMaxPrintableWidth = 20320;          // 8 inches
constexpr int32_t kMaxPaperWidthWithMargins = 21000;   // kMaxPrintableWidth + kLeftRightMargins
constexpr int16_t kMaxPrintableWidthSixtieths = 480;

constexpr uint32_t kPageFormatSize = 51;
constexpr uint32_t kPaperLengthSize = 4;
constexpr uint32_t kPrintableAreaSize = 16;
constexpr uint32_t kOptionFlagsSize = 12;
constexpr auto kTimeSettingSize = static_cast<uint32_t>(kTimeSettingTemplate.size());
constexpr auto kSilentBlockSize = static_cast<uint32_t>(kSilentOffBlock.size());
static_assert(kSilentOnBlock.size() == kSilentOffBlock.size());

// The value-name number of "VrdUI_SilentModeTime" in Root key 8.
constexpr int32_t kSilentTimeValueName = 154;
constexpr uint32_t kRootValueNameKey = 8;

// The settings array of the nested Root query. Its address also marks that query, so that a
// Root key 8 tree answering with this very command cannot recurse without end.
constexpr int32_t kSilentTimeSettings[1] = {kSilentTimeValueName};

void PutBe16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v >> 8);
  at[1] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v >> 24);
  at[1] = static_cast<uint8_t>(v >> 16);
  at[2] = static_cast<uint8_t>(v >> 8);
  at[3] = static_cast<uint8_t>(v);
}

void PutLe32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// a - b and a * 600 + c wrap like the 32-bit machine arithmetic they come from.
int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// (x * 600 + 2539) / 2540 with signed division (truncating toward zero).
int32_t DotsSigned(int32_t x) {
  return static_cast<int32_t>(static_cast<uint32_t>(x) * 600u + 2539u) / 2540;
}

// The quotient of 6 * y by 254, rounded up, all unsigned.
uint32_t Sixtieths(int32_t y) {
  const uint32_t six = static_cast<uint32_t>(y) * 6u;
  return six / 254u + (six % 254u != 0 ? 1u : 0u);
}

uint16_t Low16(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFFu); }

bool HasSettingsAbove(const QueryContext* context, uint32_t setting) {
  return context->settings != nullptr && context->settingCount > setting;
}

// Writes the size and answers 2 when the buffer cannot take it; 0 when it can.
int32_t SizeCheck(uint32_t answerSize, uint32_t bufferSize, const void* buffer, uint32_t* size) {
  *size = answerSize;
  if (bufferSize < answerSize || buffer == nullptr) return MPX_BUFFER_TOO_SMALL;
  return MPX_OK;
}

// Sub-codes 1 and 4: the page-format command for the user-defined size, or its length in dots.
int32_t UserPageFormat(uint32_t subCode, const QueryContext* context, uint32_t bufferSize,
                       void* buffer, uint32_t* size) {
  if (context == nullptr) return MPX_ERR_DATABASE;
  if (!HasSettingsAbove(context, kSettingMarginMode)) return MPX_ERR_SETTINGS;
  if (size == nullptr) return MPX_ERR_DATABASE;
  const uint32_t answerSize = subCode == kUserPaperLengthDots ? kPaperLengthSize : kPageFormatSize;
  const int32_t sized = SizeCheck(answerSize, bufferSize, buffer, size);
  if (sized != MPX_OK) return sized;

  const int32_t width = context->settings[kSettingUserWidth];
  const int32_t length = context->settings[kSettingUserLength];
  const bool fullLength = context->settings[kSettingMarginMode] == kNoTopBottomMargins;
  auto* out = static_cast<uint8_t*>(buffer);

  if (subCode == kUserPaperLengthDots) {
    PutLe32(out, (static_cast<uint32_t>(length) * 600u + 2539u) / 2540u);
    return MPX_OK;
  }

  const uint16_t length60 =
      Low16(Sixtieths(fullLength ? length : WrapSub(length, kTopBottomMargins)));
  auto width60 = static_cast<int16_t>(Low16(Sixtieths(WrapSub(width, kLeftRightMargins))));
  if (width60 > kMaxPrintableWidthSixtieths) width60 = kMaxPrintableWidthSixtieths;
  int32_t printableWidth = WrapSub(width, kLeftRightMargins);
  if (printableWidth > kMaxPrintableWidth) printableWidth = kMaxPrintableWidth;
  const int32_t printableWidth600 = DotsSigned(printableWidth);
  // The dots of length - 800 folded into one expression: 477461 = 800 * 600 - 2539.
  const int32_t printableLength600 =
      fullLength ? DotsSigned(length)
                 : static_cast<int32_t>(static_cast<uint32_t>(length) * 600u - 477461u) / 2540;

  std::memset(out, 0, kPageFormatSize);
  out[0] = 0x1B;  // ESC ( p, parameter length 46
  out[1] = 0x28;
  out[2] = 0x70;
  out[3] = 46;
  out[4] = 0;
  PutBe16(out + 5, length60);
  PutBe16(out + 9, static_cast<uint16_t>(width60));
  PutBe32(out + 15, 600);  // dots per inch of the four-byte lengths
  PutBe32(out + 19, 80);   // the 3.40 mm left offset in dots
  PutBe32(out + 23, 70);   // the 3.00 mm top offset in dots
  PutBe32(out + 27, static_cast<uint32_t>(printableWidth600));
  PutBe32(out + 31, static_cast<uint32_t>(printableLength600));
  PutBe32(out + 43, static_cast<uint32_t>(DotsSigned(width)));
  PutBe32(out + 47, static_cast<uint32_t>(DotsSigned(length)));
  return MPX_OK;
}

// Sub-codes 2 and 3: {left offset, printable width, top offset, printable length}.
int32_t PrintableArea(uint32_t subCode, const QueryContext* context, uint32_t bufferSize,
                      void* buffer, uint32_t* size) {
  if (context == nullptr || !HasSettingsAbove(context, kSettingMarginMode)) return MPX_ERR_SETTINGS;
  if (size == nullptr) return MPX_ERR_DATABASE;
  const int32_t sized = SizeCheck(kPrintableAreaSize, bufferSize, buffer, size);
  if (sized != MPX_OK) return sized;

  const bool user = subCode == kUserPrintableArea;
  const int32_t width = context->settings[user ? kSettingUserWidth : kSettingPaperWidth];
  const int32_t length = context->settings[user ? kSettingUserLength : kSettingPaperLength];
  const bool fullLength = context->settings[kSettingMarginMode] == kNoTopBottomMargins;

  // Only the user-defined size is limited to the printable width of the printer.
  const int32_t printableWidth = user && width > kMaxPaperWidthWithMargins
                                     ? kMaxPrintableWidth
                                     : WrapSub(width, kLeftRightMargins);
  const int32_t fields[4] = {kLeftOffset, printableWidth, fullLength ? 0 : kTopOffset,
                             fullLength ? length : WrapSub(length, kTopBottomMargins)};
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < 4; ++i) PutLe32(out + 4 * i, static_cast<uint32_t>(fields[i]));
  return MPX_OK;
}

// Sub-code 5: the time-setting template with the local time in place of "yyyymmddhhmmss".
int32_t TimeSetting(uint32_t bufferSize, void* buffer, uint32_t* size) {
  if (size == nullptr) return MPX_ERR_DATABASE;
  if (bufferSize < kTimeSettingSize || buffer == nullptr) {
    *size = kTimeSettingSize;
    return MPX_BUFFER_TOO_SMALL;
  }

  plat::LocalTime now{};
  plat::GetLocalTime(&now);
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", now.year,
                                   now.month, now.day, now.hour, now.minute, now.second);
  // A year above 9999 (or a field out of its range) would not fit the command.
  if (length != static_cast<int>(kTimeTextLength)) return MPX_ERR_DATABASE;

  auto* out = static_cast<uint8_t*>(buffer);
  std::memcpy(out, kTimeSettingTemplate.data(), kTimeSettingSize);
  std::memcpy(out + kTimeTextOffset, text, kTimeTextLength);
  *size = kTimeSettingSize;  // the size is written on statuses 0 and 2 only
  return MPX_OK;
}

// Sub-code 6: ESC ( $ with the option flags of setting 79 and the value of setting 80.
int32_t OptionFlags(const QueryContext* context, uint32_t bufferSize, void* buffer,
                    uint32_t* size) {
  if (context == nullptr) return MPX_ERR_DATABASE;
  if (!HasSettingsAbove(context, kSettingOptionValue)) return MPX_ERR_SETTINGS;
  if (size == nullptr) return MPX_ERR_DATABASE;
  const int32_t sized = SizeCheck(kOptionFlagsSize, bufferSize, buffer, size);
  if (sized != MPX_OK) return sized;

  const auto flags = static_cast<uint32_t>(context->settings[kSettingOptionFlags]);
  const auto value = static_cast<uint32_t>(context->settings[kSettingOptionValue]);
  const auto bit = [flags](uint32_t n) -> uint32_t { return (flags >> n) & 1u; };

  auto* out = static_cast<uint8_t*>(buffer);
  out[0] = 0x1B;  // ESC ( $, parameter length 7
  out[1] = 0x28;
  out[2] = 0x24;
  out[3] = 7;
  out[4] = 0;
  out[5] = 1;
  out[6] = 0;
  out[7] = static_cast<uint8_t>(bit(23));
  PutBe16(out + 8, Low16(value));
  out[10] = 0;
  const uint32_t bothOrNeither = bit(20) == bit(22) ? 1u : 0u;
  out[11] = static_cast<uint8_t>(bothOrNeither | (bit(22) << 4) | (bit(21) << 6));
  return MPX_OK;
}

// Whether minute-of-day M lies in the window [start, end], which may wrap past midnight.
// start == end is no window at all.
bool InSilentWindow(uint16_t start, uint16_t end, uint16_t minute) {
  if (start == end) return false;
  return (start <= minute && minute <= end) || (end <= start && start <= minute) ||
         (minute <= end && end <= start);
}

// Reads the silent-mode window through the printer data named by Root key 8 (setting 0 =
// 154). Any failure on the way counts as "not active".
bool SilentModeActive(const QueryEnv& env, const QueryContext* context, uint16_t minute) {
  // Inside the nested Root query itself: answer "not active" instead of asking again.
  if (context->settings == kSilentTimeSettings) return false;

  const QueryContext nameQuery{context->hPrinter, context->hostData, 0, nullptr,
                               1, kSilentTimeSettings, nullptr};
  uint32_t nameSize = 0;
  int32_t status = RunQuery(env, Category::Root, kRootValueNameKey, &nameQuery, 0, nullptr,
                            &nameSize);
  // Room for one more NUL character keeps the name terminated whatever the image stores.
  constexpr uint32_t kTerminatorRoom = 2;
  if (status != MPX_BUFFER_TOO_SMALL || nameSize == 0 || nameSize > UINT32_MAX - kTerminatorRoom)
    return false;
  void* name = plat::HeapAlloc(nameSize + kTerminatorRoom, true);
  if (name == nullptr) return false;

  bool active = false;
  uint32_t written = 0;
  status = RunQuery(env, Category::Root, kRootValueNameKey, &nameQuery, nameSize, name, &written);
  if (status == MPX_OK && context->hPrinter != nullptr) {
    uint32_t type = plat::kRegDword;
    uint8_t data[4] = {};
    uint32_t needed = 0;
    if (plat::PrinterGetData(context->hPrinter, static_cast<const char16_t*>(name), &type, data,
                             sizeof data, &needed) == plat::kErrorSuccess) {
      const uint32_t window = GetLe32(data);
      active = InSilentWindow(Low16(window), static_cast<uint16_t>(window >> 16), minute);
    }
  }
  plat::HeapFree(name);
  return active;
}

// Sub-code 7: the silent-on block while the silent-mode window is open, else silent-off.
int32_t SilentMode(const QueryEnv& env, const QueryContext* context, uint32_t bufferSize,
                   void* buffer, uint32_t* size) {
  if (context == nullptr) return MPX_ERR_SETTINGS;
  if (size == nullptr) return MPX_ERR_DATABASE;
  const int32_t sized = SizeCheck(kSilentBlockSize, bufferSize, buffer, size);
  if (sized != MPX_OK) return sized;

  plat::LocalTime now{};
  plat::GetLocalTime(&now);
  const auto minute = static_cast<uint16_t>(now.hour * 60u + now.minute);
  const auto& block = SilentModeActive(env, context, minute) ? kSilentOnBlock : kSilentOffBlock;
  std::memcpy(buffer, block.data(), kSilentBlockSize);
  *size = kSilentBlockSize;
  return MPX_OK;
}

}  // namespace

int32_t ComputeValue(const QueryEnv& env, uint32_t subCode, const QueryContext* context,
                     uint32_t bufferSize, void* buffer, uint32_t* size) {
  switch (subCode) {
    case kPageFormat:
    case kUserPaperLengthDots:
      return UserPageFormat(subCode, context, bufferSize, buffer, size);
    case kUserPrintableArea:
    case kPaperPrintableArea:
      return PrintableArea(subCode, context, bufferSize, buffer, size);
    case kTimeSetting:
      return TimeSetting(bufferSize, buffer, size);
    case kOptionFlags:
      return OptionFlags(context, bufferSize, buffer, size);
    case kSilentMode:
      return SilentMode(env, context, bufferSize, buffer, size);
    default:
      return MPX_NO_ANSWER;
  }
}

}  // namespace mdb
