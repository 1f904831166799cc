#include "conversations.h"

#include "services/services.h"

namespace omtest {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;

std::string ExpectReply(const RequestResult& result, const std::string& call, const std::string& word) {
  if (result.replies.size() != 1) return std::to_string(result.replies.size()) + " replies instead of one";
  const omserver::ReplyCall& reply = result.replies.front();
  if (reply.call != call || reply.word != word) {
    return "reply " + reply.call + " " + reply.word.value_or("<null>") + " (code " + std::to_string(reply.code) +
           ") instead of " + call + " " + word;
  }
  return "";
}

std::string ExpectEqual(const char* what, const std::optional<std::string>& got, const std::string& expected) {
  if (got == expected) return "";
  return std::string(what) + " is \"" + got.value_or("<none>") + "\" instead of \"" + expected + "\"";
}

namespace {

RequestSpec Query(NameValues query, NameValues cookies = {}) {
  RequestSpec incoming;
  incoming.query = std::move(query);
  incoming.cookies = std::move(cookies);
  return incoming;
}

// The only reply, or an empty one (ExpectReply has then said what is wrong).
const omserver::ReplyCall& R(const RequestResult& result) {
  static const omserver::ReplyCall kNone{};
  return result.replies.empty() ? kNone : result.replies.front();
}

// The first error of a list of checks.
std::string First(std::initializer_list<std::string> errors) {
  for (const std::string& error : errors) {
    if (!error.empty()) return error;
  }
  return "";
}

std::string V(const char* prefix, int visitor, const char* suffix = "") {
  return prefix + std::to_string(visitor) + suffix;
}

NameValues ReplyPages(int n) {
  return {{"success", V("/s-", n, ".htm")}, {"failure", V("/f-", n, ".htm")}, {"msgbase", V("m", n)}, {"relay", V("/r-", n, ".htm")}};
}

NameValues With(NameValues base, const NameValues& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

NameValues LoginCookies(int n) { return {{"OMV", "31"}, {"OMI", std::to_string(1000 + n)}, {"OMD", "7"}, {"CHAR", "Fox"}}; }

std::vector<ConversationStep> PrepareRedirect(int n) {
  return {{Query({{"URL", V("/next-", n, ".htm")}, {"GT", std::to_string(n)}}), [n](const RequestResult& r) {
             return First({ExpectReply(r, "Redirect", "SUCCESS"),
                           ExpectEqual("url", R(r).url, V("/next-", n, ".htm")),
                           ExpectEqual("cookie GT", r.cookie("GT"), std::to_string(n))});
           }}};
}

std::vector<ConversationStep> PrepareRelay(int n) {
  return {{Query({{"URL", V("/next-", n, ".htm")}, {"METAREFRESH", "1"}, {"PFID", std::to_string(n)}}),
           [n](const RequestResult& r) {
             return First({ExpectReply(r, "Respond", "RELAY"),
                           ExpectEqual("target", R(r).target, V("/next-", n, ".htm")),
                           ExpectEqual("cookie PFID", r.cookie("PFID"), std::to_string(n))});
           }}};
}

// The registration answers 3234 on a stand-in without a host registry; with one, it sends
// the browser to its success page with the key, or to its failure page with the status.
std::string CheckHostRegistration(const RequestResult& r, int n) {
  bool noRegistry = false;
  for (const std::string& line : r.hostLog) noRegistry = noRegistry || line.find("RegisterHost: not offered") != std::string::npos;
  if (noRegistry || R(r).call == "Respond") {  // no registry: 3234; a registry's refusal: its status
    return First({ExpectReply(r, "Respond", "FAILURE"), !noRegistry || R(r).code == 3234 ? "" : "code is not 3234",
                  R(r).code != 0 ? "" : "a failure without a code", ExpectEqual("target", R(r).target, V("/f-", n, ".htm")),
                  ExpectEqual("msgbase", R(r).msgbase, V("m", n))});
  }
  std::string error = ExpectReply(r, "Redirect", "SUCCESS");
  if (!error.empty()) return error;
  const std::string url = R(r).url.value_or("");
  return url.rfind(V("/s-", n, ".htm?hostkey="), 0) == 0 ? "" : "redirect to \"" + url + "\"";
}

std::vector<ConversationStep> HostVisit(int n) {
  return {
      {Query(With(ReplyPages(n), {{"pfid", std::to_string(n)}, {"pfid2", "2"}}), LoginCookies(n)),
       [n](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "RELAY"), ExpectEqual("text", R(r).text, "Contacting Orbitmere...."),
                       ExpectEqual("msgbase", R(r).msgbase, V("/r-", n, ".htm")),
                       ExpectEqual("cookie OMPF", r.cookie("OMPF"), std::to_string(n))});
       }},
      {Query({{"pfid", "99999"}}, LoginCookies(n)),
       [n](const RequestResult& r) {
         return First({CheckHostRegistration(r, n), ExpectEqual("cookie OMPF", r.cookie("OMPF"), std::to_string(n)),
                       r.sessions.size() == 1 && !r.sessions[0].isNew && r.sessions[0].end == 1 ? "" : "the session did not end"});
       }},
  };
}

