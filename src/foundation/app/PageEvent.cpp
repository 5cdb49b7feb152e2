#include "foundation/app/PageEvent.h"

#include "foundation/json/Json.h"

namespace nb {

bool PageEvent::isEventName(std::string_view name) {
  if (name.empty() || name.size() > 64) {
    return false;
  }
  const auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (!letter(name.front())) {
    return false;
  }
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9')) {
      return false;
    }
  }
  return true;
}

std::optional<PageEvent> PageEvent::make(std::string_view name, const JsonValue& detail) {
  if (!isEventName(name)) {
    return std::nullopt;
  }
  std::optional<std::string> text = JSONString(detail);
  if (!text) {
    return std::nullopt;
  }
  return PageEvent(std::string(name), std::move(*text));
}

std::optional<PageEvent> PageEvent::fromJsonText(std::string_view name, std::string_view jsonDetail) {
  const std::optional<JsonValue> detail = objectFromJSONString(jsonDetail);
  if (!detail) {
    return std::nullopt;
  }
  return make(name, *detail);
}

std::string PageEvent::script() const {
  return "var event = document.createEvent(\"CustomEvent\");event.initCustomEvent(\"" + name_ +
         "\",true,true," + detail_ + ");document.dispatchEvent(event);";
}

}  // namespace nb
