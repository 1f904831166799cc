// ChangeName, ChangePassword and ChangeEMail: the visitor types the account's name and
// password and the new value twice.
#include <gtest/gtest.h>

#include "account_fixture.h"
#include "services/services.h"

namespace accounttest {
namespace {

// A restriction row of the fixture account (cid 1), in force.
std::string Restriction(int chid, int bits) {
  return "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) VALUES (1, " +
         std::to_string(chid) + ", " + std::to_string(bits) + ", 'A')";
}

struct CheckCase {
  const char* what;
  NameValues fields;
  int code;  // 0: accepted (the relay page follows)
};

class ChangesTest : public AccountTest {
 protected:
  // The first request of each case: its code, or the relay page when the checks pass.
  void RunChecks(const char* action, const std::vector<CheckCase>& cases) {
    for (const CheckCase& c : cases) {
      SCOPED_TRACE(std::string(action) + ": " + c.what);
      auto result = NewBrowser().visit(Form(action, c.fields));
      if (c.code == 0) {
        ASSERT_EQ(result.replies.size(), 1u);
        EXPECT_EQ(result.replies[0].word, "RELAY") << Describe(result.replies[0]);
      } else {
        ExpectCodeFailure(omtest::OnlyReply(result), c.code);
        EXPECT_EQ(ClosedWith(result), 1);
      }
    }
  }
  void SetUp() override {
    AccountTest::SetUp();
    cid_ = AddAccount("pilot", "secret", "pilot@orbitmere.example");
  }
  static NameValues Credentials(NameValues more) {
    NameValues fields = {{"name", "pilot"}, {"password", "secret"}};
    for (auto& field : more) fields.push_back(field);
    return fields;
  }
  static NameValues NewPassword(const std::string& first, const std::string& second) {
    return Credentials({{"newpassword1", first}, {"newpassword2", second}});
  }
  static NameValues NewName(const std::string& first, const std::string& second) {
    return Credentials({{"newname1", first}, {"newname2", second}});
  }
  static NameValues NewEmail(const std::string& first, const std::string& second) {
    return Credentials({{"newemail1", first}, {"newemail2", second}, {"email", "pilot@orbitmere.example"}});
  }
  int64_t cid_ = 0;
};

// The typical request of the site: two requests with one cookie jar change the password.
TEST_F(ChangesTest, TwoRequestsWithOneJarChangeThePassword) {
  omtest::Browser browser = NewBrowser();
  auto first = browser.visit(Form("ChangePassword", NewPassword("Better", "BETTER")));
  ExpectRelay(omtest::OnlyReply(first), "Changing account password....", 0);
  EXPECT_EQ(ClosedWith(first), 0);
  EXPECT_EQ(Scalar("SELECT password FROM login"), "secret") << "nothing changes before the relay comes back";

  auto second = browser.visit(PostBack());
  ExpectTextSuccess(omtest::OnlyReply(second), "Account password has been changed.");
  EXPECT_EQ(ClosedWith(second), 1);
  EXPECT_EQ(Scalar("SELECT password FROM login WHERE cid = " + std::to_string(cid_)), "Better")
      << "the new password is stored as typed, not as confirmed";
  ASSERT_EQ(second.eventLog.size(), 1u);
  EXPECT_EQ(second.eventLog[0].tag, "CHGPSSWD");
  EXPECT_EQ(second.eventLog[0].detail, "oldpassword=secret, newpassword=Better");
  EXPECT_EQ(second.eventLog[0].accountId, cid_);
  EXPECT_EQ(second.eventLog[0].characterId, 0);
  EXPECT_TRUE(second.eventRecords.empty()) << "a password change posts no event record";
}

class ChangeChecksTest : public ChangesTest {};

TEST_F(ChangeChecksTest, ChangePasswordChecksItsFieldsInOrder) {
  std::vector<CheckCase> cases = {
      {"no name", {{"password", "secret"}, {"newpassword1", "abcd"}, {"newpassword2", "abcd"}}, 3000},
      {"blank name", {{"name", "   "}, {"password", "secret"}, {"newpassword1", "abcd"}, {"newpassword2", "abcd"}}, 3000},
      {"no password", {{"name", "pilot"}, {"newpassword1", "abcd"}, {"newpassword2", "abcd"}}, 3001},
      {"no confirmation", NewPassword("abcd", ""), 3001},
      {"differ", NewPassword("abcd", "abce"), 3223},
      {"differ before unsafe", NewPassword("ab;d", "abcd"), 3223},
      {"unsafe before short", NewPassword("<b", "<b"), 3101},
      {"three characters", NewPassword("abc", "abc"), 3224},
      {"four characters", NewPassword("abcd", "ABCD"), 0},
      {"sixteen characters", NewPassword(std::string(16, 'p'), std::string(16, 'p')), 0},
      {"seventeen characters", NewPassword(std::string(17, 'p'), std::string(17, 'p')), 3230},
  };
  for (const char* unsafe : {"%", "\"", "<", ">", "'", "&", ";"}) {
    const std::string password = std::string("ab") + unsafe + "cd";
    cases.push_back({unsafe, NewPassword(password, password), 3101});
  }
  RunChecks("ChangePassword", cases);
}

TEST_F(ChangeChecksTest, ChangeNameChecksTheSwitchThenItsFieldsInOrder) {
  RunChecks("ChangeName",
            {
                {"no name", {{"password", "secret"}, {"newname1", "ace"}, {"newname2", "ace"}}, 3000},
                {"no password", {{"name", "pilot"}, {"newname1", "ace"}, {"newname2", "ace"}}, 3001},
                {"blank new name", NewName("  ", "ace"), 3000},
                {"differ", NewName("ace", "acf"), 3222},
                {"unsafe", NewName("a&e", "a&e"), 3100},
                {"sixteen characters", NewName(std::string(16, 'n'), std::string(16, 'N')), 0},
                {"sixteen after trimming", NewName("  " + std::string(16, 'n') + " ", std::string(16, 'n')), 0},
                {"seventeen characters", NewName(std::string(17, 'n'), std::string(17, 'n')), 3229},
            });
  omserver::services::SetFeatureSwitch(*host_, 2, omserver::services::SwitchState::Off);
  RunChecks("ChangeName", {{"switch off", NewName("ace", "ace"), 2008}});
  omserver::services::SetFeatureSwitch(*host_, 2, omserver::services::SwitchState::Unreadable);
  RunChecks("ChangeName", {{"switch unreadable", {}, 1206}});
}

TEST_F(ChangeChecksTest, ChangeEMailChecksItsFieldsInOrder) {
  RunChecks("ChangeEMail",
            {
                {"no name", {{"password", "secret"}, {"newemail1", "a@b"}, {"newemail2", "a@b"}}, 3000},
                {"no password", {{"name", "pilot"}, {"newemail1", "a@b"}, {"newemail2", "a@b"}}, 3001},
                {"no confirmation", NewEmail("a@b", ""), 3003},
                {"differ", NewEmail("a@b", "a@c"), 3220},
                {"no at sign", NewEmail("ab.example", "ab.example"), 3104},
                {"apostrophe", NewEmail("o'hara@b", "o'hara@b"), 3104},
                {"case differs", NewEmail("New@B.example", "new@b.EXAMPLE"), 0},
            });
}

TEST_F(ChangeChecksTest, TheSwitchIsAskedAgainWhenTheRelayComesBack) {
  omtest::Browser browser = NewBrowser();
  ASSERT_EQ(omtest::OnlyReply(browser.visit(Form("ChangeName", NewName("ace", "ace")))).word, "RELAY");
  omserver::services::SetFeatureSwitch(*host_, 2, omserver::services::SwitchState::Off);
  ExpectCodeFailure(omtest::OnlyReply(browser.visit(PostBack())), 2008);
  EXPECT_EQ(Scalar("SELECT handle FROM login"), "pilot");
}

// What the database step of each change decides, by action and fixture.
TEST_F(ChangesTest, TheDatabaseStepsRefuseInTheirOrder) {
  struct Case {
    const char* what;
    std::string setup;
    int name, password, email;  // the code of ChangeName, ChangePassword, ChangeEMail; 0: changed
  } cases[] = {
      {"wrong password", "UPDATE login SET password = 'other'", 3206, 3206, 3206},
      {"not live", "UPDATE login SET state = 'D'", 3206, 3206, 3206},
      {"suspended", "UPDATE login SET status = 's'", 3201, 3201, 3201},
      {"marked for deletion", "UPDATE login SET status = 'D'", 3202, 3202, 3202},
      {"suspended before restricted", "UPDATE login SET status = 'S'; " + Restriction(0, 0x10), 3201, 3201, 3201},
      {"account-wide 0x10", Restriction(0, 0x10), 3211, 3211, 3211},
      {"account-wide 0x04", Restriction(0, 0x04), 3215, 3215, 3215},
      {"mask 0x14 blocks first", Restriction(0, 0x10) + "; " + Restriction(0, 0x04), 3215, 3215, 3215},
      {"character 0x01", Restriction(5, 0x01), 3215, 0, 0},
      {"character 0x10", Restriction(5, 0x10), 3211, 0, 0},
      {"bits that do not block", Restriction(0, 0x20) + "; " + Restriction(0, 0x100), 0, 0, 0},
      {"inactive row", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) "
                       "VALUES (1, 0, 1, 'X')", 0, 0, 0},
      {"new name is an account's", "INSERT INTO login (handle, email, state) VALUES ('ACE', 'x@y', 'D')", 3216, 0, 0},
      {"new name is a character's", "INSERT INTO character (cid, name, state) VALUES (9, 'Ace', 'D')", 3216, 0, 0},
      {"new address is an account's",
       "INSERT INTO login (handle, email, state) VALUES ('other', 'NEW@orbitmere.example', 'D')", 0, 0, 3217},
  };
  struct Action { const char* name; NameValues fields; std::string changed; } actions[] = {
      {"ChangeName", NewName("Ace", "ace"), "SELECT handle FROM login WHERE cid = 1"},
      {"ChangePassword", NewPassword("newpass", "NEWPASS"), "SELECT password FROM login WHERE cid = 1"},
      {"ChangeEMail", NewEmail("new@orbitmere.example", "NEW@orbitmere.example"),
       "SELECT email FROM login WHERE cid = 1"},
  };
  for (const Case& c : cases) {
    const int codes[] = {c.name, c.password, c.email};
    for (int a = 0; a < 3; ++a) {
      SCOPED_TRACE(std::string(actions[a].name) + ": " + c.what);
      Sql("DELETE FROM login; DELETE FROM om_assigned_restrictions; DELETE FROM character; "
          "DELETE FROM sqlite_sequence;");
      ASSERT_EQ(AddAccount("pilot", "secret", "pilot@orbitmere.example"), 1);
      Sql(c.setup);
      const std::string before = Scalar(actions[a].changed);
      auto conversation = Converse(Form(actions[a].name, actions[a].fields));
      ASSERT_EQ(conversation.size(), 2u);
      if (codes[a] == 0) {
        EXPECT_EQ(Final(conversation).word, "SUCCESS") << Describe(Final(conversation));
        EXPECT_NE(Scalar(actions[a].changed), before);
      } else {
        ExpectCodeFailure(Final(conversation), codes[a]);
        EXPECT_EQ(Scalar(actions[a].changed), before);
        EXPECT_TRUE(conversation.back().eventLog.empty());
        EXPECT_TRUE(conversation.back().eventRecords.empty());
      }
    }
  }
}

TEST_F(ChangesTest, ChangeEMailReadsTheRestrictionsOfTheFirstLiveAccountWithTheName) {
  // Two live rows share the name: the first (restricted) has another password.
  Sql("UPDATE login SET password = 'other'");
  const int64_t second = AddAccount("pilot", "secret", "second@orbitmere.example");
  Sql(Restriction(0, 0x10));
  ExpectCodeFailure(Final(Converse(Form("ChangeEMail", NewEmail("new@orbitmere.example", "new@orbitmere.example")))),
                    3211);
  ExpectTextSuccess(Final(Converse(Form("ChangePassword", NewPassword("newpass", "newpass")))),
                    "Account password has been changed.");
  EXPECT_EQ(Scalar("SELECT password FROM login WHERE cid = " + std::to_string(second)), "newpass");
}

TEST_F(ChangesTest, ANewNameOrAddressEqualToTheCurrentOneIsTaken) {
  ExpectCodeFailure(Final(Converse(Form("ChangeName", NewName("PILOT", "pilot")))), 3216);
  ExpectCodeFailure(
      Final(Converse(Form("ChangeEMail", NewEmail("pilot@orbitmere.example", "pilot@orbitmere.example")))), 3217);
}

TEST_F(ChangesTest, ChangeNameLooksUpTheTrimmedNameAndRecordsTheChange) {
  auto conversation = Converse(Form("ChangeName", {{"name", "  pilot  "}, {"password", "secret"},
                                                   {"newname1", " Ace "}, {"newname2", "ACE"}}));
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Changing account name....", 0);
  ExpectTextSuccess(Final(conversation), "Account name has been changed.");
  EXPECT_EQ(Scalar("SELECT handle FROM login"), "Ace");
  ASSERT_EQ(conversation.back().eventLog.size(), 1u);
  EXPECT_EQ(conversation.back().eventLog[0].tag, "CHGHNDLE");
  EXPECT_EQ(conversation.back().eventLog[0].detail, "oldhandle=pilot, newhandle=Ace");
  ASSERT_EQ(conversation.back().eventRecords.size(), 1u);
  const std::string& record = conversation.back().eventRecords[0];
  EXPECT_EQ(RecordInt(record, 0), cid_);
  EXPECT_EQ(RecordInt(record, 4), 8194);
  EXPECT_EQ(RecordInt(record, 8), 0);
  EXPECT_EQ(RecordText(record, 44, 32), "Ace");
  EXPECT_EQ(RecordText(record, 356, 64), "OMAccount::PerformChangeNameOperationOnDatabase");
}

TEST_F(ChangesTest, ChangeEMailStoresTheNewAddressAndRecordsIt) {
  auto conversation = Converse(Form("ChangeEMail", NewEmail("new@orbitmere.example", "NEW@ORBITMERE.EXAMPLE")));
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Changing account email address....", 0);
  ExpectTextSuccess(Final(conversation), "Account email address has been changed.");
  EXPECT_EQ(Scalar("SELECT email FROM login"), "new@orbitmere.example");
  ASSERT_EQ(conversation.back().eventLog.size(), 1u);
  EXPECT_EQ(conversation.back().eventLog[0].tag, "CHGEMAIL");
  EXPECT_EQ(conversation.back().eventLog[0].detail, "oldemail=pilot@orbitmere.example, newemail=new@orbitmere.example");
  ASSERT_EQ(conversation.back().eventRecords.size(), 1u);
  const std::string& record = conversation.back().eventRecords[0];
  EXPECT_EQ(RecordInt(record, 4), 8208);
  EXPECT_EQ(RecordText(record, 108, 128), "new@orbitmere.example");
  EXPECT_EQ(RecordText(record, 44, 32), "");
  EXPECT_EQ(RecordText(record, 356, 64), "OMAccount::PerformChangeEMailOperationOnDatabase");
}

TEST_F(ChangesTest, ApostrophesInTheCredentialsReachTheDatabaseQuoted) {
  Sql("UPDATE login SET handle = 'o''neil', password = 'it''s'");
  auto conversation = Converse(Form("ChangePassword", {{"name", "o'neil"}, {"password", "it's"},
                                                       {"newpassword1", "plain"}, {"newpassword2", "plain"}}));
  ExpectTextSuccess(Final(conversation), "Account password has been changed.");
  EXPECT_EQ(Scalar("SELECT password FROM login"), "plain");
  EXPECT_EQ(conversation.back().eventLog.at(0).detail, "oldpassword=it's, newpassword=plain");
}

TEST_F(ChangesTest, ANewPasswordKeepsItsBlanks) {
  auto conversation = Converse(Form("ChangePassword", NewPassword(" pad ", " PAD ")));
  ExpectTextSuccess(Final(conversation), "Account password has been changed.");
  EXPECT_EQ(Scalar("SELECT '[' || password || ']' FROM login"), "[ pad ]");
}

}  // namespace
}  // namespace accounttest
