// The game-server registry as OMJoin asks it: a cleared ServerRecord with rid, gsid and
// the pre-loaded value names; and the join ticket, product, access-code and host answers.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

namespace services = omserver::services;

// OMJoin's pre-load list, in its order.
const char* const kPreloaded[] = {"AccessCodeList", "GXStats", "GXStatRankRestrict", "GXStatRankMin", "GXStatRankMax",
                                  "GXStatRestrictArrayString", "PLoad", "Exp", "PPSGameServerMode", "PPSRestrictions"};

std::unique_ptr<ServerRecord> AskFor(int32_t rid, const std::string& gsid) {
  auto record = std::make_unique<ServerRecord>();
  std::memset(record.get(), 0, sizeof(ServerRecord));
  record->rid = rid;
  std::strncpy(record->gsid, gsid.c_str(), sizeof record->gsid - 1);
  for (const char* name : kPreloaded) std::strcpy(record->values[record->count++].name, name);
  return record;
}

std::string Value(const ServerRecord& record, const char* name) {
  for (int32_t i = 0; i < record.count; ++i) {
    if (std::strcmp(record.values[i].name, name) == 0) return record.values[i].value;
  }
  return "<absent>";
}

class GameServersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services::ServerConfig server;
    server.rid = 5;
    server.gsid = "orbit-5";
    server.name = "Orbit Five";
    server.accessText = "members";
    server.fields = {{"own", 1},          {"affiliate", 0},       {"stats", 1},       {"queued", 1},
                     {"pfid-override", 26}, {"pfid2-override", 27}, {"login", 1},       {"access-codes", 1},
                     {"ticket", 1},        {"page-id", 1},         {"address", 0x0A000005}, {"port", 27000},
                     {"app-id", 12},       {"baffle-address", 0x0A000006}, {"baffle-port", 27001},
                     {"baffle-key", 4242}, {"scramble-key", 77},   {"lan-only", 1}};
    server.vars = {{"accesscodelist", "alpha beta"}, {"GXStats", std::string(700, 'g')}, {"Exp", "2"}, {"Other", "x"}};
    services::AddServer(host, server);
  }
  int32_t lookUp(ServerRecord& record) {
    omtest::SlotRequest request(host);
    int32_t result = request.api()->GetServerRecord(request.api(), &record);
    notes = request.notes();
    return result;
  }
  omtest::TempDir dir;
  omserver::Host host{dir.path()};
  std::string notes;
};

TEST_F(GameServersTest, AServerIsFoundByRidWithEveryFieldOMJoinReads) {
  auto record = AskFor(5, "");
  ASSERT_EQ(lookUp(*record), 0) << notes;
  EXPECT_NE(record->found, 0);
  EXPECT_EQ(record->rid, 5);
  EXPECT_STREQ(record->gsid, "orbit-5");
  EXPECT_STREQ(record->serverName, "Orbit Five");
  EXPECT_STREQ(record->accessText, "members");
  const std::pair<int32_t, int32_t> fields[] = {
      {record->ownServer, 1},     {record->affiliateServer, 0},  {record->statsRequired, 1},     {record->queued, 1},
      {record->pfidOverride, 26}, {record->pfid2Override, 27},   {record->loginRequired, 1},     {record->accessCodesRequired, 1},
      {record->ticketRequired, 1}, {record->pageIdRequired, 1},  {record->serverAddress, 0x0A000005}, {record->serverPort, 27000},
      {record->appId, 12},        {record->baffleAddress, 0x0A000006}, {record->bafflePort, 27001}, {record->baffleKey, 4242},
      {record->scrambleKey, 77},  {record->lanOnly, 1}};
  for (size_t i = 0; i < std::size(fields); ++i) EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
  // Values of the pre-loaded names only, matched without regard to case, cut to 511.
  EXPECT_EQ(Value(*record, "AccessCodeList"), "alpha beta");
  EXPECT_EQ(Value(*record, "GXStats"), std::string(511, 'g'));
  EXPECT_EQ(Value(*record, "Exp"), "2");
  EXPECT_EQ(Value(*record, "PLoad"), "");
  EXPECT_EQ(Value(*record, "Other"), "<absent>");
  EXPECT_EQ(record->count, 10);
}

