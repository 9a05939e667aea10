// The environment of the exports: the shipped image and no tracing.
#include "query_env.h"

namespace mdb {

namespace {
// Initialised once at load time; the image's address needs no ordering with its contents.
const QueryEnv kShippedEnv{&ShippedImage(), nullptr};
}  // namespace

const QueryEnv& ShippedEnv() { return kShippedEnv; }

}  // namespace mdb
