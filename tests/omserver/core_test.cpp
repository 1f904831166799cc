// The stand-in host itself, where a product plug-in cannot reach: loading, the record it
// hands to Body, sessions across requests and processes, the cookie jar, double replies.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "context.h"
#include "sessions.h"
#include "test_support.h"

namespace {

using omserver::Host;
using omserver::RequestSpec;
using omtest::Browser;
using omtest::TempDir;

RequestSpec Query(std::initializer_list<std::pair<std::string, std::string>> query) {
  RequestSpec incoming;
  incoming.query.assign(query.begin(), query.end());
  return incoming;
}

TEST(PluginLoading, RefusesFilesThatAreNotPagePlugins) {
  std::string error;
  EXPECT_EQ(omserver::Plugin::load("/nonexistent/OMNothing.so", error), nullptr);
  EXPECT_NE(error.find("cannot load"), std::string::npos) << error;

  error.clear();
  EXPECT_EQ(omserver::Plugin::load(omtest::PluginPath("OMBodyOnly"), error), nullptr);
  EXPECT_NE(error.find("does not export GetPluginInfo"), std::string::npos) << error;
}

TEST(PluginLoading, ReadsTheInformationRecord) {
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->info().interfaceId, 73);
  EXPECT_STREQ(probe->info().version, "9.9.9r(probe)");
  EXPECT_EQ(probe->name(), "OMSessionProbe");
}

TEST(HostRecord, CarriesTheRequestInItsDataWords) {
  TempDir data;
  Host host(data.path());
  RequestSpec incoming;
  incoming.kind = 2;
  incoming.pageUrl = "/OMJoin";
  incoming.clientAddress = 0x0A000102;
  incoming.clientPort = 4711;
  omserver::RequestResult result;
  omserver::RequestState state(host, incoming, result);
  omserver::RequestContext context{};
  context.state = &state;
  omserver::FillHostApi(context);
  const HostApi& api = context.api;
  EXPECT_EQ(api.RequestKind.value, 2);
  EXPECT_STREQ(api.PageUrl, "/OMJoin");
  EXPECT_EQ(api.ClientAddress.value, 0x0A000102);
  EXPECT_EQ(api.ClientPort.value, 4711);
  // The rest of an integer word is zero, and every word no plug-in uses is null.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(api.RequestKind.word), 2u);
  const void* const* words = reinterpret_cast<const void* const*>(&api);
  for (int word : {0, 2, 4, 5, 8, 25, 29, 32, 34, 38, 44, 57, 63, 65, 67, 71, 75, 79, 80, 82, 84, 86, 87, 89, 95}) {
    EXPECT_EQ(words[word], nullptr) << "word " << word;
  }
  for (int word : {26, 27, 28, 30, 31, 33, 39, 40, 41, 42, 43, 45, 53, 62, 64, 66, 68, 72, 77, 81, 85, 88, 96}) {
    EXPECT_NE(words[word], nullptr) << "slot word " << word;
  }
  char address[512];
  EXPECT_EQ(api.FormatAddress(&context.api, api.ClientAddress.value, 4711, address, sizeof address), 0);
  EXPECT_STREQ(address, "10.0.1.2:4711");
}

TEST(Sessions, ANewSessionSetsItsCookieAndTheNextRequestFindsIt) {
  TempDir data;
  Host host(data.path());
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  Browser browser(host, *probe);

  auto first = browser.visit({});
  ASSERT_EQ(first.sessions.size(), 1u);
  EXPECT_TRUE(first.sessions[0].isNew);
  EXPECT_EQ(first.sessions[0].tag, "Probe:SESSIONTAG");
  ASSERT_TRUE(first.cookie("PROBESESSION").has_value()) << "a created session sets its cookie";
  EXPECT_EQ(first.body, "visits=1 new=1");

  auto second = browser.visit({});
  EXPECT_FALSE(second.sessions[0].isNew);
  EXPECT_FALSE(second.cookie("PROBESESSION").has_value()) << "a known session sets no cookie";
  EXPECT_EQ(second.body, "visits=2 new=0");
  EXPECT_TRUE(second.sessions[0].closed);
  EXPECT_EQ(second.sessions[0].end, 0);
}

TEST(Sessions, ClosingWithOneDiscardsTheSession) {
  TempDir data;
  Host host(data.path());
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  Browser browser(host, *probe);
  browser.visit({});
  auto ending = browser.visit(Query({{"end", "1"}}));
  EXPECT_EQ(ending.sessions[0].end, 1);
  std::string id = browser.jar().get("PROBESESSION");
  EXPECT_FALSE(omserver::SessionExists(host, omserver::SessionKind::Browser, "Probe:SESSIONTAG", id));
  auto fresh = browser.visit({});
  EXPECT_TRUE(fresh.sessions[0].isNew);
  EXPECT_EQ(fresh.body, "visits=1 new=1");
}

TEST(Sessions, AnUnclosedSessionIsKeptAndNoted) {
  TempDir data;
  Host host(data.path());
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  Browser browser(host, *probe);
  auto open = browser.visit(Query({{"noclose", "1"}}));
  EXPECT_FALSE(open.sessions[0].closed);
  ASSERT_FALSE(open.hostLog.empty());
  EXPECT_NE(open.hostLog.back().find("not closed"), std::string::npos);
  EXPECT_EQ(browser.visit({}).body, "visits=2 new=0");
}

