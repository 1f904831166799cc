// AgreeToTerms: a visitor whose login waits for the terms of service carries a short-lived
// continuation token in the cookie "CONTINUELOGINDATA"; the acceptance of a revision is
// recorded for the token's account. The host notes every refusal (NoteFailure).
#include "account.h"
#include "codes.h"
#include "text.h"

namespace account {
namespace {

constexpr char kContinuationCookie[] = "CONTINUELOGINDATA";
constexpr char kContinuationKey[] = "H4VR8PXQ2TXK6MZC9BPE3YGA7DLF5UJS8RTQE";
static_assert(sizeof kContinuationKey - 1 == 37, "the continuation key has 37 characters");
constexpr char kNoContinuation[] = "Login continuation data is missing or invalid.";

constexpr char kSelectTokenSql[] =
    "select cid from continueloginvalue (NOLOCK) where cid = %ld and value = %ld and datediff(mi, dateset, GETDATE()) <= 60 ";
constexpr char kAcceptTermsSql[] =
    "declare @cid int declare @revision int declare @returnvalue int set @cid = %ld set @revision = %ld exec @returnvalue = sp_EULA_Set_Accepted_By_CID @cid, @revision select @returnvalue ";
// Two "set" results, then the select's.
constexpr int32_t kAcceptTermsResults = 3;

constexpr int32_t kCookieSize = 2048;

// The account id and continuation value of the cookie; both 0 when it is missing, empty,
// has no colon, or does not decipher with the key.
void ReadContinuationCookie(OMAccount& page) {
  page.ContinueAccountId = 0;
  page.ContinueValue = 0;
  char cookie[kCookieSize];
  if (page.api->GetVar(page.api, ScopeCookie, kContinuationCookie, cookie, kCookieSize) < 0) return;
  if (cookie[0] == '\0') return;
  char text[kCookieSize];
  om::TextCopy(text, cookie, kCookieSize);
  if (page.api->DecodeText(page.api, text, kContinuationKey) < 0) return;
  char* colon = om::TextFind(text, ":");
  if (colon == nullptr) return;
  *colon = '\0';
  page.ContinueAccountId = om::DecimalValue(text);
  page.ContinueValue = om::DecimalValue(colon + 1);
}

int32_t Refuse(OMAccount& page, int32_t reply) {
  page.api->NoteFailure(page.api);
  return reply;
}

}  // namespace

int32_t OMAccount::PerformAgreeToTermsOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:AgreeToTerms1");
  step.append(kSelectTokenSql, (long)ContinueAccountId, (long)ContinueValue);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  int32_t cid = 0;
  step.bindInt(&cid);
  const int32_t tokens = step.fetchAll();
  step.close();
  if (tokens == 0 || cid == 0) return Refuse(*this, step.fail(kCodeHandOffRefused));

  step.startStatement("OMAccount.dll:AgreeToTerms2");
  step.append(kAcceptTermsSql, (long)ContinueAccountId, (long)revision);
  if (!step.execute() || !step.skipResults(kAcceptTermsResults)) return om::kFailed;
  int32_t returnValue = 0;
  step.bindInt(&returnValue);
  returnValue = -1;
  const int32_t rows = step.fetchAll();
  step.close();
  if (rows == 0) return Refuse(*this, step.fail(kCodeProcedureFailed));
  if (returnValue != 0) return Refuse(*this, step.fail(kCodeProcedureRefused));
  step.release();
  return 0;
}

int32_t AgreeToTerms(OMAccount& page, int32_t* end) {
  if (page.revision == 0) return Refuse(page, om::FailCode(page, kCodeNoRevision));
  if (page.api->IsDbOffline(page.api) != 0) return Refuse(page, om::FailCode(page, om::CodeDbOffline));
  // The cookie must still be there when the relay page comes back.
  ReadContinuationCookie(page);
  if (page.ContinueAccountId == 0 || page.ContinueValue == 0) {
    return Refuse(page, om::FailText(page, kNoContinuation, om::ReplyPage::Failure));
  }

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformAgreeToTermsOperationOnDatabase() < 0) return 0;
  LogAccountEvent(page, page.ContinueAccountId, "AGREETOTERMS", "cid=%ld", (long)page.ContinueAccountId);
  return om::SucceedRedirect(page);
}

}  // namespace account
