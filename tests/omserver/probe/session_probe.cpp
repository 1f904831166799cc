// A plug-in built only for the host's own tests. Each request opens the session
// "Probe:SESSIONTAG" under the cookie "PROBESESSION", counts its visits in the session
// variable "visits", and answers as the query asks:
//   end=N      close the session with N (default 0)
//   twice=1    reply twice (Respond, then Redirect), as one account check does
//   keyed=K    also open the keyed session "Probe:step" with key K and note IsNew
//   noclose=1  leave the session open
#include <stdio.h>
#include <string.h>

#include "host_api.h"
#include "plugin_entry.h"
#include "text.h"

OM_DEFINE_GET_PLUGIN_INFO("9.9.9%s(probe)")

OM_EXPORT int32_t Body(HostApi* api) {
  SessionHandle* session = api->OpenSession(api, "Probe:SESSIONTAG", "PROBESESSION");
  if (session == nullptr) {
    api->Respond(api, "FAILURE", nullptr, 1200, nullptr, nullptr, -1);
    return 0;
  }
  const bool isNew = reinterpret_cast<const unsigned char*>(session)[SessionIsNewOffset] != 0;

  char value[512];
  api->GetSessionVar(session, "visits", value, sizeof value);
  int32_t visits = om::DecimalValue(value) + 1;
  char text[64];
  snprintf(text, sizeof text, "%d", visits);
  api->SetSessionVar(session, "visits", text);

  char keyed[512];
  if (api->GetVar(api, ScopeRequest, "keyed", keyed, sizeof keyed) >= 0) {
    int32_t status = -99;
    SessionHandle* step = api->OpenKeyedSession(api, "Probe:step", keyed, 2, &status);
    if (step != nullptr) {
      if (reinterpret_cast<const unsigned char*>(step)[SessionIsNewOffset] != 0) {
        api->SetKeyedSessionOption(step, 2, 60000);
      }
      api->CloseKeyedSession(step, 0);
    }
  }

  char line[128];
  snprintf(line, sizeof line, "visits=%d new=%d", visits, isNew ? 1 : 0);
  api->WriteText(api, 1, line);

  char flag[512];
  if (api->GetVar(api, ScopeRequest, "twice", flag, sizeof flag) >= 0) {
    api->Respond(api, "FAILURE", "msg.htm", 3207, nullptr, "fail.htm", -1);
    api->Redirect(api, "FAILURE", "nodb.htm", 0);
  } else {
    api->Respond(api, "SUCCESS", "msg.htm", 0, line, "ok.htm", -1);
  }

  if (api->GetVar(api, ScopeRequest, "noclose", flag, sizeof flag) >= 0) return 0;
  int32_t end = 0;
  if (api->GetVar(api, ScopeRequest, "end", flag, sizeof flag) >= 0) end = om::DecimalValue(flag);
  api->CloseSession(session, end);
  return 0;
}
