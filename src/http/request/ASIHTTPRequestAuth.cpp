// Answering a server's 401 and a proxy's 407: credentials sent before any
// challenge, then, after one, the credentials used before, the session
// store, the URL and the request's own fields, the credential storage and
// last the delegate, applied to the same message for a new attempt.
//
// A challenge that answers credentials this message already carried means
// they were refused: they are forgotten and the search goes on (or ends in
// code 3), so refused credentials are never sent for ever.

#include <curl/curl.h>

#include <mutex>

#include "http/engine/CurlUrl.h"
#include "http/engine/NetworkThread.h"
#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

namespace {

// Held while a request chooses credentials after a challenge.
std::recursive_mutex& delegateAuthenticationLock() {
  static std::recursive_mutex lock;
  return lock;
}

ASIErrorPtr applyFailure(bool proxy) {
  return ASIError::make(ASIInternalErrorWhileApplyingCredentialsType,
                        proxy ? "Failed to apply proxy credentials to request"
                              : "Failed to apply credentials to request");
}

}  // namespace

void ASIHTTPRequest::addBasicAuthenticationHeader(const std::string& user, const std::string& pass) {
  addRequestHeader("Authorization", "Basic " + base64forData(user + ":" + pass));
  if (request_) request_->headers.set("Authorization", "Basic " + base64forData(user + ":" + pass));
  authenticationScheme = "Basic";
}

// The library writes a server's Basic header itself. Digest and NTLM need
// an exchange inside the transfer, which curl runs with the credentials the
// message carries; a proxy's credentials always go that way, so that they
// also answer the proxy's challenge to a CONNECT.
bool ASIHTTPRequest::applyToMessage(const ASIAuthenticationChallenge& challenge,
                                    const ASICredentials& credentials, bool proxy) {
  if (!request_) return false;
  if (challenge.scheme == "Basic" && !proxy) {
    request_->headers.set("Authorization",
                          "Basic " + base64forData(credentials.username + ":" + credentials.password));
    return true;
  }
  CurlCredentials applied;
  if (challenge.scheme == "Basic") {
    applied.scheme = CURLAUTH_BASIC;
  } else if (challenge.scheme == "Digest") {
    applied.scheme = CURLAUTH_DIGEST;
  } else if (challenge.scheme == "NTLM") {
    applied.scheme = CURLAUTH_NTLM;
  } else {
    return false;
  }
  const std::string domainPart = credentials.domain.value_or("");
  applied.username = challenge.scheme == "NTLM" && !domainPart.empty()
                         ? domainPart + "\\" + credentials.username
                         : credentials.username;
  applied.password = credentials.password;
  (proxy ? request_->proxyAuth : request_->serverAuth) = std::move(applied);
  return true;
}

// ---- before any challenge -----------------------------------------------------------

void ASIHTTPRequest::applyAuthorizationHeader() {
  if (!shouldPresentCredentialsBeforeChallenge || !request_) return;
  if (!request_->headers.contains("Authorization")) {
    if (!username.empty() && !password.empty() && authenticationScheme == "Basic") {
      addBasicAuthenticationHeader(username, password);
      credentialsApplied_ = true;
    } else if (useSessionPersistence) {
      const auto entry = ASISessionCredentials::findServerEntry(url(), authenticationRealm_,
                                                                username, password);
      const ASIAuthenticationChallenge basic{"Basic", std::nullopt};
      if (entry && applyToMessage(entry->authentication.value_or(basic), *entry->credentials, false)) {
        authenticationScheme = entry->scheme;
        requestAuthentication_ = entry->authentication;
        requestCredentials_ = entry->credentials;
        credentialsApplied_ = true;
      } else if (entry) {
        ASISessionCredentials::removeServerCredentials(entry->credentials);
      }
    }
  }
  if (!useSessionPersistence) return;
  const auto proxyEntry = ASISessionCredentials::findProxyEntry(proxyHost_, proxyPort_);
  if (!proxyEntry || !proxyEntry->authentication) return;
  if (applyToMessage(*proxyEntry->authentication, *proxyEntry->credentials, true)) {
    proxyAuthentication_ = proxyEntry->authentication;
    proxyCredentials_ = proxyEntry->credentials;
    proxyCredentialsApplied_ = true;
  } else {
    ASISessionCredentials::removeProxyCredentials(proxyEntry->credentials);
  }
}

