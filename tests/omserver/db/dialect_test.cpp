// The dialect's edge cases, each run through the slots on the fixture as a plug-in would.
#include <gtest/gtest.h>

#include <ctime>

#include "db_client.h"
#include "test_support.h"

namespace omtest {
namespace {

int64_t Epoch(int year, int month, int day, int hour, int minute, int second) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  return static_cast<int64_t>(timegm(&parts));
}

class Dialect : public ::testing::Test {
 protected:
  Dialect() : host_(dir_.path()) { LoadFixture(host_); }
  // Runs one text on database 1 and returns the rows of each result (binds per result).
  StepOutcome run(const std::string& text, const std::vector<std::string>& binds, DbClient& client) {
    return RunStep(client.api(), 1, "Test:Dialect", {text}, binds);
  }
  TempDir dir_;
  omserver::Host host_;
};

TEST_F(Dialect, DatediffCountsMinuteBoundariesAndDatepartReadsTheDate) {
  struct Case {
    const char* dateset;
    int64_t now;
    const char* minutes;
    const char* yearMonth;
  } cases[] = {
      {"2026-03-15 10:59:59", Epoch(2026, 3, 15, 11, 0, 0), "1", "2026|3"},
      {"2026-03-15 11:00:00", Epoch(2026, 3, 15, 11, 0, 59), "0", "2026|3"},
      {"2026-03-15 11:00:59", Epoch(2026, 3, 15, 11, 1, 0), "1", "2026|3"},
      {"2025-12-31 23:59:59", Epoch(2026, 1, 1, 0, 0, 0), "1", "2025|12"},
      {"2026-03-15 11:00:30.997", Epoch(2026, 3, 15, 12, 0, 30), "60", "2026|3"},
      {"2026-03-15 12:00:30", Epoch(2026, 3, 15, 11, 0, 30), "-60", "2026|3"},
      {"2026-02-28 08:00", Epoch(2026, 2, 28, 9, 0, 0), "60", "2026|2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dateset);
    Exec(host_, 1, std::string("DELETE FROM continueloginvalue; INSERT INTO continueloginvalue (cid, value, dateset) VALUES (9, 1, '") +
                       c.dateset + "')");
    host_.setClock(c.now);
    DbClient client(host_);
    StepOutcome outcome = run("select datediff(mi, dateset, GETDATE()), datepart(yy, dateset), datepart(mm, dateset) "
                              "from continueloginvalue (NOLOCK) where cid = 9 ",
                              {"iii"}, client);
    ASSERT_EQ(outcome.results.size(), 1u) << outcome.failedAt;
    EXPECT_EQ(outcome.results[0], std::string(c.minutes) + "|" + c.yearMonth);
  }
}

TEST_F(Dialect, VariablesTakeTheirDeclaredTypes) {
  struct Case {
    const char* text;
    std::vector<std::string> binds;
    std::vector<std::string> rows;
  } cases[] = {
      {"declare @v varchar(4) set @v = 'abcdefg' select @v ", {"", "t"}, {"", "abcd"}},
      {"declare @c char(3) set @c = 'a' select @c ", {"", "t"}, {"", "a  "}},
      {"declare @n int set @n = '12' select @n ", {"", "i"}, {"", "12"}},
      {"declare @n int set @n = -5 select @n ", {"", "i"}, {"", "-5"}},
      {"declare @n int declare @t varchar(5) select @n, @t ", {"it"}, {"0|"}},
      {"declare @a varchar(3) declare @b varchar(8) set @b = 'abcdef' set @a = @b select @a, @b ", {"", "", "tt"}, {"", "", "abc|abcdef"}},
      {"declare @q varchar(10) set @q = 'O''Neil' select @q ", {"", "t"}, {"", "O'Neil"}},
      {"declare @h varchar(16) set @h = 'ALICE' select cid from login where handle = @h ", {"", "i"}, {"", "1"}},
      {"declare @x int, @y varchar(2) set @x = 7 set @y = 'xyz' select @x, @y ", {"", "", "it"}, {"", "", "7|xy"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DbClient client(host_);
    StepOutcome outcome = run(c.text, c.binds, client);
    EXPECT_EQ(outcome.failedAt, "");
    EXPECT_EQ(outcome.results, c.rows);
    EXPECT_FALSE(outcome.extraResult);
  }
}

TEST_F(Dialect, TopLimitsItsOwnSelectAlsoInASubquery) {
  struct Case {
    const char* text;
    std::vector<std::string> binds;
    std::vector<std::string> rows;
  } cases[] = {
      {"select top 2 chid from character (NOLOCK) order by chid desc ", {"i"}, {"13;12"}},
      {"select handle from login where cid in (select top 1 cid from login where email = 'shared@example.com' order by cid desc) order by handle ",
       {"t"}, {"dave"}},
      {"select top 3 handle from login where cid in (select top 1 cid from login order by cid)select top 1 handle from login order by cid desc ",
       {"t", "t"}, {"alice", "dave"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DbClient client(host_);
    StepOutcome outcome = run(c.text, c.binds, client);
    EXPECT_EQ(outcome.failedAt, "");
    EXPECT_EQ(outcome.results, c.rows);
  }
}

TEST_F(Dialect, TextComparesAndOrdersWithoutRegardToCase) {
  struct Case {
    const char* text;
    const char* rows;
  } cases[] = {
      {"select handle from login (NOLOCK) where handle = 'ALICE' and password = 'PW1' ", "alice"},
      {"select name from character (NOLOCK) where cid = 1 order by name desc ", "Wren;Fox;bear;Ash"},
      {"select handle from login where email like 'SHARED%' order by handle asc ", "carol;dave"},
      {"select count(*) from login where handle <> 'ALICE' ", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DbClient client(host_);
    StepOutcome outcome = run(c.text, {"t"}, client);
    ASSERT_EQ(outcome.results.size(), 1u) << outcome.failedAt;
    EXPECT_EQ(outcome.results[0], c.rows);
  }
}

TEST_F(Dialect, IdentityFollowsTheInsertsOfTheConnection) {
  DbClient client(host_);
  HostApi* api = client.api();
  int32_t error = 0;
  DbHandle* db = api->DbOpen(api, 1, &error);
  ASSERT_NE(db, nullptr);
  // Runs one batch on the same connection and returns the text of the last result's first column.
  auto last = [&](const std::string& text, int results) -> std::string {
    api->DbSetTag(db, "Test:Identity", 1, 0);
    api->DbSetQuery(db, text.c_str());
    if (api->DbExecute(db) < 0) {
      api->DbCloseCursor(db);
      return "failed";
    }
    int32_t out1, out2;
    for (int i = 0; i < results; ++i) api->DbNextResult(db, &out1, &out2, 0);
    char value[64] = "unset";
    api->DbBindColumn(db, DbColumnText, sizeof value, value);
    api->DbFetch(db);
    api->DbCloseCursor(db);
    return value;
  };
  EXPECT_EQ(last("select @@identity ", 1), "");  // NULL before any insert
  EXPECT_EQ(last("insert character (cid, name) values (1, 'Kite') select @@identity ", 2), "14");
  EXPECT_EQ(last("select @@identity ", 1), "14");  // kept between batches of a connection
  EXPECT_EQ(last("insert character (cid, name) values (1, 'Lark') update login set handle = 'much-too-long-for-a-handle' where cid = 1 ", 1),
            "failed");
  EXPECT_EQ(last("select @@identity ", 1), "14");  // the failed batch left nothing, not even its identity
  EXPECT_EQ(Query(host_, 1, "select count(*) from character where name = 'Lark'"), "0");
  EXPECT_EQ(last("insert oldcharacters (cid, chid, oldname, newname, changedate) values (1, 14, '', 'Kite', GETDATE()) select @@identity ", 2),
            "");  // a table without an identity makes it NULL
  api->DbRelease(db);

  DbClient other(host_);
  StepOutcome fresh = RunStep(other.api(), 1, "Test:Identity", {"select @@identity "}, {"i"});
  EXPECT_EQ(fresh.results, std::vector<std::string>{"0"});  // another connection has its own
}

TEST_F(Dialect, TextsOutsideTheDialectFailWithTheReasonAndRunNothing) {
  struct Case {
    const char* text;
    const char* reason;
  } cases[] = {
      {"update login set fname = 'X' where cid = 1; drop table customer", "the character ';'"},
      {"update login set fname = 'X' where cid = 1 -- ", "comment"},
      {"select cid from login union select chid from character ", "\"union\""},
      {"select top 1 cid from login limit 1 ", "\"limit\""},
      {"update login set handle = 'a' + 'b' where cid = 1 ", "'+'"},
      {"select isnull(fname, '') from login ", "\"isnull\""},
      {"select len(handle) from login ", "\"len(\" is not a function"},
      {"select cid from login (TABLOCK) ", "table hint"},
      {"select \"cid\" from login ", "the character '\"'"},
      {"select [cid] from login ", "the character '['"},
      {"select cid from login where cid = 1.5 ", "number"},
      {"select cid from login where handle = 'open ", "closing quote"},
      {"drop table customer ", "does not begin with a statement"},
      {"select cid from nosuchtable ", "no such table"},
      {"select @@rowcount ", "system variable"},
      {"update login set fname = 'X' where cid = 1 set @x = 1 ", "must declare the scalar variable @x"},
      {"declare @x int declare @x int ", "already been declared"},
      {"declare @n int set @n = 'abc' ", "conversion failed"},
      {"declare @n int set @n = 3000000000 ", "arithmetic overflow"},
      {"declare @r int exec @r = no_such_procedure ", "could not find stored procedure"},
      {"declare @r int exec @r = omdll_createlogin 'a' ", "expects parameter '@password'"},
      {"declare @r int declare @v int exec @r = sp_EULA_Set_Accepted_By_CID 1, @v output ", "not declared as an OUTPUT"},
      {"declare @r int declare @v int exec @r = sp_STATS_PLAYER_Get_High_Water_Mark 27, 1, @v output ", "could not find stored procedure"},
      {"update login set fname = 'Zed' where cid = 1 update login set handle = 'a-name-longer-than-16' where cid = 1 ", "CHECK constraint"},
      {"   ", "empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DbClient client(host_);
    StepOutcome outcome = run(c.text, {}, client);
    EXPECT_EQ(outcome.failedAt, "DbExecute");
    EXPECT_TRUE(client.logged(c.reason)) << (client.log().empty() ? "nothing logged" : client.log().front());
    EXPECT_TRUE(client.logged("DbExecute: database 1")) << "the log names the slot and the connection";
  }
  EXPECT_EQ(Query(host_, 1, "select fname, handle from login where cid = 1"), "Alice|alice");
  EXPECT_EQ(Query(host_, 1, "select count(*) from customer"), "1");
}

TEST_F(Dialect, AFailingStatementUndoesTheWholeBatch) {
  DbClient client(host_);
  std::string batch =
      "declare @handle varchar(16) declare @password varchar(16) declare @fname varchar(16) declare @lname varchar(32) "
      "declare @email varchar(64) declare @pcid_series char(1) declare @cid int declare @returnvalue int "
      "set @handle = 'zoe' set @password = 'pw' set @fname = 'Z' set @lname = 'Z' set @email = 'zoe@example.com' "
      "set @pcid_series = 'A' set @cid = 0 exec @returnvalue = omdll_createlogin @handle, @password, @fname, @lname, "
      "@email, @pcid_series, @cid output insert character (cid, name) values (@cid, 'a-player-name-too-long') ";
  StepOutcome outcome = run(batch, {}, client);
  EXPECT_EQ(outcome.failedAt, "DbExecute");
  EXPECT_EQ(Query(host_, 1, "select count(*) from login where handle = 'zoe'"), "0");
  EXPECT_EQ(Query(host_, 1, "select count(*) from pcid"), "1");
}

}  // namespace
}  // namespace omtest
