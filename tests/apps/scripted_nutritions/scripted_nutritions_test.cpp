// Scripted nutritions: what a file describes is what the nutrition answers,
// and a malformed file is refused with the place of the problem.
#include <scripted_nutritions/scripted_nutritions.h>
#include "temp_path.h"

#include <brasko/loader_progress.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using dravo::host::BuildScriptedNutritions;
using dravo::host::LoadScriptedNutritions;
using dravo::host::ScriptedNutrition;
using dravo::host::ScriptedThrow;
using dravo::host::ScriptError;
using Qarn::mcp::VMCPJsonValue;
namespace fs = std::filesystem;

Brasko::StrongPtr<ScriptedNutrition> One(const std::string& nutrition) {
  auto all = BuildScriptedNutritions(VMCPJsonValue::Parse(R"({"nutritions":[)" + nutrition + "]}"),
                                     "test.json");
  EXPECT_EQ(all.size(), 1u);
  return all.at(0);
}

std::string SlotText(const ScriptedNutrition& nutrition, const std::string& name) {
  int index = 0;
  auto slot = nutrition.getSlot(name, index);
  if (!slot || !slot->parameter) return "<none>";
  return slot->parameter->getValueAsText({}, "", false);
}

struct Recorder : Brasko::LoaderProgress {
  std::vector<std::string> seen;
  bool openingFile(const std::string& t) override { return note("openingFile:" + t); }
  bool tryLoader(const std::string& t) override { return note("tryLoader:" + t); }
  bool progress(const std::string& t, std::int64_t d, std::int64_t n) override {
    return note("progress:" + t + ":" + std::to_string(d) + "/" + std::to_string(n));
  }
  bool message(const std::string& t) override { return note("message:" + t); }
  bool notice(const std::string& t) override { return note("notice:" + t); }
  bool abort_on_issue(const std::string& t) override { return !note("abort:" + t); }
  bool note(const std::string& text) {
    seen.push_back(text);
    return true;
  }
};

TEST(ScriptedNutrition, DescriptionMembersAndSlots) {
  auto n = One(R"({"name":"N","description":"D","input_extensions":["z","a","m"],
    "output_extensions":["vtu","csv"],"genres":["g2","g1"],
    "output_scripts":[{"id":3,"shortname":"s","description":"d"}],
    "slots":[{"name":"B","type":"bool","value":false},
             {"name":"I","type":"integer","value":4,"min":1,"max":9},
             {"name":"F","type":"float","value":0.25},
             {"name":"S","type":"string","value":"hi there"},
             {"name":"C","type":"choice","options":["x","y"],"value":"y"},
             {"name":"V","help":"vector","type":"vector3","value":[1,2.5,-3]},
             {"name":"P","help":"no parameter"}]})");
  EXPECT_EQ(n->name.str(), "N");
  EXPECT_EQ(n->description, "D");
  std::vector<std::string> extensions;
  n->getExtensions([&](const std::string& e) { extensions.push_back(e); });
  EXPECT_EQ(extensions, (std::vector<std::string>{"z", "a", "m"})) << "order kept";
  EXPECT_EQ(n->outputExtensions, (std::set<std::string>{"csv", "vtu"}));
  EXPECT_EQ(n->genres, (std::set<std::string>{"g1", "g2"}));
  EXPECT_EQ(n->outputScripts.at(3).shortname, "s");
  EXPECT_EQ(SlotText(*n, "B"), "false");
  EXPECT_EQ(SlotText(*n, "I"), "4");
  EXPECT_EQ(SlotText(*n, "F"), "0.25");
  EXPECT_EQ(SlotText(*n, "S"), "hi there");
  EXPECT_EQ(SlotText(*n, "C"), "y");
  EXPECT_EQ(SlotText(*n, "V"), "1;2.5;-3");
  EXPECT_EQ(SlotText(*n, "P"), "<none>");
  int index = 0;
  EXPECT_EQ(n->getSlot("V", index)->help, "vector");
  EXPECT_FALSE(n->getSlot("I", index)
                   ->parameter->setValueFromText("10", {}, "", false, {}, nullptr, nullptr))
      << "max is kept";
}

