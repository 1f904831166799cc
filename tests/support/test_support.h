// What plug-in and host tests share: where the built plug-ins are, a fresh data directory
// per test, and a browser that keeps its cookies across the requests of a conversation.
#ifndef OM_TESTS_TEST_SUPPORT_H
#define OM_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "cookie_jar.h"
#include "host.h"
#include "plugin.h"
#include "request.h"

namespace omtest {

// Path of a built plug-in, e.g. PluginPath("OMPrepare").
std::string PluginPath(const std::string& name);
// Loads a built plug-in; fails the test when it cannot.
std::unique_ptr<omserver::Plugin> LoadPlugin(const std::string& name);

// A data directory of its own for each test, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A browser: sends its cookies with every request and keeps the cookies of every reply.
class Browser {
 public:
  Browser(omserver::Host& host, const omserver::Plugin& plugin) : host_(host), plugin_(plugin) {}
  omserver::RequestResult visit(omserver::RequestSpec incoming);
  omserver::CookieJar& jar() { return jar_; }

 private:
  omserver::Host& host_;
  const omserver::Plugin& plugin_;
  omserver::CookieJar jar_;
};

// The reply of a request that must have exactly one.
const omserver::ReplyCall& OnlyReply(const omserver::RequestResult& result);

// Runs the omserver program with arguments; returns its exit status, standard output and
// standard error.
struct CommandResult {
  int status;
  std::string out;
  std::string err;
};
CommandResult RunOmserver(const std::string& arguments);

}  // namespace omtest

#endif
