// One connection to one of the stand-in's databases, as a DbOpen lends it: it runs whole
// batches of the service's dialect and keeps what the service keeps per connection
// (@@identity).
#ifndef OM_OMSERVER_DB_CONNECTION_H
#define OM_OMSERVER_DB_CONNECTION_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/dialect.h"
#include "sqlite_db.h"

namespace omserver {
class Host;
}

namespace omserver::db {

// One result of a batch: the rows of a select, or no columns for a statement without rows.
struct ResultSet {
  std::vector<std::string> columns;
  std::vector<std::vector<Value>> rows;
  int64_t changes = 0;  // rows written by an update, insert or delete
};

class Connection {
 public:
  // Opens database `number` (1, 2, 6, 7 or 8), creating its file on first use.
  Connection(Host& host, int32_t number);

  // Runs a batch and returns its results in order (one per statement but declare and exec).
  // The batch is one transaction: when any statement fails nothing of it stays written, and
  // SqlError says which statement failed and why.
  std::vector<ResultSet> execute(const std::string& batch);

  int32_t number() const { return number_; }
  Host& host() { return host_; }
  SqliteDb& sqlite() { return db_; }

 private:
  Host& host_;
  int32_t number_;
  SqliteDb db_;
  std::optional<int64_t> identity_;  // @@identity: NULL until an insert makes an identity
};

// The value in column i of a stepped SQLite statement.
Value ColumnValue(sqlite3_stmt* statement, int i);
// Binds a value to parameter i (1-based) of a SQLite statement.
void BindValue(sqlite3_stmt* statement, int i, const Value& value);

}  // namespace omserver::db

#endif
