// Hostile input through whole conversations: every text variable and cookie of a page
// plug-in filled with SQL, markup, format directives, over-long texts and bytes above 127.
// The replies must stay the designed ones (with the hostile text cut to its buffer, never
// interpreted), nothing may crash, the host's log stays clean, and the databases hold
// exactly what the designed statements write: the plug-ins without databases none, the
// database plug-ins only the rows of the action under test, each payload stored byte for
// byte where it is stored (cut to its buffer), every other row as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "conversations.h"
#include "db/schema.h"
#include "services/services.h"
#include "sqlite_db.h"
#include "test_support.h"

namespace {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;
using omtest::ConversationStep;
using omtest::ExpectEqual;
using omtest::ExpectReply;

struct Payload {
  const char* name;
  std::string text;
  const char* decimal;  // what a number read from it is
  bool login = false;   // as all four login cookies it makes a login (numbers and a name)
};

const std::vector<Payload>& Payloads() {
  static const std::vector<Payload> payloads = {
      {"sql", "'; drop table login; --", "0"},
      {"sql quotes", "x' or '1'='1", "0"},
      {"format", "%s%n%x%s%s%s%n%p%ld%99999999d", "0"},
      {"markup", "<script>alert(\"x\")</script>", "0"},
      {"header", "a\r\nSet-Cookie: OMI=1\r\n", "0"},
      {"600 quotes", std::string(600, '\''), "0"},
      {"600 digits", std::string(600, '9'), "2147483647", true},
      {"600 mixed", [] { std::string t; while (t.size() < 600) t += "a'%s<b>&="; return t.substr(0, 600); }(), "0"},
      {"high bytes", "\xc3\xa9\xff\x80\xfe caf\xc3\xa9 \x9b", "0"},
      {"negative", "-12 ' --", "-12"},
  };
  return payloads;
}

// The payload as a buffer of `size` bytes keeps it.
std::string Cut(const std::string& text, size_t size) { return text.substr(0, std::min(text.size(), size - 1)); }

std::string First(std::initializer_list<std::string> errors) {
  for (const std::string& error : errors) {
    if (!error.empty()) return error;
  }
  return "";
}

const omserver::ReplyCall& R(const RequestResult& result) {
  static const omserver::ReplyCall kNone{};
  return result.replies.empty() ? kNone : result.replies.front();
}

NameValues All(std::initializer_list<const char*> names, const std::string& value) {
  NameValues values;
  for (const char* name : names) values.emplace_back(name, value);
  return values;
}

RequestSpec Query(NameValues query, NameValues cookies) {
  RequestSpec incoming;
  incoming.query = std::move(query);
  incoming.cookies = std::move(cookies);
  return incoming;
}

// What the databases must hold after a conversation; an empty text when they do.
std::string NoDatabaseTouched(const std::filesystem::path& data) {
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("db", 0) == 0) return "a database was opened: " + name;
  }
  return "";
}

// A table's rows an action is designed to write, left out of the before-and-after dump.
struct Written {
  const char* table;
  const char* where;
};

// Every row of every database file in the data directory but the written ones, as text.
std::string DumpDatabases(const std::filesystem::path& data, const std::vector<Written>& written) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("db", 0) == 0 && entry.path().extension() == ".sqlite") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string dump;
  for (const auto& file : files) {
    omserver::SqliteDb db(file.string());
    std::vector<std::string> tables;
    for (auto list = db.prepare("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"); list.step();) {
      tables.push_back(list.columnText(0));
    }
    for (const std::string& table : tables) {
      std::string sql = "SELECT * FROM \"" + table + "\"";
      for (const Written& w : written) {
        if (table == w.table) sql += std::string(" WHERE NOT (") + w.where + ")";
      }
      dump += file.filename().string() + " " + table + "\n";
      for (auto rows = db.prepare(sql + " ORDER BY 1, 2"); rows.step();) {
        for (int c = 0; c < rows.columnCount(); ++c) dump += (rows.isNull(c) ? "<null>" : rows.columnText(c)) + "|";
        dump += "\n";
      }
    }
  }
  return dump;
}

// The lines of two dumps that are not in both, each under its table: empty when they agree.
std::string DumpDifference(const std::string& before, const std::string& after) {
  auto lines = [](const std::string& dump) {
    std::vector<std::string> out;
    std::string table;
    size_t start = 0;
    for (size_t end; (end = dump.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = dump.substr(start, end - start);
      if (line.rfind("db", 0) == 0 && line.find(".sqlite ") != std::string::npos) table = line;
      else out.push_back(table + ": " + line);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<std::string> was = lines(before), is = lines(after);
  std::vector<std::string> gone, added;
  std::set_difference(was.begin(), was.end(), is.begin(), is.end(), std::back_inserter(gone));
  std::set_difference(is.begin(), is.end(), was.begin(), was.end(), std::back_inserter(added));
  std::string text;
  for (const std::string& line : gone) text += "gone " + line + "\n";
  for (const std::string& line : added) text += "new " + line + "\n";
  return text;
}

std::string Scalar(omserver::Host& host, const std::string& sql) {
  return omserver::db::OpenDatabase(host, omserver::db::kAccountDatabase).scalarText(sql).value_or("<none>");
}

struct InjectionRow {
  const char* name;
  const char* plugin;
  std::function<std::vector<ConversationStep>(const Payload&)> steps;
  std::function<std::string(const std::filesystem::path& data)> databases;  // the plug-ins without databases
  // The database plug-ins: the demo service filled first (and what else the row needs), the
  // rows the action writes, and what must be in them after the last reply.
  std::function<void(omserver::Host&, const Payload&)> setup = nullptr;
  std::vector<Written> written = {};
  std::function<std::string(omserver::Host&, const Payload&, const RequestResult& last)> stored = nullptr;
  // Host-log lines (by a part of their text) the host writes for this row's hostile text,
  // besides the slots this stand-in does not offer.
  std::vector<std::string> hostLogAllowed = {};
};

void Demo(omserver::Host& host, const Payload&) { omserver::db::FillDemo(host); }

// Alice of the demo service, logged in.
NameValues Alice() { return {{"OMV", "1001"}, {"OMI", "1"}, {"OMD", "1"}, {"CHAR", "Fox"}}; }

RequestSpec Form(NameValues form, NameValues cookies) {
  RequestSpec incoming;
  incoming.form = std::move(form);
  incoming.cookies = std::move(cookies);
  return incoming;
}

// A designed end of a database action: the success page, or the failure page with a code.
std::string SucceededOrRefused(const RequestResult& r, const std::string& page) {
  if (R(r).word == std::optional<std::string>("FAILURE")) {
    // A session id that names no session is refused before the page's values are read.
    if (R(r).code == 1004 && !R(r).target) return ExpectReply(r, "Respond", "FAILURE");
    return First({ExpectReply(r, "Respond", "FAILURE"), R(r).code != 0 ? "" : "a failure without a code",
                  ExpectEqual(("failure page of code " + std::to_string(R(r).code)).c_str(), R(r).target, page)});
  }
  if (R(r).call == "Redirect") return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, page)});
  return First({ExpectReply(r, "Respond", "SUCCESS"), ExpectEqual("success page", R(r).target, page)});
}

