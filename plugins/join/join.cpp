// OMJoin: admission of a player to a game server. Body runs the page request lifecycle
// with the join's page variables and mode table; the page logic is ServerUpPage.
#include "host_api.h"
#include "join_page.h"
#include "join_tables.h"
#include "lifecycle.h"
#include "plugin_entry.h"
#include "replies.h"
#include "state_vars.h"

namespace omjoin {

namespace {

// The join's own page variables, registered after the common seven, in this order.
constexpr om::VarRow<JoinPage> kJoinVars[] = {
    {"pfid", om::SvAnySourceInt, OM_VAR(JoinPage, pfid), ""},
    {"pfid2", om::SvAnySourceInt, OM_VAR(JoinPage, pfid2), ""},
    {"mode", om::SvRequestText, OM_VAR(JoinPage, mode), ""},
    {"rid", om::SvRequestInt, OM_VAR(JoinPage, rid), ""},
    {"gsid", om::SvRequestText, OM_VAR(JoinPage, gsid), ""},
    {"lan", om::SvRequestInt, OM_VAR(JoinPage, lan), ""},
    {"private:gxstatrankwatermark", om::SvPrivateInt, OM_VAR(JoinPage, rankWatermark), "-1"},
    {"private:realmwardenprivlock", om::SvPrivateInt, OM_VAR(JoinPage, superUser), "0"},
};

// "action" comes afresh with every request (only a cancel is acted on); it is not saved.
void ReadAction(JoinPage& page) {
  page.action[0] = '\0';
  if (page.api->GetVar(page.api, ScopeRequest, "action", page.action, om::PageTextSize) < 0) page.action[0] = '\0';
  page.action[om::PageTextSize - 1] = '\0';
}

int32_t SelectMode(JoinPage& page) {
  const om::ModeEntry* row = om::FindAction(kModes, page.mode);
  if (row == nullptr) return om::FailBare(page.api, om::CodeUnknownMode);
  page.modeNumber = row->number;
  return 0;
}

constexpr om::PageDefinition<JoinPage> kJoinPage = {
    kSessionTag, kSessionCookie, om::CodeNoSession, nullptr, kJoinVars, ReadAction, SelectMode, ServerUpPage,
};

}  // namespace

}  // namespace omjoin

OM_DEFINE_GET_PLUGIN_INFO("0.0.1%s(.NET)")

OM_EXPORT int32_t Body(HostApi* api) { return om::RunPage(api, omjoin::kJoinPage); }