TEST(Sessions, AForgedSessionCookieGetsAFreshSession) {
  TempDir data;
  Host host(data.path());
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  RequestSpec incoming;
  incoming.cookies = {{"PROBESESSION", "'; drop table sessions; --"}};
  auto result = host.run(*probe, incoming);
  EXPECT_TRUE(result.sessions[0].isNew);
  ASSERT_TRUE(result.cookie("PROBESESSION").has_value());
  EXPECT_NE(*result.cookie("PROBESESSION"), "'; drop table sessions; --");
}

TEST(Sessions, KeyedSessionsAreNewOnlyOnceWithinTheirLifetime) {
  TempDir data;
  Host host(data.path());
  host.setClock(1'000'000);
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  Browser browser(host, *probe);
  auto first = browser.visit(Query({{"keyed", "K1"}}));
  ASSERT_EQ(first.sessions.size(), 2u);
  EXPECT_TRUE(first.sessions[1].keyed);
  EXPECT_TRUE(first.sessions[1].isNew);
  EXPECT_EQ(omserver::StoredSessionOptions(host, omserver::SessionKind::Keyed, "Probe:step", "K1").at(2), 60000);
  EXPECT_FALSE(browser.visit(Query({{"keyed", "K1"}})).sessions[1].isNew);
  host.setClock(1'000'000 + 61);
  EXPECT_TRUE(browser.visit(Query({{"keyed", "K1"}})).sessions[1].isNew) << "a lifetime of 60000 ms has run out";
}

TEST(Replies, ASecondReplyIsKeptAndNoted) {
  TempDir data;
  Host host(data.path());
  auto probe = omtest::LoadPlugin("OMSessionProbe");
  ASSERT_NE(probe, nullptr);
  auto result = host.run(*probe, Query({{"twice", "1"}}));
  ASSERT_EQ(result.replies.size(), 2u);
  EXPECT_EQ(result.replies[0].call, "Respond");
  EXPECT_EQ(result.replies[0].code, 3207);
  EXPECT_EQ(result.replies[1].call, "Redirect");
  EXPECT_EQ(result.replies[1].url, "nodb.htm");
  bool noted = false;
  for (const auto& line : result.hostLog) noted = noted || line.find("second reply") != std::string::npos;
  EXPECT_TRUE(noted);
}

// The command line: a conversation spans processes through the data directory and the jar.
TEST(RequestCommand, AJarCarriesTheSessionAcrossProcesses) {
  TempDir dir;
  std::string common = "request --plugin " + omtest::PluginPath("OMSessionProbe") + " --data " +
                       (dir.path() / "data").string() + " --jar " + (dir.path() / "jar.json").string();
  auto first = omtest::RunOmserver(common);
  ASSERT_EQ(first.status, 0) << first.err;
  auto second = omtest::RunOmserver(common + " --query twice=1 --query end=1");
  ASSERT_EQ(second.status, 0) << second.err;
  auto out = nlohmann::json::parse(second.out);
  EXPECT_EQ(out["body"], "visits=2 new=0");
  EXPECT_EQ(out["sessions"][0]["isNew"], false);
  EXPECT_EQ(out["sessions"][0]["end"], 1);
  ASSERT_EQ(out["replies"].size(), 2u);
  EXPECT_EQ(out["replies"][0]["msgbase"], "msg.htm");
  EXPECT_EQ(out["replies"][0]["text"], nullptr);
  EXPECT_EQ(out["replies"][1]["url"], "nodb.htm");

  std::ifstream jarFile(dir.path() / "jar.json");
  auto jar = nlohmann::json::parse(jarFile);
  EXPECT_TRUE(jar.contains("PROBESESSION"));
}

TEST(RequestCommand, BadArgumentsGiveOneLineAndNoOutput) {
  TempDir dir;
  struct Case { std::string arguments; std::string says; } cases[] = {
      {"request", "--plugin PATH is required"},
      {"request --plugin /nonexistent.so", "cannot load"},
      {"request --plugin " + omtest::PluginPath("OMBodyOnly"), "does not export"},
      {"request --plugin " + omtest::PluginPath("OMPrepare") + " --query URL", "NAME=VALUE"},
      {"request --plugin " + omtest::PluginPath("OMPrepare") + " --kind two", "--kind"},
      {"request --plugin " + omtest::PluginPath("OMPrepare") + " --client localhost", "ADDR:PORT"},
      {"request --bogus", "unknown option"},
      {"frobnicate", "unknown subcommand"},
  };
  for (const Case& c : cases) {
    auto run = omtest::RunOmserver(c.arguments + " --data " + (dir.path() / "d").string());
    EXPECT_NE(run.status, 0) << c.arguments;
    EXPECT_TRUE(run.out.empty()) << c.arguments << " printed " << run.out;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.arguments << ": " << run.err;
  }
}

TEST(RequestCommand, AJarThatIsNotAJarIsRefusedAndLeftAlone) {
  TempDir dir;
  std::string jar = (dir.path() / "jar.json").string();
  { std::ofstream(jar) << "not json"; }
  auto run = omtest::RunOmserver("request --plugin " + omtest::PluginPath("OMPrepare") + " --query URL=/x --data " +
                                 (dir.path() / "d").string() + " --jar " + jar);
  EXPECT_NE(run.status, 0);
  EXPECT_TRUE(run.out.empty());
  std::ifstream in(jar);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "not json");
}

}  // namespace
