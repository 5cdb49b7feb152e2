#include "shell/app/Reachability.h"

#include <gio/gio.h>

#include "platform/Log.h"

namespace nb {

namespace {

// Keeps the monitor alive across an asynchronous reach test.
struct Pending {
  std::weak_ptr<Reachability> monitor;
};

void reachAnswered(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
  GError* error = nullptr;
  const gboolean reachable =
      g_network_monitor_can_reach_finish(G_NETWORK_MONITOR(source), result, &error);
  g_clear_error(&error);
  if (auto monitor = pending->monitor.lock()) monitor->reachabilityChanged(reachable != FALSE);
}

}  // namespace

std::shared_ptr<Reachability> Reachability::reachabilityWithHostname(const std::string& host) {
  if (host.empty()) return nullptr;
  return std::make_shared<Reachability>(host);
}

Reachability::Reachability(std::string host) : host_(std::move(host)) {}

Reachability::~Reachability() { stopNotifier(); }

bool Reachability::startNotifier() {
  GNetworkMonitor* monitor = g_network_monitor_get_default();  // owned by GIO
  if (!monitor) return false;
  queue_ = std::make_shared<platform::OperationQueue>(1);
  auto changed = +[](GNetworkMonitor*, gboolean, gpointer data) {
    static_cast<Reachability*>(data)->check();
  };
  handler_ = g_signal_connect(monitor, "network-changed", G_CALLBACK(changed), this);
  return true;
}

void Reachability::stopNotifier() {
  if (handler_ != 0) {
    g_signal_handler_disconnect(g_network_monitor_get_default(), handler_);
    handler_ = 0;
  }
  queue_.reset();
}

void Reachability::check() {
  GNetworkMonitor* monitor = g_network_monitor_get_default();
  GSocketConnectable* address = g_network_address_parse(host_.c_str(), 443, nullptr);
  if (!address) {
    reachabilityChanged(false);
    return;
  }
  g_network_monitor_can_reach_async(monitor, address, nullptr, reachAnswered,
                                    new Pending{weak_from_this()});
  g_object_unref(address);
}

void Reachability::reachabilityChanged(bool reachable) {
  if (!queue_) return;
  NBLOG_DEBUG(reachable ? "reachableBlock" : "unreachableBlock");
  const Action& action = reachable ? reachableBlock_ : unreachableBlock_;
  if (action) queue_->addOperation(action);
}

}  // namespace nb
