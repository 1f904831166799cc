#include "vexa_text.h"

int32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  int32_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}
