#include "memory_host.h"

#include <stdio.h>
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
  static DbHandle* DbOpen(HostApi*, int32_t, int32_t* error) {
    if (error != nullptr) *error = -1;
    return nullptr;
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
  api_.IsDbOffline = Slots::IsDbOffline;
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

void MemoryHost::resetReplies() {
  replyCookies_.count = 0;
  replyVars_.count = 0;
  replies_ = 0;
  replyCode_ = 0;
  replyWord_[0] = '\0';
  replyTarget_[0] = '\0';
}

void MemoryHost::startRequest(int32_t kind) {
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
