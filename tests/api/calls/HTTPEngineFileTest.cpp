// The file calls against the fake service, which checks every signature, the
// order of every parameter list and the token.

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "support/FakeDriveFixture.h"

namespace nb {
namespace {

using test::FakeFault;
using test::FakeTreeError;

const std::vector<std::string> kNormal = {"token", "mount_id", "fullpath", "machine"};

std::vector<std::string> normalThen(std::initializer_list<std::string> rest) {
  std::vector<std::string> names = kNormal;
  names.insert(names.end(), rest);
  names.push_back("sign");
  return names;
}

class HTTPEngineFileTest : public test::FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    tree().addFolder("docs", user_.member());
  }
  std::string putDoc(const std::string& name, const std::string& bytes) {
    return drive_->putFile(kMountId, "docs/" + name, bytes).hash;
  }
};

TEST_F(HTTPEngineFileTest, CreateFolderSendsDatelinesOnlyWhenSet) {
  const auto plain = HTTPEngine::setFileCreateFolder(token_, "docs/a", kMountId, 0, 0);
  EXPECT_EQ(plain.nStatusCode(), 200);
  EXPECT_EQ(plain.nState, 1);
  EXPECT_EQ(plain.strHash, tree().find("docs/a")->hash);
  EXPECT_EQ(lastCall("/2/file/create_folder").paramNames(), normalThen({}));
  EXPECT_EQ(lastCall("/2/file/create_folder").param("machine"), kDevice);

  HTTPEngine::setFileCreateFolder(token_, "docs/b", kMountId, 11, 12);
  EXPECT_EQ(lastCall("/2/file/create_folder").paramNames(),
            normalThen({"create_dateline", "last_dateline"}));
  EXPECT_EQ(tree().find("docs/b")->createDateline, 11u);
}

TEST_F(HTTPEngineFileTest, CreateFileLeavesHashAndSizeOutOfTheSignature) {
  const std::string held = drive_->putContent("held");
  const auto complete = HTTPEngine::setFileCreateFile(token_, "docs/h.txt", kMountId, held, 4,
                                                      100, 0, 0);
  ASSERT_EQ(complete.nStatusCode(), 200) << complete.strErrorMsg();
  EXPECT_EQ(complete.nState, RetCreateFile::kStateComplete);
  EXPECT_TRUE(complete.arrayServers->empty());
  EXPECT_EQ(tree().find("docs/h.txt")->hash, complete.strHash);
  const auto call = lastCall("/2/file/create_file");
  EXPECT_EQ(call.paramNames(), normalThen({"dateline", "filehash", "filesize"}));
  EXPECT_EQ(call.signatureValid, true) << call.signatureProblem;

  const std::string unknown(40, 'c');
  const auto upload = HTTPEngine::setFileCreateFile(token_, "docs/u.txt", kMountId, unknown, 9,
                                                    100, 5, 6);
  EXPECT_EQ(upload.nState, 0);
  EXPECT_EQ(upload.arrayServers, std::vector<std::string>{storage_->baseUrl()});
  EXPECT_EQ(upload.strStoragePoint, storage_->storagePoint());
  EXPECT_FALSE(tree().find("docs/u.txt").has_value());
  EXPECT_TRUE(drive_->pending(upload.strHash).has_value());
}

TEST_F(HTTPEngineFileTest, CreateFileWithoutHashSendsNothingAndBadHashIsRefused) {
  const auto none = HTTPEngine::setFileCreateFile(token_, "docs/x", kMountId, std::nullopt, 1, 1, 0, 0);
  EXPECT_EQ(none.nStatusCode(), RequestRet::kNoFileHash);
  EXPECT_EQ(callCount("/2/file/create_file"), 0u);
  const auto empty = HTTPEngine::setFileCreateFile(token_, "docs/x", kMountId, "", 1, 1, 0, 0);
  EXPECT_EQ(callCount("/2/file/create_file"), 1u);
  EXPECT_EQ(empty.nStatusCode(), 400);
  EXPECT_EQ(empty.nErrorCode(), test::FakeDrive::kBadParameter);
}

