#include "library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace tools {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool SharedLibrary::Load(const std::vector<std::string>& candidates, std::string* error) {
  error->clear();
  for (const std::string& candidate : candidates) {
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      if (handle_ != nullptr) dlclose(handle_);
      handle_ = handle;
      path_ = candidate;
      return true;
    }
    const char* reason = dlerror();
    if (!error->empty()) *error += "; ";
    *error += reason != nullptr ? reason : candidate + ": cannot be loaded";
  }
  if (candidates.empty()) *error = "no library to load";
  return false;
}

void* SharedLibrary::Symbol(const char* name, std::string* error) const {
  if (handle_ == nullptr) {
    *error = "no library loaded";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : std::string(name) + " is not exported by " + path_;
  }
  return symbol;
}

namespace {

// The directory of the running executable, or empty.
std::filesystem::path ExecutableDirectory() {
  std::error_code ignored;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return self.empty() ? std::filesystem::path() : self.parent_path();
}

}  // namespace

std::vector<std::string> LibraryCandidates(const std::string& commandLinePath,
                                           const char* environmentVariable,
                                           const char* buildTreePath, const char* fileName) {
  if (!commandLinePath.empty()) return {commandLinePath};
  std::vector<std::string> candidates;
  if (const char* fromEnvironment = std::getenv(environmentVariable);
      fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    candidates.emplace_back(fromEnvironment);
  }
  std::error_code ignored;
  if (buildTreePath != nullptr && std::filesystem::exists(buildTreePath, ignored)) {
    candidates.emplace_back(buildTreePath);
  }
  if (const std::filesystem::path here = ExecutableDirectory(); !here.empty()) {
    const std::filesystem::path installed = here.parent_path() / "lib" / fileName;
    if (std::filesystem::exists(installed, ignored)) candidates.push_back(installed.string());
  }
  candidates.emplace_back(fileName);
  return candidates;
}

}  // namespace tools
