#pragma once
// The page bridge of one web window: installs the `nbClient` script for the
// trusted pages and the message handler behind it, checks every message
// (the view's token, a trusted page), runs main-thread page functions in
// call order and hands the others to the bridge queue, and delivers each
// answer to the calling page's callback as a string the page parses.
//
// Threads: made and used on the main thread; answer() from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bridge/dispatch/PageCall.h"
#include "bridge/script/TrustedOrigins.h"
#include "shell/ui/WebWindow.h"

namespace nb {
class BrowserWebWindowController;
class WebWindowController;
}  // namespace nb

namespace nb::ui {
class Ui;
}  // namespace nb::ui

namespace nb::bridge {

class NBWebViewDelegate : public std::enable_shared_from_this<NBWebViewDelegate> {
 public:
  // Makes the bridge of `controller`'s window and installs it there; call
  // before the window's first load. The window keeps the bridge.
  static std::shared_ptr<NBWebViewDelegate> install(
      const std::shared_ptr<WebWindowController>& controller, TrustedOrigins origins);

  NBWebViewDelegate(const std::shared_ptr<WebWindowController>& controller,
                    TrustedOrigins origins);

  // The random token the view's script sends with every call.
  const std::string& token() const { return token_; }
  std::shared_ptr<WebWindowController> delegateController() const { return controller_.lock(); }

  // The window is closing: title and load changes do nothing more.
  bool bWindowsCloes() const { return bWindowsCloes_; }
  void setBWindowsCloes(bool v) { bWindowsCloes_ = v; }
  // The page registered itself as the sink of transfer progress.
  bool bTransWeb() const { return bTransWeb_; }
  void setBTransWeb(bool v) { bTransWeb_ = v; }

  // What a page asked of a browser window it opens.
  struct BrowserWindowRequest {
    std::string url;
    bool resizable = false;
    std::string solestr;  // window kind; "child" runs modally
    double width = 0;
    double height = 0;
    std::int64_t showtitle = 0;  // no effect here: title bars are always opaque
    std::string name;            // window title
    std::string info;
    std::string key;
  };
  // Opens (or brings back) the browser window of that kind and key and
  // answers it. Main thread. A "child" window turns modal only after the
  // page's call returned. Needs no particular bridge: the window-opening
  // page functions call it for the calling window.
  static std::shared_ptr<nb::BrowserWebWindowController> BrowserWebWindowController(
      ui::Ui& ui, const BrowserWindowRequest& request);

  // The page's title arrived / the page finished loading.
  void titleReceived(const std::string& title);
  void loadFinished();
  // A page's alert (one button), confirm or before-unload question
  // (true only for the first button); a prompt shows nothing. The page
  // waits meanwhile.
  bool runScriptDialog(ui::ScriptDialogKind kind, const std::string& message);

  // A session was started after sign-in.
  static bool checkLogin();

  // Text the page posted (see the page script): checked, then dispatched.
  void onMessage(const std::string& body, const std::string& pageUri);

  // Hands `text` to the callback `callbackId` of the page, later, on the
  // main thread. Any thread. Nothing without a callback id or once the
  // window is gone.
  void answer(const std::optional<std::string>& callbackId, const std::string& text);

 private:
  struct Message {
    PageCall call;
    std::optional<std::string> callbackId;
  };
  std::optional<Message> parse(const std::string& body) const;
  void runOnMain(const Message& message, bool withCallback);
  void queue(Message message);
  // The title and load steps both take.
  bool commonPageSteps(bool fromLoad);

  const std::weak_ptr<WebWindowController> controller_;
  const TrustedOrigins origins_;
  const std::string token_;
  std::atomic<bool> bWindowsCloes_{false};
  std::atomic<bool> bTransWeb_{false};
  std::string pageTitle_;  // main thread only
};

}  // namespace nb::bridge
