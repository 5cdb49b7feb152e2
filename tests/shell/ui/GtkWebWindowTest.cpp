// Real web windows on the shared display: a local page, events raised from
// the main thread and from a worker, and input while pointer input is off.

#include <gdk/gdkkeysyms.h>

#include <fstream>
#include <mutex>
#include <thread>

#include "support/GtkUiFixture.h"
#include "foundation/json/JsonValue.h"
#include "shell/ui/gtk/GtkWebWindow.h"
#include "shell/windows/PageEventText.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>
function send(text) { window.webkit.messageHandlers.probe.postMessage(text); }
window.alert = function () { send("ALERT"); };
document.addEventListener("NbTest", function (e) { send(JSON.stringify(e.detail)); });
document.addEventListener("keydown", function (e) { send("key:" + e.key); });
document.addEventListener("mousedown", function () { send("mouse"); });
window.addEventListener("load", function () { send("loaded"); });
</script></head>
<body style="margin:0;width:100vw;height:100vh">page</body></html>
)";

// A click in the view as GTK delivers it to the view.
void click(WebKitWebView* view) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(view));
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(window));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.x = event->button.y = 100;
    event->button.button = 1;
    int rootX = 0, rootY = 0;
    gdk_window_get_root_coords(window, 100, 100, &rootX, &rootY);
    event->button.x_root = rootX;
    event->button.y_root = rootY;
    gdk_event_set_device(event, gdk_seat_get_pointer(seat));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
}

class GtkWebWindowTest : public GtkUiTest {
 protected:
  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    folder_ = makeTempDir("nbpage");
    std::ofstream(folder_ / "page.html") << kPage;
    window_ = sharedUi()->makeWebWindow({ui::WindowKind::Main, "", false, false});
    window_->addMessageHandler("probe", [this](const std::string& body, const std::string&) {
      std::lock_guard lock(mutex_);
      messages_.push_back(body);
    });
    window_->setFrame({0, 0, 400, 300});
    window_->load("file://" + (folder_ / "page.html").string(), std::nullopt);
    window_->show();
    ASSERT_TRUE(waitFor("loaded"));
    clear();
  }
  void TearDown() override {
    if (window_) window_->close();
    window_.reset();
    pumpMainThread();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }

  std::vector<std::string> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  bool waitFor(const std::string& message) {
    return pumpMainThreadUntil([&] {
      const auto all = messages();
      return std::find(all.begin(), all.end(), message) != all.end();
    });
  }

  std::filesystem::path folder_;
  std::shared_ptr<ui::WebWindow> window_;
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

TEST_F(GtkWebWindowTest, EventsFromMainAndWorkerArriveInOrder) {
  window_->raiseEvent(*PageEvent::make("NbTest", JsonValue::object({{"n", 0}})));
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int n = 1; n <= 5; ++n) {
      window_->raiseEvent(*PageEvent::make("NbTest", JsonValue::object({{"n", n}})));
    }
    done = true;
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return done && messages().size() == 6; }));
  worker.join();
  std::vector<std::string> expected;
  for (int n = 0; n <= 5; ++n) expected.push_back("{\"n\":" + std::to_string(n) + "}");
  EXPECT_EQ(messages(), expected);
}

TEST_F(GtkWebWindowTest, WorkerReturnsOnlyAfterThePageRanTheScript) {
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    window_->raiseEvent(*PageEvent::make("NbTest", JsonValue::object({{"w", 1}})));
    returned = true;
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return returned.load(); }));
  worker.join();
  // The page's handler ran inside the script; its message may still be on
  // its way to us, but it was sent.
  EXPECT_TRUE(waitFor(R"({"w":1})"));
}

