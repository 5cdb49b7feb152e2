#include <sstream>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include "foundation/json/Json.h"
#include "platform/Log.h"

namespace nb {
namespace {

// A record in the manner of the dialog records: checks its value's kind.
class SampleRecord : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) {
      return;
    }
    nId = jsonInt32(json, "id");
    llSize = jsonInt64(json, "size");
    bDir = jsonFlag(json, "dir");
    strName = jsonTextOrEmpty(json, "name");
    strProperty = jsonNestedText(json, "property");
  }
  JsonValue dictionary() const override {
    return JsonObjectBuilder()
        .set("id", nId)
        .set("size", llSize)
        .set("dir", bDir)
        .set("name", strName)
        .setNestedJson("property", strProperty)
        .build();
  }

  std::int32_t nId = -1;
  std::int64_t llSize = -1;
  bool bDir = false;
  std::string strName = "initial";
  std::string strProperty;
};

JsonValue parse(std::string_view text) {
  auto v = objectFromJSONString(text);
  EXPECT_TRUE(v) << text;
  return v.value_or(JsonValue());
}

TEST(JsonRecord, FillsFromAnObjectAndGivesItBack) {
  JsonValue json = parse(R"({"id":"12","size":1099511627776,"dir":1,"name":"a","property":{"k":[1,"v"]}})");
  auto record = BaseForJosnOrObject::init<SampleRecord>(json);
  EXPECT_EQ(record.nId, 12);
  EXPECT_EQ(record.llSize, 1099511627776);
  EXPECT_TRUE(record.bDir);
  EXPECT_EQ(record.strName, "a");
  EXPECT_EQ(record.strProperty, R"({"k":[1,"v"]})");
  JsonValue back = record.dictionary();
  EXPECT_TRUE(back["property"].isObject());
  EXPECT_EQ(back["property"], json["property"]);
  EXPECT_EQ(back["id"].asInt64(), 12);
}

TEST(JsonRecord, AnythingButAnObjectKeepsTheInitialValues) {
  for (const JsonValue& v : {parse("[1,2]"), JsonValue("text"), JsonValue(), JsonValue(5)}) {
    auto record = BaseForJosnOrObject::init<SampleRecord>(v);
    EXPECT_EQ(record.nId, -1);
    EXPECT_EQ(record.strName, "initial");
  }
  auto records = BaseForJosnOrObject::initAll<SampleRecord>(parse(R"([{"id":1},"x",{"id":3}])"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].nId, 1);
  EXPECT_EQ(records[1].nId, -1);
  EXPECT_EQ(records[2].nId, 3);
  EXPECT_TRUE(BaseForJosnOrObject::initAll<SampleRecord>(parse("{}")).empty());
}

TEST(JsonRecord, NullAbsentOrEmptyTextsBecomeEmptyAndEmptyNestedJsonIsLeftOut) {
  for (const char* text : {R"({"name":null,"property":""})", R"({})", R"({"name":"","property":null})"}) {
    auto record = BaseForJosnOrObject::init<SampleRecord>(parse(text));
    EXPECT_EQ(record.strName, "") << text;
    EXPECT_EQ(record.strProperty, "") << text;
    EXPECT_FALSE(record.dictionary().contains("property")) << text;
  }
  BaseForJosnOrObject base;
  EXPECT_TRUE(base.dictionary().isNull());
}

struct ReadCase {
  const char* json;  // the member "v" of an object
  std::int32_t int32;
  std::int64_t int64;
  bool flag;
  const char* numberOrText;
};

