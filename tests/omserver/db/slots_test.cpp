// The database slots themselves: how bound columns are filled, what a plug-in's misuse does
// (fails, is logged, never crashes), the faults on demand, the schema's defaults and the
// command line.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "db/faults.h"
#include "db/schema.h"
#include "db_client.h"
#include "test_support.h"

namespace omtest {
namespace {

class Slots : public ::testing::Test {
 public:
  Slots() : host_(dir_.path()) { LoadFixture(host_); }
  // Opens database 1 and runs a text up to its first result.
  DbHandle* openAt(HostApi* api, const char* text) {
    int32_t error = 0;
    DbHandle* db = api->DbOpen(api, 1, &error);
    EXPECT_NE(db, nullptr);
    api->DbSetTag(db, "Test:Slots", 1, 0);
    api->DbSetQuery(db, text);
    EXPECT_EQ(api->DbExecute(db), 0);
    int32_t out1 = 0, out2 = 0;
    EXPECT_EQ(api->DbNextResult(db, &out1, &out2, 0), 0);
    return db;
  }
  TempDir dir_;
  omserver::Host host_;
};

TEST_F(Slots, FetchFillsTheBoundTargetsByType) {
  DbClient client(host_);
  HostApi* api = client.api();
  DbHandle* db = openAt(api, "declare @n int select handle, handle, cid, @n, @n, status from login (NOLOCK) where cid = 1 ");
  char shortText[4];
  char letter = 'x';
  char cidText[16];
  char nullText[8] = "preset";
  int32_t nullNumber = 99;
  int32_t status = 7;
  EXPECT_EQ(api->DbBindColumn(db, DbColumnText, sizeof shortText, shortText), 0);
  EXPECT_EQ(api->DbBindColumn(db, DbColumnChar, 0, &letter), 0);
  EXPECT_EQ(api->DbBindColumn(db, DbColumnText, sizeof cidText, cidText), 0);
  EXPECT_EQ(api->DbBindColumn(db, DbColumnText, sizeof nullText, nullText), 0);
  EXPECT_EQ(api->DbBindColumn(db, DbColumnInt, 0, &nullNumber), 0);
  EXPECT_EQ(api->DbBindColumn(db, DbColumnInt, 0, &status), 0);
  EXPECT_EQ(api->DbFetch(db), 0);
  EXPECT_STREQ(shortText, "ali");  // cut to the buffer size less one
  EXPECT_EQ(letter, 'a');
  EXPECT_STREQ(cidText, "1");
  EXPECT_STREQ(nullText, "");
  EXPECT_EQ(nullNumber, 0);
  EXPECT_EQ(status, 0);  // the text "A" read as an integer
  EXPECT_TRUE(client.logged("is not a number"));
  EXPECT_LT(api->DbFetch(db), 0);  // no second row
  api->DbCloseCursor(db);
  api->DbRelease(db);
}

TEST_F(Slots, AFetchWithoutARowWritesNothing) {
  DbClient client(host_);
  HostApi* api = client.api();
  DbHandle* db = openAt(api, "select cid, handle from login where cid = 99 ");
  int32_t cid = 77;
  char handle[16] = "kept";
  api->DbBindColumn(db, DbColumnInt, 0, &cid);
  api->DbBindColumn(db, DbColumnText, sizeof handle, handle);
  EXPECT_LT(api->DbFetch(db), 0);
  EXPECT_EQ(cid, 77);
  EXPECT_STREQ(handle, "kept");
  api->DbCloseCursor(db);
  api->DbRelease(db);
  EXPECT_TRUE(client.finish().empty());
}

// Each case misuses the slots one way; the call fails, the host notes why, nothing crashes.
TEST_F(Slots, MisuseFailsAndIsLogged) {
  int32_t number = 0;
  struct Case {
    const char* name;
    std::function<int32_t(HostApi*, Slots&)> misuse;
    const char* logged;
  } cases[] = {
      {"fetch before execute",
       [](HostApi* api, Slots&) {
         int32_t error;
         DbHandle* db = api->DbOpen(api, 1, &error);
         api->DbSetTag(db, "T", 1, 0);
         int32_t result = api->DbFetch(db);
         api->DbRelease(db);
         return result;
       },
       "has no current result"},
      {"fetch before the first result",
       [](HostApi* api, Slots&) {
         int32_t error;
         DbHandle* db = api->DbOpen(api, 1, &error);
         api->DbSetTag(db, "T", 1, 0);
         api->DbSetQuery(db, "select cid from login ");
         api->DbExecute(db);
         int32_t result = api->DbFetch(db);
         api->DbRelease(db);
         return result;
       },
       "DbNextResult has not moved to one"},
      {"bind past the last column",
       [&number](HostApi* api, Slots& test) {
         DbHandle* db = test.openAt(api, "select cid from login ");
         api->DbBindColumn(db, DbColumnInt, 0, &number);
         int32_t result = api->DbBindColumn(db, DbColumnInt, 0, &number);
         api->DbFetch(db);
         api->DbRelease(db);
         return result;
       },
       "past the last column (the result has 1)"},
      {"bind to a null target",
       [](HostApi* api, Slots& test) {
         DbHandle* db = test.openAt(api, "select cid from login ");
         int32_t result = api->DbBindColumn(db, DbColumnInt, 0, nullptr);
         api->DbFetch(db);
         api->DbRelease(db);
         return result;
       },
       "a null target"},
      {"bind an unknown type",
       [&number](HostApi* api, Slots& test) {
         DbHandle* db = test.openAt(api, "select cid from login ");
         int32_t result = api->DbBindColumn(db, 3, 4, &number);
         api->DbRelease(db);
         return result;
       },
       "unknown type 3"},
      {"bind a text target of size 0",
       [](HostApi* api, Slots& test) {
         DbHandle* db = test.openAt(api, "select handle from login ");
         char text[1];
         int32_t result = api->DbBindColumn(db, DbColumnText, 0, text);
         api->DbRelease(db);
         return result;
       },
       "a text target of size 0"},
      {"next result before execute",
       [](HostApi* api, Slots&) {
         int32_t error, out1, out2;
         DbHandle* db = api->DbOpen(api, 1, &error);
         api->DbSetTag(db, "T", 1, 0);
         int32_t result = api->DbNextResult(db, &out1, &out2, 0);
         api->DbRelease(db);
         return result;
       },
       "has not been executed"},
      {"next result after a failed execute",
       [](HostApi* api, Slots&) {
         int32_t error, out1, out2;
         DbHandle* db = api->DbOpen(api, 1, &error);
         api->DbSetTag(db, "T", 1, 0);
         api->DbSetQuery(db, "select nothing from nowhere ");
         api->DbExecute(db);
         int32_t result = api->DbNextResult(db, &out1, &out2, 0);
         api->DbRelease(db);
         return result;
       },
       "the statement failed to run"},
      {"query without a tag",
       [](HostApi* api, Slots&) {
         int32_t error;
         DbHandle* db = api->DbOpen(api, 1, &error);
         int32_t result = api->DbSetQuery(db, "select cid from login ");
         api->DbRelease(db);
         return result;
       },
       "no statement was started with DbSetTag"},
      {"execute twice",
       [](HostApi* api, Slots& test) {
         DbHandle* db = test.openAt(api, "select cid from login ");
         int32_t result = api->DbExecute(db);
         api->DbRelease(db);
         return result;
       },
       "the statement has already run"},
      {"close without a statement",
       [](HostApi* api, Slots&) {
         int32_t error;
         DbHandle* db = api->DbOpen(api, 1, &error);
         int32_t result = api->DbCloseCursor(db);
         api->DbRelease(db);
         return result;
       },
       "no statement to close"},
      {"open an unknown database",
       [](HostApi* api, Slots&) {
         int32_t error = 0;
         DbHandle* db = api->DbOpen(api, 5, &error);
         return db == nullptr && error == -3 ? -1 : 0;
       },
       "database 5 refused with -3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DbClient client(host_);
    EXPECT_LT(c.misuse(client.api(), *this), 0);
    EXPECT_TRUE(client.logged(c.logged)) << (client.log().empty() ? "nothing logged" : client.log().back());
  }
}

TEST_F(Slots, EverySlotRefusesAReleasedHandle) {
  DbClient client(host_);
  HostApi* api = client.api();
  DbHandle* db = openAt(api, "select cid from login ");
  EXPECT_EQ(api->DbRelease(db), 0);
  int32_t out1, out2, number;
  EXPECT_LT(api->DbSetTag(db, "T", 1, 0), 0);
  EXPECT_LT(api->DbSetQuery(db, "select cid from login "), 0);
  EXPECT_LT(api->DbExecute(db), 0);
  EXPECT_LT(api->DbNextResult(db, &out1, &out2, 0), 0);
  EXPECT_LT(api->DbBindColumn(db, DbColumnInt, 0, &number), 0);
  EXPECT_LT(api->DbFetch(db), 0);
  EXPECT_LT(api->DbCloseCursor(db), 0);
  EXPECT_LT(api->DbRelease(db), 0);
  int used = 0;
  for (const std::string& line : client.log()) used += line.find("used after DbRelease") != std::string::npos;
  EXPECT_EQ(used, 8);
  EXPECT_LT(api->DbFetch(nullptr), 0);
}

TEST_F(Slots, AHandleLeftOpenIsReleasedAndNotedAfterBody) {
  DbClient client(host_);
  HostApi* api = client.api();
  int32_t error = 0;
  DbHandle* kept = api->DbOpen(api, 1, &error);
  DbHandle* released = api->DbOpen(api, 2, &error);
  api->DbSetTag(kept, "OMTest.dll:Forgotten", 1, 0);
  api->DbRelease(released);
  const auto& log = client.finish();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("database 1 (connection 1, tag \"OMTest.dll:Forgotten\") was never released"), std::string::npos) << log[0];
}

TEST_F(Slots, FaultsOnDemand) {
  auto openError = [&](int32_t database) {
    DbClient client(host_);
    int32_t error = 0;
    DbHandle* db = client.api()->DbOpen(client.api(), database, &error);
    if (db != nullptr) client.api()->DbRelease(db);
    return db == nullptr ? error : 0;
  };
  auto stoppedAt = [&](const std::string& tag) {
    DbClient client(host_);
    return RunStep(client.api(), 1, tag, {"select cid from login select handle from login "}, {"i", "t"}).failedAt;
  };

  omserver::SetDatabasesOffline(host_, true);
  EXPECT_TRUE(omserver::DatabasesOffline(host_));
  EXPECT_EQ(openError(1), -6);
  EXPECT_EQ(openError(8), -6);
  omserver::SetDatabasesOffline(host_, false);
  EXPECT_FALSE(omserver::DatabasesOffline(host_));
  EXPECT_EQ(openError(1), 0);

  for (int32_t code : {-3, -4, -6, -17}) {
    omserver::SetDbOpenFault(host_, 2, code);
    EXPECT_EQ(openError(2), code);
    EXPECT_EQ(openError(1), 0) << "only the chosen database fails";
  }
  omserver::SetDbOpenFault(host_, 2, std::nullopt);
  EXPECT_EQ(openError(2), 0);

  omserver::SetDbExecuteFault(host_, "OMTest.dll:Step", true);
  EXPECT_EQ(stoppedAt("OMTest.dll:Step"), "DbExecute");
  EXPECT_EQ(stoppedAt("OMTest.dll:Other"), "");
  omserver::SetDbExecuteFault(host_, "OMTest.dll:Step", false);
  EXPECT_EQ(stoppedAt("OMTest.dll:Step"), "");

  omserver::SetDbNextResultFault(host_, "OMTest.dll:Step", 2);
  EXPECT_EQ(stoppedAt("OMTest.dll:Step"), "DbNextResult 2");
  omserver::SetDbOpenFault(host_, 6, -4);
  {
    omserver::Host again(dir_.path());  // faults live in host.sqlite, for every host on the directory
    EXPECT_EQ(omserver::ListDbFaults(again), (std::vector<std::string>{"next-result OMTest.dll:Step 2", "open 6 -4"}));
    omserver::ClearDbFaults(again);
  }
  EXPECT_EQ(stoppedAt("OMTest.dll:Step"), "");
  EXPECT_TRUE(omserver::ListDbFaults(host_).empty());
  EXPECT_EQ(host_.config("clock"), std::to_string(kTestNow)) << "clearing the faults keeps the rest of the configuration";
}

TEST_F(Slots, RowsCanBeInsertedNamingOnlyTheColumnsThePlugInsUse) {
  Exec(host_, 1, "insert into login (cid, handle, password, email, status, state) values (20, 'gil', 'pw', 'gil@example.com', 'A', 'A');"
                 "insert into character (cid, name) values (20, 'Gale');"
                 "insert into om_assigned_restrictions (cid, om_restrictions_binaryVal) values (20, 1);");
  EXPECT_EQ(Query(host_, 1, "select fname, activation, parentcid from login where cid = 20"), "|0|0");
  EXPECT_EQ(Query(host_, 1, "select state, isdefault from character where cid = 20"), "A|n");
  EXPECT_EQ(Query(host_, 1, "select chid, status from om_assigned_restrictions where cid = 20"), "0|A");
  Exec(host_, 2, "insert into statticket (statticketvalue, cid) values (5, 20)");
  Exec(host_, 8, "insert into stats_player_var (cid, chid, varname, value) values (20, 21, 'KILLS', 3)");
}

TEST(DbCommandLine, InitDbCreatesTheDatabasesAndTheDemo) {
  TempDir dir;
  std::string data = (dir.path() / "site").string();
  CommandResult init = RunOmserver("init-db --data " + data + " --demo");
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("alice"), std::string::npos) << init.out;
  omserver::Host host(data);
  for (int32_t database : omserver::db::kDatabases) EXPECT_TRUE(std::filesystem::exists(omserver::db::DatabasePath(host, database)));
  EXPECT_EQ(Query(host, 1, "select group_concat(status, '') from (select status from login order by cid)"), "APSDA");
  DbClient client(host);
  StepOutcome demo = RunStep(client.api(), 1, "OMCharacter.dll:VerifyInfo",
                             {"select lv.cid, lv.value from loginvalue lv (NOLOCK), login l (NOLOCK) where lv.cid=1 and l.cid = lv.cid and l.status = 'A' and lv.value=1001 "},
                             {"ii"});
  EXPECT_EQ(demo.results, std::vector<std::string>{"1|1001"});

