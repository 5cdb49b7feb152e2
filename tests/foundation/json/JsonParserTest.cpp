#include <clocale>
#include <cmath>
#include <cstring>
#include <memory>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"

namespace nb {
namespace {

using namespace std::string_literals;

struct ParseCase {
  std::string input;
  std::optional<std::string> written;  // the result written back, or nothing
};

// Each document parsed strictly, then written compactly (nothing = refused).
const ParseCase kCases[] = {
    // Top level
    {"[]", "[]"},
    {"{}", "{}"},
    {"\r\n[1]\t", "[1]"},
    {" \n{ \"a\" : [ 1 , 2 ] }\r\n", R"({"a":[1,2]})"},
    {R"("a")", std::nullopt},
    {"1", std::nullopt},
    {"true", std::nullopt},
    {"false", std::nullopt},
    {"null", std::nullopt},
    {"", std::nullopt},
    {" \t\r\n", std::nullopt},
    {"[1] x", std::nullopt},
    {"[1][2]", std::nullopt},
    {"\xEF\xBB\xBF[]", std::nullopt},
    {"\f[]", std::nullopt},
    {"\v[]", std::nullopt},
    {"[]\0"s, std::nullopt},
    {"[", std::nullopt},
    {"{", std::nullopt},
    {"[1", std::nullopt},
    {R"({"a":1)", std::nullopt},
    // Containers
    {"[1,]", std::nullopt},
    {"[,1]", std::nullopt},
    {R"({"a":1,})", std::nullopt},
    {"{,}", std::nullopt},
    {R"({"a" 1})", std::nullopt},
    {"{1:2}", std::nullopt},
    {"[1 2]", std::nullopt},
    {R"({"a":})", std::nullopt},
    {R"({"a"})", std::nullopt},
    {"[}", std::nullopt},
    {R"({"a":1])", std::nullopt},
    {R"({"a":1,"a":2})", R"({"a":2})"},
    {R"({"a":1,"b":2,"a":3})", R"({"a":3,"b":2})"},
    // Numbers
    {"[01]", std::nullopt},
    {"[+1]", std::nullopt},
    {"[.5]", std::nullopt},
    {"[1.]", std::nullopt},
    {"[1e]", std::nullopt},
    {"[1e+]", std::nullopt},
    {"[-]", std::nullopt},
    {"[--1]", std::nullopt},
    {"[0x10]", std::nullopt},
    {"[NaN]", std::nullopt},
    {"[Infinity]", std::nullopt},
    {"[-0]", "[-0]"},
    {"[0]", "[0]"},
    {"[1.0]", "[1]"},
    {"[1E+2]", "[100]"},
    {"[2.5e-1]", "[0.25]"},
    {"[-12]", "[-12]"},
    {"[9223372036854775807]", "[9223372036854775807]"},
    {"[9223372036854775808]", "[9223372036854775808]"},
    {"[18446744073709551615]", "[18446744073709551615]"},
    {"[18446744073709551616]", std::nullopt},
    {"[-9223372036854775808]", "[-9223372036854775808]"},
    {"[-9223372036854775809]", std::nullopt},
    {"[1e400]", std::nullopt},
    {"[-1e400]", std::nullopt},
    {"[1e-400]", std::nullopt},
    // Literals
    {"[true,false,null]", "[true,false,null]"},
    {"[True]", std::nullopt},
    {"[nul]", std::nullopt},
    {"[tru", std::nullopt},
    // Escapes and surrogates
    {R"(["\ud83d\ude00"])", "[\"\xF0\x9F\x98\x80\"]"},
    {R"(["\uD83D\uDE00"])", "[\"\xF0\x9F\x98\x80\"]"},
    {R"(["\ud83d"])", std::nullopt},
    {R"(["\ud83dx"])", std::nullopt},
    {R"(["\ud83d\u0041"])", std::nullopt},
    {R"(["\udc00"])", std::nullopt},
    {R"(["\u0000"])", std::nullopt},
    {R"(["\uFFFE"])", std::nullopt},
    {R"(["\uffff"])", std::nullopt},
    {R"(["\ufdd0"])", std::nullopt},
    {R"(["\ufdef"])", std::nullopt},
    {R"(["\udbff\udfff"])", std::nullopt},  // U+10FFFF
    {R"(["\ufdcf\ufdf0"])", "[\"\xEF\xB7\x8F\xEF\xB7\xB0\"]"},
    {R"(["\u00e9\u0041"])", "[\"\xC3\xA9" "A\"]"},
    {R"(["\u12"])", std::nullopt},
    {R"(["\u12g4"])", std::nullopt},
    {R"(["\x"])", std::nullopt},
    {R"(["\'"])", std::nullopt},
    {R"(["\/"])", R"(["/"])"},
    {R"(["\"\\\b\f\n\r\t"])", R"(["\"\\\b\f\n\r\t"])"},
    {R"(["\u001F"])", R"(["\u001f"])"},
    {"[\"a\tb\"]", std::nullopt},
    {"[\"a\nb\"]", std::nullopt},
    {"[\"a\0b\"]"s, std::nullopt},
    {R"(["abc)", std::nullopt},
    {R"(["abc\)", std::nullopt},
    // Raw UTF-8
    {"[\"\xC3\xA9\"]", "[\"\xC3\xA9\"]"},
    {"[\"\xC0\xAF\"]", std::nullopt},
    {"[\"\xC1\xBF\"]", std::nullopt},
    {"[\"\xE0\x80\xAF\"]", std::nullopt},
    {"[\"\xED\xA0\x80\"]", std::nullopt},
    {"[\"\xF0\x80\x80\xAF\"]", std::nullopt},
    {"[\"\xF4\x90\x80\x80\"]", std::nullopt},
    {"[\"\xF5\x80\x80\x80\"]", std::nullopt},
    {"[\"\x80\"]", std::nullopt},
    {"[\"\xC3\"]", std::nullopt},
    {"[\"\xE2\x82", std::nullopt},
    {"[\"\xEF\xB7\x90\"]", std::nullopt},      // U+FDD0
    {"[\"\xEF\xBF\xBE\"]", std::nullopt},      // U+FFFE
    {"[\"\xF0\x9F\xBF\xBF\"]", std::nullopt},  // U+1FFFF
    {"[\"\xF4\x8F\xBF\xBD\"]", "[\"\xF4\x8F\xBF\xBD\"]"},  // U+10FFFD
    {"[\"\xE2\x82\xAC\"]", "[\"\xE2\x82\xAC\"]"},
};

TEST(JsonParser, ParsesOrRefusesEachDocumentAsAWhole) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    std::optional<JsonValue> parsed = objectFromJSONString(c.input);
    std::optional<std::string> written;
    if (parsed) {
      written = JSONString(*parsed);
      ASSERT_TRUE(written.has_value());
    }
    EXPECT_EQ(written, c.written);
    // The data form reads the same bytes the same way.
    EXPECT_EQ(objectFromJSONData(c.input).has_value(), parsed.has_value());
  }
}

