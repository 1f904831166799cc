// Deleting the default player: the player named by the OMD cookie is removed, a history row
// keeps its name, and the account's active player with the highest id takes its place as
// the default in the same batch.
#include <stdio.h>

#include "character.h"
#include "replies.h"
#include "text.h"

namespace omcharacter {
namespace {

constexpr char kGetDelInfoTag[] = "OMCharacter.dll:GetDelInfo";
constexpr char kFindSuccessor[] =
    "select top 1 chid, name from character (NOLOCK) where cid=%ld and chid<>%ld and state='A' and (isdefault='n' "
    "or isdefault='N') order by chid desc ";
constexpr char kFindPrimaryPlayer[] = "select top 1 cid, chid from primarycharacter (NOLOCK) where cid=%ld and chid=%ld ";

constexpr char kDelCharTag[] = "OMCharacter.dll:DelChar";
constexpr char kDeletePlayer[] =
    "delete character where cid=%ld and chid=%ld and state ='A' insert oldcharacters (cid, chid, oldname, newname, "
    "changedate) values (%ld, %ld, '%s', '', GETDATE()) update character set isdefault='n' where cid=%ld and "
    "state='A' and chid<>%ld update character set isdefault='y' where chid=%ld and state='A' ";

struct Successor {
  int32_t chid;
  char name[om::PageTextSize];
};

// 0 with the successor when the player may go, else -1 after the failure reply.
int32_t GetDelInfo(OMCharacter& page, om::DbStep& db, Successor& successor) {
  const long cid = page.login.AccountId;
  const long chid = page.login.CharacterId;
  om::DbStep step(db, kGetDelInfoTag);
  step.append(kSelectRestrictions, cid);
  step.append(kFindDefaultPlayer, cid, chid);
  step.append(kFindSuccessor, cid, chid);
  step.append(kFindPrimaryPlayer, cid, chid);
  if (!step.execute() || !step.nextResult()) return om::kFailed;

  int32_t applying = FoldPlayerRestrictions(step, page.login.CharacterId);

  if (!step.nextResult()) return om::kFailed;
  int32_t found;
  step.bindInt(&found);
  int32_t defaultRows = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  step.bindInt(&successor.chid);
  step.bindText(successor.name);
  int32_t successorRows = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  int32_t primaryCid;
  int32_t primaryChid;
  step.bindInt(&primaryCid);
  step.bindInt(&primaryChid);
  int32_t primaryRows = step.fetchAll();
  step.close();

  if ((applying & kPlayerChangeRestrictions) != 0) return step.fail(CodeRestricted);
  if (defaultRows == 0) return step.failLogin();
  // The account's last player cannot be deleted.
  if (successorRows == 0) return step.fail(CodeLastPlayer);
  if (primaryRows > 0) return step.fail(CodePrimaryPlayer);
  return 0;
}

int32_t DelChar(OMCharacter& page, om::DbStep& db, const Successor& successor) {
  const long cid = page.login.AccountId;
  const long chid = page.login.CharacterId;
  om::Quoted name(page.login.CharacterName);
  om::DbStep step(db, kDelCharTag);
  step.append(kDeletePlayer, cid, chid, cid, chid, name.text(), cid, chid, static_cast<long>(successor.chid));
  if (!step.execute() || !step.skipResults(4)) return om::kFailed;
  return 0;
}

}  // namespace

int32_t OMCharacter::DoDelete(om::DbStep& db) {
  SetReplyVar("charactername", login.CharacterName);
  Successor successor;
  if (GetDelInfo(*this, db, successor) < 0) return om::kFailed;
  if (DelChar(*this, db, successor) < 0) return om::kFailed;

  char detail[om::PageTextSize + 32];
  snprintf(detail, sizeof detail, "charactername=%s", login.CharacterName);
  api->LogEvent(api, login.AccountId, login.CharacterId, "DELETECHARACTER", detail);

  om::TextCopyInto(login.CharacterName, successor.name);
  login.CharacterId = successor.chid;
  SetDefaultPlayerCookies();
  SetReplyVar("charactername", login.CharacterName);
  PostDefaultPlayerEvent("OMCharacter::DoDelete");
  return 0;
}

}  // namespace omcharacter
