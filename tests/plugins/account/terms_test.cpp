// AgreeToTerms: a continuation token in the cookie "CONTINUELOGINDATA" accepts a revision of
// the terms for its account. Every refusal is noted with the host.
#include <gtest/gtest.h>

#include "account_fixture.h"
#include "db/dates.h"
#include "db/faults.h"
#include "services/services.h"

namespace accounttest {
namespace {

constexpr char kKey[] = "H4VR8PXQ2TXK6MZC9BPE3YGA7DLF5UJS8RTQE";
constexpr int64_t kNow = 1800000000;

class TermsTest : public AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    host_->setClock(kNow);
    cid_ = AddAccount("pilot", "secret", "p@orbitmere.example");
    AddToken(cid_, 4242, 5);
  }
  void AddToken(int64_t cid, int64_t value, int64_t minutesAgo) {
    db_->prepare("INSERT INTO continueloginvalue (cid, value, dateset) VALUES (?, ?, ?)")
        .bind(1, cid).bind(2, value).bind(3, omserver::db::DateText(kNow - minutesAgo * 60)).run();
  }
  // The conversation of a browser carrying the cookie (enciphered unless told otherwise).
  std::vector<RequestResult> Agree(const std::optional<std::string>& plain, const std::string& revision = "3",
                                   bool encipher = true) {
    omtest::Browser browser = NewBrowser();
    if (plain) browser.jar().set("CONTINUELOGINDATA", encipher ? omserver::services::Encipher(*plain, kKey) : *plain);
    NameValues fields;
    if (!revision.empty()) fields.emplace_back("revision", revision);
    return Converse(browser, Form("AgreeToTerms", fields));
  }
  std::string Token() const { return std::to_string(cid_) + ":4242"; }
  int64_t cid_ = 0;
};

TEST_F(TermsTest, AValidTokenRecordsTheAcceptedRevision) {
  auto conversation = Agree(Token(), "3");
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Contacting account databases....", 1);
  ExpectRedirectSuccess(Final(conversation));
  EXPECT_EQ(Scalar("SELECT cid || ':' || revision FROM eula_accepted"), std::to_string(cid_) + ":3");
  ASSERT_EQ(conversation.back().eventLog.size(), 1u);
  EXPECT_EQ(conversation.back().eventLog[0].accountId, cid_);
  EXPECT_EQ(conversation.back().eventLog[0].tag, "AGREETOTERMS");
  EXPECT_EQ(conversation.back().eventLog[0].detail, "cid=" + std::to_string(cid_));
  EXPECT_EQ(conversation[0].failuresNoted + conversation[1].failuresNoted, 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM continueloginvalue"), "1") << "the token is not consumed";
}

TEST_F(TermsTest, ATokenIsValidForSixtyMinutes) {
  Sql("DELETE FROM continueloginvalue");
  AddToken(cid_, 4242, 60);
  ExpectRedirectSuccess(Final(Agree(Token())));
  Sql("DELETE FROM continueloginvalue");
  AddToken(cid_, 4242, 61);
  auto late = Agree(Token());
  ExpectCodeFailure(Final(late), 3243);
  EXPECT_EQ(late.back().failuresNoted, 1);
  EXPECT_TRUE(late.back().eventLog.empty());
}

TEST_F(TermsTest, RefusalsBeforeTheDatabaseAreAnsweredAtOnceAndNoted) {
  constexpr char kDiagnostic[] = "Login continuation data is missing or invalid.";
  struct Case {
    const char* what;
    std::optional<std::string> cookie;
    bool encipher;
    std::string revision;
    int code;  // 0: the diagnostic text
  } cases[] = {
      {"no revision, no cookie", std::nullopt, true, "", 1013},
      {"revision 0", Token(), true, "0", 1013},
      {"no cookie", std::nullopt, true, "3", 0},
      {"empty cookie", std::string(), false, "3", 0},
      {"not enciphered", Token(), false, "3", 0},
      {"no colon", std::to_string(cid_) + "4242", true, "3", 0},
      {"nothing after the colon", std::to_string(cid_) + ":", true, "3", 0},
      {"zero account", "0:4242", true, "3", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto conversation = Agree(c.cookie, c.revision, c.encipher);
    ASSERT_EQ(conversation.size(), 1u) << "no relay page";
    if (c.code != 0) {
      ExpectCodeFailure(Final(conversation), c.code);
    } else {
      ExpectTextFailure(Final(conversation), kDiagnostic, "/failed.htm");
    }
    EXPECT_EQ(conversation[0].failuresNoted, 1);
  }
  omserver::services::SetDbOffline(*host_, true);
  auto offline = Agree(Token());
  ExpectCodeFailure(Final(offline), 4005);
  EXPECT_EQ(offline[0].failuresNoted, 1);
}

TEST_F(TermsTest, TheCookieMustStillBeThereWhenTheRelayComesBack) {
  omtest::Browser browser = NewBrowser();
  browser.jar().set("CONTINUELOGINDATA", omserver::services::Encipher(Token(), kKey));
  ASSERT_EQ(omtest::OnlyReply(browser.visit(Form("AgreeToTerms", {{"revision", "3"}}))).word, "RELAY");
  browser.jar().set("CONTINUELOGINDATA", "");
  auto result = browser.visit(PostBack());
  EXPECT_EQ(omtest::OnlyReply(result).text, "Login continuation data is missing or invalid.");
  EXPECT_EQ(Scalar("SELECT count(*) FROM eula_accepted"), "0");
}

TEST_F(TermsTest, DatabaseFindingsAreNotedButDatabaseErrorsAreNot) {
  auto wrongValue = Agree(std::to_string(cid_) + ":4243");
  ExpectCodeFailure(Final(wrongValue), 3243);
  EXPECT_EQ(wrongValue.back().failuresNoted, 1);

  // A token for an account the procedure does not know: it returns -1.
  AddToken(999, 1, 0);
  auto refused = Agree("999:1");
  ExpectCodeFailure(Final(refused), 4007);
  EXPECT_EQ(refused.back().failuresNoted, 1);

  faultsSet_ = true;
  omserver::SetDbExecuteFault(*host_, "OMAccount.dll:AgreeToTerms2", true);
  auto failed = Agree(Token());
  ExpectCodeFailure(Final(failed), 4001);
  EXPECT_EQ(failed.back().failuresNoted, 0);
}

}  // namespace
}  // namespace accounttest
