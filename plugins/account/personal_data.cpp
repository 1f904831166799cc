// GetInfo and SetInfo: a logged-in player reads and changes the personal data of the account.
// Both confirm the login value on the connection that then reads or writes the data.
#include "account.h"
#include "codes.h"
#include "text.h"

namespace account {
namespace {

// The page-variable (and reply-variable) name of each personal-data field.
constexpr const char* kInfoNames[kInfoFieldCount] = {
    "firstname", "minitial", "lastname", "address1", "address2", "city", "stateprovince",
    "postalcode", "country", "dayphone", "nightphone", "secretquestion", "secretanswer",
};

constexpr char kGetInfoSql[] =
    "select lv.cid from loginvalue lv (NOLOCK) where lv.cid=%ld and lv.value=%ld select l.fname, l.lname from login l (NOLOCK) where l.cid=%ld and state = 'A' select c.fname, c.minitial, c.lname, c.address1, c.address2, c.city, c.stateprovince, c.postalcode, c.country, c.dayphone, c.nightphone, c.secretquestion, c.secretanswer from customer c (NOLOCK) where c.parentcid=%ld ";

constexpr char kSetInfoCheckSql[] =
    "select lv.cid from loginvalue lv (NOLOCK) where lv.cid=%ld and lv.value=%ld select l.cid from login l (NOLOCK) where l.cid=%ld and state = 'A' select c.parentcid from customer c (NOLOCK) where c.parentcid=%ld ";
constexpr char kUpdateLoginNamesSql[] =
    "update login set fname='%s', lname='%s', lastaccess=GETDATE() where cid=%ld ";
constexpr char kUpdateCustomerSql[] =
    "update customer set fname = '%s', minitial = '%s', lname = '%s', address1 = '%s', address2 = '%s', city = '%s', stateprovince = '%s', postalcode = '%s', country = '%s', dayphone = '%s', nightphone = '%s', secretquestion = '%s', secretanswer = '%s', lastmodified = GETDATE() where parentcid=%ld ";

constexpr char kInfoUpdated[] = "Account information has been updated.";

}  // namespace

// The order in which the personal data is shown to a page (country before the postal code).
const InfoField kInfoReplyOrder[kInfoFieldCount] = {
    kFirstName, kMiddleInitial, kLastName, kAddress1, kAddress2, kCity, kStateProvince,
    kCountry, kPostalCode, kDayPhone, kNightPhone, kSecretQuestion, kSecretAnswer,
};

const char* InfoName(InfoField field) { return kInfoNames[field]; }

int32_t OMAccount::GetInfoFromDatabase() {
  for (char* field : InfoBlock) field[0] = '\0';
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:GetInfo");
  step.append(kGetInfoSql, (long)login.AccountId, (long)login.LoginValue, (long)login.AccountId, (long)login.AccountId);
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  int32_t cid = 0;
  step.bindInt(&cid);
  const int32_t loginValues = step.fetchAll();

  if (!step.nextResult()) return om::kFailed;
  step.bindText(InfoBlock[kFirstName]);
  step.bindText(InfoBlock[kLastName]);
  const int32_t logins = step.fetchAll();

  // The customer's names go aside: the names of the login row win.
  if (!step.nextResult()) return om::kFailed;
  char customerFirstName[kFieldSize];
  char customerLastName[kFieldSize];
  for (int32_t field = 0; field < kInfoFieldCount; ++field) {
    char* target = field == kFirstName  ? customerFirstName
                   : field == kLastName ? customerLastName
                                        : InfoBlock[field];
    step.bindText(target, kFieldSize);
  }
  const int32_t customers = step.fetchAll();
  step.release();

  if (loginValues == 0) return om::FailLogin(*this);
  if (logins == 0) return om::FailCode(*this, kCodeNoSuchAccount);
  if (customers == 0) return 0;
  if (InfoBlock[kFirstName][0] == '\0') om::TextCopyInto(InfoBlock[kFirstName], customerFirstName);
  if (InfoBlock[kLastName][0] == '\0') om::TextCopyInto(InfoBlock[kLastName], customerLastName);
  return 0;
}

int32_t GetInfo(OMAccount& page, int32_t* end) {
  if (!om::ReadLoginCookies(page.api, page.login, om::LoginCookies::WithoutCharacterName)) return om::FailLogin(page);
  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;

  *end = 1;
  if (page.GetInfoFromDatabase() < 0) return 0;
  for (InfoField field : kInfoReplyOrder) SetReplyVar(page, kInfoNames[field], page.InfoBlock[field]);
  return om::SucceedRedirect(page);
}

int32_t OMAccount::PerformSetInfoOperationOnDatabase() {
  om::DbStep step(*this, kAccountDatabase, "OMAccount.dll:SetInfo1");
  step.append(kSetInfoCheckSql, (long)login.AccountId, (long)login.LoginValue, (long)login.AccountId, (long)login.AccountId);
  if (!step.execute()) return om::kFailed;
  int32_t counts[3] = {0, 0, 0};
  for (int32_t& count : counts) {
    if (!step.nextResult()) return om::kFailed;
    int32_t id = 0;
    step.bindInt(&id);
    count = step.fetchAll();
  }
  if (counts[0] == 0 || counts[1] == 0) return step.failLogin();

  step.startStatement("OMAccount.dll:SetInfo2");
  step.append(kUpdateLoginNamesSql, om::Quoted(info[kFirstName]).text(), om::Quoted(info[kLastName]).text(),
              (long)login.AccountId);
  step.append(kUpdateCustomerSql, om::Quoted(info[kFirstName]).text(), om::Quoted(info[kMiddleInitial]).text(),
              om::Quoted(info[kLastName]).text(), om::Quoted(info[kAddress1]).text(),
              om::Quoted(info[kAddress2]).text(), om::Quoted(info[kCity]).text(),
              om::Quoted(info[kStateProvince]).text(), om::Quoted(info[kPostalCode]).text(),
              om::Quoted(info[kCountry]).text(), om::Quoted(info[kDayPhone]).text(),
              om::Quoted(info[kNightPhone]).text(), om::Quoted(info[kSecretQuestion]).text(),
              om::Quoted(info[kSecretAnswer]).text(), (long)login.AccountId);
  if (!step.execute() || !step.skipResults(2)) return om::kFailed;
  step.release();

  PostAccountEvent(*this, AccountEvent::SetInfo, info[kFirstName], info[kLastName], nullptr);
  return 0;
}

int32_t SetInfo(OMAccount& page, int32_t* end) {
  if (!om::ReadLoginCookies(page.api, page.login, om::LoginCookies::WithoutCharacterName)) return om::FailLogin(page);
  const int32_t stage = AdvanceStage(page);
  if (stage != kWorkStage) return stage;

  *end = 1;
  if (page.PerformSetInfoOperationOnDatabase() < 0) return 0;
  LogAccountEventWithoutDetail(page, page.login.AccountId, "SETINFO");
  return om::SucceedText(page, kInfoUpdated);
}

}  // namespace account
