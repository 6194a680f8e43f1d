#include <dravo-host/command_line.h>

#include <charconv>

namespace dravo::host {

const char* const kUsage =
    "usage: dravo-host [serve | tools | call [--task] TOOL JSON-ARGS] [--plugins DIR]...\n"
    "                  [--nutritions FILE.json]... [--keep-failed] [--workers N]\n"
    "                  [--shutdown-grace SECONDS] [--task-budget MS] [--task-ttl MS]\n"
    "                  [--max-tasks N]\n"
    "                  [--http [HOST:]PORT [--allow-origin ORIGIN]...\n"
    "                   [--allow-remote --token-file FILE] [--max-sessions N]\n"
    "                   [--session-idle MS] [--connection-idle MS]]\n"
    "       dravo-host --help | --version\n";

namespace {

// The options that take a whole number from 1 up.
struct NumberOption {
  const char* name;
  std::size_t CommandLine::*field;
  std::size_t max;
  const char* what;
};
constexpr NumberOption kNumberOptions[] = {
    {"--workers", &CommandLine::workers, 64, "a number"},
    {"--shutdown-grace", &CommandLine::shutdownGraceSeconds, 86'400, "seconds"},
    {"--max-sessions", &CommandLine::maxSessions, 4096, "a number"},
    {"--session-idle", &CommandLine::sessionIdleMs, 86'400'000, "milliseconds"},
    {"--connection-idle", &CommandLine::connectionIdleMs, 3'600'000, "milliseconds"},
    {"--task-budget", &CommandLine::taskBudgetMs, 3'600'000, "milliseconds"},
    {"--task-ttl", &CommandLine::taskTtlMs, 86'400'000, "milliseconds"},
    {"--max-tasks", &CommandLine::maxTasks, 4096, "a number"},
};

const NumberOption* FindNumberOption(const std::string& name) {
  for (const auto& option : kNumberOptions)
    if (name == option.name) return &option;
  return nullptr;
}

bool ParseNumber(const std::string& text, const NumberOption& option, CommandLine& line,
                 std::string& error) {
  std::size_t value = 0;
  const auto* end = text.data() + text.size();
  auto [rest, problem] = std::from_chars(text.data(), end, value);
  if (problem == std::errc() && rest == end && value > 0 && value <= option.max) {
    line.*option.field = value;
    return true;
  }
  error = std::string(option.name) + " takes " + option.what + " from 1 to " +
          std::to_string(option.max) + ", not \"" + text + "\"";
  return false;
}

// "[HOST:]PORT", HOST in brackets when it has colons itself.
bool ParseHttpAddress(const std::string& text, std::string& host, int& port) {
  std::string portText = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
      host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("[]") != std::string::npos) return false;
  }
  const auto* end = portText.data() + portText.size();
  auto [rest, problem] = std::from_chars(portText.data(), end, port);
  return problem == std::errc() && rest == end && port >= 0 && port <= 65535;
}

bool IsLoopbackHost(const std::string& host) {
  return host == "127.0.0.1" || host == "::1" || host == "localhost";
}

// The HTTP options hang together: remote use needs a token, and none of them
// means anything over stdio.
bool CheckHttpOptions(const CommandLine& line, std::string& error) {
  const bool httpOnly = line.allowRemote || !line.tokenFile.empty() || !line.allowedOrigins.empty();
  if (line.httpPort < 0 && httpOnly) {
    error = "--allow-origin, --allow-remote and --token-file go with --http";
    return false;
  }
  if (line.httpPort < 0 && (line.maxSessions || line.sessionIdleMs || line.connectionIdleMs)) {
    error = "--max-sessions, --session-idle and --connection-idle go with --http";
    return false;
  }
  if (line.httpPort >= 0 && !IsLoopbackHost(line.httpHost) &&
      (!line.allowRemote || line.tokenFile.empty())) {
    error = "serving on \"" + line.httpHost + "\" needs --allow-remote and --token-file";
    return false;
  }
  return true;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine line;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      line.command = CommandLine::Command::Help;
      return line;
    }
    if (arg == "--version") {
      line.command = CommandLine::Command::Version;
      return line;
    }
    if (arg == "--keep-failed") {
      line.keepFailed = true;
    } else if (arg == "--allow-remote") {
      line.allowRemote = true;
    } else if (arg == "--task") {
      line.task = true;
    } else if (arg == "--plugins" || arg == "--nutritions" || FindNumberOption(arg) ||
               arg == "--http" || arg == "--allow-origin" || arg == "--token-file") {
      if (!hasValue) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--plugins") line.pluginDirs.push_back(value);
      if (arg == "--nutritions") line.nutritionFiles.push_back(value);
      if (const auto* number = FindNumberOption(arg);
          number && !ParseNumber(value, *number, line, error))
        return std::nullopt;
      if (arg == "--http" && !ParseHttpAddress(value, line.httpHost, line.httpPort)) {
        error = "--http takes [HOST:]PORT with PORT from 0 to 65535, not \"" + value + "\"";
        return std::nullopt;
      }
      if (arg == "--allow-origin") line.allowedOrigins.push_back(value);
      if (arg == "--token-file") line.tokenFile = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option \"" + arg + "\"";
      return std::nullopt;
    } else {
      positional.push_back(arg);
    }
  }
  if (!CheckHttpOptions(line, error)) return std::nullopt;
  if (positional.empty()) return line;
  const std::string& command = positional[0];
  const std::size_t expected = command == "call" ? 3 : 1;
  if (command == "serve")
    line.command = CommandLine::Command::Serve;
  else if (command == "tools")
    line.command = CommandLine::Command::Tools;
  else if (command == "call")
    line.command = CommandLine::Command::Call;
  else {
    error = "unknown command \"" + command + "\"";
    return std::nullopt;
  }
  if (positional.size() != expected) {
    error = command == "call" ? "call takes a tool name and one JSON object of arguments"
                              : command + " takes no further arguments";
    return std::nullopt;
  }
  if (line.command == CommandLine::Command::Call) {
    line.tool = positional[1];
    line.arguments = positional[2];
  }
  if (line.task && line.command != CommandLine::Command::Call) {
    error = "--task goes with call only";
    return std::nullopt;
  }
  if (line.httpPort >= 0 && line.command != CommandLine::Command::Serve) {
    error = "--http goes with serve only";
    return std::nullopt;
  }
  return line;
}

}  // namespace dravo::host
