#include <dravo-host/task_client.h>
#include <dravo-host/task_methods.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace dravo::host {

namespace {

// The in-process client: each request waits for its answer line.
class LocalClient {
 public:
  explicit LocalClient(const ServerOptions& options) : server_(options) {}

  VMCPJsonValue request(const std::string& method, VMCPJsonValue params) {
    VMCPJsonValue message = VMCPJsonValue::MakeObject();
    const int id = ++lastId_;
    message["jsonrpc"] = "2.0";
    message["id"] = id;
    message["method"] = method;
    auto& meta = params["_meta"];
    meta[kMetaProtocolVersion] = std::string(kStatelessVersion);
    meta[kMetaClientCapabilities]["extensions"][kTasksExtension] = VMCPJsonValue::MakeObject();
    message["params"] = std::move(params);
    server_.handleMessage(std::move(message), peer_);
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [&] { return answers_.count(id) > 0; });
    VMCPJsonValue answer = std::move(answers_[id]);
    answers_.erase(id);
    return answer;
  }

 private:
  void receive(const std::string& line, const LineRoute& route) {
    if (line.empty() || !route.answer) return;
    VMCPJsonValue answer = VMCPJsonValue::Parse(line);
    std::lock_guard lock(mutex_);
    answers_[int(answer["id"].asInt())] = std::move(answer);
    arrived_.notify_all();
  }

  int lastId_ = 0;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::map<int, VMCPJsonValue> answers_;
  PeerPtr peer_ = std::make_shared<Peer>(
      [this](std::string line, const LineRoute& route) { receive(line, route); });
  McpServer server_;  // last: it is gone, its calls drained, before what they answer to
};

bool Terminal(const std::string& status) {
  return status == "completed" || status == "failed" || status == "cancelled";
}

}  // namespace

bool ParseStatusCounts(const std::string& message, std::string& text, std::int64_t& done,
                       std::int64_t& total) {
  const auto open = message.rfind(" (");
  if (open == std::string::npos || !message.ends_with(")")) return false;
  long long a = 0, b = 0;
  const std::string counts = message.substr(open + 2);
  const int read = std::sscanf(counts.c_str(), "%lld of %lld", &a, &b);
  if (read < 1) return false;
  text = message.substr(0, open);
  done = a;
  total = read == 2 ? b : 0;
  return true;
}

int CallAsTask(const ServerOptions& options, const std::string& tool,
               const VMCPJsonValue& arguments, Brasko::ProgressReporter* progress,
               std::string& output, std::string& error) {
  LocalClient client(options);
  VMCPJsonValue params = VMCPJsonValue::MakeObject();
  params["name"] = tool;
  params["arguments"] = arguments;
  VMCPJsonValue answer = client.request("tools/call", std::move(params));
  VMCPJsonValue result = answer["result"];
  while (result["resultType"].asString() == "task" || result.has("taskId")) {
    const std::string status = result["status"].asString();
    if (Terminal(status)) break;
    std::string text;
    std::int64_t done = 0, total = 0;
    if (progress && ParseStatusCounts(result["statusMessage"].asString(), text, done, total))
      progress->report(text, done, total);
    std::this_thread::sleep_for(std::chrono::milliseconds(result["pollIntervalMs"].asInt(500)));
    VMCPJsonValue get = VMCPJsonValue::MakeObject();
    get["taskId"] = result["taskId"];
    answer = client.request("tasks/get", std::move(get));
    if (answer.has("error")) break;
    result = answer["result"];
  }
  // A task's end: its result, or the error the call would have answered.
  if (result["status"].asString() == "completed") result = result["result"];
  if (result["status"].asString() == "failed") answer = result;
  if (answer.has("error")) {
    error = "tool " + Quoted(tool) + " failed: " + answer["error"]["message"].asString();
    return 1;
  }
  if (result["status"].asString() == "cancelled") {
    error = "tool " + Quoted(tool) + " was cancelled";
    return 1;
  }
  // The tool's own result is the text of the first item.
  const auto content = result["content"].asArray();
  output = content.empty() ? result.dump() : content[0]["text"].asString();
  return result["isError"].asBool(false) ? 1 : 0;
}

}  // namespace dravo::host
