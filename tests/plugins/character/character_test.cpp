// OMCharacter as the page server drives it: a logged-in visitor's conversations (relay page,
// then the action) against a few rows in the stand-in's account and statistics databases.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/faults.h"
#include "db/schema.h"
#include "services/event_records.h"
#include "services/services.h"
#include "test_support.h"

namespace {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;

constexpr int64_t kJune15 = 1781524800;  // 2026-06-15 12:00:00 UTC
constexpr char kPage[] = "/char";

// The link of the normal form for a player id, with the reply pages every test gives.
std::string LinkTo(int chid, const std::string& name, int n, const std::string& request = "") {
  return "(" + std::to_string(n) + ")  <A HREF=\"/char?success=s.htm&failure=f.htm&relay=r.htm&msgbase=m&nodb=n.htm"
         "&ib3=0&action=select&selectedchid=" + std::to_string(chid) + "&pfid=27&charglsvssrequest=" + request +
         "\">" + name + "</A><br>\r\n";
}
std::string Underlined(const std::string& name, int n) {
  return "(" + std::to_string(n) + ")  <u>" + name + "</u><br>\r\n";
}

class CharacterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = omtest::LoadPlugin("OMCharacter");
    ASSERT_NE(plugin_, nullptr);
    host_ = std::make_unique<omserver::Host>(data_.path());
    host_->setClock(kJune15);
    // Account 5 ("owner") is logged in with the login value 77.
    Sql(1, "insert into login (cid, handle, status) values (5, 'owner', 'A'), (6, 'rival', 'A'), (114, 'staff', 'A');"
           "insert into loginvalue (cid, value) values (5, 77), (114, 88);");
  }

  void Sql(int32_t database, const std::string& sql) { omserver::db::OpenDatabase(*host_, database).exec(sql); }

  // Rows of a query, columns joined by "|", rows by ";".
  std::string Rows(int32_t database, const std::string& sql) {
    omserver::SqliteDb db = omserver::db::OpenDatabase(*host_, database);
    omserver::Statement statement = db.prepare(sql);
    std::string text;
    while (statement.step()) {
      if (!text.empty()) text += ";";
      for (int i = 0; i < statement.columnCount(); ++i) text += (i > 0 ? "|" : "") + statement.columnText(i);
    }
    return text;
  }
  std::string Players(int cid = 5) {
    return Rows(1, "select chid, name, isdefault from character where state = 'A' and cid = " + std::to_string(cid) +
                       " order by chid");
  }

  // The one event record posted, as the host received it.
  EventRecord OnlyEventRecord() {
    auto records = omserver::services::EventRecords(*host_);
    EXPECT_EQ(records.size(), 1u);
    if (records.empty()) return EventRecord{};
    return omserver::services::DecodeEventRecord(records.back().raw);
  }

  void AlphaAndBeta() {
    Sql(1, "insert into character (chid, cid, name, isdefault) values (7, 5, 'Alpha', 'y'), (9, 5, 'Beta', 'n')");
  }

  // A browser of a visitor logged in to the account, with the default player of the cookies.
  std::unique_ptr<omtest::Browser> Visitor(int chid = 7, const std::string& name = "Alpha", int cid = 5, int value = 77) {
    auto browser = std::make_unique<omtest::Browser>(*host_, *plugin_);
    browser->jar().set("OMV", std::to_string(value));
    browser->jar().set("OMI", std::to_string(cid));
    browser->jar().set("OMD", std::to_string(chid));
    browser->jar().set("CHAR", name);
    return browser;
  }

  static RequestSpec Request(NameValues values) {
    RequestSpec incoming;
    incoming.pageUrl = kPage;
    incoming.query = {{"success", "s.htm"}, {"failure", "f.htm"}, {"relay", "r.htm"}, {"msgbase", "m"},
                  {"nodb", "n.htm"},    {"ib3", "0"},         {"pfid", "27"}};
    for (auto& [name, value] : values) {
      bool replaced = false;
      for (auto& [known, old] : incoming.query) {
        if (known == name) {
          old = value;
          replaced = true;
        }
      }
      if (!replaced) incoming.query.emplace_back(name, value);
    }
    return incoming;
  }

  // The whole conversation: the relay page of stage 0, then the request it brings back.
  RequestResult Converse(omtest::Browser& browser, NameValues values) {
    RequestResult first = browser.visit(Request(std::move(values)));
    const auto& relay = omtest::OnlyReply(first);
    EXPECT_EQ(relay.word, "RELAY");
    EXPECT_EQ(relay.target, kPage);
    RequestSpec back;
    back.pageUrl = kPage;
    return browser.visit(back);
  }
  RequestResult Converse(NameValues values) { return Converse(*Visitor(), std::move(values)); }

  static void ExpectFailure(const RequestResult& result, int32_t code, const std::string& target = "f.htm") {
    const auto& reply = omtest::OnlyReply(result);
    EXPECT_EQ(reply.call, "Respond");
    EXPECT_EQ(reply.word, "FAILURE");
    EXPECT_EQ(reply.msgbase, "m");
    EXPECT_EQ(reply.code, code);
    EXPECT_EQ(reply.text, std::nullopt);
    EXPECT_EQ(reply.target, target);
    EXPECT_EQ(reply.delay, -1);
    for (const auto& note : result.hostLog) {
      EXPECT_EQ(note.find("release"), std::string::npos) << "host noted: " << note;
      EXPECT_EQ(note.find("open"), std::string::npos) << "host noted: " << note;
    }
  }
  static void ExpectSuccess(const RequestResult& result) {
    const auto& reply = omtest::OnlyReply(result);
    EXPECT_EQ(reply.call, "Redirect");
    EXPECT_EQ(reply.word, "SUCCESS");
    EXPECT_EQ(reply.url, "s.htm");
    for (const auto& note : result.hostLog) ADD_FAILURE() << "host noted: " << note;
  }

  omtest::TempDir data_;
  std::unique_ptr<omserver::Plugin> plugin_;
  std::unique_ptr<omserver::Host> host_;
};

