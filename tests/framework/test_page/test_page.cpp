// OMTestPage: a page plug-in built only for the framework's tests. It registers enough
// variables to fill a table of 32, shows what it loaded as reply variables, runs the
// two-stage pattern and at stage 1 answers with the reply form its "action" names.
#include <stdio.h>

#include "host_api.h"
#include "lifecycle.h"
#include "login_cookies.h"
#include "page.h"
#include "plugin_entry.h"
#include "replies.h"
#include "text.h"

namespace {

enum { FillerCount = 19 };

struct TestPage : om::Page<32> {
  char action[512];
  int32_t number;
  int8_t small;
  char note[512];
  char secret[64];
  char hidden[64];
  char fillers[FillerCount][8];
  char overflow[64];
  om::LoginFields login;
  om::LoginFields loginWithoutName;
};

#define OM_FILLER(i) {"filler" #i, om::SvRequestText, OM_VAR(TestPage, fillers[i]), ""}

// 7 common + 26 own: the last row is the 33rd and finds the table full.
constexpr om::VarRow<TestPage> kTestVars[] = {
    {"action", om::SvRequestText, OM_VAR(TestPage, action), ""},
    {"number", om::SvRequestInt, OM_VAR(TestPage, number), "0"},
    {"small", om::SvByte | om::SvSource2 | om::SvSource4, OM_VAR(TestPage, small), "0"},
    {"note", om::SvRequestText, OM_VAR(TestPage, note), "none"},
    {"private:secret", om::SvPrivateText, OM_VAR(TestPage, secret), "kept"},
    {"hidden", om::SvRequestText | om::SvNoSession, OM_VAR(TestPage, hidden), "unseen"},
    OM_FILLER(0),  OM_FILLER(1),  OM_FILLER(2),  OM_FILLER(3),  OM_FILLER(4),  OM_FILLER(5),  OM_FILLER(6),
    OM_FILLER(7),  OM_FILLER(8),  OM_FILLER(9),  OM_FILLER(10), OM_FILLER(11), OM_FILLER(12), OM_FILLER(13),
    OM_FILLER(14), OM_FILLER(15), OM_FILLER(16), OM_FILLER(17), OM_FILLER(18),
    {"overflow", om::SvRequestText, OM_VAR(TestPage, overflow), "default"},
};
static_assert(7 + sizeof kTestVars / sizeof kTestVars[0] == 33, "one registration more than the table holds");

struct ActionEntry {
  int32_t number;
  const char* name;
};
constexpr ActionEntry kActions[] = {
    {1, "redirect"}, {2, "code"}, {3, "text"}, {4, "textsuccess"}, {5, "succeedtext"}, {6, "login"}, {0, nullptr},
};

void Show(const TestPage& page, const char* name, const char* value) {
  page.api->SetVar(page.api, ScopeReply, name, value);
}

void ShowNumber(const TestPage& page, const char* name, long value) {
  char text[32];
  snprintf(text, sizeof text, "%ld", value);
  Show(page, name, text);
}

int32_t SelectAction(TestPage& page) {
  if (om::FindAction(kActions, page.action) == nullptr) return om::FailBare(page.api, om::CodeUnknownAction);
  return 0;
}

int32_t Answer(TestPage& page, int32_t* end) {
  // What LoadVars left in the session before the page logic ran.
  char stored[512] = "";
  page.api->GetSessionVar(page.session, "private:stage", stored, sizeof stored);
  Show(page, "session.stage", stored);
  page.api->GetSessionVar(page.session, "success", stored, sizeof stored);
  Show(page, "session.success", stored);

  Show(page, "success", page.success);
  ShowNumber(page, "stage", page.stage);
  ShowNumber(page, "number", page.number);
  ShowNumber(page, "small", page.small);
  Show(page, "note", page.note);
  Show(page, "private:secret", page.secret);
  Show(page, "hidden", page.hidden);
  Show(page, "overflow", page.overflow);
  ShowNumber(page, "vars", page.vars.count);

  ShowNumber(page, "login", om::ReadLoginCookies(page.api, page.login));
  ShowNumber(page, "login.cid", page.login.AccountId);
  ShowNumber(page, "login.value", page.login.LoginValue);
  ShowNumber(page, "login.chid", page.login.CharacterId);
  Show(page, "login.name", page.login.CharacterName);
  ShowNumber(page, "loginWithoutName",
             om::ReadLoginCookies(page.api, page.loginWithoutName, om::LoginCookies::WithoutCharacterName));

  int32_t stage = om::TwoStages(page, "Testing....", 5);
  if (stage != om::StageWork) return stage;

  *end = 1;
  switch (om::FindAction(kActions, page.action)->number) {
    case 2: return om::FailCode(page, 4321);
    case 3: return om::FailText(page, "Bad.");
    case 4: return om::FailText(page, "Bad.", om::ReplyPage::Success);
    case 5: return om::SucceedText(page, "Done.");
    case 6: return om::FailLogin(page);
    default: return om::SucceedRedirect(page);
  }
}

constexpr om::PageDefinition<TestPage> kTestPage = {
    "OMTestPage.dll:SESSIONTAG", "OMTESTPAGESESSIONTAG", 0, "Unable to open up session.",
    kTestVars, nullptr, SelectAction, Answer,
};

}  // namespace

OM_DEFINE_GET_PLUGIN_INFO("0.0.9%s(test)")

OM_EXPORT int32_t Body(HostApi* api) { return om::RunPage(api, kTestPage); }
