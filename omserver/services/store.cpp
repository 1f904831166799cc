#include "store.h"

#include <stdexcept>

#include "services.h"

namespace omserver::services {
namespace {

// Tables of the services. Outputs of requests carry the request's number and the host clock.
constexpr const char* kSchema = R"sql(
  CREATE TABLE IF NOT EXISTS svc_values (name TEXT PRIMARY KEY, value TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_mail (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL,
    recipient TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT NULL,
    sent INTEGER NOT NULL, reason TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_event_log (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL,
    account_id INTEGER NOT NULL, character_id INTEGER NOT NULL, tag TEXT NOT NULL, detail TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_event_records (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL, record BLOB NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_failures (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL, page TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_switches (feature INTEGER PRIMARY KEY, state TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_screened_names (name TEXT PRIMARY KEY COLLATE NOCASE);
  CREATE TABLE IF NOT EXISTS svc_servers (
    rid INTEGER PRIMARY KEY, gsid TEXT NOT NULL, name TEXT NOT NULL, access_text TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_server_fields (
    rid INTEGER NOT NULL, field TEXT NOT NULL, value INTEGER NOT NULL, PRIMARY KEY (rid, field));
  CREATE TABLE IF NOT EXISTS svc_server_vars (
    rid INTEGER NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, value TEXT NOT NULL,
    PRIMARY KEY (rid, name));
  CREATE TABLE IF NOT EXISTS svc_access (text TEXT PRIMARY KEY, status INTEGER NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_queue (
    ticket TEXT PRIMARY KEY, rid INTEGER NOT NULL, seq INTEGER NOT NULL, state TEXT NOT NULL,
    entered INTEGER NOT NULL, polled INTEGER NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_join_tickets (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL,
    account_id INTEGER NOT NULL, login_value INTEGER NOT NULL, character_id INTEGER NOT NULL,
    user_id TEXT NOT NULL, rid INTEGER NOT NULL, address INTEGER NOT NULL, port INTEGER NOT NULL,
    status INTEGER NOT NULL, ticket TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_products (
    pfid INTEGER NOT NULL, position INTEGER NOT NULL, entry_pfid INTEGER NOT NULL, features INTEGER NOT NULL,
    PRIMARY KEY (pfid, position));
  CREATE TABLE IF NOT EXISTS svc_host_registrations (
    id INTEGER PRIMARY KEY, request INTEGER NOT NULL, at INTEGER NOT NULL,
    account_id INTEGER NOT NULL, login_value INTEGER NOT NULL, pfid INTEGER NOT NULL,
    character_id INTEGER NOT NULL, status INTEGER NOT NULL, host_key TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_account_codes (position INTEGER PRIMARY KEY, name TEXT NOT NULL);
  CREATE TABLE IF NOT EXISTS svc_schema (version INTEGER NOT NULL);
  INSERT INTO svc_schema (version) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM svc_schema);
)sql";

}  // namespace

const char* const kFailableSlots[] = {
    "GetServerRecord", "QueryServerAccess", "QueryAccountRecord", "QueryProductRecord", "QueueEnter",
    "QueuePoll",       "QueueCancel",       "RegisterHost",       "EncodeText",         "DecodeText",
    nullptr,
};

void EnsureSchema(SqliteDb& db) {
  // The last table of the schema exists only once all of them do.
  if (db.scalarText("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'svc_schema'")) return;
  db.exec("BEGIN IMMEDIATE");
  try {
    db.exec(kSchema);
    db.exec("COMMIT");
  } catch (...) {
    db.exec("ROLLBACK");
    throw;
  }
}

int64_t ConfigNumberIn(SqliteDb& db, const std::string& name, int64_t fallback) {
  std::optional<std::string> text = ConfigIn(db, name);
  if (!text) return fallback;
  try {
    size_t used = 0;
    int64_t value = std::stoll(*text, &used);
    return used == text->size() ? value : fallback;
  } catch (const std::exception&) {
    return fallback;
  }
}

std::optional<std::string> ValueIn(SqliteDb& db, const std::string& name) {
  Statement statement = db.prepare("SELECT value FROM svc_values WHERE name = ?");
  statement.bind(1, name);
  if (!statement.step()) return std::nullopt;
  return statement.columnText(0);
}

void SetValueIn(SqliteDb& db, const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    db.prepare("INSERT INTO svc_values (name, value) VALUES (?, ?) ON CONFLICT(name) DO UPDATE SET value = excluded.value")
        .bind(1, name)
        .bind(2, *value)
        .run();
  } else {
    db.prepare("DELETE FROM svc_values WHERE name = ?").bind(1, name).run();
  }
}

int64_t NextCountIn(SqliteDb& db, const std::string& name) {
  int64_t count = 1;
  if (std::optional<std::string> current = ValueIn(db, name)) {
    try {
      count = std::stoll(*current) + 1;
    } catch (const std::exception&) {
    }
  }
  SetValueIn(db, name, std::to_string(count));
  return count;
}

int64_t RequestNumberIn(SqliteDb& db, RequestState& state) {
  if (!state.services) state.services.reset(new ServiceRequestState());
  if (state.services->request == 0) state.services->request = NextCountIn(db, "request");
  return state.services->request;
}

void Trace(RequestState& state, const std::string& line) { state.result.serviceCalls.push_back(line); }

bool SlotFailingIn(SqliteDb& db, const char* slot) {
  return ConfigNumberIn(db, std::string("fail.") + slot, 0) != 0;
}

bool RefusedBySwitch(RequestState& state, const char* slot) {
  bool failing = WithServices(state.host, [&](SqliteDb& db) { return SlotFailingIn(db, slot); });
  if (failing) Trace(state, std::string(slot) + " -> -1 (made to fail)");
  return failing;
}

void SetSlotFailing(Host& host, const std::string& slot, bool failing) {
  bool known = false;
  for (const char* const* name = kFailableSlots; *name != nullptr; ++name) known = known || slot == *name;
  if (!known) throw std::invalid_argument("no failure switch for the slot \"" + slot + "\"");
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "fail." + slot, failing ? std::optional<std::string>("1") : std::nullopt);
  });
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

uint64_t Hash64(const std::string& text, uint64_t basis) {
  uint64_t hash = basis;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::optional<std::string> PluginText(const char* text) {
  if (text == nullptr) return std::nullopt;
  size_t length = strnlen(text, kLongestText + 1);
  if (length > kLongestText) return std::nullopt;
  return std::string(text, length);
}

}  // namespace omserver::services
