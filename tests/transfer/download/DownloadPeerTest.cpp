// One download source: the size of its next request, its ranged GET against
// a loopback storage server that may misbehave, and how it counts success
// and failure.
#include <gtest/gtest.h>

#include <map>

#include "support/FakeStorageDownloads.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "transfer/download/DownloadPeer.h"

namespace nb::test {
namespace {

// A temporary file in memory: what was written where.
class MemorySink final : public DownloadSink {
 public:
  bool WriteFile(const std::string& data, std::uint64_t pos) override {
    if (refuse) return false;
    if (bytes.size() < pos + data.size()) bytes.resize(pos + data.size(), '\0');
    bytes.replace(pos, data.size(), data);
    written += data.size();
    return true;
  }
  std::string bytes;
  std::uint64_t written = 0;
  bool refuse = false;
};

struct ChunkCase {
  std::uint64_t speed;
  std::int64_t successes;
  std::string have;
  std::string needed;
  bool found;
  std::uint64_t first;
  std::uint64_t last;
};

TEST(DownloadPeerChunkTest, NextRangeFollowsSpeedAndSuccesses) {
  const std::uint64_t size = 10'000'001;
  const std::vector<ChunkCase> cases = {
      {1024, 0, "0-10000000", "0-10000000", true, 0, 1023},           // a new source
      {5000, 2, "0-10000000", "0-10000000", true, 0, 99'999},         // 20 x speed
      {5000, 6, "0-10000000", "0-10000000", true, 0, 1'999'999},      // a fifth of the file
      {40, 1, "0-10000000", "0-10000000", true, 0, 399},              // 400 stays
      {40, 0, "0-10000000", "0-10000000", true, 0, 1023},             // 40 -> 1024
      {1024, 0, "0-10000000", "500-599,9000-20000", true, 500, 599},  // shorter: whole
      {1024, 0, "0-999", "1000-5000", false, 0, 0},                   // nothing in common
      {1024, 0, "100-200,3000-9000", "150-160,5000-8000", true, 150, 160},
  };
  for (const auto& c : cases) {
    DownloadPeer peer({}, "http://x", c.have, size, false);
    peer.setUllSpeed(c.speed);
    peer.setNDownloadNum(c.successes);
    DataLocator needed;
    needed.LoadParisFromString(c.needed);
    DataPair out(7, 7);
    ASSERT_EQ(peer.HaveDownload(needed, out), c.found) << c.have << " / " << c.needed;
    if (c.found) {
      EXPECT_EQ(out, DataPair(c.first, c.last)) << c.speed << " x " << c.successes;
    } else {
      EXPECT_EQ(out, DataPair(7, 7));
    }
  }
}

TEST(DownloadPeerChunkTest, RunningRequestIsHealthyWhileDataCameWithin30Seconds) {
  auto clock = std::make_shared<ManualClock>(1'700'000'000);
  ScopedClockOverride use(clock);
  DownloadPeer peer({}, "http://x", "0-9", 10, false);
  EXPECT_TRUE(peer.IsRunOk()) << "never started";
  const std::vector<std::pair<std::int64_t, bool>> cases = {
      {-5, true}, {-30, true}, {-31, false}, {+5, false}};
  for (const auto& [offset, ok] : cases) {
    peer.setUllStartTime(static_cast<std::uint64_t>(1'700'000'000 + offset));
    EXPECT_EQ(peer.IsRunOk(), ok) << offset;
  }
}

TEST(DownloadPeerChunkTest, ThirdFailureInARowMakesTheSourceBad) {
  DownloadPeer peer({}, "http://x", "0-9", 10, false);
  peer.SetBad();
  peer.SetBad();
  EXPECT_FALSE(peer.bBad());
  peer.SetBad();
  EXPECT_TRUE(peer.bBad());
  EXPECT_NE(peer.ullBadTime(), 0u);
}

class DownloadPeerRequestTest : public ::testing::Test {
 protected:
  // Runs one request of `length` bytes from `pos` to its end.
  void fetch(DownloadPeer& peer, std::uint64_t pos, std::uint64_t length) {
    peer.StartDownload(pos, length);
    ASSERT_TRUE(pumpMainThreadUntil([&] { return !peer.bStart(); }));
    // A cancelled request reports its failure a moment later.
    pumpMainThreadUntil([&] { return false; }, std::chrono::milliseconds(50));
  }
  std::shared_ptr<DownloadPeer> source(bool udp = false) {
    return std::make_shared<DownloadPeer>(sink, url, "0-" + std::to_string(content.size() - 1),
                                          content.size(), udp);
  }

  std::string content = [] {
    std::string bytes(200'000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
  }();
  FakeStorageDownloads server;
  std::string hash = server.serve(content);
  std::string url = server.freshUrls(hash).at(0);
  std::shared_ptr<MemorySink> sink = std::make_shared<MemorySink>();
};

TEST_F(DownloadPeerRequestTest, HonestRangeIsWrittenInPlaceAndCountsASuccess) {
  auto peer = source();
  fetch(*peer, 1000, 5000);
  EXPECT_EQ(sink->written, 5000u);
  EXPECT_EQ(sink->bytes.substr(1000), content.substr(1000, 5000));
  EXPECT_EQ(peer->nDownloadNum(), 1);
  EXPECT_EQ(peer->nBadNum(), 0);
  ASSERT_EQ(server.hits().size(), 1u);
  EXPECT_EQ(server.hits()[0].first, 1000u);
  EXPECT_EQ(server.hits()[0].last, 5999u);
}

struct Misbehaviour {
  const char* name;
  FakeStorageDownloads::Behaviour behaviour;
  std::uint64_t pos;
  std::uint64_t length;
  bool udp;
  std::uint64_t written;  // bytes the sink took, all of them right
  std::int64_t successes;
  std::int64_t failures;
  bool expired;
};

class DownloadPeerMisbehaviourTest : public DownloadPeerRequestTest,
                                     public ::testing::WithParamInterface<Misbehaviour> {};

TEST_P(DownloadPeerMisbehaviourTest, WritesOnlyWhatWasAskedFor) {
  const Misbehaviour& c = GetParam();
  server.setBehaviour(1, c.behaviour);
  auto peer = source(c.udp);
  fetch(*peer, c.pos, c.length);
  EXPECT_EQ(sink->written, c.written);
  if (c.written > 0) {
    EXPECT_EQ(sink->bytes.substr(c.pos, c.written), content.substr(c.pos, c.written));
  }
  EXPECT_LE(sink->bytes.size(), c.pos + c.length) << "nothing past the requested range";
  EXPECT_EQ(peer->nDownloadNum(), c.successes);
  EXPECT_EQ(peer->nBadNum(), c.failures);
  EXPECT_EQ(peer->bUrlTimeOut(), c.expired);
}

using B = FakeStorageDownloads::Behaviour;
INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadPeerMisbehaviourTest,
    ::testing::Values(
        // The whole file for a range further in: nothing lands at the wrong place.
        Misbehaviour{"WholeFileForLaterRange", B{.ignoreRange = true}, 1000, 500, false, 0, 0, 1,
                     false},
        // The whole file for a range from 0: the asked bytes are kept.
        Misbehaviour{"WholeFileFromZero", B{.ignoreRange = true}, 0, 500, false, 500, 0, 1, false},
        Misbehaviour{"MoreBytesThanAsked", B{.extraBytes = 3000}, 100, 1000, false, 1000, 0, 1,
                     false},
        // A body cut short fails; what arrived is kept, the rest stays needed.
        Misbehaviour{"ClosedShort", B{.dropAfter = 300}, 0, 1000, false, 300, 0, 1, false},
        Misbehaviour{"ExpiredServerAddress", B{.expireAfter = 0}, 0, 1000, false, 0, 0, 1, true},
        Misbehaviour{"ForbiddenLanSource", B{.expireAfter = 0}, 0, 1000, true, 0, 0, 1, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(DownloadPeerRequestTest, RefusedWriteEndsTheRequestAndCountsAFailure) {
  sink->refuse = true;
  auto peer = source();
  peer->setUllSpeed(4096);
  fetch(*peer, 0, 4096);
  EXPECT_EQ(peer->nBadNum(), 1);
  EXPECT_EQ(peer->ullSpeed(), 2048u);
}

TEST_F(DownloadPeerRequestTest, SourceWithoutTaskWritesNothing) {
  std::weak_ptr<MemorySink> gone;
  {
    auto sinkOfGoneTask = std::make_shared<MemorySink>();
    gone = sinkOfGoneTask;
  }
  auto peer = std::make_shared<DownloadPeer>(gone, url, "0-199999", content.size(), false);
  fetch(*peer, 0, 1000);
  EXPECT_EQ(peer->nBadNum(), 1);
}

TEST_F(DownloadPeerRequestTest, StopCountsNothing) {
  server.setBehaviour(1, B{.stall = true});
  auto peer = source();
  peer->StartDownload(0, 1000);
  ASSERT_TRUE(server.server().waitForRequests(1));
  peer->Stop(false);
  pumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(peer->nBadNum(), 0);
  EXPECT_TRUE(peer->bStart()) << "a stop leaves the running flag";
}

TEST_F(DownloadPeerRequestTest, SpeedIsTheRequestedLengthOverTheElapsedTime) {
  auto clock = std::make_shared<ManualClock>(1'700'000'000);
  ScopedClockOverride use(clock);
  auto peer = source();
  peer->StartDownload(0, 1024);
  clock->advance(std::chrono::milliseconds(500));
  ASSERT_TRUE(pumpMainThreadUntil([&] { return !peer->bStart(); }));
  EXPECT_EQ(peer->ullSpeed(), 2046u);  // 1023 x 1000 / 500
}

TEST_F(DownloadPeerRequestTest, RequestCarriesTheRangeAndNoCompression) {
  auto peer = source();
  fetch(*peer, 10, 20);
  const auto requests = server.server().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].header("Range"), "bytes=10-29");
  EXPECT_FALSE(requests[0].header("Accept-Encoding"));
  EXPECT_NE(requests[0].header("Connection").value_or(""), "keep-alive");
}

}  // namespace
}  // namespace nb::test
