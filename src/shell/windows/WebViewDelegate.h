#pragma once
// The script object of a plain window's page: `nbClient.gSiteDomain()` (the
// web host in the scheme the user chose) and `nbClient.window` with open,
// move and resize, nothing else. Pages under the resource folder and on the
// web host get it; a message without the window's token or from another
// page is dropped. Also the page's script dialogs and its window-open
// requests, which become further plain windows.
//
// Threads: main thread.

#include <memory>
#include <string>

#include "foundation/json/JsonValue.h"
#include "shell/ui/WebWindow.h"

namespace nb {

class WindowController;

namespace ui {
class Ui;
}

// The page's coordinates have their origin at the bottom left of the
// screen; windows are placed by their top-left corner.
// `move`: the window's lower-left corner goes to (x, y), its size kept.
ui::Rect movedFrame(const ui::Rect& frame, double x, double y, double screenHeight);
// `resize`: the new size, the lower-left corner kept (the top moves).
ui::Rect resizedFrame(const ui::Rect& frame, double width, double height);

class WebViewDelegate {
 public:
  // The name pages post to (window.webkit.messageHandlers.<name>).
  static constexpr const char* kMessageHandler = "nbPlainWindow";

  WebViewDelegate(ui::Ui& ui, std::shared_ptr<ui::WebWindow> webView, std::string resourceFolder);
  WebViewDelegate(const WebViewDelegate&) = delete;
  WebViewDelegate& operator=(const WebViewDelegate&) = delete;

  // Publishes the script object to the next page loads.
  void install();

  // The web host with the scheme of the HTTPS setting.
  static std::string gSiteDomain();

  // The page's calls on nbClient.window.
  void open(const JsonValue& args);
  void move(const JsonValue& args);
  void resize(const JsonValue& args);

  // The page's alert (returns at once), confirm and before-unload question
  // (true only for the first button); a prompt answers null.
  bool runScriptDialog(ui::ScriptDialogKind kind, const std::string& message);
  // A window-open request of the page: a new plain window, shown.
  void createWebViewWithRequest(const std::string& uri);

  // The window `open` made last; the one the last window-open request made.
  std::shared_ptr<WindowController> windowController() const { return windowController_; }
  std::shared_ptr<WindowController> requestedWindow() const { return requestedWindow_; }

  // A message the page posted: dispatched when it carries the token and
  // comes from a page that may have the object.
  void onMessage(const std::string& body, const std::string& pageUri);

 private:
  bool trusted(const std::string& pageUri) const;

  ui::Ui& ui_;
  const std::weak_ptr<ui::WebWindow> webView_;
  const std::string resourceFolder_;
  const std::string token_;
  std::shared_ptr<WindowController> windowController_;
  std::shared_ptr<WindowController> requestedWindow_;
};

}  // namespace nb
