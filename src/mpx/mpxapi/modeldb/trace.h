// The evaluation trace hook: the explain tool watches every step of an evaluation through
// these callbacks. A null QueryEnv::tracer costs one pointer test per node and changes no
// answer; so does a tracer whose callbacks are null.
#pragma once

#include <cstdint>

#include "image.h"
#include "query_env.h"

namespace mdb {

enum class TraceSelectorKind : uint8_t {
  Setting,        // settings[parameter]
  MaskedSetting,  // settings[parameter] AND mask
  PrinterData,    // the printer-data value named by key 8 for value-name number `parameter`
  Locale,         // the user locale's country code
  String,         // context string at position `parameter`
};

// What decided a switch, reported once the switch has formed it.
struct TraceSelector {
  TraceSelectorKind kind;
  uint32_t parameter;          // setting number, string position or value-name number
  uint32_t rawValue;           // the setting before the mask (MaskedSetting)
  uint32_t mask;               // MaskedSetting only
  uint32_t value;              // what the cases are compared with
  bool available;              // PrinterData: false when the value could not be read
  const char* text;            // String: the context string ("" for a null entry)
  const char16_t* valueName;   // PrinterData: the value name, valid during the callback only
};

// Callbacks, each optional. Depth 0 is the node a lookup or evaluation starts from; the
// nested evaluation of key 8 continues the depth of its switch.
struct EvalTracer {
  void* user;
  // A node is about to be evaluated.
  void (*enter)(void* user, uint32_t nodeIndex, DbNode node, uint32_t depth);
  // A SettingFilter met a guard: the setting it tested and whether the guard opened.
  void (*guard)(void* user, uint32_t guardIndex, uint32_t settingNumber, int32_t settingValue,
                bool opened);
  // A switch formed its selector.
  void (*selector)(void* user, uint32_t switchIndex, const TraceSelector& selector);
  // A case matched; the target is evaluated next.
  void (*caseMatched)(void* user, uint32_t switchIndex, uint32_t caseIndex, uint32_t targetIndex);
  // A node returned. A leaf returning 0 is the leaf that answered.
  void (*leave)(void* user, uint32_t nodeIndex, DbNode node, uint32_t depth, int32_t status);
};

inline void TraceGuard(const EvalTracer* tracer, uint32_t guardIndex, uint32_t settingNumber,
                       int32_t settingValue, bool opened) {
  if (tracer != nullptr && tracer->guard != nullptr) {
    tracer->guard(tracer->user, guardIndex, settingNumber, settingValue, opened);
  }
}

inline void TraceSelectorFormed(const EvalTracer* tracer, uint32_t switchIndex,
                                const TraceSelector& selector) {
  if (tracer != nullptr && tracer->selector != nullptr) {
    tracer->selector(tracer->user, switchIndex, selector);
  }
}

inline void TraceCaseMatched(const EvalTracer* tracer, uint32_t switchIndex, uint32_t caseIndex,
                             uint32_t targetIndex) {
  if (tracer != nullptr && tracer->caseMatched != nullptr) {
    tracer->caseMatched(tracer->user, switchIndex, caseIndex, targetIndex);
  }
}

}  // namespace mdb
