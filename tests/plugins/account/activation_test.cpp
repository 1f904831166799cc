// ActivateAccount: the mailed code makes a pending account active.
#include <gtest/gtest.h>

#include "account_fixture.h"

namespace accounttest {
namespace {

class ActivationTest : public AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    cid_ = AddAccount("newbie", "secret", "n@orbitmere.example", "P");
    Sql("UPDATE login SET activation = 482913");
  }
  std::vector<RequestResult> Activate(const std::string& email, const std::string& code) {
    return Converse(Form("ActivateAccount", {{"email", email}, {"activationcode", code}}));
  }
  std::string Row() { return Scalar("SELECT status || '|' || activation FROM login WHERE cid = " + std::to_string(cid_)); }
  int64_t cid_ = 0;
};

TEST_F(ActivationTest, TheRightCodeActivatesOnceAndOnlyOnce) {
  auto conversation = Activate("N@orbitmere.example", "482913");
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Changing account email address....", 0);
  ExpectTextSuccess(Final(conversation), "Account has been activated.  Please log in.");
  EXPECT_EQ(Row(), "A|0");
  ASSERT_EQ(conversation.back().eventLog.size(), 1u);
  EXPECT_EQ(conversation.back().eventLog[0].accountId, cid_);
  EXPECT_EQ(conversation.back().eventLog[0].tag, "ACTIVATEACCOUNT");
  EXPECT_EQ(conversation.back().eventLog[0].detail, "email=N@orbitmere.example, activationcode=482913");

  ExpectTextFailure(Final(Activate("n@orbitmere.example", "482913")), "Account is already activated.", "/failed.htm");
}

TEST_F(ActivationTest, AWrongCodeIsNotAccepted) {
  for (const char* code : {"482914", "", "abc", "-482913"}) {
    SCOPED_TRACE(std::string("code \"") + code + "\"");
    auto conversation = Activate("n@orbitmere.example", code);
    ExpectTextFailure(Final(conversation), "Activation code not accepted.", "/failed.htm");
    EXPECT_TRUE(conversation.back().eventLog.empty());
  }
  EXPECT_EQ(Row(), "P|482913");
  // The code counts by its leading number.
  ExpectTextSuccess(Final(Activate("n@orbitmere.example", "482913xyz")), "Account has been activated.  Please log in.");
}

TEST_F(ActivationTest, TheAccountMustBePending) {
  struct Case { const char* status; int code; const char* text; } cases[] = {
      {"S", 3201, nullptr}, {"D", 3202, nullptr}, {"N", 0, "Account specified is not in pending state."},
      {"p", -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("status ") + c.status);
    Sql(std::string("UPDATE login SET status = '") + c.status + "', activation = 482913");
    auto conversation = Activate("n@orbitmere.example", "482913");
    if (c.code > 0) {
      ExpectCodeFailure(Final(conversation), c.code);
    } else if (c.code == 0) {
      ExpectTextFailure(Final(conversation), c.text, "/failed.htm");
    } else {
      ExpectTextSuccess(Final(conversation), "Account has been activated.  Please log in.");
    }
  }
  Sql("UPDATE login SET state = 'D'");
  ExpectCodeFailure(Final(Activate("n@orbitmere.example", "482913")), 3206);
}

TEST_F(ActivationTest, AStoredCodeOfZeroIsMatchedByNoCode) {
  Sql("UPDATE login SET activation = 0");
  ExpectTextSuccess(Final(Converse(Form("ActivateAccount", {{"email", "n@orbitmere.example"}}))),
                    "Account has been activated.  Please log in.");
  EXPECT_EQ(Row(), "A|0");
}

TEST_F(ActivationTest, OnlyTheFirstLiveAccountOfTheAddressIsExamined) {
  AddAccount("second", "secret", "n@orbitmere.example", "P");
  Sql("UPDATE login SET activation = 1 WHERE handle = 'second'");
  ExpectTextFailure(Final(Activate("n@orbitmere.example", "1")), "Activation code not accepted.", "/failed.htm");
}

TEST_F(ActivationTest, TheAddressIsChecked) {
  for (auto [email, code] : {std::pair{"", 3003}, {"n.orbitmere.example", 3104}, {"n'@orbitmere.example", 3104}}) {
    ExpectCodeFailure(omtest::OnlyReply(NewBrowser().visit(Form("ActivateAccount", {{"email", email}}))), code);
  }
}

}  // namespace
}  // namespace accounttest
