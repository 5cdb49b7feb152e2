#pragma once
// Reading and writing rules shared by the dialog records.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/json/Json.h"

namespace nb::dialogjson {

// Embedded JSON that may be a text or an object but not an array: an array
// (or any other kind) gives "".
inline std::string nestedTextOrObject(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v == nullptr || v->isArray()) return std::string();
  return jsonNestedText(object, key);
}

// Unsigned times go out as signed 64-bit integers, the form the pages read.
inline JsonValue signedTime(std::uint64_t value) {
  return JsonValue(static_cast<std::int64_t>(value));
}

}  // namespace nb::dialogjson
