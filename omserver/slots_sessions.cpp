// Sessions (by the cookie that carries their id) and keyed sessions (by tag and key).
//
// A browser's session is identified by the id in its session cookie together with the
// plug-in's tag, so two plug-ins that share a cookie name keep separate data under one id.
// Variables are read when the session is opened and written back when it is closed with 0
// (or left open by the plug-in); closing with 1 discards the session.
#include <string>

#include "host.h"
#include "sessions.h"
#include "slots.h"
#include "slots_guard.h"

namespace omserver {
namespace {

bool LooksLikeSessionId(const std::string& id) {
  if (id.size() < 8 || id.size() > 40 || id[0] != 'S') return false;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == 'S')) return false;
  }
  return true;
}

bool Exists(SqliteDb& db, SessionKind kind, const std::string& tag, const std::string& key) {
  Statement statement = db.prepare("SELECT 1 FROM sessions WHERE kind = ? AND tag = ? AND key = ?");
  statement.bind(1, static_cast<int64_t>(kind)).bind(2, tag).bind(3, key);
  return statement.step();
}

bool IdKnown(SqliteDb& db, const std::string& key) {
  Statement statement = db.prepare("SELECT 1 FROM sessions WHERE kind = 0 AND key = ?");
  statement.bind(1, key);
  return statement.step();
}

void Load(SqliteDb& db, SessionData& session) {
  Statement vars = db.prepare("SELECT name, value FROM session_vars WHERE kind = ? AND tag = ? AND key = ?");
  vars.bind(1, static_cast<int64_t>(session.kind)).bind(2, session.tag).bind(3, session.key);
  while (vars.step()) session.vars[vars.columnText(0)] = vars.columnText(1);
  Statement options = db.prepare("SELECT option, value FROM session_options WHERE kind = ? AND tag = ? AND key = ?");
  options.bind(1, static_cast<int64_t>(session.kind)).bind(2, session.tag).bind(3, session.key);
  while (options.step()) session.options[static_cast<int32_t>(options.columnInt(0))] = static_cast<int32_t>(options.columnInt(1));
}

void Discard(SqliteDb& db, SessionKind kind, const std::string& tag, const std::string& key) {
  for (const char* table : {"sessions", "session_vars", "session_options"}) {
    db.prepare(std::string("DELETE FROM ") + table + " WHERE kind = ? AND tag = ? AND key = ?")
        .bind(1, static_cast<int64_t>(kind))
        .bind(2, tag)
        .bind(3, key)
        .run();
  }
}

void Store(SqliteDb& db, const SessionData& session, int64_t now) {
  Transaction transaction(db);
  const auto kind = static_cast<int64_t>(session.kind);
  db.prepare("INSERT INTO sessions (kind, tag, key, created, updated) VALUES (?, ?, ?, ?, ?) "
             "ON CONFLICT(kind, tag, key) DO UPDATE SET updated = excluded.updated")
      .bind(1, kind).bind(2, session.tag).bind(3, session.key).bind(4, now).bind(5, now)
      .run();
  db.prepare("DELETE FROM session_vars WHERE kind = ? AND tag = ? AND key = ?")
      .bind(1, kind).bind(2, session.tag).bind(3, session.key).run();
  Statement insertVar = db.prepare("INSERT INTO session_vars (kind, tag, key, name, value) VALUES (?, ?, ?, ?, ?)");
  for (const auto& [name, value] : session.vars) {
    insertVar.reset();
    insertVar.bind(1, kind).bind(2, session.tag).bind(3, session.key).bind(4, name).bind(5, value).run();
  }
  db.prepare("DELETE FROM session_options WHERE kind = ? AND tag = ? AND key = ?")
      .bind(1, kind).bind(2, session.tag).bind(3, session.key).run();
  Statement insertOption = db.prepare("INSERT INTO session_options (kind, tag, key, option, value) VALUES (?, ?, ?, ?, ?)");
  for (const auto& [option, value] : session.options) {
    insertOption.reset();
    insertOption.bind(1, kind).bind(2, session.tag).bind(3, session.key).bind(4, int64_t{option}).bind(5, int64_t{value}).run();
  }
  transaction.commit();
}