// A pre-emptive Basic header that was accepted is remembered for the process.
void ASIHTTPRequest::rememberAcceptedBasicCredentials() {
  if (authenticationNeeded_ != 0 || requestAuthentication_ || authenticationScheme != "Basic" ||
      username.empty() || password.empty() || !useSessionPersistence) {
    return;
  }
  ASISessionCredentials::Entry entry;
  entry.credentials = std::make_shared<const ASICredentials>(ASICredentials{username, password, {}});
  entry.url = url();
  entry.scheme = "Basic";
  ASISessionCredentials::storeServerEntry(std::move(entry));
}

// ---- finding and applying -----------------------------------------------------------

ASICredentialsPtr ASIHTTPRequest::findCredentials() {
  auto [user, pass] = userInfoOf(url());
  const auto main = mainRequest_.lock();
  if ((user.empty() || pass.empty()) && main) std::tie(user, pass) = std::pair(main->username, main->password);
  if (user.empty() || pass.empty()) std::tie(user, pass) = std::pair(username, password);
  if ((user.empty() || pass.empty()) && useKeychainPersistence) {
    const auto parts = parseHttpUrl(url()).value_or(UrlParts{});
    if (const auto saved = ASICredentialStorage::shared()->credentialsFor(
            {false, parts.host, parts.port, parts.scheme, authenticationRealm_})) {
      std::tie(user, pass) = std::pair(saved->username, saved->password);
    }
  }
  if (user.empty() || pass.empty()) return nullptr;
  ASICredentials found{user, pass, {}};
  if (requestAuthentication_ && requestAuthentication_->requiresAccountDomain()) {
    std::tie(found.domain, found.username) = splitAccountDomain(user, domain);
  }
  return std::make_shared<const ASICredentials>(std::move(found));
}

ASICredentialsPtr ASIHTTPRequest::findProxyCredentials() {
  std::string user;
  std::string pass;
  if (const auto main = mainRequest_.lock()) std::tie(user, pass) = std::pair(main->proxyUsername, main->proxyPassword);
  if (user.empty() || pass.empty()) std::tie(user, pass) = std::pair(proxyUsername, proxyPassword);
  if ((user.empty() || pass.empty()) && proxyAuthenticationScheme_ == "NTLM") {
    std::tie(user, pass) = std::pair(username, password);
  }
  if (user.empty() || pass.empty()) {
    if (const auto saved = ASICredentialStorage::shared()->credentialsFor(
            {true, proxyHost_, proxyPort_, "", proxyAuthenticationRealm_})) {
      std::tie(user, pass) = std::pair(saved->username, saved->password);
    }
  }
  if (user.empty() || pass.empty()) std::tie(user, pass) = std::pair(systemProxyUsername_, systemProxyPassword_);
  if (user.empty() || pass.empty()) return nullptr;
  ASICredentials found{user, pass, {}};
  if (proxyAuthentication_ && proxyAuthentication_->requiresAccountDomain()) {
    std::tie(found.domain, found.username) =
        splitAccountDomain(user, proxyDomain.empty() ? domain : proxyDomain);
  }
  return std::make_shared<const ASICredentials>(std::move(found));
}

