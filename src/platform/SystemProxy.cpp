#include "platform/SystemProxy.h"

#include <gio/gio.h>

#include <array>
#include <chrono>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb::platform {

namespace {

// GIO's proxy kinds and curl's names for them. GIO's SOCKS proxies resolve
// names on the proxy's side, so the "h" forms keep that; a bare "socks" is
// GIO's "any version", for which version 5 is the one to try.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kSchemes = {{
    {"http", "http"},
    {"https", "https"},
    {"socks", "socks5h"},
    {"socks5", "socks5h"},
    {"socks4a", "socks4a"},
    {"socks4", "socks4"},
}};

struct StrvFree {
  void operator()(gchar** list) const { g_strfreev(list); }
};
using StrvPtr = std::unique_ptr<gchar*, StrvFree>;

constexpr auto kAnswerLifetime = std::chrono::seconds(1);
// Beyond this many addresses the kept answers start over: a caller that
// asks for ever new paths must not make the map grow without end.
constexpr std::size_t kMaxKeptAnswers = 256;

struct KeptAnswer {
  std::chrono::steady_clock::time_point asked;
  std::vector<std::string> proxies;
};

std::mutex& answersMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<std::string, KeptAnswer>& keptAnswers() {
  static std::unordered_map<std::string, KeptAnswer> answers;  // guarded by answersMutex()
  return answers;
}

std::vector<std::string> lookUp(const std::string& asked) {
  GProxyResolver* resolver = g_proxy_resolver_get_default();  // not ours to free
  GError* rawError = nullptr;
  const StrvPtr found(g_proxy_resolver_lookup(resolver, asked.c_str(), nullptr, &rawError));
  const GErrorPtr error(rawError);
  std::vector<std::string> proxies;
  if (error) {
    NBLOG_WARN("proxy lookup failed, connecting directly: {}", error->message);
  }
  for (gchar** entry = found.get(); entry != nullptr && *entry != nullptr; ++entry) {
    if (auto proxy = SystemProxy::curlProxyFrom(*entry)) {
      proxies.push_back(std::move(*proxy));
    }
  }
  if (proxies.empty()) proxies.emplace_back();
  return proxies;
}

}  // namespace

std::optional<std::string> SystemProxy::curlProxyFrom(const std::string& resolverUri) {
  const auto separator = resolverUri.find("://");
  if (separator == std::string::npos) return std::nullopt;
  const std::string_view scheme(resolverUri.data(), separator);
  if (scheme == "direct") return std::string();
  for (const auto& [gio, curl] : kSchemes) {
    if (scheme == gio) return std::string(curl) + resolverUri.substr(separator);
  }
  return std::nullopt;
}

std::vector<std::string> SystemProxy::proxiesFor(const std::string& url) {
  // The query may carry credentials, and a PAC script is someone else's
  // code: it sees scheme, host, port and path only.
  const std::string asked = url.substr(0, url.find_first_of("?#"));
  // The real clock: a kept answer is about the settings' age, not the
  // sync's (tests move an injected clock by hours).
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(answersMutex());
    const auto kept = keptAnswers().find(asked);
    if (kept != keptAnswers().end() && now - kept->second.asked < kAnswerLifetime) {
      return kept->second.proxies;
    }
  }
  std::vector<std::string> proxies = lookUp(asked);
  std::lock_guard lock(answersMutex());
  auto& answers = keptAnswers();
  if (answers.size() >= kMaxKeptAnswers) answers.clear();
  answers.insert_or_assign(asked, KeptAnswer{now, proxies});
  return proxies;
}

}  // namespace nb::platform
