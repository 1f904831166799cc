// The service's SQL dialect as the plug-ins write it, read into statements the stand-in
// can run on SQLite. A batch is split at statement starts, each statement is checked
// against the forms the service's databases accept here and translated; anything else is
// refused with the reason, so a wrong text fails instead of running as something else.
#ifndef OM_OMSERVER_DB_DIALECT_H
#define OM_OMSERVER_DB_DIALECT_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace omserver::db {

// A value as the batch moves it around: NULL, an integer or a text.
using Value = std::variant<std::monostate, int64_t, std::string>;

inline bool IsNull(const Value& value) { return std::holds_alternative<std::monostate>(value); }
// The value as text (an integer in decimal, NULL as the empty text).
std::string ValueText(const Value& value);

// A text the dialect does not accept, or a statement that fails as it runs.
class SqlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The declared type of a local variable or a procedure parameter.
struct VarType {
  enum Kind { Int, VarChar, Char } kind = Int;
  int length = 0;  // VarChar and Char
};

// Stores a value into a variable of a type as the service does: texts cut silently to
// the declared length (char padded with blanks), texts converted to int when they hold a
// number; a conversion the service refuses throws SqlError.
Value ConvertTo(const VarType& type, const Value& value);

// One operand of set or exec: a literal or a variable.
struct Operand {
  bool isVariable = false;
  std::string variable;  // lower-cased, with its "@"
  Value literal;
};

// What a "?N" of a translated statement takes when it runs.
struct Parameter {
  enum Kind { Variable, Identity, Now } kind = Variable;
  std::string variable;  // lower-cased, with its "@"
};

struct ExecArgument {
  Operand value;
  bool output = false;
};

enum class StatementKind { Select, Update, Insert, Delete, Declare, Set, Exec };

struct SqlStatement {
  StatementKind kind = StatementKind::Select;
  std::string source;  // the statement as the plug-in wrote it

  // Select, Update, Insert, Delete: the SQLite text and its parameters in "?N" order.
  std::string sqlite;
  std::vector<Parameter> parameters;
  std::string table;  // Insert: the table written to (for @@identity)

  // Declare: the variables and their types.
  std::vector<std::pair<std::string, VarType>> declarations;

  // Set: the variable and its new value.
  std::string variable;
  Operand value;

  // Exec: the variable that takes the return value (may be empty), procedure, arguments.
  std::string returnVariable;
  std::string procedure;  // lower-cased
  std::vector<ExecArgument> arguments;
};

// True when the statement yields a result to DbNextResult (all but declare and exec).
inline bool YieldsResult(StatementKind kind) { return kind != StatementKind::Declare && kind != StatementKind::Exec; }

// Splits and translates a whole batch; throws SqlError naming the statement and the reason.
std::vector<SqlStatement> ParseBatch(const std::string& text);

}  // namespace omserver::db

#endif
