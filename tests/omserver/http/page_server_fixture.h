// The page server on a free loopback port with a fresh data directory, for the tests over
// real HTTP, and the helpers they share to read its answers.
#ifndef OM_TESTS_OMSERVER_HTTP_PAGE_SERVER_FIXTURE_H
#define OM_TESTS_OMSERVER_HTTP_PAGE_SERVER_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "page_server.h"
#include "test_support.h"

namespace omserver::http {

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

}  // namespace omserver::http

#endif
