// OMAccount's page: the page variables it registers, its action table and the relay page of
// each action, and Body. The handlers live in one file per group of actions.
#include "account.h"

#include "codes.h"
#include "lifecycle.h"
#include "plugin_entry.h"
#include "state_vars.h"

namespace account {
namespace {

using Var = om::VarRow<OMAccount>;

// OMAccount's own page variables, registered after the common seven and in this order.
constexpr Var kVars[] = {
    {"action", om::SvRequestText, OM_VAR(OMAccount, action), ""},
    {"firstname", om::SvRequestText, OM_VAR(OMAccount, info[kFirstName]), ""},
    {"minitial", om::SvRequestText, OM_VAR(OMAccount, info[kMiddleInitial]), ""},
    {"lastname", om::SvRequestText, OM_VAR(OMAccount, info[kLastName]), ""},
    {"address1", om::SvRequestText, OM_VAR(OMAccount, info[kAddress1]), ""},
    {"address2", om::SvRequestText, OM_VAR(OMAccount, info[kAddress2]), ""},
    {"city", om::SvRequestText, OM_VAR(OMAccount, info[kCity]), ""},
    {"stateprovince", om::SvRequestText, OM_VAR(OMAccount, info[kStateProvince]), ""},
    {"postalcode", om::SvRequestText, OM_VAR(OMAccount, info[kPostalCode]), ""},
    {"country", om::SvRequestText, OM_VAR(OMAccount, info[kCountry]), ""},
    {"dayphone", om::SvRequestText, OM_VAR(OMAccount, info[kDayPhone]), ""},
    {"nightphone", om::SvRequestText, OM_VAR(OMAccount, info[kNightPhone]), ""},
    {"secretquestion", om::SvRequestText, OM_VAR(OMAccount, info[kSecretQuestion]), ""},
    {"secretanswer", om::SvRequestText, OM_VAR(OMAccount, info[kSecretAnswer]), ""},
    {"name", om::SvRequestText, OM_VAR(OMAccount, name), ""},
    {"password", om::SvRequestText, OM_VAR(OMAccount, password), ""},
    {"email", om::SvRequestText, OM_VAR(OMAccount, email), ""},
    {"newname1", om::SvRequestText, OM_VAR(OMAccount, newname1), ""},
    {"newname2", om::SvRequestText, OM_VAR(OMAccount, newname2), ""},
    {"newpassword1", om::SvRequestText, OM_VAR(OMAccount, newpassword1), ""},
    {"newpassword2", om::SvRequestText, OM_VAR(OMAccount, newpassword2), ""},
    {"newemail1", om::SvRequestText, OM_VAR(OMAccount, newemail1), ""},
    {"newemail2", om::SvRequestText, OM_VAR(OMAccount, newemail2), ""},
    {"name1", om::SvRequestText, OM_VAR(OMAccount, name1), ""},
    {"name2", om::SvRequestText, OM_VAR(OMAccount, name2), ""},
    {"password1", om::SvRequestText, OM_VAR(OMAccount, password1), ""},
    {"password2", om::SvRequestText, OM_VAR(OMAccount, password2), ""},
    {"email1", om::SvRequestText, OM_VAR(OMAccount, email1), ""},
    {"email2", om::SvRequestText, OM_VAR(OMAccount, email2), ""},
    {"pfid", om::SvAnySourceInt, OM_VAR(OMAccount, pfid), ""},
    {"revision", om::SvRequestInt, OM_VAR(OMAccount, revision), ""},
    {"private:cargo", om::SvPrivateText, OM_VAR(OMAccount, cargo), ""},
    {"userdata", om::SvRequestText, OM_VAR(OMAccount, userdata), ""},
    {"activationcode", om::SvRequestInt, OM_VAR(OMAccount, activationcode), ""},
    {"forgotaccountmode", om::SvRequestInt, OM_VAR(OMAccount, forgotaccountmode), "0"},
};
static_assert(7 + sizeof kVars / sizeof kVars[0] == 42, "OMAccount registers 42 page variables");

// The relay pages of each action: the first interim page, the second of the three-request
// actions, and the reply to a stage out of range (a code, or the illegal-stage text).
struct RelayRow {
  int32_t action;
  const char* firstText;
  int32_t firstDelay;
  const char* secondText;  // null: two requests
  int32_t secondDelay;
  int32_t badStageCode;    // 0: the illegal-stage text
};

constexpr char kContacting[] = "Contacting account databases....";

constexpr RelayRow kRelays[] = {
    {1, kContacting, 0, nullptr, 0, 0},                                // GetInfo
    {2, "Updating account databases....", 0, nullptr, 0, 0},           // SetInfo
    {3, "Changing account name....", 0, nullptr, 0, om::CodeBadStage}, // ChangeName
    {4, "Changing account password....", 0, nullptr, 0, 0},            // ChangePassword
    {5, "Changing account email address....", 0, nullptr, 0, 0},       // ChangeEMail
    {6, kContacting, 0, nullptr, 0, 0},                                // ForgotName
    {7, kContacting, 0, nullptr, 0, 0},                                // ForgotPassword
    {8, kContacting, 0, nullptr, 0, 0},                                // ForgotBoth
    {9, kContacting, 0, nullptr, 0, 0},                                // ForgotAccount
    {10, kContacting, 0, nullptr, 0, 0},                               // ForgotActivationCode
    {11, kContacting, 1, "Creating account....", 1, 0},                // New
    {12, kContacting, 1, "Deleting account....", 1, 0},                // Delete
    {15, kContacting, 1, nullptr, 0, 0},                               // AgreeToTerms
    {17, kContacting, 1, nullptr, 0, 0},                               // GoToOMCom
    {18, "Changing account email address....", 0, nullptr, 0, 0},      // ActivateAccount
};

const RelayRow* FindRelay(int32_t action) {
  for (const RelayRow& row : kRelays) {
    if (row.action == action) return &row;
  }
  return nullptr;
}

int32_t SelectAction(OMAccount& page) {
  const ActionEntry* row = om::FindAction(kActions, page.action);
  if (row == nullptr) return om::FailBare(page.api, om::CodeUnknownAction);
  if (row->handler == nullptr) return om::FailBare(page.api, 0, kTextNoFunction);
  page.entry = row;
  return 0;
}

int32_t RunAction(OMAccount& page, int32_t* end) { return page.entry->handler(page, end); }

constexpr om::PageDefinition<OMAccount> kPage = {
    "OMAccount.dll:SESSIONTAG", "OMACCOUNTSESSIONTAG", 0, kTextNoSession, kVars, nullptr, SelectAction, RunAction,
};

}  // namespace

// A row without a handler would answer "action has no function.".
const ActionEntry kActions[] = {
    {1, "GetInfo", GetInfo},
    {2, "SetInfo", SetInfo},
    {3, "ChangeName", ChangeName},
    {4, "ChangePassword", ChangePassword},
    {5, "ChangeEMail", ChangeEMail},
    {6, "ForgotName", ForgotName},
    {7, "ForgotPassword", ForgotPassword},
    {8, "ForgotBoth", ForgotBoth},
    {9, "ForgotAccount", ForgotAccount},
    {10, "ForgotActivationCode", ForgotActivationCode},
    {11, "New", NewAccount},
    {12, "Delete", DeleteAccount},
    {15, "AgreeToTerms", AgreeToTerms},
    {17, "GoToOMCom", GoToOMCom},
    {18, "ActivateAccount", ActivateAccount},
    {0, nullptr, nullptr},
};

int32_t AdvanceStage(OMAccount& page) {
  const RelayRow* relay = FindRelay(page.entry->number);
  if (relay == nullptr) return om::FailBare(page.api, 0, kTextIllegalStage);
  // Each interim page brings the browser back here; the saved stage picks the next step.
  if (page.stage == 0) return om::RelayToNextStage(page, relay->firstText, relay->firstDelay);
  const int32_t workStage = relay->secondText == nullptr ? 1 : 2;
  if (page.stage == 1 && workStage == 2) return om::RelayToNextStage(page, relay->secondText, relay->secondDelay);
  if (page.stage == workStage) return kWorkStage;
  if (relay->badStageCode != 0) return om::FailBare(page.api, relay->badStageCode);
  return om::FailBare(page.api, 0, kTextIllegalStage);
}

}  // namespace account

OM_DEFINE_GET_PLUGIN_INFO("0.0.2%s(.NET)")

OM_EXPORT int32_t Body(HostApi* api) { return om::RunPage(api, account::kPage); }
