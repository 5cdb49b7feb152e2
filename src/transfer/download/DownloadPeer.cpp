#include "transfer/download/DownloadPeer.h"

#include <algorithm>
#include <chrono>

#include "api/calls/TransportSettings.h"
#include "api/server/ServerInfo.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/Clock.h"

namespace nb {

namespace {

std::int64_t monotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             platform::monotonicNow().time_since_epoch())
      .count();
}

}  // namespace

DownloadPeer::DownloadPeer(std::weak_ptr<DownloadSink> sink, std::string url,
                           const std::string& have, std::uint64_t filesize, bool udp)
    : PeerBase(nullptr, std::move(url)), sink_(std::move(sink)), bUdp_(udp), ullFilesize_(filesize) {
  dlHave_.LoadParisFromString(have);
  ullUdpTime_.store(udp ? platform::nowSeconds() : 0);
}

DownloadPeer::~DownloadPeer() = default;

void DownloadPeer::UpdateHaveData(const std::string& have) {
  dlHave_.Clear();
  dlHave_.LoadParisFromString(have);
}

bool DownloadPeer::IsRunOk() const {
  const std::uint64_t started = ullStartTime();
  if (started == 0) return true;
  const auto idle = static_cast<std::int64_t>(platform::nowSeconds() - started);
  return idle >= 0 && idle <= kIdleLimit;
}

bool DownloadPeer::HaveDownload(const DataLocator& needed, DataPair& out) const {
  DataLocator same;
  if (dlHave_.FindSame(needed, same) == 0) return false;
  const DataPair first = same.arrayData().front();
  const std::int64_t n = nDownloadNum();
  std::uint64_t chunk = 0;
  if (n <= 0) {
    chunk = ullSpeed();
  } else if (n <= 5) {
    chunk = ullSpeed() * static_cast<std::uint64_t>(n) * 10;
  } else {
    chunk = ullFilesize_ / 5;
  }
  if (chunk < kMinChunk) chunk = kSmallestChunk;
  out = first;
  if (first.ullLastMark - first.ullFirstMark >= chunk) out.ullLastMark = first.ullFirstMark + chunk - 1;
  return true;
}

void DownloadPeer::StartDownload(std::uint64_t pos, std::uint64_t size) {
  if (size == 0) return;
  setUllPos(pos);
  setUllSize(size);
  ullStart_.store(pos);
  setUllEnd(pos + size - 1);
  setBStart(true);
  setUllStartTime(platform::nowSeconds());
  ullSpeedStartMs_.store(monotonicMs());
  startRequest(pos, pos + size - 1);
}

void DownloadPeer::startRequest(std::uint64_t first, std::uint64_t last) {
  auto request = http::ASIHTTPRequest::requestWithURL(strUrl());
  const TransportSettings settings = currentTransportSettings();
  if (!settings.userAgent.empty()) request->setUserAgentString(settings.userAgent);
  request->addRequestHeader("Range", "bytes=" + std::to_string(first) + "-" + std::to_string(last));
  const auto server = ServerInfo::current();
  if (server->bChangeWebHost()) request->addRequestHeader("Referer", server->strWebHost());
  if (!settings.acceptLanguage.empty()) {
    request->addRequestHeader("Accept-Language", settings.acceptLanguage);
  }
  request->timeOutSeconds = kTimeOutSeconds;
  request->shouldAttemptPersistentConnection = false;
  request->shouldUseRFC2616RedirectBehaviour = true;
  request->allowCompressedResponse = false;
  // The deployment's own TLS rules: the address carries the access token
  // and the content, so certificates are checked like every other request.
  request->validatesSecureCertificate = !settings.tls.insecure;
  request->certificateAuthorityFile = settings.tls.caFile;
  request->setDelegate(this);
  setPRequest(request);
  request->startAsynchronous();
}

void DownloadPeer::SetBad() {
  const std::int64_t failures = nBadNum() + 1;
  setNBadNum(failures);
  if (failures >= kBadAfter) {
    setBBad(true);
    setUllBadTime(platform::nowSeconds());
  }
}

bool DownloadPeer::respondsToSelector(std::string_view name) const {
  return name == http::selector::didReceiveData || name == http::selector::requestFinished ||
         name == http::selector::requestFailed;
}

bool DownloadPeer::isCurrent(const http::ASIHTTPRequest& request) const {
  return pRequest().get() == &request;
}

bool DownloadPeer::acceptsStatus(int status) const {
  return status == 206 || (status == 200 && ullStart() == 0);
}

void DownloadPeer::abandon(http::ASIHTTPRequest& request) {
  // The request may already be complete on the network thread, in which
  // case the library reports it finished: it still counts as failed.
  abandoned_.store(&request);
  request.cancel();
  setBStart(false);
}

void DownloadPeer::requestDidReceiveData(http::ASIHTTPRequest& request, const std::string& data) {
  if (!isCurrent(request) || request.isCancelled()) return;
  setUllStartTime(platform::nowSeconds());
  const int status = request.responseStatusCode();
  if (status < 200 || status > 299) return;
  const auto sink = sink_.lock();
  if (!acceptsStatus(status) || bStop() || data.empty() || !sink) {
    abandon(request);
    return;
  }
  // Never past the requested range: a source sending more than it was
  // asked for would overwrite other ranges and mark them done.
  const std::uint64_t wanted = std::min<std::uint64_t>(ullSize(), data.size());
  if (wanted > 0) {
    const std::string piece = wanted == data.size() ? data : data.substr(0, wanted);
    if (!sink->WriteFile(piece, ullPos())) {
      abandon(request);
      return;
    }
    setUllPos(ullPos() + wanted);
    setUllSize(ullSize() - wanted);
  }
  if (wanted < data.size()) abandon(request);
}

void DownloadPeer::requestFinished(http::ASIHTTPRequest& request) {
  if (isCurrent(request)) setBStart(false);
  // Told once this source's state is settled, on every way out.
  struct Tell {
    const DownloadPeer& peer;
    ~Tell() { peer.tellSinkEnded(); }
  } tell{*this};
  if (abandoned_.exchange(nullptr) == &request) {
    countFailure();
    return;
  }
  const int status = request.responseStatusCode();
  if (status >= 200 && status <= 399) {
    const std::int64_t elapsed = monotonicMs() - ullSpeedStartMs_.load();
    if (elapsed > 0) {
      setUllSpeed((ullEnd() - ullStart()) * 1000 / static_cast<std::uint64_t>(elapsed));
    }
    setNDownloadNum(nDownloadNum() + 1);
    setNBadNum(0);
    return;
  }
  countFailure();
  if (!bUdp_ && status == 403) setBUrlTimeOut(true);
}

void DownloadPeer::requestFailed(http::ASIHTTPRequest& request) {
  if (isCurrent(request)) setBStart(false);
  const http::ASIHTTPRequest* mine = &request;
  abandoned_.compare_exchange_strong(mine, nullptr);
  countFailure();
  tellSinkEnded();
}

void DownloadPeer::tellSinkEnded() const {
  if (const auto sink = sink_.lock()) sink->sourceEnded();
}

void DownloadPeer::countFailure() {
  setUllSpeed(ullSpeed() / 2);
  SetBad();
}

}  // namespace nb
