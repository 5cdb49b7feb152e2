// The self-update against the fake update host: the query, the program
// archive download and install, and the two packages.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UserDefaults.h"
#include "foundation/util/UtilWebPackage.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "shell/app/AppDelegate.h"
#include "shell/update/SelfUpdate.h"
#include "shell/windows/WindowDirectory.h"
#include "support/FakeService.h"
#include "support/FakeUpdateHost.h"
#include "support/ManualClock.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"
#include "support/ZipBytes.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class SilentPlayer final : public platform::SoundPlayer {
 public:
  bool play(const fs::path&) override { return true; }
};

// Where the pages' events went: the update window, or every page.
class RecordingDirectory final : public WindowDirectory {
 public:
  struct Sent {
    std::string target;  // "update" or "all"
    std::string name;
    std::string detail;
    bool operator==(const Sent&) const = default;
  };
  void setAllCustomEvent(const PageEvent& event) override { record("all", event); }
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(std::int64_t) override {
    return {};
  }
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t, const std::string&) override {
    return {};
  }
  void sendToMain(const PageEvent& event, bool) override { record("main", event); }
  void sendToUpdateWindow(const PageEvent& event) override { record("update", event); }
  void reloadPages() override {
    std::lock_guard lock(mutex_);
    ++reloads_;
  }
  std::vector<Sent> sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  std::vector<Sent> named(const std::string& name) const {
    std::vector<Sent> found;
    for (const Sent& s : sent()) {
      if (s.name == name) found.push_back(s);
    }
    return found;
  }
  int reloads() const {
    std::lock_guard lock(mutex_);
    return reloads_;
  }

 private:
  void record(const char* target, const PageEvent& event) {
    std::lock_guard lock(mutex_);
    sent_.push_back({target, event.name(), event.detail()});
  }
  mutable std::mutex mutex_;
  std::vector<Sent> sent_;
  int reloads_ = 0;
};

std::string readFile(const fs::path& path) { return platform::readWholeFile(path).value_or(""); }

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  ASSERT_TRUE(platform::writeFileAtomically(path, bytes));
}

class SelfUpdateTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    pumpMainThread();
    app_ = std::make_shared<AppDelegate>(AppDelegate::Options{
        .resourceFolders = {root() / "res"}, .soundPlayer = std::make_shared<SilentPlayer>()});
    server_ = std::make_shared<ServerInfo>(
        ServerInfo::Folders{root() / "cfg", root() / "install", root() / "override"});
    server_->setStrUpdateHost(service_.host());
    ASSERT_TRUE(server_->setValueWithData(
        R"({"cafile":")" + archiveService_.caFile().string() + R"("})"));
    app_->setServerInfo(server_);
    app_->setAppVersionString("1.0.0");
    app_->setAppUpdateVersionString("1.0.0");
    setAppDelegate(app_);
    setWindowDirectory(directory_);
    program_ = root() / "opt" / "nubren";
    writeFile(program_ / "bin" / "nubren", "old program");
    update::setProgramFolder(program_);
  }
  void TearDown() override {
    finishTasks();
    setWindowDirectory(nullptr);
    setAppDelegate(nullptr);
    fs::permissions(program_.parent_path(), fs::perms::owner_all, fs::perm_options::add);
    TempHome::TearDown();
  }

  // Runs the queued update jobs to their end; they need the main thread.
  void finishTasks() {
    ASSERT_TRUE(pumpMainThreadUntil(
        [&] { return app_->taskQueue()->operationCount() == 0 && !update::downloadRunning(); }));
    pumpMainThread();
  }

  // Offers an archive of `bytes`, announced as `announced` bytes (its own
  // size when negative), served over https unless `url` is given.
  void offer(const std::string& bytes, std::int64_t announced = -1, std::string url = {}) {
    if (url.empty()) url = archiveHost_.serveFile("nubren.zip", bytes);
    const std::int64_t size = announced < 0 ? static_cast<std::int64_t>(bytes.size()) : announced;
    host_.setOffer(R"({"version":"2.0.0","url":")" + url + R"(","filesize":)" +
                   std::to_string(size) + "}");
  }
  static std::string programArchive(const std::string& text) {
    return zipBytes({{"nubren/", ""},
                     {"nubren/bin/", ""},
                     {"nubren/bin/nubren", text},
                     {"nubren/share/nubren/readme", "data"}});
  }
  std::size_t archiveCalls() const { return archiveService_.callsTo("/files/nubren.zip").size(); }
  fs::path archivePath() const { return platform::configFolder() / "nubrenupdate.zip"; }

  FakeService service_;
  FakeUpdateHost host_{service_};
  FakeService archiveService_{FakeService::Options{.https = true}};
  FakeUpdateHost archiveHost_{archiveService_};
  std::shared_ptr<RecordingDirectory> directory_ = std::make_shared<RecordingDirectory>();
  std::shared_ptr<AppDelegate> app_;
  std::shared_ptr<ServerInfo> server_;
  fs::path program_;
};

