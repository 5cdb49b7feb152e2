#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "api/models/MountItem.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "support/SyncWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// Holds the library list answer until the test opens it.
class Gate {
 public:
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    reached_ = false;
  }
  void open() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    cv_.notify_all();
  }
  void pass() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return !closed_; });
  }
  void waitReached() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return reached_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool closed_ = false;
  bool reached_ = false;
};

// The server's enterprise and library lists are set by each test; the
// catalogue starts with the libraries the test stores.
class CatalogueRefreshTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    for (const auto& mount : Mountsdb::shareMountsdb().getMounts()) {
      Mountsdb::shareMountsdb().removeByMountID(mount.nMountID);
    }
    api_.on("POST", "/1/account/mount", [this](const test::FakeCall&) {
      gate.pass();
      std::lock_guard lock(mutex_);
      return test::FakeReply::json({{"list", serverLibraries_}});
    });
    api_.on("POST", "/1/account/ent", [this](const test::FakeCall&) {
      std::lock_guard lock(mutex_);
      return test::FakeReply::json({{"list", serverEnts_}});
    });
    center().setEntsTemplateRefresh([this](const std::string& ids) {
      std::lock_guard lock(mutex_);
      templateCalls_.push_back(ids);
    });
  }
  void TearDown() override {
    gate.open();
    center().setEntsTemplateRefresh(nullptr);
    SyncWorld::TearDown();
  }

  static nlohmann::json library(int64_t id, const std::string& name) {
    return {{"mount_id", id}, {"org_id", id + 100}, {"org_name", name}, {"ent_id", 12},
            {"member_type", 1}, {"org_type", 0}};
  }
  void setServer(std::vector<nlohmann::json> libraries) {
    std::lock_guard lock(mutex_);
    serverLibraries_ = libraries;
  }
  void setEnts(std::vector<nlohmann::json> ents) {
    std::lock_guard lock(mutex_);
    serverEnts_ = ents;
  }
  // Stores the library as an earlier refresh would have.
  static void store(const nlohmann::json& json) {
    MountItem item;
    item.setValueWithJson(*objectFromJSONString(json.dump()));
    Mountsdb::shareMountsdb().addMount(item);
  }
  static std::string info(const nlohmann::json& json) {
    MountItem item;
    item.setValueWithJson(*objectFromJSONString(json.dump()));
    return item.strInfo;
  }
  std::set<int64_t> managerIds() {
    std::set<int64_t> ids;
    for (const auto& manager : center().synclist()) ids.insert(manager->_nMountID());
    return ids;
  }
  std::vector<std::string> events(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& event : app().pageEvents()) {
      if (event.name() == name) out.push_back(event.detail());
    }
    return out;
  }
  std::vector<std::string> resets() {
    std::vector<std::string> out;
    for (const auto& call : app().calls()) {
      if (call.name == "gCompareNotifyReset") out.push_back(call.argument);
    }
    return out;
  }
  std::string libraryFolder(int64_t id) {
    return UserData::shareUserData().getuserfolderpath() + "/" + std::to_string(id);
  }
  void refreshNow() {
    center().setBRegetServer(true);
    runCoordinatorPass();
  }

  Gate gate;
  std::mutex mutex_;
  std::vector<nlohmann::json> serverLibraries_;  // guarded by mutex_
  std::vector<nlohmann::json> serverEnts_;       // guarded by mutex_
  std::vector<std::string> templateCalls_;       // guarded by mutex_
};

TEST_F(CatalogueRefreshTest, FirstRefreshMakesManagersWithoutLibraryEvents) {
  store(library(1, "One"));
  store(library(2, "Two"));
  setServer({library(1, "One"), library(2, "Two"), library(3, "Three")});
  runCoordinatorPass();

  EXPECT_EQ(managerIds(), (std::set<int64_t>{1, 2, 3}));
  EXPECT_TRUE(events("AddOrgObject").empty());
  EXPECT_TRUE(events("EditOrgObject").empty());
  EXPECT_TRUE(events("RemoveOrgObject").empty());
  EXPECT_EQ(resets(), std::vector<std::string>{R"({"add":[],"delete":[]})"});
  EXPECT_EQ(Mountsdb::shareMountsdb().getMountByMountID(3).strOrgName, "Three");
  EXPECT_TRUE(center().bInit());
  EXPECT_FALSE(center().bFirst());
  EXPECT_EQ(app().count("initFavoriteClear"), 1u);
}

