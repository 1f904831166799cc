#include "records.h"

#include <string.h>

#include "text.h"

namespace om {

EventRecord MakeEventRecord(int32_t accountId, int32_t eventCode, const char* source) {
  EventRecord record;
  memset(&record, 0, sizeof record);
  record.accountId = accountId;
  record.eventCode = eventCode;
  TextCopyInto(record.source, source);
  return record;
}

void PostEvent(HostApi* api, EventRecord& record) { api->PostEventRecord(api, &record); }

HostRecord MakeHostRecord(const LoginFields* login, int32_t pfid) {
  HostRecord record;
  memset(&record, 0, sizeof record);
  if (login != nullptr) {
    record.accountId = login->AccountId;
    record.loginValue = login->LoginValue;
    record.characterId = login->CharacterId;
  }
  record.pfid = pfid;
  return record;
}

}  // namespace om
