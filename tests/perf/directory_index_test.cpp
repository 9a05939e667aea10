// The directory index answers exactly what the search from the first entry answers: the
// first equal entry, 3 for an absent key, -1 for an empty directory. An index that does not
// describe the image's directory, or a damaged one, is never believed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "directory_index.h"
#include "image.h"
#include "synthetic_image.h"

namespace {

using mdb::DbImage;
using mdb::DbNode;
using mdbbench::BuildSyntheticImage;
using mdbbench::SyntheticImage;
using mdbbench::SyntheticKey;
using mdbbench::SyntheticSpec;

struct Found {
  int32_t status;
  uint32_t root;
  DbNode node;
  bool operator==(const Found& o) const {
    return status == o.status && root == o.root && node.tag == o.node.tag &&
           node.value == o.node.value;
  }
};

Found Search(const DbImage& image, uint32_t key) {
  Found f{0, 0xFFFFFFFFu, DbNode{0, 0}};
  f.status = mdb::DirectorySearch(image, key, &f.root, &f.node);
  return f;
}

DbImage WithoutIndex(const DbImage& image) {
  DbImage linear = image;
  linear.directoryIndex = nullptr;
  return linear;
}

// ---- Synthetic directories ------------------------------------------------------------------

struct SizeCase {
  const char* name;
  uint32_t distinct;
  uint32_t repeats;
  bool indexable;
};

class SyntheticDirectory : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SyntheticDirectory, EveryKeyFindsItsFirstEntry) {
  const SizeCase& c = GetParam();
  SyntheticImage built;
  BuildSyntheticImage(SyntheticSpec{c.distinct, c.repeats, true}, &built);
  ASSERT_EQ(built.image.directoryIndex != nullptr, c.indexable);

  // Entry i < distinct is the first (and, without repeats, only) entry of SyntheticKey(i).
  std::vector<int64_t> firstEntry(0x10000, -1);
  for (uint32_t i = 0; i < c.distinct; ++i) firstEntry[SyntheticKey(i)] = i;

  for (uint32_t key = 0; key <= 0xFFFFu; ++key) {
    const Found f = Search(built.image, key | 0xABCD0000u);  // the upper bits play no part
    if (firstEntry[key] < 0) {
      ASSERT_EQ(f.status, MPX_KEY_NOT_FOUND) << "key " << key;
      continue;
    }
    ASSERT_EQ(f.status, MPX_OK) << "key " << key;
    ASSERT_EQ(f.root, static_cast<uint32_t>(firstEntry[key])) << "key " << key;
    ASSERT_EQ(mdb::NodeParam(f.node), key);
  }
}

