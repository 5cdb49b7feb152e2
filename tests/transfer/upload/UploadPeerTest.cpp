// The storage-server session against the fake storage server, which keeps
// what it receives, so each test compares the server's bytes with the file.

#include "transfer/upload/UploadPeer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>

#include "api/calls/HTTPEngine.h"
#include "api/calls/TransportSettings.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "http/request/ASIHTTPRequest.h"
#include "support/RandomBytes.h"
#include "support/FakeDriveFixture.h"
#include "support/ManualClock.h"
#include "transfer/engine/TransferTask.h"
#include "transfer/records/TransferRecords.h"

namespace nb {
namespace {

using test::randomBytes;

using test::FakeFault;

constexpr std::uint64_t kMiB = 1024 * 1024;

class HeldTask final : public TransferTask {
 public:
  using TransferTask::TransferTask;
  void run() override {}
};

class UploadPeerTest : public test::FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    UserData::shareUserData().setUserToken(token_);
    tree().addFolder("docs", user_.member());
  }

  // A task for `bytes` at docs/<name>, registered with create-file as the
  // upload task would (the servers it names in `servers_`).
  std::unique_ptr<HeldTask> makeTask(const std::string& bytes, const std::string& name = "f.bin") {
    const std::filesystem::path file = home() / name;
    std::ofstream(file, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    TransTaskItem item;
    item.nIndex = 1;
    item.nMountid = kMountId;
    item.strWebpath = "docs/" + name;
    item.strSavepath = file.string();
    item.strTemppath = file.string();
    item.ullFilesize = bytes.size();
    item.strFilehash = sha1HexDigest(bytes);
    const RetCreateFile created = HTTPEngine::setFileCreateFile(
        token_, item.strWebpath, kMountId, item.strFilehash, bytes.size(), 0, 0, 0);
    EXPECT_EQ(created.nStatusCode(), 200);
    item.strPathhash = created.strHash;
    item.strStoragePoint = created.strStoragePoint;
    servers_ = created.arrayCacheServers.value_or(std::vector<std::string>{});
    for (const auto& server : created.arrayServers.value_or(std::vector<std::string>{})) {
      servers_.push_back(server);
    }
    return std::make_unique<HeldTask>(item);
  }

  UploadEnvironment environment() {
    UploadEnvironment env;
    env.addSpeed = [this](std::uint64_t bytes) { speed_ += bytes; };
    env.sendCallback = [](const TransTaskItem&) {};
    env.syncManager = [](std::int64_t) { return nullptr; };
    return env.resolved();
  }

  // Runs a session as the upload task does: the saved server first, then
  // the listed ones while the session asks for another.
  void runSession(UploadPeer& peer) {
    std::string current = peer.GetServerTarget();
    std::size_t next = 0;
    for (;;) {
      if (current.empty()) {
        if (next >= servers_.size()) break;
        current = servers_[next++];
      }
      peer.SetUrl(current);
      peer.Run();
      if (!peer.bResetServer()) break;
      peer.DeleteServerTarget();
      current.clear();
    }
  }

  std::optional<std::string> serverContent(const std::string& path) {
    const auto entry = tree().find(path);
    if (!entry) return std::nullopt;
    return drive_->content(entry->filehash);
  }

  std::vector<std::string> pieceRanges(test::FakeStorageServer& server) {
    std::vector<std::string> ranges;
    for (const auto& call : server.service().callsTo("/upload_part")) {
      ranges.push_back(call.header("x-nb-upload-range").value_or(""));
    }
    return ranges;
  }

  std::vector<std::string> servers_;
  std::uint64_t speed_ = 0;
};

TEST_F(UploadPeerTest, FilesArriveByteExactInPiecesOfTheirSize) {
  struct Case {
    std::size_t size;
    std::vector<std::string> ranges;
  };
  const Case cases[] = {
      {0, {}},
      {2 * kMiB + 1, {"0-1048575", "1048576-2097151", "2097152-2097152"}},
      {10 * kMiB - 1, {}},  // 1 MiB pieces: ten of them
      {25 * kMiB, {}},      // 4 MiB pieces: seven of them
  };
  int round = 0;
  for (const Case& c : cases) {
    storage_->service().clearCalls();
    const std::string bytes = randomBytes(static_cast<std::uint64_t>(c.size), c.size);
    const std::string name = "f" + std::to_string(round++);
    auto task = makeTask(bytes, name);
    UploadPeer peer(*task, environment());
    runSession(peer);
    EXPECT_TRUE(peer.bFinish()) << c.size << " error " << peer.nError();
    EXPECT_EQ(serverContent("docs/" + name), bytes) << c.size;
    EXPECT_EQ(task->item().ullOffset, c.size);
    const auto ranges = pieceRanges(*storage_);
    if (!c.ranges.empty() || c.size == 0) {
      EXPECT_EQ(ranges, c.ranges) << c.size;
    }
    const std::uint64_t piece = UploadPeer::pieceLengthFor(c.size);
    EXPECT_EQ(ranges.size(), (c.size + piece - 1) / piece) << c.size;
    const auto finish = storage_->service().callsTo("/upload_finish");
    ASSERT_EQ(finish.size(), 1u);
    EXPECT_EQ(finish[0].header("x-nb-upload-filesize"), std::to_string(c.size));
    EXPECT_FALSE(peer.CheckResetFile()) << "completion clears the markers";
    EXPECT_EQ(peer.GetServerTarget(), "");
  }
}

TEST_F(UploadPeerTest, PieceLengthFollowsTheFileSize) {
  struct Case {
    std::uint64_t size;
    std::uint64_t piece;
  };
  for (const Case c : {Case{0, kMiB}, Case{10 * kMiB - 1, kMiB}, Case{10 * kMiB, 4 * kMiB},
                       Case{100 * kMiB - 1, 4 * kMiB}, Case{100 * kMiB, 8 * kMiB},
                       Case{1024 * kMiB - 1, 8 * kMiB}, Case{1024 * kMiB, 10 * kMiB}}) {
    EXPECT_EQ(UploadPeer::pieceLengthFor(c.size), c.piece) << c.size;
  }
}

TEST_F(UploadPeerTest, PiecesCarryTheirHeadersInOrder) {
  const std::string bytes = "piece of content";
  auto task = makeTask(bytes);
  UploadPeer peer(*task, environment());
  runSession(peer);
  ASSERT_TRUE(peer.bFinish());
  const auto calls = storage_->service().callsTo("/upload_part");
  ASSERT_EQ(calls.size(), 1u);
  const test::FakeCall& call = calls[0];
  EXPECT_EQ(call.header("x-nb-upload-range"), "0-15");
  EXPECT_EQ(call.header("x-nb-upload-crc"), std::to_string(crc32(bytes)));
  EXPECT_EQ(call.header("Content-Length"), "16");
  // The order as the request sends them (the fake server sorts them).
  ASSERT_TRUE(peer.pRequest());
  std::vector<std::string> names;
  const auto sent = peer.pRequest()->requestHeaders();
  for (const auto& [name, value] : sent.fields()) {
    names.push_back(name);
  }
  // No user agent is registered in tests, so none goes.
  EXPECT_EQ(names, (std::vector<std::string>{"x-nb-upload-session", "x-nb-upload-range",
                                             "Content-Length", "x-nb-upload-crc",
                                             "Accept-Language"}));
  EXPECT_EQ(speed_, bytes.size());
  EXPECT_EQ(task->ullTranssize(), bytes.size());
}

// No delta is possible for a new file: the server answers 205, and the same
// run goes on plain at once instead of failing.
TEST_F(UploadPeerTest, ANoDeltaAnswerFinishesInTheSameRun) {
  const std::string bytes = randomBytes(3, 3 * kMiB);
  auto task = makeTask(bytes);
  UploadPeer peer(*task, environment());
  runSession(peer);
  EXPECT_TRUE(peer.bFinish());
  EXPECT_EQ(peer.nError(), 0);
  EXPECT_EQ(task->item().nStatus, kTransRunning);
  EXPECT_EQ(storage_->service().callsTo("/download_checksum").size(), 1u);
  EXPECT_EQ(storage_->service().callsTo("/upload_init").size(), 2u);
  EXPECT_EQ(serverContent("docs/f.bin"), bytes);
}

TEST_F(UploadPeerTest, AnUploadStoppedAfterTwoPiecesResumesFromTheThird) {
  const std::string bytes = randomBytes(4, 3 * kMiB + 100);
  auto task = makeTask(bytes);
  // Two pieces get through; the third fails until the loop gives up.
  storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(0)).times(2));
  storage_->service().fail("/upload_part", FakeFault::bareStatus(500).times(5));
  {
    UploadPeer first(*task, environment());
    runSession(first);
    EXPECT_FALSE(first.bFinish());
    EXPECT_EQ(first.nError(), 500);
    EXPECT_EQ(task->item().ullOffset, 2 * kMiB);
  }
  EXPECT_EQ(storage_->heldBytes(task->item().strPathhash), 2 * kMiB);
  EXPECT_FALSE(tree().find("docs/f.bin").has_value());

  // A new session, as after a restart: the saved server, its offset.
  storage_->service().clearCalls();
  auto again = std::make_unique<HeldTask>(task->item());
  again->updateItem([](TransTaskItem& item) { item.ullOffset = 0; });
  UploadPeer second(*again, environment());
  EXPECT_EQ(second.GetServerTarget(), storage_->baseUrl());
  servers_.clear();
  runSession(second);
  EXPECT_TRUE(second.bFinish());
  EXPECT_EQ(pieceRanges(*storage_),
            (std::vector<std::string>{"2097152-3145727", "3145728-3145827"}));
  EXPECT_EQ(serverContent("docs/f.bin"), bytes);
}

