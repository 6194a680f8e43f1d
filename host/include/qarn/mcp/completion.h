// Completion of a prompt's or a resource template's argument as the user types.
#pragma once

#include <qarn/mcp/json_value.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Qarn::mcp {

struct VMCPCompletionRequest {
  VMCPJsonValue ref;  // {"type":"ref/prompt","name":...} or {"type":"ref/resource","uri":...}
  std::string argument;
  std::string value;             // what the user typed so far
  VMCPJsonValue otherArguments;  // the arguments already given, an object or null
};

struct VMCPCompletion {
  std::vector<std::string> values;  // best first; the server sends at most 100
  std::int64_t total = -1;          // how many there are in all; -1: unknown
  bool hasMore = false;
};

}  // namespace Qarn::mcp
