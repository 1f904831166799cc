// Cookies the plain way the pages use them: a cookie read as the empty text when the
// browser has none, and a number cookie in its decimal form.
#ifndef OM_FRAMEWORK_COOKIES_H
#define OM_FRAMEWORK_COOKIES_H

#include <stdint.h>

#include "host_api.h"

namespace om {

// The cookie's text, cut to size - 1 characters; the empty text when it is absent.
void ReadCookie(HostApi* api, const char* name, char* buffer, int32_t size);
// Sets the cookie to the decimal text ("%ld") of value.
void SetNumberCookie(HostApi* api, const char* name, int32_t value);

// Whether the host created the session (or keyed session) in this request: byte 13 of
// its handle, the only byte a plug-in reads.
bool IsNewSession(const SessionHandle* session);

}  // namespace om

#endif  // OM_FRAMEWORK_COOKIES_H
