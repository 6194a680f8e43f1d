// run_nutrition (preview and real run) and analyse_nutrition: what they ask
// the nutrition, in which order, where, under the lock or not, and what they
// answer on every way out; and the module-wide lock: what waits for a real
// run, and what does not.
#include "tool_fixture.h"

#include <chrono>
#include <future>
#include <stdexcept>

namespace {

using namespace dravo::testing;

const std::string kLog = R"(["open: a.las","<b>wrote</b>","","<b>wrote</b>"])";

std::string Join(const std::set<std::string>& strings) {
  std::string joined;
  for (const auto& s : strings) joined += (joined.empty() ? "" : ",") + s;
  return joined;
}

// A nutrition that notes each question it is asked, with the lock's state and
// the working directory at that moment, and throws where a test says.
class Tools : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    nutrition->addInput("Count", "how many", count);
    nutrition->outputFiles = [this](std::set<std::string>& outputs, const std::string& outputDir,
                                    const std::set<std::string>& inputs) {
      note("outputs " + Join(inputs) + " into " + outputDir + " at " +
           count->getValueAsText({}, "", false));
      outputs = expected;
    };
    nutrition->conversion = [this](const std::set<std::string>& outputs, const std::string&,
                                   const Qarn::VNutrition::NameMap& nameMap,
                                   const std::set<std::string>&,
                                   const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) {
      note("convert " + nameMap("a.out"));
      // Each report must answer true, or the next one is not made.
      (void)(progress->openingFile("a.las") && progress->progress("hidden", 1, 2) &&
             progress->message("<b>wrote</b>") && progress->message("") &&
             progress->notice("<b>wrote</b>"));
      for (const auto& name : outputs)
        if (name.ends_with(".out")) Touch(name);
      return errorText;
    };
    nutrition->digestible = [this](const std::string& path) {
      note("digestible " + path);
      return path.ends_with(".las");
    };
    nutrition->quickInfo = [this](const std::set<std::string>& files) {
      note("quickinfo " + Join(files));
      return std::string("<b>3 files</b>\n");
    };
    nutrition->analysis = [this](const std::set<std::string>& files) {
      note("analyse " + Join(files));
      return Qarn::VNutrition::AnalysisTexts{" <i>raw</i> log\n", "<p>Two points</p> &amp; more "};
    };
  }

  void note(const std::string& question) {
    const std::string where = Utf8(fs::relative(fs::current_path(), root));
    calls.push_back(question + (NutritionMutexIsFree() ? "" : ", locked") + ", in " + where);
    if (question.starts_with(throwIn) && thrower) thrower();
  }

  VMCPJsonValue realRun(const std::string& output, const std::string& arguments = "") {
    return Call("run_nutrition", RealRunArgs("Tiler", output, arguments));
  }

  // Every way out leaves the directory as it was and the lock free.
  void expectCleanExit(const std::string& label) {
    EXPECT_EQ(fs::current_path(), root) << label;
    EXPECT_TRUE(NutritionMutexIsFree()) << label;
  }

  Brasko::StrongPtr<TestNutrition> nutrition = registry.add("Tiler");
  Brasko::StrongPtr<Qarn::VParameter> count = Qarn::VParameter::MakeInteger(1);
  std::set<std::string> expected;
  std::string errorText;
  std::string throwIn = "-";
  std::function<void()> thrower;
  Names calls;
};

TEST_F(Tools, PreviewPredictsWithoutLockDirectoryChangeOrArguments) {
  expected = {"rel/b.out", "/abs/a.out"};
  auto args = VMCPJsonValue::Parse(
      R"({"name":"Tiler","files":["b.las","a.las","b.las"],"output_path":" x/ ",)"
      R"("arguments":"not an assignment"})");
  for (const auto& preview :
       {VMCPJsonValue(), VMCPJsonValue(true), VMCPJsonValue("false"), VMCPJsonValue(0)}) {
    if (!preview.isNull()) args["preview"] = preview;
    EXPECT_EQ(Call("run_nutrition", args).dump(),
              R"({"success":true,"name":"Tiler","preview":true,)"
              R"("predicted_output":["/abs/a.out","rel/b.out"],"note":"Nothing was written. )"
              R"(These are the files this would produce; run again with preview=false to do it."})")
        << preview.dump();
  }
  EXPECT_EQ(calls, Names(4, "outputs a.las,b.las into  x/  at 1, in ."));
  expected.clear();
  EXPECT_EQ(Call("run_nutrition", R"({"name":"Tiler","files":["a"]})")["predicted_output"].dump(),
            "[]");
  throwIn = "outputs";
  thrower = [] { throw std::runtime_error("cannot predict"); };
  EXPECT_THROW(Call("run_nutrition", R"({"name":"Tiler","files":["a"]})"), std::runtime_error);
}

