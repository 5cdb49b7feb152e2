#pragma once
// A plain window: a web page with the small script object of
// WebViewDelegate instead of the full page bridge. Pages open further plain
// windows through it. A plain window lives until it is closed; its frame
// is kept under the user-defaults key "nubrenWindow".
//
// Threads: main thread.

#include <memory>
#include <string>
#include <vector>

#include "shell/ui/WebWindow.h"

namespace nb {

namespace ui {
class Ui;
}

class WebViewDelegate;

class WindowController : public std::enable_shared_from_this<WindowController> {
 public:
  static constexpr const char* kFrameKey = "nubrenWindow";

  // A hidden plain window on `url` resolved against `resourceFolder` (empty:
  // the installed data folder), its saved frame restored.
  static std::shared_ptr<WindowController> initWithURL(ui::Ui& ui, const std::string& url,
                                                       const std::string& resourceFolder = {});
  // A hidden plain window loading `uri` as it is.
  static std::shared_ptr<WindowController> initWithRequest(ui::Ui& ui, const std::string& uri,
                                                           const std::string& resourceFolder = {});

  // An absolute address as it is; any other text relative to the folder
  // (as a file:// address). "" when it names nothing.
  static std::string resolve(const std::string& url, const std::string& resourceFolder);
  // The plain windows open now, in the order they were made.
  static std::vector<std::shared_ptr<WindowController>> openWindows();

  WindowController(ui::Ui& ui, std::shared_ptr<ui::WebWindow> window, std::string url,
                   const std::string& resourceFolder);
  ~WindowController();
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  // Shows the window and makes it the active one.
  void showWindow();
  const std::shared_ptr<ui::WebWindow>& window() const { return window_; }
  // The resolved address; "" for a window made for a request.
  const std::string& url() const { return url_; }
  WebViewDelegate& delegate() { return *delegate_; }

 private:
  static std::shared_ptr<WindowController> make(ui::Ui& ui, const std::string& url,
                                                const std::string& resourceFolder,
                                                bool restoreFrame);
  void start(bool restoreFrame);

  const std::shared_ptr<ui::WebWindow> window_;
  const std::string url_;
  std::unique_ptr<WebViewDelegate> delegate_;
};

}  // namespace nb
