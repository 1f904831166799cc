// Hostile input through whole conversations: every text variable and cookie of a page
// plug-in filled with SQL, markup, format directives, over-long texts and bytes above 127.
// The replies must stay the designed ones (with the hostile text cut to its buffer, never
// interpreted), nothing may crash, the host's log stays clean, and the databases hold
// exactly what the designed statements write: the plug-ins without databases none, the
// database plug-ins only the rows of the action under test, each payload stored byte for
// byte where it is stored (cut to its buffer), every other row as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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
  std::function<void(omserver::Host&)> setup = nullptr;
  std::vector<Written> written = {};
  std::function<std::string(omserver::Host&, const Payload&, const RequestResult& last)> stored = nullptr;
};

void Demo(omserver::Host& host) { omserver::db::FillDemo(host); }

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

void DemoWithServer(omserver::Host& host) {
  omserver::db::FillDemo(host);
  omserver::services::ServerConfig server;
  server.rid = kJoinServer;
  server.gsid = "gs-alpha";
  server.name = "Alpha";
  server.fields = {{"own", 1}, {"scramble-key", 4242}, {"address", 0x0A000001}, {"port", 7000}, {"app-id", 12}};
  omserver::services::AddServer(host, server);
}

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
      if (row.setup) row.setup(host);
      const std::string before = row.setup ? DumpDatabases(dir.path(), row.written) : "";
      omtest::Browser browser(host, *plugin);
      std::vector<ConversationStep> steps = row.steps(payload);
      RequestResult last;
      for (size_t s = 0; s < steps.size(); ++s) {
        RequestResult result = browser.visit(steps[s].request);
        last = result;
        EXPECT_EQ(steps[s].check(result), "") << "request " << s + 1;
        for (const std::string& line : result.hostLog) {
          EXPECT_NE(line.find("not offered by this host"), std::string::npos) << "request " << s + 1 << ": " << line;
        }
      }
      if (row.databases) {
        EXPECT_EQ(row.databases(dir.path()), "");
      }
      if (row.setup) {
        EXPECT_EQ(DumpDatabases(dir.path(), row.written), before) << "rows outside the action's changed";
        EXPECT_EQ(row.stored(host, payload, last), "");
      }
    }
  }
}

}  // namespace
