#include "foundation/util/UtilSession.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/AtomicFile.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class UtilSessionTest : public test::TempHome {
 protected:
  fs::path config() const { return home() / ".config"; }
  fs::path autostart() const { return config() / "autostart/nubren.desktop"; }
  fs::path bookmarks() const { return config() / "gtk-3.0/bookmarks"; }

  std::string bookmarkText() const {
    return platform::readWholeFile(bookmarks().string()).value_or("");
  }
  void writeBookmarks(const std::string& text) const {
    fs::create_directories(bookmarks().parent_path());
    std::ofstream(bookmarks()) << text;
  }
};

TEST_F(UtilSessionTest, AutostartEntryIsWrittenFoundAndRemoved) {
  EXPECT_FALSE(Util::findAppAsLoginItem());
  Util::addAppAsLoginItem();
  ASSERT_TRUE(fs::exists(autostart()));
  const std::string entry = platform::readWholeFile(autostart().string()).value_or("");
  const std::string exe = fs::read_symlink("/proc/self/exe").string();
  EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"" + exe + "\" --autostart\n"), std::string::npos);
  EXPECT_TRUE(Util::findAppAsLoginItem());

  Util::deleteAppFromLoginItem();
  EXPECT_FALSE(fs::exists(autostart()));
  EXPECT_FALSE(Util::findAppAsLoginItem());
}

TEST_F(UtilSessionTest, AutostartEntryOfAnotherProgramIsLeftAlone) {
  fs::create_directories(autostart().parent_path());
  std::ofstream(autostart()) << "[Desktop Entry]\nType=Application\nExec=/opt/other --autostart\n";
  EXPECT_FALSE(Util::findAppAsLoginItem());
  Util::deleteAppFromLoginItem();
  EXPECT_TRUE(fs::exists(autostart()));
}

TEST_F(UtilSessionTest, HiddenAutostartEntryCountsAsAbsent) {
  Util::addAppAsLoginItem();
  std::ofstream(autostart(), std::ios::app) << "Hidden=true\n";
  EXPECT_FALSE(Util::findAppAsLoginItem());
}

TEST_F(UtilSessionTest, TestProgramWasNotLaunchedAtLogin) {
  EXPECT_FALSE(Util::wasLaunchedAsLoginItem());
  EXPECT_FALSE(Util::wasLaunchedByProcess("MACS"));
}

TEST_F(UtilSessionTest, FavouriteGoesFirstWithoutDuplicates) {
  writeBookmarks("file:///srv/a A\nsftp://host/x\n");
  const fs::path folder = home() / "My Files";
  Util::addfoldertofavorite(folder.string());
  Util::addfoldertofavorite(folder.string() + "/");
  const std::string uri = "file://" + home().string() + "/My%20Files";
  EXPECT_EQ(bookmarkText(), uri + "\nfile:///srv/a A\nsftp://host/x\n");

  Util::addfoldertofavorite("/srv/a");
  EXPECT_EQ(bookmarkText(), "file:///srv/a\n" + uri + "\nsftp://host/x\n");
}

TEST_F(UtilSessionTest, FavouriteIsRemovedByFolderWithOrWithoutSlash) {
  writeBookmarks("file:///srv/a A\nfile:///srv/b\nfile:///srv/b\n");
  Util::deletefolderfavorite("/srv/b/");
  EXPECT_EQ(bookmarkText(), "file:///srv/a A\nfile:///srv/b\n");
  Util::deletefolderfavorite("/srv/a");
  EXPECT_EQ(bookmarkText(), "file:///srv/b\n");
  Util::deletefolderfavorite("/srv/none");
  EXPECT_EQ(bookmarkText(), "file:///srv/b\n");
}

TEST_F(UtilSessionTest, FavouritesFileIsMadeWhenMissing) {
  Util::addfoldertofavorite("/srv/c");
  EXPECT_EQ(bookmarkText(), "file:///srv/c\n");
}

TEST_F(UtilSessionTest, SecondInstanceSeesTheLockOfTheFirst) {
  const fs::path runtime = root() / "run";
  fs::create_directories(runtime);
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string previous = saved != nullptr ? saved : "";
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  // Another process holding the lock: an open file description of its own.
  const int other = ::open((runtime / "nb.test.a.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(Util::didProgressLaunched("nb.test.a"));
  ::close(other);

  EXPECT_FALSE(Util::didProgressLaunched("nb.test.a"));  // takes the lock
  EXPECT_FALSE(Util::didProgressLaunched("nb.test.a"));  // and keeps it
  const int late = ::open((runtime / "nb.test.a.lock").c_str(), O_RDWR);
  ASSERT_GE(late, 0);
  EXPECT_NE(::flock(late, LOCK_EX | LOCK_NB), 0);
  ::close(late);

  EXPECT_FALSE(Util::didProgressLaunched("../escape"));
  if (saved != nullptr) {
    setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

TEST_F(UtilSessionTest, HideLoginFlag) {
  EXPECT_TRUE(Util::getShowLogin());
  Util::setHideLogin();
  EXPECT_FALSE(Util::getShowLogin());
}

}  // namespace
}  // namespace nb
