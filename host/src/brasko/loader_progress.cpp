#include <brasko/loader_progress.h>
#include <brasko/progress_reporter.h>

namespace Brasko {

const char* Interface::interfaceName() const {
  return "Brasko::Interface";
}

bool Interface::apply_const(const std::function<void(const Interface&)>& visitor) const {
  if (!visitor) return false;
  visitor(*this);
  return true;
}

bool Interface::apply(const std::function<void(Interface&)>& visitor) {
  if (!visitor) return false;
  visitor(*this);
  return true;
}

Interface::~Interface() = default;

LoaderProgress::LoaderProgress() = default;
LoaderProgress::~LoaderProgress() = default;

const char* LoaderProgress::interfaceName() const {
  return "Brasko::LoaderProgress";
}

// The base passes reports on to whoever listens to the current thread, and
// asks to stop once whoever the thread works for gave up.
bool LoaderProgress::openingFile(const std::string& path) {
  if (StopRequested()) return false;
  if (auto* reporter = CurrentProgressReporter()) reporter->report("Opening " + path, -1, 0);
  return true;
}
bool LoaderProgress::tryLoader(const std::string&) {
  return true;
}
bool LoaderProgress::progress(const std::string& text, std::int64_t done, std::int64_t total) {
  if (StopRequested()) return false;
  if (auto* reporter = CurrentProgressReporter()) reporter->report(text, done, total);
  return true;
}
bool LoaderProgress::message(const std::string&) {
  return true;
}
bool LoaderProgress::notice(const std::string&) {
  return true;
}
bool LoaderProgress::abort_on_issue(const std::string&) {
  return false;
}

}  // namespace Brasko
