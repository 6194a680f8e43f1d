// The tools, resources, prompts and completions the official conformance
// scenarios call, offered the way any plug-in would: through the public SDK
// only. Built for the tests, never installed.
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

constexpr char kProviderName[] = "conformance-fixture";

// A 1x1 PNG and a WAV of one silent sample.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00"
    "\x01\x08\x06\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0d\x49\x44\x41\x54\x78\xda\x63\xfc\xcf"
    "\xc0\xf0\x1f\x00\x05\x05\x02\x00\x5f\xc8\xf1\xd2\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60"
    "\x82",
    70);
const std::string kWav(
    "RIFF\x26\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00"
    "\x02\x00\x10\x00\x64\x61\x74\x61\x02\x00\x00\x00\x00\x00",
    46);

Json Parse(const char* text) {
  return Json::Parse(text);
}

Json StringSchema(const char* property) {
  auto schema = Parse(R"({"type":"object","properties":{},"required":[]})");
  schema["properties"][property]["type"] = "string";
  schema["required"] = Json::MakeArray();
  schema["required"].push_back(property);
  return schema;
}

void Text(VMCPToolResult& result, const std::string& text) {
  result.content.push_back(TextContent(text));
}

// Asks for the name, then greets; any other key is ignored.
void Greeting(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const auto& answer = context.acceptedContent("user_name");
  if (answer.isNull())
    return result.input.elicit("user_name", "What is your name?", StringSchema("name"));
  Text(result, "Hello, " + answer["name"].asString() + "!");
}

Json SamplingParams(const char* text, int maxTokens) {
  auto params = Json::MakeObject();
  auto message = Json::MakeObject();
  message["role"] = "user";
  message["content"] = TextContent(text);
  params["messages"].push_back(std::move(message));
  params["maxTokens"] = maxTokens;
  return params;
}

void Sampling(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const auto& answer = context.inputResponse("capital_question");
  if (answer.isNull())
    return result.input.sample("capital_question",
                               SamplingParams("What is the capital of France?", 100));
  Text(result, "The model said: " + answer["content"]["text"].asString());
}

void Roots(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const auto& answer = context.inputResponse("client_roots");
  if (answer.isNull()) return result.input.listRoots("client_roots");
  Text(result, "Roots: " + answer["roots"].dump());
}

// Asks for a confirmation and trusts only the state it handed out.
void Confirmed(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const bool carried = context.requestState && (*context.requestState)["asked"].asBool(false);
  if (!carried || context.inputResponse("confirm").isNull()) {
    result.input.elicit(
        "confirm", "Please confirm",
        Parse(R"({"type":"object","properties":{"ok":{"type":"boolean"}},"required":["ok"]})"));
    result.input.state["asked"] = true;
    return;
  }
  Text(result, std::string("State verified; confirmed: ") +
                   (context.acceptedContent("confirm")["ok"].asBool(false) ? "yes" : "no"));
}

void Everything(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  if (context.inputResponses && context.requestState) {
    return Text(result, "Hello " + context.acceptedContent("user_name")["name"].asString() +
                            ", all three answers came back.");
  }
  result.input.elicit("user_name", "What is your name?", StringSchema("name"));
  result.input.sample("greeting", SamplingParams("Generate a greeting", 50));
  result.input.listRoots("client_roots");
  result.input.state["round"] = 1;
}

// Two questions, one per round; the state says which round it is.
void TwoRounds(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  const std::int64_t round = context.requestState ? (*context.requestState)["round"].asInt() : 0;
  if (round == 0) {
    result.input.elicit("step1", "Step 1: What is your name?", StringSchema("name"));
    result.input.state["round"] = 1;
  } else if (round == 1) {
    result.input.elicit("step2", "Step 2: What is your favorite color?", StringSchema("color"));
    result.input.state["round"] = 2;
    result.input.state["name"] = context.acceptedContent("step1")["name"];
  } else {
    Text(result, (*context.requestState)["name"].asString() + " likes " +
                     context.acceptedContent("step2")["color"].asString() + ".");
  }
}

