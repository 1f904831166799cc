// The stored procedures of the stand-in's databases, written in C++ over SQLite. `exec`
// finds them here by name (without regard to case) on the database it runs on.
#ifndef OM_OMSERVER_DB_PROCEDURES_H
#define OM_OMSERVER_DB_PROCEDURES_H

#include <cstdint>
#include <string>
#include <vector>

#include "db/dialect.h"

namespace omserver::db {

class Connection;

struct ProcedureParameter {
  const char* name;
  VarType type;
  bool output;
};

// The arguments of one call, each converted to its parameter's type; a procedure writes its
// output parameters back into `values`.
struct ProcedureCall {
  Connection& connection;
  std::vector<Value> values;
};

struct Procedure {
  const char* name;
  bool (*servedBy)(int32_t database);
  std::vector<ProcedureParameter> parameters;
  int32_t (*body)(ProcedureCall& call);  // the return value; throws SqlError on failure
};

// The procedure of that name on that database, or null.
const Procedure* FindProcedure(const std::string& name, int32_t database);

// The codes omdll_createlogin returns for a name or address that is taken.
constexpr int32_t kHandleTaken = -200500;
constexpr int32_t kEmailTaken = -200501;

}  // namespace omserver::db

#endif
