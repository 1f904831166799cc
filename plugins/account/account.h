// OMAccount: the account pages of the Orbitmere web site. The page object, its action
// table and the rules several actions share; each group of actions lives in a file of its own.
#ifndef OM_PLUGINS_ACCOUNT_ACCOUNT_H
#define OM_PLUGINS_ACCOUNT_ACCOUNT_H

#include <stdint.h>

#include "db_step.h"
#include "login_cookies.h"
#include "page.h"
#include "replies.h"

namespace account {

enum { kVarCapacity = 100, kFieldSize = 64, kUserDataSize = 2048 };
enum { kAccountDatabase = 1 };

struct ActionEntry;
struct OMAccount;

// An action handler: negative after a failure reply; sets *end to 1 with the final reply.
using Handler = int32_t (*)(OMAccount& page, int32_t* end);

struct ActionEntry {
  int32_t number;
  const char* name;
  Handler handler;
};

// The personal data of an account, in the order of the page variables and the customer row.
enum InfoField {
  kFirstName, kMiddleInitial, kLastName, kAddress1, kAddress2, kCity, kStateProvince,
  kPostalCode, kCountry, kDayPhone, kNightPhone, kSecretQuestion, kSecretAnswer,
  kInfoFieldCount
};

// The page-variable name of a personal-data field, and the order in which GetInfo and New
// show the personal data to a page.
const char* InfoName(InfoField field);
extern const InfoField kInfoReplyOrder[kInfoFieldCount];

struct OMAccount : om::Page<kVarCapacity> {
  char action[om::PageTextSize];
  char info[kInfoFieldCount][kFieldSize];  // the personal-data page variables
  char name[kFieldSize];
  char password[kFieldSize];
  char email[kFieldSize];
  char newname1[kFieldSize];
  char newname2[kFieldSize];
  char newpassword1[kFieldSize];
  char newpassword2[kFieldSize];
  char newemail1[kFieldSize];
  char newemail2[kFieldSize];
  char name1[kFieldSize];
  char name2[kFieldSize];
  char password1[kFieldSize];
  char password2[kFieldSize];
  char email1[kFieldSize];
  char email2[kFieldSize];
  int32_t pfid;
  int32_t revision;
  char cargo[om::PageTextSize];     // "private:cargo"
  char userdata[kUserDataSize];
  int32_t activationcode;
  int32_t forgotaccountmode;

  const ActionEntry* entry;          // the row Init selected
  om::LoginFields login;             // AccountId, LoginValue, CharacterId
  char InfoBlock[kInfoFieldCount][kFieldSize];  // what GetInfo read
  int32_t ContinueAccountId;         // from "CONTINUELOGINDATA" (AgreeToTerms)
  int32_t ContinueValue;

  // The database steps, named as the host's records and logs know them.
  int32_t GetInfoFromDatabase();
  int32_t PerformSetInfoOperationOnDatabase();
  int32_t PerformChangeNameOperationOnDatabase();
  int32_t PerformChangePasswordOperationOnDatabase();
  int32_t PerformChangeEMailOperationOnDatabase();
  int32_t PerformNewAccountOperationOnDatabase();
  int32_t PerformActivateAccountOperationOnDatabase();
  int32_t PerformDeleteAccountOnDatabase();
  int32_t PerformAgreeToTermsOperationOnDatabase();
  int32_t PerformGoToOMComOperationOnDatabase();
};

// The action table, ended by a row whose number and name are zero.
extern const ActionEntry kActions[];

// Handlers (one file per group of actions).
int32_t GetInfo(OMAccount& page, int32_t* end);
int32_t SetInfo(OMAccount& page, int32_t* end);
int32_t ChangeName(OMAccount& page, int32_t* end);
int32_t ChangePassword(OMAccount& page, int32_t* end);
int32_t ChangeEMail(OMAccount& page, int32_t* end);
int32_t NewAccount(OMAccount& page, int32_t* end);
int32_t ForgotName(OMAccount& page, int32_t* end);
int32_t ForgotPassword(OMAccount& page, int32_t* end);
int32_t ForgotBoth(OMAccount& page, int32_t* end);
int32_t ForgotAccount(OMAccount& page, int32_t* end);
int32_t ForgotActivationCode(OMAccount& page, int32_t* end);
int32_t ActivateAccount(OMAccount& page, int32_t* end);
int32_t DeleteAccount(OMAccount& page, int32_t* end);
int32_t AgreeToTerms(OMAccount& page, int32_t* end);
int32_t GoToOMCom(OMAccount& page, int32_t* end);

// ---- Stages -------------------------------------------------------------------------------
// Sends the action's relay page for an interim stage (0, or 1 in three-request actions) and
// moves the stage on; 0 after a relay, kWorkStage when this request does the work, -1 after
// the reply to a stage out of range.
enum { kWorkStage = 1 };
int32_t AdvanceStage(OMAccount& page);

// ---- Shared input rules -----------------------------------------------------------------
// Trims blanks at both ends in the variable itself, so the trimmed text is what is saved.
void Trim(char* text);
bool HasUnsafeCharacter(const char* text);
// A new account name's rule: an unsafe or a control character (the name goes into the
// welcome mail's subject).
bool HasUnsafeNameCharacter(const char* text);
// An e-mail address must hold the at sign and no unsafe character.
bool IsAcceptableEmail(const char* text);
// An address to be stored (a new account's, a changed one): also no blank or control character.
bool IsMailableEmail(const char* text);
// Confirmation pairs match without regard to letter case.
bool Confirms(const char* value, const char* confirmation);
int32_t Length(const char* text);

// ---- Account status and restrictions ---------------------------------------------------
enum : char {
  kStatusActive = 'A', kStatusPending = 'P', kStatusSuspended = 'S', kStatusDeleted = 'D',
  kStatusNotActive = 'N'
};
// The status letter of a login row, upper-cased.
char StatusLetter(char stored);

enum class RestrictionRows { AccountWideOnly, All };
// Folds one active restriction row into the mask.
void FoldRestriction(int32_t& mask, int32_t chid, int32_t binaryVal, RestrictionRows rule);
// 3215 or 3211 when the mask blocks the action, else 0.
int32_t RestrictionCode(int32_t mask);
// Binds chid and om_restrictions_binaryVal of the current result and folds every row.
int32_t ReadRestrictionMask(om::DbStep& step, RestrictionRows rule);

// The reply code for what omdll_createlogin returned: 0 when the account was created.
int32_t CreateLoginRefusal(int32_t returnValue);

// ---- Event records and the event log ------------------------------------------------------
enum class AccountEvent { SetInfo, ChangeName, ChangeEMail, Delete };
// Posts the event record of a successful change: account, code and source of the event's
// row, then the fields the event carries (null for those it does not).
void PostAccountEvent(const OMAccount& page, AccountEvent event, const char* firstName,
                      const char* lastName, const char* email);
// One entry of the account event log; the detail is formatted from detailFormat.
void LogAccountEvent(const OMAccount& page, int32_t accountId, const char* tag, const char* detailFormat, ...)
    __attribute__((format(printf, 4, 5)));
// One entry of the account event log with an empty detail.
void LogAccountEventWithoutDetail(const OMAccount& page, int32_t accountId, const char* tag);

// Sets a reply variable (ScopeReply).
void SetReplyVar(const OMAccount& page, const char* name, const char* value);

}  // namespace account

#endif  // OM_PLUGINS_ACCOUNT_ACCOUNT_H
