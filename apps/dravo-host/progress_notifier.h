// Turns the progress of one tools/call into notifications/progress for the
// client's token: values only ever increase, and at most one goes out per
// interval, so a converter may report as often as it likes.
#pragma once

#include <brasko/progress_reporter.h>
#include <qarn/mcp/json_value.h>

#include <chrono>
#include <functional>
#include <string>

namespace dravo::host {

class ProgressNotifier : public Brasko::ProgressReporter {
 public:
  using Send = std::function<void(const Qarn::mcp::VMCPJsonValue&)>;

  ProgressNotifier(Qarn::mcp::VMCPJsonValue token, Send send,
                   std::chrono::milliseconds interval = std::chrono::milliseconds(100));

  void report(const std::string& text, std::int64_t done, std::int64_t total) override;

 private:
  Qarn::mcp::VMCPJsonValue token_;
  Send send_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point lastSent_;
  std::int64_t lastProgress_ = -1;
  std::string pendingText_;  // a text without a count, shown with the next count
};

}  // namespace dravo::host
