// Scripted nutritions: what a file describes is what the nutrition answers,
// and a malformed file is refused with the place of the problem. The example
// catalogue's conversions, progress and throws are driven end to end by the
// e2e suite; here are the rules it does not reach.
#include <scripted_nutritions/scripted_nutritions.h>
#include "temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using dravo::host::BuildScriptedNutritions;
using dravo::host::LoadScriptedNutritions;
using dravo::host::ScriptedNutrition;
using dravo::host::ScriptError;
using Qarn::mcp::VMCPJsonValue;
namespace fs = std::filesystem;

Brasko::StrongPtr<ScriptedNutrition> One(const std::string& nutrition) {
  auto all = BuildScriptedNutritions(VMCPJsonValue::Parse(R"({"nutritions":[)" + nutrition + "]}"),
                                     "test.json");
  EXPECT_EQ(all.size(), 1u);
  return all.at(0);
}

TEST(ScriptedNutrition, SlotsOfEachTypeShowTheirValueAsText) {
  auto n = One(R"({"name":"N","input_extensions":["z","a"],
    "slots":[{"name":"B","type":"bool","value":false},
             {"name":"I","type":"integer","value":4,"min":1,"max":9},
             {"name":"F","type":"float","value":0.25},
             {"name":"S","type":"string","value":"hi there"},
             {"name":"C","type":"choice","options":["x","y"],"value":"y"},
             {"name":"V","help":"vector","type":"vector3","value":[1,2.5,-3]},
             {"name":"P","help":"no parameter"}]})");
  std::vector<std::string> seen;
  n->getExtensions([&](const std::string& e) { seen.push_back(e); });
  n->iterate_inputs([&](const Brasko::StrongPtr<Qarn::VSlot>& slot, int) {
    seen.push_back(slot->name + "=" +
                   (slot->parameter ? slot->parameter->getValueAsText({}, "", false) : "-"));
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"z", "a", "B=false", "I=4", "F=0.25", "S=hi there",
                                            "C=y", "V=1;2.5;-3", "P=-"}));
  int index = 0;
  EXPECT_FALSE(n->getSlot("I", index)
                   ->parameter->setValueFromText("10", {}, "", false, {}, nullptr, nullptr))
      << "max is kept";
}

TEST(ScriptedNutrition, DigestibleRulesAndPredictedOutputs) {
  auto byExtension = One(R"({"name":"E","input_extensions":["las"]})");
  auto bySuffix = One(R"({"name":"S","digestible":[".dat","_v2.txt"]})");
  struct Case {
    const ScriptedNutrition& nutrition;
    const char* path;
    bool digestible;
  } cases[] = {
      {*byExtension, "/d/x.LAS", true},
      {*byExtension, "/d/x.laz", false},
      {*bySuffix, "a_v2.txt", true},
      {*bySuffix, "a.DAT", false},  // suffixes are byte-exact
  };
  for (const auto& c : cases) EXPECT_EQ(c.nutrition.isDigestible(c.path), c.digestible) << c.path;
  EXPECT_FALSE(
      One(R"({"name":"N","input_extensions":["x"],"digestible":false})")->isDigestible("a.x"));

  auto n = One(R"({"name":"P","predicted_outputs":["{stem}_t.vtu","index.json"]})");
  std::set<std::string> outputs;
  n->getOutputFiles(outputs, "/out", {"/in/b.las", "/in/a.las"});
  EXPECT_EQ(outputs, (std::set<std::string>{"a_t.vtu", "b_t.vtu", "index.json"}));
}

struct Malformed {
  const char* label;
  std::string document;
  std::string messagePart;
  friend void PrintTo(const Malformed& c, std::ostream* os) { *os << c.label; }
};

class MalformedFiles : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedFiles, AreRefusedWithFileAndPosition) {
  const fs::path file =
      dravo::testing::UniqueTempPath(std::string("bad_") + GetParam().label + ".json");
  std::ofstream(file) << GetParam().document;
  try {
    LoadScriptedNutritions(file);
    ADD_FAILURE() << "accepted";
  } catch (const ScriptError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind(file.string() + ": at ", 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().messagePart), std::string::npos) << message;
  }
  fs::remove(file);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptedNutrition, MalformedFiles,
    ::testing::Values(
        Malformed{"syntax", "{\n  \"nutritions\": [\n    {\"name\": \"a\",}\n  ]\n}",
                  "line 3, column 18: invalid JSON"},
        Malformed{"huge_number", "{\"nutritions\": [1e400]}",
                  "column 17: invalid JSON: Number too big"},
        Malformed{"deep", std::string(20000, '[') + std::string(20000, ']'),
                  "invalid JSON: Nesting is deeper than"},
        Malformed{"not_object", "[]", "top level: expected an object"},
        Malformed{"empty_name", R"({"nutritions":[{"name":""}]})", "nutritions[0].name: must not"},
        Malformed{"typo", R"({"nutritions":[{"name":"a"},{"name":"b","genre":[]}]})",
                  "nutritions[1].genre: unknown member"},
        Malformed{"extensions", R"({"nutritions":[{"name":"a","input_extensions":["x",1]}]})",
                  "nutritions[0].input_extensions[1]: expected a string"},
        Malformed{
            "slot_value",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"vector3","value":[1,2]}]}]})",
            "slots[0].value: expected an array of three numbers"},
        Malformed{
            "choice_value",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"choice","options":["x"],"value":"y"}]}]})",
            "slots[0].value: expected one of the options"},
        Malformed{"progress_kind",
                  R"({"nutritions":[{"name":"a","conversion":{"progress":[{"kind":"shout"}]}}]})",
                  "conversion.progress[0].kind: expected"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