// ---- The conversation and the list ----------------------------------------------------------

TEST_F(CharacterTest, InformationRecordCarriesTheVersion) {
  EXPECT_EQ(plugin_->info().interfaceId, 73);
  EXPECT_STREQ(plugin_->info().version, "0.0.2r(.NET)");
  EXPECT_EQ(std::strlen(plugin_->info().built), 20u) << plugin_->info().built;
}

TEST_F(CharacterTest, GetWritesTheTwoLinesOfTheWorkedExample) {
  AlphaAndBeta();
  auto browser = Visitor();
  RequestResult first = browser->visit(Request({{"action", "GET"}}));
  const auto& relay = omtest::OnlyReply(first);
  EXPECT_EQ(relay.call, "Respond");
  EXPECT_EQ(relay.word, "RELAY");
  EXPECT_EQ(relay.msgbase, "r.htm");
  EXPECT_EQ(relay.code, 0);
  EXPECT_EQ(relay.text, "Contacting player databases....");
  EXPECT_EQ(relay.target, "/char");
  EXPECT_EQ(relay.delay, 0);
  ASSERT_EQ(first.sessions.size(), 1u);
  EXPECT_EQ(first.sessions[0].tag, "OMCharacter.dll:SESSIONTAG");
  EXPECT_EQ(first.sessions[0].cookie, "OMCHARACTERSESSIONTAG");
  EXPECT_EQ(first.sessions[0].end, 0) << "the relay page keeps the conversation open";
  EXPECT_TRUE(first.body.empty());

  RequestSpec back;
  back.pageUrl = kPage;
  RequestResult second = browser->visit(back);
  EXPECT_EQ(second.body,
            "(1)  <u>Alpha</u><br>\r\n"
            "(2)  <A HREF=\"/char?success=s.htm&failure=f.htm&relay=r.htm&msgbase=m&nodb=n.htm&ib3=0&action=select"
            "&selectedchid=9&pfid=27&charglsvssrequest=\">Beta</A><br>\r\n");
  ExpectSuccess(second);
  EXPECT_EQ(second.replyVar("charactername"), "Alpha");
  EXPECT_EQ(second.cookie("CHAR"), std::nullopt) << "GET changes nothing";
  EXPECT_EQ(second.cookie("CHARGLSVSSDATA"), std::nullopt);
  ASSERT_EQ(second.sessions.size(), 1u);
  EXPECT_EQ(second.sessions[0].end, 1);
  EXPECT_EQ(Players(), "7|Alpha|y;9|Beta|n");
}

TEST_F(CharacterTest, RelayMessageFollowsTheActionWordInAnyCase) {
  struct Case { const char* action; const char* message; } cases[] = {
      {"GET", "Contacting player databases...."}, {"select", "Selecting player...."}, {"New", "Creating new player...."},
      {"RENAME", "Renaming player...."},          {"delete", "Deleting player...."},  {"LIST", ""}, {"", ""},
  };
  for (const Case& c : cases) {
    auto browser = Visitor();
    RequestResult first = browser->visit(Request({{"action", c.action}}));
    EXPECT_EQ(omtest::OnlyReply(first).text, c.message) << "action \"" << c.action << "\"";
  }
}