TEST_F(UploadPeerTest, OutOfOrderAndFullAnswersMoveThePosition) {
  const std::string bytes = randomBytes(5, 2 * kMiB + 10);
  auto task = makeTask(bytes);
  // The server says it wants byte 0 while at 0: a failure in a row that
  // changes nothing; then it claims to hold everything.
  storage_->service().fail("/upload_part", FakeFault::errorCode(40900, 409).times(1));
  storage_->service().fail("/upload_part", FakeFault::bareStatus(202).times(1));
  UploadPeer peer(*task, environment());
  runSession(peer);
  // The 202 ends the loop; the finish finds bytes missing and records
  // nothing.
  EXPECT_FALSE(peer.bFinish());
  EXPECT_EQ(task->item().ullOffset, bytes.size());
  EXPECT_EQ(storage_->service().callsTo("/upload_finish").size(), 1u);
  EXPECT_EQ(peer.nError(), 0);
}

TEST_F(UploadPeerTest, FiveFailedPiecesInARowEndTheLoopAndFinishIsStillSent) {
  const std::string bytes = randomBytes(6, 100);
  auto task = makeTask(bytes);
  storage_->service().fail("/upload_part", FakeFault::bareStatus(503));
  UploadPeer peer(*task, environment());
  runSession(peer);
  EXPECT_FALSE(peer.bFinish());
  EXPECT_EQ(storage_->service().callsTo("/upload_part").size(), 5u);
  EXPECT_EQ(storage_->service().callsTo("/upload_finish").size(), 1u);
  EXPECT_EQ(peer.nError(), 503);
}

