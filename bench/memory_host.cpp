#include "memory_host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace ombench {
namespace {

void Copy(char* destination, size_t size, const char* source) {
  if (size == 0) return;
  size_t length = source == nullptr ? 0 : strnlen(source, size - 1);
  if (length > 0) memcpy(destination, source, length);
  destination[length] = '\0';
}

}  // namespace

const char* MemoryHost::Table::find(const char* name) const {
  for (int32_t i = 0; i < count; ++i) {
    if (strcmp(entries[i].name, name) == 0) return entries[i].value;
  }
  return nullptr;
}

void MemoryHost::Table::put(const char* name, const char* value) {
  for (int32_t i = 0; i < count; ++i) {
    if (strcmp(entries[i].name, name) == 0) {
      Copy(entries[i].value, sizeof entries[i].value, value);
      return;
    }
  }
  if (count == kCapacity) return;
  Copy(entries[count].name, sizeof entries[count].name, name);
  Copy(entries[count].value, sizeof entries[count].value, value);
  ++count;
}

// The slots. Each finds its host from the record (the record is the host's first member).
struct Slots {
  static MemoryHost& Of(HostApi* api) { return *reinterpret_cast<MemoryHost*>(api); }
  static thread_local MemoryHost* session;  // the host whose session handle is out