// Asks only what the client said it can answer.
void WithinCapabilities(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  if (context.inputResponses) return Text(result, "Answered.");
  if (context.clientSupports("sampling"))
    result.input.sample("summary", SamplingParams("Summarise the day", 50));
  if (context.clientSupports("elicitation"))
    result.input.elicit("user_name", "What is your name?", StringSchema("name"));
  if (result.input.empty()) Text(result, "Nothing to ask this client.");
}

void NeedsSampling(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  if (context.inputResponses) return Text(result, "Sampled.");
  result.input.sample("probe", SamplingParams("Say hello", 10));
}

void StreamingElicitation(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  if (context.inputResponses) return Text(result, "Thanks.");
  result.input.elicit("answer", "Anything to add?", StringSchema("answer"));
}

// Elicits on a 2025 session and reports what came back.
void ElicitThen(const char* message, const Json& schema, const VMCPCallContext& context,
                VMCPToolResult& result) {
  const auto& answer = context.inputResponse("form");
  if (answer.isNull()) return result.input.elicit("form", message, schema);
  Text(result, "Elicitation completed: action=" + answer["action"].asString() +
                   ", content=" + answer["content"].dump());
}

void Progress(const Json&, const VMCPCallContext& context, VMCPToolResult& result) {
  for (int done = 0; done <= 100; done += 50) {
    if (done > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!context.reportProgress(done, 100, "step")) return Text(result, "Stopped.");
  }
  Text(result, "Progress reported.");
}

using Tool = std::function<void(const Json&, const VMCPCallContext&, VMCPToolResult&)>;

const std::map<std::string, Tool>& Tools() {
  static const std::map<std::string, Tool> tools = {
      {"test_simple_text",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         Text(r, "This is a simple text response for testing.");
       }},
      {"test_image_content",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         r.content.push_back(ImageContent(kPng, "image/png"));
       }},
      {"test_audio_content",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         r.content.push_back(AudioContent(kWav, "audio/wav"));
       }},
      {"test_embedded_resource",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         r.content.push_back(EmbeddedResource(TextResourceContents(
             "test://embedded-resource", "text/plain", "This is an embedded resource content.")));
       }},
      {"test_multiple_content_types",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         Text(r, "Multiple content types test:");
         r.content.push_back(ImageContent(kPng, "image/png"));
         r.content.push_back(EmbeddedResource(
             TextResourceContents("test://mixed-content-resource", "application/json",
                                  R"({"test":"data","value":123})")));
       }},
      {"test_error_handling",
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) {
         Text(r, "This tool intentionally returns an error for testing");
         r.isError = true;
       }},
      {"test_logging_tool",  // no log without a log level, and logging is not offered
       [](const Json&, const VMCPCallContext&, VMCPToolResult& r) { Text(r, "Done, quietly."); }},
      {"json_schema_2020_12_tool",
       [](const Json& arguments, const VMCPCallContext&, VMCPToolResult& r) {
         Text(r, "Received: " + arguments.dump());
       }},
      {"test_custom_headers",
       [](const Json& arguments, const VMCPCallContext&, VMCPToolResult& r) {
         Text(r, "Region: " + arguments["region"].asString());
       }},
      {"test_tool_with_progress", Progress},
      {"test_missing_capability", NeedsSampling},
      {"test_streaming_elicitation", StreamingElicitation},
      {"test_input_required_result_elicitation", Greeting},
      {"test_input_required_result_sampling", Sampling},
      {"test_input_required_result_list_roots", Roots},
      {"test_input_required_result_request_state", Confirmed},
      {"test_input_required_result_tampered_state", Confirmed},
      {"test_input_required_result_multiple_inputs", Everything},
      {"test_input_required_result_multi_round", TwoRounds},
      {"test_input_required_result_capabilities", WithinCapabilities},
      {"test_elicitation",
       [](const Json& arguments, const VMCPCallContext& c, VMCPToolResult& r) {
         ElicitThen(arguments["message"].asString().c_str(),
                    Parse(R"({"type":"object","properties":{
                      "username":{"type":"string","description":"User's response"},
                      "email":{"type":"string","description":"User's email address"}},
                      "required":["username","email"]})"),
                    c, r);
       }},
      {"test_elicitation_sep1034_defaults",
       [](const Json&, const VMCPCallContext& c, VMCPToolResult& r) {
         ElicitThen("Please review your details", Parse(R"({"type":"object","properties":{
           "name":{"type":"string","default":"John Doe"},
           "age":{"type":"integer","default":30},
           "score":{"type":"number","default":95.5},
           "status":{"type":"string","enum":["active","inactive","pending"],"default":"active"},
           "verified":{"type":"boolean","default":true}}})"),
                    c, r);
       }},
      {"test_elicitation_sep1330_enums",
       [](const Json&, const VMCPCallContext& c, VMCPToolResult& r) {
         ElicitThen("Pick your options", Parse(R"({"type":"object","properties":{
           "untitledSingle":{"type":"string","enum":["option1","option2","option3"]},
           "titledSingle":{"type":"string","oneOf":[{"const":"value1","title":"First Option"},
             {"const":"value2","title":"Second Option"},{"const":"value3","title":"Third Option"}]},
           "legacyEnum":{"type":"string","enum":["opt1","opt2","opt3"],
             "enumNames":["Option One","Option Two","Option Three"]},
           "untitledMulti":{"type":"array","items":{"type":"string","enum":["option1","option2","option3"]}},
           "titledMulti":{"type":"array","items":{"anyOf":[{"const":"value1","title":"First Choice"},
             {"const":"value2","title":"Second Choice"},{"const":"value3","title":"Third Choice"}]}}}})"),
                    c, r);
       }},
  };
  return tools;
}

