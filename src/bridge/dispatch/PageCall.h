#pragma once
// One call a page made on `nbClient`, as the dispatcher hands it to a page
// function's body.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nb::bridge {

class NBWebViewDelegate;

struct PageCall {
  std::string name;
  // The texts the page passed, callback left out; null where the page gave
  // undefined or null.
  std::vector<std::optional<std::string>> args;
  // The page's callback and the bridge that answers it, for a body that
  // keeps answering after it returned (the transfer progress sinks).
  std::optional<std::string> callbackId;
  std::weak_ptr<NBWebViewDelegate> bridge;

  // Argument `index` as text; "" when missing.
  std::string arg(std::size_t index) const {
    return index < args.size() && args[index] ? *args[index] : std::string();
  }
  // The first argument, the JSON text of most functions.
  std::string json() const { return arg(0); }
};

}  // namespace nb::bridge
