// Derived contexts: QueryContext blocks the library allocates for its own internal queries,
// sized by a preset (one per key category).
#pragma once

#include <cstdint>

#include "modeldb.h"

namespace mdb {

// Preset 0-5 (settings, strings): (1,1) (95,0) (13,5) (1,0) (4,0) (16,9). Copies hPrinter,
// hostData and the first settings and string pointers of source (may be null); the entries
// not copied are cleared. Null for another preset or when memory is exhausted.
QueryContext* AllocDerivedContext(int32_t preset, const QueryContext* source);
void ReleaseDerivedContext(QueryContext* context);  // null is allowed

}  // namespace mdb
