// The progress sink of a real run: keeps what the nutrition reports, for the log.
#pragma once

#include <brasko/loader_progress.h>

#include <string>
#include <vector>

namespace dravo::nutrition {

// Records texts in arrival order and never asks the nutrition to stop. Not
// locked: reports come before convert returns, and the record is read after.
class CollectingProgress : public Brasko::LoaderProgress {
 public:
  CollectingProgress() = default;
  ~CollectingProgress() override;

  bool openingFile(const std::string& path) override;
  bool message(const std::string& text) override;
  bool notice(const std::string& text) override;

  const std::vector<std::string>& messages() const noexcept { return messages_; }

 private:
  std::vector<std::string> messages_;
};

}  // namespace dravo::nutrition
