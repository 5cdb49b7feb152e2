#include "support/PrivateBus.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempHome.h"

namespace nb::test {

namespace {

// In the forked child before exec: the daemon goes when the test process
// does, even when the test crashes.
void dieWithParent(gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }

// The first line the daemon prints: its address.
std::string readLine(int fd) {
  std::string line;
  char c = 0;
  while (true) {
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line.push_back(c);
  }
  return line;
}

}  // namespace

PrivateBus::PrivateBus() {
  folder_ = makeTempDir("nbbus").string();
  const std::string config = folder_ + "/bus.conf";
  {
    std::ofstream out(config);
    out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << folder_
        << "</listen>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
  }
  const std::string configArg = "--config-file=" + config;
  char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>(configArg.c_str()),
                  const_cast<char*>("--nofork"), const_cast<char*>("--print-address"), nullptr};
  GPid pid = 0;
  int out = -1;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, argv, nullptr,
                                static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH |
                                                         G_SPAWN_DO_NOT_REAP_CHILD),
                                dieWithParent, nullptr, &pid, nullptr, &out, nullptr, &error)) {
    ADD_FAILURE() << "no dbus-daemon: " << (error ? error->message : "");
    if (error) g_error_free(error);
    return;
  }
  pid_ = pid;
  address_ = readLine(out);
  close(out);
  if (address_.empty()) ADD_FAILURE() << "the dbus-daemon printed no address";
}

PrivateBus::~PrivateBus() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

GDBusConnection* PrivateBus::connect() const {
  if (address_.empty()) return nullptr;
  GError* error = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address_.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (connection == nullptr) {
    ADD_FAILURE() << "cannot connect to the private bus: " << (error ? error->message : "");
    if (error) g_error_free(error);
  }
  return connection;
}

}  // namespace nb::test
