// The host registry (RegisterHost): a visitor who hosts a game is registered and given a
// host key that the web site passes on; every registration is kept with its answer.
#include <cstdio>

#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {

void SetRegisterHostStatus(Host& host, std::optional<int32_t> status) {
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "register_host_status", status ? std::optional<std::string>(std::to_string(*status)) : std::nullopt);
  });
}

std::vector<HostRegistration> HostRegistrations(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<HostRegistration> registrations;
    Statement statement = db.prepare(
        "SELECT account_id, login_value, pfid, character_id, status, host_key FROM svc_host_registrations ORDER BY id");
    while (statement.step()) {
      auto column = [&](int i) { return static_cast<int32_t>(statement.columnInt(i)); };
      registrations.push_back({column(0), column(1), column(2), column(3), column(4), statement.columnText(5)});
    }
    return registrations;
  });
}

}  // namespace omserver::services

namespace omserver::slots {

using namespace omserver::services;

// The key is letters and digits only, so it goes into a query field as it stands.
int32_t RegisterHost(HostApi* api, HostRecord* record) {
  RequestState& state = StateOf(api);
  return Guarded(state, "RegisterHost", -1, [&]() -> int32_t {
    if (record == nullptr) {
      state.log("RegisterHost: null record");
      return -1;
    }
    if (RefusedBySwitch(state, "RegisterHost")) return -1;
    HostRegistration registration{record->accountId, record->loginValue, record->pfid, record->characterId, 0, ""};
    uint64_t draw = DrawRandom(state.host);
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      registration.status = static_cast<int32_t>(ConfigNumberIn(db, "register_host_status", 0));
      if (registration.status == 0) {
        char key[48];
        std::snprintf(key, sizeof key, "HK%06lld%016llX", static_cast<long long>(NextCountIn(db, "host_keys")),
                      static_cast<unsigned long long>(draw));
        registration.hostKey = key;
      }
      db.prepare("INSERT INTO svc_host_registrations (request, at, account_id, login_value, pfid, character_id, status, "
                 "host_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
          .bind(1, RequestNumberIn(db, state))
          .bind(2, now)
          .bind(3, int64_t{registration.accountId})
          .bind(4, int64_t{registration.loginValue})
          .bind(5, int64_t{registration.pfid})
          .bind(6, int64_t{registration.characterId})
          .bind(7, int64_t{registration.status})
          .bind(8, registration.hostKey)
          .run();
    });
    record->status = registration.status;
    PutField(record->hostKey, registration.hostKey);
    state.result.hostRegistrations.push_back(registration);
    Trace(state, "RegisterHost cid=" + std::to_string(registration.accountId) + " pfid=" + std::to_string(registration.pfid) +
                     " -> 0 (status " + std::to_string(registration.status) + ")");
    return 0;
  });
}

}  // namespace omserver::slots
