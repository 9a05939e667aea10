// The image built into the library, printed back as source and compiled again, is the same
// image in every table and count.
#include <gtest/gtest.h>

#include "compiler.h"
#include "decompiler.h"
#include "image.h"
#include "image_check.h"

namespace {

TEST(ShippedImage, PassesTheImageChecks) {
  const std::vector<std::string> problems = dbc::CheckImage(mdb::ShippedImage());
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  EXPECT_TRUE(problems.empty()) << all;
}

TEST(ShippedImage, DecompiledSourceCompilesToTheSameImage) {
  const mdb::DbImage& shipped = mdb::ShippedImage();
  const std::string text = dbc::DecompileImage(shipped);
  dbc::OwnedImage again;
  dbc::Diagnostics diags;
  ASSERT_TRUE(dbc::CompileText(text, &again, &diags, "dump.mdb")) << dbc::FormatAll(diags);
  std::string difference;
  EXPECT_TRUE(dbc::SameImage(shipped, dbc::ViewOf(again), &difference)) << difference;
  for (uint32_t i = 0; i < mdb::kCountSlots; ++i) {
    EXPECT_EQ(dbc::CountsOf(again)[i], shipped.counts[i]) << dbc::kCountNames[i];
  }
}

}  // namespace
