// The checks in front of the HTTP transport: near misses must not pass.
#include <dravo-host/http_request_checks.h>

#include <gtest/gtest.h>

namespace {

using namespace dravo::host;

TEST(HttpRequestChecks, OriginsAndHosts) {
  const std::vector<std::string> allowed{"https://app.example"};
  for (const auto& [origin, ok] :
       std::vector<std::pair<std::string, bool>>{{"http://localhost:6274", true},
                                                 {"https://127.0.0.1", true},
                                                 {"http://[::1]:80", true},
                                                 {"HTTP://LOCALHOST", true},
                                                 {"https://app.example", true},
                                                 {"https://app.example:444", false},
                                                 {"http://localhost.evil.example", false},
                                                 {"http://evil.example/localhost", false},
                                                 {"file://localhost", false},
                                                 {"null", false},
                                                 {"", false}})
    EXPECT_EQ(OriginAllowed(origin, allowed), ok) << origin;
  for (const auto& [host, ok] :
       std::vector<std::pair<std::string, bool>>{{"localhost:8080", true},
                                                 {"127.0.0.1", true},
                                                 {"[::1]:1", true},
                                                 {"app.example:80", true},
                                                 {"evil.example", false},
                                                 {"127.0.0.1.evil.example", false},
                                                 {"[::1", false},
                                                 {"", false}})
    EXPECT_EQ(HostAllowed(host, allowed), ok) << host;
}

TEST(HttpRequestChecks, SecretsMatchOnlyWhole) {
  EXPECT_TRUE(SameSecret("s3cret", "s3cret"));
  for (const char* wrong : {"", "s3cre", "s3cret!", "S3cret", "s3creu"})
    EXPECT_FALSE(SameSecret(wrong, "s3cret")) << wrong;
}

TEST(HttpRequestChecks, AcceptHeaders) {
  EXPECT_TRUE(Accepts("application/json, text/event-stream", "text/event-stream"));
  EXPECT_TRUE(Accepts("text/html;q=0.9, application/*;q=0.1", "application/json"));
  EXPECT_TRUE(Accepts(" */* ", "text/event-stream"));
  EXPECT_FALSE(Accepts("text/event-stream", "application/json"));
  EXPECT_FALSE(Accepts("application/jsonx", "application/json"));
}

}  // namespace
