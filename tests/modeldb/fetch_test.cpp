// Directory search and typed value fetch on hand-built images.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fetch.h"
#include "image_builder.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::ImageBuilder;
using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

constexpr uint8_t kSentinel = 0xAA;
constexpr uint32_t kUntouched = 0xDEADBEEF;

std::vector<uint8_t> Le32(std::initializer_list<int64_t> values) {
  std::vector<uint8_t> out;
  for (int64_t v : values) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((u >> (8 * i)) & 0xFFu));
  }
  return out;
}

// ---- Directory search ---------------------------------------------------------------------

TEST(DirectorySearch, FindsFirstEqualKeyAndIgnoresUpperBits) {
  ImageBuilder b;
  const uint32_t first = b.Add(b.Int32s(0x1001, {1}));
  const uint32_t second = b.Add(b.Int32s(0x1001, {2}));
  b.Key(0x2001, second);
  b.Key(0x1001, first);
  b.Key(0x1001, second);  // a key written twice: the first entry wins
  const auto& image = b.Image();

  uint32_t root = 99;
  DbNode node{};
  ASSERT_EQ(mdb::DirectorySearch(image, 0x1001, &root, &node), MPX_OK);
  EXPECT_EQ(root, first);
  EXPECT_EQ(node.tag, b.nodes[first].tag);
  ASSERT_EQ(mdb::DirectorySearch(image, 0xABCD1001u, &root, &node), MPX_OK);
  EXPECT_EQ(root, first);
  EXPECT_EQ(mdb::DirectorySearch(image, 0x0001, &root, &node), MPX_KEY_NOT_FOUND);
}

TEST(DirectorySearch, MalformedOrEmptyImagesAnswerMinusOne) {
  ImageBuilder b;
  b.Add(b.Int32s(0x0002, {1}));
  b.Key(0x0002, 1);  // root index equal to the node count
  uint32_t root = 0;
  DbNode node{};
  EXPECT_EQ(mdb::DirectorySearch(b.Image(), 0x0002, &root, &node), MPX_ERR_DATABASE);

  b.roots[0] = 0;
  mdb::DbImage partial = b.Image();
  EXPECT_EQ(mdb::DirectorySearch(partial, 0x0002, &root, &node), MPX_OK);
  partial.nodes = nullptr;
  EXPECT_EQ(mdb::DirectorySearch(partial, 0x0002, &root, &node), MPX_ERR_DATABASE);
  partial = b.Image();
  partial.directoryRoots = nullptr;
  EXPECT_EQ(mdb::DirectorySearch(partial, 0x0002, &root, &node), MPX_ERR_DATABASE);
  partial = b.Image();
  partial.counts[mdb::kDirectoryCount] = 0;
  EXPECT_EQ(mdb::DirectorySearch(partial, 0x0002, &root, &node), MPX_ERR_DATABASE);
  EXPECT_EQ(mdb::DirectorySearch(mdb::DbImage{}, 0x0002, &root, &node), MPX_ERR_DATABASE);
}

// ---- Typed value fetch: conversions ----------------------------------------------------------

struct ConversionCase {
  const char* name;
  std::function<DbNode(ImageBuilder&)> leaf;
  std::vector<uint8_t> expected;
};

class FetchConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(FetchConversion, WritesWidenedLittleEndianElementsAndNothingPast) {
  const ConversionCase& c = GetParam();
  ImageBuilder b;
  const DbNode leaf = c.leaf(b);
  const mdb::QueryEnv env = b.Env();
  const auto size = static_cast<uint32_t>(c.expected.size());

  uint32_t required = kUntouched;
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, nullptr, &required, leaf), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, size);

  std::vector<uint8_t> buffer(size + 4, kSentinel);
  if (size > 0) {
    required = kUntouched;
    EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, size - 1, buffer.data(), &required, leaf),
              MPX_BUFFER_TOO_SMALL);
    EXPECT_EQ(required, size);
    EXPECT_EQ(buffer, std::vector<uint8_t>(size + 4, kSentinel)) << "nothing copied on status 2";
  }

  required = kUntouched;
  ASSERT_EQ(mdb::FetchTypedValue(env, nullptr, size, buffer.data(), &required, leaf), MPX_OK);
  EXPECT_EQ(required, size);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)),
            c.expected);

  // A larger buffer is allowed; the bytes past the answer stay as they were.
  std::fill(buffer.begin(), buffer.end(), kSentinel);
  ASSERT_EQ(mdb::FetchTypedValue(env, nullptr, size + 4, buffer.data(), &required, leaf), MPX_OK);
  EXPECT_EQ(required, size);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + static_cast<std::ptrdiff_t>(size), buffer.end()),
            std::vector<uint8_t>(4, kSentinel));
}

