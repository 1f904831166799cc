// The texts of HTTP as `omserver serve` reads them from any visitor: queries and form
// bodies, the Cookie header, cookie values, HTML escaping, reply targets, client addresses.
// Checked beyond the sanitizers: a cookie name and value come back through Set-Cookie
// encoding and the Cookie header unchanged; escaped HTML holds no markup character; a
// target judged safe has no control byte and no scheme but http(s); an address written
// as a.b.c.d reads back as its number.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "fuzz_buffer.h"
#include "http_text.h"

namespace h = omserver::http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string name = input.ConsumeRandomLengthString(64);
  const std::string value = input.ConsumeRandomLengthString(700);
  const uint32_t address = input.ConsumeIntegral<uint32_t>();
  const std::string rest = input.ConsumeRemainingBytesAsString();

  // Whatever a visitor sends is read without fault.
  h::UrlDecode(rest);
  h::ParseUrlEncoded(rest);
  h::ParseCookieHeader(rest);
  h::CookieDecode(rest);
  h::ParseClientAddress(rest);

  if (h::CookieDecode(h::CookieEncode(value, false)) != value) omfuzz::Violation("CookieEncode", "value not kept");
  if (!name.empty()) {
    const std::string header = h::CookieEncode(name, true) + "=" + h::CookieEncode(value, false) + "; other=1";
    omserver::NameValues cookies = h::ParseCookieHeader(header);
    if (cookies.empty() || cookies[0].first != name || cookies[0].second != value) {
      omfuzz::Violation("ParseCookieHeader", "the encoded cookie did not come back: " + header);
    }
  }

  const std::string escaped = h::HtmlEscape(value);
  for (size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    if (c == '<' || c == '>' || c == '"' || c == '\'') omfuzz::Violation("HtmlEscape", "a markup character stays");
    if (c == '&' && escaped.find(';', i) == std::string::npos) omfuzz::Violation("HtmlEscape", "a bare ampersand");
  }

  if (h::IsSafeTarget(value)) {
    for (unsigned char c : value) {
      if (c < 0x20 || c == 0x7F) omfuzz::Violation("IsSafeTarget", "a control byte passed");
    }
    const size_t colon = value.find(':');
    const size_t stop = value.find_first_of("/?#");
    if (colon != std::string::npos && (stop == std::string::npos || colon < stop)) {
      std::string scheme = value.substr(0, colon);
      for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (scheme != "http" && scheme != "https") omfuzz::Violation("IsSafeTarget", "scheme " + scheme + " passed");
    }
  }

  char dotted[32];
  std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                address & 0xFF);
  if (h::ParseClientAddress(dotted) != address) omfuzz::Violation("ParseClientAddress", dotted);
  return 0;
}
