#include "transfer/upload/UploadTask.h"

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilSession.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "transfer/records/TransferRecords.h"
#include "transfer/upload/UploadPeer.h"

namespace nb {

UploadTask::UploadTask(TransTaskItem item, UploadEnvironment environment)
    : TransferTask(std::move(item)), environment_(environment.resolved()) {}

void UploadTask::run() {
  // An exception goes on to the task's operation, which logs it and has the
  // manager offer the record again later; the sources go either way.
  struct DropPeers {
    UploadTask& task;
    ~DropPeers() { task.clearPeers(); }
  } dropPeers{*this};
  body();
  setNStatus(kTransEnded);
}

void UploadTask::body() {
  if (initUpload() == 3) return;
  if (item().nExpand != UploadKind::kHashOnly && !hashContent()) return;
  if (bStop()) return;
  if (!isContentHash(item().strFilehash)) {
    NBLOG_ERROR("no content hash for {}", item().strWebpath);
    Error(TransError::kHash, TransErrorText::kHash);
    return;
  }
  setUllStarttime(monotonicSeconds());
  createAndSend();
}

bool UploadTask::hashContent() {
  updateItem([](TransTaskItem& it) { it.nTransExpand = 1; });
  const std::string path = item().strTemppath;
  const std::string hash = Util::getfilehash(path).value_or("");
  const std::uint64_t size = Util::filesize(path);
  updateItem([&](TransTaskItem& it) {
    it.strFilehash = hash;
    it.ullFilesize = size;
    it.nTransExpand = 0;
  });
  NBLOG_INFO("filehash {} {}", item().strWebpath, hash);
  return true;
}

void UploadTask::createAndSend() {
  const TransTaskItem record = item();
  Times times;
  if (record.bSync && !record.strSavepath.empty()) {
    times.create = Util::filecreatetime(record.strSavepath);
    times.last = Util::filemodifytime(record.strSavepath);
  }
  const std::shared_ptr<SyncManager> syncManager = manager();
  std::uint64_t versionTime = 0;
  if (syncManager) {
    syncManager->syncdb().update_filehashandfilesize(record.strWebpath, record.strFilehash,
                                                     record.ullFilesize);
    versionTime = syncManager->syncdb().getVersionTimeByWebpath(record.strWebpath);
  }
  environment_.transStore().Update_UploadFilehashAndFilesize(record.nIndex, record.strFilehash,
                                                             record.ullFilesize);
  const RetCreateFile ret = HTTPEngine::setFileCreateFile(
      UserData::shareUserData().userToken(), record.strWebpath, record.nMountid,
      record.strFilehash, record.ullFilesize, versionTime, times.create, times.last, 0);
  if (ret.nStatusCode() != 200) {
    onCreateFailed(ret);
    return;
  }
  if (syncManager) syncManager->syncdb().update_uuidhash(record.strWebpath, ret.strHash);
  if (ret.nState == RetCreateFile::kStateComplete && !ret.strHash.empty()) {
    if (syncManager && ret.ullLastDateline != 0) {
      syncManager->syncdb().update_weblasttime(record.strWebpath, ret.ullLastDateline);
    }
    if (environment_.addSpeed) environment_.addSpeed(record.ullFilesize);
    Finish();
    return;
  }
  sendThroughServers(ret);
}

void UploadTask::onCreateFailed(const RetCreateFile& ret) {
  if (Util::checkServerSpaceMax(ret.nErrorCode())) {
    if (const auto syncManager = manager()) flagSpaceMax(*syncManager, ret.strErrorMsg());
  }
  NBLOG_ERROR("{},{}", ret.nStatusCode(), ret.strErrorMsg());
  Error(ret.nErrorCode(), ret.strErrorMsg());
}

void UploadTask::sendThroughServers(const RetCreateFile& ret) {
  std::vector<std::string> servers = ret.arrayCacheServers.value_or(std::vector<std::string>{});
  for (const std::string& server : ret.arrayServers.value_or(std::vector<std::string>{})) {
    servers.push_back(server);
  }
  if (servers.empty()) {
    NBLOG_ERROR("nopeer");
    Error(TransError::kNoStorage, "");
    return;
  }
  updateItem([&](TransTaskItem& it) {
    it.strPathhash = ret.strHash;
    it.strStoragePoint = ret.strStoragePoint;
  });
  auto peer = std::make_shared<UploadPeer>(*this, environment_);
  addPeer(peer);
  if (bStop()) peer->Stop(bDelete());  // a command that came before the peer was listed
  std::string current = peer->GetServerTarget();
  std::size_t next = 0;
  for (;;) {
    if (current.empty()) {
      if (next >= servers.size()) break;
      current = servers[next++];
    }
    peer->SetUrl(current);
    peer->Run();
    if (!peer->bResetServer()) break;
    peer->DeleteServerTarget();
    current.clear();
  }
  clearPeers();
  const TransTaskItem done = item();
  environment_.transStore().Update_UploadOffset(done.nIndex, done.ullOffset);
  if (peer->bFinish()) {
    Finish();
  } else if (!bStop()) {
    Error(peer->nError(), peer->strError());
  } else {
    if (!bDelete()) environment_.transStore().Update_UploadStop(done.nIndex, done.ullOffset);
    environment_.sendCallback(done);
  }
}

void UploadTask::Finish() {
  if (bStop()) return;
  markEnded();
  setNStatus(kTransFinished);
  if (const auto syncManager = manager()) {
    environment_.handOver.UploadFinish(*syncManager, item());
    return;
  }
  finishWithoutManager(item());
}

void UploadTask::finishWithoutManager(const TransTaskItem& done) {
  environment_.sendCallback(done);
  TransPortDB& store = environment_.transStore();
  if (done.nExpand == UploadKind::kOpened) {
    const TransportItem record = store.Get_Upload(done.nIndex);
    if (record.nIndex == 0) return;
    const std::uint64_t size = Util::filesize(done.strSavepath);
    const std::uint64_t last = Util::filemodifytime(done.strSavepath);
    if (size != done.ullFilesize || last != done.ullLast) {
      NBLOG_INFO("{},{},{},{}", done.ullFilesize, size, done.ullLast, last);
      store.Update_UploadReset(done.nIndex, size, last);
      return;
    }
  }
  store.Update_UploadFinish(done.nIndex);
  SyncCache::shareSyncCache().addCacheFileByPath(done.strTemppath, done.strFilehash);
  UserData::shareUserData().ClearTransCachePath(done.strTemppath);
}

void UploadTask::Error(std::int64_t error, const std::string& errormsg) {
  NBLOG_ERROR("{},{},{}", item().strWebpath, errormsg, error);
  if (bStop()) return;
  markEnded();
  updateItem([&](TransTaskItem& it) {
    it.nStatus = kTransFailed;
    it.strMsg = errormsg;
  });
  if (const auto syncManager = manager()) {
    if (errormsg.empty()) {
      updateItem([&](TransTaskItem& it) { it.strMsg = std::to_string(error); });
    }
    environment_.handOver.UploadError(*syncManager, item(), error, errormsg);
    return;
  }
  TransPortDB& store = environment_.transStore();
  const TransTaskItem failed = item();
  if (Util::islink() && error != TransError::kRetryLater) {
    environment_.sendCallback(failed);
    store.Update_UploadOffset(failed.nIndex, failed.ullOffset);
    store.Update_UploadError(failed.nIndex, error, errormsg);
    return;
  }
  store.Update_UploadNormal(failed.nIndex, failed.ullOffset);
  setNStatus(kTransWaiting);
  environment_.sendCallback(item());
}

}  // namespace nb
