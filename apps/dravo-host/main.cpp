// dravo-host: loads the application's plug-ins and serves their MCP tools
// over standard input and output.
#include <dravo-host/binary_stdio.h>
#include <dravo-host/command_line.h>
#include <dravo-host/http_transport.h>
#include <dravo-host/mcp_server.h>
#include <dravo-host/path_text.h>
#include <dravo-host/plugin_loader.h>
#include <dravo-host/process_tuning.h>
#include <dravo-host/progress_bar.h>
#include <dravo-host/shutdown_signal.h>
#include <dravo-host/stdio_transport.h>
#include <dravo-host/task_client.h>
#include <dravo-host/utf8_arguments.h>
#include <scripted_nutritions/scripted_nutritions.h>

#include <brasko/executable_dir.h>
#include <qarn/mcp/registry.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

namespace {

using namespace dravo::host;
using Qarn::mcp::VMCPJsonValue;

constexpr int kUsageError = 2;

int UsageError(const std::string& what) {
  std::cerr << "dravo-host: " << what << "\n" << kUsage;
  return kUsageError;
}

void LoadPlugins(const CommandLine& line, PluginLoader& loader) {
  const auto own = PathFromUtf8(Brasko::getExecutableDir()) / "plugins";
  std::error_code error;
  if (std::filesystem::is_directory(own, error)) loader.loadDirectory(own);
  for (const auto& dir : line.pluginDirs) {
    // Absolute now: a real run changes the working directory later.
    const auto absolute = std::filesystem::absolute(PathFromUtf8(dir), error);
    if (!std::filesystem::is_directory(absolute, error))
      std::cerr << "dravo-host: plug-in folder \"" << dir << "\" does not exist\n";
    else
      loader.loadDirectory(absolute);
  }
}

// The token is the file's first line; an empty one would let anybody in.
bool ReadToken(const std::string& file, std::string& token) {
  std::ifstream in(PathFromUtf8(file));
  std::getline(in, token);
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back()))) token.pop_back();
  if (!token.empty()) return true;
  std::cerr << "dravo-host: token file \"" << file << "\" is missing or its first line is empty\n";
  return false;
}

// What a stop request does: running calls get the grace period to finish,
// the rest are cancelled, every answer due goes out, and the process ends
// well. The threads still blocked reading are not waited for.
std::function<void()> StopAfter(McpServer& server, std::chrono::milliseconds grace) {
  return [&server, grace] {
    server.shutdown(grace);
    std::fflush(stdout);
    std::_Exit(0);
  };
}

int ServeHttp(const CommandLine& line, const ServerOptions& options) {
  HttpOptions http;
  http.host = line.httpHost;
  http.port = line.httpPort;
  http.allowedOrigins = line.allowedOrigins;
  http.remote = line.allowRemote;
  if (line.maxSessions) http.maxSessions = line.maxSessions;
  if (line.sessionIdleMs) http.sessionIdle = std::chrono::milliseconds(line.sessionIdleMs);
  if (line.connectionIdleMs) {
    http.connectionIdle = std::chrono::milliseconds(line.connectionIdleMs);
    http.connectionStall = 2 * http.connectionIdle;
  }
  if (!line.tokenFile.empty() && !ReadToken(line.tokenFile, http.token)) return kUsageError;
  McpServer server(options);
  SetStopAction(StopAfter(server, std::chrono::seconds(line.shutdownGraceSeconds)));
  return ServeHttp(http, server) ? 0 : 1;
}

ServerOptions OptionsOf(const CommandLine& line) {
  ServerOptions options;
  options.version = DRAVO_HOST_VERSION;
  options.workers = line.workers;
  options.whenIdle = ReturnFreedMemory;
  options.tasks.budget = std::chrono::milliseconds(line.taskBudgetMs);
  options.tasks.ttl = std::chrono::milliseconds(line.taskTtlMs);
  options.tasks.maxRunning = line.maxTasks;
  return options;
}

int Serve(const CommandLine& line) {
  std::ios::sync_with_stdio(false);
  const ServerOptions options = OptionsOf(line);
  if (line.httpPort >= 0) return ServeHttp(line, options);
  // Each line goes out in one write: a buffer would split it into two.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  McpServer server(options);
  SetStopAction(StopAfter(server, std::chrono::seconds(line.shutdownGraceSeconds)));
  ServeLines(server, std::cin, [](std::string line, const LineRoute&) {
    if (line.empty()) return;  // a call that ended without an answer
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
  });
  return 0;
}

