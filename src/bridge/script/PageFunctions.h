#pragma once
// The functions a page may call on `nbClient`: one table, from which the
// page script and the dispatcher are both made, so the two can never
// disagree about a name, its arguments or the thread it runs on.

#include <cstddef>
#include <span>
#include <string_view>

namespace nb::bridge {

// The arguments a page function takes, in the page's order.
enum class Shape {
  JsonCallback,  // (json, callback)
  Json,          // (json)
  None,          // ()
  CommandJsonCallback,  // (command, json, callback)
  JsonEventCallback,    // (json, event name, callback)
  TwoTexts,             // (text, text), no answer
};

// Where the body runs: on the main thread in call order, or on the bridge
// queue (three at a time), which answers only a non-empty text.
enum class Thread { Main, Queue };

struct PageFunction {
  std::string_view name;
  Shape shape;
  Thread thread;
  // The page's call also returns true to the calling script.
  bool returnsTrue = false;
};

// Number of arguments a shape takes, the callback included.
std::size_t argumentCount(Shape shape);
// Whether a shape ends with a callback.
bool hasCallback(Shape shape);

// All page functions, in a fixed order.
std::span<const PageFunction> pageFunctions();
// The entry named `name`, or null.
const PageFunction* findPageFunction(std::string_view name);

}  // namespace nb::bridge
