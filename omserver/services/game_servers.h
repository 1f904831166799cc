// The game-server registry as the waiting line also reads it.
#ifndef OM_OMSERVER_SERVICES_GAME_SERVERS_H
#define OM_OMSERVER_SERVICES_GAME_SERVERS_H

#include <cstdint>
#include <optional>
#include <string>

#include "sqlite_db.h"

namespace omserver::services {

// An integer field of a registered server; nothing when the server is unknown.
std::optional<int32_t> ServerFieldIn(SqliteDb& db, int32_t rid, const std::string& field);
void SetServerFieldIn(SqliteDb& db, int32_t rid, const std::string& field, int32_t value);

}  // namespace omserver::services

#endif
