#include <qarn/mcp/json_value.h>
#include <qarn/mcp/tool_declaration.h>

#include <gtest/gtest.h>

namespace {

using Qarn::mcp::VMCPJsonValue;

TEST(JsonValue, CopiesAreDeep) {
  auto a = VMCPJsonValue::MakeObject();
  a["list"].push_back(VMCPJsonValue(1));
  auto b = a;
  b["list"].push_back(VMCPJsonValue(2));
  b["new"] = "x";
  EXPECT_EQ(a.dump(), R"({"list":[1]})");
  EXPECT_EQ(b.dump(), R"({"list":[1,2],"new":"x"})");
}

TEST(JsonValue, MissingKeysAreHarmlessAndKindsAreNumbered) {
  const auto object = VMCPJsonValue::Parse(R"({"a":[1],"s":"t","b":false})");
  EXPECT_EQ(object["a"].kind, 4);
  EXPECT_EQ(object["missing"].kind, VMCPJsonValue::Null);
  EXPECT_FALSE(object["missing"].isString());
  EXPECT_FALSE(object.has("missing"));
  EXPECT_EQ(object["missing"]["deeper"].asString("d"), "d");
  EXPECT_EQ(object["a"]["not an object"].asString(), "");
  EXPECT_TRUE(object["missing"].asArray().empty());
  EXPECT_EQ(object["s"].asString(), "t");
  EXPECT_EQ(object["a"].asString("def"), "def");
  EXPECT_FALSE(object["b"].asBool(true));
  EXPECT_TRUE(object["s"].asBool());  // not a boolean: the default
  const VMCPJsonValue scalar = 3;
  EXPECT_EQ(scalar["x"].kind, VMCPJsonValue::Null);  // const subscript on a non-object
}

TEST(JsonValue, TextRoundTripKeepsMemberOrderAndEscapes) {
  const char* texts[] = {
      R"({"z":1,"a":[true,null,"x\"y\\"],"m":{"k":-2.5}})",
      R"([])",
      R"("caf\u00e9 \n")",
  };
  for (const char* text : texts) {
    const auto once = VMCPJsonValue::Parse(text).dump();
    EXPECT_EQ(VMCPJsonValue::Parse(once).dump(), once) << text;
  }
  EXPECT_EQ(VMCPJsonValue::Parse(texts[0]).dump(), texts[0]);
  VMCPJsonValue bad(std::string("\xff"));
  EXPECT_NO_THROW(bad.dump());
}

TEST(JsonValue, ParseErrorsCarryThePosition) {
  try {
    VMCPJsonValue::Parse(R"({"a": tru})");
    FAIL() << "no error";
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    EXPECT_GT(error.position(), 5u);
  }
  EXPECT_THROW(VMCPJsonValue::Parse(""), Qarn::mcp::VMCPJsonParseError);
}

TEST(ToolDeclaration, IsAStandardMcpDeclaration) {
  auto props = VMCPJsonValue::MakeObject();
  props["p"] = Qarn::mcp::StringProp("d");
  props["f"] = Qarn::mcp::StringArrayProp("e");
  props["b"] = Qarn::mcp::BoolProp("g");
  EXPECT_EQ(Qarn::mcp::DeclareTool("t", "desc", props, {"p"}).dump(),
            R"({"name":"t","description":"desc","inputSchema":{"type":"object","properties":)"
            R"({"p":{"type":"string","description":"d"},"f":{"type":"array","items":)"
            R"({"type":"string"},"description":"e"},"b":{"type":"boolean","description":"g"}},)"
            R"("required":["p"]}})");
}

}  // namespace