TEST_F(HTTPEngineFileTest, InfoOpenAndListReadTheEntry) {
  const std::string hash = putDoc("a.txt", "abc");
  const auto info = HTTPEngine::getFileInfo(token_, "docs/a.txt", kMountId, "", 0);
  ASSERT_EQ(info.nStatusCode(), 200);
  ASSERT_TRUE(info.pItem.has_value());
  EXPECT_EQ(info.pItem->strHash, hash);
  EXPECT_EQ(info.pItem->ullFileSize, 3u);
  EXPECT_EQ(lastCall("/2/file/info").paramNames(), normalThen({}));
  HTTPEngine::getFileInfo(token_, "docs/a.txt", kMountId, "v1", 2);
  EXPECT_EQ(lastCall("/2/file/info").paramNames(), normalThen({"hid", "stat"}));

  const auto open = HTTPEngine::getFileOpen(token_, "docs/a.txt", kMountId, "", 0);
  EXPECT_EQ(open.nStatusCode(), 200);
  EXPECT_EQ(open.strUuidHash, hash);
  EXPECT_EQ(open.urlArray->size(), 1u);
  EXPECT_EQ(lastCall("/2/file/open").method, "GET");

  const auto list = HTTPEngine::getFileList(token_, "docs", kMountId, "", "");
  ASSERT_EQ(list.itemlist->size(), 1u);
  EXPECT_EQ(list.itemlist->at(0).strWebPath, "docs/a.txt");
  EXPECT_EQ(lastCall("/1/file/ls").param("size"), "5000");
  HTTPEngine::getFileList(token_, "docs", kMountId, "m1", "d1");
  EXPECT_EQ(lastCall("/1/file/ls").paramNames(),
            normalThen({"start", "size", "message_id", "dialog_id"}));
}

TEST_F(HTTPEngineFileTest, OpenGivesUpAtItsOwnTimeOut) {
  putDoc("a.txt", "abc");
  api_.fail("/2/file/open", FakeFault::slow(std::chrono::milliseconds(3000)).times(1));
  const auto open = HTTPEngine::getFileOpen(token_, "docs/a.txt", kMountId, "", 1);
  EXPECT_EQ(open.nStatusCode(), RequestRet::kNoResponse);
}

TEST_F(HTTPEngineFileTest, EditsChangeTheServerTree) {
  putDoc("a.txt", "abc");
  EXPECT_EQ(HTTPEngine::setFileRename(token_, "docs/a.txt", kMountId, "b.txt").nStatusCode(), 200);
  tree().addFolder("arch", user_.member());
  EXPECT_EQ(HTTPEngine::setFileMove(token_, "docs/b.txt", kMountId, "arch").nStatusCode(), 200);
  EXPECT_EQ(lastCall("/1/file/move").param("target_mount_id"), std::to_string(kMountId));
  EXPECT_EQ(HTTPEngine::setFileLock(token_, "arch/b.txt", kMountId, "lock").nStatusCode(), 200);
  EXPECT_EQ(tree().find("arch/b.txt")->lockMemberId, user_.memberId);
  HTTPEngine::setFileLock(token_, "arch/b.txt", kMountId, "unlock");
  EXPECT_EQ(HTTPEngine::setFileDel(token_, "arch/b.txt", kMountId).nStatusCode(), 200);
  EXPECT_FALSE(tree().find("arch/b.txt").has_value());
}

TEST_F(HTTPEngineFileTest, RecoverJoinsPathsWithABar) {
  putDoc("a", "1");
  tree().addFolder("b/c", user_.member());
  tree().remove("docs/a", user_.member());
  tree().remove("b/c", user_.member());
  const auto ret = HTTPEngine::setFileRecover(token_, kMountId, {"docs/a", "b/c"});
  ASSERT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(ret.itemlist->size(), 2u);
  const auto call = lastCall("/1/file/recover");
  EXPECT_NE(call.body.find("fullpaths=docs%2Fa%7Cb%2Fc"), std::string::npos) << call.body;
  EXPECT_EQ(call.paramNames(),
            (std::vector<std::string>{"token", "mount_id", "fullpaths", "machine", "sign"}));
}

TEST_F(HTTPEngineFileTest, RevertBringsBackAVersion) {
  putDoc("a", "one");
  putDoc("a", "two");
  const auto first = tree().versions("docs/a").front();
  const auto ret = HTTPEngine::setFileRevert(token_, "docs/a", kMountId, first.hid);
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(tree().find("docs/a")->filehash, first.filehash);
}

