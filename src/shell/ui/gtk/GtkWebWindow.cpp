#include "shell/ui/gtk/GtkWebWindow.h"

#include <algorithm>
#include <condition_variable>
#include <utility>

#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::ui {

using platform::MainThread;

// Finished once: when its script ran, failed, or its window ended.
class GtkWebWindow::ScriptWaiter {
 public:
  void finish() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return done_; });
  }
  bool done() {
    std::lock_guard lock(mutex_);
    return done_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
};

namespace {

// The engine drops the script context that holds our results after a
// short idle time and builds a new one at the next result; keeping it
// spares that churn for the life of the process. Main thread.
void keepScriptContext(JSCValue* value) {
  static JSCContext* kept = nullptr;
  if (!kept && value) kept = JSC_CONTEXT(g_object_ref(jsc_value_get_context(value)));
}

struct ScriptCompletion {
  std::shared_ptr<void> waiter;  // keeps the waiter alive until the callback
  void (*finish)(void*);
};

}  // namespace

GtkWebWindow::GtkWebWindow(WebKitWebContext* context, const WebWindowOptions& options,
                           std::int64_t hwnd)
    : hwnd_(hwnd), kind_(options.kind), contextMenu_(options.contextMenu) {
  build(context, options);
  connectSignals();
  connectDragSignals();
}

GtkWebWindow::~GtkWebWindow() {
  handlers_ = {};
  close();
  for (MessageEntry& entry : messageEntries_) {
    g_signal_handlers_disconnect_by_data(content_.get(), &entry);
  }
}

void GtkWebWindow::build(WebKitWebContext* context, const WebWindowOptions& options) {
  content_.reset(webkit_user_content_manager_new());
  scripts_.reset(g_cancellable_new());
  WebKitSettings* settings = webkit_settings_new();
  if (!options.userAgent.empty()) {
    webkit_settings_set_user_agent(settings, options.userAgent.c_str());
  }
  webkit_settings_set_enable_developer_extras(settings, options.developerExtras);
  webkit_settings_set_enable_webgl(settings, TRUE);
  webkit_settings_set_enable_html5_local_storage(settings, TRUE);
  webkit_settings_set_enable_html5_database(settings, TRUE);
  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                       "user-content-manager", content_.get(), "settings", settings,
                                       nullptr));
  g_object_unref(settings);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  group_.reset(gtk_window_group_new());
  gtk_window_group_add_window(group_.get(), GTK_WINDOW(window_));
  gtk_window_set_default_size(GTK_WINDOW(window_), 800, 500);

  buildHeaderBar();
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
  gtk_widget_show(GTK_WIDGET(view_));
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void GtkWebWindow::connectSignals() {
  g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(onDestroy), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
  g_signal_connect(window_, "key-release-event", G_CALLBACK(onKey), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(onTitle), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(onCreate), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(onScriptDialog), this);
  g_signal_connect(view_, "run-file-chooser", G_CALLBACK(onFileChooser), this);
  // Connected before the view's own handlers, which a swallowed event
  // never reaches; keys are not among them.
  for (const char* signal : {"button-press-event", "button-release-event", "motion-notify-event",
                             "scroll-event", "touch-event"}) {
    g_signal_connect(view_, signal, G_CALLBACK(swallow), this);
  }
}

// --- Page --------------------------------------------------------------------------------------

void GtkWebWindow::load(const std::string& url, const std::optional<std::string>& acceptLanguage) {
  if (!view_) return;
  WebKitURIRequest* request = webkit_uri_request_new(url.c_str());
  if (acceptLanguage) {
    // Only HTTP requests carry headers; a local page has none to set.
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request)) {
      soup_message_headers_replace(headers, "Accept-Language", acceptLanguage->c_str());
    }
  }
  loading_ = true;
  webkit_web_view_load_request(view_, request);
  g_object_unref(request);
}

void GtkWebWindow::reload() {
  if (!view_) return;
  loading_ = true;
  webkit_web_view_reload(view_);
}

std::string GtkWebWindow::currentUri() const {
  const char* uri = view_ ? webkit_web_view_get_uri(view_) : nullptr;
  return uri ? uri : "";
}

void GtkWebWindow::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (event == WEBKIT_LOAD_STARTED) window->loading_ = true;
  if (event != WEBKIT_LOAD_FINISHED) return;
  window->loading_ = false;
  if (window->handlers_.loadFinished) window->handlers_.loadFinished();
}