const char* kJsonSchema2020 = R"({
  "$schema":"https://json-schema.org/draft/2020-12/schema","type":"object",
  "$defs":{"address":{"$anchor":"addressDef","type":"object",
    "properties":{"street":{"type":"string"},"city":{"type":"string"}}}},
  "properties":{"name":{"type":"string"},"address":{"$ref":"#/$defs/address"},
    "contactMethod":{"type":"string","enum":["phone","email"]},
    "phone":{"type":"string"},"email":{"type":"string"}},
  "allOf":[{"anyOf":[{"required":["phone"]},{"required":["email"]}]}],
  "if":{"properties":{"contactMethod":{"const":"phone"}},"required":["contactMethod"]},
  "then":{"required":["phone"]},"else":{"required":["email"]},
  "additionalProperties":false})";

Json Declaration(const std::string& name) {
  if (name == "json_schema_2020_12_tool")
    return DeclareToolWithSchemas(name, "Tool with JSON Schema 2020-12 features",
                                  Parse(kJsonSchema2020));
  if (name == "test_custom_headers") {
    auto schema = Parse(R"({"type":"object","properties":{"region":{"type":"string"}}})");
    MirrorInHeader(schema, "region", "Region");
    return DeclareToolWithSchemas(name, "Routes on its region argument", schema);
  }
  auto properties = Json::MakeObject();
  std::vector<std::string> required;
  if (name == "test_elicitation") {
    properties["message"] = StringProp("The message to show the user");
    required.push_back("message");
  }
  return DeclareTool(name, "Conformance fixture: " + name, properties, required);
}

