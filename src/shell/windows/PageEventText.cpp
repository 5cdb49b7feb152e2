#include "shell/windows/PageEventText.h"

#include "foundation/json/JsonValue.h"

namespace nb {

std::optional<PageEvent> pageEventFromText(std::string_view name, std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (auto event = PageEvent::fromJsonText(name, text)) return event;
  return PageEvent::make(name, JsonValue(text));
}

}  // namespace nb
