// The player verification of Login and Stat joins: the refusals in the order the service
// decides them, restrictions by player, access codes, the super-user code, squads and the
// sealed identity texts the game server reads.
#include "join_fixture.h"
#include "seal_reader.h"

namespace omtest {
namespace {

struct Refusal {
  const char* what;
  const char* rows;  // SQL on the account database before the join
  const char* omd;   // the player cookie
  int32_t code;
};

TEST_F(JoinTest, RefusalsOfTheAccountCheckInTheirOrder) {
  const Refusal cases[] = {
      {"no active login row", "UPDATE login SET state = 'D'", "7", 3206},
      {"suspended (lower case)", "UPDATE login SET status = 's'", "7", 3201},
      {"suspended before a missing player", "UPDATE login SET status = 'S'", "9", 3201},
      {"marked for deletion", "UPDATE login SET status = 'D'", "7", 3202},
      {"deleted before a stale login value", "UPDATE login SET status = 'D'; DELETE FROM loginvalue", "7", 3202},
      {"no active player", "UPDATE character SET state = 'D' WHERE chid = 7", "7", 3209},
      {"a player of another account", "", "9", 3209},
      {"player missing before a restriction", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 0, 1)", "9", 3209},
      {"account-wide restriction 0x01", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 0, 1)", "7", 3201},
      {"restriction 0x06: 0x02 decides", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 7, 6)", "7", 3210},
      {"restriction 0x10", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 7, 16)", "7", 3211},
      {"restrictions of two rows fold", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 0, 16), (1, 7, 2)", "7", 3210},
      {"restriction before a missing PC id", "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) VALUES (1, 7, 16); DELETE FROM pcid", "7", 3211},
      {"no PC id", "DELETE FROM pcid", "7", 3801},
  };
  addServer();
  for (const Refusal& c : cases) {
    sql(1, "DELETE FROM login; DELETE FROM loginvalue; DELETE FROM character; DELETE FROM pcid; DELETE FROM om_assigned_restrictions;");
    sql(1, kAccountRows);
    if (c.rows[0] != '\0') sql(1, c.rows);
    jar = omserver::CookieJar();
    logIn("31", "1", c.omd);
    RequestResult result = join("Login");
    ExpectFailure(result, c.code, "/fail.htm", c.what);
    EXPECT_EQ(conversationEnd(result), 1) << c.what;
    EXPECT_TRUE(joinLog().empty()) << c.what;
  }
}

TEST_F(JoinTest, AStaleLoginValueGoesToTheStartPage) {
  addServer();
  logIn("32");
  ExpectFailure(join("Stat"), 3207, "/login.htm", "stale login value");
  ExpectFailure(join("Stat", {{"start", ""}}), 3207, "/fail.htm", "stale login value, no start page");
  sql(1, "UPDATE login SET status = 'A'");
  ExpectFailure(join("Login", {{"rid", "100"}, {"lan", "0"}}), 3207, "/login.htm", "still stale");

  // A LAN-only server refuses a join that does not come over the local network.
  logIn();
  addServer({{"lan-only", 1}});
  ExpectFailure(join("Login"), 3213, "/fail.htm", "LAN-only server without lan");
  ExpectAdmitted(join("Login", {{"lan", "1"}}), "/ok.htm?rid=100", "LAN-only server with lan");
}

TEST_F(JoinTest, RestrictionsOfAnotherPlayerDoNotCount) {
  addServer();
  logIn();
  sql(1, "INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) VALUES "
         "(1, 8, 1, 'A'), (1, 0, 2, 'X'), (1, 7, 4, 'A')");
  ExpectAdmitted(join("Login"), "/ok.htm?rid=100", "restrictions of Vix, a lifted one and bit 0x04");
  logIn("31", "1", "8", "Vix");
  ExpectFailure(join("Login"), 3201, "/fail.htm", "Vix herself is restricted");
}

TEST_F(JoinTest, AccessCodes) {
  sql(1, "INSERT INTO accesscode (AccessCodeID, accesscode) VALUES (1, 'Beta'), (2, 'ALPHA'), (3, 'RealmWardenPrivLock');");
  const char* list = "alpha\tbeta  alpha";
  logIn();
  struct Case {
    const char* held;  // AccessCodeIDs of the account
    int32_t required;  // accessCodesRequired
    bool admitted;
    std::vector<std::string> handedOver;
  } cases[] = {
      {"1,2", 1, true, {"Beta", "ALPHA"}},
      {"1", 1, false, {}},
      {"", 1, false, {}},
      {"", 0, true, {}},
      {"1,3", 0, true, {"Beta", "RealmWardenPrivLock"}},
      {"1,1,2", 1, true, {"Beta", "ALPHA"}},
  };
  for (const Case& c : cases) {
    sql(1, "DELETE FROM AccessCodeAssignment;");
    std::string held = c.held;
    for (size_t at = 0; !held.empty() && at != std::string::npos;) {
      size_t comma = held.find(',', at);
      std::string id = held.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
      sql(1, "INSERT INTO AccessCodeAssignment (cid, AccessCodeID) VALUES (1, " + id + ");");
      at = comma == std::string::npos ? comma : comma + 1;
    }
    addServer({{"access-codes", c.required}}, {{"AccessCodeList", list}});
    RequestResult result = join("Login");
    const std::string what = std::string("held ") + c.held + ", required " + std::to_string(c.required);
    if (c.admitted) {
      ExpectAdmitted(result, "/ok.htm?rid=100", what);
      EXPECT_EQ(services::LastAccountCodes(host), c.handedOver) << what;
    } else {
      ExpectFailure(result, 3300, "/fail.htm", what);
    }
  }
}

TEST_F(JoinTest, TheSuperUserCodeLiftsTheStatisticsLimits) {
  sql(1, "INSERT INTO accesscode (AccessCodeID, accesscode) VALUES (3, 'realmwardenprivlock');"
         "INSERT INTO AccessCodeAssignment (cid, AccessCodeID) VALUES (1, 3);");
  sql(6, "INSERT INTO stats_rank_watermark (pload, cid, rank_id) VALUES ('OMX', 1, 3);");
  addServer({}, {{"GXStats", "1"}, {"GXStatRankRestrict", "1"}, {"GXStatRankMin", "50"}, {"PLoad", "OMX"},
                 {"GXStatRestrictArrayString", "KILLS [100, -1]"}});
  logIn();
  RequestResult result = join("Stat");
  ExpectAdmitted(result, "/ok.htm?rid=100", "super user below the lowest rank and without kills");
  EXPECT_EQ(result.cookie("OMGXSTATRANKWATERMARK"), "3");

  sql(6, "DELETE FROM stats_rank_watermark;");
  ExpectFailure(join("Stat"), 3600, "/fail.htm", "a super user still needs a rank");
}

TEST_F(JoinTest, SquadDecorationsAndTheNameTag) {
  addServer();
  logIn();
  struct Case {
    int32_t deco;
    int32_t pfid;
    const char* tag;
    const char* name;  // as the game server reads it from NAMEINFO
  } cases[] = {
      {9, 27, "/ABC\\", "Fox"},      {0, 27, "(ABC)", "Fox"},     {13, 27, "(ABC)", "Fox"},
      {1, 26, "[ABC]", "Fox[ABC]"},  {10, 18, "(=ABC=)", "Fox(=ABC=)"}, {12, 27, "[:ABC:]", "Fox"},
  };
  sql(1, "INSERT INTO omsquad (squid, name, abbrev, deco) VALUES (5, 'Red Dawn', 'ABC', 0);"
         "INSERT INTO omsquadmember (squid, chid) VALUES (5, 7);");
  for (const Case& c : cases) {
    sql(1, "UPDATE omsquad SET deco = " + std::to_string(c.deco));
    RequestResult result = join("Login", {{"pfid", std::to_string(c.pfid)}});
    const std::string what = "deco " + std::to_string(c.deco) + ", pfid " + std::to_string(c.pfid);
    ExpectAdmitted(result, "/ok.htm?rid=100", what);
    EXPECT_EQ(Unseal(result.cookie("OMNAMEINFO").value_or(""), kKey), std::string(c.name) + '\0') << what;
    std::string squad("\x05\0\0\0", 4);
    squad += std::string("Red Dawn") + '\0' + c.tag + '\0';
    EXPECT_EQ(Unseal(result.cookie("OMSQUADINFO").value_or(""), kKey), squad) << what;
    std::vector<std::string> debug = stepRecords(result, "*** DEBUG SQUAD INFO ***");
    EXPECT_EQ(debug, std::vector<std::string>{"cid=1, chid=7, pfid=" + std::to_string(c.pfid) +
                                               ":  squid=5, name=Red Dawn, abbrev=" + c.tag})
        << what;
  }
}

TEST_F(JoinTest, AnOversizedSquadIsCutAndItsSealedTextLeftEmpty) {
  addServer();
  logIn();
  sql(1, "INSERT INTO omsquad (squid, name, abbrev, deco) VALUES (5, '" + std::string(600, 'n') + "', '" +
             std::string(600, 'a') + "', 1);"
         "INSERT INTO omsquadmember (squid, chid) VALUES (5, 7);");
  RequestResult result = join("Login", {{"pfid", "26"}});
  ExpectAdmitted(result, "/ok.htm?rid=100", "an oversized squad");
  std::vector<std::string> debug = stepRecords(result, "*** DEBUG SQUAD INFO ***");
  ASSERT_EQ(debug.size(), 1u);
  EXPECT_EQ(debug[0].size(), 1023u) << "the debug text is cut at its buffer";
  EXPECT_EQ(result.cookie("OMSQUADINFO"), "") << "a squad payload beyond 1019 bytes cannot be sealed";
  std::optional<std::string> name = Unseal(result.cookie("OMNAMEINFO").value_or(""), kKey);
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(name->size(), 512u) << "the name with its squad tag is cut at 511 characters and its zero";
  EXPECT_EQ(name->substr(0, 4), "Fox[");
}

TEST_F(JoinTest, APlayerInNoSquadAndTheSealedTexts) {
  addServer({{"scramble-key", 777}});
  logIn("31", "1", "7", "NotTheDatabaseName");
  RequestResult result = join("Login");
  ExpectAdmitted(result, "/ok.htm?rid=100", "no squad");
  const std::string nameInfo = result.cookie("OMNAMEINFO").value_or("");
  EXPECT_EQ(nameInfo.size(), 16u) << "Fox and its zero, sealed";
  EXPECT_EQ(Unseal(nameInfo, "777"), std::string("Fox\0", 4)) << "the database's name replaces the cookie's";
  EXPECT_EQ(Unseal(nameInfo, "4242"), std::nullopt) << "another server's key does not read it";
  EXPECT_EQ(nameInfo, "IEAEIEPPCLGCAKGA") << "the fixed vector of Fox under key 777";
  const std::string squadInfo = result.cookie("OMSQUADINFO").value_or("");
  EXPECT_EQ(squadInfo.size(), 20u);
  EXPECT_EQ(Unseal(squadInfo, "777"), std::string(6, '\0'));
  EXPECT_EQ(Unseal(result.cookie("OMPCID").value_or(""), "777"), kPcid);
  EXPECT_EQ(stepRecords(result, "*** DEBUG SQUAD INFO ***"),
            std::vector<std::string>{"cid=1, chid=7, pfid=27:  squid=0, name=, abbrev="});
  EXPECT_EQ(stepRecords(result, "NAMEINFO [encrypted]"), std::vector<std::string>{nameInfo});
  EXPECT_EQ(stepRecords(result, "PCID [encrypted]"), std::vector<std::string>{result.cookie("OMPCID").value_or("")});
  EXPECT_EQ(stepRecords(result, "SQUADINFO [encrypted]"), std::vector<std::string>{squadInfo});
  EXPECT_EQ(stepRecords(result, "JOINSTEP"),
            (std::vector<std::string>{"Got here 1", "Got here 10a", "Got here 11", "Got here 12", "Got here 13",
                                      "Got here 14", "Got here 15", "Got here 16", "Got here 17", "Got here 18",
                                      "Got here 19"}))
      << "every progress note of the account check, in order";

  // The same key and payload always seal alike; the anonymous join leaves them empty.
  EXPECT_EQ(join("Login").cookie("OMNAMEINFO"), nameInfo);
  RequestResult anonymous = join("Anonymous");
  EXPECT_EQ(anonymous.cookie("OMNAMEINFO"), "");
  EXPECT_EQ(anonymous.cookie("OMPCID"), "");
  EXPECT_EQ(anonymous.cookie("OMSQUADINFO"), "");
}

TEST_F(JoinTest, DatabaseFailuresOfTheAccountCheck) {
  addServer();
  logIn();
  struct Case {
    const char* what;
    std::function<void()> fault;
    std::vector<int32_t> codes;  // of the replies, in order
  } cases[] = {
      {"offline", [&] { omserver::SetDbOpenFault(host, 1, -6); }, {4005}},
      {"refused", [&] { omserver::SetDbOpenFault(host, 1, -9); }, {4000}},
      {"no database, no nodb page", [&] { omserver::SetDbOpenFault(host, 1, -3); }, {4000}},
      {"execute", [&] { omserver::SetDbExecuteFault(host, "OMJoin.dll:VerifyUserInfo", true); }, {4001}},
      {"first result", [&] { omserver::SetDbNextResultFault(host, "OMJoin.dll:VerifyUserInfo", 1); }, {4002}},
      {"PC id result", [&] { omserver::SetDbNextResultFault(host, "OMJoin.dll:VerifyUserInfo", 5); }, {4002, 0}},
  };
  for (const Case& c : cases) {
    omserver::ClearDbFaults(host);
    c.fault();
    RequestResult result = join("Login");
    std::vector<int32_t> codes;
    for (const auto& reply : result.replies) codes.push_back(reply.code);
    EXPECT_EQ(codes, c.codes) << c.what;
    if (c.codes.size() == 2) {
      EXPECT_EQ(result.replies[1].text, "Failure during SQL select");
      EXPECT_EQ(result.replies[1].msgbase, std::nullopt);
    }
  }
  omserver::ClearDbFaults(host);
  omserver::SetDbOpenFault(host, 1, -4);
  RequestResult nodb = join("Login", {{"nodb", "/nodb.htm"}});
  EXPECT_EQ(OnlyReply(nodb).call, "Redirect");
  EXPECT_EQ(OnlyReply(nodb).url, "/nodb.htm");
}

}  // namespace
}  // namespace omtest
