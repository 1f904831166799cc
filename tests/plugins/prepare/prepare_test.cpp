// OMPrepare as the page server drives it: launch values in, cookies and the next page out.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "test_support.h"

namespace {

using omserver::RequestSpec;

class PrepareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = omtest::LoadPlugin("OMPrepare");
    ASSERT_NE(plugin_, nullptr);
    host_ = std::make_unique<omserver::Host>(data_.path());
  }
  omserver::RequestResult Run(omserver::NameValues query) {
    RequestSpec incoming;
    incoming.pageUrl = "/OMPrepare";
    incoming.query = std::move(query);
    return host_->run(*plugin_, incoming);
  }
  omtest::TempDir data_;
  std::unique_ptr<omserver::Plugin> plugin_;
  std::unique_ptr<omserver::Host> host_;
};

TEST_F(PrepareTest, RedirectsToTheAddressWithOnlyTheGivenCookies) {
  auto result = Run({{"URL", "/next.htm"}, {"GT", "7"}});
  const auto& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.call, "Redirect");
  EXPECT_EQ(reply.word, "SUCCESS");
  EXPECT_EQ(reply.url, "/next.htm");
  EXPECT_EQ(reply.zero, 0);
  EXPECT_EQ(result.cookies, (omserver::NameValues{{"GT", "7"}}));
  EXPECT_TRUE(result.sessions.empty()) << "OMPrepare keeps no session";
}

TEST_F(PrepareTest, MetaRefreshAnswersWithAnImmediateRelayPage) {
  struct Case { const char* refresh; bool relay; } cases[] = {
      {"1", true}, {"-3", true}, {" 2x", true}, {"0", false}, {"yes", false}, {"", false},
  };
  for (const Case& c : cases) {
    auto result = Run({{"URL", "/next.htm"}, {"METAREFRESH", c.refresh}, {"GT", "7"}});
    const auto& reply = omtest::OnlyReply(result);
    if (c.relay) {
      EXPECT_EQ(reply.call, "Respond") << "METAREFRESH=" << c.refresh;
      EXPECT_EQ(reply.word, "RELAY");
      EXPECT_EQ(reply.msgbase, std::nullopt);
      EXPECT_EQ(reply.code, 0);
      EXPECT_EQ(reply.text, std::nullopt);
      EXPECT_EQ(reply.target, "/next.htm");
      EXPECT_EQ(reply.delay, 0);
    } else {
      EXPECT_EQ(reply.call, "Redirect") << "METAREFRESH=" << c.refresh;
    }
    EXPECT_EQ(result.cookie("GT"), "7");
  }
}

TEST_F(PrepareTest, WithoutAnAddressAnswers1012AndSetsNoCookie) {
  auto result = Run({{"GT", "7"}, {"VER1", "1.0"}});
  const auto& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.call, "Respond");
  EXPECT_EQ(reply.word, "FAILURE");
  EXPECT_EQ(reply.msgbase, std::nullopt);
  EXPECT_EQ(reply.code, 1012);
  EXPECT_EQ(reply.text, std::nullopt);
  EXPECT_EQ(reply.target, std::nullopt);
  EXPECT_EQ(reply.delay, -1);
  EXPECT_TRUE(result.cookies.empty());
}

TEST_F(PrepareTest, EveryLaunchValueBecomesACookieInOrderAndEmptyValuesCount) {
  auto result = Run({{"PFID", "26"}, {"USEJUNCTION", ""}, {"JUNCTIONCODE", "J"}, {"PRODUCTCODE", "P"},
                     {"CC", "us"}, {"GT", "7"}, {"VER2", "2.0"}, {"VER1", "1.0"}, {"URL", ""}, {"OTHER", "x"}});
  EXPECT_EQ(result.cookies, (omserver::NameValues{{"VER1", "1.0"}, {"VER2", "2.0"}, {"GT", "7"}, {"CC", "us"},
                                                  {"PRODUCTCODE", "P"}, {"JUNCTIONCODE", "J"}, {"USEJUNCTION", ""},
                                                  {"PFID", "26"}}));
  EXPECT_EQ(omtest::OnlyReply(result).url, "") << "an empty address is not a failure";
}

TEST_F(PrepareTest, FormValuesCountAndLongValuesAreCut) {
  RequestSpec incoming;
  incoming.form = {{"URL", "/f.htm"}, {"VER1", std::string(600, 'v')}};
  auto result = host_->run(*plugin_, incoming);
  EXPECT_EQ(omtest::OnlyReply(result).url, "/f.htm");
  EXPECT_EQ(result.cookie("VER1"), std::string(511, 'v'));
}

TEST(PrepareInfo, FillsTheRecordAndRefusesNull) {
  auto plugin = omtest::LoadPlugin("OMPrepare");
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->getPluginInfo()(nullptr), -1);
  PluginInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(plugin->getPluginInfo()(&info), 0);
  EXPECT_EQ(info.interfaceId, 73);
  EXPECT_STREQ(info.version, "0.0.1r(.NET)");
  // "Mmm dd yyyy hh:mm:ss", the day padded by a blank.
  ASSERT_EQ(std::strlen(info.built), 20u) << info.built;
  EXPECT_EQ(info.built[3], ' ');
  EXPECT_EQ(info.built[11], ' ');
  for (size_t i = std::strlen(info.version); i < sizeof info.version; ++i) EXPECT_EQ(info.version[i], 0) << i;
  for (size_t i = std::strlen(info.built); i < sizeof info.built; ++i) EXPECT_EQ(info.built[i], 0) << i;
}

TEST(PrepareCommand, PrintsTheReplyAsJson) {
  omtest::TempDir dir;
  std::string base = "request --plugin " + omtest::PluginPath("OMPrepare") + " --data " + dir.path().string();
  auto redirect = omtest::RunOmserver(base + " --query URL=/next.htm --query GT=7");
  ASSERT_EQ(redirect.status, 0) << redirect.err;
  auto out = nlohmann::json::parse(redirect.out);
  EXPECT_EQ(out["plugin"]["interfaceId"], 73);
  EXPECT_EQ(out["plugin"]["version"], "0.0.1r(.NET)");
  EXPECT_EQ(out["replies"][0]["call"], "Redirect");
  EXPECT_EQ(out["replies"][0]["word"], "SUCCESS");
  EXPECT_EQ(out["replies"][0]["url"], "/next.htm");
  EXPECT_EQ(out["cookies"]["GT"], "7");

  auto relay = nlohmann::json::parse(omtest::RunOmserver(base + " --query URL=/next.htm --query METAREFRESH=1").out);
  EXPECT_EQ(relay["replies"][0]["word"], "RELAY");
  EXPECT_EQ(relay["replies"][0]["delay"], 0);
  EXPECT_EQ(relay["replies"][0]["target"], "/next.htm");
  EXPECT_EQ(relay["replies"][0]["msgbase"], nullptr);

  auto missing = nlohmann::json::parse(omtest::RunOmserver(base).out);
  EXPECT_EQ(missing["replies"][0]["code"], 1012);
}

}  // namespace