using Sent = RecordingDirectory::Sent;

TEST_F(SelfUpdateTest, SilentOfferInstallsTheArchiveAtOnce) {
  offer(programArchive("new program"));
  update::GetUpdateXML(*app_);
  finishTasks();

  EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "new program");
  EXPECT_EQ(readFile(program_ / "share" / "nubren" / "readme"), "data");
  EXPECT_EQ(app_->updateStatusInteger(), AppDelegate::kUpdateInstalled);
  EXPECT_EQ(app_->appUpdateVersionString(), "2.0.0");
  EXPECT_FALSE(fs::exists(archivePath()));
  EXPECT_EQ(directory_->named("gExeUpdateInfo").size(), 1u);
  EXPECT_TRUE(directory_->named("gExeUpdateProgress").empty());  // silent: no progress
  EXPECT_EQ(directory_->named("gExeUpdateFinish"), (std::vector<Sent>{{"update", "gExeUpdateFinish", "{}"}}));
  EXPECT_EQ(directory_->named("gCheckUpdate"),
            (std::vector<Sent>{{"all", "gCheckUpdate", R"({"status":"finish"})"}}));
  // Nothing is left beside the install tree.
  EXPECT_EQ(std::distance(fs::directory_iterator(program_.parent_path()), {}), 1);

  // The next query reports the installed version.
  update::GetUpdateXML(*app_);
  finishTasks();
  EXPECT_EQ(service_.callsTo("/update/app").back().param("v"), "2.0.0");
}

TEST_F(SelfUpdateTest, AskFirstOffersAndWaitsForThePage) {
  server_->setBShowUpdate(true);
  offer(programArchive("new program"));
  update::GetUpdateXML(*app_);
  finishTasks();
  EXPECT_EQ(app_->updateStatusInteger(), AppDelegate::kUpdateOffered);
  EXPECT_EQ(directory_->named("gCheckUpdate"),
            (std::vector<Sent>{{"all", "gCheckUpdate", R"({"status":"update"})"}}));
  EXPECT_EQ(archiveCalls(), 0u);
  EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "old program");

  // The page asks; a second request while the first runs does nothing.
  archiveService_.fail("/files/nubren.zip", FakeFault::slow(std::chrono::milliseconds(300)));
  EXPECT_TRUE(update::onShowUpdate(*app_));
  EXPECT_FALSE(update::onShowUpdate(*app_));
  finishTasks();
  EXPECT_EQ(archiveCalls(), 1u);
  EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "new program");
  EXPECT_FALSE(directory_->named("gExeUpdateProgress").empty());
  EXPECT_EQ(app_->updateStatusInteger(), AppDelegate::kUpdateInstalled);
}

TEST_F(SelfUpdateTest, ProgressWaitsASecondBetweenEvents) {
  ScopedClockOverride frozen(std::make_shared<ManualClock>());
  server_->setBShowUpdate(true);
  // Large enough to arrive in several pieces.
  std::string big(3 * 1024 * 1024, 'x');
  for (std::size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>(i * 31);
  offer(zipBytes({{"nubren/bin/nubren", "new"}, {"nubren/blob", big}}));
  update::GetUpdateXML(*app_);
  ASSERT_TRUE(update::onShowUpdate(*app_));
  finishTasks();
  // The clock stood still: only the first piece was reported.
  EXPECT_EQ(directory_->named("gExeUpdateProgress").size(), 1u);
  EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "new");
}