  static int32_t GetVar(HostApi* api, int32_t scope, const char* name, char* buffer, int32_t size) {
    PauseAllocationCount pause;
    MemoryHost& host = Of(api);
    if (name == nullptr || buffer == nullptr || size <= 0) return -1;
    const int32_t bits[4] = {ScopeSource1, ScopeSource2, ScopeSource4, ScopeCookie};
    for (int i = 0; i < 4; ++i) {
      if ((scope & bits[i]) == 0) continue;
      if (const char* value = host.request_[i].find(name)) {
        Copy(buffer, static_cast<size_t>(size), value);
        return static_cast<int32_t>(strlen(buffer));
      }
    }
    return -1;
  }
  static int32_t SetVar(HostApi* api, int32_t scope, const char* name, const char* value) {
    PauseAllocationCount pause;
    if (name == nullptr || value == nullptr) return -1;
    if (scope == ScopeCookie) Of(api).replyCookies_.put(name, value);
    else if (scope == ScopeReply) Of(api).replyVars_.put(name, value);
    else return -1;
    return 0;
  }
  static void Reply(MemoryHost& host, const char* word, int32_t code, const char* target) {
    ++host.replies_;
    Copy(host.replyWord_, sizeof host.replyWord_, word);
    Copy(host.replyTarget_, sizeof host.replyTarget_, target);
    host.replyCode_ = code;
  }
  static int32_t Redirect(HostApi* api, const char* word, const char* url, int32_t) {
    PauseAllocationCount pause;
    Reply(Of(api), word, 0, url);
    return 0;
  }
  static int32_t Respond(HostApi* api, const char* word, const char*, int32_t code, const char*, const char* target,
                         int32_t) {
    PauseAllocationCount pause;
    Reply(Of(api), word, code, target);
    return 0;
  }
  static int32_t WriteText(HostApi*, int32_t, const char*) { return 0; }
  static SessionHandle* OpenSession(HostApi* api, const char*, const char* cookie) {
    PauseAllocationCount pause;
    MemoryHost& host = Of(api);
    const char* id = host.request_[3].find(cookie);
    const bool known = host.sessionExists_ && id != nullptr && strcmp(id, "S0000010000000000000001") == 0;
    if (!known) {
      host.session_.count = 0;
      host.replyCookies_.put(cookie, "S0000010000000000000001");
    }
    host.handle_[SessionIsNewOffset] = known ? 0 : 1;
    Copy(host.sessionCookie_, sizeof host.sessionCookie_, cookie);
    host.sessionExists_ = true;
    host.sessionOpen_ = true;
    session = &host;
    return reinterpret_cast<SessionHandle*>(host.handle_);
  }
  static int32_t SetSessionOption(SessionHandle*, int32_t, int32_t) { return 0; }
  static int32_t CloseSession(SessionHandle*, int32_t end) {
    PauseAllocationCount pause;
    if (session == nullptr) return -1;
    session->sessionOpen_ = false;
    if (end == 1) {
      session->sessionExists_ = false;
      session->session_.count = 0;
    }
    session = nullptr;
    return 0;
  }
  static int32_t GetSessionVar(SessionHandle*, const char* name, char* buffer, int32_t size) {
    PauseAllocationCount pause;
    if (session == nullptr || name == nullptr || buffer == nullptr || size <= 0) return -1;
    const char* value = session->session_.find(name);
    if (value == nullptr) return -1;
    Copy(buffer, static_cast<size_t>(size), value);
    return static_cast<int32_t>(strlen(buffer));
  }
  static int32_t SetSessionVar(SessionHandle*, const char* name, const char* value) {
    PauseAllocationCount pause;
    if (session == nullptr || name == nullptr || value == nullptr) return -1;
    session->session_.put(name, value);
    return 0;
  }
  static SessionHandle* OpenKeyedSession(HostApi*, const char*, const char*, int32_t, int32_t* status) {
    if (status != nullptr) *status = -1;
    return nullptr;
  }
  // ---- The memory database ----
  using Connection = MemoryHost::Connection;
  static Connection* Open(DbHandle* db) {
    auto* connection = reinterpret_cast<Connection*>(db);
    return connection != nullptr && connection->open ? connection : nullptr;
  }
  static DbHandle* DbOpen(HostApi* api, int32_t database, int32_t* error) {
    PauseAllocationCount pause;
    MemoryHost& host = Of(api);
    int32_t refusal = host.source_ ? 0 : -1;
    if (refusal == 0 && (database < 0 || database >= MemoryHost::kDatabases)) refusal = -3;
    Connection* free = nullptr;
    for (Connection& connection : host.connections_) {
      if (!connection.open && free == nullptr) free = &connection;
    }
    if (refusal == 0 && free == nullptr) refusal = -6;
    if (error != nullptr) *error = refusal;
    if (refusal != 0) return nullptr;
    free->host = &host;
    free->database = database;
    free->open = true;
    free->endStatement();
    return reinterpret_cast<DbHandle*>(free);
  }
  static int32_t DbRelease(DbHandle* db) {
    Connection* connection = Open(db);
    if (connection == nullptr) return -1;
    connection->endStatement();
    connection->open = false;
    return 0;
  }
  static int32_t DbSetTag(DbHandle* db, const char*, int32_t, int32_t) {
    Connection* connection = Open(db);
    if (connection == nullptr) return -1;
    connection->endStatement();
    connection->started = true;
    return 0;
  }
  static int32_t DbSetQuery(DbHandle* db, const char* sql) {
    Connection* connection = Open(db);
    if (connection == nullptr || !connection->started || connection->executed || sql == nullptr) return -1;
    const size_t length = strlen(sql);
    if (length >= static_cast<size_t>(Connection::kTextSize - connection->length)) {
      connection->overflow = true;
      return -1;
    }
    memcpy(connection->text + connection->length, sql, length + 1);
    connection->length += static_cast<int32_t>(length);
    return 0;
  }
  static int32_t DbExecute(DbHandle* db) {
    PauseAllocationCount pause;
    Connection* connection = Open(db);
    if (connection == nullptr || !connection->started || connection->executed) return -1;
    connection->executed = true;
    if (connection->overflow) return -1;
    const MemoryHost::Learned& learned =
        connection->host->answer(connection->database, std::string_view(connection->text, static_cast<size_t>(connection->length)));
    if (!learned.ok) return -1;
    connection->learned = &learned;
    return 0;
  }
  static int32_t DbNextResult(DbHandle* db, int32_t* out1, int32_t* out2, int32_t) {
    Connection* connection = Open(db);
    if (connection == nullptr || connection->learned == nullptr) return -1;
    connection->bound = 0;
    connection->current = nullptr;
    const int32_t next = connection->nextResult++;
    if (next >= static_cast<int32_t>(connection->learned->results.size())) return -1;
    const MemoryResult& result = connection->learned->results[static_cast<size_t>(next)];
    connection->current = &result;
    connection->row = 0;
    if (out1 != nullptr) *out1 = result.columns;
    if (out2 != nullptr) *out2 = result.columns == 0 ? result.changes : result.rows();
    return 0;
  }
  static int32_t DbBindColumn(DbHandle* db, int32_t type, int32_t size, void* target) {
    Connection* connection = Open(db);
    if (connection == nullptr || connection->current == nullptr || target == nullptr) return -1;
    if (connection->bound >= connection->current->columns || connection->bound >= Connection::kBindings) return -1;
    if (type != DbColumnText && type != DbColumnChar && type != DbColumnInt) return -1;
    if (type == DbColumnText && size < 1) return -1;
    connection->bindings[connection->bound++] = {type, size, target};
    return 0;
  }
  static int32_t DbFetch(DbHandle* db) {
    Connection* connection = Open(db);
    if (connection == nullptr || connection->current == nullptr) return -1;
    const MemoryResult& result = *connection->current;
    if (connection->row >= result.rows()) return -1;
    const size_t first = static_cast<size_t>(connection->row++) * static_cast<size_t>(result.columns);
    for (int32_t column = 0; column < connection->bound; ++column) {
      const MemoryHost::Binding& binding = connection->bindings[column];
      const std::string& cell = result.cells[first + static_cast<size_t>(column)];
      if (binding.type == DbColumnText) {
        Copy(static_cast<char*>(binding.target), static_cast<size_t>(binding.size), cell.c_str());
      } else if (binding.type == DbColumnChar) {
        *static_cast<char*>(binding.target) = cell.empty() ? '\0' : cell[0];
      } else {
        // As the stand-in reads a column bound as an integer: a text that is no number reads
        // 0, a number beyond 32 bits the nearest bound.
        char* end = nullptr;
        const long long parsed = strtoll(cell.c_str(), &end, 10);
        long long number = end == cell.c_str() || *end != '\0' ? 0 : parsed;
        if (number < INT32_MIN) number = INT32_MIN;
        if (number > INT32_MAX) number = INT32_MAX;
        const auto value = static_cast<int32_t>(number);
        memcpy(binding.target, &value, sizeof value);
      }
    }
    return 0;
  }
  static int32_t DbCloseCursor(DbHandle* db) {
    Connection* connection = Open(db);
    if (connection == nullptr || !connection->started) return -1;
    connection->endStatement();
    return 0;
  }

