#include "platform/PowerManagement.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <optional>
#include <vector>

#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/UniqueFd.h"

namespace nb::platform {

namespace {

constexpr int kCallTimeoutMs = 2000;
// GNOME's session manager: the flag its automatic suspend looks at. Not
// the idle flag, which would also keep the screen from blanking.
constexpr guint32 kGnomeInhibitSuspend = 4;

GObjectPtr<GDBusConnection> bus(GBusType type) {
  GError* raw = nullptr;
  GObjectPtr<GDBusConnection> connection(g_bus_get_sync(type, nullptr, &raw));
  GErrorPtr error(raw);
  return connection;
}

struct VariantUnref {
  void operator()(GVariant* v) const {
    if (v) g_variant_unref(v);
  }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

VariantPtr call(GDBusConnection* connection, const char* name, const char* path,
                const char* interface, const char* method, GVariant* parameters,
                const char* replyType, GUnixFDList** outFds = nullptr) {
  GError* raw = nullptr;
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      connection, name, path, interface, method, parameters,
      replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
      kCallTimeoutMs, nullptr, outFds, nullptr, &raw);
  GErrorPtr error(raw);
  if (error) NBLOG_DEBUG("{}.{} failed: {}", interface, method, error->message);
  return VariantPtr(reply);
}

// logind's inhibitor lives as long as its descriptor; GNOME's as long as
// the cookie is not given back (or our bus connection ends).
class DesktopIdleBlock final : public IdleSleepBlock {
 public:
  DesktopIdleBlock(UniqueFd logind, GObjectPtr<GDBusConnection> session,
                   std::optional<guint32> cookie)
      : logind_(std::move(logind)), session_(std::move(session)), cookie_(cookie) {}
  ~DesktopIdleBlock() override {
    if (session_ && cookie_) {
      call(session_.get(), "org.gnome.SessionManager", "/org/gnome/SessionManager",
           "org.gnome.SessionManager", "Uninhibit", g_variant_new("(u)", *cookie_), nullptr);
    }
  }

 private:
  UniqueFd logind_;
  GObjectPtr<GDBusConnection> session_;
  std::optional<guint32> cookie_;
};

UniqueFd logindIdleInhibitor(const std::string& who, const std::string& why) {
  auto system = bus(G_BUS_TYPE_SYSTEM);
  if (!system) return UniqueFd();
  GUnixFDList* rawFds = nullptr;
  VariantPtr reply = call(system.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                          "org.freedesktop.login1.Manager", "Inhibit",
                          g_variant_new("(ssss)", "idle", who.c_str(), why.c_str(), "block"),
                          "(h)", &rawFds);
  GObjectPtr<GUnixFDList> fds(rawFds);
  if (!reply || !fds) return UniqueFd();
  gint32 index = -1;
  g_variant_get(reply.get(), "(h)", &index);
  return UniqueFd(g_unix_fd_list_get(fds.get(), index, nullptr));
}

std::optional<guint32> gnomeIdleInhibitor(GDBusConnection* session, const std::string& who,
                                          const std::string& why) {
  VariantPtr reply =
      call(session, "org.gnome.SessionManager", "/org/gnome/SessionManager",
           "org.gnome.SessionManager", "Inhibit",
           g_variant_new("(susu)", who.c_str(), 0u, why.c_str(), kGnomeInhibitSuspend),
           "(u)");
  if (!reply) return std::nullopt;
  guint32 cookie = 0;
  g_variant_get(reply.get(), "(u)", &cookie);
  return cookie;
}

class DesktopPower final : public PowerManagement {
 public:
  bool onMainsPower() override {
    auto system = bus(G_BUS_TYPE_SYSTEM);
    if (!system) return true;
    VariantPtr reply = call(system.get(), "org.freedesktop.UPower", "/org/freedesktop/UPower",
                            "org.freedesktop.DBus.Properties", "Get",
                            g_variant_new("(ss)", "org.freedesktop.UPower", "OnBattery"), "(v)");
    if (!reply) return true;
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    VariantPtr value(inner);
    return !(value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN) &&
             g_variant_get_boolean(value.get()));
  }

  std::unique_ptr<IdleSleepBlock> blockIdleSleep(const std::string& who,
                                                 const std::string& why) override {
    UniqueFd logind = logindIdleInhibitor(who, why);
    auto session = bus(G_BUS_TYPE_SESSION);
    std::optional<guint32> cookie;
    if (session) cookie = gnomeIdleInhibitor(session.get(), who, why);
    if (!logind.ok() && !cookie) {
      NBLOG_WARN("no service took the block on idle sleep");
      return nullptr;
    }
    return std::make_unique<DesktopIdleBlock>(std::move(logind), std::move(session), cookie);
  }
};

}  // namespace

std::shared_ptr<PowerManagement> PowerManagement::desktop() {
  return std::make_shared<DesktopPower>();
}

}  // namespace nb::platform
