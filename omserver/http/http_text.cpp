#include "http_text.h"

#include <cctype>
#include <cstdio>

namespace omserver::http {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && plusIsBlank) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The characters a cookie value may hold unquoted, less '%', which carries the escapes.
bool IsCookieValueChar(unsigned char c) {
  return c == 0x21 || (c >= 0x23 && c <= 0x2B && c != 0x25) || (c >= 0x2D && c <= 0x3A) ||
         (c >= 0x3C && c <= 0x5B) || (c >= 0x5D && c <= 0x7E);
}

// A cookie name: the token characters, with ':' and '.' that the plug-ins' names use.
bool IsCookieNameChar(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  switch (c) {
    case '(': case ')': case '<': case '>': case '@': case ',': case ';': case '\\': case '"':
    case '/': case '[': case ']': case '?': case '=': case '{': case '}': case '%':
      return false;
    default:
      return true;
  }
}

}  // namespace

std::string UrlDecode(const std::string& text) { return PercentDecode(text, true); }

NameValues ParseUrlEncoded(const std::string& text) {
  NameValues pairs;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    if (!piece.empty()) {
      size_t equals = piece.find('=');
      std::string name = UrlDecode(piece.substr(0, equals));
      std::string value = equals == std::string::npos ? std::string() : UrlDecode(piece.substr(equals + 1));
      if (!name.empty()) pairs.emplace_back(std::move(name), std::move(value));
    }
    start = end + 1;
  }
  return pairs;
}

NameValues ParseCookieHeader(const std::string& header) {
  NameValues pairs;
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find(';', start);
    if (end == std::string::npos) end = header.size();
    std::string piece = Trim(header.substr(start, end - start));
    size_t equals = piece.find('=');
    if (equals != std::string::npos && equals > 0) {
      std::string value = Trim(piece.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      pairs.emplace_back(CookieDecode(Trim(piece.substr(0, equals))), CookieDecode(value));
    }
    start = end + 1;
  }
  return pairs;
}

std::string CookieEncode(const std::string& text, bool isName) {
  std::string out;
  for (unsigned char c : text) {
    if (isName ? IsCookieNameChar(c) : IsCookieValueChar(c)) {
      out += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      out += escape;
    }
  }
  return out;
}

std::string CookieDecode(const std::string& text) { return PercentDecode(text, false); }

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

bool IsSafeTarget(const std::string& url) {
  for (unsigned char c : url) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  size_t colon = url.find(':');
  size_t stop = url.find_first_of("/?#");
  if (colon == std::string::npos || (stop != std::string::npos && stop < colon)) return true;
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https";
}

std::optional<uint32_t> ParseClientAddress(const std::string& text) {
  if (text == "::1") return 0x7F000001u;
  std::string v4 = text;
  if (v4.rfind("::ffff:", 0) == 0) v4 = v4.substr(7);
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(v4.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 || c > 255 || d > 255) {
    return std::nullopt;
  }
  return (a << 24) | (b << 16) | (c << 8) | d;
}

}  // namespace omserver::http
