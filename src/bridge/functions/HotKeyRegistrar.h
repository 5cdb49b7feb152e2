#pragma once
// Who registers the global hot key for the settings page: the shell's
// status-item side registers itself at start-up. Until it does, a request
// is logged as an error and answers false, so a missing registration shows.
//
// Threads: registration at start-up before other threads; requests on the
// main thread.

#include <functional>
#include <string>
#include <vector>

namespace nb::bridge {

// Takes the key names in the order the page gave them (modifiers and one key).
using HotKeyRegistrar = std::function<void(const std::vector<std::string>& keys)>;

// Registers the registrar; null takes it back.
void setHotKeyRegistrar(HotKeyRegistrar registrar);

// Hands the keys to the registrar; false (and an error in the log) when
// none is registered.
bool registerHotKey(const std::vector<std::string>& keys);

}  // namespace nb::bridge
