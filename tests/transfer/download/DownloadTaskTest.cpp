// A download from start to end against the fake service: sources fetching
// at once, resume from the range index, the checks before the file is
// handed over, renewal of expired addresses, and the ways a download stops.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "transfer/download/DownloadTaskFixture.h"
#include "transfer/records/TransferRecords.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class DownloadTaskTest : public DownloadTaskFixture {
 protected:
  static void writeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
};

TEST_F(DownloadTaskTest, TwoSourcesFetchOneFileByteExact) {
  const std::string content = bytesOf(25 << 20);
  const std::string hash = putContent(content);
  downloads_->setAddressesPerAnswer(2);
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content) << "the saved file differs";
  std::set<int> served;
  for (const auto& hit : downloads_->hits()) {
    if (hit.status == 206 && hit.bytes > 0) served.insert(hit.address);
  }
  EXPECT_EQ(served, (std::set<int>{1, 2})) << "both addresses served ranges";
  EXPECT_FALSE(fs::exists(tempPath(hash)));
  EXPECT_FALSE(fs::exists(tempPath(hash) + ".tmp"));
  EXPECT_FALSE(cache->getFullPathByFileHash(hash).empty()) << "kept in the content cache";
  EXPECT_GE(lanQueries_.load(), 1);
  EXPECT_EQ(speedBytes_.load(), content.size());
}

struct ResumeCase {
  const char* name;
  std::string index;
  std::uint64_t firstFetched;  // no byte below this is asked for
};

class DownloadResumeTest : public DownloadTaskTest,
                           public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(DownloadResumeTest, StartsFromTheRangeIndex) {
  const ResumeCase& c = GetParam();
  const std::string content = bytesOf(3 << 20, 2);
  const std::string hash = putContent(content);
  // What an earlier, stopped task left: the first MiB and its index.
  writeFile(tempPath(hash), content.substr(0, 1 << 20));
  writeFile(tempPath(hash) + ".tmp", c.index);
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content);
  for (const auto& hit : downloads_->hits()) {
    ASSERT_TRUE(hit.first);
    EXPECT_GE(*hit.first, c.firstFetched);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadResumeTest,
    ::testing::Values(ResumeCase{"FirstMiBDone", "0-1048575", 1 << 20},
                      // More than the file: ignored, everything is fetched.
                      ResumeCase{"LargerThanTheFile", "0-99999999", 0},
                      // Ranges past the end are dropped, the rest is kept.
                      ResumeCase{"PastTheEnd", "0-1048575,90000000-90000009", 1 << 20},
                      // Claims two MiB while the file holds one: only one counts.
                      ResumeCase{"BeyondTheTemporaryFile", "0-2097151", 1 << 20}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(DownloadTaskTest, WrongContentFailsAndReplacesNothing) {
  const std::string content = bytesOf(100'000, 3);
  const std::string hash = putContent(content);
  downloads_->setBehaviour({.lying = true});
  writeFile(savePath(), "the user's own copy");
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFailed);
  EXPECT_EQ(errornum(item.nIndex), TransError::kFileCheck);
  EXPECT_EQ(errormsg(item.nIndex), "file error");
  EXPECT_EQ(readFile(savePath()), "the user's own copy");
  EXPECT_TRUE(fs::exists(tempPath(hash) + "_error"));
  EXPECT_FALSE(fs::exists(tempPath(hash)));
}

TEST_F(DownloadTaskTest, ExpiredAddressesAreRenewed) {
  const std::string content = bytesOf(5000, 4);
  const std::string hash = putContent(content);
  downloads_->setBehaviour({.expireAfter = 1});
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content);
  EXPECT_GE(api_.callsTo("/1/file/get_url_by_filehash").size(), 2u);
}

TEST_F(DownloadTaskTest, AddressesThatNeverServeAreRenewedOnlyAFewTimes) {
  const std::string content = bytesOf(5000, 5);
  const std::string hash = putContent(content);
  downloads_->setBehaviour({.expireAfter = 0});
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFailed);
  EXPECT_EQ(errornum(item.nIndex), TransError::kNoSource);
  EXPECT_EQ(errormsg(item.nIndex), "Timeout");
  EXPECT_EQ(api_.callsTo("/1/file/get_url_by_filehash").size(),
            static_cast<std::size_t>(DownloadTask::kMaxUrlRenewals));
}

