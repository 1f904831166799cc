// OMHost: registers a logged-in visitor as the host of a game of one product family and
// sends the browser to the caller's success page with the host key. Two requests: an
// interim "Contacting Orbitmere...." page, then the registration. Every request that passes
// Init also empties the identity cookies OMJoin hands on and records the product families.
#include <stdio.h>

#include "cookies.h"
#include "host_api.h"
#include "lifecycle.h"
#include "login_cookies.h"
#include "page.h"
#include "plugin_entry.h"
#include "records.h"
#include "replies.h"
#include "text.h"

namespace {

struct HostPage : om::Page<64> {
  int32_t pfid;
  int32_t pfid2;
  int32_t lan;  // registered with the other join pages' variables; not used here
  om::LoginFields login;
};

constexpr om::VarRow<HostPage> kHostVars[] = {
    {"pfid", om::SvAnySourceInt, OM_VAR(HostPage, pfid), ""},
    {"pfid2", om::SvAnySourceInt, OM_VAR(HostPage, pfid2), ""},
    {"lan", om::SvRequestInt, OM_VAR(HostPage, lan), "0"},
};

// The cookies written on every request, in this order: OMJoin's identity values emptied,
// the two product families as numbers.
enum class CookieValue { Empty, Pfid, Pfid2 };
struct CookieRow {
  const char* name;
  CookieValue value;
};
constexpr CookieRow kCookies[] = {
    {"PUBPCID", CookieValue::Empty},     {"PUBNAMEINFO", CookieValue::Empty}, {"PUBSQUADINFO", CookieValue::Empty},
    {"OMPCID", CookieValue::Empty},      {"OMNAMEINFO", CookieValue::Empty},  {"OMSQUADINFO", CookieValue::Empty},
    {"OMTI", CookieValue::Empty},        {"OMTV", CookieValue::Empty},        {"OMPF", CookieValue::Pfid},
    {"OMPF2", CookieValue::Pfid2},       {"AFFPCID", CookieValue::Empty},     {"AFFNAMEINFO", CookieValue::Empty},
    {"AFFSQUADINFO", CookieValue::Empty},
};

constexpr char kContacting[] = "Contacting Orbitmere....";
constexpr int32_t kCodeNotRegistered = 3234;
// The success page (511), the joint, "hostkey=" and the longest key (2047) always fit.
constexpr int32_t kAddressSize = 4096;

void WriteCookies(const HostPage& page) {
  for (const CookieRow& cookie : kCookies) {
    switch (cookie.value) {
      case CookieValue::Empty: page.api->SetVar(page.api, ScopeCookie, cookie.name, ""); break;
      case CookieValue::Pfid: om::SetNumberCookie(page.api, cookie.name, page.pfid); break;
      case CookieValue::Pfid2: om::SetNumberCookie(page.api, cookie.name, page.pfid2); break;
    }
  }
}

int32_t HandOff(HostPage& page, int32_t* end) {
  WriteCookies(page);
  int32_t stage = om::TwoStages(page, kContacting, 0);
  if (stage != om::StageWork) return stage;

  // A visitor without login cookies is still registered, with zeros; the host decides.
  bool loggedIn = om::ReadLoginCookies(page.api, page.login) == 1;
  HostRecord record = om::MakeHostRecord(loggedIn ? &page.login : nullptr, page.pfid);
  if (page.api->RegisterHost(page.api, &record) < 0) return om::FailCode(page, kCodeNotRegistered);
  if (record.status != 0) return om::FailCode(page, record.status);

  record.hostKey[sizeof record.hostKey - 1] = '\0';
  const char* joint = om::TextFind(page.success, "?") != nullptr ? "&" : "?";
  char address[kAddressSize];
  snprintf(address, sizeof address, "%s%shostkey=%s", page.success, joint, record.hostKey);
  om::SucceedRedirectTo(page, address);
  *end = 1;
  return 0;
}

constexpr om::PageDefinition<HostPage> kHostPage = {
    "OMHost.dll:SESSIONTAG", "OMJOINSESSIONTAG", om::CodeNoSession, nullptr, kHostVars, nullptr, nullptr, HandOff,
};

}  // namespace

OM_DEFINE_GET_PLUGIN_INFO("0.0.1%s(.NET)")

OM_EXPORT int32_t Body(HostApi* api) { return om::RunPage(api, kHostPage); }
