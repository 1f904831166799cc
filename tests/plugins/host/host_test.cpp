// OMHost through requests of the stand-in host. Until the stand-in offers RegisterHost, the
// registrations that must succeed or report a status run with that one slot of the record
// replaced by the registry below, which records what it was given.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <optional>
#include <string>

#include "page_requests.h"
#include "services/services.h"
#include "test_support.h"

namespace {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;

constexpr char kTag[] = "OMHost.dll:SESSIONTAG";
constexpr char kCookie[] = "OMJOINSESSIONTAG";

const char* const kEmptiedCookies[] = {"PUBPCID", "PUBNAMEINFO", "PUBSQUADINFO", "OMPCID",     "OMNAMEINFO", "OMSQUADINFO",
                                       "OMTI",    "OMTV",        "AFFPCID",      "AFFNAMEINFO", "AFFSQUADINFO"};

// The stand-in registry: answers with the result, status and key it is given and keeps the
// record it saw.
struct Registry {
  int32_t result = 0;
  int32_t status = 0;
  std::string hostKey = "K1";
  int32_t calls = 0;
  HostRecord seen{};
};
Registry* registry = nullptr;

int32_t RegisterHostForTest(HostApi*, HostRecord* record) {
  ++registry->calls;
  std::memcpy(&registry->seen, record, sizeof *record);
  record->status = registry->status;
  std::snprintf(record->hostKey, sizeof record->hostKey, "%s", registry->hostKey.c_str());
  return registry->result;
}

RequestSpec Request(NameValues query) {
  RequestSpec incoming;
  incoming.query = std::move(query);
  return incoming;
}

NameValues Visit(const char* success = "/s.htm") {
  return {{"success", success}, {"failure", "/f.htm"}, {"msgbase", "m"}, {"relay", "/r.htm"},
          {"pfid", "5"},        {"pfid2", "0"}};
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { registry = &answers; }
  void TearDown() override { registry = nullptr; }

  RequestResult visit(RequestSpec incoming) {
    return omtest::RunWithSlots(host, *plugin, jar, std::move(incoming), [](HostApi& api) { api.RegisterHost = RegisterHostForTest; });
  }
  void logIn() {
    for (const auto& [name, value] : NameValues{{"OMV", "31"}, {"OMI", "1001"}, {"OMD", "7"}, {"CHAR", "Fox"}}) {
      jar.set(name, value);
    }
  }

  omtest::TempDir dir;
  omserver::Host host{dir.path()};
  std::unique_ptr<omserver::Plugin> plugin = omtest::LoadPlugin("OMHost");
  omserver::CookieJar jar;
  Registry answers;
};

void ExpectHandOffCookies(const RequestResult& result, const char* pfid, const char* pfid2, const std::string& name) {
  for (const char* cookie : kEmptiedCookies) EXPECT_EQ(result.cookie(cookie), "") << name << ": " << cookie;
  EXPECT_EQ(result.cookie("OMPF"), pfid) << name;
  EXPECT_EQ(result.cookie("OMPF2"), pfid2) << name;
}

TEST_F(HostTest, PluginInfo) { EXPECT_STREQ(plugin->info().version, "0.0.1r(.NET)"); }

TEST_F(HostTest, AVisitRelaysThenRedirectsWithTheHostKey) {
  struct Case {
    const char* success;
    const char* redirect;
  };
  const Case cases[] = {
      {"/s.htm", "/s.htm?hostkey=K1"},
      {"/s.htm?game=3", "/s.htm?game=3&hostkey=K1"},
  };
  for (const Case& c : cases) {
    jar = omserver::CookieJar();
    answers = Registry{};
    logIn();
    RequestResult first = visit(Request(Visit(c.success)));
    const omserver::ReplyCall& relay = omtest::OnlyReply(first);
    EXPECT_EQ(relay.word, "RELAY") << c.success;
    EXPECT_EQ(relay.msgbase, "/r.htm") << c.success;
    EXPECT_EQ(relay.text, "Contacting Orbitmere....") << c.success;
    EXPECT_EQ(relay.target, "/OMHost") << c.success;
    EXPECT_EQ(relay.delay, 0) << c.success;
    ExpectHandOffCookies(first, "5", "0", c.success);
    ASSERT_EQ(first.sessions.size(), 1u);
    EXPECT_EQ(first.sessions[0].cookie, kCookie);
    EXPECT_EQ(first.sessions[0].end, 0) << c.success;
    EXPECT_EQ(answers.calls, 0) << "nothing is registered on the first request";

    // The relay page comes back with no page variables of its own: the session's hold.
    RequestResult second = visit(Request({{"pfid", "9"}}));
    const omserver::ReplyCall& done = omtest::OnlyReply(second);
    EXPECT_EQ(done.call, "Redirect") << c.success;
    EXPECT_EQ(done.word, "SUCCESS") << c.success;
    EXPECT_EQ(done.url, c.redirect);
    ExpectHandOffCookies(second, "5", "0", c.success);
    EXPECT_FALSE(second.sessions.at(0).isNew);
    EXPECT_EQ(second.sessions.at(0).end, 1) << c.success;
    EXPECT_EQ(answers.calls, 1) << c.success;
    EXPECT_EQ(answers.seen.accountId, 1001);
    EXPECT_EQ(answers.seen.loginValue, 31);
    EXPECT_EQ(answers.seen.characterId, 7);
    EXPECT_EQ(answers.seen.pfid, 5);
  }
}

TEST_F(HostTest, WithoutLoginCookiesTheHostIsAskedWithZeros) {
  jar.set("OMV", "31");  // incomplete: no OMI, OMD, CHAR
  visit(Request(Visit()));
  RequestResult second = visit(Request({}));
  EXPECT_EQ(answers.calls, 1);
  EXPECT_EQ(answers.seen.accountId, 0);
  EXPECT_EQ(answers.seen.loginValue, 0);
  EXPECT_EQ(answers.seen.characterId, 0);
  EXPECT_EQ(answers.seen.pfid, 5);
  const HostRecord zero{};
  EXPECT_EQ(std::memcmp(answers.seen.reserved16, zero.reserved16, sizeof zero.reserved16), 0);
  EXPECT_EQ(answers.seen.reserved80, 0);
  EXPECT_EQ(answers.seen.reserved88, 0);
  EXPECT_EQ(omtest::OnlyReply(second).word, "SUCCESS");
}

TEST_F(HostTest, RegistrationFailures) {
  struct Case {
    const char* name;
    int32_t result;
    int32_t status;
    int32_t code;
  };
  const Case cases[] = {
      {"refused by the host", -1, 0, 3234},
      {"refused even with a status", -2, 77, 3234},
      {"a status", 0, 3299, 3299},
      {"a status with a positive result", 1, 12, 12},
  };
  for (const Case& c : cases) {
    jar = omserver::CookieJar();
    logIn();
    answers.result = c.result;
    answers.status = c.status;
    visit(Request(Visit()));
    RequestResult second = visit(Request({}));
    const omserver::ReplyCall& reply = omtest::OnlyReply(second);
    EXPECT_EQ(reply.word, "FAILURE") << c.name;
    EXPECT_EQ(reply.msgbase, "m") << c.name;
    EXPECT_EQ(reply.code, c.code) << c.name;
    EXPECT_FALSE(reply.text.has_value()) << c.name;
    EXPECT_EQ(reply.target, "/f.htm") << c.name;
    EXPECT_EQ(reply.delay, -1) << c.name;
    EXPECT_EQ(second.sessions.at(0).end, 1) << c.name;
  }
}

// The stand-in's own host registry, as the page server answers.
TEST_F(HostTest, TheStandInRegistryHandsOutAKeyOrAnswersItsFailure) {
  omtest::Browser browser(host, *plugin);
  browser.visit(Request(Visit()));
  RequestResult registered = browser.visit(Request({}));
  const omserver::ReplyCall& redirect = omtest::OnlyReply(registered);
  EXPECT_EQ(redirect.call, "Redirect");
  ASSERT_TRUE(redirect.url.has_value());
  EXPECT_NE(redirect.url->find("hostkey="), std::string::npos) << *redirect.url;

  omserver::services::SetRegisterHostStatus(host, 3235);
  browser.visit(Request(Visit()));
  EXPECT_EQ(omtest::OnlyReply(browser.visit(Request({}))).code, 3235);

  omserver::services::SetSlotFailing(host, "RegisterHost", true);
  browser.visit(Request(Visit()));
  EXPECT_EQ(omtest::OnlyReply(browser.visit(Request({}))).code, 3234);
}

TEST_F(HostTest, AStoredStageBeyondOneIsRefusedWith1101) {
  omtest::PlantSession(host, jar, kTag, kCookie, "S0000070000000000000007",
                       {{"private:stage", "7"}, {"success", "/s"}, {"failure", "/f"}, {"msgbase", "m"},
                        {"relay", "/r"}, {"pfid", "5"}, {"pfid2", "6"}});
  RequestResult result = visit(Request({}));
  const omserver::ReplyCall& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.word, "FAILURE");
  EXPECT_EQ(reply.code, 1101);
  EXPECT_FALSE(reply.msgbase.has_value());
  EXPECT_FALSE(reply.target.has_value());
  EXPECT_EQ(result.sessions.at(0).end, 1);
  ExpectHandOffCookies(result, "5", "6", "stage 7");
  EXPECT_EQ(answers.calls, 0);
}

