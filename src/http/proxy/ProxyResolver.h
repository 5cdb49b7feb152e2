#pragma once
// Where the system's proxy settings come from: for a URL, an ordered list of
// proxy URIs as GIO writes them ("direct://", "http://host:port",
// "socks5://host:port", ...), or nothing when no list can be had. The
// default asks GIO's GProxyResolver (GNOME settings, the environment or a
// system PAC through glib-networking); tests install fixed lists.
//
// A lookup may block (D-Bus, a PAC fetch): never call it on the network
// thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nb::http {

class ProxyResolver {
 public:
  virtual ~ProxyResolver() = default;
  virtual std::optional<std::vector<std::string>> lookup(const std::string& url) = 0;

  // The process-wide resolver, never null.
  static std::shared_ptr<ProxyResolver> current();
  // Replaces it (null: GIO's again) and answers the one it replaced.
  static std::shared_ptr<ProxyResolver> setCurrent(std::shared_ptr<ProxyResolver> resolver);
};

// One proxy of a list: the kind, as curl is told it, and where it listens.
struct ProxyChoice {
  std::string type;  // "" (direct), "HTTP", "HTTPS", "SOCKS4", "SOCKS4A", "SOCKS5"
  std::string host;
  int port = 0;
  // The system settings' proxy credentials, written in the URI.
  std::string username;
  std::string password;
};

// The proxy that a GIO proxy URI names; direct for "direct://" and for
// anything not understood.
ProxyChoice proxyChoiceFromUri(const std::string& uri);

}  // namespace nb::http
