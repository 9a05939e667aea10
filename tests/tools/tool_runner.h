// Runs a tool as a child process and captures what it prints, and scratch directories for
// the stores and working directories the tools use.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tooltest {

struct ToolResult {
  int exitStatus = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs program (searched in PATH when it has no slash) with args; `environment` entries are
// added to (or replace) the test's own environment.
ToolResult Run(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& environment = {});

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const;  // path/name, created as a directory

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool Contains(const std::string& text, const std::string& part);

}  // namespace tooltest
