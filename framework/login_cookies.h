// The login cookies the service's login page sets ("OMV", "OMI", "OMD", "CHAR"), read into
// the page's login fields, and the database confirmation of a login on a connection.
#ifndef OM_FRAMEWORK_LOGIN_COOKIES_H
#define OM_FRAMEWORK_LOGIN_COOKIES_H

#include <stdint.h>

#include "host_api.h"
#include "page.h"

namespace om {

class DbStep;

struct LoginFields {
  int32_t AccountId;               // "OMI", the account number (cid)
  int32_t LoginValue;              // "OMV", the login value of this login
  int32_t CharacterId;             // "OMD", the selected character (chid)
  char CharacterName[PageTextSize];  // "CHAR", the selected character's name
};

enum class LoginCookies {
  WithCharacterName,     // "CHAR" must be present too (OMJoin, OMCharacter, OMHost)
  WithoutCharacterName,  // "CHAR" is not read (OMAccount)
};

// 1 when the login cookies are complete (each number above 0), else 0. Fields read before
// the failing cookie keep their values; the later ones keep what they held.
int32_t ReadLoginCookies(HostApi* api, LoginFields& login, LoginCookies which = LoginCookies::WithCharacterName);

// Confirms (AccountId, LoginValue) against the table loginvalue on a connection the caller
// opened, as a statement tagged tag: 0 when a row of the active login carries both values,
// else -1 after replying 3207 (or the code of a failed statement). The caller releases the
// connection either way.
int32_t VerifyLogin(DbStep& connection, const LoginFields& login, const char* tag);

}  // namespace om

#endif  // OM_FRAMEWORK_LOGIN_COOKIES_H
