#include <brasko/progress_reporter.h>

namespace Brasko {

namespace {
thread_local ProgressReporter* current = nullptr;
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

}  // namespace Brasko
