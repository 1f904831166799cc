// ActivateAccount: the activation page posts the e-mail address and the code that was
// mailed; a pending account whose stored code matches becomes active.
#include "account.h"
#include "codes.h"

namespace account {
namespace {

constexpr char kSelectPendingSql[] =
    "select top 1 cid, status, activation from login (NOLOCK) where email='%s' and state = 'A' ";
constexpr char kActivateSql[] = "update login set activation = 0, status = 'A', lastaccess = GETDATE() where cid = %d ";

constexpr char kActivated[] = "Account has been activated.  Please log in.";
constexpr char kAlreadyActive[] = "Account is already activated.";
constexpr char kNotPending[] = "Account specified is not in pending state.";
constexpr char kCodeNotAccepted[] = "Activation code not accepted.";

}  // namespace

int32_t OMAccount::PerformActivateAccountOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:ActivateAccount1");
  step.append(kSelectPendingSql, om::Quoted(email).text());
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  int32_t cid = 0;
  char status = 0;
  int32_t activation = 0;
  step.bindInt(&cid);
  step.bindChar(&status);
  step.bindInt(&activation);
  const int32_t rows = step.fetchAll();
  step.close();

  // Only the first live account with the address is examined.
  if (rows == 0) return step.fail(kCodeNoSuchAccount);
  const char letter = StatusLetter(status);
  if (letter == kStatusSuspended) return step.fail(kCodeSuspended);
  if (letter == kStatusDeleted) return step.fail(kCodeMarkedForDeletion);
  if (letter == kStatusActive) return step.failText(kAlreadyActive);
  if (letter != kStatusPending) return step.failText(kNotPending);
  if (activation != activationcode) return step.failText(kCodeNotAccepted);

  step.startStatement("OMAccount.dll:ActivateAccount2");
  step.append(kActivateSql, cid);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  step.release();
  login.AccountId = cid;
  return 0;
}

int32_t ActivateAccount(OMAccount& page, int32_t* end) {
  if (page.email[0] == '\0') return om::FailCode(page, kCodeNoEmail);
  if (!IsAcceptableEmail(page.email)) return om::FailCode(page, kCodeBadEmail);
  if (Length(page.email) > kEmailMax) return om::FailCode(page, kCodeEmailTooLong);

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformActivateAccountOperationOnDatabase() < 0) return 0;
  LogAccountEvent(page, page.login.AccountId, "ACTIVATEACCOUNT", "email=%s, activationcode=%d", page.email,
                  page.activationcode);
  return om::SucceedText(page, kActivated);
}

}  // namespace account
