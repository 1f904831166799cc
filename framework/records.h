// The records a page plug-in hands to the host: the event record posted after account,
// character and join changes, and the host registration record. Both are zero-filled, then
// filled with plain stores and bounded copies; they live on the caller's stack.
#ifndef OM_FRAMEWORK_RECORDS_H
#define OM_FRAMEWORK_RECORDS_H

#include <stdint.h>

#include "host_api.h"
#include "login_cookies.h"

namespace om {

// An event record with its account, event code and producer label ("OMAccount::...");
// everything else zero. Fill the producer's fields with TextCopyInto and plain stores.
EventRecord MakeEventRecord(int32_t accountId, int32_t eventCode, const char* source);
// Hands the record to the host (no result is used).
void PostEvent(HostApi* api, EventRecord& record);

// A host registration record: the login's account, login value and character (zeros when
// login is null, i.e. the login cookies were incomplete) and the product family.
HostRecord MakeHostRecord(const LoginFields* login, int32_t pfid);

}  // namespace om

#endif  // OM_FRAMEWORK_RECORDS_H
