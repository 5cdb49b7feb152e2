// The desktop's power management against test-owned UPower, logind and
// GNOME session services on a private bus.

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "platform/PowerManagement.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

constexpr const char* kServicesXml = R"(<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="h" direction="out"/>
    </method>
  </interface>
  <interface name="org.gnome.SessionManager">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="Uninhibit"><arg type="u" direction="in"/></method>
  </interface>
  <interface name="org.freedesktop.UPower">
    <property name="OnBattery" type="b" access="read"/>
  </interface>
</node>)";

struct FakeServices {
  bool onBattery = false;
  std::vector<std::string> logindCalls;  // "what|who|why|mode"
  int logindReadEnd = -1;                // our end of the inhibitor's pipe
  std::vector<guint32> gnomeFlags;
  std::vector<guint32> uninhibited;
};

void serviceCall(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                 const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                 gpointer data) {
  auto* services = static_cast<FakeServices*>(data);
  const std::string name = std::string(interface) + "." + method;
  if (name == "org.freedesktop.login1.Manager.Inhibit") {
    const gchar *what, *who, *why, *mode;
    g_variant_get(parameters, "(&s&s&s&s)", &what, &who, &why, &mode);
    services->logindCalls.push_back(std::string(what) + "|" + who + "|" + why + "|" + mode);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    services->logindReadEnd = fds[0];
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1);  // takes the write end
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0),
                                                             list);
    g_object_unref(list);
  } else if (name == "org.gnome.SessionManager.Inhibit") {
    const gchar *app, *reason;
    guint32 xid, flags;
    g_variant_get(parameters, "(&su&su)", &app, &xid, &reason, &flags);
    services->gnomeFlags.push_back(flags);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", 77u));
  } else if (name == "org.gnome.SessionManager.Uninhibit") {
    guint32 cookie;
    g_variant_get(parameters, "(u)", &cookie);
    services->uninhibited.push_back(cookie);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
}

GVariant* serviceProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                          const gchar*, GError**, gpointer data) {
  return g_variant_new_boolean(static_cast<FakeServices*>(data)->onBattery);
}

class PowerManagementTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bus() = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus());
    // One bus stands for both: the system bus is asked for logind and UPower.
    g_setenv("DBUS_SYSTEM_BUS_ADDRESS", g_test_dbus_get_bus_address(bus()), TRUE);
  }
  static void TearDownTestSuite() {
    g_test_dbus_down(bus());
    g_object_unref(bus());
  }
  static GTestDBus*& bus() {
    static GTestDBus* b = nullptr;
    return b;
  }

  void SetUp() override {
    pumpMainThread();
    connection_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    ASSERT_NE(connection_, nullptr);
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kServicesXml, nullptr);
    static const GDBusInterfaceVTable vtable = {serviceCall, serviceProperty, nullptr, {}};
    const struct {
      const char* path;
      int iface;
      const char* name;
    } services[] = {{"/org/freedesktop/login1", 0, "org.freedesktop.login1"},
                    {"/org/gnome/SessionManager", 1, "org.gnome.SessionManager"},
                    {"/org/freedesktop/UPower", 2, "org.freedesktop.UPower"}};
    for (const auto& s : services) {
      objects_.push_back(g_dbus_connection_register_object(
          connection_, s.path, info->interfaces[s.iface], &vtable, &services_, nullptr, nullptr));
      names_.push_back(g_bus_own_name_on_connection(connection_, s.name, G_BUS_NAME_OWNER_FLAGS_NONE,
                                                    nullptr, nullptr, nullptr, nullptr));
    }
    g_dbus_node_info_unref(info);
    pumpMainThread();
  }
  void TearDown() override {
    for (guint name : names_) g_bus_unown_name(name);
    for (guint object : objects_) g_dbus_connection_unregister_object(connection_, object);
    g_object_unref(connection_);
    if (services_.logindReadEnd >= 0) close(services_.logindReadEnd);
  }

  // Runs `job` on another thread while this one serves the fake services.
  template <typename Job>
  auto served(Job job) {
    auto result = std::async(std::launch::async, job);
    pumpMainThreadUntil([&] {
      return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    return result.get();
  }
  bool logindReleased() const {
    pollfd fd{services_.logindReadEnd, POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & (POLLHUP | POLLIN)) != 0;
  }

  GDBusConnection* connection_ = nullptr;
  std::vector<guint> objects_;
  std::vector<guint> names_;
  FakeServices services_;
  std::shared_ptr<platform::PowerManagement> power_ = platform::PowerManagement::desktop();
};

TEST_F(PowerManagementTest, MainsPowerFromUPower) {
  EXPECT_TRUE(served([&] { return power_->onMainsPower(); }));
  services_.onBattery = true;
  EXPECT_FALSE(served([&] { return power_->onMainsPower(); }));
}

TEST_F(PowerManagementTest, OnlyIdleSleepIsBlockedAndTheBlockGoesWithItsHandle) {
  auto block = served([&] { return power_->blockIdleSleep("nubren", "Disabled Dormancy"); });
  ASSERT_NE(block, nullptr);
  // Not "sleep": a suspend the user asks for still happens.
  EXPECT_EQ(services_.logindCalls,
            (std::vector<std::string>{"idle|nubren|Disabled Dormancy|block"}));
  EXPECT_EQ(services_.gnomeFlags, (std::vector<guint32>{4}));  // automatic suspend only
  ASSERT_GE(services_.logindReadEnd, 0);
  EXPECT_FALSE(logindReleased());
  served([&] {
    block.reset();
    return 0;
  });
  EXPECT_TRUE(logindReleased());
  EXPECT_EQ(services_.uninhibited, (std::vector<guint32>{77}));
}

}  // namespace
}  // namespace nb::test
