#pragma once
// The desktop clipboard. Main thread only.

#include <optional>
#include <string>

namespace nb::ui {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void setText(const std::string& text) = 0;
  // Offers the HTML, and `plainText` for targets that take text only.
  virtual void setHtml(const std::string& html, const std::string& plainText) = 0;
  // The clipboard's text now; nothing when it holds none.
  virtual std::optional<std::string> text() = 0;
};

}  // namespace nb::ui
