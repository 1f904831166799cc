// Databases: the nine slots over the stand-in's SQLite databases.
//
// A DbOpen lends a connection of its own; its handle stays owned by the request until the
// request ends, also after DbRelease, so a plug-in that uses a released handle is caught and
// logged instead of touching freed memory. A statement is tagged (DbSetTag), its text
// appended (DbSetQuery) and run whole (DbExecute); its results are kept in order and walked
// with DbNextResult, DbBindColumn and DbFetch until DbCloseCursor ends the statement.
// DbNextResult fills its two integers with the result's number of columns and its number
// of rows (rows written, for an update, insert or delete); the plug-ins do not read them.
// Every misuse a plug-in can make fails the call and is noted in the request's host log.
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context.h"
#include "db/connection.h"
#include "db/faults.h"
#include "db/schema.h"
#include "host.h"
#include "slots.h"
#include "slots_guard.h"

struct DbHandle {
  static constexpr uint32_t kMagic = 0x42444D4F;  // "OMDB"
  uint32_t magic = kMagic;
  omserver::RequestState* state = nullptr;
  int32_t database = 0;
  int serial = 0;  // the n-th DbOpen of the request, to name the handle in the log
  std::unique_ptr<omserver::db::Connection> connection;
  bool released = false;

  struct Binding {
    int32_t type;
    int32_t size;
    void* target;
  };

  // The statement being built or read.
  bool started = false;
  std::string tag;
  std::string text;
  bool executed = false;
  bool failed = false;
  std::vector<omserver::db::ResultSet> results;
  int nextResultCalls = 0;
  std::optional<size_t> current;
  size_t nextRow = 0;
  std::vector<Binding> bindings;

  std::string name() const {
    return "database " + std::to_string(database) + " (connection " + std::to_string(serial) + ", tag \"" + tag + "\")";
  }
  void endStatement() {
    started = executed = failed = false;
    text.clear();
    results.clear();
    nextResultCalls = 0;
    current.reset();
    nextRow = 0;
    bindings.clear();
  }
};

namespace omserver {

struct DbRequestState {
  std::vector<std::unique_ptr<DbHandle>> handles;
};

void DbRequestStateDeleter::operator()(DbRequestState* db) const { delete db; }

void FinishDatabases(RequestState& state) {
  if (!state.db) return;
  for (auto& handle : state.db->handles) {
    if (handle->released) continue;
    state.log("DbRelease: " + handle->name() + " was never released; the host released it after Body");
    handle->connection.reset();
    handle->released = true;
  }
}

namespace slots {
namespace {

// A handle the host lent in this request and that is still open, or null after noting why.
DbHandle* Usable(DbHandle* db, const char* slot) {
  if (db == nullptr || db->magic != DbHandle::kMagic) return nullptr;  // no request to note it in
  if (db->released) {
    db->state->log(std::string(slot) + ": " + db->name() + " used after DbRelease");
    return nullptr;
  }
  return db;
}

// The current result of an executed statement, or null after noting why.
const db::ResultSet* CurrentResult(DbHandle& db, const char* slot) {
  if (!db.current) {
    db.state->log(std::string(slot) + ": " + db.name() + " has no current result" +
                  (db.executed ? " (DbNextResult has not moved to one)" : " (the statement has not been executed)"));
    return nullptr;
  }
  return &db.results[*db.current];
}

int32_t ToInt32(DbHandle& db, const db::Value& value, size_t column) {
  int64_t number = 0;
  if (const auto* integer = std::get_if<int64_t>(&value)) {
    number = *integer;
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    char* end = nullptr;
    long long parsed = std::strtoll(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0') {
      db.state->log("DbFetch: " + db.name() + ": column " + std::to_string(column + 1) + " \"" + *text +
                    "\" is not a number; bound as an integer it reads 0");
      return 0;
    }
    number = parsed;
  }
  if (number < INT32_MIN || number > INT32_MAX) {
    db.state->log("DbFetch: " + db.name() + ": column " + std::to_string(column + 1) + " value " +
                  std::to_string(number) + " does not fit a 32-bit integer");
    return number < 0 ? INT32_MIN : INT32_MAX;
  }
  return static_cast<int32_t>(number);
}

}  // namespace

DbHandle* DbOpen(HostApi* api, int32_t database, int32_t* error) {
  RequestState& state = StateOf(api);
  return Guarded(state, "DbOpen", static_cast<DbHandle*>(nullptr), [&]() -> DbHandle* {
    auto refuse = [&](int32_t code, const std::string& why) -> DbHandle* {
      if (error != nullptr) *error = code;
      state.log("DbOpen: database " + std::to_string(database) + " refused with " + std::to_string(code) + ": " + why);
      return nullptr;
    };
    if (error == nullptr) state.log("DbOpen: called without an error pointer");
    if (DatabasesOffline(state.host)) return refuse(-6, "the databases are offline");
    if (auto fault = DbOpenFault(state.host, database)) return refuse(*fault, "a fault is set for this database");
    if (!db::IsKnownDatabase(database)) return refuse(-3, "the host has no such database");
    if (!state.db) state.db.reset(new DbRequestState);
    auto handle = std::make_unique<DbHandle>();
    handle->state = &state;
    handle->database = database;
    handle->serial = static_cast<int>(state.db->handles.size()) + 1;
    try {
      handle->connection = std::make_unique<db::Connection>(state.host, database);
    } catch (const std::exception& failure) {
      return refuse(-6, std::string("cannot open its file: ") + failure.what());
    }
    if (error != nullptr) *error = 0;
    state.db->handles.push_back(std::move(handle));
    return state.db->handles.back().get();
  });
}

int32_t DbRelease(DbHandle* handle) {
  DbHandle* db = Usable(handle, "DbRelease");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbRelease", -1, [&] {
    db->endStatement();
    db->connection.reset();
    db->released = true;
    return 0;
  });
}