TEST_F(SelfUpdateTest, ArchivesThatAreNotInstalled) {
  struct Case {
    const char* what;
    bool askFirst;
    std::function<void()> offer;
    bool fetched;      // the archive address was asked
    bool errorEvent;   // {"error":1} reached the update window
  };
  const std::string good = programArchive("new program");
  const std::string sneaky =
      zipBytes({{"nubren/bin/nubren", "new program"}, {"nubren/../../evil", "x"}});
  const Case cases[] = {
      {"one byte short of the announced size", true,
       [&] { offer(good, static_cast<std::int64_t>(good.size()) + 1); },
       true, false},
      {"a plain http address", true,
       [&] { offer(good, -1, host_.serveFile("nubren.zip", good)); },
       false, true},
      {"an entry climbing out with ..", false, [&] { offer(sneaky); }, true,
       true},
      {"no program folder inside", false,
       [&] { offer(zipBytes({{"other/bin/nubren", "x"}})); }, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    archiveService_.clearCalls();
    service_.clearCalls();
    server_->setBShowUpdate(c.askFirst);
    c.offer();
    update::GetUpdateXML(*app_);
    if (c.askFirst) update::onShowUpdate(*app_);
    finishTasks();
    EXPECT_EQ(archiveCalls() + service_.callsTo("/files/nubren.zip").size() > 0, c.fetched);
    EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "old program");
    EXPECT_FALSE(fs::exists(root() / "evil"));
    EXPECT_FALSE(fs::exists(program_.parent_path() / "evil"));
    const auto progress = directory_->named("gExeUpdateProgress");
    const bool error = !progress.empty() && progress.back().detail == R"({"error":1})";
    EXPECT_EQ(error, c.errorEvent);
    EXPECT_TRUE(directory_->named("gExeUpdateFinish").empty());
    EXPECT_NE(app_->updateStatusInteger(), AppDelegate::kUpdateInstalled);
    directory_ = std::make_shared<RecordingDirectory>();
    setWindowDirectory(directory_);
  }
}

TEST_F(SelfUpdateTest, ReadOnlyInstallFailsCleanly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::permissions(program_.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
  offer(programArchive("new program"));
  update::GetUpdateXML(*app_);
  finishTasks();
  EXPECT_EQ(readFile(program_ / "bin" / "nubren"), "old program");
  EXPECT_FALSE(fs::exists(archivePath()));
  const auto progress = directory_->named("gExeUpdateProgress");
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].detail, R"({"error":1})");
  EXPECT_EQ(app_->updateStatusInteger(), AppDelegate::kUpdateNone);
}

TEST_F(SelfUpdateTest, NoAnswerOrNoObjectChangesNothing) {
  for (const char* answer : {"", "not json", "[1,2]"}) {
    SCOPED_TRACE(answer);
    host_.setOffer(answer);
    update::GetUpdateXML(*app_);
    finishTasks();
    EXPECT_TRUE(directory_->sent().empty());
    EXPECT_EQ(app_->updateStatusInteger(), AppDelegate::kUpdateNone);
  }
}

// --- Packages ------------------------------------------------------------------------------

class PackageUpdateTest : public SelfUpdateTest {
 protected:
  void SetUp() override {
    SelfUpdateTest::SetUp();
    ui_ = platform::configFolder() / "UI";
    writeFile(ui_ / "index.html", "old pages");
    UserDefaults::standardUserDefaults().setObject("1.0.0", Util::kWebPackageVersionKey);
  }
  void TearDown() override {
    Util::setApplicationActiveQuery(nullptr);
    SelfUpdateTest::TearDown();
  }
  fs::path waiting() const { return platform::configFolder() / "nbtemp" / "start.zip"; }
  fs::path ui_;
};

