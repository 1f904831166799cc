// The database step on its own. The stand-in's databases are not part of this test: the
// HostApi given to the step has its nine database slots (and Respond and Redirect) pointed
// at a small scripted fake below, which plays back results and records every call in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "db_step.h"
#include "login_cookies.h"
#include "page.h"

namespace {

using Cell = std::variant<int32_t, std::string, char>;
using Row = std::vector<Cell>;

// The scripted connection: what DbOpen answers, whether DbExecute fails, which DbNextResult
// call fails, and the rows of each result; every call is written to `calls`.
struct FakeDatabase {
  int32_t openError = 0;  // non-zero: DbOpen returns null with this error
  bool executeFails = false;
  int32_t failingNextResult = -1;  // 0-based number of the DbNextResult call that fails
  std::vector<std::vector<Row>> results;

  std::vector<std::string> calls;
  int32_t releases = 0;
  int32_t nextResults = 0;
  int32_t result = -1;
  size_t row = 0;
  struct Binding {
    int32_t type;
    int32_t size;
    void* target;
  };
  std::vector<Binding> bindings;
};

FakeDatabase* fake = nullptr;
int32_t fakeHandle = 0;

DbHandle* Handle() { return reinterpret_cast<DbHandle*>(&fakeHandle); }

std::string Text(const char* text) { return text ? text : "null"; }

void FillHostApi(HostApi& api) {
  std::memset(&api, 0, sizeof api);
  api.DbOpen = [](HostApi*, int32_t database, int32_t* error) -> DbHandle* {
    fake->calls.push_back("DbOpen " + std::to_string(database));
    if (fake->openError != 0) {
      *error = fake->openError;
      return nullptr;
    }
    return Handle();
  };
  api.DbRelease = [](DbHandle*) -> int32_t {
    fake->calls.push_back("DbRelease");
    ++fake->releases;
    return 0;
  };
  api.DbSetTag = [](DbHandle*, const char* tag, int32_t one, int32_t zero) -> int32_t {
    fake->calls.push_back("DbSetTag " + Text(tag) + " " + std::to_string(one) + " " + std::to_string(zero));
    return 0;
  };
  api.DbSetQuery = [](DbHandle*, const char* sql) -> int32_t {
    fake->calls.push_back("DbSetQuery " + Text(sql));
    return 0;
  };
  api.DbExecute = [](DbHandle*) -> int32_t {
    fake->calls.push_back("DbExecute");
    return fake->executeFails ? -1 : 0;
  };
  api.DbNextResult = [](DbHandle*, int32_t* out1, int32_t* out2, int32_t zero) -> int32_t {
    fake->calls.push_back("DbNextResult " + std::to_string(zero));
    EXPECT_NE(out1, nullptr);
    EXPECT_NE(out2, nullptr);
    if (fake->nextResults++ == fake->failingNextResult) return -1;
    ++fake->result;
    fake->row = 0;
    fake->bindings.clear();
    return fake->result < static_cast<int32_t>(fake->results.size()) ? 0 : -1;
  };
  api.DbBindColumn = [](DbHandle*, int32_t type, int32_t size, void* target) -> int32_t {
    fake->calls.push_back("DbBindColumn " + std::to_string(type) + " " + std::to_string(size));
    fake->bindings.push_back({type, size, target});
    return 0;
  };
  api.DbFetch = [](DbHandle*) -> int32_t {
    fake->calls.push_back("DbFetch");
    const std::vector<Row>& rows = fake->results.at(static_cast<size_t>(fake->result));
    if (fake->row >= rows.size()) return -1;
    const Row& row = rows[fake->row++];
    for (size_t i = 0; i < fake->bindings.size() && i < row.size(); ++i) {
      const FakeDatabase::Binding& b = fake->bindings[i];
      if (b.type == DbColumnInt) std::memcpy(b.target, &std::get<int32_t>(row[i]), sizeof(int32_t));
      if (b.type == DbColumnChar) *static_cast<char*>(b.target) = std::get<char>(row[i]);
      if (b.type == DbColumnText) std::snprintf(static_cast<char*>(b.target), b.size, "%s", std::get<std::string>(row[i]).c_str());
    }
    return 0;
  };
  api.DbCloseCursor = [](DbHandle*) -> int32_t {
    fake->calls.push_back("DbCloseCursor");
    return 0;
  };
  api.Respond = [](HostApi*, const char* word, const char* msgbase, int32_t code, const char* text, const char* target,
                   int32_t delay) -> int32_t {
    fake->calls.push_back("Respond " + Text(word) + " " + Text(msgbase) + " " + std::to_string(code) + " " + Text(text) +
                          " " + Text(target) + " " + std::to_string(delay));
    return 0;
  };
  api.IsDbOffline = [](HostApi*) -> int32_t {
    fake->calls.push_back("IsDbOffline");
    return fake->openError == -6 ? 1 : 0;
  };
  api.Redirect = [](HostApi*, const char* word, const char* url, int32_t zero) -> int32_t {
    fake->calls.push_back("Redirect " + Text(word) + " " + Text(url) + " " + std::to_string(zero));
    return 0;
  };
}

struct StepPage : om::Page<8> {
  om::LoginFields login;
};

using Calls = std::vector<std::string>;

class DbStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = &database;
    FillHostApi(api);
    std::memset(static_cast<void*>(&page), 0, sizeof page);
    page.api = &api;
    om::TextCopyInto(page.failure, "/f.htm");
    om::TextCopyInto(page.success, "/s.htm");
    om::TextCopyInto(page.msgbase, "m");
    om::TextCopyInto(page.start, "/login.htm");
  }
  void TearDown() override { fake = nullptr; }

  FakeDatabase database;
  HostApi api;
  StepPage page;
};

