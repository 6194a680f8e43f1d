// UTF-8 text <-> paths, the same way on every platform.
#pragma once

#include <filesystem>
#include <string>

namespace dravo::host {

inline std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace dravo::host
