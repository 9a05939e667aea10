// Diagnostics of the database compiler: every problem with its place in the source, printed
// as "file:line:column: error: message" like any compiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dbc {

// file indexes Diagnostics::files; line and column count from 1 (0: no place in a source).
struct SourceLoc {
  uint32_t file = 0;
  uint32_t line = 0;
  uint32_t column = 0;
};

// A problem of the whole image rather than of one place in the source.
inline constexpr SourceLoc kNoLoc{0xFFFFFFFFu, 0, 0};

enum class Severity : uint8_t { Error, Warning };

struct Diagnostic {
  Severity severity;
  SourceLoc loc;
  std::string message;
};

struct Diagnostics {
  std::vector<std::string> files;  // names as given on the command line
  std::vector<Diagnostic> items;   // in the order found
};

void AddError(Diagnostics* diags, SourceLoc loc, std::string message);
void AddWarning(Diagnostics* diags, SourceLoc loc, std::string message);
size_t ErrorCount(const Diagnostics& diags);

// "file:line:column" (just "file" without a line).
std::string FormatLoc(const Diagnostics& diags, SourceLoc loc);
// "file:line:column: error: message".
std::string FormatDiagnostic(const Diagnostics& diags, const Diagnostic& diag);
// Every diagnostic, one per line.
std::string FormatAll(const Diagnostics& diags);

// Numbers as a reader of the source wrote them: 0x1006 for keys, plain decimal otherwise.
std::string Hex(uint32_t value);

}  // namespace dbc