Json PromptText(const std::string& text) {
  return PromptMessage("user", TextContent(text));
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
    resources.push_back(DeclareResource("test://static-text", "static-text",
                                        "A fixed text resource", "text/plain"));
    resources.push_back(DeclareResource("test://static-binary", "static-binary",
                                        "A fixed binary resource", "image/png"));
    resources.push_back(DeclareResource("test://watched-resource", "watched-resource",
                                        "A resource clients may subscribe to", "text/plain"));
  }
  void declareResourceTemplates(Json& templates) override {
    templates.push_back(DeclareResourceTemplate("test://template/{id}/data", "template-data",
                                                "Data for one id", "application/json"));
  }
  bool readResource(const std::string& uri, const VMCPCallContext&,
                    VMCPResourceResult& result) override {
    Json variables;
    if (uri == "test://static-text" || uri == "test://watched-resource") {
      result.contents.push_back(TextResourceContents(
          uri, "text/plain", "This is the content of the static text resource."));
    } else if (uri == "test://static-binary") {
      result.contents.push_back(BlobResourceContents(uri, "image/png", kPng));
    } else if (MatchUriTemplate("test://template/{id}/data", uri, variables)) {
      const std::string id = variables["id"].asString();
      auto data = Json::MakeObject();
      data["id"] = id;
      data["templateTest"] = true;
      data["data"] = "Data for ID: " + id;
      result.contents.push_back(TextResourceContents(uri, "application/json", data.dump()));
    } else {
      return false;
    }
    return true;
  }

  void declarePrompts(Json& prompts) override {
    prompts.push_back(DeclarePrompt("test_simple_prompt", "A prompt without arguments"));
    auto two = Json::MakeArray();
    two.push_back(PromptArgument("arg1", "First test argument", true));
    two.push_back(PromptArgument("arg2", "Second test argument", true));
    prompts.push_back(DeclarePrompt("test_prompt_with_arguments", "A prompt with arguments", two));
    auto uri = Json::MakeArray();
    uri.push_back(PromptArgument("resourceUri", "URI of the resource to embed", true));
    prompts.push_back(DeclarePrompt("test_prompt_with_embedded_resource",
                                    "A prompt with an embedded resource", uri));
    prompts.push_back(DeclarePrompt("test_prompt_with_image", "A prompt with an image"));
    prompts.push_back(DeclarePrompt("test_input_required_result_prompt",
                                    "A prompt that asks the user for its context first"));
  }
  bool getPrompt(const std::string& name, const Json& arguments, const VMCPCallContext& context,
                 VMCPPromptResult& result) override {
    auto& messages = result.messages;
    if (name == "test_simple_prompt") {
      messages.push_back(PromptText("This is a simple prompt for testing."));
    } else if (name == "test_prompt_with_arguments") {
      messages.push_back(PromptText("Prompt with arguments: arg1='" + arguments["arg1"].asString() +
                                    "', arg2='" + arguments["arg2"].asString() + "'"));
    } else if (name == "test_prompt_with_embedded_resource") {
      messages.push_back(PromptMessage(
          "user",
          EmbeddedResource(TextResourceContents(arguments["resourceUri"].asString(), "text/plain",
                                                "Embedded resource content for testing."))));
      messages.push_back(PromptText("Please process the embedded resource above."));
    } else if (name == "test_prompt_with_image") {
      messages.push_back(PromptMessage("user", ImageContent(kPng, "image/png")));
      messages.push_back(PromptText("Please analyze the image above."));
    } else if (name == "test_input_required_result_prompt") {
      const auto& answer = context.acceptedContent("user_context");
      if (answer.isNull())
        result.input.elicit("user_context", "What context should the prompt use?",
                            StringSchema("context"));
      else
        messages.push_back(PromptText("Use this context: " + answer["context"].asString()));
    } else {
      return false;
    }
    return true;
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
    VMCPRegistry::Register(kProviderName,
                           Brasko::StrongPtr<VMCPToolProvider>(new ConformanceFixture));
  }
  ~Registration() { VMCPRegistry::Unregister(kProviderName); }
};
const Registration registration;

}  // namespace

DRAVO_DEFINE_PLUGIN_ENTRY()
