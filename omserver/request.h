// What one request brings to a plug-in and everything the plug-in did in answer.
#ifndef OM_OMSERVER_REQUEST_H
#define OM_OMSERVER_REQUEST_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace omserver {

using NameValues = std::vector<std::pair<std::string, std::string>>;

struct RequestSpec {
  int32_t kind = 1;                  // RequestKind: 1 browser page, 2 reply-variable caller
  std::string pageUrl;               // PageUrl: the plug-in's own address
  uint32_t clientAddress = 0x7F000001;
  int32_t clientPort = 50000;
  NameValues source1;                // variables the host supplies itself
  NameValues query;                  // source 2
  NameValues form;                   // source 4
  NameValues cookies;                // cookies the browser sends
};

// One call of Redirect or Respond, with every argument; a null text stays empty.
struct ReplyCall {
  std::string call;  // "Redirect" or "Respond"
  std::optional<std::string> word;
  std::optional<std::string> url;      // Redirect
  std::optional<std::string> msgbase;  // Respond
  int32_t code = 0;
  std::optional<std::string> text;
  std::optional<std::string> target;
  int32_t delay = 0;
  int32_t zero = 0;                    // Redirect's fourth argument
};

struct SessionOutcome {
  bool keyed = false;
  std::string tag;
  std::string cookie;  // the cookie name (keyed sessions: empty)
  std::string id;      // the session's id (keyed sessions: the key)
  bool isNew = false;
  bool closed = false;
  int32_t end = 0;
  int32_t varsWritten = 0;  // SetSessionVar calls on this handle
  int32_t varsRead = 0;     // GetSessionVar calls on this handle
};

struct RequestResult {
  std::vector<ReplyCall> replies;
  NameValues cookies;    // in order of first setting; a later set of the same name wins
  NameValues replyVars;
  std::string body;      // what WriteText wrote
  std::vector<SessionOutcome> sessions;
  std::vector<std::string> hostLog;  // the host's notes: misuse by the plug-in, failed statements
  int32_t bodyResult = 0;

  // The value of a cookie set by the reply, if any.
  std::optional<std::string> cookie(const std::string& name) const;
  std::optional<std::string> replyVar(const std::string& name) const;
};

}  // namespace omserver

#endif
