// The parser of the database source: statements and nodes into a SourceModel. Every problem
// is reported with its place; after one the parser goes on with the next statement.
#pragma once

#include <cstdint>
#include <string_view>

#include "diagnostics.h"
#include "source_model.h"

namespace dbc {

// Deeper nesting than any readable tree; stops runaway input before the stack does.
inline constexpr uint32_t kMaxNesting = 200;

// Parses one file (index `file` of diags->files) and appends its statements to model.
void ParseSource(std::string_view text, uint32_t file, SourceModel* model, Diagnostics* diags);

}  // namespace dbc
