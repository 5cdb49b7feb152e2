#pragma once
// Reading a page call's JSON argument and writing its answer, as every
// group of page functions does.

#include <functional>
#include <optional>
#include <string>

#include "bridge/dispatch/PageCall.h"
#include "foundation/json/JsonValue.h"

namespace nb::bridge {

// The call's first argument when it is a JSON object; nothing otherwise.
std::optional<JsonValue> pageObject(const PageCall& call);

// The compact JSON text of `value`; "{}" when it cannot be written.
std::string pageAnswer(const JsonValue& value);

// Registers a body that needs neither the window nor anything but the call.
void setPageBody(const char* name,
                 std::function<std::optional<std::string>(const PageCall&)> body);

// Logs the argument and the answer at debug level ("argument,answer") and
// hands the answer on.
std::string loggedAnswer(const PageCall& call, std::string answer);

}  // namespace nb::bridge