TEST_F(CharacterTest, StaleStageInTheSessionIsRefused) {
  AlphaAndBeta();
  auto browser = Visitor();
  browser->visit(Request({{"action", "DELETE"}}));
  host_->withState([](omserver::SqliteDb& db) {
    db.exec("update session_vars set value = '2' where tag = 'OMCharacter.dll:SESSIONTAG' and name = 'private:stage'");
  });
  RequestSpec back;
  back.pageUrl = kPage;
  RequestResult result = browser->visit(back);
  const auto& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.word, "FAILURE");
  EXPECT_EQ(reply.msgbase, std::nullopt);
  EXPECT_EQ(reply.code, 1101);
  EXPECT_EQ(reply.target, std::nullopt);
  ASSERT_EQ(result.sessions.size(), 1u);
  EXPECT_EQ(result.sessions[0].end, 1);
  EXPECT_EQ(Players(), "7|Alpha|y;9|Beta|n");
}

TEST_F(CharacterTest, UnknownActionSucceedsWithoutTheDatabases) {
  omserver::SetDatabasesOffline(*host_, true);
  RequestResult result = Converse({{"action", "LIST"}});
  ExpectSuccess(result);
  EXPECT_EQ(result.replyVar("charactername"), "Alpha") << "from the CHAR cookie";
  EXPECT_TRUE(result.body.empty());
}

TEST_F(CharacterTest, CompactFormEscapesNameAndLinkAndMarksTheDefault) {
  Sql(1, "insert into character (chid, cid, name, isdefault) values (7, 5, 'A b', 'y'), (9, 5, CAST(X'5AE9' AS TEXT), 'n')");
  auto link = [](int chid) {
    return "%2fchar%3fsuccess%3ds%2ehtm%26failure%3df%2ehtm%26relay%3dr%2ehtm%26msgbase%3dm%26nodb%3dn%2ehtm%26ib3%3d1"
           "%26action%3dselect%26selectedchid%3d" + std::to_string(chid) + "%26pfid%3d27%26charglsvssrequest%3d";
  };
  RequestResult compact = Converse(*Visitor(7, "A b"), {{"action", "GET"}, {"ib3", "1"}});
  EXPECT_EQ(compact.body, "N=A%20b&A=" + link(7) + "&S=1&E=0;N=Z%e9&A=" + link(9) + "&S=0&E=1;");
  ExpectSuccess(compact);

  RequestResult normal = Converse(*Visitor(7, "A b"), {{"action", "GET"}});
  EXPECT_EQ(normal.body.substr(0, 20), "(1)  <u>A b</u><br>\r") << "the normal form writes the name as it is";
  EXPECT_NE(normal.body.find("\">Z\xE9</A><br>\r\n"), std::string::npos) << normal.body;
}

TEST_F(CharacterTest, ListIsInNameOrderNumberedFromOneAndOnlyActivePlayersOfTheAccount) {
  // Cara is flagged default, but the OMD cookie names alpha: nobody is underlined.
  Sql(1, "insert into character (chid, cid, name, isdefault, state) values (7, 5, 'Cara', 'y', 'A'), "
         "(8, 5, 'alpha', 'n', 'A'), (9, 5, 'Bob', 'n', 'A'), (10, 5, 'Aaron', 'n', 'D'), (11, 6, 'Abe', 'y', 'A')");
  RequestResult result = Converse(*Visitor(8, "alpha"), {{"action", "GET"}});
  EXPECT_EQ(result.body, LinkTo(8, "alpha", 1) + LinkTo(9, "Bob", 2) + LinkTo(7, "Cara", 3));
}

TEST_F(CharacterTest, ListWritesQuotesAndAngleBracketsOfInsertedValuesAsEntities) {
  AlphaAndBeta();
  RequestResult result = Converse({{"action", "GET"},
                                   {"success", "s.htm\"><script>alert(1)</script>"},
                                   {"charglsvssrequest", "k\" onmouseover=\"x&y"}});
  EXPECT_EQ(result.body,
            "(1)  <u>Alpha</u><br>\r\n"
            "(2)  <A HREF=\"/char?success=s.htm&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;&failure=f.htm"
            "&relay=r.htm&msgbase=m&nodb=n.htm&ib3=0&action=select&selectedchid=9&pfid=27"
            "&charglsvssrequest=k&quot; onmouseover=&quot;x&y\">Beta</A><br>\r\n");

  // Escaping lengthens the line past any one buffer; it still arrives whole.
  std::string quotes(511, '"');
  std::string entities;
  for (int i = 0; i < 511; ++i) entities += "&quot;";
  RequestResult longLine = Converse({{"action", "GET"}, {"failure", quotes}, {"relay", "r.htm"}});
  EXPECT_NE(longLine.body.find("&failure=" + entities + "&relay=r.htm&msgbase=m"), std::string::npos);
  EXPECT_EQ(longLine.body.substr(longLine.body.size() - 16), "\">Beta</A><br>\r\n");
}

// ---- Login and database failures -------------------------------------------------------------

