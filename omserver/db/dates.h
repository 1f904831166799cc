// Dates as the stand-in's databases keep them ("YYYY-MM-DD HH:MM:SS", UTC) and the
// service's date functions over them: GETDATE(), datediff and datepart.
#ifndef OM_OMSERVER_DB_DATES_H
#define OM_OMSERVER_DB_DATES_H

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace omserver::db {

// The date text of a moment given in seconds since 1970 (UTC).
std::string DateText(int64_t epochSeconds);

// Registers om_datediff(part, a, b) and om_datepart(part, x) on a connection. datediff
// counts the boundaries of the part crossed between a and b, as the service does: from
// 10:59:59 to 11:00:00 is one minute, from 11:00:00 to 11:00:59 none.
void RegisterDateFunctions(sqlite3* db);

}  // namespace omserver::db

#endif
