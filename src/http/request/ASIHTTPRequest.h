#pragma once
// One HTTP/1.1 exchange: made for a URL, configured, run once (synchronously
// on the caller's thread or asynchronously on the library's network thread),
// then read. libcurl moves the bytes; the request keeps the library's own
// rules: the method and body rules, its own redirects, the keep-alive model,
// the idle time-out and the order of the callbacks.
//
// Every delegate, queue and block callback runs on the main thread in the
// order it was posted; posted from the main thread itself it runs at once.
// The delegate, the progress delegates and the queue are not owned and are
// read again when each callback runs: clear them before they go away.
//
// Always made through requestWithURL() (shared ownership): a running request
// keeps itself alive until it ended.

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/auth/ASIAuthentication.h"
#include "http/engine/CurlDriver.h"
#include "http/request/ASIError.h"
#include "http/request/ASIHTTPRequestDelegate.h"
#include "http/request/ASIProgressDelegate.h"
#include "platform/Clock.h"
#include "platform/CurlEasy.h"
#include "platform/HttpHeaders.h"

namespace nb::platform {
class Operation;
class OperationQueue;
}

namespace nb::http {

struct PoolEntry;
class ASIDataDecompressor;
class ASIDownloadCache;
class RequestQueueSlot;

// Text encodings a response may name; the numbers are the platform's.
enum ASIStringEncoding : uint64_t {
  ASIASCIIStringEncoding = 1,
  ASIUTF8StringEncoding = 4,
  ASIISOLatin1StringEncoding = 5,
  ASIUTF16StringEncoding = 10,
  ASIWindowsCP1252StringEncoding = 12,
};

// Request headers: exact-case names in insertion order; setting a name that
// is there replaces its value in place ("user-agent" and "User-Agent" are two).
class RequestHeaderList {
 public:
  using Field = std::pair<std::string, std::string>;
  void set(const std::string& name, std::string value);
  const std::string* find(const std::string& name) const;
  bool contains(const std::string& name) const { return find(name) != nullptr; }
  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }

 private:
  std::vector<Field> fields_;
};

struct ASICookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
};