// The framework's page machinery through its test plug-in: page variables kept in the
// session between the relay and the work request.
std::vector<ConversationStep> TestPageVisit(int n) {
  return {
      {Query(With(ReplyPages(n), {{"action", "succeedtext"}, {"note", V("note-", n)}, {"number", std::to_string(n)}})),
       [](const RequestResult& r) { return ExpectReply(r, "Respond", "RELAY"); }},
      {Query({{"note", "not taken"}}),
       [n](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "SUCCESS"), ExpectEqual("text", R(r).text, "Done."),
                       ExpectEqual("note", r.replyVar("note"), V("note-", n)),
                       ExpectEqual("number", r.replyVar("number"), std::to_string(n)),
                       ExpectEqual("target", R(r).target, V("/s-", n, ".htm"))});
       }},
  };
}

// Alice of the demo service (omserver init-db --demo): account 1, login value 1001, her
// default player Fox (1) and a second player Wren (2).
NameValues Alice() { return {{"OMV", "1001"}, {"OMI", "1"}, {"OMD", "1"}, {"CHAR", "Fox"}}; }

RequestSpec Form(NameValues form, NameValues cookies) {
  RequestSpec incoming;
  incoming.form = std::move(form);
  incoming.cookies = std::move(cookies);
  return incoming;
}

// OMAccount reads Alice's personal data: relay, then the success page with the data shown.
std::vector<ConversationStep> AccountGetInfo(int n) {
  return {
      {Form(With(ReplyPages(n), {{"action", "GetInfo"}}), Alice()),
       [](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "RELAY"), ExpectEqual("text", R(r).text, "Contacting account databases....")});
       }},
      {Form({}, Alice()),
       [n](const RequestResult& r) {
         return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, V("/s-", n, ".htm")),
                       ExpectEqual("firstname", r.replyVar("firstname"), "Alice"),
                       ExpectEqual("lastname", r.replyVar("lastname"), "Archer"),
                       ExpectEqual("city", r.replyVar("city"), "Portsea")});
       }},
  };
}

// OMCharacter lists Alice's players: relay, then the list and the success page.
std::vector<ConversationStep> CharacterGet(int n) {
  return {
      {Query(With(ReplyPages(n), {{"action", "GET"}, {"pfid", "27"}}), Alice()),
       [](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "RELAY"), ExpectEqual("text", R(r).text, "Contacting player databases....")});
       }},
      {Query({}, Alice()),
       [n](const RequestResult& r) {
         const bool listed = r.body.find(">Fox<") != std::string::npos && r.body.find(">Wren<") != std::string::npos;
         return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, V("/s-", n, ".htm")),
                       ExpectEqual("charactername", r.replyVar("charactername"), "Fox"),
                       listed ? "" : "the list lacks Fox or Wren: " + r.body});
       }},
  };
}

// OMJoin Auth to the game server the fixture registers (kJoinServer): relay, then admitted
// at once to the visitor's success page with the server's number joined on.
std::vector<ConversationStep> JoinAuth(int n) {
  const NameValues query =
      With(ReplyPages(n), {{"start", V("/login-", n, ".htm")}, {"mode", "Auth"}, {"rid", std::to_string(kJoinServer)}, {"pfid", "27"}});
  return {
      {Query(query), [](const RequestResult& r) { return ExpectReply(r, "Respond", "RELAY"); }},
      {Query(query), [n](const RequestResult& r) {
         return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, V("/s-", n, ".htm?rid=") + std::to_string(kJoinServer))});
       }},
  };
}

}  // namespace

void AddJoinServer(omserver::Host& host) {
  omserver::services::ServerConfig server;
  server.rid = kJoinServer;
  server.gsid = "gs-alpha";
  server.name = "Alpha";
  server.fields = {{"own", 1}, {"scramble-key", 4242}, {"address", 0x0A000001}, {"port", 7000}, {"app-id", 12}};
  omserver::services::AddServer(host, server);
}

const std::vector<ConversationRow>& Conversations() {
  static const std::vector<ConversationRow> rows = {
      {"prepare redirect", "OMPrepare", PrepareRedirect},
      {"prepare relay", "OMPrepare", PrepareRelay},
      {"host visit", "OMHost", HostVisit},
      {"framework test page", "OMTestPage", TestPageVisit},
      {"account personal data", "OMAccount", AccountGetInfo},
      {"character list", "OMCharacter", CharacterGet},
      {"join a server", "OMJoin", JoinAuth},
  };
  return rows;
}

}  // namespace omtest
