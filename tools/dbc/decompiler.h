// Prints any image back as database source. For an image the compiler made, compiling the
// text again gives the same image byte for byte.
#pragma once

#include <string>

#include "image.h"

namespace dbc {

std::string DecompileImage(const mdb::DbImage& image);

}  // namespace dbc
