// Progress sink that a loader or converter reports to while it works.
#pragma once

#include <brasko/export.h>
#include <brasko/interface.h>

#include <cstdint>
#include <string>

namespace Brasko {

// Every report answers true to go on, false to stop. The base records
// nothing; it passes openingFile and progress on to the current thread's
// ProgressReporter, and answers false to both once the work was cancelled
// (StopRequested), so a converter stops at its next report.
class BRASKO_API LoaderProgress : public Interface {
 public:
  LoaderProgress();
  ~LoaderProgress() override;

  const char* interfaceName() const override;

  virtual bool openingFile(const std::string& path);
  virtual bool tryLoader(const std::string& loaderName);
  virtual bool progress(const std::string& text, std::int64_t done, std::int64_t total);
  virtual bool message(const std::string& text);
  virtual bool notice(const std::string& text);
  // Asks whether to stop at an issue; the base never stops.
  virtual bool abort_on_issue(const std::string& issue);
};

}  // namespace Brasko
