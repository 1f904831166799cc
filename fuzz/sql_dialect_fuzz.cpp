// The stand-in's reading of the service's SQL dialect: any batch text is split and
// translated, or refused with SqlError (any other exception out of the reader is a fault).
// Every translated statement must be exactly one SQLite statement (nothing smuggled after
// it) that SQLite can read against the databases' schema. Then the batch runs on a scratch
// account database, where only the sanitizers judge: a failing batch is an answer too.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "db/connection.h"
#include "db/dialect.h"
#include "db/schema.h"
#include "host.h"

namespace {

[[noreturn]] void Fault(const std::string& what, const std::string& batch) {
  std::fprintf(stderr, "sql dialect fault: %s\nbatch: %s\n", what.c_str(), batch.c_str());
  std::abort();
}

// Every database's schema in one in-memory SQLite, for reading translated statements.
sqlite3* SchemaDb() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    sqlite3_open(":memory:", &opened);
    for (int32_t number : omserver::db::kDatabases) {
      char* error = nullptr;
      sqlite3_exec(opened, omserver::db::SchemaSql(number), nullptr, nullptr, &error);
      sqlite3_free(error);
    }
    return opened;
  }();
  return db;
}

omserver::Host& ScratchHost() {
  static std::filesystem::path dir = [] {
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::filesystem::path path = base / ("omfuzz-sql-" + std::to_string(getpid()));
    std::filesystem::remove_all(path);
    std::atexit([] { std::filesystem::remove_all(dir); });
    return path;
  }();
  static omserver::Host host(dir);
  return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A plug-in hands its text over as a C string: it ends at the first NUL.
  const std::string batch(std::string(reinterpret_cast<const char*>(data), size).c_str());
  std::vector<omserver::db::SqlStatement> statements;
  try {
    statements = omserver::db::ParseBatch(batch);
  } catch (const omserver::db::SqlError&) {
    return 0;
  } catch (const std::exception& error) {
    Fault(std::string("the reader threw ") + error.what(), batch);
  }

  for (const omserver::db::SqlStatement& statement : statements) {
    if (!omserver::db::YieldsResult(statement.kind)) continue;
    if (statement.sqlite.find('\0') != std::string::npos) Fault("a NUL in the translation", batch);
    sqlite3_stmt* prepared = nullptr;
    const char* tail = nullptr;
    int status = sqlite3_prepare_v2(SchemaDb(), statement.sqlite.c_str(), -1, &prepared, &tail);
    sqlite3_finalize(prepared);
    if (status != SQLITE_OK) continue;  // e.g. a column no table has: the run fails it
    for (; tail != nullptr && *tail != '\0'; ++tail) {
      if (*tail != ' ' && *tail != '\n' && *tail != '\t' && *tail != '\r') {
        Fault("a second statement after the translation: " + statement.sqlite, batch);
      }
    }
  }

  // A fresh connection each time: @@identity and the transaction are per connection. The
  // rows written stay; the file is started afresh now and then so it stays small.
  static int runs = 0;
  omserver::Host& host = ScratchHost();
  if (++runs % 2000 == 0) std::filesystem::remove(omserver::db::DatabasePath(host, omserver::db::kAccountDatabase));
  try {
    omserver::db::Connection connection(host, omserver::db::kAccountDatabase);
    connection.execute(batch);
  } catch (const std::exception&) {
  }
  return 0;
}
