// The host's checks and numbers: the databases' offline switch (IsDbOffline), feature
// switches (GetFeatureSwitch), name screening (ScreenName), the host number
// (GetHostNumber) and the random source (RandomRange).
#include <random>

#include "db/faults.h"

#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {
namespace {

struct SwitchRow {
  SwitchState state;
  const char* name;
};
constexpr SwitchRow kSwitchRows[] = {
    {SwitchState::On, "on"},
    {SwitchState::Off, "off"},
    {SwitchState::Unreadable, "unreadable"},
};

// The seeded generator: its state lives in host.sqlite beside the seed it came from, so
// separate Host objects and separate processes on one data directory continue one sequence,
// and setting the seed again starts it afresh.
uint64_t SeededDraw(SqliteDb& db, const std::string& seed) {
  uint64_t state = Hash64(seed);
  if (std::optional<std::string> stored = ValueIn(db, "random_state")) {
    size_t bar = stored->find('|');
    if (bar != std::string::npos && stored->substr(bar + 1) == seed) {
      try {
        state = std::stoull(stored->substr(0, bar));
      } catch (const std::exception&) {
      }
    }
  }
  state += 0x9E3779B97F4A7C15ull;
  SetValueIn(db, "random_state", std::to_string(state) + "|" + seed);
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t UnseededDraw() {
  thread_local std::mt19937_64 generator{(static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}()};
  return generator();
}

}  // namespace

uint64_t DrawRandom(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::optional<std::string> seed = ConfigIn(db, "seed");
    return seed ? SeededDraw(db, *seed) : UnseededDraw();
  });
}

// One switch for the whole host: the databases' own offline fault, so IsDbOffline and
// DbOpen (-6) always agree.
void SetDbOffline(Host& host, bool offline) { SetDatabasesOffline(host, offline); }

bool DbOffline(Host& host) { return DatabasesOffline(host); }

const char* SwitchName(SwitchState state) {
  for (const SwitchRow& row : kSwitchRows) {
    if (row.state == state) return row.name;
  }
  return "on";
}

std::optional<SwitchState> ParseSwitch(const std::string& text) {
  for (const SwitchRow& row : kSwitchRows) {
    if (text == row.name) return row.state;
  }
  return std::nullopt;
}

void SetFeatureSwitch(Host& host, int32_t feature, std::optional<SwitchState> state) {
  WithServices(host, [&](SqliteDb& db) {
    if (state) {
      db.prepare("INSERT INTO svc_switches (feature, state) VALUES (?, ?) ON CONFLICT(feature) DO UPDATE SET state = excluded.state")
          .bind(1, int64_t{feature})
          .bind(2, SwitchName(*state))
          .run();
    } else {
      db.prepare("DELETE FROM svc_switches WHERE feature = ?").bind(1, int64_t{feature}).run();
    }
  });
}

std::map<int32_t, SwitchState> FeatureSwitches(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::map<int32_t, SwitchState> switches;
    Statement statement = db.prepare("SELECT feature, state FROM svc_switches ORDER BY feature");
    while (statement.step()) {
      switches[static_cast<int32_t>(statement.columnInt(0))] = ParseSwitch(statement.columnText(1)).value_or(SwitchState::On);
    }
    return switches;
  });
}

void AddScreenedName(Host& host, const std::string& name) {
  if (name.empty()) throw std::invalid_argument("an empty name cannot be refused");
  WithServices(host, [&](SqliteDb& db) {
    db.prepare("INSERT OR IGNORE INTO svc_screened_names (name) VALUES (?)").bind(1, name).run();
  });
}

void RemoveScreenedName(Host& host, const std::string& name) {
  WithServices(host, [&](SqliteDb& db) { db.prepare("DELETE FROM svc_screened_names WHERE name = ?").bind(1, name).run(); });
}

std::vector<std::string> ScreenedNames(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<std::string> names;
    Statement statement = db.prepare("SELECT name FROM svc_screened_names ORDER BY name");
    while (statement.step()) names.push_back(statement.columnText(0));
    return names;
  });
}

void SetSeed(Host& host, const std::optional<std::string>& seed) {
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "seed", seed);
    SetValueIn(db, "random_state", std::nullopt);
  });
}

void SetHostNumber(Host& host, std::optional<int32_t> number) {
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "host_number", number ? std::optional<std::string>(std::to_string(*number)) : std::nullopt);
  });
}

}  // namespace omserver::services

namespace omserver::slots {

using namespace omserver::services;

int32_t IsDbOffline(HostApi* api) {
  RequestState& state = StateOf(api);
  return Guarded(state, "IsDbOffline", 1, [&]() -> int32_t {
    int32_t offline = DbOffline(state.host) ? 1 : 0;
    Trace(state, "IsDbOffline -> " + std::to_string(offline));
    return offline;
  });
}

int32_t GetFeatureSwitch(HostApi* api, int32_t feature, int32_t* enabled) {
  RequestState& state = StateOf(api);
  return Guarded(state, "GetFeatureSwitch", -1, [&]() -> int32_t {
    if (enabled == nullptr) {
      state.log("GetFeatureSwitch: null result pointer");
      return -1;
    }
    SwitchState current = WithServices(state.host, [&](SqliteDb& db) {
      Statement statement = db.prepare("SELECT state FROM svc_switches WHERE feature = ?");
      statement.bind(1, int64_t{feature});
      return statement.step() ? ParseSwitch(statement.columnText(0)).value_or(SwitchState::On) : SwitchState::On;
    });
    std::string call = "GetFeatureSwitch " + std::to_string(feature);
    if (current == SwitchState::Unreadable) {
      Trace(state, call + " -> -1 (cannot be read)");
      return -1;
    }
    *enabled = current == SwitchState::On ? 1 : 0;
    Trace(state, call + " -> 0 (" + SwitchName(current) + ")");
    return 0;
  });
}

int32_t ScreenName(HostApi* api, const char* name) {
  RequestState& state = StateOf(api);
  return Guarded(state, "ScreenName", 1, [&]() -> int32_t {
    std::optional<std::string> text = PluginText(name);
    if (!text) {
      state.log("ScreenName: null (or unterminated) name, refused");
      return 1;
    }
    bool refused = WithServices(state.host, [&](SqliteDb& db) {
      Statement statement = db.prepare("SELECT 1 FROM svc_screened_names WHERE name = ?");
      statement.bind(1, *text);
      return statement.step();
    });
    Trace(state, "ScreenName \"" + *text + "\" -> " + (refused ? "1 (refused)" : "0"));
    return refused ? 1 : 0;
  });
}

int32_t GetHostNumber(HostApi* api) {
  RequestState& state = StateOf(api);
  return Guarded(state, "GetHostNumber", 1, [&]() -> int32_t {
    auto number = static_cast<int32_t>(
        WithServices(state.host, [](SqliteDb& db) { return ConfigNumberIn(db, "host_number", 1); }));
    Trace(state, "GetHostNumber -> " + std::to_string(number));
    return number;
  });
}

int32_t RandomRange(HostApi* api, int32_t low, int32_t high) {
  RequestState& state = StateOf(api);
  return Guarded(state, "RandomRange", low, [&]() -> int32_t {
    if (low > high) {
      state.log("RandomRange: low " + std::to_string(low) + " above high " + std::to_string(high) + "; taken the other way round");
      std::swap(low, high);
    }
    uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
    auto value = static_cast<int32_t>(low + static_cast<int64_t>(DrawRandom(state.host) % span));
    Trace(state, "RandomRange " + std::to_string(low) + ".." + std::to_string(high) + " -> " + std::to_string(value));
    return value;
  });
}

}  // namespace omserver::slots