const ConversionCase kConversions[] = {
    {"Bytes", [](ImageBuilder& b) { return b.Bytes(1, std::string("\x1B(c\0\xFF", 5)); },
     {0x1B, '(', 'c', 0x00, 0xFF}},
    {"Int32Array",
     [](ImageBuilder& b) { return b.Int32s(1, {0, -1, 2147483647, -2147483647 - 1}); },
     Le32({0, -1, 2147483647, -2147483648LL})},
    {"SignedBytes", [](ImageBuilder& b) { return b.SignedBytes(1, {-1, 127, -128, 24}); },
     Le32({-1, 127, -128, 24})},
    {"UnsignedBytes", [](ImageBuilder& b) { return b.UnsignedBytes(1, {0xFF, 0x7F, 0x80}); },
     Le32({255, 127, 128})},
    {"Int16Array", [](ImageBuilder& b) { return b.Int16s(1, {0x8000, 0x7FFF, 0xFFFF, 9000}); },
     Le32({-32768, 32767, -1, 9000})},
    {"UInt16Array", [](ImageBuilder& b) { return b.UInt16s(1, {0x8000, 0x7FFF, 0xFFFF, 58420}); },
     Le32({32768, 32767, 65535, 58420})},
    {"WideTextWithNul", [](ImageBuilder& b) { return b.WideText(1, std::string("1.52\0", 5)); },
     {'1', 0, '.', 0, '5', 0, '2', 0, 0, 0}},
    {"WideTextHighBytes", [](ImageBuilder& b) { return b.WideText(1, "\xE9x"); },
     {0xE9, 0, 'x', 0}},
    {"EmptyLeaf",
     [](ImageBuilder& b) {
       b.int32Pool = {5};  // an empty run still needs its pool
       return b.Int32s(1, {});
     },
     {}},
};

INSTANTIATE_TEST_SUITE_P(AllStoredTypes, FetchConversion, ::testing::ValuesIn(kConversions),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(Fetch, EmptyAnswerIsSizeTwoWithoutBufferAndZeroWithOne) {
  ImageBuilder b;
  b.bytePool = {7};
  const DbNode leaf = b.Bytes(1, "");
  const mdb::QueryEnv env = b.Env();
  uint32_t required = kUntouched;
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, nullptr, &required, leaf), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 0u);
  uint8_t byte = kSentinel;
  required = kUntouched;
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, &byte, &required, leaf), MPX_OK);
  EXPECT_EQ(required, 0u);
  EXPECT_EQ(byte, kSentinel);
}

// ---- Typed value fetch: pool bounds ------------------------------------------------------------

struct BoundsCase {
  const char* name;
  NodeType type;
  uint32_t elementBytes;  // answer bytes per element
  int pool;               // 0 byte pool, 1 int16 pool, 2 int32 pool
};

class FetchBounds : public ::testing::TestWithParam<BoundsCase> {};

