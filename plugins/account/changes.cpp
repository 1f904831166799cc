// ChangeName, ChangePassword and ChangeEMail: the visitor proves ownership with the account's
// name and password and types the new value twice. Suspended, deleted and restricted
// accounts are refused; a new name or address must be free.
#include "account.h"
#include "codes.h"
#include "text.h"

namespace account {
namespace {

// The feature switch that opens account-name changes.
constexpr int32_t kNameChangeFeature = 2;

constexpr char kSelectAccountSql[] =
    "select top 1 cid, status from login (NOLOCK) where handle='%s' and password='%s' and state = 'A' ";
// ChangeName's restriction statement ends without a blank; the next statement follows the
// closing parenthesis.
constexpr char kSelectRestrictionsForNameSql[] =
    "select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and password='%s' and state = 'A')";
constexpr char kSelectAccountWithNameSql[] = "select top 1 cid from login (NOLOCK) where handle='%s' ";
constexpr char kSelectCharacterWithNameSql[] = "select top 1 chid from character (NOLOCK) where name='%s' ";
constexpr char kUpdateNameSql[] = "update login set handle = '%s' where cid = %ld ";

constexpr char kSelectRestrictionsForPasswordSql[] =
    "select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and password='%s' and state = 'A') ";
constexpr char kUpdatePasswordSql[] = "update login set password = '%s' where cid = %ld ";

// ChangeEMail reads the restrictions of the first live account with the typed name; the
// password is verified by the account statement.
constexpr char kSelectRestrictionsByNameSql[] =
    "select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and state = 'A') ";
constexpr char kSelectAccountWithEmailSql[] = "select top 1 cid from login (NOLOCK) where email='%s' ";
constexpr char kUpdateEmailSql[] = "update login set email = '%s' where cid = %ld ";

// The account row a change reads first.
struct AccountRow {
  int32_t cid;
  char status;
  int32_t count;
};

void ReadAccountRow(om::DbStep& step, AccountRow& row) {
  step.bindInt(&row.cid);
  step.bindChar(&row.status);
  row.count = step.fetchAll();
}

int32_t CountRows(om::DbStep& step) {
  int32_t id = 0;
  step.bindInt(&id);
  return step.fetchAll();
}

// The refusals every change makes, in order: no account, suspended, deleted, restricted.
int32_t AccountRefusal(const AccountRow& account, int32_t mask) {
  if (account.count == 0) return kCodeNoSuchAccount;
  if (StatusLetter(account.status) == kStatusSuspended) return kCodeSuspended;
  if (StatusLetter(account.status) == kStatusDeleted) return kCodeMarkedForDeletion;
  return RestrictionCode(mask);
}

// Runs the change's update statement and gives the connection back.
bool RunUpdate(om::DbStep& step) {
  if (!step.execute() || !step.nextResult()) return false;
  step.release();
  return true;
}

}  // namespace

int32_t OMAccount::PerformChangeNameOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:ChangeName1");
  step.append(kSelectAccountSql, om::Quoted(name).text(), om::Quoted(password).text());
  step.append(kSelectRestrictionsForNameSql, om::Quoted(name).text(), om::Quoted(password).text());
  step.append(kSelectAccountWithNameSql, om::Quoted(newname1).text());
  step.append(kSelectCharacterWithNameSql, om::Quoted(newname1).text());
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  AccountRow account{};
  ReadAccountRow(step, account);
  if (!step.nextResult()) return om::kFailed;
  const int32_t mask = ReadRestrictionMask(step, RestrictionRows::All);
  if (!step.nextResult()) return om::kFailed;
  const int32_t accountsWithName = CountRows(step);
  if (!step.nextResult()) return om::kFailed;
  const int32_t charactersWithName = CountRows(step);
  step.close();

  if (const int32_t refusal = AccountRefusal(account, mask)) return step.fail(refusal);
  if (accountsWithName > 0 || charactersWithName > 0) return step.fail(kCodeNameTaken);

  step.startStatement("OMAccount.dll:ChangeName2");
  step.append(kUpdateNameSql, om::Quoted(newname1).text(), (long)account.cid);
  if (!RunUpdate(step)) return om::kFailed;
  login.AccountId = account.cid;
  PostAccountEvent(*this, AccountEvent::ChangeName, newname1, nullptr, nullptr);
  return 0;
}

int32_t ChangeName(OMAccount& page, int32_t* end) {
  int32_t enabled = 0;
  if (page.api->GetFeatureSwitch(page.api, kNameChangeFeature, &enabled) < 0) {
    return om::FailCode(page, kCodeFeatureUnreadable);
  }
  if (enabled == 0) return om::FailCode(page, kCodeNameChangesOff);
  Trim(page.name);
  if (page.name[0] == '\0') return om::FailCode(page, kCodeNoName);
  if (page.password[0] == '\0') return om::FailCode(page, kCodeNoPassword);
  Trim(page.newname1);
  Trim(page.newname2);
  if (page.newname1[0] == '\0' || page.newname2[0] == '\0') return om::FailCode(page, kCodeNoName);
  if (!Confirms(page.newname1, page.newname2)) return om::FailCode(page, kCodeNamesDiffer);
  if (HasUnsafeNameCharacter(page.newname1)) return om::FailCode(page, kCodeUnsafeName);
  if (Length(page.newname1) > kNameMax) return om::FailCode(page, kCodeNameTooLong);

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformChangeNameOperationOnDatabase() < 0) return 0;
  LogAccountEvent(page, page.login.AccountId, "CHGHNDLE", "oldhandle=%s, newhandle=%s", page.name, page.newname1);
  return om::SucceedText(page, "Account name has been changed.");
}

