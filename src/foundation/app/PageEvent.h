#pragma once
// A page event ready to be dispatched into a web page as
//   initCustomEvent("<name>",true,true,<detail>)
// The name is checked to be a plain identifier and the detail is JSON text
// that our own writer produced, so the script the shell builds from it can
// never carry text a page or a server chose.

#include <optional>
#include <string>
#include <string_view>

#include "foundation/json/JsonValue.h"

namespace nb {

class PageEvent {
 public:
  // Nothing when the name is not an identifier ([A-Za-z_][A-Za-z0-9_]*,
  // at most 64 characters) or the detail cannot be written as JSON (only
  // objects, arrays and strings can).
  static std::optional<PageEvent> make(std::string_view name, const JsonValue& detail);
  // The same from JSON text (an object or array): it is parsed and written
  // again by our writer, so only its meaning is kept.
  static std::optional<PageEvent> fromJsonText(std::string_view name, std::string_view jsonDetail);

  // True for names make() accepts.
  static bool isEventName(std::string_view name);

  const std::string& name() const { return name_; }
  // Compact JSON text written by our writer.
  const std::string& detail() const { return detail_; }

  // The script that dispatches the event on a page's document.
  std::string script() const;

 private:
  PageEvent(std::string name, std::string detail)
      : name_(std::move(name)), detail_(std::move(detail)) {}

  std::string name_;
  std::string detail_;
};

}  // namespace nb