TEST_F(UploadPeerTest, AContentChangedSinceHashingFailsWithOpenError) {
  const std::string bytes = "original";
  auto task = makeTask(bytes);
  task->updateItem([](TransTaskItem& item) { item.ullFilesize = 99; });
  UploadPeer peer(*task, environment());
  runSession(peer);
  EXPECT_EQ(peer.nError(), TransError::kOpenFile);
  EXPECT_EQ(peer.strError(), TransErrorText::kUploadOpenFile);
  EXPECT_EQ(task->item().nStatus, kTransFailed);
  EXPECT_TRUE(storage_->service().callsTo("/upload_init").empty());
}

TEST_F(UploadPeerTest, HashesThatCannotNameASideFileAreRefused) {
  for (const std::string pathhash : {"", ".", "..", "a/b"}) {
    auto task = makeTask("x");
    task->updateItem([&](TransTaskItem& item) { item.strPathhash = pathhash; });
    UploadPeer peer(*task, environment());
    EXPECT_EQ(peer.GetCacheTempPath(), "") << pathhash;
    runSession(peer);
    EXPECT_FALSE(peer.bFinish());
    EXPECT_EQ(peer.nError(), TransError::kSessionOpen) << pathhash;
  }
}

TEST_F(UploadPeerTest, DeleteAbortsTheSessionAndRemovesTheSideFiles) {
  const std::string bytes = randomBytes(7, 2 * kMiB);
  auto task = makeTask(bytes);
  storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(0)).times(1));
  storage_->service().fail("/upload_part", FakeFault::bareStatus(500));
  UploadPeer peer(*task, environment());
  task->addPeer(std::shared_ptr<PeerBase>(std::shared_ptr<void>(), &peer));
  task->Delete();
  runSession(peer);
  EXPECT_FALSE(peer.bFinish());
  EXPECT_TRUE(storage_->service().callsTo("/upload_part").empty()) << "stopped before a piece";
  EXPECT_EQ(storage_->service().callsTo("/upload_abort").size(), 1u);
  EXPECT_EQ(peer.GetServerTarget(), "");
  EXPECT_FALSE(peer.CheckResetFile());
  EXPECT_EQ(storage_->openSessions(), 0);
  task->clearPeers();
}

