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

#include "page_server.h"
#include "sqlite_db.h"
#include "test_support.h"

namespace omserver::http {
namespace {

class PageServerTest : public ::testing::Test {
 protected:
  void start() {
    ServeOptions options;
    options.dataDir = data.path();
    options.port = 0;
    options.pluginDir = OM_PLUGIN_DIR;
    options.siteDir = std::filesystem::path(OM_SOURCE_DIR) / "omserver" / "site";
    options.threads = 6;
    server = std::make_unique<PageServer>(options, log);
    port = server->bind();
    thread = std::thread([this] { server->run(); });
  }
  void TearDown() override {
    if (server) server->stop();
    if (thread.joinable()) thread.join();
  }
  httplib::Client client() {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(10, 0);
    c.set_url_encode(false);  // the tests write their queries encoded already
    return c;
  }
  static std::vector<std::string> Cookies(const httplib::Result& result) {
    std::vector<std::string> values;
    auto range = result->headers.equal_range("Set-Cookie");
    for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
    return values;
  }
  static bool HasCookie(const httplib::Result& result, const std::string& cookie) {
    for (const std::string& value : Cookies(result)) {
      if (value == cookie || value.rfind(cookie + ";", 0) == 0) return true;
    }
    return false;
  }

  omtest::TempDir data;
  std::ostringstream log;
  std::unique_ptr<PageServer> server;
  std::thread thread;
  int port = 0;
};

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

TEST_F(PageServerTest, MailOutboxShowsTheHostsMailTableEscapedOrSaysThereIsNone) {
  start();
  auto before = client().Get("/mail.html");
  ASSERT_TRUE(before);
  EXPECT_NE(before->body.find("keeps no mail outbox"), std::string::npos) << before->body;
  server->host().withState([](SqliteDb& db) {
    db.exec("CREATE TABLE mail_outbox (recipient TEXT, body TEXT);"
            "INSERT INTO mail_outbox VALUES ('ann@example.org', 'Your code: <b>4711</b>');");
  });
  auto after = client().Get("/mail.html");
  ASSERT_TRUE(after);
  EXPECT_NE(after->body.find("ann@example.org"), std::string::npos) << after->body;
  EXPECT_NE(after->body.find("Your code: &lt;b&gt;4711&lt;/b&gt;"), std::string::npos) << after->body;
  auto servers = client().Get("/servers.html");
  ASSERT_TRUE(servers);
  EXPECT_EQ(servers->body.find("ann@example.org"), std::string::npos) << "the mails stay on the mail page";
}

TEST_F(PageServerTest, LoginChecksTheAccountDatabaseAndSetsTheLoginCookies) {
  start();
  auto c = client();
  auto early = c.Post("/login", "handle=ann&password=pw", "application/x-www-form-urlencoded");
  ASSERT_TRUE(early);
  EXPECT_EQ(early->status, 503);
  EXPECT_NE(early->body.find("init-db --demo"), std::string::npos) << early->body;

  {
    SqliteDb db((data.path() / "db1.sqlite").string());
    db.exec(
        "CREATE TABLE login (cid INTEGER, handle TEXT, password TEXT, status TEXT);"
        "CREATE TABLE loginvalue (cid INTEGER, value INTEGER);"
        "CREATE TABLE character (chid INTEGER, cid INTEGER, name TEXT, isdefault TEXT, state TEXT);"
        "INSERT INTO login VALUES (5, 'ann', 'pw', 'A'), (6, 'bob', 'pw', 'P');"
        "INSERT INTO character VALUES (11, 5, 'Zed', 'n', 'A'), (12, 5, 'Amy', 'y', 'A'), (13, 5, 'Old', 'y', 'D');");
  }
  auto wrong = c.Post("/login", "handle=ann&password=nope", "application/x-www-form-urlencoded");
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 200);
  EXPECT_TRUE(Cookies(wrong).size() <= 1) << "no login cookies for a wrong password";
  auto pending = c.Post("/login", "handle=bob&password=pw", "application/x-www-form-urlencoded");
  ASSERT_TRUE(pending);
  EXPECT_NE(pending->body.find("activation"), std::string::npos) << pending->body;

  auto ok = c.Post("/login", "handle=ann&password=pw&next=/players.html", "application/x-www-form-urlencoded");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 302);
  EXPECT_EQ(ok->get_header_value("Location"), "/players.html");
  EXPECT_TRUE(HasCookie(ok, "OMI=5; Path=/"));
  EXPECT_TRUE(HasCookie(ok, "OMD=12; Path=/")) << "the default player";
  EXPECT_TRUE(HasCookie(ok, "CHAR=Amy; Path=/"));
  SqliteDb db((data.path() / "db1.sqlite").string());
  auto value = db.scalarText("SELECT value FROM loginvalue WHERE cid = 5");
  ASSERT_TRUE(value);
  EXPECT_TRUE(HasCookie(ok, "OMV=" + *value + "; Path=/")) << "the cookie carries the stored login value";
}

}  // namespace
}  // namespace omserver::http