const NameValues kPages = {{"success", "/ok.htm"}, {"failure", "/ok.htm"}, {"msgbase", "mb"}, {"relay", "/relay.htm"}};

// The relay and then the work request of a two-stage action with these form values.
std::vector<ConversationStep> TwoStages(const NameValues& form, const NameValues& cookies, std::string page,
                                        std::function<std::string(const RequestResult&)> last) {
  return {{Form(form, cookies), [](const RequestResult& r) { return ExpectReply(r, "Respond", "RELAY"); }},
          {Form({}, cookies), [page, last](const RequestResult& r) {
             return First({SucceededOrRefused(r, page), last ? last(r) : ""});
           }}};
}

// An action whose checks may refuse it at once: the first request relays or is refused; the
// second (the same values, without a hostile session id) ends in success or a refusal with
// its code, or only in a refusal when `refused`.
std::vector<ConversationStep> RelayThenWork(RequestSpec first, RequestSpec second, bool refused = false) {
  return {{std::move(first),
           [](const RequestResult& r) {
             if (R(r).word == std::optional<std::string>("FAILURE")) return SucceededOrRefused(r, "/ok.htm");
             return ExpectReply(r, "Respond", "RELAY");
           }},
          {std::move(second), [refused](const RequestResult& r) {
             const bool failed = R(r).word == std::optional<std::string>("FAILURE");
             return First({SucceededOrRefused(r, "/ok.htm"), !refused || failed ? "" : "a login of hostile cookies was taken"});
           }}};
}

constexpr const char* kInfoNames[] = {"firstname", "minitial", "lastname", "address1", "address2", "city", "stateprovince",
                                      "postalcode", "country", "dayphone", "nightphone", "secretquestion", "secretanswer"};

// OMAccount SetInfo with the payload in every personal-data field: stored in each of them.
std::vector<ConversationStep> SetInfoSteps(const Payload& p) {
  NameValues form = kPages;
  form.emplace_back("action", "SetInfo");
  for (const char* name : kInfoNames) form.emplace_back(name, p.text);
  return TwoStages(form, Alice(), "/ok.htm", [](const RequestResult& r) {
    return First({ExpectReply(r, "Respond", "SUCCESS"), ExpectEqual("text", R(r).text, "Account information has been updated.")});
  });
}

std::string SetInfoStored(omserver::Host& host, const Payload& p, const RequestResult&) {
  const std::string cut = Cut(p.text, 64);
  std::string error = First({ExpectEqual("login fname", Scalar(host, "SELECT fname FROM login WHERE cid = 1"), cut),
                             ExpectEqual("login lname", Scalar(host, "SELECT lname FROM login WHERE cid = 1"), cut)});
  for (const char* name : kInfoNames) {
    const std::string column = std::string(name) == "firstname" ? "fname" : std::string(name) == "lastname" ? "lname" : name;
    if (error.empty()) {
      error = ExpectEqual(name, Scalar(host, "SELECT " + column + " FROM customer WHERE parentcid = 1"), cut);
    }
  }
  return error;
}

// OMAccount ChangePassword with the payload as the new password (and hostile texts in the
// other pages' values): refused by the password rules, or stored as typed.
std::vector<ConversationStep> ChangePasswordSteps(const Payload& p) {
  NameValues form = {{"success", "/ok.htm"}, {"failure", "/ok.htm"}, {"msgbase", p.text}, {"relay", p.text},
                     {"action", "ChangePassword"}, {"name", "alice"}, {"password", "wonder1"},
                     {"newpassword1", p.text}, {"newpassword2", p.text}};
  return RelayThenWork(Form(form, {{"OMACCOUNTSESSIONTAG", p.text}}), Form(form, {}));
}

std::string ChangePasswordStored(omserver::Host& host, const Payload& p, const RequestResult& last) {
  const std::string stored = Scalar(host, "SELECT password FROM login WHERE cid = 1");
  if (R(last).word == std::optional<std::string>("SUCCESS")) return ExpectEqual("password", stored, Cut(p.text, 64));
  return ExpectEqual("password", stored, "wonder1");
}

// OMAccount with hostile login cookies and session id: no login, nothing written.
std::vector<ConversationStep> AccountCookieSteps(const Payload& p) {
  NameValues cookies = All({"OMV", "OMI", "OMD", "CHAR", "OMACCOUNTSESSIONTAG"}, p.text);
  NameValues form = kPages;
  form.emplace_back("action", "SetInfo");
  form.emplace_back("firstname", "Eve");
  return RelayThenWork(Form(form, cookies), Form(form, All({"OMV", "OMI", "OMD", "CHAR"}, p.text)), true);
}

// OMCharacter NEW with the payload as the new player's name (and in the other texts).
std::vector<ConversationStep> CharacterNewSteps(const Payload& p) {
  NameValues query = {{"success", "/ok.htm"}, {"failure", "/ok.htm"}, {"msgbase", p.text}, {"relay", p.text},
                      {"action", "NEW"}, {"newcharactername", p.text}, {"charglsvssrequest", p.text}};
  NameValues cookies = Alice();
  cookies.emplace_back("OMCHARACTERSESSIONTAG", p.text);
  return RelayThenWork(Query(query, cookies), Query(query, Alice()));
}

std::string CharacterNewStored(omserver::Host& host, const Payload&, const RequestResult& last) {
  const std::string players = Scalar(host, "SELECT count(*) FROM character WHERE cid = 1");
  if (R(last).word != std::optional<std::string>("SUCCESS")) return ExpectEqual("Alice's players", players, "2");
  return First({ExpectEqual("Alice's players", players, "3"),
                ExpectEqual("new player", Scalar(host, "SELECT name FROM character WHERE cid = 1 ORDER BY chid DESC LIMIT 1"),
                            last.cookie("CHAR").value_or("<none>"))});
}

// OMCharacter with hostile login cookies: no login, nothing written.
std::vector<ConversationStep> CharacterCookieSteps(const Payload& p) {
  NameValues cookies = All({"OMV", "OMI", "OMD", "CHAR", "OMCHARACTERSESSIONTAG"}, p.text);
  NameValues query = {{"success", "/ok.htm"}, {"failure", "/ok.htm"}, {"action", "NEW"}, {"newcharactername", "Gamma"}};
  return RelayThenWork(Query(query, cookies), Query(query, All({"OMV", "OMI", "OMD", "CHAR"}, p.text)), true);
}

std::string NothingStored(omserver::Host&, const Payload&, const RequestResult&) { return ""; }

constexpr int32_t kJoinServer = 100;

// The demo service and the join's game server (the service's own, key 4242, at 10.0.0.1:7000)
// with `fields` set over its defaults.
void DemoWithJoinServer(omserver::Host& host, const std::map<std::string, int32_t>& fields) {
  omserver::db::FillDemo(host);
  omserver::services::ServerConfig server;
  server.rid = kJoinServer;
  server.gsid = "gs-alpha";
  server.name = "Alpha";
  server.fields = {{"own", 1}, {"scramble-key", 4242}, {"address", 0x0A000001}, {"port", 7000}, {"app-id", 12}};
  for (const auto& [name, value] : fields) server.fields[name] = value;
  omserver::services::AddServer(host, server);
}

void DemoWithServer(omserver::Host& host, const Payload&) { DemoWithJoinServer(host, {}); }

