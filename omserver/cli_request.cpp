// `omserver request`: runs one request through a plug-in and prints its outcome as JSON.
#include <iostream>

#include "cli.h"
#include "cookie_jar.h"
#include "host.h"
#include "json_output.h"
#include "plugin.h"

namespace omserver::cli {

int RunRequest(const Args& args) {
  std::string pluginPath;
  std::string dataDir = "data";
  std::string jarPath;
  bool pageUrlGiven = false;
  RequestSpec incoming;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--plugin") {
      pluginPath = TakeValue(args, i);
    } else if (option == "--data") {
      dataDir = TakeValue(args, i);
    } else if (option == "--kind") {
      std::string value = TakeValue(args, i);
      try {
        size_t used = 0;
        incoming.kind = std::stoi(value, &used);
        if (used != value.size()) throw std::invalid_argument(value);
      } catch (const std::exception&) {
        throw UsageError("--kind needs a number, not \"" + value + "\"");
      }
    } else if (option == "--page-url") {
      incoming.pageUrl = TakeValue(args, i);
      pageUrlGiven = true;
    } else if (option == "--client") {
      ParseClient(TakeValue(args, i), incoming.clientAddress, incoming.clientPort);
    } else if (option == "--src1") {
      incoming.source1.push_back(SplitAssignment(option, TakeValue(args, i)));
    } else if (option == "--query") {
      incoming.query.push_back(SplitAssignment(option, TakeValue(args, i)));
    } else if (option == "--form") {
      incoming.form.push_back(SplitAssignment(option, TakeValue(args, i)));
    } else if (option == "--cookie") {
      incoming.cookies.push_back(SplitAssignment(option, TakeValue(args, i)));
    } else if (option == "--jar") {
      jarPath = TakeValue(args, i);
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (pluginPath.empty()) throw UsageError("--plugin PATH is required");

  std::string error;
  std::unique_ptr<Plugin> plugin = Plugin::load(pluginPath, error);
  if (!plugin) throw std::runtime_error(error);
  if (!pageUrlGiven) incoming.pageUrl = "/" + plugin->name();

  CookieJar jar;
  if (!jarPath.empty()) {
    jar = CookieJar::load(jarPath);
    // Cookies named on the command line win over the jar's.
    NameValues merged = incoming.cookies;
    for (const auto& [name, value] : jar.cookies()) {
      bool given = false;
      for (const auto& [known, unused] : merged) given = given || known == name;
      if (!given) merged.emplace_back(name, value);
    }
    incoming.cookies = merged;
  }

  Host host(dataDir);
  RequestResult result = host.run(*plugin, incoming);
  std::string output = ResultJson(*plugin, result).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  if (!jarPath.empty()) {
    jar.absorb(result);
    jar.save(jarPath);
  }
  std::cout << output << "\n";
  return 0;
}

}  // namespace omserver::cli
