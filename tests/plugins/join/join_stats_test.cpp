// The statistics limits of a server (rank range and criteria, from the statistics database
// of the game's product family) and the statistics ticket of a Stat join.
#include <cstdio>

#include "join_fixture.h"

namespace omtest {
namespace {

using Vars = std::vector<std::pair<std::string, std::string>>;

class JoinStatsTest : public JoinTest {
 public:
  void SetUp() override {
    JoinTest::SetUp();
    logIn();
  }
  void watermark(int32_t rank) {
    sql(6, "DELETE FROM stats_rank_watermark; INSERT INTO stats_rank_watermark (pload, expansion, cid, rank_id) "
           "VALUES ('OMX', 'Rise', 1, " + std::to_string(rank) + ");");
  }
  void stat(const std::string& name, int32_t value) {
    sql(6, "INSERT INTO stats_player_var (pload, expansion, cid, chid, varname, value) VALUES ('OMX', 'Rise', 1, 7, '" +
               name + "', " + std::to_string(value) + ");");
  }
};

Vars RankLimits(const std::string& min, const std::string& max) {
  return {{"GXStats", "1"}, {"GXStatRankRestrict", "1"}, {"GXStatRankMin", min}, {"GXStatRankMax", max},
          {"PLoad", "OMX"}, {"Exp", "Rise"}};
}

TEST_F(JoinStatsTest, TheRankRange) {
  struct Case {
    Vars vars;
    int32_t rank;
    int32_t code;  // 0: admitted
    const char* what;
  } cases[] = {
      {RankLimits("-1", "10"), 10, 0, "at the upper limit"},
      {RankLimits("-1", "10"), 11, 3602, "above the upper limit"},
      {RankLimits("5", "-1"), 4, 3601, "below the lower limit"},
      {RankLimits("5", "40"), 5, 0, "at the lower limit"},
      {RankLimits("50", "10"), 30, 3601, "the lower limit is tested first"},
      {RankLimits("", ""), 7, 0, "limits the server left empty are no limits"},
      {{{"GXStats", "1"}, {"GXStatRankRestrict", "1"}, {"PLoad", "OMX"}, {"Exp", "Rise"}}, 0, 0, "no limit variables"},
      {RankLimits("0", "0"), 0, 0, "rank 0 within 0 to 0"},
      {RankLimits("-1", "-1"), -1, 3600, "a negative rank"},
  };
  for (const Case& c : cases) {
    addServer({}, c.vars);
    watermark(c.rank);
    RequestResult result = join("Login");
    if (c.code == 0) {
      ExpectAdmitted(result, "/ok.htm?rid=100", c.what);
      EXPECT_EQ(result.cookie("OMGXSTATRANKWATERMARK"), std::to_string(c.rank)) << c.what;
    } else {
      ExpectFailure(result, c.code, "/fail.htm", c.what);
    }
  }
}

// A host may report a variable more than once: the last entry with a value counts.
GetServerRecordFn standInLookup;
std::vector<std::pair<std::string, std::string>> appended;
int32_t LookupWithMoreEntries(HostApi* api, ServerRecord* record) {
  int32_t result = standInLookup(api, record);
  for (const auto& [name, value] : appended) {
    NameValueEntry& entry = record->values[record->count++];
    std::snprintf(entry.name, sizeof entry.name, "%s", name.c_str());
    std::snprintf(entry.value, sizeof entry.value, "%s", value.c_str());
  }
  return result;
}

TEST_F(JoinStatsTest, TheLastReportedValueOfAVariableCounts) {
  slots = [](HostApi& api) {
    standInLookup = api.GetServerRecord;
    api.GetServerRecord = LookupWithMoreEntries;
  };
  addServer({}, RankLimits("-1", "5"));
  watermark(12);
  appended = {{"gxstatrankmax", "20"}};
  ExpectAdmitted(join("Login"), "/ok.htm?rid=100", "a later maximum replaces the earlier");
  appended = {{"GXStatRankMax", "20"}, {"GXStatRankMax", ""}};
  ExpectAdmitted(join("Login"), "/ok.htm?rid=100", "a later empty entry does not count");
  appended = {{"GXStatRankMax", "11"}};
  ExpectFailure(join("Login"), 3602, "/fail.htm", "the later maximum refuses");
}

// Steps whose query comes back without a row: the stand-in's procedures always answer, so
// the fetch of the statements with one tag is made to find nothing.
DbSetTagFn standInTag;
DbFetchFn standInFetch;
std::string currentTag;
std::string rowlessTag;
void FetchNothingFor(HostApi& api, const std::string& tag) {
  rowlessTag = tag;
  standInTag = api.DbSetTag;
  standInFetch = api.DbFetch;
  api.DbSetTag = [](DbHandle* db, const char* tag, int32_t one, int32_t zero) -> int32_t {
    currentTag = tag != nullptr ? tag : "";
    return standInTag(db, tag, one, zero);
  };
  api.DbFetch = [](DbHandle* db) -> int32_t { return currentTag == rowlessTag ? -1 : standInFetch(db); };
}

TEST_F(JoinStatsTest, QueriesThatReturnNoRow) {
  watermark(5);
  stat("KILLS", 5);
  struct Case {
    const char* tag;
    Vars vars;
    const char* mode;
    int32_t code;
  } cases[] = {
      {"OMJoin.dll:FetchGXStatRank", RankLimits("-1", "-1"), "Login", 3206},
      {"OMJoin.dll:FetchGXStatRestrictVars",
       {{"GXStats", "1"}, {"GXStatRestrictArrayString", "KILLS [1, -1]"}, {"PLoad", "OMX"}, {"Exp", "Rise"}},
       "Login",
       4004},
      {"OMJoin.dll:InsertStatTicket", {}, "Stat", 4003},
  };
  for (const Case& c : cases) {
    const std::string tag = c.tag;
    slots = [tag](HostApi& api) { FetchNothingFor(api, tag); };
    addServer({}, c.vars);
    ExpectFailure(join(c.mode), c.code, "/fail.htm", c.tag);
  }
}

TEST_F(JoinStatsTest, WhenTheRankIsNotAsked) {
  struct Case {
    Vars vars;
    const char* what;
  } cases[] = {
      {{{"GXStats", "0"}, {"GXStatRankRestrict", "1"}, {"GXStatRankMax", "1"}, {"PLoad", "OMX"}}, "GXStats 0"},
      {{{"GXStats", "1"}, {"GXStatRankMax", "1"}, {"PLoad", "OMX"}}, "no GXStatRankRestrict"},
      {{{"GXStats", ""}, {"GXStatRankRestrict", "1"}, {"GXStatRankMax", "1"}}, "GXStats left empty"},
  };
  watermark(30);
  for (const Case& c : cases) {
    addServer({}, c.vars);
    RequestResult result = join("Stat", {{"pfid", "5"}});
    ExpectAdmitted(result, "/ok.htm?rid=100", c.what);
    EXPECT_EQ(result.cookie("OMGXSTATRANKWATERMARK"), std::nullopt) << c.what;
  }
  addServer({}, RankLimits("-1", "-1"));
  ExpectFailure(join("Login", {{"pfid", "5"}}), 4008, "/fail.htm", "a family without statistics");
}

TEST_F(JoinStatsTest, TheRankOfEachFamilyAndForm) {
  // Families 35 and 37 keep their statistics in databases 7 and 8; without PLoad the rank is
  // the title's, by family.
  sql(7, "INSERT INTO stats_rank_watermark (pload, expansion, cid, rank_id) VALUES ('OMX', 'Rise', 1, 8);");
  sql(8, "INSERT INTO stats_title_watermark (title_id, cid, rank_id) VALUES (37, 1, 9);");
  addServer({}, RankLimits("-1", "-1"));
  EXPECT_EQ(join("Login", {{"pfid", "35"}}).cookie("OMGXSTATRANKWATERMARK"), "8");
  addServer({}, {{"GXStats", "1"}, {"GXStatRankRestrict", "1"}, {"Exp", "Rise"}});
  EXPECT_EQ(join("Login", {{"pfid", "37"}}).cookie("OMGXSTATRANKWATERMARK"), "9");
  ExpectFailure(join("Login", {{"pfid", "38"}}), 3600, "/fail.htm", "no rank in the title");

  omserver::SetDbNextResultFault(host, "OMJoin.dll:FetchGXStatRank", 4);
  ExpectFailure(join("Login", {{"pfid", "37"}}), 4002, "/fail.htm", "the select's result");
  omserver::ClearDbFaults(host);
  omserver::SetDbOpenFault(host, 8, -6);
  ExpectFailure(join("Login", {{"pfid", "37"}}), 4005, "/fail.htm", "statistics offline");
}

TEST_F(JoinStatsTest, TheCriteria) {
  struct Case {
    const char* criteria;
    std::vector<std::pair<std::string, int32_t>> stats;
    int32_t code;
    const char* what;
  } cases[] = {
      {"KILLS [100, -1]", {{"KILLS", 100}}, 0, "exactly the lowest kills"},
      {"KILLS [100, -1]", {{"KILLS", 99}}, 3705, "one kill short"},
      {"kills [1, 2]", {{"KILLS", 3}}, 3706, "too many kills"},
      {"RANK [5, 9]", {{"RANK", 4}}, 3703, "rank below"},
      {"RANK [5, 9]", {{"RANK", 10}}, 3704, "rank above"},
      {"deaths [0, 5] & kills [1, 2]", {{"KILLS", 2}, {"DEATHS", 50}}, 0, "deaths are never asked"},
      {"RANK [-1, 9] & KILLS [10, -1]", {{"RANK", 9}, {"KILLS", 3}}, 3705, "every criterion in turn"},
      {"KILLS [1, 2", {}, 0, "an unclosed criterion asks nothing"},
      {"KILLS [1, 2]", {}, 3700, "no statistics for the player"},
      {"KILLS [1, 2]", {{"RANK", 1}}, 3700, "a variable the player lacks"},
  };
  for (const Case& c : cases) {
    sql(6, "DELETE FROM stats_player_var;");
    for (const auto& [name, value] : c.stats) stat(name, value);
    addServer({}, {{"GXStats", "1"}, {"GXStatRestrictArrayString", c.criteria}, {"PLoad", "OMX"}, {"Exp", "Rise"}});
    RequestResult result = join("Login");
    if (c.code == 0) {
      ExpectAdmitted(result, "/ok.htm?rid=100", c.what);
    } else {
      ExpectFailure(result, c.code, "/fail.htm", c.what);
    }
  }

  omserver::SetDbExecuteFault(host, "OMJoin.dll:FetchGXStatRestrictVars", true);
  ExpectFailure(join("Login"), 4001, "/fail.htm", "the criteria query fails");
}

TEST_F(JoinStatsTest, TheStatisticsTicket) {
  addServer();
  sql(1, "UPDATE login SET handle = 'o''fox'; UPDATE character SET name = 'F''ox' WHERE chid = 7;");
  RequestResult result = join("Stat", {{"pfid2", "5"}});
  ExpectAdmitted(result, "/ok.htm?rid=100", "a Stat join");
  EXPECT_EQ(scalar(2, "SELECT statticketid || '|' || cid || '|' || pfid || '|' || handle || '|' || chid || '|' || name "
                      "|| '|' || state || '|' || MiscFlags FROM statticket"),
            result.cookie("OMTI").value_or("") + "|1|27|o'fox|7|F'ox|A|1");
  const int32_t value = std::stoi(result.cookie("OMTV").value_or("0"));
  EXPECT_GE(value, 1);
  EXPECT_LE(value, 8388607);
  EXPECT_EQ(scalar(2, "SELECT statticketvalue FROM statticket"), std::to_string(value));

  ExpectAdmitted(join("Stat", {{"pfid2", "0"}}), "/ok.htm?rid=100", "no second family");
  EXPECT_EQ(scalar(2, "SELECT MiscFlags FROM statticket ORDER BY statticketid DESC LIMIT 1"), "0");

  addServer({{"own", 0}});
  RequestResult pub = join("Stat");
  ExpectAdmitted(pub, "/ok.htm?rid=100", "a public server");
  EXPECT_EQ(pub.cookie("OMTI"), "") << "only own servers get the ticket cookies";
  EXPECT_EQ(scalar(2, "SELECT COUNT(*) FROM statticket"), "3");
}

TEST_F(JoinStatsTest, TheTicketDatabase) {
  addServer();
  omserver::SetDbOpenFault(host, 2, -4);
  RequestResult without = join("Stat");
  ExpectAdmitted(without, "/ok.htm?rid=100", "no ticket database");
  EXPECT_EQ(without.cookie("OMTI"), "0");
  EXPECT_EQ(without.cookie("OMTV"), "0");
  EXPECT_EQ(joinLog().back().detail, "STAT rid=100, pcid=\"A00000042\", pfid=27");

  struct Case {
    int32_t error;
    const char* nodb;
    int32_t code;  // 0: the nodb redirect
  } cases[] = {{-6, "/nodb.htm", 4005}, {-3, "", 4000}, {-3, "/nodb.htm", 0}, {-8, "/nodb.htm", 4000}};
  for (const Case& c : cases) {
    omserver::SetDbOpenFault(host, 2, c.error);
    RequestResult result = join("Stat", {{"nodb", c.nodb}});
    const std::string what = "open error " + std::to_string(c.error) + ", nodb \"" + c.nodb + "\"";
    if (c.code == 0) {
      EXPECT_EQ(OnlyReply(result).call, "Redirect") << what;
      EXPECT_EQ(OnlyReply(result).word, "FAILURE") << what;
      EXPECT_EQ(OnlyReply(result).url, "/nodb.htm") << what;
    } else {
      ExpectFailure(result, c.code, "/fail.htm", what);
    }
  }
  omserver::ClearDbFaults(host);
  omserver::SetDbExecuteFault(host, "OMJoin.dll:InsertStatTicket", true);
  ExpectFailure(join("Stat"), 4001, "/fail.htm", "the insert fails");
  omserver::ClearDbFaults(host);
  omserver::SetDbNextResultFault(host, "OMJoin.dll:InsertStatTicket", 2);
  ExpectFailure(join("Stat"), 4002, "/fail.htm", "the identity is not returned");
}

}  // namespace
}  // namespace omtest
