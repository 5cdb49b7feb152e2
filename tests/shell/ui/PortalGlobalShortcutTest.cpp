// The screenshot hot key on Wayland: the global shortcuts portal against a
// fake portal on a private bus, and the desktop shortcut where there is none.

#include <gtest/gtest.h>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "shell/ui/gtk/DesktopShortcutHotKey.h"
#include "shell/ui/gtk/PortalGlobalShortcut.h"
#include "support/PrivateBus.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

using ui::DesktopShortcutHotKey;
using ui::HotKeyModifiers;
using ui::PortalGlobalShortcut;

constexpr const char* kPortalXml = R"xml(<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o" name="session_handle"/>
      <arg type="s" name="shortcut_id"/>
      <arg type="t" name="timestamp"/>
      <arg type="a{sv}" name="options"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>)xml";

// The desktop's portal as far as global shortcuts go, on a thread of its
// own: the client asks some things synchronously.
class FakePortal {
 public:
  struct Binding {
    std::string session;
    std::string id;
    std::string trigger;
  };

  explicit FakePortal(const PrivateBus& bus) : thread_([this, &bus] { run(bus); }) {
    ready_.get_future().wait();
  }
  ~FakePortal() {
    g_main_loop_quit(loop_);  // thread-safe
    thread_.join();
  }

  std::vector<std::string> sessions() const {
    std::lock_guard lock(mutex_);
    return sessions_;
  }
  std::vector<Binding> bindings() const {
    std::lock_guard lock(mutex_);
    return bindings_;
  }
  std::vector<std::string> closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  void activate(const std::string& session, const std::string& id) {
    g_dbus_connection_emit_signal(connection_, nullptr, PortalGlobalShortcut::kObjectPath,
                                  PortalGlobalShortcut::kInterface, "Activated",
                                  g_variant_new("(ost@a{sv})", session.c_str(), id.c_str(),
                                                guint64{1}, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                  nullptr);
    g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
  }

 private:
  void run(const PrivateBus& bus) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop_ = g_main_loop_new(context, FALSE);
    connection_ = bus.connect();
    GVariant* owned = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", PortalGlobalShortcut::kBusName, 4u), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (owned) g_variant_unref(owned);
    info_ = g_dbus_node_info_new_for_xml(kPortalXml, nullptr);
    static const GDBusInterfaceVTable vtable = {&FakePortal::call, &FakePortal::property, nullptr, {}};
    objects_.push_back(g_dbus_connection_register_object(
        connection_, PortalGlobalShortcut::kObjectPath, info_->interfaces[0], &vtable, this,
        nullptr, nullptr));
    ready_.set_value();
    g_main_loop_run(loop_);
    for (unsigned id : objects_) g_dbus_connection_unregister_object(connection_, id);
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    g_dbus_node_info_unref(info_);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  // The request and session paths the portal's documentation fixes.
  static std::string pathFor(const char* kind, const char* sender, const std::string& token) {
    std::string name = sender + 1;  // without ':'
    for (char& c : name) {
      if (c == '.') c = '_';
    }
    return std::string("/org/freedesktop/portal/desktop/") + kind + "/" + name + "/" + token;
  }
  static std::string option(GVariant* options, const char* key) {
    const char* value = nullptr;
    return g_variant_lookup(options, key, "&s", &value) ? value : "";
  }

  void answer(GDBusMethodInvocation* invocation, const std::string& request, GVariant* results) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
    g_dbus_connection_emit_signal(connection_, g_dbus_method_invocation_get_sender(invocation),
                                  request.c_str(), "org.freedesktop.portal.Request", "Response",
                                  g_variant_new("(u@a{sv})", 0u, results), nullptr);
  }

