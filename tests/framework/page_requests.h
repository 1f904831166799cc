// What the tests of page plug-ins share beyond test_support.h: a conversation whose session
// already holds given page variables (planted in host.sqlite as an earlier request would
// have left it), and a request whose HostApi record has slots changed by the test, for host
// services the stand-in does not offer yet or failures it cannot be made to produce.
#ifndef OM_TESTS_FRAMEWORK_PAGE_REQUESTS_H
#define OM_TESTS_FRAMEWORK_PAGE_REQUESTS_H

#include <functional>
#include <map>
#include <string>

#include "context.h"
#include "cookie_jar.h"
#include "host.h"
#include "plugin.h"
#include "request.h"
#include "sessions.h"

namespace omtest {

// Stores a browser session (tag, id) holding vars, and puts its id into the jar under the
// session cookie, so the jar's next request continues that conversation.
inline void PlantSession(omserver::Host& host, omserver::CookieJar& jar, const std::string& tag,
                         const std::string& cookieName, const std::string& id,
                         const std::map<std::string, std::string>& vars) {
  host.withState([&](omserver::SqliteDb& db) {
    db.prepare("INSERT INTO sessions (kind, tag, key, created, updated) VALUES (0, ?, ?, 0, 0)")
        .bind(1, tag).bind(2, id).run();
    for (const auto& [name, value] : vars) {
      db.prepare("INSERT INTO session_vars (kind, tag, key, name, value) VALUES (0, ?, ?, ?, ?)")
          .bind(1, tag).bind(2, id).bind(3, name).bind(4, value).run();
    }
  });
  jar.set(cookieName, id);
}

// Runs one request as Host::run does, with the jar's cookies, after change() has had its say
// on the record; the jar keeps the reply's cookies.
inline omserver::RequestResult RunWithSlots(omserver::Host& host, const omserver::Plugin& plugin,
                                            omserver::CookieJar& jar, omserver::RequestSpec incoming,
                                            const std::function<void(HostApi&)>& change) {
  for (const auto& [name, value] : jar.cookies()) incoming.cookies.emplace_back(name, value);
  if (incoming.pageUrl.empty()) incoming.pageUrl = "/" + plugin.name();
  omserver::RequestResult result;
  {
    omserver::RequestState state(host, incoming, result);
    omserver::RequestContext context{};
    context.state = &state;
    omserver::FillHostApi(context);
    change(context.api);
    result.bodyResult = plugin.body(&context.api);
    omserver::FinishSessions(state);
    omserver::FinishDatabases(state);
    omserver::FinishServices(state);
  }
  jar.absorb(result);
  return result;
}

}  // namespace omtest

#endif
