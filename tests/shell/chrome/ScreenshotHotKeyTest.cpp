// The screenshot hot key: its setting, which presses fire, and the capture.

#include <gtest/gtest.h>

#include <memory>

#include "shell/chrome/ScreenshotHotKey.h"
#include "support/FakeUi.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "support/RecordingWindowDirectory.h"

namespace nb::test {
namespace {

constexpr unsigned kCtrlShift = kHotKeyCtrl | kHotKeyShift;

class ScreenshotHotKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { pumpMainThread(); }
  std::uint64_t now() const { return clock_->wallSeconds(); }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClockOverride clockOverride_{clock_};
  AppDelegate app_{AppDelegate::Options{.resourceFolders = {"/nonexistent"}}};
};

TEST_F(ScreenshotHotKeyTest, SettingReadsModifiersInAnyCaseAndTheLastKey) {
  app_.SetHotKey({"CTRL", "Shift", "x", "A"});
  EXPECT_TRUE(app_.bCtrl());
  EXPECT_TRUE(app_.bShift());
  EXPECT_FALSE(app_.bAlt());
  EXPECT_FALSE(app_.bCommand());
  EXPECT_EQ(app_.hotKeyString(), "A");
  EXPECT_EQ(requiredHotKeyModifiers(app_), kCtrlShift);

  app_.SetHotKey({"alt", "command"});  // clears the previous setting
  EXPECT_FALSE(app_.bCtrl());
  EXPECT_FALSE(app_.bShift());
  EXPECT_EQ(requiredHotKeyModifiers(app_), kHotKeyAlt | kHotKeyCommand);
  EXPECT_EQ(app_.hotKeyString(), "");
}

TEST_F(ScreenshotHotKeyTest, WhichPressesFire) {
  struct Case {
    std::vector<std::string> setting;
    KeyPress press;
    std::int64_t sinceLastShot;  // seconds since the last screenshot ended
    bool fires;
  };
  const Case cases[] = {
      {{"ctrl", "shift", "a"}, {"a", kCtrlShift}, 100, true},
      {{"ctrl", "shift", "a"}, {"A", kCtrlShift}, 100, true},
      {{"ctrl", "shift", "a"}, {"a", kCtrlShift | kHotKeyAlt}, 100, false},
      {{"ctrl", "shift", "a"}, {"a", kHotKeyCtrl}, 100, false},
      {{"ctrl", "shift", "a"}, {"b", kCtrlShift}, 100, false},
      {{"ctrl", "shift", "a"}, {"a", kCtrlShift | 0x100}, 100, true},  // bits outside the mask
      {{"alt", "a"}, {"a", kHotKeyAlt}, 100, true},
      {{"alt", "a"}, {"a", kCtrlShift}, 100, false},
      {{"a"}, {"a", 0}, 100, false},             // no modifier
      {{"ctrl"}, {"", kHotKeyCtrl}, 100, false},  // no key
      {{"ctrl", "a"}, {"a", kHotKeyCtrl}, 0, false},  // the same second
      {{"ctrl", "a"}, {"a", kHotKeyCtrl}, 1, false},  // the next second
      {{"ctrl", "a"}, {"a", kHotKeyCtrl}, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.press.character << " " << std::hex << c.press.modifiers
                                    << std::dec << " after " << c.sinceLastShot);
    app_.SetHotKey(c.setting);
    app_.setUllScreenshotTime(now() - c.sinceLastShot);
    EXPECT_EQ(hotKeyFires(app_, c.press, now()), c.fires);
  }
}

class ScreenshotCaptureTest : public ScreenshotHotKeyTest {
 protected:
  void SetUp() override {
    ScreenshotHotKeyTest::SetUp();
    app_.SetHotKey({"ctrl", "shift", "a"});
  }
  bool press() { return hotKey_->keyDown({"a", kCtrlShift}); }
  std::vector<RecordingWindowDirectory::Sent> shortcuts() const {
    std::vector<RecordingWindowDirectory::Sent> found;
    for (const auto& s : directory_->sent()) {
      if (s.name == "gHaveShortcuts") found.push_back(s);
    }
    return found;
  }

  ScopedFakeUi ui_;
  ScopedWindowDirectory directory_;
  std::shared_ptr<ScreenshotHotKey> hotKey_ =
      std::make_shared<ScreenshotHotKey>(app_, ui_->screenCapture());
};

TEST_F(ScreenshotCaptureTest, APictureIsAnnouncedToTheMainPage) {
  ASSERT_TRUE(press());
  EXPECT_FALSE(press());  // a capture runs
  EXPECT_EQ(ui_->screenCapture().started(), 1);
  clock_->advance(std::chrono::seconds(5));
  ASSERT_TRUE(ui_->screenCapture().finish(true));
  pumpMainThread();
  EXPECT_EQ(app_.ullScreenshotTime(), now());
  EXPECT_EQ(shortcuts(), (std::vector<RecordingWindowDirectory::Sent>{{"gHaveShortcuts", "{}"}}));
}

TEST_F(ScreenshotCaptureTest, ACancelledCaptureAnnouncesNothingButStillCounts) {
  ASSERT_TRUE(press());
  ASSERT_TRUE(ui_->screenCapture().finish(false));
  pumpMainThread();
  EXPECT_TRUE(shortcuts().empty());
  EXPECT_EQ(app_.ullScreenshotTime(), now());
  EXPECT_FALSE(press());  // within the next second
  clock_->advance(std::chrono::seconds(2));
  EXPECT_TRUE(press());
  EXPECT_EQ(ui_->screenCapture().started(), 2);
}

}  // namespace
}  // namespace nb::test
