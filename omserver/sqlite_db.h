// A thin owner of SQLite connections and statements for the stand-in's own files.
#ifndef OM_OMSERVER_SQLITE_DB_H
#define OM_OMSERVER_SQLITE_DB_H

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace omserver {

class SqliteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept;

  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, int64_t value);
  Statement& bindNull(int index);
  // Steps once; true when a row is ready.
  bool step();
  // Steps until done (for statements without rows).
  void run();
  void reset();

  int columnCount() const;
  bool isNull(int column) const;
  int64_t columnInt(int column) const;
  std::string columnText(int column) const;
  std::string columnName(int column) const;
  sqlite3_stmt* raw() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteDb {
 public:
  SqliteDb() = default;
  explicit SqliteDb(const std::string& path);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;
  SqliteDb(SqliteDb&& other) noexcept;
  SqliteDb& operator=(SqliteDb&& other) noexcept;

  void exec(std::string_view sql);
  Statement prepare(std::string_view sql) { return Statement(db_, sql); }
  // The first column of the first row, or nothing.
  std::optional<std::string> scalarText(std::string_view sql);
  int64_t lastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
  sqlite3* raw() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// Runs a block of work inside BEGIN IMMEDIATE ... COMMIT; rolls back when it throws.
class Transaction {
 public:
  explicit Transaction(SqliteDb& db);
  ~Transaction();
  void commit();

 private:
  SqliteDb& db_;
  bool done_ = false;
};

}  // namespace omserver

#endif
