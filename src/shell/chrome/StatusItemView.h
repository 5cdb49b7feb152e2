#pragma once
// What the status item shows and offers: the state image (no network, not
// signed in, idle, transfers queued, transfers running with the spinner),
// the unread-message count beside it and on the launcher badge, and the
// normal or locked menu. It follows the application state on a one-second
// tick, so it lags a change by at most a second, and touches the desktop
// only when what it shows changes.
//
// Threads: main thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/app/AppDelegate.h"
#include "shell/ui/StatusItem.h"

namespace nb {

enum class StatusState { Unreachable, Reachable, Idle, Queued, Running };

// The state image for the flags and counts, in this order: no network,
// not signed in, nothing queued, nothing running, running.
StatusState chooseStatusState(bool bLinkNetwork, bool bLoginFinish, std::int64_t nAllTransCount,
                              std::int64_t nTransCount);

// The image files of the states; "" where none was found.
struct StatusImages {
  std::string unlink;   // "statusNoneIcon"
  std::string link;     // "statusLink"
  std::string finish;   // "statusFinishIcon"
  std::string trans;    // "statusTransIcon"
  std::string syncBg;   // "statusSyncBg"
  std::string syncMv;   // "statusSyncMv"

  // Looks each image up in `folders` in order (a ".png" of the name first,
  // then ".tiff", then ".icns"): the deployment's copy in "config/image"
  // first, where the first four may be replaced, else the program's own in
  // "image". When only the idle image is replaced, the queued state shows
  // the same replacement.
  static StatusImages find(const std::vector<std::filesystem::path>& folders);
};

// The actions of the two status menus.
struct StatusMenuActions {
  std::function<void()> open;      // "打开" and "解锁"
  std::function<void()> settings;  // "设置"
  std::function<void()> lock;      // "锁屏"
  std::function<void()> logout;    // "注销"
  std::function<void()> quit;      // "退出Nubren"
};

class StatusItemView {
 public:
  struct Options {
    // Where the images are looked up; empty: the user's override folder,
    // then the installed data.
    std::vector<std::filesystem::path> imageFolders;
  };

  // `app` must outlive the view. Installs the normal menu and shows the
  // current state at once.
  StatusItemView(AppDelegate& app, std::shared_ptr<ui::StatusItem> item,
                 StatusMenuActions actions, Options options = {});
  StatusItemView(const StatusItemView&) = delete;
  StatusItemView& operator=(const StatusItemView&) = delete;

  // One tick (the owner calls it every second): the image, the text and
  // the badge follow the state.
  void handleTimer();

  // The normal menu (open, settings, lock, quit) / the locked one (unlock,
  // log out, quit).
  void setUnlockScreenDone();
  void setLockScreenDone();
  bool lockedMenu() const { return lockedMenu_; }

  const StatusImages& images() const { return images_; }

 private:
  void showState(StatusState state);
  ui::MenuEntry entry(const char* key, const std::function<void()>& action) const;

  AppDelegate& app_;
  const std::shared_ptr<ui::StatusItem> item_;
  const StatusMenuActions actions_;
  const StatusImages images_;

  std::optional<StatusState> shown_;
  std::optional<bool> shownMonochrome_;
  std::optional<std::string> shownLabel_;
  std::optional<std::int32_t> shownBadge_;
  bool lockedMenu_ = false;
};

}  // namespace nb
