// Requests made from requests (the HEAD companion, copies), the hand-over of
// blocks to the main thread, and the small class utilities around them.

#include <curl/curl.h>

#include <mutex>

#include "foundation/text/StringHelpers.h"
#include "http/cache/ASIDownloadCache.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::http {

namespace {

std::recursive_mutex& sessionCookiesLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<ASICookie>& sessionCookieList() {
  static std::vector<ASICookie> cookies;
  return cookies;
}

}  // namespace

// What a HEAD companion and a copy both take: headers, cookies, identity and
// the connection settings.
void ASIHTTPRequest::copySharedSettingsTo(ASIHTTPRequest& other) const {
  {
    std::lock_guard lock(fieldLock_);
    std::lock_guard theirs(other.fieldLock_);
    other.requestHeaders_ = requestHeaders_;
    other.requestCookies_ = requestCookies_;
    other.clientCertificateIdentity_ = clientCertificateIdentity_;
  }
  other.username = username;
  other.password = password;
  other.domain = domain;
  other.proxyUsername = proxyUsername;
  other.proxyPassword = proxyPassword;
  other.proxyDomain = proxyDomain;
  other.useCookiePersistence = useCookiePersistence;
  other.useKeychainPersistence = useKeychainPersistence;
  other.useSessionPersistence = useSessionPersistence;
  other.allowCompressedResponse = allowCompressedResponse;
  other.proxyHost_ = proxyHost_;
  other.proxyPort_ = proxyPort_;
  other.proxyType_ = proxyType_;
  other.shouldPresentAuthenticationDialog = shouldPresentAuthenticationDialog;
  other.shouldPresentProxyAuthenticationDialog = shouldPresentProxyAuthenticationDialog;
  other.timeOutSeconds = timeOutSeconds;
  other.useHTTPVersionOne = useHTTPVersionOne;
  other.validatesSecureCertificate = validatesSecureCertificate;
  other.certificateAuthorityFile = certificateAuthorityFile;
  other.shouldPresentCredentialsBeforeChallenge = shouldPresentCredentialsBeforeChallenge;
  other.numberOfTimesToRetryOnTimeout = numberOfTimesToRetryOnTimeout;
  other.shouldUseRFC2616RedirectBehaviour = shouldUseRFC2616RedirectBehaviour;
  other.shouldAttemptPersistentConnection = shouldAttemptPersistentConnection;
  other.persistentConnectionTimeoutSeconds = persistentConnectionTimeoutSeconds;
}

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::HEADRequest() {
  auto head = requestWithURL(url());
  copySharedSettingsTo(*head);
  // Last, so that the method rule sees the copied persistence flag.
  head->mainRequest_ = weak_from_this();
  head->isHeadCompanion_ = true;
  head->setRequestMethod("HEAD");
  return head;
}

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::copy() const {
  auto made = requestWithURL(url());
  copyConfigurationTo(*made);
  return made;
}

void ASIHTTPRequest::copyConfigurationTo(ASIHTTPRequest& target) const {
  ASIHTTPRequest* made = &target;
  made->setDelegate(delegate());
  {
    std::lock_guard lock(cancelledLock_);
    made->requestMethod_ = requestMethod_;
  }
  copySharedSettingsTo(*made);
  {
    std::lock_guard lock(fieldLock_);
    std::lock_guard theirs(made->fieldLock_);
    made->postBody_ = postBody_;
    made->postBodyFilePath_ = postBodyFilePath_;
  }
  made->shouldStreamPostDataFromDisk = shouldStreamPostDataFromDisk;
  made->postLength_ = postLength_;
  made->haveBuiltPostBody_ = haveBuiltPostBody_;
  made->didStartSelector = didStartSelector;
  made->didFinishSelector = didFinishSelector;
  made->didFailSelector = didFailSelector;
  made->shouldResetDownloadProgress = shouldResetDownloadProgress;
  made->shouldResetUploadProgress = shouldResetUploadProgress;
  made->showAccurateProgress = showAccurateProgress;
  made->defaultResponseEncoding = defaultResponseEncoding;
  made->allowResumeForFileDownloads = allowResumeForFileDownloads;
  made->tag = tag;
  made->shouldRedirect = shouldRedirect;
}

