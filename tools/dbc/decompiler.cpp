#include "decompiler.h"

namespace dbc {

std::string DecompileImage(const mdb::DbImage&) { return "# not yet\n"; }

}  // namespace dbc