// Relative names count where the restored working directory finds them, else
// inside the output directory; any kind of object counts.
TEST_F(Tools, RealRunConvertsInsideOutputPathAndReportsWhatLanded) {
  const fs::path output = root / fs::path(u8"sortie-\u00e9");
  fs::create_directories(output / "sub");
  Touch(output / "only-in-out.txt");
  const auto absolute = Utf8(file("beside.txt")), absent = Utf8(root / "absent.txt");
  const auto quoted = [](const std::string& text) { return VMCPJsonValue(text).dump(); };
  expected = {"b.out", "a.out",           "missing.txt", "beside.txt",
              "sub",   "only-in-out.txt", absolute,      absent};
  EXPECT_EQ(realRun("sortie-\xC3\xA9", "Count=4").dump(),
            R"({"success":true,"name":"Tiler","preview":false,"output_files":[)" +
                quoted(absolute) + R"(,"a.out","b.out","beside.txt","only-in-out.txt","sub"],)" +
                R"("log":)" + kLog + R"(,"expected_not_written":[)" + quoted(absent) +
                R"(,"missing.txt"],"note":"The conversion reported success, but some expected )"
                R"(output files were not found on disk - the nutrition may not actually produce )"
                R"(them."})");
  EXPECT_EQ(calls, (Names{"outputs a.las into sortie-\xC3\xA9 at 4, locked, in sortie-\xC3\xA9",
                          "convert a.out, locked, in sortie-\xC3\xA9"}));
  expectCleanExit("success");
  nutrition->conversion = [](auto&&...) { return std::string(); };
  expected.clear();
  EXPECT_EQ(realRun("out").dump(),
            R"({"success":true,"name":"Tiler","preview":false,"output_files":[],"log":[]})");
}

// A real run's or an analysis' failures, from the arguments, the conversion's
// own error text or an exception.
TEST_F(Tools, FailuresRestoreTheDirectoryAndFreeTheLock) {
  const std::string marker = "No CPU implementation";
  const auto logged = [](const std::string& error) {
    return R"({"success":false,"error":)" + VMCPJsonValue(error).dump() + R"(,"log":)" + kLog + "}";
  };
  const std::string gpu =
      R"({"success":false,"error":"\"Tiler\" is a GPU-only nutrition. Running it is not yet )"
      R"(available over MCP (it needs the qtolm/quib/mcp plugin, which is not built). It can )"
      R"(still be listed and described.","gpu_required":true,"log":)" +
      kLog + "}";
  const std::string cannotRead = Failure(
      "\"arguments\": cannot read \"foo\" as a parameter: it carries no '=' and continues "
      "nothing. Write name=value, separating parameters with newlines or semicolons; a value may "
      "itself contain semicolons, as in TileLength=250;250;0.");
  const std::function<void()> logicError = [] { throw std::logic_error("<b>kept</b>"); };
  const struct {
    std::string arguments, errorText, result;
    std::int64_t count;
    std::size_t asked;
    std::string throwIn = "-";
    std::function<void()> thrower = {};
    std::string tool = "run_nutrition";
  } cases[] = {
      {"foo;Count=5", "", cannotRead, 1, 0},
      {"Count=8", "<b>Bad</b> header\n", logged("Bad header"), 8, 2},
      {"", "<p> </p>\r\n", logged(""), 8, 2},
      {"", "Sorry: " + marker + " for this filter.", gpu, 8, 2},
      {"", marker.substr(0, 20), logged(marker.substr(0, 20)), 8, 2},
      {"", "no cpu implementation", logged("no cpu implementation"), 8, 2},
      {"", "<i>No CPU imp</i>lementation", logged(marker), 8, 2},
      {"Count=9", "", Failure("Conversion failed: <b>kept</b>"), 9, 1, "outputs", logicError},
      {"", "", Failure("Conversion failed with an unknown error."), 9, 2, "convert",
       [] { throw 42; }},
      {"", "", Failure("Analysis failed: bad path"), 9, 1, "digestible",
       [] { throw std::out_of_range("bad path"); }, "analyse_nutrition"},
      {"", "", Failure("Analysis failed with an unknown error."), 9, 3, "analyse", [] { throw 7; },
       "analyse_nutrition"},
  };
  expected = {"a.out"};
  for (const auto& c : cases) {
    std::tie(errorText, throwIn, thrower) = std::tie(c.errorText, c.throwIn, c.thrower);
    calls.clear();
    EXPECT_EQ(Call(c.tool, RealRunArgs("Tiler", "out", c.arguments)).dump(), c.result)
        << c.errorText << c.throwIn;
    EXPECT_EQ(count->getInteger(), c.count) << c.result;
    EXPECT_EQ(calls.size(), c.asked) << c.result;
    expectCleanExit(c.result);
  }
}

// The system's own wording after the colon is pinned end to end.
TEST_F(Tools, UnusableOutputDirFailsAfterTheArgumentsWithoutAskingTheNutrition) {
  for (const auto& directory : {root / "does not exist" / "deeper", file("plain file")}) {
    EXPECT_TRUE(realRun(directory.string(), "Count=3")["error"].asString().starts_with(
        "Cannot use output_path \"" + directory.string() + "\": "));
    EXPECT_EQ(count->getInteger(), 3);  // applied before the directory change
    EXPECT_TRUE(calls.empty());
    expectCleanExit(directory.string());
  }
}