TEST_F(HostTest, MissingReplyPagesAndMissingSession) {
  RequestResult noPages = visit(Request({{"success", "/s"}, {"pfid", "5"}}));
  EXPECT_EQ(omtest::OnlyReply(noPages).code, 1003);
  EXPECT_EQ(noPages.cookies.size(), 1u) << "only the session cookie: Init failed before the page logic";

  RequestResult noSession = omtest::RunWithSlots(host, *plugin, jar, Request(Visit()), [](HostApi& api) {
    api.OpenSession = [](HostApi*, const char*, const char*) -> SessionHandle* { return nullptr; };
  });
  const omserver::ReplyCall& reply = omtest::OnlyReply(noSession);
  EXPECT_EQ(reply.code, 1200);
  EXPECT_FALSE(reply.text.has_value());
  EXPECT_FALSE(reply.msgbase.has_value());
  EXPECT_TRUE(noSession.sessions.empty());
}

TEST_F(HostTest, TheProductFamiliesComeFromAnySourceAsDecimals) {
  RequestSpec incoming = Request({{"success", "/s"}, {"failure", "/f"}, {"msgbase", "m"}, {"relay", "/r"}});
  incoming.source1 = {{"pfid", "12abc"}, {"pfid2", " -3"}};
  ExpectHandOffCookies(visit(incoming), "12", "-3", "from source 1");
}

