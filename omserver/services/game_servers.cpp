// The game-server registry (GetServerRecord), access checks (QueryServerAccess), join
// tickets (QueryAccountRecord), product records (QueryProductRecord) and the account codes
// handed over by OMJoin (SetAccountCodes).
#include "game_servers.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {
namespace {

// The integer fields of a ServerRecord the host fills, by the names of the configuration.
// "places" is the waiting line's count of free places and not part of the record.
struct ServerFieldRow {
  const char* name;
  int32_t ServerRecord::*member;
};
constexpr ServerFieldRow kServerFields[] = {
    {"own", &ServerRecord::ownServer},
    {"affiliate", &ServerRecord::affiliateServer},
    {"stats", &ServerRecord::statsRequired},
    {"queued", &ServerRecord::queued},
    {"pfid-override", &ServerRecord::pfidOverride},
    {"pfid2-override", &ServerRecord::pfid2Override},
    {"login", &ServerRecord::loginRequired},
    {"access-codes", &ServerRecord::accessCodesRequired},
    {"ticket", &ServerRecord::ticketRequired},
    {"page-id", &ServerRecord::pageIdRequired},
    {"address", &ServerRecord::serverAddress},
    {"port", &ServerRecord::serverPort},
    {"app-id", &ServerRecord::appId},
    {"baffle-address", &ServerRecord::baffleAddress},
    {"baffle-port", &ServerRecord::bafflePort},
    {"baffle-key", &ServerRecord::baffleKey},
    {"scramble-key", &ServerRecord::scrambleKey},
    {"lan-only", &ServerRecord::lanOnly},
    {"places", nullptr},
};

// The longest texts the record's fields hold.
constexpr size_t kGsidLongest = sizeof(ServerRecord::gsid) - 1;
constexpr size_t kNameLongest = sizeof(ServerRecord::serverName) - 1;
constexpr size_t kAccessLongest = sizeof(ServerRecord::accessText) - 1;
constexpr size_t kVarNameLongest = sizeof(NameValueEntry::name) - 1;

bool KnownField(const std::string& name) {
  for (const ServerFieldRow& row : kServerFields) {
    if (name == row.name) return true;
  }
  return false;
}

void CheckText(const std::string& what, const std::string& text, size_t longest) {
  if (text.size() > longest) {
    throw std::invalid_argument(what + " \"" + text + "\" is longer than the " + std::to_string(longest) +
                                " characters the server record holds");
  }
}

int32_t ParseInt(const std::string& what, const std::string& text) {
  try {
    size_t used = 0;
    long long value = std::stoll(text, &used, 0);
    if (used == text.size() && value >= INT32_MIN && value <= UINT32_MAX) return static_cast<int32_t>(value);
  } catch (const std::exception&) {
  }
  throw std::invalid_argument(what + " needs a 32-bit number, not \"" + text + "\"");
}

bool ServerExistsIn(SqliteDb& db, int32_t rid) {
  Statement statement = db.prepare("SELECT 1 FROM svc_servers WHERE rid = ?");
  statement.bind(1, int64_t{rid});
  return statement.step();
}

void CheckGsidFree(SqliteDb& db, int32_t rid, const std::string& gsid) {
  if (gsid.empty()) return;
  Statement statement = db.prepare("SELECT rid FROM svc_servers WHERE gsid = ? AND rid <> ?");
  statement.bind(1, gsid).bind(2, int64_t{rid});
  if (statement.step()) {
    throw std::invalid_argument("the gsid \"" + gsid + "\" belongs to server " + std::to_string(statement.columnInt(0)));
  }
}

void PutVarIn(SqliteDb& db, int32_t rid, const std::string& name, const std::string& value) {
  CheckText("the variable name", name, kVarNameLongest);
  if (name.empty()) throw std::invalid_argument("a server variable needs a name");
  db.prepare("INSERT INTO svc_server_vars (rid, position, name, value) "
             "VALUES (?1, (SELECT COALESCE(MAX(position), 0) + 1 FROM svc_server_vars WHERE rid = ?1), ?2, ?3) "
             "ON CONFLICT(rid, name) DO UPDATE SET value = excluded.value")
      .bind(1, int64_t{rid})
      .bind(2, name)
      .bind(3, value)
      .run();
}

std::optional<ServerConfig> LoadServerIn(SqliteDb& db, int32_t rid) {
  Statement head = db.prepare("SELECT gsid, name, access_text FROM svc_servers WHERE rid = ?");
  head.bind(1, int64_t{rid});
  if (!head.step()) return std::nullopt;
  ServerConfig server;
  server.rid = rid;
  server.gsid = head.columnText(0);
  server.name = head.columnText(1);
  server.accessText = head.columnText(2);
  Statement fields = db.prepare("SELECT field, value FROM svc_server_fields WHERE rid = ?");
  fields.bind(1, int64_t{rid});
  while (fields.step()) server.fields[fields.columnText(0)] = static_cast<int32_t>(fields.columnInt(1));
  Statement vars = db.prepare("SELECT name, value FROM svc_server_vars WHERE rid = ? ORDER BY position");
  vars.bind(1, int64_t{rid});
  while (vars.step()) server.vars.emplace_back(vars.columnText(0), vars.columnText(1));
  return server;
}

// A server by its record id, or, when the id is 0 or unknown, by its gsid.
std::optional<ServerConfig> FindServerIn(SqliteDb& db, int32_t rid, const std::string& gsid) {
  if (rid != 0) {
    if (std::optional<ServerConfig> server = LoadServerIn(db, rid)) return server;
  }
  if (gsid.empty()) return std::nullopt;
  Statement statement = db.prepare("SELECT rid FROM svc_servers WHERE gsid = ?");
  statement.bind(1, gsid);
  if (!statement.step()) return std::nullopt;
  return LoadServerIn(db, static_cast<int32_t>(statement.columnInt(0)));
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::vector<std::string> ServerFieldNames() {
  std::vector<std::string> names;
  for (const ServerFieldRow& row : kServerFields) names.emplace_back(row.name);
  return names;
}

std::optional<int32_t> ServerFieldIn(SqliteDb& db, int32_t rid, const std::string& field) {
  if (!ServerExistsIn(db, rid)) return std::nullopt;
  Statement statement = db.prepare("SELECT value FROM svc_server_fields WHERE rid = ? AND field = ?");
  statement.bind(1, int64_t{rid}).bind(2, field);
  return statement.step() ? static_cast<int32_t>(statement.columnInt(0)) : 0;
}

void SetServerFieldIn(SqliteDb& db, int32_t rid, const std::string& field, int32_t value) {
  db.prepare("INSERT INTO svc_server_fields (rid, field, value) VALUES (?, ?, ?) "
             "ON CONFLICT(rid, field) DO UPDATE SET value = excluded.value")
      .bind(1, int64_t{rid})
      .bind(2, field)
      .bind(3, int64_t{value})
      .run();
}

void AddServer(Host& host, const ServerConfig& server) {
  if (server.rid == 0) throw std::invalid_argument("a server needs a rid other than 0");
  CheckText("the gsid", server.gsid, kGsidLongest);
  CheckText("the server name", server.name, kNameLongest);
  CheckText("the access text", server.accessText, kAccessLongest);
  for (const auto& [field, value] : server.fields) {
    if (!KnownField(field)) throw std::invalid_argument("no server field \"" + field + "\"");
  }
  WithServices(host, [&](SqliteDb& db) {
    Transaction transaction(db);
    CheckGsidFree(db, server.rid, server.gsid);
    for (const char* table : {"svc_servers", "svc_server_fields", "svc_server_vars"}) {
      db.prepare(std::string("DELETE FROM ") + table + " WHERE rid = ?").bind(1, int64_t{server.rid}).run();
    }
    db.prepare("INSERT INTO svc_servers (rid, gsid, name, access_text) VALUES (?, ?, ?, ?)")
        .bind(1, int64_t{server.rid})
        .bind(2, server.gsid)
        .bind(3, server.name)
        .bind(4, server.accessText)
        .run();
    for (const auto& [field, value] : server.fields) SetServerFieldIn(db, server.rid, field, value);
    for (const auto& [name, value] : server.vars) PutVarIn(db, server.rid, name, value);
    transaction.commit();
  });
}

void SetServerField(Host& host, int32_t rid, const std::string& field, const std::string& value) {
  static const std::pair<const char*, const char*> kTextFields[] = {{"gsid", "gsid"}, {"name", "name"}, {"access", "access_text"}};
  const char* column = nullptr;
  for (const auto& [name, textColumn] : kTextFields) {
    if (field == name) column = textColumn;
  }
  if (column == nullptr && !KnownField(field)) throw std::invalid_argument("no server field \"" + field + "\"");
  if (field == "gsid") CheckText("the gsid", value, kGsidLongest);
  if (field == "name") CheckText("the server name", value, kNameLongest);
  if (field == "access") CheckText("the access text", value, kAccessLongest);
  int32_t number = column == nullptr ? ParseInt("--" + field, value) : 0;
  WithServices(host, [&](SqliteDb& db) {
    if (!ServerExistsIn(db, rid)) throw std::invalid_argument("no server with rid " + std::to_string(rid));
    if (column == nullptr) {
      SetServerFieldIn(db, rid, field, number);
      return;
    }
    if (field == "gsid") CheckGsidFree(db, rid, value);
    db.prepare(std::string("UPDATE svc_servers SET ") + column + " = ? WHERE rid = ?").bind(1, value).bind(2, int64_t{rid}).run();
  });
}

void SetServerVar(Host& host, int32_t rid, const std::string& name, const std::optional<std::string>& value) {
  WithServices(host, [&](SqliteDb& db) {
    if (!ServerExistsIn(db, rid)) throw std::invalid_argument("no server with rid " + std::to_string(rid));
    if (value) {
      PutVarIn(db, rid, name, *value);
    } else {
      db.prepare("DELETE FROM svc_server_vars WHERE rid = ? AND name = ?").bind(1, int64_t{rid}).bind(2, name).run();
    }
  });
}

bool RemoveServer(Host& host, int32_t rid) {
  return WithServices(host, [&](SqliteDb& db) {
    bool known = ServerExistsIn(db, rid);
    for (const char* table : {"svc_servers", "svc_server_fields", "svc_server_vars"}) {
      db.prepare(std::string("DELETE FROM ") + table + " WHERE rid = ?").bind(1, int64_t{rid}).run();
    }
    return known;
  });
}

std::vector<ServerConfig> Servers(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<int32_t> rids;
    Statement statement = db.prepare("SELECT rid FROM svc_servers ORDER BY rid");
    while (statement.step()) rids.push_back(static_cast<int32_t>(statement.columnInt(0)));
    std::vector<ServerConfig> servers;
    for (int32_t rid : rids) servers.push_back(*LoadServerIn(db, rid));
    return servers;
  });
}

