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

// One SendMail call: what the plug-in handed over and whether the host sent it.
struct MailOutcome {
  std::string to;
  std::string subject;
  std::string body;
  bool sent = false;
  std::string reason;  // why it was not sent; empty when sent
};

// One LogEvent call.
struct LogEntry {
  int32_t accountId = 0;
  int32_t characterId = 0;
  std::string tag;
  std::string detail;
};

// One RegisterHost call: the record's inputs and the host's answer.
struct HostRegistration {
  int32_t accountId = 0;
  int32_t loginValue = 0;
  int32_t pfid = 0;
  int32_t characterId = 0;
  int32_t status = 0;
  std::string hostKey;
};

// One QueryAccountRecord call: the join-ticket request's inputs and the host's answer.
struct JoinTicketOutcome {
  int32_t accountId = 0;
  int32_t loginValue = 0;
  int32_t characterId = 0;
  std::string userId;
  int32_t rid = 0;
  int32_t serverAddress = 0;
  int32_t serverPort = 0;
  int32_t status = 0;
  std::string ticket;
};

struct RequestResult {
  std::vector<ReplyCall> replies;
  NameValues cookies;    // in order of first setting; a later set of the same name wins
  NameValues replyVars;
  std::string body;      // what WriteText wrote
  std::vector<SessionOutcome> sessions;
  std::vector<std::string> hostLog;  // the host's notes: misuse by the plug-in, failed statements
  int32_t bodyResult = 0;
  // What the host's other services received and answered during the request.
  std::vector<MailOutcome> mails;
  std::vector<LogEntry> eventLog;
  std::vector<std::string> eventRecords;  // each the raw 932 bytes of a posted EventRecord
  int32_t failuresNoted = 0;              // NoteFailure calls
  std::optional<std::vector<std::string>> accountCodes;  // the last SetAccountCodes list
  std::vector<HostRegistration> hostRegistrations;
  std::vector<JoinTicketOutcome> joinTickets;
  std::vector<std::string> serviceCalls;  // one line per service call and its answer

  // The value of a cookie set by the reply, if any.
  std::optional<std::string> cookie(const std::string& name) const;
  std::optional<std::string> replyVar(const std::string& name) const;
};

}  // namespace omserver

#endif
