#include "shell/copy/ProgressWindowController.h"

#include <algorithm>
#include <vector>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/copy/ProgressManager.h"
#include "shell/ui/BundleImage.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/LaunchpadWindowController.h"

namespace nb {

namespace {

using platform::MainThread;

// The open windows' controllers; main thread only.
std::vector<std::shared_ptr<ProgressWindowController>>& openControllers() {
  static std::vector<std::shared_ptr<ProgressWindowController>> open;
  return open;
}

std::shared_ptr<LaunchpadWindowController> mainWindow() {
  auto windows = currentAppWindows("copy progress window");
  return windows ? windows->mainWindow(false) : nullptr;
}

std::string replaceNumber(std::string text, std::int64_t number) {
  const std::size_t at = text.find("%ld");
  if (at != std::string::npos) text.replace(at, 3, std::to_string(number));
  return text;
}

}  // namespace

ui::ProgressLabels ProgressWindowController::labelsFor(const CopyJob& job) {
  ui::ProgressLabels labels;
  labels.title = Util::localizedStringForKey("复制中");
  std::string fileName;
  if (job.items().size() == 1) {
    fileName = getFilename(job.items().front().oldpath);
    labels.action = fillMarks(Util::localizedStringForKey("正在拷贝［%@］"), {fileName});
  } else {
    labels.action = replaceNumber(Util::localizedStringForKey("正在拷贝%ld个项目"),
                                  static_cast<std::int64_t>(job.items().size()));
  }
  labels.icon = Util::iconFromFileType(fileName);
  labels.cancelImage = ui::bundleImagePath("bc_normal");
  labels.cancelPressedImage = ui::bundleImagePath("bc_hover");
  labels.cancelTooltip = Util::localizedStringForKey("取消复制");
  return labels;
}

std::shared_ptr<ProgressWindowController> ProgressWindowController::startCopy(
    std::shared_ptr<CopyJob> job) {
  if (!job || job->items().empty()) return nullptr;
  std::shared_ptr<ProgressWindowController> controller(
      new ProgressWindowController(std::move(job)));
  if (!controller->window_) return nullptr;
  openControllers().push_back(controller);
  controller->copyFile();
  controller->displayex();
  return controller;
}

ProgressWindowController::ProgressWindowController(std::shared_ptr<CopyJob> job)
    : job_(std::move(job)) {
  if (auto windows = ui::currentCopyWindows("copy progress window")) {
    window_ = windows->makeProgressWindow();
  }
}

ProgressWindowController::~ProgressWindowController() {
  if (cpyprogress_) cpyprogress_->stop();
}

void ProgressWindowController::copyFile() {
  std::weak_ptr<ProgressWindowController> weak = weak_from_this();
  window_->setHandlers({[weak] {
                          if (auto self = weak.lock()) self->buttonCancelClicked();
                        },
                        [weak] {
                          if (auto self = weak.lock()) self->windowClosed();
                        }});
  window_->setLabels(labelsFor(*job_));
  window_->setProgress(std::nullopt, "");
  cpyprogress_ = std::make_shared<CopyProgress>(job_);
  // Reports come on the monitor's thread; the window is changed on the
  // main thread only, and a report for a closed window is dropped.
  cpyprogress_->setProgressCallBack([weak](std::uint64_t percent) {
    MainThread::post([weak, percent] {
      if (auto self = weak.lock()) self->updateCopyProgress(percent);
    });
  });
  ProgressManager::sharedInstance().addProgress(cpyprogress_);
}

void ProgressWindowController::displayex() {
  auto main = mainWindow();
  // The main window swallows pointer input while the copy runs; keys pass.
  if (main) main->makeAble(false);
  window_->show(main ? main->window().get() : nullptr);
}

void ProgressWindowController::updateCopyProgress(std::uint64_t percent) {
  if (closed_) return;
  if (percent <= 100) {
    window_->setProgress(static_cast<std::int64_t>(percent), std::to_string(percent) + " %");
  }
  if (cpyprogress_ && cpyprogress_->isfinished()) window_->close();
}

void ProgressWindowController::buttonCancelClicked() {
  if (closed_) return;
  job_->cancel();
  window_->close();
}

void ProgressWindowController::windowClosed() {
  if (closed_) return;
  closed_ = true;
  if (auto main = mainWindow()) main->makeAble(true);
  myclear();
  // Released after this handler returns: the window object is still inside
  // its own close.
  auto& open = openControllers();
  const auto self = std::find(open.begin(), open.end(), shared_from_this());
  if (self != open.end()) {
    MainThread::post([kept = *self] {});
    open.erase(self);
  }
}

void ProgressWindowController::myclear() {
  if (cpyprogress_ && !cpyprogress_->isfinished()) job_->cancel();
  if (cpyprogress_) cpyprogress_->stop();
  cpyprogress_.reset();
}

}  // namespace nb
