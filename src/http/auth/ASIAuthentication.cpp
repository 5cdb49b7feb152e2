#include "http/auth/ASIAuthentication.h"

#include <algorithm>
#include <cctype>

#include "http/engine/CurlUrl.h"
#include "platform/Log.h"

namespace nb::http {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The realm parameter of a challenge text, quoted or not.
std::optional<std::string> realmOf(std::string_view params) {
  for (size_t at = 0; (at = params.find('=', at)) != std::string_view::npos; ++at) {
    size_t start = at;
    while (start > 0 && std::isalnum(static_cast<unsigned char>(params[start - 1]))) --start;
    if (!equalsIgnoringCase(params.substr(start, at - start), "realm")) continue;
    std::string value;
    size_t i = at + 1;
    if (i < params.size() && params[i] == '"') {
      for (++i; i < params.size() && params[i] != '"'; ++i) {
        if (params[i] == '\\' && i + 1 < params.size()) ++i;
        value.push_back(params[i]);
      }
    } else {
      while (i < params.size() && params[i] != ',' && params[i] != ' ') value.push_back(params[i++]);
    }
    return value;
  }
  return std::nullopt;
}

class UnavailableCredentialStorage final : public ASICredentialStorage {
 public:
  std::optional<ASICredentials> credentialsFor(const ASIProtectionSpace&) override {
    return std::nullopt;
  }
  void save(const ASIProtectionSpace& space, const ASICredentials&) override {
    NBLOG_INFO("no credential storage: credentials for {} not saved", space.host);
  }
  void remove(const ASIProtectionSpace&) override {}
};

std::mutex& storageLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<ASICredentialStorage>& storageSlot() {
  static std::shared_ptr<ASICredentialStorage> storage =
      std::make_shared<UnavailableCredentialStorage>();
  return storage;
}

std::recursive_mutex& sessionCredentialsLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<ASISessionCredentials::Entry>& serverStore() {
  static std::vector<ASISessionCredentials::Entry> store;
  return store;
}

std::vector<ASISessionCredentials::Entry>& proxyStore() {
  static std::vector<ASISessionCredentials::Entry> store;
  return store;
}

void storeEntry(std::vector<ASISessionCredentials::Entry>& store,
                ASISessionCredentials::Entry entry) {
  std::lock_guard lock(sessionCredentialsLock());
  std::erase_if(store, [&](const auto& e) {
    return e.credentials && entry.credentials &&
           e.credentials->username == entry.credentials->username &&
           e.credentials->password == entry.credentials->password &&
           e.credentials->domain == entry.credentials->domain;
  });
  store.push_back(std::move(entry));
}

void removeEntry(std::vector<ASISessionCredentials::Entry>& store,
                 const ASICredentialsPtr& credentials) {
  std::lock_guard lock(sessionCredentialsLock());
  const auto found = std::find_if(store.begin(), store.end(), [&](const auto& e) {
    return e.credentials == credentials;
  });
  if (found != store.end()) store.erase(found);
}

}  // namespace

std::optional<ASIAuthenticationChallenge> challengeFromHeaders(const platform::HttpHeaders& headers,
                                                               bool proxy) {
  const char* name = proxy ? "Proxy-Authenticate" : "WWW-Authenticate";
  for (const auto& [field, value] : headers.fields()) {
    if (!platform::headerNameEquals(field, name)) continue;
    // Repeated fields arrive joined with ", ": a scheme starts the value or
    // follows a comma.
    const std::string_view all = value;
    for (size_t start = 0; start < all.size();) {
      while (start < all.size() && (all[start] == ' ' || all[start] == ',')) ++start;
      const size_t end = std::min(all.find_first_of(" ,", start), all.size());
      const std::string_view scheme = all.substr(start, end - start);
      for (const char* known : {"Basic", "Digest", "NTLM"}) {
        if (!equalsIgnoringCase(scheme, known)) continue;
        ASIAuthenticationChallenge challenge{known, std::nullopt};
        if (!challenge.requiresAccountDomain()) challenge.realm = realmOf(all.substr(end));
        return challenge;
      }
      const size_t comma = all.find(',', end);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  return std::nullopt;
}

std::pair<std::string, std::string> splitAccountDomain(const std::string& username,
                                                       const std::string& domain) {
  if (!domain.empty()) return {domain, username};
  const size_t slash = username.find('\\');
  if (slash != std::string::npos && username.find('\\', slash + 1) == std::string::npos) {
    return {username.substr(0, slash), username.substr(slash + 1)};
  }
  return {"", username};
}

std::shared_ptr<ASICredentialStorage> ASICredentialStorage::shared() {
  std::lock_guard lock(storageLock());
  return storageSlot();
}

std::shared_ptr<ASICredentialStorage> ASICredentialStorage::setShared(
    std::shared_ptr<ASICredentialStorage> storage) {
  std::lock_guard lock(storageLock());
  auto previous = storageSlot();
  storageSlot() = storage ? std::move(storage) : std::make_shared<UnavailableCredentialStorage>();
  return previous;
}

void ASISessionCredentials::storeServerEntry(Entry entry) { storeEntry(serverStore(), std::move(entry)); }

void ASISessionCredentials::storeProxyEntry(Entry entry) { storeEntry(proxyStore(), std::move(entry)); }

void ASISessionCredentials::removeServerCredentials(const ASICredentialsPtr& credentials) {
  removeEntry(serverStore(), credentials);
}

void ASISessionCredentials::removeProxyCredentials(const ASICredentialsPtr& credentials) {
  removeEntry(proxyStore(), credentials);
}

std::optional<ASISessionCredentials::Entry> ASISessionCredentials::findServerEntry(
    const std::string& url, const std::optional<std::string>& realm, const std::string& username,
    const std::string& password) {
  const auto wanted = parseHttpUrl(url);
  std::lock_guard lock(sessionCredentialsLock());
  std::optional<Entry> near;
  for (const Entry& entry : serverStore()) {
    if (realm && entry.realm && *realm != *entry.realm) continue;
    if (!username.empty() && !password.empty() &&
        (!entry.credentials || entry.credentials->username != username ||
         entry.credentials->password != password)) {
      continue;
    }
    if (entry.url == url) return entry;
    if (near) continue;
    const auto parts = parseHttpUrl(entry.url);
    if (wanted && parts && parts->host == wanted->host && parts->port == wanted->port &&
        parts->scheme == wanted->scheme) {
      near = entry;
    }
  }
  return near;
}

std::optional<ASISessionCredentials::Entry> ASISessionCredentials::findProxyEntry(
    const std::string& host, int port) {
  std::lock_guard lock(sessionCredentialsLock());
  for (const Entry& entry : proxyStore()) {
    if (entry.host == host && entry.port == port) return entry;
  }
  return std::nullopt;
}

std::vector<ASISessionCredentials::Entry> ASISessionCredentials::serverEntries() {
  std::lock_guard lock(sessionCredentialsLock());
  return serverStore();
}

void ASISessionCredentials::clearServerEntries() {
  std::lock_guard lock(sessionCredentialsLock());
  serverStore().clear();
}

void ASISessionCredentials::clearProxyEntriesForTesting() {
  std::lock_guard lock(sessionCredentialsLock());
  proxyStore().clear();
}

}  // namespace nb::http
