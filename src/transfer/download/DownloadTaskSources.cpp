// How sources join and leave a download and which source fetches which
// bytes: one scheduling pass every 0.1 s while passes start requests.
#include <algorithm>

#include "platform/Clock.h"
#include "platform/MainThread.h"
#include "transfer/download/DownloadTask.h"

namespace nb {

namespace {

// A LAN source not announced again for this long is stale.
constexpr std::uint64_t kLanStale = 31;

std::string wholeFile(std::uint64_t size) {
  return size == 0 ? std::string() : "0-" + std::to_string(size - 1);
}

}  // namespace

std::vector<std::shared_ptr<DownloadPeer>> DownloadTask::downloadPeers() const {
  std::vector<std::shared_ptr<DownloadPeer>> list;
  for (const auto& peer : peers()) list.push_back(std::static_pointer_cast<DownloadPeer>(peer));
  return list;
}

std::shared_ptr<DownloadPeer> DownloadTask::newPeer(const std::string& url, const std::string& have,
                                                    bool udp) {
  const std::uint64_t size = item().ullFilesize;
  if (services_.makePeer) return services_.makePeer(weak_from_this(), url, have, size, udp);
  return std::make_shared<DownloadPeer>(weak_from_this(), url, have, size, udp);
}

std::shared_ptr<DownloadPeer> DownloadTask::findPeerLocked(const std::string& url) {
  for (const auto& peer : listPeer()) {
    if (peer->strUrl() == url) return std::static_pointer_cast<DownloadPeer>(peer);
  }
  return nullptr;
}

bool DownloadTask::AddHttpPeer(const std::string& url) {
  const std::string have = wholeFile(item().ullFilesize);
  std::lock_guard lock(pLocksc());
  if (findPeerLocked(url)) return false;
  listPeer().push_back(newPeer(url, have, false));
  return true;
}

bool DownloadTask::AddUdpPeerWhole(const std::string& url) {
  const std::string have = wholeFile(item().ullFilesize);
  std::lock_guard lock(pLocksc());
  if (const auto known = findPeerLocked(url)) {
    known->setUllUdpTime(platform::nowSeconds());
    known->UpdateHaveData(have);
    return false;
  }
  listPeer().push_back(newPeer(url, have, true));
  return true;
}

bool DownloadTask::AddUdpPeerPartial(const std::string& url, bool httpStart, bool httpAble,
                                     std::int64_t userid, const std::string& have) {
  if (have.empty()) return false;
  std::lock_guard lock(pLocksc());
  DataLocator useful;
  useful.LoadParisFromString(have);
  {
    std::lock_guard files(pFilesc());
    useful.RemoveDataLocatiors(pFinish());
  }
  if (useful.Size() == 0) return false;
  if (const auto known = findPeerLocked(url)) {
    known->setBHttpAble(httpAble);
    known->setBHttpStart(httpStart);
    known->UpdateHaveData(have);
    known->setUllUdpTime(platform::nowSeconds());
    return false;
  }
  auto peer = newPeer(url, have, true);
  peer->setBHttpAble(httpAble);
  peer->setBHttpStart(httpStart);
  peer->setNUserId(userid);
  listPeer().push_back(std::move(peer));
  return true;
}

void DownloadTask::ClearPeer() {
  std::vector<std::shared_ptr<PeerBase>> gone;
  {
    std::lock_guard lock(pLocksc());
    gone.swap(listPeer());
  }
  if (gone.empty()) return;
  for (const auto& peer : gone) peer->Stop(false);
  // A callback may be running on the main thread right now: the sources go
  // there, after it.
  platform::MainThread::post([gone = std::move(gone)]() mutable { gone.clear(); });
}

bool DownloadTask::checkUrlsIsCache() {
  const std::vector<std::string> domains =
      services_.storageDomains ? services_.storageDomains() : std::vector<std::string>{};
  if (domains.empty()) return false;
  std::lock_guard lock(pLocksc());
  for (const auto& base : listPeer()) {
    const auto peer = std::static_pointer_cast<DownloadPeer>(base);
    if (peer->bUdp()) continue;
    const std::string url = peer->strUrl();
    const bool own = std::any_of(domains.begin(), domains.end(), [&](const std::string& domain) {
      return url.find(domain) != std::string::npos;
    });
    if (!own) return true;
  }
  return false;
}

// What the first walk of a pass found.
struct DownloadTask::PassCount {
  std::int64_t lowestId = 0;
  bool serverAllowed = true;
  bool serverRunning = false;
  std::size_t servers = 0;
  std::size_t expired = 0;
  std::size_t bad = 0;
};

bool DownloadTask::GetRunPeer() {
  DataLocator needed;
  const std::uint64_t size = item().ullFilesize;
  if (size > 0) needed.InsertPart(0, size - 1);
  {
    std::lock_guard files(pFilesc());
    needed.RemoveDataLocatiors(pFinish());
  }
  std::lock_guard lock(pLocksc());
  if (listPeer().empty()) {
    bHttpAble_.store(true);
    bHttpStart_.store(false);
    return false;
  }
  PassCount count;
  count.lowestId = services_.userId ? services_.userId() : 0;
  std::vector<std::shared_ptr<DownloadPeer>> candidates;
  if (!firstWalkLocked(needed, count, candidates)) return endPass(count, false);
  if (count.bad != 0 && count.bad == listPeer().size()) {
    bBadPeer_.store(true);
    return endPass(count, false);
  }
  if (count.servers != 0 && count.servers == count.expired) {
    bResetUrl_.store(true);
    return endPass(count, false);
  }
  const std::int64_t ownId = services_.userId ? services_.userId() : 0;
  if (count.serverAllowed) {
    bHttpAble_.store(true);
    // A client of a lower user id may fetch from the service: it does, and
    // this one takes the bytes from it; it still says it could.
    if (count.lowestId < ownId) count.serverAllowed = false;
  } else {
    bHttpAble_.store(false);
  }
  bHttpStart_.store(count.serverRunning);
  bool started = false;
  for (const auto& peer : candidates) {
    if (bStop()) break;
    if (peer->bStart() || peer->bBad() || (!peer->bUdp() && !count.serverAllowed)) continue;
    DataPair range;
    if (!peer->HaveDownload(needed, range)) continue;
    peer->StartDownload(range.ullFirstMark, range.ullLastMark - range.ullFirstMark + 1);
    if (!peer->bUdp()) count.serverRunning = true;
    needed.RemovePairs(peer->ullStart(), peer->ullEnd());
    started = true;
  }
  return endPass(count, started);
}

bool DownloadTask::firstWalkLocked(DataLocator& needed, PassCount& count,
                                   std::vector<std::shared_ptr<DownloadPeer>>& candidates) {
  const std::uint64_t now = platform::nowSeconds();
  for (std::size_t i = 0; i < listPeer().size(); ++i) {
    if (bStop()) return false;
    const auto peer = std::static_pointer_cast<DownloadPeer>(listPeer()[i]);
    if (!peer->bUdp()) {
      ++count.servers;
      if (peer->bUrlTimeOut()) ++count.expired;
    }
    if (peer->bBad()) {
      ++count.bad;
      continue;
    }
    if (peer->bUdp() && now >= peer->ullUdpTime() && now - peer->ullUdpTime() >= kLanStale) {
      peer->setBBad(true);
      continue;
    }
    if (peer->bHttpStart()) {
      count.serverAllowed = false;
    } else if (peer->nUserId() != 0 && peer->nUserId() < count.lowestId && peer->bHttpAble()) {
      count.lowestId = peer->nUserId();
    }
    if (!peer->bStart()) {
      candidates.push_back(peer);
    } else if (peer->IsRunOk()) {
      needed.RemovePairs(peer->ullStart(), peer->ullEnd());
      if (!peer->bUdp()) count.serverRunning = true;
    } else {
      // No data for too long: given up, and counted, again every pass
      // until the source is bad; its range goes to the others.
      peer->Stop(false);
      peer->SetBad();
    }
  }
  return true;
}

bool DownloadTask::endPass(const PassCount& count, bool started) {
  bHttpStart_.store(count.serverRunning);
  return started;
}

std::string DownloadTask::haveRanges() const {
  std::lock_guard files(pFilesc());
  return const_cast<DownloadTask*>(this)->pFinish().OutPut();
}

}  // namespace nb
