// Request variables, cookies, reply variables, replies and the reply body.
#include <optional>
#include <string>

#include "context.h"
#include "slots.h"
#include "slots_guard.h"

namespace omserver::slots {
namespace {

const std::string* Find(const NameValues& values, const char* name) {
  for (const auto& [key, value] : values) {
    if (key == name) return &value;
  }
  return nullptr;
}

void Put(NameValues& values, const char* name, const char* value) {
  for (auto& [key, current] : values) {
    if (key == name) {
      current = value;
      return;
    }
  }
  values.emplace_back(name, value);
}

std::optional<std::string> Text(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

void NoteReply(RequestState& state, ReplyCall call) {
  if (!state.result.replies.empty()) state.log(call.call + ": a second reply in one request");
  state.result.replies.push_back(std::move(call));
}

}  // namespace

// The sources are searched in the order host-supplied (1), query (2), form (4), then the
// request's cookies (8); the first source that holds the name answers.
int32_t GetVar(HostApi* api, int32_t scope, const char* name, char* buffer, int32_t bufferSize) {
  RequestState& state = StateOf(api);
  return Guarded(state, "GetVar", -1, [&]() -> int32_t {
    if (name == nullptr || buffer == nullptr || bufferSize <= 0) {
      state.log("GetVar: null name or buffer, or a buffer size of " + std::to_string(bufferSize));
      return -1;
    }
    const RequestSpec& incoming = state.incoming;
    const std::string* value = nullptr;
    if (!value && (scope & ScopeSource1)) value = Find(incoming.source1, name);
    if (!value && (scope & ScopeSource2)) value = Find(incoming.query, name);
    if (!value && (scope & ScopeSource4)) value = Find(incoming.form, name);
    if (!value && (scope & ScopeCookie)) value = Find(incoming.cookies, name);
    if (value == nullptr) return -1;
    CopyOut(*value, buffer, bufferSize);
    return static_cast<int32_t>(value->size() < static_cast<size_t>(bufferSize) ? value->size() : bufferSize - 1);
  });
}

int32_t SetVar(HostApi* api, int32_t scope, const char* name, const char* value) {
  RequestState& state = StateOf(api);
  return Guarded(state, "SetVar", -1, [&]() -> int32_t {
    if (name == nullptr || value == nullptr) {
      state.log("SetVar: null name or value");
      return -1;
    }
    if (scope == ScopeCookie) {
      Put(state.result.cookies, name, value);
    } else if (scope == ScopeReply) {
      Put(state.result.replyVars, name, value);
    } else {
      state.log("SetVar: scope " + std::to_string(scope) + " is neither cookies (8) nor reply variables (64)");
      return -1;
    }
    return 0;
  });
}

int32_t Redirect(HostApi* api, const char* word, const char* url, int32_t zero) {
  RequestState& state = StateOf(api);
  return Guarded(state, "Redirect", -1, [&]() -> int32_t {
    ReplyCall call;
    call.call = "Redirect";
    call.word = Text(word);
    call.url = Text(url);
    call.zero = zero;
    NoteReply(state, std::move(call));
    return 0;
  });
}

int32_t Respond(HostApi* api, const char* word, const char* msgbase, int32_t code, const char* text,
                const char* target, int32_t delay) {
  RequestState& state = StateOf(api);
  return Guarded(state, "Respond", -1, [&]() -> int32_t {
    ReplyCall call;
    call.call = "Respond";
    call.word = Text(word);
    call.msgbase = Text(msgbase);
    call.code = code;
    call.text = Text(text);
    call.target = Text(target);
    call.delay = delay;
    NoteReply(state, std::move(call));
    return 0;
  });
}

int32_t WriteText(HostApi* api, int32_t one, const char* text) {
  RequestState& state = StateOf(api);
  return Guarded(state, "WriteText", -1, [&]() -> int32_t {
    if (text == nullptr) {
      state.log("WriteText: null text");
      return -1;
    }
    if (one != 1) state.log("WriteText: second argument " + std::to_string(one) + " instead of 1");
    state.result.body += text;
    return 0;
  });
}

}  // namespace omserver::slots