TEST_F(DownloadTaskTest, ContentCacheShortcutTakesNoRequest) {
  const std::string content = bytesOf(70'000, 6);
  const std::string hash = putContent(content);
  const std::string plain = (root() / "plain.bin").string();
  writeFile(plain, content);
  ASSERT_TRUE(cache->addCacheFileByPath(plain, hash));
  const auto item = addRecord(hash, content.size(), savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content);
  EXPECT_TRUE(api_.callsTo("/1/file/get_url_by_filehash").empty());
  EXPECT_TRUE(downloads_->hits().empty());
}

TEST_F(DownloadTaskTest, VerifiedFileThatCannotBePlacedIsKeptForTheNextAttempt) {
  const std::string content = bytesOf(40'000, 7);
  const std::string hash = putContent(content);
  writeFile((root() / "blocker").string(), "a file where a folder should be");
  const auto item = addRecord(hash, content.size(), (root() / "blocker" / "f.bin").string());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), kTransWaiting);
  EXPECT_GT(static_cast<std::uint64_t>(number("select actlast from Download where id = ?",
                                              {item.nIndex})),
            platform::nowSeconds() + 50);
  const std::string ok = user->getranscache() + "/down_" + hash + "_ok";
  EXPECT_TRUE(readFile(ok) == content);

  // Next time the kept copy is placed without a request.
  const std::size_t asked = api_.callsTo("/1/file/get_url_by_filehash").size();
  auto retry = item;
  retry.strSavepath = savePath();
  exec("update Download set fullpath = ?, status = 1 where id = ?", {retry.strSavepath, item.nIndex});
  runTask(DownloadTask::make(retry, services()));
  EXPECT_EQ(status(item.nIndex), kTransFinished);
  EXPECT_TRUE(readFile(savePath()) == content);
  EXPECT_EQ(api_.callsTo("/1/file/get_url_by_filehash").size(), asked);
}

struct AddressFailure {
  const char* name;
  bool linked;
  std::int64_t status;
  std::int64_t errornum;
};

class DownloadAddressFailureTest : public DownloadTaskTest,
                                   public ::testing::WithParamInterface<AddressFailure> {};

TEST_P(DownloadAddressFailureTest, NoAnswerIsAServerTimeoutUnlessOffline) {
  const AddressFailure& c = GetParam();
  const std::string hash = putContent(bytesOf(1000, 8));
  api_.fail("/1/file/get_url_by_filehash", FakeFault::drop());
  linked_ = c.linked;
  const auto item = addRecord(hash, 1000, savePath());

  runTask(DownloadTask::make(item, services()));

  EXPECT_EQ(status(item.nIndex), c.status);
  EXPECT_EQ(errornum(item.nIndex), c.errornum);
  EXPECT_TRUE(fs::exists(tempPath(hash))) << "kept for a later resume";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadAddressFailureTest,
    ::testing::Values(AddressFailure{"Online", true, kTransFailed, TransError::kServerTimeout},
                      AddressFailure{"Offline", false, kTransWaiting, 0}),
    [](const auto& param) { return std::string(param.param.name); });

struct StopCase {
  const char* name;
  bool normal;
  bool remove;
  std::int64_t status;  // in the store afterwards
};

class DownloadStopTest : public DownloadTaskTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(DownloadStopTest, StopStoresWhereTheDownloadGotTo) {
  const StopCase& c = GetParam();
  const std::string hash = putContent(bytesOf(50'000, 9));
  downloads_->setBehaviour({.stall = true});
  const auto item = addRecord(hash, 50'000, savePath());
  auto task = DownloadTask::make(item, services());

  runTask(task, [&] {
    ASSERT_TRUE(downloads_->server().waitForRequests(1));
    if (c.normal) task->setBNormal(true);
    if (c.remove) {
      task->Delete();
    } else {
      task->Stop();
    }
  });

  EXPECT_EQ(status(item.nIndex), c.status);
  EXPECT_FALSE(fs::exists(savePath()));
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadStopTest,
                         ::testing::Values(StopCase{"ByUser", false, false, kTransStopped},
                                           StopCase{"ForADownloadToOpen", true, false,
                                                    kTransWaiting},
                                           // Deleted: the row is left to the deleter.
                                           StopCase{"Deleted", false, true, kTransRunning}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace nb::test
