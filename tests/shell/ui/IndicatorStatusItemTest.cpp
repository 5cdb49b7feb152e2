// The status item on a real session bus: a test-owned status-notifier
// watcher sees the item register, and the item publishes its menu.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/ui/gtk/IndicatorStatusItem.h"
#include "support/GtkUiFixture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

constexpr const char* kWatcherXml = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>)";

// What the watcher heard: the registering connection and the item's path
// (or bus name) it gave.
struct Registration {
  std::string sender;
  std::string service;
};

struct FakeWatcher {
  GDBusConnection* bus = nullptr;
  guint object = 0;
  guint name = 0;
  int nameState = 0;  // 1 acquired, -1 lost
  std::vector<Registration> items;
};

void watcherCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                 const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                 gpointer data) {
  auto* watcher = static_cast<FakeWatcher*>(data);
  if (std::string(method) == "RegisterStatusNotifierItem") {
    const gchar* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    watcher->items.push_back({sender, service});
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* watcherProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                          const gchar* property, GError**, gpointer data) {
  auto* watcher = static_cast<FakeWatcher*>(data);
  const std::string name = property;
  if (name == "IsStatusNotifierHostRegistered") return g_variant_new_boolean(TRUE);
  if (name == "ProtocolVersion") return g_variant_new_int32(0);
  GVariantBuilder items;
  g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
  for (const auto& item : watcher->items) g_variant_builder_add(&items, "s", item.service.c_str());
  return g_variant_builder_end(&items);
}

// An asynchronous call answered while the main loop turns (the item
// answers on this very thread).
GVariant* callAndWait(GDBusConnection* bus, const std::string& destination,
                      const std::string& path, const char* interface, const char* method,
                      GVariant* parameters) {
  struct Result {
    GVariant* reply = nullptr;
    bool done = false;
  } result;
  g_dbus_connection_call(
      bus, destination.c_str(), path.c_str(), interface, method, parameters, nullptr,
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* r = static_cast<Result*>(data);
        r->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, nullptr);
        r->done = true;
      },
      &result);
  pumpMainThreadUntil([&] { return result.done; });
  return result.reply;
}

// The labels under `node` (a separator as "-"), the node's own included
// unless it is the menu's root.
void collectLabels(GVariant* node, std::vector<std::string>& labels, bool root = false) {
  gint32 id = 0;
  GVariant* properties = nullptr;
  GVariant* children = nullptr;
  g_variant_get(node, "(i@a{sv}@av)", &id, &properties, &children);
  const gchar* label = nullptr;
  if (!root && g_variant_lookup(properties, "label", "&s", &label)) labels.emplace_back(label);
  const gchar* type = nullptr;
  if (g_variant_lookup(properties, "type", "&s", &type) && std::string(type) == "separator") {
    labels.emplace_back("-");
  }
  GVariantIter iter;
  g_variant_iter_init(&iter, children);
  while (GVariant* child = g_variant_iter_next_value(&iter)) {
    GVariant* inner = g_variant_get_variant(child);
    collectLabels(inner, labels);
    g_variant_unref(inner);
    g_variant_unref(child);
  }
  g_variant_unref(properties);
  g_variant_unref(children);
}

class IndicatorStatusItemTest : public GtkUiTest {
 protected:
  static void SetUpTestSuite() {
    // A private bus for a process that has none (CI under Xvfb), made before
    // anything in the process connects to a session bus.
    if (!g_getenv("DBUS_SESSION_BUS_ADDRESS")) {
      // Starting the bus forgets the display; the windows still need it.
      const std::string display = g_getenv("DISPLAY") ? g_getenv("DISPLAY") : "";
      testBus() = g_test_dbus_new(G_TEST_DBUS_NONE);
      g_test_dbus_up(testBus());
      if (!display.empty()) g_setenv("DISPLAY", display.c_str(), TRUE);
    }
    GtkUiTest::SetUpTestSuite();
    if (!sessionBus()) sessionBus() = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  }
  static GTestDBus*& testBus() {
    static GTestDBus* bus = nullptr;
    return bus;
  }
  // Kept for the process: the indicator library holds on to the first
  // session connection it saw, so the connection must outlive every item.
  // The private bus ends with the process.
  static GDBusConnection*& sessionBus() {
    static GDBusConnection* bus = nullptr;
    return bus;
  }

