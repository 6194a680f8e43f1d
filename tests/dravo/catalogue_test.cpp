// The declarations, dispatch by exact name and the argument checks every tool
// makes first; list_nutritions with its disabled plug-in scan, and describe_nutrition.
#include <dravo/mcp/nutrition/tools/disabled_plugins.h>
#include "tool_fixture.h"

#include <algorithm>

#if defined(__linux__)
#  include <sys/fsuid.h>
#endif

namespace {

using namespace dravo::testing;

const std::string kDisabledNote =
    "Some plugins are disabled by a previous load failure (renamed to *.tolm~). A nutrition you "
    "expect may be missing for that reason rather than being uninstalled - see the 'disabled' "
    "list. A stale bcrypt.dll/secur32.dll copy is a common cause of such load failures.";
const std::string kEmptyNote =
    "No nutritions are registered. If the running application did not load its converter "
    "plugins, there is nothing to list.";
const std::string kNoMatchNote =
    "Nothing matched. Call it again without a filter/extension to see everything there is.";

using Catalogue = ScratchTest;

Names SortedScan() {  // the walk keeps the file system's order
  Names names;
  const auto found = dravo::nutrition::DisabledPlugins();
  for (const auto& name : found.asArray()) names.push_back(name.asString());
  std::sort(names.begin(), names.end());
  return names;
}

VMCPJsonValue List(const std::string& filter, const std::string& extension) {
  auto arguments = VMCPJsonValue::MakeObject();
  if (filter != "-") arguments["filter"] = filter;  // "-": leave it out
  if (extension != "-") arguments["extension"] = extension;
  return Call("list_nutritions", arguments);
}

// The locked directories are read with a file-system identity that
// permissions hold back, root or not. Names sit around them: a walk that
// stopped at one would lose some, whatever order the file system lists them in.
TEST_F(Catalogue, ScanReportsRegularTolmTildeFilesToDepthTwoPastLockedDirectoriesAndNeverFails) {
  for (const char* name :
       {"top.tolm~", "d/mid.tolm~", "d/d/low.tolm~", "d/d/d/deep.tolm~", "dup/top.tolm~",
        "x.tolm.tolm~", ".tolm~", "a.TOLM~", "a.tolm", "a.tolm~.bak", "atolm~",
        "dir.tolm~/in.tolm~", "real/target.bin", "locked/x.tolm~", "zlocked/x.tolm~"})
    file(name);
  std::error_code noLinks;  // some systems cannot make symbolic links at all
  fs::create_symlink(root / "real/target.bin", root / "link.tolm~", noLinks);
  if (!noLinks) {
    fs::create_symlink(root / "missing", root / "dangling.tolm~");
    fs::create_directory_symlink(root / "d", root / "dirlink.tolm~");  // not followed
    fs::create_symlink(root / "loop.tolm~", root / "loop.tolm~");      // its status is an error
  }
  const Names locked{"locked", "zlocked"};
  for (const auto& dir : locked) fs::permissions(root / dir, fs::perms::none);
#if defined(__linux__)
  const int previous = setfsuid(65534);  // root keeps no right to override permissions then
#endif
  std::error_code denied;
  fs::directory_iterator probe(root / "locked", denied);
  const Names found = SortedScan();
#if defined(__linux__)
  setfsuid(previous);
#endif
  for (const auto& dir : locked) fs::permissions(root / dir, fs::perms::owner_all);
  Names expected{"in.tolm~", "low.tolm~", "mid.tolm~", "top.tolm~", "top.tolm~", "x.tolm.tolm~"};
  if (!noLinks) expected.insert(expected.begin() + 1, "link.tolm~");
  if (!denied) expected.insert(expected.end(), 2, "x.tolm~");
  EXPECT_EQ(found, expected);
  // A walk that cannot start finds nothing, and fails nothing.
  for (const std::string& where :
       {Utf8(root / "absent"), Utf8(root / "top.tolm~"), std::string()}) {
    Brasko::testing::setExecutableDirOverride(where);
    EXPECT_EQ(dravo::nutrition::DisabledPlugins().dump(), "[]") << where;
  }
}

// The notes: an empty registry, nothing matched, or disabled plug-ins before either.
TEST_F(Catalogue, FilterAndExtensionSelectInRegistryOrderAndNotesSayWhy) {
  EXPECT_EQ(List("-", "-").dump(),
            R"({"success":true,"count":0,"nutritions":[],"note":")" + kEmptyNote + R"("})");
  EXPECT_EQ(List("", "")["note"].asString(), kEmptyNote);  // empty equals omitted
  // Names around the ASCII letters' edges: only A-Z and a-z fold.
  const struct {
    const char *name, *description, *genre;
    Names extensions;
  } nutritions[] = {
      {"zMyABCReader", "", "", {"LAS", "las", "xyz"}},
      {"Described", "reads aBc", "", {"LAS"}},
      {"Genred", "", "Abc", {".las"}},
      {"ExtOnly", "", "", {"abc"}},
      {"\xC3\x84rger", "", "", {"las"}},
      {"\xC3\xA4rgerlich", "", "", {}},
      {"@Z[", "", "", {}},
      {"{|}~\x7f`", "", "", {}},
  };
  for (const auto& n : nutritions) {
    auto added = registry.add(n.name);
    added->description = n.description;
    if (*n.genre) added->genres = {n.genre};
    for (const auto& e : n.extensions) added->addExtension(e);
    added->outputExtensions = {"abc"};
  }
  registry.add("Gone")->retire();
  const struct {
    std::string filter, extension, listed;  // the names, each followed by a blank
  } cases[] = {
      {"-", "",
       "zMyABCReader Described Genred ExtOnly \xC3\x84rger \xC3\xA4rgerlich @Z[ {|}~\x7f` "},
      {"abc", "-", "zMyABCReader Described Genred "},
      {"", "las", "zMyABCReader \xC3\x84rger "},
      {"-", ".las", "Genred "},
      {"abc", "las", "zMyABCReader "},
      {"\xC3\xA4RGER", "-", "\xC3\xA4rgerlich "},
      {"z", "-", "zMyABCReader @Z[ "},
      {"{", "-", "{|}~\x7f` "},
      {"`", "-", "{|}~\x7f` "},
      {"q", "-", ""},
      {"-", "x", ""},
  };
  for (const auto& c : cases) {
    const auto result = List(c.filter, c.extension);
    std::string names;
    for (const auto& record : result["nutritions"].asArray())
      names += record["name"].asString() + " ";
    EXPECT_EQ(names, c.listed) << c.filter << '/' << c.extension;
    EXPECT_EQ(result["count"], VMCPJsonValue(int(result["nutritions"].size())));
    EXPECT_EQ(result["note"].asString(), names.empty() ? kNoMatchNote : "") << names;
  }
  EXPECT_EQ(List("GENRED", "-").dump(),
            R"({"success":true,"count":1,"nutritions":[{"name":"Genred","description":"",)"
            R"("extensions":[".las"],"output_extensions":["abc"],"genres":["Abc"]}]})");
  file("sub/broken.tolm~");
  for (const char* filter : {"-", "q"}) {
    const auto result = List(filter, "-");
    EXPECT_EQ(KeysOf(result), (Names{"success", "count", "nutritions", "disabled", "note"}));
    EXPECT_EQ(result["disabled"].dump(), R"(["broken.tolm~"])");
    EXPECT_EQ(result["note"].asString(), kDisabledNote);
  }
}

TEST_F(Catalogue, DescribeListsEverySlotWithItsValueTextAndTheScripts) {
  auto n = registry.add("Tiler");
  n->description = "Cuts <b>tiles</b>";
  for (const char* e : {"las", "LAZ", "las"}) n->addExtension(e);
  n->outputExtensions = {"tif", "las"};
  n->genres = {"raster", "Points"};
  n->addInput("Count", "How many", Qarn::VParameter::MakeInteger(42));
  n->addInput("TileLength", "x;y;z", Qarn::VParameter::MakeVector3({250, 250, 0}));
  n->addInput("Group", "A heading", {});
  auto gone = Qarn::VParameter::MakeBool(true);
  n->addInput("Gone", "Retired", gone);
  gone->retire();
  n->outputScripts[7] = {"zeta", "Shown last"};
  n->outputScripts[2] = {"alpha", "Shown first"};
  EXPECT_EQ(Call("describe_nutrition", R"({"name":"Tiler"})").dump(),
            R"({"success":true,"name":"Tiler","description":"Cuts <b>tiles</b>",)"
            R"("extensions":["las","LAZ","las"],"output_extensions":["las","tif"],)"
            R"("genres":["Points","raster"],"parameters":[)"
            R"({"name":"Count","help":"How many","value":"42"},)"
            R"({"name":"TileLength","help":"x;y;z","value":"250;250;0"},)"
            R"({"name":"Group","help":"A heading","value":""},)"
            R"({"name":"Gone","help":"Retired","value":""}],"output_scripts":[)"
            R"({"id":2,"shortname":"alpha","description":"Shown first"},)"
            R"({"id":7,"shortname":"zeta","description":"Shown last"}]})");
  registry.add("Bare");
  EXPECT_EQ(Call("describe_nutrition", R"({"name":"Bare"})").dump(),
            R"({"success":true,"name":"Bare","description":"","extensions":[],)"
            R"("output_extensions":[],"genres":[],"parameters":[]})");
}

// Names, property kinds and required members are pinned end to end; here the
// append, some help texts, and the dispatch by whole exact name only.
TEST(Provider, AppendsFourSchemasAndAnswersOnlyTheirExactNames) {
  Qarn::VNutritionMCPTools provider;
  auto tools = VMCPJsonValue::MakeArray();
  tools.push_back(VMCPJsonValue("already there"));
  provider.declareTools(tools);
  ASSERT_EQ(tools.size(), 5u);
  EXPECT_EQ(tools.asArray()[0].asString(), "already there");
  for (int i = 2; i < 5; ++i)
    EXPECT_EQ(tools.asArray()[i]["inputSchema"]["properties"]["name"]["description"].asString(),
              "The nutrition's name, exactly as list_nutritions gives it.");
  EXPECT_EQ(tools.asArray()[3]["description"].asString(),
            "Inspect input files with a nutrition without converting anything: a quick "
            "filename-level summary, a deeper analysis that opens the files, and whether each "
            "file is one this nutrition can handle. Reads only; writes nothing.");
  EXPECT_EQ(tools.asArray()[1]["inputSchema"]["properties"]["extension"]["description"].asString(),
            "Only list nutritions registered for this input file extension (no dot, e.g. "
            "\"las\" or \"sdc\"). Omit for all.");
  for (const char* name : {"List_nutritions", " list_nutritions", "list_nutritions ", "run",
                           "run_nutritions", "", "describe"}) {
    VMCPJsonValue result = 42;
    EXPECT_FALSE(provider.callTool(name, VMCPJsonValue::MakeObject(), {}, result)) << name;
    EXPECT_EQ(result, VMCPJsonValue(42)) << name;
  }
}

struct OtherObject : Qarn::VManagedObject {
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
