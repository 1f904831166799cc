// Selecting the default player: the account's active player picked by "selectedchid"
// becomes the default in the database, in the cookies and in the account events.
#include "character.h"
#include "text.h"

namespace omcharacter {
namespace {

constexpr char kSelectChar1Tag[] = "OMCharacter.dll:SelectChar1";
constexpr char kFindActivePlayer[] =
    "select top 1 character.chid, character.name from character (NOLOCK) where character.cid=%ld and "
    "character.state='A' and character.chid=%ld ";

constexpr char kSelectChar2Tag[] = "OMCharacter.dll:SelectChar2";
constexpr char kMakeDefault[] =
    "update character set isdefault='n' where cid=%ld and state = 'A' and chid <> %ld update character set "
    "isdefault='y' where chid=%ld and state='A' ";

}  // namespace

int32_t OMCharacter::DoSelect(om::DbStep& db) {
  int32_t foundChid;
  char foundName[om::PageTextSize];
  int32_t rows;
  {
    om::DbStep step(db, kSelectChar1Tag);
    step.append(kFindActivePlayer, static_cast<long>(login.AccountId), static_cast<long>(selectedchid));
    if (!step.execute() || !step.nextResult()) return om::kFailed;
    step.bindInt(&foundChid);
    step.bindText(foundName);
    rows = step.fetchAll();
  }
  // Another account's player, a deleted one or none at all: nothing to select.
  if (rows == 0) return 0;

  {
    om::DbStep step(db, kSelectChar2Tag);
    step.append(kMakeDefault, static_cast<long>(login.AccountId), static_cast<long>(selectedchid),
                static_cast<long>(selectedchid));
    if (!step.execute() || !step.nextResult()) return om::kFailed;
    step.fetchAll();
    if (!step.nextResult()) return om::kFailed;
    step.fetchAll();
  }

  om::TextCopyInto(login.CharacterName, foundName);
  login.CharacterId = foundChid;
  SetDefaultPlayerCookies();
  PostDefaultPlayerEvent("OMCharacter::DoSelect");
  return 0;
}

}  // namespace omcharacter
