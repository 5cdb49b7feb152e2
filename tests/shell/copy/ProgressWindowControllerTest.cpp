// The copy progress window over the copy windows double: its labels, its
// end at 100 %, and closes and cancels that stop one copy and no other.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/util/UtilDesktop.h"
#include "shell/copy/ProgressWindowController.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "support/FakeCopyWindows.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

// The main window only.
class MainOnly final : public AppWindows {
 public:
  explicit MainOnly(std::shared_ptr<LaunchpadWindowController> main) : main_(std::move(main)) {}
  std::shared_ptr<LoginWebWindowController> loginWindow(bool) override { return nullptr; }
  std::shared_ptr<LaunchpadWindowController> mainWindow(bool) override { return main_; }
  std::vector<std::shared_ptr<BrowserWebWindowController>> browserWindows() override { return {}; }
  void askQuit(bool, bool, std::int64_t, const std::function<void()>& quit) override { quit(); }

 private:
  std::shared_ptr<LaunchpadWindowController> main_;
};

class ProgressWindowControllerTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    pumpMainThread();
    main_ = std::make_shared<LaunchpadWindowController>(ui_->makeWebWindow({}));
    setAppWindows(std::make_shared<MainOnly>(main_));
  }
  void TearDown() override {
    for (std::size_t i = 0; i < windows_->progress().size(); ++i) {
      if (auto* window = windows_->progressWindow(i)) window->userClose();
    }
    pumpMainThread();
    setAppWindows(nullptr);
    TempHome::TearDown();
  }

  std::string at(const std::string& name) const { return (root() / name).string(); }
  // A job of one file of `size` bytes whose destination holds `present` bytes.
  std::shared_ptr<CopyJob> fileJob(const std::string& name, std::uint64_t size,
                                   std::size_t present) {
    std::ofstream(at(name), std::ios::binary) << std::string(present, 'x');
    CopyItem item;
    item.oldpath = "/home/user/" + name;
    item.newpath = at(name);
    item.webpath = "/lib/" + name;
    item.sumsize = size;
    return std::make_shared<CopyJob>(std::vector<CopyItem>{item});
  }
  bool closedWithin(std::size_t index) {
    return pumpMainThreadUntil([&] { return windows_->progress().at(index).closed; });
  }

  ScopedFakeUi ui_;
  ScopedFakeCopyWindows windows_;
  std::shared_ptr<LaunchpadWindowController> main_;
};

TEST_F(ProgressWindowControllerTest, LabelsNameOneFileOrCountTheItems) {
  const auto one = fileJob("a.txt", 10, 0);
  const ui::ProgressLabels single = ProgressWindowController::labelsFor(*one);
  EXPECT_EQ(single.title, "复制中");
  EXPECT_EQ(single.action, "正在拷贝［a.txt］");
  EXPECT_EQ(single.icon, Util::iconFromFileType("a.txt"));
  EXPECT_EQ(single.cancelTooltip, "取消复制");

  CopyJob three({CopyItem{}, CopyItem{}, CopyItem{}});
  EXPECT_EQ(ProgressWindowController::labelsFor(three).action, "正在拷贝3个项目");
}

TEST_F(ProgressWindowControllerTest, AnEmptyListOpensNoWindow) {
  EXPECT_EQ(ProgressWindowController::startCopy(std::make_shared<CopyJob>(std::vector<CopyItem>{})),
            nullptr);
  EXPECT_TRUE(windows_->progress().empty());
}

TEST_F(ProgressWindowControllerTest, AFinishedCopyClosesItsWindowAndGivesInputBack) {
  const auto job = fileJob("a.txt", 10, 4);
  ProgressWindowController::startCopy(job);
  ProgressRecord shown = windows_->progress().at(0);
  EXPECT_TRUE(shown.shown);
  EXPECT_EQ(shown.parent, main_->window().get());
  ASSERT_FALSE(shown.percents.empty());
  EXPECT_EQ(shown.percents.front(), std::nullopt) << "bar hidden until the first report";
  EXPECT_FALSE(main_->window()->inputEnabled());

  ASSERT_TRUE(pumpMainThreadUntil([&] {
    const auto percents = windows_->progress().at(0).percents;
    return percents.size() > 1 && percents.back() == 40;
  }));
  EXPECT_EQ(windows_->progress().at(0).lastText, "40 %");
  std::ofstream(at("a.txt"), std::ios::binary) << std::string(10, 'x');
  ASSERT_TRUE(closedWithin(0));
  EXPECT_EQ(windows_->progress().at(0).percents.back(), 100);
  EXPECT_TRUE(main_->window()->inputEnabled());
  EXPECT_FALSE(job->isCancelled()) << "closing after the end stops nothing";
}

TEST_F(ProgressWindowControllerTest, ClosingOneOfTwoCopiesStopsOnlyThatOne) {
  const auto first = fileJob("a.bin", 100, 0);
  const auto second = fileJob("b.bin", 100, 0);
  ProgressWindowController::startCopy(first);
  ProgressWindowController::startCopy(second);
  windows_->progressWindow(0)->userClose();
  EXPECT_TRUE(first->isCancelled());
  EXPECT_FALSE(second->isCancelled());
  EXPECT_FALSE(windows_->progress().at(1).closed);

  windows_->progressWindow(1)->pressCancel();
  EXPECT_TRUE(second->isCancelled());
  EXPECT_TRUE(windows_->progress().at(1).closed);
  EXPECT_TRUE(main_->window()->inputEnabled());
}

TEST_F(ProgressWindowControllerTest, AFailedItemStillEndsTheWindowAtHundred) {
  const auto job = fileJob("never.bin", 100, 0);  // the copy of it failed
  ProgressWindowController::startCopy(job);
  job->markDone();
  ASSERT_TRUE(closedWithin(0));
  EXPECT_EQ(windows_->progress().at(0).percents.back(), 100);
  EXPECT_FALSE(job->isCancelled());
}

}  // namespace
}  // namespace nb::test
