#pragma once
// One call a page made on `nbClient`, as the dispatcher hands it to a page
// function's body.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nb::bridge {

struct PageCall {
  std::string name;
  // The texts the page passed, callback left out; null where the page gave
  // undefined or null.
  std::vector<std::optional<std::string>> args;
  // For a main-thread body that answers only once work elsewhere is done:
  // hands the answer to the page's callback from any thread (nothing when
  // the page gave no callback or the window is gone). The body then returns
  // no answer itself. Empty for queued bodies, which answer by returning.
  std::function<void(const std::string& answer)> answerLater;

  // Argument `index` as text; "" when missing.
  std::string arg(std::size_t index) const {
    return index < args.size() && args[index] ? *args[index] : std::string();
  }
  // The first argument, the JSON text of most functions.
  std::string json() const { return arg(0); }
};

}  // namespace nb::bridge
