// The plain readings of the fuzz targets split a text the way the criteria grammars do:
// blanks (space, tab, line feed, form feed, carriage return) separate, each mark character
// is a token of its own, and every other run of characters is a word.
#ifndef OM_FUZZ_TOKENS_H
#define OM_FUZZ_TOKENS_H

#include <cstring>
#include <string>
#include <vector>

namespace omfuzz {

struct Token {
  char kind;  // 'w' for a word, else the mark itself
  std::string text;
};

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

inline bool IsMarkOf(const char* marks, char c) { return c != '\0' && std::strchr(marks, c) != nullptr; }

// marks: the grammar's mark characters.
inline std::vector<Token> Tokens(const char* text, const char* marks) {
  auto isMark = [marks](char c) { return IsMarkOf(marks, c); };
  std::vector<Token> tokens;
  for (const char* p = text; *p != '\0';) {
    if (IsBlank(*p)) {
      ++p;
    } else if (isMark(*p)) {
      tokens.push_back({*p++, ""});
    } else {
      const char* start = p;
      while (*p != '\0' && !IsBlank(*p) && !isMark(*p)) ++p;
      tokens.push_back({'w', std::string(start, p)});
    }
  }
  return tokens;
}

}  // namespace omfuzz

#endif