// OMJoin Auth to a known server, every text and cookie hostile: admitted to the success page
// (cut to its buffer) or refused with a code; the databases untouched.
std::vector<ConversationStep> JoinSteps(const Payload& p) {
  NameValues query = All({"success", "failure", "msgbase", "relay", "start", "private:stage", "action"}, p.text);
  query.emplace_back("mode", "Auth");
  query.emplace_back("rid", std::to_string(kJoinServer));
  NameValues cookies = All({"OMV", "OMI", "OMD", "CHAR", "OMJOINSESSIONTAG"}, p.text);
  const std::string page = Cut(p.text, 512);
  return {{Query(query, cookies), [](const RequestResult& r) { return ExpectReply(r, "Respond", "RELAY"); }},
          {Query(query, All({"OMV", "OMI", "OMD", "CHAR"}, p.text)), [page](const RequestResult& r) {
             if (R(r).call == "Redirect") {
               // The server's number joined on, the address cut at 511 characters.
               const std::string joined = page + (page.find('?') == std::string::npos ? "?" : "&") + "rid=100";
               return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, joined.substr(0, 511))});
             }
             return First({ExpectReply(r, "Respond", "FAILURE"), R(r).code != 0 ? "" : "a failure without a code"});
           }}};
}

constexpr const char* kLaunchValues[] = {"VER1", "VER2", "GT", "CC", "PRODUCTCODE", "JUNCTIONCODE", "USEJUNCTION", "PFID"};

std::vector<ConversationStep> PrepareSteps(const Payload& p) {
  NameValues query = All({"URL", "VER1", "VER2", "GT", "CC", "PRODUCTCODE", "JUNCTIONCODE", "USEJUNCTION", "PFID"}, p.text);
  NameValues cookies = All({"GT", "URL", "METAREFRESH"}, p.text);
  return {{Query(query, cookies), [p](const RequestResult& r) {
             std::string error = First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, Cut(p.text, 512))});
             for (const char* name : kLaunchValues) {
               if (error.empty()) error = ExpectEqual(name, r.cookie(name), Cut(p.text, 512));
             }
             return error;
           }}};
}

std::vector<ConversationStep> PrepareRefreshSteps(const Payload& p) {
  const bool relay = std::string(p.decimal) != "0";
  return {{Query({{"URL", p.text}, {"METAREFRESH", p.text}}, {}), [p, relay](const RequestResult& r) {
             if (relay) return First({ExpectReply(r, "Respond", "RELAY"), ExpectEqual("target", R(r).target, Cut(p.text, 512))});
             return First({ExpectReply(r, "Redirect", "SUCCESS"), ExpectEqual("url", R(r).url, Cut(p.text, 512))});
           }}};
}

const char* const kHostEmptied[] = {"PUBPCID", "PUBNAMEINFO", "PUBSQUADINFO", "OMPCID",     "OMNAMEINFO", "OMSQUADINFO",
                                    "OMTI",    "OMTV",        "AFFPCID",      "AFFNAMEINFO", "AFFSQUADINFO"};

std::string HostCookies(const RequestResult& r, const Payload& p) {
  for (const char* name : kHostEmptied) {
    std::string error = ExpectEqual(name, r.cookie(name), "");
    if (!error.empty()) return error;
  }
  return First({ExpectEqual("OMPF", r.cookie("OMPF"), p.decimal), ExpectEqual("OMPF2", r.cookie("OMPF2"), p.decimal)});
}

// The registration's designed outcomes: 3234 from a host without a registry; else the
// success page with "hostkey=" joined on, or the failure page with the host's status.
std::string HostRegistration(const RequestResult& r, const std::string& page) {
  bool noRegistry = false;
  for (const std::string& line : r.hostLog) noRegistry = noRegistry || line.find("RegisterHost: not offered") != std::string::npos;
  if (noRegistry || R(r).call == "Respond") {
    return First({ExpectReply(r, "Respond", "FAILURE"),
                  !noRegistry || R(r).code == 3234 ? "" : "code " + std::to_string(R(r).code) + " instead of 3234",
                  R(r).code != 0 ? "" : "a failure without a code", ExpectEqual("failure page", R(r).target, page),
                  ExpectEqual("msgbase", R(r).msgbase, page)});
  }
  std::string error = ExpectReply(r, "Redirect", "SUCCESS");
  if (!error.empty()) return error;
  const std::string url = R(r).url.value_or("");
  const std::string joined = page + (page.find('?') == std::string::npos ? "?" : "&") + "hostkey=";
  return url.rfind(joined, 0) == 0 ? "" : "redirect to \"" + url + "\"";
}

std::vector<ConversationStep> HostSteps(const Payload& p) {
  NameValues login = All({"OMV", "OMI", "OMD", "CHAR", "OMPF", "OMTI"}, p.text);
  NameValues firstCookies = login;
  firstCookies.emplace_back("OMJOINSESSIONTAG", p.text);  // a hostile session id: a new session
  const std::string page = Cut(p.text, 512);
  return {
      {Query(All({"success", "failure", "msgbase", "relay", "pfid", "pfid2", "lan", "private:stage"}, p.text), firstCookies),
       [p, page](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "RELAY"), ExpectEqual("relay page", R(r).msgbase, page),
                       ExpectEqual("text", R(r).text, "Contacting Orbitmere...."), ExpectEqual("target", R(r).target, "/OMHost"),
                       HostCookies(r, p), r.sessions.size() == 1 && r.sessions[0].isNew ? "" : "not a new session"});
       }},
      {Query(All({"success", "failure", "pfid"}, "/other"), login),
       [p, page](const RequestResult& r) {
         return First({HostRegistration(r, page), HostCookies(r, p),
                       r.sessions.size() == 1 && !r.sessions[0].isNew ? "" : "the session was lost"});
       }},
  };
}

// OMTestPage shows what it loaded: the payload must come back from the session cut to each
// variable's buffer, and a private variable never from the request.
std::vector<ConversationStep> TestPageSteps(const Payload& p) {
  NameValues query = All({"success", "failure", "msgbase", "relay", "note", "hidden", "overflow", "number", "small",
                          "private:secret", "private:stage"}, p.text);
  query.emplace_back("action", "succeedtext");
  NameValues cookies = All({"OMV", "OMI", "OMD", "CHAR", "OMTESTPAGESESSIONTAG"}, p.text);
  const std::string page = Cut(p.text, 512);
  auto shown = [p, page](const RequestResult& r) {
    return First({ExpectEqual("note", r.replyVar("note"), page), ExpectEqual("success", r.replyVar("success"), page),
                  ExpectEqual("private:secret", r.replyVar("private:secret"), "kept"),
                  ExpectEqual("number", r.replyVar("number"), p.decimal),
                  ExpectEqual("login", r.replyVar("login"), p.login ? "1" : "0")});
  };
  return {
      {Query(query, cookies),
       [p, shown](const RequestResult& r) {
         // "hidden" is kept out of the session: only the request that brings it shows it.
         return First({ExpectReply(r, "Respond", "RELAY"), shown(r), ExpectEqual("hidden", r.replyVar("hidden"), Cut(p.text, 64))});
       }},
      {Query({}, All({"OMV", "OMI", "OMD", "CHAR"}, p.text)),
       [page, shown](const RequestResult& r) {
         return First({ExpectReply(r, "Respond", "SUCCESS"), ExpectEqual("text", R(r).text, "Done."),
                       ExpectEqual("target", R(r).target, page), ExpectEqual("stage", r.replyVar("stage"), "1"), shown(r)});
       }},
  };
}

