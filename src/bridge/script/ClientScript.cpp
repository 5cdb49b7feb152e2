#include "bridge/script/ClientScript.h"

#include <algorithm>
#include <cctype>

#include "bridge/script/PageFunctions.h"
#include "platform/Log.h"

namespace nb::bridge {

namespace {

// Everything of the object lives in the closure: the page sees only the
// functions on `nbClient` and the resolve hook `__nb`, neither replaceable.
// Callback ids carry a random prefix per page load, so an answer meant for
// an earlier page finds nothing here. The transfer sinks stay until the next
// call of their function replaces them.
constexpr std::string_view kPrologue = R"JS((function () {
  "use strict";
  if (window.top !== window || Object.prototype.hasOwnProperty.call(window, "__nb")) return;
  var handler = window.webkit && window.webkit.messageHandlers &&
      window.webkit.messageHandlers.)JS";

constexpr std::string_view kBody = R"JS(;
  if (!handler) return;
  var bytes = new Uint32Array(2);
  window.crypto.getRandomValues(bytes);
  var prefix = bytes[0].toString(36) + bytes[1].toString(36) + "_";
  var counter = 0;
  var pending = new Map();
  var sinks = new Map();
  var text = function (v) { return v === undefined || v === null ? null : String(v); };
  var resolve = function (arg) {
    var message;
    try { message = JSON.parse(arg); } catch (e) { return; }
    if (!message || typeof message.id !== "string") return;
    var entry = pending.get(message.id);
    if (!entry) return;
    if (!entry.keep) pending.delete(message.id);
    var value;
    try { value = JSON.parse(message.answer); } catch (e) { value = message.answer; }
    try { entry.fn(value); } catch (e) { }
  };
  Object.defineProperty(window, "__nb", {
    value: Object.freeze({ resolve: resolve }), writable: false, enumerable: false,
    configurable: false });
  var make = function (name, count, withCallback, returnsTrue, keep) {
    return function () {
      var args = [];
      var last = withCallback ? count - 1 : count;
      for (var i = 0; i < last; i++) args.push(text(arguments[i]));
      var cb = null;
      var fn = withCallback ? arguments[count - 1] : undefined;
      if (keep && sinks.has(name)) { pending.delete(sinks.get(name)); sinks.delete(name); }
      if (typeof fn === "function") {
        cb = prefix + (++counter);
        pending.set(cb, { fn: fn, keep: keep });
        if (keep) sinks.set(name, cb);
      }
      handler.postMessage(JSON.stringify({ token: token, fn: name, args: args, cb: cb }));
      return returnsTrue ? true : undefined;
    };
  };
  var client = Object.create(null);
  for (var i = 0; i < table.length; i++) {
    var t = table[i];
    client[t[0]] = make(t[0], t[1], t[2] === 1, t[3] === 1, t[4] === 1);
  }
  Object.defineProperty(window, "nbClient", {
    value: Object.freeze(client), writable: false, enumerable: true, configurable: false });
})();
)JS";

bool keepsCallback(std::string_view name) {
  return name == "gChangeUpload" || name == "gChangeDownload";
}

}  // namespace

std::string clientScript(std::string_view token) {
  const bool plain = !token.empty() && std::all_of(token.begin(), token.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
  });
  if (!plain) {
    NBLOG_ERROR("page script refused for a malformed view token");
    return {};
  }
  std::string script(kPrologue);
  script += kMessageHandler;
  script += ";\n  var token = \"";
  script += token;
  script += "\";\n  var table = [";
  bool first = true;
  for (const PageFunction& f : pageFunctions()) {
    if (!first) script += ",";
    first = false;
    script += "[\"" + std::string(f.name) + "\"," + std::to_string(argumentCount(f.shape)) + "," +
              (hasCallback(f.shape) ? "1," : "0,") + (f.returnsTrue ? "1," : "0,") +
              (keepsCallback(f.name) ? "1]" : "0]");
  }
  script += "]";
  script += kBody;
  return script;
}

}  // namespace nb::bridge
