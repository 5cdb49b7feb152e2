#include "shell/copy/ReplaceWindowController.h"

#include <future>
#include <memory>
#include <utility>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/MainThread.h"
#include "shell/copy/NumberedName.h"
#include "shell/ui/CopyWindows.h"
#include "shell/windows/AppWindows.h"
#include "shell/windows/LaunchpadWindowController.h"

namespace nb {

namespace {

using platform::MainThread;

// The icon theme's name for folders (the type icons come from the theme too).
constexpr const char* kFolderIcon = "folder";

// The main window's window, when it exists. Main thread.
ui::WebWindow* mainWebWindow() {
  auto windows = currentAppWindows("name-conflict question");
  if (!windows) return nullptr;
  auto main = windows->mainWindow(false);
  return main ? main->window().get() : nullptr;
}

ui::ReplaceQuestion makeQuestion(const std::string& message, const std::string& icon,
                                 std::int64_t count) {
  ui::ReplaceQuestion question;
  question.message = message;
  question.icon = icon;
  question.showApplyToAll = count >= 2;
  question.applyToAllTitle = Util::localizedStringForKey("全部应用");
  question.keepBothTitle = Util::localizedStringForKey("保留两者");
  question.stopTitle = Util::localizedStringForKey("停止");
  question.replaceTitle = Util::localizedStringForKey("替换");
  return question;
}

}  // namespace

std::string ReplaceWindowController::keepBothPath(const std::string& folder,
                                                  const std::string& name) {
  for (std::int64_t n = 2;; ++n) {
    const std::string path = folder + numberedName(name, n);
    if (!Util::existfile(path) && !Util::checklinkdir(path)) return path;
  }
}

bool ReplaceWindowController::pastefilesfrom(std::vector<transfer::SaveItem>& items,
                                             const std::string& savepath) {
  const std::string folder = lastaddslash(savepath);
  bool applyToAll = false;
  std::int64_t remembered = kReplace;
  for (transfer::SaveItem& item : items) {
    const std::string name = getFilename(item._webpath);
    item._fullpath = folder + name;
    // A dangling link is taken too: saving onto it would write through it.
    if (!Util::existfile(item._fullpath) && !Util::checklinkdir(item._fullpath)) continue;
    if (applyToAll) {
      if (remembered == kKeepBoth) item._fullpath = keepBothPath(folder, name);
      continue;
    }
    ReplaceWindowController question(
        fillMarks(Util::localizedStringForKey(
                      "该位置已经存在名称为［%@］的项目，您要使用正在移动的项目替换它吗？"),
                  {name}),
        item._dir ? std::string(kFolderIcon) : Util::iconFromFileType(name),
        static_cast<std::int64_t>(items.size()));
    question.alertDisplay();
    switch (question.nButtonSelect()) {
      case kReplace:
        applyToAll = question.nApplyToAllStatus() != 0;
        remembered = kReplace;
        break;
      case kKeepBoth:
        item._fullpath = keepBothPath(folder, name);
        applyToAll = question.nApplyToAllStatus() != 0;
        remembered = kKeepBoth;
        break;
      default:
        return false;
    }
  }
  return true;
}

ReplaceWindowController::ReplaceWindowController(std::string text, std::string image,
                                                 std::int64_t count)
    : strMessage_(std::move(text)), imageFile_(std::move(image)), nCount_(count) {}

void ReplaceWindowController::alertDisplay() {
  // The check box starts cleared for every question.
  nApplyToAllStatus_ = 0;
  nButtonSelect_ = kStop;
  const ui::ReplaceQuestion question = makeQuestion(strMessage_, imageFile_, nCount_);
  ui::ReplaceAnswer answer;
  if (MainThread::isMainThread()) {
    auto windows = ui::currentCopyWindows("name-conflict question");
    if (!windows) return;
    answer = windows->runReplace(question, mainWebWindow());
  } else {
    auto promise = std::make_shared<std::promise<ui::ReplaceAnswer>>();
    std::future<ui::ReplaceAnswer> future = promise->get_future();
    const bool ran = MainThread::postAndWait([&] {
      auto windows = ui::currentCopyWindows("name-conflict question");
      if (!windows) {
        promise->set_value(ui::ReplaceAnswer{});
        return;
      }
      windows->askReplace(question, mainWebWindow(),
                          [promise](ui::ReplaceAnswer given) { promise->set_value(given); });
    });
    if (!ran) return;
    answer = future.get();
  }
  nButtonSelect_ = answer.button;
  nApplyToAllStatus_ = answer.applyToAll ? 1 : 0;
}

}  // namespace nb
