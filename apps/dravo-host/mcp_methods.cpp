#include <dravo-host/feature_methods.h>
#include <dravo-host/mcp_methods.h>
#include <dravo-host/mcp_server.h>
#include <dravo-host/progress_notifier.h>
#include <dravo-host/task_methods.h>

#include <brasko/progress_reporter.h>
#include <qarn/mcp/registry.h>

#include <optional>

namespace dravo::host {

namespace {

constexpr const char* kInstructions =
    "Tools of the application's plug-ins. Start with list_nutritions, then describe_nutrition.";

VMCPJsonValue LegacyCapabilities() {
  VMCPJsonValue capabilities = VMCPJsonValue::MakeObject();
  capabilities["tools"]["listChanged"] = false;
  return capabilities;
}

// The tool list never changes while the host runs, so nothing is announced.
// A long call may answer with a task.
VMCPJsonValue Capabilities() {
  VMCPJsonValue capabilities = VMCPJsonValue::MakeObject();
  capabilities["tools"] = VMCPJsonValue::MakeObject();
  capabilities["extensions"][kTasksExtension] = VMCPJsonValue::MakeObject();
  return capabilities;
}

VMCPJsonValue ServerInfo(const ServerOptions& server) {
  VMCPJsonValue info = VMCPJsonValue::MakeObject();
  info["name"] = server.name;
  info["version"] = server.version;
  return info;
}

void AddCacheHints(const ServerOptions& server, VMCPJsonValue& result) {
  result["ttlMs"] = std::int64_t(server.listTtl.count());
  result["cacheScope"] = "public";  // the same for every client
}

// What the client sees when a provider throws instead of answering.
VMCPJsonValue FailedToolResult(const std::string& text) {
  VMCPJsonValue item = VMCPJsonValue::MakeObject();
  item["type"] = "text";
  item["text"] = text;
  VMCPJsonValue answer = VMCPJsonValue::MakeObject();
  answer["content"].push_back(std::move(item));
  answer["isError"] = true;
  return answer;
}

// A tool's answer: its text item (the result's JSON text, quoted), then the
// result as structured content when it is an object, then the error flag.
constexpr std::string_view kTextItem = R"({"content":[{"type":"text","text":)";
constexpr std::string_view kStructuredContent = R"(,"structuredContent":)";

const char* ResultEnd(const VMCPJsonValue& result) {
  const auto& success = result["success"];
  const bool isError = success.kind == VMCPJsonValue::Boolean && !success.asBool();
  return isError ? R"(,"isError":true})" : R"(,"isError":false})";
}

}  // namespace

// Names only the stateless revision: the older ones are negotiated by initialize.
void Discover(const ServerOptions& server, std::string& out) {
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["supportedVersions"].push_back(std::string(kStatelessVersion));
  result["capabilities"] = Capabilities();
  AddFeatureCapabilities(result["capabilities"], false);
  result["instructions"] = kInstructions;
  AddCacheHints(server, result);
  result.dumpTo(out);
}

void InitializeResult(const ServerOptions& server, const std::string& version, std::string& out) {
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["protocolVersion"] = version;
  result["capabilities"] = LegacyCapabilities();
  AddFeatureCapabilities(result["capabilities"], true);
  result["serverInfo"] = ServerInfo(server);
  result["instructions"] = kInstructions;
  result.dumpTo(out);
}

void ListTools(const VMCPJsonValue& params, const RequestContext& context, std::string& out) {
  if (params.has("cursor"))  // everything comes on one page, so no cursor is ours
    throw RpcError{kInvalidParams, "Invalid params: unknown \"cursor\"."};
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  VMCPJsonValue tools = Qarn::mcp::VMCPRegistry::ListTools();
  if (!tools.isArray()) tools = VMCPJsonValue::MakeArray();
  // In registration order, the same on every call.
  result["tools"] = std::move(tools);
  if (context.stateless) AddCacheHints(*context.server, result);
  result.dumpTo(out);
}

void CallTool(const VMCPJsonValue& params, RequestContext& context, std::string& out) {
  if (!params["name"].isString())
    throw RpcError{kInvalidParams, "Invalid params: \"name\" must be the tool's name."};
  const std::string name = params["name"].asString();
  const VMCPJsonValue noArguments = VMCPJsonValue::MakeObject();
  const VMCPJsonValue& given = params["arguments"];
  const VMCPJsonValue& arguments = given.isNull() ? noArguments : given;
  if (!arguments.isObject())
    throw RpcError{kInvalidParams, "Invalid params: \"arguments\" must be an object."};

  // Progress goes out only while the tool runs: the reporter is gone before
  // the answer is sent.
  std::optional<ProgressNotifier> notifier;
  std::optional<Brasko::ScopedProgressReporter> listening;
  if (const auto& token = params["_meta"]["progressToken"];
      IsRequestId(token) || context.reportProgress) {
    notifier.emplace(token, context.notify);
    listening.emplace(&*notifier);
  }
  const Brasko::ScopedStopFlag stop(&context.cancellation->requested);
  VMCPJsonValue result;
  try {
    if (RunTool(name, arguments, params, context, result, out)) return;  // content or input
  } catch (const RpcError&) {
    throw;
  } catch (const std::exception& failure) {
    FailedToolResult("Tool " + Quoted(name) + " failed: " + failure.what()).dumpTo(out);
    return;
  } catch (...) {
    FailedToolResult("Tool " + Quoted(name) + " failed with an unknown error.").dumpTo(out);
    return;
  }
  AppendToolResult(std::move(result), out);
}

void AppendToolResult(VMCPJsonValue result, std::string& out) {
  // The result is written once; its text goes into the line quoted, as the
  // text item, and as it is, as the structured content. The tree goes before
  // the line grows, so the two are never held at full size together.
  std::string text;
  result.dumpTo(text);
  const char* end = ResultEnd(result);
  const bool structured = result.isObject();
  result = VMCPJsonValue();
  out.reserve(out.size() + 3 * text.size() + 96);  // quoted (at most twice as long), then plain
  out.append(kTextItem);
  VMCPJsonValue::QuoteTo(text, out);
  out.append("}]");
  if (structured) out.append(kStructuredContent).append(text);
  out.append(end);
}

void FinishStatelessResult(const ServerOptions& server, std::size_t start, std::string& out,
                           std::string_view resultType, VMCPJsonValue meta) {
  meta[kMetaServerInfo] = ServerInfo(server);
  const bool empty = out.size() - start == 2;  // "{}"
  out.pop_back();
  out.append(empty ? R"("resultType":)" : R"(,"resultType":)");
  VMCPJsonValue::QuoteTo(resultType, out);
  out.append(R"(,"_meta":)");
  meta.dumpTo(out);
  out.push_back('}');
}

}  // namespace dravo::host
