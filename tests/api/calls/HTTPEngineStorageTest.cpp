// The storage-server session calls against a fake storage server.

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"
#include "support/FakeDriveFixture.h"

namespace nb {
namespace {

using test::FakeFault;

class HTTPEngineStorageTest : public test::FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    tree().addFolder("docs", user_.member());
    created_ = HTTPEngine::setFileCreateFile(token_, "docs/a b+c.txt", kMountId,
                                             sha1HexDigest(kContent), kContent.size(), 1, 0, 0);
    ASSERT_EQ(created_.nState, 0);
  }

  RetUploadInit init(const std::string& name = "a b+c.txt") {
    return HTTPEngine::sendInit(url(), token_, name, created_.strHash, created_.strFileHash,
                                kContent.size(), kMountId, created_.strStoragePoint);
  }
  std::string url() const { return created_.arrayServers->front(); }
  test::FakeCall lastStorageCall(const std::string& path) const {
    return storage_->service().callsTo(path).back();
  }

  const std::string kContent = "0123456789";
  RetCreateFile created_;
};

TEST_F(HTTPEngineStorageTest, InitSendsItsHeadersWithTheNameEscapedOnce) {
  const auto ret = init();
  ASSERT_EQ(ret.nStatusCode(), 200) << ret.strErrorMsg();
  EXPECT_FALSE(ret.session.empty());
  EXPECT_EQ(ret.piecelen, 1048576);
  const auto call = lastStorageCall("/upload_init");
  EXPECT_EQ(call.method, "PUT");
  // The fake's server decodes header escapes; the escaping itself is
  // checked on uploadFileName.
  EXPECT_EQ(call.header("x-nb-upload-filename"), "a b+c.txt");
  EXPECT_EQ(call.header("x-nb-upload-filesize"), "10");
  EXPECT_EQ(call.header("x-nb-upload-mountid"), std::to_string(kMountId));
  EXPECT_EQ(call.header("x-nb-token"), token_);
  EXPECT_EQ(call.header("x-nb-storage-point"), storage_->storagePoint());
  EXPECT_TRUE(call.params.empty());
}

TEST(UploadFileNameTest, EscapesWhatAUrlMayNotHoldAndDecodesNothing) {
  EXPECT_EQ(HTTPEngine::uploadFileName("a b+c.txt"), "a%20b+c.txt");
  EXPECT_EQ(HTTPEngine::uploadFileName("100%41 é#.txt"), "100%2541%20%C3%A9%23.txt");
  EXPECT_EQ(HTTPEngine::uploadFileName("(x)~y;z=1&$,'!*"), "(x)~y;z=1&$,'!*");
}

TEST_F(HTTPEngineStorageTest, ChecksumsResumeOffsetFinishAndAbort) {
  const std::string session = init().session;
  const std::string raw("\x00\x01{not json", 11);
  storage_->setChecksumAnswer(raw);
  const auto sums = HTTPEngine::sendDownloadCheckSum(url(), session);
  EXPECT_EQ(sums.nStatusCode(), 200);
  EXPECT_EQ(sums.checksum(), raw);

  EXPECT_EQ(HTTPEngine::sendUploadCheckSum(url(), session, "").nStatusCode(), 200);
  auto call = lastStorageCall("/upload_checksum_result");
  EXPECT_EQ(call.header("x-nb-upload-crc"), "0");
  EXPECT_EQ(call.header("Content-Length"), "0");
  EXPECT_EQ(HTTPEngine::sendUploadCheckSum(url(), session, "abc").nStatusCode(), 200);
  EXPECT_EQ(lastStorageCall("/upload_checksum_result").header("x-nb-upload-crc"), "891568578");
  // Raw bytes are no form.
  EXPECT_EQ(lastStorageCall("/upload_checksum_result").header("Content-Type"), std::nullopt);

  EXPECT_EQ(HTTPEngine::sendReq(url(), session).offset, 0u);
  const auto early = HTTPEngine::sendFinish(url(), session, 10);
  EXPECT_EQ(early.nStatusCode(), 409);
  EXPECT_EQ(HTTPEngine::sendAbort(url(), session).nStatusCode(), 200);
  EXPECT_EQ(storage_->openSessions(), 0);
  const auto gone = HTTPEngine::sendReq(url(), session);
  EXPECT_EQ(gone.nStatusCode(), 401);
  EXPECT_EQ(gone.nErrorCode(), test::FakeStorageServer::kUnknownSession);
  EXPECT_EQ(gone.offset, 0u);
}

TEST_F(HTTPEngineStorageTest, EveryCallWithoutTheMarkerGivesMinusTwo) {
  const std::string session = init().session;
  const std::string other = init().session;
  ASSERT_EQ(putPiece(url(), session, 0, kContent), 200);
  storage_->setChecksumAnswer("sums");
  for (const char* path : {"/upload_init", "/download_checksum", "/upload_checksum_result",
                           "/upload_req", "/upload_finish", "/upload_abort"}) {
    storage_->service().fail(path, FakeFault::noMarker().times(1));
  }
  EXPECT_EQ(init().nStatusCode(), RequestRet::kNoMarker);
  const auto sums = HTTPEngine::sendDownloadCheckSum(url(), session);
  EXPECT_EQ(sums.nStatusCode(), RequestRet::kNoMarker);
  EXPECT_TRUE(sums.checksum().empty());
  EXPECT_EQ(HTTPEngine::sendUploadCheckSum(url(), session, "x").nStatusCode(), RequestRet::kNoMarker);
  const auto req = HTTPEngine::sendReq(url(), session);
  EXPECT_EQ(req.nStatusCode(), RequestRet::kNoMarker);
  EXPECT_EQ(req.offset, 0u);
  EXPECT_EQ(HTTPEngine::sendFinish(url(), session, 10).nStatusCode(), RequestRet::kNoMarker);
  EXPECT_EQ(HTTPEngine::sendAbort(url(), other).nStatusCode(), RequestRet::kNoMarker);
}

TEST_F(HTTPEngineStorageTest, RefusalsAreNeverRepeated) {
  storage_->service().fail("/upload_init", FakeFault::errorCode(40101, 401).times(1));
  const auto ret = init();
  EXPECT_EQ(ret.nStatusCode(), 401);
  EXPECT_EQ(ret.nErrorCode(), 40101);
  EXPECT_EQ(storage_->service().callsTo("/upload_init").size(), 1u);
  EXPECT_EQ(refreshes_, 0);
  const auto wrongSize = HTTPEngine::sendInit(url(), token_, "n", created_.strHash,
                                              created_.strFileHash, 11, kMountId,
                                              created_.strStoragePoint);
  EXPECT_EQ(wrongSize.nErrorCode(), test::FakeStorageServer::kBadHeader);
}

TEST_F(HTTPEngineStorageTest, NoAnswerGivesStatusZero) {
  const std::string dead = "http://127.0.0.1:1";
  EXPECT_EQ(HTTPEngine::sendReq(dead, "s").nStatusCode(), RequestRet::kNoResponse);
}

}  // namespace
}  // namespace nb
