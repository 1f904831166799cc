// The rules of a player name, shared by create and rename: the name a visitor typed is
// tidied (non-breaking spaces, outer and repeated spaces) and then checked.
#ifndef OM_PLUGINS_CHARACTER_CHAR_NAME_H
#define OM_PLUGINS_CHARACTER_CHAR_NAME_H

#include <stdint.h>

#include "host_api.h"

namespace omcharacter {

enum : int32_t {
  CodeNameEmpty = 3004,
  CodeNameTooLong = 3219,
  CodeNameRefused = 3237,
};

enum { CharNameMaxLength = 16 };

// Non-breaking spaces (0xA0) become spaces, leading and trailing spaces go, and every
// inner run of spaces becomes one. Only the space character is tidied.
void TidyCharName(char* name);

// 0 when a tidied name keeps the name rules of the site itself, else the code of the first
// rule it breaks. The host's own name filter is not asked here.
int32_t CharNameRuleCode(const char* name);

// Tidies the name in place, checks the rules and then the host's name filter (ScreenName).
// 1 when valid; else 0 with *code set to the broken rule's code.
int32_t ValidateCharName(HostApi* api, char* name, int32_t* code);

}  // namespace omcharacter

#endif
