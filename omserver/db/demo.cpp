// A small demo service, to try the site against: one account in each state, players with
// a default and a primary player, a restricted account, a squad, access codes, a waiting
// continuation token and statistics of the first product family's database.
#include <stdexcept>

#include "db/dates.h"
#include "db/schema.h"
#include "host.h"

namespace omserver::db {
namespace {

// Dates are filled in as ?1 (now). Passwords are demo texts, nothing else.
const char kDemoAccounts[] = R"sql(
INSERT INTO login (cid, handle, password, email, fname, lname, status, state, activation, creationdate, lastaccess) VALUES
  (1, 'alice',  'wonder1', 'alice@example.com',  'Alice',  'Archer', 'A', 'A', 0,      ?1, ?1),
  (2, 'bruno',  'pending1', 'bruno@example.com', 'Bruno',  'Baker',  'P', 'A', 424242, ?1, ?1),
  (3, 'carla',  'locked1', 'carla@example.com',  'Carla',  'Cole',   'S', 'A', 0,      ?1, ?1),
  (4, 'dmitri', 'gone1',   'dmitri@example.com', 'Dmitri', 'Dane',   'D', 'A', 0,      ?1, ?1),
  (5, 'erin',   'quiet1',  'erin@example.com',   'Erin',   'Ellis',  'A', 'A', 0,      ?1, ?1);
INSERT INTO pcid (cid, pcid_series, pcid_number) VALUES (1, 'A', 1), (2, 'A', 2), (3, 'A', 3), (4, 'A', 4), (5, 'A', 5);
INSERT INTO loginvalue (cid, value, created) VALUES (1, 1001, ?1), (5, 5005, ?1);
INSERT INTO customer (parentcid, fname, minitial, lname, address1, city, country, postalcode, creationdate, lastmodified) VALUES
  (1, 'Alice', 'M', 'Archer', '1 Harbour Road', 'Portsea', 'UK', 'PO1 1AA', ?1, ?1);
INSERT INTO character (chid, cid, name, isdefault, state, created, lastused) VALUES
  (1, 1, 'Fox', 'y', 'A', ?1, ?1),
  (2, 1, 'Wren', 'n', 'A', ?1, ?1),
  (3, 5, 'Ember', 'y', 'A', ?1, ?1);
INSERT INTO oldcharacters (cid, chid, oldname, newname, changedate) VALUES
  (1, 1, '', 'Fox', ?1), (1, 2, '', 'Wren', ?1), (5, 3, '', 'Ember', ?1);
INSERT INTO primarycharacter (cid, chid) VALUES (1, 1);
INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) VALUES (5, 0, 16, 'A');
INSERT INTO omsquad (squid, name, abbrev, deco) VALUES (1, 'Night Owls', 'NO', 1);
INSERT INTO omsquadmember (squid, chid) VALUES (1, 1);
INSERT INTO accesscode (AccessCodeID, accesscode) VALUES (1, 'alpha'), (2, 'beta');
INSERT INTO AccessCodeAssignment (cid, AccessCodeID) VALUES (1, 1), (1, 2);
INSERT INTO continueloginvalue (cid, value, dateset) VALUES (1, 7007, ?1);
)sql";

const char kDemoStatistics[] = R"sql(
INSERT INTO stats_player_var (pload, expansion, cid, chid, varname, value) VALUES
  ('GX', 'X1', 1, 1, 'KILLS', 120), ('GX', 'X1', 1, 1, 'DEATHS', 30), ('GX', 'X1', 1, 1, 'RANK', 7),
  ('GX', '', 1, 1, 'KILLS', 80);
INSERT INTO stats_rank_watermark (pload, expansion, cid, rank_id) VALUES ('GX', 'X1', 1, 7), ('GX', '', 1, 9);
INSERT INTO stats_title_watermark (title_id, cid, rank_id) VALUES (27, 1, 5);
)sql";

// Runs a script whose statements may use ?1 for the current date.
void RunScript(SqliteDb& db, const char* script, const std::string& now) {
  const char* rest = script;
  while (*rest != '\0') {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db.raw(), rest, -1, &statement, &tail) != SQLITE_OK) {
      throw SqliteError(std::string("demo: ") + sqlite3_errmsg(db.raw()));
    }
    rest = tail;
    if (statement == nullptr) continue;  // only blanks were left
    if (sqlite3_bind_parameter_count(statement) > 0) {
      sqlite3_bind_text(statement, 1, now.c_str(), -1, SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) throw SqliteError(std::string("demo: ") + sqlite3_errmsg(db.raw()));
  }
}

}  // namespace

std::string FillDemo(Host& host) {
  CreateDatabases(host);
  const std::string now = DateText(host.now());
  SqliteDb accounts = OpenDatabase(host, kAccountDatabase);
  if (accounts.scalarText("SELECT count(*) FROM login").value_or("0") != "0") {
    throw std::runtime_error("the account database in " + host.dataDir().string() + " already holds accounts");
  }
  accounts.exec("BEGIN IMMEDIATE");
  RunScript(accounts, kDemoAccounts, now);
  accounts.exec("COMMIT");
  SqliteDb statistics = OpenDatabase(host, 6);
  statistics.exec("BEGIN IMMEDIATE");
  RunScript(statistics, kDemoStatistics, now);
  statistics.exec("COMMIT");
  return "demo accounts: alice/wonder1 active (cookies OMI=1 OMV=1001 OMD=1 CHAR=Fox), bruno pending "
         "(bruno@example.com, code 424242), carla suspended, dmitri marked for deletion, erin restricted; "
         "statistics of alice in db6 (GX:X1 KILLS 120, RANK 7)";
}

}  // namespace omserver::db
