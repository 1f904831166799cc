// A plug-in built only for the page server's tests. It answers as the request asks:
//   reply=redirect|relay|fail|none|twice   (default redirect; the address is "to")
//   reply=staged                            a two-step conversation kept in the cookie
//                                           "PROBESTAGE": a RELAY page back to itself
//                                           ("Contacting probe...."), then the redirect
//   code=N, text=T                          the code and literal text of a fail reply
//   sleep=MS                                waits that long first (to overlap requests)
// and on every request uses a quarter megabyte of stack, writes "<b>written</b>" with
// WriteText, and sets the reply variables "src1" (the host variable "hostvar", source 1
// only), "form" (the variable "f", form body only), "query" (the variable "q", query only)
// and "stack" (a sum over the stack buffer, so it cannot be left out).
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "host_api.h"
#include "plugin_entry.h"
#include "text.h"

OM_DEFINE_GET_PLUGIN_INFO("9.9.9%s(http probe)")

namespace {

void TextCopyReply(char* reply, size_t size) { snprintf(reply, size, "%s", "staged"); }

void Echo(HostApi* api, int32_t scope, const char* name, const char* replyName) {
  char value[512];
  if (api->GetVar(api, scope, name, value, sizeof value) >= 0) api->SetVar(api, ScopeReply, replyName, value);
}

}  // namespace

OM_EXPORT int32_t Body(HostApi* api) {
  char value[512];
  if (api->GetVar(api, ScopeRequest, "sleep", value, sizeof value) >= 0) {
    int32_t ms = om::DecimalValue(value);
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&wait, nullptr);
  }

  volatile unsigned char stack[256 * 1024];
  for (size_t i = 0; i < sizeof stack; i += 512) stack[i] = static_cast<unsigned char>(i >> 9);
  unsigned sum = 0;
  for (size_t i = 0; i < sizeof stack; i += 512) sum += stack[i];
  char text[64];
  snprintf(text, sizeof text, "%u", sum);
  api->SetVar(api, ScopeReply, "stack", text);

  Echo(api, ScopeSource1, "hostvar", "src1");
  Echo(api, ScopeSource4, "f", "form");
  Echo(api, ScopeSource2, "q", "query");
  api->WriteText(api, 1, "<b>written</b>");

  char reply[512] = "redirect";
  api->GetVar(api, ScopeRequest, "reply", reply, sizeof reply);
  char to[512] = "/done.html";
  api->GetVar(api, ScopeRequest, "to", to, sizeof to);
  char code[512] = "0";
  api->GetVar(api, ScopeRequest, "code", code, sizeof code);
  char message[512];
  bool hasText = api->GetVar(api, ScopeRequest, "text", message, sizeof message) >= 0;

  // The relay page comes back without a query: a conversation under way goes on by its cookie.
  char stage[512] = "";
  api->GetVar(api, ScopeCookie, "PROBESTAGE", stage, sizeof stage);
  if (stage[0] != '\0') TextCopyReply(reply, sizeof reply);

  if (strcmp(reply, "redirect") == 0) {
    api->Redirect(api, "SUCCESS", to, 0);
  } else if (strcmp(reply, "relay") == 0) {
    api->Respond(api, "RELAY", "/relay.html", 0, "Contacting probe....", api->PageUrl, 5);
  } else if (strcmp(reply, "fail") == 0) {
    api->Respond(api, "FAILURE", "/msgbase.html", om::DecimalValue(code), hasText ? message : nullptr, to, -1);
  } else if (strcmp(reply, "staged") == 0) {
    if (stage[0] == '\0') {
      api->SetVar(api, ScopeCookie, "PROBESTAGE", "1");
      api->SetVar(api, ScopeCookie, "PROBETO", to);
      api->Respond(api, "RELAY", "/relay.html", 0, "Contacting probe....", api->PageUrl, 0);
    } else {
      api->GetVar(api, ScopeCookie, "PROBETO", to, sizeof to);
      api->SetVar(api, ScopeCookie, "PROBESTAGE", "");
      api->Redirect(api, "SUCCESS", to, 0);
    }
  } else if (strcmp(reply, "twice") == 0) {
    api->Redirect(api, "SUCCESS", to, 0);
    api->Respond(api, "FAILURE", nullptr, 1101, nullptr, nullptr, -1);
  }
  return 0;
}
