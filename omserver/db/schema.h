// The stand-in's databases: which numbers exist, where their files are, their schema, and
// a small demo service to try the site with.
#ifndef OM_OMSERVER_DB_SCHEMA_H
#define OM_OMSERVER_DB_SCHEMA_H

#include <cstdint>
#include <filesystem>
#include <string>

#include "sqlite_db.h"

namespace omserver {
class Host;
}

namespace omserver::db {

constexpr int32_t kAccountDatabase = 1;
constexpr int32_t kTicketDatabase = 2;
constexpr int32_t kDatabases[] = {1, 2, 6, 7, 8};

bool IsKnownDatabase(int32_t database);
bool IsStatisticsDatabase(int32_t database);

// The schema of a database as SQL (CREATE ... IF NOT EXISTS, so it can run on every open).
const char* SchemaSql(int32_t database);
// DIR/dbN.sqlite in the host's data directory.
std::filesystem::path DatabasePath(const Host& host, int32_t database);
// Opens a database file, creating it and its schema on first use.
SqliteDb OpenDatabase(const Host& host, int32_t database);
// Creates every database of the stand-in that does not exist yet.
void CreateDatabases(const Host& host);

// Fills a small demo service into the databases (created when missing): accounts in each
// state, players, restrictions, squads, access codes and statistics. Returns a one-line
// summary. Refuses (std::runtime_error) when the account database already holds accounts.
std::string FillDemo(Host& host);

}  // namespace omserver::db

#endif
