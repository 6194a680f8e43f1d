// Requests the server sends a client of the 2025 revisions on its session
// (elicitation/create), and the answers that come back as responses.
#pragma once

#include <dravo-host/request_context.h>

#include <qarn/mcp/json_value.h>

#include <chrono>
#include <functional>
#include <string>

namespace dravo::host {

// Sends the request through `send` and waits for the client's answer; throws
// RpcError when the client answers with an error, or when the call is
// cancelled or waits longer than `patience`.
VMCPJsonValue AskClient(const std::function<void(const VMCPJsonValue&)>& send,
                        const std::string& method, const VMCPJsonValue& params,
                        const Cancellation& cancellation,
                        std::chrono::milliseconds patience = std::chrono::minutes(30));

// Hands a response in; false when no request of ours waits for it.
bool DeliverClientAnswer(const VMCPJsonValue& response);

}  // namespace dravo::host
