// Hostile input through whole conversations: every text variable and cookie of a page
// plug-in filled with SQL, markup, format directives, over-long texts and bytes above 127.
// The replies must stay the designed ones (with the hostile text cut to its buffer, never
// interpreted), nothing may crash, the host's log stays clean, and the databases hold
// exactly what the designed statements write (none for the plug-ins here).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "conversations.h"
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

struct InjectionRow {
  const char* name;
  const char* plugin;
  std::function<std::vector<ConversationStep>(const Payload&)> steps;
  std::function<std::string(const std::filesystem::path& data)> databases;
};

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
      omtest::Browser browser(host, *plugin);
      std::vector<ConversationStep> steps = row.steps(payload);
      for (size_t s = 0; s < steps.size(); ++s) {
        RequestResult result = browser.visit(steps[s].request);
        EXPECT_EQ(steps[s].check(result), "") << "request " << s + 1;
        for (const std::string& line : result.hostLog) {
          EXPECT_NE(line.find("not offered by this host"), std::string::npos) << "request " << s + 1 << ": " << line;
        }
      }
      EXPECT_EQ(row.databases(dir.path()), "");
    }
  }
}

}  // namespace