// A keyed session whose lifetime (option 2, milliseconds) has run out is gone.
bool Expired(SqliteDb& db, const std::string& tag, const std::string& key, int64_t now) {
  Statement statement = db.prepare(
      "SELECT s.created, o.value FROM sessions s JOIN session_options o "
      "ON o.kind = s.kind AND o.tag = s.tag AND o.key = s.key AND o.option = 2 "
      "WHERE s.kind = 1 AND s.tag = ? AND s.key = ?");
  statement.bind(1, tag).bind(2, key);
  if (!statement.step()) return false;
  int64_t lifetimeSeconds = (statement.columnInt(1) + 999) / 1000;
  return lifetimeSeconds > 0 && statement.columnInt(0) + lifetimeSeconds < now;
}

SessionData* NewHandle(RequestState& state, SessionKind kind, const std::string& tag, const std::string& key,
                       const std::string& cookieName, bool isNew) {
  std::unique_ptr<SessionData, SessionDataDeleter> session(new SessionData());
  session->state = &state;
  session->kind = kind;
  session->tag = tag;
  session->key = key;
  session->handle.data = session.get();
  session->handle.head[SessionIsNewOffset] = isNew ? 1 : 0;
  SessionOutcome outcome;
  outcome.keyed = kind == SessionKind::Keyed;
  outcome.tag = tag;
  outcome.cookie = cookieName;
  outcome.id = key;
  outcome.isNew = isNew;
  session->outcome = state.result.sessions.size();
  state.result.sessions.push_back(outcome);
  state.sessions.push_back(std::move(session));
  return state.sessions.back().get();
}

// The session behind a handle, or null (noted) when the plug-in hands a closed handle back.
SessionData* Live(SessionHandle* handle, const char* slot) {
  if (handle == nullptr || handle->data == nullptr) return nullptr;
  SessionData* session = handle->data;
  if (session->closed) {
    session->state->log(std::string(slot) + ": the session \"" + session->tag + "\" was already closed");
    return nullptr;
  }
  return session;
}

}  // namespace

std::map<std::string, std::string> StoredSessionVars(Host& host, SessionKind kind, const std::string& tag,
                                                     const std::string& key) {
  SessionData session;
  session.kind = kind;
  session.tag = tag;
  session.key = key;
  host.withState([&](SqliteDb& db) { Load(db, session); });
  return session.vars;
}

std::map<int32_t, int32_t> StoredSessionOptions(Host& host, SessionKind kind, const std::string& tag,
                                                const std::string& key) {
  SessionData session;
  session.kind = kind;
  session.tag = tag;
  session.key = key;
  host.withState([&](SqliteDb& db) { Load(db, session); });
  return session.options;
}

bool SessionExists(Host& host, SessionKind kind, const std::string& tag, const std::string& key) {
  return host.withState([&](SqliteDb& db) { return Exists(db, kind, tag, key); });
}

void SessionDataDeleter::operator()(SessionData* session) const { delete session; }

void FinishSessions(RequestState& state) {
  for (auto& session : state.sessions) {
    if (session->closed) continue;
    state.log("session \"" + session->tag + "\" was not closed by the plug-in; it is kept");
    try {
      int64_t now = state.host.now();
      state.host.withState([&](SqliteDb& db) { Store(db, *session, now); });
    } catch (const std::exception& error) {
      state.log(std::string("keeping an unclosed session failed: ") + error.what());
    }
  }
}