void GtkWebWindow::onTitle(GObject*, GParamSpec*, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  const char* title = webkit_web_view_get_title(window->view_);
  if (window->handlers_.titleChanged) window->handlers_.titleChanged(title ? title : "");
}

gboolean GtkWebWindow::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION ||
      !window->handlers_.decideNavigation) {
    return FALSE;  // the engine's own decision
  }
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (window->handlers_.decideNavigation(uri ? uri : "")) {
    webkit_policy_decision_use(decision);
  } else {
    webkit_policy_decision_ignore(decision);
  }
  return TRUE;
}

GtkWidget* GtkWebWindow::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (window->handlers_.newWindowRequested) window->handlers_.newWindowRequested(uri ? uri : "");
  return nullptr;  // the shell makes its own window for it
}

gboolean GtkWebWindow::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (!window->handlers_.scriptDialog) return FALSE;
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  ScriptDialogKind kind = ScriptDialogKind::Alert;
  if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM) kind = ScriptDialogKind::Confirm;
  if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) kind = ScriptDialogKind::BeforeUnload;
  if (type == WEBKIT_SCRIPT_DIALOG_PROMPT) kind = ScriptDialogKind::Prompt;
  const char* message = webkit_script_dialog_get_message(dialog);
  const bool confirmed = window->handlers_.scriptDialog(kind, message ? message : "");
  if (kind == ScriptDialogKind::Confirm || kind == ScriptDialogKind::BeforeUnload) {
    webkit_script_dialog_confirm_set_confirmed(dialog, confirmed ? TRUE : FALSE);
  }
  return TRUE;  // a prompt left without text answers null
}

// A page's file input takes one file, never a folder, whatever the input
// asks; cancelling leaves the input as it was.
gboolean GtkWebWindow::onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                     gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      nullptr, window->gtkWindow(), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL,
      "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), FALSE);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  platform::GCharPtr path;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    path.reset(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)));
  }
  gtk_widget_destroy(chooser);
  if (path) {
    const gchar* files[] = {path.get(), nullptr};
    webkit_file_chooser_request_select_files(request, files);
  } else {
    webkit_file_chooser_request_cancel(request);
  }
  return TRUE;
}

gboolean GtkWebWindow::onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                     WebKitHitTestResult*, gpointer self) {
  return static_cast<GtkWebWindow*>(self)->contextMenu_ ? FALSE : TRUE;
}

// --- Window ------------------------------------------------------------------------------------

void GtkWebWindow::show() {
  if (window_) gtk_widget_show(window_);
}

void GtkWebWindow::hide() {
  if (window_) gtk_widget_hide(window_);
}

void GtkWebWindow::present(const std::string& activationToken) {
  if (!window_) return;
  if (!activationToken.empty()) {
    gtk_window_set_startup_id(GTK_WINDOW(window_), activationToken.c_str());
  }
  gtk_window_present(GTK_WINDOW(window_));
}

void GtkWebWindow::close() {
  if (!window_) return;
  visibleAtClose_ = gtk_widget_get_visible(window_);
  gtk_widget_destroy(window_);  // onDestroy finishes the rest
}

void GtkWebWindow::requestClose() {
  if (!window_) return;
  if (handlers_.closeRequested && !handlers_.closeRequested()) return;
  close();
}

gboolean GtkWebWindow::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<GtkWebWindow*>(self)->requestClose();
  return TRUE;  // requestClose destroyed the window when it was allowed to
}

void GtkWebWindow::onDestroy(GtkWidget*, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (!window->window_) return;
  // The view may outlive its window inside the engine: it must not call
  // back into us.
  g_signal_handlers_disconnect_by_data(window->view_, window);
  window->window_ = nullptr;
  window->view_ = nullptr;
  g_cancellable_cancel(window->scripts_.get());
  window->finishWaiters();
  window->stopModal();
  Handlers handlers = std::exchange(window->handlers_, {});
  if (handlers.closed) handlers.closed(window->visibleAtClose_);
}

bool GtkWebWindow::isVisible() const { return window_ && gtk_widget_get_visible(window_); }

void GtkWebWindow::setTitle(const std::string& title) {
  if (!window_) return;
  gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  gtk_header_bar_set_title(GTK_HEADER_BAR(headerBar_), title.c_str());
}

Rect GtkWebWindow::frame() const {
  if (!window_) return {};
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
  gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
  return {double(x), double(y), double(width), double(height)};
}

void GtkWebWindow::setFrame(const Rect& frame) {
  if (!window_) return;
  gtk_window_move(GTK_WINDOW(window_), int(frame.x), int(frame.y));
  gtk_window_resize(GTK_WINDOW(window_), std::max(1, int(frame.width)),
                    std::max(1, int(frame.height)));
}

