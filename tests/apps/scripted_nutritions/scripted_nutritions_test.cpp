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
            "nutritions[0].conversion.progress[0].kind: expected openingFile, tryLoader"},
           {R"({"nutritions":[{"description":"no name"}]})",
            "nutritions[0].name: missing, a string is required"},
           {R"({"nutritions":[{"name":"a","output_scripts":[{"shortname":"s"}]}]})",
            "nutritions[0].output_scripts[0].id: expected an integer"},
           {R"({"nutritions":[{"name":"a","throws":{"convert":{"kind":"loud"}}}]})",
            "nutritions[0].throws.convert.kind: expected \"standard\" or \"other\""},
           {R"({"nutritions":[{"name":"a","digestible":"yes"}]})",
            "nutritions[0].digestible: expected true, false or an array of path suffixes"},
           {R"({"comment":1,"nutrition":[]})", "nutrition: unknown member \"nutrition\""}}) {
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

// A sink that answers false from its second progress report on, as the
// host's does once the client cancelled the call.
struct CancellingSink : Brasko::LoaderProgress {
  int reports = 0;
  bool progress(const std::string&, std::int64_t, std::int64_t) override { return ++reports < 2; }
};

TEST(ScriptedNutrition, ACancelledRunStopsAtTheNextReportAndWritesNothing) {
  const dravo::testing::ScratchDir dir;
  const auto slow = One(R"({"name":"S","conversion":{"write":"all","progress":[)"
                        R"({"kind":"progress","done":1},{"kind":"progress","done":2},)"
                        R"({"kind":"progress","done":3}]}})");
  const auto sink = Brasko::MakeStrong<CancellingSink>();
  EXPECT_EQ(slow->convert({"out.txt"}, dir.path.string(), {}, {}, sink),
            "Cancelled: the client stopped the conversion.");
  EXPECT_EQ(sink->reports, 2);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "not even a temporary file";
  const auto goOn = Brasko::MakeStrong<Brasko::LoaderProgress>();
  EXPECT_EQ(slow->convert({"out.txt"}, dir.path.string(), {}, {}, goOn), "");
  EXPECT_EQ(std::vector(std::filesystem::directory_iterator(dir.path), {}).size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(dir.path / "out.txt"));
}

}  // namespace
