#pragma once
// Runs the real client program against an in-process fake service in a
// temporary home: server.json points at the fake, the demo UI package (with
// a test's own autorun.js) is the client's UI folder, and the client's
// log file tells the test what happened. Each test has a private session
// bus of its own. Needs a display (the suite runs under Xvfb); without one
// the tests skip.

#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeDemo.h"
#include "support/TempHome.h"

namespace nb::test {

class ClientRun : public TempHome {
 protected:
  static constexpr std::chrono::seconds kPatience{90};

  void SetUp() override;
  void TearDown() override;

  // The script the pages run besides their own: for the sign-in page
  // ("login"), the main page ("main") and the hidden update window's page
  // ("updatetip").
  void setAutorun(const std::string& loginScript, const std::string& mainScript,
                  const std::string& updateScript = "");
  // A page script that signs in as the demo user once the page has loaded.
  static std::string signInScript();

  // Starts the program; its output goes to a file of the run.
  pid_t startClient(const std::vector<std::string>& args = {});
  // SIGTERM, then the exit status (-1 when it did not end in time).
  int stopClient(pid_t pid);
  // The exit status once the process ended; nothing when it still runs
  // after `patience`.
  std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds patience);

  // Every log line of every run so far (their console output).
  std::string logText() const;
  // How many lines hold `text`.
  std::size_t countLog(const std::string& text) const;
  // Waits until at least `count` lines hold `text`.
  bool waitForLog(const std::string& text, std::size_t count = 1,
                  std::chrono::milliseconds patience = kPatience) const;

  // Writes a stored sign-in as a previous session would have left it.
  void storeSignIn(const std::string& accessToken, const std::string& refreshToken);
  // The user id of the stored sign-in (-1: none).
  std::int64_t storedUserId() const;

  // The private session bus the clients of this test are on.
  std::string busAddress() const;

  FakeDemo& demo() { return *demo_; }
  std::filesystem::path configFolder() const { return home() / ".veskocfg"; }

 private:
  std::unique_ptr<FakeDemo> demo_;
  GTestDBus* bus_ = nullptr;
  std::vector<pid_t> running_;
  int runs_ = 0;
  std::optional<std::string> savedRuntimeDir_;
};

}  // namespace nb::test
