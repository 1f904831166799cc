// The browser's side of cookies: what it sends with a request and keeps from each reply.
#ifndef OM_OMSERVER_COOKIE_JAR_H
#define OM_OMSERVER_COOKIE_JAR_H

#include <string>

#include "request.h"

namespace omserver {

class CookieJar {
 public:
  // Reads a jar file (a JSON object of names and values); a missing file is an empty jar.
  // Throws std::runtime_error when the file exists but is not a jar.
  static CookieJar load(const std::string& path);
  // Writes the jar through a temporary file, so a failed write leaves the old jar intact.
  void save(const std::string& path) const;

  // Keeps every cookie the reply set; a later value of a name replaces the earlier one.
  void absorb(const RequestResult& result);
  void set(const std::string& name, const std::string& value);
  const NameValues& cookies() const { return cookies_; }
  std::string get(const std::string& name) const;

 private:
  NameValues cookies_;
};

}  // namespace omserver

#endif