TEST_F(CharacterTest, MissingOrInvalidLoginCookiesAreAnsweredAtOnce) {
  AlphaAndBeta();
  struct Case { const char* cookie; const char* value; } cases[] = {{"OMV", "0"}, {"OMI", "x"}, {"OMD", "-1"}};
  for (const Case& c : cases) {
    auto browser = Visitor();
    browser->jar().set(c.cookie, c.value);
    RequestResult result = browser->visit(Request({{"action", "GET"}, {"start", "login.htm"}}));
    ExpectFailure(result, 3207, "login.htm");
    ASSERT_EQ(result.sessions.size(), 1u);
    EXPECT_EQ(result.sessions[0].end, 1) << c.cookie;
  }
  // Without CHAR (and without a start page) the failure page is the target.
  auto browser = std::make_unique<omtest::Browser>(*host_, *plugin_);
  browser->jar().set("OMV", "77");
  browser->jar().set("OMI", "5");
  browser->jar().set("OMD", "7");
  ExpectFailure(browser->visit(Request({{"action", "GET"}})), 3207);
}

TEST_F(CharacterTest, LoginValueMustBeConfirmedByTheAccountDatabase) {
  AlphaAndBeta();
  ExpectFailure(Converse(*Visitor(7, "Alpha", 5, 78), {{"action", "GET"}, {"start", "login.htm"}}), 3207, "login.htm");
  Sql(1, "update login set status = 'S' where cid = 5");
  RequestResult suspended = Converse({{"action", "GET"}});
  ExpectFailure(suspended, 3207);
  EXPECT_TRUE(suspended.body.empty());
}

TEST_F(CharacterTest, DatabaseFailuresGiveTheirCodes) {
  AlphaAndBeta();
  omserver::SetDbOpenFault(*host_, 1, -6);
  ExpectFailure(Converse({{"action", "GET"}}), 4005);
  omserver::SetDbOpenFault(*host_, 1, -4);
  RequestResult nodb = Converse({{"action", "GET"}});
  EXPECT_EQ(omtest::OnlyReply(nodb).call, "Redirect");
  EXPECT_EQ(omtest::OnlyReply(nodb).word, "FAILURE");
  EXPECT_EQ(omtest::OnlyReply(nodb).url, "n.htm");
  omserver::SetDbOpenFault(*host_, 1, std::nullopt);

  omserver::SetDbExecuteFault(*host_, "OMCharacter.dll:GetChars", true);
  RequestResult list = Converse({{"action", "GET"}});
  ExpectFailure(list, 4001);
  EXPECT_TRUE(list.body.empty());
  omserver::ClearDbFaults(*host_);

  omserver::SetDbNextResultFault(*host_, "OMCharacter.dll:SelectChar2", 2);
  RequestResult select = Converse({{"action", "SELECT"}, {"selectedchid", "9"}});
  ExpectFailure(select, 4002);
  EXPECT_EQ(select.cookie("OMD"), std::nullopt) << "the cookies still name the old default";
  for (const auto& note : select.hostLog) EXPECT_EQ(note.find("not released"), std::string::npos) << note;
}

// ---- Select ----------------------------------------------------------------------------------

TEST_F(CharacterTest, SelectMakesThePlayerTheDefaultEverywhere) {
  AlphaAndBeta();
  RequestResult result = Converse({{"action", "select"}, {"selectedchid", "9"}});
  ExpectSuccess(result);
  EXPECT_EQ(Players(), "7|Alpha|n;9|Beta|y");
  EXPECT_EQ(result.cookie("CHAR"), "Beta");
  EXPECT_EQ(result.cookie("OMD"), "9");
  EXPECT_EQ(result.cookie("STATSDISPLAYCHID"), "9");
  EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), "") << "no criteria asked: the empty value of a new conversation";
  EXPECT_EQ(result.replyVar("charactername"), "Beta");
  EXPECT_EQ(result.body, LinkTo(7, "Alpha", 1) + Underlined("Beta", 2));

  EventRecord record = OnlyEventRecord();
  EXPECT_EQ(record.accountId, 5);
  EXPECT_EQ(record.eventCode, 8673);
  EXPECT_EQ(record.loginValue, 77);
  EXPECT_EQ(record.characterId, 9);
  EXPECT_STREQ(record.characterName, "Beta");
  EXPECT_EQ(static_cast<uint32_t>(record.clientAddress), 0x7F000001u);
  EXPECT_EQ(record.clientPort, 50000);
  EXPECT_STREQ(record.source, "OMCharacter::DoSelect");
  EXPECT_STREQ(record.accountName, "");
  EXPECT_TRUE(omserver::services::EventLog(*host_).empty()) << "select writes no log entry";
}

