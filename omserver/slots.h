// Every slot function of the stand-in host, with the signature of the host contract.
// host_api_fill.cpp puts them into the record; each group lives in its own file.
#ifndef OM_OMSERVER_SLOTS_H
#define OM_OMSERVER_SLOTS_H

#include "host_api.h"

namespace omserver::slots {

// slots_services.cpp: game-server services, checks, ciphering, mail, logs and records
int32_t RandomRange(HostApi* api, int32_t low, int32_t high);
int32_t ScreenName(HostApi* api, const char* name);
int32_t GetHostNumber(HostApi* api);
int32_t NoteFailure(HostApi* api);
int32_t FormatAddress(HostApi* api, int32_t address, int32_t port, char* buffer, int32_t bufferSize);
int32_t DecodeText(HostApi* api, char* text, const char* key);
int32_t SendMail(HostApi* api, const char* to, const char* subject, const char* body);
int32_t GetServerRecord(HostApi* api, ServerRecord* record);
int32_t QueueEnter(HostApi* api, char* ticket, int32_t ticketSize);
int32_t QueuePoll(HostApi* api, const char* ticket, int32_t serverId, int32_t* state, int32_t* position, int32_t* third);
int32_t QueueCancel(HostApi* api, const char* ticket, int32_t serverId);
int32_t IsDbOffline(HostApi* api);
int32_t LogEvent(HostApi* api, int32_t accountId, int32_t characterId, const char* tag, const char* detail);
int32_t RegisterHost(HostApi* api, HostRecord* record);
int32_t QueryServerAccess(HostApi* api, const char* text, int32_t* status, int32_t* other);
int32_t PostEventRecord(HostApi* api, EventRecord* record);
int32_t QueryAccountRecord(HostApi* api, JoinTicketRequest* record);
int32_t SetAccountCodes(HostApi* api, CodeList* codes);
int32_t QueryProductRecord(HostApi* api, ProductRecord* record);
int32_t EncodeText(HostApi* api, const char* source, char* destination, int32_t destinationSize, const char* key);
int32_t GetFeatureSwitch(HostApi* api, int32_t feature, int32_t* enabled);

// slots_variables.cpp: reply body, replies and variables
int32_t WriteText(HostApi* api, int32_t one, const char* text);
int32_t Redirect(HostApi* api, const char* word, const char* url, int32_t zero);
int32_t Respond(HostApi* api, const char* word, const char* msgbase, int32_t code, const char* text, const char* target, int32_t delay);
int32_t SetVar(HostApi* api, int32_t scope, const char* name, const char* value);
int32_t GetVar(HostApi* api, int32_t scope, const char* name, char* buffer, int32_t bufferSize);

// slots_sessions.cpp: keyed sessions and sessions
SessionHandle* OpenKeyedSession(HostApi* api, const char* tag, const char* key, int32_t two, int32_t* status);
int32_t SetKeyedSessionOption(SessionHandle* session, int32_t option, int32_t value);
int32_t CloseKeyedSession(SessionHandle* session, int32_t zero);
SessionHandle* OpenSession(HostApi* api, const char* tag, const char* cookieName);
int32_t SetSessionOption(SessionHandle* session, int32_t option, int32_t value);
int32_t CloseSession(SessionHandle* session, int32_t end);
int32_t GetSessionVar(SessionHandle* session, const char* name, char* buffer, int32_t bufferSize);
int32_t SetSessionVar(SessionHandle* session, const char* name, const char* value);

// slots_db.cpp: databases
DbHandle* DbOpen(HostApi* api, int32_t database, int32_t* error);
int32_t DbRelease(DbHandle* db);
int32_t DbSetTag(DbHandle* db, const char* tag, int32_t one, int32_t zero);
int32_t DbSetQuery(DbHandle* db, const char* sql);
int32_t DbExecute(DbHandle* db);
int32_t DbNextResult(DbHandle* db, int32_t* out1, int32_t* out2, int32_t zero);
int32_t DbBindColumn(DbHandle* db, int32_t type, int32_t size, void* target);
int32_t DbFetch(DbHandle* db);
int32_t DbCloseCursor(DbHandle* db);

}  // namespace omserver::slots

#endif
