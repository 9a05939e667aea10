// The typed value fetch: turns an answering leaf into bytes in the caller's buffer under
// the size protocol (size first; pool bounds tested only when copying).
#pragma once

#include <cstdint>

#include "image.h"
#include "query_env.h"

namespace mdb {

int32_t FetchTypedValue(const QueryEnv& env, const QueryContext* context, uint32_t bufferSize,
                        void* buffer, uint32_t* requiredSize, DbNode leaf);

}  // namespace mdb
