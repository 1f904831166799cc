// Sessions and keyed sessions: what a plug-in keeps between requests, stored in host.sqlite.
#ifndef OM_OMSERVER_SESSIONS_H
#define OM_OMSERVER_SESSIONS_H

#include <cstdint>
#include <map>
#include <string>

#include "context.h"
#include "host_api.h"

// The handle a plug-in holds. It reads byte 13 (IsNew) and nothing else.
struct SessionHandle {
  uint8_t head[16];  // head[SessionIsNewOffset]: non-zero when this request created the session
  omserver::SessionData* data;
};

namespace omserver {

enum class SessionKind : int { Browser = 0, Keyed = 1 };

struct SessionData {
  SessionHandle handle{};
  RequestState* state = nullptr;
  SessionKind kind = SessionKind::Browser;
  std::string tag;
  std::string key;  // the id the cookie carries, or the key of a keyed session
  std::map<std::string, std::string> vars;
  std::map<int32_t, int32_t> options;
  size_t outcome = 0;  // index into the request's session outcomes
  bool closed = false;
};

// Reads a stored session's variables, for tests and tools; empty when there is none.
std::map<std::string, std::string> StoredSessionVars(Host& host, SessionKind kind, const std::string& tag,
                                                     const std::string& key);
std::map<int32_t, int32_t> StoredSessionOptions(Host& host, SessionKind kind, const std::string& tag,
                                                const std::string& key);
bool SessionExists(Host& host, SessionKind kind, const std::string& tag, const std::string& key);

}  // namespace omserver

#endif
