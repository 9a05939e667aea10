// Store directory and printer file names.
#include "store.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace spool {
namespace {

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != 0 ? value : nullptr;
}

bool HomeDirectory(std::string* home) {
  if (const char* variable = NonEmptyVariable("HOME")) {
    *home = variable;
    return true;
  }
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == 0) {
    return false;
  }
  *home = found->pw_dir;
  return true;
}

}  // namespace

bool StoreDirectory(std::string* directory) {
  if (const char* explicitDirectory = NonEmptyVariable("MPX_SPOOL_DIR")) {
    *directory = explicitDirectory;
    return true;
  }
  // The base directory convention ignores relative paths.
  if (const char* state = NonEmptyVariable("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    *directory = std::string(state) + "/mpx/printers";
    return true;
  }
  std::string home;
  if (!HomeDirectory(&home)) return false;
  *directory = home + "/.local/state/mpx/printers";
  return true;
}

bool ToUtf8(const char16_t* text, std::string* utf8) {
  utf8->clear();
  for (size_t i = 0; text[i] != 0; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      const char32_t low = text[i + 1];
      if (low < 0xDC00 || low > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      utf8->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      utf8->push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      utf8->push_back(static_cast<char>(0xE0 | (c >> 12)));
      utf8->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      utf8->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      utf8->push_back(static_cast<char>(0xF0 | (c >> 18)));
      utf8->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      utf8->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      utf8->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

std::string PrinterFileName(const std::string& utf8Name) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string file;
  for (const char c : utf8Name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '/' || byte == '%' || byte < 0x20 || byte == 0x7F) {
      file.push_back('%');
      file.push_back(kHex[byte >> 4]);
      file.push_back(kHex[byte & 0x0F]);
    } else {
      file.push_back(c);
    }
  }
  return file + ".ini";
}

bool PrinterFilePath(const char16_t* name, std::string* path) {
  std::string utf8;
  if (name == nullptr || name[0] == 0 || !ToUtf8(name, &utf8)) return false;
  std::string directory;
  if (!StoreDirectory(&directory)) return false;
  *path = directory + "/" + PrinterFileName(utf8);
  return true;
}

}  // namespace spool
