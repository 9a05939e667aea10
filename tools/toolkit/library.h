// Loading one of the project's shared libraries at run time, as a host does, and finding its
// exported functions by name.
#pragma once

#include <string>
#include <vector>

namespace tools {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  ~SharedLibrary();

  // Loads the first candidate that loads. False with every attempt's reason in *error.
  bool Load(const std::vector<std::string>& candidates, std::string* error);
  // The exported function or object of that name; null with the reason in *error.
  void* Symbol(const char* name, std::string* error) const;
  const std::string& path() const { return path_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
};

// Where to look for a library, in order: the path given on the command line (then nothing
// else), the environment variable, the library of the build tree this tool was built in,
// the lib/ directory beside the tool's bin/ directory, and the plain file name (the system's
// search path).
std::vector<std::string> LibraryCandidates(const std::string& commandLinePath,
                                           const char* environmentVariable,
                                           const char* buildTreePath, const char* fileName);

}  // namespace tools
