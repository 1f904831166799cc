#include "host.h"

#include <chrono>
#include <cstdio>

#include "context.h"

namespace omserver {

std::optional<std::string> RequestResult::cookie(const std::string& name) const {
  for (const auto& [key, value] : cookies) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::optional<std::string> RequestResult::replyVar(const std::string& name) const {
  for (const auto& [key, value] : replyVars) {
    if (key == name) return value;
  }
  return std::nullopt;
}

RequestState::RequestState(Host& h, const RequestSpec& s, RequestResult& r) : host(h), incoming(s), result(r) {}
RequestState::~RequestState() = default;

void RequestState::log(const std::string& line) { result.hostLog.push_back(line); }

Host::Host(std::filesystem::path dataDir) : dataDir_(std::move(dataDir)) {
  std::filesystem::create_directories(dataDir_);
  state_ = SqliteDb((dataDir_ / "host.sqlite").string());
  // Several commits per request (sessions, the services' records): in WAL mode a commit
  // need not wait for the disk, and the file stays consistent whatever happens.
  state_.exec("PRAGMA journal_mode=WAL");
  state_.exec("PRAGMA synchronous=NORMAL");
  createSchema();
}

Host::~Host() = default;

void Host::createSchema() {
  state_.exec(R"sql(
    CREATE TABLE IF NOT EXISTS config (name TEXT PRIMARY KEY, value TEXT NOT NULL);
    CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL);
    -- kind 0: a browser's session (key = the id its cookie carries); kind 1: a keyed session
    CREATE TABLE IF NOT EXISTS sessions (
      kind INTEGER NOT NULL, tag TEXT NOT NULL, key TEXT NOT NULL,
      created INTEGER NOT NULL, updated INTEGER NOT NULL,
      PRIMARY KEY (kind, tag, key));
    CREATE TABLE IF NOT EXISTS session_vars (
      kind INTEGER NOT NULL, tag TEXT NOT NULL, key TEXT NOT NULL,
      name TEXT NOT NULL, value TEXT NOT NULL,
      PRIMARY KEY (kind, tag, key, name));
    CREATE TABLE IF NOT EXISTS session_options (
      kind INTEGER NOT NULL, tag TEXT NOT NULL, key TEXT NOT NULL,
      option INTEGER NOT NULL, value INTEGER NOT NULL,
      PRIMARY KEY (kind, tag, key, option));
  )sql");
}

std::optional<std::string> ConfigIn(SqliteDb& db, const std::string& name) {
  Statement statement = db.prepare("SELECT value FROM config WHERE name = ?");
  statement.bind(1, name);
  if (!statement.step()) return std::nullopt;
  return statement.columnText(0);
}

void SetConfigIn(SqliteDb& db, const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    db.prepare("INSERT INTO config (name, value) VALUES (?, ?) ON CONFLICT(name) DO UPDATE SET value = excluded.value")
        .bind(1, name)
        .bind(2, *value)
        .run();
  } else {
    db.prepare("DELETE FROM config WHERE name = ?").bind(1, name).run();
  }
}

std::optional<std::string> Host::config(const std::string& name) {
  return withState([&](SqliteDb& db) { return ConfigIn(db, name); });
}

void Host::setConfig(const std::string& name, const std::optional<std::string>& value) {
  withState([&](SqliteDb& db) { SetConfigIn(db, name, value); });
}

int64_t Host::now() {
  if (auto clock = config("clock")) return std::stoll(*clock);
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void Host::setClock(std::optional<int64_t> epochSeconds) {
  setConfig("clock", epochSeconds ? std::optional<std::string>(std::to_string(*epochSeconds)) : std::nullopt);
}

std::string Host::newSessionId() {
  std::optional<std::string> seed = config("seed");
  int64_t serial = withState([](SqliteDb& db) {
    db.exec("INSERT INTO counters (name, value) VALUES ('session', 1) "
            "ON CONFLICT(name) DO UPDATE SET value = value + 1");
    return std::stoll(db.scalarText("SELECT value FROM counters WHERE name = 'session'").value_or("1"));
  });
  uint64_t salt;
  if (seed) {
    std::mt19937_64 generator(std::stoull(*seed) ^ static_cast<uint64_t>(serial));
    salt = generator();
  } else {
    std::random_device device;
    salt = (static_cast<uint64_t>(device()) << 32) ^ device();
  }
  char id[40];
  std::snprintf(id, sizeof id, "S%06lld%016llx", static_cast<long long>(serial), static_cast<unsigned long long>(salt));
  return id;
}

RequestResult Host::run(const Plugin& plugin, const RequestSpec& incoming) {
  RequestResult result;
  RequestState state(*this, incoming, result);
  RequestContext context{};
  context.state = &state;
  FillHostApi(context);
  result.bodyResult = plugin.body(&context.api);
  FinishSessions(state);
  FinishDatabases(state);
  FinishServices(state);
  return result;
}

}  // namespace omserver
