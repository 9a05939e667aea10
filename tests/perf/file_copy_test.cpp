// The platform's whole-file copy gives the same bytes whichever way it moves them: in the
// kernel, by sendfile, or through its buffer; from the files' current positions, stopping
// at the end of the source.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform.h"
#include "posix/posix_shared.h"

namespace {

namespace fs = std::filesystem;
using plat::posix::CopyMethod;
using Bytes = std::vector<uint8_t>;

class FileCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("mpx_file_copy_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (plat::FileHandle h : open_) plat::posix::FileClose(h);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static Bytes Pattern(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
  }
  std::u16string Path(const std::string& name) const {
    const std::string text = (dir_ / name).string();
    return {text.begin(), text.end()};
  }
  void Put(const std::string& name, const Bytes& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Get(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  plat::FileHandle Open(const std::string& name, plat::FileAccess access) {
    const plat::FileHandle h =
        plat::posix::FileOpen(Path(name).c_str(), access, plat::FileDisposition::OpenExisting);
    EXPECT_NE(h, plat::kInvalidFile) << name;
    open_.push_back(h);
    return h;
  }

  fs::path dir_;
  std::vector<plat::FileHandle> open_;
};

struct CopyCase {
  const char* name;
  CopyMethod method;
  size_t size;
};

class WholeFileCopy : public FileCopyTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(WholeFileCopy, GivesTheSourceBytes) {
  const CopyCase& c = GetParam();
  const Bytes source = Pattern(c.size, static_cast<uint32_t>(c.size));
  Put("source", source);
  Put("target", {});
  uint32_t done = 12345;
  ASSERT_TRUE(plat::posix::FileCopy(Open("source", plat::FileAccess::Read),
                                    Open("target", plat::FileAccess::ReadWrite),
                                    static_cast<uint32_t>(c.size), &done, c.method));
  EXPECT_EQ(done, c.size);
  EXPECT_EQ(Get("target"), source);
}

constexpr size_t kBuffer = 256 * 1024;
INSTANTIATE_TEST_SUITE_P(
    MethodsAndSizes, WholeFileCopy,
    ::testing::Values(CopyCase{"KernelEmpty", CopyMethod::Kernel, 0},
                      CopyCase{"KernelOneByte", CopyMethod::Kernel, 1},
                      CopyCase{"KernelThreeMiB", CopyMethod::Kernel, 3 * 1024 * 1024 + 5},
                      CopyCase{"SendFileOddSize", CopyMethod::SendFile, 4095},
                      CopyCase{"SendFileThreeMiB", CopyMethod::SendFile, 3 * 1024 * 1024 + 5},
                      CopyCase{"BufferedEmpty", CopyMethod::Buffered, 0},
                      CopyCase{"BufferedOneBufferAndABit", CopyMethod::Buffered, kBuffer + 7},
                      CopyCase{"BufferedThreeMiB", CopyMethod::Buffered, 3 * 1024 * 1024 + 5}),
    [](const auto& p) { return std::string(p.param.name); });

class EveryMethod : public FileCopyTest, public ::testing::WithParamInterface<CopyMethod> {};

TEST_P(EveryMethod, StartsAtTheCurrentPositionsAndKeepsTheRest) {
  const Bytes source = Pattern(5000, 1);
  const Bytes before = Pattern(3000, 2);
  Put("source", source);
  Put("target", before);
  const plat::FileHandle in = Open("source", plat::FileAccess::Read);
  const plat::FileHandle out = Open("target", plat::FileAccess::ReadWrite);
  ASSERT_EQ(plat::posix::FileSeek(in, 100), 100u);
  ASSERT_EQ(plat::posix::FileSeek(out, 50), 50u);
  uint32_t done = 0;
  ASSERT_TRUE(plat::posix::FileCopy(in, out, 1000, &done, GetParam()));
  EXPECT_EQ(done, 1000u);

  Bytes expected = before;
  std::copy(source.begin() + 100, source.begin() + 1100, expected.begin() + 50);
  EXPECT_EQ(Get("target"), expected);
  // Both files advanced past what was copied.
  uint8_t next = 0;
  uint32_t read = 0;
  ASSERT_TRUE(plat::posix::FileRead(in, &next, 1, &read));
  EXPECT_EQ(next, source[1100]);
}

TEST_P(EveryMethod, StopsAtTheEndOfTheSource) {
  const Bytes source = Pattern(700, 3);
  Put("source", source);
  Put("target", {});
  uint32_t done = 0;
  ASSERT_TRUE(plat::posix::FileCopy(Open("source", plat::FileAccess::Read),
                                    Open("target", plat::FileAccess::ReadWrite), 10000, &done,
                                    GetParam()));
  EXPECT_EQ(done, 700u);
  EXPECT_EQ(Get("target"), source);
}

TEST_P(EveryMethod, ATargetOpenForReadingOnlyFails) {
  Put("source", Pattern(300, 4));
  Put("target", {});
  uint32_t done = 99;
  EXPECT_FALSE(plat::posix::FileCopy(Open("source", plat::FileAccess::Read),
                                     Open("target", plat::FileAccess::Read), 300, &done,
                                     GetParam()));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(Get("target").empty());
}

INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod,
                         ::testing::Values(CopyMethod::Kernel, CopyMethod::SendFile,
                                           CopyMethod::Buffered),
                         [](const auto& p) {
                           switch (p.param) {
                             case CopyMethod::Kernel: return std::string("Kernel");
                             case CopyMethod::SendFile: return std::string("SendFile");
                             default: return std::string("Buffered");
                           }
                         });

TEST_F(FileCopyTest, InvalidHandlesFail) {
  uint32_t done = 7;
  EXPECT_FALSE(plat::posix::FileCopy(plat::kInvalidFile, plat::kInvalidFile, 10, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(plat::posix::FileCopy(0, 0, 10, &done)) << "handle 0 is never a file";
}

}  // namespace
