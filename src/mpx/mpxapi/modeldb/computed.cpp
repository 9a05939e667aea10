// Computed values. Sub-codes 1-7 arrive with the computed-value operations; until then
// every sub-code answers "no answer", as sub-codes outside 1-7 always do.
#include "computed.h"

namespace mdb {

int32_t ComputeValue(const QueryEnv& /*env*/, uint32_t /*subCode*/, const QueryContext* /*context*/,
                     uint32_t /*bufferSize*/, void* /*buffer*/, uint32_t* /*size*/) {
  return MPX_NO_ANSWER;
}

}  // namespace mdb
