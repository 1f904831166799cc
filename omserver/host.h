// The stand-in page server's core: a data directory with the host's state (host.sqlite),
// the host's clock and random source, and the running of one request through a plug-in.
#ifndef OM_OMSERVER_HOST_H
#define OM_OMSERVER_HOST_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "plugin.h"
#include "request.h"
#include "sqlite_db.h"

namespace omserver {

class Host {
 public:
  // Opens (and on first use creates) the data directory and its host.sqlite.
  explicit Host(std::filesystem::path dataDir);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::filesystem::path& dataDir() const { return dataDir_; }

  // Runs one request: a fresh HostApi record, Body, then the host's own closing work
  // (sessions left open are kept, database handles left open are released and noted).
  RequestResult run(const Plugin& plugin, const RequestSpec& incoming);

  // The host's state file, used under its lock. Every other part of the stand-in that keeps
  // state in host.sqlite goes through here, so concurrent requests never interleave.
  template <typename F>
  auto withState(F&& work) -> decltype(work(std::declval<SqliteDb&>())) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return work(state_);
  }

  // Configuration values kept in host.sqlite (the clock, seeds, switches of the services);
  // ConfigIn and SetConfigIn below do the same while the state lock is already held.
  std::optional<std::string> config(const std::string& name);
  void setConfig(const std::string& name, const std::optional<std::string>& value);

  // Seconds since 1970 (UTC): the configured "clock" when a test has set one, else real time.
  int64_t now();
  // Sets or clears the fixed clock.
  void setClock(std::optional<int64_t> epochSeconds);

  // A new session id: unique in this data directory; repeatable when "seed" is configured.
  std::string newSessionId();

 private:
  void createSchema();

  std::filesystem::path dataDir_;
  std::mutex stateMutex_;
  SqliteDb state_;
};

// A configuration value of host.sqlite (table config), read or written with the state
// lock held (inside Host::withState).
std::optional<std::string> ConfigIn(SqliteDb& db, const std::string& name);
void SetConfigIn(SqliteDb& db, const std::string& name, const std::optional<std::string>& value);

}  // namespace omserver

#endif
