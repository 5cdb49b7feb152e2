#include "foundation/UtilWebPackage.h"

#include <thread>

#include "foundation/StringHelpers.h"
#include "foundation/UtilFiles.h"
#include "foundation/UtilZip.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace nb::Util {

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
