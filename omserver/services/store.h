// What every service file shares: its tables in host.sqlite, the configuration values it
// reads under the state lock, the per-request bookkeeping and the checks of plug-in input.
#ifndef OM_OMSERVER_SERVICES_STORE_H
#define OM_OMSERVER_SERVICES_STORE_H

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "context.h"
#include "host.h"
#include "sqlite_db.h"

namespace omserver {

// Per-request state of the services: the number under which the request's outputs are kept.
struct ServiceRequestState {
  int64_t request = 0;  // 0 until the request first keeps something
};

namespace services {

// Creates the services' tables when the data directory does not have them yet.
void EnsureSchema(SqliteDb& db);

// Runs work on host.sqlite under the host's lock, with the services' tables present.
template <typename F>
auto WithServices(Host& host, F&& work) -> decltype(work(std::declval<SqliteDb&>())) {
  return host.withState([&](SqliteDb& db) {
    EnsureSchema(db);
    return work(db);
  });
}

// Configuration values of the host: ConfigIn and SetConfigIn (host.h), and
// a configured integer; the fallback when it is absent or not a number.
int64_t ConfigNumberIn(SqliteDb& db, const std::string& name, int64_t fallback);

// The services' own values (generator state, counters), table svc_values.
std::optional<std::string> ValueIn(SqliteDb& db, const std::string& name);
void SetValueIn(SqliteDb& db, const std::string& name, const std::optional<std::string>& value);
// Adds one to a counter of svc_values and returns the new count.
int64_t NextCountIn(SqliteDb& db, const std::string& name);

// The request's number for the rows it keeps, taken on first use.
int64_t RequestNumberIn(SqliteDb& db, RequestState& state);

// Notes one service call and its answer in the request's outcome.
void Trace(RequestState& state, const std::string& line);

// True when a test has made this slot answer as a failing host (config "fail.SLOT").
bool SlotFailingIn(SqliteDb& db, const char* slot);
// Checks the failure switch of a slot; when set, traces the refusal and returns true.
bool RefusedBySwitch(RequestState& state, const char* slot);

// Reads a text field of a plug-in record: at most size bytes, up to its terminating zero.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}
// Writes text into a record's text field, cut to N - 1 and terminated.
template <size_t N>
void PutField(char (&field)[N], const std::string& text) {
  size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// Equal texts when ASCII letter case is ignored, as the plug-ins compare names.
bool EqualNoCase(const std::string& a, const std::string& b);

// A 64-bit FNV-1a hash, the services' one way to turn texts into numbers.
uint64_t Hash64(const std::string& text, uint64_t basis = 0xcbf29ce484222325ull);

// One draw of the host's random source: seeded (config "seed") or unpredictable. Takes the
// state lock itself.
uint64_t DrawRandom(Host& host);

// The longest text the services read from a plug-in pointer without a size.
constexpr size_t kLongestText = 65536;
// Reads a plug-in's NUL-terminated text; nothing when it is longer than kLongestText.
std::optional<std::string> PluginText(const char* text);

}  // namespace services
}  // namespace omserver

#endif
