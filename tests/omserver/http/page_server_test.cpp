// The page server over real HTTP: the query as source 2 and the form body as source 4, the
// host variables of a path as source 1, the landing page that shows what a redirect cannot
// carry, the client path, the login stand-in, and several requests served at once.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <httplib.h>

#include "page_server_fixture.h"
#include "sqlite_db.h"
#include "test_support.h"

namespace omserver::http {
namespace {

TEST_F(PageServerTest, LaunchLinkRedirectsAndSetsItsCookie) {
  start();
  auto result = client().Get("/OMPrepare?URL=/x.htm&GT=7");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 302);
  EXPECT_EQ(result->get_header_value("Location"), "/x.htm");
  EXPECT_TRUE(HasCookie(result, "GT=7; Path=/"));
}

TEST_F(PageServerTest, FormBodyIsSourceFourAndTheQuerySourceTwo) {
  start();
  // OMPrepare reads its variables from both sources, the query first.
  auto posted = client().Post("/OMPrepare", "URL=/from-form.htm&GT=8", "application/x-www-form-urlencoded");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 302);
  EXPECT_EQ(posted->get_header_value("Location"), "/from-form.htm");
  EXPECT_TRUE(HasCookie(posted, "GT=8; Path=/"));
  auto both = client().Post("/OMPrepare?URL=/from-query.htm", "URL=/from-form.htm", "application/x-www-form-urlencoded");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->get_header_value("Location"), "/from-query.htm");

  // The probe reads each source on its own: nothing leaks from one into the other.
  auto probe = client().Post("/client/OMHttpProbe?q=in-query&f=query-not-form", "f=in-form&q=form-not-query",
                             "application/x-www-form-urlencoded");
  ASSERT_TRUE(probe);
  EXPECT_NE(probe->body.find("form=in-form\n"), std::string::npos) << probe->body;
  EXPECT_NE(probe->body.find("query=in-query\n"), std::string::npos) << probe->body;

  auto json = client().Post("/OMPrepare", "{\"URL\": \"/x.htm\"}", "application/json");
  ASSERT_TRUE(json);
  EXPECT_EQ(json->status, 415);
}

TEST_F(PageServerTest, HostVariablesOfThePathAreSourceOne) {
  std::ofstream(data.path() / "src1.json") << R"({"/OMHttpProbe": {"hostvar": "from-host"}})";
  start();
  auto page = client().Get("/client/OMHttpProbe?hostvar=from-query");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/plain; charset=utf-8");
  EXPECT_NE(page->body.find("src1=from-host\n"), std::string::npos) << page->body;
  EXPECT_EQ(page->get_header_value("X-Orbitmere-Reply"), "SUCCESS");
}

TEST_F(PageServerTest, LandingPageShowsTheReplyVariablesAndTextOfTheRedirectThatLedThere) {
  start();
  auto c = client();
  auto plugin = c.Get("/OMHttpProbe?q=%3Cb%3Ehello&to=/done.html");
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->status, 302);
  std::string site;
  for (const std::string& cookie : Cookies(plugin)) {
    if (cookie.rfind("OMSITE=", 0) == 0) site = cookie.substr(0, cookie.find(';'));
  }
  ASSERT_FALSE(site.empty()) << "the browser gets the site cookie that keys its landing";
  auto landing = c.Get("/done.html", {{"Cookie", site}});
  ASSERT_TRUE(landing);
  EXPECT_NE(landing->body.find("<b>written</b>"), std::string::npos) << "the written text is the plug-in's markup";
  EXPECT_NE(landing->body.find("&lt;b&gt;hello"), std::string::npos) << "reply variables are escaped";
  auto elsewhere = c.Get("/players.html", {{"Cookie", site}});
  ASSERT_TRUE(elsewhere);
  EXPECT_EQ(elsewhere->body.find("written"), std::string::npos) << "only the page the reply led to shows it";
  auto stranger = c.Get("/done.html");
  ASSERT_TRUE(stranger);
  EXPECT_EQ(stranger->body.find("written"), std::string::npos) << "another browser sees nothing of it";
}

TEST_F(PageServerTest, ServesSeveralRequestsAtOnceEachWithALargeStack) {
  start();
  const int requests = 5;
  auto began = std::chrono::steady_clock::now();
  std::vector<std::future<std::string>> answers;
  for (int i = 0; i < requests; ++i) {
    answers.push_back(std::async(std::launch::async, [this, i] {
      auto answer = client().Get("/client/OMHttpProbe?sleep=400&q=" + std::to_string(i));
      return answer ? answer->body : std::string("(no answer)");
    }));
  }
  for (int i = 0; i < requests; ++i) {
    std::string body = answers[static_cast<size_t>(i)].get();
    EXPECT_NE(body.find("query=" + std::to_string(i) + "\n"), std::string::npos) << body;
    EXPECT_NE(body.find("stack="), std::string::npos) << body;
  }
  auto took = std::chrono::steady_clock::now() - began;
  EXPECT_LT(took, std::chrono::milliseconds(400 * requests - 400)) << "the requests were served one after another";
}

TEST_F(PageServerTest, RepliesBecomePagesAndTheLogHasOneLinePerRequest) {
  start();
  auto c = client();
  auto relay = c.Get("/OMHttpProbe?reply=relay");
  ASSERT_TRUE(relay);
  EXPECT_NE(relay->body.find("content=\"5;url=/OMHttpProbe\""), std::string::npos) << relay->body;
  auto failure = c.Get("/OMHttpProbe?reply=fail&code=3213&text=%3Cbr%3Esee+you");
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->body.find("That game server is not available."), std::string::npos);
  EXPECT_NE(failure->body.find("<br>see you"), std::string::npos);
  auto none = c.Get("/OMHttpProbe?reply=none");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 500);
  auto twice = c.Get("/OMHttpProbe?reply=twice&to=/first.html");
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->get_header_value("Location"), "/first.html");
  auto missing = c.Get("/NoSuchPage.html");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);

  server->stop();
  thread.join();
  std::string lines = log.str();
  EXPECT_NE(lines.find("GET /OMHttpProbe 200 RELAY "), std::string::npos) << lines;
  EXPECT_NE(lines.find("GET /OMHttpProbe 200 FAILURE 3213 "), std::string::npos) << lines;
  EXPECT_NE(lines.find("GET /OMHttpProbe 500 no reply "), std::string::npos) << lines;
  EXPECT_NE(lines.find("GET /OMHttpProbe 302 SUCCESS (+1 ignored) "), std::string::npos) << lines;
  EXPECT_NE(lines.find("a second reply in one request"), std::string::npos) << "the host log notes it: " << lines;
  EXPECT_NE(lines.find("GET /NoSuchPage.html 404 "), std::string::npos) << lines;
}

}  // namespace
}  // namespace omserver::http