TEST_F(GtkWebWindowTest, DetailTextNeverRunsAsScript) {
  const auto event = pageEventFromText("NbTest", R"(");alert(1);(")");
  ASSERT_TRUE(event);
  window_->raiseEvent(*event);
  window_->raiseEvent(*PageEvent::make("NbTest", JsonValue::object({{"end", true}})));
  ASSERT_TRUE(waitFor(R"({"end":true})"));
  EXPECT_EQ(messages(), (std::vector<std::string>{R"("\");alert(1);(\"")", R"({"end":true})"}));
}

TEST_F(GtkWebWindowTest, KeysPassWhilePointerInputIsOff) {
  window_->present();
  auto* gtkWindow = static_cast<ui::GtkWebWindow*>(window_.get());
  ASSERT_TRUE(pumpMainThreadUntil(
      [&] { return gtk_widget_get_mapped(GTK_WIDGET(gtkWindow->gtkWindow())); }));
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(gtkWindow->gtkWindow()));
  window_->setInputEnabled(false);
  pumpMainThread();
  click(gtkWindow->webView());
  gdk_test_simulate_key(target, 100, 100, GDK_KEY_a, GdkModifierType(0), GDK_KEY_PRESS);
  gdk_test_simulate_key(target, 100, 100, GDK_KEY_a, GdkModifierType(0), GDK_KEY_RELEASE);
  ASSERT_TRUE(waitFor("key:a"));
  EXPECT_EQ(messages(), (std::vector<std::string>{"key:a"})) << "the click was swallowed";

  window_->setInputEnabled(true);
  clear();
  pumpMainThread();
  click(gtkWindow->webView());
  EXPECT_TRUE(waitFor("mouse")) << "a click reaches the page while input is on";
}

TEST_F(GtkWebWindowTest, TheKeyObserverSeesKeysFirstAndMayKeepThem) {
  window_->present();
  auto* gtkWindow = static_cast<ui::GtkWebWindow*>(window_.get());
  ASSERT_TRUE(pumpMainThreadUntil(
      [&] { return gtk_widget_get_mapped(GTK_WIDGET(gtkWindow->gtkWindow())); }));
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(gtkWindow->gtkWindow()));
  std::vector<ui::KeyEvent> seen;
  sharedUi()->setKeyObserver([&](ui::WebWindow& window, const ui::KeyEvent& event) {
    EXPECT_EQ(&window, window_.get());
    seen.push_back(event);
    return event.character == "b";  // kept from the page
  });
  click(gtkWindow->webView());
  for (guint key : {GDK_KEY_b, GDK_KEY_a, GDK_KEY_Escape}) {
    const auto modifiers = key == GDK_KEY_b ? GDK_CONTROL_MASK : GdkModifierType(0);
    gdk_test_simulate_key(target, 100, 100, key, modifiers, GDK_KEY_PRESS);
    gdk_test_simulate_key(target, 100, 100, key, modifiers, GDK_KEY_RELEASE);
  }
  ASSERT_TRUE(waitFor("key:a"));
  auto escapeReleased = [&] {
    for (const auto& event : seen) {
      if (event.escape && !event.press) return true;
    }
    return false;
  };
  ASSERT_TRUE(pumpMainThreadUntil(escapeReleased, std::chrono::seconds(5)));
  sharedUi()->setKeyObserver(nullptr);
  std::vector<std::string> keys;
  for (const auto& message : messages()) {
    if (message.starts_with("key:")) keys.push_back(message);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"key:a"})) << "b went to the page";
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[0].character, "b");
  EXPECT_TRUE(seen[0].press);
  EXPECT_TRUE(seen[0].modifiers.ctrl);
  EXPECT_FALSE(seen[0].modifiers.shift);
}

// The widgets of `type` under `widget`, depth first.
void collect(GtkWidget* widget, GType type, std::vector<GtkWidget*>& found) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) found.push_back(widget);
  if (!GTK_IS_CONTAINER(widget)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child; child = child->next) {
    collect(GTK_WIDGET(child->data), type, found);
  }
  g_list_free(children);
}

std::string labelOf(GtkWidget* item) {
  const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
  return label ? label : "";
}

