// The text of a printer's file: one "ValueName=Number" line per REG_DWORD value.
//
// Number is decimal with an optional '-' (-2147483648 to 4294967295) or 0x hex of at most
// 32 bits; spaces and tabs around the name and the number are ignored. Blank lines, lines
// whose first character is '#' or ';', and every line that is not of this form are
// ignored, and kept as they are when a value is written. Names ignore ASCII case, as
// registry value names do; when a name occurs twice, the last line holds the value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace spool {

// The value of the name; false when no line holds it.
bool FindValue(std::string_view text, std::string_view name, uint32_t* value);

// A name that can be written as a line and read back: not empty, no '=', no line break or
// other control character, no spaces or tabs at either end, and not starting a comment.
bool IsStorableName(std::string_view name);

// The text with the value set: the line that holds the name is rewritten in place, or a
// line is appended; every other byte stays as it was.
std::string WithValue(std::string_view text, std::string_view name, uint32_t value);

}  // namespace spool
