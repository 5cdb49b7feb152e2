#pragma once
// What a request needs to answer a challenge: the challenge read from a
// 401/407 head, the credentials found for it, the process's session stores
// of credentials that worked, and the per-user credential storage.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpHeaders.h"

namespace nb::http {

// One challenge of "WWW-Authenticate" or "Proxy-Authenticate".
struct ASIAuthenticationChallenge {
  std::string scheme;                // "Basic", "Digest" or "NTLM"
  std::optional<std::string> realm;  // none for NTLM
  bool requiresAccountDomain() const { return scheme == "NTLM"; }
};

// The first challenge of a scheme this library answers; nothing when the
// head has none.
std::optional<ASIAuthenticationChallenge> challengeFromHeaders(const platform::HttpHeaders& headers,
                                                               bool proxy);

struct ASICredentials {
  std::string username;
  std::string password;
  std::optional<std::string> domain;  // only for challenges that need one
};
using ASICredentialsPtr = std::shared_ptr<const ASICredentials>;

// The account domain and user name for a challenge that needs a domain: the
// given domain, else the part before a single backslash of the name.
std::pair<std::string, std::string> splitAccountDomain(const std::string& username,
                                                       const std::string& domain);

// Where credentials persist for the user: one credential per protection
// space. The program registers the Secret Service at start-up
// (SecretServiceCredentialStorage); until then the store has no backing
// service: it finds nothing and drops saves with a log line. Nothing is ever
// written in the clear.
struct ASIProtectionSpace {
  bool proxy = false;
  std::string host;
  int port = 0;
  std::string protocol;  // empty for a proxy
  std::optional<std::string> realm;
  bool operator==(const ASIProtectionSpace&) const = default;
};

class ASICredentialStorage {
 public:
  virtual ~ASICredentialStorage() = default;
  virtual std::optional<ASICredentials> credentialsFor(const ASIProtectionSpace& space) = 0;
  virtual void save(const ASIProtectionSpace& space, const ASICredentials& credentials) = 0;
  virtual void remove(const ASIProtectionSpace& space) = 0;

  static std::shared_ptr<ASICredentialStorage> shared();
  // Replaces it (null: the default again) and answers the one replaced.
  static std::shared_ptr<ASICredentialStorage> setShared(std::shared_ptr<ASICredentialStorage> s);
};

// The process's credentials that worked, for servers and for proxies.
class ASISessionCredentials {
 public:
  struct Entry {
    std::optional<ASIAuthenticationChallenge> authentication;  // none after pre-emptive Basic
    ASICredentialsPtr credentials;
    std::string url;          // server entries
    std::string host;         // proxy entries
    int port = 0;             // proxy entries
    std::string scheme;
    std::optional<std::string> realm;
  };

  // Drops any entry holding the same credentials, then appends.
  static void storeServerEntry(Entry entry);
  static void storeProxyEntry(Entry entry);
  // Removes the first entry holding that very credentials object.
  static void removeServerCredentials(const ASICredentialsPtr& credentials);
  static void removeProxyCredentials(const ASICredentialsPtr& credentials);
  // The exact URL's entry, else the first of the same scheme, host and
  // port; a realm filters only when both sides have one, a user name and
  // password only when the request has both.
  static std::optional<Entry> findServerEntry(const std::string& url,
                                              const std::optional<std::string>& realm,
                                              const std::string& username,
                                              const std::string& password);
  static std::optional<Entry> findProxyEntry(const std::string& host, int port);
  static std::vector<Entry> serverEntries();
  static void clearServerEntries();
  static void clearProxyEntriesForTesting();
};

}  // namespace nb::http
