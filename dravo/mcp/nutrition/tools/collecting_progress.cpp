#include <dravo/mcp/nutrition/tools/collecting_progress.h>

namespace dravo::nutrition {

CollectingProgress::~CollectingProgress() = default;

bool CollectingProgress::openingFile(const std::string& path) {
  messages_.push_back("open: " + path);
  return true;
}

bool CollectingProgress::message(const std::string& text) {
  messages_.push_back(text);
  return true;
}

bool CollectingProgress::notice(const std::string& text) {
  messages_.push_back(text);
  return true;
}

}  // namespace dravo::nutrition
