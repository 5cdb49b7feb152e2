// The entry points of the JSON readers.
#include "foundation/json/Json.h"

#include <exception>

#include "foundation/json/JsonParser.h"
#include "platform/Log.h"

namespace nb {
namespace {

std::string_view asChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::optional<JsonValue> parseStrict(std::string_view input) {
  try {
    JsonParser parser(input, JsonParser::Grammar::Strict);
    return parser.parse();
  } catch (const std::exception&) {
    return std::nullopt;  // out of memory: nothing, like any other failure
  }
}

std::optional<JsonValue> parseLenient(std::string_view input) {
  try {
    JsonParser parser(input, JsonParser::Grammar::Lenient);
    std::optional<JsonValue> result = parser.parse();
    if (!result) {
      NBLOG_WARN("{}", fmt::format("JSON text did not parse at byte {}: {}", parser.errorOffset(),
                                   parser.error() != nullptr ? parser.error() : "unknown error"));
    }
    return result;
  } catch (const std::exception& e) {
    NBLOG_WARN("{}", e.what());
    return std::nullopt;
  }
}

}  // namespace

std::optional<JsonValue> objectFromJSONString(std::string_view text) {
  return parseStrict(text);
}

std::optional<JsonValue> objectFromJSONData(std::string_view bytes) {
  return parseStrict(bytes);
}

std::optional<JsonValue> objectFromJSONData(std::span<const std::uint8_t> bytes) {
  return parseStrict(asChars(bytes));
}

std::optional<JsonValue> dictionaryFromString(std::string_view text) {
  return parseLenient(text);
}

std::optional<JsonValue> dictionaryFromData(std::string_view bytes) {
  return parseLenient(bytes);
}

std::optional<JsonValue> dictionaryFromData(std::span<const std::uint8_t> bytes) {
  return parseLenient(asChars(bytes));
}

}  // namespace nb
