#include <qarn/mcp/json_value.h>

#include <gtest/gtest.h>

namespace {

using Qarn::mcp::VMCPJsonValue;

TEST(JsonValue, CopiesAndAppendedValuesAreDeep) {
  auto item = VMCPJsonValue::MakeArray(), a = VMCPJsonValue::MakeObject();
  item.push_back(VMCPJsonValue(1));
  a["list"].push_back(item);  // an lvalue is copied, not moved from
  auto b = a;
  b["list"].push_back(VMCPJsonValue(2));
  b["new"] = "x";
  item.push_back(VMCPJsonValue(3));
  EXPECT_EQ(a.dump() + item.dump(), R"({"list":[[1]]}[1,3])");
  EXPECT_EQ(b.dump(), R"({"list":[[1],2],"new":"x"})");
}

TEST(JsonValue, ReadsGiveTheDefaultForMissingOrOtherKinds) {
  const auto object = VMCPJsonValue::Parse(R"({"a":[1],"s":"t","b":false,"n":null})");
  EXPECT_EQ(object["a"].kind, 4);  // plug-ins rely on the numbering
  EXPECT_EQ(object["missing"].kind, VMCPJsonValue::Null);
  EXPECT_FALSE(object.has("missing"));
  EXPECT_EQ(object["missing"]["deeper"].asString("d"), "d");
  EXPECT_TRUE(object["missing"].asArray().empty());
  EXPECT_EQ(object["s"].asString(), "t");
  EXPECT_EQ(object["a"].asString("def"), "def");
  EXPECT_FALSE(object["b"].asBool(true));
  for (const char* key : {"missing", "n", "s"})  // the fallback is true unless given
    EXPECT_EQ(std::pair(object[key].asBool(), object[key].asBool(false)), std::pair(true, false))
        << key;
  const VMCPJsonValue scalar = 3;
  EXPECT_EQ(scalar["x"].kind, VMCPJsonValue::Null);  // const subscript on a non-object
}

TEST(JsonValue, DumpKeepsMemberOrderAndEscapes) {
  for (const char* text : {R"({"z":1,"a":[true,null,"x\"y\\"],"m":{"k":-2.5}})", R"([])"})
    EXPECT_EQ(VMCPJsonValue::Parse(text).dump(), text);
  const auto once = VMCPJsonValue::Parse(R"("caf\u00e9 \n")").dump();
  EXPECT_EQ(VMCPJsonValue::Parse(once).dump(), once);
}

TEST(JsonValue, QuotedAndTwinDumpsAreTheQuotedTextAndInvalidUtf8IsReplaced) {
  struct Case {
    std::string text;  // a string value, also used as a member name
    const char* dumped;
  } cases[] = {
      {"", R"("")"},
      {"12345678", R"("12345678")"},  // the longest string held inline
      {"123456789", R"("123456789")"},
      {"q\"b\\n\n\x01", R"("q\"b\\n\n\u0001")"},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"a\xff!", "\"a\xef\xbf\xbd!\""},
      {std::string("x\xe2\x82", 3) + std::string(20, 'y'), nullptr},  // cut short, on the heap
  };
  auto all = VMCPJsonValue::MakeArray();
  for (const auto& c : cases) {
    const VMCPJsonValue value(c.text);
    if (c.dumped) {
      EXPECT_EQ(value.dump(), c.dumped) << c.text;
    }
    auto object = VMCPJsonValue::MakeObject();
    object[c.text] = value;
    object["list"].push_back(value);
    const std::string text = object.dump();
    EXPECT_NO_THROW(VMCPJsonValue::Parse(text)) << text;
    std::string quoted = "<";
    VMCPJsonValue::QuoteTo(text, quoted);
    EXPECT_EQ(VMCPJsonValue::Parse(quoted.substr(1)).asString(), text);
    for (int i = 0; i < 40; ++i) all.push_back(object);
  }
  // Written twice in one pass, the escaped copy spilling in pieces on the way.
  std::string plain = "<", escaped = "\"", spilled;
  all.dumpTo(
      plain, escaped,
      [&](std::string& piece) {
        spilled += piece;
        piece.clear();
      },
      1);
  EXPECT_EQ(plain, "<" + all.dump());
  EXPECT_NE(spilled, "") << "no piece went out before the end";
  EXPECT_EQ(VMCPJsonValue::Parse(spilled + escaped + "\"").asString(), all.dump());
}

