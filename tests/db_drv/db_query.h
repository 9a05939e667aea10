// Asking the model database as a host does: a context built from plain values, the size
// query followed by the fetch, and the answer decoded as the host reads it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "modeldb.h"

namespace dbtest {

// The signature all six query functions share.
using QueryFn = int32_t (MPX_CALL*)(uint32_t key, const QueryContext* context, uint32_t bufferSize,
                            void* buffer, uint32_t* requiredSize);

// Byte the answer buffer is filled with before a query, so the bytes a query leaves alone
// (item-list fields it does not own, the tail of the selector record) are known.
inline constexpr uint8_t kUntouched = 0xEE;

// A host context. Settings not given are 0; strings not given are "".
struct HostState {
  std::map<uint32_t, int32_t> settings;
  std::map<uint32_t, std::string> strings;
  uint32_t settingCount = 95;
  uint32_t stringCount = 9;
  bool noSettings = false;  // settings pointer null
  bool noStrings = false;   // strings pointer null
  std::u16string printerName;  // opened by the library when not empty
};

// Owns the arrays a QueryContext points into.
struct BuiltContext {
  std::vector<int32_t> settings;
  std::vector<std::string> strings;
  std::vector<const char*> stringPointers;
  std::u16string printerName;
  QueryContext context{};
};
void Build(const HostState& state, BuiltContext* built);

struct Answer {
  int32_t status = 0;  // of the second call when the first reported a size, else of the first
  uint32_t size = 0;   // the size the first call reported (0 when it reported none)
  std::vector<uint8_t> bytes;  // the buffer after the second call (size bytes)
};

// The host's two calls: null buffer for the size, then a buffer of that size.
Answer Ask(QueryFn query, uint32_t key, const HostState& state);

// The answer read as little-endian 32-bit values (every leaf type but Bytes and WideText).
std::vector<int32_t> Int32s(const Answer& answer);
// The answer read as UTF-16 text, the terminating NUL dropped (WideText).
std::string Text(const Answer& answer);
// Little-endian 32-bit values as bytes.
std::vector<uint8_t> LeBytes(const std::vector<int32_t>& values);
std::vector<uint8_t> HexBytes(const std::string& hex);  // "1B 28 62" -> bytes
std::string Hex(const std::vector<uint8_t>& bytes);     // bytes -> "1B 28 62"

}  // namespace dbtest
