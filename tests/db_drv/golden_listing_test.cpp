// The committed golden listing (tests/golden/answers.txt) must be what the shipped database
// answers now. On a difference the keys and inputs that changed are printed; after an
// intended change of the database source, regenerate with the golden-update target.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "golden_listing.h"

namespace {

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(GoldenAnswers, MatchTheCommittedListing) {
  const std::string committed = ReadFile(MPX_GOLDEN_ANSWERS);
  ASSERT_FALSE(committed.empty()) << "missing " << MPX_GOLDEN_ANSWERS;
  const std::string now = dbtest::GoldenListing();
  if (now == committed) return;
  std::string differences = dbtest::DescribeListingDifferences(committed, now);
  if (differences.size() > 20000) differences = differences.substr(0, 20000) + "...\n";
  ADD_FAILURE() << "the shipped database answers differently from " << MPX_GOLDEN_ANSWERS
                << " (if intended: cmake --build <dir> --target golden-update)\n"
                << (differences.empty() ? std::string("(only comments or line order differ)\n")
                                        : differences);
}

TEST(GoldenAnswers, DifferencesNameKeyAndInput) {
  const std::string before = "drv 4099 base: 0 size 8\ndrv 4099 s28=5: 1\nroot 2 base: 0\n";
  const std::string after = "drv 4099 base: 0 size 8\ndrv 4099 s28=5: 0 size 8\nroot 2 base: 0\n";
  EXPECT_EQ(dbtest::DescribeListingDifferences(before, after),
            "drv 4099:\n  - drv 4099 s28=5: 1\n  + drv 4099 s28=5: 0 size 8\n");
  EXPECT_EQ(dbtest::DescribeListingDifferences(before, before), "");
}

}  // namespace
