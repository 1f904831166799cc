#include "code_list.h"

#include <string.h>

#include "text.h"

namespace omjoin {

namespace {

// A list whose count the host or a caller left out of range holds only what fits.
int32_t CountOf(const CodeList& list) {
  if (list.count < 0) return 0;
  return list.count > CodeListCapacity ? CodeListCapacity : list.count;
}

bool IsCodeSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\n'; }

}  // namespace

void CodeListClear(CodeList& list) { memset(&list, 0, sizeof list); }

const char* CodeListFind(const CodeList& list, const char* name) {
  if (name == nullptr) return nullptr;
  const int32_t count = CountOf(list);
  for (int32_t i = 0; i < count; ++i) {
    if (om::TextEqualNoCase(list.names[i], name)) return list.names[i];
  }
  return nullptr;
}

const char* CodeListAdd(CodeList& list, const char* name) {
  if (name == nullptr) return nullptr;
  // A name is kept to 31 characters, so it is compared as it would be stored.
  char cut[CodeNameSize];
  om::TextCopy(cut, name, CodeNameSize);
  if (const char* found = CodeListFind(list, cut)) return found;
  const int32_t count = CountOf(list);
  if (count >= CodeListCapacity) return nullptr;
  om::TextCopy(list.names[count], cut, CodeNameSize);
  list.count = count + 1;
  return list.names[count];
}

void CodeListRemove(CodeList& list, const char* name) {
  if (name == nullptr) return;
  const int32_t count = CountOf(list);
  for (int32_t i = 0; i < count; ++i) {
    if (!om::TextEqualNoCase(list.names[i], name)) continue;
    memmove(list.names[i], list.names[i + 1], static_cast<size_t>(count - i - 1) * CodeNameSize);
    memset(list.names[count - 1], 0, CodeNameSize);
    list.count = count - 1;
    return;
  }
}

void ParseCodeList(CodeList& list, const char* text) {
  CodeListClear(list);
  if (text == nullptr) return;
  const char* p = text;
  while (*p != '\0') {
    while (*p != '\0' && IsCodeSeparator(*p)) ++p;
    if (*p == '\0') break;
    char word[CodeNameSize];
    int32_t length = 0;
    for (; *p != '\0' && !IsCodeSeparator(*p); ++p) {
      if (length < CodeNameSize - 1) word[length++] = *p;
    }
    word[length] = '\0';
    if (CodeListFind(list, word) == nullptr && CountOf(list) < CodeListCapacity) CodeListAdd(list, word);
  }
}

}  // namespace omjoin