  static void call(GDBusConnection*, const char* sender, const char* path, const char*,
                   const char* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                   gpointer data) {
    auto& self = *static_cast<FakePortal*>(data);
    const std::string name = method;
    if (name == "CreateSession") {
      GVariant* options = g_variant_get_child_value(parameters, 0);
      const std::string session = pathFor("session", sender, option(options, "session_handle_token"));
      const std::string request = pathFor("request", sender, option(options, "handle_token"));
      g_variant_unref(options);
      static const GDBusInterfaceVTable sessionTable = {&FakePortal::call, nullptr, nullptr, {}};
      self.objects_.push_back(g_dbus_connection_register_object(
          self.connection_, session.c_str(), self.info_->interfaces[1], &sessionTable, &self,
          nullptr, nullptr));
      {
        std::lock_guard lock(self.mutex_);
        self.sessions_.push_back(session);
      }
      GVariantBuilder results;
      g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&results, "{sv}", "session_handle", g_variant_new_string(session.c_str()));
      self.answer(invocation, request, g_variant_builder_end(&results));
    } else if (name == "BindShortcuts") {
      const char* session = nullptr;
      GVariantIter* shortcuts = nullptr;
      GVariant* options = nullptr;
      g_variant_get(parameters, "(&oa(sa{sv})&s@a{sv})", &session, &shortcuts, nullptr, &options);
      const char* id = nullptr;
      GVariant* properties = nullptr;
      while (g_variant_iter_loop(shortcuts, "(&s@a{sv})", &id, &properties)) {
        const Binding binding{session, id, option(properties, "preferred_trigger")};
        std::lock_guard lock(self.mutex_);
        self.bindings_.push_back(binding);
      }
      g_variant_iter_free(shortcuts);
      const std::string request = pathFor("request", sender, option(options, "handle_token"));
      g_variant_unref(options);
      self.answer(invocation, request, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
    } else if (name == "Close") {
      {
        std::lock_guard lock(self.mutex_);
        self.closed_.push_back(path);
      }
      g_dbus_method_invocation_return_value(invocation, nullptr);
    }
  }
  static GVariant* property(GDBusConnection*, const char*, const char*, const char*, const char*,
                            GError**, gpointer) {
    return g_variant_new_uint32(1);
  }

  mutable std::mutex mutex_;
  std::vector<std::string> sessions_;  // guarded by mutex_
  std::vector<Binding> bindings_;      // guarded by mutex_
  std::vector<std::string> closed_;    // guarded by mutex_
  // The portal thread's own.
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* info_ = nullptr;
  std::vector<unsigned> objects_;
  std::promise<void> ready_;
  std::thread thread_;
};

// GNOME's custom shortcuts as far as we use them, and a schema that is
// something else.
constexpr const char* kMediaKeysSchemas = R"xml(<schemalist>
  <schema id="org.gnome.settings-daemon.plugins.media-keys"
          path="/org/gnome/settings-daemon/plugins/media-keys/">
    <key name="custom-keybindings" type="as"><default>['/elsewhere/']</default></key>
  </schema>
  <schema id="org.gnome.settings-daemon.plugins.media-keys.custom-keybinding">
    <key name="name" type="s"><default>''</default></key>
    <key name="command" type="s"><default>''</default></key>
    <key name="binding" type="s"><default>''</default></key>
  </schema>
</schemalist>)xml";
constexpr const char* kOtherSchema = R"xml(<schemalist>
  <schema id="org.example.other" path="/org/example/other/">
    <key name="x" type="s"><default>''</default></key>
  </schema>
</schemalist>)xml";

