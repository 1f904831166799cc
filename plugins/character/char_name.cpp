#include "char_name.h"

#include "text.h"
#include "vexa_text.h"

namespace omcharacter {
namespace {

constexpr unsigned char kNonBreakingSpace = 0xA0;

bool IsLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

}  // namespace

void TidyCharName(char* name) {
  if (name == nullptr) return;
  for (char* p = name; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) == kNonBreakingSpace) *p = ' ';
  }
  om::TextTrimLeft(name);
  om::TextTrimRight(name);
  char* out = name;
  for (const char* in = name; *in != '\0'; ++in) {
    if (*in == ' ' && out > name && out[-1] == ' ') continue;
    *out++ = *in;
  }
  *out = '\0';
}

int32_t CharNameRuleCode(const char* name) {
  if (name == nullptr || name[0] == '\0') return CodeNameEmpty;
  if (vexa::TextLength(name) > CharNameMaxLength) return CodeNameTooLong;
  int32_t letters = 0;
  int32_t punctuation = 0;
  for (const char* p = name; *p != '\0'; ++p) {
    if (IsLetterOrDigit(*p)) {
      ++letters;
    } else if (*p == '.' || *p == '-') {
      if (p == name) return CodeNameRefused;
      ++punctuation;
    } else if (*p != ' ') {
      return CodeNameRefused;
    }
  }
  if (punctuation > letters) return CodeNameRefused;
  return 0;
}

int32_t ValidateCharName(HostApi* api, char* name, int32_t* code) {
  TidyCharName(name);
  int32_t broken = CharNameRuleCode(name);
  if (broken == 0 && api->ScreenName(api, name) != 0) broken = CodeNameRefused;
  if (code != nullptr) *code = broken;
  return broken == 0 ? 1 : 0;
}

}  // namespace omcharacter
