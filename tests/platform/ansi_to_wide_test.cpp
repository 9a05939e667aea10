// Widening 8-bit file names: UTF-8 decoded, every other byte kept as an escape unit.
#include <string>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

struct WidenCase {
  std::string bytes;
  std::u16string units;
};
void PrintTo(const WidenCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.bytes); }

class AnsiToWide : public ::testing::TestWithParam<WidenCase> {};

TEST_P(AnsiToWide, DecodesUtf8AndEscapesTheRest) {
  const WidenCase& c = GetParam();
  const auto count = static_cast<int32_t>(c.bytes.size());
  EXPECT_EQ(plat::AnsiToWide(c.bytes.data(), count, nullptr, 0),
            static_cast<int32_t>(c.units.size()));
  // Never more units than bytes: the callers size their buffers by that.
  std::u16string out(c.bytes.size() + 1, u'#');
  const int32_t written = plat::AnsiToWide(c.bytes.data(), count, out.data(), count);
  ASSERT_EQ(written, static_cast<int32_t>(c.units.size()));
  EXPECT_EQ(out.substr(0, c.units.size()), c.units);
  EXPECT_EQ(out[c.units.size()], u'#') << "nothing beyond the converted units is written";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiToWide,
    ::testing::Values(
        WidenCase{"htab0000.tbl", u"htab0000.tbl"},
        WidenCase{"\xC3\xA9", u"\u00E9"},                   // two-byte form
        WidenCase{"\xE2\x82\xAC", u"\u20AC"},               // three-byte form
        WidenCase{"\xF0\x9F\x96\xA8", u"\U0001F5A8"},       // four bytes, a surrogate pair
        WidenCase{"\xEF\xBF\xBF", u"\uFFFF"},
        WidenCase{"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},       // the last code point
        WidenCase{"caf\xE9", u"caf\xDCE9"},                 // Latin-1, not UTF-8
        WidenCase{"\x80\xBF", u"\xDC80\xDCBF"},             // stray continuation bytes
        WidenCase{"\xC0\xAF", u"\xDCC0\xDCAF"},             // overlong '/'
        WidenCase{"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},   // overlong three-byte form
        WidenCase{"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},   // an encoded surrogate
        WidenCase{"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
        WidenCase{"\xE2\x82", u"\xDCE2\xDC82"},             // cut short at the end
        WidenCase{"\xE2(x", u"\xDCE2(x"},                   // cut short by a plain byte
        WidenCase{"\xFF\xFE", u"\xDCFF\xDCFE"},
        WidenCase{std::string("a\0b", 3), std::u16string(u"a\0b", 3)}));

TEST(AnsiToWideProtocol, CountMinusOneIncludesTheTerminator) {
  char16_t out[8] = {};
  EXPECT_EQ(plat::AnsiToWide("ab", -1, nullptr, 0), 3);
  EXPECT_EQ(plat::AnsiToWide("ab", -1, out, 8), 3);
  EXPECT_EQ(std::u16string(out, 3), std::u16string(u"ab\0", 3));
}

TEST(AnsiToWideProtocol, RefusesBadArgumentsAndShortBuffers) {
  char16_t out[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(plat::AnsiToWide(nullptr, 3, out, 4), 0);
  EXPECT_EQ(plat::AnsiToWide("abc", 0, out, 4), 0);
  EXPECT_EQ(plat::AnsiToWide("abc", -2, out, 4), 0);
  EXPECT_EQ(plat::AnsiToWide("abc", 3, out, -1), 0);
  EXPECT_EQ(plat::AnsiToWide("abc", 3, nullptr, 4), 0);
  // Too small: nothing written, not even a part.
  EXPECT_EQ(plat::AnsiToWide("abc", 3, out, 2), 0);
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(plat::AnsiToWide("\xF0\x9F\x96\xA8", 4, out, 1), 0);
  EXPECT_EQ(out[0], u'#');
}

}  // namespace
