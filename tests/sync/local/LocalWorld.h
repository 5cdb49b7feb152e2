#pragma once
// The sync test world with one library folder linked and its manager
// started, for tests of the local side: the handlers are called as the
// watcher would call them (under controllock; the real watcher is stopped
// unless a test asks for it), rows and queued transfers are read back, and
// one window shows the linked folder.

#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {

class LocalWorld : public SyncWorld {
 protected:
  // The linked folder: web path "docs", local folder "Docs".
  void SetUp() override {
    SyncWorld::SetUp();
    addServerFolder("docs");
    linkFolder("docs", "Docs", linkType());
    linkOthers();
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
    window_ = app().addWindow(kMountId, "docs");
    // Handler tests call the handlers themselves: the real watcher would
    // call them again, on its own thread.
    if (!watching()) center().stopWatch(path("Docs"), m_);
    quiet();
  }
  void TearDown() override {
    m_.reset();
    SyncWorld::TearDown();
  }
  virtual int64_t linkType() const { return 2; }
  // Further links, made before the manager starts.
  virtual void linkOthers() {}
  // Whether the real folder watcher keeps watching the linked folder.
  virtual bool watching() const { return false; }

  // Forgets the calls and flags so far.
  void quiet() {
    network().clear();
    center().setBCompareNow(false);
    m_->bNeedCompare = false;
  }

  std::string path(const std::string& relative) const { return local(relative).string(); }

  // Runs a call of the manager under controllock, as the watcher does.
  template <typename Call>
  auto held(Call call) {
    std::lock_guard lock(*m_);
    return call(*m_);
  }

  SyncFileItem row(const std::string& webpath) { return m_->syncdb().get_single_file(webpath); }
  int64_t status(const std::string& webpath) { return row(webpath).nStatus; }

  // A local file (or folder) in sync: the same content on the server and a
  // row in status 3 with the local item's size and time.
  SyncFileItem synced(const std::string& webpath, const std::string& relative,
                      const std::string& bytes, bool dir = false) {
    if (dir) {
      makeLocalFolder(relative);
      addServerFolder(webpath);
    } else {
      writeLocal(relative, bytes);
      putServerFile(webpath, bytes);
    }
    SyncFileItem item;
    item.strWebPath = webpath;
    item.bDir = dir;
    item.strFileHash = dir ? "" : sha1HexDigest(bytes);
    item.ullFileSize = dir ? 0 : bytes.size();
    item.ullLastTime = Util::filemodifytime(path(relative));
    item.nStatus = SyncStatus::kSynced;
    item.nUpID = m_->getFileUpID(webpath);
    item.nID = m_->syncdb().add_new_file(item);
    return item;
  }
  // A row of the given status for a path, with nothing on disk.
  void stored(const std::string& webpath, int64_t status, bool dir = false) {
    SyncFileItem item;
    item.strWebPath = webpath;
    item.bDir = dir;
    item.nStatus = status;
    item.nUpID = m_->getFileUpID(webpath);
    m_->syncdb().add_new_file(item);
  }

  bool uploadQueued(const std::string& webpath) {
    return TransPortDB::shareTransPortDB().Get_Upload(kMountId, webpath).nIndex != 0;
  }
  std::string uploadSource(const std::string& webpath) {
    return TransPortDB::shareTransPortDB().Get_Upload(kMountId, webpath).strFullpath;
  }
  size_t uploads() { return TransPortDB::shareTransPortDB().Get_AllUpload(0, 100000).size(); }
  size_t folderEvents() {
    size_t count = 0;
    for (const auto& event : window_->events()) count += event.name() == "UpdateFileList" ? 1 : 0;
    return count;
  }
  bool compareAsked() { return center().bCompareNow() && m_->bNeedCompare; }

  std::shared_ptr<SyncManager> m_;
  std::shared_ptr<FakeWebWindow> window_;
};

}  // namespace nb::test