// ---- The designed end of a conversation, exactly ------------------------------------------

constexpr char kOk[] = "/ok.htm";
constexpr char kNo[] = "/no.htm";
const NameValues kTwoPages = {{"success", kOk}, {"failure", kNo}, {"msgbase", "mb"}, {"relay", "/relay.htm"}};

// The reply a request must give: the call, the word, the code, the text (when one is
// checked) and the page (the target of a Respond, the url of a Redirect).
struct Designed {
  const char* call;
  const char* word;
  int32_t code;
  std::optional<std::string> text;
  std::optional<std::string> page;
};

Designed Refused(int32_t code) { return {"Respond", "FAILURE", code, std::nullopt, kNo}; }
// A refusal before the reply pages are taken: no page at all.
Designed RefusedBare(int32_t code) { return {"Respond", "FAILURE", code, std::nullopt, std::nullopt}; }
Designed RefusedText(const std::string& text, const char* page = kNo) { return {"Respond", "FAILURE", 0, text, page}; }
Designed Done(const std::string& text) { return {"Respond", "SUCCESS", 0, text, kOk}; }
Designed Redirected(const std::string& url = kOk) { return {"Redirect", "SUCCESS", 0, std::nullopt, url}; }

std::string ExpectDesigned(const RequestResult& r, const Designed& d) {
  const bool redirect = std::string(d.call) == "Redirect";
  return First({ExpectReply(r, d.call, d.word),
                R(r).code == d.code ? "" : "code " + std::to_string(R(r).code) + " instead of " + std::to_string(d.code),
                d.text ? ExpectEqual("text", R(r).text, *d.text) : "",
                redirect ? ExpectEqual("url", R(r).url, d.page.value_or(""))
                         : (d.page ? ExpectEqual("page", R(r).target, *d.page)
                                   : (R(r).target ? "a page for a bare failure: " + *R(r).target : ""))});
}

// `requests` requests with the same values: each before the last shows a relay page (or
// already the designed end, when the action's checks refuse before its work), the last the
// designed end; `more` checks the last one further.
std::vector<ConversationStep> Conversation(const RequestSpec& request, int requests, const Designed& designed,
                                           std::function<std::string(const RequestResult&)> more = nullptr) {
  std::vector<ConversationStep> steps;
  for (int i = 1; i < requests; ++i) {
    steps.push_back({request, [designed](const RequestResult& r) {
                       if (R(r).word == std::optional<std::string>("RELAY")) return ExpectReply(r, "Respond", "RELAY");
                       return ExpectDesigned(r, designed);
                     }});
  }
  steps.push_back({request, [designed, more](const RequestResult& r) {
                     return First({ExpectDesigned(r, designed), more ? more(r) : ""});
                   }});
  return steps;
}

