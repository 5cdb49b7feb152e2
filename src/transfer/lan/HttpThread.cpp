#include "transfer/lan/HttpThread.h"

#include <atomic>

#include "api/session/UserData.h"
#include "platform/Log.h"
#include "stores/settings/SettingsDb.h"
#include "transfer/download/DownloadServices.h"

namespace nb::lan {
namespace {

std::atomic<std::shared_ptr<std::function<bool()>>>& lanUseSeam() {
  static std::atomic<std::shared_ptr<std::function<bool()>>> seam;
  return seam;
}

bool askLanUse() {
  const auto seam = lanUseSeam().load();
  if (!seam || !*seam) {
    NBLOG_ERROR("no LAN-use switch registered: no who-has is sent");
    return false;
  }
  return (*seam)();
}

std::atomic<bool> gLoopbackOnly{false};

HttpThread::Options sharedOptions() {
  HttpThread::Options options;
  if (gLoopbackOnly) {
    options.bindAddress = "127.0.0.1";
    options.httpPort = 0;
    options.udpPort = 0;
    options.broadcastAddress = "127.0.0.1";
    options.advertiseLoopback = true;
  }
  options.interfaces = [] { return platform::listIpv4Interfaces(); };
  options.content = sharedLanContent();
  options.localOn = [] { return SettingsDb::shareSettingDb().getlocal(); };
  options.lanUse = askLanUse;
  options.userID = [] { return UserData::shareUserData().userID(); };
  options.onPeer = downloadManagerPeerSink();
  return options;
}

std::shared_ptr<HttpThread>& sharedInstance() {
  static std::shared_ptr<HttpThread> instance = std::make_shared<HttpThread>(sharedOptions());
  return instance;
}

}  // namespace

HttpThread& HttpThread::shareHttpThread() { return *sharedInstance(); }

// The shared service binds its ports when made: registering must not make
// it, only the first nudge does.
void HttpThread::registerAsLanService() {
  class Forward final : public LanService {
   public:
    void checkHttp() override { shareHttpThread().checkHttp(); }
  };
  setLanService(std::make_shared<Forward>());
  registerDownloadLanQuery(CheckUdpFileHash);
}

void HttpThread::useLoopbackOnly() { gLoopbackOnly = true; }

void HttpThread::setLanUseSeam(std::function<bool()> lanUse) {
  lanUseSeam().store(std::make_shared<std::function<bool()>>(std::move(lanUse)));
}

HttpThread::HttpThread(Options options) : options_(std::move(options)) {
  LocalUdpSocket::Options udp;
  udp.bindAddress = options_.bindAddress;
  udp.port = options_.udpPort;
  udp.broadcastAddress = options_.broadcastAddress;
  udp.broadcastPort = options_.broadcastPort;
  udp.advertiseLoopback = options_.advertiseLoopback;
  udp.interfaces = options_.interfaces;
  udp.content = options_.content;
  udp.answering = [this] { return serving(); };
  udp.httpPort = [this] { return httpPort(); };
  udp.userID = options_.userID;
  udp.lanUse = options_.lanUse;
  udp.onPeer = options_.onPeer;
  udpSocket_ = std::make_unique<LocalUdpSocket>(std::move(udp));
}

HttpThread::~HttpThread() {
  // The discovery thread asks serving(): it goes first.
  udpSocket_.reset();
  exit();
}

void HttpThread::checkHttp() {
  const bool on = options_.localOn && options_.localOn();
  std::lock_guard lock(mutex_);
  if (!on) {
    httpListen_.reset();
    return;
  }
  if (httpListen_ && httpListen_->bListen()) return;
  httpListen_.reset();
  httpListen_ = std::make_unique<HttpListen>(HttpListen::Options{
      .bindAddress = options_.bindAddress,
      .port = options_.httpPort,
      .idleTimeout = options_.idleTimeout,
      .content = options_.content,
      .serving = options_.localOn,
      .interfaces = options_.interfaces,
  });
}

bool HttpThread::serving() const {
  {
    std::lock_guard lock(mutex_);
    if (!httpListen_ || !httpListen_->bListen()) return false;
  }
  return options_.localOn && options_.localOn();
}

std::int64_t HttpThread::httpPort() const {
  std::lock_guard lock(mutex_);
  return httpListen_ ? httpListen_->nPort() : 0;
}

void HttpThread::exit() {
  std::lock_guard lock(mutex_);
  httpListen_.reset();
}

void CheckUdpFileHash(const std::string& filehash) {
  HttpThread::shareHttpThread().udpSocket().checkFileHash(filehash);
}

}  // namespace nb::lan
