#include "login_cookies.h"

#include "db_step.h"
#include "replies.h"
#include "text.h"

namespace om {
namespace {

// The number cookies, in the order they are read.
struct NumberCookie {
  const char* name;
  int32_t LoginFields::*field;
};
constexpr NumberCookie kNumberCookies[] = {
    {"OMV", &LoginFields::LoginValue},
    {"OMI", &LoginFields::AccountId},
    {"OMD", &LoginFields::CharacterId},
};

constexpr char kVerifyLoginQuery[] =
    "select lv.cid, lv.value from loginvalue lv (NOLOCK), login l (NOLOCK) where lv.cid=%ld and l.cid = lv.cid "
    "and l.status = 'A' and lv.value=%ld ";

}  // namespace

int32_t ReadLoginCookies(HostApi* api, LoginFields& login, LoginCookies which) {
  for (const NumberCookie& cookie : kNumberCookies) {
    char text[PageTextSize];
    if (api->GetVar(api, ScopeCookie, cookie.name, text, PageTextSize) < 0) return 0;
    text[PageTextSize - 1] = '\0';
    login.*cookie.field = DecimalValue(text);
    if (login.*cookie.field <= 0) return 0;
  }
  if (which == LoginCookies::WithoutCharacterName) return 1;
  int32_t found = api->GetVar(api, ScopeCookie, "CHAR", login.CharacterName, PageTextSize);
  login.CharacterName[PageTextSize - 1] = '\0';
  return found >= 0 ? 1 : 0;
}

int32_t VerifyLogin(DbStep& connection, const LoginFields& login, const char* tag) {
  DbStep step(connection, tag);
  step.append(kVerifyLoginQuery, static_cast<long>(login.AccountId), static_cast<long>(login.LoginValue));
  if (!step.execute() || !step.nextResult()) return kFailed;
  int32_t cid;
  int32_t value;
  step.bindInt(&cid);
  step.bindInt(&value);
  bool confirmed = false;
  step.fetchEach([&] { confirmed = confirmed || (cid == login.AccountId && value == login.LoginValue); });
  step.close();
  if (!confirmed) return step.failLogin();
  return 0;
}

}  // namespace om