TEST_F(DbStepTest, OpenFailuresAreMappedAndNothingIsReleased) {
  struct Case {
    int32_t error;
    const char* nodb;
    om::DbOpenRule rule;
    const char* reply;  // null: no reply at all
  };
  const om::DbOpenRule standard = om::DbOpenRule::Standard;
  const om::DbOpenRule tickets = om::DbOpenRule::NoStatisticsDatabaseGoesOn;
  const Case cases[] = {
      {-6, "/nodb.htm", standard, "Respond FAILURE m 4005 null /f.htm -1"},
      {-4, "/nodb.htm", standard, "Redirect FAILURE /nodb.htm 0"},
      {-3, "/nodb.htm", standard, "Redirect FAILURE /nodb.htm 0"},
      {-4, "", standard, "Respond FAILURE m 4000 null /f.htm -1"},
      {-3, "", standard, "Respond FAILURE m 4000 null /f.htm -1"},
      {-1, "/nodb.htm", standard, "Respond FAILURE m 4000 null /f.htm -1"},
      {-5, "", standard, "Respond FAILURE m 4000 null /f.htm -1"},
      {-4, "/nodb.htm", tickets, nullptr},
      {-4, "", tickets, nullptr},
      {-6, "", tickets, "Respond FAILURE m 4005 null /f.htm -1"},
      {-3, "/nodb.htm", tickets, "Redirect FAILURE /nodb.htm 0"},
      {-3, "", tickets, "Respond FAILURE m 4000 null /f.htm -1"},
  };
  for (const Case& c : cases) {
    std::string name = "error " + std::to_string(c.error) + " nodb \"" + c.nodb + "\"" +
                       (c.rule == tickets ? " (statistics ticket)" : "");
    database = FakeDatabase{};
    database.openError = c.error;
    om::TextCopyInto(page.nodb, c.nodb);
    {
      om::DbStep step(page, 2, "OMTest.dll:Open", c.rule);
      EXPECT_FALSE(step.ok()) << name;
      EXPECT_EQ(step.absent(), c.reply == nullptr) << name;
      step.append("select 1 ");
      EXPECT_FALSE(step.execute()) << name;
      EXPECT_EQ(step.fail(9999), -1) << name;
    }
    Calls expected = {"DbOpen 2"};
    if (c.reply) expected.push_back(c.reply);
    EXPECT_EQ(database.calls, expected) << name;
  }
}

TEST_F(DbStepTest, OfflineDatabasesAreAnswered4005BeforeAnyConnection) {
  database.openError = -6;
  EXPECT_EQ(om::CheckDatabasesOnline(page), -1);
  database.openError = 0;
  EXPECT_EQ(om::CheckDatabasesOnline(page), 0);
  EXPECT_EQ(database.calls, (Calls{"IsDbOffline", "Respond FAILURE m 4005 null /f.htm -1", "IsDbOffline"}));
}

