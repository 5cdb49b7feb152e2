#pragma once
// The GTK 3 + WebKit2GTK implementation of ui::WebWindow: a GtkWindow with
// its own window group (so that its sheets block only it) holding the web
// view, whose pointer events are swallowed while input is off.
//
// Lifetime: the GtkWindow lives from construction until close() (or the
// object's end); the object may outlive it and then does nothing. Script
// completions never refer to the object, only to the waiter they finish.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/GObjectPtr.h"
#include "shell/ui/AppMenu.h"
#include "shell/ui/KeyObserver.h"
#include "shell/ui/WebWindow.h"

namespace nb::ui {

class GtkWebWindow final : public WebWindow, public std::enable_shared_from_this<GtkWebWindow> {
 public:
  GtkWebWindow(WebKitWebContext* context, const WebWindowOptions& options, std::int64_t hwnd);
  ~GtkWebWindow() override;

  // Asked on every key of this window before the page; null or empty: none.
  void setKeyObserver(std::shared_ptr<KeyObserver> observer) { keyObserver_ = std::move(observer); }
  // Read each time the header bar's menu button is pressed; empty: the
  // button shows nothing.
  void setAppMenu(std::shared_ptr<AppMenu> menu) { appMenu_ = std::move(menu); }

  // The GTK window (null once closed), for dialogs made on it.
  GtkWindow* gtkWindow() const { return window_ ? GTK_WINDOW(window_) : nullptr; }
  WebKitWebView* webView() const { return view_; }

  std::int64_t hwnd() const override { return hwnd_; }
  WindowKind kind() const override { return kind_; }
  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  void load(const std::string& url, const std::optional<std::string>& acceptLanguage) override;
  void reload() override;
  bool isLoading() const override { return loading_; }
  std::string currentUri() const override;
  void show() override;
  void hide() override;
  void present(const std::string& activationToken) override;
  void minimize() override;
  void close() override;
  void requestClose() override;
  bool isVisible() const override;
  bool isClosed() const override { return window_ == nullptr; }
  void setTitle(const std::string& title) override;
  Rect frame() const override;
  void setFrame(const Rect& frame) override;
  void setMinSize(const Size& size) override;
  Size minSize() const override;
  void center() override;
  void setResizable(bool resizable) override;
  bool isFullScreen() const override { return fullScreen_; }
  void setFullScreen(bool on) override;
  void setKeepAbove(bool above) override;
  void setTransientFor(WebWindow* parent) override;
  Rect screenArea() const override;
  void setInputEnabled(bool enabled) override;
  bool inputEnabled() const override { return inputEnabled_; }
  void runModal() override;
  void stopModal() override;
  void raiseEvent(const PageEvent& event) override;
  void addUserScript(const std::string& source,
                     const std::vector<std::string>& allowedOrigins) override;
  void addMessageHandler(const std::string& name, MessageHandler handler) override;
  void callFunction(const std::string& functionBody, const std::string& argument) override;
  void setDragOutFiles(std::vector<std::string> paths) override {
    dragOutFiles_ = std::move(paths);
  }
  void runEditCommand(EditCommand command) override;

 private:
  class ScriptWaiter;
  struct MessageEntry {
    GtkWebWindow* owner;
    std::string name;
    MessageHandler handler;
  };

  void build(WebKitWebContext* context, const WebWindowOptions& options);
  void connectSignals();
  void connectDragSignals();
  // The header bar with the application menu's button.
  void buildHeaderBar();
  static void onMenuButton(GtkButton* button, gpointer self);
  // Evaluates on the main thread; `waiter` (may be null) finishes when the
  // script ran or the window ended.
  void evaluate(const std::string& script, std::shared_ptr<ScriptWaiter> waiter);
  void finishWaiters();
  void reportDrop(const std::vector<std::string>& paths, double x, double y);

  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void onDestroy(GtkWidget*, gpointer self);
  static gboolean onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self);
  static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static void onTitle(GObject*, GParamSpec*, gpointer self);
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
  static gboolean onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer self);
  static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                gpointer self);
  static void onDragData(GtkWidget*, GdkDragContext* context, gint x, gint y,
                         GtkSelectionData* data, guint info, guint time, gpointer self);
  static gboolean onDragDrop(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time,
                             gpointer self);
  static void onDragBegin(GtkWidget*, GdkDragContext*, gpointer self);
  static void onDragEnd(GtkWidget*, GdkDragContext*, gpointer self);
  static void onDragGet(GtkWidget* widget, GdkDragContext*, GtkSelectionData* data, guint info,
                        guint time, gpointer self);
  static gboolean swallow(GtkWidget*, GdkEvent*, gpointer self);
  static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                              gpointer entry);

  // Constant after construction.
  const std::int64_t hwnd_;
  const WindowKind kind_;
  const bool contextMenu_;

  // Main thread only. Widgets are owned by window_ (destroyed with it).
  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  platform::GObjectPtr<GtkWindowGroup> group_;
  platform::GObjectPtr<WebKitUserContentManager> content_;
  platform::GObjectPtr<GCancellable> scripts_;  // cancelled when the window ends
  Handlers handlers_;
  std::shared_ptr<KeyObserver> keyObserver_;
  std::shared_ptr<AppMenu> appMenu_;
  GtkWidget* headerBar_ = nullptr;  // owned by window_
  bool loading_ = false;
  bool fullScreen_ = false;
  bool inputEnabled_ = true;
  bool visibleAtClose_ = false;
  GMainLoop* modalLoop_ = nullptr;          // the innermost runModal's loop
  std::list<MessageEntry> messageEntries_;  // stable addresses for the signals
  std::vector<std::weak_ptr<ScriptWaiter>> waiters_;
  // Drag in: the files offered by the drag under way; a drop that came
  // before its data.
  GdkDragContext* dragContext_ = nullptr;
  std::vector<std::string> dragPaths_;
  std::optional<std::pair<double, double>> dropPending_;
  // Drag out: the drag begun in the page was dropped back on it.
  bool droppedInside_ = false;
  // Drag out: the copies the drag hands over as files.
  std::vector<std::string> dragOutFiles_;
};

}  // namespace nb::ui
