#include "shell/app/SingleInstance.h"

#include <gio/gio.h>
#include <gio/gunixsocketaddress.h>

#include <filesystem>
#include <thread>

#include "foundation/util/UtilSession.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/XdgDirs.h"

namespace nb {

namespace {

constexpr std::size_t kMaxMessage = 8192;

// Reads the one message a forwarding process writes, up to its closing.
std::string readMessage(GSocketConnection* connection) {
  GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection));
  std::string message(kMaxMessage, '\0');
  gsize read = 0;
  if (!g_input_stream_read_all(in, message.data(), message.size(), &read, nullptr, nullptr)) {
    return {};
  }
  message.resize(read);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\0')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

struct SingleInstance::Handler {
  std::function<void(const std::string&)> onMessage;
};

std::string SingleInstance::socketPath(const std::string& bundleIdentifier) {
  std::string dir = platform::runtimeDir();
  if (dir.empty()) dir = platform::configHome();
  if (dir.empty() || bundleIdentifier.empty() || bundleIdentifier.find('/') != std::string::npos ||
      bundleIdentifier == "." || bundleIdentifier == "..") {
    return {};
  }
  return dir + "/" + bundleIdentifier + ".sock";
}

bool SingleInstance::acquire(const std::string& bundleIdentifier, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (Util::didProgressLaunched(bundleIdentifier)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

bool SingleInstance::forward(const std::string& bundleIdentifier, const std::string& message) {
  const std::string path = socketPath(bundleIdentifier);
  if (path.empty()) return false;
  GSocketClient* client = g_socket_client_new();
  g_socket_client_set_timeout(client, 5);
  GSocketAddress* address = g_unix_socket_address_new(path.c_str());
  GSocketConnection* connection =
      g_socket_client_connect(client, G_SOCKET_CONNECTABLE(address), nullptr, nullptr);
  bool sent = false;
  if (connection) {
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
    sent = g_output_stream_write_all(out, message.data(), message.size(), nullptr, nullptr,
                                     nullptr) != FALSE;
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    g_object_unref(connection);
  }
  g_object_unref(address);
  g_object_unref(client);
  return sent;
}

SingleInstance::SingleInstance(const std::string& bundleIdentifier,
                               std::function<void(const std::string&)> onMessage)
    : handler_(std::make_unique<Handler>(Handler{std::move(onMessage)})),
      path_(socketPath(bundleIdentifier)) {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);  // left by a process that ended
  GSocketService* service = g_threaded_socket_service_new(1);
  GSocketAddress* address = g_unix_socket_address_new(path_.c_str());
  GError* error = nullptr;
  const gboolean added = g_socket_listener_add_address(
      G_SOCKET_LISTENER(service), address, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_DEFAULT,
      nullptr, nullptr, &error);
  g_object_unref(address);
  if (!added) {
    NBLOG_ERROR("cannot listen for other launches on {}: {}", path_,
                error ? error->message : "unknown");
    g_clear_error(&error);
    g_object_unref(service);
    return;
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::owner_write, ignored);
  auto run = +[](GThreadedSocketService*, GSocketConnection* connection, GObject*,
                 gpointer data) -> gboolean {
    const std::string message = readMessage(connection);
    auto* handler = static_cast<Handler*>(data);
    if (!message.empty() && handler->onMessage) {
      platform::MainThread::post([onMessage = handler->onMessage, message] { onMessage(message); });
    }
    return TRUE;
  };
  g_signal_connect(service, "run", G_CALLBACK(run), handler_.get());
  g_socket_service_start(service);
  service_ = service;
}

SingleInstance::~SingleInstance() {
  if (!service_) return;
  auto* service = static_cast<GSocketService*>(service_);
  g_socket_service_stop(service);
  g_socket_listener_close(G_SOCKET_LISTENER(service));
  g_signal_handlers_disconnect_by_data(service, handler_.get());
  g_object_unref(service);
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

}  // namespace nb
