#pragma once
// One top-level window that shows a web page: the part of the UI layer the
// window controllers and the page bridge build on. The GTK + WebKit
// implementation lives in ui/gtk; tests use the recording double of
// tests/support/FakeUi.h.
//
// Threads: every member is for the main thread only, except raiseEvent(),
// which any thread may call. Handlers run on the main thread.
//
// Coordinates are top-left screen coordinates in GTK's logical pixels.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/app/PageEvent.h"

namespace nb::ui {

enum class WindowKind { Main, SignIn, Browser, Plain };

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const Rect&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

// Files dropped on the page: full paths in the order the drag source listed
// them, and where the drop happened in the view (y from the top).
struct FileDrop {
  std::vector<std::string> paths;
  double x = 0;
  double y = 0;
};

// What the edit menu asks of the focused page.
enum class EditCommand { Cut, Copy, Paste, SelectAll };

// The script dialogs a page can open.
enum class ScriptDialogKind { Alert, Confirm, BeforeUnload, Prompt };

struct WebWindowOptions {
  WindowKind kind = WindowKind::Browser;
  std::string userAgent;  // empty: the engine's own
  bool developerExtras = false;
  bool contextMenu = true;
};

class WebWindow {
 public:
  struct Handlers {
    std::function<void()> loadFinished;                    // the main frame finished loading
    std::function<void(const std::string&)> titleChanged;  // the page's title
    // The user asked to close the window (title bar, window manager). True
    // lets it close; null allows.
    std::function<bool()> closeRequested;
    // The window is gone; no handler runs after this one. `wasVisible`: it
    // was on screen until it closed.
    std::function<void(bool wasVisible)> closed;
    std::function<void(const Rect&)> resized;
    // Files were dropped on the page. The engine's own drop handling goes on.
    std::function<void(const FileDrop&)> fileDrop;
    // A drag that started in the page and left it ended: the folder that
    // took it when the target told us (a file manager speaking XDS), else
    // nothing.
    std::function<void(const std::optional<std::string>& folder)> dragOutEnded;
    // The page is about to navigate its main frame to `uri`: true lets it.
    // Null allows everything.
    std::function<bool(const std::string& uri)> decideNavigation;
    // The page asked for a new window on `uri` (window.open, a link with a
    // target); the engine opens none itself.
    std::function<void(const std::string& uri)> newWindowRequested;
    // A page's alert, confirm, before-unload question or prompt; the page
    // waits for the answer (true: confirmed). A prompt's page gets null
    // whatever the answer. Null: the engine's own dialogs.
    std::function<bool(ScriptDialogKind kind, const std::string& message)> scriptDialog;
  };

  // Text the page posted to a message handler (JSON text as the page wrote
  // it, not yet checked) and the address of the page that posted it.
  using MessageHandler = std::function<void(const std::string& body, const std::string& pageUri)>;

  WebWindow() = default;
  WebWindow(const WebWindow&) = delete;
  WebWindow& operator=(const WebWindow&) = delete;
  virtual ~WebWindow() = default;

  // A number standing for this window that stays the same for its whole
  // life and is never reused in the process (pages know windows by it).
  virtual std::int64_t hwnd() const = 0;
  virtual WindowKind kind() const = 0;
  // Replaces all handlers at once.
  virtual void setHandlers(Handlers handlers) = 0;

  // --- Page ---------------------------------------------------------------------
  // Loads `url`, with the header Accept-Language when one is given.
  virtual void load(const std::string& url, const std::optional<std::string>& acceptLanguage) = 0;
  virtual void reload() = 0;
  virtual bool isLoading() const = 0;
  virtual std::string currentUri() const = 0;

  // --- Window -------------------------------------------------------------------
  virtual void show() = 0;
  virtual void hide() = 0;
  // Shows, raises and focuses; `activationToken` from a start-up notification
  // when another process asked (empty: none).
  virtual void present(const std::string& activationToken = {}) = 0;
  // Iconifies the window (the window manager may refuse).
  virtual void minimize() = 0;
  // Destroys the window without asking closeRequested; `closed` runs.
  virtual void close() = 0;
  // As the title bar's close button: asks closeRequested, closes on yes.
  virtual void requestClose() = 0;
  virtual bool isVisible() const = 0;
  virtual bool isClosed() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual Rect frame() const = 0;
  virtual void setFrame(const Rect& frame) = 0;
  virtual void setMinSize(const Size& size) = 0;
  // The smallest size set with setMinSize; zeros when none was.
  virtual Size minSize() const = 0;
  virtual void center() = 0;
  virtual void setResizable(bool resizable) = 0;
  virtual bool isFullScreen() const = 0;
  virtual void setFullScreen(bool on) = 0;
  virtual void setKeepAbove(bool above) = 0;
  // Keeps this window above `parent` and centred on it; null clears.
  virtual void setTransientFor(WebWindow* parent) = 0;
  // The work area of the monitor the window is on (the primary one before
  // it is shown).
  virtual Rect screenArea() const = 0;
  // Off: pointer, scroll and touch input are swallowed; keys still reach
  // the page.
  virtual void setInputEnabled(bool enabled) = 0;
  virtual bool inputEnabled() const = 0;
  // Shows the window modal for the application and runs a nested main loop
  // until stopModal() or the window closes. Posted jobs run meanwhile: hold
  // no lock across it.
  virtual void runModal() = 0;
  virtual void stopModal() = 0;

  // --- Scripts ------------------------------------------------------------------
  // Dispatches the event in the page. Any thread. Events reach the page in
  // the order they were raised (per window). Off the main thread the caller
  // blocks until the script ran or the window ended, so never call it from
  // a thread the main thread may be waiting for; on the main thread it
  // returns at once (the engine runs scripts asynchronously). An event
  // raised while a page loads may be lost, as on any page.
  virtual void raiseEvent(const PageEvent& event) = 0;
  // A script run at document start in the main frame of every page whose
  // address matches one of `allowedOrigins` (WebKit URL patterns such as
  // "file:///opt/ui/*" or "https://host/*"; empty: no page at all).
  // Applies from the next load.
  virtual void addUserScript(const std::string& source,
                             const std::vector<std::string>& allowedOrigins) = 0;
  // Lets pages post to window.webkit.messageHandlers.<name>. `name` is an
  // identifier.
  virtual void addMessageHandler(const std::string& name, MessageHandler handler) = 0;
  // The page's own cut, copy, paste or select-all.
  virtual void runEditCommand(EditCommand command) = 0;
  // Runs `functionBody` as the body of a function whose one parameter,
  // `arg`, holds `argument` as a string value: text handed to the page this
  // way is never parsed as script.
  virtual void callFunction(const std::string& functionBody, const std::string& argument) = 0;

  // --- Drag out -------------------------------------------------------------------
  // Local files that a drag begun in the page hands over as its uri-list
  // when the drop target asks for one; empty leaves the page's own drag
  // data alone.
  virtual void setDragOutFiles(std::vector<std::string> paths) { (void)paths; }
};

}  // namespace nb::ui
