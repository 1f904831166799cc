// Step records: diagnostic notes the host keeps in keyed sessions beyond the request, so
// that a join that went wrong can be followed afterwards. Nothing in the join reads them.
#include <stdio.h>

#include "cookies.h"
#include "join_page.h"
#include "join_tables.h"

namespace omjoin {

namespace {
constexpr int32_t kKeyedSessionKind = 2;
constexpr int32_t kOptionLifetime = 2;
constexpr int32_t kOptionThree = 3;
constexpr int32_t kOptionOne = 1;
}  // namespace

int32_t WriteStepRecord(HostApi* api, const char* name, const char* text, int32_t lifetime) {
  if (api == nullptr || name == nullptr || text == nullptr) return -1;
  char tag[512];
  snprintf(tag, sizeof tag, "%s:%s", kPluginName, name);
  int32_t status = 0;
  SessionHandle* record = api->OpenKeyedSession(api, tag, text, kKeyedSessionKind, &status);
  if (record == nullptr) return -1;
  if (om::IsNewSession(record)) {
    api->SetKeyedSessionOption(record, kOptionLifetime, lifetime);
    api->SetKeyedSessionOption(record, kOptionThree, 0);
    api->SetKeyedSessionOption(record, kOptionOne, 1);
  }
  api->CloseKeyedSession(record, 0);
  return 0;
}

}  // namespace omjoin