TEST(JsonRecord, ReadingRules) {
  const ReadCase cases[] = {
      {"5", 5, 5, true, "5"},
      {"-7", -7, -7, true, "-7"},
      {"0", 0, 0, false, "0"},
      {"1.9", 1, 1, true, "1.9"},
      {"-1.9", -1, -1, true, "-1.9"},
      {"1e30", -1, INT64_MAX, true, "1e+30"},
      {"4294967297", 1, 4294967297, true, "4294967297"},  // 32 bits truncate
      {"18446744073709551615", -1, INT64_MAX, true, "18446744073709551615"},
      {"true", 1, 1, true, "1"},
      {"false", 0, 0, false, "0"},
      {"null", 0, 0, false, ""},
      {R"("12abc")", 12, 12, true, "12abc"},
      {R"("  -34")", -34, -34, true, "  -34"},
      {R"("abc")", 0, 0, false, "abc"},
      {R"("")", 0, 0, false, ""},
      {R"("99999999999999999999")", -1, INT64_MAX, true, "99999999999999999999"},
      {R"("yes")", 0, 0, true, "yes"},
      {R"("true")", 0, 0, true, "true"},
      {R"("007")", 7, 7, true, "007"},
      {R"("0")", 0, 0, false, "0"},
      {"[1]", 0, 0, false, ""},
      {R"({"a":1})", 0, 0, false, ""},
  };
  for (const ReadCase& c : cases) {
    JsonValue object = parse(std::string(R"({"v":)") + c.json + "}");
    EXPECT_EQ(jsonInt32(object, "v"), c.int32) << c.json;
    EXPECT_EQ(jsonInt64(object, "v"), c.int64) << c.json;
    EXPECT_EQ(jsonFlag(object, "v"), c.flag) << c.json;
    EXPECT_EQ(jsonNumberOrText(object, "v"), c.numberOrText) << c.json;
  }
}

TEST(JsonRecord, ReadersAreTotal) {
  for (const JsonValue& receiver : {JsonValue(), JsonValue(3), JsonValue("s"), parse("[1]"), parse("{}")}) {
    EXPECT_EQ(jsonInt32(receiver, "v"), 0);
    EXPECT_EQ(jsonInt64(receiver, "v"), 0);
    EXPECT_EQ(jsonUInt64(receiver, "v"), 0u);
    EXPECT_FALSE(jsonFlag(receiver, "v"));
    EXPECT_EQ(jsonText(receiver, "v"), std::nullopt);
    EXPECT_EQ(jsonTextOrEmpty(receiver, "v"), "");
    EXPECT_EQ(jsonNumberOrText(receiver, "v"), "");
    EXPECT_EQ(jsonNestedText(receiver, "v"), "");
  }
  JsonValue object = parse(R"({"t":"x","n":5,"z":null,"u":18446744073709551615,"a":[1,{"b":"\u00e9"}],"s":"[1]"})");
  EXPECT_EQ(jsonText(object, "t"), "x");
  EXPECT_EQ(jsonText(object, "n"), std::nullopt);
  EXPECT_EQ(jsonText(object, "z"), std::nullopt);
  EXPECT_EQ(jsonTextOrEmpty(object, "n"), "");
  EXPECT_EQ(jsonUInt64(object, "u"), UINT64_MAX);
  EXPECT_EQ(jsonNestedText(object, "a"), "[1,{\"b\":\"\xC3\xA9\"}]");
  EXPECT_EQ(jsonNestedText(object, "s"), "[1]");
  EXPECT_EQ(jsonNestedText(object, "n"), "");
}

TEST(JsonLenientReader, TakesAnyStandardDocument) {
  EXPECT_EQ(dictionaryFromString("5"), JsonValue(5));
  EXPECT_EQ(dictionaryFromString(" -2.5 "), JsonValue(-2.5));
  EXPECT_EQ(dictionaryFromString(R"("a\u0000b")"), JsonValue(std::string("a\0b", 3)));
  EXPECT_EQ(dictionaryFromString("null"), JsonValue());
  EXPECT_EQ(dictionaryFromString("true"), JsonValue(true));
  EXPECT_EQ(dictionaryFromString("\xEF\xBB\xBF{\"a\":1}"), JsonValue::object({{"a", 1}}));
  EXPECT_EQ(dictionaryFromString(R"(["\ufffe","\uFDD0"])"), JsonValue::array({"\xEF\xBF\xBE", "\xEF\xB7\x90"}));
  EXPECT_EQ(dictionaryFromData(std::string_view(R"({"error":0})")), JsonValue::object({{"error", 0}}));
}

TEST(JsonLenientReader, GivesNothingForBrokenInputAndLogsWhy) {
  std::ostringstream out;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
  platform::addLogSink(sink);
  const char* broken[] = {"", "  ", "[1,]", "5 6", "{\"a\":}", "[\"\\ud800\"]", "tru", "\"\xC3\""};
  for (const char* text : broken) {
    EXPECT_FALSE(dictionaryFromString(text)) << text;
  }
  platform::removeLogSink(sink);
  EXPECT_NE(out.str().find("JSON text did not parse"), std::string::npos);
}

}  // namespace
}  // namespace nb
