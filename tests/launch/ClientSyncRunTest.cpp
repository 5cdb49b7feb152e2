// A user's first sync: the real program under Xvfb signs in on the demo
// pages, lists the demo libraries, links a local folder through the link
// form of the main page, and the folder and the library then follow each
// other both ways.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "launch/ClientRun.h"
#include "support/FakeDrive.h"
#include "support/FakeLibraryTree.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The main page reports what it sees through a page function that logs its
// argument; a report ends with the page's status line and ":end", so an
// empty status (no refusal) reads "::end".
constexpr const char* kLibraryListed = "gGetNetworkStatus,listed:Demo library (1)";
constexpr const char* kLinkShown = "gGetNetworkStatus,linked:";
constexpr const char* kUnlinkShown = "gGetNetworkStatus,unlinked:";

// Drives the main page in steps, polled: waits for the library row, links
// `folder` through the page's own form and reports the row once it shows
// the folder; once the file `unlinkSignal` exists, presses the row's Unlink
// button and reports the row once it shows no folder.
std::string pageScript(const fs::path& folder, const fs::path& unlinkSignal) {
  return "var nbTest = { step: 'list', asked: false };"
         "function nbTestRow() {"
         "  return Array.prototype.find.call(document.querySelectorAll('#libraries tbody tr'),"
         "    function (row) { return row.cells[0].textContent === 'Demo library (1)'; });"
         "}"
         "function nbTestStatus() { return document.getElementById('main-status').textContent; }"
         "var nbTestTimer = setInterval(function () {"
         "  var row = nbTestRow();"
         "  if (!row) return;"
         "  var path = row.cells[1].textContent;"
         "  if (nbTest.step === 'list') {"
         "    nbTest.step = 'link';"
         "    nbClient.gGetNetworkStatus('listed:' + row.cells[0].textContent);"
         "    document.getElementById('link-mount').value = '1';"
         "    document.getElementById('link-folder').value = '" +
         folder.string() +
         "';"
         "    document.querySelector('#link-form button').click();"
         "  } else if (nbTest.step === 'link' && path !== '') {"
         "    nbTest.step = 'wait';"
         "    nbClient.gGetNetworkStatus('linked:' + path + ':' + nbTestStatus() + ':end');"
         "  } else if (nbTest.step === 'wait' && !nbTest.asked) {"
         "    nbTest.asked = true;"
         "    page.call('gCheckPathExist', JSON.stringify({ list: [{ fullpath: '" +
         unlinkSignal.string() +
         "' }] })).then(function (r) {"
         "      nbTest.asked = false;"
         "      if (nbTest.step !== 'wait' || !r.list || !r.list[0].exist) return;"
         "      nbTest.step = 'unlink';"
         "      row.cells[2].querySelector('button').click();"
         "    });"
         "  } else if (nbTest.step === 'unlink' && path === '') {"
         "    clearInterval(nbTestTimer);"
         "    nbClient.gGetNetworkStatus('unlinked:' + nbTestStatus() + ':end');"
         "  }"
         "}, 1000);";
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Paths of the regular files under `folder`, relative to it.
std::set<std::string> filesUnder(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(folder).string());
  }
  return files;
}

class ClientSyncRunTest : public ClientRun {
 protected:
  static constexpr std::chrono::seconds kCyclePatience{150};

  // Polls `ready` until it holds or the patience runs out.
  static bool eventually(const std::function<bool()>& ready,
                         std::chrono::milliseconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!ready()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(200ms);
    }
    return true;
  }

  // The file's content in the demo library, when it is there.
  std::optional<std::string> serverContent(const std::string& path) {
    FakeLibraryTree* tree = demo().drive().tree(FakeDemo::kMountId);
    if (!tree) return std::nullopt;
    const auto entry = tree->find(path);
    if (!entry || entry->dir) return std::nullopt;
    return demo().drive().content(entry->filehash);
  }
};

TEST_F(ClientSyncRunTest, ALinkedFolderAndItsLibraryFollowEachOther) {
  const fs::path folder = home() / "Demo";
  const fs::path unlinkSignal = root() / "unlink-now";
  setAutorun(signInScript(), pageScript(folder, unlinkSignal));
  pid_t client = startClient();

  ASSERT_TRUE(waitForLog(kLibraryListed)) << logText();
  ASSERT_TRUE(waitForLog(kLinkShown)) << logText();
  // The link list answers the folder with its trailing "/"; the page shows
  // no refusal.
  EXPECT_EQ(countLog(std::string(kLinkShown) + folder.string() + "/::end"), 1u) << logText();

  // The library's files come down into the folder.
  EXPECT_TRUE(eventually([&] {
    return readFile(folder / "Welcome.txt") == "Welcome to the demo library.\n" &&
           readFile(folder / "Documents/notes.md") ==
               "# Notes\n\nEdit me and watch the change feed.\n" &&
           fs::is_regular_file(folder / "Pictures/empty.txt");
  })) << logText();

  // A file put into the folder goes up.
  writeFile(folder / "from-desktop.txt", "written on the desktop\n");
  EXPECT_TRUE(eventually(
      [&] { return serverContent("from-desktop.txt") == "written on the desktop\n"; }))
      << logText();

  // A file another client adds comes down with the next compare cycle, which
  // starts a minute after the queue drained (no push channel here).
  demo().drive().putFile(FakeDemo::kMountId, "Documents/from-server.txt", "added elsewhere\n");
  EXPECT_TRUE(eventually(
      [&] { return readFile(folder / "Documents/from-server.txt") == "added elsewhere\n"; },
      kCyclePatience))
      << logText();

  // Neither direction left a copy or a side file behind.
  const std::set<std::string> synced{"Documents/from-server.txt", "Documents/notes.md",
                                     "Pictures/empty.txt", "Welcome.txt", "from-desktop.txt"};
  EXPECT_EQ(filesUnder(folder), synced);

  // Unlinking through the row's button keeps both sides as they are.
  writeFile(unlinkSignal, "");
  ASSERT_TRUE(waitForLog(kUnlinkShown)) << logText();
  EXPECT_EQ(countLog(std::string(kUnlinkShown) + ":end"), 1u) << logText();
  EXPECT_EQ(filesUnder(folder), synced);
  EXPECT_EQ(serverContent("from-desktop.txt"), "written on the desktop\n");
  EXPECT_EQ(stopClient(client), 0);
}

}  // namespace
}  // namespace nb::test
