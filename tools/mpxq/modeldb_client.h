// The model database as a host sees it: the six exported query functions of the built
// libmodeldb, loaded at run time, and the size-then-answer protocol around them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library.h"
#include "modeldb.h"

namespace mpxq {

// Key categories by the high four bits of the key. Internal keys (5) have no export.
enum class Category : uint8_t { Root = 0, Drv = 1, LM = 2, Mnt = 3, PA = 4, Internal = 5, SM = 6 };

struct CategoryInfo {
  Category category;
  const char* name;        // as typed on the command line, lower case
  const char* label;       // as printed
  const char* exportName;  // null for the internal keys
  uint32_t settingCount;   // the category's settings array when none is given
};

inline constexpr CategoryInfo kCategories[] = {
    {Category::Root, "root", "Root", "MPX_AccessRootDataBase", 1},
    {Category::Drv, "drv", "Drv", "MPX_AccessDrvDataBase", 95},
    {Category::LM, "lm", "LM", "MPX_AccessLMDataBase", 13},
    {Category::Mnt, "mnt", "Mnt", "MPX_AccessMntDataBase", 1},
    {Category::PA, "pa", "PA", "MPX_AccessPADataBase", 4},
    {Category::Internal, "internal", "internal", nullptr, 95},
    {Category::SM, "sm", "SM", "MPX_AccessSMDataBase", 16},
};

// By name, ignoring case; null when unknown.
const CategoryInfo* FindCategory(std::string_view name);
// The category a key's high four bits name; null for 7-15.
const CategoryInfo* CategoryOfKey(uint16_t key);
// "Drv key 0x1007 (4103)".
std::string KeyLabel(const CategoryInfo& category, uint16_t key);

// A status of the query functions, in words.
std::string StatusName(int32_t status);

// Everything one query passes: the key, the settings, the context strings and the printer.
struct Query {
  const CategoryInfo* category = nullptr;
  uint16_t key = 0;
  std::vector<int32_t> settings;  // passed as is; empty means no settings array
  bool passSettings = true;
  std::vector<std::string> strings;  // position i is context string i
  bool passStrings = false;
  std::optional<std::u16string> printerName;
};

// A QueryContext pointing into the query (and into *stringPointers, which it fills).
QueryContext ContextOf(const Query& query, std::vector<const char*>* stringPointers);

class ModelDb {
 public:
  // Loads libmodeldb (see tools::LibraryCandidates); false with the reason.
  bool Load(const std::string& commandLinePath, std::string* error);
  const std::string& path() const { return library_.path(); }

  // Asks the key through its category's export: a size query, then the answer. The status
  // of the last call; *answer holds the answer when it is MPX_OK.
  int32_t Ask(const Query& query, std::vector<uint8_t>* answer) const;

 private:
  using QueryFunction = int32_t (*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);
  tools::SharedLibrary library_;
  QueryFunction functions_[7] = {};
};

// Little-endian 32-bit value i of an answer.
int32_t AnswerValue(const std::vector<uint8_t>& answer, size_t index);
std::vector<int32_t> AnswerValues(const std::vector<uint8_t>& answer);

}  // namespace mpxq