TEST(JsonValue, ManyMembersKeepTheirOrderAndAreFound) {
  // Every third name is too long to be kept in place.
  const auto key = [](int i) { return std::string(i % 3 ? 0 : 24, 'k') + std::to_string(i); };
  auto object = VMCPJsonValue::MakeObject();
  for (int i = 99; i >= 0; --i) object[key(i)] = i;
  object[key(50)] = "again";  // setting a member again keeps its place
  for (int gone : {7, 6}) {
    EXPECT_TRUE(object.erase(key(gone)));
    EXPECT_FALSE(object.erase(key(gone)));
    EXPECT_FALSE(object.has(key(gone)));
  }
  EXPECT_EQ(object.size(), 98u);
  EXPECT_EQ(object.members()[49].key(), key(50));
  EXPECT_EQ(object.members()[97].key(), key(0));
  EXPECT_EQ(object[key(50)].asString(), "again");
  const auto copy = VMCPJsonValue::Parse(object.dump());
  EXPECT_EQ(copy.dump(), object.dump());  // in the same order
  EXPECT_TRUE(copy == object);
  EXPECT_TRUE(VMCPJsonValue(object) == object);
  EXPECT_EQ(VMCPJsonValue::Parse(R"({"k":1,"k":2})")["k"].asInt(), 2);
}

TEST(JsonValue, MutatingAccessConvertsOnlyNull) {
  VMCPJsonValue null;  // a null member taking a push_back is in the deep-copy case
  null["k"] = 1;
  EXPECT_EQ(null.dump(), R"({"k":1})");
  for (VMCPJsonValue value : {VMCPJsonValue("s"), VMCPJsonValue(false), VMCPJsonValue(2.5),
                              VMCPJsonValue::MakeArray(), VMCPJsonValue::MakeObject()}) {
    const auto before = value.dump();
    if (!value.isObject()) {
      EXPECT_THROW(value["k"], std::logic_error) << before;
    }
    if (!value.isArray()) {
      EXPECT_THROW(value.push_back(VMCPJsonValue(1)), std::logic_error) << before;
    }
    EXPECT_EQ(value.dump(), before) << "left as it was";
  }
}

// The parser's message and 1-based position, or "accepted".
std::string ParseError(const std::string& text) {
  try {
    VMCPJsonValue::Parse(text);
    return "accepted";
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    return error.what() + (" at " + std::to_string(error.position()));
  }
}

// Other parse errors are pinned where the server and the catalogue reader report them.
TEST(JsonValue, ParseErrorsArePlainAndCarryThePosition) {
  EXPECT_EQ(ParseError(""), "The document is empty. at 1");
  EXPECT_EQ(ParseError("-1e400"), "Number too big to be stored in double. at 1");
  EXPECT_EQ(ParseError(std::string("{}\0{}", 5)), "A NUL byte is not allowed in JSON text. at 3");
  EXPECT_EQ(ParseError(std::string("[\"a\0\"]", 5)),
            "A NUL byte is not allowed in JSON text. at 4");
  // The deepest accepted value copies, compares and serialises.
  const std::string limit =
      std::string(VMCPJsonValue::kMaxDepth, '[') + std::string(VMCPJsonValue::kMaxDepth, ']');
  const VMCPJsonValue copy = VMCPJsonValue::Parse(limit);
  EXPECT_EQ(copy.dump(), limit);
}

}  // namespace
