#include "transfer/lan/LocalUdpSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "support/TempHome.h"
#include "transfer/lan/LanLoopback.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;
using lan::LanMessage;
using lan::LanMessageType;

const std::string kHash = sha1HexDigest("some content");

class LocalUdpSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = makeTempDir("lanudp");
    content = std::make_shared<FakeLanContent>(folder);
  }
  void TearDown() override {
    socket.reset();
    std::filesystem::remove_all(folder);
  }

  // The socket under test on 127.0.0.2; its questions go to `stranger`.
  void start(std::vector<platform::Ipv4Interface> own = loopbackInterface("127.0.0.2")) {
    socket = std::make_unique<lan::LocalUdpSocket>(lan::LocalUdpSocket::Options{
        .bindAddress = "127.0.0.2",
        .port = 0,
        .broadcastAddress = "127.0.0.3",
        .broadcastPort = stranger.port(),
        .advertiseLoopback = true,
        .interfaces = [own] { return own; },
        .content = content,
        .answering = [this] { return answering.load(); },
        .httpPort = [] { return std::int64_t{24753}; },
        .userID = [] { return std::int64_t{0x1'0000'0007}; },
        .lanUse = [this] { return lanUse.load(); },
        .onPeer = [this](const lan::LanPeer& peer) {
          std::lock_guard lock(mutex);
          peers.push_back(peer);
          changed.notify_all();
        },
    });
    ASSERT_TRUE(socket->bCreate());
  }

  std::string question(const std::string& hash, std::string address, std::uint32_t port) {
    return lan::encodeLanMessage(
        LanMessage{LanMessageType::kWhoHas, hash, std::move(address), port, false, false, 0, ""});
  }
  void send(const std::string& bytes) {
    stranger.sendTo("127.0.0.2", static_cast<std::uint16_t>(socket->nPort()), bytes);
  }
  std::optional<lan::LanPeer> nextPeer(std::chrono::milliseconds wait = 2s) {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, wait, [&] { return !peers.empty(); })) return std::nullopt;
    lan::LanPeer peer = peers.front();
    peers.erase(peers.begin());
    return peer;
  }

  std::filesystem::path folder;
  std::shared_ptr<FakeLanContent> content;
  std::atomic<bool> answering{true};
  std::atomic<bool> lanUse{true};
  UdpPeer stranger{"127.0.0.3"};
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<lan::LanPeer> peers;
  std::unique_ptr<lan::LocalUdpSocket> socket;
};

TEST_F(LocalUdpSocketTest, AsksOncePerAddressCarryingThatAddress) {
  start({*platform::parseIpv4Interface("127.0.0.2/8"),
         *platform::parseIpv4Interface("127.100.200.2/8")});
  socket->checkFileHash(kHash);
  std::vector<std::string> carried;
  while (const auto datagram = stranger.receive(500ms)) {
    const auto decoded = lan::decodeLanMessage(datagram->bytes);
    ASSERT_EQ(decoded.status, lan::LanDecodeResult::Status::kMessage);
    EXPECT_EQ(decoded.message.type, LanMessageType::kWhoHas);
    EXPECT_EQ(decoded.message.filehash, kHash);
    EXPECT_EQ(decoded.message.port, socket->nPort());
    // Sent from the address it carries.
    EXPECT_EQ(datagram->sender, decoded.message.address);
    carried.push_back(decoded.message.address);
  }
  EXPECT_EQ(carried, (std::vector<std::string>{"127.0.0.2", "127.100.200.2"}));
}

TEST_F(LocalUdpSocketTest, QuestionsThatAreNeverSent) {
  start();
  socket->checkFileHash(sha1HexDigest(""));
  socket->checkFileHash("");
  socket->checkFileHash(kHash.substr(1));
  socket->checkFileHash("../" + kHash.substr(3));
  lanUse = false;
  socket->checkFileHash(kHash);
  EXPECT_FALSE(stranger.receive(200ms));
}

