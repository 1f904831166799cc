// The omserver commands of the services and the request JSON's service outputs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "json_output.h"
#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

namespace services = omserver::services;

class CommandsTest : public ::testing::Test {
 protected:
  omtest::CommandResult run(const std::string& arguments) {
    return omtest::RunOmserver(arguments + " --data " + dir.path().string());
  }
  nlohmann::json list(const std::string& arguments) {
    omtest::CommandResult result = run(arguments);
    EXPECT_EQ(result.status, 0) << arguments << ": " << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
  }
  omtest::TempDir dir;
};

TEST_F(CommandsTest, SettingsMadeOnTheCommandLineReachTheSlots) {
  for (const char* command : {"mail fail-from 1", "switch set 2 unreadable", "screen add Badname", "db-offline on",
                              "host-number 17", "access set members 2005", "ticket set --status 3400",
                              "product set 26 100:3 101:4", "hosts status 3234", "fail QueueEnter on"}) {
    omtest::CommandResult result = run(command);
    ASSERT_EQ(result.status, 0) << command << ": " << result.err;
  }
  omserver::Host host(dir.path());
  omtest::SlotRequest request(host);
  HostApi* api = request.api();
  int32_t value = 0;
  char buffer[64];
  EXPECT_LT(api->SendMail(api, "a@b.c", "s", "b"), 0);
  EXPECT_LT(api->GetFeatureSwitch(api, 2, &value), 0);
  EXPECT_NE(api->ScreenName(api, "BADNAME"), 0);
  EXPECT_NE(api->IsDbOffline(api), 0);
  EXPECT_EQ(api->GetHostNumber(api), 17);
  EXPECT_EQ(api->QueryServerAccess(api, "members", &value, nullptr), 0);
  EXPECT_EQ(value, 2005);
  JoinTicketRequest ticket{};
  EXPECT_EQ(api->QueryAccountRecord(api, &ticket), 0);
  EXPECT_EQ(ticket.status, 3400);
  auto product = std::make_unique<ProductRecord>();
  product->pfid = 26;
  EXPECT_EQ(api->QueryProductRecord(api, product.get()), 0);
  EXPECT_EQ(product->count, 2);
  EXPECT_EQ(product->entries[1].features, 4);
  HostRecord hostRecord{};
  EXPECT_EQ(api->RegisterHost(api, &hostRecord), 0);
  EXPECT_EQ(hostRecord.status, 3234);
  EXPECT_LT(api->QueueEnter(api, buffer, sizeof buffer), 0);
}

TEST_F(CommandsTest, WhatRequestsKeptIsListedLater) {
  {
    omserver::Host host(dir.path());
    services::ServerConfig server;
    server.rid = 7;
    server.fields = {{"queued", 1}};
    services::AddServer(host, server);
    omtest::SlotRequest request(host);
    HostApi* api = request.api();
    api->SendMail(api, "fox@example.com", "Orbitmere Notice", "Bye");
    api->LogEvent(api, 1001, 0, "DELUSER", "");
    EventRecord record{};
    record.accountId = 1001;
    record.eventCode = 8193;
    std::strcpy(record.source, "OMAccount::PerformDeleteAccountOnDatabase");
    api->PostEventRecord(api, &record);
    api->NoteFailure(api);
    char ticket[64];
    api->QueueEnter(api, ticket, sizeof ticket);
    int32_t state = -3, position = -1, third = 0;
    api->QueuePoll(api, ticket, 7, &state, &position, &third);
  }
  nlohmann::json mails = list("mail list");
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0]["to"], "fox@example.com");
  EXPECT_EQ(mails[0]["sent"], true);
  nlohmann::json log = list("log list");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["tag"], "DELUSER");
  nlohmann::json records = list("records list");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["record"]["eventCode"], 8193);
  EXPECT_EQ(records[0]["record"]["loginValue"], 0);
  EXPECT_EQ(records[0]["record"]["source"], "OMAccount::PerformDeleteAccountOnDatabase");
  EXPECT_EQ(records[0]["record"]["email"], "");
  EXPECT_EQ(list("failures list").size(), 1u);
  nlohmann::json line = list("queue list --rid 7");
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0]["position"], 1);
  omtest::CommandResult admitted = run("queue admit 7");
  EXPECT_EQ(admitted.status, 0) << admitted.err;
  EXPECT_EQ(admitted.out, line[0]["ticket"].get<std::string>() + "\n");
  EXPECT_EQ(list("queue list")[0]["state"], "granted");
}

TEST_F(CommandsTest, MistakesAreUsageErrors) {
  for (const char* command : {"mail send", "mail fail-from 0", "mail fail-from x", "switch set 2 maybe",
                              "server add --gsid g", "server add --rid 1 --colour 3", "server add --rid 1 --queued x",
                              "queue admit 7", "queue places 7 1", "fail Respond on", "fail QueuePoll sometimes",
                              "product set 26 100", "hosts status", "seed"}) {
    omtest::CommandResult result = run(command);
    EXPECT_EQ(result.status, 2) << command << ": " << result.out << result.err;
    EXPECT_FALSE(result.err.empty()) << command;
  }
}

TEST_F(CommandsTest, TheCipherCommandMatchesTheSlots) {
  omtest::CommandResult encoded = omtest::RunOmserver("cipher encode JUMPTOWEB:7086 1234:5678");
  ASSERT_EQ(encoded.status, 0);
  EXPECT_EQ(encoded.out, services::Encipher("1234:5678", "JUMPTOWEB:7086") + "\n");
  std::string cipher = encoded.out.substr(0, encoded.out.find('\n'));
  omtest::CommandResult decoded = omtest::RunOmserver("cipher decode JUMPTOWEB:7086 " + cipher);
  EXPECT_EQ(decoded.out, "1234:5678\n");
  EXPECT_EQ(omtest::RunOmserver("cipher decode JUMPTOWEB:7086 12:34").status, 1);
}

TEST_F(CommandsTest, TheRequestJsonCarriesTheServiceOutputs) {
  omserver::Host host(dir.path());
  omtest::SlotRequest request(host);
  HostApi* api = request.api();
  api->SendMail(api, "fox@example.com", "Subject", "Body");
  api->LogEvent(api, 5, 6, "JOIN", "ANONYMOUS rid=7");
  EventRecord record{};
  record.eventCode = 8673;
  record.characterId = 6;
  api->PostEventRecord(api, &record);
  api->NoteFailure(api);
  CodeList codes{};
  std::strcpy(codes.names[0], "alpha");
  codes.count = 1;
  api->SetAccountCodes(api, &codes);
  auto plugin = omtest::LoadPlugin("OMPrepare");
  ASSERT_NE(plugin, nullptr);
  nlohmann::ordered_json out = omserver::ResultJson(*plugin, request.result);
  EXPECT_EQ(out["mails"][0]["subject"], "Subject");
  EXPECT_EQ(out["eventLog"][0]["characterId"], 6);
  EXPECT_EQ(out["eventRecords"][0]["eventCode"], 8673);
  EXPECT_EQ(out["eventRecords"][0]["characterId"], 6);
  EXPECT_EQ(out["failuresNoted"], 1);
  EXPECT_EQ(out["accountCodes"][0], "alpha");
  EXPECT_TRUE(out["hostRegistrations"].empty());
  EXPECT_GE(out["serviceCalls"].size(), 5u);
}

}  // namespace
