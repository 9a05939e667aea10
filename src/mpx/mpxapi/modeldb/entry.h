// The query frame shared by the six exports, callable on any image.
#pragma once

#include <cstdint>

#include "modeldb.h"
#include "query_env.h"

namespace mdb {

enum class Category : uint8_t { Root = 0, Drv = 1, LM = 2, Mnt = 3, PA = 4, SM = 6 };

// The entry-point frame: context and key-range checks, working copy, printer opened by name
// and closed again, then the category's answer.
int32_t RunQuery(const QueryEnv& env, Category category, uint32_t key, const QueryContext* context,
                 uint32_t bufferSize, void* buffer, uint32_t* requiredSize);

// Key lookup and typed fetch against an already prepared working context.
int32_t AnswerGeneric(const QueryEnv& env, uint32_t key, const QueryContext* context,
                      uint32_t bufferSize, void* buffer, uint32_t* requiredSize);

}  // namespace mdb