void SetAccessStatus(Host& host, const std::string& text, std::optional<int32_t> status) {
  WithServices(host, [&](SqliteDb& db) {
    if (status) {
      db.prepare("INSERT INTO svc_access (text, status) VALUES (?, ?) ON CONFLICT(text) DO UPDATE SET status = excluded.status")
          .bind(1, text)
          .bind(2, int64_t{*status})
          .run();
    } else {
      db.prepare("DELETE FROM svc_access WHERE text = ?").bind(1, text).run();
    }
  });
}

std::map<std::string, int32_t> AccessStatuses(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::map<std::string, int32_t> statuses;
    Statement statement = db.prepare("SELECT text, status FROM svc_access");
    while (statement.step()) statuses[statement.columnText(0)] = static_cast<int32_t>(statement.columnInt(1));
    return statuses;
  });
}

void SetJoinTicketAnswer(Host& host, std::optional<int32_t> status, std::optional<std::string> ticket) {
  if (ticket) CheckText("the join ticket", *ticket, sizeof(JoinTicketRequest::ticket) - 1);
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "join_ticket_status", status ? std::optional<std::string>(std::to_string(*status)) : std::nullopt);
    SetConfigIn(db, "join_ticket_text", ticket);
  });
}

std::vector<JoinTicketOutcome> JoinTicketRequests(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<JoinTicketOutcome> requests;
    Statement statement = db.prepare(
        "SELECT account_id, login_value, character_id, user_id, rid, address, port, status, ticket "
        "FROM svc_join_tickets ORDER BY id");
    while (statement.step()) {
      auto column = [&](int i) { return static_cast<int32_t>(statement.columnInt(i)); };
      requests.push_back({column(0), column(1), column(2), statement.columnText(3), column(4), column(5), column(6),
                          column(7), statement.columnText(8)});
    }
    return requests;
  });
}

