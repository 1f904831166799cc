// GetInfo and SetInfo: a logged-in player reads and changes the account's personal data.
#include <gtest/gtest.h>

#include "account_fixture.h"

namespace accounttest {
namespace {

class PersonalDataTest : public AccountTest {
 protected:
  void SetUp() override {
    AccountTest::SetUp();
    cid_ = AddAccount("pilot", "secret", "pilot@orbitmere.example");
    AddLoginValue(cid_, 777);
  }
  void SetLoginNames(const std::string& first, const std::string& last) {
    db_->prepare("UPDATE login SET fname = ?, lname = ? WHERE cid = ?").bind(1, first).bind(2, last).bind(3, cid_).run();
  }
  void AddCustomer(const std::string& first, const std::string& last) {
    db_->prepare("INSERT INTO customer (parentcid, fname, minitial, lname, address1, address2, city, stateprovince, "
                 "postalcode, country, dayphone, nightphone, secretquestion, secretanswer) "
                 "VALUES (?, ?, 'Q', ?, '1 Dock Road', 'Hangar 2', 'Portside', 'North', '1234', 'Orbit', "
                 "'555-1', '555-2', 'Ship?', 'Kestrel')")
        .bind(1, cid_).bind(2, first).bind(3, last).run();
  }
  RequestSpec LoggedIn(const std::string& action, const NameValues& fields = {}, int64_t value = 777) {
    RequestSpec incoming = Form(action, fields);
    incoming.cookies = LoginCookies(cid_, value);
    return incoming;
  }
  // The whole conversation of a visitor whose browser carries the login cookies.
  std::vector<RequestResult> ConverseLoggedIn(const std::string& action, const NameValues& fields = {},
                                              int64_t value = 777) {
    omtest::Browser browser = NewBrowser();
    for (const auto& [name, cookie] : LoginCookies(cid_, value)) browser.jar().set(name, cookie);
    return Converse(browser, Form(action, fields));
  }
  int64_t cid_ = 0;
};

const char* const kReplyOrder[] = {"firstname", "minitial", "lastname", "address1", "address2", "city",
                                   "stateprovince", "country", "postalcode", "dayphone", "nightphone",
                                   "secretquestion", "secretanswer"};

TEST_F(PersonalDataTest, GetInfoShowsTheDataInItsOrderThenGoesToTheSuccessPage) {
  SetLoginNames("Ann", "Vega");
  AddCustomer("Annie", "Vegas");
  auto conversation = ConverseLoggedIn("GetInfo");
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Contacting account databases....", 0);
  EXPECT_EQ(ClosedWith(conversation[0]), 0);
  ExpectRedirectSuccess(Final(conversation));
  EXPECT_EQ(ClosedWith(conversation[1]), 1);
  const NameValues expected = {{"firstname", "Ann"},       {"minitial", "Q"},        {"lastname", "Vega"},
                               {"address1", "1 Dock Road"}, {"address2", "Hangar 2"}, {"city", "Portside"},
                               {"stateprovince", "North"},  {"country", "Orbit"},    {"postalcode", "1234"},
                               {"dayphone", "555-1"},       {"nightphone", "555-2"},  {"secretquestion", "Ship?"},
                               {"secretanswer", "Kestrel"}};
  EXPECT_EQ(conversation[1].replyVars, expected) << "the login row's names win, country comes before postalcode";
}

TEST_F(PersonalDataTest, GetInfoTakesOnlyTheNamesTheLoginRowLacksFromTheCustomerRow) {
  SetLoginNames("", "Vega");
  AddCustomer("Annie", "Vegas");
  auto conversation = ConverseLoggedIn("GetInfo");
  EXPECT_EQ(conversation.back().replyVar("firstname"), "Annie");
  EXPECT_EQ(conversation.back().replyVar("lastname"), "Vega");
}

TEST_F(PersonalDataTest, GetInfoWithoutACustomerRowShowsTheLoginNamesAndEmptyFields) {
  SetLoginNames("Ann", "Vega");
  auto conversation = ConverseLoggedIn("GetInfo");
  ExpectRedirectSuccess(Final(conversation));
  const NameValues& vars = conversation.back().replyVars;
  ASSERT_EQ(vars.size(), 13u);
  for (size_t i = 0; i < vars.size(); ++i) {
    EXPECT_EQ(vars[i].first, kReplyOrder[i]);
    if (i != 0 && i != 2) {
      EXPECT_EQ(vars[i].second, "") << vars[i].first;
    }
  }
}

TEST_F(PersonalDataTest, BothActionsRefuseAMissingOrUnconfirmedLogin) {
  for (const char* action : {"GetInfo", "SetInfo"}) {
    SCOPED_TRACE(action);
    // Incomplete cookies are refused at once, before any relay page, to the start page.
    RequestSpec noCharacter = LoggedIn(action);
    noCharacter.cookies.pop_back();
    noCharacter.form.emplace_back("start", "/login.htm");
    auto refused = NewBrowser().visit(noCharacter);
    ExpectCodeFailure(omtest::OnlyReply(refused), 3207, "/login.htm");
    // Without a start page the failure page serves.
    RequestSpec zeroValue = LoggedIn(action, {}, 0);
    ExpectCodeFailure(omtest::OnlyReply(NewBrowser().visit(zeroValue)), 3207);
    // A login value the database does not know fails in the database step.
    auto unknown = ConverseLoggedIn(action, {}, 778);
    ASSERT_EQ(unknown.size(), 2u);
    ExpectCodeFailure(Final(unknown), 3207);
  }
}

TEST_F(PersonalDataTest, ALoginRowThatIsNoLongerLiveIsRefused) {
  Sql("UPDATE login SET state = 'D'");
  ExpectCodeFailure(Final(ConverseLoggedIn("GetInfo")), 3206);
  ExpectCodeFailure(Final(ConverseLoggedIn("SetInfo")), 3207);
}

TEST_F(PersonalDataTest, SetInfoWritesTheFormIntactAndRecordsTheChange) {
  SetLoginNames("Ann", "Vega");
  AddCustomer("Ann", "Vega");
  const std::string longName(70, 'x');
  NameValues fields = {{"firstname", "O'Hara"},  {"minitial", ""},         {"lastname", longName},
                       {"address1", "2 Pier"},   {"address2", "it's here"}, {"city", "Dry'dock"},
                       {"stateprovince", "S"},   {"postalcode", "99"},     {"country", "Moon"},
                       {"dayphone", "1"},        {"nightphone", "2"},      {"secretquestion", "Why?"},
                       {"secretanswer", "'; drop table login; --"}};
  auto conversation = ConverseLoggedIn("SetInfo", fields);
  ASSERT_EQ(conversation.size(), 2u);
  ExpectRelay(omtest::OnlyReply(conversation[0]), "Updating account databases....", 0);
  ExpectTextSuccess(Final(conversation), "Account information has been updated.");

  const std::string cut(63, 'x');
  EXPECT_EQ(Scalar("SELECT fname || '|' || lname FROM login"), "O'Hara|" + cut);
  EXPECT_EQ(Scalar("SELECT fname || '|' || minitial || '|' || lname || '|' || address2 || '|' || city || '|' || "
                   "secretanswer FROM customer"),
            "O'Hara||" + cut + "|it's here|Dry'dock|'; drop table login; --");

  ASSERT_EQ(conversation.back().eventLog.size(), 1u);
  EXPECT_EQ(conversation.back().eventLog[0].tag, "SETINFO");
  EXPECT_EQ(conversation.back().eventLog[0].detail, "");
  EXPECT_EQ(conversation.back().eventLog[0].accountId, cid_);
  ASSERT_EQ(conversation.back().eventRecords.size(), 1u);
  const std::string& record = conversation.back().eventRecords[0];
  EXPECT_EQ(RecordInt(record, 0), cid_);
  EXPECT_EQ(RecordInt(record, 4), 8204);
  EXPECT_EQ(RecordText(record, 44, 32), "O'Hara");
  EXPECT_EQ(RecordText(record, 76, 32), std::string(31, 'x')) << "the record's field holds 31 characters";
  EXPECT_EQ(RecordText(record, 356, 64), "OMAccount::PerformSetInfoOperationOnDatabase");
}

TEST_F(PersonalDataTest, SetInfoWithAnUnknownLoginValueChangesNothing) {
  SetLoginNames("Ann", "Vega");
  auto conversation = ConverseLoggedIn("SetInfo", {{"firstname", "Eve"}}, 12);
  ExpectCodeFailure(Final(conversation), 3207);
  EXPECT_EQ(Scalar("SELECT fname FROM login"), "Ann");
  EXPECT_TRUE(conversation.back().eventRecords.empty());
  EXPECT_TRUE(conversation.back().eventLog.empty());
}

}  // namespace
}  // namespace accounttest
