// The page framework through real requests of the stand-in host, using OMTestPage: page
// variables across the requests of a conversation, the reply-page check, the stages, the
// reply forms, the login cookies and what reaches CloseSession.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page_requests.h"
#include "test_support.h"

namespace {

using omserver::NameValues;
using omserver::RequestResult;
using omserver::RequestSpec;

constexpr char kTag[] = "OMTestPage.dll:SESSIONTAG";
constexpr char kCookie[] = "OMTESTPAGESESSIONTAG";

NameValues ReplyPages() {
  return {{"success", "/s.htm"}, {"failure", "/f.htm"}, {"msgbase", "m"}, {"relay", "/r.htm"}};
}

RequestSpec Request(NameValues query) {
  RequestSpec incoming;
  incoming.query = std::move(query);
  return incoming;
}

NameValues With(NameValues base, const NameValues& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

std::string Var(const RequestResult& result, const std::string& name) {
  return result.replyVar(name).value_or("<unset>");
}

const omserver::SessionOutcome& OnlySession(const RequestResult& result) {
  static const omserver::SessionOutcome kNone{};
  EXPECT_EQ(result.sessions.size(), 1u);
  return result.sessions.empty() ? kNone : result.sessions.front();
}

class PageTest : public ::testing::Test {
 protected:
  omtest::TempDir dir;
  omserver::Host host{dir.path()};
  std::unique_ptr<omserver::Plugin> plugin = omtest::LoadPlugin("OMTestPage");
  omtest::Browser browser{host, *plugin};

  std::map<std::string, std::string> stored() {
    return omserver::StoredSessionVars(host, omserver::SessionKind::Browser, kTag, browser.jar().get(kCookie));
  }
};

TEST_F(PageTest, FirstRequestTakesTheRequestAndSavesAtOnceLaterRequestsKeepIt) {
  std::string longNote(600, 'n');
  RequestResult first = browser.visit(Request(With(ReplyPages(), {{"action", "redirect"},
                                                                 {"number", "12abc"},
                                                                 {"small", "200"},
                                                                 {"note", longNote},
                                                                 {"private:secret", "from the request"},
                                                                 {"hidden", "h"},
                                                                 {"overflow", "o"}})));
  const omserver::ReplyCall& relay = omtest::OnlyReply(first);
  EXPECT_EQ(relay.word, "RELAY");
  EXPECT_EQ(relay.msgbase, "/r.htm");
  EXPECT_EQ(relay.text, "Testing....");
  EXPECT_EQ(relay.target, "/OMTestPage");
  EXPECT_EQ(relay.delay, 5);
  // LoadVars wrote the new session before the page logic ran: stage still 0.
  EXPECT_EQ(Var(first, "session.stage"), "0");
  EXPECT_EQ(Var(first, "session.success"), "/s.htm");
  EXPECT_EQ(Var(first, "number"), "12");
  EXPECT_EQ(Var(first, "small"), "-56");
  EXPECT_EQ(Var(first, "note"), std::string(511, 'n'));
  EXPECT_EQ(Var(first, "private:secret"), "kept") << "a private variable never comes from the request";
  EXPECT_EQ(Var(first, "hidden"), "h");
  EXPECT_EQ(Var(first, "overflow"), "") << "the 33rd registration is not managed";
  EXPECT_EQ(Var(first, "vars"), "32");
  EXPECT_TRUE(OnlySession(first).isNew);
  EXPECT_EQ(OnlySession(first).end, 0);

  std::map<std::string, std::string> session = stored();
  EXPECT_EQ(session["private:stage"], "1");
  EXPECT_EQ(session["success"], "/s.htm");
  EXPECT_EQ(session["small"], "-56") << "a byte is saved as its signed value";
  EXPECT_EQ(session["number"], "12");
  EXPECT_EQ(session.count("hidden"), 0u);
  EXPECT_EQ(session.count("overflow"), 0u);

  RequestResult second = browser.visit(Request({{"success", "/other.htm"}, {"number", "99"}}));
  const omserver::ReplyCall& done = omtest::OnlyReply(second);
  EXPECT_EQ(done.call, "Redirect");
  EXPECT_EQ(done.word, "SUCCESS");
  EXPECT_EQ(done.url, "/s.htm") << "the first request's pages stay in force";
  EXPECT_EQ(Var(second, "number"), "12");
  EXPECT_EQ(Var(second, "small"), "-56");
  EXPECT_EQ(Var(second, "hidden"), "") << "kept out of the session and of the defaults";
  EXPECT_FALSE(OnlySession(second).isNew);
  EXPECT_EQ(OnlySession(second).end, 1);
}

TEST_F(PageTest, NumbersAreReadAsDecimalsWithClamping) {
  struct Case {
    const char* number;
    const char* expectedNumber;
    const char* small;
    const char* expectedSmall;
  };
  const Case cases[] = {
      {" -7", "-7", "127", "127"},          {"abc", "0", "128", "-128"},
      {"+5x", "5", "255", "-1"},            {"99999999999", "2147483647", "-129", "127"},
      {"-99999999999", "-2147483648", "", "0"},
  };
  for (const Case& c : cases) {
    omtest::Browser visitor(host, *plugin);
    RequestResult result = visitor.visit(
        Request(With(ReplyPages(), {{"action", "redirect"}, {"number", c.number}, {"small", c.small}})));
    EXPECT_EQ(Var(result, "number"), c.expectedNumber) << "number \"" << c.number << "\"";
    EXPECT_EQ(Var(result, "small"), c.expectedSmall) << "small \"" << c.small << "\"";
  }
}

TEST_F(PageTest, BrowserRequestsMustNameTheReplyPagesFailureFirst) {
  struct Case {
    const char* name;
    NameValues query;
    int32_t code;
  };
  const Case cases[] = {
      {"no pages", {}, 1003},
      {"success missing", {{"failure", "/f"}, {"msgbase", "m"}, {"relay", "/r"}}, 1002},
      {"msgbase missing", {{"failure", "/f"}, {"success", "/s"}, {"relay", "/r"}}, 1004},
      {"relay missing", {{"failure", "/f"}, {"success", "/s"}, {"msgbase", "m"}}, 1005},
  };
  for (const Case& c : cases) {
    omtest::Browser visitor(host, *plugin);
    RequestResult result = visitor.visit(Request(With(c.query, {{"action", "redirect"}})));
    const omserver::ReplyCall& reply = omtest::OnlyReply(result);
    EXPECT_EQ(reply.word, "FAILURE") << c.name;
    EXPECT_EQ(reply.code, c.code) << c.name;
    EXPECT_FALSE(reply.msgbase.has_value()) << c.name;
    EXPECT_FALSE(reply.target.has_value()) << c.name;
    EXPECT_EQ(reply.delay, -1) << c.name;
    EXPECT_EQ(OnlySession(result).end, 1) << c.name;
  }

  RequestSpec caller = Request({{"action", "redirect"}});
  caller.kind = 2;
  EXPECT_EQ(omtest::OnlyReply(browser.visit(caller)).word, "RELAY") << "a reply-variable caller needs no pages";
}

TEST_F(PageTest, FailedInitClosesWithOneAndSavesNothing) {
  // A conversation already under way whose session lost its failure page.
  omtest::PlantSession(host, browser.jar(), kTag, kCookie, "S0000010000000000000001",
                       {{"private:stage", "1"}, {"success", "/s"}, {"msgbase", "m"}, {"relay", "/r"},
                        {"action", "redirect"}});
  RequestResult result = browser.visit(Request(ReplyPages()));
  EXPECT_EQ(omtest::OnlyReply(result).code, 1003);
  EXPECT_FALSE(OnlySession(result).isNew);
  EXPECT_EQ(OnlySession(result).end, 1);
  EXPECT_EQ(OnlySession(result).varsWritten, 0);

  // On a new session only LoadVars has written (32 variables less "hidden").
  omtest::Browser newcomer(host, *plugin);
  RequestResult refused = newcomer.visit(Request(With(ReplyPages(), {{"action", "no such action"}})));
  const omserver::ReplyCall& reply = omtest::OnlyReply(refused);
  EXPECT_EQ(reply.code, 1104);
  EXPECT_FALSE(reply.msgbase.has_value());
  EXPECT_EQ(OnlySession(refused).end, 1);
  EXPECT_EQ(OnlySession(refused).varsWritten, 31);
}

TEST_F(PageTest, ActionsAreFoundIgnoringCase) {
  RequestResult result = browser.visit(Request(With(ReplyPages(), {{"action", "SucceedText"}})));
  EXPECT_EQ(omtest::OnlyReply(result).word, "RELAY");
  EXPECT_EQ(omtest::OnlyReply(browser.visit(Request({}))).text, "Done.");
}

TEST_F(PageTest, AStageBeyondTheLastIsRefusedWith1101AndTheVariablesAreStillSaved) {
  omtest::PlantSession(host, browser.jar(), kTag, kCookie, "S0000070000000000000007",
                       {{"private:stage", "7"}, {"success", "/s"}, {"failure", "/f"}, {"msgbase", "m"},
                        {"relay", "/r"}, {"action", "redirect"}});
  RequestResult result = browser.visit(Request({}));
  const omserver::ReplyCall& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.word, "FAILURE");
  EXPECT_EQ(reply.code, 1101);
  EXPECT_FALSE(reply.msgbase.has_value());
  EXPECT_FALSE(reply.target.has_value());
  EXPECT_EQ(OnlySession(result).end, 1);
  EXPECT_EQ(OnlySession(result).varsWritten, 31);
}

TEST_F(PageTest, TheReplyFormsOfTheWorkingStage) {
  struct Case {
    const char* action;
    NameValues extra;
    omserver::ReplyCall expected;
  };
  auto respond = [](const char* word, const char* msgbase, int32_t code, std::optional<std::string> text,
                    const char* target) {
    omserver::ReplyCall call;
    call.call = "Respond";
    call.word = word;
    call.msgbase = msgbase;
    call.code = code;
    call.text = std::move(text);
    call.target = target;
    call.delay = -1;
    return call;
  };
  omserver::ReplyCall redirect;
  redirect.call = "Redirect";
  redirect.word = "SUCCESS";
  redirect.url = "/s.htm";
  const Case cases[] = {
      {"code", {}, respond("FAILURE", "m", 4321, std::nullopt, "/f.htm")},
      {"text", {}, respond("FAILURE", "m", 0, "Bad.", "/f.htm")},
      {"textsuccess", {}, respond("FAILURE", "m", 0, "Bad.", "/s.htm")},
      {"succeedtext", {}, respond("SUCCESS", "m", 0, "Done.", "/s.htm")},
      {"login", {}, respond("FAILURE", "m", 3207, std::nullopt, "/f.htm")},
      {"login", {{"start", "/login.htm"}}, respond("FAILURE", "m", 3207, std::nullopt, "/login.htm")},
      {"redirect", {}, redirect},
  };
  for (const Case& c : cases) {
    omtest::Browser visitor(host, *plugin);
    visitor.visit(Request(With(With(ReplyPages(), c.extra), {{"action", c.action}})));
    RequestResult result = visitor.visit(Request({}));
    const omserver::ReplyCall& reply = omtest::OnlyReply(result);
    std::string name = std::string(c.action) + (c.extra.empty() ? "" : " with start");
    EXPECT_EQ(reply.call, c.expected.call) << name;
    EXPECT_EQ(reply.word, c.expected.word) << name;
    EXPECT_EQ(reply.url, c.expected.url) << name;
    EXPECT_EQ(reply.msgbase, c.expected.msgbase) << name;
    EXPECT_EQ(reply.code, c.expected.code) << name;
    EXPECT_EQ(reply.text, c.expected.text) << name;
    EXPECT_EQ(reply.target, c.expected.target) << name;
    EXPECT_EQ(reply.delay, c.expected.delay) << name;
    EXPECT_EQ(OnlySession(result).end, 1) << name;
  }
}

TEST_F(PageTest, LoginCookies) {
  struct Case {
    const char* name;
    NameValues cookies;
    const char* login;
    const char* cid;
    const char* loginWithoutName;
  };
  const Case cases[] = {
      {"login value 0 stops at the first cookie", {{"OMV", "0"}, {"OMI", "5"}, {"OMD", "9"}, {"CHAR", "Fox"}}, "0", "0", "0"},
      {"letters read as 0", {{"OMV", "abc"}, {"OMI", "5"}, {"OMD", "9"}, {"CHAR", "Fox"}}, "0", "0", "0"},
      {"no character cookie", {{"OMV", "3"}, {"OMI", "5"}, {"OMD", "9"}}, "0", "5", "1"},
      {"complete", {{"OMV", "3"}, {"OMI", "5"}, {"OMD", "9"}, {"CHAR", "Fox"}}, "1", "5", "1"},
      {"negative character", {{"OMV", "3"}, {"OMI", "5"}, {"OMD", "-9"}, {"CHAR", "Fox"}}, "0", "5", "0"},
  };
  for (const Case& c : cases) {
    omtest::Browser visitor(host, *plugin);
    for (const auto& [name, value] : c.cookies) visitor.jar().set(name, value);
    RequestResult result = visitor.visit(Request(With(ReplyPages(), {{"action", "redirect"}})));
    EXPECT_EQ(Var(result, "login"), c.login) << c.name;
    EXPECT_EQ(Var(result, "login.cid"), c.cid) << c.name;
    EXPECT_EQ(Var(result, "loginWithoutName"), c.loginWithoutName) << c.name;
  }
  omtest::Browser visitor(host, *plugin);
  for (const auto& [name, value] : NameValues{{"OMV", "3"}, {"OMI", "5"}, {"OMD", "9"}, {"CHAR", "Fox Two"}}) {
    visitor.jar().set(name, value);
  }
  RequestResult result = visitor.visit(Request(With(ReplyPages(), {{"action", "redirect"}})));
  EXPECT_EQ(Var(result, "login.value"), "3");
  EXPECT_EQ(Var(result, "login.chid"), "9");
  EXPECT_EQ(Var(result, "login.name"), "Fox Two");
}

TEST_F(PageTest, NoSessionGetsThePageOwnReplyAndNoClose) {
  RequestResult result = omtest::RunWithSlots(host, *plugin, browser.jar(), Request(ReplyPages()), [](HostApi& api) {
    api.OpenSession = [](HostApi*, const char*, const char*) -> SessionHandle* { return nullptr; };
  });
  const omserver::ReplyCall& reply = omtest::OnlyReply(result);
  EXPECT_EQ(reply.word, "FAILURE");
  EXPECT_EQ(reply.code, 0);
  EXPECT_EQ(reply.text, "Unable to open up session.");
  EXPECT_FALSE(reply.msgbase.has_value());
  EXPECT_FALSE(reply.target.has_value());
  EXPECT_TRUE(result.sessions.empty());
  EXPECT_EQ(result.bodyResult, 0);
}

}  // namespace
