#pragma once
// A secondary web window: settings, the update tip (bNotClose: it only
// hides) and the windows pages open. Reused by its kind and key while open;
// when it closes it tells every page "gCloseWindow", ends a modal run it
// was in and leaves the window registry.
//
// Threads: main thread, except the event senders inherited from
// WebWindowController.

#include <functional>
#include <memory>
#include <string>

#include "shell/windows/WebWindowController.h"

namespace nb::ui {
class Ui;
}

namespace nb {

class BrowserWebWindowController final : public WebWindowController {
 public:
  // The size a page gets when it asks for none.
  static constexpr ui::Size kDefaultSize{800, 500};

  // Makes the (hidden) window; the page is given with setStrUrl and loaded
  // with reload(false).
  static std::shared_ptr<BrowserWebWindowController> create(ui::Ui& ui, std::string solestr,
                                                            std::string strKey);

  BrowserWebWindowController(std::shared_ptr<ui::WebWindow> window, std::string solestr,
                             std::string strKey);

  const std::string& solestr() const { return solestr_; }
  const std::string& strKey() const { return strKey_; }
  bool bStopModel() const { return bStopModel_; }
  void setBStopModel(bool v) { bStopModel_ = v; }
  bool bAdjusted() const { return bAdjusted_; }

  // Sizes the window once: `size` when both sides are non-zero, else the
  // default, then centres it. Later calls, and the first one in full
  // screen, change nothing (the first still counts).
  void adjustframe(const ui::Size& size);

  // Runs first when the window closes: the page bridge stops the transfer
  // progress it registered and stops answering.
  void setClosingHook(std::function<void()> hook) { closingHook_ = std::move(hook); }

 private:
  void windowClosed(bool wasVisible) override;

  const std::string solestr_;
  const std::string strKey_;

  // Main thread only.
  bool bStopModel_ = false;
  bool bAdjusted_ = false;
  std::function<void()> closingHook_;
};

}  // namespace nb
