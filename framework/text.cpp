#include "text.h"

namespace om {
namespace {

int32_t Length(const char* text) {
  int32_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Moves count bytes from source to destination; the ranges may overlap.
void MoveBytes(char* destination, const char* source, int32_t count) {
  if (destination < source) {
    for (int32_t i = 0; i < count; ++i) destination[i] = source[i];
  } else {
    for (int32_t i = count - 1; i >= 0; --i) destination[i] = source[i];
  }
}

template <bool kFoldCase>
bool MatchesAt(const char* text, const char* pattern) {
  for (int32_t i = 0; pattern[i] != '\0'; ++i) {
    if (text[i] == '\0') return false;
    char a = kFoldCase ? FoldAscii(text[i]) : text[i];
    char b = kFoldCase ? FoldAscii(pattern[i]) : pattern[i];
    if (a != b) return false;
  }
  return true;
}

template <bool kFoldCase>
int32_t ReplaceAll(char* text, const char* pattern, const char* replacement) {
  if (text == nullptr || pattern == nullptr || replacement == nullptr || pattern[0] == '\0') return 0;
  const int32_t patternLength = Length(pattern);
  const int32_t replacementLength = Length(replacement);
  int32_t count = 0;
  char* position = text;
  while (*position != '\0') {
    if (!MatchesAt<kFoldCase>(position, pattern)) {
      ++position;
      continue;
    }
    const int32_t tailLength = Length(position + patternLength) + 1;  // with the NUL
    MoveBytes(position + replacementLength, position + patternLength, tailLength);
    MoveBytes(position, replacement, replacementLength);
    position += replacementLength;
    ++count;
  }
  return count;
}

}  // namespace

void TextCopy(char* destination, const char* source, int32_t size) {
  if (destination == nullptr || size <= 0) return;
  int32_t copied = 0;
  if (source != nullptr) {
    while (copied < size - 1 && source[copied] != '\0') {
      destination[copied] = source[copied];
      ++copied;
    }
  }
  destination[copied] = '\0';
}

char* TextAppend(char* destination, const char* source, int32_t size) {
  if (destination == nullptr) return nullptr;
  int32_t length = Length(destination);
  int32_t room = size - length;
  if (source != nullptr && source[0] != '\0' && room > 1) {
    while (room > 1 && *source != '\0') {
      destination[length++] = *source++;
      --room;
    }
    destination[length] = '\0';
  }
  return destination + length;
}

int32_t TextEqualNoCase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  while (*a != '\0' && *b != '\0') {
    if (FoldAscii(*a) != FoldAscii(*b)) return 0;
    ++a;
    ++b;
  }
  return (*a == '\0' && *b == '\0') ? 1 : 0;
}

const char* TextFind(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  for (const char* position = text; *position != '\0'; ++position) {
    if (MatchesAt<false>(position, pattern)) return position;
  }
  return nullptr;
}

char* TextFind(char* text, const char* pattern) {
  return const_cast<char*>(TextFind(static_cast<const char*>(text), pattern));
}

int32_t TextReplaceAll(char* text, const char* pattern, const char* replacement) {
  return ReplaceAll<false>(text, pattern, replacement);
}

int32_t TextReplaceAllNoCase(char* text, const char* pattern, const char* replacement) {
  return ReplaceAll<true>(text, pattern, replacement);
}

void TextTrimLeft(char* text) {
  if (text == nullptr || text[0] != ' ') return;
  int32_t blanks = 0;
  while (text[blanks] == ' ') ++blanks;
  MoveBytes(text, text + blanks, Length(text + blanks) + 1);
}

int32_t TextTrimRight(char* text) {
  if (text == nullptr) return 0;
  int32_t length = Length(text);
  if (length <= 1) return length;
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  return length;
}

char* SqlQuote(char* destination, int32_t size, const char* source) {
  if (destination == nullptr) return nullptr;
  if (size <= 0 || source == nullptr) return destination;
  TextCopy(destination, source, size);
  // Find how much of the copy fits once doubled, then widen it in place from the back.
  int32_t kept = 0;
  int32_t quotedLength = 0;
  while (destination[kept] != '\0') {
    int32_t width = destination[kept] == '\'' ? 2 : 1;
    if (quotedLength + width > size - 1) break;
    quotedLength += width;
    ++kept;
  }
  destination[quotedLength] = '\0';
  int32_t to = quotedLength;
  for (int32_t from = kept - 1; from >= 0; --from) {
    char c = destination[from];
    destination[--to] = c;
    if (c == '\'') destination[--to] = c;
  }
  return destination;
}

void TextDeleteRange(char* text, int32_t position, int32_t count) {
  if (text == nullptr || position < 0) return;
  const int32_t length = Length(text);
  if (position >= length || count < 1) return;
  if (count > length - position) count = length - position;
  MoveBytes(text + position, text + position + count, length - position - count + 1);
}

void TextInsertAt(char* text, int32_t size, int32_t position, const char* insertion) {
  if (text == nullptr || insertion == nullptr || size < 1 || position < 0) return;
  const int32_t length = Length(text);
  const int32_t insertionLength = Length(insertion);
  if (position > length || insertionLength == 0) return;
  const int32_t tailLength = length - position;
  if (position + insertionLength + tailLength < size) {
    MoveBytes(text + position + insertionLength, text + position, tailLength + 1);
    MoveBytes(text + position, insertion, insertionLength);
  } else if (position + insertionLength >= size) {
    text[position] = '\0';
    TextAppend(text, insertion, size);
  } else {
    const int32_t keptTail = size - 1 - position - insertionLength;
    MoveBytes(text + position + insertionLength, text + position, keptTail);
    text[size - 1] = '\0';
    MoveBytes(text + position, insertion, insertionLength);
  }
}

void TextReplaceRange(char* text, int32_t size, int32_t position, int32_t count, const char* insertion) {
  TextDeleteRange(text, position, count);
  TextInsertAt(text, size, position, insertion);
}

int32_t UrlEncode(char* text, int32_t size) {
  if (text == nullptr) return 0;
  static constexpr char kHex[] = "0123456789abcdef";
  char* position = text;
  int32_t room = size;
  while (*position != '\0') {
    const unsigned char c = static_cast<unsigned char>(*position);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      ++position;
      --room;
      continue;
    }
    if (room < 4) {  // three characters and the terminator no longer fit
      *position = '\0';
      break;
    }
    const char encoded[4] = {'%', kHex[c >> 4], kHex[c & 0x0F], '\0'};
    TextReplaceRange(position, room, 0, 1, encoded);
    position += 3;
    room -= 3;
  }
  return 0;
}

int32_t DecimalValue(const char* text) {
  if (text == nullptr) return 0;
  while (IsWhiteSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t value = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + (*text++ - '0');
    if (value > INT64_C(2147483648)) value = INT64_C(2147483648);  // clamped below
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace om
