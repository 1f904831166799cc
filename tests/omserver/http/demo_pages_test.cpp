// The site's own pages over real HTTP: the mail outbox shows what the host's mail service
// took, the game servers page changes servers, lines and products through the host
// services (and refuses bad forms without changing anything), and the login stand-in sets
// the four login cookies from the account database.
#include <gtest/gtest.h>

#include <string>

#include "db/schema.h"
#include "http_text.h"
#include "page_server_fixture.h"
#include "services/services.h"
#include "sqlite_db.h"

namespace omserver::http {
namespace {

constexpr const char* kForm = "application/x-www-form-urlencoded";

std::string CookieValue(const httplib::Result& result, const std::string& name) {
  auto range = result->headers.equal_range("Set-Cookie");
  for (auto it = range.first; it != range.second; ++it) {
    const std::string& cookie = it->second;
    if (cookie.rfind(name + "=", 0) == 0) return cookie.substr(name.size() + 1, cookie.find(';') - name.size() - 1);
  }
  return "(none)";
}

TEST_F(PageServerTest, MailOutboxShowsEveryMailEscapedNewestFirstWithItsLinksIntoTheSite) {
  start();
  auto c = client();
  auto empty = c.Get("/mail.html");
  ASSERT_TRUE(empty);
  EXPECT_NE(empty->body.find("No mail has been sent yet."), std::string::npos);

  ASSERT_TRUE(c.Post("/OMHttpProbe", httplib::Params{{"mailto", "ann@example.org"}, {"mailn", "1"}, {"mailbody", "first"}}));
  ASSERT_TRUE(c.Post("/OMHttpProbe",
                     httplib::Params{{"mailto", "bob@example.org"},
                                     {"mailn", "2"},
                                     {"mailbody",
                                      "Your code: <b>4711</b>\r\n<a href=\"https://www.orbitmere.example/activateaccount.htm?"
                                      "email=bob@example.org&activationcode=4711\">link</a> "
                                      "<a href=\"javascript:alert(1)\">bad</a>"}}));
  ASSERT_EQ(services::Mails(server->host()).size(), 2u);

  auto page = c.Get("/mail.html");
  ASSERT_TRUE(page);
  const std::string& html = page->body;
  size_t second = html.find("Probe 2"), first = html.find("Probe 1");
  ASSERT_NE(second, std::string::npos) << html;
  ASSERT_NE(first, std::string::npos) << html;
  EXPECT_LT(second, first) << "newest first";
  EXPECT_NE(html.find("ann@example.org"), std::string::npos);
  EXPECT_NE(html.find("Your code: &lt;b&gt;4711&lt;/b&gt;"), std::string::npos) << "the body is shown as text";
  EXPECT_EQ(html.find("<b>4711</b>"), std::string::npos);
  EXPECT_NE(html.find("href=\"/activateaccount.htm?email=bob@example.org&amp;activationcode=4711\""), std::string::npos)
      << "the activation link opens on this site: " << html;
  EXPECT_EQ(html.find("href=\"javascript"), std::string::npos) << "only safe links become links";
}

TEST_F(PageServerTest, ServersPageChangesServersLinesAndProductsThroughTheHostServices) {
  start();
  auto c = client();
  Host& host = server->host();
  auto post = [&](const std::string& action, const httplib::Params& form) {
    auto result = c.Post("/servers/" + action, form);
    EXPECT_TRUE(result) << action;
    return result;
  };
  auto done = [&](const std::string& action, const httplib::Params& form) {
    auto result = post(action, form);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 303) << action << ": " << result->body;
    EXPECT_EQ(result->get_header_value("Location").rfind("/servers.html?note=", 0), 0u) << action;
  };