bool ASIHTTPRequest::applyCredentials(const ASICredentialsPtr& credentials) {
  ++authenticationRetryCount_;
  if (!credentials || !requestAuthentication_ || !request_) return false;
  if (!applyToMessage(*requestAuthentication_, *credentials, false)) {
    ASISessionCredentials::removeServerCredentials(credentials);
    return false;
  }
  const auto parts = parseHttpUrl(url()).value_or(UrlParts{});
  if (useKeychainPersistence) {
    ASICredentialStorage::shared()->save(
        {false, parts.host, parts.port, parts.scheme, authenticationRealm_}, *credentials);
  }
  if (useSessionPersistence) {
    ASISessionCredentials::storeServerEntry({requestAuthentication_, credentials, url(), "", 0,
                                             requestAuthentication_->scheme, authenticationRealm_});
  }
  requestCredentials_ = credentials;
  credentialsApplied_ = true;
  return true;
}

bool ASIHTTPRequest::applyProxyCredentials(const ASICredentialsPtr& credentials) {
  ++proxyAuthenticationRetryCount_;
  if (!credentials || !proxyAuthentication_ || !request_) return false;
  if (!applyToMessage(*proxyAuthentication_, *credentials, true)) {
    ASISessionCredentials::removeProxyCredentials(credentials);
    return false;
  }
  if (useSessionPersistence) {
    ASISessionCredentials::storeProxyEntry({proxyAuthentication_, credentials, "", proxyHost_,
                                            proxyPort_, proxyAuthentication_->scheme,
                                            proxyAuthenticationRealm_});
  }
  proxyCredentials_ = credentials;
  proxyCredentialsApplied_ = true;
  return true;
}

// ---- after a challenge --------------------------------------------------------------

void ASIHTTPRequest::attemptToApplyCredentialsAndResume() {
  if (error() || cancelled_) return;
  if (authenticationNeeded_ == 2) {
    attemptToApplyProxyCredentialsAndResume();
    return;
  }
  const auto headers = responseHeaders().value_or(platform::HttpHeaders{});
  if (!requestAuthentication_) {
    requestAuthentication_ = challengeFromHeaders(headers, false);
    if (!requestAuthentication_) {
      cancelLoad();
      failWithError(ASIError::make(ASIInternalErrorWhileApplyingCredentialsType,
                                   "Failed to get authentication object from response headers"));
      return;
    }
    authenticationScheme = requestAuthentication_->scheme;
  }
  authenticationRealm_.reset();
  if (!requestAuthentication_->requiresAccountDomain()) authenticationRealm_ = requestAuthentication_->realm;
  cancelLoad();
  std::lock_guard lock(delegateAuthenticationLock());
  if (credentialsApplied_) {
    // Refused: forget them and look for others.
    credentialsApplied_ = false;
    ASISessionCredentials::removeServerCredentials(requestCredentials_);
    requestCredentials_.reset();
    requestAuthentication_ = challengeFromHeaders(headers, false);
    if (error() || cancelled_) return;
    if (const auto entry = useSessionPersistence
                               ? ASISessionCredentials::findServerEntry(url(), authenticationRealm_,
                                                                        username, password)
                               : std::nullopt;
        entry && applyCredentials(entry->credentials)) {
      startRequest();
      return;
    }
    lastActivityTime_.reset();
    if (!willAskDelegateForCredentials(false)) failAuthentication();
    return;
  }
  if (requestCredentials_) {
    const bool ntlmSpent = requestAuthentication_->scheme == "NTLM" && authenticationRetryCount_ > 1;
    if (!ntlmSpent && applyCredentials(requestCredentials_)) {
      startRequest();
    } else if (requestAuthentication_->scheme == "NTLM" && authenticationRetryCount_ == 2) {
      failAuthentication();
    } else {
      failWithError(applyFailure(false));
    }
    return;
  }
  if (error() || cancelled_) return;
  if (useSessionPersistence) {
    const auto entry =
        ASISessionCredentials::findServerEntry(url(), authenticationRealm_, username, password);
    if (entry && applyCredentials(entry->credentials)) {
      startRequest();
      return;
    }
  }
  if (const auto found = findCredentials()) {
    if (applyCredentials(found)) {
      startRequest();
    } else {
      failWithError(applyFailure(false));
    }
    return;
  }
  if (!willAskDelegateForCredentials(false)) failAuthentication();
}

