// `dravo-host call --task`: one tool call through the server's own request
// path, as a client that takes tasks makes it, polling the task while it runs.
#pragma once

#include <dravo-host/mcp_server.h>

#include <brasko/progress_reporter.h>
#include <qarn/mcp/json_value.h>

#include <string>

namespace dravo::host {

// The tool's result as `call` prints it, or what went wrong in `error`;
// shows the task's progress on `progress` when given. 0 when the tool
// succeeded, 1 when not.
int CallAsTask(const ServerOptions& options, const std::string& tool,
               const VMCPJsonValue& arguments, Brasko::ProgressReporter* progress,
               std::string& output, std::string& error);

// A task's status message back as counts: "TEXT (DONE of TOTAL)"; false
// when it carries none.
bool ParseStatusCounts(const std::string& message, std::string& text, std::int64_t& done,
                       std::int64_t& total);

}  // namespace dravo::host