// Schemas of a test's own, compiled into a temporary folder.
class TestSchemas {
 public:
  explicit TestSchemas(const char* xml) : folder_(makeTempDir("nbschemas")) {
    std::ofstream(folder_ / "test.gschema.xml") << xml;
    const std::string target = folder_.string();
    char* argv[] = {const_cast<char*>("glib-compile-schemas"), const_cast<char*>(target.c_str()),
                    nullptr};
    gint status = 0;
    g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                 &status, nullptr);
    source_ = g_settings_schema_source_new_from_directory(target.c_str(), nullptr, FALSE, nullptr);
    backend_ = g_memory_settings_backend_new();
  }
  ~TestSchemas() {
    if (source_) g_settings_schema_source_unref(source_);
    g_object_unref(backend_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  GSettingsSchemaSource* source() const { return source_; }
  GSettingsBackend* backend() const { return backend_; }
  // A text key of `schema` at `path` (null: the schema's own) as stored.
  std::string text(const char* schema, const char* path, const char* key) const {
    GSettings* settings = settingsAt(schema, path);
    gchar* value = g_settings_get_string(settings, key);
    std::string result = value;
    g_free(value);
    g_object_unref(settings);
    return result;
  }
  std::vector<std::string> list(const char* schema, const char* key) const {
    GSettings* settings = settingsAt(schema, nullptr);
    gchar** values = g_settings_get_strv(settings, key);
    std::vector<std::string> result;
    for (gchar** value = values; *value; ++value) result.emplace_back(*value);
    g_strfreev(values);
    g_object_unref(settings);
    return result;
  }

 private:
  GSettings* settingsAt(const char* id, const char* path) const {
    GSettingsSchema* schema = g_settings_schema_source_lookup(source_, id, FALSE);
    GSettings* settings = g_settings_new_full(schema, backend_, path);
    g_settings_schema_unref(schema);
    return settings;
  }

  std::filesystem::path folder_;
  GSettingsSchemaSource* source_ = nullptr;
  GSettingsBackend* backend_ = nullptr;
};

class PortalGlobalShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pumpMainThread();  // this thread is the main thread
    client_ = bus_.connect();
    ASSERT_NE(client_, nullptr);
  }
  void TearDown() override {
    hotKey_.reset();
    portal_.reset();
    if (client_) {
      g_dbus_connection_close_sync(client_, nullptr, nullptr);
      g_object_unref(client_);
    }
  }
  void makeHotKey(const TestSchemas& schemas = TestSchemas(kOtherSchema)) {
    hotKey_ = ui::makeWaylandHotKey(client_, [this] { ++presses_; }, schemas.source(),
                                    schemas.backend());
  }
  PortalGlobalShortcut& portalKey() { return dynamic_cast<PortalGlobalShortcut&>(*hotKey_); }
  bool waitFor(const std::function<bool()>& done) {
    return pumpMainThreadUntil(done, std::chrono::seconds(20));
  }

  PrivateBus bus_;
  GDBusConnection* client_ = nullptr;
  std::unique_ptr<FakePortal> portal_;
  std::unique_ptr<ui::GlobalHotKey> hotKey_;
  int presses_ = 0;
};

constexpr HotKeyModifiers kCtrlShift{.ctrl = true, .shift = true};

TEST(PortalTriggerTest, CombinationsAsPreferredTriggers) {
  EXPECT_EQ(PortalGlobalShortcut::trigger("a", kCtrlShift), "CTRL+SHIFT+a");
  EXPECT_EQ(PortalGlobalShortcut::trigger("F5", {.alt = true, .super = true}), "ALT+LOGO+F5");
}

TEST_F(PortalGlobalShortcutTest, WithoutAPortalTheUserIsToldToBindTheForwardingCommand) {
  EXPECT_FALSE(PortalGlobalShortcut::available(client_));
  makeHotKey();
  auto* fallback = dynamic_cast<DesktopShortcutHotKey*>(hotKey_.get());
  ASSERT_NE(fallback, nullptr);
  EXPECT_FALSE(hotKey_->grab("a", kCtrlShift));
  EXPECT_EQ(fallback->advised(), "CTRL+SHIFT+a");
}

