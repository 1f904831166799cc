// Vexa's small free functions: bounded text handling, the named-entry lookup, the time
// text of diagnostic reports, the split of seconds and the time-stamp counter. They keep
// no state; every text function accepts null pointers and then does nothing or gives 0 or
// null. A size always counts the terminating zero.
#ifndef OM_VEXA_TEXT_H
#define OM_VEXA_TEXT_H

#include <stdint.h>

namespace vexa {

// 1 when the whole texts are equal with 'a'-'z' folded to upper case (every other byte
// compared exactly), else 0; 0 when either is null.
int32_t TextEqualAsciiNoCase(const char* a, const char* b);
// 1 when the whole texts are equal byte for byte, else 0; 0 when either is null.
int32_t TextEqual(const char* a, const char* b);
// Turns 'a'-'z' into upper case in place; returns the terminating zero (null for null).
char* TextUpperAscii(char* text);
// Copies at most size - 1 bytes of source and always terminates; size below 1 writes
// nothing; a null source gives an empty text. Returns the terminating zero, or null when
// nothing was written.
char* TextCopyN(char* destination, int32_t size, const char* source);
// Appends source so that the text with its terminating zero stays within size bytes.
// Returns the terminating zero, or null when nothing could be written (null destination,
// size below 1, or a destination without a terminating zero within size).
char* TextAppendN(char* destination, int32_t size, const char* source);
// Bytes before the terminating zero; 0 for null.
int32_t TextLength(const char* text);

// One row of a named-entry table; a table ends with a row whose name is null.
struct NamedEntry {
  int32_t number;
  const char* name;
};
// The first row whose name equals name under TextEqualAsciiNoCase, or null.
const NamedEntry* FindNamedEntry(const NamedEntry* table, const char* name);

// Size TimeText needs at least.
constexpr int32_t kTimeTextSize = 26;
// The local date and time as "Wed Jan 02 02:03:55 1980", never with a line end; an empty
// text when the clock cannot be read. buffer holds at least kTimeTextSize bytes.
void TimeText(char* buffer);

// hours = seconds / 3600, minutes = seconds / 60 - hours * 60, seconds mod 60, all
// truncated toward zero (so -61 gives 0, -1, -1). Null out arguments are skipped.
void SplitSeconds(int32_t seconds, int32_t* hours, int32_t* minutes, int32_t* secondsLeft);

// The time-stamp counter as its high and low halves; a null out argument is skipped.
void ReadCycleCounter(uint32_t* high, uint32_t* low);

}  // namespace vexa

#endif