TEST_F(GameServersTest, AServerIsFoundByGsidWhenTheRidIsZeroOrUnknown) {
  for (int32_t rid : {0, 12345}) {
    auto record = AskFor(rid, "orbit-5");
    ASSERT_EQ(lookUp(*record), 0);
    EXPECT_NE(record->found, 0) << "rid " << rid;
    EXPECT_EQ(record->rid, 5) << "rid " << rid;
  }
  auto unknown = AskFor(0, "orbit-6");
  ASSERT_EQ(lookUp(*unknown), 0);
  EXPECT_EQ(unknown->found, 0);
  auto nothing = AskFor(0, "");
  ASSERT_EQ(lookUp(*nothing), 0);
  EXPECT_EQ(nothing->found, 0);
}

TEST_F(GameServersTest, OnlyTheEntriesTheCountCoversAreFilled) {
  auto record = AskFor(5, "");
  record->count = 2;  // GXStats is entry 1, Exp entry 7
  ASSERT_EQ(lookUp(*record), 0);
  EXPECT_EQ(std::string(record->values[1].value).size(), 511u);
  EXPECT_STREQ(record->values[7].value, "");
  // A count beyond the record's 100 entries, or below 0, is noted and kept within them.
  for (int32_t count : {-4, 101, 1 << 30}) {
    auto garbage = AskFor(5, "");
    garbage->count = count;
    ASSERT_EQ(lookUp(*garbage), 0);
    EXPECT_NE(notes.find("value count"), std::string::npos) << count;
    EXPECT_GE(garbage->count, 0);
    EXPECT_LE(garbage->count, 100);
  }
  // Unterminated names do not run into their values.
  auto full = AskFor(5, "");
  std::memset(full->values[0].name, 'N', sizeof full->values[0].name);
  ASSERT_EQ(lookUp(*full), 0);
  EXPECT_STREQ(full->values[0].value, "");
}

TEST_F(GameServersTest, ServersSetFromTheCommandLineAreFoundByTheSlot) {
  auto result = omtest::RunOmserver("server add --rid 9 --gsid cli-9 --name 'Nine' --queued 1 --address 10.1.2.3:4000 "
                                    "--var GXStats=rank --data " + dir.path().string());
  ASSERT_EQ(result.status, 0) << result.err;
  result = omtest::RunOmserver("server set --rid 9 --queued 0 --var Exp=3 --data " + dir.path().string());
  ASSERT_EQ(result.status, 0) << result.err;
  auto record = AskFor(0, "cli-9");
  ASSERT_EQ(lookUp(*record), 0);
  EXPECT_EQ(record->rid, 9);
  EXPECT_EQ(record->queued, 0);
  EXPECT_EQ(record->serverAddress, 0x0A010203);
  EXPECT_EQ(record->serverPort, 4000);
  EXPECT_EQ(Value(*record, "GXStats"), "rank");
  EXPECT_EQ(Value(*record, "Exp"), "3");
  EXPECT_EQ(omtest::RunOmserver("server add --rid 10 --gsid cli-9 --data " + dir.path().string()).status, 2);
  EXPECT_EQ(omtest::RunOmserver("server set --rid 11 --queued 1 --data " + dir.path().string()).status, 2);
}

TEST_F(GameServersTest, AccessStatusesAreAnsweredPerText) {
  services::SetAccessStatus(host, "members", 2005);
  services::SetAccessStatus(host, "closed", 3290);
  const std::pair<const char*, int32_t> cases[] = {{"members", 2005}, {"closed", 3290}, {"anything else", 0}};
  for (const auto& [text, expected] : cases) {
    omtest::SlotRequest request(host);
    int32_t status = -7, other = -7;
    EXPECT_EQ(request.api()->QueryServerAccess(request.api(), text, &status, &other), 0);
    EXPECT_EQ(status, expected) << text;
  }
}

