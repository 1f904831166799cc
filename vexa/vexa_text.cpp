#include "vexa_text.h"

#include <stdio.h>
#include <string.h>

#include "vexa_platform.h"

namespace vexa {

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int32_t TextEqualAsciiNoCase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  for (;; ++a, ++b) {
    if (UpperAscii(*a) != UpperAscii(*b)) return 0;
    if (*a == '\0') return 1;
  }
}

int32_t TextEqual(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  return strcmp(a, b) == 0 ? 1 : 0;
}

char* TextUpperAscii(char* text) {
  if (text == nullptr) return nullptr;
  for (; *text != '\0'; ++text) *text = UpperAscii(*text);
  return text;
}

char* TextCopyN(char* destination, int32_t size, const char* source) {
  if (destination == nullptr || size < 1) return nullptr;
  size_t length = source == nullptr ? 0 : strnlen(source, static_cast<size_t>(size) - 1);
  if (length > 0) memmove(destination, source, length);
  destination[length] = '\0';
  return destination + length;
}

char* TextAppendN(char* destination, int32_t size, const char* source) {
  if (destination == nullptr || size < 1) return nullptr;
  size_t used = strnlen(destination, static_cast<size_t>(size));
  if (used >= static_cast<size_t>(size)) return nullptr;
  return TextCopyN(destination + used, size - static_cast<int32_t>(used), source);
}

int32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  size_t length = strlen(text);
  return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(length);
}

const NamedEntry* FindNamedEntry(const NamedEntry* table, const char* name) {
  if (table == nullptr || name == nullptr) return nullptr;
  for (; table->name != nullptr; ++table) {
    if (TextEqualAsciiNoCase(table->name, name)) return table;
  }
  return nullptr;
}

void TimeText(char* buffer) {
  if (buffer == nullptr) return;
  static const char kWeekdays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  buffer[0] = '\0';
  PlatformLocalTime now{};
  if (PlatformGetLocalTime(&now) != 0 || now.weekday < 0 || now.weekday > 6 || now.month < 0 || now.month > 11) return;
  // The fixed 24-character form of the C time conversion, with the day of the month in two
  // digits; the year is cut at four digits so the text always fits its 26 bytes.
  auto twoDigits = [](int32_t value) { return static_cast<unsigned>(value) % 100u; };
  snprintf(buffer, kTimeTextSize, "%s %s %02u %02u:%02u:%02u %04u", kWeekdays[now.weekday], kMonths[now.month],
           twoDigits(now.day), twoDigits(now.hour), twoDigits(now.minute), twoDigits(now.second),
           static_cast<unsigned>(now.year) % 10000u);
  // Whatever follows the year (the conversion's line end) is never kept.
  size_t length = strlen(buffer);
  while (length > 0 && (buffer[length - 1] < '0' || buffer[length - 1] > '9')) buffer[--length] = '\0';
}

void SplitSeconds(int32_t seconds, int32_t* hours, int32_t* minutes, int32_t* secondsLeft) {
  int32_t wholeHours = seconds / 3600;
  if (hours != nullptr) *hours = wholeHours;
  if (minutes != nullptr) *minutes = seconds / 60 - wholeHours * 60;
  if (secondsLeft != nullptr) *secondsLeft = seconds % 60;
}

void ReadCycleCounter(uint32_t* high, uint32_t* low) {
  uint64_t counter = PlatformCycleCounter();
  if (high != nullptr) *high = static_cast<uint32_t>(counter >> 32);
  if (low != nullptr) *low = static_cast<uint32_t>(counter);
}

}  // namespace vexa
