// The Drv dispatcher: item lists, command sequences and the selector key answered by code;
// every other Drv key goes down the generic path.
#pragma once

#include <cstdint>

#include "modeldb.h"
#include "query_env.h"

namespace mdb {

int32_t DrvDispatch(const QueryEnv& env, uint32_t key, const QueryContext* context,
                    uint32_t bufferSize, void* buffer, uint32_t* requiredSize);

}  // namespace mdb