NameValues With(NameValues base, const NameValues& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// ---- The account pages' rules for typed texts, as the visitor sees them ------------------

// A text as a 64-byte field of the account page keeps it, blanks trimmed at both ends.
std::string Typed(const std::string& text) {
  std::string kept = Cut(text, 64);
  const size_t first = kept.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return kept.substr(first, kept.find_last_not_of(' ') - first + 1);
}

bool Unsafe(const std::string& text) { return text.find_first_of("%\"<>'&;") != std::string::npos; }
bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

// The refusal of a typed account name, password or e-mail address; 0 when it is accepted.
int32_t NameRefusal(const std::string& typed) {
  return Unsafe(typed) || HasControl(typed) ? 3100 : typed.size() > 16 ? 3229 : 0;
}
int32_t PasswordRefusal(const std::string& typed) {
  return Unsafe(typed) ? 3101 : typed.size() < 4 ? 3224 : typed.size() > 16 ? 3230 : 0;
}
int32_t EmailRefusal(const std::string& typed) {
  return Unsafe(typed) || typed.find('@') == std::string::npos ? 3104 : typed.size() > 64 ? 3231 : 0;
}
// An address to be stored must also be mailable: no blank, no control character.
int32_t StoredEmailRefusal(const std::string& typed) {
  const bool unmailable = HasControl(typed) || typed.find(' ') != std::string::npos;
  return unmailable ? 3104 : EmailRefusal(typed);
}

// ---- OMAccount ------------------------------------------------------------------------------

constexpr char kCreated[] =
    "Your Orbitmere Account has been created.<br><br>A welcome message has been sent to your email address.<br><br>To access services, you must log in.<br>";

// New with the payload in one group of fields and good values in the others.
enum class NewField { Name, Password, Email, PersonalData };

NameValues NewForm(NewField field, const Payload& p) {
  auto value = [&](NewField which, const std::string& good) {
    if (field != which) return good;
    return which == NewField::Email ? "new@" + p.text : p.text;
  };
  NameValues form = With(kTwoPages, {{"action", "New"}});
  for (const char* name : {"name1", "name2"}) form.emplace_back(name, value(NewField::Name, "newbie"));
  for (const char* name : {"password1", "password2"}) form.emplace_back(name, value(NewField::Password, "secret1"));
  for (const char* name : {"email1", "email2"}) form.emplace_back(name, value(NewField::Email, "new@example.com"));
  for (const char* name : kInfoNames) form.emplace_back(name, value(NewField::PersonalData, "Nia"));
  return form;
}

int32_t NewRefusal(NewField field, const Payload& p) {
  switch (field) {
    case NewField::Name: return NameRefusal(Typed(p.text));
    case NewField::Password: return PasswordRefusal(Typed(p.text));
    case NewField::Email: return StoredEmailRefusal(Typed("new@" + p.text));
    case NewField::PersonalData: return 0;
  }
  return 0;
}

std::function<std::vector<ConversationStep>(const Payload&)> NewSteps(NewField field) {
  return [field](const Payload& p) {
    const int32_t refusal = NewRefusal(field, p);
    if (refusal != 0) return Conversation(Form(NewForm(field, p), {}), 3, Refused(refusal));
    return Conversation(Form(NewForm(field, p), {}), 3, Done(kCreated));
  };
}

// The new account (cid 6) holds the payload where it went, the other values as typed.
std::function<std::string(omserver::Host&, const Payload&, const RequestResult&)> NewStored(NewField field) {
  return [field](omserver::Host& host, const Payload& p, const RequestResult&) {
    if (NewRefusal(field, p) != 0) return ExpectEqual("accounts", Scalar(host, "SELECT count(*) FROM login"), "5");
    auto column = [&](const std::string& sql) { return Scalar(host, sql); };
    std::string error = First({
        ExpectEqual("handle", column("SELECT handle FROM login WHERE cid = 6"), field == NewField::Name ? Typed(p.text) : "newbie"),
        ExpectEqual("password", column("SELECT password FROM login WHERE cid = 6"),
                    field == NewField::Password ? Typed(p.text) : "secret1"),
        ExpectEqual("email", column("SELECT email FROM login WHERE cid = 6"),
                    field == NewField::Email ? Typed("new@" + p.text) : "new@example.com"),
        ExpectEqual("PC id", column("SELECT pcid_series || pcid_number FROM pcid WHERE cid = 6"), "A6")});
    const std::string info = field == NewField::PersonalData ? Cut(p.text, 64) : "Nia";
    for (const char* name : kInfoNames) {
      if (!error.empty() || std::string(name) == "dayphone" || std::string(name) == "nightphone") continue;
      const std::string col = std::string(name) == "firstname" ? "fname" : std::string(name) == "lastname" ? "lname" : name;
      error = ExpectEqual(name, column("SELECT " + col + " FROM customer WHERE parentcid = 6"), info);
    }
    // The login row's names pass through the procedure's 16- and 32-character parameters.
    return First({error, ExpectEqual("login fname", column("SELECT fname FROM login WHERE cid = 6"), info.substr(0, 16)),
                  ExpectEqual("login lname", column("SELECT lname FROM login WHERE cid = 6"), info.substr(0, 32))});
  };
}

const std::vector<Written> kNewAccountRows = {
    {"login", "cid > 5"}, {"pcid", "cid > 5"}, {"customer", "parentcid > 5"}, {"sqlite_sequence", "name = 'login'"}};

// ChangeName, ChangePassword, ChangeEMail: Alice proves ownership, the payload is the new value.
struct ChangeCase {
  const char* action;
  const char* newNames[2];
  const char* prefix;   // put before the payload ("" or the mailbox of an address)
  int32_t (*refusal)(const std::string& typed);
  bool trimmed;         // the new value is trimmed before the checks and the update
  const char* column;   // of login, cid 1
  const char* before;
  const char* done;
};

constexpr ChangeCase kChanges[] = {
    {"ChangeName", {"newname1", "newname2"}, "", NameRefusal, true, "handle", "alice", "Account name has been changed."},
    {"ChangePassword", {"newpassword1", "newpassword2"}, "", PasswordRefusal, false, "password", "wonder1",
     "Account password has been changed."},
    {"ChangeEMail", {"newemail1", "newemail2"}, "alice2@", StoredEmailRefusal, false, "email", "alice@example.com",
     "Account email address has been changed."},
};

std::string ChangeValue(const ChangeCase& c, const Payload& p) {
  const std::string kept = Cut(c.prefix + p.text, 64);
  return c.trimmed ? Typed(kept) : kept;
}

// Passwords are checked untrimmed but by the same rules.
int32_t ChangeRefusal(const ChangeCase& c, const Payload& p) { return c.refusal(ChangeValue(c, p)); }

std::function<std::vector<ConversationStep>(const Payload&)> ChangeSteps(const ChangeCase& c) {
  return [&c](const Payload& p) {
    NameValues form = With(kTwoPages, {{"action", c.action}, {"name", "alice"}, {"password", "wonder1"}});
    for (const char* name : c.newNames) form.emplace_back(name, c.prefix + p.text);
    const int32_t refusal = ChangeRefusal(c, p);
    return Conversation(Form(form, {}), 2, refusal != 0 ? Refused(refusal) : Done(c.done));
  };
}

std::function<std::string(omserver::Host&, const Payload&, const RequestResult&)> ChangeStored(const ChangeCase& c) {
  return [&c](omserver::Host& host, const Payload& p, const RequestResult&) {
    return ExpectEqual(c.column, Scalar(host, std::string("SELECT ") + c.column + " FROM login WHERE cid = 1"),
                       ChangeRefusal(c, p) != 0 ? c.before : ChangeValue(c, p));
  };
}

// The actions whose proof of ownership is a typed name and password, both the payload: the
// quoted statements find no such account.
struct ProofCase {
  const char* action;
  NameValues good;  // the action's other values, acceptable ones
  int requests;
};

const std::vector<ProofCase>& ProofCases() {
  static const std::vector<ProofCase> cases = {
      {"ChangeName", {{"newname1", "alicia"}, {"newname2", "alicia"}}, 2},
      {"ChangePassword", {{"newpassword1", "fresh1"}, {"newpassword2", "fresh1"}}, 2},
      {"ChangeEMail", {{"newemail1", "a2@example.com"}, {"newemail2", "a2@example.com"}}, 2},
      {"Delete", {}, 3},
  };
  return cases;
}

std::function<std::vector<ConversationStep>(const Payload&)> ProofSteps(const ProofCase& c) {
  return [&c](const Payload& p) {
    NameValues form = With(With(kTwoPages, {{"action", c.action}, {"name", p.text}, {"password", p.text}, {"email", p.text}}), c.good);
    return Conversation(Form(form, {}), c.requests, Refused(3206));
  };
}

// The forgotten-data actions and ActivateAccount with the payload in the typed address (after
// a mailbox, so that it reaches the lookup whenever the address rules let it).
constexpr const char* kByAddress[] = {"ForgotName", "ForgotPassword", "ForgotBoth", "ForgotAccount",
                                      "ForgotActivationCode", "ActivateAccount"};

std::function<std::vector<ConversationStep>(const Payload&)> ByAddressSteps(std::string action) {
  return [action](const Payload& p) {
    NameValues form = With(kTwoPages, {{"action", action}, {"email", "nobody@" + p.text}, {"forgotaccountmode", p.text},
                                       {"activationcode", p.text}});
    const bool refused = EmailRefusal(Cut("nobody@" + p.text, 64)) != 0;
    return Conversation(Form(form, {}), 2, Refused(refused ? 3104 : action == "ActivateAccount" ? 3206 : 3218));
  };
}

// ActivateAccount of the pending account with the payload as the code: never its code.
std::vector<ConversationStep> ActivateCodeSteps(const Payload& p) {
  NameValues form = With(kTwoPages, {{"action", "ActivateAccount"}, {"email", "bruno@example.com"}, {"activationcode", p.text}});
  return Conversation(Form(form, {}), 2, RefusedText("Activation code not accepted."));
}

// Delete with Alice's name and password and the payload as the address: not hers.
std::vector<ConversationStep> DeleteAddressSteps(const Payload& p) {
  NameValues form = With(kTwoPages, {{"action", "Delete"}, {"name", "alice"}, {"password", "wonder1"}, {"email", p.text}});
  return Conversation(Form(form, {}), 3, Refused(3220));
}

// AgreeToTerms with the payload as the revision and as the continuation cookie, or with
// Alice's waiting token enciphered in the cookie.
constexpr char kContinuationKey[] = "H4VR8PXQ2TXK6MZC9BPE3YGA7DLF5UJS8RTQE";

std::function<std::vector<ConversationStep>(const Payload&)> TermsSteps(bool goodToken) {
  return [goodToken](const Payload& p) {
    NameValues form = With(kTwoPages, {{"action", "AgreeToTerms"}, {"revision", p.text}});
    const std::string cookie = goodToken ? omserver::services::Encipher("1:7007", kContinuationKey) : p.text;
    Designed designed = std::string(p.decimal) == "0" ? Refused(1013)
                        : goodToken ? Redirected()
                                    : RefusedText("Login continuation data is missing or invalid.");
    return Conversation(Form(form, {{"CONTINUELOGINDATA", cookie}}), 2, designed);
  };
}

std::string NoTermsAccepted(omserver::Host& host, const Payload&, const RequestResult&) {
  return ExpectEqual("acceptances", Scalar(host, "SELECT count(*) FROM eula_accepted"), "0");
}

std::string TermsStored(omserver::Host& host, const Payload& p, const RequestResult&) {
  return ExpectEqual("accepted revision", Scalar(host, "SELECT revision FROM eula_accepted WHERE cid = 1"),
                     std::string(p.decimal) == "0" ? "<none>" : p.decimal);
}

// GetInfo of personal data that holds the payload: shown back as stored, cut to the fields.
void DemoWithHostileInfo(omserver::Host& host, const Payload& p) {
  omserver::db::FillDemo(host);
  omserver::SqliteDb db = omserver::db::OpenDatabase(host, omserver::db::kAccountDatabase);
  std::string sql = "UPDATE customer SET ";
  for (const char* name : kInfoNames) {
    const std::string col = std::string(name) == "firstname" ? "fname" : std::string(name) == "lastname" ? "lname" : name;
    sql += col + " = ?1, ";
  }
  // As long as the columns take: one byte more than the page's fields keep.
  const std::string stored = p.text.substr(0, 64);
  db.prepare(sql.substr(0, sql.size() - 2) + " WHERE parentcid = 1").bind(1, stored).run();
  db.prepare("UPDATE login SET fname = ?1, lname = ?1 WHERE cid = 1").bind(1, stored).run();
}

std::vector<ConversationStep> GetInfoSteps(const Payload& p) {
  return Conversation(Form(With(kTwoPages, {{"action", "GetInfo"}}), Alice()), 2, Redirected(), [p](const RequestResult& r) {
    std::string error;
    for (const char* name : kInfoNames) {
      if (error.empty()) error = ExpectEqual(name, r.replyVar(name), Cut(p.text, 64));
    }
    return error;
  });
}

// GoToOMCom with the payload as the caller's data (and as the private cargo, never taken
// from the request), or as the product family.
constexpr char kHandOffKey[] = "JUMPTOWEB:7086";

std::function<std::vector<ConversationStep>(const Payload&)> HandOffSteps(bool hostilePfid) {
  return [hostilePfid](const Payload& p) {
    NameValues form = With(kTwoPages, {{"action", "GoToOMCom"}, {"pfid", hostilePfid ? p.text : "27"}, {"userdata", p.text},
                                       {"private:cargo", p.text}});
    if (hostilePfid && std::string(p.decimal) == "0") return Conversation(Form(form, Alice()), 2, Refused(1100));
    return Conversation(Form(form, Alice()), 2, Redirected(), [p](const RequestResult& r) {
      const std::string handOff = r.replyVar("SEQ").value_or("?") + ":" + r.replyVar("SANITY").value_or("?");
      return First({ExpectEqual("USERDATA", r.replyVar("USERDATA"), Cut(p.text, 2048)),
                    ExpectEqual("CARGO deciphered", omserver::services::Decipher(r.replyVar("CARGO").value_or(""), kHandOffKey),
                                handOff)});
    });
  };
}

std::function<std::string(omserver::Host&, const Payload&, const RequestResult&)> HandOffStored(bool hostilePfid) {
  return [hostilePfid](omserver::Host& host, const Payload& p, const RequestResult&) {
    if (hostilePfid && std::string(p.decimal) == "0") {
      return ExpectEqual("hand-offs", Scalar(host, "SELECT count(*) FROM gotoomcom"), "0");
    }
    return ExpectEqual("hand-off", Scalar(host, "SELECT group_concat(cid || ':' || chid || ':' || pfid) FROM gotoomcom"),
                       "1:1:" + std::string(hostilePfid ? p.decimal : "27"));
  };
}

// ---- OMCharacter ---------------------------------------------------------------------------

// The code a typed player name gets: tidied (non-breaking spaces, outer and repeated
// blanks), then empty 3004, longer than 16 3219, anything but letters, digits, blanks and
// inner '.' or '-' (never more of those than letters) 3237; 0 when the rules let it pass.
int32_t PlayerNameRefusal(const std::string& text) {
  std::string name;
  for (char c : Cut(text, 512)) {
    c = static_cast<unsigned char>(c) == 0xA0 ? ' ' : c;
    if (c == ' ' && (name.empty() || name.back() == ' ')) continue;
    name += c;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) return 3004;
  if (name.size() > 16) return 3219;
  int letters = 0, punctuation = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 128) {
      ++letters;
    } else if (c == '.' || c == '-') {
      if (i == 0) return 3237;
      ++punctuation;
    } else if (c != ' ') {
      return 3237;
    }
  }
  return punctuation > letters ? 3237 : 0;
}

