// The catalogue, dispatch by exact name, and the argument checks every tool
// makes before it asks a nutrition anything.
#include "tool_fixture.h"

namespace {

using namespace dravo::testing;

TEST(DeclareTools, AppendsFourSchemasAfterWhatTheArrayHeld) {
  auto tools = VMCPJsonValue::MakeArray();
  tools.push_back(VMCPJsonValue("already there"));
  Qarn::VNutritionMCPTools().declareTools(tools);
  ASSERT_EQ(tools.size(), 5u);
  EXPECT_EQ(tools.asArray()[0].asString(), "already there");
  const struct {
    const char *name, *properties, *required;
  } expected[] = {
      {"list_nutritions", "filter:string extension:string ", "[]"},
      {"describe_nutrition", "name:string ", R"(["name"])"},
      {"analyse_nutrition", "name:string files:array ", R"(["name","files"])"},
      {"run_nutrition",
       "name:string files:array output_path:string arguments:string preview:boolean ",
       R"(["name","files"])"},
  };
  const std::string nameHelp = "The nutrition's name, exactly as list_nutritions gives it.";
  for (int i = 0; i < 4; ++i) {
    const auto& tool = tools.asArray()[i + 1];
    const auto& properties = tool["inputSchema"]["properties"];
    std::string kinds;
    for (const auto& key : properties.keys())
      kinds += key + ":" + properties[key]["type"].asString() + " ";
    EXPECT_EQ(tool["name"].asString(), expected[i].name);
    EXPECT_EQ(kinds, expected[i].properties);
    EXPECT_EQ(tool["inputSchema"]["required"].dump(), expected[i].required);
    if (i > 0) {
      EXPECT_EQ(properties["name"]["description"].asString(), nameHelp);
    }
  }
  EXPECT_EQ(tools.asArray()[3]["description"].asString(),
            "Inspect input files with a nutrition without converting anything: a quick "
            "filename-level summary, a deeper analysis that opens the files, and whether each "
            "file is one this nutrition can handle. Reads only; writes nothing.");
  EXPECT_EQ(tools.asArray()[1]["inputSchema"]["properties"]["extension"]["description"].asString(),
            "Only list nutritions registered for this input file extension (no dot, e.g. "
            "\"las\" or \"sdc\"). Omit for all.");
}

TEST(CallTool, AnswersFalseAndLeavesTheResultForAnythingButAWholeExactName) {
  const auto arguments = VMCPJsonValue::MakeObject();
  for (const char* name : {"List_nutritions", " list_nutritions", "list_nutritions ", "run",
                           "run_nutritions", "", "describe"}) {
    VMCPJsonValue result = 42;
    EXPECT_FALSE(Qarn::VNutritionMCPTools().callTool(name, arguments, {}, result)) << name;
    EXPECT_EQ(result, VMCPJsonValue(42)) << name;
  }
}

class OtherObject : public Qarn::VManagedObject {
 public:
  explicit OtherObject(std::string name) : VManagedObject(std::move(name)) {}
};

// Name, lookup, files, then output_path: each failure stops before the next
// check and before the nutrition is asked anything.
TEST(ArgumentChecks, ComeInAFixedOrderWithExactMessages) {
  RegisteredObjects registry;
  auto tiler = registry.add("Tiler");
  auto count = Qarn::VParameter::MakeInteger(1);
  tiler->addInput("Count", "", count);
  tiler->outputFiles = [](auto&&...) { ADD_FAILURE() << "nutrition asked"; };
  tiler->digestible = [](const std::string&) {
    ADD_FAILURE() << "nutrition asked";
    return false;
  };
  registry.add(Qarn::VNutrition::domainType(), Brasko::MakeStrong<OtherObject>("Impostor"));
  registry.add("Retired")->retire();
  const std::string sayWhich = "Say which nutrition, by the name list_nutritions gives it.";
  const std::string noFiles = "Give the input files to convert, as a \"files\" array of paths.";
  const std::string noOutput = "A real run (preview=false) needs an \"output_path\" to write into.";
  const struct {
    const char *tool, *json;
    std::string error;
  } cases[] = {
      {"describe_nutrition", "{}", sayWhich},
      {"analyse_nutrition", R"({"name":""})", sayWhich},
      {"run_nutrition", R"({"name":7})", sayWhich},
      {"describe_nutrition", R"({"name":"tiler"})",
       "There is no nutrition called \"tiler\". list_nutritions says what there is."},
      {"analyse_nutrition", R"({"name":" Tiler"})", "There is no nutrition called \" Tiler\"."},
      {"run_nutrition", R"({"name":"Impostor"})", "There is no nutrition called \"Impostor\"."},
      {"run_nutrition", R"({"name":"Retired","files":["a"]})",
       "There is no nutrition called \"Retired\"."},
      {"analyse_nutrition", R"({"name":"Tiler","files":[]})",
       "Give the input files to analyse, as a \"files\" array of paths."},
      {"run_nutrition", R"({"name":"Tiler","files":"a","preview":false,"output_path":"x"})",
       noFiles},
      {"run_nutrition", R"({"name":"Tiler","files":["",3,null]})", noFiles},
      {"run_nutrition", R"({"name":"Tiler","files":["a"],"preview":false,"arguments":"Count=9"})",
       noOutput},
      {"run_nutrition",
       R"({"name":"Tiler","files":["a"],"preview":false,"output_path":"","arguments":"Count=9"})",
       noOutput},
  };
  for (const auto& c : cases) EXPECT_EQ(Call(c.tool, c.json).dump(), Failure(c.error)) << c.json;
  EXPECT_EQ(count->getInteger(), 1);
}

}  // namespace
