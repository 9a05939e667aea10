// Command-line conventions shared by the tools: --help and --version, usage errors on stderr
// with exit status 2, other errors with exit status 1.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
#include <string>

namespace tools {

// A wrong command line found after parsing (a value of the right type that makes no sense).
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Any other failure that ends the tool with exit status 1 and a message.
struct ToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Adds --version ("<name> <version>") to the app.
void AddVersionFlag(CLI::App& app, const std::string& name);

// Parses argv and runs `body`; maps CLI11's parse errors and UsageError to status 2,
// ToolError to 1, and prints every message on stderr prefixed with the tool's name.
int RunTool(CLI::App& app, int argc, char** argv, const std::function<int()>& body);

}  // namespace tools
