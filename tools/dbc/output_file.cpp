#include "output_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace dbc {

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return !in.bad();
}

bool WriteFileIfChanged(const std::string& path, const std::string& content, bool* written) {
  *written = false;
  std::string existing;
  if (ReadWholeFile(path, &existing) && existing == content) return true;
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << content;
    if (!out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  *written = true;
  return true;
}

}  // namespace dbc
