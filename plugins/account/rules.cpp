// The rules several account actions share: the input character rules, the account status
// letters, the folding of restriction rows, the event records and the event log.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>

#include "account.h"
#include "codes.h"
#include "records.h"
#include "text.h"

namespace account {
namespace {

// Characters that would break out of the site's HTML or of a quoted SQL literal.
constexpr char kUnsafeCharacters[] = "%\"<>'&;";

// The restriction bits that refuse an account change: the blocking ones are tested first.
constexpr int32_t kBlockingBits = 0x01 | 0x02 | 0x04;
constexpr int32_t kRestrictedBit = 0x10;

// The event record each change posts.
struct EventRow {
  AccountEvent event;
  int32_t code;
  const char* source;
};
constexpr EventRow kEvents[] = {
    {AccountEvent::SetInfo, 8204, "OMAccount::PerformSetInfoOperationOnDatabase"},
    {AccountEvent::ChangeName, 8194, "OMAccount::PerformChangeNameOperationOnDatabase"},
    {AccountEvent::ChangeEMail, 8208, "OMAccount::PerformChangeEMailOperationOnDatabase"},
    {AccountEvent::Delete, 8193, "OMAccount::PerformDeleteAccountOnDatabase"},
};

constexpr int32_t kLogDetailSize = 2048;

}  // namespace

void Trim(char* text) {
  om::TextTrimLeft(text);
  om::TextTrimRight(text);
}

bool HasUnsafeCharacter(const char* text) {
  if (text == nullptr) return false;
  for (const char* c = text; *c != '\0'; ++c) {
    for (const char* unsafe = kUnsafeCharacters; *unsafe != '\0'; ++unsafe) {
      if (*c == *unsafe) return true;
    }
  }
  return false;
}

// A byte below 32 or DEL. No form field of the site holds one; in the address or subject of
// a mail a line break would start a header of its own, and the host refuses to send it.
bool HasControlCharacter(const char* text) {
  if (text == nullptr) return false;
  for (const char* c = text; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 32 || byte == 127) return true;
  }
  return false;
}

bool HasUnsafeNameCharacter(const char* text) { return HasUnsafeCharacter(text) || HasControlCharacter(text); }

bool IsAcceptableEmail(const char* text) { return om::TextFind(text, "@") != nullptr && !HasUnsafeCharacter(text); }

// An address that is stored also holds no blank and no control character: the host could not
// mail it, so an account would be created or changed to an address that never receives its
// mails. (The lookups of the forgotten-data actions take the address as typed.)
bool IsMailableEmail(const char* text) {
  return IsAcceptableEmail(text) && !HasControlCharacter(text) && om::TextFind(text, " ") == nullptr;
}

bool Confirms(const char* value, const char* confirmation) { return om::TextEqualNoCase(value, confirmation) != 0; }

int32_t Length(const char* text) {
  int32_t length = 0;
  while (text != nullptr && text[length] != '\0') ++length;
  return length;
}

char StatusLetter(char stored) { return static_cast<char>(toupper(static_cast<unsigned char>(stored))); }

void FoldRestriction(int32_t& mask, int32_t chid, int32_t binaryVal, RestrictionRows rule) {
  if (rule == RestrictionRows::AccountWideOnly && chid != 0) return;
  mask |= binaryVal;
}

int32_t RestrictionCode(int32_t mask) {
  const int32_t low = mask & 0xFF;
  if ((low & kBlockingBits) != 0) return kCodeBlocked;
  if ((low & kRestrictedBit) != 0) return kCodeRestricted;
  return 0;
}

int32_t ReadRestrictionMask(om::DbStep& step, RestrictionRows rule) {
  int32_t chid = 0;
  int32_t binaryVal = 0;
  step.bindInt(&chid);
  step.bindInt(&binaryVal);
  int32_t mask = 0;
  step.fetchEach([&] { FoldRestriction(mask, chid, binaryVal, rule); });
  return mask;
}

void PostAccountEvent(const OMAccount& page, AccountEvent event, const char* firstName, const char* lastName,
                      const char* email) {
  for (const EventRow& row : kEvents) {
    if (row.event != event) continue;
    EventRecord record = om::MakeEventRecord(page.login.AccountId, row.code, row.source);
    if (firstName != nullptr) om::TextCopyInto(record.firstName, firstName);
    if (lastName != nullptr) om::TextCopyInto(record.lastName, lastName);
    if (email != nullptr) om::TextCopyInto(record.email, email);
    om::PostEvent(page.api, record);
    return;
  }
}

void LogAccountEvent(const OMAccount& page, int32_t accountId, const char* tag, const char* detailFormat, ...) {
  char detail[kLogDetailSize];
  va_list args;
  va_start(args, detailFormat);
  vsnprintf(detail, sizeof detail, detailFormat, args);
  va_end(args);
  page.api->LogEvent(page.api, accountId, 0, tag, detail);
}

void LogAccountEventWithoutDetail(const OMAccount& page, int32_t accountId, const char* tag) {
  page.api->LogEvent(page.api, accountId, 0, tag, "");
}

void SetReplyVar(const OMAccount& page, const char* name, const char* value) {
  page.api->SetVar(page.api, ScopeReply, name, value);
}

}  // namespace account
