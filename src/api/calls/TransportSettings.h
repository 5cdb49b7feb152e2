#pragma once
// What every request to the service takes from the application and the
// server configuration: the user-agent text, the language, and how TLS
// servers are checked. By default they are read from the application state
// and ServerInfo::current() at each request; tests may install their own.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/CurlEasy.h"

namespace nb {

struct TransportSettings {
  // The shell's user-agent text; empty until the shell has formed it.
  std::string userAgent;
  // The deployment source of the server configuration; names the client in
  // "NB_SYNC;SOURCE/<source>" while `userAgent` is still empty.
  std::string source;
  // The shell's Accept-Language text; empty sends English.
  std::string acceptLanguage;
  // Certificate checks for every host: verified against the system store
  // unless the deployment names its own CA file or opts out explicitly.
  platform::TlsOptions tls;
  // Test routing only (see platform::CurlExchange::connectTo).
  std::vector<std::string> connectTo;
  // Test only: no request waits longer than this for its answer (0: each
  // call's own time-out), so that a stalled answer is given up quickly.
  std::chrono::seconds timeoutLimit{0};
};

// Called on the thread of each request, so it must be thread-safe and quick.
using TransportSettingsSource = std::function<TransportSettings()>;

// Installs the process-wide source; an empty function restores the reading
// of the application state.
// Safe from any thread.
void setTransportSettingsSource(TransportSettingsSource source);

// The settings a request made now would use.
TransportSettings currentTransportSettings();

}  // namespace nb