void GtkWebWindow::setMinSize(const Size& size) {
  if (window_) gtk_widget_set_size_request(window_, int(size.width), int(size.height));
}

Size GtkWebWindow::minSize() const {
  if (!window_) return {};
  int width = 0, height = 0;
  gtk_widget_get_size_request(window_, &width, &height);
  return {double(std::max(0, width)), double(std::max(0, height))};
}

void GtkWebWindow::center() {
  if (!window_) return;
  const Rect area = screenArea();
  const Rect current = frame();
  gtk_window_move(GTK_WINDOW(window_), int(area.x + (area.width - current.width) / 2),
                  int(area.y + (area.height - current.height) / 2));
}

void GtkWebWindow::setResizable(bool resizable) {
  if (window_) gtk_window_set_resizable(GTK_WINDOW(window_), resizable);
}

void GtkWebWindow::setFullScreen(bool on) {
  if (!window_) return;
  on ? gtk_window_fullscreen(GTK_WINDOW(window_)) : gtk_window_unfullscreen(GTK_WINDOW(window_));
  fullScreen_ = on;  // the window-state report confirms it later
}

void GtkWebWindow::setKeepAbove(bool above) {
  if (window_) gtk_window_set_keep_above(GTK_WINDOW(window_), above);
}

void GtkWebWindow::setTransientFor(WebWindow* parent) {
  if (!window_) return;
  auto* gtkParent = dynamic_cast<GtkWebWindow*>(parent);
  gtk_window_set_transient_for(GTK_WINDOW(window_), gtkParent ? gtkParent->gtkWindow() : nullptr);
}

Rect GtkWebWindow::screenArea() const {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return {};
  GdkMonitor* monitor = nullptr;
  if (window_ && gtk_widget_get_realized(window_)) {
    monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(window_));
  }
  if (!monitor) monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return {};
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  return {double(area.x), double(area.y), double(area.width), double(area.height)};
}

gboolean GtkWebWindow::onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (window->handlers_.resized) {
    window->handlers_.resized(
        {double(event->x), double(event->y), double(event->width), double(event->height)});
  }
  return FALSE;
}

gboolean GtkWebWindow::onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* window = static_cast<GtkWebWindow*>(self);
  if (!window->keyObserver_ || !*window->keyObserver_) return FALSE;
  KeyEvent key;
  key.press = event->type == GDK_KEY_PRESS;
  key.escape = event->keyval == GDK_KEY_Escape;
  // The key's own character: what it types with no modifier held.
  guint plain = event->keyval;
  gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_display_get_default()),
                                      event->hardware_keycode, GdkModifierType(0), event->group,
                                      &plain, nullptr, nullptr, nullptr);
  if (const gunichar c = gdk_keyval_to_unicode(gdk_keyval_to_lower(plain)); c >= 0x20) {
    gchar text[8] = {};
    g_unichar_to_utf8(c, text);
    key.character = text;
  }
  key.modifiers = {.alt = (event->state & GDK_MOD1_MASK) != 0,
                   .ctrl = (event->state & GDK_CONTROL_MASK) != 0,
                   .super = (event->state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) != 0,
                   .shift = (event->state & GDK_SHIFT_MASK) != 0};
  // A copy: the observer may replace itself or close this window.
  const KeyObserver observer = *window->keyObserver_;
  return observer(*window, key) ? TRUE : FALSE;
}

gboolean GtkWebWindow::onWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  if (event->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) {
    static_cast<GtkWebWindow*>(self)->fullScreen_ =
        (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
  }
  return FALSE;
}

void GtkWebWindow::setInputEnabled(bool enabled) { inputEnabled_ = enabled; }

gboolean GtkWebWindow::swallow(GtkWidget*, GdkEvent*, gpointer self) {
  return static_cast<GtkWebWindow*>(self)->inputEnabled_ ? FALSE : TRUE;
}

void GtkWebWindow::runModal() {
  if (!window_) return;
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_present(GTK_WINDOW(window_));
  GMainLoop* outer = modalLoop_;
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  modalLoop_ = loop;
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  modalLoop_ = outer;
  if (window_) gtk_window_set_modal(GTK_WINDOW(window_), FALSE);
}

void GtkWebWindow::stopModal() {
  if (modalLoop_) g_main_loop_quit(modalLoop_);
}

// --- Scripts -----------------------------------------------------------------------------------

