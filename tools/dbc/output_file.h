// Files the compiler reads and writes. An output whose content is already current is left
// untouched, so the build sees no change and rebuilds nothing.
#pragma once

#include <string>

namespace dbc {

bool ReadWholeFile(const std::string& path, std::string* text);

// Writes through a temporary file renamed over the target; *written tells whether it did.
bool WriteFileIfChanged(const std::string& path, const std::string& content, bool* written);

}  // namespace dbc
