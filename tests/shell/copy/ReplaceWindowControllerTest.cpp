// The name-conflict question of saves into a local folder: numbered names,
// "apply to all", Stop, and callers on other threads, through the copy
// windows double.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "shell/copy/ReplaceWindowController.h"
#include "support/FakeCopyWindows.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

using transfer::SaveItem;

class ReplaceWindowControllerTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    pumpMainThread();  // this thread becomes main
    folder_ = (root() / "save").string();
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    pumpMainThread();
    TempHome::TearDown();
  }

  void put(const std::string& name) { std::ofstream(folder_ + "/" + name) << "old"; }
  static SaveItem item(const std::string& webpath, bool dir = false) {
    SaveItem saved;
    saved._mountid = 7;
    saved._webpath = webpath;
    saved._dir = dir;
    return saved;
  }
  // Three items whose names are all taken in the folder.
  std::vector<SaveItem> threeClashes() {
    for (const char* name : {"a.txt", "b.txt", "c"}) put(name);
    return {item("/docs/a.txt"), item("/docs/b.txt"), item("/docs/c")};
  }
  std::string at(const std::string& name) const { return folder_ + "/" + name; }

  static ui::ReplaceAnswer answer(std::int64_t button, bool all) { return {button, all}; }

  ScopedFakeCopyWindows windows_;
  std::string folder_;
};

TEST_F(ReplaceWindowControllerTest, KeepBothTakesTheFirstFreeNumberedName) {
  struct Case {
    std::vector<std::string> existing;
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"report.pdf", "report(2).pdf"}, "report.pdf", "report(3).pdf"},
      {{"notes"}, "notes", "notes(2)"},
      {{"archive.tar.gz"}, "archive.tar.gz", "archive.tar(2).gz"},
      {{".hidden"}, ".hidden", ".hidden(2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& name : c.existing) put(name);
    EXPECT_EQ(ReplaceWindowController::keepBothPath(folder_ + "/", c.name), at(c.expected));
  }
}

TEST_F(ReplaceWindowControllerTest, FreeTargetsPassWithoutAQuestion) {
  std::vector<SaveItem> items = {item("/docs/new.txt"), item("/docs/sub", true)};
  EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(items, folder_ + "/"));
  EXPECT_EQ(items[0]._fullpath, at("new.txt"));
  EXPECT_EQ(items[1]._fullpath, at("sub"));
  EXPECT_TRUE(windows_->asked().empty());
}

TEST_F(ReplaceWindowControllerTest, TheQuestionNamesTheItemAndHidesTheBoxForOneItem) {
  put("a.txt");
  std::vector<SaveItem> one = {item("/docs/a.txt")};
  windows_->answerNext(answer(ReplaceWindowController::kReplace, false));
  EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(one, folder_));
  ASSERT_EQ(windows_->asked().size(), 1u);
  const ui::ReplaceQuestion asked = windows_->asked()[0].question;
  EXPECT_NE(asked.message.find("a.txt"), std::string::npos) << asked.message;
  EXPECT_FALSE(asked.showApplyToAll);
  EXPECT_EQ(one[0]._fullpath, at("a.txt"));

  std::vector<SaveItem> three = threeClashes();
  windows_->answerNext(answer(ReplaceWindowController::kReplace, true));
  EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(three, folder_));
  EXPECT_TRUE(windows_->asked().back().question.showApplyToAll);
}

TEST_F(ReplaceWindowControllerTest, ApplyToAllAnswersEveryLaterClashOnce) {
  {
    SCOPED_TRACE("replace for all");
    std::vector<SaveItem> items = threeClashes();
    windows_->answerNext(answer(ReplaceWindowController::kReplace, true));
    EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(items, folder_));
    EXPECT_EQ(windows_->asked().size(), 1u);
    EXPECT_EQ(items[0]._fullpath, at("a.txt"));
    EXPECT_EQ(items[1]._fullpath, at("b.txt"));
    EXPECT_EQ(items[2]._fullpath, at("c"));
  }
  {
    SCOPED_TRACE("keep both for all");
    std::vector<SaveItem> items = threeClashes();
    windows_->answerNext(answer(ReplaceWindowController::kKeepBoth, true));
    EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(items, folder_));
    EXPECT_EQ(windows_->asked().size(), 2u);
    EXPECT_EQ(items[0]._fullpath, at("a(2).txt"));
    EXPECT_EQ(items[1]._fullpath, at("b(2).txt"));
    EXPECT_EQ(items[2]._fullpath, at("c(2)"));
  }
}

TEST_F(ReplaceWindowControllerTest, KeepBothWithoutTheBoxAsksAgain) {
  std::vector<SaveItem> items = threeClashes();
  for (int i = 0; i < 3; ++i) windows_->answerNext(answer(ReplaceWindowController::kKeepBoth, false));
  EXPECT_TRUE(ReplaceWindowController::pastefilesfrom(items, folder_));
  EXPECT_EQ(windows_->asked().size(), 3u);
  EXPECT_EQ(items[2]._fullpath, at("c(2)"));
}

TEST_F(ReplaceWindowControllerTest, StopAtTheSecondOfThreeKeepsTheFirstTarget) {
  std::vector<SaveItem> items = threeClashes();
  windows_->answerNext(answer(ReplaceWindowController::kKeepBoth, false));
  windows_->answerNext(answer(ReplaceWindowController::kStop, true));
  EXPECT_FALSE(ReplaceWindowController::pastefilesfrom(items, folder_));
  EXPECT_EQ(windows_->asked().size(), 2u);
  EXPECT_EQ(items[0]._fullpath, at("a(2).txt"));
  EXPECT_TRUE(items[2]._fullpath.empty());
}

TEST_F(ReplaceWindowControllerTest, ACallerOffTheMainThreadWaitsForTheAnswer) {
  std::vector<SaveItem> items = threeClashes();
  windows_->answerNext(answer(ReplaceWindowController::kKeepBoth, true));
  auto result = std::async(std::launch::async,
                           [&] { return ReplaceWindowController::pastefilesfrom(items, folder_); });
  ASSERT_TRUE(pumpMainThreadUntil([&] {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_TRUE(result.get());
  EXPECT_EQ(items[1]._fullpath, at("b(2).txt"));
}

TEST_F(ReplaceWindowControllerTest, WithoutCopyWindowsTheAnswerIsStop) {
  ui::setCopyWindows(nullptr);
  std::vector<SaveItem> items = threeClashes();
  EXPECT_FALSE(ReplaceWindowController::pastefilesfrom(items, folder_));
  ui::setCopyWindows(std::shared_ptr<ui::CopyWindows>(&*windows_, [](ui::CopyWindows*) {}));
}

}  // namespace
}  // namespace nb::test
