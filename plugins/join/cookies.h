// Cookie reading and writing the way every join step does it. General mechanisms that the
// framework may take over: a cookie read as the empty text when the browser has none, and
// a number cookie in its decimal form.
#ifndef OM_JOIN_COOKIES_H
#define OM_JOIN_COOKIES_H

#include <stdint.h>

#include "host_api.h"

namespace omjoin {

// The cookie's text, cut to size - 1 characters; the empty text when it is absent.
void ReadCookie(HostApi* api, const char* name, char* buffer, int32_t size);
// Sets the cookie to the decimal text ("%ld") of value.
void SetNumberCookie(HostApi* api, const char* name, int32_t value);

}  // namespace omjoin

#endif  // OM_JOIN_COOKIES_H
