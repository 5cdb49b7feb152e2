#include "api/calls/TransportSettings.h"

#include <mutex>

#include "api/server/ServerInfo.h"
#include "foundation/app/AppState.h"

namespace nb {

namespace {

struct Installed {
  std::mutex lock;
  TransportSettingsSource source;
};

Installed& installed() {
  static Installed instance;
  return instance;
}

// The shell's texts and the server configuration's certificate rule.
TransportSettings fromApplication() {
  const auto app = Util::getAppDelegate();
  const auto info = ServerInfo::current();
  TransportSettings settings{.userAgent = app->userAgentString(),
                             .source = info->strSource(),
                             .acceptLanguage = app->languageWithRequestString()};
  switch (info->tlsMode()) {
    case ServerInfo::TlsMode::System: break;
    case ServerInfo::TlsMode::CAFile: settings.tls.caFile = info->strCAFile(); break;
    case ServerInfo::TlsMode::Insecure: settings.tls.insecure = true; break;
  }
  return settings;
}

}  // namespace

void setTransportSettingsSource(TransportSettingsSource source) {
  auto& slot = installed();
  std::lock_guard guard(slot.lock);
  slot.source = std::move(source);
}

TransportSettings currentTransportSettings() {
  TransportSettingsSource source;
  {
    auto& slot = installed();
    std::lock_guard guard(slot.lock);
    source = slot.source;
  }
  // Called outside the lock: the source may itself take locks of its own.
  return source ? source() : fromApplication();
}

}  // namespace nb