TEST_F(CatalogueRefreshTest, LaterRefreshSendsEditRemoveAndAdd) {
  store(library(1, "One"));
  store(library(2, "Two"));
  setServer({library(1, "One"), library(2, "Two")});
  runCoordinatorPass();
  ASSERT_EQ(managerIds(), (std::set<int64_t>{1, 2}));
  ASSERT_TRUE(fs::exists(libraryFolder(1)));
  app().clear();
  network().clear();

  setServer({library(2, "Two renamed"), library(4, "Four")});
  refreshNow();

  EXPECT_EQ(events("EditOrgObject"), std::vector<std::string>{info(library(2, "Two renamed"))});
  EXPECT_EQ(events("RemoveOrgObject"), std::vector<std::string>{R"({"mount_id":1})"});
  // Once from the diff, once when its manager is made.
  EXPECT_EQ(events("AddOrgObject"),
            (std::vector<std::string>{info(library(4, "Four")), info(library(4, "Four"))}));
  EXPECT_EQ(resets(), std::vector<std::string>{R"({"add":[4],"delete":[1]})"});
  EXPECT_EQ(managerIds(), (std::set<int64_t>{2, 4}));
  EXPECT_FALSE(fs::exists(libraryFolder(1)));
  EXPECT_EQ(Mountsdb::shareMountsdb().getMountByMountID(1).nMountID, -1);
  EXPECT_EQ(network().count("ClearTrans"), 1u);

  // Nothing changed: no library event, no reset.
  app().clear();
  refreshNow();
  EXPECT_TRUE(events("EditOrgObject").empty());
  EXPECT_TRUE(events("AddOrgObject").empty());
  EXPECT_TRUE(resets().empty());
}

TEST_F(CatalogueRefreshTest, FailedLibraryListKeepsTheStoredCatalogue) {
  store(library(1, "One"));
  api_.fail("/1/account/mount", test::FakeFault::bareStatus(500));
  runCoordinatorPass();
  EXPECT_EQ(managerIds(), (std::set<int64_t>{1}));
  EXPECT_TRUE(resets().empty());
  EXPECT_TRUE(fs::exists(libraryFolder(1)));
}

TEST_F(CatalogueRefreshTest, EnterpriseEventsAlsoInTheFirstRefresh) {
  const nlohmann::json ent12 = {{"ent_id", 12}, {"ent_name", "A"}};
  const nlohmann::json ent40 = {{"ent_id", 40}, {"ent_name", "B"}};
  setEnts({ent12, ent40});
  runCoordinatorPass();
  EXPECT_EQ(events("AddEntObject").size(), 2u);
  {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(templateCalls_, std::vector<std::string>{"12,40,0"});
  }
  app().clear();

  setEnts({ent12, {{"ent_id", 40}, {"ent_name", "B2"}}});
  refreshNow();
  EXPECT_TRUE(events("AddEntObject").empty());
  EXPECT_EQ(events("EditEntObject").size(), 1u);

  app().clear();
  setEnts({ent12});
  refreshNow();
  EXPECT_EQ(events("RemoveEntObject").size(), 1u);
  EXPECT_TRUE(events("EditEntObject").empty());
  EXPECT_EQ(Mountsdb::shareMountsdb().getEnts().size(), 1u);
}

TEST_F(CatalogueRefreshTest, RemovingAnUnknownOrganisationDeletesNothing) {
  store(library(1, "One"));
  setServer({library(1, "One")});
  runCoordinatorPass();
  // Library 0's folder holds the centre's own transfer cache.
  fs::create_directories(libraryFolder(0) + "/cache");
  network().clear();

  EXPECT_TRUE(center().removemount(999));
  EXPECT_TRUE(fs::exists(libraryFolder(0) + "/cache"));
  EXPECT_EQ(network().count("ClearTrans"), 0u);
  EXPECT_EQ(managerIds(), (std::set<int64_t>{1}));

  EXPECT_TRUE(center().removemount(101));
  EXPECT_TRUE(managerIds().empty());
  EXPECT_FALSE(fs::exists(libraryFolder(1)));
  EXPECT_EQ(network().count("ClearTrans"), 1u);
  EXPECT_EQ(Mountsdb::shareMountsdb().getMountByMountID(1).nMountID, -1);
}

TEST_F(CatalogueRefreshTest, RacingCreationsMakeOneManager) {
  store(library(5, "Five"));
  const MountItem mount = Mountsdb::shareMountsdb().getMountByMountID(5);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] { center().createmount(mount); });
  }
  center().loadmounts();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(center().synclist().size(), 1u);
}

TEST_F(CatalogueRefreshTest, RefreshRunningAtSignOutRegistersNothingInTheNextSession) {
  store(library(1, "One"));
  setServer({library(1, "One"), library(2, "Two")});
  gate.close();
  std::thread pass([&] { center().coordinatorPass(); });
  gate.waitReached();

  center().exit();
  center().setinit(UserData::shareUserData().getMessageDb(), /*coordinatorThread=*/false);
  gate.open();
  pass.join();

  EXPECT_TRUE(center().synclist().empty());
  EXPECT_TRUE(center().bFirst());
  EXPECT_FALSE(center().bInit());
}

}  // namespace
}  // namespace nb
