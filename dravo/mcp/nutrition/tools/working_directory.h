// Changing the process working directory for a real run, with errors
// reported in the system's own category.
#pragma once

#include <filesystem>
#include <system_error>

namespace dravo::nutrition {

// Makes `directory` the working directory. On failure the directory stays as
// it was and the result's message is the system's own wording (on Windows the
// text the system gives for its error code, not the C runtime's errno text).
std::error_code ChangeWorkingDirectory(const std::filesystem::path& directory) noexcept;

}  // namespace dravo::nutrition
