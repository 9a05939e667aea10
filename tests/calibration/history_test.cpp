// The text side of the history file: lines, fields, numbers, names and the lines written.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "calibration.h"
#include "history.h"

namespace {

using cal::HISTORY_MALFORMED;

std::vector<std::string> Lines(std::string text) {
  cal::LineList list;
  cal::SplitLines(text.data(), static_cast<uint32_t>(text.size()), list);
  std::vector<std::string> lines;
  for (int16_t i = 0; i < list.count; ++i) {
    const cal::HistoryLine& line = list.lines[static_cast<size_t>(i)];
    lines.emplace_back(line.start, line.length);
    // Every line ends in a NUL where its terminator was.
    EXPECT_EQ(line.start[line.length], '\0');
  }
  return lines;
}

bool TailUnread(std::string text) {
  cal::LineList list;
  cal::SplitLines(text.data(), static_cast<uint32_t>(text.size()), list);
  return list.tailUnread;
}

TEST(SplitLines, EndsAndSkips) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
    bool tailUnread;
  };
  const std::vector<Case> cases = {
      {"a\r\nb\r\n", {"a", "b"}, false},
      {"a\nb\rc\r\n", {"a", "b", "c"}, false},
      {"\r\n\r\n a \n\n", {" a "}, false},
      {"a\r\nb", {"a"}, true},  // an unterminated last line is not read
      {"a\r\n   ", {"a"}, true},
      {std::string("a\r\n\0b\r\n", 7), {"a"}, true},  // a NUL ends the text
      {std::string("a\0", 2), {"a"}, true},
      {"", {}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Lines(c.text), c.lines) << c.text;
    EXPECT_EQ(TailUnread(c.text), c.tailUnread) << c.text;
  }
}

TEST(SplitLines, StopsAtThe128thLine) {
  std::string text;
  for (int i = 0; i < 130; ++i) text += "l" + std::to_string(i) + "\r\n\r\n";
  text += "unterminated";
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 128u);
  EXPECT_EQ(lines.back(), "l127");
  EXPECT_FALSE(TailUnread(text));  // what lies past line 128 is never read anyway
}

TEST(SplitLines, ReadsNothingPastTheTextLimit) {
  std::string text(cal::HISTORY_TEXT_LIMIT - 2, ' ');
  text += "\r\na\r\n";  // the line end of "a" lies past the limit
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), cal::HISTORY_TEXT_LIMIT - 2);
  EXPECT_TRUE(TailUnread(text));
}

TEST(TrimBlanks, OnlySpacesAreBlanks) {
  struct Case {
    const char* field;
    const char* trimmed;
  };
  for (const Case& c : {Case{"  x y  ", "x y"}, Case{"   ", ""}, Case{"", ""}, Case{"\tx ", "\tx"},
                        Case{"x", "x"}}) {
    std::string field = c.field;
    EXPECT_STREQ(cal::TrimBlanks(field.data()), c.trimmed) << '"' << c.field << '"';
  }
}

TEST(SplitFields, CountsAndRefusesASixth) {
  struct Case {
    std::string line;
    int16_t result;
    int16_t count;
    std::vector<std::string> fields;
  };
  const std::vector<Case> cases = {
      {"a, b ,c,,e", 0, 5, {"a", "b", "c", "", "e"}},
      {"a,b", 0, 2, {"a", "b"}},
      {"", 0, 1, {""}},
      {"a,b,c,d,e,f", HISTORY_MALFORMED, 5, {}},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    std::array<char*, cal::HISTORY_FIELD_COUNT> fields{};
    int16_t count = 0;
    EXPECT_EQ(cal::SplitFields(line.data(), static_cast<uint16_t>(line.size()), fields, count),
              c.result)
        << c.line;
    EXPECT_EQ(count, c.count) << c.line;
    for (size_t f = 0; f < c.fields.size(); ++f) EXPECT_STREQ(fields[f], c.fields[f].c_str()) << c.line;
  }
}

TEST(ParseDecimal, Values) {
  struct Case {
    const char* field;
    int16_t result;
    int32_t value;
  };
  const Case cases[] = {
      {"0", 0, 0},
      {"", 0, 0},
      {"123", 0, 123},
      {"4294967295", 0, -1},
      {"4294967296", 0, 0},
      {"4294967306", 0, 10},
      {"2147483648", 0, INT32_MIN},
      {"-", 0, -1},
      {"-5", 0, -1},
      {"12-", 0, -1},
      {"1-x", 0, -1},  // what follows the "-" is not looked at
      {"x-", HISTORY_MALFORMED, 99},
      {"1 2", HISTORY_MALFORMED, 99},
      {"+1", HISTORY_MALFORMED, 99},
      {"\t1", HISTORY_MALFORMED, 99},
  };
  for (const Case& c : cases) {
    int32_t value = 99;  // left alone on failure
    EXPECT_EQ(cal::ParseDecimal(c.field, value), c.result) << c.field;
    EXPECT_EQ(value, c.value) << c.field;
  }
}

TEST(ParseHistoryLine, FillsTheEntry) {
  std::string line = " 65535 ,4294967295, 7,-, name.tbl ";
  cal::HistoryEntry entry{};
  ASSERT_EQ(cal::ParseHistoryLine(line.data(), static_cast<uint16_t>(line.size()), entry), 0);
  EXPECT_EQ(entry.historyKey, -1);
  EXPECT_EQ(entry.identity1, -1);
  EXPECT_EQ(entry.identity2, 7);
  EXPECT_EQ(entry.identity3, -1);
  EXPECT_STREQ(entry.name, "name.tbl");
}