TEST_F(HTTPEngineFileTest, CompareSendsInitOnlyForAFirstPass) {
  putDoc("a", "1");
  const auto first = HTTPEngine::getFileCompare(token_, "", kMountId, 0, true, 0, 0);
  ASSERT_EQ(first.nStatusCode(), 200);
  EXPECT_EQ(lastCall("/1/file/compare").paramNames(), normalThen({"dateline", "id", "init"}));
  ASSERT_EQ(first.itemlist->size(), 2u);
  EXPECT_EQ(first.itemlist->back().strWebPath, "docs/a");
  const auto next = HTTPEngine::getFileCompare(token_, "", kMountId, first.dateline, false, 0,
                                               first.index);
  EXPECT_EQ(lastCall("/1/file/compare").paramNames(), normalThen({"dateline", "id"}));
  EXPECT_TRUE(next.itemlist->empty());
  EXPECT_EQ(next.index, first.index);
}

TEST_F(HTTPEngineFileTest, DownloadUrlsLeaveOutEmptyHashAndPath) {
  const std::string filehash = drive_->putContent("content");
  const auto ret = HTTPEngine::getUrlByFileHash(token_, kMountId, filehash, "", 0, "", 0);
  ASSERT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(ret.filesize, 7u);
  EXPECT_EQ(ret.urls, std::vector<std::string>{storage_->downloadUrl(filehash)});
  EXPECT_EQ(lastCall("/1/file/get_url_by_filehash").paramNames(),
            (std::vector<std::string>{"token", "mount_id", "filehash", "stat", "sign"}));
  HTTPEngine::getUrlByFileHash(token_, kMountId, filehash, "u", 0, "docs/a", 3);
  EXPECT_EQ(lastCall("/1/file/get_url_by_filehash").paramNames(),
            (std::vector<std::string>{"token", "mount_id", "filehash", "hash", "fullpath", "stat",
                                      "sign"}));
}

// Every call against an entry the server does not have answers the service's
// refusal, read into the result.
TEST_F(HTTPEngineFileTest, MissingEntriesGiveTheServiceError) {
  const int notFound = test::FakeLibraryTree::errorCode(FakeTreeError::NotFound);
  const std::vector<std::pair<const char*, std::function<RequestRet()>>> calls = {
      {"info", [&] { return HTTPEngine::getFileInfo(token_, "none", kMountId, "", 0); }},
      {"open", [&] { return HTTPEngine::getFileOpen(token_, "none", kMountId, "", 0); }},
      {"del", [&] { return HTTPEngine::setFileDel(token_, "none", kMountId); }},
      {"rename", [&] { return HTTPEngine::setFileRename(token_, "none", kMountId, "x"); }},
      {"move", [&] { return HTTPEngine::setFileMove(token_, "none", kMountId, "docs"); }},
      {"lock", [&] { return HTTPEngine::setFileLock(token_, "none", kMountId, "lock"); }},
      {"ls", [&] { return HTTPEngine::getFileList(token_, "none", kMountId, "", ""); }},
      {"compare", [&] { return HTTPEngine::getFileCompare(token_, "none", kMountId, 0, true, 0, 0); }},
      {"revert", [&] { return HTTPEngine::setFileRevert(token_, "none", kMountId, "h"); }},
      {"url", [&] { return HTTPEngine::getUrlByFileHash(token_, kMountId, std::string(40, 'e'), "", 0, "", 0); }},
      {"folder", [&] { return HTTPEngine::setFileCreateFolder(token_, "no/such", 99, 0, 0); }},
  };
  for (const auto& [name, run] : calls) {
    const RequestRet ret = run();
    EXPECT_GE(ret.nStatusCode(), 400) << name;
    EXPECT_TRUE(ret.nErrorCode() == notFound || ret.nErrorCode() == test::FakeDrive::kNoLibrary)
        << name << " " << ret.nErrorCode();
  }
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(HTTPEngineFileTest, ExpiredTokenIsRefreshedAndTheCallRepeated) {
  api_.tokens().expire(token_);
  const auto ret = HTTPEngine::setFileCreateFolder(token_, "docs/n", kMountId, 0, 0);
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(callCount("/2/file/create_folder"), 2u);
  api_.fail("/1/file/del", FakeFault::errorCode(40101, 401));
  const auto refused = HTTPEngine::setFileDel(token_, "docs/n", kMountId);
  EXPECT_EQ(refused.nErrorCode(), 40101);
  EXPECT_EQ(callCount("/1/file/del"), 4u);
}

}  // namespace
}  // namespace nb
