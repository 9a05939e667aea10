#include "lexer.h"

#include <cstdio>

namespace dbc {

namespace {

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsPunct(char c) {
  switch (c) {
    case '{': case '}': case '[': case ']': case '(': case ')':
    case ',': case ':': case ';': case '=': case '@': case '-':
      return true;
    default:
      return false;
  }
}

std::string Printable(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", byte);
  return buffer;
}

struct Cursor {
  std::string_view source;
  size_t pos = 0;
  uint32_t line = 1;
  uint32_t column = 1;
  uint32_t file = 0;

  bool AtEnd() const { return pos >= source.size(); }
  char Peek(size_t ahead = 0) const {
    return pos + ahead < source.size() ? source[pos + ahead] : '\0';
  }
  void Advance() {
    if (source[pos] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    ++pos;
  }
  SourceLoc Here() const { return SourceLoc{file, line, column}; }
};

// After the opening quote; stops after the closing quote or at the end of the line.
void ReadText(Cursor* cur, Token* token, Diagnostics* diags) {
  for (;;) {
    if (cur->AtEnd() || cur->Peek() == '\n') {
      AddError(diags, token->loc, "unterminated text");
      return;
    }
    const char c = cur->Peek();
    if (c == '"') {
      cur->Advance();
      return;
    }
    if (c != '\\') {
      token->text += c;
      cur->Advance();
      continue;
    }
    const SourceLoc escapeLoc = cur->Here();
    cur->Advance();
    if (cur->AtEnd() || cur->Peek() == '\n') {
      AddError(diags, escapeLoc, "unterminated text");
      return;
    }
    const char e = cur->Peek();
    cur->Advance();
    switch (e) {
      case 'e': token->text += '\x1B'; break;
      case 'n': token->text += '\n'; break;
      case 'r': token->text += '\r'; break;
      case 't': token->text += '\t'; break;
      case '0': token->text += '\0'; break;
      case '\\': token->text += '\\'; break;
      case '"': token->text += '"'; break;
      case 'x': {
        const int high = HexDigit(cur->Peek());
        const int low = high < 0 ? -1 : HexDigit(cur->Peek(1));
        if (low < 0) {
          AddError(diags, escapeLoc, "\\x needs two hex digits");
          break;
        }
        cur->Advance();
        cur->Advance();
        token->text += static_cast<char>(high * 16 + low);
        break;
      }
      default:
        AddError(diags, escapeLoc, "unknown escape \\" + std::string(1, e) +
                                       " (known: \\e \\n \\r \\t \\0 \\\\ \\\" \\xHH)");
        break;
    }
  }
}

}  // namespace

std::vector<Token> Tokenize(std::string_view source, uint32_t file, Diagnostics* diags) {
  std::vector<Token> tokens;
  Cursor cur{source, 0, 1, 1, file};
  uint32_t lastLine = 0;
  bool inBadRun = false;  // one message for a run of stray characters
  while (!cur.AtEnd()) {
    const char c = cur.Peek();
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      cur.Advance();
      inBadRun = false;
      continue;
    }
    if (c == '#') {
      while (!cur.AtEnd() && cur.Peek() != '\n') cur.Advance();
      continue;
    }
    Token token{TokenKind::Word, '\0', cur.line != lastLine, cur.Here(), {}};
    if (IsWordChar(c)) {
      while (!cur.AtEnd() && IsWordChar(cur.Peek())) {
        token.text += cur.Peek();
        cur.Advance();
      }
    } else if (c == '"') {
      token.kind = TokenKind::Text;
      cur.Advance();
      ReadText(&cur, &token, diags);
    } else if (c == '.' && cur.Peek(1) == '.') {
      token.kind = TokenKind::DotDot;
      cur.Advance();
      cur.Advance();
    } else if (IsPunct(c)) {
      token.kind = TokenKind::Punct;
      token.punct = c;
      cur.Advance();
    } else {
      if (!inBadRun) AddError(diags, cur.Here(), "unexpected character " + Printable(c));
      inBadRun = true;
      cur.Advance();
      continue;
    }
    inBadRun = false;
    lastLine = token.loc.line;
    tokens.push_back(std::move(token));
  }
  tokens.push_back(Token{TokenKind::End, '\0', true, cur.Here(), {}});
  return tokens;
}

}  // namespace dbc
