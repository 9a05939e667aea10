// The C library routines of the DLLs (dll_runtime.h), against the C runtime of the test
// program as the reference.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dll_runtime.h"

namespace {

namespace rt = plat::dllrt;

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(DllRuntimeBytes, CopyFillCompareAndFind) {
  const char source[] = "abcdefgh";
  char copy[9] = {};
  EXPECT_EQ(rt::memcpy(copy, source, 9), copy);
  EXPECT_STREQ(copy, "abcdefgh");
  EXPECT_EQ(rt::memset(copy + 2, 'x', 3), copy + 2);
  EXPECT_STREQ(copy, "abxxxfgh");
  EXPECT_EQ(rt::memset(copy, 0x100 + 'y', 1), copy);  // only the low byte counts
  EXPECT_EQ(copy[0], 'y');

  EXPECT_EQ(rt::memchr(source, 'd', 8), source + 3);
  EXPECT_EQ(rt::memchr(source, 'd', 3), nullptr);
  EXPECT_EQ(rt::memchr(source, '\0', 9), source + 8);
  EXPECT_EQ(rt::memchr(source, 0x100 + 'a', 8), source);
}

struct CompareCase {
  std::string a, b;
  size_t limit;
};

class DllRuntimeCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(DllRuntimeCompare, SignsMatchTheCRuntime) {
  const CompareCase& c = GetParam();
  const size_t bytes = std::min(c.limit, std::min(c.a.size(), c.b.size()) + 1);
  EXPECT_EQ(Sign(rt::memcmp(c.a.c_str(), c.b.c_str(), bytes)),
            Sign(std::memcmp(c.a.c_str(), c.b.c_str(), bytes)));
  EXPECT_EQ(Sign(rt::strncmp(c.a.c_str(), c.b.c_str(), c.limit)),
            Sign(std::strncmp(c.a.c_str(), c.b.c_str(), c.limit)));
  EXPECT_EQ(Sign(rt::strcmp(c.a.c_str(), c.b.c_str())), Sign(std::strcmp(c.a.c_str(), c.b.c_str())));
  EXPECT_EQ(rt::strlen(c.a.c_str()), c.a.size());
  EXPECT_EQ(rt::strnlen(c.a.c_str(), c.limit), std::min(c.a.size(), c.limit));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DllRuntimeCompare,
    ::testing::Values(CompareCase{"", "", 4}, CompareCase{"abc", "abc", 10},
                      CompareCase{"abc", "abd", 10}, CompareCase{"abd", "abc", 10},
                      CompareCase{"abc", "abd", 2}, CompareCase{"ab", "abc", 10},
                      CompareCase{"abc", "ab", 3}, CompareCase{"\x80", "\x7f", 1},
                      CompareCase{"a\xff", "a\x01", 5}, CompareCase{"same", "other", 0}));

TEST(DllRuntimeBytes, MoveHandlesOverlapInBothDirections) {
  char up[] = "0123456789";
  EXPECT_EQ(rt::memmove(up + 2, up, 6), up + 2);
  EXPECT_STREQ(up, "0101234589");
  char down[] = "0123456789";
  EXPECT_EQ(rt::memmove(down, down + 3, 6), down);
  EXPECT_STREQ(down, "3456786789");
  EXPECT_EQ(rt::memmove(down, down, 10), down);
  EXPECT_STREQ(down, "3456786789");
}

// ---- strtol --------------------------------------------------------------------------------

struct ParseCase {
  const char* text;
  int base;
};

class DllRuntimeStrtol : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DllRuntimeStrtol, ValueAndEndMatchTheCRuntime) {
  const ParseCase& c = GetParam();
  char* expectedEnd = nullptr;
  char* end = nullptr;
  const long expected = std::strtol(c.text, &expectedEnd, c.base);
  EXPECT_EQ(rt::strtol(c.text, &end, c.base), expected);
  EXPECT_EQ(end - c.text, expectedEnd - c.text);
  EXPECT_EQ(rt::strtol(c.text, nullptr, c.base), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DllRuntimeStrtol,
    ::testing::Values(ParseCase{"0", 10}, ParseCase{"42", 10}, ParseCase{"  \t\n-17xyz", 10},
                      ParseCase{"+9", 10}, ParseCase{"2147483647", 10},
                      ParseCase{"2147483648", 10}, ParseCase{"-2147483648", 10},
                      ParseCase{"-2147483649", 10}, ParseCase{"99999999999999999999", 10},
                      ParseCase{"-99999999999999999999", 10}, ParseCase{"", 10},
                      ParseCase{"   ", 10}, ParseCase{"-", 10}, ParseCase{"+ 5", 10},
                      ParseCase{"abc", 10}, ParseCase{"0x1F", 16}, ParseCase{"0x1F", 0},
                      ParseCase{"0X7fffffff", 0}, ParseCase{"0x", 16}, ParseCase{"0xg", 0},
                      ParseCase{"017", 0}, ParseCase{"018", 0}, ParseCase{"1F", 16},
                      ParseCase{"zz", 36}, ParseCase{"101", 2}, ParseCase{"102", 2},
                      ParseCase{"0x1F", 10}, ParseCase{"12", 1}, ParseCase{"12", 37},
                      ParseCase{"-0", 10}, ParseCase{"00044", 10}));

// ---- snprintf ------------------------------------------------------------------------------

// The same format and argument through both, at buffer sizes that cut the text anywhere.
template <typename... Args>
void ExpectSameFormatting(const char* format, Args... args) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{4}, size_t{64}}) {
    SCOPED_TRACE(std::string(format) + " into " + std::to_string(size) + " bytes");
    std::vector<char> expected(size + 1, '#');
    std::vector<char> actual(size + 1, '#');
    const int expectedLength = std::snprintf(size == 0 ? nullptr : expected.data(), size, format, args...);
    const int actualLength = rt::snprintf(size == 0 ? nullptr : actual.data(), size, format, args...);
    EXPECT_EQ(actualLength, expectedLength);
    EXPECT_EQ(std::string(actual.data(), actual.size()), std::string(expected.data(), expected.size()));
  }
}

