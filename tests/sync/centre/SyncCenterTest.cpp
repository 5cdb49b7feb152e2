#include "sync/centre/SyncCenter.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/TempHome.h"

namespace nb {
namespace {

Dialog dialog(const std::string& id) {
  Dialog d;
  d.strDialogID = id;
  return d;
}

class SyncCenterTest : public test::TempHome {
 protected:
  void TearDown() override {
    center.exit();
    TempHome::TearDown();
  }
  std::string path() const { return (root() / "vemessage3.db").string(); }

  SyncCenter& center = SyncCenter::shareSyncCenter();
};

// Nothing needs registering: the session start opens the real store.
TEST_F(SyncCenterTest, SessionStartOpensTheMessageStoreAndTheEndClosesIt) {
  EXPECT_EQ(&SyncCenter::shareSyncCenter(), &center);
  EXPECT_EQ(center.messagedb(), nullptr);
  center.setinit(path(), false);
  // Set once the session's libraries are loaded, not by the start itself.
  EXPECT_FALSE(center.bInit());
  EXPECT_TRUE(center.bFirst());
  EXPECT_FALSE(center.bOut());
  const std::shared_ptr<MessageDb> store = center.messagedb();
  ASSERT_TRUE(store);
  store->addDialog(dialog("d1"));
  EXPECT_EQ(store->getDialog("d1").strDialogID, "d1");

  center.exit();
  EXPECT_TRUE(center.bOut());
  EXPECT_FALSE(center.bInit());
  EXPECT_EQ(center.messagedb(), nullptr);
}

// A holder of the old store (a page command under way) must not reopen the
// keyed file without its key after the session ended.
TEST_F(SyncCenterTest, ClosedMessageStoreRefusesLaterJobs) {
  center.setinit(path(), false);
  const std::shared_ptr<MessageDb> held = center.messagedb();
  held->addDialog(dialog("before"));
  center.exit();
  held->addDialog(dialog("after"));
  EXPECT_TRUE(held->getDialogs().empty());

  center.setinit(path(), false);  // the next session of the same user
  const auto dialogs = center.messagedb()->getDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].strDialogID, "before");
}

TEST_F(SyncCenterTest, FailedOpenLeavesNoStore) {
  center.setinit((root() / "no-folder" / "x.db").string(), false);
  EXPECT_EQ(center.messagedb(), nullptr);
  EXPECT_FALSE(center.bOut());
}

}  // namespace
}  // namespace nb
