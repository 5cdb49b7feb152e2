// Enterprise templates: the records of a refresh are stored and the missing
// files fetched by hash into the user's template folder; a file whose
// content does not match its hash, or a hash that cannot name a file, never
// lands there; two fetches of one hash leave one correct file.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "foundation/app/AppState.h"
#include "platform/AppFolders.h"
#include "platform/OperationQueue.h"
#include "stores/catalogue/Mountsdb.h"
#include "support/ScriptedHttpServer.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "transfer/templates/DownloadTemplateTask.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using transfer::DownloadTemplateTask;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EnterpriseTemplatesTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    // The template addresses lead to a server of the test's own, which can
    // send other bytes than the hash says.
    api_.on("POST", "/1/account/get_ent_tpl_url", [this](const test::FakeCall& call) {
      return test::FakeReply::json({{"url", files_.url("/tpl/" + call.param("filehash").value_or(""))}});
    });
    transfer::registerEnterpriseTemplates();
  }
  void TearDown() override {
    transfer::unregisterEnterpriseTemplates();
    release();
    SyncWorld::TearDown();
  }

  // Serves `bytes` as the template `hash`.
  void serve(const std::string& hash, const std::string& bytes) {
    files_.on("/tpl/" + hash, test::ScriptedReply::ok(bytes));
  }
  static nlohmann::json record(const std::string& hash, const std::string& name) {
    return {{"filehash", hash}, {"tpl_name", name}, {"ext", "docx"}, {"fullpath", "/" + name}};
  }
  static fs::path target(const std::string& hash) { return platform::templateFolder() / hash; }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  test::ScriptedHttpServer files_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool released_ = false;
  bool arrived_ = false;
};

TEST_F(EnterpriseTemplatesTest, ARefreshStoresTheRecordsAndFetchesOnlyMissingFiles) {
  const std::string fresh = "fresh template";
  const std::string present = "present template";
  const std::string freshHash = test::FakeDrive::contentHash(fresh);
  const std::string presentHash = test::FakeDrive::contentHash(present);
  drive_->setTemplates(12, nlohmann::json::array({record(freshHash, "a")}));
  drive_->setTemplates(40, nlohmann::json::array({record(presentHash, "b")}));
  serve(freshHash, fresh);
  fs::create_directories(platform::templateFolder());
  std::ofstream(target(presentHash)) << present;
  TemplateItem stale;
  stale.nEntID = 12;
  stale.strHash = freshHash;
  stale.strFullpath = "/old";
  Mountsdb::shareMountsdb().addTemplate(stale);

  center().getentstemplate("12,40,0");
  app().taskQueue()->waitUntilAllOperationsAreFinished();

  EXPECT_EQ(lastCall("/1/account/get_ent_tpl").param("ent_ids"), "12,40,0");
  EXPECT_EQ(readAll(target(freshHash)), fresh);
  EXPECT_EQ(callCount("/1/account/get_ent_tpl_url"), 1u);
  const auto stored = Mountsdb::shareMountsdb().getTemplates(12);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.front().strFullpath, "/a");
  EXPECT_EQ(Mountsdb::shareMountsdb().getTemplates(40).size(), 1u);
}

TEST_F(EnterpriseTemplatesTest, AnAnswerWithoutTemplatesKeepsTheStoredOnes) {
  TemplateItem kept;
  kept.nEntID = 12;
  kept.strHash = std::string(40, 'a');
  kept.strFullpath = "/kept";
  Mountsdb::shareMountsdb().addTemplate(kept);
  center().getentstemplate("12,0");
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(Mountsdb::shareMountsdb().getTemplates(12).size(), 1u);
}

TEST_F(EnterpriseTemplatesTest, ABodyWithAnotherHashStaysAsTheTemporaryFile) {
  const std::string hash = test::FakeDrive::contentHash("expected");
  serve(hash, "tampered");
  EXPECT_FALSE(DownloadTemplateTask(hash, 12).download());
  EXPECT_FALSE(fs::exists(target(hash)));
  EXPECT_EQ(readAll(target(hash).string() + ".tmp"), "tampered");
}

TEST_F(EnterpriseTemplatesTest, AHashThatCannotNameAFileWritesNothing) {
  for (const std::string& hash : {std::string("../x"), std::string(40, 'A'), std::string(39, 'a'), std::string(40, 'g')}) {
    serve(hash, "content");
    EXPECT_FALSE(DownloadTemplateTask(hash, 12).download()) << hash;
  }
  EXPECT_EQ(callCount("/1/account/get_ent_tpl_url"), 0u);
  EXPECT_TRUE(files_.requests().empty());
  EXPECT_FALSE(fs::exists(platform::configFolder() / "resources" / "x"));
}

TEST_F(EnterpriseTemplatesTest, AnExistingFileIsNotFetchedAgain) {
  const std::string hash = test::FakeDrive::contentHash("there");
  fs::create_directories(platform::templateFolder());
  std::ofstream(target(hash)) << "there";
  EXPECT_TRUE(DownloadTemplateTask(hash, 12).download());
  EXPECT_EQ(callCount("/1/account/get_ent_tpl_url"), 0u);
}

TEST_F(EnterpriseTemplatesTest, TwoTasksForOneHashLeaveOneCorrectFile) {
  const std::string body = "shared template";
  const std::string hash = test::FakeDrive::contentHash(body);
  // The first fetch is held at the server until the second task has run.
  files_.on("/tpl/" + hash, [this, body](const test::ScriptedRequest&) {
    std::unique_lock lock(mutex_);
    arrived_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    return test::ScriptedReply::ok(body);
  });
  bool first = false;
  std::thread fetching([&] { first = DownloadTemplateTask(hash, 12).download(); });
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return arrived_; });
  }
  EXPECT_FALSE(DownloadTemplateTask(hash, 40).download());
  release();
  fetching.join();
  EXPECT_TRUE(first);
  EXPECT_EQ(readAll(target(hash)), body);
  EXPECT_FALSE(fs::exists(target(hash).string() + ".tmp"));
  EXPECT_EQ(files_.requests().size(), 1u);
}

}  // namespace
}  // namespace nb
