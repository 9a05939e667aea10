// Database nodes in words, for the explain listing and the key catalogue.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"

namespace mpxq {

const char* NodeTypeName(uint32_t type);
bool IsLeafNode(mdb::DbNode node);

// "SettingSwitch on setting 9, 2 cases", "SignedBytes @0x1007 x1 [24]", ...
std::string DescribeNode(const mdb::DbImage& image, mdb::DbNode node);
// A leaf's stored value: "[24]", "\"1.52\"", "1B 28 62 ... (52 bytes)"; computed leaves
// are named, not computed.
std::string LeafValueText(const mdb::DbImage& image, mdb::DbNode leaf);
// The text a StringCase compares with, quoted.
std::string StringCaseText(const mdb::DbImage& image, mdb::DbNode stringCase);
// The bounds of a RangeCase, "lo..hi".
std::string RangeCaseText(const mdb::DbImage& image, mdb::DbNode rangeCase);

}  // namespace mpxq
