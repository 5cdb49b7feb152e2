#include "transfer/lan/HttpListen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/TempHome.h"
#include "transfer/lan/LanLoopback.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

const std::string kFive = "hello";
const std::string kFiveHash = sha1HexDigest(kFive);

class HttpListenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = makeTempDir("lanhttp");
    content = std::make_shared<FakeLanContent>(folder);
    content->addSynced(kFiveHash, writeFile(folder, "five", kFive));
  }
  void TearDown() override {
    listen.reset();
    std::filesystem::remove_all(folder);
  }

  void start(std::chrono::milliseconds idle = 60s,
             std::vector<platform::Ipv4Interface> interfaces = loopbackInterface("127.0.0.2")) {
    listen = std::make_unique<lan::HttpListen>(lan::HttpListen::Options{
        .bindAddress = "127.0.0.2",
        .port = 0,
        .idleTimeout = idle,
        .content = content,
        .serving = [this] { return localOn.load(); },
        .interfaces = [interfaces] { return interfaces; },
    });
    ASSERT_TRUE(listen->bListen());
  }

  RawConnection connect() { return RawConnection("127.0.0.2", listen->nPort(), "127.0.0.3"); }

  static std::string request(const std::string& hash, const std::string& range = "") {
    return "GET /download?filehash=" + hash + " HTTP/1.1\r\nHost: 10.0.0.5:24753\r\n" +
           (range.empty() ? "" : "Range: " + range + "\r\n") + "\r\n";
  }

  RawConnection::Reply ask(const std::string& hash, const std::string& range = "") {
    RawConnection connection = connect();
    connection.send(request(hash, range));
    return connection.receiveReply();
  }

  std::filesystem::path folder;
  std::shared_ptr<FakeLanContent> content;
  std::atomic<bool> localOn{true};
  std::unique_ptr<lan::HttpListen> listen;
};

TEST_F(HttpListenTest, ServesWholeFilesAndRanges) {
  start();
  const auto whole = ask(kFiveHash);
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(headerValue(whole.head, "Server"), "10.0.0.5:24753");
  EXPECT_EQ(headerValue(whole.head, "Content-Length"), "5");
  EXPECT_FALSE(headerValue(whole.head, "Date").empty());
  EXPECT_EQ(whole.body, kFive);

  struct Case {
    std::string range;
    std::string contentRange;
    std::string body;
  };
  const Case cases[] = {
      {"bytes=2-3", "bytes 2-3/2", "ll"},
      {"bytes=2-", "bytes 2-4/3", "llo"},
      {"bytes=0-0", "bytes 0-0/1", "h"},
      {"bytes=3-100", "bytes 3-4/2", "lo"},  // past the end: up to the end
      {"bytes=4-1", "bytes 4-4/1", "o"},
  };
  for (const Case& c : cases) {
    const auto reply = ask(kFiveHash, c.range);
    EXPECT_EQ(reply.status, 206) << c.range;
    EXPECT_EQ(headerValue(reply.head, "Content-Range"), c.contentRange) << c.range;
    EXPECT_EQ(reply.body, c.body) << c.range;
  }
}

TEST_F(HttpListenTest, RefusalsAnswer404AndClose) {
  start();
  const std::string unknown = sha1HexDigest("unknown");
  const std::string cases[] = {
      request(unknown),
      request(kFiveHash.substr(0, 39)),
      request(kFiveHash + "0"),
      request("ABCDEF" + kFiveHash.substr(6)),
      request(kFiveHash, "bytes=5-"),      // begins past the end
      request(kFiveHash, "bytes=-2"),      // suffix form: not taken
      request(kFiveHash, "bytes=-1-3"),    // negative
      request(kFiveHash, "bytes=1-2,3-4"),
      request(kFiveHash, "bytes=99999999999999999999-"),
  };
  for (const std::string& text : cases) {
    RawConnection connection = connect();
    connection.send(text);
    const auto reply = connection.receiveReply();
    EXPECT_EQ(reply.status, 404) << text;
    EXPECT_EQ(reply.head.rfind("HTTP/1.1 404  Not Found\r\nDate: ", 0), 0u) << text;
    EXPECT_TRUE(connection.waitClosed()) << text;
  }
}

TEST_F(HttpListenTest, NoReplyWithoutADownloadTargetOrWithLocalOff) {
  start();
  RawConnection other = connect();
  other.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_TRUE(other.waitClosed());
  EXPECT_EQ(other.receive(1, 10ms), "");

  localOn = false;
  RawConnection off = connect();
  off.send(request(kFiveHash));
  EXPECT_TRUE(off.waitClosed());
  EXPECT_EQ(off.receive(1, 10ms), "");
}

