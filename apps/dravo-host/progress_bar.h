// A one-line progress bar for `dravo-host call` on a terminal: percentage,
// counts, rate and time left, redrawn at most ten times a second and wiped
// when the call ends.
#pragma once

#include <brasko/progress_reporter.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace dravo::host {

// Whether the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

class ProgressBar : public Brasko::ProgressReporter {
 public:
  explicit ProgressBar(std::FILE* out);
  ~ProgressBar() override;

  void report(const std::string& text, std::int64_t done, std::int64_t total) override;

 private:
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDrawn_;
  std::size_t width_ = 0;  // of the line on screen, to wipe it
};

// "42% [########............]  4,200,000 of 10,000,000  1.2M/s  0:05 left  text"
std::string ProgressLine(const std::string& text, std::int64_t done, std::int64_t total,
                         double seconds);

}  // namespace dravo::host