TEST_F(PortalGlobalShortcutTest, WithoutAPortalTheDesktopsCustomShortcutRunsTheForwardingCommand) {
  using Key = DesktopShortcutHotKey;
  const TestSchemas schemas(kMediaKeysSchemas);
  makeHotKey(schemas);
  ASSERT_NE(dynamic_cast<DesktopShortcutHotKey*>(hotKey_.get()), nullptr);
  EXPECT_TRUE(hotKey_->grab("a", kCtrlShift));
  EXPECT_EQ(schemas.text(Key::kEntrySchema, Key::kEntryPath, "command"), "nubren --screenshot");
  EXPECT_EQ(schemas.text(Key::kEntrySchema, Key::kEntryPath, "binding"), "<Control><Shift>a");
  const std::vector<std::string> both{"/elsewhere/", Key::kEntryPath};
  EXPECT_EQ(schemas.list(Key::kListSchema, "custom-keybindings"), both);

  // A new combination replaces ours; the user's other shortcuts stay.
  EXPECT_TRUE(hotKey_->grab("F5", {.alt = true, .super = true}));
  EXPECT_EQ(schemas.text(Key::kEntrySchema, Key::kEntryPath, "binding"), "<Alt><Super>F5");
  EXPECT_EQ(schemas.list(Key::kListSchema, "custom-keybindings"), both);

  hotKey_->release();
  EXPECT_EQ(schemas.list(Key::kListSchema, "custom-keybindings"),
            (std::vector<std::string>{"/elsewhere/"}));
  EXPECT_EQ(schemas.text(Key::kEntrySchema, Key::kEntryPath, "command"), "");
}

TEST_F(PortalGlobalShortcutTest, TheCombinationIsBoundAndItsActivationFires) {
  portal_ = std::make_unique<FakePortal>(bus_);
  makeHotKey();
  ASSERT_NE(dynamic_cast<PortalGlobalShortcut*>(hotKey_.get()), nullptr);
  ASSERT_TRUE(hotKey_->grab("a", kCtrlShift));
  ASSERT_TRUE(waitFor([&] { return portalKey().bound(); }));
  const auto bindings = portal_->bindings();
  ASSERT_EQ(bindings.size(), 1u);
  EXPECT_EQ(bindings[0].id, "screenshot");
  EXPECT_EQ(bindings[0].trigger, "CTRL+SHIFT+a");
  const std::string session = portal_->sessions().at(0);
  EXPECT_EQ(bindings[0].session, session);

  // Another shortcut id or session is not ours; signals arrive in order, so
  // the last one shows the others were passed over.
  portal_->activate(session, "other");
  portal_->activate("/org/freedesktop/portal/desktop/session/x/y", "screenshot");
  portal_->activate(session, "screenshot");
  ASSERT_TRUE(waitFor([&] { return presses_ >= 1; }));
  EXPECT_EQ(presses_, 1);
}

TEST_F(PortalGlobalShortcutTest, ANewCombinationOrAReleaseClosesTheSession) {
  portal_ = std::make_unique<FakePortal>(bus_);
  makeHotKey();
  ASSERT_TRUE(hotKey_->grab("a", kCtrlShift));
  ASSERT_TRUE(waitFor([&] { return portalKey().bound(); }));
  ASSERT_TRUE(hotKey_->grab("a", {.alt = true}));
  ASSERT_TRUE(waitFor([&] { return portalKey().bound() && portal_->closed().size() == 1; }));
  const auto sessions = portal_->sessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(portal_->closed().at(0), sessions[0]);
  EXPECT_EQ(portal_->bindings().at(1).trigger, "ALT+a");

  hotKey_->release();
  EXPECT_FALSE(portalKey().bound());
  ASSERT_TRUE(waitFor([&] { return portal_->closed().size() == 2; }));
  EXPECT_EQ(portal_->closed().at(1), sessions[1]);

  // Bound again: activations of the closed sessions do nothing.
  ASSERT_TRUE(hotKey_->grab("a", kCtrlShift));
  ASSERT_TRUE(waitFor([&] { return portalKey().bound(); }));
  portal_->activate(sessions[0], "screenshot");
  portal_->activate(sessions[1], "screenshot");
  portal_->activate(portal_->sessions().at(2), "screenshot");
  ASSERT_TRUE(waitFor([&] { return presses_ >= 1; }));
  EXPECT_EQ(presses_, 1);
}

}  // namespace
}  // namespace nb::test
