// The request threads of the page server. The plug-ins keep their page state on the stack
// (more than 140 KB per request in the join page), so every worker gets a stack of its own
// size instead of whatever the platform's thread default happens to be.
#ifndef OM_OMSERVER_HTTP_WORKER_POOL_H
#define OM_OMSERVER_HTTP_WORKER_POOL_H

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include <httplib.h>

namespace omserver::http {

class WorkerPool : public httplib::TaskQueue {
 public:
  static constexpr size_t kDefaultStackBytes = 8u << 20;

  // Starts threads workers with stackBytes of stack each; throws std::runtime_error when a
  // thread cannot be made.
  WorkerPool(size_t threads, size_t stackBytes = kDefaultStackBytes);
  ~WorkerPool() override;

  void enqueue(std::function<void()> task) override;
  // Lets the queued tasks finish, then ends the workers.
  void shutdown() override;

  size_t stackBytes() const { return stackBytes_; }

 private:
  static void* Run(void* pool);
  void work();

  size_t stackBytes_;
  std::vector<pthread_t> threads_;
  std::deque<std::function<void()>> tasks_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace omserver::http

#endif