void SetProduct(Host& host, int32_t pfid, const std::vector<ProductFeature>& entries) {
  WithServices(host, [&](SqliteDb& db) {
    Transaction transaction(db);
    db.prepare("DELETE FROM svc_products WHERE pfid = ?").bind(1, int64_t{pfid}).run();
    int64_t position = 0;
    for (const ProductFeature& entry : entries) {
      db.prepare("INSERT INTO svc_products (pfid, position, entry_pfid, features) VALUES (?, ?, ?, ?)")
          .bind(1, int64_t{pfid})
          .bind(2, position++)
          .bind(3, int64_t{entry.pfid})
          .bind(4, int64_t{entry.features})
          .run();
    }
    transaction.commit();
  });
}

std::map<int32_t, std::vector<ProductFeature>> Products(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::map<int32_t, std::vector<ProductFeature>> products;
    Statement statement = db.prepare("SELECT pfid, entry_pfid, features FROM svc_products ORDER BY pfid, position");
    while (statement.step()) {
      products[static_cast<int32_t>(statement.columnInt(0))].push_back(
          {static_cast<int32_t>(statement.columnInt(1)), static_cast<int32_t>(statement.columnInt(2))});
    }
    return products;
  });
}

std::optional<std::vector<std::string>> LastAccountCodes(Host& host) {
  return WithServices(host, [](SqliteDb& db) -> std::optional<std::vector<std::string>> {
    if (!ValueIn(db, "account_codes_set")) return std::nullopt;
    std::vector<std::string> codes;
    Statement statement = db.prepare("SELECT name FROM svc_account_codes ORDER BY position");
    while (statement.step()) codes.push_back(statement.columnText(0));
    return codes;
  });
}

}  // namespace omserver::services

