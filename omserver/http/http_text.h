// The texts of HTTP as the page server meets them: url-encoded queries and form bodies,
// the Cookie header, Set-Cookie values, HTML escaping and the addresses a reply may lead to.
#ifndef OM_OMSERVER_HTTP_HTTP_TEXT_H
#define OM_OMSERVER_HTTP_HTTP_TEXT_H

#include <cstdint>
#include <optional>
#include <string>

#include "request.h"

namespace omserver::http {

// Decodes %XX escapes (and '+' as a blank, as forms and query strings send it). A '%' that
// is not followed by two hexadecimal digits stays as it is.
std::string UrlDecode(const std::string& text);

// "a=1&b=&c" into its pairs, in order and with repeats; a pair without '=' has an empty value.
NameValues ParseUrlEncoded(const std::string& text);

// The Cookie header of a request into its pairs; values are decoded as CookieEncode wrote them.
NameValues ParseCookieHeader(const std::string& header);

// A cookie name or value as it may stand in a Set-Cookie header: bytes outside the cookie
// characters (blanks, quotes, commas, semicolons, backslashes, control and non-ASCII bytes,
// and '%' itself) become %XX, so that ParseCookieHeader gives the plug-in's text back.
std::string CookieEncode(const std::string& text, bool isName);
std::string CookieDecode(const std::string& text);

// Escapes &, <, >, " and ' for HTML text and attribute values.
std::string HtmlEscape(const std::string& text);

// An address a page may send the browser to: a path, a relative address or an http(s) URL.
// Anything with another scheme (javascript:, data: ...) or a control character is refused.
bool IsSafeTarget(const std::string& url);

// "a.b.c.d" into the host's numeric address (first octet most significant); IPv4-mapped
// IPv6 ("::ffff:a.b.c.d") and "::1" are understood; anything else gives nullopt.
std::optional<uint32_t> ParseClientAddress(const std::string& text);

}  // namespace omserver::http

#endif