TEST(FileNames, PlainNamesOnly) {
  struct Case {
    const char* name;
    bool plain;
  };
  for (const Case& c : {Case{"htab0001.tbl", true}, Case{"abcdefghijklmno", true}, Case{"a", true},
                        Case{"abcdefghijklmnop", false}, Case{"", false}, Case{".", false},
                        Case{"..", false}, Case{"a..b", false}, Case{"a/b", false},
                        Case{"a\\b", false}, Case{"c:b", false}}) {
    char field[cal::WORK_NAME_SIZE + 4] = {};
    std::memcpy(field, c.name, std::strlen(c.name));
    EXPECT_EQ(cal::IsPlainFileName(field, cal::WORK_NAME_SIZE), c.plain) << c.name;
  }
}

TEST(FileNames, VariablePosition) {
  struct Case {
    const char* name;
    int32_t position;
  };
  for (const Case& c : {Case{"htab0000.tbl", 7}, Case{"a.b.c", 2}, Case{"ab.", 1}, Case{".tbl", -1},
                        Case{"nodot", -1}}) {
    EXPECT_EQ(cal::VariablePosition(c.name), c.position) << c.name;
  }
  const char full[16] = {'h', 't', 'a', 'b', '0', '0', '0', '0', '.', 't', 'b', 'l', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(cal::VariablePosition(full), -1);  // no NUL in 16 bytes
}

TEST(FileNames, HistoryFileName) {
  struct Case {
    int16_t key;
    const char* stem;
    int16_t status;
    const char* name;
  };
  const Case cases[] = {
      {0, "qxhis", CAL_OK, "qxhis000.ini"},
      {7, "qxhis", CAL_OK, "qxhis007.ini"},
      {99, "qxhis", CAL_OK, "qxhis099.ini"},
      {1234, "qxhis", CAL_OK, "qxhis1234.ini"},
      {32767, "qxhis", CAL_OK, "qxhis32767.ini"},
      {-1, "qxhis", CALERR_UNSUPPORTED, ""},
      {7, "qx/is", CALERR_UNSUPPORTED, ""},
      {7, "..his", CALERR_UNSUPPORTED, ""},
      {7, "qx\0is", CALERR_UNSUPPORTED, ""},
  };
  for (const Case& c : cases) {
    std::array<char, cal::WORK_NAME_SIZE> name{};
    const int16_t status =
        cal::MakeHistoryFileName(reinterpret_cast<const uint8_t*>(c.stem), c.key, name);
    EXPECT_EQ(status, c.status) << c.key;
    if (status == CAL_OK) {
      EXPECT_STREQ(name.data(), c.name);
    }
  }
}

TEST(FormatDecimal, Digits) {
  struct Case {
    uint32_t value;
    const char* text;
  };
  for (const Case& c : {Case{0, "0"}, Case{7, "7"}, Case{10, "10"}, Case{1000000000, "1000000000"},
                        Case{4294967295u, "4294967295"}, Case{100200, "100200"}}) {
    std::array<char, cal::DECIMAL_SIZE> buffer;
    buffer.fill('#');
    EXPECT_EQ(cal::FormatDecimal(buffer, c.value), static_cast<int16_t>(std::strlen(c.text)));
    EXPECT_STREQ(buffer.data(), c.text);
  }
}

TEST(FormatHistoryLine, UnsignedPatternsAndCrLf) {
  std::array<char, cal::HISTORY_LINE_SIZE> buffer;
  buffer.fill('#');
  const uint32_t length = cal::FormatHistoryLine(buffer, -1, -1, 0, INT32_MIN, "htab0001.tbl");
  const std::string expected = "4294967295,4294967295,0,2147483648,htab0001.tbl\r\n";
  EXPECT_EQ(std::string(buffer.data(), length), expected);
  // The rest of the buffer is zero-filled.
  for (size_t i = length; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '\0') << i;

  // The longest line there can be.
  const uint32_t longest = cal::FormatHistoryLine(buffer, -1, -1, -1, -1, "abcdefghijklmno");
  EXPECT_EQ(longest, 61u);

  std::array<char, 20> small{};
  EXPECT_EQ(cal::FormatHistoryLine(small, 1, 2, 3, 4, "htab0001.tbl"), 0u);
}

// A line written and read back gives the same entry.
TEST(FormatHistoryLine, ReadsBack) {
  const int32_t values[] = {0, 1, -1, INT32_MIN, INT32_MAX, 123456789};
  for (int32_t v : values) {
    const auto negated = static_cast<int32_t>(0u - static_cast<uint32_t>(v));
    std::array<char, cal::HISTORY_LINE_SIZE> buffer{};
    const uint32_t length = cal::FormatHistoryLine(buffer, static_cast<int16_t>(v & 0x7FFF), v,
                                                   negated, v ^ 0x5555, "x.y");
    ASSERT_GT(length, 2u);
    buffer[length - 2] = '\0';  // as the line splitting leaves it
    cal::HistoryEntry entry{};
    ASSERT_EQ(cal::ParseHistoryLine(buffer.data(), static_cast<uint16_t>(length - 2), entry), 0)
        << buffer.data();
    EXPECT_EQ(entry.historyKey, static_cast<int16_t>(v & 0x7FFF));
    EXPECT_EQ(entry.identity1, v);
    EXPECT_EQ(entry.identity2, negated);
    EXPECT_EQ(entry.identity3, v ^ 0x5555);
    EXPECT_STREQ(entry.name, "x.y");
  }
}

}  // namespace
