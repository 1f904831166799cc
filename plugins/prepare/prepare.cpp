// OMPrepare: copies the launch values of the request into cookies of the same name and
// sends the browser on to "URL", by a redirect or, with "METAREFRESH", by a relay page.
// One pass per request: no session, no page variables, no database.
#include "host_api.h"
#include "plugin_entry.h"
#include "text.h"

namespace {

constexpr int32_t kValueSize = 512;
constexpr int32_t kCodeNoUrl = 1012;

// Request variables that become cookies of the same name, in the order they are set.
constexpr const char* kLaunchValues[] = {
    "VER1", "VER2", "GT", "CC", "PRODUCTCODE", "JUNCTIONCODE", "USEJUNCTION", "PFID",
};
constexpr int32_t kLaunchValueCount = sizeof kLaunchValues / sizeof kLaunchValues[0];

}  // namespace

OM_DEFINE_GET_PLUGIN_INFO("0.0.1%s(.NET)")

OM_EXPORT int32_t Body(HostApi* api) {
  if (api == nullptr) return 0;

  char url[kValueSize];
  if (api->GetVar(api, ScopeRequest, "URL", url, kValueSize) < 0) {
    api->Respond(api, "FAILURE", nullptr, kCodeNoUrl, nullptr, nullptr, -1);
    return 0;
  }

  char refreshText[kValueSize];
  int32_t refresh = 0;
  if (api->GetVar(api, ScopeRequest, "METAREFRESH", refreshText, kValueSize) >= 0) {
    refresh = om::DecimalValue(refreshText);
  }

  // A variable that is present, even empty, replaces its cookie; an absent one leaves the
  // browser's cookie from an earlier visit as it was.
  char values[kLaunchValueCount][kValueSize];
  for (int32_t i = 0; i < kLaunchValueCount; ++i) {
    if (api->GetVar(api, ScopeRequest, kLaunchValues[i], values[i], kValueSize) >= 0) {
      api->SetVar(api, ScopeCookie, kLaunchValues[i], values[i]);
    }
  }

  if (refresh != 0) {
    api->Respond(api, "RELAY", nullptr, 0, nullptr, url, 0);
  } else {
    api->Redirect(api, "SUCCESS", url, 0);
  }
  return 0;
}
