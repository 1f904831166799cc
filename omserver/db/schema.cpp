// The schema of the stand-in's databases, in one place. Every text column compares and
// orders without regard to letter case (NOCASE), as under the service's collation; every
// column has a default, so a row can be inserted naming only the columns the plug-ins use.
// Identities are INTEGER PRIMARY KEY AUTOINCREMENT columns: @@identity reads them.
// Dates are texts "YYYY-MM-DD HH:MM:SS" in UTC, written by GETDATE() from the host's clock;
// the column defaults use SQLite's own clock, so a test with a fixed clock gives its dates.
#include "db/schema.h"

#include <stdexcept>

#include "host.h"

namespace omserver::db {
namespace {

const char kAccountSchema[] = R"sql(
-- One row per account; status 'A' active, 'P' pending activation, 'S' suspended,
-- 'D' marked for deletion; state 'A' marks a live row.
CREATE TABLE IF NOT EXISTS login (
  cid          INTEGER PRIMARY KEY AUTOINCREMENT,
  parentcid    INTEGER DEFAULT 0,
  handle       TEXT COLLATE NOCASE DEFAULT '' CHECK (length(handle) <= 16),
  password     TEXT COLLATE NOCASE DEFAULT '' CHECK (length(password) <= 16),
  email        TEXT COLLATE NOCASE DEFAULT '' CHECK (length(email) <= 64),
  fname        TEXT COLLATE NOCASE DEFAULT '' CHECK (length(fname) <= 64),
  lname        TEXT COLLATE NOCASE DEFAULT '' CHECK (length(lname) <= 64),
  status       TEXT COLLATE NOCASE DEFAULT 'A' CHECK (length(status) <= 1),
  state        TEXT COLLATE NOCASE DEFAULT 'A' CHECK (length(state) <= 1),
  activation   INTEGER DEFAULT 0,
  pcid_series  TEXT COLLATE NOCASE DEFAULT 'A',
  creationdate TEXT DEFAULT CURRENT_TIMESTAMP,
  lastaccess   TEXT DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX IF NOT EXISTS login_handle ON login (handle);
CREATE INDEX IF NOT EXISTS login_email ON login (email);

-- The login values the service's login page hands out (the "OMV" cookie).
CREATE TABLE IF NOT EXISTS loginvalue (
  cid     INTEGER DEFAULT 0,
  value   INTEGER DEFAULT 0,
  created TEXT DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX IF NOT EXISTS loginvalue_cid ON loginvalue (cid);

-- Personal data, keyed by the account (parentcid).
CREATE TABLE IF NOT EXISTS customer (
  parentcid      INTEGER DEFAULT 0,
  fname          TEXT COLLATE NOCASE DEFAULT '' CHECK (length(fname) <= 64),
  minitial       TEXT COLLATE NOCASE DEFAULT '' CHECK (length(minitial) <= 64),
  lname          TEXT COLLATE NOCASE DEFAULT '' CHECK (length(lname) <= 64),
  address1       TEXT COLLATE NOCASE DEFAULT '' CHECK (length(address1) <= 64),
  address2       TEXT COLLATE NOCASE DEFAULT '' CHECK (length(address2) <= 64),
  city           TEXT COLLATE NOCASE DEFAULT '' CHECK (length(city) <= 64),
  stateprovince  TEXT COLLATE NOCASE DEFAULT '' CHECK (length(stateprovince) <= 64),
  postalcode     TEXT COLLATE NOCASE DEFAULT '' CHECK (length(postalcode) <= 64),
  country        TEXT COLLATE NOCASE DEFAULT '' CHECK (length(country) <= 64),
  dayphone       TEXT COLLATE NOCASE DEFAULT '' CHECK (length(dayphone) <= 64),
  nightphone     TEXT COLLATE NOCASE DEFAULT '' CHECK (length(nightphone) <= 64),
  secretquestion TEXT COLLATE NOCASE DEFAULT '' CHECK (length(secretquestion) <= 64),
  secretanswer   TEXT COLLATE NOCASE DEFAULT '' CHECK (length(secretanswer) <= 64),
  last4cc        TEXT COLLATE NOCASE DEFAULT '' CHECK (length(last4cc) <= 64),
  creationdate   TEXT DEFAULT CURRENT_TIMESTAMP,
  lastmodified   TEXT DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX IF NOT EXISTS customer_parentcid ON customer (parentcid);

-- Players; isdefault 'y' marks the account's default player, state 'A' a live player.
CREATE TABLE IF NOT EXISTS character (
  chid      INTEGER PRIMARY KEY AUTOINCREMENT,
  cid       INTEGER DEFAULT 0,
  name      TEXT COLLATE NOCASE DEFAULT '' CHECK (length(name) <= 16),
  isdefault TEXT COLLATE NOCASE DEFAULT 'n' CHECK (length(isdefault) <= 1),
  state     TEXT COLLATE NOCASE DEFAULT 'A' CHECK (length(state) <= 1),
  created   TEXT DEFAULT CURRENT_TIMESTAMP,
  lastused  TEXT DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX IF NOT EXISTS character_cid ON character (cid);
CREATE INDEX IF NOT EXISTS character_name ON character (name);

-- Player name history: creation (old name empty), rename, deletion (new name empty).
CREATE TABLE IF NOT EXISTS oldcharacters (
  cid        INTEGER DEFAULT 0,
  chid       INTEGER DEFAULT 0,
  oldname    TEXT COLLATE NOCASE DEFAULT '' CHECK (length(oldname) <= 16),
  newname    TEXT COLLATE NOCASE DEFAULT '' CHECK (length(newname) <= 16),
  changedate TEXT DEFAULT CURRENT_TIMESTAMP
);

-- Restrictions: chid 0 applies to the whole account; status 'A' is in force.
CREATE TABLE IF NOT EXISTS om_assigned_restrictions (
  restrictionid             INTEGER PRIMARY KEY AUTOINCREMENT,
  cid                       INTEGER DEFAULT 0,
  chid                      INTEGER DEFAULT 0,
  om_restrictions_binaryVal INTEGER DEFAULT 0,
  status                    TEXT COLLATE NOCASE DEFAULT 'A',
  created                   TEXT DEFAULT CURRENT_TIMESTAMP
);

-- The player an account may not delete.
CREATE TABLE IF NOT EXISTS primarycharacter (
  cid  INTEGER DEFAULT 0,
  chid INTEGER DEFAULT 0
);

-- Continuation tokens of logins waiting for the terms of service.
CREATE TABLE IF NOT EXISTS continueloginvalue (
  cid     INTEGER DEFAULT 0,
  value   INTEGER DEFAULT 0,
  dateset TEXT DEFAULT CURRENT_TIMESTAMP
);

-- PC ids: the series letter and a serial number per account.
CREATE TABLE IF NOT EXISTS pcid (
  cid         INTEGER PRIMARY KEY,
  pcid_series TEXT COLLATE NOCASE DEFAULT 'A',
  pcid_number INTEGER DEFAULT 0
);
CREATE VIEW IF NOT EXISTS view_PCID AS
  SELECT cid, pcid_series || printf('%08d', pcid_number) AS whole_pcid FROM pcid;

CREATE TABLE IF NOT EXISTS omsquad (
  squid  INTEGER PRIMARY KEY AUTOINCREMENT,
  name   TEXT COLLATE NOCASE DEFAULT '',
  abbrev TEXT COLLATE NOCASE DEFAULT '',
  deco   INTEGER DEFAULT 0
);
CREATE TABLE IF NOT EXISTS omsquadmember (
  squid INTEGER DEFAULT 0,
  chid  INTEGER DEFAULT 0
);

CREATE TABLE IF NOT EXISTS accesscode (
  AccessCodeID INTEGER PRIMARY KEY AUTOINCREMENT,
  accesscode   TEXT COLLATE NOCASE DEFAULT ''
);
CREATE TABLE IF NOT EXISTS AccessCodeAssignment (
  cid          INTEGER DEFAULT 0,
  AccessCodeID INTEGER DEFAULT 0
);

-- Written by sp_EULA_Set_Accepted_By_CID: the last revision each account accepted.
CREATE TABLE IF NOT EXISTS eula_accepted (
  cid      INTEGER PRIMARY KEY,
  revision INTEGER DEFAULT 0,
  accepted TEXT DEFAULT CURRENT_TIMESTAMP
);

-- Written by sp_gotoomcom_AddEntry: one row per hand-off to the web site.
CREATE TABLE IF NOT EXISTS gotoomcom (
  seq     INTEGER PRIMARY KEY AUTOINCREMENT,
  cid     INTEGER DEFAULT 0,
  chid    INTEGER DEFAULT 0,
  pfid    INTEGER DEFAULT 0,
  sanity  INTEGER DEFAULT 0,
  created TEXT DEFAULT CURRENT_TIMESTAMP
);
)sql";

const char kTicketSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS statticket (
  statticketid     INTEGER PRIMARY KEY AUTOINCREMENT,
  statticketvalue  INTEGER DEFAULT 0,
  cid              INTEGER DEFAULT 0,
  pfid             INTEGER DEFAULT 0,
  handle           TEXT COLLATE NOCASE DEFAULT '',
  chid             INTEGER DEFAULT 0,
  name             TEXT COLLATE NOCASE DEFAULT '',
  created          TEXT DEFAULT CURRENT_TIMESTAMP,
  state            TEXT COLLATE NOCASE DEFAULT 'A',
  datestatechanged TEXT DEFAULT CURRENT_TIMESTAMP,
  MiscFlags        INTEGER DEFAULT 0
);
)sql";

// What the statistics procedures read. pload and expansion name the product and its
// expansion (empty when none); title_id is the product family of the older form.
const char kStatisticsSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS stats_player_var (
  pload     TEXT COLLATE NOCASE DEFAULT '',
  expansion TEXT COLLATE NOCASE DEFAULT '',
  cid       INTEGER DEFAULT 0,
  chid      INTEGER DEFAULT 0,
  varname   TEXT COLLATE NOCASE DEFAULT '',
  value     INTEGER DEFAULT 0
);
CREATE TABLE IF NOT EXISTS stats_rank_watermark (
  pload     TEXT COLLATE NOCASE DEFAULT '',
  expansion TEXT COLLATE NOCASE DEFAULT '',
  cid       INTEGER DEFAULT 0,
  rank_id   INTEGER DEFAULT 0
);
CREATE TABLE IF NOT EXISTS stats_title_watermark (
  title_id INTEGER DEFAULT 0,
  cid      INTEGER DEFAULT 0,
  rank_id  INTEGER DEFAULT 0
);
)sql";

}  // namespace

bool IsKnownDatabase(int32_t database) {
  return database == kAccountDatabase || database == kTicketDatabase || IsStatisticsDatabase(database);
}

bool IsStatisticsDatabase(int32_t database) { return database == 6 || database == 7 || database == 8; }

const char* SchemaSql(int32_t database) {
  if (database == kAccountDatabase) return kAccountSchema;
  if (database == kTicketDatabase) return kTicketSchema;
  if (IsStatisticsDatabase(database)) return kStatisticsSchema;
  throw std::invalid_argument("no database " + std::to_string(database));
}

std::filesystem::path DatabasePath(const Host& host, int32_t database) {
  return host.dataDir() / ("db" + std::to_string(database) + ".sqlite");
}

SqliteDb OpenDatabase(const Host& host, int32_t database) {
  const char* schema = SchemaSql(database);
  SqliteDb db(DatabasePath(host, database).string());
  // A stand-in's data: WAL with NORMAL syncing keeps every commit atomic without a flush
  // to disk per statement batch.
  db.exec("PRAGMA journal_mode=WAL");
  db.exec("PRAGMA synchronous=NORMAL");
  db.exec("BEGIN");
  db.exec(schema);
  db.exec("COMMIT");
  return db;
}

void CreateDatabases(const Host& host) {
  for (int32_t database : kDatabases) OpenDatabase(host, database);
}

}  // namespace omserver::db
