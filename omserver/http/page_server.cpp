#include "page_server.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "demo_pages.h"
#include "http_text.h"

#ifndef OM_SITE_DIR
#define OM_SITE_DIR ""
#endif

namespace omserver::http {
namespace {

// Files of the site directory that are served as they are, by their content type.
struct StaticType {
  const char* extension;
  const char* contentType;
};
const StaticType kStaticTypes[] = {
    {".css", "text/css; charset=utf-8"}, {".png", "image/png"},      {".svg", "image/svg+xml"},
    {".ico", "image/x-icon"},            {".txt", "text/plain; charset=utf-8"}, {nullptr, nullptr},
};

std::filesystem::path ExecutableDir() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path() : exe.parent_path();
}

std::string NewBrowserId() {
  std::random_device random;
  char id[40];
  std::snprintf(id, sizeof id, "%08x%08x%08x%08x", random(), random(), random(), random());
  return id;
}

std::string QueryOf(const std::string& target) {
  size_t mark = target.find('?');
  if (mark == std::string::npos) return {};
  return target.substr(mark + 1, target.find('#', mark) - mark - 1);
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The site path of an address a reply leads to ("/players.html?x=1" gives "/players.html");
// empty for an address elsewhere.
std::string SitePath(const std::string& address) {
  std::string path = address.substr(0, address.find_first_of("?#"));
  if (path.empty() || path[0] != '/' || StartsWith(path, "//")) return {};
  return path == "/" ? std::string("/index.html") : path;
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

std::filesystem::path DefaultPluginDir() { return ExecutableDir().parent_path() / "plugins"; }

std::filesystem::path DefaultSiteDir() {
  // build/<preset>/bin/omserver in the source tree: the site is three levels up.
  std::filesystem::path beside = ExecutableDir().parent_path().parent_path().parent_path() / "omserver" / "site";
  if (std::filesystem::is_directory(beside)) return beside;
  return OM_SITE_DIR;
}

PageServer::PageServer(ServeOptions options, std::ostream& log)
    : options_(std::move(options)), log_(log), host_(options_.dataDir), site_(options_.siteDir, options_.dataDir) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(options_.pluginDir, error)) {
    if (entry.path().extension() != ".so") continue;
    std::string why;
    std::unique_ptr<Plugin> plugin = Plugin::load(entry.path().string(), why);
    if (!plugin) {
      logLine("skipped " + entry.path().filename().string() + ": " + why);
      continue;
    }
    std::string name = plugin->name();
    plugins_[name] = std::move(plugin);
  }
  if (error) throw std::runtime_error("cannot read the plug-in directory " + options_.pluginDir.string() + ": " + error.message());

  size_t threads = options_.threads == 0 ? 1 : options_.threads;
  size_t stackBytes = options_.stackBytes;
  server_.new_task_queue = [threads, stackBytes] { return new WorkerPool(threads, stackBytes); };
  server_.set_keep_alive_timeout(2);
  // A reply goes out at once on a kept-alive connection instead of waiting for the
  // browser's acknowledgement of the previous packet.
  server_.set_tcp_nodelay(true);
  server_.set_payload_max_length(1u << 20);
  server_.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) { serve(request, response); });
  server_.Post(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) { serve(request, response); });
}

PageServer::~PageServer() { stop(); }

std::vector<std::string> PageServer::pluginNames() const {
  std::vector<std::string> names;
  for (const auto& [name, plugin] : plugins_) names.push_back(name);
  return names;
}

int PageServer::bind() {
  int port = options_.port;
  if (port == 0) {
    port = server_.bind_to_any_port(options_.address);
    if (port < 0) throw std::runtime_error("cannot listen on " + options_.address + " (any port)");
  } else if (!server_.bind_to_port(options_.address, port)) {
    throw std::runtime_error("cannot listen on " + options_.address + ":" + std::to_string(port));
  }
  return port;
}

void PageServer::run() {
  if (!stopping_) server_.listen_after_bind();
}

void PageServer::stop() {
  stopping_ = true;
  server_.stop();
}

void PageServer::logLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(logMutex_);
  log_ << line << std::endl;
}

void PageServer::serve(const httplib::Request& request, httplib::Response& response) {
  auto started = std::chrono::steady_clock::now();
  std::string cookieHeader;
  auto range = request.headers.equal_range("Cookie");
  for (auto it = range.first; it != range.second; ++it) cookieHeader += (cookieHeader.empty() ? "" : "; ") + it->second;
  NameValues cookies;
  std::string browser;
  for (auto& [name, value] : ParseCookieHeader(cookieHeader)) {
    if (name == kSiteCookie) {
      browser = value;
    } else {
      cookies.emplace_back(std::move(name), std::move(value));
    }
  }
  bool newBrowser = browser.empty() || browser.size() > 64;
  if (newBrowser) browser = NewBrowserId();

  HttpReply reply;
  try {
    reply = route(request, browser, cookies);
  } catch (const std::exception& error) {
    reply = ErrorPage(site_, 500, "Server failure", "The server could not answer this request.");
    logLine("  failure: " + std::string(error.what()));
  }

  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  if (newBrowser) response.set_header("Set-Cookie", std::string(kSiteCookie) + "=" + browser + "; Path=/; HttpOnly; SameSite=Lax");
  response.set_content(reply.body, reply.contentType);

  long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  logLine(UtcNow() + " " + request.method + " " + request.path + " " + std::to_string(reply.status) + " " +
          (reply.summary.empty() ? "-" : reply.summary) + " " + std::to_string(ms) + "ms");
}

