// The entry-point frame shared by the six exports, and the generic answer path.
#include "entry.h"

#include "drv_lists.h"
#include "evaluator.h"
#include "fetch.h"
#include "platform.h"

namespace mdb {

namespace {

// A category accepts the keys whose high four bits name it and whose low twelve bits are not
// all zero.
bool KeyInCategory(Category category, uint16_t key) {
  const uint32_t base = static_cast<uint32_t>(category) << 12;
  return key >= base + 1 && key <= base + 0x0FFFu;
}

}  // namespace

int32_t AnswerGeneric(const QueryEnv& env, uint32_t key, const QueryContext* context,
                      uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  DbNode leaf{};
  const int32_t found = LookupKey(env, key, context, &leaf);
  if (found != MPX_OK) return found;
  return FetchTypedValue(env, context, bufferSize, buffer, requiredSize, leaf);
}

int32_t RunQuery(const QueryEnv& env, Category category, uint32_t key, const QueryContext* context,
                 uint32_t bufferSize, void* buffer, uint32_t* requiredSize) {
  if (context == nullptr) return MPX_ERR_CONTEXT;  // before the key test
  const auto key16 = static_cast<uint16_t>(key & 0xFFFFu);
  if (!KeyInCategory(category, key16)) return MPX_NO_ANSWER;
  // Every answer path writes the size; a caller without a size output gets an error, not a
  // write through null.
  if (requiredSize == nullptr) return MPX_ERR_DATABASE;

  QueryContext working = *context;
  const bool openByName = context->hPrinter == nullptr && context->printerName != nullptr;
  if (openByName) {
    void* handle = nullptr;
    // An unopenable printer is not an error: keys that need no printer still answer.
    working.hPrinter = plat::PrinterOpen(context->printerName, &handle) ? handle : nullptr;
  }

  const int32_t status =
      category == Category::Drv
          ? DrvDispatch(env, key16, &working, bufferSize, buffer, requiredSize)
          : AnswerGeneric(env, key16, &working, bufferSize, buffer, requiredSize);

  // Close exactly the handle opened above; a caller's handle is never closed.
  if (openByName && working.hPrinter != nullptr) plat::PrinterClose(working.hPrinter);
  return status;
}

}  // namespace mdb
