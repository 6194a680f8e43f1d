#include <dravo/mcp/nutrition/tools/disabled_plugins.h>

#include <brasko/executable_dir.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace dravo::nutrition {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDisabledSuffix = ".tolm~";
constexpr int kDeepestDepth = 2;

fs::path PathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string FileNameAsUtf8(const fs::directory_entry& entry) {
  const std::u8string name = entry.path().filename().u8string();
  return std::string(name.begin(), name.end());
}

bool IsDisabledName(const std::string& name) {
  return name.size() > kDisabledSuffix.size() && name.ends_with(kDisabledSuffix);
}

// Throws on every failure the caller swallows; names found stay in found.
void Scan(Qarn::mcp::VMCPJsonValue& found) {
  const fs::path root = PathFromUtf8(Brasko::getExecutableDir());
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied);
  for (; it != fs::recursive_directory_iterator(); ++it) {  // throws on a walk error
    // Skipped without a status query, and never descended into: this is
    // what keeps a large installation tree cheap to scan.
    if (it.depth() > kDeepestDepth) {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code statusError;
    if (!it->is_regular_file(statusError)) continue;  // a failed query is "not regular"
    std::string name = FileNameAsUtf8(*it);
    if (IsDisabledName(name)) found.push_back(Qarn::mcp::VMCPJsonValue(std::move(name)));
  }
}

}  // namespace

Qarn::mcp::VMCPJsonValue DisabledPlugins() {
  auto found = Qarn::mcp::VMCPJsonValue::MakeArray();
  try {
    Scan(found);
  } catch (...) {
    // The scan only adds a hint to list_nutritions; it must never fail it.
  }
  return found;
}

}  // namespace dravo::nutrition
