// What every internal query step works against: the image, and an optional trace hook
// for the explain tool (null in the shipped exports).
#pragma once

#include "image.h"

namespace mdb {

struct EvalTracer;  // trace.h

struct QueryEnv {
  const DbImage* image;
  const EvalTracer* tracer;  // may be null
};

// The environment of the exports: the shipped image, no tracing.
const QueryEnv& ShippedEnv();

}  // namespace mdb
