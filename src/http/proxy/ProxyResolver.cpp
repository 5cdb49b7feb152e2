#include "http/proxy/ProxyResolver.h"

#include <gio/gio.h>

#include <mutex>

#include "http/engine/CurlUrl.h"

namespace nb::http {

namespace {

class GioProxyResolver final : public ProxyResolver {
 public:
  std::optional<std::vector<std::string>> lookup(const std::string& url) override {
    GError* error = nullptr;
    gchar** uris =
        g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, &error);
    if (uris == nullptr) {
      if (error != nullptr) g_error_free(error);
      return std::nullopt;
    }
    std::vector<std::string> list;
    for (gchar** uri = uris; *uri != nullptr; ++uri) list.emplace_back(*uri);
    g_strfreev(uris);
    return list;
  }
};

std::mutex& resolverLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<ProxyResolver>& installed() {
  static std::shared_ptr<ProxyResolver> resolver = std::make_shared<GioProxyResolver>();
  return resolver;
}

}  // namespace

std::shared_ptr<ProxyResolver> ProxyResolver::current() {
  std::lock_guard lock(resolverLock());
  return installed();
}

std::shared_ptr<ProxyResolver> ProxyResolver::setCurrent(std::shared_ptr<ProxyResolver> resolver) {
  std::lock_guard lock(resolverLock());
  auto previous = installed();
  installed() = resolver ? std::move(resolver) : std::make_shared<GioProxyResolver>();
  return previous;
}

ProxyChoice proxyChoiceFromUri(const std::string& uri) {
  const size_t colon = uri.find("://");
  if (colon == std::string::npos) return {};
  const std::string scheme = uri.substr(0, colon);
  std::string type;
  if (scheme == "http") {
    type = "HTTP";
  } else if (scheme == "https") {
    type = "HTTPS";
  } else if (scheme == "socks" || scheme == "socks5") {
    type = "SOCKS5";
  } else if (scheme == "socks4a") {
    type = "SOCKS4A";
  } else if (scheme == "socks4") {
    type = "SOCKS4";
  } else {
    return {};  // "direct://" and anything else
  }
  // curl's URL parser knows only its own schemes; read host and port as http.
  const auto parts = parseHttpUrl("http" + uri.substr(colon));
  if (!parts || parts->host.empty()) return {};
  int port = parts->port;
  if (port == 0) port = type == "HTTP" ? 80 : type == "HTTPS" ? 443 : 1080;
  const auto [username, password] = userInfoOf(uri);
  return {type, parts->host, port, username, password};
}

}  // namespace nb::http