TEST_F(CharacterTest, SelectOfAForeignOrDeletedPlayerChangesNothingAndSucceeds) {
  AlphaAndBeta();
  Sql(1, "insert into character (chid, cid, name, isdefault, state) values (10, 5, 'Gone', 'n', 'D'), "
         "(20, 6, 'Other', 'n', 'A')");
  for (const char* chid : {"10", "20", "0", "99"}) {
    RequestResult result = Converse({{"action", "SELECT"}, {"selectedchid", chid}});
    ExpectSuccess(result);
    EXPECT_EQ(result.cookie("OMD"), std::nullopt) << "selectedchid " << chid;
    EXPECT_EQ(result.cookie("CHAR"), std::nullopt) << "selectedchid " << chid;
    EXPECT_EQ(result.replyVar("charactername"), "Alpha");
    EXPECT_EQ(result.body, Underlined("Alpha", 1) + LinkTo(9, "Beta", 2));
  }
  EXPECT_EQ(Players(), "7|Alpha|y;9|Beta|n");
  EXPECT_EQ(Players(6), "20|Other|n");
  EXPECT_TRUE(omserver::services::EventRecords(*host_).empty());
}

// ---- Server criteria ---------------------------------------------------------------------------

TEST_F(CharacterTest, CriteriaOfTheNewDefaultPlayerBecomeTheCookie) {
  AlphaAndBeta();
  Sql(6, "insert into stats_player_var (pload, expansion, cid, chid, varname, value) values "
         "('GX', 'X1', 5, 9, 'KILLS', 12), ('GX', 'X1', 5, 9, 'DEATHS', 0), ('GX', '', 5, 9, 'RANK', 3), "
         "('GX', 'X1', 5, 7, 'KILLS', 99), ('GX', 'X1', 5, 7, 'DEATHS', 98), ('GX', '', 5, 7, 'RANK', 97)");
  RequestResult result = Converse(
      {{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", "[gx:x1] kills, deaths [gx] rank"}});
  ExpectSuccess(result);
  EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), "[GX:X1]KILLS=12,DEATHS,[GX]RANK=3");
  EXPECT_EQ(result.cookie("OMD"), "9");
}

TEST_F(CharacterTest, StatisticsDatabaseIsChosenByProductFamily) {
  AlphaAndBeta();
  for (int database : {6, 7, 8}) {
    Sql(database, "insert into stats_player_var (pload, cid, chid, varname, value) values ('GX', 5, 9, 'RANK', " +
                      std::to_string(database) + ")");
  }
  struct Case { const char* pfid; const char* data; } cases[] = {
      {"27", "[GX]RANK=6"}, {"28", "[GX]RANK=6"}, {"31", "[GX]RANK=6"}, {"32", "[GX]RANK=6"}, {"35", "[GX]RANK=7"},
      {"36", "[GX]RANK=7"}, {"37", "[GX]RANK=8"}, {"38", "[GX]RANK=8"}, {"41", "[GX]RANK=8"},
  };
  for (const Case& c : cases) {
    RequestResult result =
        Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"pfid", c.pfid}, {"charglsvssrequest", "[gx]rank"}});
    EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), c.data) << "pfid " << c.pfid;
  }
  for (const char* pfid : {"0", "29", "99"}) {
    RequestResult result =
        Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"pfid", pfid}, {"charglsvssrequest", "[gx]rank"}});
    ExpectFailure(result, 4008);
    EXPECT_EQ(result.cookie("OMD"), "9") << "the select is done before the criteria are asked";
    EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), std::nullopt) << "pfid " << pfid;
    EXPECT_EQ(result.replyVar("charactername"), std::nullopt);
  }
}

TEST_F(CharacterTest, CriteriaFailuresAndRequestsWithoutItems) {
  AlphaAndBeta();
  // The statistics know nothing of the player: the procedure answers below 0.
  ExpectFailure(Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", "[gx]rank"}}), 3700);

  // A request of white space only asks nothing and opens no statistics database.
  omserver::SetDbOpenFault(*host_, 6, -6);
  RequestResult blank = Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", " \t "}});
  ExpectSuccess(blank);
  EXPECT_EQ(blank.cookie("CHARGLSVSSDATA"), "");
  ExpectFailure(Converse({{"action", "SELECT"}, {"selectedchid", "7"}, {"charglsvssrequest", "rank"}}), 4005);
  omserver::SetDbOpenFault(*host_, 6, std::nullopt);

  // Items before a stray bracket are still asked; empty items are asked like any other.
  Sql(6, "insert into stats_player_var (pload, cid, chid, varname, value) values ('', 5, 9, 'A', 1), "
         "('', 5, 9, 'B', 2), ('', 5, 9, '', 4), ('GX', 5, 9, '', 5)");
  struct Case { const char* request; const char* data; } cases[] = {
      {"a,b]", "[]A=1,B=2"}, {"a,,b", "[]A=1,=4,B=2"}, {"[gx]", "[GX]=5"}, {"A=7", "[]A=1"},
  };
  for (const Case& c : cases) {
    RequestResult result = Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", c.request}});
    EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), c.data) << "request " << c.request;
  }
}

