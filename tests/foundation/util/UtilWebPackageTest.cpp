#include "foundation/util/UtilWebPackage.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilZip.h"
#include "platform/AtomicFile.h"
#include "foundation/app/AppState.h"
#include "platform/AppFolders.h"
#include "support/FakeAppState.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using Util::WebPackageOutcome;

class UtilWebPackageTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    folders_ = {(root() / "cfg").string(), (root() / "res").string()};
    fs::create_directories(root() / "cfg/nbtemp");
    shippedDigest_ = makePackage(root() / "res/UI/start.zip", "shipped");
    defaults_.emplace((root() / "cfg/userdefaults.json").string());
  }

  // A package whose index.html says `text`; answers its MD5.
  std::string makePackage(const fs::path& zipPath, const std::string& text) {
    const fs::path src = root() / ("pkg-" + text);
    fs::create_directories(src / "js");
    std::ofstream(src / "index.html") << text;
    std::ofstream(src / "js/app.js") << "app " << text;
    fs::create_directories(zipPath.parent_path());
    EXPECT_TRUE(Util::zip(src.string(), zipPath.string()));
    return md5Data2String(platform::readWholeFile(zipPath.string()).value_or(""));
  }

  WebPackageOutcome install(const std::string& version) {
    return Util::installWebPackage(folders_, *defaults_, "start", "index.html", version,
                                   std::chrono::milliseconds(0));
  }

  std::string page() const {
    return platform::readWholeFile((root() / "cfg/UI/index.html").string()).value_or("");
  }
  fs::path temp() const { return root() / "cfg/nbtemp/start.zip"; }

  Util::WebPackageFolders folders_;
  std::optional<UserDefaults> defaults_;  // made in SetUp, inside the temporary root
  std::string shippedDigest_;
};

TEST_F(UtilWebPackageTest, FirstRunInstallsTheShippedPackage) {
  EXPECT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  EXPECT_EQ(page(), "shipped");
  EXPECT_EQ(defaults_->stringForKey("version_nubren"), "1.0");
  EXPECT_EQ(defaults_->stringForKey("startnubren"), shippedDigest_);
  // Recorded on disk, not only in memory.
  UserDefaults reread((root() / "cfg/userdefaults.json").string());
  EXPECT_EQ(reread.stringForKey("startnubren"), shippedDigest_);
}

TEST_F(UtilWebPackageTest, UnchangedVersionWithNothingWaitingChangesNothing) {
  ASSERT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  std::ofstream(root() / "cfg/UI/index.html") << "edited";
  defaults_->setObject("marker", "startnubren");
  EXPECT_EQ(install("1.0"), WebPackageOutcome::kUpToDate);
  EXPECT_EQ(page(), "edited");
  EXPECT_EQ(defaults_->stringForKey("startnubren"), "marker");
}

TEST_F(UtilWebPackageTest, DownloadedPackageIsInstalledThenDeleted) {
  ASSERT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  const std::string digest = makePackage(temp(), "downloaded");
  EXPECT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  EXPECT_EQ(page(), "downloaded");
  EXPECT_EQ(defaults_->stringForKey("startnubren"), digest);
  EXPECT_FALSE(fs::exists(temp()));
}

TEST_F(UtilWebPackageTest, NewProgramVersionReinstallsShippedAndDropsTheDownload) {
  ASSERT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  makePackage(temp(), "downloaded");
  EXPECT_EQ(install("2.0"), WebPackageOutcome::kInstalled);
  EXPECT_EQ(page(), "shipped");
  EXPECT_EQ(defaults_->stringForKey("version_nubren"), "2.0");
  EXPECT_EQ(defaults_->stringForKey("startnubren"), shippedDigest_);
  EXPECT_FALSE(fs::exists(temp()));
}

TEST_F(UtilWebPackageTest, MissingPageReinstallsEvenAtTheSameVersion) {
  ASSERT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  fs::remove(root() / "cfg/UI/index.html");
  EXPECT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  EXPECT_EQ(page(), "shipped");
}

TEST_F(UtilWebPackageTest, BrokenDownloadLeavesDefaultsAndIsStillDeleted) {
  ASSERT_EQ(install("1.0"), WebPackageOutcome::kInstalled);
  std::ofstream(temp()) << "not a zip";
  EXPECT_EQ(install("1.0"), WebPackageOutcome::kFailed);
  EXPECT_EQ(defaults_->stringForKey("startnubren"), shippedDigest_);
  EXPECT_EQ(page(), "shipped");
  EXPECT_FALSE(fs::exists(temp()));
}

TEST_F(UtilWebPackageTest, DeferredWhileTheProgramIsActive) {
  auto fake = std::make_shared<test::FakeAppState>();
  setAppDelegate(fake);
  Util::setApplicationActiveQuery([] { return true; });
  Util::initLoadResourcFileName("start", "index.html", false, "1.0");
  Util::setApplicationActiveQuery(nullptr);
  setAppDelegate(nullptr);
  using Call = test::FakeAppState::Call;
  EXPECT_EQ(fake->calls(), (std::vector<Call>{{"setBUpdateUI", "1"}}));
  EXPECT_FALSE(fs::exists(platform::configFolder() / "UI"));
}

}  // namespace
}  // namespace nb