int32_t OMAccount::PerformChangePasswordOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:ChangePassword1");
  step.append(kSelectAccountSql, om::Quoted(name).text(), om::Quoted(password).text());
  step.append(kSelectRestrictionsForPasswordSql, om::Quoted(name).text(), om::Quoted(password).text());
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  AccountRow account{};
  ReadAccountRow(step, account);
  if (!step.nextResult()) return om::kFailed;
  const int32_t mask = ReadRestrictionMask(step, RestrictionRows::AccountWideOnly);
  step.close();

  if (const int32_t refusal = AccountRefusal(account, mask)) return step.fail(refusal);

  step.startStatement("OMAccount.dll:ChangePassword2");
  step.append(kUpdatePasswordSql, om::Quoted(newpassword1).text(), (long)account.cid);
  if (!RunUpdate(step)) return om::kFailed;
  login.AccountId = account.cid;
  return 0;
}

int32_t ChangePassword(OMAccount& page, int32_t* end) {
  Trim(page.name);
  if (page.name[0] == '\0') return om::FailCode(page, kCodeNoName);
  // Passwords are taken as typed: a blank may belong to them.
  if (page.password[0] == '\0' || page.newpassword1[0] == '\0' || page.newpassword2[0] == '\0') {
    return om::FailCode(page, kCodeNoPassword);
  }
  if (!Confirms(page.newpassword1, page.newpassword2)) return om::FailCode(page, kCodePasswordsDiffer);
  if (HasUnsafeCharacter(page.newpassword1)) return om::FailCode(page, kCodeUnsafePassword);
  if (Length(page.newpassword1) < kPasswordMin) return om::FailCode(page, kCodePasswordTooShort);
  if (Length(page.newpassword1) > kPasswordMax) return om::FailCode(page, kCodePasswordTooLong);

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformChangePasswordOperationOnDatabase() < 0) return 0;
  LogAccountEvent(page, page.login.AccountId, "CHGPSSWD", "oldpassword=%s, newpassword=%s", page.password,
                  page.newpassword1);
  return om::SucceedText(page, "Account password has been changed.");
}

int32_t OMAccount::PerformChangeEMailOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:ChangeEMail1");
  step.append(kSelectAccountSql, om::Quoted(name).text(), om::Quoted(password).text());
  step.append(kSelectRestrictionsByNameSql, om::Quoted(name).text());
  step.append(kSelectAccountWithEmailSql, om::Quoted(newemail1).text());
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  AccountRow account{};
  ReadAccountRow(step, account);
  if (!step.nextResult()) return om::kFailed;
  const int32_t mask = ReadRestrictionMask(step, RestrictionRows::AccountWideOnly);
  if (!step.nextResult()) return om::kFailed;
  const int32_t accountsWithEmail = CountRows(step);
  step.close();

  if (const int32_t refusal = AccountRefusal(account, mask)) return step.fail(refusal);
  if (accountsWithEmail > 0) return step.fail(kCodeEmailTaken);

  step.startStatement("OMAccount.dll:ChangeEMail2");
  step.append(kUpdateEmailSql, om::Quoted(newemail1).text(), (long)account.cid);
  if (!RunUpdate(step)) return om::kFailed;
  login.AccountId = account.cid;
  PostAccountEvent(*this, AccountEvent::ChangeEMail, nullptr, nullptr, newemail1);
  return 0;
}

int32_t ChangeEMail(OMAccount& page, int32_t* end) {
  Trim(page.name);
  if (page.name[0] == '\0') return om::FailCode(page, kCodeNoName);
  if (page.password[0] == '\0') return om::FailCode(page, kCodeNoPassword);
  if (page.newemail1[0] == '\0' || page.newemail2[0] == '\0') return om::FailCode(page, kCodeNoEmail);
  if (!Confirms(page.newemail1, page.newemail2)) return om::FailCode(page, kCodeEmailsDiffer);
  if (!IsMailableEmail(page.newemail1)) return om::FailCode(page, kCodeBadEmail);
  if (Length(page.newemail1) > kEmailMax) return om::FailCode(page, kCodeEmailTooLong);

  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;
  *end = 1;
  if (page.PerformChangeEMailOperationOnDatabase() < 0) return 0;
  LogAccountEvent(page, page.login.AccountId, "CHGEMAIL", "oldemail=%s, newemail=%s", page.email, page.newemail1);
  return om::SucceedText(page, "Account email address has been changed.");
}

}  // namespace account
