#include "modeldb_client.h"

#include <cctype>
#include <cstdio>

namespace mpxq {

const CategoryInfo* FindCategory(std::string_view name) {
  for (const CategoryInfo& info : kCategories) {
    const std::string_view candidate = info.name;
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(name[i])) == candidate[i];
    }
    if (same) return &info;
  }
  return nullptr;
}

const CategoryInfo* CategoryOfKey(uint16_t key) {
  const auto high = static_cast<uint8_t>(key >> 12);
  for (const CategoryInfo& info : kCategories) {
    if (static_cast<uint8_t>(info.category) == high) return &info;
  }
  return nullptr;
}

std::string KeyLabel(const CategoryInfo& category, uint16_t key) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s key 0x%04X (%u)", category.label, key,
                static_cast<unsigned>(key));
  return buffer;
}

std::string StatusName(int32_t status) {
  switch (status) {
    case MPX_OK: return "ok";
    case MPX_NO_ANSWER: return "no answer";
    case MPX_BUFFER_TOO_SMALL: return "buffer too small";
    case MPX_KEY_NOT_FOUND: return "key not in the directory";
    case MPX_ERR_DATABASE: return "malformed database or resource failure";
    case MPX_ERR_STRINGS: return "context strings missing or too few";
    case MPX_ERR_SETTINGS: return "settings missing or too short";
    case MPX_ERR_CONTEXT: return "no context, or no printer handle where one is needed";
    default: return "unknown status";
  }
}

QueryContext ContextOf(const Query& query, std::vector<const char*>* stringPointers) {
  stringPointers->clear();
  for (const std::string& text : query.strings) stringPointers->push_back(text.c_str());
  QueryContext context{};
  context.hPrinter = nullptr;
  context.hostData = 0;
  if (query.passStrings) {
    context.stringCount = static_cast<uint32_t>(stringPointers->size());
    context.strings = stringPointers->empty() ? nullptr : stringPointers->data();
  }
  if (query.passSettings && !query.settings.empty()) {
    context.settingCount = static_cast<uint32_t>(query.settings.size());
    context.settings = query.settings.data();
  }
  context.printerName = query.printerName ? query.printerName->c_str() : nullptr;
  return context;
}

bool ModelDb::Load(const std::string& commandLinePath, std::string* error) {
  const std::vector<std::string> candidates = tools::LibraryCandidates(
      commandLinePath, "MPX_MODELDB_LIBRARY", MPXQ_MODELDB_BUILD_PATH, "libmodeldb.so");
  if (!library_.Load(candidates, error)) return false;
  for (const CategoryInfo& info : kCategories) {
    if (info.exportName == nullptr) continue;
    void* symbol = library_.Symbol(info.exportName, error);
    if (symbol == nullptr) return false;
    functions_[static_cast<size_t>(info.category)] = reinterpret_cast<QueryFunction>(symbol);
  }
  return true;
}

int32_t ModelDb::Ask(const Query& query, std::vector<uint8_t>* answer) const {
  answer->clear();
  const QueryFunction function = functions_[static_cast<size_t>(query.category->category)];
  if (function == nullptr) return MPX_NO_ANSWER;  // internal keys: no export answers them
  std::vector<const char*> strings;
  const QueryContext context = ContextOf(query, &strings);
  uint32_t size = 0;
  int32_t status = function(query.key, &context, 0, nullptr, &size);
  // A computed answer may grow between the calls; ask again while the library says so.
  for (int attempt = 0; attempt < 4 && status == MPX_BUFFER_TOO_SMALL; ++attempt) {
    answer->assign(size, 0);
    uint32_t written = size;
    status = function(query.key, &context, size, answer->empty() ? nullptr : answer->data(),
                      &written);
    if (status == MPX_OK) {
      answer->resize(written <= answer->size() ? written : answer->size());
    } else if (status == MPX_BUFFER_TOO_SMALL) {
      size = written;
    }
  }
  if (status != MPX_OK) answer->clear();
  return status;
}

int32_t AnswerValue(const std::vector<uint8_t>& answer, size_t index) {
  const size_t at = 4 * index;
  const uint32_t value = static_cast<uint32_t>(answer[at]) |
                         static_cast<uint32_t>(answer[at + 1]) << 8 |
                         static_cast<uint32_t>(answer[at + 2]) << 16 |
                         static_cast<uint32_t>(answer[at + 3]) << 24;
  return static_cast<int32_t>(value);
}

std::vector<int32_t> AnswerValues(const std::vector<uint8_t>& answer) {
  std::vector<int32_t> values;
  for (size_t i = 0; 4 * i + 3 < answer.size(); ++i) values.push_back(AnswerValue(answer, i));
  return values;
}

}  // namespace mpxq