namespace omserver::slots {

using namespace omserver::services;

int32_t GetServerRecord(HostApi* api, ServerRecord* record) {
  RequestState& state = StateOf(api);
  return Guarded(state, "GetServerRecord", -1, [&]() -> int32_t {
    if (record == nullptr) {
      state.log("GetServerRecord: null record");
      return -1;
    }
    if (RefusedBySwitch(state, "GetServerRecord")) return -1;
    const int32_t askedRid = record->rid;
    const std::string askedGsid = FieldText(record->gsid);
    int32_t count = record->count;
    if (count < 0 || count > ServerValueCapacity) {
      state.log("GetServerRecord: a value count of " + std::to_string(count) + " outside 0.." +
                std::to_string(ServerValueCapacity));
      count = count < 0 ? 0 : ServerValueCapacity;
      record->count = count;
    }
    std::optional<ServerConfig> server =
        WithServices(state.host, [&](SqliteDb& db) { return FindServerIn(db, askedRid, askedGsid); });
    std::string call = "GetServerRecord rid=" + std::to_string(askedRid) + " gsid=" + Quoted(askedGsid);
    if (!server) {
      record->found = 0;
      Trace(state, call + " -> 0 (not found)");
      return 0;
    }
    record->found = 1;
    record->rid = server->rid;
    PutField(record->gsid, server->gsid);
    PutField(record->serverName, server->name);
    PutField(record->accessText, server->accessText);
    for (const ServerFieldRow& row : kServerFields) {
      if (row.member == nullptr) continue;
      auto field = server->fields.find(row.name);
      record->*row.member = field == server->fields.end() ? 0 : field->second;
    }
    int filled = 0;
    for (int32_t i = 0; i < count; ++i) {
      NameValueEntry& entry = record->values[i];
      std::string name = FieldText(entry.name);
      if (name.empty()) continue;
      for (const auto& [varName, value] : server->vars) {
        if (EqualNoCase(varName, name)) {
          PutField(entry.value, value);
          ++filled;
          break;
        }
      }
    }
    Trace(state, call + " -> 0 (server " + std::to_string(server->rid) + ", " + std::to_string(filled) + " of " +
                     std::to_string(count) + " values filled)");
    return 0;
  });
}

int32_t QueryServerAccess(HostApi* api, const char* text, int32_t* status, int32_t* other) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueryServerAccess", -1, [&]() -> int32_t {
    std::optional<std::string> accessText = PluginText(text);
    if (!accessText || status == nullptr) {
      state.log("QueryServerAccess: null (or unterminated) text, or a null status pointer");
      return -1;
    }
    if (RefusedBySwitch(state, "QueryServerAccess")) return -1;
    int32_t answer = WithServices(state.host, [&](SqliteDb& db) {
      Statement statement = db.prepare("SELECT status FROM svc_access WHERE text = ?");
      statement.bind(1, *accessText);
      return statement.step() ? static_cast<int32_t>(statement.columnInt(0)) : 0;
    });
    *status = answer;
    if (other != nullptr) *other = 0;
    Trace(state, "QueryServerAccess " + Quoted(*accessText) + " -> 0 (status " + std::to_string(answer) + ")");
    return 0;
  });
}