TEST_F(CharacterTest, CriteriaStopAt32ItemsAndMustFitTheCookie) {
  AlphaAndBeta();
  std::string request;
  std::string expected = "[]";
  for (int i = 1; i <= 33; ++i) {
    Sql(6, "insert into stats_player_var (cid, chid, varname, value) values (5, 9, 'V" + std::to_string(i) + "', " +
               std::to_string(i) + ")");
    request += (i > 1 ? "," : "") + ("v" + std::to_string(i));
    if (i <= 32) expected += (i > 1 ? "," : "") + ("V" + std::to_string(i) + "=" + std::to_string(i));
  }
  RequestResult items = Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", request}});
  ExpectSuccess(items);
  EXPECT_EQ(items.cookie("CHARGLSVSSDATA"), expected);

  // Sixteen names of 31 letters under one header come to 515 characters: too long.
  request = "[gx]";
  for (int i = 0; i < 16; ++i) {
    std::string name = std::string(30, 'n') + static_cast<char>('a' + i);
    Sql(6, "insert into stats_player_var (pload, cid, chid, varname, value) values ('GX', 5, 9, '" + name + "', 0)");
    request += (i > 0 ? "," : "") + name;
  }
  RequestResult tooLong = Converse({{"action", "SELECT"}, {"selectedchid", "9"}, {"charglsvssrequest", request}});
  ExpectFailure(tooLong, 3700);
  EXPECT_EQ(tooLong.cookie("CHARGLSVSSDATA"), std::nullopt);
}

// ---- Create ------------------------------------------------------------------------------------

TEST_F(CharacterTest, NewPlayerBecomesTheDefault) {
  AlphaAndBeta();
  RequestResult result = Converse({{"action", "NEW"}, {"newcharactername", "Gamma"}});
  ExpectSuccess(result);
  EXPECT_EQ(Players(), "7|Alpha|n;9|Beta|n;10|Gamma|y");
  EXPECT_EQ(result.cookie("CHAR"), "Gamma");
  EXPECT_EQ(result.cookie("OMD"), "10");
  EXPECT_EQ(result.cookie("STATSDISPLAYCHID"), "10");
  EXPECT_EQ(result.replyVar("newcharactername"), "");
  EXPECT_EQ(result.replyVar("charactername"), "Gamma");
  EXPECT_EQ(Rows(1, "select cid, chid, oldname, newname from oldcharacters"), "5|10||Gamma");
  EXPECT_EQ(result.body, LinkTo(7, "Alpha", 1) + LinkTo(9, "Beta", 2) + Underlined("Gamma", 3));

  auto log = omserver::services::EventLog(*host_);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].accountId, 5);
  EXPECT_EQ(log[0].characterId, 10);
  EXPECT_EQ(log[0].tag, "CREATECHARACTER");
  EXPECT_EQ(log[0].detail, "charactername=Gamma");
  EXPECT_EQ(OnlyEventRecord().characterId, 10) << "the select that follows posts the event";
}

TEST_F(CharacterTest, NewPlayerNameMustPassTheHostsNameFilter) {
  AlphaAndBeta();
  omserver::services::AddScreenedName(*host_, "Rude");
  RequestResult result = Converse({{"action", "NEW"}, {"newcharactername", " rude "}});
  ExpectFailure(result, 3237);
  EXPECT_EQ(result.replyVar("newcharactername"), "rude");
  EXPECT_EQ(Players(), "7|Alpha|y;9|Beta|n");
  EXPECT_TRUE(omserver::services::EventLog(*host_).empty());
}

TEST_F(CharacterTest, NewPlayerNameIsTidiedAndChecked) {
  AlphaAndBeta();
  struct Case { const char* typed; int32_t code; const char* shown; } cases[] = {
      {"  Ab   cd  ", 0, "Ab cd"},
      {"\xA0Zed\xA0\xA0" "x", 0, "Zed x"},
      {"a\tb", 3237, "a\tb"},
      {"   ", 3004, ""},
      {"abcdefghijklmnopq", 3219, "abcdefghijklmnopq"},
      {" abcdefghijklmnop ", 0, "abcdefghijklmnop"},
      {"-ab", 3237, "-ab"},
      {"a.-", 3237, "a.-"},
      {"a'b", 3237, "a'b"},
  };
  for (const Case& c : cases) {
    Sql(1, "delete from character where chid > 9; update character set isdefault = case chid when 7 then 'y' else 'n' end");
    RequestResult result = Converse({{"action", "NEW"}, {"newcharactername", c.typed}});
    if (c.code == 0) {
      ExpectSuccess(result);
      EXPECT_EQ(result.cookie("CHAR"), c.shown) << "typed \"" << c.typed << "\"";
      EXPECT_EQ(Rows(1, "select name from character where chid > 9"), c.shown);
    } else {
      ExpectFailure(result, c.code);
      EXPECT_EQ(result.replyVar("newcharactername"), c.shown) << "typed \"" << c.typed << "\"";
      EXPECT_EQ(Rows(1, "select count(*) from character"), "2");
    }
  }
}

