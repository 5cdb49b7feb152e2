#include "shell/chrome/StatusItemView.h"

#include <system_error>

#include "api/server/ServerInfo.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"

namespace nb {

namespace {

std::string findImage(const std::vector<std::filesystem::path>& folders, const std::string& base) {
  for (const auto& folder : folders) {
    for (const char* extension : {".png", ".tiff", ".icns"}) {
      const std::filesystem::path file = folder / (base + extension);
      std::error_code error;
      if (std::filesystem::is_regular_file(file, error)) return file.string();
    }
  }
  return {};
}

std::vector<std::filesystem::path> defaultImageFolders() {
  const ServerInfo::Folders folders = ServerInfo::defaultFolders();
  return {folders.overrideDir, folders.installDir};
}

// The deployment's pictures are drawn as they are; the program's own are
// drawn without colour, as the tray's own icons are.
bool monochromeFor(AppDelegate& app) {
  const std::shared_ptr<ServerInfo> info = app.serverInfo();
  return !info || info->strSource().empty();
}

}  // namespace

StatusState chooseStatusState(bool bLinkNetwork, bool bLoginFinish, std::int64_t nAllTransCount,
                              std::int64_t nTransCount) {
  if (!bLinkNetwork) return StatusState::Unreachable;
  if (!bLoginFinish) return StatusState::Reachable;
  if (nAllTransCount == 0) return StatusState::Idle;
  if (nTransCount != 0) return StatusState::Running;
  return StatusState::Queued;
}

StatusImages StatusImages::find(const std::vector<std::filesystem::path>& folders) {
  auto replaceable = [&](const std::string& base, std::string* replaced = nullptr) {
    std::string file = findImage(folders, "config/image/" + base);
    if (replaced) *replaced = file;
    return file.empty() ? findImage(folders, "image/" + base) : file;
  };
  StatusImages images;
  images.unlink = replaceable("statusNoneIcon");
  images.link = replaceable("statusLink");
  std::string finishReplaced, transReplaced;
  images.finish = replaceable("statusFinishIcon", &finishReplaced);
  images.trans = replaceable("statusTransIcon", &transReplaced);
  if (transReplaced.empty() && !finishReplaced.empty()) images.trans = finishReplaced;
  images.syncBg = findImage(folders, "image/statusSyncBg");
  images.syncMv = findImage(folders, "image/statusSyncMv");
  return images;
}

StatusItemView::StatusItemView(AppDelegate& app, std::shared_ptr<ui::StatusItem> item,
                               StatusMenuActions actions, Options options)
    : app_(app),
      item_(std::move(item)),
      actions_(std::move(actions)),
      images_(StatusImages::find(options.imageFolders.empty() ? defaultImageFolders()
                                                              : options.imageFolders)) {
  setUnlockScreenDone();
  handleTimer();
}

void StatusItemView::handleTimer() {
  showState(chooseStatusState(app_.bLinkNetwork(), app_.bLoginFinish(), app_.nAllTransCount(),
                              app_.nTransCount()));
  const std::string label = app_.strMessageCount().value_or("");
  if (label != shownLabel_) {
    item_->setLabel(label);
    shownLabel_ = label;
  }
  const std::int32_t badge = app_.nMessageCount();
  if (badge != shownBadge_) {
    item_->setBadgeCount(badge);
    shownBadge_ = badge;
  }
}

void StatusItemView::showState(StatusState state) {
  const bool monochrome = monochromeFor(app_);
  if (state == shown_ && (state == StatusState::Running || monochrome == shownMonochrome_)) return;
  shown_ = state;
  shownMonochrome_ = monochrome;
  switch (state) {
    case StatusState::Unreachable:
      return item_->setImage(images_.unlink, monochrome);
    case StatusState::Reachable:
      return item_->setImage(images_.link, monochrome);
    case StatusState::Idle:
      return item_->setImage(images_.finish, monochrome);
    case StatusState::Queued:
      return item_->setImage(images_.trans, monochrome);
    case StatusState::Running:
      return item_->setSpinningImage(images_.syncBg, images_.syncMv);
  }
}

ui::MenuEntry StatusItemView::entry(const char* key, const std::function<void()>& action) const {
  std::function<void()> activate = action;
  if (!activate) {
    activate = [what = std::string(key)] {
      NBLOG_ERROR("the status menu item {} has no action registered", what);
    };
  }
  return {Util::localizedStringForKey(key), std::move(activate)};
}

void StatusItemView::setUnlockScreenDone() {
  item_->setMenu({entry("打开", actions_.open), entry("设置", actions_.settings),
                  entry("锁屏", actions_.lock), entry("退出Nubren", actions_.quit)});
  lockedMenu_ = false;
}

void StatusItemView::setLockScreenDone() {
  item_->setMenu({entry("解锁", actions_.open), entry("注销", actions_.logout),
                  entry("退出Nubren", actions_.quit)});
  lockedMenu_ = true;
}

}  // namespace nb
