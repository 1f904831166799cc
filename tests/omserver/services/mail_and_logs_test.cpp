// Mail, the event log, event records and noted failures: what a request hands the host is
// in the request's outcome and stays listed in the data directory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/event_records.h"
#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

namespace services = omserver::services;

class MailAndLogsTest : public ::testing::Test {
 protected:
  int32_t send(omtest::SlotRequest& request, const char* to) {
    return request.api()->SendMail(request.api(), to, "Welcome to Orbitmere \"fox\"!", "Line one\r\nLine two");
  }
  omtest::TempDir dir;
  omserver::Host host{dir.path()};
};

TEST_F(MailAndLogsTest, MailFailsFromTheNthMailOnCountedAcrossRequests) {
  services::SetMailFailFrom(host, 3);
  {
    omtest::SlotRequest request(host);
    EXPECT_EQ(send(request, "a@example.com"), 0);
    EXPECT_EQ(send(request, "b@example.com"), 0);
    ASSERT_EQ(request.result.mails.size(), 2u);
    EXPECT_TRUE(request.result.mails[1].sent);
    EXPECT_EQ(request.result.mails[1].body, "Line one\r\nLine two");
  }
  {
    omtest::SlotRequest request(host);
    EXPECT_LT(send(request, "c@example.com"), 0);
    EXPECT_LT(send(request, "d@example.com"), 0);
    ASSERT_EQ(request.result.mails.size(), 2u);
    EXPECT_FALSE(request.result.mails[0].sent);
    EXPECT_FALSE(request.result.mails[0].reason.empty());
  }
  services::SetMailFailFrom(host, std::nullopt);
  {
    omtest::SlotRequest request(host);
    EXPECT_EQ(send(request, "e@example.com"), 0);
  }
  auto mails = services::Mails(host);
  ASSERT_EQ(mails.size(), 5u);
  const bool sent[] = {true, true, false, false, true};
  for (size_t i = 0; i < mails.size(); ++i) EXPECT_EQ(mails[i].sent, sent[i]) << mails[i].to;
  EXPECT_EQ(mails[0].request, mails[1].request);
  EXPECT_NE(mails[1].request, mails[2].request);
  EXPECT_EQ(mails[2].subject, "Welcome to Orbitmere \"fox\"!");
}

TEST_F(MailAndLogsTest, AddressesThatCannotTakeAMailAreRefused) {
  const char* const refused[] = {"", "no-at-sign", "@example.com", "fox@", "a@b@c", "fox@example.com\r\nBcc: x@y.z",
                                 "two@example.com, three@example.com"};
  for (const char* to : refused) {
    omtest::SlotRequest request(host);
    EXPECT_LT(send(request, to), 0) << to;
    ASSERT_EQ(request.result.mails.size(), 1u);
    EXPECT_FALSE(request.result.mails[0].sent) << to;
  }
  omtest::SlotRequest request(host);
  EXPECT_LT(request.api()->SendMail(request.api(), "fox@example.com", "Hi\r\nBcc: x@y.z", "body"), 0);
}

TEST_F(MailAndLogsTest, LogEntriesAndNotedFailuresAreKept) {
  {
    omtest::SlotRequest request(host, "/OMAccount");
    request.api()->LogEvent(request.api(), 1001, 0, "CHGPSSWD", "oldpassword=a, newpassword=b");
    request.api()->LogEvent(request.api(), 1001, 0, "SETINFO", "");
    request.api()->NoteFailure(request.api());
    request.api()->NoteFailure(request.api());
    ASSERT_EQ(request.result.eventLog.size(), 2u);
    EXPECT_EQ(request.result.eventLog[0].tag, "CHGPSSWD");
    EXPECT_EQ(request.result.eventLog[0].detail, "oldpassword=a, newpassword=b");
    EXPECT_EQ(request.result.failuresNoted, 2);
  }
  auto log = services::EventLog(host);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].accountId, 1001);
  EXPECT_EQ(log[1].tag, "SETINFO");
  EXPECT_EQ(log[1].detail, "");
  auto failures = services::NotedFailures(host);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].page, "/OMAccount");
}

// A join's record as OMJoin fills it, read back field by field from the request's outcome
// and from the data directory.
TEST_F(MailAndLogsTest, EventRecordsReadBackFieldByField) {
  EventRecord record;
  std::memset(&record, 0, sizeof record);
  record.accountId = 1001;
  record.eventCode = 32767;
  record.loginValue = 55;
  std::strcpy(record.accountName, "foxhandle");
  std::memset(record.firstName, 'F', sizeof record.firstName);  // a full field without its zero
  std::strcpy(record.email, "fox@example.com");
  record.characterId = 9;
  std::strcpy(record.characterName, "Fox[ABC]");
  record.clientAddress = 0x7F000001;
  record.clientPort = 50000;
  record.pfid = 26;
  record.pfid2 = 27;
  std::strcpy(record.pcid, "PC-1");
  record.featureMask = 0x11;
  std::strcpy(record.source, "OMJoin::ServerUpPage");
  std::strcpy(record.userIdText, "uid-text");
  {
    omtest::SlotRequest request(host);
    EXPECT_EQ(request.api()->PostEventRecord(request.api(), &record), 0);
    ASSERT_EQ(request.result.eventRecords.size(), 1u);
    EXPECT_EQ(request.result.eventRecords[0].size(), 932u);
  }
  auto stored = services::EventRecords(host);
  ASSERT_EQ(stored.size(), 1u);
  nlohmann::ordered_json fields = services::EventRecordJson(stored[0].raw);
  EXPECT_EQ(fields["accountId"], 1001);
  EXPECT_EQ(fields["eventCode"], 32767);
  EXPECT_EQ(fields["loginValue"], 55);
  EXPECT_EQ(fields["accountName"], "foxhandle");
  EXPECT_EQ(fields["firstName"], std::string(32, 'F'));
  EXPECT_EQ(fields["lastName"], "");
  EXPECT_EQ(fields["email"], "fox@example.com");
  EXPECT_EQ(fields["characterId"], 9);
  EXPECT_EQ(fields["characterName"], "Fox[ABC]");
  EXPECT_EQ(fields["clientAddress"], 0x7F000001);
  EXPECT_EQ(fields["clientPort"], 50000);
  EXPECT_EQ(fields["pfid"], 26);
  EXPECT_EQ(fields["pfid2"], 27);
  EXPECT_EQ(fields["pcid"], "PC-1");
  EXPECT_EQ(fields["featureMask"], 0x11);
  EXPECT_EQ(fields["source"], "OMJoin::ServerUpPage");
  EXPECT_EQ(fields["userIdText"], "uid-text");
  EXPECT_EQ(fields.size(), 17u);
  EXPECT_EQ(std::memcmp(stored[0].raw.data(), &record, sizeof record), 0);
}

}  // namespace
