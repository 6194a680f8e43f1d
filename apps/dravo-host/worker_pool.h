// A fixed set of threads that run queued jobs in arrival order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dravo::host {

class WorkerPool {
 public:
  explicit WorkerPool(std::size_t threads);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Runs what is still queued, then joins.
  ~WorkerPool();

  void post(std::function<void()> job);
  // Waits until every job posted so far has finished.
  void drain();

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> jobs_;
  std::size_t running_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace dravo::host