class ASIHTTPRequest : public std::enable_shared_from_this<ASIHTTPRequest>,
                       public CurlTransferClient {
 public:
  using Block = std::function<void()>;
  using HeadersBlock = std::function<void(const platform::HttpHeaders&)>;
  using DataBlock = std::function<void(const std::string&)>;
  using ProgressBlock = std::function<void(uint64_t size, uint64_t total)>;
  using SizeBlock = std::function<void(int64_t size)>;

  // An empty url is "no URL": running it fails with code 5.
  static std::shared_ptr<ASIHTTPRequest> requestWithURL(const std::string& url);
  ~ASIHTTPRequest() override;
  ASIHTTPRequest(const ASIHTTPRequest&) = delete;
  ASIHTTPRequest& operator=(const ASIHTTPRequest&) = delete;

  // ---- configuration (before a start) --------------------------------------
  void addRequestHeader(const std::string& name, const std::string& value);
  void setRequestMethod(const std::string& method);
  std::string requestMethod() const;
  void setURL(const std::string& url);
  std::string url() const;
  void appendPostData(const std::string& bytes);
  void appendPostDataFromFile(const std::string& path);
  void setDelegate(ASIHTTPRequestDelegate* delegate);
  ASIHTTPRequestDelegate* delegate() const;
  void setQueue(std::shared_ptr<ASIHTTPRequestDelegate> queue);
  // Not owned; each set posts setMaxValue: 1.0 to the new delegate.
  void setUploadProgressDelegate(ASIProgressDelegate* delegate);
  void setDownloadProgressDelegate(ASIProgressDelegate* delegate);
  std::shared_ptr<ASIHTTPRequestDelegate> queue() const;
  ASIProgressDelegate* uploadProgressDelegate() const { return uploadProgressDelegate_; }
  ASIProgressDelegate* downloadProgressDelegate() const { return downloadProgressDelegate_; }

  void setStartedBlock(Block block) { startedBlock_ = std::move(block); }
  void setHeadersReceivedBlock(HeadersBlock block) { headersReceivedBlock_ = std::move(block); }
  void setCompletionBlock(Block block) { completionBlock_ = std::move(block); }
  void setFailedBlock(Block block) { failureBlock_ = std::move(block); }
  void setBytesReceivedBlock(ProgressBlock block) { bytesReceivedBlock_ = std::move(block); }
  void setBytesSentBlock(ProgressBlock block) { bytesSentBlock_ = std::move(block); }
  void setDownloadSizeIncrementedBlock(SizeBlock b) { downloadSizeIncrementedBlock_ = std::move(b); }
  void setUploadSizeIncrementedBlock(SizeBlock b) { uploadSizeIncrementedBlock_ = std::move(b); }
  void setDataReceivedBlock(DataBlock block) { dataReceivedBlock_ = std::move(block); }
  void setAuthenticationNeededBlock(Block block) { authenticationNeededBlock_ = std::move(block); }
  void setProxyAuthenticationNeededBlock(Block b) { proxyAuthenticationNeededBlock_ = std::move(b); }
  void setRequestRedirectedBlock(Block block) { requestRedirectedBlock_ = std::move(block); }

  // Plain settings.
  double timeOutSeconds = 10;
  bool useHTTPVersionOne = false;
  bool shouldRedirect = true;
  bool shouldUseRFC2616RedirectBehaviour = false;
  bool validatesSecureCertificate = true;
  // PEM file of the certificates to trust instead of the system store while
  // certificates are validated; empty means the system store.
  std::string certificateAuthorityFile;
  bool allowCompressedResponse = true;
  bool shouldCompressRequestBody = false;
  bool shouldWaitToInflateCompressedResponses = true;
  bool useCookiePersistence = false;
  bool useKeychainPersistence = false;
  bool useSessionPersistence = true;
  bool shouldPresentCredentialsBeforeChallenge = true;
  bool shouldPresentAuthenticationDialog = false;
  bool shouldPresentProxyAuthenticationDialog = true;
  bool showAccurateProgress = true;
  bool shouldResetUploadProgress = true;
  bool shouldResetDownloadProgress = true;
  bool shouldStreamPostDataFromDisk = false;
  bool allowResumeForFileDownloads = false;
  double persistentConnectionTimeoutSeconds = 60;
  int numberOfTimesToRetryOnTimeout = 0;
  uint64_t defaultResponseEncoding = ASIISOLatin1StringEncoding;
  int64_t tag = 0;
  std::string didStartSelector = selector::requestStarted;
  std::string didReceiveResponseHeadersSelector = selector::didReceiveResponseHeaders;
  std::string willRedirectSelector = selector::willRedirectToURL;
  std::string didFinishSelector = selector::requestFinished;
  std::string didFailSelector = selector::requestFailed;
  std::string didReceiveDataSelector = selector::didReceiveData;
  // Switched off by the method rule (setRequestMethod); may be set again after.
  bool shouldAttemptPersistentConnection = true;

  void setUserAgentString(std::string value);
  std::optional<std::string> userAgentString() const;
  void setRequestCookies(std::vector<ASICookie> cookies);
  std::vector<ASICookie> requestCookies() const;
  void setPostBodyFilePath(std::string path);
  void setProxy(std::string host, int port, std::string type);
  // A proxy auto-configuration script to use ("file://", "http://" or
  // "https://"); every failure of the script means direct.
  std::optional<std::string> PACurl;
  // This request fetches a proxy script: it always goes direct.
  void markAsPACFileRequest() { isPACFileRequest_ = true; }

  // ---- download to a file ----------------------------------------------------
  // With a destination the body goes to a temporary file (a new name in the
  // temporary folder unless one is set) and is moved, or inflated, to the
  // destination at the end. With resuming allowed, an existing temporary
  // file is continued with a "Range" request.
  void setDownloadDestinationPath(std::optional<std::string> path);
  std::optional<std::string> downloadDestinationPath() const;
  void setTemporaryFileDownloadPath(std::optional<std::string> path);
  std::optional<std::string> temporaryFileDownloadPath() const;
  void setTemporaryUncompressedDataDownloadPath(std::optional<std::string> path);
  std::optional<std::string> temporaryUncompressedDataDownloadPath() const;
  uint64_t partialDownloadSize() const { return partialDownloadSize_; }
  // Each does nothing and answers true when its path is not set; a failed
  // removal fails the request.
  bool removeTemporaryDownloadFile();
  bool removeTemporaryUncompressedDownloadFile();
  bool removeTemporaryUploadFile();
  bool removeTemporaryCompressedUploadFile();
  // No file at `path` is a success; a failure gives code 8 in `error` (when
  // one is passed).
  static bool removeFileAtPath(const std::string& path, ASIErrorPtr* error);

  // ---- authentication ---------------------------------------------------------
  // Credentials for the server and the proxy; a delegate asked for them sets
  // them and calls retryUsingSuppliedCredentials() (or cancelAuthentication()).
  std::string username;
  std::string password;
  std::string domain;
  std::string proxyUsername;
  std::string proxyPassword;
  std::string proxyDomain;
  // "Basic" with a user name and password sends them before any challenge.
  std::string authenticationScheme;
  void addBasicAuthenticationHeader(const std::string& user, const std::string& pass);
  void retryUsingSuppliedCredentials();
  void cancelAuthentication();
  int authenticationRetryCount() const { return authenticationRetryCount_; }
  int proxyAuthenticationRetryCount() const { return proxyAuthenticationRetryCount_; }

  // ---- download cache ---------------------------------------------------------
  // A request for `url` that consults `cache` under `policy` (0: the cache's
  // default).
  static std::shared_ptr<ASIHTTPRequest> requestWithURL(const std::string& url,
                                                        std::shared_ptr<ASIDownloadCache> cache,
                                                        uint32_t policy = 0);
  // The cache every new request starts with; none at first.
  static void setDefaultCache(std::shared_ptr<ASIDownloadCache> cache);
  static std::shared_ptr<ASIDownloadCache> defaultCache();
  void setDownloadCache(std::shared_ptr<ASIDownloadCache> cache);
  std::shared_ptr<ASIDownloadCache> downloadCache() const;
  uint32_t cachePolicy = 0;
  int cacheStoragePolicy = 0;  // 0 this session, else permanent
  double secondsToCache = 0;   // 0: as the response says
  bool didUseCachedResponse() const { return didUseCachedResponse_; }
  // Answers the request with the stored copy (or nothing) and ends it.
  void useDataFromCache();

  // ---- running -------------------------------------------------------------
  // Runs on the calling thread and returns once the request is complete.
  void startSynchronous();
  // Queues the request on sharedQueue(); the outcome comes to the delegate.
  void startAsynchronous();
  // Its place among the requests waiting in a queue: higher starts first.
  void setQueuePriority(int priority) { queuePriority_ = priority; }
  int queuePriority() const { return queuePriority_; }
  // What a queue runs for this request (made on first use): it starts the
  // request and holds its slot until the request finished.
  std::shared_ptr<platform::Operation> queueOperation();
  // Called by the queue on one of its threads: hands main() to the network
  // thread.
  void start();
  // Builds the message and opens the transfer, on the request's thread.
  void main();
  // Any thread: the cancel takes effect on the network thread, soon after.
  void cancel();
  void clearDelegatesAndCancel();
  bool isCancelled() const;
  bool isConcurrent() const { return true; }
  bool isExecuting() const { return inProgress_; }
  bool isFinished() const { return finished_; }
  bool complete() const { return complete_; }
  // Continues a redirect that the delegate confirmed.
  void redirectToURL(const std::string& url);

  // ---- results -------------------------------------------------------------
  ASIErrorPtr error() const;
  int responseStatusCode() const { return responseStatusCode_; }
  std::optional<std::string> responseStatusMessage() const;
  std::optional<platform::HttpHeaders> responseHeaders() const;
  // Inflated when the server sent gzip (afresh at every call); nothing when
  // no transfer ran, the run ended in a stream error or inflating failed.
  std::optional<std::string> responseData() const;
  std::optional<std::string> rawResponseData() const;
  std::optional<std::string> responseString() const;
  bool isResponseCompressed() const;
  uint64_t contentLength() const { return contentLength_; }
  uint64_t totalBytesRead() const { return totalBytesRead_; }
  uint64_t totalBytesSent() const { return totalBytesSent_; }
  uint64_t postLength() const { return postLength_; }
  uint64_t responseEncoding() const { return responseEncoding_; }
  int redirectCount() const { return redirectCount_; }
  int retryCount() const { return retryCount_; }
  bool connectionCanBeReused() const { return connectionCanBeReused_; }
  std::optional<std::string> originalURL() const;
  // The pool entry's number; nothing without an entry.
  std::optional<int> connectionID() const;
  std::optional<uint32_t> requestID() const;

  // A HEAD request for the same URL that takes this request's headers,
  // cookies and connection settings; it reports no success of its own and
  // its failures as failures of this request.
  std::shared_ptr<ASIHTTPRequest> HEADRequest();
  // A new request with this one's configuration (not its queue, blocks or
  // results).
  virtual std::shared_ptr<ASIHTTPRequest> copy() const;
  // Clears the twelve blocks and lets them go on the main thread.
  void releaseBlocksOnMainThread();

  // The client certificate offered in TLS handshakes: PEM or PKCS#12 bytes
  // ("PEM" or "P12"), with the key for PEM. Empty certificate: none.
  struct ClientIdentity {
    std::string certificate;
    std::string key;
    std::string type = "PEM";
    std::string password;
  };
  void setClientCertificateIdentity(ClientIdentity identity);

  // ---- steps the library runs (public for the tests of each rule) ----------
  // Completes the body once, before the first send.
  virtual void buildPostBody();
  void buildRequestHeaders();
  void applyCookieHeader();
  RequestHeaderList requestHeaders() const;
  void failWithError(const ASIErrorPtr& error);
  bool shouldTimeOut() const;

  // ---- class-wide ----------------------------------------------------------
  // Standard Base64 with padding and no line breaks; empty for no bytes.
  static std::string base64forData(const std::string& bytes);
  // The process-wide cookie jar used when cookie persistence is on.
  static std::vector<ASICookie> sessionCookies();
  static void setSessionCookies(std::vector<ASICookie> cookies);
  // Replaces the cookie of the same domain, path and name.
  static void addSessionCookie(ASICookie cookie);
  static void clearSession();
  static platform::OperationQueue& sharedQueue();
  static double defaultTimeOutSeconds();
  static void setDefaultTimeOutSeconds(double seconds);
  static constexpr int RedirectionLimit = 5;

  // CurlTransferClient, on the request's thread.
  void transferDone(int result) override;
  void statusTick() override;
  void performPassEnded() override;

 protected:
  explicit ASIHTTPRequest(const std::string& url);
  // What copy() gives a new request of any kind.
  void copyConfigurationTo(ASIHTTPRequest& made) const;
  bool haveBuiltPostBody() const { return haveBuiltPostBody_; }

  // The finish step after a whole answer, on the request's thread under
  // requestLock(): reports success unless the request failed.
  virtual void requestFinished();
  // Ends the operation: the queue slot is given back and waiters go on.
  virtual void markAsFinished();
  std::recursive_mutex& requestLock() const { return cancelledLock_; }
  bool isHeadCompanion() const { return isHeadCompanion_; }
  void setCompleteFlag(bool value) { complete_ = value; }
  // The body as it now stands (for a request that rewrote its own answer).
  void replaceResponseData(std::string bytes);
  void removeResponseHeader(const std::string& name);
  // Shows the download display full: progress equal to total.
  void showDownloadComplete();

 private:
  void copySharedSettingsTo(ASIHTTPRequest& other) const;

  // running (ASIHTTPRequestRun.cpp)
  void runMain();
  void startRequest();
  bool configureProxies();
  bool isOnNetworkThread() const;
  void proxyLookupDone(const std::optional<std::vector<std::string>>& list);
  bool applyProxyList(const std::optional<std::vector<std::string>>& list);
  void fetchPACFile();
  void finishedDownloadingPACFile(const std::shared_ptr<ASIHTTPRequest>& fetch);
  void evaluatePACScriptElsewhere(std::optional<std::string> script);
  void runPACScript(const std::optional<std::string>& script);
  void applyPACAnswer(const std::optional<std::vector<std::string>>& list);
  void cancelPACFetch();
  void lowerQueueWidthForPACFetch();
  bool configureTransfer();
  void claimConnection();
  void checkRequestStatus();
  void performThrottling();
  void applyThrottling();
  void setStatusTimer(bool on);
  void cancelOnRequestThread();
  void cancelLoad();
  void removeTemporaryUploadFiles();
  bool removeTemporaryFile(std::optional<std::string>& path);

  // download to a file (ASIHTTPRequestDownload.cpp)
  void updatePartialDownloadSize();
  void writeToDownloadFiles(std::string_view raw, const std::optional<std::string>& inflated);
  bool openDownloadFiles(bool inflating);
  void closeDownloadFiles();
  ASIErrorPtr moveDownloadIntoPlace();
  void removeUnfinishedDownloadFiles();
  void dropDownloadAfterFileError();
  void performRedirect();
  void scheduleReadStream();
  void unscheduleReadStream();
  void destroyReadStream();
  void detachTransfer();
  bool retryUsingNewConnection();
  void finishSynchronousWait();

  // authentication (ASIHTTPRequestAuth.cpp)
  void applyAuthorizationHeader();
  void rememberAcceptedBasicCredentials();
  void attemptToApplyCredentialsAndResume();
  void attemptToApplyProxyCredentialsAndResume();
  ASICredentialsPtr findCredentials();
  ASICredentialsPtr findProxyCredentials();
  bool applyCredentials(const ASICredentialsPtr& credentials);
  bool applyProxyCredentials(const ASICredentialsPtr& credentials);
  bool applyToMessage(const ASIAuthenticationChallenge& challenge, const ASICredentials& credentials,
                      bool proxy);
  bool willAskDelegateForCredentials(bool proxy);
  void failAuthentication();

  // cache (ASIHTTPRequestCache.cpp)
  bool answerFromCacheAtStart();
  bool answerFromCacheAtHead();
  bool answerFromCacheOnFailure(const ASIErrorPtr& error);
  void storeInCache();

  // response (ASIHTTPRequestResponse.cpp)
  void readResponseHeaders();
  bool willRedirect();
  bool willAskDelegateToConfirmRedirect();
  void parseStringEncodingFromHeaders();
  void decideKeepAlive(const std::string& httpVersion);
  void reportFinished();
  void reportFailure();
  void requestStarted();
  void requestRedirected();
  void requestReceivedResponseHeaders(const platform::HttpHeaders& headers);
  void requestWillRedirectToURL(const std::string& url);
  void passOnReceivedData(const std::string& data);
  void deliver(const std::string& delegateSelector, const DelegateArgument& argument,
               const std::function<void()>& block, const char* queueSelector);
  void postToMainThread(std::function<void()> job);

  // progress (ASIHTTPRequestProgress.cpp)
  enum class ProgressSlot { Upload, Download, Queue };
  ASIProgressDelegate* progressTarget(ProgressSlot slot) const;
  void postProgress(ProgressSlot slot, const char* name, int64_t amount, double value = 0);
  void postFraction(ProgressSlot slot, uint64_t progressSoFar, uint64_t total);
  void updateProgressIndicators();
  void updateUploadProgress();
  void updateDownloadProgress();
  void incrementUploadSizeBy(int64_t amount);
  void incrementDownloadSizeBy(int64_t amount);
  void removeUploadProgressSoFar();
  void resetProgressForAttempt();
  void announceDownloadSize(bool lengthGiven);

  // stream (ASIHTTPRequestStream.cpp)
  static size_t onHeaderLine(char* data, size_t size, size_t count, void* self);
  static size_t onBodyBytes(char* data, size_t size, size_t count, void* self);
  static size_t onReadBody(char* data, size_t size, size_t count, void* self);
  static int onSeekBody(void* self, int64_t offset, int origin);
  void headerLine(std::string_view line);
  bool headIsForTunnel();
  void commitDeferredHead();
  bool takeConnectRefusal(int result);
  void handleBytesAvailable(const char* data, size_t size);
  size_t readSize() const;
  void handleStreamComplete();
  void handleStreamError(int result);
  void handleNetworkEnd(int result);
  uint64_t bytesSentByTransfer();

  // ---- constant after construction ----
  mutable std::recursive_mutex cancelledLock_;  // the request's own lock

  // ---- guarded by cancelledLock_ ----
  std::string url_;
  std::string requestMethod_ = "GET";
  // Written under cancelledLock_, read without it by the deliveries.
  std::atomic<ASIHTTPRequestDelegate*> delegate_ = nullptr;
  std::atomic<ASIProgressDelegate*> uploadProgressDelegate_ = nullptr;
  std::atomic<ASIProgressDelegate*> downloadProgressDelegate_ = nullptr;
  std::shared_ptr<ASIHTTPRequestDelegate> queue_;  // guarded by fieldLock_

  // ---- guarded by fieldLock_: fields read from any thread while running ----
  mutable std::mutex fieldLock_;
  ASIErrorPtr error_;
  std::optional<std::string> originalURL_;
  std::optional<std::string> responseStatusMessage_;
  std::optional<platform::HttpHeaders> responseHeaders_;
  std::optional<std::string> rawResponseData_;
  RequestHeaderList requestHeaders_;
  std::optional<std::string> userAgentString_;
  std::vector<ASICookie> requestCookies_;
  std::optional<std::string> postBody_;
  std::optional<std::string> postBodyFilePath_;
  std::optional<std::string> compressedPostBodyFilePath_;
  std::optional<uint32_t> requestID_;
  std::optional<std::string> downloadDestinationPath_;
  std::optional<std::string> temporaryFileDownloadPath_;
  std::optional<std::string> temporaryUncompressedDataDownloadPath_;

  // ---- the request's thread ----
  std::optional<std::string> redirectURL_;
  // Credentials that curl answers a challenge with inside the transfer
  // (Digest and NTLM need its exchange; a proxy's also reach a CONNECT).
  struct CurlCredentials {
    long scheme = 0;  // CURLAUTH_*
    std::string username;
    std::string password;
  };
  struct Message {
    std::string method;
    std::string url;
    bool http10 = false;
    RequestHeaderList headers;
    std::optional<CurlCredentials> serverAuth;
    std::optional<CurlCredentials> proxyAuth;
  };
  std::optional<Message> request_;  // the built message
  platform::CurlEasy easy_;
  std::unique_ptr<platform::CurlHeaderList> curlHeaders_;
  char curlErrorText_[256] = {};
  CurlDriver* driver_ = nullptr;  // the owning thread's; guarded by cancelledLock_
  std::thread::id driverThread_;
  bool readStreamIsScheduled_ = false;
  bool timerRunning_ = false;
  bool wantsThrottlePause_ = false;
  bool pausedByThrottle_ = false;
  uint64_t bodyReadOffset_ = 0;
  std::unique_ptr<std::ifstream> bodyFile_;
  bool headRead_ = false;
  bool headStarted_ = false;
  std::string pendingStatusLine_;
  // A 401/407 head that curl may answer itself in the same transfer: taken
  // as the response only when its body or the transfer's end follows.
  bool headDeferred_ = false;
  // Through an HTTP proxy to https: heads before the tunnel opened are the
  // proxy's answers to CONNECT; the last refusal is kept.
  bool tunnelling_ = false;
  bool tunnelOpen_ = false;
  std::optional<std::pair<std::string, platform::HttpHeaders>> connectHead_;
  // Body bytes of the current perform pass not yet handled as one read.
  std::string pendingBody_;
  std::unique_ptr<ASIDataDecompressor> dataDecompressor_;  // inflate-while-reading only
  std::unique_ptr<std::ofstream> fileDownloadOutputStream_;
  std::unique_ptr<std::ofstream> inflatedFileDownloadOutputStream_;
  std::optional<std::string> compressedPostBody_;
  // Set while curl runs one of our callbacks: a handle cannot leave its
  // multi handle then, so the transfer is ended by the callback's answer.
  bool insideCurlCallback_ = false;
  struct InsideCurl {
    explicit InsideCurl(ASIHTTPRequest& r) : request(r) { request.insideCurlCallback_ = true; }
    ~InsideCurl() { request.insideCurlCallback_ = false; }
    ASIHTTPRequest& request;
  };
  platform::HttpHeaders pendingHeaders_;
  std::optional<platform::Clock::Monotonic> lastActivityTime_;
  std::shared_ptr<PoolEntry> connectionInfo_;
  std::string proxyHost_;
  int proxyPort_ = 0;
  std::string proxyType_;
  // Credentials the system settings give for the proxy in use.
  std::string systemProxyUsername_;
  std::string systemProxyPassword_;
  bool haveBuiltPostBody_ = false;
  bool updatedProgress_ = false;
  bool haveBuiltRequestHeaders_ = false;
  bool didCreateTemporaryPostDataFile_ = false;
  bool needsRedirect_ = false;
  bool downloadComplete_ = false;
  bool willRetryRequest_ = false;
  int authenticationNeeded_ = 0;
  int redirectCount_ = 0;
  int retryCount_ = 0;
  uint64_t contentLength_ = 0;
  std::atomic<uint64_t> totalBytesRead_ = 0;  // read by other threads while running
  uint64_t lastBytesRead_ = 0;
  uint64_t postLength_ = 0;
  uint64_t totalBytesSent_ = 0;
  uint64_t lastBytesSent_ = 0;
  uint64_t uploadBufferSize_ = 0;
  uint64_t partialDownloadSize_ = 0;
  uint64_t responseEncoding_ = 0;
  std::atomic<int> responseStatusCode_ = 0;
  std::atomic<bool> connectionCanBeReused_ = false;
  std::weak_ptr<ASIHTTPRequest> mainRequest_;
  bool isHeadCompanion_ = false;
  bool isPACFileRequest_ = false;
  // The script fetch of an asynchronous request, and whether it widened
  // sharedQueue (undone exactly once, however the fetch ends).
  std::shared_ptr<ASIHTTPRequest> PACFileRequest_;
  bool raisedQueueWidthForPACFetch_ = false;
  // Set on a script fetch: tells its request, on the network thread.
  std::function<void()> PACFileDone_;
  std::optional<ClientIdentity> clientCertificateIdentity_;  // guarded by fieldLock_
  std::shared_ptr<ASIDownloadCache> downloadCache_;          // guarded by fieldLock_
  std::optional<ASIAuthenticationChallenge> requestAuthentication_;
  std::optional<ASIAuthenticationChallenge> proxyAuthentication_;
  ASICredentialsPtr requestCredentials_;
  ASICredentialsPtr proxyCredentials_;
  std::optional<std::string> authenticationRealm_;
  std::optional<std::string> proxyAuthenticationRealm_;
  std::string proxyAuthenticationScheme_;
  int authenticationRetryCount_ = 0;
  int proxyAuthenticationRetryCount_ = 0;
  // The message carries credentials for the server / the proxy: a challenge
  // answering it means they were refused.
  bool credentialsApplied_ = false;
  bool proxyCredentialsApplied_ = false;
  std::atomic<bool> didUseCachedResponse_ = false;

  // ---- flags read by waiting threads and the queue ----
  std::atomic<bool> inProgress_ = false;
  std::atomic<bool> complete_ = false;
  std::atomic<bool> finished_ = false;
  std::atomic<bool> cancelled_ = false;
  std::atomic<bool> isSynchronous_ = false;
  std::atomic<int> queuePriority_ = 0;

  std::shared_ptr<RequestQueueSlot> slot_;  // while queued or running asynchronously

  // ---- callback blocks (set before the start, read on the main thread) ----
  Block startedBlock_;
  HeadersBlock headersReceivedBlock_;
  Block completionBlock_;
  Block failureBlock_;
  ProgressBlock bytesReceivedBlock_;
  ProgressBlock bytesSentBlock_;
  SizeBlock downloadSizeIncrementedBlock_;
  SizeBlock uploadSizeIncrementedBlock_;
  DataBlock dataReceivedBlock_;
  Block authenticationNeededBlock_;
  Block proxyAuthenticationNeededBlock_;
  Block requestRedirectedBlock_;
};

}  // namespace nb::http
