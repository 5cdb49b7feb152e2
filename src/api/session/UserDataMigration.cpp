// The one-time migration of an install that still holds stores of the older
// format: old stores are converted or copied beside themselves and then
// moved into U/old_version, so the shell's sign-in check finds no old
// catalogue afterwards and starts the session.

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOldCatalogue = "vemountex.db";
constexpr std::array<std::string_view, 3> kSkippedFolders = {"transcache", "screenshot", "cache"};
constexpr std::array<std::string_view, 4> kStaleBackups = {
    "vemountex.db_old", "vemsg.db_old", "vetransex.db_old", "vesyncdbex.db_old"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& names, std::string_view name) {
  for (auto candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

// Moves `from` to `to`, replacing whatever stands there: a file left over
// from an earlier, interrupted migration must not keep the old catalogue in
// U, or the shell's check would start the migration again and again.
void moveReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::create_directories(fs::path(to).parent_path(), ec);
  if (Util::existfile(to)) Util::deletefile(to);
  if (!Util::movefile(from, to)) NBLOG_ERROR("changeOldVersion cannot move {} to {}", from, to);
}

// Converts an older sync store beside itself; false (logged) when no
// conversion is registered or it failed.
bool convertSyncStore(const std::string& oldPath, const std::string& newPath) {
  const auto convert = UserData::sessionHooks().update2to3;
  if (!convert) {
    NBLOG_ERROR("changeOldVersion: no sync store conversion registered, {} stays", oldPath);
    return false;
  }
  if (!convert(oldPath, newPath)) {
    NBLOG_ERROR("changeOldVersion: {} could not be converted and stays", oldPath);
    return false;
  }
  return true;
}

}  // namespace

bool UserData::hasOldVersion() const {
  return Util::isfile(userFolder() + "/" + std::string(kOldCatalogue));
}

void UserData::changeOldVersion() {
  const std::string user = getuserfolderpath();
  const std::string oldVersion = getoldversionpath();
  std::vector<std::string> files;
  findFileByPath(user, files);
  for (const auto& file : files) moveReplacing(file, oldVersion + file.substr(user.size()));

  for (const char* name : {"/vesettings.db", "/velocalstorage.db"}) {
    const std::string path = configPath_ + name;
    if (Util::existfile(path)) Util::deletefile(path);
  }
  NBLOG_INFO("changeOldVersion moved {} files", files.size());
  auto app = Util::getAppDelegate();
  app->setBSqlite2To3(false);
  platform::MainThread::post([app] { app->checkBySqlToLogin(); });
}

void UserData::findFileByPath(const std::string& folder, std::vector<std::string>& files) {
  const std::string oldVersion = userFolder() + "/old_version";
  std::error_code ec;
  // A folder that cannot be listed counts as empty.
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string path = folder + "/" + name;
    if (name.starts_with(".")) continue;
    std::error_code typeError;
    // Symbolic links are left alone: followed, they could lead the walk out
    // of U or round in a circle.
    const auto status = it->symlink_status(typeError);
    if (typeError) continue;
    if (fs::is_directory(status)) {
      // What was moved aside before is never walked again.
      if (!among(kSkippedFolders, name) && path != oldVersion) findFileByPath(path, files);
      continue;
    }
    if (!fs::is_regular_file(status)) continue;
    if (among(kStaleBackups, name)) {
      Util::deletefile(path);
    } else if (name == kOldCatalogue || name == "vemsg.db") {
      files.push_back(path);
    } else if (name == "vetransex.db") {
      Util::copyfile(path, folder + "/vetransex3.db", false);
      files.push_back(path);
    } else if (name == "vesyncdbex.db") {
      if (convertSyncStore(path, folder + "/vesyncdbex3.db")) files.push_back(path);
    }
  }
}

}  // namespace nb
