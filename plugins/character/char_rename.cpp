// Answering a rename request for the default player. The plug-in renames nothing itself:
// every path ends with a failure whose code tells the page which condition held, 3902 when
// every check passed.
#include "char_name.h"
#include "character.h"
#include "replies.h"

namespace omcharacter {
namespace {

constexpr int32_t kRenamesPerMonth = 12;

constexpr char kGetRenameInfoTag[] = "OMCharacter.dll:GetRenameInfo";
constexpr char kPlayersWithName[] = "select chid from character (NOLOCK) where name='%s' ";
constexpr char kCountRenamesThisMonth[] =
    "select count(*) from oldcharacters (NOLOCK) where chid=%ld and oldname<>'' and newname<>'' and "
    "datepart(yy,oldcharacters.changedate)=datepart(yy,GETDATE()) and "
    "datepart(mm,oldcharacters.changedate)=datepart(mm,GETDATE()) ";

}  // namespace

int32_t OMCharacter::DoRename(om::DbStep& db) {
  int32_t code = 0;
  int32_t valid = ValidateCharName(api, newcharactername, &code);
  SetReplyVar("charactername", login.CharacterName);
  SetReplyVar("newcharactername", newcharactername);
  if (!valid) return om::FailCode(*this, code);

  om::DbStep step(db, kGetRenameInfoTag);
  om::Quoted name(newcharactername);
  step.append(kSelectRestrictions, static_cast<long>(login.AccountId));
  step.append(kPlayersWithName, name.text());
  step.append(kFindDefaultPlayer, static_cast<long>(login.AccountId), static_cast<long>(login.CharacterId));
  step.append(kCountRenamesThisMonth, static_cast<long>(login.CharacterId));
  if (!step.execute() || !step.nextResult()) return om::kFailed;

  int32_t applying = FoldPlayerRestrictions(step, login.CharacterId);

  if (!step.nextResult()) return om::kFailed;
  int32_t chid;
  step.bindInt(&chid);
  int32_t namedPlayers = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  step.bindInt(&chid);
  int32_t defaultRows = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  int32_t renames;
  step.bindInt(&renames);
  step.fetchAll();
  step.close();

  if ((applying & kPlayerChangeRestrictions) != 0) return step.fail(CodeRestricted);
  if (namedPlayers > 0) return step.fail(CodeNameTaken);
  if (defaultRows == 0) return step.failLogin();
  if (renames >= kRenamesPerMonth) return step.fail(CodeRenameLimit);
  return step.fail(CodeRenameAllowed);
}

}  // namespace omcharacter