void GtkWebWindow::raiseEvent(const PageEvent& event) {
  std::string script = event.script();
  if (MainThread::isMainThread()) {
    evaluate(script, nullptr);
    return;
  }
  auto waiter = std::make_shared<ScriptWaiter>();
  std::weak_ptr<GtkWebWindow> weak = weak_from_this();
  // One FIFO carries every poster's scripts to the main thread, and the
  // engine runs a view's scripts in the order it got them.
  MainThread::post([weak, script = std::move(script), waiter] {
    auto self = weak.lock();
    if (!self) {
      waiter->finish();
      return;
    }
    self->evaluate(script, waiter);
  });
  waiter->wait();
}

void GtkWebWindow::evaluate(const std::string& script, std::shared_ptr<ScriptWaiter> waiter) {
  if (!view_) {
    if (waiter) waiter->finish();
    return;
  }
  ScriptCompletion* completion = nullptr;
  if (waiter) {
    std::erase_if(waiters_, [](const auto& weak) { return weak.expired(); });
    waiters_.push_back(waiter);
    completion =
        new ScriptCompletion{waiter, [](void* w) { static_cast<ScriptWaiter*>(w)->finish(); }};
  }
  webkit_web_view_evaluate_javascript(
      view_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, scripts_.get(),
      [](GObject* view, GAsyncResult* result, gpointer data) {
        platform::GErrorPtr error;
        GError* raw = nullptr;
        if (JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &raw)) {
          keepScriptContext(value);
          g_object_unref(value);
        }
        error.reset(raw);
        if (error && !g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
          NBLOG_DEBUG("a page script failed: {}", error->message);
        }
        std::unique_ptr<ScriptCompletion> finished(static_cast<ScriptCompletion*>(data));
        if (finished) finished->finish(finished->waiter.get());
      },
      completion);
}

void GtkWebWindow::finishWaiters() {
  for (const auto& weak : waiters_) {
    if (auto waiter = weak.lock()) waiter->finish();
  }
  waiters_.clear();
}

void GtkWebWindow::addUserScript(const std::string& source,
                                 const std::vector<std::string>& allowedOrigins) {
  if (allowedOrigins.empty()) return;  // no page may have it
  std::vector<const gchar*> allow;
  for (const std::string& origin : allowedOrigins) allow.push_back(origin.c_str());
  allow.push_back(nullptr);
  WebKitUserScript* script =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow.data(), nullptr);
  webkit_user_content_manager_add_script(content_.get(), script);
  webkit_user_script_unref(script);
}

void GtkWebWindow::addMessageHandler(const std::string& name, MessageHandler handler) {
  MessageEntry& entry = messageEntries_.emplace_back(MessageEntry{this, name, std::move(handler)});
  const std::string signal = "script-message-received::" + name;
  g_signal_connect(content_.get(), signal.c_str(), G_CALLBACK(onScriptMessage), &entry);
  if (!webkit_user_content_manager_register_script_message_handler(content_.get(), name.c_str())) {
    NBLOG_ERROR("the page message handler {} could not be registered", name);
  }
}

void GtkWebWindow::onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                   gpointer data) {
  auto* entry = static_cast<MessageEntry*>(data);
  GtkWebWindow* window = entry->owner;
  if (!window->view_ || !entry->handler) return;
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  keepScriptContext(value);
  std::string body;
  if (jsc_value_is_string(value)) {
    platform::GCharPtr text(jsc_value_to_string(value));
    body = text ? text.get() : "";
  } else {
    platform::GCharPtr json(jsc_value_to_json(value, 0));
    body = json ? json.get() : "";
  }
  entry->handler(body, window->currentUri());
}

void GtkWebWindow::callFunction(const std::string& functionBody, const std::string& argument) {
  if (!view_) return;
  // Strings cross into the page as values, which must be UTF-8.
  platform::GCharPtr valid(
      g_utf8_make_valid(argument.c_str(), static_cast<gssize>(argument.size())));
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&builder, "{sv}", "arg", g_variant_new_string(valid.get()));
  webkit_web_view_call_async_javascript_function(
      view_, functionBody.c_str(), static_cast<gssize>(functionBody.size()),
      g_variant_builder_end(&builder), nullptr, nullptr, scripts_.get(),
      [](GObject* view, GAsyncResult* result, gpointer) {
        GError* raw = nullptr;
        if (JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
                WEBKIT_WEB_VIEW(view), result, &raw)) {
          keepScriptContext(value);
          g_object_unref(value);
        }
        platform::GErrorPtr error(raw);
      },
      nullptr);
}

}  // namespace nb::ui
