// Decision-tree evaluation: a depth-first walk for one key, guided by the settings, the
// context strings, one printer-data value and the locale's country code.
#include "evaluator.h"

#include <climits>
#include <cstdlib>

#include "context.h"
#include "platform.h"
#include "trace.h"

namespace mdb {

namespace {

constexpr uint32_t kPrinterDataNameKey = 8;  // maps a value-name number to a printer-data name
constexpr uint32_t kLocaleTag = 0x500F;
constexpr int32_t kPrinterDataPreset = 0;    // one setting, one string
constexpr uint32_t kPrinterDataBytes = 4;

// Everything one evaluation carries down the tree.
struct Walk {
  const QueryEnv& env;
  const DbImage& image;
  uint32_t key;  // low 16 bits
  const QueryContext* context;
};

int32_t EvaluateAt(const Walk& walk, uint32_t index, DbNode* leaf, uint32_t depth);

bool IsLeafType(uint32_t type) {
  return (type >= static_cast<uint32_t>(NodeType::Bytes) &&
          type <= static_cast<uint32_t>(NodeType::WideText)) ||
         type == static_cast<uint32_t>(NodeType::Computed);
}

// Children f .. f + n - 1 in order; status 1 is the only result that goes on.
int32_t EvaluateSequence(const Walk& walk, DbNode node, DbNode* leaf, uint32_t depth) {
  if (walk.image.nodes == nullptr) return MPX_ERR_DATABASE;
  const uint32_t first = NodeIndex(node);
  const uint32_t n = NodeCount(node);
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t status = EvaluateAt(walk, first + i, leaf, depth + 1);
    if (status != MPX_NO_ANSWER) return status;
  }
  return MPX_NO_ANSWER;
}

// Like a sequence, but a SettingGuard child is evaluated only when setting p equals its value.
int32_t EvaluateFilter(const Walk& walk, DbNode node, DbNode* leaf, uint32_t depth) {
  if (walk.image.nodes == nullptr) return MPX_ERR_DATABASE;
  const uint32_t first = NodeIndex(node);
  const uint32_t n = NodeCount(node);
  const uint32_t setting = NodeParam(node);
  const QueryContext& context = *walk.context;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t childIndex = first + i;
    DbNode child{};
    if (!ReadNode(walk.image, childIndex, &child)) return MPX_ERR_DATABASE;
    if (NodeTypeCode(child) == static_cast<uint32_t>(NodeType::SettingGuard)) {
      if (context.settings == nullptr || setting >= context.settingCount) return MPX_ERR_SETTINGS;
      // Guard values are 0-65535: a negative setting or one above 65535 never opens a guard.
      const int32_t value = context.settings[setting];
      const bool opened = value == static_cast<int32_t>(NodeParam(child));
      TraceGuard(walk.env.tracer, childIndex, setting, value, opened);
      if (!opened) continue;
    }
    const int32_t status = EvaluateAt(walk, childIndex, leaf, depth + 1);
    if (status != MPX_NO_ANSWER) return status;
  }
  return MPX_NO_ANSWER;
}

