#include "foundation/Json.h"

namespace nb {

std::optional<JsonValue> objectFromJSONString(std::string_view) { return std::nullopt; }
std::optional<JsonValue> objectFromJSONData(std::string_view) { return std::nullopt; }
std::optional<JsonValue> objectFromJSONData(std::span<const std::uint8_t>) { return std::nullopt; }
std::optional<JsonValue> dictionaryFromString(std::string_view) { return std::nullopt; }
std::optional<JsonValue> dictionaryFromData(std::string_view) { return std::nullopt; }
std::optional<JsonValue> dictionaryFromData(std::span<const std::uint8_t>) { return std::nullopt; }

}  // namespace nb