// The command line keeps the session in its jar between two invocations.
TEST(HostCommandLine, TwoRequestsWithAJar) {
  omtest::TempDir dir;
  std::string data = (dir.path() / "data").string();
  std::string jar = (dir.path() / "jar.json").string();
  std::string common = "request --plugin " + omtest::PluginPath("OMHost") + " --data " + data + " --jar " + jar;
  omtest::CommandResult first = omtest::RunOmserver(
      common + " --query success=/s.htm --query failure=/f.htm --query msgbase=m --query relay=/r.htm --query pfid=5");
  ASSERT_EQ(first.status, 0) << first.err;
  nlohmann::json relay = nlohmann::json::parse(first.out);
  EXPECT_EQ(relay["replies"][0]["word"], "RELAY");
  EXPECT_EQ(relay["replies"][0]["text"], "Contacting Orbitmere....");
  EXPECT_EQ(relay["cookies"]["OMPF"], "5");
  EXPECT_EQ(relay["sessions"][0]["end"], 0);

  omtest::CommandResult second = omtest::RunOmserver(common);
  ASSERT_EQ(second.status, 0) << second.err;
  nlohmann::json done = nlohmann::json::parse(second.out);
  ASSERT_EQ(done["replies"].size(), 1u) << second.out;
  EXPECT_EQ(done["replies"][0]["call"], "Redirect") << "the second request is the registration";
  EXPECT_EQ(done["replies"][0]["word"], "SUCCESS");
  std::string url = done["replies"][0]["url"];
  EXPECT_EQ(url.rfind("/s.htm?hostkey=", 0), 0u) << url;
  EXPECT_GT(url.size(), std::string("/s.htm?hostkey=").size()) << "the key follows";
  EXPECT_EQ(done["sessions"][0]["isNew"], false) << second.out;
  EXPECT_EQ(done["sessions"][0]["end"], 1);
  EXPECT_EQ(done["cookies"]["OMPF"], "5") << "the first request's product family stays in force";
}

}  // namespace