void ASIHTTPRequest::attemptToApplyProxyCredentialsAndResume() {
  const auto headers = responseHeaders().value_or(platform::HttpHeaders{});
  if (!proxyAuthentication_) {
    proxyAuthentication_ = challengeFromHeaders(headers, true);
    if (!proxyAuthentication_) {
      cancelLoad();
      failWithError(ASIError::make(ASIInternalErrorWhileApplyingCredentialsType,
                                   "Failed to get authentication object from response headers"));
      return;
    }
    proxyAuthenticationScheme_ = proxyAuthentication_->scheme;
  }
  proxyAuthenticationRealm_.reset();
  if (!proxyAuthentication_->requiresAccountDomain()) proxyAuthenticationRealm_ = proxyAuthentication_->realm;
  cancelLoad();
  std::lock_guard lock(delegateAuthenticationLock());
  if (proxyCredentialsApplied_) {
    proxyCredentialsApplied_ = false;
    ASISessionCredentials::removeProxyCredentials(proxyCredentials_);
    proxyCredentials_.reset();
    proxyAuthentication_ = challengeFromHeaders(headers, true);
    if (error() || cancelled_) return;
    lastActivityTime_.reset();
    if (!willAskDelegateForCredentials(true)) failAuthentication();
    return;
  }
  if (proxyCredentials_) {
    if (applyProxyCredentials(proxyCredentials_)) {
      startRequest();
    } else {
      failWithError(applyFailure(true));
    }
    return;
  }
  if (error() || cancelled_) return;
  if (useSessionPersistence) {
    const auto entry = ASISessionCredentials::findProxyEntry(proxyHost_, proxyPort_);
    if (entry && applyProxyCredentials(entry->credentials)) {
      startRequest();
      return;
    }
  }
  if (const auto found = findProxyCredentials()) {
    if (applyProxyCredentials(found)) {
      startRequest();
    } else {
      failWithError(applyFailure(true));
    }
    return;
  }
  if (!willAskDelegateForCredentials(true)) failAuthentication();
}

// ---- asking ---------------------------------------------------------------------------

// A synchronous request never asks. The ask goes out without waiting; the
// request has no transfer meanwhile, so it cannot time out.
bool ASIHTTPRequest::willAskDelegateForCredentials(bool proxy) {
  if (isSynchronous_) return false;
  const char* name = proxy ? selector::proxyAuthenticationNeeded : selector::authenticationNeeded;
  ASIHTTPRequestDelegate* d = delegate();
  const auto q = queue();
  ASIHTTPRequestDelegate* asked = d != nullptr ? d : q.get();
  const Block& block = proxy ? proxyAuthenticationNeededBlock_ : authenticationNeededBlock_;
  if ((asked == nullptr || !asked->respondsToSelector(name)) && !block) return false;
  lastActivityTime_.reset();
  postToMainThread([self = shared_from_this(), name, proxy] {
    ASIHTTPRequestDelegate* target = self->delegate();
    const auto owner = self->queue();
    if (target == nullptr) target = owner.get();
    if (target != nullptr && target->respondsToSelector(name)) {
      target->performSelector(name, *self, {});
    } else if (const Block& b = proxy ? self->proxyAuthenticationNeededBlock_
                                      : self->authenticationNeededBlock_) {
      b();
    }
  });
  return true;
}

void ASIHTTPRequest::retryUsingSuppliedCredentials() {
  NetworkThread::driver().post([self = shared_from_this()] {
    std::lock_guard lock(self->cancelledLock_);
    if (self->request_) {
      self->attemptToApplyCredentialsAndResume();
    } else {
      self->main();
    }
  });
}

void ASIHTTPRequest::cancelAuthentication() {
  NetworkThread::driver().post([self = shared_from_this()] {
    std::lock_guard lock(self->cancelledLock_);
    self->failAuthentication();
  });
}

void ASIHTTPRequest::failAuthentication() { failWithError(ASIAuthenticationError()); }

}  // namespace nb::http
