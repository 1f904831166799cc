#include "glsvss.h"

#include <stdio.h>
#include <string.h>

#include "text.h"
#include "vexa_text.h"

namespace omcharacter {
namespace {

// Only the first 511 characters of a token count; the rest of the run is passed over.
enum { TokenSize = 512 };

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool EndsToken(char c) {
  return c == '\0' || IsSpace(c) || c == '[' || c == ':' || c == ']' || c == ',' || c == '=';
}

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

const char* ReadToken(const char* p, char (&token)[TokenSize]) {
  int32_t length = 0;
  for (; !EndsToken(*p); ++p) {
    if (length < TokenSize - 1) token[length++] = *p;
  }
  token[length] = '\0';
  return p;
}

// Appends text at *used; false when it does not fit with the
// terminating zero.
bool AppendPiece(char* output, int32_t size, int32_t* used, const char* text) {
  int32_t room = size - *used;
  int written = snprintf(output + *used, static_cast<size_t>(room), "%s", text);
  if (written < 0 || written >= room) return false;
  *used += written;
  return true;
}

bool AppendValue(char* output, int32_t size, int32_t* used, int32_t value) {
  char text[16];
  snprintf(text, sizeof text, "=%d", value);
  return AppendPiece(output, size, used, text);
}

}  // namespace

void ClearGlsvssList(GlsvssList& list) {
  memset(&list, 0, sizeof list);
  list.capacity = GlsvssCapacity;
}

int32_t ParseGlsvssRequest(GlsvssList& list, const char* request) {
  if (request == nullptr) return 0;
  char pload[TokenSize] = "";
  char expansion[TokenSize] = "";
  char name[TokenSize];
  char number[TokenSize];
  const char* p = SkipSpace(request);
  if (*p == '\0') return 0;
  for (;;) {
    if (*p == '[') {
      // A group header applies to this item and every following one until the next header.
      pload[0] = '\0';
      expansion[0] = '\0';
      p = SkipSpace(p + 1);
      p = SkipSpace(ReadToken(p, pload));
      if (*p == ':') {
        p = SkipSpace(p + 1);
        p = SkipSpace(ReadToken(p, expansion));
      }
      if (*p != ']') return -1;
      p = SkipSpace(p + 1);
    }

    p = SkipSpace(ReadToken(p, name));
    if (*p == '=') {
      // A value given with the name is read and not used: the database supplies it.
      p = SkipSpace(p + 1);
      p = SkipSpace(ReadToken(p, number));
      (void)om::DecimalValue(number);
    }

    vexa::TextUpperAscii(pload);
    vexa::TextUpperAscii(expansion);
    vexa::TextUpperAscii(name);
    if (list.count >= list.capacity || list.count >= GlsvssCapacity) return -1;
    GlsvssEntry& entry = list.entries[list.count++];
    vexa::TextCopyN(entry.pload, GlsvssNameSize, pload);
    vexa::TextCopyN(entry.expansion, GlsvssNameSize, expansion);
    vexa::TextCopyN(entry.varname, GlsvssNameSize, name);
    entry.value = 0;

    p = SkipSpace(p);
    if (*p == '\0') return 0;
    if (*p == '[') continue;
    if (*p != ',') return -1;
    p = SkipSpace(p + 1);
    if (*p == '\0') return 0;
  }
}

int32_t FormatGlsvssData(const GlsvssList& list, char* output, int32_t size) {
  if (output == nullptr || size < 1) return -1;
  output[0] = '\0';
  int32_t used = 0;
  bool fits = true;
  for (int32_t i = 0; i < list.count && fits; ++i) {
    const GlsvssEntry& entry = list.entries[i];
    if (i > 0) fits = AppendPiece(output, size, &used, ",");
    const GlsvssEntry* previous = i > 0 ? &list.entries[i - 1] : nullptr;
    bool header = previous == nullptr || !vexa::TextEqual(previous->pload, entry.pload) ||
                  !vexa::TextEqual(previous->expansion, entry.expansion);
    if (fits && header) {
      fits = AppendPiece(output, size, &used, "[") && AppendPiece(output, size, &used, entry.pload);
      if (fits && entry.expansion[0] != '\0') {
        fits = AppendPiece(output, size, &used, ":") && AppendPiece(output, size, &used, entry.expansion);
      }
      if (fits) fits = AppendPiece(output, size, &used, "]");
    }
    if (fits) fits = AppendPiece(output, size, &used, entry.varname);
    if (fits && entry.value != 0) fits = AppendValue(output, size, &used, entry.value);
  }
  if (!fits) {
    output[0] = '\0';
    return -1;
  }
  return 0;
}

}  // namespace omcharacter
