#include "cookies.h"

#include <stdio.h>

namespace om {

void ReadCookie(HostApi* api, const char* name, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return;
  if (api->GetVar(api, ScopeCookie, name, buffer, size) < 0) buffer[0] = '\0';
  buffer[size - 1] = '\0';
}

void SetNumberCookie(HostApi* api, const char* name, int32_t value) {
  char text[32];
  snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  api->SetVar(api, ScopeCookie, name, text);
}

bool IsNewSession(const SessionHandle* session) {
  if (session == nullptr) return false;
  return reinterpret_cast<const unsigned char*>(session)[SessionIsNewOffset] != 0;
}

}  // namespace om
