#include "worker_pool.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace omserver::http {

WorkerPool::WorkerPool(size_t threads, size_t stackBytes) : stackBytes_(stackBytes) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  int error = pthread_attr_setstacksize(&attributes, stackBytes_);
  for (size_t i = 0; error == 0 && i < threads; ++i) {
    pthread_t thread;
    error = pthread_create(&thread, &attributes, &WorkerPool::Run, this);
    if (error == 0) threads_.push_back(thread);
  }
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    shutdown();
    throw std::runtime_error(std::string("cannot start a request thread: ") + std::strerror(error));
  }
}

WorkerPool::~WorkerPool() { shutdown(); }

void* WorkerPool::Run(void* pool) {
  static_cast<WorkerPool*>(pool)->work();
  return nullptr;
}

void WorkerPool::enqueue(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void WorkerPool::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (pthread_t thread : threads_) pthread_join(thread, nullptr);
  threads_.clear();
}

void WorkerPool::work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A connection's task that throws ends that connection only, never the worker.
    }
  }
}

}  // namespace omserver::http