// atoi without its undefined behaviour on overflow: leading blanks, a sign, digits.
int32_t ParseLeadingInt(const char* text) {
  const long parsed = std::strtol(text, nullptr, 10);
  if (parsed > INT32_MAX) return INT32_MAX;
  if (parsed < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(parsed);
}

// The user locale's country code (its international dialling code).
int32_t ReadCountryCode(uint32_t* code) {
  const int32_t length = plat::GetLocaleCountry(nullptr, 0);
  if (length <= 0) return MPX_ERR_DATABASE;
  auto* text = static_cast<char*>(plat::HeapAlloc(static_cast<uint32_t>(length), false));
  if (text == nullptr) return MPX_ERR_DATABASE;
  const int32_t written = plat::GetLocaleCountry(text, length);
  int32_t status = MPX_ERR_DATABASE;
  if (written != 0) {
    text[length - 1] = '\0';  // the text written ends with its NUL; this keeps atoi inside the block
    *code = static_cast<uint32_t>(ParseLeadingInt(text));
    status = MPX_OK;
  }
  plat::HeapFree(text);
  return status;
}

// Reads the 4-byte printer-data value whose name the WideText leaf `nameLeaf` stores.
// 0 with the value; 1 when the value is not available; -1 for a bad leaf or no memory.
int32_t ReadPrinterData(const Walk& walk, uint32_t switchIndex, uint32_t valueNameNumber,
                        DbNode nameLeaf, uint32_t* value) {
  if (NodeTypeCode(nameLeaf) != static_cast<uint32_t>(NodeType::WideText)) return MPX_ERR_DATABASE;
  const uint32_t offset = NodeIndex(nameLeaf);
  const uint32_t n = NodeCount(nameLeaf);
  const uint32_t byteCount = walk.image.counts[kByteCount];
  if (walk.image.bytePool == nullptr || offset > byteCount || n > byteCount - offset) {
    return MPX_ERR_DATABASE;
  }
  // One character more than the stored run, so the name is terminated even when the stored
  // text lacks its NUL.
  const uint32_t bytes = 2 * (n + 1);
  auto* name = static_cast<char16_t*>(plat::HeapAlloc(bytes, false));
  if (name == nullptr) return MPX_ERR_DATABASE;
  for (uint32_t i = 0; i < n; ++i) name[i] = walk.image.bytePool[offset + i];
  name[n] = u'\0';

  uint32_t type = plat::kRegDword;
  uint32_t needed = 0;
  uint8_t data[kPrinterDataBytes] = {0, 0, 0, 0};  // a shorter value leaves the rest 0
  const uint32_t error =
      plat::PrinterGetData(walk.context->hPrinter, name, &type, data, kPrinterDataBytes, &needed);
  const bool available = error == plat::kErrorSuccess;
  *value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  if (walk.env.tracer != nullptr) {
    TraceSelector selector{TraceSelectorKind::PrinterData, valueNameNumber, *value, 0, *value,
                           available, nullptr, name};
    TraceSelectorFormed(walk.env.tracer, switchIndex, selector);
  }
  plat::HeapFree(name);
  return available ? MPX_OK : MPX_NO_ANSWER;
}

// The name of a PrinterDataSwitch's value: key 8 evaluated with setting 0 = the value-name
// number, then the value read through the caller's printer. `start` becomes the last case
// when the value is unavailable and that case is a DefaultCase.
int32_t PrinterDataSelector(const Walk& walk, uint32_t switchIndex, DbNode node,
                            uint32_t nameKeyRoot, uint32_t firstCase, uint32_t depth,
                            uint32_t* selector, uint32_t* start) {
  const uint32_t valueNameNumber = NodeParam(node);
  const uint32_t n = NodeCount(node);

  QueryContext* derived = AllocDerivedContext(kPrinterDataPreset, nullptr);
  if (derived == nullptr) return MPX_ERR_DATABASE;
  DerivedSettings(derived)[0] = static_cast<int32_t>(valueNameNumber);
  const Walk nameWalk{walk.env, walk.image, kPrinterDataNameKey, derived};
  DbNode nameLeaf{};
  const int32_t named = EvaluateAt(nameWalk, nameKeyRoot, &nameLeaf, depth + 1);
  ReleaseDerivedContext(derived);
  if (named != MPX_OK) return MPX_ERR_DATABASE;

  if (walk.context->hPrinter == nullptr) return MPX_ERR_CONTEXT;
  const int32_t read = ReadPrinterData(walk, switchIndex, valueNameNumber, nameLeaf, selector);
  if (read == MPX_OK) return MPX_OK;
  if (read != MPX_NO_ANSWER) return read;

  // Value not available: only a DefaultCase in last position can still answer.
  if (n == 0) return MPX_NO_ANSWER;
  DbNode last{};
  if (!ReadNode(walk.image, firstCase + n - 1, &last)) return MPX_ERR_DATABASE;
  if (NodeTypeCode(last) != static_cast<uint32_t>(NodeType::DefaultCase)) return MPX_NO_ANSWER;
  *start = n - 1;
  return MPX_OK;
}

// SettingSwitch, MaskedSettingSwitch, PrinterDataSwitch and LocaleSwitch. The order of the
// steps decides which error wins: key 8 is searched before the printer handle is tested, and
// a selector that cannot be formed reports its error even with no cases.
int32_t EvaluateSwitch(const Walk& walk, uint32_t index, DbNode node, DbNode* leaf, uint32_t depth) {
  const uint32_t type = NodeTypeCode(node);
  const uint32_t p = NodeParam(node);
  const uint32_t n = NodeCount(node);

  uint32_t nameKeyRoot = 0;
  if (type == static_cast<uint32_t>(NodeType::PrinterDataSwitch)) {
    const int32_t found = DirectorySearch(walk.image, kPrinterDataNameKey, &nameKeyRoot, nullptr);
    if (found != MPX_OK) return found;
  }
  if (walk.image.nodes == nullptr) return MPX_ERR_DATABASE;
  uint32_t firstCase = NodeIndex(node);
  uint32_t mask = 0xFFFFFFFFu;

  if (type == static_cast<uint32_t>(NodeType::MaskedSettingSwitch)) {
    DbNode header{};
    if (!ReadNode(walk.image, firstCase, &header)) return MPX_ERR_DATABASE;
    if (NodeTypeCode(header) != static_cast<uint32_t>(NodeType::MaskHeader)) return MPX_ERR_DATABASE;
    mask = header.value;
    firstCase = NodeIndex(header);
  }

  uint32_t selector = 0;
  uint32_t start = 0;
  const QueryContext& context = *walk.context;
  if (type == static_cast<uint32_t>(NodeType::LocaleSwitch)) {
    if (p != kLocaleTag) return MPX_ERR_DATABASE;
    if (ReadCountryCode(&selector) != MPX_OK) return MPX_ERR_DATABASE;
    if (walk.env.tracer != nullptr) {
      TraceSelectorFormed(walk.env.tracer, index,
                          TraceSelector{TraceSelectorKind::Locale, p, selector, 0, selector, true,
                                        nullptr, nullptr});
    }
  } else if (type == static_cast<uint32_t>(NodeType::PrinterDataSwitch)) {
    const int32_t formed =
        PrinterDataSelector(walk, index, node, nameKeyRoot, firstCase, depth, &selector, &start);
    if (formed != MPX_OK) return formed;
  } else {
    if (context.settings == nullptr || p >= context.settingCount) return MPX_ERR_SETTINGS;
    const uint32_t raw = static_cast<uint32_t>(context.settings[p]);
    selector = raw & mask;
    if (walk.env.tracer != nullptr) {
      const bool masked = type == static_cast<uint32_t>(NodeType::MaskedSettingSwitch);
      TraceSelectorFormed(walk.env.tracer, index,
                          TraceSelector{masked ? TraceSelectorKind::MaskedSetting
                                               : TraceSelectorKind::Setting,
                                        p, raw, masked ? mask : 0, selector, true, nullptr, nullptr});
    }
  }

  for (uint32_t position = start; position < n; ++position) {
    const uint32_t caseIndex = firstCase + position;
    DbNode caseNode{};
    if (!ReadNode(walk.image, caseIndex, &caseNode)) return MPX_ERR_DATABASE;
    bool matches = false;
    switch (NodeTypeCode(caseNode)) {
      case static_cast<uint32_t>(NodeType::ValueCase):
        matches = selector == caseNode.value;
        break;
      case static_cast<uint32_t>(NodeType::RangeCase): {
        const uint32_t pair = caseNode.value;
        const uint32_t int32Count = walk.image.counts[kInt32Count];
        if (walk.image.int32Pool == nullptr || pair >= int32Count || pair + 1 >= int32Count) {
          return MPX_ERR_DATABASE;
        }
        const auto signedSelector = static_cast<int32_t>(selector);
        matches = walk.image.int32Pool[pair] <= signedSelector &&
                  signedSelector <= walk.image.int32Pool[pair + 1];
        break;
      }
      case static_cast<uint32_t>(NodeType::DefaultCase):
        matches = true;
        break;
      default:
        return MPX_ERR_DATABASE;
    }
    if (!matches) continue;
    const uint32_t target = NodeIndex(caseNode);
    if (target >= walk.image.counts[kNodeCount]) return MPX_ERR_DATABASE;
    TraceCaseMatched(walk.env.tracer, index, caseIndex, target);
    return EvaluateAt(walk, target, leaf, depth + 1);  // a matched case never falls through
  }
  return MPX_NO_ANSWER;
}

// A context string equals a pool string when it has exactly `length` bytes before its NUL
// and they are the pool's bytes (case-sensitive).
bool StringEquals(const char* text, const uint8_t* pool, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] == '\0' || static_cast<uint8_t>(text[i]) != pool[i]) return false;
  }
  return text[length] == '\0';
}