  CommandResult again = RunOmserver("init-db --data " + data + " --demo");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds accounts"), std::string::npos) << again.err;
}

TEST(DbCommandLine, DbFaultSetsListsAndClears) {
  TempDir dir;
  std::string data = dir.path().string();
  CommandResult offline = RunOmserver("db-fault --data " + data + " offline on");
  ASSERT_EQ(offline.status, 0) << offline.err;
  EXPECT_EQ(offline.out, "offline\n");
  CommandResult open = RunOmserver("db-fault --data " + data + " open 1 -4");
  EXPECT_EQ(open.out, "offline\nopen 1 -4\n");
  {
    omserver::Host host(data);
    EXPECT_TRUE(omserver::DatabasesOffline(host));
    EXPECT_EQ(omserver::DbOpenFault(host, 1), -4);
  }
  EXPECT_EQ(RunOmserver("db-fault --data " + data + " next-result OMJoin.dll:VerifyUserInfo 0").status, 2);
  EXPECT_EQ(RunOmserver("db-fault --data " + data + " open 1").status, 2);
  EXPECT_EQ(RunOmserver("db-fault --data " + data + " clear").out, "no database faults\n");
}

}  // namespace
}  // namespace omtest

namespace omtest {
namespace {

// Requests run on several threads at once; each batch is its own transaction, so concurrent
// writers wait for each other instead of failing, and every insert gets its own identity.
TEST(DbConcurrency, ConcurrentRequestsWriteWithoutLosingRows) {
  TempDir dir;
  omserver::Host host(dir.path());
  LoadFixture(host);
  constexpr int kThreads = 2, kInserts = 15;
  std::vector<std::vector<std::string>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kInserts; ++i) {
        DbClient client(host);
        std::string name = "T" + std::to_string(t) + "-" + std::to_string(i);
        StepOutcome outcome = RunStep(client.api(), 1, "OMCharacter.dll:NewChar",
                                      {Sql("insert character (cid, name, isdefault, created, lastused) values (%ld, '%s', 'n', GETDATE(), GETDATE()) select @@identity ", 1L, name.c_str())},
                                      {"", "i"});
        ids[t].push_back(outcome.results.size() == 2 ? outcome.results[1] : "failed: " + outcome.failedAt);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> distinct;
  for (const auto& list : ids) {
    for (const std::string& id : list) {
      EXPECT_EQ(id.find("failed"), std::string::npos) << id;
      distinct.insert(id);
    }
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kInserts));
  EXPECT_EQ(Query(host, 1, "select count(*) from character where name like 'T%-%'"), std::to_string(kThreads * kInserts));
}

}  // namespace
}  // namespace omtest
