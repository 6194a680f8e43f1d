#include <brasko/loader_progress.h>

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

bool LoaderProgress::openingFile(const std::string&) {
  return true;
}
bool LoaderProgress::tryLoader(const std::string&) {
  return true;
}
bool LoaderProgress::progress(const std::string&, std::int64_t, std::int64_t) {
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
