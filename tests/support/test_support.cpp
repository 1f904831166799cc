#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace omtest {

std::string PluginPath(const std::string& name) { return std::string(OM_PLUGIN_DIR) + "/" + name + ".so"; }

std::unique_ptr<omserver::Plugin> LoadPlugin(const std::string& name) {
  std::string error;
  auto plugin = omserver::Plugin::load(PluginPath(name), error);
  EXPECT_NE(plugin, nullptr) << error;
  return plugin;
}

TempDir::TempDir() {
  static std::atomic<int> serial{0};
  path_ = std::filesystem::temp_directory_path() /
          ("omtest-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

omserver::RequestResult Browser::visit(omserver::RequestSpec incoming) {
  for (const auto& [name, value] : jar_.cookies()) {
    bool given = false;
    for (const auto& [known, unused] : incoming.cookies) given = given || known == name;
    if (!given) incoming.cookies.emplace_back(name, value);
  }
  if (incoming.pageUrl.empty()) incoming.pageUrl = "/" + plugin_.name();
  omserver::RequestResult result = host_.run(plugin_, incoming);
  jar_.absorb(result);
  return result;
}

const omserver::ReplyCall& OnlyReply(const omserver::RequestResult& result) {
  static const omserver::ReplyCall kNone{};
  EXPECT_EQ(result.replies.size(), 1u) << "expected exactly one reply";
  return result.replies.empty() ? kNone : result.replies.front();
}

CommandResult RunOmserver(const std::string& arguments) {
  TempDir scratch;
  std::string out = (scratch.path() / "out").string();
  std::string err = (scratch.path() / "err").string();
  std::string command = std::string(OM_SERVER_BIN) + " " + arguments + " >" + out + " 2>" + err;
  int raw = std::system(command.c_str());
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

}  // namespace omtest
