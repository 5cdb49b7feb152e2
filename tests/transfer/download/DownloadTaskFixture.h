#pragma once
// A download task against the fake service: a transfer store in a
// temporary HOME, a drive whose get_url_by_filehash hands out addresses of
// the fake storage download server, and the task's services pointed at
// them. The task runs on a thread of its own while the test thread serves
// as the main thread, where the request callbacks write.

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/calls/HTTPEngine.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Clock.h"
#include "stores/transfer/TransPortDBFixture.h"
#include "support/FakeAppState.h"
#include "support/FakeDrive.h"
#include "support/FakeService.h"
#include "support/FakeStorageDownloads.h"
#include "support/PumpMainThread.h"
#include "transfer/download/DownloadTask.h"

namespace nb::test {

class DownloadTaskFixture : public TransPortDBTestBase {
 protected:
  static constexpr std::int64_t kMountId = 7;

  void SetUp() override {
    TransPortDBTestBase::SetUp();
    app_->useServerAt(root(), api_.host());
    app_->setUseHttps(false);
    drive_ = std::make_unique<FakeDrive>(api_);
    token_ = drive_->signIn(drive_->addUser(FakeUser{.memberId = 5}));
    drive_->addLibrary(FakeLibrary{.mountId = kMountId});
    downloads_ = std::make_unique<FakeStorageDownloads>(drive_.get());
  }
  void TearDown() override {
    downloads_.reset();
    pumpMainThread();
    TransPortDBTestBase::TearDown();
  }

  // Content of `size` bytes that is not periodic.
  static std::string bytesOf(std::size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : bytes) {
      x = x * 1664525u + 1013904223u;
      c = static_cast<char>(x >> 24);
    }
    return bytes;
  }
  // Puts content on the service and answers its hash.
  std::string putContent(const std::string& bytes) { return drive_->putContent(bytes); }

  DownloadServices services() {
    DownloadServices s;
    s.store = &store;
    s.cache = cache.get();
    s.transCache = [this] { return user->getranscache(); };
    s.userId = [] { return std::int64_t{9}; };
    s.getUrls = [this](std::int64_t mountid, const std::string& filehash,
                       const std::string& webpath, std::int64_t stat) {
      return HTTPEngine::getUrlByFileHash(token_, mountid, filehash, "", 0, webpath, stat);
    };
    s.queryLan = [this](const std::string&) { ++lanQueries_; };
    s.syncManager = [](std::int64_t) { return nullptr; };
    s.addSpeedTrans = [this](std::uint64_t bytes) { speedBytes_ += bytes; };
    s.report = [this](const TransTaskItem&) { ++reports_; };
    s.isLinked = [this] { return linked_.load(); };
    s.storageDomains = [] { return std::vector<std::string>{}; };
    return s;
  }

  // A running download record to `save` (relative to the root).
  TransTaskItem addRecord(const std::string& hash, std::uint64_t size, const std::string& save,
                          const std::string& webpath = "/docs/f.bin") {
    exec("insert into Download(mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, actlast, expand, sync, errornum, errormsg, stat) "
         "values(?, ?, ?, ?, ?, 0, 1, 0, 0, 0, 0, 0, '', 1)",
         {kMountId, webpath, save, hash, static_cast<std::int64_t>(size)});
    TransTaskItem item;
    item.nIndex = number("select max(id) from Download");
    item.nMountid = kMountId;
    item.strWebpath = webpath;
    item.strSavepath = save;
    item.strFilehash = hash;
    item.ullFilesize = size;
    item.nStat = 1;
    return item;
  }
  std::string savePath(const std::string& name = "out/f.bin") const {
    return (root() / name).string();
  }
  std::string tempPath(const std::string& hash) const {
    return user->getranscache() + "/down_" + hash;
  }

  // Runs the task's body on a thread while this thread serves the main
  // thread's callbacks; then lets the sources the task dropped go.
  void runTask(const std::shared_ptr<DownloadTask>& task,
               const std::function<void()>& whileRunning = {}) {
    std::atomic<bool> done{false};
    std::thread body([&] {
      task->run();
      done = true;
    });
    if (whileRunning) whileRunning();
    EXPECT_TRUE(pumpMainThreadUntil([&] { return done.load(); }, std::chrono::seconds(120)));
    body.join();
    pumpMainThread();
  }

  std::int64_t status(std::int64_t id) { return number("select status from Download where id = ?", {id}); }
  std::int64_t errornum(std::int64_t id) {
    return number("select errornum from Download where id = ?", {id});
  }
  std::string errormsg(std::int64_t id) {
    return text("select errormsg from Download where id = ?", {id});
  }
  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // The service and the real clock: requests run in real time.
  ScopedClockOverride realClock_{platform::Clock::system()};
  ScopedAppState app_;
  std::unique_ptr<FakeDrive> drive_;
  FakeService api_;
  std::unique_ptr<FakeStorageDownloads> downloads_;
  std::string token_;
  std::atomic<int> lanQueries_{0};
  std::atomic<int> reports_{0};
  std::atomic<std::uint64_t> speedBytes_{0};
  std::atomic<bool> linked_{true};
};

}  // namespace nb::test
