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
  // How long running calls may finish after a stop request before they are cancelled.
  std::size_t shutdownGraceSeconds = 10;
  std::string tool;       // call
  std::string arguments;  // call, JSON text
  bool task = false;      // call: through the server, as a task once it outlives its budget
  // Tasks: a call of a client that takes them becomes one after the budget.
  std::size_t taskBudgetMs = 1'000;
  std::size_t taskTtlMs = 3'600'000;
  std::size_t maxTasks = 16;
  // serve --http [HOST:]PORT; port -1 serves stdio.
  std::string httpHost = "127.0.0.1";
  int httpPort = -1;
  std::vector<std::string> allowedOrigins;
  bool allowRemote = false;
  std::string tokenFile;
  // Limits of the HTTP transport; 0 keeps its own.
  std::size_t maxSessions = 0;
  std::size_t sessionIdleMs = 0;
  std::size_t connectionIdleMs = 0;
};

extern const char* const kUsage;

// The parsed line, or nullopt with `error` saying what was wrong.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

}  // namespace dravo::host