TEST_F(CharacterTest, AccountHoldsAtMostFourActivePlayersExceptAccount114) {
  Sql(1, "insert into character (cid, name, isdefault, state) values (5, 'P1', 'y', 'A'), (5, 'P2', 'n', 'A'), "
         "(5, 'P3', 'n', 'A'), (5, 'Old', 'n', 'D'), (114, 'S1', 'y', 'A'), (114, 'S2', 'n', 'A'), "
         "(114, 'S3', 'n', 'A'), (114, 'S4', 'n', 'A')");
  ExpectSuccess(Converse(*Visitor(1, "P1"), {{"action", "NEW"}, {"newcharactername", "P4"}}));
  RequestResult fifth = Converse(*Visitor(1, "P1"), {{"action", "NEW"}, {"newcharactername", "P5"}});
  ExpectFailure(fifth, 3226);
  EXPECT_EQ(Rows(1, "select count(*) from character where cid = 5 and state = 'A'"), "4");
  ExpectSuccess(Converse(*Visitor(5, "S1", 114, 88), {{"action", "NEW"}, {"newcharactername", "S5"}}));
  EXPECT_EQ(Rows(1, "select count(*) from character where cid = 114 and state = 'A'"), "5");
}

TEST_F(CharacterTest, NameMustNotBeAnyPlayersOrAnotherAccountsHandle) {
  AlphaAndBeta();
  Sql(1, "insert into character (chid, cid, name, state) values (30, 6, 'Taken', 'D')");
  struct Case { const char* name; int32_t code; } cases[] = {
      {"Taken", 3225}, {"taken", 3225}, {"beta", 3225}, {"rival", 3237}, {"RIVAL", 3237}, {"owner", 0},
  };
  for (const Case& c : cases) {
    RequestResult result = Converse({{"action", "NEW"}, {"newcharactername", c.name}});
    if (c.code == 0) {
      ExpectSuccess(result);
    } else {
      ExpectFailure(result, c.code);
      EXPECT_TRUE(result.body.empty()) << c.name;
    }
  }
  EXPECT_EQ(Players(), "7|Alpha|n;9|Beta|n;31|owner|y");
}

// ---- Rename ------------------------------------------------------------------------------------

TEST_F(CharacterTest, RenameAnswersTheFirstConditionThatHolds) {
  struct Case { const char* what; std::string fixture; const char* name; int omd; int32_t code; } cases[] = {
      {"all checks pass", "", "Newname", 7, 3902},
      {"account restricted", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 0, 16)",
       "Newname", 7, 3210},
      {"player restricted", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 7, 1)",
       "Newname", 7, 3210},
      {"restriction first", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 0, 2)",
       "Beta", 7, 3210},
      {"another player restricted",
       "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 9, 16)", "Newname", 7, 3902},
      {"bit 8 alone", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 0, 8)",
       "Newname", 7, 3902},
      {"restriction not in force",
       "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) values (5, 0, 16, 'I')",
       "Newname", 7, 3902},
      {"own current name", "", "alpha", 7, 3225},
      {"not the default player", "", "Newname", 9, 3207},
      {"11 renames this month",
       "insert into oldcharacters (chid, oldname, newname, changedate) select 7, 'a', 'b', '2026-06-01 00:00:00' "
       "from (select 1 union all select 2 union all select 3 union all select 4 union all select 5 union all select 6 "
       "union all select 7 union all select 8 union all select 9 union all select 10 union all select 11)",
       "Newname", 7, 3902},
      {"12 renames this month",
       "insert into oldcharacters (chid, oldname, newname, changedate) select 7, 'a', 'b', '2026-06-14 23:59:59' "
       "from (select 1 union all select 2 union all select 3 union all select 4 union all select 5 union all select 6 "
       "union all select 7 union all select 8 union all select 9 union all select 10 union all select 11 union all select 12)",
       "Newname", 7, 3227},
      {"12 renames in earlier months",
       "insert into oldcharacters (chid, oldname, newname, changedate) select 7, 'a', 'b', d from (select "
       "'2026-05-31 23:59:59' d union all select '2025-06-15 12:00:00') , (select 1 union all select 2 union all "
       "select 3 union all select 4 union all select 5 union all select 6)",
       "Newname", 7, 3902},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sql(1, "delete from character; delete from om_assigned_restrictions; delete from oldcharacters;");
    AlphaAndBeta();
    if (!c.fixture.empty()) Sql(1, c.fixture);
    RequestResult result = Converse(*Visitor(c.omd, c.omd == 7 ? "Alpha" : "Beta"),
                                    {{"action", "RENAME"}, {"newcharactername", c.name}, {"start", "login.htm"}});
    ExpectFailure(result, c.code, c.code == 3207 ? "login.htm" : "f.htm");
    EXPECT_EQ(result.replyVar("charactername"), c.omd == 7 ? "Alpha" : "Beta");
    EXPECT_EQ(result.replyVar("newcharactername"), c.name);
    EXPECT_TRUE(result.body.empty()) << "rename writes no list";
    EXPECT_EQ(result.cookie("CHAR"), std::nullopt);
    EXPECT_EQ(Players(), "7|Alpha|y;9|Beta|n") << "rename changes nothing";
  }
}

