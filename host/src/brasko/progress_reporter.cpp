#include <brasko/progress_reporter.h>

namespace Brasko {

namespace {
thread_local ProgressReporter* current = nullptr;
thread_local const std::atomic<bool>* stopFlag = nullptr;
}  // namespace

ProgressReporter::~ProgressReporter() = default;

ProgressReporter* CurrentProgressReporter() noexcept {
  return current;
}

ScopedProgressReporter::ScopedProgressReporter(ProgressReporter* reporter) noexcept
    : previous_(current) {
  current = reporter;
}

ScopedProgressReporter::~ScopedProgressReporter() {
  current = previous_;
}

bool StopRequested() noexcept {
  return stopFlag && stopFlag->load(std::memory_order_relaxed);
}

ScopedStopFlag::ScopedStopFlag(const std::atomic<bool>* flag) noexcept : previous_(stopFlag) {
  stopFlag = flag;
}

ScopedStopFlag::~ScopedStopFlag() {
  stopFlag = previous_;
}

}  // namespace Brasko
