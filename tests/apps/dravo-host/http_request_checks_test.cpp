// The checks in front of the HTTP transport: near misses must not pass.
#include <dravo-host/http_request_checks.h>

#include <gtest/gtest.h>

namespace {

using namespace dravo::host;

TEST(HttpRequestChecks, LetInOnlyWhatMatchesWhole) {
  const std::vector<std::string> allowed{"https://app.example"};
  for (const char* origin : {"http://localhost:6274", "https://127.0.0.1", "http://[::1]:80",
                             "HTTP://LOCALHOST", "https://app.example"})
    EXPECT_TRUE(OriginAllowed(origin, allowed)) << origin;
  for (const char* origin : {"https://app.example:444", "http://localhost.evil.example",
                             "http://evil.example/localhost", "file://localhost", "null", ""})
    EXPECT_FALSE(OriginAllowed(origin, allowed)) << origin;
  for (const char* host : {"localhost:8080", "127.0.0.1", "[::1]:1", "app.example:80"})
    EXPECT_TRUE(HostAllowed(host, allowed)) << host;
  for (const char* host : {"evil.example", "127.0.0.1.evil.example", "[::1", ""})
    EXPECT_FALSE(HostAllowed(host, allowed)) << host;
  EXPECT_TRUE(SameSecret("s3cret", "s3cret"));
  for (const char* wrong : {"", "s3cre", "s3cret!", "S3cret", "s3creu"})
    EXPECT_FALSE(SameSecret(wrong, "s3cret")) << wrong;
  EXPECT_TRUE(Accepts("application/json, text/event-stream", "text/event-stream"));
  EXPECT_TRUE(Accepts("text/html;q=0.9, application/*;q=0.1", "application/json"));
  EXPECT_TRUE(Accepts(" */* ", "text/event-stream"));
  EXPECT_FALSE(Accepts("text/event-stream", "application/json"));
  EXPECT_FALSE(Accepts("application/jsonx", "application/json"));
}

}  // namespace