TEST_F(DbStepTest, AFailedExecuteIsAnswered4001AfterOneCloseAndOneRelease) {
  database.executeFails = true;
  {
    om::DbStep step(page, 1, "OMTest.dll:Change1");
    step.append("update login set password = '%s' where cid = %ld ", om::Quoted("it's").text(), 42L);
    EXPECT_FALSE(step.execute());
    EXPECT_FALSE(step.nextResult());
    step.release();
    EXPECT_EQ(step.fail(3206), -1);
  }
  EXPECT_EQ(database.calls, (Calls{"DbOpen 1", "DbSetTag OMTest.dll:Change1 1 0",
                                   "DbSetQuery update login set password = 'it''s' where cid = 42 ", "DbExecute",
                                   "DbCloseCursor", "DbRelease", "Respond FAILURE m 4001 null /f.htm -1"}));
}

TEST_F(DbStepTest, AFailedNextResultIsAnswered4002AfterOneCloseAndOneRelease) {
  database.results = {{}, {}, {}};
  database.failingNextResult = 2;
  {
    om::DbStep step(page, 1, "OMTest.dll:Skip");
    step.append("set @a = 1 ");
    step.append("set @b = 2 ");
    step.append("select @a ");
    EXPECT_TRUE(step.execute());
    EXPECT_FALSE(step.skipResults(3));
  }
  EXPECT_EQ(database.calls,
            (Calls{"DbOpen 1", "DbSetTag OMTest.dll:Skip 1 0", "DbSetQuery set @a = 1 ", "DbSetQuery set @b = 2 ",
                   "DbSetQuery select @a ", "DbExecute", "DbNextResult 0", "DbNextResult 0", "DbNextResult 0",
                   "DbCloseCursor", "DbRelease", "Respond FAILURE m 4002 null /f.htm -1"}));
}

TEST_F(DbStepTest, ThreeRowsAreCountedAndTheLastIsKept) {
  database.results = {{{int32_t{1}, std::string("Ann"), 'A'}, {int32_t{2}, std::string("Bob"), 'P'},
                       {int32_t{3}, std::string("Cy"), 'S'}}};
  int32_t cid = -1;
  char name[64] = "preset";
  char state = 'x';
  int32_t count = 0;
  {
    om::DbStep step(page, 1, "OMTest.dll:Rows");
    step.append("select cid, name, state from login ");
    ASSERT_TRUE(step.execute());
    ASSERT_TRUE(step.nextResult());
    step.bindInt(&cid);
    step.bindText(name);
    step.bindChar(&state);
    count = step.fetchAll();
    step.release();
  }
  EXPECT_EQ(count, 3);
  EXPECT_EQ(cid, 3);
  EXPECT_STREQ(name, "Cy");
  EXPECT_EQ(state, 'S');
  EXPECT_EQ(database.releases, 1);
  Calls tail(database.calls.end() - 9, database.calls.end());
  EXPECT_EQ(tail, (Calls{"DbBindColumn 4 0", "DbBindColumn 1 64", "DbBindColumn 2 0", "DbFetch", "DbFetch", "DbFetch",
                         "DbFetch", "DbCloseCursor", "DbRelease"}));
}