namespace slots {

SessionHandle* OpenSession(HostApi* api, const char* tag, const char* cookieName) {
  RequestState& state = StateOf(api);
  return Guarded(state, "OpenSession", static_cast<SessionHandle*>(nullptr), [&]() -> SessionHandle* {
    if (tag == nullptr || cookieName == nullptr || *tag == '\0' || *cookieName == '\0') {
      state.log("OpenSession: a null or empty tag or cookie name");
      return nullptr;
    }
    std::string id;
    for (const auto& [name, value] : state.incoming.cookies) {
      if (name == cookieName) {
        id = value;
        break;
      }
    }
    bool exists = false;
    bool idKnown = false;
    if (LooksLikeSessionId(id)) {
      state.host.withState([&](SqliteDb& db) {
        exists = Exists(db, SessionKind::Browser, tag, id);
        idKnown = exists || IdKnown(db, id);
      });
    }
    if (!idKnown) {
      id = state.host.newSessionId();
      SetVar(api, ScopeCookie, cookieName, id.c_str());
    }
    SessionData* session = NewHandle(state, SessionKind::Browser, tag, id, cookieName, !exists);
    int64_t now = state.host.now();
    state.host.withState([&](SqliteDb& db) {
      if (exists) {
        Load(db, *session);
      } else {
        Store(db, *session, now);
      }
    });
    return &session->handle;
  });
}

int32_t SetSessionOption(SessionHandle* handle, int32_t option, int32_t value) {
  SessionData* session = Live(handle, "SetSessionOption");
  if (session == nullptr) return -1;
  session->options[option] = value;
  return 0;
}

int32_t CloseSession(SessionHandle* handle, int32_t end) {
  SessionData* session = Live(handle, "CloseSession");
  if (session == nullptr) return -1;
  RequestState& state = *session->state;
  return Guarded(state, "CloseSession", -1, [&]() -> int32_t {
    session->closed = true;
    SessionOutcome& outcome = state.result.sessions[session->outcome];
    outcome.closed = true;
    outcome.end = end;
    int64_t now = state.host.now();
    state.host.withState([&](SqliteDb& db) {
      if (end != 0) {
        Discard(db, session->kind, session->tag, session->key);
      } else {
        Store(db, *session, now);
      }
    });
    return 0;
  });
}

int32_t GetSessionVar(SessionHandle* handle, const char* name, char* buffer, int32_t bufferSize) {
  SessionData* session = Live(handle, "GetSessionVar");
  if (session == nullptr) return -1;
  if (name == nullptr || buffer == nullptr || bufferSize <= 0) {
    session->state->log("GetSessionVar: null name or buffer");
    return -1;
  }
  return Guarded(*session->state, "GetSessionVar", -1, [&]() -> int32_t {
    session->state->result.sessions[session->outcome].varsRead++;
    auto found = session->vars.find(name);
    CopyOut(found == session->vars.end() ? std::string() : found->second, buffer, bufferSize);
    return found == session->vars.end() ? -1 : 0;
  });
}

int32_t SetSessionVar(SessionHandle* handle, const char* name, const char* value) {
  SessionData* session = Live(handle, "SetSessionVar");
  if (session == nullptr) return -1;
  if (name == nullptr || value == nullptr) {
    session->state->log("SetSessionVar: null name or value");
    return -1;
  }
  return Guarded(*session->state, "SetSessionVar", -1, [&]() -> int32_t {
    session->state->result.sessions[session->outcome].varsWritten++;
    session->vars[name] = value;
    return 0;
  });
}

SessionHandle* OpenKeyedSession(HostApi* api, const char* tag, const char* key, int32_t two, int32_t* status) {
  RequestState& state = StateOf(api);
  return Guarded(state, "OpenKeyedSession", static_cast<SessionHandle*>(nullptr), [&]() -> SessionHandle* {
    if (status != nullptr) *status = 0;
    if (tag == nullptr || key == nullptr) {
      state.log("OpenKeyedSession: null tag or key");
      if (status != nullptr) *status = -1;
      return nullptr;
    }
    if (two != 2) state.log("OpenKeyedSession: fourth argument " + std::to_string(two) + " instead of 2");
    int64_t now = state.host.now();
    bool exists = state.host.withState([&](SqliteDb& db) {
      if (Exists(db, SessionKind::Keyed, tag, key) && Expired(db, tag, key, now)) Discard(db, SessionKind::Keyed, tag, key);
      return Exists(db, SessionKind::Keyed, tag, key);
    });
    SessionData* session = NewHandle(state, SessionKind::Keyed, tag, key, "", !exists);
    state.host.withState([&](SqliteDb& db) {
      if (exists) {
        Load(db, *session);
      } else {
        Store(db, *session, now);
      }
    });
    return &session->handle;
  });
}

int32_t SetKeyedSessionOption(SessionHandle* handle, int32_t option, int32_t value) {
  return SetSessionOption(handle, option, value);
}

int32_t CloseKeyedSession(SessionHandle* handle, int32_t zero) {
  SessionData* session = Live(handle, "CloseKeyedSession");
  if (session == nullptr) return -1;
  if (zero != 0) session->state->log("CloseKeyedSession: second argument " + std::to_string(zero) + " instead of 0");
  return CloseSession(handle, 0);
}

}  // namespace slots
}  // namespace omserver
