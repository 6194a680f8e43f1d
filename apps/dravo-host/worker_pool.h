// Threads that run queued jobs in arrival order. A fixed core of threads is
// always there; when every thread is busy and work waits, extra threads are
// started up to a bound, so that jobs stuck behind a lock cannot hold up the
// rest. Extra threads end after a short idle spell. The queue is bounded:
// `post` waits for room, which lets a reader stop taking input.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace dravo::host {

struct PoolLimits {
  std::size_t coreThreads = 4;
  std::size_t maxThreads = 64;             // core plus extra
  std::size_t maxQueued = 256;             // jobs waiting for a thread
  std::size_t maxQueuedCost = 32u << 20;   // summed cost of waiting jobs; one job always fits
  std::chrono::milliseconds linger{2000};  // how long an idle extra thread stays
  // Run by a core thread once it has had no work for `rest`, so that it can
  // give back memory it keeps for the next job.
  std::function<void()> onRest;
  std::chrono::milliseconds rest{200};
};

class WorkerPool {
 public:
  explicit WorkerPool(PoolLimits limits);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Runs what is still queued, then joins.
  ~WorkerPool();

  // Queues the job; waits while the queue is full. `cost` is what the job
  // holds in memory, in bytes.
  void post(std::function<void()> job, std::size_t cost = 0);
  // Whether a thread waits for work that nothing queued will take.
  bool hasIdleThread();
  // Waits until every job posted so far has finished.
  void drain();
  // As drain, for at most `limit`; true when everything finished.
  bool drainFor(std::chrono::milliseconds limit);

 private:
  struct Job {
    std::function<void()> run;
    std::size_t cost;
  };
  void startThread(bool core);
  void work(bool core);
  bool full(std::size_t cost) const;
  void joinFinished();

  const PoolLimits limits_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::condition_variable room_;
  std::deque<Job> jobs_;
  std::size_t queuedCost_ = 0;
  std::size_t running_ = 0;
  std::size_t waiting_ = 0;  // threads waiting for a job
  bool stopping_ = false;
  std::list<std::thread> threads_;
  std::list<std::thread::id> finished_;  // extra threads that ended, to be joined
};

}  // namespace dravo::host
