// Creating a player: the typed name is tidied and checked, the name must be free (no
// player of any account, no other account's login handle) and the account must have room;
// then the player is inserted, its name recorded in the name history and the creation
// logged. The dispatcher then selects the new player as the default.
#include <stdio.h>

#include "char_name.h"
#include "character.h"
#include "replies.h"
#include "text.h"

namespace omcharacter {
namespace {

constexpr int32_t kPlayerLimit = 4;
// The one account that may hold any number of players.
constexpr int32_t kUnlimitedAccount = 114;

constexpr char kCheckCharNameTag[] = "OMCharacter.dll:CheckCharName";
constexpr char kPlayersWithName[] = "select character.chid from character (NOLOCK) where character.name = '%s' ";
constexpr char kCountActivePlayers[] = "select count(*) from character (NOLOCK) where character.cid = %ld and state='A' ";
constexpr char kCountOtherHandles[] = "select count(*) from login (NOLOCK) where handle='%s' and cid<>%d ";

constexpr char kNewCharTag[] = "OMCharacter.dll:NewChar";
constexpr char kInsertPlayer[] =
    "insert character (cid, name, isdefault, created, lastused) values (%ld, '%s', 'n', GETDATE(), GETDATE()) "
    "select @@identity ";

constexpr char kAddToOldCharNewTag[] = "OMCharacter.dll:AddToOldCharNew";
constexpr char kRecordNewName[] =
    "insert oldcharacters (cid, chid, oldname, newname, changedate) values (%ld, %ld, '%s', '%s', GETDATE()) ";

// 0 when the name is free and the account has room, else -1 after the failure reply.
int32_t CheckCharName(OMCharacter& page, om::DbStep& db, const char* quotedName) {
  om::DbStep step(db, kCheckCharNameTag);
  step.append(kPlayersWithName, quotedName);
  step.append(kCountActivePlayers, static_cast<long>(page.login.AccountId));
  step.append(kCountOtherHandles, quotedName, page.login.AccountId);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  int32_t chid;
  step.bindInt(&chid);
  int32_t namedPlayers = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  int32_t activePlayers;
  step.bindInt(&activePlayers);
  step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  int32_t otherHandles;
  step.bindInt(&otherHandles);
  int32_t handleRows = step.fetchAll();
  step.close();

  if (namedPlayers > 0) return step.fail(CodeNameTaken);
  if (activePlayers >= kPlayerLimit && page.login.AccountId != kUnlimitedAccount) return step.fail(CodePlayerLimit);
  if (handleRows != 1) return step.fail(CodeNoRow);
  // A player may carry the account's own login handle, never another account's.
  if (otherHandles > 0) return step.fail(CodeNameRefused);
  return 0;
}

// The new player's id (0 when the database gave none), or -1 after the failure reply.
int32_t NewChar(OMCharacter& page, om::DbStep& db, const char* quotedName) {
  om::DbStep step(db, kNewCharTag);
  step.append(kInsertPlayer, static_cast<long>(page.login.AccountId), quotedName);
  if (!step.execute() || !step.skipResults(2)) return om::kFailed;
  int32_t identity;
  step.bindInt(&identity);
  int32_t rows = step.fetchAll();
  return rows > 0 && identity > 0 ? identity : 0;
}

int32_t AddToOldCharNew(OMCharacter& page, om::DbStep& db, int32_t chid, const char* quotedName) {
  om::DbStep step(db, kAddToOldCharNewTag);
  step.append(kRecordNewName, static_cast<long>(page.login.AccountId), static_cast<long>(chid), "", quotedName);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  return 0;
}

}  // namespace

int32_t OMCharacter::DoCreate(om::DbStep& db) {
  int32_t code = 0;
  int32_t valid = ValidateCharName(api, newcharactername, &code);
  // The page shows the tidied name back, whether or not it was accepted.
  SetReplyVar("newcharactername", newcharactername);
  if (!valid) return om::FailCode(*this, code);

  om::Quoted name(newcharactername);
  if (CheckCharName(*this, db, name.text()) < 0) return om::kFailed;

  int32_t chid = NewChar(*this, db, name.text());
  if (chid < 0) return om::kFailed;
  if (chid != 0) {
    selectedchid = chid;
    if (AddToOldCharNew(*this, db, chid, name.text()) < 0) return om::kFailed;
  } else {
    // Without the new id there is nothing the following select could safely pick.
    selectedchid = 0;
  }

  char detail[om::PageTextSize + 32];
  snprintf(detail, sizeof detail, "charactername=%s", newcharactername);
  api->LogEvent(api, login.AccountId, chid, "CREATECHARACTER", detail);
  SetReplyVar("newcharactername", "");
  return 0;
}

}  // namespace omcharacter
