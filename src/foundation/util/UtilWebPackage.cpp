#include "foundation/util/UtilWebPackage.h"

#include <mutex>
#include <thread>

#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilZip.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::Util {

namespace {

struct ActiveQuery {
  std::mutex mutex;
  std::function<bool()> query;  // guarded by mutex
};

ActiveQuery& activeQuery() {
  static ActiveQuery state;
  return state;
}

bool applicationIsActive() {
  auto& state = activeQuery();
  std::function<bool()> query;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    query = state.query;
  }
  if (!query) {
    NBLOG_ERROR("no application activity query registered: counted as not active");
    return false;
  }
  return query();
}

}  // namespace

void setApplicationActiveQuery(std::function<bool()> query) {
  auto& state = activeQuery();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.query = std::move(query);
}

void initLoadResourcFileName(const std::string& name, const std::string& html, bool set,
                             const std::string& version) {
  if (!set) {
    const bool active = applicationIsActive();
    getAppDelegate()->setBUpdateUI(active);
    if (active) {
      return;
    }
  }
  const WebPackageFolders folders{platform::configFolder().string(),
                                  platform::installDataFolder().string()};
  if (installWebPackage(folders, UserDefaults::standardUserDefaults(), name, html, version) ==
      WebPackageOutcome::kInstalled) {
    platform::MainThread::post([] { getAppDelegate()->refreshWithUIByLoginFinish(); });
  }
}

std::string webPackageDigestKey(const std::string& name) { return name + "nubren"; }

WebPackageOutcome installWebPackage(const WebPackageFolders& folders, UserDefaults& defaults,
                                    const std::string& name, const std::string& html,
                                    const std::string& version,
                                    std::chrono::milliseconds settle) {
  const std::string page = folders.configPath + "/UI/" + html;
  const std::string temp = folders.configPath + "/nbtemp/" + name + ".zip";
  const std::string target = folders.configPath + "/UI/";
  const auto installed = defaults.stringForKey(kWebPackageVersionKey);

  std::string archive;
  bool fromTemp = false;
  if (existfile(page) && installed == version) {
    if (!existfile(temp)) {
      return WebPackageOutcome::kUpToDate;
    }
    archive = temp;
    fromTemp = true;
  } else {
    archive = folders.resourcesPath + "/UI/" + name + ".zip";
    if (existfile(temp)) {
      deletefile(temp);  // made for another program version: never installed
    }
  }

  const std::string digest = md5Data2String(platform::readWholeFile(archive).value_or(""));
  const bool unpacked = unzip(archive, target);
  if (unpacked) {
    // Lets the pages that are open finish reading the old files before the
    // reload the caller sends next.
    std::this_thread::sleep_for(settle);
    defaults.setObject(digest, webPackageDigestKey(name));
    defaults.setObject(version, kWebPackageVersionKey);
    defaults.synchronize();
  } else {
    NBLOG_WARN("cannot install the web UI package {}", archive);
  }
  if (fromTemp) {
    deletefile(temp);
  }
  return unpacked ? WebPackageOutcome::kInstalled : WebPackageOutcome::kFailed;
}

}  // namespace nb::Util
