#pragma once
// Reading the {"error":code,"message":text} answers that page-facing
// operations give.

#include <cstdint>
#include <string>

#include "foundation/json/Json.h"

namespace nb::test {

// The answer's "error" code; -1 when the text is no JSON object.
inline int64_t errorOf(const std::string& answer) {
  const auto json = objectFromJSONString(answer);
  return json ? (*json)["error"].toInt64() : -1;
}

}  // namespace nb::test
