#include "foundation/util/UtilDesktop.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/app/AppState.h"
#include "support/FakeAppState.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class UtilDesktopTest : public test::TempHome {};

// GLib keeps the XDG folders of its first look-up for the life of the
// process. Tests that reach GIO's type and application registries run their
// body in a child process, so that later tests of this program still see
// their own temporary HOME.
#define NB_IN_CHILD_PROCESS(body)                                                   \
  EXPECT_EXIT(                                                                      \
      {                                                                             \
        body;                                                                       \
        std::exit(::testing::Test::HasFailure() ? 1 : 0);                           \
      },                                                                            \
      ::testing::ExitedWithCode(0), "")

TEST_F(UtilDesktopTest, SpecialFoldersFollowUserDirsWithHomeFallbacks) {
  std::ofstream(home() / ".config/user-dirs.dirs")
      << "# written by xdg-user-dirs-update\n"
      << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      << "XDG_VIDEOS_DIR=\"/srv/Filme\"\n"
      << "XDG_MUSIC_DIR=\"relative/ignored\"\n";
  const std::string h = home().string();
  const struct {
    const char* word;
    std::string folder;
  } cases[] = {
      {"desktop", h + "/Schreibtisch"}, {"video", "/srv/Filme"},
      {"music", h + "/Music"},          {"documents", h + "/Documents"},
      {"pictures", h + "/Pictures"},    {"Desktop", ""},
      {"movies", ""},                   {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Util::getComputerPath(c.word), c.folder) << c.word;
  }
}

TEST_F(UtilDesktopTest, IconOfAnExtensionEqualsIconOfANameWithIt) {
  NB_IN_CHILD_PROCESS({
    EXPECT_EQ(Util::iconFromFileType("pdf"), Util::iconFromFileType("report.pdf"));
    EXPECT_EQ(Util::iconFromFileType("txt"), Util::iconFromFileType("/a.b/notes.txt"));
    EXPECT_FALSE(Util::iconFromFileType("png").empty());
  });
}

TEST_F(UtilDesktopTest, NothingIsOpenedForAnEmptyPathOrTheChooserWord) {
  NB_IN_CHILD_PROCESS({
    EXPECT_FALSE(Util::openPath("", "", ""));
    EXPECT_FALSE(Util::openPath((home() / "x").string(), "openwith", ""));
    EXPECT_FALSE(Util::openPath((home() / "x").string(), "", "no.such.app.desktop"));
    EXPECT_FALSE(Util::openWebUrl(""));
  });
}

TEST_F(UtilDesktopTest, OpenWithAsksTheApplicationStateOnTheMainThread) {
  auto fake = std::make_shared<test::FakeAppState>();
  setAppDelegate(fake);
  Util::MyOpenFile("/srv/a.txt", "", "openwith");
  Util::MyOpenFile("/srv/b.txt", "openwith", "");
  Util::MyOpenFile("", "openwith", "");
  EXPECT_EQ(fake->count("openwith"), 0u);  // posted, not run on the caller's thread
  test::pumpMainThread();
  using Call = test::FakeAppState::Call;
  EXPECT_EQ(fake->calls(), (std::vector<Call>{{"openwith", "/srv/a.txt"}, {"openwith", "/srv/b.txt"}}));
  setAppDelegate(nullptr);
}

TEST_F(UtilDesktopTest, FinderTargetHasNoLinuxAnswer) {
  EXPECT_EQ(Util::getfindertarget(42), std::optional<std::string>(""));
}

TEST_F(UtilDesktopTest, OpenWithProbeIsMadeOnceAndPageTextNeverBecomesAPath) {
  NB_IN_CHILD_PROCESS({
    const fs::path temp = root() / "cachetemp";
    fs::create_directories(temp);
    // No application in the test home claims this type.
    EXPECT_TRUE(Util::openWithChoices(".nbunclaimed", temp.string()).empty());
    EXPECT_TRUE(fs::exists(temp / "temp.nbunclaimed"));
    EXPECT_EQ(Util::methodsWithOpen(".nbunclaimed", temp.string()),
              R"({"list":[{"openpath":"openwith","name":"其他..."}]})");

    for (const char* hostile : {"/../../evil", "x/../../evil", "..", "/x"}) {
      EXPECT_TRUE(Util::openWithChoices(hostile, temp.string()).empty()) << hostile;
      EXPECT_NE(Util::methodsWithOpen(hostile, temp.string()).find("openwith"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(root() / "evil"));
    EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
  });
}

}  // namespace
}  // namespace nb