TEST_F(DbStepTest, NoRowsLeavesTheTargetsAsBoundOrPreset) {
  database.results = {{}};
  int32_t rank = 77;
  char name[16] = "stale";
  int32_t count = -1;
  {
    om::DbStep step(page, 6, "OMTest.dll:Rank");
    step.append("select rank, name ");
    ASSERT_TRUE(step.execute() && step.nextResult());
    step.bindInt(&rank);
    step.bindText(name);
    rank = -1;  // this step's own preset
    count = step.fetchAll();
    EXPECT_EQ(step.fail(3206), -1);
  }
  EXPECT_EQ(count, 0);
  EXPECT_EQ(rank, -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(database.releases, 1);
  EXPECT_EQ(database.calls.back(), "Respond FAILURE m 3206 null /f.htm -1");
}

TEST_F(DbStepTest, AStatementTooLongForItsBufferIsNeverSent) {
  std::string huge(om::DbStatementSize, 'x');
  {
    om::DbStep step(page, 1, "OMTest.dll:Long");
    step.append("select '%s' ", huge.c_str());
    step.append("select 2 ");
    EXPECT_FALSE(step.execute());
  }
  EXPECT_EQ(database.calls, (Calls{"DbOpen 1", "DbSetTag OMTest.dll:Long 1 0", "DbCloseCursor", "DbRelease",
                                   "Respond FAILURE m 4001 null /f.htm -1"}));
}

TEST_F(DbStepTest, ASecondStatementOnTheSameConnectionAndReleaseOnScopeExit) {
  database.results = {{{int32_t{5}}}, {{int32_t{0}}}};
  {
    om::DbStep step(page, 1, "OMTest.dll:Two1");
    step.append("select 5 ");
    ASSERT_TRUE(step.execute() && step.nextResult());
    int32_t five;
    step.bindInt(&five);
    EXPECT_EQ(step.fetchAll(), 1);
    step.startStatement("OMTest.dll:Two2");
    step.append("update x set y = %ld ", static_cast<long>(five));
    ASSERT_TRUE(step.execute());
  }
  EXPECT_EQ(database.calls,
            (Calls{"DbOpen 1", "DbSetTag OMTest.dll:Two1 1 0", "DbSetQuery select 5 ", "DbExecute", "DbNextResult 0",
                   "DbBindColumn 4 0", "DbFetch", "DbFetch", "DbCloseCursor", "DbSetTag OMTest.dll:Two2 1 0",
                   "DbSetQuery update x set y = 5 ", "DbExecute", "DbCloseCursor", "DbRelease"}));
}

TEST_F(DbStepTest, ABorrowedConnectionIsLeftToItsOwnerAlsoWhenTheStepFails) {
  database.executeFails = true;
  {
    om::DbStep connection(page, 1, nullptr);
    {
      om::DbStep step(connection, "OMTest.dll:Inner");
      step.append("select 1 ");
      EXPECT_FALSE(step.execute());
    }
    EXPECT_EQ(database.releases, 0);
    EXPECT_FALSE(connection.ok()) << "the owner knows a reply has gone out";
    om::DbStep next(connection, "OMTest.dll:After");
    EXPECT_FALSE(next.execute());
    EXPECT_EQ(connection.fail(4444), -1);
  }
  EXPECT_EQ(database.calls, (Calls{"DbOpen 1", "DbSetTag OMTest.dll:Inner 1 0", "DbSetQuery select 1 ", "DbExecute",
                                   "DbCloseCursor", "Respond FAILURE m 4001 null /f.htm -1", "DbRelease"}));
}

TEST_F(DbStepTest, VerifyLoginConfirmsOnlyARowWithBothValues) {
  struct Case {
    const char* name;
    std::vector<Row> rows;
    int32_t result;
  };
  const Case cases[] = {
      {"matching row", {{int32_t{5}, int32_t{77}}}, 0},
      {"matching row among others", {{int32_t{5}, int32_t{1}}, {int32_t{5}, int32_t{77}}}, 0},
      {"other login value", {{int32_t{5}, int32_t{78}}}, -1},
      {"no row", {}, -1},
  };
  page.login.AccountId = 5;
  page.login.LoginValue = 77;
  for (const Case& c : cases) {
    database = FakeDatabase{};
    database.results = {c.rows};
    {
      om::DbStep connection(page, 1, nullptr);
      EXPECT_EQ(om::VerifyLogin(connection, page.login, "OMCharacter.dll:VerifyInfo"), c.result) << c.name;
      EXPECT_EQ(database.releases, 0) << c.name << ": the caller releases";
    }
    EXPECT_EQ(database.calls.at(2),
              "DbSetQuery select lv.cid, lv.value from loginvalue lv (NOLOCK), login l (NOLOCK) where lv.cid=5 and "
              "l.cid = lv.cid and l.status = 'A' and lv.value=77 ")
        << c.name;
    EXPECT_EQ(database.calls.back(), "DbRelease") << c.name << ": the owner releases last";
    bool replied = false;
    for (const std::string& call : database.calls) replied = replied || call.rfind("Respond", 0) == 0;
    EXPECT_EQ(replied, c.result != 0) << c.name;
    if (c.result != 0) {
      EXPECT_NE(std::find(database.calls.begin(), database.calls.end(),
                          "Respond FAILURE m 3207 null /login.htm -1"),
                database.calls.end())
          << c.name;
    }
    EXPECT_EQ(database.releases, 1) << c.name;
  }
}

}  // namespace
