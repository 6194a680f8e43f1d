// What the command line accepts, and exactly how it says what was wrong.
#include <dravo-host/command_line.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using dravo::host::ParseCommandLine;
using Command = dravo::host::CommandLine::Command;
using Args = std::vector<std::string>;

TEST(CommandLine, ParsesToACommandOrSaysWhatWasWrong) {
  const std::string workers = "--workers takes a number from 1 to 64, not ";
  const std::string http = "--http takes [HOST:]PORT with PORT from 0 to 65535, not ";
  const std::string remote = " needs --allow-remote and --token-file";
  const std::string sessions = "--max-sessions takes a number from 1 to 4096, not ";
  const std::string sessionIdle = "--session-idle takes milliseconds from 1 to 86400000, not ";
  const std::string connectionIdle = "--connection-idle takes milliseconds from 1 to 3600000, not ";
  for (const auto& [args, wrong] : std::vector<std::pair<Args, std::string>>{
           {{"bogus"}, "unknown command \"bogus\""},
           {{"--frob"}, "unknown option \"--frob\""},
           {{"call", "t"}, "call takes a tool name and one JSON object of arguments"},
           {{"call", "t", "{}", "x"}, "call takes a tool name and one JSON object of arguments"},
           {{"tools", "x"}, "tools takes no further arguments"},
           {{"--nutritions"}, "--nutritions needs a value"},
           {{"--workers", "0"}, workers + "\"0\""},
           {{"--workers", "3x"}, workers + "\"3x\""},
           {{"--workers", "65"}, workers + "\"65\""},
           {{"--max-sessions", "4097"}, sessions + "\"4097\""},
           {{"--session-idle", "86400001"}, sessionIdle + "\"86400001\""},
           {{"--connection-idle", "3600001"}, connectionIdle + "\"3600001\""},
           {{"--http", "65536"}, http + "\"65536\""},
           {{"--http", ":80"}, http + "\":80\""},
           {{"--http", "[::1:80"}, http + "\"[::1:80\""},
           {{"--http", "0.0.0.0:80", "--allow-remote"}, "serving on \"0.0.0.0\"" + remote},
           {{"--http", "10.0.0.1:80", "--token-file", "t"}, "serving on \"10.0.0.1\"" + remote},
           {{"--allow-remote"}, "--allow-origin, --allow-remote and --token-file go with --http"},
           {{"--session-idle", "5"},
            "--max-sessions, --session-idle and --connection-idle go with --http"},
           {{"tools", "--http", "0"}, "--http goes with serve only"}}) {
    std::string error;
    EXPECT_FALSE(ParseCommandLine(args, error));
    EXPECT_EQ(error, wrong);
  }
  for (const auto& [args, command] : std::vector<std::pair<Args, Command>>{
           {{}, Command::Serve},
           {{"tools"}, Command::Tools},
           {{"-h"}, Command::Help},
           {{"--version"}, Command::Version},
           {{"bogus", "--help"}, Command::Help},
           {{"--keep-failed", "serve", "--workers", "64"}, Command::Serve}}) {
    std::string error;
    EXPECT_EQ(ParseCommandLine(args, error).value().command, command) << error;
  }
}

TEST(CommandLine, CollectsOptionsInOrderAndKeepsDefaults) {
  std::string error;
  auto line = ParseCommandLine({"call", "--plugins", "a", "run", "--nutritions", "n1", "{}",
                                "--plugins", "b", "--nutritions", "n2", "--keep-failed"},
                               error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(std::tie(line->pluginDirs, line->nutritionFiles, line->tool, line->arguments),
            std::make_tuple(Args{"a", "b"}, Args{"n1", "n2"}, "run", "{}"));
  EXPECT_EQ(std::tie(line->keepFailed, line->workers, line->httpPort, line->allowRemote),
            std::make_tuple(true, 4u, -1, false));
  for (const auto& [given, host, port] : std::vector<std::tuple<std::string, std::string, int>>{
           {"8080", "127.0.0.1", 8080}, {"localhost:0", "localhost", 0}, {"[::1]:9", "::1", 9}}) {
    line = ParseCommandLine({"--http", given, "--allow-origin", "https://a.example"}, error);
    ASSERT_TRUE(line) << given << ": " << error;
    EXPECT_EQ(std::tie(line->httpHost, line->httpPort, line->allowedOrigins),
              std::make_tuple(host, port, Args{"https://a.example"}))
        << given;
  }
}

}  // namespace
