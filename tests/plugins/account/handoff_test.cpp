// GoToOMCom: a logged-in player is handed over to the web site with the registered
// sequence and check numbers, in clear and enciphered, and the caller's own data.
#include <gtest/gtest.h>

#include "account_fixture.h"
#include "services/services.h"

namespace accounttest {
namespace {

class HandOffTest : public AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    cid_ = AddAccount("pilot", "secret", "p@orbitmere.example");
    AddLoginValue(cid_, 777);
    Sql("INSERT INTO character (chid, cid, name, state) VALUES (21, " + std::to_string(cid_) + ", 'Wing', 'A')");
  }
  std::vector<RequestResult> HandOff(NameValues fields, int64_t chid = 21, NameValues source1 = {}) {
    omtest::Browser browser = NewBrowser();
    for (const auto& [name, value] : LoginCookies(cid_, 777, chid)) browser.jar().set(name, value);
    RequestSpec incoming = Form("GoToOMCom", fields);
    incoming.source1 = source1;
    incoming.form.emplace_back("start", "/login.htm");
    return Converse(browser, incoming);
  }
  int64_t cid_ = 0;
};

TEST_F(HandOffTest, ThePlayerGoesToTheWebSiteWithTheHandOffNumbers) {
  const std::string userdata(2047, 'u');
  auto conversation = HandOff({{"pfid", "4"}, {"userdata", userdata}});
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Contacting account databases....", 1);
  ExpectRedirectSuccess(Final(conversation));
  const NameValues& vars = conversation.back().replyVars;
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[0].first, "SEQ");
  EXPECT_EQ(vars[1].first, "SANITY");
  EXPECT_EQ(vars[2].first, "CARGO");
  EXPECT_EQ(vars[3].first, "USERDATA");
  EXPECT_EQ(vars[0].second, Scalar("SELECT seq FROM gotoomcom"));
  EXPECT_EQ(vars[1].second, Scalar("SELECT sanity FROM gotoomcom"));
  EXPECT_EQ(omserver::services::Decipher(vars[2].second, "JUMPTOWEB:7086"), vars[0].second + ":" + vars[1].second);
  EXPECT_EQ(vars[3].second, userdata) << "2047 characters come back whole";
  EXPECT_EQ(Scalar("SELECT cid || ':' || chid || ':' || pfid FROM gotoomcom"), std::to_string(cid_) + ":21:4");
}

TEST_F(HandOffTest, TheProductFamilyMayComeFromTheHost) {
  ExpectRedirectSuccess(Final(HandOff({}, 21, {{"pfid", "6"}})));
  EXPECT_EQ(Scalar("SELECT pfid FROM gotoomcom"), "6");
}

TEST_F(HandOffTest, AFailingCipherLeavesTheCargoEmpty) {
  omserver::services::SetSlotFailing(*host_, "EncodeText", true);
  auto conversation = HandOff({{"pfid", "4"}});
  ExpectRedirectSuccess(Final(conversation));
  EXPECT_EQ(conversation.back().replyVar("CARGO"), "");
  EXPECT_EQ(conversation.back().replyVar("SEQ"), "1");
}

TEST_F(HandOffTest, RefusalsBeforeTheDatabase) {
  auto noFamily = HandOff({});
  ExpectCodeFailure(Final(noFamily), 1100);
  EXPECT_EQ(noFamily.back().failuresNoted, 0);
  auto noCharacter = HandOff({{"pfid", "4"}}, 0);
  ASSERT_EQ(noCharacter.size(), 1u);
  ExpectCodeFailure(Final(noCharacter), 3207, "/login.htm");
  omserver::services::SetDbOffline(*host_, true);
  auto offline = HandOff({{"pfid", "4"}});
  ExpectCodeFailure(Final(offline), 4005);
  EXPECT_EQ(offline.back().failuresNoted, 1);
}

TEST_F(HandOffTest, TheCharacterMustBeTheAccountsLivePlayer) {
  Sql("INSERT INTO character (chid, cid, name, state) VALUES (22, 99, 'Other', 'A')");
  Sql("INSERT INTO character (chid, cid, name, state) VALUES (23, " + std::to_string(cid_) + ", 'Old', 'D')");
  for (int64_t chid : {22, 23}) {
    SCOPED_TRACE(chid);
    auto conversation = HandOff({{"pfid", "4"}}, chid);
    ASSERT_EQ(conversation.size(), 2u);
    ExpectCodeFailure(Final(conversation), 3243, "/login.htm");
    EXPECT_EQ(conversation.back().failuresNoted, 1);
    EXPECT_TRUE(conversation.back().replyVars.empty());
  }
  EXPECT_EQ(Scalar("SELECT count(*) FROM gotoomcom"), "0");
}

}  // namespace
}  // namespace accounttest
