// A download that finds a second client on loopback and fetches from it
// beside the storage server: byte-exact with an honest peer, never a wrong
// file with a lying one.

#include <gtest/gtest.h>

#include <filesystem>

#include "transfer/download/DownloadTaskFixture.h"
#include "transfer/lan/HttpThread.h"
#include "transfer/lan/LanLoopback.h"

namespace nb::test {
namespace {

class LanDownloadTest : public DownloadTaskFixture {
 protected:
  void TearDown() override {
    asker_.reset();
    holder_.reset();
    DownloadTaskFixture::TearDown();
  }

  // The holder at 127.0.0.2 serves `served` under `hash`; the asker at
  // 127.0.0.3 hands what it finds to `task`.
  void startClients(const std::string& hash, const std::string& served,
                    const std::shared_ptr<DownloadTask>& task) {
    auto content = std::make_shared<FakeLanContent>(root() / "lan");
    content->addSynced(hash, writeFile(root() / "lan", "held", served));
    holder_ = std::make_unique<lan::HttpThread>(options("127.0.0.2", content, 9, nullptr));
    holder_->checkHttp();
    ASSERT_TRUE(holder_->serving());
    asker_ = std::make_unique<lan::HttpThread>(
        options("127.0.0.3", std::make_shared<FakeLanContent>(root() / "lan2"),
                static_cast<std::uint16_t>(holder_->udpSocket().nPort()), task));
  }

  lan::HttpThread::Options options(const std::string& address,
                                   std::shared_ptr<FakeLanContent> content,
                                   std::uint16_t broadcastPort,
                                   std::shared_ptr<DownloadTask> task) {
    return lan::HttpThread::Options{
        .bindAddress = address,
        .httpPort = 0,
        .udpPort = 0,
        .broadcastAddress = "127.0.0.2",
        .broadcastPort = broadcastPort,
        .advertiseLoopback = true,
        .interfaces = [address] { return loopbackInterface(address); },
        .content = std::move(content),
        .localOn = [] { return true; },
        .lanUse = [] { return true; },
        .userID = [] { return std::int64_t{42}; },
        .onPeer = [task, this](const lan::LanPeer& peer) {
          if (!task) return;
          ++peersFound_;
          // What the download manager does with a whole-content answer.
          task->AddUdpPeer(peer.url);
        },
    };
  }

  // The task's LAN questions go out through the asker.
  DownloadServices lanServices() {
    DownloadServices s = services();
    s.queryLan = [this](const std::string& hash) {
      ++lanQueries_;
      if (asker_) asker_->udpSocket().checkFileHash(hash);
    };
    return s;
  }

  std::atomic<int> peersFound_{0};
  std::unique_ptr<lan::HttpThread> holder_;
  std::unique_ptr<lan::HttpThread> asker_;
};

TEST_F(LanDownloadTest, FetchesFromTheFoundPeerByteExact) {
  const std::string content = bytesOf(25 << 20, 3);
  const std::string hash = putContent(content);
  const auto item = addRecord(hash, content.size(), savePath());
  const auto task = DownloadTask::make(item, lanServices());
  startClients(hash, content, task);

  runTask(task);

  EXPECT_GE(peersFound_.load(), 1);
  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content) << "the saved file differs";
  EXPECT_LT(downloads_->bytesServed(), content.size()) << "the peer served part of it";
}

TEST_F(LanDownloadTest, APeerServingWrongBytesNeverMakesAWrongFile) {
  const std::string content = bytesOf(4 << 20, 4);
  std::string wrong = content;
  for (std::size_t i = 0; i < wrong.size(); i += 4096) wrong[i] = static_cast<char>(~wrong[i]);
  const std::string hash = putContent(content);
  const auto item = addRecord(hash, content.size(), savePath());
  const auto task = DownloadTask::make(item, lanServices());
  startClients(hash, wrong, task);

  runTask(task);

  EXPECT_GE(peersFound_.load(), 1);
  if (std::filesystem::exists(savePath())) {
    EXPECT_TRUE(readFile(savePath()) == content) << "a wrong file was handed over";
  }
  if (status(item.nIndex) == kTransFinished) {
    EXPECT_TRUE(readFile(savePath()) == content);
  }
}

}  // namespace
}  // namespace nb::test