// Alice logged in with her player `chid` and the payload as the player's name cookie.
NameValues AliceNamed(const char* chid, const std::string& name) {
  return {{"OMV", "1001"}, {"OMI", "1"}, {"OMD", chid}, {"CHAR", name}};
}

// RENAME with the payload as the new name: the name rules refuse it with their code (a name
// they let pass is answered 3902, free to take).
std::vector<ConversationStep> CharacterRenameSteps(const Payload& p) {
  NameValues query = With(kTwoPages, {{"action", "RENAME"}, {"newcharactername", p.text}});
  const int32_t refusal = PlayerNameRefusal(p.text);
  return Conversation(Query(query, Alice()), 2, Refused(refusal != 0 ? refusal : 3902), [](const RequestResult& r) {
    return ExpectEqual("charactername", r.replyVar("charactername"), "Fox");
  });
}

// GET with the payload in the list form, the product family and the player's name cookie:
// the list of Alice's players, her name cookie shown back cut to its buffer.
std::vector<ConversationStep> CharacterGetSteps(const Payload& p) {
  NameValues query = With(kTwoPages, {{"action", "GET"}, {"ib3", p.text}, {"pfid", p.text}, {"selectedchid", p.text},
                                      {"charglsvssrequest", p.text}});
  return Conversation(Query(query, AliceNamed("1", p.text)), 2, Redirected(), [p](const RequestResult& r) {
    const bool listed = r.body.find("Fox") != std::string::npos && r.body.find("Wren") != std::string::npos;
    return First({ExpectEqual("charactername", r.replyVar("charactername"), Cut(p.text, 512)),
                  listed ? "" : "the list lacks Fox or Wren: " + r.body,
                  r.cookie("CHARGLSVSSDATA") ? "GET set the criteria cookie" : ""});
  });
}

// SELECT with the payload as the player's number: no player of Alice's has it, nothing is
// selected and the criteria cookie is left empty.
std::vector<ConversationStep> CharacterSelectSteps(const Payload& p) {
  NameValues query = With(kTwoPages, {{"action", "SELECT"}, {"selectedchid", p.text}});
  return Conversation(Query(query, Alice()), 2, Redirected(), [](const RequestResult& r) {
    return First({ExpectEqual("charactername", r.replyVar("charactername"), "Fox"),
                  r.cookie("OMD") ? "a player was selected" : "", ExpectEqual("CHARGLSVSSDATA", r.cookie("CHARGLSVSSDATA"), "")});
  });
}