int32_t DbSetTag(DbHandle* handle, const char* tag, int32_t, int32_t) {
  DbHandle* db = Usable(handle, "DbSetTag");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbSetTag", -1, [&] {
    if (db->executed) {
      db->state->log("DbSetTag: " + db->name() + " was not closed with DbCloseCursor; its results are dropped");
    } else if (!db->text.empty()) {
      db->state->log("DbSetTag: " + db->name() + " was never executed; its text is dropped");
    }
    db->endStatement();
    db->started = true;
    db->tag = tag != nullptr ? tag : "";
    if (tag == nullptr) db->state->log("DbSetTag: " + db->name() + ": a null tag");
    return 0;
  });
}

int32_t DbSetQuery(DbHandle* handle, const char* sql) {
  DbHandle* db = Usable(handle, "DbSetQuery");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbSetQuery", -1, [&] {
    if (!db->started || db->executed) {
      db->state->log("DbSetQuery: " + db->name() +
                     (db->executed ? ": the statement has already run; DbSetTag starts the next one"
                                   : ": no statement was started with DbSetTag"));
      return -1;
    }
    if (sql == nullptr) {
      db->state->log("DbSetQuery: " + db->name() + ": a null text");
      return -1;
    }
    db->text += sql;
    return 0;
  });
}

int32_t DbExecute(DbHandle* handle) {
  DbHandle* db = Usable(handle, "DbExecute");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbExecute", -1, [&] {
    if (!db->started || db->executed) {
      db->state->log("DbExecute: " + db->name() +
                     (db->executed ? ": the statement has already run" : ": no statement was started with DbSetTag"));
      return -1;
    }
    db->executed = true;
    db->failed = true;
    if (DbExecuteFault(db->state->host, db->tag)) {
      db->state->log("DbExecute: " + db->name() + ": failed by a fault set for this tag");
      return -1;
    }
    try {
      db->results = db->connection->execute(db->text);
    } catch (const db::SqlError& failure) {
      db->state->log("DbExecute: " + db->name() + ": " + failure.what());
      return -1;
    }
    db->failed = false;
    return 0;
  });
}