// StringSwitch: the context strings are read only once a StringCase is reached.
int32_t EvaluateStringSwitch(const Walk& walk, uint32_t index, DbNode node, DbNode* leaf,
                             uint32_t depth) {
  if (walk.image.nodes == nullptr) return MPX_ERR_DATABASE;
  const uint32_t first = NodeIndex(node);
  const uint32_t n = NodeCount(node);
  const uint32_t position = NodeParam(node);
  const uint32_t nodeCount = walk.image.counts[kNodeCount];
  const QueryContext& context = *walk.context;
  bool traced = false;

  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t caseIndex = first + i;
    DbNode caseNode{};
    if (!ReadNode(walk.image, caseIndex, &caseNode)) return MPX_ERR_DATABASE;
    const uint32_t caseType = NodeTypeCode(caseNode);
    const uint32_t target = NodeIndex(caseNode);

    if (caseType == static_cast<uint32_t>(NodeType::DefaultCase)) {
      if (target >= nodeCount) return MPX_ERR_DATABASE;
      TraceCaseMatched(walk.env.tracer, index, caseIndex, target);
      return EvaluateAt(walk, target, leaf, depth + 1);
    }
    if (caseType != static_cast<uint32_t>(NodeType::StringCase)) return MPX_ERR_DATABASE;

    DbNode descriptor{};
    if (!ReadNode(walk.image, caseNode.value, &descriptor)) return MPX_ERR_DATABASE;
    if (NodeTypeCode(descriptor) != static_cast<uint32_t>(NodeType::Bytes)) return MPX_ERR_DATABASE;
    const uint32_t offset = NodeIndex(descriptor);
    const uint32_t length = NodeCount(descriptor);
    if (context.strings == nullptr || position >= context.stringCount) return MPX_ERR_STRINGS;
    const char* text = context.strings[position] != nullptr ? context.strings[position] : "";
    if (walk.env.tracer != nullptr && !traced) {
      traced = true;
      TraceSelectorFormed(walk.env.tracer, index,
                          TraceSelector{TraceSelectorKind::String, position, 0, 0, 0, true, text,
                                        nullptr});
    }
    const uint32_t poolCount = walk.image.counts[kStringCount];
    if (walk.image.stringPool == nullptr || offset > poolCount || length > poolCount - offset) {
      return MPX_ERR_DATABASE;
    }
    if (!StringEquals(text, walk.image.stringPool + offset, length)) continue;
    if (target >= nodeCount) return MPX_ERR_DATABASE;
    TraceCaseMatched(walk.env.tracer, index, caseIndex, target);
    return EvaluateAt(walk, target, leaf, depth + 1);
  }
  return MPX_NO_ANSWER;
}

