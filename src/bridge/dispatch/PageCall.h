#pragma once
// One call a page made on `nbClient`, as the dispatcher hands it to a page
// function's body.

#include <optional>
#include <string>
#include <vector>

namespace nb::bridge {

struct PageCall {
  std::string name;
  // The texts the page passed, callback left out; null where the page gave
  // undefined or null.
  std::vector<std::optional<std::string>> args;

  // Argument `index` as text; "" when missing.
  std::string arg(std::size_t index) const {
    return index < args.size() && args[index] ? *args[index] : std::string();
  }
  // The first argument, the JSON text of most functions.
  std::string json() const { return arg(0); }
};

}  // namespace nb::bridge
