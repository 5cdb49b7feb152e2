#include "launch/ClientRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "stores/settings/SettingsDb.h"

extern char** environ;

namespace nb::test {

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

}  // namespace

void ClientRun::SetUp() {
  TempHome::SetUp();
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under Xvfb)";
  // The desktop's services the client looks for (status item host, portals,
  // notifications) are absent, and nothing outlives the test. Bringing the
  // bus up clears the display and runtime folder from the environment.
  const std::string display = std::getenv("DISPLAY");
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR")) savedRuntimeDir_ = dir;
  bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
  g_test_dbus_up(bus_);
  setenv("DISPLAY", display.c_str(), 1);
  const fs::path runtime = root() / "run";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("NUBREN_LAN_LOOPBACK", "1", 1);
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
  setenv("NO_AT_BRIDGE", "1", 1);

  FakeService::Options options;
  options.https = true;
  demo_ = std::make_unique<FakeDemo>(options);
  const std::string host = demo_->api().host();
  writeFile(configFolder() / "bundle/server.json",
            "{\"serverhost\":\"" + host + "\",\"apihost\":\"" + host + "\",\"webhost\":\"" + host +
                "\",\"updatehost\":\"" + host + "\",\"passport\":\"" + host + "\",\"https\":1,\"cafile\":\"" +
                demo_->api().caFile().string() + "\"}");
  fs::create_directories(configFolder() / "UI");
  fs::copy(NB_DEMO_UI_DIR, configFolder() / "UI", fs::copy_options::recursive);
  setAutorun(signInScript(), "");
}

void ClientRun::TearDown() {
  for (pid_t pid : running_) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  running_.clear();
  if (bus_) {
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
    bus_ = nullptr;
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
  }
  demo_.reset();
  if (savedRuntimeDir_) {
    setenv("XDG_RUNTIME_DIR", savedRuntimeDir_->c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  unsetenv("NUBREN_LAN_LOOPBACK");
  TempHome::TearDown();
}

std::string ClientRun::busAddress() const {
  return bus_ ? g_test_dbus_get_bus_address(bus_) : "";
}

std::string ClientRun::signInScript() {
  return "window.addEventListener('load', function () {"
         " setTimeout(function () { document.querySelector('#login-form button').click(); }, 200);"
         "});";
}

void ClientRun::setAutorun(const std::string& loginScript, const std::string& mainScript,
                           const std::string& updateScript) {
  writeFile(configFolder() / "UI/autorun.js",
            "if (location.hash.indexOf('#/login') === 0) {" + loginScript +
                "} else if (location.hash.indexOf('#/updatetip') === 0) {" + updateScript +
                "} else {" + mainScript + "}");
}

pid_t ClientRun::startClient(const std::vector<std::string>& args) {
  std::vector<std::string> argv{NB_CLIENT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (auto& arg : argv) raw.push_back(arg.data());
  raw.push_back(nullptr);
  const std::string out = (root() / ("client-" + std::to_string(++runs_) + ".out")).string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(failed, 0) << "cannot start " << NB_CLIENT_PATH;
  if (failed == 0) running_.push_back(pid);
  return pid;
}

std::optional<int> ClientRun::waitExit(pid_t pid, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      std::erase(running_, pid);
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

int ClientRun::stopClient(pid_t pid) {
  kill(pid, SIGTERM);
  return waitExit(pid, std::chrono::seconds(30)).value_or(-1);
}

std::string ClientRun::logText() const {
  // The console copy: the log file is written in the background and only
  // error lines reach it at once.
  std::string text;
  for (int run = 1; run <= runs_; ++run) {
    std::ifstream in(root() / ("client-" + std::to_string(run) + ".out"));
    std::ostringstream content;
    content << in.rdbuf();
    text += content.str();
  }
  return text;
}

std::size_t ClientRun::countLog(const std::string& text) const {
  std::istringstream lines(logText());
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

bool ClientRun::waitForLog(const std::string& text, std::size_t count,
                           std::chrono::milliseconds patience) const {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (countLog(text) < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

void ClientRun::storeSignIn(const std::string& accessToken, const std::string& refreshToken) {
  fs::create_directories(configFolder());
  SettingsDb settings((configFolder() / "vesettings3.db").string());
  UserInfo info;
  info.userid = FakeDemo::kMemberId;
  info.refreshtoken = refreshToken;
  info.token = accessToken;
  info.device = "test";
  info.userinfo = "{\"member_id\":1,\"member_name\":\"demo\"}";
  info.serverhost = demo_->api().host();
  settings.setuserinfo(info);
}

std::int64_t ClientRun::storedUserId() const {
  SettingsDb settings((configFolder() / "vesettings3.db").string());
  return settings.getuserinfo().userid;
}

}  // namespace nb::test
