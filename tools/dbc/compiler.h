// The database compiler as a library: source text in, an image (owning its tables) out,
// with every problem in the diagnostics. Tests and fuzzers compile sources of their own
// and evaluate the result with the library's readers through ViewOf.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "owned_image.h"

namespace dbc {

struct SourceFile {
  std::string name;  // for messages
  std::string text;
};

// Parses the files in order, verifies and lays out. False on any error; image is then empty.
bool CompileSources(const std::vector<SourceFile>& files, OwnedImage* image, Diagnostics* diags);

// One source held in memory.
bool CompileText(std::string_view text, OwnedImage* image, Diagnostics* diags,
                 const std::string& name = "<source>");

}  // namespace dbc
