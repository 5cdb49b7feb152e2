// The fake storage server's own rules, driven directly: later transfer tests
// rely on it refusing what a real storage server refuses.

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"
#include "support/FakeDriveFixture.h"

namespace nb::test {
namespace {

class FakeStorageServerTest : public FakeDriveFixture {
 protected:
  // A pending upload of `bytes` at docs/f and its open session.
  std::string openSession(const std::string& bytes) {
    tree().addFolder("docs", user_.member());
    created_ = HTTPEngine::setFileCreateFile(token_, "docs/f", kMountId, sha1HexDigest(bytes),
                                             bytes.size(), 1, 0, 0);
    return HTTPEngine::sendInit(storage_->baseUrl(), token_, "f", created_.strHash,
                                created_.strFileHash, bytes.size(), kMountId,
                                created_.strStoragePoint)
        .session;
  }
  NBHTTPResponse raw(const std::string& method, const std::string& path,
                     platform::HttpHeaders headers, std::string body = {}) {
    return NBHTTPRequest(storage_->baseUrl() + path, method, std::move(headers), std::move(body))
        .connectNetSyncWithResponse(10);
  }
  RetCreateFile created_;
};

TEST_F(FakeStorageServerTest, PiecesMustCarryTheirCrcAndRange) {
  const std::string session = openSession("abcdef");
  const auto badCrc = raw("PUT", "/upload_part",
                          {{"x-nb-upload-session", session}, {"x-nb-upload-range", "0-2"},
                           {"x-nb-upload-crc", "1"}}, "abc");
  EXPECT_EQ(badCrc.statusCode, 400);
  EXPECT_NE(badCrc.body.find(std::to_string(FakeStorageServer::kBadCrc)), std::string::npos);
  const auto badRange = raw("PUT", "/upload_part",
                            {{"x-nb-upload-session", session}, {"x-nb-upload-range", "0-5"},
                             {"x-nb-upload-crc", std::to_string(crc32("abc"))}}, "abc");
  EXPECT_EQ(badRange.statusCode, 400);
  EXPECT_EQ(putPiece(storage_->baseUrl(), session, 3, "def"), 409);
  const auto late = raw("PUT", "/upload_part",
                        {{"x-nb-upload-session", session}, {"x-nb-upload-range", "3-5"},
                         {"x-nb-upload-crc", std::to_string(crc32("def"))}}, "def");
  EXPECT_NE(late.body.find("\"expect\":0"), std::string::npos) << late.body;
}

TEST_F(FakeStorageServerTest, FinishRefusesContentThatIsNotItsHash) {
  const std::string session = openSession("abcdef");
  ASSERT_EQ(putPiece(storage_->baseUrl(), session, 0, "abcdeX"), 200);
  const auto finish = HTTPEngine::sendFinish(storage_->baseUrl(), session, 6);
  EXPECT_EQ(finish.nStatusCode(), 400);
  EXPECT_EQ(finish.nErrorCode(), FakeStorageServer::kBadContent);
  EXPECT_FALSE(tree().find("docs/f").has_value());
}

TEST_F(FakeStorageServerTest, InitNeedsALiveTokenAndSkipsHeldContent) {
  tree().addFolder("docs", user_.member());
  const std::string bytes = "held later";
  const auto created = HTTPEngine::setFileCreateFile(token_, "docs/f", kMountId, sha1HexDigest(bytes),
                                                     bytes.size(), 1, 0, 0);
  ASSERT_EQ(created.nState, 0);
  const auto init = [&](const std::string& token) {
    return HTTPEngine::sendInit(storage_->baseUrl(), token, "f", created.strHash,
                                created.strFileHash, bytes.size(), kMountId,
                                created.strStoragePoint);
  };
  EXPECT_EQ(init("stale").nStatusCode(), 401);
  // Another client uploads the same content meanwhile.
  drive_->putContent(bytes);
  EXPECT_EQ(init(token_).nStatusCode(), 202);
  EXPECT_EQ(tree().find("docs/f")->hash, created.strHash);
}

TEST_F(FakeStorageServerTest, DownloadsServeWholeFilesAndRanges) {
  const std::string hash = drive_->putContent("0123456789");
  const auto whole = raw("GET", "/download?filehash=" + hash, {});
  EXPECT_EQ(whole.statusCode, 200);
  EXPECT_EQ(whole.body, "0123456789");
  const auto tail = raw("GET", "/download?filehash=" + hash, {{"Range", "bytes=7-"}});
  EXPECT_EQ(tail.statusCode, 206);
  EXPECT_EQ(tail.body, "789");
  EXPECT_EQ(tail.allHeaderFields.find("Content-Range"), "bytes 7-9/10");
  EXPECT_EQ(raw("GET", "/download?filehash=" + std::string(40, 'f'), {}).statusCode, 404);
}

}  // namespace
}  // namespace nb::test
