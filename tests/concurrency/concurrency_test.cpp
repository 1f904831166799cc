// Many visitors at once through one stand-in host: every thread runs whole conversations of
// every page plug-in (each request its own Host::run, each visitor its own cookies), all on
// one shared Host and one loaded copy of each plug-in. Every conversation must end as
// designed with its own visitor's values. Built under ThreadSanitizer by the tsan preset,
// where any data race in the host, the framework or a plug-in fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "conversations.h"
#include "db/schema.h"
#include "test_support.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;  // conversations of each row per thread

TEST(Concurrency, ManyVisitorsAtOnceEachGetTheirOwnDesignedReplies) {
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  omserver::db::FillDemo(host);  // the accounts and players the database conversations use
  omtest::AddJoinServer(host);   // the game server OMJoin's conversation joins
  std::map<std::string, std::unique_ptr<omserver::Plugin>> plugins;
  for (const omtest::ConversationRow& row : omtest::Conversations()) {
    if (!plugins.count(row.plugin)) plugins[row.plugin] = omtest::LoadPlugin(row.plugin);
    ASSERT_NE(plugins[row.plugin], nullptr) << row.plugin;
  }

  std::mutex errorsMutex;
  std::vector<std::string> errors;
  std::atomic<int> completed{0};
  std::atomic<int> ready{0};
  auto visitorThread = [&](int thread) {
    ready.fetch_add(1);
    while (ready.load() < kThreads) std::this_thread::yield();  // start together
    const auto& rows = omtest::Conversations();
    for (int round = 0; round < kRounds; ++round) {
      for (size_t r = 0; r < rows.size(); ++r) {
        // Interleave the rows differently on each thread.
        const omtest::ConversationRow& row = rows[(r + static_cast<size_t>(thread + round)) % rows.size()];
        const int visitor = thread * 1000 + round * 10 + static_cast<int>(r);
        omtest::Browser browser(host, *plugins.at(row.plugin));
        std::vector<omtest::ConversationStep> steps = row.steps(visitor);
        for (size_t s = 0; s < steps.size(); ++s) {
          std::string error = steps[s].check(browser.visit(steps[s].request));
          if (!error.empty()) {
            std::lock_guard<std::mutex> lock(errorsMutex);
            errors.push_back(std::string(row.name) + ", visitor " + std::to_string(visitor) + ", request " +
                             std::to_string(s + 1) + ": " + error);
            break;
          }
        }
        completed.fetch_add(1);
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(visitorThread, t);
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(completed.load(), kThreads * kRounds * static_cast<int>(omtest::Conversations().size()));
  for (const std::string& error : errors) ADD_FAILURE() << error;
  EXPECT_TRUE(errors.empty()) << errors.size() << " conversations went wrong";
}

}  // namespace
