// Writes an image as C++ source: constexpr arrays and one DbImage with designated
// initializers, behind `const DbImage& ShippedImage()`.
#pragma once

#include <string>
#include <vector>

#include "owned_image.h"

namespace dbc {

// `sources` are named in the banner.
std::string WriteImageCpp(const OwnedImage& image, const std::vector<std::string>& sources);

// The sixteen counts, "name value" separated by commas, for the build log.
std::string CountsLine(const OwnedImage& image);

}  // namespace dbc
