// The Drv dispatcher. Until the list queries arrive every Drv key takes the generic path.
#include "drv_lists.h"

#include "entry.h"

namespace mdb {

int32_t DrvDispatch(const QueryEnv& env, uint32_t key, const QueryContext* context,
                    uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  return AnswerGeneric(env, key, context, bufferSize, buffer, requiredSize);
}

}  // namespace mdb
