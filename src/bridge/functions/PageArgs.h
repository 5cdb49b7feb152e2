#pragma once
// Reading a page call's JSON argument and writing its answer, as every
// group of page functions does.

#include <optional>
#include <string>

#include "bridge/dispatch/PageCall.h"
#include "foundation/json/JsonValue.h"

namespace nb::bridge {

// The call's first argument when it is a JSON object; nothing otherwise.
std::optional<JsonValue> pageObject(const PageCall& call);

// The compact JSON text of `value`; "{}" when it cannot be written.
std::string pageAnswer(const JsonValue& value);

}  // namespace nb::bridge
