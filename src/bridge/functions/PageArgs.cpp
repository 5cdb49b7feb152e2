#include "bridge/functions/PageArgs.h"

#include "bridge/dispatch/PageHandlers.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"

namespace nb::bridge {

std::optional<JsonValue> pageObject(const PageCall& call) {
  const std::string text = call.json();
  if (text.empty()) return std::nullopt;
  std::optional<JsonValue> value = dictionaryFromString(text);
  if (!value || !value->isObject()) return std::nullopt;
  return value;
}

std::string pageAnswer(const JsonValue& value) { return JSONString(value).value_or("{}"); }

void setPageBody(const char* name,
                 std::function<std::optional<std::string>(const PageCall&)> body) {
  setPageHandler(name, [body = std::move(body)](const PageCall& call, WebWindowController&) {
    return body(call);
  });
}

std::string loggedAnswer(const PageCall& call, std::string answer) {
  NBLOG_DEBUG("{},{}", call.json(), answer);
  return answer;
}

}  // namespace nb::bridge
