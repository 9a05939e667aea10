// Test helpers of the Windows build: a fresh directory under the Windows temporary folder,
// removed with everything in it (read-only files too) when the test ends.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <string>

namespace wintest {

inline wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<wchar_t*>(const_cast<char16_t*>(text.c_str()));
}

inline bool Exists(const std::u16string& path) {
  return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

inline void RemoveTree(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(Wide(path));
    return;
  }
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(Wide(path + u"\\*"), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
      if (name != u"." && name != u"..") RemoveTree(path + u"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(Wide(path));
}

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<unsigned> serial{0};
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    std::u16string base(reinterpret_cast<const char16_t*>(temp), length);
    while (!base.empty() && base.back() == u'\\') base.pop_back();
    const std::string leaf = "mpx-windows-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(serial++);
    path_ = base + u"\\" + std::u16string(leaf.begin(), leaf.end());
    RemoveTree(path_);
    CreateDirectoryW(Wide(path_), nullptr);
  }
  ~ScratchDir() { RemoveTree(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory, without a trailing backslash.
  const std::u16string& Dir() const { return path_; }
  std::u16string Path(const std::u16string& name) const { return path_ + u"\\" + name; }

 private:
  std::u16string path_;
};

}  // namespace wintest