// Found by the random runs: the engine's shutdown stops every task and
// waits for it, and an upload pausing between attempts slept the pause
// out, for good on a clock that no longer moved.
TEST_F(UploadPeerTest, AStopEndsThePauseBetweenAttemptsAtOnce) {
  auto task = makeTask(randomBytes(8, 100));
  storage_->service().fail("/upload_req", FakeFault::bareStatus(500));
  auto clock = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride overrideClock(clock);
  UploadPeer peer(*task, environment());
  task->addPeer(std::shared_ptr<PeerBase>(std::shared_ptr<void>(), &peer));
  auto session = std::async(std::launch::async, [&] { runSession(peer); });
  ASSERT_TRUE(clock->waitForSleepers(1));
  task->Stop();
  const bool ended = session.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  // Failed or not, the session must end before the peer goes.
  while (session.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    clock->advance(std::chrono::seconds(1));
  }
  EXPECT_TRUE(ended);
  EXPECT_FALSE(peer.bFinish());
  EXPECT_EQ(storage_->service().callsTo("/upload_req").size(), 1u);
  task->clearPeers();
}

// Pieces carry the access token and the content, so a TLS storage server is
// trusted exactly as the deployment says: its own CA named, or not at all.
TEST_F(UploadPeerTest, PiecesToATlsStorageServerTrustTheDeploymentsCaOnly) {
  test::FakeStorageServer& secure = drive_->addStorageServer(/*https=*/true);
  for (const bool caNamed : {false, true}) {
    TransportSettings settings = currentTransportSettings();
    if (caNamed) settings.tls.caFile = secure.service().caFile().string();
    setTransportSettingsSource([settings] { return settings; });
    const std::string name = caNamed ? "named.bin" : "system.bin";
    const std::string bytes = randomBytes(2 * kMiB + 5, caNamed ? 1 : 2);
    auto task = makeTask(bytes, name);
    servers_ = {secure.baseUrl()};
    UploadPeer peer(*task, environment());
    runSession(peer);
    EXPECT_EQ(peer.bFinish(), caNamed) << name;
    EXPECT_EQ(serverContent("docs/" + name) == bytes, caNamed) << name;
  }
  setTransportSettingsSource(nullptr);
}

// The server holds an earlier version of the path: only what changed goes.
class UploadPeerDeltaTest : public UploadPeerTest {
 protected:
  void SetUp() override {
    UploadPeerTest::SetUp();
    storage_->setPieceLength(kBlock);
    base_ = randomBytes(8, 4 * kMiB);
    drive_->putFile(kMountId, "docs/f.bin", base_);
    edited_ = edited(9);
  }

  // 2.2 MiB inserted after the first MiB: the delta data spans three 1 MiB
  // pieces. Each seed gives content the server does not hold yet.
  std::string edited(std::uint64_t seed) const {
    return base_.substr(0, kMiB) + randomBytes(seed, 2 * kMiB + 200000) + base_.substr(kMiB);
  }

  std::uint64_t deltaBytes() const { return 2 * kMiB + 200000 + kBlock; }

  static constexpr int kBlock = 64 * 1024;
  std::string base_;
  std::string edited_;
};

TEST_F(UploadPeerDeltaTest, AnEditedFileGoesUpAsADeltaAndIsRebuiltExactly) {
  auto task = makeTask(edited_);
  UploadPeer peer(*task, environment());
  runSession(peer);
  ASSERT_TRUE(peer.bFinish()) << peer.nError();
  EXPECT_EQ(serverContent("docs/f.bin"), edited_);
  const auto finish = storage_->service().callsTo("/upload_finish");
  ASSERT_EQ(finish.size(), 1u);
  EXPECT_EQ(finish[0].header("x-nb-upload-filesize"), std::to_string(deltaBytes()));
  EXPECT_EQ(pieceRanges(*storage_).size(), 3u);
  EXPECT_FALSE(peer.CheckDifFile()) << "completion removes the delta data";
  EXPECT_EQ(storage_->service().callsTo("/upload_checksum_result").size(), 1u);
}

