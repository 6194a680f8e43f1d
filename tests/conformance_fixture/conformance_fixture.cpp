// The tools, resources, prompts and completions the official conformance
// scenarios call, offered the way any plug-in would: through the public SDK
// only. Fixed answers come from catalogue.json; what depends on the call is
// below. Built for the tests, never installed.
#include <qarn/mcp/content.h>
#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>
#include <qarn/mcp/tool_schema.h>
#include <qarn/plugin.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>

namespace {

using namespace Qarn::mcp;
using Json = VMCPJsonValue;
using Tool = std::function<void(const Json&, const VMCPCallContext&, VMCPToolResult&)>;

const Json& Catalogue() {
  static const Json catalogue = Json::Parse(
#include "catalogue.inc"
  );
  return catalogue;
}

Json Parse(const char* text) {
  return Json::Parse(text);
}

// {"type":"object","properties":{"<property>":{"type":"string"}},"required":["<property>"]}
Json StringSchema(const std::string& property) {
  return Json::Parse(R"({"type":"object","properties":{")" + property +
                     R"(":{"type":"string"}},"required":[")" + property + R"("]})");
}

void Text(VMCPToolResult& result, const std::string& text) {
  result.content.push_back(TextContent(text));
}

Json Sampling(const char* text, int maxTokens) {
  auto params = Json::MakeObject();
  params["messages"].push_back(PromptMessage("user", TextContent(text)));
  params["maxTokens"] = maxTokens;
  return params;
}

// Asks for the name, then greets; keys it does not know are ignored.
void Greeting(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const auto& answer = context.acceptedContent("user_name");
  if (!answer.isNull()) return Text(result, "Hello, " + answer["name"].asString() + "!");
  result.input.elicit("user_name", "What is your name?", StringSchema("name"));
}

// Asks for a confirmation and trusts only the state it handed out with it.
void Confirmed(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  if (context.requestState && (*context.requestState)["asked"].asBool(false))
    return Text(result,
                std::string("Confirmed: ") +
                    (context.acceptedContent("confirm")["ok"].asBool(false) ? "yes" : "no"));
  result.input.elicit("confirm", "Please confirm",
                      Parse(R"({"type":"object","properties":{"ok":{"type":"boolean"}},)"
                            R"("required":["ok"]})"));
  result.input.state["asked"] = true;
}

// Two questions, one per round; the state says which round it is.
void TwoRounds(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const std::int64_t round = context.requestState ? (*context.requestState)["round"].asInt() : 0;
  if (round == 2)
    return Text(result, (*context.requestState)["name"].asString() + " likes " +
                            context.acceptedContent("step2")["color"].asString() + ".");
  if (round == 0) {
    result.input.elicit("step1", "Step 1: What is your name?", StringSchema("name"));
  } else {
    result.input.elicit("step2", "Step 2: What is your favorite color?", StringSchema("color"));
    result.input.state["name"] = context.acceptedContent("step1")["name"];
  }
  result.input.state["round"] = round + 1;
}

// Asks what the client said it can answer, or, with `all`, everything.
Tool Asking(bool all) {
  return [all](const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
    if (context.inputResponses) return Text(result, "Thanks for the answers.");
    if (all || context.clientSupports("elicitation"))
      result.input.elicit("user_name", "What is your name?", StringSchema("name"));
    if (all || context.clientSupports("sampling"))
      result.input.sample("greeting", Sampling("Generate a greeting", 50));
    if (all) result.input.listRoots("client_roots");
    if (result.input.empty()) return Text(result, "Nothing to ask this client.");
    result.input.state["round"] = 1;
  };
}

// One input request of a kind, then the answer it got.
Tool AskOnce(const std::string& key, std::function<void(VMCPInputRequests&)> ask) {
  return [key, ask](const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
    const auto& answer = context.inputResponse(key);
    if (answer.isNull()) return ask(result.input);
    Text(result, "Answered: " + answer.dump());
  };
}