TEST(JsonParser, NumberKinds) {
  auto v = objectFromJSONString(
      "[-0,0,1.0,9223372036854775807,9223372036854775808,18446744073709551615,"
      "-9223372036854775808,1E+2,-5]");
  ASSERT_TRUE(v);
  const JsonValue& a = *v;
  EXPECT_TRUE(a[0].isDouble());
  EXPECT_TRUE(std::signbit(a[0].asDouble()));
  EXPECT_TRUE(a[1].isInt64());
  EXPECT_EQ(a[1].asInt64(), 0);
  EXPECT_TRUE(a[2].isDouble());
  EXPECT_EQ(a[2].asDouble(), 1.0);
  EXPECT_TRUE(a[3].isInt64());
  EXPECT_EQ(a[3].asInt64(), std::numeric_limits<std::int64_t>::max());
  EXPECT_TRUE(a[4].isUInt64());
  EXPECT_EQ(a[4].asUInt64(), 9223372036854775808ull);
  EXPECT_TRUE(a[5].isUInt64());
  EXPECT_EQ(a[5].asUInt64(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_TRUE(a[6].isInt64());
  EXPECT_EQ(a[6].asInt64(), std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(a[7].isDouble());
  EXPECT_EQ(a[7].asDouble(), 100.0);
  EXPECT_EQ(a[8].asInt64(), -5);
}

TEST(JsonParser, SharesEmptyTextsAndRepeatedKeys) {
  auto v = objectFromJSONString(R"([["",""],[{"id":1},{"id":2}],["kind","kind"]])");
  ASSERT_TRUE(v);
  const JsonValue& empties = (*v)[0];
  EXPECT_EQ(empties[0].asString().data(), empties[1].asString().data());
  EXPECT_EQ(empties[0].asString().data(), JsonValue("").asString().data());
  const JsonValue& records = (*v)[1];
  EXPECT_EQ(records[0].members()[0].key().data(), records[1].members()[0].key().data());
  const JsonValue& texts = (*v)[2];
  EXPECT_EQ(texts[0].asString().data(), texts[1].asString().data());
}

TEST(JsonParser, BoundsTheNestingDepth) {
  auto nested = [](int depth, char open, char close) {
    return std::string(static_cast<std::size_t>(depth), open) + std::string(static_cast<std::size_t>(depth), close);
  };
  EXPECT_TRUE(objectFromJSONString(nested(kJsonMaxDepth, '[', ']')));
  EXPECT_FALSE(objectFromJSONString(nested(kJsonMaxDepth + 1, '[', ']')));
  EXPECT_FALSE(objectFromJSONString(nested(100000, '[', ']')));
  std::string objects;
  for (int i = 0; i < kJsonMaxDepth + 1; ++i) {
    objects += R"({"a":)";
  }
  objects += "1" + std::string(kJsonMaxDepth + 1, '}');
  EXPECT_FALSE(objectFromJSONString(objects));
  EXPECT_FALSE(dictionaryFromString(nested(kJsonMaxDepth + 1, '[', ']')));
}

TEST(JsonParser, NeverReadsPastTheInput) {
  // Every prefix of a valid document is refused without touching the bytes
  // after it (ASan watches the copy's end).
  const std::string doc = R"({"a":[1,-2.5e3,"x\u00e9\ud83d\ude00",true,null],"b":{"c":"d"}})";
  for (std::size_t n = 0; n < doc.size(); ++n) {
    std::string prefix = doc.substr(0, n);
    std::unique_ptr<char[]> exact(new char[n]);
    std::memcpy(exact.get(), prefix.data(), n);
    EXPECT_FALSE(objectFromJSONData(std::string_view(exact.get(), n))) << prefix;
  }
  EXPECT_TRUE(objectFromJSONString(doc));
}

TEST(JsonParser, ReadsNumbersInTheCLocaleWhateverTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  auto v = objectFromJSONString("[1.5]");
  std::optional<std::string> written = v ? JSONString(*v) : std::nullopt;
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[0].asDouble(), 1.5);
  EXPECT_EQ(written, "[1.5]");
}

}  // namespace
}  // namespace nb
