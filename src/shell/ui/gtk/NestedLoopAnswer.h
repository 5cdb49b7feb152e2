#pragma once
// A blocking question on top of an asking one: the window is shown through
// `ask`, and a nested main loop runs until the answer handed to its callback
// arrives. An answer given before `ask` returns runs no loop at all.

#include <glib.h>

#include <functional>
#include <memory>
#include <utility>

namespace nb {

// `unanswered` is what a question answers when its callback carries nothing
// else; `ask` takes a std::function<void(T)> to call with the answer.
template <typename T, typename Ask>
T runUntilAnswered(T unanswered, Ask&& ask) {
  struct Wait {
    T answer;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    bool answered = false;
  };
  auto wait = std::make_shared<Wait>(Wait{std::move(unanswered)});
  std::forward<Ask>(ask)(std::function<void(T)>([wait](T answer) {
    wait->answer = std::move(answer);
    wait->answered = true;
    g_main_loop_quit(wait->loop);
  }));
  if (!wait->answered) g_main_loop_run(wait->loop);
  g_main_loop_unref(wait->loop);
  return wait->answer;
}

}  // namespace nb