TEST_F(UploadPeerDeltaTest, AStoppedDeltaResumesWithOrWithoutItsDeltaData) {
  for (const bool keepDif : {true, false}) {
    SCOPED_TRACE(keepDif ? "delta data kept" : "delta data lost");
    storage_->service().clearFaults();
    storage_->service().clearCalls();
    const std::string name = keepDif ? "f.bin" : "g.bin";
    if (!keepDif) drive_->putFile(kMountId, "docs/g.bin", base_);
    const std::string content = edited(keepDif ? 20 : 21);
    auto task = makeTask(content, name);
    storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(0)).times(2));
    storage_->service().fail("/upload_part", FakeFault::bareStatus(500).times(5));
    {
      UploadPeer first(*task, environment());
      runSession(first);
      ASSERT_FALSE(first.bFinish());
      EXPECT_TRUE(first.CheckDifFile());
      if (!keepDif) std::filesystem::remove(first.GetCacheTempPath() + ".nbdif");
    }
    EXPECT_TRUE(storage_->isDelta(task->item().strPathhash));
    storage_->service().clearCalls();
    auto again = std::make_unique<HeldTask>(task->item());
    again->updateItem([](TransTaskItem& item) { item.ullOffset = 0; });
    UploadPeer second(*again, environment());
    runSession(second);
    ASSERT_TRUE(second.bFinish()) << second.nError();
    EXPECT_EQ(serverContent("docs/" + name), content);
    EXPECT_TRUE(storage_->service().callsTo("/upload_checksum_result").empty())
        << "the records are not sent again";
    EXPECT_EQ(storage_->service().callsTo("/download_checksum").size(), keepDif ? 0u : 1u);
    EXPECT_EQ(pieceRanges(*storage_),
              std::vector<std::string>{"2097152-" + std::to_string(deltaBytes() - 1)});
  }
}

// Nothing in common with the server's version: the match gives up and the
// whole file goes plain, with the marker that keeps a resumed run plain.
TEST_F(UploadPeerDeltaTest, AFailedMatchGoesOnPlainAndStaysPlain) {
  const std::string other = randomBytes(10, 3 * kMiB);
  auto task = makeTask(other);
  storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(0)).times(1));
  storage_->service().fail("/upload_part", FakeFault::bareStatus(500).times(5));
  {
    UploadPeer first(*task, environment());
    runSession(first);
    ASSERT_FALSE(first.bFinish());
    EXPECT_TRUE(first.CheckResetFile());
    EXPECT_FALSE(first.CheckDifFile());
  }
  EXPECT_TRUE(storage_->service().callsTo("/upload_checksum_result").empty());
  auto again = std::make_unique<HeldTask>(task->item());
  UploadPeer second(*again, environment());
  runSession(second);
  ASSERT_TRUE(second.bFinish()) << second.nError();
  EXPECT_EQ(second.nPiecelen(), 0);
  EXPECT_EQ(serverContent("docs/f.bin"), other);
}

TEST_F(UploadPeerDeltaTest, ARefusedDeltaOrAFullKindGoesPlain) {
  struct Case {
    const char* name;
    std::int64_t kind;
    bool refuseRecords;
  };
  for (const Case c : {Case{"a.bin", UploadKind::kFull, false},
                       Case{"b.bin", UploadKind::kNormal, true}}) {
    SCOPED_TRACE(c.name);
    storage_->service().clearCalls();
    drive_->putFile(kMountId, std::string("docs/") + c.name, base_);
    const std::string content = edited(c.refuseRecords ? 30 : 31);
    auto task = makeTask(content, c.name);
    task->updateItem([&](TransTaskItem& item) { item.nExpand = c.kind; });
    if (c.refuseRecords) {
      storage_->service().fail("/upload_checksum_result", FakeFault::bareStatus(205).times(1));
    }
    UploadPeer peer(*task, environment());
    runSession(peer);
    ASSERT_TRUE(peer.bFinish()) << peer.nError();
    EXPECT_EQ(peer.nPiecelen(), 0);
    EXPECT_EQ(serverContent(std::string("docs/") + c.name), content);
    EXPECT_EQ(storage_->service().callsTo("/upload_finish")[0].header("x-nb-upload-filesize"),
              std::to_string(content.size()));
  }
}

}  // namespace
}  // namespace nb