// SELECT of Wren with the payload after a known criterion of the criteria request: the
// request's items reach the statistics procedure quoted; an unknown value is refused 3700,
// a request that names none leaves the criteria cookie empty.
std::vector<ConversationStep> CharacterCriteriaSteps(const Payload& p) {
  NameValues query = With(kTwoPages, {{"action", "SELECT"}, {"selectedchid", "2"}, {"pfid", "27"},
                                      {"charglsvssrequest", "[gx:x1] " + p.text}});
  const RequestSpec request = Query(query, Alice());
  return {{request, [](const RequestResult& r) { return ExpectReply(r, "Respond", "RELAY"); }},
          {request, [](const RequestResult& r) {
             if (R(r).call == "Respond") return ExpectDesigned(r, Refused(3700));
             return First({ExpectDesigned(r, Redirected()), ExpectEqual("OMD", r.cookie("OMD"), "2"),
                           r.cookie("CHARGLSVSSDATA") ? "" : "no criteria cookie"});
           }}};
}

std::string WrenIsDefault(omserver::Host& host, const Payload&, const RequestResult&) {
  // Wren is selected before her criteria are fetched, whether or not they are found.
  return ExpectEqual("defaults", Scalar(host, "SELECT group_concat(chid || isdefault) FROM character WHERE cid = 1"), "1n,2y");
}

// DELETE of Wren, made Alice's default player, with the payload as the name cookie: Fox
// takes her place; the name history keeps the deleted player's name as the cookie gave it.
void DemoWithWrenDefault(omserver::Host& host, const Payload&) {
  omserver::db::FillDemo(host);
  omserver::db::OpenDatabase(host, omserver::db::kAccountDatabase)
      .exec("UPDATE character SET isdefault = CASE chid WHEN 2 THEN 'y' ELSE 'n' END WHERE cid = 1");
}

// The history row takes the name cookie's text, which the history's 16-character names may
// not hold: a longer cookie makes the batch fail (4001) and nothing is deleted.
bool HistoryTakes(const Payload& p) { return Cut(p.text, 512).size() <= 16; }

std::vector<ConversationStep> CharacterDeleteSteps(const Payload& p) {
  NameValues query = With(kTwoPages, {{"action", "DELETE"}});
  if (!HistoryTakes(p)) return Conversation(Query(query, AliceNamed("2", p.text)), 2, Refused(4001));
  return Conversation(Query(query, AliceNamed("2", p.text)), 2, Redirected(), [](const RequestResult& r) {
    return First({ExpectEqual("CHAR", r.cookie("CHAR"), "Fox"), ExpectEqual("OMD", r.cookie("OMD"), "1"),
                  ExpectEqual("charactername", r.replyVar("charactername"), "Fox")});
  });
}

std::string CharacterDeleteStored(omserver::Host& host, const Payload& p, const RequestResult&) {
  const std::string players = Scalar(host, "SELECT group_concat(chid || isdefault) FROM character WHERE cid = 1");
  const std::string history = Scalar(host, "SELECT oldname FROM oldcharacters WHERE chid = 2 AND newname = ''");
  if (!HistoryTakes(p)) return First({ExpectEqual("players", players, "1n,2y"), ExpectEqual("history of Wren", history, "<none>")});
  return First({ExpectEqual("players", players, "1y"), ExpectEqual("history of Wren", history, Cut(p.text, 512))});
}

// ---- OMJoin ------------------------------------------------------------------------------------

// The server of DemoWithServer with more fields set.
std::function<void(omserver::Host&, const Payload&)> DemoWithServerFields(std::map<std::string, int32_t> fields) {
  return [fields](omserver::Host& host, const Payload&) { DemoWithJoinServer(host, fields); };
}

NameValues JoinQuery(const std::string& mode, const Payload& p) {
  return With(kTwoPages, {{"start", "/start.htm"}, {"mode", mode}, {"rid", std::to_string(kJoinServer)}, {"pfid", "27"},
                          {"gsid", p.text}, {"action", p.text}, {"lan", p.text}, {"pfid2", "0"}});
}

// An unknown mode: refused before the reply pages are taken.
std::vector<ConversationStep> JoinModeSteps(const Payload& p) {
  return Conversation(Query(With(kTwoPages, {{"mode", p.text}, {"rid", "100"}}), Alice()), 2, RefusedBare(1102));
}

// Login and Stat joins with Alice's login, the payload as her player's name cookie and in
// the other texts: admitted, the name and handle taken from the database.
std::function<std::vector<ConversationStep>(const Payload&)> JoinLoginSteps(std::string mode) {
  return [mode](const Payload& p) {
    return Conversation(Query(JoinQuery(mode, p), AliceNamed("1", p.text)), 2, Redirected("/ok.htm?rid=100"),
                        [mode](const RequestResult& r) {
                          return mode == "Stat" ? First({r.cookie("OMTI").value_or("0") != "0" ? "" : "no statistics ticket",
                                                         r.cookie("OMNAMEINFO").value_or("").empty() ? "no name info" : ""})
                                                : "";
                        });
  };
}

std::string StatTicketStored(omserver::Host& host, const Payload&, const RequestResult&) {
  return ExpectEqual("statistics ticket",
                     omserver::db::OpenDatabase(host, omserver::db::kTicketDatabase)
                         .scalarText("SELECT group_concat(cid || ':' || pfid || ':' || handle || ':' || chid || ':' || name) FROM statticket"),
                     "1:27:alice:1:Fox");
}

// A full server's waiting line with the payload as the action (never the cancel): the
// waiting page, next in line.
std::vector<ConversationStep> JoinLineSteps(const Payload& p) {
  const Designed waiting = {"Respond", "RELAY", 0,
                            "<center>Waiting to join \"Alpha\".<br>Please wait, you are next in line.<br>"
                            "<br><A HREF=\"/OMJoin?action=CANCEL\">Click here to cancel</A></CENTER>",
                            "/OMJoin"};
  return Conversation(Query(JoinQuery("Anonymous", p), Alice()), 2, waiting);
}

// The waiting line's ticket cookie hostile: no ticket of the line, refused 1203.
std::vector<ConversationStep> JoinTicketCookieSteps(const Payload& p) {
  NameValues cookies = Alice();
  cookies.emplace_back("OMJoin.dll:LTAG", p.text);
  return Conversation(Query(JoinQuery("Anonymous", p), cookies), 2, Refused(1203));
}

