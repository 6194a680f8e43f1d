#include <dravo-host/worker_pool.h>

#include <algorithm>

namespace dravo::host {

namespace {

PoolLimits Sane(PoolLimits limits) {
  limits.coreThreads = std::max<std::size_t>(limits.coreThreads, 1);
  limits.maxThreads = std::max(limits.maxThreads, limits.coreThreads);
  limits.maxQueued = std::max<std::size_t>(limits.maxQueued, 1);
  return limits;
}

}  // namespace

WorkerPool::WorkerPool(PoolLimits limits) : limits_(Sane(limits)) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < limits_.coreThreads; ++i) startThread(true);
}

WorkerPool::~WorkerPool() {
  std::list<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  wake_.notify_all();
  room_.notify_all();
  for (auto& thread : threads) thread.join();
}

void WorkerPool::post(std::function<void()> job, std::size_t cost) {
  {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return stopping_ || !full(cost); });
    jobs_.push_back({std::move(job), cost});
    queuedCost_ += cost;
    joinFinished();
    // Every thread is busy (perhaps waiting for a lock): add one rather than let this job wait.
    if (waiting_ < jobs_.size() && threads_.size() < limits_.maxThreads) startThread(false);
  }
  wake_.notify_one();
}

bool WorkerPool::hasIdleThread() {
  std::lock_guard lock(mutex_);
  return waiting_ > jobs_.size();
}

void WorkerPool::drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return jobs_.empty() && running_ == 0; });
}

bool WorkerPool::drainFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return jobs_.empty() && running_ == 0; });
}

bool WorkerPool::full(std::size_t cost) const {
  if (jobs_.empty()) return false;
  return jobs_.size() >= limits_.maxQueued || queuedCost_ + cost > limits_.maxQueuedCost;
}

void WorkerPool::startThread(bool core) {
  threads_.emplace_back([this, core] { work(core); });
}

void WorkerPool::joinFinished() {
  for (const auto id : finished_) {
    const auto found = std::find_if(threads_.begin(), threads_.end(),
                                    [&](const std::thread& t) { return t.get_id() == id; });
    if (found == threads_.end()) continue;
    found->join();  // it has left work() and needs nothing more from us
    threads_.erase(found);
  }
  finished_.clear();
}

void WorkerPool::work(bool core) {
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return stopping_ || !jobs_.empty(); };
  bool rested = true;  // nothing done since the last rest
  for (;;) {
    ++waiting_;
    bool restNow = false;
    if (!core)
      wake_.wait_for(lock, limits_.linger, ready);
    else if (rested || !limits_.onRest)
      wake_.wait(lock, ready);
    else
      restNow = !wake_.wait_for(lock, limits_.rest, ready);
    --waiting_;
    if (restNow) {
      rested = true;
      lock.unlock();
      limits_.onRest();
      lock.lock();
      continue;
    }
    if (jobs_.empty()) break;  // stopping, or an extra thread idle for too long
    rested = false;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    queuedCost_ -= job.cost;
    ++running_;
    room_.notify_one();
    lock.unlock();
    job.run();
    job.run = nullptr;  // let go of what it holds before taking the lock
    lock.lock();
    --running_;
    if (jobs_.empty() && running_ == 0) idle_.notify_all();
  }
  if (!core) finished_.push_back(std::this_thread::get_id());
}

}  // namespace dravo::host
