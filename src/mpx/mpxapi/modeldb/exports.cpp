// The six exported query functions: each runs the shared frame on the shipped image.
#include "entry.h"
#include "modeldb.h"

extern "C" {

MPX_EXPORT int32_t MPX_CALL MPX_AccessRootDataBase(uint32_t key, const QueryContext* context,
                                                   uint32_t bufferSize, void* buffer,
                                                   uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::Root, key, context, bufferSize, buffer,
                       requiredSize);
}

MPX_EXPORT int32_t MPX_CALL MPX_AccessDrvDataBase(uint32_t key, const QueryContext* context,
                                                  uint32_t bufferSize, void* buffer,
                                                  uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::Drv, key, context, bufferSize, buffer,
                       requiredSize);
}

MPX_EXPORT int32_t MPX_CALL MPX_AccessLMDataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::LM, key, context, bufferSize, buffer,
                       requiredSize);
}

MPX_EXPORT int32_t MPX_CALL MPX_AccessMntDataBase(uint32_t key, const QueryContext* context,
                                                  uint32_t bufferSize, void* buffer,
                                                  uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::Mnt, key, context, bufferSize, buffer,
                       requiredSize);
}

MPX_EXPORT int32_t MPX_CALL MPX_AccessPADataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::PA, key, context, bufferSize, buffer,
                       requiredSize);
}

MPX_EXPORT int32_t MPX_CALL MPX_AccessSMDataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::SM, key, context, bufferSize, buffer,
                       requiredSize);
}

}  // extern "C"