  // ---- One game server: the join's own, not queued, asking for nothing more ----
  static int32_t GetServerRecord(HostApi*, ServerRecord* record) {
    if (record == nullptr) return -1;
    record->found = 1;
    record->ownServer = 1;
    record->serverAddress = 0x0A000001;
    record->serverPort = 7000;
    Copy(record->serverName, sizeof record->serverName, "Alpha");
    if (record->gsid[0] == '\0') Copy(record->gsid, sizeof record->gsid, "gs-alpha");
    record->appId = 12;
    record->scrambleKey = 4242;
    return 0;
  }
  static int32_t QueryProductRecord(HostApi*, ProductRecord* record) {
    if (record == nullptr) return -1;
    record->count = 0;
    return 0;
  }
  static int32_t IsDbOffline(HostApi*) { return 0; }
  static int32_t RegisterHost(HostApi*, HostRecord* record) {
    PauseAllocationCount pause;
    record->status = 0;
    Copy(record->hostKey, sizeof record->hostKey, "K1");
    return 0;
  }
  static int32_t FormatAddress(HostApi*, int32_t address, int32_t port, char* buffer, int32_t size) {
    PauseAllocationCount pause;
    if (buffer == nullptr || size <= 0) return -1;
    const auto a = static_cast<uint32_t>(address);
    snprintf(buffer, static_cast<size_t>(size), "%u.%u.%u.%u:%d", (a >> 24) & 0xFFu, (a >> 16) & 0xFFu, (a >> 8) & 0xFFu,
             a & 0xFFu, port);
    return 0;
  }
  static int32_t Fail() { return -1; }
};
thread_local MemoryHost* Slots::session = nullptr;

