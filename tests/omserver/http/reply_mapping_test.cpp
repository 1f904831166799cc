// From a plug-in's replies to what the browser receives: redirects with cookies, relay pages
// that lead on by themselves, message pages with the message base's text, the escaping of
// everything that is not the plug-in's own markup, and the reply variables of a client call.
#include <gtest/gtest.h>

#include "http_text.h"
#include "reply_page.h"
#include "test_support.h"

namespace omserver::http {
namespace {

class ReplyMappingTest : public ::testing::Test {
 protected:
  omtest::TempDir data;
  Site site{std::filesystem::path(OM_SOURCE_DIR) / "omserver" / "site", data.path()};
  RequestSpec incoming;

  static ReplyCall Respond(const char* word, std::optional<std::string> msgbase, int32_t code,
                           std::optional<std::string> text, std::optional<std::string> target, int32_t delay) {
    ReplyCall call;
    call.call = "Respond";
    call.word = word;
    call.msgbase = std::move(msgbase);
    call.code = code;
    call.text = std::move(text);
    call.target = std::move(target);
    call.delay = delay;
    return call;
  }
  static ReplyCall Redirect(const char* word, std::optional<std::string> url) {
    ReplyCall call;
    call.call = "Redirect";
    call.word = word;
    call.url = std::move(url);
    return call;
  }
  static std::vector<std::string> Headers(const HttpReply& reply, const std::string& name) {
    std::vector<std::string> values;
    for (const auto& [key, value] : reply.headers) {
      if (key == name) values.push_back(value);
    }
    return values;
  }
};

TEST_F(ReplyMappingTest, RedirectSendsTheBrowserOnWithEveryCookieTheReplySet) {
  RequestResult result;
  result.replies.push_back(Redirect("SUCCESS", "/x.htm"));
  result.cookies = {{"GT", "7"}, {"OMJoin.dll:LTAG", "T 1;x"}, {"PUBPCID", ""}};
  HttpReply reply = MapReply(site, "OMPrepare", incoming, result);
  EXPECT_EQ(reply.status, 302);
  EXPECT_EQ(Headers(reply, "Location"), std::vector<std::string>{"/x.htm"});
  EXPECT_EQ(Headers(reply, "Set-Cookie"),
            (std::vector<std::string>{"GT=7; Path=/", "OMJoin.dll:LTAG=T%201%3Bx; Path=/", "PUBPCID=; Path=/"}));
  EXPECT_EQ(reply.summary, "SUCCESS");
  // What the browser sends back reads as the plug-in's own text again.
  NameValues back = ParseCookieHeader("GT=7; OMJoin.dll:LTAG=T%201%3Bx; PUBPCID=");
  EXPECT_EQ(back, result.cookies);
}

TEST_F(ReplyMappingTest, RelayPageLeadsOnToItsTargetAfterItsDelay) {
  RequestResult result;
  result.replies.push_back(Respond("RELAY", "/relay.html", 0, "<center>Waiting to join \"Alpha\".<br>", "/OMJoin", 5));
  result.cookies = {{"OMJOINSESSIONTAG", "S1"}};
  HttpReply reply = MapReply(site, "OMJoin", incoming, result);
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find("<meta http-equiv=\"refresh\" content=\"5;url=/OMJoin\">"), std::string::npos) << reply.body;
  EXPECT_NE(reply.body.find("href=\"/OMJoin\""), std::string::npos) << "a link for a browser that does not refresh";
  EXPECT_NE(reply.body.find("<center>Waiting to join \"Alpha\".<br>"), std::string::npos) << "the plug-in's markup stays";
  EXPECT_EQ(Headers(reply, "Set-Cookie"), std::vector<std::string>{"OMJOINSESSIONTAG=S1; Path=/"});
  EXPECT_EQ(Headers(reply, "Cache-Control"), std::vector<std::string>{"no-store"});
  EXPECT_EQ(reply.summary, "RELAY");
}

TEST_F(ReplyMappingTest, RelayWithoutPageOrTextUsesTheSiteRelayPage) {
  RequestResult result;
  result.replies.push_back(Respond("RELAY", std::nullopt, 0, std::nullopt, "/next.htm", 0));
  HttpReply reply = MapReply(site, "OMPrepare", incoming, result);
  EXPECT_NE(reply.body.find("content=\"0;url=/next.htm\""), std::string::npos) << reply.body;
  EXPECT_NE(reply.body.find("Please wait...."), std::string::npos);
}

TEST_F(ReplyMappingTest, MessagePageShowsTheCodeTextTheLiteralMarkupAndEscapesTheRest) {
  RequestResult result;
  result.replies.push_back(Respond("FAILURE", "/msgbase.html", 3207, "Try <a href=\"/login.html\">again</a>.<br>",
                                   "/fail.html?a=1&b=\"2\"", -1));
  result.replyVars = {{"charactername", "<script>x</script>"}};
  HttpReply reply = MapReply(site, "OMCharacter", incoming, result);
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find(site.message(3207)), std::string::npos);
  EXPECT_NE(reply.body.find("Try <a href=\"/login.html\">again</a>.<br>"), std::string::npos);
  EXPECT_NE(reply.body.find("href=\"/fail.html?a=1&amp;b=&quot;2&quot;\""), std::string::npos) << reply.body;
  EXPECT_NE(reply.body.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(reply.body.find("<script>"), std::string::npos);
  EXPECT_EQ(reply.body.find("http-equiv=\"refresh\""), std::string::npos) << "delay -1 waits for the reader";
  EXPECT_EQ(reply.summary, "FAILURE 3207");
}

TEST_F(ReplyMappingTest, EveryFrameworkCodeHasTheSitesOwnText) {
  for (int32_t code : {1002, 1003, 1004, 1005, 1012, 1101, 1102, 1104, 1200, 1201, 1202, 1203, 1206, 2008, 3207, 3234,
                       3300, 3400, 4000, 4001, 4002, 4005, 4008}) {
    EXPECT_TRUE(site.hasMessage(code)) << code;
  }
  EXPECT_NE(site.message(9999).find("9999"), std::string::npos) << "an unknown code still tells which it was";
}

TEST_F(ReplyMappingTest, TargetsThatAreNotAddressesAreNotFollowed) {
  RequestResult relay;
  relay.replies.push_back(Respond("RELAY", "/relay.html", 0, "x", "javascript:alert(1)", 0));
  HttpReply page = MapReply(site, "OMJoin", incoming, relay);
  EXPECT_EQ(page.body.find("javascript:"), std::string::npos) << page.body;
  EXPECT_EQ(page.body.find("http-equiv=\"refresh\""), std::string::npos);

  RequestResult redirect;
  redirect.replies.push_back(Redirect("SUCCESS", "data:text/html,x"));
  EXPECT_EQ(MapReply(site, "OMPrepare", incoming, redirect).status, 502);
  RequestResult empty;
  empty.replies.push_back(Redirect("SUCCESS", ""));
  EXPECT_EQ(MapReply(site, "OMPrepare", incoming, empty).status, 502);
}

TEST_F(ReplyMappingTest, NoReplyIsAServerFailureAndTheFirstOfTwoRepliesWins) {
  RequestResult none;
  none.cookies = {{"OMHOST", "1"}};
  HttpReply failed = MapReply(site, "OMHost", incoming, none);
  EXPECT_EQ(failed.status, 500);
  EXPECT_NE(failed.body.find("without sending a reply"), std::string::npos);
  EXPECT_EQ(Headers(failed, "Set-Cookie").size(), 1u) << "cookies still reach the browser";

  RequestResult twice;
  twice.replies.push_back(Respond("FAILURE", "/msgbase.html", 3206, std::nullopt, "/f.html", -1));
  twice.replies.push_back(Redirect("FAILURE", "/nodb.html"));
  HttpReply first = MapReply(site, "OMJoin", incoming, twice);
  EXPECT_EQ(first.status, 200);
  EXPECT_NE(first.body.find(site.message(3206)), std::string::npos);
}

TEST_F(ReplyMappingTest, ClientCallGetsTheReplyVariablesAsLines) {
  incoming.kind = 2;
  RequestResult result;
  result.replies.push_back(Redirect("SUCCESS", "/joined.html?rid=7"));
  result.replyVars = {{"IpAndPort", "10.0.0.5:7777"}, {"GSID", "a\nb\\c"}, {"Lan", "0"}};
  HttpReply reply = MapReply(site, "OMJoin", incoming, result);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.contentType, "text/plain; charset=utf-8");
  EXPECT_EQ(reply.body, "IpAndPort=10.0.0.5:7777\nGSID=a\\nb\\\\c\nLan=0\n");
  EXPECT_EQ(Headers(reply, "X-Orbitmere-Reply"), std::vector<std::string>{"SUCCESS"});
  EXPECT_EQ(Headers(reply, "X-Orbitmere-Target"), std::vector<std::string>{"/joined.html?rid=7"});
}

