// OMCharacter: the player pages of an account. Every request is a two-stage conversation:
// stage 0 answers a relay page with the action's progress message, stage 1 (the request the
// relay page sends back) checks the login against the account database, performs the
// action, writes the player list and leads to the success page.
#include <stdio.h>

#include "character.h"
#include "cookies.h"
#include "host_api.h"
#include "lifecycle.h"
#include "login_cookies.h"
#include "page.h"
#include "plugin_entry.h"
#include "records.h"
#include "replies.h"
#include "text.h"

namespace omcharacter {
namespace {

// The page variables after the common seven, in registration order.
constexpr om::VarRow<OMCharacter> kCharacterVars[] = {
    {"action", om::SvRequestText, OM_VAR(OMCharacter, action), ""},
    {"selectedchid", om::SvRequestInt, OM_VAR(OMCharacter, selectedchid), "0"},
    {"newcharactername", om::SvRequestText, OM_VAR(OMCharacter, newcharactername), ""},
    {"ib3", om::SvRequestInt, OM_VAR(OMCharacter, ib3), "0"},
    {"pfid", om::SvAnySourceInt, OM_VAR(OMCharacter, pfid), "0"},
    {"charglsvssrequest", om::SvRequestText, OM_VAR(OMCharacter, charglsvssrequest), ""},
    {"private:charglsvssdata", om::SvPrivateText, OM_VAR(OMCharacter, charglsvssdata), ""},
};

enum class Action { Get, Select, New, Rename, Delete };

struct ActionRow {
  const char* name;       // the action word, matched without regard to case
  const char* relayText;  // progress message of the relay page
  Action action;
  bool changesDefault;    // hands the server-criteria values of the new default to the page
};

constexpr ActionRow kActions[] = {
    {"GET", "Contacting player databases....", Action::Get, false},
    {"SELECT", "Selecting player....", Action::Select, true},
    {"NEW", "Creating new player....", Action::New, true},
    {"RENAME", "Renaming player....", Action::Rename, false},
    {"DELETE", "Deleting player....", Action::Delete, true},
    {nullptr, nullptr, Action::Get, false},
};

constexpr char kVerifyInfoTag[] = "OMCharacter.dll:VerifyInfo";

int32_t RunAction(OMCharacter& page, Action action, om::DbStep& db) {
  switch (action) {
    case Action::Get:
      return 0;
    case Action::Select:
      return page.DoSelect(db);
    case Action::New:
      // A new player always becomes the account's default player.
      if (page.DoCreate(db) < 0) return om::kFailed;
      return page.DoSelect(db);
    case Action::Rename:
      return page.DoRename(db);
    case Action::Delete:
      return page.DoDelete(db);
  }
  return 0;
}

// Stage 1: the action, the list, the criteria cookie, the success redirect.
int32_t PerformAction(OMCharacter& page, const ActionRow* row) {
  if (row != nullptr) {
    om::DbStep db(page, kAccountDatabase, nullptr);
    if (!db.ok()) return om::kFailed;
    if (om::VerifyLogin(db, page.login, kVerifyInfoTag) < 0) return om::kFailed;
    if (RunAction(page, row->action, db) < 0) return om::kFailed;
    if (page.GetChars(db) < 0) return om::kFailed;
    db.release();

    if (row->changesDefault) {
      if (page.charglsvssrequest[0] != '\0' && page.FetchCharGLSVSSData() < 0) return om::kFailed;
      page.api->SetVar(page.api, ScopeCookie, "CHARGLSVSSDATA", page.charglsvssdata);
    }
  }
  page.SetReplyVar("charactername", page.login.CharacterName);
  return om::SucceedRedirect(page);
}

int32_t CharacterPage(OMCharacter& page, int32_t* end) {
  const ActionRow* row = om::FindAction(kActions, page.action);
  int32_t stage = om::TwoStages(page, row != nullptr ? row->relayText : "", 0);
  if (stage != om::StageWork) return stage;
  *end = 1;
  return PerformAction(page, row);
}

// Every player page acts for a logged-in visitor: without the login cookies nothing runs.
int32_t CheckLoginCookies(OMCharacter& page) {
  if (om::ReadLoginCookies(page.api, page.login) == 0) return om::FailLogin(page);
  return 0;
}

constexpr om::PageDefinition<OMCharacter> kCharacterPage = {
    "OMCharacter.dll:SESSIONTAG", "OMCHARACTERSESSIONTAG", om::CodeNoSession, nullptr, kCharacterVars,
    nullptr, CheckLoginCookies, CharacterPage,
};

}  // namespace

void OMCharacter::SetReplyVar(const char* name, const char* value) { api->SetVar(api, ScopeReply, name, value); }

void OMCharacter::SetDefaultPlayerCookies() {
  api->SetVar(api, ScopeCookie, "CHAR", login.CharacterName);
  om::SetNumberCookie(api, "OMD", login.CharacterId);
  om::SetNumberCookie(api, "STATSDISPLAYCHID", login.CharacterId);
}

void OMCharacter::PostDefaultPlayerEvent(const char* source) {
  EventRecord record = om::MakeEventRecord(login.AccountId, kEventDefaultPlayerChanged, source);
  record.loginValue = login.LoginValue;
  record.characterId = login.CharacterId;
  om::TextCopyInto(record.characterName, login.CharacterName);
  record.clientAddress = api->ClientAddress.value;
  record.clientPort = api->ClientPort.value;
  om::PostEvent(api, record);
}

int32_t FoldPlayerRestrictions(om::DbStep& step, int32_t characterId) {
  int32_t restrictedChid;
  int32_t bits;
  step.bindInt(&restrictedChid);
  step.bindInt(&bits);
  int32_t applying = 0;
  step.fetchEach([&] {
    if (restrictedChid == 0 || restrictedChid == characterId) applying |= bits;
  });
  return applying;
}

}  // namespace omcharacter

OM_DEFINE_GET_PLUGIN_INFO("0.0.2%s(.NET)")

OM_EXPORT int32_t Body(HostApi* api) { return om::RunPage(api, omcharacter::kCharacterPage); }
