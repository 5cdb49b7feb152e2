// The screenshot hot key on Wayland: the global shortcuts portal against a
// fake portal on a private bus, and the desktop shortcut where there is none.

#include <gtest/gtest.h>

#include <gio/gio.h>

#include <chrono>
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
  void makeHotKey() {
    hotKey_ = ui::makeWaylandHotKey(client_, [this] { ++presses_; });
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
