// Table files damaged at random: whatever the file holds, the pass and the identification
// read end with a status, free everything, and never grow or shrink the file. (Run under
// the address sanitizer, this also shows that nothing outside the file's data is touched.)
#include <random>

#include "curves.h"
#include "table_file.h"
#include "test_support.h"

namespace caltest {
namespace {

using DamagedTableTest = TableTest;

TEST_F(DamagedTableTest, RandomDamageNeverEscapesTheFile) {
  const Bytes pristine = cal::sample::BuildTableFile(cal::sample::SampleTable());
  const auto size = static_cast<uint32_t>(pristine.size());
  const std::vector<uint32_t> telling = {0, 1, 2, 7, 8, 255, 256, 4096, size - 4, size, size + 4,
                                         0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0,
                                         cal::STRUCTURED_FORMAT_WORD, 0xF8000000, 0xDC000000,
                                         0x44000100};
  std::mt19937 engine(20020205);
  const auto random = [&engine] { return static_cast<uint32_t>(engine()); };
  SetLevels({3, -3, 5, -5, 3, 5});
  for (int round = 0; round < 400; ++round) {
    Bytes file = pristine;
    const int changes = 1 + static_cast<int>(random() % 4u);
    for (int k = 0; k < changes; ++k) {
      // Mostly the header, identification block and directories, where the offsets live.
      const uint32_t limit = random() % 2 == 0 ? 160 : size - 4;
      const uint32_t at = (random() % (limit / 4)) * 4;
      const uint32_t value = random() % 3 == 0 ? random()
                                               : telling[random() % telling.size()];
      cal::sample::PutLe32(file, at, value);
    }
    plat::testing::Reset();
    OpenTable(file);
    const int16_t status = cal::ApplyCalibrationToTable(context_);
    CloseTable();
    ASSERT_TRUE(status == CAL_OK || status == cal::CURVES_FAILED) << round;
    ASSERT_EQ(plat::testing::LiveBlocks(), 0u) << round;
    ASSERT_EQ(Get(kTable).size(), file.size()) << round;

    char text[cal::TABLE_IDENT_SIZE];
    std::memset(text, '#', sizeof text);
    const int16_t ident = cal::ReadTableIdent(kTable, Dir(), text);
    ASSERT_TRUE(ident == CAL_OK || ident == CALERR_FILE) << round;
    if (ident == CAL_OK) {
      ASSERT_NE(std::memchr(text, '\0', sizeof text), nullptr) << round;
    }
    ASSERT_EQ(plat::testing::LiveBlocks(), 0u) << round;
  }
}

}  // namespace
}  // namespace caltest
