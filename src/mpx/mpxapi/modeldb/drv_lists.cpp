// The Drv dispatcher. Three kinds of keys are answered here:
//  - item lists: 20-byte records, one per choice of a setting, completed with values the
//    database attaches to each choice (item pool, internal keys asked with the setting set to
//    the choice, availability against another list, a mark for one item);
//  - command sequences: the byte answers of internal key 20488 from the nodes listed for the
//    key, sized in one pass and joined in a second;
//  - the selector key: four rows of the selector row tables chosen by six settings.
// Every other Drv key takes the generic path. Every index read from the image is tested
// against its count when it is read; a malformed image answers -1.
#include "drv_lists.h"

#include <cstring>

#include "context.h"
#include "entry.h"
#include "evaluator.h"
#include "fetch.h"
#include "image.h"
#include "platform.h"

namespace mdb {
namespace {

// ---- Item records -------------------------------------------------------------------------

constexpr uint32_t kRecordFields = 5;
constexpr uint32_t kRecordSize = kRecordFields * 4;

enum RecordField : uint8_t {
  kFieldId = 0,      // the choice
  kFieldValue = 1,   // item value, or the attached value of a setting-8 list
  kFieldFirst = 2,   // first completion value
  kFieldSecond = 3,  // second completion value or availability mark
  kFieldMark = 4,    // the mark key's value for the one item it names
};

constexpr int32_t kDrvPreset = 1;  // derived context of the Drv category: 95 settings

constexpr uint16_t kNone = 0xFFFF;

// Internal keys of the item lists.
constexpr uint16_t kMarkSetting7 = 0x5002;
constexpr uint16_t kMarkSetting4 = 0x5003;
constexpr uint16_t kMarkSetting5 = 0x5004;
constexpr uint16_t kStrictMarkSetting8 = 0x5005;
constexpr uint16_t kSetting8Value = 0x5006;
constexpr uint16_t kSetting8First = 0x5007;
constexpr uint16_t kSetting4Second = 0x500B;
constexpr uint16_t kSetting4First = 0x500C;
constexpr uint16_t kMarkKey4116 = 0x500D;
constexpr uint16_t kPaperSizeFirst = 0x500E;
constexpr uint16_t kMarkKeys4173And4174 = 0x5010;
constexpr uint16_t kMarkKey4180 = 0x5011;

// Key 4113 marks which of its choices key 4112 lists.
constexpr uint16_t kAvailabilityKey = 4112;

enum class IdSource : uint8_t {
  Tree,      // the key's own leaf, answered for the current settings
  Category,  // every item of the category, whatever the settings
};

enum class MarkMode : uint8_t {
  None,      // field 4 untouched
  Tolerant,  // a mark key without an answer leaves every mark 0
  Strict,    // a mark key without an answer is the answer
};

struct CompletionQuery {
  uint16_t key;
  uint8_t field;
};

// Internal keys asked once per record in a derived context whose `setting` holds the id.
struct Completion {
  uint16_t setting;  // kNone: no completion
  uint8_t queryCount;
  CompletionQuery queries[2];
};

constexpr Completion kNoCompletion{kNone, 0, {}};
constexpr Completion kSetting4Completion{4, 2, {{kSetting4First, kFieldFirst},
                                                {kSetting4Second, kFieldSecond}}};
constexpr Completion kPaperSizeCompletion{28, 1, {{kPaperSizeFirst, kFieldFirst}, {}}};
constexpr Completion kSetting8Completion{8, 2, {{kSetting8Value, kFieldValue},
                                                {kSetting8First, kFieldFirst}}};

struct ItemListKey {
  uint16_t key;
  IdSource ids;
  uint16_t category;  // the category of the ids and of the check of field 1; kNone: no check
  Completion completion;
  bool availability;  // field 3 against the ids of key 4112
  MarkMode mark;
  uint16_t markKey;
};

constexpr ItemListKey kItemListKeys[] = {
    {4108, IdSource::Tree, 4, kSetting4Completion, false, MarkMode::Tolerant, kMarkSetting4},
    {4109, IdSource::Category, 4, kSetting4Completion, false, MarkMode::Tolerant, kMarkSetting4},
    {4110, IdSource::Tree, 5, kNoCompletion, false, MarkMode::Tolerant, kMarkSetting5},
    {4111, IdSource::Category, 5, kNoCompletion, false, MarkMode::Tolerant, kMarkSetting5},
    {4112, IdSource::Tree, 28, kPaperSizeCompletion, false, MarkMode::None, kNone},
    {4113, IdSource::Tree, 28, kPaperSizeCompletion, true, MarkMode::None, kNone},
    {4114, IdSource::Tree, 7, kNoCompletion, false, MarkMode::Tolerant, kMarkSetting7},
    {4115, IdSource::Category, 7, kNoCompletion, false, MarkMode::Tolerant, kMarkSetting7},
    {4116, IdSource::Tree, kNone, kNoCompletion, false, MarkMode::Tolerant, kMarkKey4116},
    {4118, IdSource::Tree, kNone, kSetting8Completion, false, MarkMode::Strict,
     kStrictMarkSetting8},
    {4119, IdSource::Tree, kNone, kNoCompletion, false, MarkMode::Strict, kStrictMarkSetting8},
    {4173, IdSource::Tree, kNone, kNoCompletion, false, MarkMode::Tolerant, kMarkKeys4173And4174},
    {4174, IdSource::Tree, kNone, kNoCompletion, false, MarkMode::Tolerant, kMarkKeys4173And4174},
    {4177, IdSource::Tree, 5, kNoCompletion, false, MarkMode::None, kNone},
    {4180, IdSource::Tree, 28, kPaperSizeCompletion, false, MarkMode::Tolerant, kMarkKey4180},
};

// ---- Command sequences and the selector ------------------------------------------------

constexpr uint16_t kFirstCommandSequenceKey = 4120;
constexpr uint16_t kLastCommandSequenceKey = 4125;
constexpr uint16_t kCommandFragmentKey = 0x5008;

constexpr uint16_t kSelectorKey = 4126;
constexpr uint32_t kSelectorAnswerSize = 192;  // the four rows fill bytes 0-171
constexpr uint32_t kSelectorLastSetting = 81;

// ---- Helpers ----------------------------------------------------------------------------

uint32_t GetLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

void PutLe32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

uint8_t* Field(uint8_t* records, uint32_t record, uint32_t field) {
  return records + record * kRecordSize + field * 4;
}

bool HasSettingsAbove(const QueryContext* context, uint32_t setting) {
  return context->settings != nullptr && context->settingCount > setting;
}

// A fetch into room the list code sized itself. Status 2 there means the stored answer is
// larger than the slot: a malformed image, not a size the host could provide.
int32_t FetchInto(const QueryEnv& env, const QueryContext* context, DbNode leaf, uint8_t* at,
                  uint32_t room, uint32_t* fetched) {
  *fetched = 0;
  const int32_t status = FetchTypedValue(env, context, room, at, fetched, leaf);
  if (status == MPX_BUFFER_TOO_SMALL) return MPX_ERR_DATABASE;
  return status;
}

// Looks the key up and fetches its answer into a 32-bit field.
int32_t LookupAndFetchField(const QueryEnv& env, uint32_t key, const QueryContext* context,
                            uint8_t* field) {
  DbNode leaf{};
  int32_t status = LookupKey(env, key, context, &leaf);
  if (status != MPX_OK) return status;
  uint32_t fetched = 0;
  status = FetchInto(env, context, leaf, field, 4, &fetched);
  if (status != MPX_OK) return status;
  return fetched > 4 ? MPX_ERR_DATABASE : MPX_OK;
}

// First entry of the category table whose id equals `id`; false when absent.
bool FindCategory(const DbImage& image, uint16_t id, uint32_t* position) {
  if (image.categoryIds == nullptr || image.categoryCounts == nullptr ||
      image.categoryStarts == nullptr || image.itemIds == nullptr || image.itemValues == nullptr)
    return false;
  for (uint32_t i = 0; i < image.counts[kCategoryCount]; ++i) {
    if (image.categoryIds[i] == id) {
      *position = i;
      return true;
    }
  }
  return false;
}

bool ItemPositionValid(const DbImage& image, uint32_t start, uint32_t offset) {
  return static_cast<uint64_t>(start) + offset < image.counts[kItemCount];
}

// ---- Item lists -----------------------------------------------------------------------------

// The key's own leaf: n ids fetched to the start of the buffer.
int32_t IdsFromTree(const QueryEnv& env, uint32_t key, const QueryContext* context,
                    uint32_t bufferSize, void* buffer, uint32_t* requiredSize, uint32_t* count) {
  DbNode leaf{};
  int32_t status = LookupKey(env, key, context, &leaf);
  if (status != MPX_OK) return status;
  const uint32_t n = NodeCount(leaf);
  const uint32_t needed = n * kRecordSize;
  if (bufferSize < needed || buffer == nullptr) {
    *requiredSize = needed;
    return MPX_BUFFER_TOO_SMALL;
  }
  uint32_t fetched = 0;
  status = FetchInto(env, context, leaf, static_cast<uint8_t*>(buffer), needed, &fetched);
  if (status != MPX_OK) return status;
  *count = n;
  return MPX_OK;
}

// Every item of the category, its ids zero-extended to 32 bits.
int32_t IdsFromCategory(const DbImage& image, uint16_t category, uint32_t bufferSize,
                        void* buffer, uint32_t* requiredSize, uint32_t* count) {
  uint32_t position = 0;
  if (!FindCategory(image, category, &position)) return MPX_NO_ANSWER;
  const uint32_t n = image.categoryCounts[position];
  const uint32_t start = image.categoryStarts[position];
  const uint32_t needed = n * kRecordSize;
  if (bufferSize < needed || buffer == nullptr) {
    *requiredSize = needed;
    return MPX_BUFFER_TOO_SMALL;
  }
  if (n > 0 && !ItemPositionValid(image, start, n - 1)) return MPX_ERR_DATABASE;
  auto* slots = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < n; ++i) PutLe32(slots + 4 * i, image.itemIds[start + i]);
  *count = n;
  return MPX_OK;
}

// Moves id k from 32-bit slot k to field 0 of record k, downward so that no id is
// overwritten before it has moved, and clears slot k.
void SpreadIds(uint8_t* records, uint32_t n) {
  for (uint32_t k = n; k-- > 1;) {
    std::memcpy(Field(records, k, kFieldId), records + 4 * k, 4);
    PutLe32(records + 4 * k, 0);
  }
}

// Field 1 = the item value of each record's id; an id outside the category answers 1.
int32_t CheckCategory(const DbImage& image, uint16_t category, uint8_t* records, uint32_t n) {
  uint32_t position = 0;
  if (!FindCategory(image, category, &position)) return MPX_NO_ANSWER;
  const uint32_t items = image.categoryCounts[position];
  const uint32_t start = image.categoryStarts[position];
  if (n > items) return MPX_ERR_DATABASE;
  for (uint32_t r = 0; r < n; ++r) {
    const uint32_t id = GetLe32(Field(records, r, kFieldId));
    bool found = false;
    for (uint32_t j = 0; j < items && !found; ++j) {
      if (!ItemPositionValid(image, start, j)) return MPX_ERR_DATABASE;
      if (image.itemIds[start + j] == id) {
        PutLe32(Field(records, r, kFieldValue), image.itemValues[start + j]);
        found = true;
      }
    }
    if (!found) return MPX_NO_ANSWER;
  }
  return MPX_OK;
}

int32_t CompleteRecords(const QueryEnv& env, const Completion& completion, QueryContext* derived,
                        uint8_t* records, uint32_t n) {
  int32_t* settings = DerivedSettings(derived);
  if (settings == nullptr || derived->settingCount <= completion.setting) return MPX_ERR_DATABASE;
  for (uint32_t r = 0; r < n; ++r) {
    settings[completion.setting] = static_cast<int32_t>(GetLe32(Field(records, r, kFieldId)));
    for (uint32_t q = 0; q < completion.queryCount; ++q) {
      const CompletionQuery& query = completion.queries[q];
      const int32_t status =
          LookupAndFetchField(env, query.key, derived, Field(records, r, query.field));
      if (status != MPX_OK) return status;
    }
  }
  return MPX_OK;
}

// The completion queries, in one derived context copied from the working context.
int32_t RunCompletion(const QueryEnv& env, const Completion& completion,
                      const QueryContext* context, uint8_t* records, uint32_t n) {
  if (!HasSettingsAbove(context, completion.setting)) return MPX_ERR_SETTINGS;
  QueryContext* derived = AllocDerivedContext(kDrvPreset, context);
  if (derived == nullptr) return MPX_ERR_DATABASE;
  const int32_t status = CompleteRecords(env, completion, derived, records, n);
  ReleaseDerivedContext(derived);
  return status;
}

// Walks the records with a cursor into key 4112's ids (same order, a subset): field 3 = 0
// for a record the cursor names, 1 for any other.
int32_t WalkAvailability(const uint8_t* ids, uint32_t m, uint8_t* records, uint32_t n) {
  uint32_t cursor = 0;
  for (uint32_t r = 0; r < n; ++r) {
    if (cursor == m) return MPX_ERR_DATABASE;
    if (GetLe32(Field(records, r, kFieldId)) == GetLe32(ids + 4 * cursor)) {
      PutLe32(Field(records, r, kFieldSecond), 0);
      ++cursor;
    } else {
      PutLe32(Field(records, r, kFieldSecond), 1);
    }
  }
  return MPX_OK;
}

int32_t MarkAvailability(const QueryEnv& env, const QueryContext* context, uint8_t* records,
                         uint32_t n) {
  DbNode leaf{};
  int32_t status = LookupKey(env, kAvailabilityKey, context, &leaf);
  if (status != MPX_OK) return status;
  const uint32_t m = NodeCount(leaf);
  const uint32_t idsSize = m * 4;
  // One slot at least, so that an empty list still has a block to fetch into.
  auto* ids = static_cast<uint8_t*>(plat::HeapAlloc(idsSize > 0 ? idsSize : 4, false));
  if (ids == nullptr) return MPX_ERR_DATABASE;
  uint32_t fetched = 0;
  status = FetchInto(env, context, leaf, ids, idsSize, &fetched);
  if (status == MPX_OK && fetched != idsSize) status = MPX_ERR_DATABASE;
  if (status == MPX_OK) status = WalkAvailability(ids, m, records, n);
  plat::HeapFree(ids);
  return status;
}

// Field 4 from the mark key's pair [item id, mark value].
int32_t MarkRecords(const QueryEnv& env, const ItemListKey& list, const QueryContext* context,
                    uint8_t* records, uint32_t n) {
  if (list.mark == MarkMode::Tolerant) {
    for (uint32_t r = 0; r < n; ++r) PutLe32(Field(records, r, kFieldMark), 0);
  }
  DbNode leaf{};
  int32_t status = LookupKey(env, list.markKey, context, &leaf);
  if (status != MPX_OK) {
    // A tolerant list without a mark for these settings (or without a mark key) marks nothing.
    const bool noMark = status == MPX_NO_ANSWER || status == MPX_KEY_NOT_FOUND;
    return list.mark == MarkMode::Tolerant && noMark ? MPX_OK : status;
  }
  uint8_t pair[8] = {};
  uint32_t fetched = 0;
  status = FetchInto(env, context, leaf, pair, sizeof pair, &fetched);
  if (status != MPX_OK) return status;
  if (fetched != sizeof pair) return MPX_ERR_DATABASE;
  const uint32_t markedId = GetLe32(pair);
  const uint32_t markValue = GetLe32(pair + 4);
  for (uint32_t r = 0; r < n; ++r) {
    if (GetLe32(Field(records, r, kFieldId)) == markedId)
      PutLe32(Field(records, r, kFieldMark), markValue);
    else if (list.mark == MarkMode::Strict)
      PutLe32(Field(records, r, kFieldMark), 0);
  }
  return MPX_OK;
}

// On success requiredSize stays as the caller had it: the host knows the size it passed.
int32_t AnswerItemList(const QueryEnv& env, const ItemListKey& list, const QueryContext* context,
                       uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  uint32_t n = 0;
  int32_t status =
      list.ids == IdSource::Tree
          ? IdsFromTree(env, list.key, context, bufferSize, buffer, requiredSize, &n)
          : IdsFromCategory(*env.image, list.category, bufferSize, buffer, requiredSize, &n);
  if (status != MPX_OK) return status;

  auto* records = static_cast<uint8_t*>(buffer);
  SpreadIds(records, n);
  if (list.category != kNone) {
    status = CheckCategory(*env.image, list.category, records, n);
    if (status != MPX_OK) return status;
  }
  if (list.completion.setting != kNone) {
    status = RunCompletion(env, list.completion, context, records, n);
    if (status != MPX_OK) return status;
  }
  if (list.availability) {
    status = MarkAvailability(env, context, records, n);
    if (status != MPX_OK) return status;
  }
  if (list.mark == MarkMode::None) return MPX_OK;
  return MarkRecords(env, list, context, records, n);
}

// ---- Command sequences ------------------------------------------------------------------------

// Evaluates key 20488 from each listed node into parts[] (tag 0: the part is absent), sizes
// the present parts, then joins them into the buffer.
int32_t JoinParts(const QueryEnv& env, const QueryContext* context, uint32_t start,
                  uint32_t count, DbNode* parts, uint32_t bufferSize, void* buffer,
                  uint32_t* requiredSize) {
  const DbImage& image = *env.image;
  for (uint32_t j = 0; j < count; ++j) {
    const uint64_t position = static_cast<uint64_t>(start) + j;
    if (position >= image.counts[kNodeIndexCount]) return MPX_ERR_DATABASE;
    const uint32_t node = image.nodeIndexList[position];
    if (node >= image.counts[kNodeCount]) return MPX_ERR_DATABASE;
    parts[j] = DbNode{0, 0};
    const int32_t status = EvaluateNode(env, kCommandFragmentKey, context, node, &parts[j]);
    if (status == MPX_NO_ANSWER)
      parts[j] = DbNode{0, 0};
    else if (status != MPX_OK)
      return status;
  }

  // A computed part only reports its size here; it is computed in the second pass.
  uint64_t total = 0;
  for (uint32_t j = 0; j < count; ++j) {
    if (parts[j].tag == 0) continue;
    uint32_t size = 0;
    const int32_t status = FetchTypedValue(env, context, 0, nullptr, &size, parts[j]);
    if (status != MPX_OK && status != MPX_BUFFER_TOO_SMALL) return status;
    total += size;
  }
  if (total > UINT32_MAX) return MPX_ERR_DATABASE;
  // A null buffer is a size query whatever bufferSize says.
  if (buffer == nullptr || total > bufferSize) {
    *requiredSize = static_cast<uint32_t>(total);
    return MPX_BUFFER_TOO_SMALL;
  }

  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t written = 0;
  for (uint32_t j = 0; j < count; ++j) {
    if (parts[j].tag == 0) continue;
    uint32_t size = 0;
    // A part larger than in the first pass cannot be the host's fault.
    const int32_t status =
        FetchInto(env, context, parts[j], out + written, bufferSize - written, &size);
    if (status != MPX_OK) return status;
    written += size;
  }
  *requiredSize = written;
  return MPX_OK;
}

int32_t AnswerCommandSequence(const QueryEnv& env, uint32_t key, const QueryContext* context,
                              uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  const DbImage& image = *env.image;
  if (image.listKeys == nullptr || image.listCounts == nullptr || image.listStarts == nullptr ||
      image.nodeIndexList == nullptr || image.nodes == nullptr)
    return MPX_NO_ANSWER;
  uint32_t entry = 0;
  while (entry < image.counts[kListKeyCount] && image.listKeys[entry] != key) ++entry;
  if (entry == image.counts[kListKeyCount]) return MPX_NO_ANSWER;

  const uint32_t count = image.listCounts[entry];
  // One leaf per part; one at least, so that an empty list still has its block.
  auto* parts = static_cast<DbNode*>(
      plat::HeapAlloc(static_cast<uint32_t>(sizeof(DbNode)) * (count > 0 ? count : 1), false));
  if (parts == nullptr) return MPX_ERR_DATABASE;
  const int32_t status = JoinParts(env, context, image.listStarts[entry], count, parts,
                                   bufferSize, buffer, requiredSize);
  plat::HeapFree(parts);
  return status;
}

// ---- Selector ---------------------------------------------------------------------------------

bool SelectorMatches(const SelectorRecord& record, const int32_t* settings) {
  return record.setting4 == settings[4] && record.setting9 == settings[9] &&
         record.setting5 == settings[5] && record.setting8 == settings[8] &&
         record.setting6 == settings[6] && record.setting81 == settings[81];
}

int32_t AnswerSelector(const QueryEnv& env, const QueryContext* context, uint32_t bufferSize,
                       void* buffer, uint32_t* requiredSize) {
  const DbImage& image = *env.image;
  if (image.selectors == nullptr) return MPX_ERR_DATABASE;
  for (const uint8_t* table : image.rowTables) {
    if (table == nullptr) return MPX_ERR_DATABASE;
  }
  if (!HasSettingsAbove(context, kSelectorLastSetting)) return MPX_ERR_SETTINGS;
  if (bufferSize < kSelectorAnswerSize || buffer == nullptr) {
    *requiredSize = kSelectorAnswerSize;
    return MPX_BUFFER_TOO_SMALL;
  }

  for (uint32_t i = 0; i < image.counts[kSelectorCount]; ++i) {
    const SelectorRecord& record = image.selectors[i];
    if (!SelectorMatches(record, context->settings)) continue;
    const uint16_t rows[kSelectorRowTables] = {record.row1, record.row2, record.row3, record.row4};
    for (uint32_t t = 0; t < kSelectorRowTables; ++t) {
      if (rows[t] >= image.counts[kRowTable1Count + t]) return MPX_ERR_DATABASE;
    }
    // Rows back to back from offset 0; bytes 172-191 stay as the caller had them.
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t offset = 0;
    for (uint32_t t = 0; t < kSelectorRowTables; ++t) {
      std::memcpy(out + offset, image.rowTables[t] + rows[t] * kSelectorRowSize[t],
                  kSelectorRowSize[t]);
      offset += kSelectorRowSize[t];
    }
    *requiredSize = kSelectorAnswerSize;
    return MPX_OK;
  }
  return MPX_NO_ANSWER;
}

const ItemListKey* FindItemListKey(uint16_t key) {
  for (const ItemListKey& list : kItemListKeys) {
    if (list.key == key) return &list;
  }
  return nullptr;
}

}  // namespace

int32_t DrvDispatch(const QueryEnv& env, uint32_t key, const QueryContext* context,
                    uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  const auto key16 = static_cast<uint16_t>(key & 0xFFFFu);
  const ItemListKey* list = FindItemListKey(key16);
  const bool sequence = key16 >= kFirstCommandSequenceKey && key16 <= kLastCommandSequenceKey;
  if (list == nullptr && !sequence && key16 != kSelectorKey)
    return AnswerGeneric(env, key, context, bufferSize, buffer, requiredSize);

  if (context == nullptr) return MPX_ERR_CONTEXT;
  if (env.image == nullptr || requiredSize == nullptr) return MPX_ERR_DATABASE;
  if (list != nullptr) return AnswerItemList(env, *list, context, bufferSize, buffer, requiredSize);
  if (sequence) return AnswerCommandSequence(env, key16, context, bufferSize, buffer, requiredSize);
  return AnswerSelector(env, context, bufferSize, buffer, requiredSize);
}

}  // namespace mdb
