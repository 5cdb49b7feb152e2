// The status item: which picture, text, badge and menu it shows.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "api/server/ServerInfo.h"
#include "shell/chrome/StatusItemView.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

TEST(StatusStateTest, ChoiceOrder) {
  using S = StatusState;
  struct Case {
    bool link, login;
    std::int64_t all, running;
    S state;
  };
  const Case cases[] = {
      {false, true, 3, 1, S::Unreachable}, {true, false, 3, 1, S::Reachable},
      {true, true, 0, 1, S::Idle},         {true, true, 3, 1, S::Running},
      {true, true, 3, 0, S::Queued},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseStatusState(c.link, c.login, c.all, c.running), c.state)
        << c.link << c.login << c.all << c.running;
  }
}

class StatusImagesTest : public TempHome {
 protected:
  void put(const std::string& relative) {
    const auto file = root() / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "x";
  }
  std::string at(const std::string& relative) const { return (root() / relative).string(); }
  void putProgramImages() {
    for (const char* name : {"statusNoneIcon", "statusLink", "statusFinishIcon",
                             "statusTransIcon", "statusSyncBg", "statusSyncMv"}) {
      put(std::string("install/image/") + name + ".tiff");
    }
  }
  StatusImages find() const { return StatusImages::find({root() / "user", root() / "install"}); }
};

TEST_F(StatusImagesTest, TheProgramsOwnWithoutReplacements) {
  putProgramImages();
  const StatusImages images = find();
  EXPECT_EQ(images.unlink, at("install/image/statusNoneIcon.tiff"));
  EXPECT_EQ(images.trans, at("install/image/statusTransIcon.tiff"));
  EXPECT_EQ(images.syncMv, at("install/image/statusSyncMv.tiff"));
}

TEST_F(StatusImagesTest, AReplacedIdlePictureAlsoStandsForQueuedTransfers) {
  putProgramImages();
  put("install/config/image/statusFinishIcon.tiff");
  put("user/config/image/statusLink.png");
  put("user/config/image/statusSyncBg.tiff");  // not replaceable
  StatusImages images = find();
  EXPECT_EQ(images.finish, at("install/config/image/statusFinishIcon.tiff"));
  EXPECT_EQ(images.trans, at("install/config/image/statusFinishIcon.tiff"));
  EXPECT_EQ(images.link, at("user/config/image/statusLink.png"));
  EXPECT_EQ(images.syncBg, at("install/image/statusSyncBg.tiff"));

  put("install/config/image/statusTransIcon.tiff");
  images = find();
  EXPECT_EQ(images.trans, at("install/config/image/statusTransIcon.tiff"));
}

TEST_F(StatusImagesTest, APngGoesBeforeATiffOfTheSameName) {
  put("install/image/statusLink.tiff");
  put("install/image/statusLink.png");
  EXPECT_EQ(find().link, at("install/image/statusLink.png"));
  EXPECT_EQ(find().unlink, "");  // missing: nothing to show
}

class StatusItemViewTest : public StatusImagesTest {
 protected:
  void SetUp() override {
    StatusImagesTest::SetUp();
    state_->setLanguage("zh-cn");
    putProgramImages();
    view_ = std::make_unique<StatusItemView>(
        app_, ui_->makeStatusItem("nubren"),
        StatusMenuActions{.open = [this] { ++opened_; }},
        StatusItemView::Options{{root() / "user", root() / "install"}});
    item_ = ui_->statusItem();
  }
  std::string image(const char* name) const { return at(std::string("install/image/") + name + ".tiff"); }

  ScopedAppState state_;  // the menus' language
  ScopedFakeUi ui_;
  AppDelegate app_{AppDelegate::Options{.resourceFolders = {"/nonexistent"}}};
  std::unique_ptr<StatusItemView> view_;
  std::shared_ptr<FakeStatusItem> item_;
  int opened_ = 0;
};

TEST_F(StatusItemViewTest, ThePictureFollowsTheStateAndChangesOnlyWithIt) {
  EXPECT_EQ(item_->image(), image("statusLink"));  // reachable, not signed in
  EXPECT_TRUE(item_->monochrome());
  const int changes = item_->imageChanges();
  view_->handleTimer();
  EXPECT_EQ(item_->imageChanges(), changes);

  app_.setBLoginFinish(true);
  view_->handleTimer();
  EXPECT_EQ(item_->image(), image("statusFinishIcon"));
  app_.setNAllTransCount(2);
  view_->handleTimer();
  EXPECT_EQ(item_->image(), image("statusTransIcon"));
  app_.setNTransCount(1);
  view_->handleTimer();
  EXPECT_TRUE(item_->spinning());
  EXPECT_EQ(item_->image(), image("statusSyncBg") + " + " + image("statusSyncMv"));
  app_.setBLinkNetwork(false);
  view_->handleTimer();
  EXPECT_FALSE(item_->spinning());
  EXPECT_EQ(item_->image(), image("statusNoneIcon"));
}

TEST_F(StatusItemViewTest, ADeploymentsPicturesKeepTheirColours) {
  auto info = std::make_shared<ServerInfo>(ServerInfo::Folders{});
  info->setStrSource("acme");
  app_.setServerInfo(info);
  view_->handleTimer();
  EXPECT_FALSE(item_->monochrome());
  EXPECT_EQ(item_->image(), image("statusLink"));
}

TEST_F(StatusItemViewTest, MessageCountTextAndBadge) {
  struct Case {
    const char* json;
    const char* label;
    std::int64_t badge;
  };
  const Case cases[] = {
      {R"({"count":5})", "5", 5},      {R"({"count":99})", "99", 99},
      {R"({"count":100})", "99+", 100}, {R"({"count":0})", "", 0},
      {R"({"count":7})", "7", 7},      {"7", "7", 7},  // not an object: unchanged
      {"[1]", "7", 7},                 {R"({"count":-3})", "-3", -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    app_.gSetMessageCount(c.json);
    view_->handleTimer();
    EXPECT_EQ(item_->label(), c.label);
    EXPECT_EQ(item_->badgeCount(), c.badge);
  }
}

TEST_F(StatusItemViewTest, NormalAndLockedMenus) {
  EXPECT_EQ(item_->menuTitles(), (std::vector<std::string>{"打开", "设置", "锁屏", "退出Nubren"}));
  EXPECT_TRUE(item_->activate("打开"));
  EXPECT_TRUE(item_->activate("设置"));  // no action registered: logged, nothing else
  view_->setLockScreenDone();
  EXPECT_TRUE(view_->lockedMenu());
  EXPECT_EQ(item_->menuTitles(), (std::vector<std::string>{"解锁", "注销", "退出Nubren"}));
  EXPECT_TRUE(item_->activate("解锁"));
  EXPECT_EQ(opened_, 2);
  view_->setUnlockScreenDone();
  EXPECT_FALSE(view_->lockedMenu());
  EXPECT_EQ(item_->menuTitles().size(), 4u);
}

}  // namespace
}  // namespace nb::test
