#include "diagnostics.h"

#include <cstdio>

namespace dbc {

void AddError(Diagnostics* diags, SourceLoc loc, std::string message) {
  diags->items.push_back(Diagnostic{Severity::Error, loc, std::move(message)});
}

void AddWarning(Diagnostics* diags, SourceLoc loc, std::string message) {
  diags->items.push_back(Diagnostic{Severity::Warning, loc, std::move(message)});
}

size_t ErrorCount(const Diagnostics& diags) {
  size_t errors = 0;
  for (const Diagnostic& d : diags.items) {
    if (d.severity == Severity::Error) ++errors;
  }
  return errors;
}

std::string FormatLoc(const Diagnostics& diags, SourceLoc loc) {
  std::string text = loc.file < diags.files.size() ? diags.files[loc.file] : "dbc";
  if (loc.line != 0) {
    text += ":" + std::to_string(loc.line) + ":" + std::to_string(loc.column);
  }
  return text;
}

std::string FormatDiagnostic(const Diagnostics& diags, const Diagnostic& diag) {
  return FormatLoc(diags, diag.loc) +
         (diag.severity == Severity::Error ? ": error: " : ": warning: ") + diag.message;
}

std::string FormatAll(const Diagnostics& diags) {
  std::string text;
  for (const Diagnostic& d : diags.items) text += FormatDiagnostic(diags, d) + "\n";
  return text;
}

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", value);
  return buffer;
}

}  // namespace dbc