TEST_F(HttpListenTest, SplitHeadIsAnsweredOnceComplete) {
  start();
  RawConnection connection = connect();
  const std::string text = request(kFiveHash, "bytes=1-2");
  for (const char c : text) {
    EXPECT_EQ(connection.receive(1, 1ms), "");
    connection.send(std::string(1, c));
  }
  const auto reply = connection.receiveReply();
  EXPECT_EQ(reply.status, 206);
  EXPECT_EQ(reply.body, "el");
}

TEST_F(HttpListenTest, ConnectionServesSeveralRequestsThenIdlesOut) {
  start(300ms);
  RawConnection connection = connect();
  // Two requests in one burst: answered one after the other.
  connection.send(request(kFiveHash, "bytes=0-1") + request(kFiveHash, "bytes=3-4"));
  EXPECT_EQ(connection.receiveReply().body, "he");
  EXPECT_EQ(connection.receiveReply().body, "lo");
  connection.send(request(kFiveHash));
  EXPECT_EQ(connection.receiveReply().body, kFive);
  EXPECT_TRUE(connection.waitClosed(5s));

  RawConnection silent = connect();
  silent.send("GET /download?file");
  EXPECT_TRUE(silent.waitClosed(5s));
}

TEST_F(HttpListenTest, HeadThatNeverEndsIsCut) {
  start();
  RawConnection connection = connect();
  connection.send("GET /download?filehash=" + kFiveHash + " HTTP/1.1\r\nX: " + std::string(20000, 'a'));
  EXPECT_TRUE(connection.waitClosed());
}

TEST_F(HttpListenTest, SourcesAreTriedInOrder) {
  const std::string bytes = "cached content";
  const std::string hash = sha1HexDigest(bytes);
  content->addCache(hash, writeFile(folder, "entry", bytes));
  content->addSynced(hash, writeFile(folder, "synced", "synced copy!!!"));
  start();
  EXPECT_EQ(ask(hash).body, bytes);
  // The deciphered copy is gone once it is open.
  EXPECT_TRUE(std::filesystem::is_empty(content->decryptFolder()));

  // A cache entry that cannot be deciphered ends the search.
  content->setDecryptFails(true);
  EXPECT_EQ(ask(hash).status, 404);

  const std::string finished = sha1HexDigest("finished");
  content->addSynced(finished, (folder / "missing").string());
  content->addFinished(finished, writeFile(folder, "finished", "finished"));
  EXPECT_EQ(ask(finished).body, "finished");

  // A folder at a synced path is never served.
  const std::string folderHash = sha1HexDigest("folder");
  std::filesystem::create_directories(folder / "adir");
  content->addSynced(folderHash, (folder / "adir").string());
  EXPECT_EQ(ask(folderHash).status, 404);

  const std::string empty = sha1HexDigest("");
  content->addSynced(empty, writeFile(folder, "empty", ""));
  const auto reply = ask(empty);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(headerValue(reply.head, "Content-Length"), "0");
}

TEST_F(HttpListenTest, RunningDownloadServesOnlyItsDoneRanges) {
  const std::string whole = patternBytes(100);
  const std::string hash = sha1HexDigest(whole);
  std::string partialFile = whole;
  for (std::size_t i = 40; i < 60; ++i) partialFile[i] = '\0';  // not written yet
  content->addRunning(hash, lan::RunningDownload{writeFile(folder, "down.tmp", partialFile), 100,
                                                 true, false, "0-39,60-99"});
  start();
  struct Case {
    std::string range;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"bytes=0-99", 206, whole.substr(0, 40)},   // cut at the hole
      {"bytes=10-", 206, whole.substr(10, 30)},
      {"bytes=60-", 206, whole.substr(60)},
      {"bytes=70-79", 206, whole.substr(70, 10)},
      {"bytes=40-50", 404, ""},
      {"bytes=59-70", 404, ""},
      {"", 404, ""},  // the whole content is not there yet
  };
  for (const Case& c : cases) {
    const auto reply = ask(hash, c.range);
    EXPECT_EQ(reply.status, c.status) << c.range;
    EXPECT_EQ(reply.body, c.body) << c.range;
  }
}

TEST_F(HttpListenTest, PeersOffTheAttachedSubnetsAreRefused) {
  start(60s, {*platform::parseIpv4Interface("10.1.2.3/24")});
  RawConnection connection = connect();
  connection.send(request(kFiveHash));
  EXPECT_TRUE(connection.waitClosed());
  EXPECT_EQ(connection.receive(1, 10ms), "");
}

TEST_F(HttpListenTest, TakenPortLeavesTheServerOff) {
  start();
  lan::HttpListen second(lan::HttpListen::Options{
      .bindAddress = "127.0.0.2",
      .port = static_cast<std::uint16_t>(listen->nPort()),
      .content = content,
      .serving = [] { return true; },
      .interfaces = [] { return loopbackInterface("127.0.0.2"); },
  });
  EXPECT_FALSE(second.bListen());
  EXPECT_EQ(second.nPort(), 0);
  EXPECT_EQ(ask(kFiveHash).body, kFive);
}

}  // namespace
}  // namespace nb::test
