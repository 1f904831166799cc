// OMAccount's page as the server drives it: the action lookup, the page variables it keeps
// in the session, the stages, and the answers to failing databases.
#include <gtest/gtest.h>

#include "account_fixture.h"
#include "db/faults.h"
#include "sessions.h"

namespace accounttest {
namespace {

constexpr char kSessionTag[] = "OMAccount.dll:SESSIONTAG";

class PageTest : public AccountTest {
 protected:
  // Sets a page variable in the browser's stored session, as a session of an earlier flow
  // could hold it.
  void SetStoredVar(omtest::Browser& browser, const std::string& name, const std::string& value) {
    const std::string id = browser.jar().get("OMACCOUNTSESSIONTAG");
    ASSERT_FALSE(id.empty()) << "the browser has no session cookie";
    host_->withState([&](omserver::SqliteDb& state) {
      state.prepare("UPDATE session_vars SET value = ? WHERE kind = 0 AND tag = ? AND key = ? AND name = ?")
          .bind(1, value).bind(2, std::string(kSessionTag)).bind(3, id).bind(4, name).run();
    });
  }
  NameValues PasswordChange() {
    return {{"name", "pilot"}, {"password", "secret"}, {"newpassword1", "better"}, {"newpassword2", "better"}};
  }
};

TEST_F(PageTest, ReportsItsVersion) {
  EXPECT_STREQ(plugin_->info().version, "0.0.2r(.NET)");
  EXPECT_EQ(plugin_->info().interfaceId, 73);
}

TEST_F(PageTest, ActionNamesAreMatchedWholeWithoutRegardToCase) {
  // A found action gets as far as its own checks (here: the missing name, 3000).
  for (const char* action : {"ChangePassword", "changepassword", "CHANGEPASSWORD"}) {
    auto result = NewBrowser().visit(Form(action, {}));
    ExpectCodeFailure(omtest::OnlyReply(result), 3000);
  }
  // "action" is not trimmed: a trailing blank finds no row.
  for (const char* action : {"GoToOMCom ", "ChangePass", "", "Nothing"}) {
    auto result = NewBrowser().visit(Form(action, {}));
    SCOPED_TRACE(std::string("action=\"") + action + "\"");
    ExpectBareFailure(omtest::OnlyReply(result), 1104, std::nullopt);
    EXPECT_EQ(ClosedWith(result), 1);
    EXPECT_EQ(result.sessions.front().varsWritten, 42) << "only the first request's save, none after Init fails";
  }
}

TEST_F(PageTest, MissingReplyPagesAreRefusedBeforeTheAction) {
  RequestSpec incoming = Form("ChangePassword", PasswordChange());
  incoming.form.erase(incoming.form.begin() + 3);  // "relay"
  ExpectBareFailure(omtest::OnlyReply(NewBrowser().visit(incoming)), 1005, std::nullopt);
  incoming.form.erase(incoming.form.begin());  // "success"
  ExpectBareFailure(omtest::OnlyReply(NewBrowser().visit(incoming)), 1002, std::nullopt);
}

TEST_F(PageTest, TheFirstRequestKeepsAllFortyTwoPageVariablesInTheSession) {
  omtest::Browser browser = NewBrowser();
  RequestSpec incoming = Form("ChangePassword", PasswordChange());
  incoming.form.emplace_back("private:stage", "1");  // never taken from a request
  incoming.query.emplace_back("pfid", "9");
  incoming.source1.emplace_back("forgotaccountmode", "5");  // source 1 is for "pfid" only
  auto result = browser.visit(incoming);
  ExpectRelay(omtest::OnlyReply(result), "Changing account password....", 0);
  auto vars = omserver::StoredSessionVars(*host_, omserver::SessionKind::Browser, kSessionTag,
                                          browser.jar().get("OMACCOUNTSESSIONTAG"));
  EXPECT_EQ(vars.size(), 42u);
  EXPECT_EQ(vars["private:stage"], "1") << "stage 0 sent the relay and moved on";
  EXPECT_EQ(vars["action"], "ChangePassword");
  EXPECT_EQ(vars["newpassword1"], "better");
  EXPECT_EQ(vars["pfid"], "9");
  EXPECT_EQ(vars["forgotaccountmode"], "0");
  EXPECT_EQ(vars["activationcode"], "0");
  EXPECT_EQ(vars["private:cargo"], "");
  for (const char* name : {"firstname", "minitial", "lastname", "address1", "address2", "city", "stateprovince",
                           "postalcode", "country", "dayphone", "nightphone", "secretquestion", "secretanswer",
                           "name", "password", "email", "newname1", "newname2", "newpassword2", "newemail1",
                           "newemail2", "name1", "name2", "password1", "password2", "email1", "email2", "revision",
                           "userdata", "success", "failure", "msgbase", "relay", "nodb", "start"}) {
    EXPECT_EQ(vars.count(name), 1u) << name;
  }
}

TEST_F(PageTest, AStoredStageOutOfRangeIsRefused) {
  struct Case { const char* action; NameValues fields; int code; std::optional<std::string> text; } cases[] = {
      {"ChangePassword", PasswordChange(), 0, "Illegal stage value."},
      {"ChangeName", {{"name", "pilot"}, {"password", "secret"}, {"newname1", "ace"}, {"newname2", "ace"}}, 1101,
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    omtest::Browser browser = NewBrowser();
    ExpectRelay(omtest::OnlyReply(browser.visit(Form(c.action, c.fields))), std::string(c.action) == "ChangeName"
                                                                              ? "Changing account name...."
                                                                              : "Changing account password....",
                0);
    SetStoredVar(browser, "private:stage", "7");
    auto result = browser.visit(PostBack());
    ExpectBareFailure(omtest::OnlyReply(result), c.code, c.text);
    EXPECT_EQ(ClosedWith(result), 1);
  }
}

TEST_F(PageTest, FailingDatabasesAreAnsweredByTheirCodesOrTheNoDatabasePage) {
  faultsSet_ = true;
  AddAccount("pilot", "secret", "pilot@orbitmere.example");
  struct Case {
    const char* name;
    std::optional<int32_t> openError;
    bool executeFails;
    std::optional<int32_t> failingResult;
    bool withNoDbPage;
    int code;  // 0: the redirect to the "nodb" page
  } cases[] = {
      {"refused", -1, false, std::nullopt, false, 4000},
      {"no database, no nodb page", -4, false, std::nullopt, false, 4000},
      {"no database, nodb page", -4, false, std::nullopt, true, 0},
      {"no database (-3), nodb page", -3, false, std::nullopt, true, 0},
      {"unavailable, even with a nodb page", -6, false, std::nullopt, true, 4005},
      {"statement fails", std::nullopt, true, std::nullopt, false, 4001},
      {"second result fails", std::nullopt, false, 2, false, 4002},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    omserver::ClearDbFaults(*host_);
    omserver::SetDbOpenFault(*host_, 1, c.openError);
    omserver::SetDbExecuteFault(*host_, "OMAccount.dll:ChangePassword1", c.executeFails);
    omserver::SetDbNextResultFault(*host_, "OMAccount.dll:ChangePassword1", c.failingResult);
    RequestSpec incoming = Form("ChangePassword", PasswordChange());
    if (c.withNoDbPage) incoming.form.emplace_back("nodb", "/nodb.htm");
    auto conversation = Converse(incoming);
    ASSERT_EQ(conversation.size(), 2u);
    const ReplyCall& reply = Final(conversation);
    if (c.code == 0) {
      EXPECT_EQ(reply.call, "Redirect") << Describe(reply);
      EXPECT_EQ(reply.word, "FAILURE") << Describe(reply);
      EXPECT_EQ(reply.url, "/nodb.htm") << Describe(reply);
    } else {
      ExpectCodeFailure(reply, c.code);
    }
    EXPECT_EQ(ClosedWith(conversation.back()), 1);
    EXPECT_EQ(Scalar("SELECT password FROM login WHERE handle = 'pilot'"), "secret");
    for (const std::string& line : conversation.back().hostLog) {
      EXPECT_EQ(line.find("released"), std::string::npos) << "a connection left open: " << line;
    }
  }
}

}  // namespace
}  // namespace accounttest