TEST_F(GtkWebWindowTest, TheHeaderBarMenuActsOnItsWindow) {
  ui::WebWindow* used = nullptr;
  sharedUi()->setApplicationMenu(
      {{"App", "", nullptr, {{"Minimize", "<Control>m", [&](ui::WebWindow& w) { used = &w; }, {}},
                             ui::AppMenuItem::separator(),
                             {"Quit", "<Control>q", [](ui::WebWindow&) {}, {}}}}});
  auto* gtkWindow = static_cast<ui::GtkWebWindow*>(window_.get());
  GtkWidget* titlebar = gtk_window_get_titlebar(gtkWindow->gtkWindow());
  ASSERT_TRUE(titlebar && GTK_IS_HEADER_BAR(titlebar));
  std::vector<GtkWidget*> buttons;
  collect(titlebar, GTK_TYPE_BUTTON, buttons);
  GtkWidget* menuButton = nullptr;
  for (GtkWidget* button : buttons) {
    GtkWidget* image = gtk_button_get_image(GTK_BUTTON(button));
    const char* icon = nullptr;
    if (image && GTK_IS_IMAGE(image)) gtk_image_get_icon_name(GTK_IMAGE(image), &icon, nullptr);
    if (icon && std::string(icon) == "open-menu-symbolic") menuButton = button;
  }
  ASSERT_NE(menuButton, nullptr) << "the header bar has no menu button";
  gtk_button_clicked(GTK_BUTTON(menuButton));
  ASSERT_NE(gtk_menu_get_for_attach_widget(menuButton), nullptr) << "the button opened no menu";
  GtkWidget* menu = GTK_WIDGET(g_list_last(gtk_menu_get_for_attach_widget(menuButton))->data);
  GList* top = gtk_container_get_children(GTK_CONTAINER(menu));
  ASSERT_EQ(g_list_length(top), 1u);
  GtkWidget* app = GTK_WIDGET(top->data);
  g_list_free(top);
  EXPECT_EQ(labelOf(app), "App");
  GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(app));
  ASSERT_NE(submenu, nullptr);
  GList* rows = gtk_container_get_children(GTK_CONTAINER(submenu));
  ASSERT_EQ(g_list_length(rows), 3u);
  EXPECT_EQ(labelOf(GTK_WIDGET(rows->data)), "Minimize");
  EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_list_nth_data(rows, 1)));
  gtk_menu_item_activate(GTK_MENU_ITEM(rows->data));
  g_list_free(rows);
  EXPECT_EQ(used, window_.get());

  gtk_menu_shell_deactivate(GTK_MENU_SHELL(menu));
  pumpMainThread();
  sharedUi()->setApplicationMenu({});
}

TEST_F(GtkWebWindowTest, CloseButtonAsksFirst) {
  bool allow = false;
  std::vector<bool> closed;
  ui::WebWindow::Handlers handlers;
  handlers.closeRequested = [&allow] { return allow; };
  handlers.closed = [&closed](bool wasVisible) { closed.push_back(wasVisible); };
  window_->setHandlers(std::move(handlers));
  GtkWidget* gtkWindow = GTK_WIDGET(static_cast<ui::GtkWebWindow*>(window_.get())->gtkWindow());
  gtk_window_close(GTK_WINDOW(gtkWindow));  // as the window manager's close
  pumpMainThread();
  EXPECT_FALSE(window_->isClosed());
  EXPECT_TRUE(closed.empty());
  allow = true;
  window_->requestClose();
  EXPECT_TRUE(window_->isClosed());
  EXPECT_EQ(closed, (std::vector<bool>{true}));
}

TEST_F(GtkWebWindowTest, ClosingEndsWaitersAndReportsOnce) {
  int closed = 0;
  ui::WebWindow::Handlers handlers;
  handlers.closed = [&closed](bool) { ++closed; };
  window_->setHandlers(std::move(handlers));
  window_->close();
  window_->close();
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(window_->isClosed());
  // A worker raising into a closed window does not wait forever.
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    window_->raiseEvent(*PageEvent::make("NbTest", JsonValue::object({})));
    returned = true;
  });
  ASSERT_TRUE(pumpMainThreadUntil([&] { return returned.load(); }));
  worker.join();
}

}  // namespace
}  // namespace nb::test