// A 2025 session's elicitation: asks with the catalogue's schema, reports the answer.
Tool Elicit(const std::string& name) {
  return [name](const Json& arguments, const VMCPCallContext& context, VMCPToolResult& result) {
    const auto& form = Catalogue()["elicitations"][name];
    const auto& answer = context.inputResponse("form");
    if (!answer.isNull())
      return Text(result, "Elicitation completed: action=" + answer["action"].asString() +
                              ", content=" + answer["content"].dump());
    const std::string message = form["message"].asString();
    result.input.elicit("form", message.empty() ? arguments["message"].asString() : message,
                        form["schema"]);
  };
}

void Progress(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  for (int done = 0; done <= 100; done += 50) {
    if (done > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!context.reportProgress(done, 100)) return Text(result, "Stopped.");
  }
  Text(result, "Progress reported.");
}

// Works `seconds` (default 1), or until the call is cancelled: long enough
// to outlive the host's task budget.
bool Work(const Json& arguments, const VMCPCallContext& context) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(std::int64_t(arguments["seconds"].asDouble(1) * 1000));
  while (std::chrono::steady_clock::now() < end) {
    if (context.isCancelled()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void SlowCompute(const Json& arguments, const VMCPCallContext& context, VMCPToolResult& result) {
  Text(result, Work(arguments, context) ? "Computed " + arguments["label"].asString() : "Stopped.");
}

void FailingJob(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  Work(Json::Parse(R"({"seconds":1})"), context);
  Text(result, "The job failed.");
  result.isError = true;
}

// Asks for a name first, then works a second: its answer is a task.
void AskThenWork(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const auto& answer = context.inputResponse("user_name");
  if (answer.isNull())
    return result.input.elicit("user_name", "Who is asking?", StringSchema("name"));
  Work(Json::Parse(R"({"seconds":1})"), context);
  Text(result, "Done for " + answer["content"]["name"].asString() + ".");
}

const std::map<std::string, Tool>& Tools() {
  static const std::map<std::string, Tool> tools = [] {
    std::map<std::string, Tool> all = {
        {"test_tool_with_progress", Progress},
        {"greet",
         [](const Json& arguments, auto&, VMCPToolResult& r) {
           Text(r, "Hello, " + arguments["name"].asString() + "!");
         }},
        {"slow_compute", SlowCompute},
        {"failing_job", FailingJob},
        {"test_tool_with_task", AskThenWork},
        {"test_input_required_result_elicitation", Greeting},
        {"test_input_required_result_request_state", Confirmed},
        {"test_input_required_result_tampered_state", Confirmed},
        {"test_input_required_result_multi_round", TwoRounds},
        {"test_input_required_result_multiple_inputs", Asking(true)},
        {"test_input_required_result_capabilities", Asking(false)},
        {"test_input_required_result_sampling",
         AskOnce("capital_question",
                 [](auto& in) {
                   in.sample("capital_question", Sampling("What is the capital of France?", 100));
                 })},
        {"test_input_required_result_list_roots",
         AskOnce("client_roots", [](auto& in) { in.listRoots("client_roots"); })},
        {"test_missing_capability",
         AskOnce("probe", [](auto& in) { in.sample("probe", Sampling("Say hello", 10)); })},
        {"test_streaming_elicitation",
         AskOnce("answer",
                 [](auto& in) { in.elicit("answer", "Anything?", StringSchema("answer")); })},
        {"json_schema_2020_12_tool", [](const Json& arguments, auto&,
                                        VMCPToolResult& r) { Text(r, "Got " + arguments.dump()); }},
        {"test_custom_headers",
         [](const Json& arguments, auto&, VMCPToolResult& r) {
           Text(r, "Region: " + arguments["region"].asString());
         }},
    };
    for (const auto& form : Catalogue()["elicitations"].members())
      all[std::string(form.key())] = Elicit(std::string(form.key()));
    for (const auto& fixed : Catalogue()["tools"].members())
      all[std::string(fixed.key())] = [&answer = fixed.value](auto&, auto&, VMCPToolResult& r) {
        r.content = answer["content"];
        r.isError = answer["isError"].asBool(false);
      };
    return all;
  }();
  return tools;
}

Json Declaration(const std::string& name) {
  auto schema = Catalogue()["inputSchemas"][name];
  if (schema.isNull())
    return DeclareTool(name, "Conformance fixture: " + name, Json::MakeObject(), {});
  if (name == "test_custom_headers") MirrorInHeader(schema, "region", "Region");
  return DeclareToolWithSchemas(name, "Conformance fixture: " + name, schema);
}

// The prompt's messages with each {argument} replaced by its value.
Json Filled(const Json& messages, const Json& arguments) {
  std::string text = messages.dump();
  for (const auto& argument : arguments.members()) {
    std::string value;
    Json::QuoteTo(argument.value.asString(), value);
    const std::string mark = "{" + std::string(argument.key()) + "}";
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
      text.replace(at, mark.size(), value.substr(1, value.size() - 2));
  }
  return Json::Parse(text);
}

class ConformanceFixture : public VMCPToolProvider {
 public:
  void declareTools(Json& tools) override {
    for (const auto& [name, tool] : Tools()) tools.push_back(Declaration(name));
  }
  bool callTool(const std::string&, const Json&, const VMCPCallContext&, Json&) override {
    return false;  // every tool here answers with content items
  }
  bool runTool(const std::string& name, const Json& arguments, const VMCPCallContext& context,
               VMCPToolResult& result) override {
    const auto found = Tools().find(name);
    if (found == Tools().end()) return false;
    found->second(arguments, context, result);
    return true;
  }

  void declareResources(Json& resources) override {
    for (const auto& r : Catalogue()["resources"].asArray())
      resources.push_back(DeclareResource(r["uri"].asString(), r["name"].asString(),
                                          r["description"].asString(), r["mimeType"].asString()));
  }
  void declareResourceTemplates(Json& templates) override {
    templates.push_back(DeclareResourceTemplate("test://template/{id}/data", "template-data",
                                                "Data for one id", "application/json"));
  }
  bool readResource(const std::string& uri, const VMCPCallContext&,
                    VMCPResourceResult& result) override {
    Json variables;
    if (MatchUriTemplate("test://template/{id}/data", uri, variables)) {
      auto data = Json::MakeObject();
      data["id"] = variables["id"];
      data["templateTest"] = true;
      data["data"] = "Data for ID: " + variables["id"].asString();
      result.contents.push_back(TextResourceContents(uri, "application/json", data.dump()));
      return true;
    }
    for (const auto& r : Catalogue()["resources"].asArray()) {
      if (r["uri"].asString() != uri) continue;
      auto contents = r;
      contents.erase("name");
      contents.erase("description");
      result.contents.push_back(std::move(contents));
      return true;
    }
    return false;
  }

  void declarePrompts(Json& prompts) override {
    for (const auto& p : Catalogue()["prompts"].asArray())
      prompts.push_back(
          DeclarePrompt(p["name"].asString(), p["description"].asString(), p["arguments"]));
    prompts.push_back(DeclarePrompt("test_input_required_result_prompt",
                                    "A prompt that asks the user for its context first"));
  }
  bool getPrompt(const std::string& name, const Json& arguments, const VMCPCallContext& context,
                 VMCPPromptResult& result) override {
    if (name == "test_input_required_result_prompt") {
      const auto& answer = context.acceptedContent("user_context");
      if (answer.isNull())
        result.input.elicit("user_context", "What context should the prompt use?",
                            StringSchema("context"));
      else
        result.messages.push_back(
            PromptMessage("user", TextContent("Context: " + answer["context"].asString())));
      return true;
    }
    for (const auto& p : Catalogue()["prompts"].asArray()) {
      if (p["name"].asString() != name) continue;
      result.messages = Filled(p["messages"], arguments);
      return true;
    }
    return false;
  }

  bool complete(const VMCPCompletionRequest& request, VMCPCompletion& completion) override {
    if (request.ref["name"].asString() != "test_prompt_with_arguments") return false;
    for (const char* value : {"paris", "park", "party", "test", "testing"})
      if (std::string_view(value).starts_with(request.value)) completion.values.push_back(value);
    completion.total = std::int64_t(completion.values.size());
    return true;
  }
};

struct Registration {
  Registration() {
    VMCPRegistry::Register("conformance-fixture",
                           Brasko::StrongPtr<VMCPToolProvider>(new ConformanceFixture));
  }
  ~Registration() { VMCPRegistry::Unregister("conformance-fixture"); }
};
const Registration registration;

}  // namespace

DRAVO_DEFINE_PLUGIN_ENTRY()
