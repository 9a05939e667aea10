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

// The block size of a preset's derived context: the header, the settings area and the
// strings area (28 + 4 x (settings + strings) bytes with 32-bit pointers); 0 for another
// preset.
uint32_t DerivedContextBlockSize(int32_t preset);

// The writable settings and strings areas of a context from AllocDerivedContext (the header
// exposes them read-only). The strings area is null for a preset without strings.
int32_t* DerivedSettings(QueryContext* derived);
const char** DerivedStrings(QueryContext* derived);

}  // namespace mdb