TEST_F(GameServersTest, JoinTicketsProductsAccountCodesAndHostRegistration) {
  omtest::SlotRequest request(host);
  HostApi* api = request.api();

  JoinTicketRequest ticket;
  std::memset(&ticket, 0, sizeof ticket);
  ticket.accountId = 1001;
  ticket.rid = 5;
  std::strcpy(ticket.userId, "uid");
  ASSERT_EQ(api->QueryAccountRecord(api, &ticket), 0);
  EXPECT_EQ(ticket.status, 0);
  EXPECT_NE(ticket.ticket[0], '\0');
  services::SetJoinTicketAnswer(host, 3401, std::nullopt);
  std::memset(ticket.ticket, 0, sizeof ticket.ticket);
  ASSERT_EQ(api->QueryAccountRecord(api, &ticket), 0);
  EXPECT_EQ(ticket.status, 3401);
  EXPECT_STREQ(ticket.ticket, "");
  services::SetJoinTicketAnswer(host, std::nullopt, "FIXED-TICKET");
  ASSERT_EQ(api->QueryAccountRecord(api, &ticket), 0);
  EXPECT_STREQ(ticket.ticket, "FIXED-TICKET");
  ASSERT_EQ(request.result.joinTickets.size(), 3u);
  EXPECT_EQ(request.result.joinTickets[0].userId, "uid");
  EXPECT_EQ(services::JoinTicketRequests(host).size(), 3u);

  std::vector<services::ProductFeature> entries;
  for (int32_t i = 0; i < 20; ++i) entries.push_back({100 + i, 1 << i});
  services::SetProduct(host, 26, entries);
  auto product = std::make_unique<ProductRecord>();
  std::memset(product.get(), 0, sizeof(ProductRecord));
  product->pfid = 26;
  ASSERT_EQ(api->QueryProductRecord(api, product.get()), 0);
  EXPECT_EQ(product->count, 16);  // the record holds 16 entries
  EXPECT_EQ(product->entries[15].features, 1 << 15);
  product->pfid = 99;
  ASSERT_EQ(api->QueryProductRecord(api, product.get()), 0);
  EXPECT_EQ(product->count, 0);

  auto codes = std::make_unique<CodeList>();
  std::memset(codes.get(), 0, sizeof(CodeList));
  std::strcpy(codes->names[0], "RealmWardenPrivLock");
  std::memset(codes->names[1], 'c', sizeof codes->names[1]);  // unterminated: read as 32 characters
  codes->count = 2;
  ASSERT_EQ(api->SetAccountCodes(api, codes.get()), 0);
  auto kept = services::LastAccountCodes(host);
  ASSERT_TRUE(kept.has_value());
  ASSERT_EQ(kept->size(), 2u);
  EXPECT_EQ((*kept)[0], "RealmWardenPrivLock");
  EXPECT_EQ((*kept)[1], std::string(32, 'c'));

  HostRecord hostRecord;
  std::memset(&hostRecord, 0, sizeof hostRecord);
  hostRecord.pfid = 5;  // no login cookies: zeros, but the family is passed
  ASSERT_EQ(api->RegisterHost(api, &hostRecord), 0);
  EXPECT_EQ(hostRecord.status, 0);
  std::string key = hostRecord.hostKey;
  EXPECT_GE(key.size(), 8u);
  for (char c : key) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << key;
  services::SetRegisterHostStatus(host, 3299);
  ASSERT_EQ(api->RegisterHost(api, &hostRecord), 0);
  EXPECT_EQ(hostRecord.status, 3299);
  auto registrations = services::HostRegistrations(host);
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_EQ(registrations[0].pfid, 5);
  EXPECT_EQ(registrations[0].hostKey, key);
  EXPECT_EQ(request.result.hostRegistrations.size(), 2u);
}

TEST_F(GameServersTest, SwitchesMakeTheServerServicesFail) {
  for (const char* slot : {"GetServerRecord", "QueryServerAccess", "QueryAccountRecord", "QueryProductRecord", "RegisterHost"}) {
    services::SetSlotFailing(host, slot, true);
  }
  omtest::SlotRequest request(host);
  HostApi* api = request.api();
  auto record = AskFor(5, "");
  EXPECT_LT(api->GetServerRecord(api, record.get()), 0);
  EXPECT_EQ(record->found, 0);
  int32_t status = 0, other = 0;
  EXPECT_LT(api->QueryServerAccess(api, "members", &status, &other), 0);
  JoinTicketRequest ticket{};
  EXPECT_LT(api->QueryAccountRecord(api, &ticket), 0);
  auto product = std::make_unique<ProductRecord>();
  EXPECT_LT(api->QueryProductRecord(api, product.get()), 0);
  HostRecord hostRecord{};
  EXPECT_LT(api->RegisterHost(api, &hostRecord), 0);
  EXPECT_THROW(services::SetSlotFailing(host, "Respond", true), std::invalid_argument);
}

}  // namespace
