// What the command line accepts and how it says what was wrong.
#include <dravo-host/command_line.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using dravo::host::CommandLine;
using dravo::host::ParseCommandLine;
using Command = CommandLine::Command;

struct Accepted {
  std::vector<std::string> args;
  Command command;
  friend void PrintTo(const Accepted& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.args);
  }
};

class AcceptedLines : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedLines, ParseToTheirCommand) {
  std::string error;
  const auto line = ParseCommandLine(GetParam().args, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->command, GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, AcceptedLines,
    ::testing::Values(Accepted{{}, Command::Serve}, Accepted{{"serve"}, Command::Serve},
                      Accepted{{"tools"}, Command::Tools},
                      Accepted{{"call", "t", "{}"}, Command::Call},
                      Accepted{{"--help"}, Command::Help}, Accepted{{"-h"}, Command::Help},
                      Accepted{{"--version"}, Command::Version},
                      Accepted{{"bogus", "--help"}, Command::Help},
                      Accepted{{"--keep-failed", "serve", "--workers", "2"}, Command::Serve}));

struct Refused {
  std::vector<std::string> args;
  std::string errorPart;
  friend void PrintTo(const Refused& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.args);
  }
};

class RefusedLines : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedLines, SayWhatWasWrong) {
  std::string error;
  EXPECT_FALSE(ParseCommandLine(GetParam().args, error));
  EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RefusedLines,
    ::testing::Values(
        Refused{{"bogus"}, "unknown command \"bogus\""},
        Refused{{"--frob"}, "unknown option \"--frob\""},
        Refused{{"call"}, "call takes a tool name"},
        Refused{{"call", "t"}, "call takes a tool name"},
        Refused{{"call", "t", "{}", "x"}, "call takes a tool name"},
        Refused{{"tools", "x"}, "tools takes no further arguments"},
        Refused{{"--plugins"}, "--plugins needs a value"},
        Refused{{"--nutritions"}, "--nutritions needs a value"},
        Refused{{"--workers", "0"}, "--workers takes a number"},
        Refused{{"--workers", "3x"}, "--workers takes a number"},
        Refused{{"--workers", "65"}, "--workers takes a number"},
        Refused{{"--http", "65536"}, "--http takes [HOST:]PORT"},
        Refused{{"--http", ":80"}, "--http takes [HOST:]PORT"},
        Refused{{"--http", "0.0.0.0:80", "--allow-remote"}, "needs --allow-remote and"},
        Refused{{"--http", "0.0.0.0:80", "--token-file", "t"}, "needs --allow-remote"},
        Refused{{"--token-file", "t"}, "go with --http"},
        Refused{{"tools", "--http", "0"}, "--http goes with serve only"}));

TEST(CommandLine, CollectsRepeatedOptionsInOrder) {
  std::string error;
  const auto line = ParseCommandLine(
      {"call", "--plugins", "a", "run_nutrition", "--nutritions", "n1.json", "{\"x\":1}",
       "--plugins", "b", "--nutritions", "n2.json", "--keep-failed", "--workers", "7"},
      error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->pluginDirs, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(line->nutritionFiles, (std::vector<std::string>{"n1.json", "n2.json"}));
  EXPECT_EQ(line->tool, "run_nutrition");
  EXPECT_EQ(line->arguments, "{\"x\":1}");
  EXPECT_TRUE(line->keepFailed);
  EXPECT_EQ(line->workers, 7u);
}

TEST(CommandLine, ReadsTheHttpAddress) {
  for (const auto& [given, host, port] : std::vector<std::tuple<std::string, std::string, int>>{
           {"8080", "127.0.0.1", 8080}, {"localhost:0", "localhost", 0}, {"[::1]:9", "::1", 9}}) {
    std::string error;
    const auto line =
        ParseCommandLine({"--http", given, "--allow-origin", "https://a.example"}, error);
    ASSERT_TRUE(line) << given << ": " << error;
    EXPECT_EQ(std::tie(line->httpHost, line->httpPort), std::tie(host, port)) << given;
    EXPECT_EQ(line->allowedOrigins, std::vector<std::string>{"https://a.example"});
  }
}

}  // namespace
