// Scripted nutritions, where the e2e suite (which drives the example catalogue)
// does not reach: digestible rules, slot bounds, and malformed files refused
// with the place of the problem.
#include <scripted_nutritions/scripted_nutritions.h>
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using dravo::host::BuildScriptedNutritions;
using Qarn::mcp::VMCPJsonValue;

Brasko::StrongPtr<dravo::host::ScriptedNutrition> One(const std::string& nutrition) {
  return BuildScriptedNutritions(VMCPJsonValue::Parse(R"({"nutritions":[)" + nutrition + "]}"),
                                 "test.json")
      .at(0);
}

TEST(ScriptedNutrition, DigestibleRulesAndSlotBounds) {
  const auto byExtension = One(R"({"name":"E","input_extensions":["las"]})");
  const auto bySuffix = One(R"({"name":"S","digestible":[".dat","_v2.txt"]})");
  const auto never = One(R"({"name":"N","input_extensions":["x"],"digestible":false})");
  for (const auto& [nutrition, path, digestible] :
       std::vector<std::tuple<decltype(never), std::string, bool>>{
           {byExtension, "/d/x.LAS", true},
           {byExtension, "/d/x.laz", false},
           {bySuffix, "a_v2.txt", true},
           {bySuffix, "a.DAT", false},  // suffixes are byte-exact
           {never, "a.x", false}})
    EXPECT_EQ(nutrition->isDigestible(path), digestible) << path;
  const auto bounded =
      One(R"({"name":"B","slots":[{"name":"I","type":"integer","value":4,"max":9}]})");
  int index = 0;
  const auto& parameter = bounded->getSlot("I", index)->parameter;
  EXPECT_FALSE(parameter->setValueFromText("10", {}, "", false, {}, nullptr, nullptr));
  EXPECT_EQ(parameter->getValueAsText({}, "", false), "4");
}

TEST(ScriptedNutrition, MalformedFilesAreRefusedWithFileAndPosition) {
  const dravo::testing::ScratchDir dir;
  const auto file = dir.path / "bad.json";
  for (const auto& [document, where] : std::vector<std::pair<std::string, std::string>>{
           {"{\n  \"nutritions\": [\n    {\"name\": \"a\",}\n  ]\n}",
            "line 3, column 18: invalid JSON"},
           {"{\"nutritions\": [1e400]}", "line 1, column 17: invalid JSON: Number too big"},
           {std::string(20000, '[') + std::string(20000, ']'),
            "line 1, column 513: invalid JSON: Nesting is deeper than 512 levels."},
           {"[]", "top level: expected an object"},
           {R"({"nutritions":[{"name":""}]})", "nutritions[0].name: must not"},
           {R"({"nutritions":[{"name":"a"},{"name":"b","genre":[]}]})",
            "nutritions[1].genre: unknown member"},
           {R"({"nutritions":[{"name":"a","input_extensions":["x",1]}]})",
            "nutritions[0].input_extensions[1]: expected a string"},
           {R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"choice","options":["x"],)"
            R"("value":"y"}]}]})",
            "nutritions[0].slots[0].value: expected one of the options"},
           {R"({"nutritions":[{"name":"a","conversion":{"progress":[{"kind":"shout"}]}}]})",
            "nutritions[0].conversion.progress[0].kind: expected"}}) {
    std::ofstream(file) << document;
    try {
      dravo::host::LoadScriptedNutritions(file);
      ADD_FAILURE() << "accepted: " << where;
    } catch (const dravo::host::ScriptError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(file.string() + ": at " + where, 0), 0u)
          << error.what();
    }
  }
}

}  // namespace