int Call(const CommandLine& line) {
  VMCPJsonValue arguments;
  try {
    arguments = VMCPJsonValue::Parse(line.arguments);
  } catch (const std::exception& error) {
    return UsageError(std::string("JSON-ARGS is not valid JSON: ") + error.what());
  }
  if (!arguments.isObject()) return UsageError("JSON-ARGS must be a JSON object");
  VMCPJsonValue result;
  std::optional<ProgressBar> bar;  // only for a person watching: scripts get clean output
  if (IsTerminal(stderr)) bar.emplace(stderr);
  const Brasko::ScopedProgressReporter showing(bar ? &*bar : nullptr);
  if (line.task) {
    std::string output, error;
    const int status =
        CallAsTask(OptionsOf(line), line.tool, arguments, bar ? &*bar : nullptr, output, error);
    bar.reset();  // wiped before the result is printed
    if (!error.empty()) std::cerr << "dravo-host: " << error << "\n";
    if (!output.empty()) std::cout << output << std::endl;
    return status;
  }
  try {
    if (!Qarn::mcp::VMCPRegistry::CallTool(line.tool, arguments, {}, result))
      return UsageError("no plug-in offers a tool \"" + line.tool + "\"");
  } catch (const std::exception& error) {
    bar.reset();
    std::cerr << "dravo-host: tool \"" << line.tool << "\" failed: " << error.what() << "\n";
    return 1;
  } catch (...) {
    bar.reset();
    std::cerr << "dravo-host: tool \"" << line.tool << "\" failed with an unknown error\n";
    return 1;
  }
  bar.reset();  // wiped before the result is printed
  std::cout << result.dump() << std::endl;
  const auto& success = result["success"];
  return success.kind == VMCPJsonValue::Boolean && success.asBool() ? 0 : 1;
}

int Run(const CommandLine& line) {
  // Never destroyed: unregistering and freeing tens of thousands of
  // nutritions one by one made exit slow, and the system takes their
  // memory back at once. They stay registered until the process ends,
  // reachable through this static, so leak checkers see nothing lost.
  static auto* const registration = new NutritionRegistration;
  auto& nutritions = *registration;
  for (const auto& file : line.nutritionFiles) {
    try {
      for (const auto& nutrition : LoadScriptedNutritions(PathFromUtf8(file)))
        nutritions.add(nutrition);
    } catch (const ScriptError& error) {
      std::cerr << "dravo-host: " << error.what() << "\n";
      return kUsageError;
    }
  }
  PluginLoader loader({line.keepFailed, {}});
  LoadPlugins(line, loader);
  ReturnFreedMemory();
  switch (line.command) {
    case CommandLine::Command::Tools:
      std::cout << Qarn::mcp::VMCPRegistry::ListTools().dump() << std::endl;
      return 0;
    case CommandLine::Command::Call: return Call(line);
    default: return Serve(line);
  }
}

}  // namespace

int main(int argc, char** argv) {
  WatchStopRequests();
  LimitAllocatorArenas();
  UseBinaryStdio();
  WidenOutputBuffer();
  std::string error;
  const auto line = ParseCommandLine(Utf8Arguments(argc, argv), error);
  if (!line) return UsageError(error);
  if (line->command == CommandLine::Command::Help) {
    std::cout
        << "dravo-host " << DRAVO_HOST_VERSION
        << ": serves the MCP tools of the application's plug-ins over stdio.\n\n"
        << kUsage
        << "\n  serve        answer MCP requests on stdin/stdout (the default)"
           "\n  tools        print the tool declarations"
           "\n  call         run one tool; exit 0 when it succeeds, 1 when not; with --task"
           " through the\n               server, polling the task it becomes once it outlives"
           " its budget"
           "\n  --plugins    also load the *.tolm files of DIR (plugins/ beside the"
           " executable always)"
           "\n  --nutritions register the nutritions a JSON file describes"
           "\n  --keep-failed  leave plug-ins that fail to load as they are"
           "\n  --workers    threads that run tool calls (default 4)"
           "\n  --shutdown-grace  on Ctrl-C or SIGTERM, let running calls finish this many"
           " seconds\n               (default 10), then cancel them; a second signal ends at once"
           "\n  --task-budget  a call of a client that takes tasks becomes one after MS"
           " milliseconds\n               (default 1000)"
           "\n  --task-ttl   keep a finished task MS milliseconds for its client (default"
           " 3600000,\n               at most 86400000)"
           "\n  --max-tasks  tasks one client may run at once (default 16)"
           "\n  --http       serve MCP over HTTP at http://HOST:PORT/mcp instead (HOST"
           " 127.0.0.1 unless given;\n               PORT 0 picks a free one)"
           "\n  --allow-origin  also serve web pages of ORIGIN (localhost ones always)"
           "\n  --allow-remote  with --token-file: allow a HOST beyond this machine;"
           " every request\n               must then carry \"Authorization: Bearer"
           " TOKEN\" (TOKEN: the file's first line)"
           "\n  --max-sessions  open HTTP sessions of 2025-era clients at most (default 32; the"
           " one idle\n               longest ends for a new one; 503 when all are busy)"
           "\n  --session-idle  end an HTTP session unused for MS milliseconds"
           " (default 600000)"
           "\n  --connection-idle  close a connection that waits MS milliseconds for a"
           " request (default\n               5000), or twice that stalled mid-request or"
           " answer\n"
           "\nExit status: 0 done, 1 the tool failed, 2 usage or input error.\n";
    return 0;
  }
  if (line->command == CommandLine::Command::Version) {
    std::cout << "dravo-host " << DRAVO_HOST_VERSION << std::endl;
    return 0;
  }
  return Run(*line);
}