  void SetUp() override {
    GtkUiTest::SetUp();
    if (IsSkipped()) return;
    if (!sessionBus()) GTEST_SKIP() << "no session bus";
    watcher_.bus = G_DBUS_CONNECTION(g_object_ref(sessionBus()));
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
    static const GDBusInterfaceVTable vtable = {watcherCall, watcherProperty, nullptr, {}};
    watcher_.object = g_dbus_connection_register_object(
        watcher_.bus, "/StatusNotifierWatcher", info->interfaces[0], &vtable, &watcher_, nullptr,
        nullptr);
    g_dbus_node_info_unref(info);
    watcher_.name = g_bus_own_name_on_connection(
        watcher_.bus, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
        [](GDBusConnection*, const gchar*, gpointer w) { static_cast<FakeWatcher*>(w)->nameState = 1; },
        [](GDBusConnection*, const gchar*, gpointer w) { static_cast<FakeWatcher*>(w)->nameState = -1; },
        &watcher_, nullptr);
    pumpMainThreadUntil([&] { return watcher_.nameState != 0; });
    if (watcher_.nameState != 1) GTEST_SKIP() << "the desktop's own watcher owns the name";
  }
  void TearDown() override {
    item_.reset();
    if (watcher_.name) g_bus_unown_name(watcher_.name);
    if (watcher_.object) g_dbus_connection_unregister_object(watcher_.bus, watcher_.object);
    if (watcher_.bus) g_object_unref(watcher_.bus);
    pumpMainThread();
  }

  FakeWatcher watcher_;
  std::unique_ptr<ui::IndicatorStatusItem> item_;
};

TEST_F(IndicatorStatusItemTest, RegistersWithTheWatcherAndPublishesItsMenu) {
  int opened = 0;
  item_ = std::make_unique<ui::IndicatorStatusItem>("nubren-test");
  item_->setMenu({{"打开", [&] { ++opened; }}, ui::MenuEntry::separator(), {"退出Nubren", [] {}}});
  item_->setLabel("5");
  ASSERT_TRUE(pumpMainThreadUntil([&] { return !watcher_.items.empty(); }));
  const Registration registration = watcher_.items.front();
  ASSERT_FALSE(registration.sender.empty());
  const std::string path =
      registration.service.starts_with("/") ? registration.service : "/StatusNotifierItem";

  GVariant* reply = callAndWait(watcher_.bus, registration.sender, path,
                                "org.freedesktop.DBus.Properties", "Get",
                                g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Menu"));
  ASSERT_NE(reply, nullptr);
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const std::string menuPath = g_variant_get_string(value, nullptr);
  g_variant_unref(value);
  g_variant_unref(reply);
  ASSERT_FALSE(menuPath.empty());

  std::vector<std::string> labels;
  ASSERT_TRUE(pumpMainThreadUntil([&] {
    const char* wanted[] = {"label", "type", nullptr};
    GVariant* layout = callAndWait(watcher_.bus, registration.sender, menuPath,
                                   "com.canonical.dbusmenu", "GetLayout",
                                   g_variant_new("(ii^as)", 0, -1, wanted));
    labels.clear();
    if (layout) {
      guint32 revision = 0;
      GVariant* root = nullptr;
      g_variant_get(layout, "(u@(ia{sv}av))", &revision, &root);
      collectLabels(root, labels, true);
      g_variant_unref(root);
      g_variant_unref(layout);
    }
    return labels == std::vector<std::string>{"打开", "-", "退出Nubren"};
  })) << testing::PrintToString(labels);
}

TEST_F(IndicatorStatusItemTest, PicturesGoToItsThemeFolderAndTheSpinnerTurns) {
  const std::string folder = makeTempDir("nbicons").string();
  const std::string picture = folder + "/statusLink.png";
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 22, 22);
  gdk_pixbuf_fill(pixbuf, 0x3366ccff);
  ASSERT_TRUE(gdk_pixbuf_save(pixbuf, picture.c_str(), "png", nullptr, nullptr));
  g_object_unref(pixbuf);

  item_ = std::make_unique<ui::IndicatorStatusItem>("nubren-test");
  ASSERT_TRUE(pumpMainThreadUntil([&] { return !watcher_.items.empty(); }));
  const Registration registration = watcher_.items.front();
  auto property = [&](const char* name) {
    GVariant* reply = callAndWait(watcher_.bus, registration.sender, registration.service,
                                  "org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", "org.kde.StatusNotifierItem", name));
    if (!reply) return std::string();
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::string text = g_variant_get_string(value, nullptr);
    g_variant_unref(value);
    g_variant_unref(reply);
    return text;
  };

  item_->setImage(picture, true);
  const std::string still = property("IconName");
  EXPECT_EQ(property("IconThemePath"), item_->themeFolder());
  EXPECT_TRUE(std::filesystem::is_regular_file(item_->themeFolder() + "/" + still + ".png"));
  item_->setImage(picture, true);  // the same picture is not written again
  EXPECT_EQ(property("IconName"), still);

  item_->setSpinningImage(picture, picture);
  const std::string first = property("IconName");
  EXPECT_NE(first, still);
  ASSERT_TRUE(pumpMainThreadUntil([&] { return property("IconName") != first; }));
  item_->setImage("/nonexistent.png", false);  // unreadable: no picture, no crash
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace nb::test
