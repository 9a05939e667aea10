// Asking the shipped database as a host does: a context with the category's strings and
// settings, a size query with a null buffer, then a call with a buffer of that size.
#ifndef DB_LM_HOST_QUERY_H
#define DB_LM_HOST_QUERY_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "modeldb.h"

namespace dbtest {

enum class Category { LM, Mnt, PA, SM };

using ExportFn = int32_t (MPX_CALL*)(uint32_t, const QueryContext*, uint32_t, void*, uint32_t*);

inline ExportFn ExportOf(Category c) {
  switch (c) {
    case Category::LM: return &MPX_AccessLMDataBase;
    case Category::Mnt: return &MPX_AccessMntDataBase;
    case Category::PA: return &MPX_AccessPADataBase;
    case Category::SM: return &MPX_AccessSMDataBase;
  }
  return nullptr;
}

inline const char* NameOf(Category c) {
  switch (c) {
    case Category::LM: return "LM";
    case Category::Mnt: return "Mnt";
    case Category::PA: return "PA";
    case Category::SM: return "SM";
  }
  return "?";
}

// Array sizes a host of each category passes (the category's full set of positions).
struct Shape {
  uint32_t strings;
  uint32_t settings;
};
inline Shape ShapeOf(Category c) {
  switch (c) {
    case Category::LM: return {5, 13};
    case Category::Mnt: return {0, 1};
    case Category::PA: return {0, 4};
    case Category::SM: return {9, 16};
  }
  return {0, 0};
}

// The host state of one query: strings and settings by position; positions not named are
// "" and 0. With `noStrings` the context carries no string array at all; `stringCount` and
// `settingCount`, when set, shorten the arrays.
struct HostState {
  std::map<uint32_t, std::string> strings;
  std::map<uint32_t, int32_t> settings;
  bool noStrings = false;
  int stringCount = -1;
  int settingCount = -1;
};

struct Answer {
  int32_t status = 0;
  std::vector<uint8_t> bytes;
};

// Runs the two-call size protocol and checks it on the way: the null-buffer call reports
// the size, a buffer one byte short is refused untouched, the exact buffer is filled and
// nothing past it is written.
inline Answer Ask(Category c, uint32_t key, const HostState& state) {
  const Shape shape = ShapeOf(c);
  const uint32_t stringCount =
      state.stringCount >= 0 ? static_cast<uint32_t>(state.stringCount) : shape.strings;
  const uint32_t settingCount =
      state.settingCount >= 0 ? static_cast<uint32_t>(state.settingCount) : shape.settings;

  std::vector<std::string> texts(stringCount);
  for (const auto& [pos, text] : state.strings)
    if (pos < stringCount) texts[pos] = text;
  std::vector<const char*> stringPtrs;
  for (const auto& t : texts) stringPtrs.push_back(t.c_str());
  std::vector<int32_t> settings(settingCount, 0);
  for (const auto& [pos, value] : state.settings)
    if (pos < settingCount) settings[pos] = value;

  QueryContext ctx{};
  ctx.hPrinter = nullptr;
  ctx.printerName = nullptr;
  ctx.stringCount = state.noStrings ? 0 : stringCount;
  ctx.strings = (state.noStrings || stringPtrs.empty()) ? nullptr : stringPtrs.data();
  ctx.settingCount = settingCount;
  ctx.settings = settings.empty() ? nullptr : settings.data();

  const ExportFn fn = ExportOf(c);
  constexpr uint32_t kUnset = 0xDEADBEEF;
  uint32_t size = kUnset;
  Answer answer;
  answer.status = fn(key, &ctx, 0, nullptr, &size);
  if (answer.status != MPX_BUFFER_TOO_SMALL) {
    EXPECT_EQ(size, kUnset) << "size written with status " << answer.status;
    return answer;
  }
  constexpr uint8_t kFill = 0xA5;
  std::vector<uint8_t> buffer(size + 8u, kFill);
  if (size > 0) {
    uint32_t shortSize = kUnset;
    EXPECT_EQ(fn(key, &ctx, size - 1, buffer.data(), &shortSize), MPX_BUFFER_TOO_SMALL);
    EXPECT_EQ(shortSize, size);
    for (uint8_t b : buffer) EXPECT_EQ(b, kFill) << "short buffer written";
  }
  uint32_t filled = kUnset;
  answer.status = fn(key, &ctx, size, buffer.data(), &filled);
  EXPECT_EQ(answer.status, MPX_OK);
  EXPECT_EQ(filled, size);
  for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kFill) << "wrote past " << size;
  buffer.resize(size);
  answer.bytes = std::move(buffer);
  return answer;
}

// The answer as signed 32-bit little-endian values (every leaf type but Bytes and
// WideText answers this way).
inline std::vector<int32_t> Values(const Answer& a) {
  std::vector<int32_t> out;
  EXPECT_EQ(a.bytes.size() % 4, 0u);
  for (size_t i = 0; i + 3 < a.bytes.size(); i += 4) {
    const uint32_t u = static_cast<uint32_t>(a.bytes[i]) | (static_cast<uint32_t>(a.bytes[i + 1]) << 8) |
                       (static_cast<uint32_t>(a.bytes[i + 2]) << 16) |
                       (static_cast<uint32_t>(a.bytes[i + 3]) << 24);
    out.push_back(static_cast<int32_t>(u));
  }
  return out;
}

// Builders for the host state of each category.
inline HostState Strings(std::map<uint32_t, std::string> s, std::map<uint32_t, int32_t> v = {}) {
  HostState h;
  h.strings = std::move(s);
  h.settings = std::move(v);
  return h;
}
inline HostState Settings(std::map<uint32_t, int32_t> v) {
  HostState h;
  h.settings = std::move(v);
  return h;
}
inline HostState Always() { return HostState{}; }

// Every key of the four directories.
inline std::vector<uint32_t> DirectoryKeys(Category c) {
  switch (c) {
    case Category::LM:
      return {8193, 8194, 8196, 8199, 8201, 8202, 8203, 8204, 8205, 8206, 8207, 8208, 8209, 8210,
              8211, 8212, 8214, 8215, 8216, 8217, 8218, 8219, 8220, 8221, 8222, 8223, 8225, 8226,
              8235, 8237, 8238, 8239, 8241, 8243, 8244, 8245, 8246, 8248, 8249, 8251, 8253};
    case Category::Mnt:
      return {12289, 12290, 12291, 12292, 12294, 12295, 12296, 12299, 12300, 12301, 12302, 12304};
    case Category::PA:
      return {16385, 16386, 16387, 16390, 16391, 16392};
    case Category::SM:
      return {24577, 24578, 24579, 24580, 24581, 24582, 24583, 24584, 24585, 24588,
              24589, 24590, 24591, 24592, 24593, 24594, 24595, 24596, 24598, 24599};
  }
  return {};
}

// The sixteen status pairs and fourteen printer states the trees compare.
inline const std::vector<std::string>& StatusPairs() {
  static const std::vector<std::string> pairs = {
      "DS,LS", "SC,LS", "DS,NO", "NO,NO", "SC,NO", "DS,NS", "NO,NS", "NS,NS",
      "SC,NS", "NO,LS", "NS,LS", "DS,UK", "SC,UK", "UK,LS", "UK,UK", "NO,UK"};
  return pairs;
}
inline const std::vector<std::string>& PrinterStates() {
  static const std::vector<std::string> states = {"NO", "UK", "DS", "OF", "CC", "CL", "DP",
                                                  "EJ", "LD", "PR", "ID", "SL", "WU", "TP"};
  return states;
}

}  // namespace dbtest

#endif
