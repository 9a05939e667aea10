// A temporary directory for file tests, and UTF-16 paths inside it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform.h"

namespace platform_test {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/mpx-platform-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    // Read-only entries do not stop removal: the directory itself is writable.
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path File(const std::string& name) const { return path_ / name; }

  // The UTF-16 path of a file named by bytes, built as the libraries build theirs.
  std::u16string Wide(const std::string& name) const {
    std::u16string wide = Widen(path_.string());
    wide.push_back(plat::PathSeparator());
    return wide + Widen(name);
  }
  std::u16string WideSelf() const { return Widen(path_.string()); }

  static std::u16string Widen(const std::string& bytes) {
    if (bytes.empty()) return {};
    const auto count = static_cast<int32_t>(bytes.size());
    std::u16string wide(bytes.size(), u'\0');
    const int32_t units = plat::AnsiToWide(bytes.data(), count, wide.data(), count);
    wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return wide;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace platform_test
