#pragma once
// The common part of the client's web windows (main, sign-in, browser): the
// page address and its first load, the page-event channel, the last file
// drop, the input switch, the drag-out end and the closing rules. Holds its
// ui::WebWindow; the page bridge installs its script and message handler on
// window() before the first load.
//
// Threads: made, started and used on the main thread, except setCustomEvent
// and PostMessage (any thread, see there) and the field accessors (any
// thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/app/BaseWebWindowController.h"
#include "foundation/util/FieldLock.h"
#include "shell/drag/DragItem.h"
#include "shell/ui/WebWindow.h"

namespace nb {

class WebWindowController;
// Runs on a new controller before its window loads its first page (the page
// bridge installs itself there, so the page script is present from the
// first document on).
using BeforeFirstLoad = std::function<void(const std::shared_ptr<WebWindowController>&)>;

class WebWindowController : public BaseWebWindowController,
                            public std::enable_shared_from_this<WebWindowController> {
 public:
  // Where the items of a drag-out go when the drag ends: a folder that took
  // them, or another application.
  struct DragOutTarget {
    std::function<void(const std::string& folder)> handledrag2finder;
    std::function<void()> handledrag2otherapps;
  };

  explicit WebWindowController(std::shared_ptr<ui::WebWindow> window);
  ~WebWindowController() override;

  const std::shared_ptr<ui::WebWindow>& window() const { return window_; }
  std::int64_t hwnd() const { return window_->hwnd(); }

  // --- Page events ---------------------------------------------------------------
  // Any thread; off the main thread the caller waits until the page ran it.
  void setCustomEvent(const PageEvent& event) override;
  // The event with `text` as its detail (see pageEventFromText): an empty
  // text or a bad name raises nothing.
  void setCustomEvent(const std::string& name, const std::string& text);
  void PostMessage(const std::string& json) { setCustomEvent("PostMessage", json); }

  // --- Page ------------------------------------------------------------------------
  std::string strUrl() const { return fields_.get(strUrl_); }
  // An empty address is ignored.
  void setStrUrl(std::string url);
  bool alreadyload() const { return alreadyload_; }
  // The first call loads strUrl; later ones reload the page only when
  // `flag` is set.
  void reload(bool flag);
  // The JSON of the last file drop, once: cleared by reading. Nothing when
  // no drop is stored.
  std::optional<std::string> dragInformation();
  // Off: the window swallows pointer input while keys still reach it.
  void makeAble(bool enable) { window_->setInputEnabled(enable); }

  // --- Drag-out ----------------------------------------------------------------------
  // Items of a drag-out were handed over: their end goes to `target`. A
  // drag that ends with no target set does nothing.
  void setDragOutTarget(DragOutTarget target);
  // Where the desktop's window is: this desktop has no number for it.
  static std::int64_t getdesktopid() { return 0; }
  // The drag that left the page ended, on `folder` when the target told us.
  void dragfinish(const std::optional<std::string>& folder);
  // The library items the page prepared for the next drag-out; replacing
  // them with an empty list clears them. Main thread.
  void set_dragitems(std::vector<drag_item> items) { dragitems_ = std::move(items); }
  const std::vector<drag_item>& dragitems() const { return dragitems_; }

  // --- Page observer ----------------------------------------------------------------
  // What the page bridge hears of the page: its title arrived, its load
  // finished (after the controller's own steps), a script dialog. Main
  // thread.
  struct PageObserver {
    std::function<void(const std::string& title)> titleChanged;
    std::function<void()> loadFinished;
    std::function<bool(ui::ScriptDialogKind kind, const std::string& message)> scriptDialog;
  };
  void setPageObserver(PageObserver observer) { observer_ = std::move(observer); }

  // --- Fields ------------------------------------------------------------------------
  std::string jsonString() const { return fields_.get(jsonString_); }
  void setJsonString(std::string v) { fields_.set(jsonString_, std::move(v)); }
  std::string strTitle() const { return fields_.get(strTitle_); }
  void setStrTitle(std::string v) { fields_.set(strTitle_, std::move(v)); }
  std::int64_t nCurrentMountID() const { return nCurrentMountID_; }
  void setNCurrentMountID(std::int64_t v) { nCurrentMountID_ = v; }
  std::string strCurrentWebPath() const { return fields_.get(strCurrentWebPath_); }
  void setStrCurrentWebPath(std::string v) { fields_.set(strCurrentWebPath_, std::move(v)); }
  std::string strInfo() const { return fields_.get(strInfo_); }
  void setStrInfo(std::string v) { fields_.set(strInfo_, std::move(v)); }
  std::int64_t desktopId() const { return desktopId_; }
  bool bNotClose() const { return bNotClose_; }
  void setBNotClose(bool v) { bNotClose_ = v; }

 protected:
  // Connects the window's handlers; the subclass's start() calls it once
  // the controller is owned by a shared_ptr.
  void connect();
  // Accept-Language of the first load; nothing for none.
  virtual std::optional<std::string> acceptLanguage() const;
  // The page finished loading: deliver what waited for it.
  virtual void pageLoaded() {}
  // The user asked to close the window: answers whether it may close.
  virtual bool windowShouldClose();
  // The window is gone (`wasVisible`: it was on screen until then).
  virtual void windowClosed(bool wasVisible);
  // A window that only hides: leaves full screen when in it, else hides.
  void leaveFullScreenOrHide();

 private:
  void storeDrop(const ui::FileDrop& drop);

  // Constant after construction.
  const std::shared_ptr<ui::WebWindow> window_;
  const std::int64_t desktopId_;

  std::atomic<bool> alreadyload_{false};
  std::atomic<bool> bNotClose_{false};
  std::atomic<std::int64_t> nCurrentMountID_{0};

  FieldLock fields_;  // guards the fields below
  std::string strUrl_;
  std::string jsonString_;
  std::string strTitle_;
  std::string strCurrentWebPath_;
  std::string strInfo_;
  std::optional<std::string> jsonInfo_;  // the last drop, until read

  // Main thread only.
  std::optional<DragOutTarget> dragOut_;
  std::vector<drag_item> dragitems_;
  PageObserver observer_;
};

}  // namespace nb
