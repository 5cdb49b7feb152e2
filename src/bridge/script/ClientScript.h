#pragma once
// The document-start script that gives a trusted page its `nbClient`: one
// function per page function, each posting {token, fn, args, cb} to the
// message handler kMessageHandler. Answers come back through
// kResolveFunctionBody, whose argument is the answer as a string, so no
// answer text is ever parsed as script.

#include <string>
#include <string_view>

namespace nb::bridge {

inline constexpr std::string_view kMessageHandler = "nbBridge";

// The body run (with WebWindow::callFunction) to hand an answer to its
// callback; the argument is JSON text {"id": callback id, "answer": text}.
inline constexpr std::string_view kResolveFunctionBody =
    "if (window.__nb) window.__nb.resolve(arg);";

// `token` must be the view's own token (letters and digits only; anything
// else makes an empty script, which defines nothing).
std::string clientScript(std::string_view token);

}  // namespace nb::bridge
