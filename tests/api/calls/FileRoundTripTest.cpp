// One file's whole life through the client's calls, checked against what the
// fake service holds: create a folder, create a file whose content the
// service lacks, upload it piece by piece through the storage session, find
// it in the change feed and the listing, download a byte range, then rename,
// move, delete and recover it.

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"
#include "support/FakeDriveFixture.h"

namespace nb {
namespace {

std::string getRange(const std::string& url, const std::string& range) {
  platform::HttpHeaders headers{{"Range", range}};
  const auto response = NBHTTPRequest(url, "GET", headers).connectNetSyncWithResponse(10);
  EXPECT_EQ(response.statusCode, 206);
  return response.body;
}

class FileRoundTripTest : public test::FakeDriveFixture {};

TEST_F(FileRoundTripTest, CreateUploadListDownloadRenameMoveDeleteRecover) {
  const std::string content = "The quick brown fox jumps over the lazy dog";
  storage_->setPieceLength(16);

  // Folder and file entry.
  ASSERT_EQ(HTTPEngine::setFileCreateFolder(token_, "work", kMountId, 0, 0).nStatusCode(), 200);
  const auto created = HTTPEngine::setFileCreateFile(token_, "work/fox.txt", kMountId,
                                                     sha1HexDigest(content), content.size(),
                                                     1700000000, 0, 0);
  ASSERT_EQ(created.nStatusCode(), 200);
  ASSERT_EQ(created.nState, 0);
  ASSERT_EQ(created.arrayServers->size(), 1u);
  const std::string url = created.arrayServers->front();

  // The storage session, call by call.
  const auto init = HTTPEngine::sendInit(url, token_, "fox.txt", created.strHash,
                                         created.strFileHash, content.size(), kMountId,
                                         created.strStoragePoint);
  ASSERT_EQ(init.nStatusCode(), 200) << init.strErrorMsg();
  ASSERT_EQ(init.piecelen, 16);
  storage_->setChecksumAnswer(std::string("\x01\x02", 2));
  EXPECT_EQ(HTTPEngine::sendDownloadCheckSum(url, init.session).checksum(), "\x01\x02");
  EXPECT_EQ(HTTPEngine::sendUploadCheckSum(url, init.session, "none").nStatusCode(), 200);
  uint64_t offset = HTTPEngine::sendReq(url, init.session).offset;
  ASSERT_EQ(offset, 0u);
  // A piece out of order is refused with the offset the server expects.
  EXPECT_EQ(putPiece(url, init.session, 16, content.substr(16, 16)), 409);
  while (offset < content.size()) {
    ASSERT_EQ(putPiece(url, init.session, offset, content.substr(offset, init.piecelen)), 200);
    offset = HTTPEngine::sendReq(url, init.session).offset;
  }
  EXPECT_FALSE(tree().find("work/fox.txt").has_value());
  ASSERT_EQ(HTTPEngine::sendFinish(url, init.session, content.size()).nStatusCode(), 200);

  // The change feed and the listing show it with the entry's identifier.
  const auto feed = HTTPEngine::getFileCompare(token_, "", kMountId, 0, true, 0, 0);
  ASSERT_EQ(feed.nStatusCode(), 200);
  ASSERT_EQ(feed.itemlist->size(), 2u);
  const CompareItem& added = feed.itemlist->back();
  EXPECT_EQ(added.strWebPath, "work/fox.txt");
  EXPECT_EQ(added.nCmd, CompareItem::kCmdAddOrChange);
  EXPECT_EQ(added.strHash, created.strHash);
  EXPECT_EQ(added.ullFileSize, content.size());
  const auto listing = HTTPEngine::getFileList(token_, "work", kMountId, "", "");
  ASSERT_EQ(listing.itemlist->size(), 1u);
  EXPECT_EQ(listing.itemlist->at(0).strFileHash, sha1HexDigest(content));

  // A ranged download by URL.
  const auto urls = HTTPEngine::getUrlByFileHash(token_, kMountId, added.strFileHash, added.strHash,
                                                 0, added.strWebPath, 0);
  ASSERT_EQ(urls.urls.size(), 1u);
  EXPECT_EQ(getRange(urls.urls[0], "bytes=4-8"), "quick");

  // Rename, move, delete, recover; the feed reports each in order.
  ASSERT_EQ(HTTPEngine::setFileRename(token_, "work/fox.txt", kMountId, "dog.txt").nStatusCode(), 200);
  ASSERT_EQ(HTTPEngine::setFileCreateFolder(token_, "done", kMountId, 0, 0).nStatusCode(), 200);
  ASSERT_EQ(HTTPEngine::setFileMove(token_, "work/dog.txt", kMountId, "done").nStatusCode(), 200);
  ASSERT_EQ(HTTPEngine::setFileDel(token_, "done/dog.txt", kMountId).nStatusCode(), 200);
  EXPECT_TRUE(HTTPEngine::getFileList(token_, "done", kMountId, "", "").itemlist->empty());
  const auto back = HTTPEngine::setFileRecover(token_, kMountId, {"done/dog.txt"});
  ASSERT_EQ(back.itemlist->size(), 1u);
  EXPECT_EQ(back.itemlist->at(0).strHash, created.strHash);

  const auto later = HTTPEngine::getFileCompare(token_, "", kMountId, feed.dateline, false, 0, feed.index);
  std::vector<std::string> seen;
  for (const auto& item : *later.itemlist) {
    seen.push_back(std::to_string(item.nCmd) + ":" + item.strWebPath +
                   (item.strWebPathTo.empty() ? "" : ">" + item.strWebPathTo));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"0:work/fox.txt>work/dog.txt", "1:done",
                                            "0:work/dog.txt>done/dog.txt", "0:done/dog.txt",
                                            "1:done/dog.txt"}));
  EXPECT_EQ(tree().find("done/dog.txt")->filehash, sha1HexDigest(content));
}

}  // namespace
}  // namespace nb
