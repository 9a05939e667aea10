// Tokens of the database source: words (names, numbers and hex byte pairs alike; the parser
// decides), quoted text with its escapes decoded, and punctuation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"

namespace dbc {

enum class TokenKind : uint8_t {
  Word,    // [A-Za-z0-9_]+
  Text,    // "..." (text holds the decoded bytes)
  Punct,   // one of { } [ ] ( ) , : ; = @ -
  DotDot,  // ..
  End,
};

struct Token {
  TokenKind kind;
  char punct;          // Punct only
  bool lineStart;      // first token on its line
  SourceLoc loc;
  std::string text;    // Word: as written; Text: decoded bytes
};

// Always ends with an End token; problems go to diags and the bad characters are skipped.
std::vector<Token> Tokenize(std::string_view source, uint32_t file, Diagnostics* diags);

}  // namespace dbc
