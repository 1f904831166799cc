// The per-request side of the host: the HostApi record handed to Body and the C++ state
// behind it. Every slot function finds its request through the record it is given.
#ifndef OM_OMSERVER_CONTEXT_H
#define OM_OMSERVER_CONTEXT_H

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "host_api.h"
#include "request.h"

namespace omserver {

class Host;
struct SessionData;
struct DbRequestState;       // owned by the database slots
struct ServiceRequestState;  // owned by the other services

// Each group of slots owns its per-request state and says how to end it.
struct SessionDataDeleter { void operator()(SessionData* session) const; };
struct DbRequestStateDeleter { void operator()(DbRequestState* db) const; };
struct ServiceRequestStateDeleter { void operator()(ServiceRequestState* services) const; };

struct RequestState {
  RequestState(Host& host, const RequestSpec& incoming, RequestResult& result);
  ~RequestState();

  Host& host;
  const RequestSpec& incoming;
  RequestResult& result;
  std::vector<std::unique_ptr<SessionData, SessionDataDeleter>> sessions;  // valid until the request ends
  std::unique_ptr<DbRequestState, DbRequestStateDeleter> db;
  std::unique_ptr<ServiceRequestState, ServiceRequestStateDeleter> services;

  // Notes a plug-in's misuse or a host-side failure; it is reported with the request.
  void log(const std::string& line);
};

struct RequestContext {
  HostApi api;  // first, so a slot can go from the record to its request
  RequestState* state;
};
static_assert(std::is_standard_layout_v<RequestContext>);

inline RequestState& StateOf(HostApi* api) { return *reinterpret_cast<RequestContext*>(api)->state; }

// Fills every word of the record for one request, slot by slot in the record's order.
void FillHostApi(RequestContext& context);

// The host's closing work after Body has returned, one per group of slots: sessions left
// open are kept, database handles left open are released, and each notes what it found.
void FinishSessions(RequestState& state);
void FinishDatabases(RequestState& state);
void FinishServices(RequestState& state);

}  // namespace omserver

#endif
