#pragma once
// Proxy auto-configuration scripts, run with JavaScriptCore: a fresh context
// per evaluation, our own prelude of the standard PAC helper functions (name
// lookups done natively), then FindProxyForURL(url, host).

#include <optional>
#include <string>
#include <vector>

namespace nb::http {

// The script's answer as GIO-style proxy URIs ("direct://",
// "http://host:port", "socks5://host:port", ...), in its order; nothing when
// the script fails, throws or answers something unreadable. Blocks on name
// lookups: never on the network thread.
std::optional<std::vector<std::string>> evaluatePacScript(const std::string& script,
                                                          const std::string& url,
                                                          const std::string& host);

// The answer text of FindProxyForURL as URIs; nothing when unreadable.
std::optional<std::vector<std::string>> parsePacAnswer(const std::string& answer);

}  // namespace nb::http
