// vep:// links while the client runs: a second launch with a link hands it
// to the running client, whose main page then opens the library's path.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "foundation/text/StringHelpers.h"
#include "launch/ClientRun.h"
#include "support/FakeDemo.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kLinked = "gGetNetworkStatus,linked:";
constexpr const char* kOpened = "gGetNetworkStatus,open-mount:";

// Links `folder` to the demo library through the main page's form, then
// reports every folder the client asks the page to open.
std::string pageScript(const fs::path& folder) {
  return "window.addEventListener('OpenMountPath', function (e) {"
         "  var d = e.detail || {};"
         "  nbClient.gGetNetworkStatus('open-mount:' + d.mount_id + ':' + d.webpath + ':end');"
         "});"
         "var nbTestTimer = setInterval(function () {"
         "  var row = Array.prototype.find.call(document.querySelectorAll('#libraries tbody tr'),"
         "    function (r) { return r.cells[0].textContent === 'Demo library (1)'; });"
         "  if (!row) return;"
         "  if (row.cells[1].textContent !== '') {"
         "    clearInterval(nbTestTimer);"
         "    nbClient.gGetNetworkStatus('linked:' + row.cells[1].textContent);"
         "    return;"
         "  }"
         "  if (document.getElementById('link-folder').value !== '') return;"
         "  document.getElementById('link-mount').value = '1';"
         "  document.getElementById('link-folder').value = '" +
         folder.string() +
         "';"
         "  document.querySelector('#link-form button').click();"
         "}, 1000);";
}

std::string vepLink(const std::string& line) { return "vep://" + *base64Encoded(line); }

class VepLinkRunTest : public ClientRun {};

TEST_F(VepLinkRunTest, ALinkOpenedWhileTheClientRunsReachesTheMainWindow) {
  const fs::path folder = home() / "Demo";
  setAutorun(signInScript(), pageScript(folder));
  pid_t client = startClient();
  ASSERT_TRUE(waitForLog(kLinked)) << logText();
  // The library's rows are known once its files came down.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!fs::exists(folder / "Welcome.txt") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(200ms);
  }
  ASSERT_TRUE(fs::exists(folder / "Welcome.txt")) << logText();

  pid_t second = startClient({vepLink("mount?id=1&path=Welcome.txt")});
  EXPECT_EQ(waitExit(second, 60s), 255);
  ASSERT_TRUE(waitForLog(kOpened)) << logText();
  EXPECT_EQ(countLog(std::string(kOpened) + "1:Welcome.txt:end"), 1u) << logText();

  // A library that is not synced here, and a path the library does not
  // know, open nothing.
  pid_t unknownLibrary = startClient({vepLink("mount?id=77&path=Welcome.txt")});
  EXPECT_EQ(waitExit(unknownLibrary, 60s), 255);
  pid_t unknownPath = startClient({vepLink("mount?id=1&path=none.txt")});
  EXPECT_EQ(waitExit(unknownPath, 60s), 255);
  EXPECT_TRUE(waitForLog("library address: no access")) << logText();
  EXPECT_TRUE(waitForLog("library address: no such file")) << logText();
  EXPECT_EQ(countLog(kOpened), 1u) << logText();
  EXPECT_EQ(stopClient(client), 0);
}

TEST_F(VepLinkRunTest, ALinkThatStartsTheClientIsHandledAfterStartUp) {
  setAutorun("", "");
  pid_t client = startClient({vepLink("mount?id=1&path=Welcome.txt")});
  // No session yet: no library is synced.
  EXPECT_TRUE(waitForLog("library address: no access")) << logText();
  EXPECT_EQ(stopClient(client), 0);
}

}  // namespace
}  // namespace nb::test