  done("add", {{"rid", "7"}, {"gsid", "G7"}, {"name", "Tide <7>"}, {"fields", "queued=1 own=1 places=0 address=10.0.0.5 port=27000"},
               {"vars", "Exp=X1\r\nPLoad=GX\r\n"}});
  std::vector<services::ServerConfig> servers = services::Servers(host);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].gsid, "G7");
  EXPECT_EQ(servers[0].name, "Tide <7>");
  EXPECT_EQ(servers[0].fields["queued"], 1);
  EXPECT_EQ(servers[0].fields["address"], 0x0A000005);
  EXPECT_EQ(servers[0].vars.size(), 2u);
  auto page = c.Get("/servers.html");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("Tide &lt;7&gt;"), std::string::npos) << "names are escaped";
  EXPECT_NE(page->body.find("address=10.0.0.5"), std::string::npos) << "addresses read as dotted text";
  EXPECT_NE(page->body.find("id=\"admit-7\""), std::string::npos);

  done("set", {{"rid", "7"}, {"field", "name"}, {"value", "Tide"}});
  done("set", {{"rid", "7"}, {"field", "baffle-address"}, {"value", "10.0.0.9"}});
  done("var", {{"rid", "7"}, {"name", "Exp"}, {"remove", "1"}});
  done("places", {{"rid", "7"}, {"places", "2"}});
  done("product", {{"pfid", "26"}, {"entries", "26:1 27:3"}});
  servers = services::Servers(host);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].name, "Tide");
  EXPECT_EQ(servers[0].fields["baffle-address"], 0x0A000009);
  EXPECT_EQ(servers[0].fields["places"], 2);
  ASSERT_EQ(servers[0].vars.size(), 1u);
  EXPECT_EQ(servers[0].vars[0].first, "PLoad");
  auto products = services::Products(host);
  ASSERT_EQ(products[26].size(), 2u);
  EXPECT_EQ(products[26][1].pfid, 27);
  EXPECT_EQ(products[26][1].features, 3);

  auto admit = post("admit", {{"rid", "7"}});
  ASSERT_TRUE(admit);
  EXPECT_NE(UrlDecode(admit->get_header_value("Location")).find("Server 7: nobody is waiting."), std::string::npos)
      << admit->get_header_value("Location");

  // Bad forms: a clear page, and nothing changed.
  struct Refusal {
    const char* action;
    httplib::Params form;
    int status;
    const char* says;
  };
  const Refusal refusals[] = {
      {"add", {{"rid", "x"}, {"gsid", "G8"}}, 400, "whole number"},
      {"add", {{"rid", "0"}, {"gsid", "G8"}}, 400, "rid other than 0"},
      {"add", {{"rid", "8"}, {"gsid", "G7"}}, 400, "belongs to server 7"},
      {"add", {{"rid", "8"}, {"gsid", "G8"}, {"fields", "queued"}}, 400, "NAME=N"},
      {"add", {{"rid", "8"}, {"gsid", "G8"}, {"fields", "colour=3"}}, 400, "No server field"},
      {"set", {{"rid", "7"}, {"field", "address"}, {"value", "10.0.0"}}, 400, "A.B.C.D"},
      {"set", {{"rid", "9"}, {"field", "name"}, {"value", "Nine"}}, 400, "No server with rid 9"},
      {"places", {{"rid", "7"}, {"places", "-1"}}, 400, "fewer than 0"},
      {"places", {{"rid", "7"}, {"places", "99999999999"}}, 400, "whole number"},
      {"product", {{"pfid", "26"}, {"entries", "26:x"}}, 400, "PFID:FEATURES"},
      {"var", {{"rid", "7"}, {"name", ""}}, 400, "needs a name"},
      {"launch", {{"rid", "7"}}, 404, "no action"},
  };
  for (const Refusal& refusal : refusals) {
    auto result = post(refusal.action, refusal.form);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, refusal.status) << refusal.action << " " << refusal.says;
    EXPECT_NE(result->body.find(refusal.says), std::string::npos) << refusal.action << ": " << result->body;
  }
  servers = services::Servers(host);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].fields["places"], 2);
  EXPECT_EQ(services::Products(host)[26].size(), 2u);

  done("remove", {{"rid", "7"}});
  EXPECT_TRUE(services::Servers(host).empty());
}

