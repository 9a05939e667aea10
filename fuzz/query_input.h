// A host's query state taken from fuzz bytes: the context (settings of 0-120 entries,
// context strings, a printer by handle, by name or none), the printer data the test backend
// serves, and a buffer size; plus the checks every query answer must pass.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "modeldb.h"
#include "testing/fault_control.h"

namespace fuzz {

inline const std::u16string kFuzzPrinter = u"Fuzz Printer";
inline constexpr uint32_t kMaxSettings = 120;
inline constexpr uint32_t kMaxStrings = 12;
inline constexpr uint32_t kMaxStringBytes = 40;

enum class PrinterUse : uint8_t { None, ByName, ByHandle, UnknownName };

struct QueryInput {
  std::vector<int32_t> settings;
  std::vector<std::string> strings;
  std::vector<const char*> stringPointers;
  std::u16string printerName;
  void* ownHandle = nullptr;  // opened here for PrinterUse::ByHandle, closed by Finish()
  QueryContext context{};
  uint32_t bufferSize = 0;
  bool nullBuffer = false;
};

// Settings values: mostly small numbers the trees compare against, sometimes any 32 bits.
inline int32_t SettingValue(Reader& in) {
  const uint8_t form = in.U8();
  if ((form & 0xC0u) == 0xC0u) return static_cast<int32_t>(in.U32());
  if ((form & 0xC0u) == 0x80u) return static_cast<int16_t>(in.U16());
  return static_cast<int32_t>(form & 0x3Fu) + ((form & 0x40u) != 0 ? 256 : 0);
}

// Reads the state; call after plat::testing::Reset(). The context points into `q`.
inline void ReadQueryInput(Reader& in, QueryInput& q) {
  const uint8_t flags = in.U8();
  const uint32_t settingCount = in.U8() % (kMaxSettings + 1);
  for (uint32_t i = 0; i < settingCount; ++i) q.settings.push_back(SettingValue(in));
  const uint32_t stringCount = in.U8() % (kMaxStrings + 1);
  for (uint32_t i = 0; i < stringCount; ++i) {
    const std::span<const uint8_t> text = in.Take(in.U8() % (kMaxStringBytes + 1));
    q.strings.emplace_back(text.begin(), text.end());
  }
  for (const std::string& s : q.strings) q.stringPointers.push_back(s.c_str());
  // A null entry counts as "".
  if ((flags & 0x08u) != 0 && !q.stringPointers.empty()) q.stringPointers[0] = nullptr;

  // The printer and what it holds.
  plat::testing::AddPrinter(kFuzzPrinter);
  const uint8_t printerFlags = in.U8();
  if ((printerFlags & 0x01u) != 0) {
    plat::testing::SetPrinterDword(kFuzzPrinter, u"VrdUI_SilentModeEnable", in.U8() % 4);
  }
  if ((printerFlags & 0x02u) != 0) {
    plat::testing::SetPrinterDword(kFuzzPrinter, u"VrdUI_SilentModeTime", in.U32());
  }
  if ((printerFlags & 0x04u) != 0) {
    // A value of the wrong length.
    const std::span<const uint8_t> raw = in.Take(in.U8() % 9);
    plat::testing::SetPrinterValue(kFuzzPrinter, u"VrdUI_SilentModeEnable",
                                   std::string(raw.begin(), raw.end()));
  }
  if ((printerFlags & 0x08u) != 0) plat::testing::FailPrinterRead(plat::kErrorAccessDenied);
  if ((printerFlags & 0x10u) != 0) plat::testing::SetLocaleCountry("44");
  if ((printerFlags & 0x20u) != 0) plat::testing::FailLocale(true);

  const auto use = static_cast<PrinterUse>((flags >> 4) & 0x03u);
  void* handle = nullptr;
  switch (use) {
    case PrinterUse::None:
      break;
    case PrinterUse::ByName:
      q.printerName = kFuzzPrinter;
      break;
    case PrinterUse::UnknownName:
      q.printerName = u"No Such Printer";
      break;
    case PrinterUse::ByHandle:
      FUZZ_CHECK(plat::PrinterOpen(kFuzzPrinter.c_str(), &handle));
      q.ownHandle = handle;
      break;
  }

  const uint16_t sizeWord = in.U16();
  q.bufferSize = (sizeWord & 0x8000u) != 0 ? in.U32() : sizeWord % 1024u;
  q.nullBuffer = (flags & 0x40u) != 0;

  q.context.hPrinter = q.ownHandle;
  q.context.hostData = 0x5EED;
  q.context.stringCount = (flags & 0x02u) != 0 ? in.U8() : static_cast<uint32_t>(q.strings.size());
  q.context.strings = (flags & 0x04u) != 0 || q.stringPointers.empty() ? nullptr : q.stringPointers.data();
  q.context.settingCount = (flags & 0x01u) != 0 ? in.U8() : static_cast<uint32_t>(q.settings.size());
  q.context.settings = q.settings.empty() ? nullptr : q.settings.data();
  q.context.printerName = q.printerName.empty() ? nullptr : q.printerName.c_str();
  // A count larger than the array is the host's own fault, not the library's: keep it inside.
  if (q.context.stringCount > q.strings.size()) q.context.stringCount = static_cast<uint32_t>(q.strings.size());
  if (q.context.settingCount > q.settings.size()) q.context.settingCount = static_cast<uint32_t>(q.settings.size());
}

inline bool DocumentedQueryStatus(int32_t status) {
  return status >= MPX_ERR_CONTEXT && status <= MPX_KEY_NOT_FOUND;
}

inline constexpr uint32_t kUnwritten = 0xFEEDFACEu;

// The Drv item-list keys: on success they leave the size output as the caller had it.
inline bool IsItemListKey(uint16_t key) {
  return (key >= 4108 && key <= 4116) || key == 4118 || key == 4119 || key == 4173 ||
         key == 4174 || key == 4177 || key == 4180;
}
inline constexpr uint8_t kCanary = 0xA5;
inline constexpr uint32_t kCanaryBytes = 16;

// One query with the fuzzed buffer size, then (when it reported a size) the host's second
// call with a buffer of exactly that size. Checks the size protocol, the bytes past the
// buffer, and that every block and every printer opened by the library is released.
// itemList: a Drv item-list key, whose success leaves the size output alone.
template <typename Query>
void AskAndCheck(Query&& query, const QueryInput& q, bool itemList = false) {
  const uint32_t ownHandles = q.ownHandle != nullptr ? 1u : 0u;
  // The buffer the host passes: bufferSize may claim more than the buffer holds only when
  // the buffer is null; a real buffer is as long as its size (capped, with canary bytes).
  const uint32_t realSize = q.bufferSize < 4096 ? q.bufferSize : 4096;
  std::vector<uint8_t> buffer(realSize + kCanaryBytes, kCanary);
  uint32_t required = kUnwritten;
  const bool nullBuffer = q.nullBuffer || q.bufferSize != realSize;
  const uint32_t passedSize = nullBuffer ? q.bufferSize : realSize;
  const int32_t status = query(&q.context, passedSize, nullBuffer ? nullptr : buffer.data(), &required);
  FUZZ_CHECK(DocumentedQueryStatus(status));
  for (uint32_t i = realSize; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == kCanary);
  if (nullBuffer) {
    for (uint32_t i = 0; i < realSize; ++i) FUZZ_CHECK(buffer[i] == kCanary);
  }
  if (status == MPX_OK && itemList) {
    FUZZ_CHECK(!nullBuffer && required == kUnwritten);
  } else if (status == MPX_OK) {
    FUZZ_CHECK(required != kUnwritten);
    // A null buffer is only ever given an empty answer.
    FUZZ_CHECK(nullBuffer ? required == 0 : required <= passedSize);
  }
  if (status == MPX_BUFFER_TOO_SMALL) {
    FUZZ_CHECK(required != kUnwritten);
    if (!nullBuffer) FUZZ_CHECK(required > passedSize);
  }
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
  FUZZ_CHECK(plat::testing::OpenPrinterHandles() == ownHandles);

  if (status != MPX_BUFFER_TOO_SMALL || required > (1u << 20)) return;
  // The second call: a buffer of the size the first reported answers in full.
  const uint32_t size = required;
  std::vector<uint8_t> exact(size + kCanaryBytes, kCanary);
  uint32_t again = kUnwritten;
  const int32_t second = query(&q.context, size, exact.data(), &again);
  FUZZ_CHECK(DocumentedQueryStatus(second));
  FUZZ_CHECK(second != MPX_BUFFER_TOO_SMALL);
  if (second == MPX_OK) FUZZ_CHECK(again == (itemList ? kUnwritten : size));
  for (uint32_t i = size; i < exact.size(); ++i) FUZZ_CHECK(exact[i] == kCanary);
  FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
  FUZZ_CHECK(plat::testing::OpenPrinterHandles() == ownHandles);
}

inline void Finish(QueryInput& q) {
  if (q.ownHandle != nullptr) plat::PrinterClose(q.ownHandle);
  q.ownHandle = nullptr;
}

}  // namespace fuzz
