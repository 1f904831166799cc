// Running a batch. The whole batch is read first, so a text outside the dialect runs no
// statement at all; then its statements run in order inside one transaction. The service
// would keep the statements of a batch that ran before a failing one; the stand-in keeps
// none, so a plug-in that sees DbExecute fail can rely on nothing having been written.
#include "db/connection.h"

#include <map>

#include "db/dates.h"
#include "db/procedures.h"
#include "db/schema.h"
#include "host.h"

namespace omserver::db {

Value ColumnValue(sqlite3_stmt* statement, int i) {
  switch (sqlite3_column_type(statement, i)) {
    case SQLITE_NULL:
      return std::monostate{};
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(statement, i));
    default: {
      const unsigned char* text = sqlite3_column_text(statement, i);
      if (text == nullptr) return std::string();
      return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement, i)));
    }
  }
}

void BindValue(sqlite3_stmt* statement, int i, const Value& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) {
    sqlite3_bind_int64(statement, i, *number);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    sqlite3_bind_text(statement, i, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(statement, i);
  }
}

Connection::Connection(Host& host, int32_t number) : host_(host), number_(number), db_(OpenDatabase(host, number)) {
  RegisterDateFunctions(db_.raw());
}

namespace {

struct Variable {
  VarType type;
  Value value;
};

class BatchRun {
 public:
  BatchRun(Connection& connection, std::optional<int64_t>& identity)
      : connection_(connection), identity_(identity), now_(DateText(connection.host().now())) {}

  void run(const SqlStatement& statement, std::vector<ResultSet>& results) {
    switch (statement.kind) {
      case StatementKind::Declare:
        for (const auto& [name, type] : statement.declarations) variables_[name] = {type, std::monostate{}};
        return;
      case StatementKind::Set: {
        Variable& target = variables_.at(statement.variable);
        target.value = ConvertTo(target.type, operand(statement.value));
        results.emplace_back();
        return;
      }
      case StatementKind::Exec:
        exec(statement);
        return;
      default:
        results.push_back(query(statement));
        return;
    }
  }

 private:
  Value operand(const Operand& operand) const {
    return operand.isVariable ? variables_.at(operand.variable).value : operand.literal;
  }

  void exec(const SqlStatement& statement) {
    const Procedure* procedure = FindProcedure(statement.procedure, connection_.number());
    if (procedure == nullptr) {
      throw SqlError("could not find stored procedure '" + statement.procedure + "' in database " +
                     std::to_string(connection_.number()));
    }
    const auto& parameters = procedure->parameters;
    if (statement.arguments.size() > parameters.size()) {
      throw SqlError("procedure " + std::string(procedure->name) + " has too many arguments specified");
    }
    if (statement.arguments.size() < parameters.size()) {
      throw SqlError("procedure " + std::string(procedure->name) + " expects parameter '" +
                     parameters[statement.arguments.size()].name + "', which was not supplied");
    }
    ProcedureCall call{connection_, {}};
    for (size_t i = 0; i < parameters.size(); ++i) {
      if (statement.arguments[i].output && !parameters[i].output) {
        throw SqlError(std::string("the formal parameter \"") + parameters[i].name + "\" was not declared as an OUTPUT parameter");
      }
      call.values.push_back(ConvertTo(parameters[i].type, operand(statement.arguments[i].value)));
    }
    int32_t returned = procedure->body(call);
    for (size_t i = 0; i < parameters.size(); ++i) {
      const ExecArgument& argument = statement.arguments[i];
      if (!argument.output) continue;  // without OUTPUT the caller's variable keeps its value
      Variable& target = variables_.at(argument.value.variable);
      target.value = ConvertTo(target.type, call.values[i]);
    }
    if (!statement.returnVariable.empty()) {
      Variable& target = variables_.at(statement.returnVariable);
      target.value = ConvertTo(target.type, int64_t{returned});
    }
  }

  ResultSet query(const SqlStatement& statement) {
    sqlite3* db = connection_.sqlite().raw();
    Statement prepared = [&] {
      try {
        return connection_.sqlite().prepare(statement.sqlite);
      } catch (const SqliteError& error) {
        throw SqlError(std::string(error.what()));
      }
    }();
    for (size_t i = 0; i < statement.parameters.size(); ++i) {
      const Parameter& parameter = statement.parameters[i];
      Value value;
      if (parameter.kind == Parameter::Now) {
        value = now_;
      } else if (parameter.kind == Parameter::Identity) {
        if (identity_) value = *identity_;
      } else {
        value = variables_.at(parameter.variable).value;
      }
      BindValue(prepared.raw(), static_cast<int>(i + 1), value);
    }
    ResultSet result;
    if (statement.kind == StatementKind::Select) {
      for (int i = 0; i < prepared.columnCount(); ++i) result.columns.push_back(prepared.columnName(i));
    }
    try {
      while (prepared.step()) {
        std::vector<Value> row;
        for (int i = 0; i < prepared.columnCount(); ++i) row.push_back(ColumnValue(prepared.raw(), i));
        if (statement.kind == StatementKind::Select) result.rows.push_back(std::move(row));
      }
    } catch (const SqliteError& error) {
      throw SqlError(std::string(error.what()));
    }
    if (statement.kind != StatementKind::Select) result.changes = sqlite3_changes(db);
    if (statement.kind == StatementKind::Insert) noteIdentity(statement.table, result.changes);
    return result;
  }

  // After an insert @@identity holds the identity it made, or NULL when the table has none.
  void noteIdentity(const std::string& table, int64_t changes) {
    bool hasIdentity = false;
    sqlite3* db = connection_.sqlite().raw();
    if (connection_.sqlite().scalarText("SELECT name FROM sqlite_master WHERE name = 'sqlite_sequence'")) {
      Statement probe = connection_.sqlite().prepare("SELECT 1 FROM sqlite_sequence WHERE name = ? COLLATE NOCASE");
      probe.bind(1, table);
      hasIdentity = probe.step();
    }
    if (!hasIdentity) {
      identity_.reset();
    } else if (changes > 0) {
      identity_ = sqlite3_last_insert_rowid(db);
    }
  }

  Connection& connection_;
  std::optional<int64_t>& identity_;
  std::string now_;
  std::map<std::string, Variable> variables_;
};

}  // namespace

std::vector<ResultSet> Connection::execute(const std::string& batch) {
  std::vector<SqlStatement> statements = ParseBatch(batch);
  bool writes = false;
  for (const SqlStatement& statement : statements) {
    writes = writes || statement.kind == StatementKind::Update || statement.kind == StatementKind::Insert ||
             statement.kind == StatementKind::Delete || statement.kind == StatementKind::Exec;
  }
  std::optional<int64_t> identity = identity_;
  std::vector<ResultSet> results;
  db_.exec(writes ? "BEGIN IMMEDIATE" : "BEGIN");
  try {
    BatchRun run(*this, identity);
    for (const SqlStatement& statement : statements) {
      try {
        run.run(statement, results);
      } catch (const SqlError& error) {
        throw SqlError(std::string(error.what()) + " in statement \"" + statement.source + "\"");
      } catch (const SqliteError& error) {
        throw SqlError(std::string(error.what()) + " in statement \"" + statement.source + "\"");
      }
    }
    db_.exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_.raw(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  identity_ = identity;
  return results;
}

}  // namespace omserver::db