TEST(ScriptedNutrition, QuickInfoAnalysisAndDigestibleRules) {
  auto byExtension = One(R"({"name":"E","input_extensions":["las"],"quick_info":"<b>q</b>",
    "analysis":{"log":"L","text":"T"}})");
  EXPECT_EQ(byExtension->getQuickInfo({"a.las"}), "<b>q</b>");
  EXPECT_EQ(byExtension->analyse({}).log, "L");
  EXPECT_EQ(byExtension->analyse({}).analysis, "T");
  EXPECT_TRUE(byExtension->isDigestible("/d/x.LAS"));
  EXPECT_FALSE(byExtension->isDigestible("/d/x.laz"));
  auto bySuffix = One(R"({"name":"S","digestible":[".dat","_v2.txt"]})");
  EXPECT_TRUE(bySuffix->isDigestible("a.dat"));
  EXPECT_TRUE(bySuffix->isDigestible("a_v2.txt"));
  EXPECT_FALSE(bySuffix->isDigestible("a.DAT")) << "suffixes are byte-exact";
  EXPECT_TRUE(One(R"({"name":"A","digestible":true})")->isDigestible("anything"));
  EXPECT_FALSE(
      One(R"({"name":"N","input_extensions":["x"],"digestible":false})")->isDigestible("a.x"));
}

TEST(ScriptedNutrition, PredictedOutputsRepeatStemPerInput) {
  auto n = One(R"({"name":"P","predicted_outputs":["{stem}_t.vtu","index.json"]})");
  std::set<std::string> outputs;
  n->getOutputFiles(outputs, "/out", {"/in/b.las", "/in/a.las"});
  EXPECT_EQ(outputs, (std::set<std::string>{"a_t.vtu", "b_t.vtu", "index.json"}));
  outputs.clear();
  n->getOutputFiles(outputs, "/out", {});
  EXPECT_EQ(outputs, (std::set<std::string>{"index.json"}));
}

class Conversion : public ::testing::Test {
 protected:
  fs::path dir = dravo::testing::UniqueTempPath("conversion");
  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string run(const std::string& conversion, std::vector<std::string>& written,
                  Recorder* recorder = nullptr) {
    auto n = One(R"({"name":"C","predicted_outputs":["a.txt","b.txt","c.txt"],"conversion":)" +
                 conversion + "}");
    std::set<std::string> outputs;
    n->getOutputFiles(outputs, dir.string(), {});
    auto sink = Brasko::MakeStrong<Recorder>();
    auto error = n->convert(outputs, dir.string(), {}, {}, sink);
    for (const auto& name : outputs)
      if (fs::exists(dir / name)) written.push_back(name);
    if (recorder) recorder->seen = sink->seen;
    return error;
  }
};

TEST_F(Conversion, WritesAllSomeOrNoneOfThePredictedFiles) {
  struct Case {
    std::string write;
    std::vector<std::string> expected;
  };
  for (const auto& c : {Case{"all", {"a.txt", "b.txt", "c.txt"}}, Case{"some", {"a.txt", "b.txt"}},
                        Case{"none", {}}}) {
    SetUp();
    std::vector<std::string> written;
    EXPECT_EQ(run(R"({"write":")" + c.write + R"(","content":"x"})", written), "");
    EXPECT_EQ(written, c.expected) << c.write;
  }
  EXPECT_FALSE(fs::exists(dir / "a.txt")) << "the last case wrote nothing";
}

TEST_F(Conversion, ReportsProgressOfEachKindAndReturnsTheErrorText) {
  std::vector<std::string> written;
  Recorder recorder;
  const auto error = run(R"({"write":"none","error":"<b>bad</b>","progress":[
      {"kind":"openingFile","text":"o"},{"kind":"tryLoader","text":"t"},
      {"kind":"progress","text":"p","done":1,"total":3},{"kind":"message","text":"m"},
      {"kind":"notice","text":"n"},{"kind":"abort_on_issue","text":"i"}]})",
                         written, &recorder);
  EXPECT_EQ(error, "<b>bad</b>");
  EXPECT_EQ(recorder.seen,
            (std::vector<std::string>{"openingFile:o", "tryLoader:t", "progress:p:1/3", "message:m",
                                      "notice:n", "abort:i"}));
}

