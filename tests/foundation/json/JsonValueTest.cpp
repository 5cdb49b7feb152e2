#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/json/Json.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) {
  auto v = objectFromJSONString(text);
  EXPECT_TRUE(v) << text;
  return v.value_or(JsonValue());
}

TEST(JsonValue, EmptyObjectFindsNothing) {
  for (const JsonValue& empty : {parse("{}"), JsonObjectBuilder().build()}) {
    EXPECT_TRUE(empty.isObject());
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.find("a"), nullptr);
    EXPECT_TRUE(empty["a"].isNull());
    EXPECT_TRUE(empty.members().empty());
  }
}

TEST(JsonValue, LookUpIsExactAndFindsEveryMemberOfAFullTable) {
  // Three members fill a table of three slots.
  JsonValue v = parse(R"({"a":1,"b":2,"c":3})");
  EXPECT_EQ(v["a"].asInt64(), 1);
  EXPECT_EQ(v["b"].asInt64(), 2);
  EXPECT_EQ(v["c"].asInt64(), 3);
  EXPECT_EQ(v.find("d"), nullptr);
  EXPECT_EQ(v.find("A"), nullptr);
  EXPECT_EQ(v.find(""), nullptr);
  JsonValue emptyKey = parse(R"({"":{"a":[]}})");
  EXPECT_TRUE(emptyKey[""]["a"].isArray());
  EXPECT_EQ(JsonObjectBuilder().set("", 1).build()[""].asInt64(), 1);
  // Many members, each found by its own key.
  JsonObjectBuilder big;
  for (int i = 0; i < 1000; ++i) {
    big.set(fmt::format("key{}", i), i);
  }
  JsonValue b = big.build();
  ASSERT_EQ(b.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(b[fmt::format("key{}", i)].asInt64(), i);
  }
  EXPECT_EQ(b.find("key1000"), nullptr);
}

TEST(JsonValue, RepeatedKeyKeepsTheLastValue) {
  JsonValue v = parse(R"({"a":1,"b":{"x":1},"a":2})");
  EXPECT_EQ(v.size(), 2u);
  EXPECT_EQ(v["a"].asInt64(), 2);
  JsonValue built = JsonObjectBuilder().set("a", 1).set("b", 2).set("a", 3).build();
  EXPECT_EQ(JSONString(built), R"({"a":3,"b":2})");
  // Past a plain scan the builder looks keys up in its index.
  JsonObjectBuilder many;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 40; ++i) {
      many.set(fmt::format("k{}", i), round * 100 + i);
    }
  }
  EXPECT_TRUE(many.contains("k39"));
  EXPECT_FALSE(many.contains("k40"));
  JsonValue m = many.build();
  EXPECT_EQ(m.size(), 40u);
  EXPECT_EQ(m["k0"].asInt64(), 100);
  EXPECT_EQ(m.members()[39].key(), "k39");
  EXPECT_EQ(many.size(), 0u);
}

TEST(JsonValue, OutOfRangeAndWrongKindGiveTheSharedNull) {
  JsonValue v = parse(R"([1,{"k":"v"}])");
  EXPECT_TRUE(v[2].isNull());
  EXPECT_TRUE(v[-1].isNull());
  EXPECT_EQ(&v[5], &JsonValue::null());
  EXPECT_TRUE(v["k"].isNull());  // an array has no keys
  EXPECT_TRUE(v[1][0].isNull());  // an object has no elements
  EXPECT_EQ(v[1]["k"].asString(), "v");
  EXPECT_EQ(v[0].asString(), "");
  EXPECT_EQ(JsonValue().textLength(), 0u);
}

TEST(JsonValue, CopiesShareTheParsedNodes) {
  JsonValue v = parse(R"({"list":[{"name":"a"}]})");
  JsonValue copy = v;
  EXPECT_EQ(copy.members().data(), v.members().data());
  EXPECT_EQ(copy, v);
}

TEST(JsonValue, PartOfADocumentOutlivesItsRoot) {
  JsonValue name;
  JsonValue list;
  {
    JsonValue root = parse(R"({"list":[{"name":"kept"}],"other":"x"})");
    list = root["list"];
    name = list[0]["name"];
  }
  EXPECT_EQ(name.asString(), "kept");
  EXPECT_EQ(list[0]["name"].asString(), "kept");
  // A built value holding a parsed one keeps it alive too.
  JsonValue built = JsonValue::object({{"from", list}});
  list = JsonValue();
  EXPECT_EQ(built["from"][0]["name"].asString(), "kept");
}

TEST(JsonValue, EqualityComparesContent) {
  EXPECT_EQ(parse(R"({"a":[1,2.5,"x"],"b":null})"), JsonValue::object({{"b", nullptr}, {"a", JsonValue::array({1, 2.5, "x"})}}));
  EXPECT_NE(parse("[1]"), parse("[1.0]"));
  EXPECT_NE(parse("[true]"), parse("[1]"));
  EXPECT_NE(parse(R"({"a":1})"), parse(R"({"b":1})"));
}

TEST(JsonValue, ManyThreadsReadAndCopyOneDocument) {
  std::string text = R"({"list":[)";
  for (int i = 0; i < 200; ++i) {
    text += fmt::format(R"({}{{"id":{},"name":"n"}})", i ? "," : "", i);
  }
  text += "]}";
  JsonValue root = parse(text);
  std::vector<std::thread> threads;
  std::vector<std::int64_t> sums(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&root, &sums, t] {
      for (int round = 0; round < 50; ++round) {
        JsonValue list = root["list"];
        for (const JsonValue& e : list.elements()) {
          JsonValue copy = e;
          sums[static_cast<std::size_t>(t)] += copy["id"].asInt64();
        }
      }
    });
  }
  for (auto& th : threads) {
    th.join();
  }
  for (std::int64_t s : sums) {
    EXPECT_EQ(s, 50 * 199 * 200 / 2);
  }
}

}  // namespace
}  // namespace nb
