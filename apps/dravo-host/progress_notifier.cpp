#include <dravo-host/progress_notifier.h>

namespace dravo::host {

using Qarn::mcp::VMCPJsonValue;

ProgressNotifier::ProgressNotifier(VMCPJsonValue token, Send send,
                                   std::chrono::milliseconds interval)
    : token_(std::move(token)), send_(std::move(send)), interval_(interval) {}

void ProgressNotifier::report(const std::string& text, std::int64_t done, std::int64_t total) {
  if (done < 0) {
    pendingText_ = text;
    return;
  }
  if (done <= lastProgress_) return;  // the client may only see it grow
  const auto now = std::chrono::steady_clock::now();
  if (lastProgress_ >= 0 && now - lastSent_ < interval_) return;
  VMCPJsonValue message = VMCPJsonValue::MakeObject();
  message["jsonrpc"] = "2.0";
  message["method"] = "notifications/progress";
  auto& params = message["params"];
  params["progressToken"] = token_;
  params["progress"] = done;
  if (total > 0) params["total"] = total;
  const std::string& shown = text.empty() ? pendingText_ : text;
  if (!shown.empty()) params["message"] = shown;
  pendingText_.clear();
  lastProgress_ = done;
  lastSent_ = now;
  send_(message);
}

}  // namespace dravo::host