int32_t QueryAccountRecord(HostApi* api, JoinTicketRequest* record) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueryAccountRecord", -1, [&]() -> int32_t {
    if (record == nullptr) {
      state.log("QueryAccountRecord: null record");
      return -1;
    }
    if (RefusedBySwitch(state, "QueryAccountRecord")) return -1;
    JoinTicketOutcome outcome{record->accountId, record->loginValue, record->characterId, FieldText(record->userId),
                              record->rid,       record->serverAddress, record->serverPort, 0, ""};
    uint64_t draw = DrawRandom(state.host);
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      outcome.status = static_cast<int32_t>(ConfigNumberIn(db, "join_ticket_status", 0));
      if (outcome.status == 0) {
        std::optional<std::string> fixed = ConfigIn(db, "join_ticket_text");
        char generated[40];
        std::snprintf(generated, sizeof generated, "JT%06lld%08llX", static_cast<long long>(NextCountIn(db, "join_tickets")),
                      static_cast<unsigned long long>(draw & 0xFFFFFFFFull));
        outcome.ticket = fixed ? *fixed : generated;
      }
      db.prepare("INSERT INTO svc_join_tickets (request, at, account_id, login_value, character_id, user_id, rid, "
                 "address, port, status, ticket) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
          .bind(1, RequestNumberIn(db, state))
          .bind(2, now)
          .bind(3, int64_t{outcome.accountId})
          .bind(4, int64_t{outcome.loginValue})
          .bind(5, int64_t{outcome.characterId})
          .bind(6, outcome.userId)
          .bind(7, int64_t{outcome.rid})
          .bind(8, int64_t{outcome.serverAddress})
          .bind(9, int64_t{outcome.serverPort})
          .bind(10, int64_t{outcome.status})
          .bind(11, outcome.ticket)
          .run();
    });
    record->status = outcome.status;
    PutField(record->ticket, outcome.ticket);
    state.result.joinTickets.push_back(outcome);
    Trace(state, "QueryAccountRecord cid=" + std::to_string(outcome.accountId) + " rid=" + std::to_string(outcome.rid) +
                     " -> 0 (status " + std::to_string(outcome.status) + ", ticket " + Quoted(outcome.ticket) + ")");
    return 0;
  });
}

int32_t QueryProductRecord(HostApi* api, ProductRecord* record) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueryProductRecord", -1, [&]() -> int32_t {
    if (record == nullptr) {
      state.log("QueryProductRecord: null record");
      return -1;
    }
    if (RefusedBySwitch(state, "QueryProductRecord")) return -1;
    const int32_t pfid = record->pfid;
    std::vector<ProductFeature> entries = WithServices(state.host, [&](SqliteDb& db) {
      std::vector<ProductFeature> found;
      Statement statement = db.prepare("SELECT entry_pfid, features FROM svc_products WHERE pfid = ? ORDER BY position");
      statement.bind(1, int64_t{pfid});
      while (statement.step() && found.size() < ProductEntryCapacity) {
        found.push_back({static_cast<int32_t>(statement.columnInt(0)), static_cast<int32_t>(statement.columnInt(1))});
      }
      return found;
    });
    record->count = static_cast<int32_t>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      record->entries[i].pfid = entries[i].pfid;
      record->entries[i].features = entries[i].features;
    }
    Trace(state, "QueryProductRecord pfid=" + std::to_string(pfid) + " -> 0 (" + std::to_string(entries.size()) + " entries)");
    return 0;
  });
}

int32_t SetAccountCodes(HostApi* api, CodeList* codes) {
  RequestState& state = StateOf(api);
  return Guarded(state, "SetAccountCodes", -1, [&]() -> int32_t {
    if (codes == nullptr) {
      state.log("SetAccountCodes: null list");
      return -1;
    }
    int32_t count = codes->count;
    if (count < 0 || count > CodeListCapacity) {
      state.log("SetAccountCodes: a count of " + std::to_string(count) + " outside 0.." + std::to_string(CodeListCapacity));
      count = count < 0 ? 0 : CodeListCapacity;
    }
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) names.push_back(FieldText(codes->names[i]));
    WithServices(state.host, [&](SqliteDb& db) {
      Transaction transaction(db);
      db.exec("DELETE FROM svc_account_codes");
      int64_t position = 0;
      for (const std::string& name : names) {
        db.prepare("INSERT INTO svc_account_codes (position, name) VALUES (?, ?)").bind(1, position++).bind(2, name).run();
      }
      SetValueIn(db, "account_codes_set", "1");
      transaction.commit();
    });
    state.result.accountCodes = names;
    Trace(state, "SetAccountCodes " + std::to_string(names.size()) + " codes -> 0");
    return 0;
  });
}

}  // namespace omserver::slots