TEST_F(LocalUdpSocketTest, AnswersGoToTheQuestionsSourceFromEachSource) {
  content->addCache(kHash, "/cache/entry");
  const std::string running = sha1HexDigest("running");
  content->addRunning(running, lan::RunningDownload{"/tmp/x", 4 << 20, false, true, "0-1048575"});
  start();
  // The question names another host for the answer (a victim listening on
  // the same port): the answer goes to the question's source all the same.
  UdpPeer victim("127.0.0.4", stranger.port());
  send(question(kHash, "127.0.0.4", stranger.port()));
  const auto have = stranger.receive();
  ASSERT_TRUE(have);
  const auto decodedHave = lan::decodeLanMessage(have->bytes);
  EXPECT_EQ(have->bytes.size(), 68u);
  EXPECT_EQ(decodedHave.message.type, LanMessageType::kHave);
  EXPECT_EQ(decodedHave.message.port, 24753u);
  EXPECT_EQ(decodedHave.message.address, "127.0.0.2");
  EXPECT_FALSE(victim.receive(100ms));

  send(question(running, "", stranger.port()));
  const auto partial = stranger.receive();
  ASSERT_TRUE(partial);
  const auto decoded = lan::decodeLanMessage(partial->bytes);
  EXPECT_EQ(partial->bytes.size(), 78u + 9u);
  EXPECT_EQ(decoded.message.type, LanMessageType::kPartial);
  EXPECT_EQ(decoded.message.have, "0-1048575");
  EXPECT_FALSE(decoded.message.bHttpAble);
  EXPECT_TRUE(decoded.message.bHttpStart);
  EXPECT_EQ(decoded.message.userid, 7);

  send(question(sha1HexDigest("nobody has it"), "", stranger.port()));
  EXPECT_FALSE(stranger.receive(200ms));
}

TEST_F(LocalUdpSocketTest, NoAnswersWhileNotServingToOwnOrFarAddresses) {
  content->addSynced(kHash, "/synced");
  start();
  answering = false;
  send(question(kHash, "", stranger.port()));
  EXPECT_FALSE(stranger.receive(200ms));
  answering = true;
  // The stranger counts as this host: its own broadcast coming back.
  socket.reset();
  start({*platform::parseIpv4Interface("127.0.0.2/8"), *platform::parseIpv4Interface("127.0.0.3/8")});
  send(question(kHash, "", stranger.port()));
  EXPECT_FALSE(stranger.receive(200ms));
  // Nor to anyone off the attached subnets, whose answers are not taken
  // either.
  socket.reset();
  start({*platform::parseIpv4Interface("10.1.2.3/24")});
  send(question(kHash, "", stranger.port()));
  EXPECT_FALSE(stranger.receive(200ms));
  send(lan::encodeLanMessage(
      LanMessage{LanMessageType::kHave, kHash, "", 24753, false, false, 0, ""}));
  EXPECT_FALSE(nextPeer(200ms));
}

TEST_F(LocalUdpSocketTest, AnswersBecomePeersWithTheSendersAddress) {
  start();
  send(lan::encodeLanMessage(
      LanMessage{LanMessageType::kHave, kHash, "10.9.9.9", 24753, false, false, 0, ""}));
  const auto have = nextPeer();
  ASSERT_TRUE(have);
  EXPECT_EQ(have->url, "http://127.0.0.3:24753/download?filehash=" + kHash);
  EXPECT_FALSE(have->partial);
  EXPECT_EQ(have->toNotice().size(), 2u);

  // A partial answer split over two datagrams, then one with N = -1.
  const std::string bytes = lan::encodeLanMessage(
      LanMessage{LanMessageType::kPartial, kHash, "", 4000, true, true, -3, "0-99,200-299"});
  send(bytes.substr(0, 50));
  EXPECT_FALSE(nextPeer(100ms));
  send(bytes.substr(50));
  const auto partial = nextPeer();
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->url, "http://127.0.0.3:4000/download?filehash=" + kHash);
  EXPECT_EQ(partial->have, "0-99,200-299");
  EXPECT_EQ(partial->userid, -3);
  EXPECT_EQ(partial->toNotice().size(), 6u);

  std::string negative = bytes;
  negative.replace(74, 4, std::string("\xFF\xFF\xFF\xFF", 4));
  send(negative);
  send(bytes);
  const auto after = nextPeer();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->have, "0-99,200-299");
  // A stranger's junk in front spoils the next datagram too, not the one after.
  send(std::string(3, 'x'));
  send(bytes);
  EXPECT_FALSE(nextPeer(100ms));
  send(bytes);
  EXPECT_TRUE(nextPeer());
}

TEST_F(LocalUdpSocketTest, TakenPortFallsBackToARandomOne) {
  UdpPeer holder("127.0.0.2");
  lan::LocalUdpSocket second(lan::LocalUdpSocket::Options{
      .bindAddress = "127.0.0.2",
      .port = holder.port(),
      .interfaces = [] { return loopbackInterface("127.0.0.2"); },
      .content = content,
      .answering = [] { return true; },
      .httpPort = [] { return std::int64_t{1}; },
      .userID = [] { return std::int64_t{1}; },
      .lanUse = [] { return true; },
      .onPeer = [](const lan::LanPeer&) {},
  });
  ASSERT_TRUE(second.bCreate());
  EXPECT_NE(second.nPort(), holder.port());
  EXPECT_GE(second.nPort(), 10000);
}

}  // namespace
}  // namespace nb::test
