// The stored procedures. Each reads its parameters from the call, works on the connection's
// database inside the batch's transaction, writes its output parameters back and returns
// its return value.
#include "db/procedures.h"

#include <random>

#include "db/connection.h"
#include "db/dates.h"
#include "db/schema.h"
#include "host.h"

namespace omserver::db {
namespace {

constexpr VarType Int() { return {VarType::Int, 0}; }
constexpr VarType VarChar(int length) { return {VarType::VarChar, length}; }
constexpr VarType Char(int length) { return {VarType::Char, length}; }

bool OnAccount(int32_t database) { return database == kAccountDatabase; }
bool OnStatistics(int32_t database) { return IsStatisticsDatabase(database); }

std::string Text(const Value& value) { return ValueText(value); }
int64_t Number(const Value& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) return *number;
  return 0;
}

// A number in [low, high]; repeatable when the host is configured with a "seed".
int32_t Draw(Connection& connection, int32_t low, int32_t high, int64_t salt) {
  std::optional<std::string> seed = connection.host().config("seed");
  std::uniform_int_distribution<int32_t> range(low, high);
  if (seed) {
    std::mt19937_64 generator(std::stoull(*seed) ^ static_cast<uint64_t>(salt) * 0x9E3779B97F4A7C15ull);
    return range(generator);
  }
  std::random_device device;
  return range(device);
}

bool Exists(SqliteDb& db, const char* sql, const std::string& text) {
  Statement statement = db.prepare(sql);
  statement.bind(1, text);
  return statement.step();
}

// Makes a pending account: the login row with status 'P' and a non-zero activation code
// (mailed by the forgotten-activation-code page), and its PC id. Name and address stay
// taken by every row of login, live or not, pending or marked for deletion.
int32_t CreateLogin(ProcedureCall& call) {
  SqliteDb& db = call.connection.sqlite();
  const std::string handle = Text(call.values[0]), email = Text(call.values[4]);
  if (Exists(db, "SELECT 1 FROM login WHERE handle = ?", handle)) return kHandleTaken;
  if (Exists(db, "SELECT 1 FROM login WHERE email = ?", email)) return kEmailTaken;
  const std::string now = DateText(call.connection.host().now());
  db.prepare("INSERT INTO login (handle, password, fname, lname, email, pcid_series, status, state, activation, "
             "creationdate, lastaccess) VALUES (?, ?, ?, ?, ?, ?, 'P', 'A', 0, ?, ?)")
      .bind(1, handle).bind(2, Text(call.values[1])).bind(3, Text(call.values[2])).bind(4, Text(call.values[3]))
      .bind(5, email).bind(6, Text(call.values[5])).bind(7, now).bind(8, now)
      .run();
  const int64_t cid = db.lastInsertRowId();
  db.prepare("UPDATE login SET activation = ? WHERE cid = ?")
      .bind(1, int64_t{Draw(call.connection, 100000, 999999, cid)}).bind(2, cid).run();
  db.prepare("INSERT INTO pcid (cid, pcid_series, pcid_number) VALUES (?, ?, ?)")
      .bind(1, cid).bind(2, Text(call.values[5])).bind(3, cid).run();
  call.values[6] = cid;
  return 0;
}

// Records the revision of the terms an account accepted; -1 for an unknown account.
int32_t AcceptEula(ProcedureCall& call) {
  SqliteDb& db = call.connection.sqlite();
  Statement account = db.prepare("SELECT 1 FROM login WHERE cid = ?");
  account.bind(1, Number(call.values[0]));
  if (!account.step()) return -1;
  db.prepare("INSERT INTO eula_accepted (cid, revision, accepted) VALUES (?, ?, ?) "
             "ON CONFLICT(cid) DO UPDATE SET revision = excluded.revision, accepted = excluded.accepted")
      .bind(1, Number(call.values[0])).bind(2, Number(call.values[1]))
      .bind(3, DateText(call.connection.host().now()))
      .run();
  return 0;
}

// Records a hand-off to the web site: the sequence number is the row's identity, the check
// number a random positive number the web site compares.
int32_t AddHandOff(ProcedureCall& call) {
  SqliteDb& db = call.connection.sqlite();
  db.prepare("INSERT INTO gotoomcom (cid, chid, pfid, sanity, created) VALUES (?, ?, ?, 0, ?)")
      .bind(1, Number(call.values[0])).bind(2, Number(call.values[1])).bind(3, Number(call.values[2]))
      .bind(4, DateText(call.connection.host().now()))
      .run();
  const int64_t seq = db.lastInsertRowId();
  const int32_t sanity = Draw(call.connection, 1, INT32_MAX, seq);
  db.prepare("UPDATE gotoomcom SET sanity = ? WHERE seq = ?").bind(1, int64_t{sanity}).bind(2, seq).run();
  call.values[3] = seq;
  call.values[4] = int64_t{sanity};
  return 0;
}

// A statistics value of a player: -1 when the statistics know no value of this player for
// the product at all, -2 when they know the player but not the variable.
int32_t ServerCriteria(ProcedureCall& call) {
  SqliteDb& db = call.connection.sqlite();
  Statement value = db.prepare("SELECT value FROM stats_player_var WHERE pload = ? AND expansion = ? AND cid = ? "
                               "AND chid = ? AND varname = ?");
  value.bind(1, Text(call.values[0])).bind(2, Text(call.values[1])).bind(3, Number(call.values[2]))
      .bind(4, Number(call.values[3])).bind(5, Text(call.values[4]));
  if (value.step()) {
    call.values[5] = value.columnInt(0);
    return 0;
  }
  Statement player = db.prepare("SELECT 1 FROM stats_player_var WHERE pload = ? AND expansion = ? AND cid = ? AND chid = ?");
  player.bind(1, Text(call.values[0])).bind(2, Text(call.values[1])).bind(3, Number(call.values[2]))
      .bind(4, Number(call.values[3]));
  return player.step() ? -2 : -1;
}

// The best rank an account reached in a product (and expansion); -1 when it has none.
int32_t HighWaterMark2(ProcedureCall& call) {
  Statement rank = call.connection.sqlite().prepare(
      "SELECT rank_id FROM stats_rank_watermark WHERE pload = ? AND expansion = ? AND cid = ?");
  rank.bind(1, Text(call.values[0])).bind(2, Text(call.values[1])).bind(3, Number(call.values[2]));
  if (!rank.step()) return -1;
  call.values[3] = rank.columnInt(0);
  return 0;
}

// The best rank an account reached in a title (product family); -1 when it has none.
int32_t HighWaterMark(ProcedureCall& call) {
  Statement rank = call.connection.sqlite().prepare("SELECT rank_id FROM stats_title_watermark WHERE title_id = ? AND cid = ?");
  rank.bind(1, Number(call.values[0])).bind(2, Number(call.values[1]));
  if (!rank.step()) return -1;
  call.values[2] = rank.columnInt(0);
  return 0;
}

const Procedure kProcedures[] = {
    {"omdll_createlogin", OnAccount,
     {{"@handle", VarChar(16), false}, {"@password", VarChar(16), false}, {"@fname", VarChar(16), false},
      {"@lname", VarChar(32), false}, {"@email", VarChar(64), false}, {"@pcid_series", Char(1), false},
      {"@cid", Int(), true}},
     CreateLogin},
    {"sp_EULA_Set_Accepted_By_CID", OnAccount, {{"@cid", Int(), false}, {"@revision", Int(), false}}, AcceptEula},
    {"sp_gotoomcom_AddEntry", OnAccount,
     {{"@cid", Int(), false}, {"@chid", Int(), false}, {"@pfid", Int(), false}, {"@seq", Int(), true},
      {"@sanity", Int(), true}},
     AddHandOff},
    {"sp_STATS_PLAYER_GET_Server_Criteria_Base", OnStatistics,
     {{"@pload", VarChar(32), false}, {"@expansion", VarChar(32), false}, {"@cid", Int(), false},
      {"@chid", Int(), false}, {"@varname", VarChar(32), false}, {"@varvalue", Int(), true}},
     ServerCriteria},
    {"sp_STATS_PLAYER_Get_High_Water_Mark2", OnStatistics,
     {{"@PLoad", VarChar(32), false}, {"@Expansion", VarChar(32), false}, {"@CID", Int(), false},
      {"@Rank_ID", Int(), true}},
     HighWaterMark2},
    {"sp_STATS_PLAYER_Get_High_Water_Mark", OnStatistics,
     {{"@Title_ID", Int(), false}, {"@CID", Int(), false}, {"@Rank_ID", Int(), true}},
     HighWaterMark},
};

bool SameNoCase(const std::string& a, const char* b) {
  std::string_view other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(other[i]))) return false;
  }
  return true;
}

}  // namespace

const Procedure* FindProcedure(const std::string& name, int32_t database) {
  for (const Procedure& procedure : kProcedures) {
    if (SameNoCase(name, procedure.name) && procedure.servedBy(database)) return &procedure;
  }
  return nullptr;
}

}  // namespace omserver::db
