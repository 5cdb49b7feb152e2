// The clipboard and screenshot page functions as pages call them, on the
// window double: what reaches the clipboard, the capture's answer when the
// user cancels, and the image chooser.

#include <future>
#include <thread>

#include "bridge/functions/PageWorld.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

class ClipboardPageCallsTest : public PageWorld {};

TEST_F(ClipboardPageCallsTest, CopiesTakeTheArgumentAsRawText) {
  EXPECT_EQ(run("gSetClipboardData", "{\"not\": parsed"), std::nullopt);
  EXPECT_EQ(ui->clipboard().text(), "{\"not\": parsed");

  EXPECT_EQ(run("gSetClipboardDataHtml", "<b>bold</b>"), std::nullopt);
  EXPECT_EQ(ui->clipboard().html(), "<html><body><b>bold</b></body></html>");
  EXPECT_EQ(ui->clipboard().text(), std::nullopt);
}

TEST_F(ClipboardPageCallsTest, ACancelledCaptureAnswersEmptyAndLeavesTheClipboard) {
  ui->clipboard().setText("kept");
  // The capture runs on the bridge queue while the main thread serves it.
  auto answer = std::async(std::launch::async, [&] { return run("gScreenshot", "{}"); });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return ui->screenCapture().pending() == 1; }));
  EXPECT_TRUE(ui->screenCapture().finish(false));
  ASSERT_TRUE(pumpMainThreadUntil(
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(answer.get(), "{}");
  EXPECT_EQ(ui->clipboard().text(), "kept");
  EXPECT_EQ(ui->clipboard().imageFile(), std::nullopt);
}

TEST_F(ClipboardPageCallsTest, TheImageChooserAnswersThePathOnTheBrowserWindow) {
  ui->dialogs().answerNextImage("/home/u/picture.png");
  EXPECT_EQ(run("gGetUserImagePath", "{}"), "/home/u/picture.png");
  // Cancelled: the empty answer, which the dispatcher turns into the status.
  EXPECT_EQ(run("gGetUserImagePath", "{}"), "");
  ASSERT_EQ(ui->dialogs().imageParents().size(), 2u);
  EXPECT_EQ(ui->dialogs().imageParents()[0], controller->window().get());
}

}  // namespace
}  // namespace nb::test
