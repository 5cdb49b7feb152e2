#include "transfer/lan/HttpThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/CurlEasy.h"
#include "support/TempHome.h"
#include "transfer/lan/LanLoopback.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

// Two clients on loopback, each with its own address; the one at
// 127.0.0.3 sends its questions to the other's discovery port.
class HttpThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = makeTempDir("lanpair");
    holderContent = std::make_shared<FakeLanContent>(folder / "holder");
    askerContent = std::make_shared<FakeLanContent>(folder / "asker");
    holder = std::make_unique<lan::HttpThread>(options("127.0.0.2", holderContent, 9));
    asker = std::make_unique<lan::HttpThread>(
        options("127.0.0.3", askerContent, static_cast<std::uint16_t>(holder->udpSocket().nPort())));
  }
  void TearDown() override {
    asker.reset();
    holder.reset();
    std::filesystem::remove_all(folder);
  }

  lan::HttpThread::Options options(const std::string& address,
                                   std::shared_ptr<FakeLanContent> content,
                                   std::uint16_t broadcastPort) {
    return lan::HttpThread::Options{
        .bindAddress = address,
        .httpPort = 0,
        .udpPort = 0,
        .broadcastAddress = "127.0.0.2",
        .broadcastPort = broadcastPort,
        .advertiseLoopback = true,
        .interfaces = [address] { return loopbackInterface(address); },
        .content = std::move(content),
        .localOn = [this] { return localOn.load(); },
        .lanUse = [] { return true; },
        .userID = [] { return std::int64_t{42}; },
        .onPeer = [this](const lan::LanPeer& peer) {
          std::lock_guard lock(mutex);
          peers.push_back(peer);
          changed.notify_all();
        },
    };
  }

  std::optional<lan::LanPeer> findPeer(const std::string& hash) {
    asker->udpSocket().checkFileHash(hash);
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, 3s, [&] { return !peers.empty(); })) return std::nullopt;
    return peers.front();
  }

  // Fetches `size` bytes from a peer in ranges that grow from 1 KiB, as
  // downloads do.
  static std::optional<std::string> fetchRanges(const std::string& url, std::uint64_t size) {
    platform::CurlEasy curl;
    std::string out;
    std::uint64_t step = 1024;
    while (out.size() < size) {
      const std::uint64_t last = std::min<std::uint64_t>(size, out.size() + step) - 1;
      platform::CurlExchange exchange;
      exchange.url = url;
      exchange.headers.set("Range", "bytes=" + std::to_string(out.size()) + "-" + std::to_string(last));
      const platform::CurlResult result = curl.perform(exchange);
      if (!result.answered || result.status != 206 || result.body.empty()) return std::nullopt;
      out += result.body;
      step = std::min<std::uint64_t>(step * 4, 8 << 20);
    }
    return out;
  }

  std::filesystem::path folder;
  std::shared_ptr<FakeLanContent> holderContent;
  std::shared_ptr<FakeLanContent> askerContent;
  std::atomic<bool> localOn{true};
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<lan::LanPeer> peers;
  std::unique_ptr<lan::HttpThread> holder;
  std::unique_ptr<lan::HttpThread> asker;
};

TEST_F(HttpThreadTest, FindsAPeerByHashAndDownloadsFromItByteExact) {
  const std::string bytes = patternBytes(25u << 20);
  const std::string hash = sha1HexDigest(bytes);
  holderContent->addSynced(hash, writeFile(folder, "big", bytes));
  holder->checkHttp();
  ASSERT_TRUE(holder->serving());

  const auto peer = findPeer(hash);
  ASSERT_TRUE(peer);
  EXPECT_EQ(peer->url, "http://127.0.0.2:" + std::to_string(holder->httpPort()) +
                           "/download?filehash=" + hash);
  EXPECT_FALSE(peer->partial);
  const auto fetched = fetchRanges(peer->url, bytes.size());
  ASSERT_TRUE(fetched);
  EXPECT_EQ(sha1HexDigest(*fetched), hash);
}

TEST_F(HttpThreadTest, LocalSettingStartsAndStopsTheServer) {
  const std::string hash = sha1HexDigest("small");
  holderContent->addSynced(hash, writeFile(folder, "small", "small"));
  localOn = false;
  holder->checkHttp();
  EXPECT_FALSE(holder->serving());
  EXPECT_EQ(holder->httpPort(), 0);
  EXPECT_FALSE(findPeer(hash));

  localOn = true;
  holder->checkHttp();
  const std::int64_t port = holder->httpPort();
  EXPECT_NE(port, 0);
  holder->checkHttp();  // running already: the same server
  EXPECT_EQ(holder->httpPort(), port);
  const auto peer = findPeer(hash);
  ASSERT_TRUE(peer);
  EXPECT_EQ(fetchRanges(peer->url, 5), "small");

  // Switched off while a connection is open: it is closed, nothing more is
  // served.
  RawConnection open("127.0.0.2", port, "127.0.0.3");
  ASSERT_TRUE(open.connected());
  localOn = false;
  holder->checkHttp();
  EXPECT_TRUE(open.waitClosed());
  EXPECT_FALSE(RawConnection("127.0.0.2", port, "127.0.0.3").connected());
}

}  // namespace
}  // namespace nb::test
