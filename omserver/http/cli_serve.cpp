#include "cli_serve.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "page_server.h"

namespace omserver::cli {
namespace {

// "ADDR:PORT", "ADDR" or ":PORT" into the listening address and port.
void ParseListen(const std::string& text, std::string& address, int& port) {
  size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  std::string portText = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  if (!host.empty()) address = host;
  if (!portText.empty()) {
    size_t used = 0;
    int value = -1;
    try {
      value = std::stoi(portText, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != portText.size() || value < 0 || value > 65535) {
      throw UsageError("--listen needs ADDR:PORT such as 127.0.0.1:8080, not \"" + text + "\"");
    }
    port = value;
  }
}

}  // namespace

int RunServe(const Args& args) {
  http::ServeOptions options;
  options.pluginDir = http::DefaultPluginDir();
  options.siteDir = http::DefaultSiteDir();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--data") {
      options.dataDir = TakeValue(args, i);
    } else if (option == "--listen") {
      ParseListen(TakeValue(args, i), options.address, options.port);
    } else if (option == "--plugins") {
      options.pluginDir = TakeValue(args, i);
    } else if (option == "--site") {
      options.siteDir = TakeValue(args, i);
    } else if (option == "--threads") {
      std::string value = TakeValue(args, i);
      try {
        options.threads = static_cast<size_t>(std::stoul(value));
      } catch (const std::exception&) {
        throw UsageError("--threads needs a number, not \"" + value + "\"");
      }
      if (options.threads == 0 || options.threads > 256) throw UsageError("--threads needs 1 to 256");
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (!std::filesystem::is_directory(options.siteDir)) {
    throw std::runtime_error("no site directory at \"" + options.siteDir.string() + "\" (give one with --site)");
  }

  // The request threads inherit this mask, so only the waiting thread below sees the signals.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  http::PageServer server(options, std::cerr);
  int port = server.bind();
  std::string pluginList;
  for (const std::string& name : server.pluginNames()) pluginList += " " + name;
  std::cerr << "plug-ins:" << (pluginList.empty() ? " none" : pluginList) << " (from " << options.pluginDir.string() << ")\n"
            << "site: " << options.siteDir.string() << ", data: " << options.dataDir.string() << "\n";
  std::cout << "Serving the Orbitmere site on http://" << options.address << ":" << port << "/" << std::endl;

  std::atomic<bool> finished{false};
  std::thread waiter([&] {
    int received = 0;
    sigwait(&signals, &received);
    if (finished) return;
    std::cerr << "stopping (signal " << received << ")" << std::endl;
    // stop() has no effect until the server is listening, so it is repeated until it is done.
    while (!finished) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  server.run();
  finished = true;
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  std::cerr << "stopped" << std::endl;
  return 0;
}

}  // namespace omserver::cli
