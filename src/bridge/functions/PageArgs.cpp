#include "bridge/functions/PageArgs.h"

#include "foundation/json/Json.h"

namespace nb::bridge {

std::optional<JsonValue> pageObject(const PageCall& call) {
  const std::string text = call.json();
  if (text.empty()) return std::nullopt;
  std::optional<JsonValue> value = dictionaryFromString(text);
  if (!value || !value->isObject()) return std::nullopt;
  return value;
}

std::string pageAnswer(const JsonValue& value) { return JSONString(value).value_or("{}"); }

}  // namespace nb::bridge