MemoryHost::MemoryHost() {
  memset(&api_, 0, sizeof api_);
  api_.PageUrl = pageUrl_;
  api_.GetVar = Slots::GetVar;
  api_.SetVar = Slots::SetVar;
  api_.Redirect = Slots::Redirect;
  api_.Respond = Slots::Respond;
  api_.WriteText = Slots::WriteText;
  api_.OpenSession = Slots::OpenSession;
  api_.SetSessionOption = Slots::SetSessionOption;
  api_.CloseSession = Slots::CloseSession;
  api_.GetSessionVar = Slots::GetSessionVar;
  api_.SetSessionVar = Slots::SetSessionVar;
  api_.OpenKeyedSession = Slots::OpenKeyedSession;
  api_.DbOpen = Slots::DbOpen;
  api_.DbRelease = Slots::DbRelease;
  api_.DbSetTag = Slots::DbSetTag;
  api_.DbSetQuery = Slots::DbSetQuery;
  api_.DbExecute = Slots::DbExecute;
  api_.DbNextResult = Slots::DbNextResult;
  api_.DbBindColumn = Slots::DbBindColumn;
  api_.DbFetch = Slots::DbFetch;
  api_.DbCloseCursor = Slots::DbCloseCursor;
  api_.IsDbOffline = Slots::IsDbOffline;
  api_.GetServerRecord = Slots::GetServerRecord;
  api_.QueryProductRecord = Slots::QueryProductRecord;
  api_.GetHostNumber = [](HostApi*) { return 1; };
  api_.SetAccountCodes = [](HostApi*, CodeList*) { return 0; };
  api_.RegisterHost = Slots::RegisterHost;
  api_.FormatAddress = Slots::FormatAddress;
  api_.RandomRange = [](HostApi*, int32_t low, int32_t) { return low; };
  api_.NoteFailure = [](HostApi*) { return 0; };
  api_.LogEvent = [](HostApi*, int32_t, int32_t, const char*, const char*) { return 0; };
  api_.PostEventRecord = [](HostApi*, EventRecord*) { return 0; };
  api_.SendMail = [](HostApi*, const char*, const char*, const char*) { return -1; };
  api_.GetFeatureSwitch = [](HostApi*, int32_t, int32_t* enabled) {
    if (enabled != nullptr) *enabled = 0;
    return -1;
  };
  startRequest();
}

void MemoryHost::Connection::endStatement() {
  started = executed = overflow = false;
  length = 0;
  text[0] = '\0';
  learned = nullptr;
  nextResult = 0;
  current = nullptr;
  row = 0;
  bound = 0;
}

const MemoryHost::Learned& MemoryHost::answer(int32_t database, std::string_view text) {
  auto& learned = learnedByText_[database];
  auto known = learned.find(text);
  if (known != learned.end()) return known->second;
  Learned fresh;
  std::string statement(text);
  fresh.ok = source_(database, statement, fresh.results);
  ++learned_;
  return learned.emplace(std::move(statement), std::move(fresh)).first->second;
}

void MemoryHost::resetReplies() {
  replyCookies_.count = 0;
  replyVars_.count = 0;
  replies_ = 0;
  replyCode_ = 0;
  replyWord_[0] = '\0';
  replyTarget_[0] = '\0';
}

void MemoryHost::startRequest(int32_t kind) {
  for (Connection& connection : connections_) connection.open = false;
  for (Table& table : request_) table.count = 0;
  replyCookies_.count = 0;
  replyVars_.count = 0;
  replies_ = 0;
  replyCode_ = 0;
  replyWord_[0] = '\0';
  replyTarget_[0] = '\0';
  api_.RequestKind.value = kind;
  api_.ClientAddress.value = 0x7F000001;
  api_.ClientPort.value = 50000;
  if (sessionExists_) add(ScopeCookie, sessionCookie_, "S0000010000000000000001");
}

void MemoryHost::setPageUrl(const char* url) { Copy(pageUrl_, sizeof pageUrl_, url); }

void MemoryHost::forgetSession() {
  sessionExists_ = false;
  session_.count = 0;
}

void MemoryHost::add(int32_t scope, const char* name, const char* value) {
  const int index = scope == ScopeSource1 ? 0 : scope == ScopeSource2 ? 1 : scope == ScopeSource4 ? 2 : 3;
  request_[index].put(name, value);
}

}  // namespace ombench
