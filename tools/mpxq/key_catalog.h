// The keys of a category with a one-line description: what the key answers where that is
// known, the leaf types that answer it and what its tree selects by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modeldb_client.h"

namespace mpxq {

struct KeyEntry {
  uint16_t key;
  std::string meaning;    // empty when the database does not tell
  std::string answers;    // "SignedBytes", "item records", ...
  std::string selectors;  // "settings 4, 9", empty when the key always answers the same
  bool inDirectory;       // false: answered by the Drv dispatcher's own code
};

std::vector<KeyEntry> CatalogKeys(const CategoryInfo& category);

// "<meaning>; <answers> by <selectors>"
std::string KeyDescription(const KeyEntry& entry);

}  // namespace mpxq
