// Text helpers of the page plug-ins: every copy, comparison, search, replacement, trimming
// and quoting of page text goes through these, so that no buffer is written past its size
// and no SQL text is built from unquoted input. A size always counts the terminating NUL.
#ifndef OM_FRAMEWORK_TEXT_H
#define OM_FRAMEWORK_TEXT_H

#include <stdint.h>

namespace om {

// Copies source into destination, at most size - 1 characters, always terminated when
// size is above 0. A null source gives an empty text; a null destination or a size of 0
// or below writes nothing.
void TextCopy(char* destination, const char* source, int32_t size);

// Appends source so that the whole text stays within size - 1 characters. Returns the
// position of the new end (null when destination is null).
char* TextAppend(char* destination, const char* source, int32_t size);

// 1 when a and b are equal with a to z folded to upper case, else 0 (0 for a null text).
int32_t TextEqualNoCase(const char* a, const char* b);

// First occurrence of pattern in text (case-sensitive), or null. An empty text gives
// null; an empty pattern in a non-empty text gives the first position.
const char* TextFind(const char* text, const char* pattern);
char* TextFind(char* text, const char* pattern);

// Replaces every occurrence of pattern in place and returns the count. The caller's
// buffer must have room for the grown text; replacements are never rescanned.
int32_t TextReplaceAll(char* text, const char* pattern, const char* replacement);
int32_t TextReplaceAllNoCase(char* text, const char* pattern, const char* replacement);

// Removes leading blanks (the space character only).
void TextTrimLeft(char* text);
// Removes trailing blanks and returns the remaining length; a text of length 0 or 1 is
// left as it is.
int32_t TextTrimRight(char* text);

// Copies source into destination with every apostrophe doubled, so the result can stand
// inside a single-quoted SQL literal. The result keeps within size - 1 characters; when
// the doubled text does not fit it is cut before the first character that does not fit
// whole, so it never ends in an unpaired apostrophe. Returns destination.
char* SqlQuote(char* destination, int32_t size, const char* source);

// Removes count characters at position (fewer when the text ends first).
void TextDeleteRange(char* text, int32_t position, int32_t count);
// Inserts insertion at position, keeping the whole text within size - 1 characters.
void TextInsertAt(char* text, int32_t size, int32_t position, const char* insertion);
// TextDeleteRange, then TextInsertAt at the same position.
void TextReplaceRange(char* text, int32_t size, int32_t position, int32_t count, const char* insertion);

// Percent-encodes every byte but ASCII letters and digits, in place within size bytes.
// When an encoded byte no longer fits, the text ends before it. Returns 0.
int32_t UrlEncode(char* text, int32_t size);

// TextCopy into a fixed array (a record field, a page buffer), bounded to the array's size.
template <int32_t N>
inline void TextCopyInto(char (&destination)[N], const char* source) {
  TextCopy(destination, source, N);
}

// Decimal value of a text: leading white space, an optional sign, digits up to the first
// other character; no digits give 0; values beyond the 32-bit range are clamped.
int32_t DecimalValue(const char* text);

}  // namespace om

#endif  // OM_FRAMEWORK_TEXT_H
