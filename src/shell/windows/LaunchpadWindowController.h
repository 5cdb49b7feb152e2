#pragma once
// The main window. It is made once and never closes: closing it leaves full
// screen and hides it. The current folder and action handed to it wait
// until its page has loaded and are delivered once.
//
// Threads: main thread, except the event senders inherited from
// WebWindowController.

#include <memory>
#include <optional>
#include <string>

#include "shell/windows/WebWindowController.h"

namespace nb::ui {
class Ui;
}

namespace nb {

class LaunchpadWindowController final : public WebWindowController {
 public:
  // The smallest size of the main window; it takes 4/5 of a larger screen.
  static constexpr ui::Size kMinimumSize{1000, 600};

  // Makes the (hidden) main window on the page "index.html" of `uiFolder`,
  // starts loading it (after `beforeLoad`) and sizes the window for its
  // screen.
  static std::shared_ptr<LaunchpadWindowController> create(ui::Ui& ui, const std::string& uiFolder,
                                                           const BeforeFirstLoad& beforeLoad = {});

  explicit LaunchpadWindowController(std::shared_ptr<ui::WebWindow> window);

  // The first call after creation tells every page "LinkStatus"
  // {"link":0} when the network is down; later calls do nothing. The tab
  // has no effect.
  void updateTab(const std::optional<std::string>& tab);
  // A folder to open / an action to show: delivered at once unless the
  // page is loading, else once it has loaded.
  void setcurrent(const std::string& json);
  void setAction(const std::string& json);
  void updateCurrent();
  void updateAction();
  // Places the window where windows of its size go on its screen.
  void adjustposition();
  void showWindow();
  // A sign-in finished: the page loads again.
  void updateUI() { reload(true); }
  bool bWindowClose() const { return bWindowClose_; }

  // One-line senders: the event with the JSON text as its detail.
  void ShowAction(const std::string& json) { setCustomEvent("ShowAction", json); }
  void LastUpdateDateine(const std::string& json) { setCustomEvent("gLastUpdateDateline", json); }
  void OpenMountPath(const std::string& json) { setCustomEvent("OpenMountPath", json); }
  void gCloseCurrentPath(const std::string& json) { setCustomEvent("gCloseCurrentPath", json); }
  void gCompareNotifyReset(const std::string& json) { setCustomEvent("gCompareNotifyReset", json); }
  void LoadFinish() { setCustomEvent("LoadFinish", "{}"); }

 private:
  void start();
  void sizeForScreen();
  void pageLoaded() override;
  bool windowShouldClose() override;
  void windowClosed(bool) override {}  // never closed

  // Main thread only.
  bool bFirst_ = true;
  bool bWindowClose_ = false;
  std::string jsonInfo_;
  std::string jsonAction_;
};

}  // namespace nb