TEST_F(CharacterTest, RenameChecksTheNameRulesFirst) {
  AlphaAndBeta();
  RequestResult result = Converse({{"action", "RENAME"}, {"newcharactername", "  x.-  "}});
  ExpectFailure(result, 3237);
  EXPECT_EQ(result.replyVar("newcharactername"), "x.-");
}

// ---- Delete ------------------------------------------------------------------------------------

TEST_F(CharacterTest, DeleteHandsTheDefaultToTheRemainingPlayerWithTheHighestId) {
  Sql(1, "insert into character (chid, cid, name, isdefault) values (7, 5, 'Alpha', 'y'), (9, 5, 'Beta', 'n'), "
         "(12, 5, 'Zed', 'n');"
         "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 9, 23)");
  RequestResult result = Converse({{"action", "DELETE"}, {"selectedchid", "9"}});
  ExpectSuccess(result);
  EXPECT_EQ(Players(), "9|Beta|n;12|Zed|y");
  EXPECT_EQ(result.cookie("CHAR"), "Zed");
  EXPECT_EQ(result.cookie("OMD"), "12");
  EXPECT_EQ(result.cookie("STATSDISPLAYCHID"), "12");
  EXPECT_EQ(result.cookie("CHARGLSVSSDATA"), "");
  EXPECT_EQ(result.replyVar("charactername"), "Zed");
  EXPECT_EQ(Rows(1, "select cid, chid, oldname, newname from oldcharacters"), "5|7|Alpha|");
  EXPECT_EQ(result.body, LinkTo(9, "Beta", 1) + Underlined("Zed", 2));

  auto log = omserver::services::EventLog(*host_);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].characterId, 7);
  EXPECT_EQ(log[0].tag, "DELETECHARACTER");
  EXPECT_EQ(log[0].detail, "charactername=Alpha");
  EventRecord record = OnlyEventRecord();
  EXPECT_EQ(record.eventCode, 8673);
  EXPECT_EQ(record.loginValue, 77);
  EXPECT_EQ(record.characterId, 12);
  EXPECT_STREQ(record.characterName, "Zed");
  EXPECT_STREQ(record.source, "OMCharacter::DoDelete");
}

TEST_F(CharacterTest, DeleteRefusesRestrictedLastPrimaryOrNonDefaultPlayers) {
  struct Case { const char* what; std::string fixture; int omd; int32_t code; } cases[] = {
      {"account restricted", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 0, 4)",
       7, 3210},
      {"player restricted", "insert into om_assigned_restrictions (cid, chid, om_restrictions_binaryVal) values (5, 7, 2)",
       7, 3210},
      {"not the default", "", 9, 3207},
      {"last player", "delete from character where chid = 9", 7, 3228},
      {"primary player", "insert into primarycharacter (cid, chid) values (5, 7)", 7, 3901},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sql(1, "delete from character; delete from om_assigned_restrictions; delete from primarycharacter;");
    AlphaAndBeta();
    if (!c.fixture.empty()) Sql(1, c.fixture);
    std::string before = Players();
    RequestResult result = Converse(*Visitor(c.omd, c.omd == 7 ? "Alpha" : "Beta"), {{"action", "DELETE"}});
    ExpectFailure(result, c.code);
    EXPECT_EQ(Players(), before);
    EXPECT_EQ(result.cookie("OMD"), std::nullopt);
    EXPECT_TRUE(result.body.empty());
  }
  EXPECT_EQ(Rows(1, "select count(*) from oldcharacters"), "0");
  EXPECT_TRUE(omserver::services::EventLog(*host_).empty());
  EXPECT_TRUE(omserver::services::EventRecords(*host_).empty());
}

}  // namespace
