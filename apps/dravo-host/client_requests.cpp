#include <dravo-host/client_requests.h>
#include <dravo-host/protocol.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <random>

namespace dravo::host {

namespace {

// How often a waiting call looks at its cancellation.
constexpr std::chrono::milliseconds kCancelPoll{50};

struct Waiting {
  std::mutex mutex;
  std::condition_variable answered;
  std::map<std::string, std::optional<VMCPJsonValue>> open;  // id to answer, once it came
  std::uint64_t issued = 0;
  const std::uint64_t salt = std::random_device{}();  // ids another client cannot guess
};

Waiting& Requests() {
  static Waiting& waiting = *new Waiting;  // worker threads may outlive statics
  return waiting;
}

}  // namespace

VMCPJsonValue AskClient(const std::function<void(const VMCPJsonValue&)>& send,
                        const std::string& method, const VMCPJsonValue& params,
                        const Cancellation& cancellation, std::chrono::milliseconds patience) {
  auto& waiting = Requests();
  std::string id;
  {
    std::lock_guard lock(waiting.mutex);
    id = "input-" + std::to_string(++waiting.issued) + "-" + std::to_string(waiting.salt);
    waiting.open[id];
  }
  VMCPJsonValue request = VMCPJsonValue::MakeObject();
  request["jsonrpc"] = "2.0";
  request["id"] = id;
  request["method"] = method;
  request["params"] = params;
  send(request);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::unique_lock lock(waiting.mutex);
  auto& slot = waiting.open[id];
  while (!slot && !cancellation.requested && std::chrono::steady_clock::now() < deadline)
    waiting.answered.wait_for(lock, kCancelPoll);
  std::optional<VMCPJsonValue> answer = std::move(slot);
  waiting.open.erase(id);
  lock.unlock();
  if (cancellation.requested)
    throw RpcError{kInternalError, "Cancelled while waiting for the client's input."};
  if (!answer) throw RpcError{kInternalError, "The client did not answer " + Quoted(method) + "."};
  if (answer->has("error"))
    throw RpcError{kInternalError, "The client refused " + Quoted(method) + ": " +
                                       (*answer)["error"]["message"].asString()};
  return (*answer)["result"];
}

bool DeliverClientAnswer(const VMCPJsonValue& response) {
  const auto& id = response["id"];
  if (!id.isString()) return false;
  auto& waiting = Requests();
  {
    std::lock_guard lock(waiting.mutex);
    auto found = waiting.open.find(id.asString());
    if (found == waiting.open.end() || found->second) return false;
    found->second = response;
  }
  waiting.answered.notify_all();
  return true;
}

}  // namespace dravo::host