void ASIHTTPRequest::releaseBlocksOnMainThread() {
  const bool anySet = completionBlock_ || failureBlock_ || startedBlock_ || headersReceivedBlock_ ||
                      bytesReceivedBlock_ || bytesSentBlock_ || downloadSizeIncrementedBlock_ ||
                      uploadSizeIncrementedBlock_ || dataReceivedBlock_ ||
                      proxyAuthenticationNeededBlock_ || authenticationNeededBlock_ ||
                      requestRedirectedBlock_;
  if (!anySet) return;
  // In the order the blocks are given up.
  struct Blocks {
    Block completion, failure, started;
    HeadersBlock headers;
    ProgressBlock bytesReceived, bytesSent;
    SizeBlock downloadSize, uploadSize;
    DataBlock data;
    Block proxyAuthentication, authentication, redirected;
  };
  auto blocks = std::make_shared<Blocks>(Blocks{
      std::exchange(completionBlock_, nullptr), std::exchange(failureBlock_, nullptr),
      std::exchange(startedBlock_, nullptr), std::exchange(headersReceivedBlock_, nullptr),
      std::exchange(bytesReceivedBlock_, nullptr), std::exchange(bytesSentBlock_, nullptr),
      std::exchange(downloadSizeIncrementedBlock_, nullptr),
      std::exchange(uploadSizeIncrementedBlock_, nullptr), std::exchange(dataReceivedBlock_, nullptr),
      std::exchange(proxyAuthenticationNeededBlock_, nullptr),
      std::exchange(authenticationNeededBlock_, nullptr),
      std::exchange(requestRedirectedBlock_, nullptr)});
  if (platform::MainThread::isMainThread()) return;  // they go here, now
  platform::MainThread::post([blocks = std::move(blocks)]() mutable { blocks.reset(); });
}

void ASIHTTPRequest::setClientCertificateIdentity(ClientIdentity identity) {
  std::lock_guard lock(fieldLock_);
  if (identity.certificate.empty()) {
    clientCertificateIdentity_.reset();
  } else {
    clientCertificateIdentity_ = std::move(identity);
  }
}

std::string ASIHTTPRequest::base64forData(const std::string& bytes) {
  return nb::base64Encoded(bytes).value_or("");
}

std::vector<ASICookie> ASIHTTPRequest::sessionCookies() {
  std::lock_guard lock(sessionCookiesLock());
  return sessionCookieList();
}

void ASIHTTPRequest::setSessionCookies(std::vector<ASICookie> cookies) {
  std::lock_guard lock(sessionCookiesLock());
  sessionCookieList() = std::move(cookies);
}

void ASIHTTPRequest::addSessionCookie(ASICookie cookie) {
  std::lock_guard lock(sessionCookiesLock());
  auto& cookies = sessionCookieList();
  for (auto it = cookies.begin(); it != cookies.end(); ++it) {
    if (it->domain == cookie.domain && it->path == cookie.path && it->name == cookie.name) {
      cookies.erase(it);
      break;
    }
  }
  cookies.push_back(std::move(cookie));
}

void ASIHTTPRequest::clearSession() {
  ASISessionCredentials::clearServerEntries();
  {
    std::lock_guard lock(sessionCookiesLock());
    sessionCookieList().clear();
  }
  if (const auto cache = defaultCache()) {
    try {
      cache->clearCachedResponsesForStoragePolicy(ASICacheForSessionDurationCacheStoragePolicy);
    } catch (const ASICacheException& e) {
      NBLOG_WARN("session responses not cleared: {}", e.what());
    }
  }
}

}  // namespace nb::http
