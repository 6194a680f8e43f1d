#include <dravo-host/progress_bar.h>

#include <cmath>

#ifdef _WIN32
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace dravo::host {

namespace {

std::string Grouped(std::int64_t value) {
  const std::string digits = std::to_string(value);
  const std::size_t sign = digits[0] == '-' ? 1 : 0;
  std::string grouped = digits.substr(0, sign);
  for (std::size_t at = sign; at < digits.size(); ++at) {
    if (at > sign && (digits.size() - at) % 3 == 0) grouped += ',';
    grouped += digits[at];
  }
  return grouped;
}

std::string Rate(double perSecond) {
  char text[32];
  if (perSecond >= 1e6)
    std::snprintf(text, sizeof text, "%.1fM/s", perSecond / 1e6);
  else if (perSecond >= 1e3)
    std::snprintf(text, sizeof text, "%.1fk/s", perSecond / 1e3);
  else
    std::snprintf(text, sizeof text, "%.0f/s", perSecond);
  return text;
}

std::string Duration(double seconds) {
  const auto whole = std::int64_t(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                static_cast<long long>(whole % 60));
  return text;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::string ProgressLine(const std::string& text, std::int64_t done, std::int64_t total,
                         double seconds) {
  constexpr int kBarWidth = 24;
  std::string line;
  if (total > 0) {
    const double share = std::min(1.0, double(done) / double(total));
    const int filled = int(share * kBarWidth);
    line = std::to_string(int(share * 100)) + "% [" + std::string(std::size_t(filled), '#') +
           std::string(std::size_t(kBarWidth - filled), '.') + "]  " + Grouped(done) + " of " +
           Grouped(total);
  } else {
    line = Grouped(done);
  }
  const double rate = seconds > 0 ? double(done) / seconds : 0;
  if (rate > 0) line += "  " + Rate(rate);
  if (rate > 0 && total > done) line += "  " + Duration(double(total - done) / rate) + " left";
  if (!text.empty()) line += "  " + text;
  return line;
}

ProgressBar::ProgressBar(std::FILE* out) : out_(out) {}

ProgressBar::~ProgressBar() {
  if (width_ > 0) std::fprintf(out_, "\r%*s\r", int(width_), "");
  std::fflush(out_);
}

void ProgressBar::report(const std::string& text, std::int64_t done, std::int64_t total) {
  if (done < 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (width_ > 0 && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  std::string line =
      ProgressLine(text, done, total, std::chrono::duration<double>(now - start_).count());
  if (line.size() > 100) line.resize(100);  // one line on an ordinary terminal
  const std::size_t shown = line.size();
  if (shown < width_) line += std::string(width_ - shown, ' ');
  std::fprintf(out_, "\r%s", line.c_str());
  std::fflush(out_);
  width_ = std::max(width_, shown);
}

}  // namespace dravo::host
