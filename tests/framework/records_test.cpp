// The records a plug-in hands to the host are zero apart from what their producer sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "records.h"

namespace {

bool AllZero(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(Records, AnEventRecordCarriesOnlyItsAccountCodeAndSource) {
  EventRecord record = om::MakeEventRecord(1001, 8193, "OMAccount::PerformDeleteAccountOnDatabase");
  EXPECT_EQ(record.accountId, 1001);
  EXPECT_EQ(record.eventCode, 8193);
  EXPECT_STREQ(record.source, "OMAccount::PerformDeleteAccountOnDatabase");
  EventRecord expected;
  std::memset(&expected, 0, sizeof expected);
  expected.accountId = 1001;
  expected.eventCode = 8193;
  std::memcpy(expected.source, record.source, sizeof expected.source);
  EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0) << "every other byte is zero";

  std::string longSource(100, 's');
  EventRecord cut = om::MakeEventRecord(1, 2, longSource.c_str());
  EXPECT_EQ(std::string(cut.source), std::string(63, 's'));
  EXPECT_TRUE(AllZero(cut.userIdText, sizeof cut.userIdText)) << "the copy stays within the field";
}

TEST(Records, AHostRecordWithoutLoginStillCarriesTheProductFamily) {
  HostRecord anonymous = om::MakeHostRecord(nullptr, 5);
  EXPECT_EQ(anonymous.pfid, 5);
  anonymous.pfid = 0;
  EXPECT_TRUE(AllZero(&anonymous, sizeof anonymous));

  om::LoginFields login{};
  login.AccountId = 1001;
  login.LoginValue = 31;
  login.CharacterId = 7;
  HostRecord known = om::MakeHostRecord(&login, 27);
  EXPECT_EQ(known.accountId, 1001);
  EXPECT_EQ(known.loginValue, 31);
  EXPECT_EQ(known.characterId, 7);
  EXPECT_EQ(known.pfid, 27);
  EXPECT_EQ(known.status, 0);
  EXPECT_EQ(known.hostKey[0], '\0');
}

}  // namespace