TEST(ScriptedNutrition, ThrowsWhereTheScriptSays) {
  auto n = One(R"({"name":"T","throws":{
      "quick_info":{"kind":"standard","message":"qi"},
      "analyse":{"kind":"other"},
      "digestible":{"kind":"standard","message":"dg"},
      "output_files":{"kind":"standard","message":"of"},
      "convert":{"kind":"other","message":"cv"}}})");
  EXPECT_THROW(
      try { n->getQuickInfo({}); } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "qi");
        throw;
      },
      std::runtime_error);
  EXPECT_THROW(n->analyse({}), ScriptedThrow);
  EXPECT_THROW(n->isDigestible("x"), std::runtime_error);
  std::set<std::string> outputs;
  EXPECT_THROW(n->getOutputFiles(outputs, "", {}), std::runtime_error);
  EXPECT_THROW(n->convert(outputs, fs::temp_directory_path().string(), {}, {}, {}), ScriptedThrow);
  EXPECT_NO_THROW(One(R"({"name":"ok"})")->getQuickInfo({}));
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
        Malformed{"no_list", "{}", "nutritions: expected an array"},
        Malformed{"unknown_top", R"({"nutritions":[],"extra":1})", "extra: unknown member"},
        Malformed{"no_name", R"({"nutritions":[{}]})", "nutritions[0].name: missing"},
        Malformed{"empty_name", R"({"nutritions":[{"name":""}]})", "nutritions[0].name: must not"},
        Malformed{"typo", R"({"nutritions":[{"name":"a"},{"name":"b","genre":[]}]})",
                  "nutritions[1].genre: unknown member"},
        Malformed{"extensions", R"({"nutritions":[{"name":"a","input_extensions":["x",1]}]})",
                  "nutritions[0].input_extensions[1]: expected a string"},
        Malformed{
            "slot_type",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"colour","value":1}]}]})",
            "slots[0].type: expected bool"},
        Malformed{
            "slot_value",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"vector3","value":[1,2]}]}]})",
            "slots[0].value: expected an array of three numbers"},
        Malformed{"slot_missing_value",
                  R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"bool"}]}]})",
                  "slots[0].value: missing"},
        Malformed{
            "choice_value",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"choice","options":["x"],"value":"y"}]}]})",
            "slots[0].value: expected one of the options"},
        Malformed{
            "integer_bounds",
            R"({"nutritions":[{"name":"a","slots":[{"name":"s","type":"integer","value":9,"max":3}]}]})",
            "slots[0].value: outside"},
        Malformed{"write", R"({"nutritions":[{"name":"a","conversion":{"write":"half"}}]})",
                  "conversion.write: expected"},
        Malformed{"progress_kind",
                  R"({"nutritions":[{"name":"a","conversion":{"progress":[{"kind":"shout"}]}}]})",
                  "conversion.progress[0].kind: expected"},
        Malformed{"throw_kind",
                  R"({"nutritions":[{"name":"a","throws":{"convert":{"kind":"loud"}}}]})",
                  "throws.convert.kind: expected"},
        Malformed{"digestible", R"({"nutritions":[{"name":"a","digestible":"yes"}]})",
                  "nutritions[0].digestible: expected"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ScriptedNutrition, MissingFileIsNamed) {
  EXPECT_THROW(LoadScriptedNutritions("/no/such/dir/n.json"), ScriptError);
}

TEST(ScriptedNutrition, TheDocumentedExampleLoads) {
  const auto all = LoadScriptedNutritions(DRAVO_EXAMPLE_NUTRITIONS);
  ASSERT_GE(all.size(), 5u);
  EXPECT_EQ(all[0]->name.str(), "Point Cloud Tiler");
}

}  // namespace