int32_t EvaluateBody(const Walk& walk, uint32_t index, DbNode node, DbNode* leaf, uint32_t depth) {
  const uint32_t type = NodeTypeCode(node);
  if (IsLeafType(type)) {
    if (NodeParam(node) != walk.key) return MPX_NO_ANSWER;
    *leaf = node;
    return MPX_OK;
  }
  switch (type) {
    // A guard, value case or default case evaluated directly is a Sequence.
    case static_cast<uint32_t>(NodeType::Sequence):
    case static_cast<uint32_t>(NodeType::SettingGuard):
    case static_cast<uint32_t>(NodeType::ValueCase):
    case static_cast<uint32_t>(NodeType::DefaultCase):
      return EvaluateSequence(walk, node, leaf, depth);
    case static_cast<uint32_t>(NodeType::SettingFilter):
      return EvaluateFilter(walk, node, leaf, depth);
    case static_cast<uint32_t>(NodeType::SettingSwitch):
    case static_cast<uint32_t>(NodeType::PrinterDataSwitch):
    case static_cast<uint32_t>(NodeType::LocaleSwitch):
    case static_cast<uint32_t>(NodeType::MaskedSettingSwitch):
      return EvaluateSwitch(walk, index, node, leaf, depth);
    case static_cast<uint32_t>(NodeType::StringSwitch):
      return EvaluateStringSwitch(walk, index, node, leaf, depth);
    default:  // 0, StringCase, MaskHeader, RangeCase and above 21
      return MPX_ERR_DATABASE;
  }
}

// Evaluates node `index`; the depth limit stops a cyclic (malformed) image.
int32_t EvaluateAt(const Walk& walk, uint32_t index, DbNode* leaf, uint32_t depth) {
  if (depth >= kMaxEvalDepth) return MPX_ERR_DATABASE;
  DbNode node{};
  if (!ReadNode(walk.image, index, &node)) return MPX_ERR_DATABASE;
  const EvalTracer* tracer = walk.env.tracer;
  if (tracer == nullptr) {
    // Most nodes a walk meets are leaves of other keys; a leaf is settled here, without the
    // call into the branch code.
    if (IsLeafType(NodeTypeCode(node))) {
      if (NodeParam(node) != walk.key) return MPX_NO_ANSWER;
      *leaf = node;
      return MPX_OK;
    }
    return EvaluateBody(walk, index, node, leaf, depth);
  }

  if (tracer->enter != nullptr) tracer->enter(tracer->user, index, node, depth);
  const int32_t status = EvaluateBody(walk, index, node, leaf, depth);
  if (tracer->leave != nullptr) tracer->leave(tracer->user, index, node, depth, status);
  return status;
}

}  // namespace

int32_t EvaluateNode(const QueryEnv& env, uint32_t key, const QueryContext* context,
                     uint32_t nodeIndex, DbNode* leaf) {
  if (leaf == nullptr || env.image == nullptr) return MPX_ERR_DATABASE;
  if (context == nullptr) return MPX_ERR_CONTEXT;
  const Walk walk{env, *env.image, key & 0xFFFFu, context};
  return EvaluateAt(walk, nodeIndex, leaf, 0);
}

int32_t LookupKey(const QueryEnv& env, uint32_t key, const QueryContext* context, DbNode* leaf) {
  if (env.image == nullptr) return MPX_ERR_DATABASE;
  uint32_t root = 0;
  const int32_t found = DirectorySearch(*env.image, key, &root, nullptr);
  if (found != MPX_OK) return found;
  return EvaluateNode(env, key, context, root, leaf);
}

}  // namespace mdb