TEST(HttpTextTest, FormsQueriesAndTargets) {
  EXPECT_EQ(ParseUrlEncoded("a=1&b=x+y%21&c&=z&a=2&d=%zz%4"),
            (NameValues{{"a", "1"}, {"b", "x y!"}, {"c", ""}, {"a", "2"}, {"d", "%zz%4"}}));
  EXPECT_EQ(ParseCookieHeader(" A=1;B = \"q\" ;broken; C=%41%3D"), (NameValues{{"A", "1"}, {"B", "q"}, {"C", "A="}}));
  EXPECT_EQ(CookieDecode(CookieEncode("100% \"é\",;\\", false)), "100% \"é\",;\\");
  EXPECT_EQ(HtmlEscape("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
  struct Case {
    const char* url;
    bool safe;
  } cases[] = {{"/x.htm", true},          {"x.htm?a=b:c", true},     {"http://o.example/a", true},
               {"HTTPS://o.example", true}, {"javascript:alert(1)", false}, {"JavaScript:x", false},
               {"data:text/html,x", false}, {"/a\r\nSet-Cookie: x", false}};
  for (const Case& c : cases) EXPECT_EQ(IsSafeTarget(c.url), c.safe) << c.url;
  EXPECT_EQ(ParseClientAddress("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ParseClientAddress("::ffff:10.1.2.3"), 0x0A010203u);
  EXPECT_EQ(ParseClientAddress("fe80::1"), std::nullopt);
}

}  // namespace
}  // namespace omserver::http
