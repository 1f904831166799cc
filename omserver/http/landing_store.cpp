#include "landing_store.h"

namespace omserver::http {

void LandingStore::put(const std::string& browser, Landing landing, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    it = now - it->second.at > lifetime_ ? entries_.erase(it) : std::next(it);
  }
  entries_[browser] = Entry{std::move(landing), now};
}

std::optional<Landing> LandingStore::get(const std::string& browser, Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(browser);
  if (found == entries_.end() || now - found->second.at > lifetime_) return std::nullopt;
  return found->second.landing;
}

}  // namespace omserver::http
