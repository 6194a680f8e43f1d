#include <dravo-host/command_line.h>

#include <charconv>

namespace dravo::host {

const char* const kUsage =
    "usage: dravo-host [serve | tools | call TOOL JSON-ARGS] [--plugins DIR]...\n"
    "                  [--nutritions FILE.json]... [--keep-failed] [--workers N]\n"
    "       dravo-host --help | --version\n";

namespace {

bool ParseCount(const std::string& text, std::size_t& value) {
  const auto* end = text.data() + text.size();
  auto [rest, problem] = std::from_chars(text.data(), end, value);
  return problem == std::errc() && rest == end && value > 0 && value <= 64;
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
    } else if (arg == "--plugins" || arg == "--nutritions" || arg == "--workers") {
      if (!hasValue) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--plugins") line.pluginDirs.push_back(value);
      if (arg == "--nutritions") line.nutritionFiles.push_back(value);
      if (arg == "--workers" && !ParseCount(value, line.workers)) {
        error = "--workers takes a number from 1 to 64, not \"" + value + "\"";
        return std::nullopt;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option \"" + arg + "\"";
      return std::nullopt;
    } else {
      positional.push_back(arg);
    }
  }
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
  return line;
}

}  // namespace dravo::host
