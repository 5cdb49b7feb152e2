// Notes: unpacked into their own folder, and the asking window told.

#include <gtest/gtest.h>
#include <zip.h>

#include <cstring>
#include <fstream>

#include "bridge/windows/WindowRegistry.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilZip.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "support/FakeAppState.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb::bridge {
namespace {

namespace fs = std::filesystem;

// An archive with the given (name, bytes) entries, names taken as they are.
void writeArchive(const fs::path& path,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, bytes] : entries) {
    zip_source_t* source = zip_source_buffer(archive, ::strdup(bytes.c_str()), bytes.size(), 1);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

class NoteOpenerTest : public test::TempHome {
 protected:
  void SetUp() override {
    test::TempHome::SetUp();
    test::pumpMainThread();
    setWindowRelay(registry_);
    main_ = LaunchpadWindowController::create(*ui_, "/opt/nb/UI");
    registry_->setMainWindow(main_);
    browser_ = registry_->getBrowserWebWindowController(*ui_, "sole", "k");
  }
  void TearDown() override {
    setWindowRelay(nullptr);
    test::TempHome::TearDown();
  }
  std::string notes() const { return (root() / "notes").string(); }
  static std::vector<test::FakeUiWindow::RaisedEvent> events(WebWindowController& c) {
    return static_cast<test::FakeUiWindow&>(*c.window()).events();
  }

  test::ScopedAppState app_;
  test::ScopedFakeUi ui_;
  std::shared_ptr<WindowRegistry> registry_ = std::make_shared<WindowRegistry>();
  std::shared_ptr<LaunchpadWindowController> main_;
  std::shared_ptr<BrowserWebWindowController> browser_;
};

TEST_F(NoteOpenerTest, PackagesWithAPageReachTheAskingWindowOnly) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> entries;
    bool opened;
  };
  const Case cases[] = {
      {{{"index.html", "<p>note</p>"}, {"img/a.png", "png"}}, true},
      {{{"readme.txt", "no page"}}, false},
      {{{"index.html", "<p>x</p>"}, {"../escape.txt", "bad"}}, false},
  };
  const std::string webpath = "/docs/My Note #1.nbnote";
  const fs::path folder = fs::path(notes()) / sha1HexDigest("7:" + webpath);
  for (const Case& c : cases) {
    const fs::path archive = root() / "note.zip";
    writeArchive(archive, c.entries);
    static_cast<test::FakeUiWindow&>(*main_->window()).clearEvents();
    static_cast<test::FakeUiWindow&>(*browser_->window()).clearEvents();
    EXPECT_EQ(registry_->openNote(archive.string(), 7, webpath, browser_->hwnd(), notes()),
              c.opened);
    EXPECT_TRUE(events(*main_).empty());
    EXPECT_FALSE(fs::exists(root() / "escape.txt"));
    EXPECT_FALSE(fs::exists(fs::path(notes()) / "escape.txt"));
    if (!c.opened) {
      EXPECT_TRUE(events(*browser_).empty());
      continue;
    }
    const auto got = events(*browser_);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "OpenFileFinish");
    const std::string url = "file://" + folder.string() + "/index.html";
    EXPECT_NE(got[0].detail.find(R"("mount_id":7)"), std::string::npos);
    EXPECT_NE(got[0].detail.find(R"("webpath":"/docs/My Note #1.nbnote")"), std::string::npos);
    EXPECT_NE(got[0].detail.find(R"("url":")" + url + "\""), std::string::npos) << got[0].detail;
    EXPECT_TRUE(fs::is_regular_file(folder / "img" / "a.png"));
  }
  // Only the note folder is left: no half-unpacked ones beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(notes())) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace nb::bridge
