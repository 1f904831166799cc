// `omserver serve`: the stand-in page server over HTTP. Every plug-in of the plug-in
// directory answers at a path of its own ("/OMAccount" for browsers, "/client/OMAccount" for
// the game client); the site directory's pages and templates make up the rest of the site.
#ifndef OM_OMSERVER_HTTP_PAGE_SERVER_H
#define OM_OMSERVER_HTTP_PAGE_SERVER_H

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <httplib.h>

#include "host.h"
#include "landing_store.h"
#include "plugin.h"
#include "reply_page.h"
#include "site.h"
#include "worker_pool.h"

namespace omserver::http {

struct ServeOptions {
  std::filesystem::path dataDir = "data";
  std::string address = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::filesystem::path pluginDir;
  std::filesystem::path siteDir;
  size_t threads = 8;
  size_t stackBytes = WorkerPool::kDefaultStackBytes;
};

// The cookie by which the server knows a browser between a plug-in's reply and the page the
// browser lands on next.
inline constexpr const char* kSiteCookie = "OMSITE";

class PageServer {
 public:
  // Opens the data directory, reads the site and loads every plug-in of the plug-in
  // directory (a file that is not a page plug-in is noted in the log and left out).
  PageServer(ServeOptions options, std::ostream& log);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Binds the listening socket; returns the port. Throws std::runtime_error when it cannot.
  int bind();
  // Serves until stop(); requests arriving between bind() and run() wait in the backlog.
  void run();
  // Ends run(): the requests in progress are finished first. Safe from any thread.
  void stop();

  std::vector<std::string> pluginNames() const;
  Host& host() { return host_; }

 private:
  void serve(const httplib::Request& request, httplib::Response& response);
  HttpReply route(const httplib::Request& request, const std::string& browser, const NameValues& cookies);
  HttpReply runPlugin(const Plugin& plugin, int32_t kind, const httplib::Request& request, const std::string& browser,
                      const NameValues& cookies);
  HttpReply sitePage(const std::string& path, const httplib::Request& request, const std::string& browser,
                     const NameValues& cookies);
  void logLine(const std::string& line);

  ServeOptions options_;
  std::ostream& log_;
  std::mutex logMutex_;
  Host host_;
  Site site_;
  LandingStore landings_;
  std::map<std::string, std::unique_ptr<Plugin>> plugins_;
  httplib::Server server_;
  std::atomic<bool> stopping_{false};
};

// The plug-in directory of the build this program belongs to (../plugins beside bin/), and
// the site directory: omserver/site of the source tree, found beside the build or compiled in.
std::filesystem::path DefaultPluginDir();
std::filesystem::path DefaultSiteDir();

}  // namespace omserver::http

#endif