TEST_F(PageServerTest, LoginSetsTheFourCookiesForAnActiveAccountAndRefusesEveryOtherOne) {
  start();
  auto c = client();
  auto early = c.Post("/login", "handle=alice&password=wonder1", kForm);
  ASSERT_TRUE(early);
  EXPECT_EQ(early->status, 503);
  EXPECT_NE(early->body.find("init-db --demo"), std::string::npos) << early->body;

  db::FillDemo(server->host());
  {
    SqliteDb db = db::OpenDatabase(server->host(), db::kAccountDatabase);
    // zoe: no player; yuri: a primary player that is not the default, and one before it by name.
    db.exec(
        "INSERT INTO login (cid, handle, password, email, status, state) VALUES "
        "(40, 'zoe', 'pw40', 'zoe@example.com', 'A', 'A'), (41, 'yuri', 'pw41', 'yuri@example.com', 'A', 'A');"
        "INSERT INTO character (chid, cid, name, isdefault, state) VALUES (50, 41, 'Zed', 'n', 'A'), (51, 41, 'Amy', 'n', 'A');"
        "INSERT INTO primarycharacter (cid, chid) VALUES (41, 50);");
  }

  auto ok = c.Post("/login", "handle=alice&password=wonder1&next=/players.html", kForm);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 302);
  EXPECT_EQ(ok->get_header_value("Location"), "/players.html");
  EXPECT_EQ(CookieValue(ok, "OMI"), "1");
  EXPECT_EQ(CookieValue(ok, "OMD"), "1") << "alice's default player";
  EXPECT_EQ(CookieValue(ok, "CHAR"), "Fox");
  {
    SqliteDb db = db::OpenDatabase(server->host(), db::kAccountDatabase);
    auto value = db.scalarText("SELECT value FROM loginvalue WHERE cid = 1 ORDER BY rowid DESC LIMIT 1");
    ASSERT_TRUE(value);
    EXPECT_NE(*value, "1001") << "a new login value per login";
    EXPECT_EQ(CookieValue(ok, "OMV"), *value) << "the cookie carries the stored login value";
  }

  struct Case {
    const char* form;
    const char* omd;   // "(none)": no login cookies at all
    const char* name;
    const char* says;
  };
  const Case cases[] = {
      {"handle=zoe&password=pw40", "2147483647", "", nullptr},  // a number that names no player
      {"handle=yuri&password=pw41", "50", "Zed", nullptr},      // the primary player before the first by name
      {"handle=alice&password=wrong", "(none)", "", "do not match"},
      {"handle=alice&password=", "(none)", "", "account name and password"},
      {"handle=bruno&password=pending1", "(none)", "", "activation"},
      {"handle=carla&password=locked1", "(none)", "", "suspended"},
      {"handle=dmitri&password=gone1", "(none)", "", "marked for deletion"},
      {"handle=alice'--&password=x", "(none)", "", "do not match"},
  };
  for (const Case& test : cases) {
    auto result = c.Post("/login", test.form, kForm);
    ASSERT_TRUE(result) << test.form;
    EXPECT_EQ(CookieValue(result, "OMD"), test.omd) << test.form;
    if (test.says == nullptr) {
      EXPECT_EQ(result->status, 302) << test.form;
      EXPECT_EQ(CookieValue(result, "CHAR"), test.name) << test.form;
      EXPECT_NE(CookieValue(result, "OMV"), "(none)") << test.form;
    } else {
      EXPECT_EQ(result->status, 200) << test.form;
      EXPECT_EQ(CookieValue(result, "OMV"), "(none)") << test.form;
      EXPECT_NE(result->body.find(test.says), std::string::npos) << test.form << ": " << result->body;
    }
  }
}

}  // namespace
}  // namespace omserver::http
