// Carries what a plug-in request left for the page the browser lands on next: its reply
// variables and the text it wrote. A redirect cannot carry them, so they wait here, keyed by
// the browser's site cookie, for the page the reply leads to (and only that page) to show
// them, until a later plug-in request replaces them or a few minutes pass.
#ifndef OM_OMSERVER_HTTP_LANDING_STORE_H
#define OM_OMSERVER_HTTP_LANDING_STORE_H

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "request.h"

namespace omserver::http {

struct Landing {
  std::string page;  // the site path the reply leads to, e.g. "/players.html"
  std::string plugin;
  NameValues replyVars;
  std::string body;
};

class LandingStore {
 public:
  using Clock = std::chrono::steady_clock;
  explicit LandingStore(Clock::duration lifetime = std::chrono::minutes(10)) : lifetime_(lifetime) {}

  // Replaces what the browser's last plug-in request left; drops entries past their time.
  void put(const std::string& browser, Landing landing, Clock::time_point now = Clock::now());
  // What the browser's last plug-in request left, while it is fresh.
  std::optional<Landing> get(const std::string& browser, Clock::time_point now = Clock::now()) const;

 private:
  struct Entry {
    Landing landing;
    Clock::time_point at;
  };
  Clock::duration lifetime_;
  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

}  // namespace omserver::http

#endif