int32_t DbNextResult(DbHandle* handle, int32_t* out1, int32_t* out2, int32_t) {
  DbHandle* db = Usable(handle, "DbNextResult");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbNextResult", -1, [&] {
    if (!db->executed || db->failed) {
      db->state->log("DbNextResult: " + db->name() +
                     (db->executed ? ": the statement failed to run" : ": the statement has not been executed"));
      return -1;
    }
    int call = ++db->nextResultCalls;
    db->bindings.clear();
    if (auto fault = DbNextResultFault(db->state->host, db->tag); fault && *fault == call) {
      db->current.reset();
      db->state->log("DbNextResult: " + db->name() + ": call " + std::to_string(call) + " failed by a fault set for this tag");
      return -1;
    }
    size_t next = static_cast<size_t>(call - 1);  // every call moves on, also one that fails
    if (next >= db->results.size()) {
      db->current.reset();
      db->state->log("DbNextResult: " + db->name() + ": no further result (the batch gave " +
                     std::to_string(db->results.size()) + ")");
      return -1;
    }
    db->current = next;
    db->nextRow = 0;
    const db::ResultSet& result = db->results[next];
    if (out1 != nullptr) *out1 = static_cast<int32_t>(result.columns.size());
    if (out2 != nullptr) {
      *out2 = static_cast<int32_t>(result.columns.empty() ? result.changes : static_cast<int64_t>(result.rows.size()));
    }
    return 0;
  });
}

int32_t DbBindColumn(DbHandle* handle, int32_t type, int32_t size, void* target) {
  DbHandle* db = Usable(handle, "DbBindColumn");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbBindColumn", -1, [&] {
    const db::ResultSet* result = CurrentResult(*db, "DbBindColumn");
    if (result == nullptr) return -1;
    size_t column = db->bindings.size();
    auto refuse = [&](const std::string& why) {
      db->state->log("DbBindColumn: " + db->name() + ": column " + std::to_string(column + 1) + ": " + why);
      return -1;
    };
    if (column >= result->columns.size()) {
      return refuse("past the last column (the result has " + std::to_string(result->columns.size()) + ")");
    }
    if (target == nullptr) return refuse("a null target");
    if (type != DbColumnText && type != DbColumnChar && type != DbColumnInt) return refuse("unknown type " + std::to_string(type));
    if (type == DbColumnText && size < 1) return refuse("a text target of size " + std::to_string(size));
    db->bindings.push_back({type, size, target});
    return 0;
  });
}

int32_t DbFetch(DbHandle* handle) {
  DbHandle* db = Usable(handle, "DbFetch");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbFetch", -1, [&] {
    const db::ResultSet* result = CurrentResult(*db, "DbFetch");
    if (result == nullptr) return -1;
    if (db->nextRow >= result->rows.size()) return -1;
    const std::vector<db::Value>& row = result->rows[db->nextRow++];
    for (size_t column = 0; column < db->bindings.size(); ++column) {
      const DbHandle::Binding& binding = db->bindings[column];
      const db::Value& value = row[column];
      if (binding.type == DbColumnText) {
        CopyOut(db::ValueText(value), static_cast<char*>(binding.target), binding.size);
      } else if (binding.type == DbColumnChar) {
        std::string text = db::ValueText(value);
        *static_cast<char*>(binding.target) = text.empty() ? '\0' : text[0];
      } else {
        int32_t number = ToInt32(*db, value, column);
        std::memcpy(binding.target, &number, sizeof number);
      }
    }
    return 0;
  });
}

int32_t DbCloseCursor(DbHandle* handle) {
  DbHandle* db = Usable(handle, "DbCloseCursor");
  if (db == nullptr) return -1;
  return Guarded(*db->state, "DbCloseCursor", -1, [&] {
    if (!db->started) {
      db->state->log("DbCloseCursor: " + db->name() + ": no statement to close");
      return -1;
    }
    db->endStatement();
    return 0;
  });
}

}  // namespace slots

}  // namespace omserver