struct IntFormat {
  const char* format;
  int value;
};

class DllRuntimeIntFormats : public ::testing::TestWithParam<IntFormat> {};

TEST_P(DllRuntimeIntFormats, MatchTheCRuntime) {
  ExpectSameFormatting(GetParam().format, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DllRuntimeIntFormats,
    ::testing::Values(
        IntFormat{"%d", 0}, IntFormat{"%d", 7}, IntFormat{"%d", -7}, IntFormat{"%d", INT_MAX},
        IntFormat{"%d", INT_MIN}, IntFormat{"%i", 123}, IntFormat{"%04d", 2002},
        IntFormat{"%04d", 12345}, IntFormat{"%02d", 5}, IntFormat{"%02d", -5},
        IntFormat{"%5d|", 42}, IntFormat{"%-5d|", 42}, IntFormat{"%+d", 42}, IntFormat{"% d", 42},
        IntFormat{"%+05d", 42}, IntFormat{"%.3d", 7}, IntFormat{"%8.3d|", -7},
        IntFormat{"%08.3d|", 7}, IntFormat{"%.0d|", 0}, IntFormat{"%5.0d|", 0},
        IntFormat{"%x", 0xBEEF}, IntFormat{"%X", 0xBEEF}, IntFormat{"%#x", 0xBEEF},
        IntFormat{"%#X", 0}, IntFormat{"%#010x", 255}, IntFormat{"%o", 8}, IntFormat{"%#o", 8},
        IntFormat{"%#o", 0}, IntFormat{"%#.0o", 0}, IntFormat{"%u", -1}, IntFormat{"%hd", 70000},
        IntFormat{"%hhd", 300}, IntFormat{"%hhu", -1}, IntFormat{"%hx", -1}, IntFormat{"%c", 'Q'},
        IntFormat{"%3c|", 'Q'}, IntFormat{"%-3c|", 'Q'}, IntFormat{"100%% %d", 1},
        IntFormat{"QXLSTART\n%d\nQXLEND\n", 1}));

TEST(DllRuntimeFormats, WiderIntegersStringsAndSeveralArguments) {
  ExpectSameFormatting("%ld", -123456789L);
  ExpectSameFormatting("%lu", 4000000000UL);
  ExpectSameFormatting("%lld", -1234567890123456789LL);
  ExpectSameFormatting("%llu", 18446744073709551615ULL);
  ExpectSameFormatting("%llx", 0x0123456789ABCDEFULL);
  ExpectSameFormatting("%zu", size_t{4096});
  ExpectSameFormatting("%jd", intmax_t{-5});
  ExpectSameFormatting("%td", ptrdiff_t{-9});
  ExpectSameFormatting("%s", "htab0000.tbl");
  ExpectSameFormatting("%8s|", "abc");
  ExpectSameFormatting("%-8s|", "abc");
  ExpectSameFormatting("%.2s|", "abc");
  ExpectSameFormatting("%*d|", 6, 42);
  ExpectSameFormatting("%*d|", -6, 42);
  ExpectSameFormatting("%.*d|", 4, 42);
  ExpectSameFormatting("%.*d|", -1, 42);
  ExpectSameFormatting("%-*.*s|", 7, 2, "abcdef");
  // The time text of the time-setting command.
  ExpectSameFormatting("%04d%02d%02d%02d%02d%02d", 2002, 2, 8, 9, 5, 3);
}

TEST(DllRuntimeFormats, AStringIsNotReadPastThePrecision) {
  const char unterminated[3] = {'a', 'b', 'c'};
  char out[8] = {};
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%.3s", unterminated), 3);
  EXPECT_STREQ(out, "abc");
}

TEST(DllRuntimeFormats, PointersPrintInHex) {
  char out[32] = {};
  const auto* pointer = reinterpret_cast<void*>(uintptr_t{0x12AB});
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%p", pointer), 6);
  EXPECT_STREQ(out, "0x12ab");
}

// Conversions the DLLs have no use for fail instead of printing something else.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
TEST(DllRuntimeFormats, ConversionsNotSupportedFail) {
  char out[32] = {};
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%f", 1.5), -1);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%g", 1.5), -1);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%ls", L"wide"), -1);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%lc", static_cast<wint_t>(L'w')), -1);
  int written = 0;
  EXPECT_EQ(rt::snprintf(out, sizeof out, "ab%n", &written), -1);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%q", 1), -1);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%"), -1);
  // What came before the failing conversion is terminated.
  EXPECT_EQ(rt::snprintf(out, sizeof out, "ok %f", 1.0), -1);
  EXPECT_STREQ(out, "ok ");
  EXPECT_EQ(rt::snprintf(nullptr, 4, "x"), -1);
  EXPECT_EQ(rt::snprintf(out, sizeof out, "%s", static_cast<const char*>(nullptr)), 6);
  EXPECT_STREQ(out, "(null)");
}
#pragma GCC diagnostic pop

}  // namespace
