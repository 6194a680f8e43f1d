// The MCP methods beyond tools that plug-ins may offer: resources, prompts
// and completion, and the input requests (multi round-trip) that a tool, a
// prompt or a resource read may answer with. Each method appends its
// result object's JSON text to `out` or throws RpcError.
#pragma once

#include <dravo-host/protocol.h>
#include <dravo-host/request_context.h>

#include <qarn/mcp/call_context.h>
#include <qarn/mcp/input_requests.h>
#include <qarn/mcp/json_value.h>
#include <qarn/mcp/tool_result.h>

#include <string>
#include <utility>
#include <vector>

namespace dravo::host {

// Adds what the providers offer beyond tools; adds nothing when they offer
// only tools.
void AddFeatureCapabilities(VMCPJsonValue& capabilities, bool legacy);

// Answers resources/*, prompts/* and completion/complete when a provider
// offers them; false for any other method. A 2025 session may subscribe to
// resources: a provider's update then reaches it as a notification.
bool AnswerFeature(const std::string& method, const VMCPJsonValue& params, RequestContext& context,
                   Peer& peer, std::string& out);

// A 2026 listen that names resourceSubscriptions follows those resources:
// adds them to the honoured filter, and each update reaches the listen.
void ListenForResources(const RequestContext& context, const VMCPJsonValue& filter, Peer& peer,
                        VMCPJsonValue& honoured);
void StopListeningForResources(const Peer& peer, const std::string& request);

// The retry part of a request: the client's answers to input requests and
// the requestState it brings back, checked; both null on a first call.
struct InputRound {
  VMCPJsonValue responses;
  VMCPJsonValue state;
};
InputRound ReadInputRound(const VMCPJsonValue& params, const std::string& method,
                          const std::string& target);

// What a provider's call sees of the request.
Qarn::mcp::VMCPCallContext CallContextOf(const RequestContext& context, const InputRound& round);

// The input_required result that asks the client (throws when it lacks a
// capability the requests need); the state goes out signed for the method
// and target.
void AppendInputRequired(const Qarn::mcp::VMCPInputRequests& input, const std::string& method,
                         const std::string& target, RequestContext& context, std::string& out);

// The arguments of a tool that travel also as "Mcp-Param-<header>" HTTP
// headers: (property, header) pairs from its input schema's "x-mcp-header".
// Read once: tools do not change while the host serves.
std::vector<std::pair<std::string, std::string>> MirroredArguments(const std::string& tool);

// Runs a tool through the providers. True when it answered with content
// items or input requests, which are then in `out`; false when it answered
// with callTool's one object, which is then in `object`. An unknown tool is
// an RpcError. A 2025-era client is asked for input on its session, and the
// tool is run again with the answers.
bool RunTool(const std::string& name, const VMCPJsonValue& arguments, const VMCPJsonValue& params,
             RequestContext& context, VMCPJsonValue& object, std::string& out);

}  // namespace dravo::host
