// The golden answer listing: for every key of every category the host can ask, its status
// and answer (size and digest) at every documented input, computed on the shipped image
// with the clock and the printer data fixed. Committed as tests/golden/answers.txt, so a
// change of the database source shows as the lines it changes.
#pragma once

#include <string>
#include <vector>

namespace dbtest {

// The whole listing, one line per entry, each ended by '\n'.
std::string GoldenListing();

// The lines of `expected` and `actual` that differ, grouped by the key they belong to; empty
// when the two are equal.
std::string DescribeListingDifferences(const std::string& expected, const std::string& actual);

}  // namespace dbtest
