// Checks any image against the rules its readers rely on: every index and run inside its
// table, case kinds by switch kind, MaskHeaders only under their switch, StringCase strings
// inside the string pool, leaf labels in the directory, no cycles, paths within the
// evaluator's depth, selector rows inside their tables.
#pragma once

#include <string>
#include <vector>

#include "image.h"

namespace dbc {

// One line per problem ("node 12: ..."); empty for a sound image.
std::vector<std::string> CheckImage(const mdb::DbImage& image);

}  // namespace dbc