HttpReply PageServer::route(const httplib::Request& request, const std::string& browser, const NameValues& cookies) {
  const std::string& path = request.path;
  if (StartsWith(path, "/client/")) {
    auto found = plugins_.find(path.substr(8));
    if (found != plugins_.end()) return runPlugin(*found->second, 2, request, browser, cookies);
  } else if (path.size() > 1) {
    auto found = plugins_.find(path.substr(1));
    if (found != plugins_.end()) return runPlugin(*found->second, 1, request, browser, cookies);
  }
  if (path == "/login" && request.method == "POST") return Login(site_, host_, ParseUrlEncoded(request.body));
  if (StartsWith(path, "/servers/") && request.method == "POST") {
    return ServersAction(site_, host_, path.substr(9), ParseUrlEncoded(request.body));
  }
  if (path == "/logout") return Logout(site_);
  if (request.method == "POST") return ErrorPage(site_, 405, "Not here", "Nothing on this site takes a form at " + path + ".");
  return sitePage(path == "/" ? std::string("/index.html") : path, request, browser, cookies);
}

HttpReply PageServer::runPlugin(const Plugin& plugin, int32_t kind, const httplib::Request& request,
                                const std::string& browser, const NameValues& cookies) {
  // A plug-in request is a step of a conversation: a HEAD must not take one unseen.
  if (request.method == "HEAD") return ErrorPage(site_, 405, "Not here", "The pages answer GET and POST only.");
  RequestSpec incoming;
  incoming.kind = kind;
  incoming.pageUrl = request.path;
  incoming.clientAddress = ParseClientAddress(request.remote_addr).value_or(0);
  incoming.clientPort = request.remote_port;
  incoming.source1 = site_.source1(request.path);
  if (incoming.source1.empty() && kind == 2) incoming.source1 = site_.source1("/" + plugin.name());
  incoming.query = ParseUrlEncoded(QueryOf(request.target));
  if (request.method == "POST") {
    std::string type = request.get_header_value("Content-Type");
    if (StartsWith(type, "application/x-www-form-urlencoded")) {
      incoming.form = ParseUrlEncoded(request.body);
    } else if (!request.body.empty()) {
      return ErrorPage(site_, 415, "Form not understood",
                       "The pages take forms sent as application/x-www-form-urlencoded, not \"" + type + "\".");
    }
  }
  incoming.cookies = cookies;

  RequestResult result = host_.run(plugin, incoming);
  for (const std::string& note : result.hostLog) logLine("  " + plugin.name() + ": " + note);
  bool relay = !result.replies.empty() && result.replies.front().word.value_or("") == "RELAY";
  if (!relay && kind == 1) {
    const ReplyCall* call = result.replies.empty() ? nullptr : &result.replies.front();
    std::string target = call == nullptr ? "" : call->call == "Redirect" ? call->url.value_or("") : call->target.value_or("");
    landings_.put(browser, Landing{SitePath(target), plugin.name(), result.replyVars, result.body});
  }
  HttpReply reply = MapReply(site_, plugin.name(), incoming, result);
  if (result.replies.size() > 1) reply.summary += " (+" + std::to_string(result.replies.size() - 1) + " ignored)";
  return reply;
}

HttpReply PageServer::sitePage(const std::string& path, const httplib::Request& request, const std::string& browser,
                               const NameValues& cookies) {
  std::optional<std::filesystem::path> file = site_.file(path);
  if (!file) return ErrorPage(site_, 404, "Not found", "There is no page " + path + " on this site.");
  std::string extension = file->extension().string();
  HttpReply reply;
  reply.summary = "page";
  if (extension == ".html" || extension == ".htm") {
    std::optional<std::string> text = Site::read(*file);
    if (!text) return ErrorPage(site_, 500, "Unreadable page", "The page " + path + " cannot be read.");
    PageValues values;
    std::optional<Landing> landing = landings_.get(browser);
    if (landing && landing->page == path) {
      values.replyVars = landing->replyVars;
      values.body = landing->body;
    }
    values.cookies = cookies;
    values.query = ParseUrlEncoded(QueryOf(request.target));
    PlaceholderFn extra = [this](const std::string& name, const std::string& argument) -> std::optional<std::string> {
      if (name == "plugins") {
        std::string list;
        for (const auto& [pluginName, plugin] : plugins_) {
          list += "<li><code>/" + HtmlEscape(pluginName) + "</code> " + HtmlEscape(plugin->info().version) + "</li>";
        }
        return list.empty() ? std::string("<li>none</li>") : list;
      }
      if (name == "has") return plugins_.count(argument) ? std::string("yes") : std::string("no");
      if (name == "panel" && argument == "mail") return MailPanel(host_);
      if (name == "panel" && argument == "servers") return ServersPanel(host_);
      return std::nullopt;
    };
    reply.body = RenderPage(site_, *text, values, &extra);
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
  }
  for (const StaticType* type = kStaticTypes; type->extension != nullptr; ++type) {
    if (extension != type->extension) continue;
    std::optional<std::string> content = Site::read(*file);
    if (!content) break;
    reply.body = *content;
    reply.contentType = type->contentType;
    return reply;
  }
  return ErrorPage(site_, 404, "Not found", "There is no page " + path + " on this site.");
}

}  // namespace omserver::http
