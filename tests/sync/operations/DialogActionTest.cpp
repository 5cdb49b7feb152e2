#include <filesystem>

#include <gtest/gtest.h>

#include "stores/messages/MessageDb.h"
#include "support/TempHome.h"
#include "sync/operations/DialogAction.h"
#include "sync/centre/SyncCenter.h"

namespace nb {
namespace {

class DialogAction : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::makeTempDir("dialogaction");
  }
  void TearDown() override {
    SyncCenter::shareSyncCenter().exit();
    std::filesystem::remove_all(dir_);
  }
  std::string path() const { return (dir_ / "vemessage3.db").string(); }
  std::string run(const char* cmd, const char* json) {
    return dialogAction(JsonValue(cmd), JsonValue(json), nullptr);
  }

  std::filesystem::path dir_;
};

TEST_F(DialogAction, ReachesTheSessionStoreOnly) {
  EXPECT_EQ(run("getdialogs", ""), R"({"list":[]})");
  EXPECT_EQ(run("getdialog", R"({"dialog_id":"d1"})"), "");

  SyncCenter::shareSyncCenter().setinit(path(), false);
  EXPECT_EQ(run("adddialog", R"({"id":"d1","name":"n"})"), "{}");
  EXPECT_EQ(SyncCenter::shareSyncCenter().messagedb()->getDialog("d1").strName, "n");
  EXPECT_NE(run("getdialog", R"({"dialog_id":"d1"})").find(R"("name":"n")"), std::string::npos);

  SyncCenter::shareSyncCenter().exit();
  EXPECT_EQ(run("adddialog", R"({"id":"d2"})"), "{}");
  EXPECT_EQ(run("getdialogs", ""), R"({"list":[]})");

  SyncCenter::shareSyncCenter().setinit(path(), false);  // the next session, same user
  const std::string all = run("getdialogs", "");
  EXPECT_NE(all.find(R"("id":"d1")"), std::string::npos);
  EXPECT_EQ(all.find(R"("id":"d2")"), std::string::npos);
}

}  // namespace
}  // namespace nb
