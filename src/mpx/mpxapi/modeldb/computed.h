// Computed values: answers built on the spot (page format for the user-defined size,
// printable-area records, paper length in dots, time setting, option flags, silent mode).
#pragma once

#include <cstdint>

#include "modeldb.h"
#include "query_env.h"

namespace mdb {

// Sub-codes 1-7; any other answers 1 and touches nothing. Writes the answer size on
// statuses 0 and 2.
int32_t ComputeValue(const QueryEnv& env, uint32_t subCode, const QueryContext* context,
                     uint32_t bufferSize, void* buffer, uint32_t* size);

}  // namespace mdb