TEST_F(PackageUpdateTest, NewPagesAreInstalledAndTheWindowsReload) {
  Util::setApplicationActiveQuery([] { return false; });
  const std::string package = zipBytes({{"index.html", "new pages"}});
  host_.setUiPackage(package);
  update::UIDownloadZip(*app_);
  pumpMainThread();
  EXPECT_EQ(readFile(ui_ / "index.html"), "new pages");
  EXPECT_FALSE(fs::exists(waiting()));
  EXPECT_EQ(directory_->reloads(), 1);
  const FakeCall call = service_.callsTo("/update/gui").back();
  EXPECT_EQ(call.param("n"), "app_mac3");
  EXPECT_EQ(call.param("v"), "1.0.0");
  EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey("startnubren"),
            md5Data2String(package));
}

TEST_F(PackageUpdateTest, PagesWaitWhileTheProgramIsInUse) {
  Util::setApplicationActiveQuery([] { return true; });
  const std::string package = zipBytes({{"index.html", "new pages"}});
  host_.setUiPackage(package);
  update::UIDownloadZip(*app_);
  pumpMainThread();
  EXPECT_EQ(readFile(ui_ / "index.html"), "old pages");
  EXPECT_EQ(readFile(waiting()), package);
  EXPECT_TRUE(app_->bUpdateUI());
  EXPECT_EQ(directory_->reloads(), 0);

  // The next query names the waiting package, which a new answer does not
  // replace.
  host_.setUiPackage(zipBytes({{"index.html", "newer pages"}}));
  update::UIDownloadZip(*app_);
  EXPECT_EQ(service_.callsTo("/update/gui").back().param("key"), md5Data2String(package));
  EXPECT_EQ(readFile(waiting()), package);
}

TEST_F(PackageUpdateTest, CustomisationPackageByStatus) {
  const fs::path config = root() / "override" / "config";
  writeFile(config / "source.json", R"({"source":"acme"})");
  server_->setStrSource("acme");
  const std::string package = zipBytes({{"image/aboutbkg.png", "picture"}});
  struct Case {
    int status;
    bool unpacked;
  };
  for (const Case c : {Case{404, false}, Case{302, true}, Case{200, true}}) {
    SCOPED_TRACE(c.status);
    fs::remove_all(config / "image");
    UserDefaults::standardUserDefaults().removeObjectForKey("confignubren");
    host_.setConfigPackage(package, c.status);
    update::ConfigDownloadZip(*app_);
    EXPECT_EQ(fs::exists(config / "image" / "aboutbkg.png"), c.unpacked);
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey("confignubren").has_value(),
              c.unpacked);
    EXPECT_EQ(readFile(config / "source.json"), R"({"source":"acme"})");
    EXPECT_FALSE(fs::exists(platform::configFolder() / "nbtemp" / "config.zip"));
  }
  EXPECT_EQ(service_.callsTo("/update/custom").back().param("source"), "acme");

  // A package that does not unpack leaves the folder as it was.
  host_.setConfigPackage(zipBytes({{"../escape", "x"}}));
  update::ConfigDownloadZip(*app_);
  EXPECT_FALSE(fs::exists(root() / "override" / "escape"));
  EXPECT_EQ(readFile(config / "image" / "aboutbkg.png"), "picture");
}

TEST_F(PackageUpdateTest, TheChecksAskForCustomisationOnlyWithASource) {
  Util::setApplicationActiveQuery([] { return true; });
  for (const char* source : {"", "acme"}) {
    SCOPED_TRACE(source);
    service_.clearCalls();
    server_->setStrSource(source);
    app_->checkServerAppandUI();
    finishTasks();
    EXPECT_EQ(service_.callsTo("/update/app").size(), 1u);
    EXPECT_EQ(service_.callsTo("/update/gui").size(), 1u);
    EXPECT_EQ(service_.callsTo("/update/custom").size(), std::string(source).empty() ? 0u : 1u);
  }
}

TEST(ReferenceDate, CountsFromTheStartOf2001) {
  EXPECT_DOUBLE_EQ(update::referenceDateSeconds(978'307'200), 0.0);
  EXPECT_DOUBLE_EQ(update::referenceDateSeconds(978'307'260), 60.0);
}

}  // namespace
}  // namespace nb::test
