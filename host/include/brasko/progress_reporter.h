// Where the progress of the work the current thread does for someone goes.
// The application sets a reporter around a call it serves (a tool call of a
// client, a conversion on the command line); the base LoaderProgress forwards
// to it, so converters report without knowing who listens.
#pragma once

#include <brasko/export.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace Brasko {

class BRASKO_API ProgressReporter {
 public:
  virtual ~ProgressReporter();
  // `done` of `total` (0: unknown); `done` < 0 for a text without a count.
  virtual void report(const std::string& text, std::int64_t done, std::int64_t total) = 0;
};

// The current thread's reporter; null when nobody listens.
BRASKO_API ProgressReporter* CurrentProgressReporter() noexcept;

// Makes a reporter the current thread's for the life of the guard.
class BRASKO_API ScopedProgressReporter {
 public:
  explicit ScopedProgressReporter(ProgressReporter* reporter) noexcept;
  ~ScopedProgressReporter();
  ScopedProgressReporter(const ScopedProgressReporter&) = delete;
  ScopedProgressReporter& operator=(const ScopedProgressReporter&) = delete;

 private:
  ProgressReporter* previous_;
};

// Whether whoever the current thread works for has given up on the work (a
// client cancelled its call). The application sets the flag around a call it
// serves; LoaderProgress then answers false, so converters stop at their
// next report without knowing who asked.
BRASKO_API bool StopRequested() noexcept;

// Makes a flag the current thread's stop flag for the life of the guard.
class BRASKO_API ScopedStopFlag {
 public:
  explicit ScopedStopFlag(const std::atomic<bool>* flag) noexcept;
  ~ScopedStopFlag();
  ScopedStopFlag(const ScopedStopFlag&) = delete;
  ScopedStopFlag& operator=(const ScopedStopFlag&) = delete;

 private:
  const std::atomic<bool>* previous_;
};

}  // namespace Brasko
