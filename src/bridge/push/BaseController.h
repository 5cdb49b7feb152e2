#pragma once
// What the push-message handlers know of the page that relayed a message:
// its window, and (for a single pushed message) a way to answer the page's
// call later, once work that left the main thread has been applied.
//
// Threads: made and used on the main thread, for the length of one page call.

#include <functional>
#include <string>

namespace nb {

class WebWindowController;

class BaseController {
 public:
  using Answer = std::function<void(const std::string& text)>;

  // `answerLater` empty: the caller has no way to answer after it returned.
  BaseController(WebWindowController& window, Answer answerLater)
      : window_(window), answerLater_(std::move(answerLater)) {}

  WebWindowController& window() const { return window_; }

  // Takes over the page's answer: the page call returns nothing and the
  // function answers it instead. Empty when answering later is not possible
  // (the caller then answers at once, as usual).
  Answer deferAnswer() {
    if (!answerLater_) return {};
    deferred_ = true;
    return answerLater_;
  }
  bool deferred() const { return deferred_; }

 private:
  WebWindowController& window_;
  Answer answerLater_;
  bool deferred_ = false;
};

}  // namespace nb
