// What the OMJoin conversation tests share: a data directory with one account (cid 1,
// handle foxy, login value 31, players Fox (chid 7) and Vix (chid 8), PC id A00000042), a
// browser jar, game servers configured in the stand-in, and requests that may have host
// slots replaced for answers the stand-in cannot be made to give.
#ifndef OM_TESTS_JOIN_JOIN_FIXTURE_H
#define OM_TESTS_JOIN_JOIN_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/faults.h"
#include "db/schema.h"
#include "page_requests.h"
#include "services/event_records.h"
#include "services/services.h"
#include "test_support.h"

namespace omtest {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;
namespace services = omserver::services;

constexpr int32_t kRid = 100;
constexpr char kKey[] = "4242";  // the scramble key of the default server
constexpr char kPcid[] = "A00000042";

// The account fixture, visible here as the rows it is.
inline constexpr char kAccountRows[] =
    "INSERT INTO login (cid, parentcid, handle, status, state, fname, lname, email) "
    "  VALUES (1, 0, 'foxy', 'A', 'A', 'Ann', 'Archer', 'ann@example.com');"
    "INSERT INTO loginvalue (cid, value) VALUES (1, 31);"
    "INSERT INTO character (chid, cid, name, state) VALUES (7, 1, 'Fox', 'A'), (8, 1, 'Vix', 'A');"
    "INSERT INTO pcid (cid, pcid_series, pcid_number) VALUES (1, 'A', 42);";

class JoinTest : public ::testing::Test {
 public:
  void SetUp() override { sql(1, kAccountRows); }

  void sql(int32_t database, const std::string& text) { omserver::db::OpenDatabase(host, database).exec(text); }
  std::string scalar(int32_t database, const std::string& text) {
    return omserver::db::OpenDatabase(host, database).scalarText(text).value_or("<none>");
  }

  // The default server: the service's own, key 4242, at 10.0.0.1:7000.
  services::ServerConfig server(std::map<std::string, int32_t> fields = {},
                                std::vector<std::pair<std::string, std::string>> vars = {}) {
    services::ServerConfig config;
    config.rid = kRid;
    config.gsid = "gs-alpha";
    config.name = "Alpha";
    config.fields = {{"own", 1},          {"scramble-key", 4242}, {"address", 0x0A000001}, {"port", 7000},
                     {"app-id", 12},      {"baffle-address", 0x0A000002}, {"baffle-port", 7100}, {"baffle-key", 99}};
    for (const auto& [name, value] : fields) config.fields[name] = value;
    config.vars = std::move(vars);
    return config;
  }
  void addServer(std::map<std::string, int32_t> fields = {}, std::vector<std::pair<std::string, std::string>> vars = {}) {
    services::AddServer(host, server(std::move(fields), std::move(vars)));
  }

  void logIn(const std::string& omv = "31", const std::string& omi = "1", const std::string& omd = "7",
             const std::string& name = "Fox") {
    jar.set("OMV", omv);
    jar.set("OMI", omi);
    jar.set("OMD", omd);
    jar.set("CHAR", name);
  }

  static NameValues form(const std::string& mode, NameValues extra = {}) {
    NameValues query = {{"success", "/ok.htm"}, {"failure", "/fail.htm"}, {"msgbase", "mb"},
                        {"relay", "/relay.htm"}, {"start", "/login.htm"},  {"mode", mode},
                        {"rid", std::to_string(kRid)}, {"pfid", "27"}};
    for (auto& [name, value] : extra) {
      bool replaced = false;
      for (auto& entry : query) {
        if (entry.first == name) {
          entry.second = value;
          replaced = true;
        }
      }
      if (!replaced) query.emplace_back(name, value);
    }
    return query;
  }

  RequestResult request(NameValues query, int32_t kind = 1, omserver::CookieJar* browser = nullptr) {
    RequestSpec incoming;
    incoming.kind = kind;
    incoming.pageUrl = pageUrl;
    incoming.query = std::move(query);
    return RunWithSlots(host, *plugin, browser != nullptr ? *browser : jar, std::move(incoming), slots);
  }

  // The first request of a conversation (it must be the interim page), then the second.
  RequestResult join(const std::string& mode, NameValues extra = {}, int32_t kind = 1) {
    RequestResult first = request(form(mode, extra), kind);
    EXPECT_EQ(OnlyReply(first).word, "RELAY") << "mode " << mode;
    return request(form(mode, extra), kind);
  }

  std::vector<services::StoredLogEntry> joinLog() {
    std::vector<services::StoredLogEntry> entries;
    for (const auto& entry : services::EventLog(host)) {
      if (entry.tag == "JOIN") entries.push_back(entry);
    }
    return entries;
  }

  // The close flag of the conversation's session (step records are keyed sessions beside it).
  static int32_t conversationEnd(const RequestResult& result) {
    for (const auto& session : result.sessions) {
      if (!session.keyed) return session.end;
    }
    ADD_FAILURE() << "the request opened no conversation session";
    return -1;
  }

  // The keys of the step records with this name the request left.
  static std::vector<std::string> stepRecords(const RequestResult& result, const std::string& name) {
    std::vector<std::string> keys;
    for (const auto& session : result.sessions) {
      if (session.keyed && session.tag == "OMJoin.dll:" + name) keys.push_back(session.id);
    }
    return keys;
  }

  TempDir dir;
  omserver::Host host{dir.path()};
  std::unique_ptr<omserver::Plugin> plugin = LoadPlugin("OMJoin");
  omserver::CookieJar jar;
  std::string pageUrl = "/join.dll";
  std::function<void(HostApi&)> slots = [](HostApi&) {};
};

inline void ExpectFailure(const RequestResult& result, int32_t code, const std::string& target, const std::string& what) {
  const omserver::ReplyCall& reply = OnlyReply(result);
  EXPECT_EQ(reply.call, "Respond") << what;
  EXPECT_EQ(reply.word, "FAILURE") << what;
  EXPECT_EQ(reply.code, code) << what;
  EXPECT_EQ(reply.msgbase, "mb") << what;
  EXPECT_EQ(reply.target, target) << what;
  EXPECT_EQ(reply.delay, -1) << what;
}

inline void ExpectAdmitted(const RequestResult& result, const std::string& address, const std::string& what) {
  const omserver::ReplyCall& reply = OnlyReply(result);
  EXPECT_EQ(reply.call, "Redirect") << what << " (code " << reply.code << ")";
  EXPECT_EQ(reply.word, "SUCCESS") << what << " (code " << reply.code << ")";
  EXPECT_EQ(reply.url, address) << what;
  std::string misuse;
  for (const std::string& line : result.hostLog) {
    if (line.find("a fault is set") == std::string::npos) misuse += line + "\n";
  }
  EXPECT_EQ(misuse, "") << what << ": the host noted misuse";
}

}  // namespace omtest

#endif
