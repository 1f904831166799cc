// Databases. Until the stand-in's databases are in place, the host answers as one whose
// databases refuse every connection.
#include "context.h"
#include "slots.h"

namespace omserver {

struct DbRequestState {};

void DbRequestStateDeleter::operator()(DbRequestState* db) const { delete db; }

void FinishDatabases(RequestState&) {}

namespace slots {

DbHandle* DbOpen(HostApi* api, int32_t database, int32_t* error) {
  if (error != nullptr) *error = -1;
  StateOf(api).log("DbOpen: database " + std::to_string(database) + " refused: the stand-in has no databases yet");
  return nullptr;
}
int32_t DbRelease(DbHandle*) { return -1; }
int32_t DbSetTag(DbHandle*, const char*, int32_t, int32_t) { return -1; }
int32_t DbSetQuery(DbHandle*, const char*) { return -1; }
int32_t DbExecute(DbHandle*) { return -1; }
int32_t DbNextResult(DbHandle*, int32_t*, int32_t*, int32_t) { return -1; }
int32_t DbBindColumn(DbHandle*, int32_t, int32_t, void*) { return -1; }
int32_t DbFetch(DbHandle*) { return -1; }
int32_t DbCloseCursor(DbHandle*) { return -1; }

}  // namespace slots
}  // namespace omserver
