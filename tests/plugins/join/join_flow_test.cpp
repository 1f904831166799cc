// The join conversation through OMJoin in the stand-in host: the interim page, each mode
// and its upgrades, the waiting line, the tickets and identity cookies, the client's reply
// variables and the success address.
#include <pthread.h>

#include <cstring>

#include "join_fixture.h"
#include "seal_reader.h"

namespace omtest {
namespace {

const char* const kResetToEmpty[] = {"PUBPCID",      "PUBNAMEINFO", "PUBSQUADINFO", "PUBJOINTICKET", "OMPCID",
                                     "OMNAMEINFO",   "OMSQUADINFO", "OMTI",         "OMTV",          "OMJOINTICKET",
                                     "AFFPCID",      "AFFNAMEINFO", "AFFSQUADINFO", "AFFJOINTICKET"};

TEST_F(JoinTest, PluginInformation) {
  EXPECT_EQ(plugin->info().interfaceId, 73);
  EXPECT_STREQ(plugin->info().version, "0.0.1r(.NET)");
  EXPECT_NE(plugin->info().built[0], '\0');
}

TEST_F(JoinTest, TheFirstRequestOnlyResetsTheCookiesAndRelays) {
  RequestResult first = request(form("Login", {{"pfid2", "5"}}));
  const omserver::ReplyCall& reply = OnlyReply(first);
  EXPECT_EQ(reply.call, "Respond");
  EXPECT_EQ(reply.word, "RELAY");
  EXPECT_EQ(reply.msgbase, "/relay.htm");
  EXPECT_EQ(reply.text, "Contacting game server....");
  EXPECT_EQ(reply.target, pageUrl);
  EXPECT_EQ(reply.delay, 0);
  for (const char* name : kResetToEmpty) EXPECT_EQ(first.cookie(name), "") << name;
  EXPECT_EQ(first.cookie("OMPF"), "27");
  EXPECT_EQ(first.cookie("OMPF2"), "5");
  EXPECT_EQ(conversationEnd(first), 0) << "the conversation goes on";
  EXPECT_EQ(services::Servers(host).size(), 0u);
  EXPECT_EQ(first.hostLog.size(), 0u) << "no server is asked for on the first request";
}

TEST_F(JoinTest, ModesAndLogEntries) {
  addServer();
  logIn();
  struct Case {
    const char* mode;
    const char* detail;  // of the JOIN entry, empty: none
    bool identity;
  } cases[] = {
      {"Anonymous", "ANONYMOUS rid=100", false},
      {"LOGIN", "LOGIN rid=100, pcid=\"A00000042\"", true},
      {"stat", "STAT rid=100, pcid=\"A00000042\", pfid=27", true},
      {"Auth", "", false},
  };
  for (const Case& c : cases) {
    const size_t before = joinLog().size();
    RequestResult result = join(c.mode);
    ExpectAdmitted(result, "/ok.htm?rid=100", c.mode);
    EXPECT_EQ(conversationEnd(result), 1) << c.mode;
    std::vector<services::StoredLogEntry> log = joinLog();
    if (c.detail[0] == '\0') {
      EXPECT_EQ(log.size(), before) << c.mode << " writes no log entry";
    } else {
      ASSERT_EQ(log.size(), before + 1) << c.mode;
      EXPECT_EQ(log.back().detail, c.detail) << c.mode;
      const bool anonymous = std::string(c.mode) == "Anonymous";
      EXPECT_EQ(log.back().accountId, anonymous ? 0 : 1) << c.mode;
      EXPECT_EQ(log.back().characterId, anonymous ? 0 : 7) << c.mode;
    }
    EXPECT_EQ(!result.cookie("OMPCID").value_or("").empty(), c.identity) << c.mode;
    EXPECT_EQ(!result.cookie("OMNAMEINFO").value_or("").empty(), c.identity) << c.mode;
    EXPECT_EQ(!result.cookie("PUBPCID").value_or("").empty(), c.identity) << c.mode;
  }
}

TEST_F(JoinTest, UnknownModeAndStage) {
  RequestResult result = request(form("Stats"));
  const omserver::ReplyCall& reply = OnlyReply(result);
  EXPECT_EQ(reply.code, 1102);
  EXPECT_EQ(reply.msgbase, std::nullopt);
  EXPECT_EQ(reply.target, std::nullopt);
  EXPECT_EQ(conversationEnd(result), 1);

  omserver::CookieJar planted;
  PlantSession(host, planted, "OMJoin.dll:SESSIONTAG", "OMJOINSESSIONTAG", "S0000070000000000000007",
               {{"private:stage", "7"}, {"mode", "Login"}, {"success", "/ok.htm"}, {"failure", "/f"},
                {"msgbase", "mb"}, {"relay", "/r"}});
  RequestResult late = request({}, 1, &planted);
  EXPECT_EQ(OnlyReply(late).code, 1101);
  EXPECT_EQ(OnlyReply(late).msgbase, std::nullopt);
}

TEST_F(JoinTest, AnonymousJoinsBecomeWhatTheServerDemands) {
  struct Case {
    const char* field;
    const char* detail;
  } cases[] = {
      {"stats", "STAT rid=100, pcid=\"A00000042\", pfid=27"},
      {"login", "LOGIN rid=100, pcid=\"A00000042\""},
      {"access-codes", "LOGIN rid=100, pcid=\"A00000042\""},
  };
  logIn();
  for (const Case& c : cases) {
    addServer({{c.field, 1}});
    RequestResult result = join("Anonymous");
    ExpectAdmitted(result, "/ok.htm?rid=100", c.field);
    ASSERT_FALSE(joinLog().empty());
    EXPECT_EQ(joinLog().back().detail, c.detail) << c.field;
    EXPECT_EQ(result.cookie("OMTI").value_or("") != "", std::string(c.field) == "stats")
        << c.field << ": only the Stat join makes a statistics ticket";
  }

  jar = omserver::CookieJar();
  addServer({{"login", 1}});
  ExpectFailure(join("Anonymous"), 3207, "/login.htm", "an upgraded join needs the login cookies");
  ExpectFailure(join("Login", {{"start", ""}}), 3207, "/fail.htm", "without a start page");
}

TEST_F(JoinTest, ServerLookupAccessAndOverrides) {
  ExpectFailure(join("Auth"), 3213, "/fail.htm", "unknown server");
  services::SetSlotFailing(host, "GetServerRecord", true);
  ExpectFailure(join("Auth"), 3212, "/fail.htm", "lookup failed");
  services::SetSlotFailing(host, "GetServerRecord", false);

  // Found by gsid alone, with the gsid cut to the 127 characters the record holds.
  services::ServerConfig byName = server();
  byName.gsid = std::string(127, 'g');
  services::AddServer(host, byName);
  ExpectAdmitted(join("Auth", {{"rid", "0"}, {"gsid", std::string(140, 'g')}}), "/ok.htm?rid=100", "by gsid");

  byName.accessText = "door";
  services::AddServer(host, byName);
  services::SetAccessStatus(host, "door", 2005);
  ExpectAdmitted(join("Auth"), "/ok.htm?rid=100", "status 2005 goes on");
  services::SetAccessStatus(host, "door", 4321);
  ExpectFailure(join("Auth"), 4321, "/fail.htm", "a status is the code");
  services::SetSlotFailing(host, "QueryServerAccess", true);
  ExpectFailure(join("Auth"), 3238, "/fail.htm", "access check failed");
  services::SetSlotFailing(host, "QueryServerAccess", false);

  addServer({{"pfid-override", 28}, {"pfid2-override", 6}});
  logIn();
  RequestResult result = join("Stat");
  ExpectAdmitted(result, "/ok.htm?rid=100", "overrides");
  EXPECT_EQ(joinLog().back().detail, "STAT rid=100, pcid=\"A00000042\", pfid=28");
  EXPECT_EQ(result.cookie("OMPF"), "28") << "an own server gets the families after the override";
  EXPECT_EQ(result.cookie("OMPF2"), "6");
  EXPECT_EQ(scalar(2, "SELECT pfid || ',' || MiscFlags FROM statticket"), "28,1");
}

TEST_F(JoinTest, CookiePrefixesAndJoinTickets) {
  logIn();
  jar.set("OMUID", "uid-77");
  struct Case {
    std::map<std::string, int32_t> fields;
    const char* prefix;
    const char* ticketCookie;
  } cases[] = {
      {{{"own", 1}}, "OM", "OMJOINTICKET"},
      {{{"own", 0}, {"affiliate", 1}}, "AFF", "AFFJOINTICKET"},
      {{{"own", 0}}, "PUB", "PUBJOINTICKET"},
  };
  for (const Case& c : cases) {
    std::map<std::string, int32_t> fields = c.fields;
    fields["ticket"] = 1;
    addServer(fields);
    RequestResult result = join("Login");
    ExpectAdmitted(result, "/ok.htm?rid=100", c.prefix);
    const std::string prefix = c.prefix;
    EXPECT_EQ(Unseal(result.cookie(prefix + "PCID").value_or(""), kKey), kPcid) << prefix;
    EXPECT_EQ(result.cookie("PUBPCID"), result.cookie(prefix + "PCID")) << prefix;
    EXPECT_NE(result.cookie(prefix + "NAMEINFO").value_or(""), "") << prefix;
    EXPECT_NE(result.cookie(prefix + "SQUADINFO").value_or(""), "") << prefix;
    std::vector<omserver::JoinTicketOutcome> tickets = services::JoinTicketRequests(host);
    ASSERT_FALSE(tickets.empty());
    EXPECT_EQ(result.cookie(c.ticketCookie), tickets.back().ticket) << prefix;
    EXPECT_NE(tickets.back().ticket, "");
    EXPECT_EQ(tickets.back().userId, "uid-77");
    EXPECT_EQ(tickets.back().accountId, 1);
    EXPECT_EQ(tickets.back().loginValue, 31);
    EXPECT_EQ(tickets.back().characterId, 7);
    EXPECT_EQ(tickets.back().rid, kRid);
    EXPECT_EQ(tickets.back().serverAddress, 0x0A000001);
    EXPECT_EQ(tickets.back().serverPort, 7000);
  }
  services::SetJoinTicketAnswer(host, 9, std::nullopt);
  ExpectFailure(join("Login"), 3400, "/fail.htm", "a refused ticket");
  services::SetJoinTicketAnswer(host, std::nullopt, std::nullopt);
  services::SetSlotFailing(host, "QueryAccountRecord", true);
  ExpectFailure(join("Login"), 3400, "/fail.htm", "no ticket answer");
}

TEST_F(JoinTest, TheEventRecordOfAJoin) {
  addServer();
  logIn();
  jar.set("OMUID", "uid-77");
  services::SetProduct(host, 27, {{27, 0x05}, {28, 0x30}});
  ExpectAdmitted(join("Stat", {{"pfid2", "3"}}), "/ok.htm?rid=100", "stat join");
  std::vector<services::StoredEventRecord> records = services::EventRecords(host);
  ASSERT_EQ(records.size(), 1u);
  EventRecord record = services::DecodeEventRecord(records[0].raw);
  EXPECT_EQ(record.accountId, 1);
  EXPECT_EQ(record.eventCode, 32767);
  EXPECT_EQ(record.loginValue, 31);
  EXPECT_STREQ(record.accountName, "foxy");
  EXPECT_STREQ(record.firstName, "Ann");
  EXPECT_STREQ(record.lastName, "Archer");
  EXPECT_STREQ(record.email, "ann@example.com");
  EXPECT_EQ(record.characterId, 7);
  EXPECT_STREQ(record.characterName, "Fox");
  EXPECT_EQ(record.clientAddress, 0x7F000001);
  EXPECT_EQ(record.clientPort, 50000);
  EXPECT_EQ(record.pfid, 27);
  EXPECT_EQ(record.pfid2, 3);
  EXPECT_STREQ(record.pcid, kPcid);
  EXPECT_EQ(record.featureMask, 0x35);
  EXPECT_STREQ(record.source, "OMJoin::ServerUpPage");
  EXPECT_STREQ(record.userIdText, "uid-77");

  services::SetSlotFailing(host, "QueryProductRecord", true);
  ExpectAdmitted(join("Login"), "/ok.htm?rid=100", "no product record does not refuse");
  EXPECT_EQ(services::DecodeEventRecord(services::EventRecords(host).back().raw).featureMask, 0);
}

TEST_F(JoinTest, TheClientCallGetsTheSixReplyVariables) {
  addServer({{"lan-only", 1}});
  RequestResult result = join("Auth", {{"success", "/client"}, {"failure", ""}, {"relay", ""}, {"msgbase", ""}}, 2);
  ExpectAdmitted(result, "/client?rid=100", "client call in mode Auth");
  const std::map<std::string, std::string> expected = {
      {"IpAndPort", "10.0.0.1:7000"}, {"AppId", "12"},
      {"Lan", "1"},                   {"GSID", "gs-alpha"},
      {"OrbitmereBaffleIpAndPort", "10.0.0.2:7100"}, {"OrbitmereBaffleKey", "99"},
  };
  EXPECT_EQ(result.replyVars.size(), expected.size());
  for (const auto& [name, value] : expected) EXPECT_EQ(result.replyVar(name), value) << name;
  EXPECT_TRUE(joinLog().empty());

  RequestResult browser = join("Auth");
  EXPECT_TRUE(browser.replyVars.empty()) << "a browser request gets no reply variables";
}

TEST_F(JoinTest, PageIdAndTheSuccessAddress) {
  addServer({{"page-id", 1}});
  logIn();
  services::SetHostNumber(host, 3);
  RequestResult result = join("Login");
  const std::string prefix = "/ok.htm?rid=100&gxipageid=JPID-3-127.0.0.1:50000-100-";
  const std::string url = OnlyReply(result).url.value_or("");
  ASSERT_EQ(url.substr(0, prefix.size()), prefix);
  const std::string digits = url.substr(prefix.size());
  EXPECT_EQ(digits.size(), 64u);
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
  EXPECT_EQ(stepRecords(result, "GXIPAGEIDs"), std::vector<std::string>{url.substr(url.find("JPID"))});

  // A success page too long for the address is cut at 511 characters, never beyond.
  const std::string longPage = "/" + std::string(600, 'p');
  RequestResult cut = join("Login", {{"success", longPage}});
  EXPECT_EQ(OnlyReply(cut).url, longPage.substr(0, 511));
}

TEST_F(JoinTest, AJoinFitsAOneMegabyteThreadStack) {
  addServer({{"stats", 1}, {"ticket", 1}, {"page-id", 1}},
            {{"GXStats", "1"}, {"GXStatRestrictArrayString", "KILLS [1, -1]"}, {"PLoad", "OMX"}});
  sql(6, "INSERT INTO stats_player_var (pload, cid, chid, varname, value) VALUES ('OMX', 1, 7, 'KILLS', 5);");
  logIn();
  request(form("Stat"));
  struct Run {
    JoinTest* test;
    RequestResult result;
  } run{this, {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1024 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes,
                           [](void* arg) -> void* {
                             Run* r = static_cast<Run*>(arg);
                             r->result = r->test->request(form("Stat"));
                             return nullptr;
                           },
                           &run),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(OnlyReply(run.result).word, "SUCCESS");
}

// ---- Waiting line ------------------------------------------------------------------------

TEST_F(JoinTest, AStatJoinWaitsInLineAndIsAdmitted) {
  addServer({{"queued", 1}, {"places", 0}});
  omserver::CookieJar ahead;
  for (const auto& [name, value] : NameValues{{"OMV", "31"}, {"OMI", "1"}, {"OMD", "8"}, {"CHAR", "Vix"}}) ahead.set(name, value);
  request(form("Auth"), 1, &ahead);
  ASSERT_EQ(OnlyReply(request(form("Auth"), 1, &ahead)).word, "RELAY") << "the player ahead waits";

  logIn();
  RequestResult first = request(form("Stat"));
  EXPECT_EQ(OnlyReply(first).text, "Contacting game server....");

  const std::string cancel = "<br><A HREF=\"/join.dll?action=CANCEL\">Click here to cancel</A></CENTER>";
  RequestResult poll1 = request(form("Stat"));
  const omserver::ReplyCall& waiting = OnlyReply(poll1);
  EXPECT_EQ(waiting.word, "RELAY");
  EXPECT_EQ(waiting.msgbase, "/relay.htm");
  EXPECT_EQ(waiting.text, "<center>Waiting to join \"Alpha\".<br>Please wait, there is one person in front of you.<br>" + cancel);
  EXPECT_EQ(waiting.target, "/join.dll");
  EXPECT_EQ(waiting.delay, 5);
  EXPECT_EQ(conversationEnd(poll1), 0);
  const std::string ticket = jar.get("OMJoin.dll:LTAG");
  ASSERT_NE(ticket, "");

  // The player ahead gives up; the next poll moves up with the same ticket.
  RequestResult gaveUp = request(form("Auth", {{"action", "cancel"}}), 1, &ahead);
  EXPECT_EQ(OnlyReply(gaveUp).call, "Redirect");
  EXPECT_EQ(OnlyReply(gaveUp).word, "FAILURE");
  EXPECT_EQ(OnlyReply(gaveUp).url, "/fail.htm");
  EXPECT_EQ(conversationEnd(gaveUp), 1);

  RequestResult poll2 = request(form("Stat"));
  EXPECT_EQ(OnlyReply(poll2).text, "<center>Waiting to join \"Alpha\".<br>Please wait, you are next in line.<br>" + cancel);
  EXPECT_EQ(jar.get("OMJoin.dll:LTAG"), ticket) << "no new ticket while waiting";
  EXPECT_TRUE(joinLog().empty()) << "nothing is logged while waiting";

  ASSERT_EQ(services::AdmitHead(host, kRid), ticket);
  RequestResult admitted = request(form("Stat"));
  ExpectAdmitted(admitted, "/ok.htm?rid=100", "admitted from the line");
  EXPECT_EQ(conversationEnd(admitted), 1);
  for (const char* name : {"OMPCID", "OMNAMEINFO", "OMSQUADINFO", "PUBPCID", "OMTI", "OMTV"}) {
    EXPECT_NE(jar.get(name), "") << name;
  }
  EXPECT_EQ(jar.get("OMTI"), scalar(2, "SELECT statticketid FROM statticket"));
  EXPECT_EQ(jar.get("OMTV"), scalar(2, "SELECT statticketvalue FROM statticket"));
  EXPECT_EQ(Unseal(jar.get("OMNAMEINFO"), kKey), std::string("Fox\0", 4)) << "the game server reads the player's name";
  EXPECT_EQ(Unseal(jar.get("OMPCID"), kKey), kPcid);
  ASSERT_EQ(joinLog().size(), 1u);
  EXPECT_EQ(joinLog()[0].detail, "STAT rid=100, pcid=\"A00000042\", pfid=27");
}

TEST_F(JoinTest, TheWaitingTextCountsThePeopleInFront) {
  addServer({{"queued", 1}});
  int32_t position = 0;
  slots = [&position](HostApi& api) {
    static int32_t* place;
    place = &position;
    api.QueuePoll = [](HostApi*, const char*, int32_t, int32_t* state, int32_t* pos, int32_t*) -> int32_t {
      *state = 1;
      *pos = *place;
      return 0;
    };
  };
  struct Case {
    int32_t position;
    const char* sentence;
  } cases[] = {
      {3, "Please wait, there are 2 people in front of you."},
      {2, "Please wait, there is one person in front of you."},
      {1, "Please wait, you are next in line."},
      {0, "Please wait, there are -1 people in front of you."},
      {-4, "Please wait, there are -5 people in front of you."},
      {12, "Please wait, there are 11 people in front of you."},
  };
  request(form("Auth"));
  for (const Case& c : cases) {
    position = c.position;
    RequestResult result = request(form("Auth"));
    EXPECT_NE(OnlyReply(result).text.value_or("").find(c.sentence), std::string::npos)
        << "position " << c.position << ": " << OnlyReply(result).text.value_or("");
  }
}

TEST_F(JoinTest, TheWaitingTextNeverOutgrowsItsBuffer) {
  addServer({{"queued", 1}, {"places", 0}});
  pageUrl = "/" + std::string(5000, 'u');
  request(form("Auth"));
  RequestResult result = request(form("Auth"));
  EXPECT_EQ(OnlyReply(result).word, "RELAY");
  EXPECT_EQ(OnlyReply(result).text.value_or("").size(), 4095u);
}

TEST_F(JoinTest, TheLinesRefusalsAndSilence) {
  addServer({{"queued", 1}, {"places", 0}});
  struct Poll {
    int32_t result;
    int32_t state;
  };
  static Poll answer;
  slots = [](HostApi& api) {
    api.QueuePoll = [](HostApi*, const char*, int32_t, int32_t* state, int32_t*, int32_t*) -> int32_t {
      if (answer.state != -99) *state = answer.state;
      return answer.result;
    };
  };
  struct Case {
    Poll poll;
    int32_t code;
    int32_t end;
    const char* what;
  } cases[] = {
      {{0, -1}, 3213, 0, "the line does not know the server"},
      {{0, -2}, 3214, 0, "the wait ended"},
      {{0, -99}, 1203, 1, "no answer: the state stays -3"},
      {{0, 7}, 1203, 1, "an unknown state"},
      {{-1, 0}, 1203, 1, "a negative result, whatever the state says"},
      {{-1, 1}, 1203, 1, "a negative result while waiting"},
  };
  for (const Case& c : cases) {
    jar = omserver::CookieJar();
    answer = c.poll;
    request(form("Auth"));
    RequestResult result = request(form("Auth"));
    ExpectFailure(result, c.code, "/fail.htm", c.what);
    EXPECT_EQ(conversationEnd(result), c.end) << c.what;
  }

  // The stand-in's own line: a wait it ends answers -2.
  slots = [](HostApi&) {};
  jar = omserver::CookieJar();
  request(form("Auth"));
  request(form("Auth"));
  ASSERT_TRUE(services::EndWait(host, jar.get("OMJoin.dll:LTAG")));
  ExpectFailure(request(form("Auth")), 3214, "/fail.htm", "ended by the line");

  for (const char* slot : {"QueueEnter", "QueueCancel"}) {
    jar = omserver::CookieJar();
    services::SetSlotFailing(host, slot, true);
    request(form("Auth"));
    ExpectFailure(request(form("Auth", {{"action", "CANCEL"}})), std::string(slot) == "QueueEnter" ? 1201 : 1202,
                  "/fail.htm", slot);
    services::SetSlotFailing(host, slot, false);
  }
}

TEST_F(JoinTest, CancelOnlyCountsOnAQueuedServerAndLoginComesFirst) {
  addServer();
  ExpectAdmitted(join("Auth", {{"action", "cancel"}}), "/ok.htm?rid=100", "a server that does not queue");

  addServer({{"queued", 1}, {"places", 0}});
  jar = omserver::CookieJar();
  RequestResult noLogin = join("Login");
  ExpectFailure(noLogin, 3207, "/login.htm", "the login is checked before the line");
  EXPECT_TRUE(services::QueueEntries(host).empty());

  // A server that stops queueing lets the waiting player through at the next poll.
  logIn();
  request(form("Login"));
  EXPECT_EQ(OnlyReply(request(form("Login"))).word, "RELAY");
  services::SetServerField(host, kRid, "queued", "0");
  ExpectAdmitted(request(form("Login")), "/ok.htm?rid=100", "after the server stopped queueing");
}

}  // namespace
}  // namespace omtest
