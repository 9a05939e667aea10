// Shared pieces of the fuzz targets: a reader that turns the fuzzer's bytes into values
// (zeros once the input runs out), the check that stops the run on a broken promise, and a
// scratch directory for the targets that work on files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace fuzz {

// A broken promise is a crash: libFuzzer keeps the input, the corpus replay fails.
[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition)                                   \
  do {                                                          \
    if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition); \
  } while (false)

// Reads little-endian values from the front of the input; past its end every value is 0.
struct Reader {
  std::span<const uint8_t> data;
  size_t at = 0;

  size_t Remaining() const { return data.size() - at; }
  uint8_t U8() { return at < data.size() ? data[at++] : uint8_t{0}; }
  uint16_t U16() {
    const uint16_t low = U8();
    return static_cast<uint16_t>(low | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  // Up to n bytes, fewer when the input ends first.
  std::span<const uint8_t> Take(size_t n) {
    const size_t count = n < Remaining() ? n : Remaining();
    const std::span<const uint8_t> part = data.subspan(at, count);
    at += count;
    return part;
  }
  // A 16-bit length, then that many bytes (fewer when the input ends first).
  std::span<const uint8_t> Blob() { return Take(U16()); }
  std::span<const uint8_t> Rest() { return Take(Remaining()); }
};

// The writer the seed generator uses to make inputs the readers above take apart.
struct Writer {
  std::vector<uint8_t> bytes;
  void U8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    U8(v & 0xFFu);
    U8((v >> 8) & 0xFFu);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFFu);
    U16(v >> 16);
  }
  void Raw(std::span<const uint8_t> part) { bytes.insert(bytes.end(), part.begin(), part.end()); }
  void Blob(std::span<const uint8_t> part) {
    U16(static_cast<uint32_t>(part.size()));
    Raw(part);
  }
};

// A directory of this process under the temporary directory (tmpfs when there is one),
// removed when the process ends normally.
inline const std::filesystem::path& ScratchRoot() {
  static const std::filesystem::path root = [] {
    std::error_code ignored;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ignored)) base = std::filesystem::temp_directory_path();
    std::filesystem::path made;
    for (uint32_t attempt = 0;; ++attempt) {
      made = base / ("mpx_fuzz_" + std::to_string(std::random_device{}()) + "_" +
                     std::to_string(attempt));
      if (std::filesystem::create_directory(made, ignored)) break;
      if (attempt > 100) Fail(__FILE__, __LINE__, "no scratch directory");
    }
    std::atexit([] {
      std::error_code quiet;
      std::filesystem::remove_all(ScratchRoot(), quiet);
    });
    return made;
  }();
  return root;
}

inline void EmptyDirectory(const std::filesystem::path& dir) {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir, ignored);
}

inline bool WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fuzz
