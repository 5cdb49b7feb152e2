#pragma once
// Installing the web UI package: the zip of pages unpacked into the
// configuration folder's "UI" folder. A package shipped with the program is
// installed on the first run and after every program update; a newer one
// downloaded into "nbtemp" is installed at the next call and then deleted.
//
// Runs on the caller's thread (any thread) and blocks for the unpack and
// the settle wait.

#include <chrono>
#include <functional>
#include <string>

#include "foundation/util/UserDefaults.h"

namespace nb::Util {

// Where the packages are: the configuration folder (its "UI" folder holds
// the installed pages, its "nbtemp" folder a downloaded "<name>.zip") and the
// program's read-only data folder (its "UI" folder holds the shipped
// "<name>.zip").
struct WebPackageFolders {
  std::string configPath;
  std::string resourcesPath;
};

enum class WebPackageOutcome {
  kUpToDate,   // the version's pages are there and nothing newer waits
  kInstalled,  // unpacked; the defaults record the version and the digest
  kFailed,     // the archive could not be unpacked; defaults unchanged
};

// The user-defaults keys: the installed program version, and per package
// the lower-case hex MD5 of the installed archive ("<name>nubren").
inline constexpr const char* kWebPackageVersionKey = "version_nubren";
std::string webPackageDigestKey(const std::string& name);

// One install decision and, when due, the unpack. The pages count as
// installed when "<config>/UI/<html>" exists and the recorded version is
// `version`; then only a waiting "<config>/nbtemp/<name>.zip" is installed.
// Otherwise the shipped package is, and a waiting download is deleted first
// (it was made for another program version). A waiting download is deleted
// after its unpack whether or not that succeeded. After a successful unpack
// the call waits `settle` before it records the version and the digest.
WebPackageOutcome installWebPackage(const WebPackageFolders& folders, UserDefaults& defaults,
                                    const std::string& name, const std::string& html,
                                    const std::string& version,
                                    std::chrono::milliseconds settle = std::chrono::seconds(2));

// Registers how to tell whether one of the program's windows is the active
// one (the shell does so at start-up); until then the program counts as not
// active, and each question logs an error. Thread-safe.
void setApplicationActiveQuery(std::function<bool()> query);

// The program's entry to the install. With `set` off while the program is
// active, only marks the install as waiting (setBUpdateUI of the application
// state: the housekeeping timer calls again later); otherwise clears that
// mark and runs installWebPackage on the configuration folder, the install
// data folder and the standard user defaults, then, when it installed, asks
// the application state to reload its pages (posted to the main thread, not
// waited for).
void initLoadResourcFileName(const std::string& name, const std::string& html, bool set,
                             const std::string& version);

}  // namespace nb::Util