TEST_F(Tools, AnalyseAsksInFixedOrderUnderTheLock) {
  EXPECT_EQ(
      Call("analyse_nutrition", R"({"name":"Tiler","files":["b.las","A.txt","b.las",""]})").dump(),
      R"({"success":true,"name":"Tiler","quickinfo":"3 files",)"
      R"("analysis":"Two points &amp; more","log":" <i>raw</i> log\n",)"
      R"("digestible":{"A.txt":false,"b.las":true}})");
  EXPECT_EQ(calls,
            (Names{"digestible A.txt, locked, in .", "digestible b.las, locked, in .",
                   "quickinfo A.txt,b.las, locked, in .", "analyse A.txt,b.las, locked, in ."}));
}

// A conversion that stops half way until the test lets it go on.
struct Gate {
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  std::function<void()> passThrough = [this] { entered.set_value(), released.wait(); };
};

// While a real run converts, readers, previews and a run without output_path
// answer at once (each would hang here if it took the lock), and a second real
// run waits at the lock until the first has checked its outputs.
TEST_F(Tools, OnlyRealRunsWaitForARealRun) {
  Gate gate;
  std::tie(throwIn, thrower) = std::tie("convert", gate.passThrough);
  std::promise<void> firstDone;
  std::atomic<bool> secondAsked{false};
  auto second = registry.add("Second");
  const auto secondCount = Qarn::VParameter::MakeInteger(1);
  second->addInput("Count", "", secondCount);
  // Once in, the second run stays in its directory until the first is done.
  second->outputFiles = [&, done = firstDone.get_future().share()](auto&&...) {
    secondAsked = true;
    done.wait_for(std::chrono::seconds(2));
  };
  // The last of many names is seen from the second run's directory only: a
  // first run still checking when the second gets in would find it there.
  fs::create_directories("second");
  for (int i = 0; i < 1000; ++i) expected.insert("missing" + std::to_string(1000 + i));
  Touch(root / "second" / *expected.rbegin());
  VMCPJsonValue firstResult;
  std::thread one([&] {
    firstResult = realRun("out", "Count=5");
    firstDone.set_value();
  });
  gate.entered.get_future().wait();
  std::thread two([&] { Call("run_nutrition", RealRunArgs("Second", "second", "Count=7")); });
  EXPECT_TRUE(Call("run_nutrition", R"({"name":"Tiler","files":["a"]})")["success"].asBool(false));
  EXPECT_EQ(Call("list_nutritions", "{}")["count"], VMCPJsonValue(2));
  // A run in progress shows the values it has set.
  EXPECT_EQ(
      Call("describe_nutrition", R"({"name":"Tiler"})")["parameters"].asArray()[0]["value"].dump(),
      R"("5")");
  EXPECT_FALSE(Call("run_nutrition", RealRunArgs("Tiler", ""))["success"].asBool(true));
  // Without the lock the second run sets its parameters and reaches its
  // nutrition well within this wait; with it, it never can, so the wait only
  // bounds how long a fault takes to show.
  for (int i = 0; i < 200 && !secondAsked && secondCount->getInteger() == 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(secondAsked) << "the second run asked its nutrition during the first";
  EXPECT_EQ(secondCount->getInteger(), 1) << "the second run set its parameters during the first";
  gate.release.set_value();
  one.join();
  two.join();
  EXPECT_TRUE(secondAsked);
  EXPECT_EQ(firstResult["expected_not_written"].size(), 1000u);
  expectCleanExit("after both runs");
}

// Many threads, the first of them creating the lock: whatever they call,
// no two are ever inside a nutrition, and each converts in its own directory.
TEST_F(Tools, RunsAndAnalysesNeverOverlap) {
  std::atomic<int> active{0}, faults{0};
  int visits = 0;  // unguarded on purpose: only the module's lock protects it
  auto visit = [&](const fs::path& where) {
    if (++active != 1 || (!where.empty() && fs::current_path() != where)) ++faults;
    ++visits;
    --active;
  };
  for (auto* n : {nutrition.get(), registry.add("Second").get()}) {
    const fs::path dir = root / n->name.str();
    fs::create_directories(dir);
    n->outputFiles = [&, dir](auto&&...) { visit(dir); };
    n->conversion = [&](auto&&...) { return visit({}), std::string(); };
    n->analysis = [&](auto&&) { return visit({}), Qarn::VNutrition::AnalysisTexts{}; };
  }
  std::vector<std::thread> threads;
  for (const char* name : {"Tiler", "Second", "Tiler", "Second"})
    threads.emplace_back([&, name] {
      for (int round = 0; round < 8; ++round) {
        Call("analyse_nutrition", RealRunArgs(name, ""));
        Call("run_nutrition", RealRunArgs(name, name));
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(visits, 4 * 8 * 3);
  EXPECT_EQ(fs::current_path(), root);
}

}  // namespace
