// The command line of dravo-host.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dravo::host {

struct CommandLine {
  enum class Command { Serve, Tools, Call, Help, Version } command = Command::Serve;
  std::vector<std::string> pluginDirs;
  std::vector<std::string> nutritionFiles;
  bool keepFailed = false;
  std::size_t workers = 4;
  std::string tool;       // call
  std::string arguments;  // call, JSON text
};

extern const char* const kUsage;

// The parsed line, or nullopt with `error` saying what was wrong.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

}  // namespace dravo::host
