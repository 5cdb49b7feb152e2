#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"

namespace nb {
namespace {

struct WriteCase {
  const char* name;
  JsonValue value;
  std::optional<std::string> written;
};

std::vector<WriteCase> writeCases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"StatusAnswer", JsonObjectBuilder().set("error", 0).set("message", "").build(),
       R"({"error":0,"message":""})"},
      {"EmptyObject", JsonObjectBuilder().build(), "{}"},
      {"EmptyArray", JsonArrayBuilder().build(), "[]"},
      {"Escapes", JsonValue::array({"\"\\/\n"}), R"(["\"\\/\n"])"},
      {"ControlBytes", JsonValue::array({std::string("\b\t\f\r\x1f\x01\x00", 7)}),
       R"(["\b\t\f\r\u001f\u0001\u0000"])"},
      {"RawBytes", JsonValue::array({"\x7f\xC3\xA9\xF0\x9F\x98\x80"}), "[\"\x7f\xC3\xA9\xF0\x9F\x98\x80\"]"},
      {"Doubles", JsonValue::array({0.1, 100.0, 1e21, -0.0, 1.5e-7}),
       "[0.10000000000000001,100,1e+21,-0,1.4999999999999999e-07]"},
      {"Integers", JsonValue::array({std::numeric_limits<std::int64_t>::min(), 0, 7,
                                     std::numeric_limits<std::uint64_t>::max()}),
       "[-9223372036854775808,0,7,18446744073709551615]"},
      {"BooleansAreNotNumbers", JsonValue::array({true, 1, false, 0, nullptr}), "[true,1,false,0,null]"},
      {"NaNInObject", JsonValue::object({{"a", 1}, {"b", nan}}), std::nullopt},
      {"InfinityDeepInside", JsonValue::array({JsonValue::array({JsonValue::object({{"x", -inf}})})}),
       std::nullopt},
      {"MalformedUtf8", JsonValue::array({"\xC3"}), std::nullopt},
      {"MalformedUtf8Key", JsonValue::object({{"\xED\xA0\x80", 1}}), std::nullopt},
      {"TextReceiver", JsonValue("abc"), "\"abc\""},
      {"NumberReceiver", JsonValue(5), std::nullopt},
      {"NullReceiver", JsonValue(), std::nullopt},
      {"BoolReceiver", JsonValue(true), std::nullopt},
      {"RepeatedSharedText", JsonValue::array({JsonValue("a\"b"), JsonValue("x"), JsonValue("a\"b")}),
       R"(["a\"b","x","a\"b"])"},
  };
}

TEST(JsonWriter, WritesCompactTextOrNothing) {
  for (const WriteCase& c : writeCases()) {
    EXPECT_EQ(JSONString(c.value), c.written) << c.name;
  }
}

TEST(JsonWriter, RepeatedValueIsWrittenEachTime) {
  JsonValue shared("same\ttext");
  JsonArrayBuilder list;
  for (int i = 0; i < 3; ++i) {
    list.push(JsonValue::object({{"k", shared}}));
  }
  EXPECT_EQ(JSONString(list.build()), R"([{"k":"same\ttext"},{"k":"same\ttext"},{"k":"same\ttext"}])");
}

TEST(JsonWriter, ParsedDocumentWritesBackTheSameMembers) {
  const std::string text =
      R"({"list":[{"id":1,"name":"a\/b","size":12.5,"dir":false},{"id":-2,"name":"\u00e9","tags":[]}],)"
      R"("next":null,"big":18446744073709551615})";
  auto parsed = objectFromJSONString(text);
  ASSERT_TRUE(parsed);
  auto written = JSONString(*parsed);
  ASSERT_TRUE(written);
  auto again = objectFromJSONString(*written);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *parsed);
  EXPECT_EQ(JSONString(*again), written);
}

TEST(JsonWriter, RefusesNestingBeyondTheReadersBound) {
  JsonValue v = JsonValue::array({});
  for (int i = 1; i < kJsonMaxDepth; ++i) {
    v = JsonValue::array({v});
  }
  EXPECT_TRUE(JSONString(v));
  EXPECT_FALSE(JSONString(JsonValue::array({v})));
}

}  // namespace
}  // namespace nb
