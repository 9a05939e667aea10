// Decision-tree evaluation: the first leaf labelled with the key on the path the host's
// settings, context strings, printer data and locale select.
#pragma once

#include <cstdint>

#include "image.h"
#include "query_env.h"

namespace mdb {

// Deeper than any shipped path (12 nodes); a deeper (or cyclic) image answers -1.
inline constexpr uint32_t kMaxEvalDepth = 64;

// Directory search for key, then evaluation of its root for key.
int32_t LookupKey(const QueryEnv& env, uint32_t key, const QueryContext* context, DbNode* leaf);

// Evaluates node `nodeIndex` for key (a guard, value or default case evaluated directly is a
// Sequence). 0 with the leaf; 1 no answer; 3, -1, -2, -3, -4 as the node types decide.
int32_t EvaluateNode(const QueryEnv& env, uint32_t key, const QueryContext* context,
                     uint32_t nodeIndex, DbNode* leaf);

}  // namespace mdb