const std::vector<InjectionRow>& Rows() {
  static const std::vector<InjectionRow> rows = {
      {"OMPrepare launch values", "OMPrepare", PrepareSteps, NoDatabaseTouched},
      {"OMPrepare refresh", "OMPrepare", PrepareRefreshSteps, NoDatabaseTouched},
      {"OMHost visit", "OMHost", HostSteps, NoDatabaseTouched},
      {"framework test page", "OMTestPage", TestPageSteps, NoDatabaseTouched},
      {"OMAccount SetInfo", "OMAccount", SetInfoSteps, nullptr, Demo, {{"login", "cid = 1"}, {"customer", "parentcid = 1"}},
       SetInfoStored},
      {"OMAccount ChangePassword", "OMAccount", ChangePasswordSteps, nullptr, Demo, {{"login", "cid = 1"}}, ChangePasswordStored},
      {"OMAccount hostile cookies", "OMAccount", AccountCookieSteps, nullptr, Demo, {}, NothingStored},
      {"OMCharacter NEW", "OMCharacter", CharacterNewSteps, nullptr, Demo, {{"character", "cid = 1"}}, CharacterNewStored},
      {"OMCharacter hostile cookies", "OMCharacter", CharacterCookieSteps, nullptr, Demo, {}, NothingStored},
      {"OMJoin Auth", "OMJoin", JoinSteps, nullptr, DemoWithServer, {}, NothingStored},
      {"OMAccount New, the account name", "OMAccount", NewSteps(NewField::Name), nullptr, Demo, kNewAccountRows,
       NewStored(NewField::Name)},
      {"OMAccount New, the password", "OMAccount", NewSteps(NewField::Password), nullptr, Demo, kNewAccountRows,
       NewStored(NewField::Password)},
      {"OMAccount New, the address", "OMAccount", NewSteps(NewField::Email), nullptr, Demo, kNewAccountRows,
       NewStored(NewField::Email)},
      {"OMAccount New, the personal data", "OMAccount", NewSteps(NewField::PersonalData), nullptr, Demo, kNewAccountRows,
       NewStored(NewField::PersonalData)},
      {"OMAccount ChangeName", "OMAccount", ChangeSteps(kChanges[0]), nullptr, Demo, {{"login", "cid = 1"}}, ChangeStored(kChanges[0])},
      {"OMAccount ChangePassword, the rules", "OMAccount", ChangeSteps(kChanges[1]), nullptr, Demo, {{"login", "cid = 1"}},
       ChangeStored(kChanges[1])},
      {"OMAccount ChangeEMail", "OMAccount", ChangeSteps(kChanges[2]), nullptr, Demo, {{"login", "cid = 1"}}, ChangeStored(kChanges[2])},
      {"OMAccount ChangeName, the proof", "OMAccount", ProofSteps(ProofCases()[0]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ChangePassword, the proof", "OMAccount", ProofSteps(ProofCases()[1]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ChangeEMail, the proof", "OMAccount", ProofSteps(ProofCases()[2]), nullptr, Demo, {}, NothingStored},
      {"OMAccount Delete, the proof", "OMAccount", ProofSteps(ProofCases()[3]), nullptr, Demo, {}, NothingStored},
      {"OMAccount Delete, the address", "OMAccount", DeleteAddressSteps, nullptr, Demo, {}, NothingStored},
      {"OMAccount ForgotName", "OMAccount", ByAddressSteps(kByAddress[0]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ForgotPassword", "OMAccount", ByAddressSteps(kByAddress[1]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ForgotBoth", "OMAccount", ByAddressSteps(kByAddress[2]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ForgotAccount", "OMAccount", ByAddressSteps(kByAddress[3]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ForgotActivationCode", "OMAccount", ByAddressSteps(kByAddress[4]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ActivateAccount, the address", "OMAccount", ByAddressSteps(kByAddress[5]), nullptr, Demo, {}, NothingStored},
      {"OMAccount ActivateAccount, the code", "OMAccount", ActivateCodeSteps, nullptr, Demo, {}, NothingStored},
      {"OMAccount AgreeToTerms, hostile token", "OMAccount", TermsSteps(false), nullptr, Demo, {}, NoTermsAccepted},
      {"OMAccount AgreeToTerms, the revision", "OMAccount", TermsSteps(true), nullptr, Demo, {{"eula_accepted", "cid = 1"}},
       TermsStored},
      {"OMAccount GetInfo of stored payloads", "OMAccount", GetInfoSteps, nullptr, DemoWithHostileInfo, {}, NothingStored},
      {"OMAccount GoToOMCom, the caller's data", "OMAccount", HandOffSteps(false), nullptr, Demo, {{"gotoomcom", "cid = 1"}, {"sqlite_sequence", "name = 'gotoomcom'"}},
       HandOffStored(false)},
      {"OMAccount GoToOMCom, the product family", "OMAccount", HandOffSteps(true), nullptr, Demo, {{"gotoomcom", "cid = 1"}, {"sqlite_sequence", "name = 'gotoomcom'"}},
       HandOffStored(true)},
      {"OMCharacter RENAME", "OMCharacter", CharacterRenameSteps, nullptr, Demo, {}, NothingStored},
      {"OMCharacter GET", "OMCharacter", CharacterGetSteps, nullptr, Demo, {}, NothingStored},
      {"OMCharacter SELECT, the number", "OMCharacter", CharacterSelectSteps, nullptr, Demo, {}, NothingStored},
      {"OMCharacter SELECT, the criteria request", "OMCharacter", CharacterCriteriaSteps, nullptr, Demo,
       {{"character", "cid = 1"}}, WrenIsDefault},
      {"OMCharacter DELETE, the name cookie", "OMCharacter", CharacterDeleteSteps, nullptr, DemoWithWrenDefault,
       {{"character", "cid = 1"}, {"oldcharacters", "chid = 2 AND newname = ''"}}, CharacterDeleteStored,
       {"CHECK constraint failed: length(oldname) <= 16"}},
      {"OMJoin unknown mode", "OMJoin", JoinModeSteps, nullptr, DemoWithServer, {}, NothingStored},
      {"OMJoin Login", "OMJoin", JoinLoginSteps("Login"), nullptr, DemoWithServer, {}, NothingStored},
      {"OMJoin Stat", "OMJoin", JoinLoginSteps("Stat"), nullptr, DemoWithServerFields({{"stats", 1}}), {{"statticket", "1"}, {"sqlite_sequence", "name = 'statticket'"}},
       StatTicketStored},
      {"OMJoin waiting line", "OMJoin", JoinLineSteps, nullptr, DemoWithServerFields({{"queued", 1}, {"places", 0}}), {},
       NothingStored},
      {"OMJoin waiting line, hostile ticket", "OMJoin", JoinTicketCookieSteps, nullptr,
       DemoWithServerFields({{"queued", 1}, {"places", 0}}), {}, NothingStored, {"is not a ticket of this line"}},
  };
  return rows;
}

TEST(Injection, HostileTextsInEveryVariableAndCookieGetTheDesignedReplies) {
  for (const InjectionRow& row : Rows()) {
    std::unique_ptr<omserver::Plugin> plugin = omtest::LoadPlugin(row.plugin);
    ASSERT_NE(plugin, nullptr);
    for (const Payload& payload : Payloads()) {
      SCOPED_TRACE(std::string(row.name) + ", payload " + payload.name);
      omtest::TempDir dir;
      omserver::Host host(dir.path());
      if (row.setup) row.setup(host, payload);
      const std::string before = row.setup ? DumpDatabases(dir.path(), row.written) : "";
      omtest::Browser browser(host, *plugin);
      std::vector<ConversationStep> steps = row.steps(payload);
      RequestResult last;
      for (size_t s = 0; s < steps.size(); ++s) {
        RequestResult result = browser.visit(steps[s].request);
        last = result;
        EXPECT_EQ(steps[s].check(result), "") << "request " << s + 1;
        for (const std::string& line : result.hostLog) {
          bool allowed = line.find("not offered by this host") != std::string::npos;
          for (const std::string& part : row.hostLogAllowed) allowed = allowed || line.find(part) != std::string::npos;
          EXPECT_TRUE(allowed) << "request " << s + 1 << ": " << line;
        }
      }
      if (row.databases) {
        EXPECT_EQ(row.databases(dir.path()), "");
      }
      if (row.setup) {
        EXPECT_EQ(DumpDifference(before, DumpDatabases(dir.path(), row.written)), "") << "rows outside the action's changed";
        EXPECT_EQ(row.stored(host, payload, last), "");
      }
    }
  }
}

}  // namespace