TEST_P(SyntheticDirectory, IndexedAndLinearSearchesAgree) {
  const SizeCase& c = GetParam();
  SyntheticImage built;
  BuildSyntheticImage(SyntheticSpec{c.distinct, c.repeats, true}, &built);
  const DbImage linear = WithoutIndex(built.image);
  // Every key where a linear search is cheap; a spread of keys elsewhere.
  const uint32_t entries = c.distinct + c.repeats;
  const uint32_t step = entries <= 4096 ? 1 : 251;
  for (uint32_t key = 0; key <= 0xFFFFu; key += step) {
    ASSERT_EQ(Search(built.image, key), Search(linear, key)) << "key " << key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SyntheticDirectory,
    ::testing::Values(SizeCase{"OneKey", 1, 0, true},
                      SizeCase{"TwoHundredWithRepeats", 200, 50, true},
                      SizeCase{"EveryKeyTwice", 2000, 2000, true},
                      SizeCase{"SixtyThousand", 60000, 0, true},
                      SizeCase{"LongestIndexable", 60000, 5535, true},  // 65535 entries
                      SizeCase{"TooLongForAnIndex", 65536, 1, false}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Hand-made directories ------------------------------------------------------------------

struct Directory {
  std::vector<uint16_t> keys;
  std::vector<uint32_t> roots;
  std::vector<DbNode> nodes;
  std::vector<uint16_t> pages, slots;
  mdb::DirectoryIndex index{};
  DbImage image{};

  explicit Directory(std::vector<uint16_t> k) : keys(std::move(k)) {
    for (uint32_t i = 0; i < keys.size(); ++i) {
      roots.push_back(i);
      nodes.push_back(mdb::MakeNode(mdb::NodeType::Computed, 0, keys[i], uint16_t{0}));
    }
    image.counts[mdb::kNodeCount] = static_cast<uint32_t>(nodes.size());
    image.counts[mdb::kDirectoryCount] = static_cast<uint32_t>(keys.size());
    image.nodes = nodes.data();
    image.directoryKeys = keys.data();
    image.directoryRoots = roots.data();
    mdbbench::AttachDirectoryIndex(&image, &pages, &slots, &index);
  }
  Directory(const Directory&) = delete;

  // What a search from the first entry answers, written out here.
  Found Expected(uint16_t key) const {
    const auto at = std::find(keys.begin(), keys.end(), key);
    if (at == keys.end()) return Found{MPX_KEY_NOT_FOUND, 0xFFFFFFFFu, DbNode{0, 0}};
    const auto position = static_cast<uint32_t>(at - keys.begin());
    return Found{MPX_OK, position, nodes[position]};
  }
};

struct HandCase {
  const char* name;
  std::vector<uint16_t> keys;
  std::vector<uint16_t> absent;
};

class HandMadeDirectory : public ::testing::TestWithParam<HandCase> {};

TEST_P(HandMadeDirectory, FirstEqualEntryWins) {
  const HandCase& c = GetParam();
  const Directory d(c.keys);
  ASSERT_NE(d.image.directoryIndex, nullptr);
  for (const uint16_t key : c.keys) EXPECT_EQ(Search(d.image, key), d.Expected(key)) << key;
  for (const uint16_t key : c.absent) {
    EXPECT_EQ(Search(d.image, key).status, MPX_KEY_NOT_FOUND) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandMadeDirectory,
    ::testing::Values(
        HandCase{"DuplicateAtTheStart", {0x1234, 0x1234, 0x1234, 0x0001}, {0x1235, 0x0034}},
        HandCase{"HighAndLowBytesSwapped", {0x00FF, 0xFF00, 0x00FF, 0xFF00},
                 {0x0000, 0xFFFF, 0xFF01}},
        HandCase{"RangeEnds", {0xFFFF, 0x0000, 0xFFFF}, {0x0001, 0xFFFE, 0x00FF, 0xFF00}},
        HandCase{"OnePageManyKeys", {0x1001, 0x1002, 0x10FF, 0x1000, 0x1002}, {0x1003, 0x2001}},
        HandCase{"UnsortedLikeTheShippedLists", {4121, 4120, 4122, 4125, 4124, 4123, 4120},
                 {4126}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DirectoryIndex, PagesCountTheHighBytesThatOccur) {
  const Directory d({0x0102, 0x0103, 0x0502, 0xFF00, 0x0104});
  EXPECT_EQ(d.index.pageCount, 3u);
  EXPECT_EQ(d.slots.size(), 3u * mdb::kIndexPageSize);
  EXPECT_EQ(d.pages[0x01], 1u);
  EXPECT_EQ(d.pages[0x05], 2u);
  EXPECT_EQ(d.pages[0xFF], 3u);
  EXPECT_EQ(d.pages[0x02], 0u);
}

TEST(DirectoryIndex, DirectoriesThatCannotBeIndexed) {
  const std::vector<uint16_t> tooLong(mdb::kMaxIndexedEntries + 1, 7);
  EXPECT_EQ(mdb::DirectoryIndexPages(tooLong), 0u);
  EXPECT_EQ(mdb::DirectoryIndexPages({}), 0u);

  const std::vector<uint16_t> keys{1, 0x0201};
  std::vector<uint16_t> pages(mdb::kIndexPageTableSize, 0xEEEE);
  std::vector<uint16_t> shortSlots(mdb::kIndexPageSize, 0xEEEE);  // two pages are needed
  EXPECT_FALSE(mdb::FillDirectoryIndex(keys, pages, shortSlots));
  EXPECT_EQ(pages[0], 0xEEEEu) << "nothing is filled on a mismatch";
}

// The compiler writes the index as constant tables; the builder runs at compile time.
constexpr std::array<uint16_t, 3> kConstKeys{0x2001, 0x0002, 0x2001};
constexpr auto kConstTables = [] {
  std::array<uint16_t, mdb::kIndexPageTableSize + 2 * mdb::kIndexPageSize> tables{};
  const std::span<uint16_t> all(tables);
  mdb::FillDirectoryIndex(kConstKeys, all.first(mdb::kIndexPageTableSize),
                          all.subspan(mdb::kIndexPageTableSize));
  return tables;
}();
static_assert(kConstTables[0x20] == 2 && kConstTables[0x00] == 1);
static_assert(kConstTables[mdb::kIndexPageTableSize + mdb::kIndexPageSize + 0x01] == 1,
              "key 0x2001 keeps its first position");

// ---- An index that does not fit the image ---------------------------------------------------

TEST(DirectoryIndex, AnIndexBuiltForAnotherDirectoryIsIgnored) {
  const Directory d({10, 20, 30});
  // The same index over another key array of the same length: its answers are not used.
  const std::vector<uint16_t> otherKeys{30, 10, 20};
  DbImage other = d.image;
  other.directoryKeys = otherKeys.data();
  EXPECT_EQ(Search(other, 30).root, 0u);
  EXPECT_EQ(Search(other, 10).root, 1u);

  // A shorter directory over the same array: the dropped entry is absent.
  DbImage shorter = d.image;
  shorter.counts[mdb::kDirectoryCount] = 2;
  EXPECT_EQ(Search(shorter, 30).status, MPX_KEY_NOT_FOUND);
  EXPECT_EQ(Search(shorter, 20).root, 1u);
}

TEST(DirectoryIndex, ADamagedIndexFallsBackToTheSearch) {
  Directory d({0x0110, 0x0120, 0x0110});
  const Found truth = d.Expected(0x0110);

  // A slot naming an entry of another key.
  d.slots[0x10] = 2;  // position 1 holds 0x0120
  EXPECT_EQ(Search(d.image, 0x0110), truth);
  // A slot past the directory.
  d.slots[0x10] = 200;
  EXPECT_EQ(Search(d.image, 0x0110), truth);
  // A page number past the pages.
  d.pages[0x01] = 9;
  EXPECT_EQ(Search(d.image, 0x0120), d.Expected(0x0120));
}

TEST(DirectoryIndex, MissingTablesStillFailAsWithoutAnIndex) {
  const Directory d({1, 2});
  DbImage noKeys = d.image;
  noKeys.directoryKeys = nullptr;
  EXPECT_EQ(Search(noKeys, 1).status, MPX_ERR_DATABASE);
  DbImage noRoots = d.image;
  noRoots.directoryRoots = nullptr;
  EXPECT_EQ(Search(noRoots, 1).status, MPX_ERR_DATABASE);
  DbImage empty = d.image;
  empty.counts[mdb::kDirectoryCount] = 0;
  EXPECT_EQ(Search(empty, 1).status, MPX_ERR_DATABASE);
  DbImage noNodes = d.image;
  noNodes.counts[mdb::kNodeCount] = 1;  // root 1 is past the node table
  EXPECT_EQ(Search(noNodes, 2).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Search(noNodes, 1).status, MPX_OK);
}

// ---- The shipped image ----------------------------------------------------------------------

TEST(ShippedDirectoryIndex, DescribesTheShippedDirectory) {
  const DbImage& shipped = mdb::ShippedImage();
  ASSERT_NE(shipped.directoryIndex, nullptr) << "the compiler writes an index";
  const mdb::DirectoryIndex& index = *shipped.directoryIndex;
  const std::span<const uint16_t> keys(shipped.directoryKeys, shipped.counts[mdb::kDirectoryCount]);
  EXPECT_EQ(index.keys, shipped.directoryKeys);
  EXPECT_EQ(index.entries, keys.size());

  std::vector<uint16_t> pages(mdb::kIndexPageTableSize);
  const size_t pageCount = mdb::DirectoryIndexPages(keys);
  std::vector<uint16_t> slots(pageCount * mdb::kIndexPageSize);
  ASSERT_TRUE(mdb::FillDirectoryIndex(keys, pages, slots));
  ASSERT_EQ(index.pageCount * mdb::kIndexPageSize, slots.size());
  EXPECT_TRUE(std::equal(pages.begin(), pages.end(), index.pages));
  EXPECT_TRUE(std::equal(slots.begin(), slots.end(), index.slots));
}

TEST(ShippedDirectoryIndex, EveryKeyAnswersAsTheSearchFromTheFirstEntry) {
  const DbImage& shipped = mdb::ShippedImage();
  const DbImage linear = WithoutIndex(shipped);
  const std::set<uint16_t> distinct(shipped.directoryKeys,
                                     shipped.directoryKeys + shipped.counts[mdb::kDirectoryCount]);
  size_t found = 0;
  for (uint32_t key = 0; key <= 0xFFFFu; ++key) {
    const Found f = Search(shipped, key);
    ASSERT_EQ(f, Search(linear, key)) << "key " << key;
    if (f.status == MPX_OK) ++found;
  }
  EXPECT_EQ(found, distinct.size());
}

}  // namespace
