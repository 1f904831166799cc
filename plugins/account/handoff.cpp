// GoToOMCom: hands a logged-in player over to the service's web site. The hand-off is
// registered with its sequence and check numbers, which go to the web site as reply
// variables in clear and enciphered by the host, with the caller's own data passed through.
#include <stdio.h>

#include "account.h"
#include "codes.h"
#include "text.h"

namespace account {
namespace {

constexpr char kHandOffKey[] = "JUMPTOWEB:7086";

constexpr char kSelectLiveLoginSql[] =
    "select l.cid, lv.value, ch.chid from login l (NOLOCK), loginvalue lv (NOLOCK), character ch (NOLOCK) where l.cid = lv.cid and l.status = 'A' and l.cid = %ld and lv.value = %ld and ch.cid = l.cid and ch.chid = %ld and ch.state = 'A' ";
constexpr char kAddHandOffSql[] =
    "declare @cid int declare @chid int declare @pfid int declare @seq int declare @sanity int declare @returnvalue int set @cid = %ld set @chid = %ld set @pfid = %ld set @seq = 0 set @sanity = 0 exec @returnvalue = sp_gotoomcom_AddEntry @cid, @chid, @pfid, @seq output, @sanity output select @returnvalue, @seq, @sanity ";
// Five "set" results, then the select's.
constexpr int32_t kAddHandOffResults = 6;

constexpr int32_t kCipherSize = 2048;

}  // namespace

int32_t OMAccount::PerformGoToOMComOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:GoToOmCom1");
  step.append(kSelectLiveLoginSql, (long)login.AccountId, (long)login.LoginValue, (long)login.CharacterId);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  int32_t cid = 0, value = 0, chid = 0;
  step.bindInt(&cid);
  step.bindInt(&value);
  step.bindInt(&chid);
  const int32_t rows = step.fetchAll();
  step.close();
  if (rows == 0) {
    api->NoteFailure(api);
    return step.failLogin(kCodeHandOffRefused);
  }

  step.startStatement("OMAccount.dll:GoToOmCom2");
  step.append(kAddHandOffSql, (long)login.AccountId, (long)login.CharacterId, (long)pfid);
  if (!step.execute() || !step.skipResults(kAddHandOffResults)) return om::kFailed;
  int32_t returnValue = 0, seq = 0, sanity = 0;
  step.bindInt(&returnValue);
  step.bindInt(&seq);
  step.bindInt(&sanity);
  returnValue = -1;
  const int32_t handOffs = step.fetchAll();
  step.release();
  // The procedure's return value is not acted on: the row with the two numbers is the answer.
  if (handOffs == 0) return om::FailCode(*this, kCodeProcedureFailed);

  char number[16];
  snprintf(number, sizeof number, "%ld", (long)seq);
  SetReplyVar(*this, "SEQ", number);
  snprintf(number, sizeof number, "%ld", (long)sanity);
  SetReplyVar(*this, "SANITY", number);

  char handOff[64];
  snprintf(handOff, sizeof handOff, "%ld:%ld", (long)seq, (long)sanity);
  char cipher[kCipherSize];
  cipher[0] = '\0';
  if (api->EncodeText(api, handOff, cipher, kCipherSize, kHandOffKey) < 0) cipher[0] = '\0';
  om::TextCopyInto(cargo, cipher);
  SetReplyVar(*this, "CARGO", cargo);
  SetReplyVar(*this, "USERDATA", userdata);
  return 0;
}

int32_t GoToOMCom(OMAccount& page, int32_t* end) {
  if (page.pfid == 0) return om::FailCode(page, kCodeNoPfid);
  if (!om::ReadLoginCookies(page.api, page.login, om::LoginCookies::WithoutCharacterName)) return om::FailLogin(page);
  if (page.api->IsDbOffline(page.api) != 0) {
    page.api->NoteFailure(page.api);
    return om::FailCode(page, om::CodeDbOffline);
  }

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformGoToOMComOperationOnDatabase() < 0) return 0;
  return om::SucceedRedirect(page);
}

}  // namespace account