// A run ending exactly at the pool's end is copied; one element more fails only when copying,
// so the size query still answers.
TEST_P(FetchBounds, RunEndingAtPoolEndIsValidOneMoreFailsOnlyWhenCopying) {
  const BoundsCase& c = GetParam();
  ImageBuilder b;
  b.bytePool = {1, 2, 3, 4, 5};
  b.int16Pool = {1, 2, 3, 4, 5};
  b.int32Pool = {1, 2, 3, 4, 5};
  const mdb::QueryEnv env = b.Env();
  std::vector<uint8_t> buffer(64, kSentinel);

  const DbNode fits = MakeNode(c.type, 2, 1, 3);  // elements 2-4 of 5
  uint32_t required = kUntouched;
  ASSERT_EQ(mdb::FetchTypedValue(env, nullptr, 64, buffer.data(), &required, fits), MPX_OK);
  EXPECT_EQ(required, 3 * c.elementBytes);

  const DbNode past = MakeNode(c.type, 2, 1, 4);  // elements 2-5 of 5
  required = kUntouched;
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, nullptr, &required, past), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 4 * c.elementBytes);

  std::fill(buffer.begin(), buffer.end(), kSentinel);
  required = kUntouched;
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 64, buffer.data(), &required, past), MPX_ERR_DATABASE);
  EXPECT_EQ(required, kUntouched);
  EXPECT_EQ(buffer, std::vector<uint8_t>(64, kSentinel)) << "nothing copied partially";

  // An offset beyond the pool, and a huge offset that would wrap around.
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 64, buffer.data(), &required,
                                 MakeNode(c.type, 6, 1, 0)),
            MPX_ERR_DATABASE);
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 64, buffer.data(), &required,
                                 MakeNode(c.type, 0xFFFFFF, 1, 2)),
            MPX_ERR_DATABASE);

  // The pool absent.
  mdb::DbImage absent = b.Image();
  if (c.pool == 0) absent.bytePool = nullptr;
  if (c.pool == 1) absent.int16Pool = nullptr;
  if (c.pool == 2) absent.int32Pool = nullptr;
  const mdb::QueryEnv absentEnv{&absent, nullptr};
  EXPECT_EQ(mdb::FetchTypedValue(absentEnv, nullptr, 64, buffer.data(), &required, fits),
            MPX_ERR_DATABASE);
  EXPECT_EQ(mdb::FetchTypedValue(absentEnv, nullptr, 0, nullptr, &required, fits),
            MPX_BUFFER_TOO_SMALL);
}

INSTANTIATE_TEST_SUITE_P(EveryPool, FetchBounds,
                         ::testing::Values(BoundsCase{"Bytes", NodeType::Bytes, 1, 0},
                                           BoundsCase{"SignedBytes", NodeType::SignedBytes, 4, 0},
                                           BoundsCase{"UnsignedBytes", NodeType::UnsignedBytes, 4, 0},
                                           BoundsCase{"WideText", NodeType::WideText, 2, 0},
                                           BoundsCase{"Int16Array", NodeType::Int16Array, 4, 1},
                                           BoundsCase{"UInt16Array", NodeType::UInt16Array, 4, 1},
                                           BoundsCase{"Int32Array", NodeType::Int32Array, 4, 2}),
                         [](const auto& tp) { return std::string(tp.param.name); });

// ---- Typed value fetch: rejected leaves, computed leaves, arguments ---------------------------

TEST(Fetch, NonLeafTypesAreRejectedBeforeAnythingIsWritten) {
  ImageBuilder b;
  b.bytePool = {1, 2, 3};
  const mdb::QueryEnv env = b.Env();
  for (uint32_t type : {0u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u, 17u, 19u, 20u, 21u, 22u, 255u}) {
    const DbNode node{type << 24, 0x00010001u};
    uint32_t required = kUntouched;
    uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel);
    EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, nullptr, &required, node), MPX_ERR_DATABASE)
        << "type " << type;
    EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 16, buffer, &required, node), MPX_ERR_DATABASE)
        << "type " << type;
    EXPECT_EQ(required, kUntouched) << "type " << type;
    EXPECT_EQ(buffer[0], kSentinel);
  }
}

TEST(Fetch, ComputedSubCodeOutsideOneToSevenIsSizeZeroThenNoAnswer) {
  ImageBuilder b;
  const mdb::QueryEnv env = b.Env();
  for (uint16_t subCode : {uint16_t{0}, uint16_t{8}, uint16_t{0xFFFF}}) {
    const DbNode leaf = ImageBuilder::Computed(1, subCode);
    uint32_t required = kUntouched;
    EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 0, nullptr, &required, leaf), MPX_BUFFER_TOO_SMALL);
    EXPECT_EQ(required, 0u);
    uint8_t buffer[8] = {};
    required = kUntouched;
    EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, sizeof buffer, buffer, &required, leaf),
              MPX_NO_ANSWER);
    EXPECT_EQ(required, kUntouched);
  }
}

TEST(Fetch, MissingSizeOutputIsAnError) {
  ImageBuilder b;
  const DbNode leaf = b.Int32s(1, {5});
  const mdb::QueryEnv env = b.Env();
  uint8_t buffer[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  EXPECT_EQ(mdb::FetchTypedValue(env, nullptr, 4, buffer, nullptr, leaf), MPX_ERR_DATABASE);
  EXPECT_EQ(buffer[0], kSentinel);
}

}  // namespace
