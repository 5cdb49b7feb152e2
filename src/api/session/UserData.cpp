#include "api/session/UserData.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>


#include "api/session/ClientId.h"
#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/OsRelease.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// Makes the folder and its missing parents with mode 0700; true when it
// stands as a folder afterwards.
bool makePrivateFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) {
    return true;
  }
  const fs::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder && !makePrivateFolder(parent)) {
    return false;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    NBLOG_WARN("cannot create {}: {}", folder.string(), std::strerror(errno));
    return false;
  }
  return fs::is_directory(folder, ec);
}

// The value of KEY=value (optionally quoted) in an os-release style file.
std::string fileValue(const fs::path& file, std::string_view key) {
  return platform::keyValueField(platform::readKeyValueFile(file.string()), key);
}

// Percent escapes for what may not stand in a URL; "/" and ":" stay.
std::string escapeForUrl(std::string_view text) {
  static constexpr std::string_view kEscaped = " \"#%<>?[\\]^`{|}";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte >= 0x7F || kEscaped.find(c) != std::string_view::npos) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

// Strictly inside `folder`: its text, "/", then at least one more character,
// and no ".." component anywhere, so a clear never leaves the folder.
bool liesInside(std::string_view path, const std::string& folder) {
  if (folder.empty() || path.size() <= folder.size() + 1 ||
      path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '/') {
    return false;
  }
  for (const auto& part : fs::path(path)) {
    if (part == "..") {
      return false;
    }
  }
  return true;
}

}  // namespace

UserData& UserData::shareUserData() {
  static UserData instance;
  // Every web API call that meets an expired token refreshes it here.
  static const bool installed = [] {
    HTTPEngine::setTokenRefresher(
        [](const std::string&) { return shareUserData().getTokenByRefresh(); });
    return true;
  }();
  (void)installed;
  return instance;
}

UserData::UserData(Options options)
    : home_(options.home.empty() ? platform::homeFolder().string() : options.home.string()),
      configPath_(home_ + "/.veskocfg"),
      openPath_(home_ + "/.veskoopen"),
      tempPath_(configPath_ + "/nbtemp"),
      computerid_(options.computerid.empty() ? Util::getcomputerid()
                                             : std::move(options.computerid)) {
  openhandler_ = options.watcherFactory ? options.watcherFactory(openPath_)
                                        : makeOpenDirectoryhandler(openPath_);
  if (!openhandler_) {
    openhandler_ = makeOpenDirectoryhandler(openPath_);
  }
  openhandler_->startMonitoring();
}

std::string UserData::getsetting() const { return configPath_ + "/vesettings3.db"; }
std::string UserData::getlocalstorage() const { return configPath_ + "/velocalstorage3.db"; }
std::string UserData::getappupdatepath() const { return configPath_ + "/nubrenupdate.zip"; }

std::string UserData::userFolder() const { return configPath_ + "/" + std::to_string(userID()); }

std::string UserData::getuserfolderpath() const {
  std::string folder = userFolder();
  makePrivateFolder(folder);
  return folder;
}

std::string UserData::getmountdb() const { return getuserfolderpath() + "/vemountex3.db"; }
std::string UserData::gettransdb() const { return getuserfolderpath() + "/vetransex3.db"; }
std::string UserData::getMessageDb() const { return getuserfolderpath() + "/vemessage3.db"; }
std::string UserData::getcache() const { return getuserfolderpath() + "/cache"; }
std::string UserData::getranscache() const { return getuserfolderpath() + "/transcache"; }
std::string UserData::getDecryptPath() const { return getuserfolderpath() + "/temppath"; }

std::string UserData::getcachetemp() const {
  std::string folder = getuserfolderpath() + "/cache/temp";
  makePrivateFolder(folder);
  return folder;
}

std::string UserData::getscreenshotpath() const {
  std::string folder = getuserfolderpath() + "/screenshot";
  makePrivateFolder(folder);
  return folder;
}

std::string UserData::getoldversionpath() const {
  std::string folder = getuserfolderpath() + "/old_version";
  makePrivateFolder(folder);
  return folder;
}

std::string UserData::getuipath() const {
  return escapeForUrl(ServerInfo::current()->strUIPath());
}

std::string UserData::getnormalsyncpath() const {
  std::string title = ServerInfo::current()->strTitleName();
  if (title.empty()) {
    title = Util::localizedStringForKey("NubrenVesko");
  }
  return home_ + "/" + title;
}

std::string UserData::getinfo() {
  std::string display;
  {
    std::lock_guard lock(fields_.mutex());
    display = devicename_;
  }
  if (display.empty()) {
    display = getcomputer();
    setDevicename(display);
  }
  const JsonValue info = JsonValue::object({{"BRAND", getcomputertype()},
                                            {"VERSION", getversion()},
                                            {"DISPLAY", display},
                                            {"CLIENT_ID", kClientId}});
  return JSONString(info).value_or("{}");
}

std::string UserData::getversion() const {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    if (std::string name = fileValue(file, "PRETTY_NAME"); !name.empty()) {
      return name;
    }
  }
  return "Linux";
}

std::string UserData::getcomputer() const {
  if (std::string name = fileValue("/etc/machine-info", "PRETTY_HOSTNAME"); !name.empty()) {
    return name;
  }
  std::array<char, 256> host{};
  if (gethostname(host.data(), host.size() - 1) == 0 && host[0] != '\0') {
    return host.data();
  }
  return "Linux";
}

std::string UserData::computerTypeFrom(std::string_view computerName) {
  static constexpr std::string_view kOpenQuote = "\u201C";
  const size_t open = computerName.rfind(kOpenQuote);
  if (open == std::string_view::npos) {
    return std::string(computerName);
  }
  std::string_view model = computerName.substr(open + kOpenQuote.size());
  // Drop the closing mark: the last character, whole even when multi-byte.
  size_t cut = model.size();
  while (cut > 0 && (static_cast<unsigned char>(model[cut - 1]) & 0xC0) == 0x80) {
    --cut;
  }
  return std::string(model.substr(0, cut > 0 ? cut - 1 : 0));
}

std::string UserData::getcomputertype() const { return computerTypeFrom(getcomputer()); }

std::string UserData::getcomputerusername() const {
  std::array<char, 16384> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr) {
    return found->pw_name;
  }
  return {};
}

void UserData::exit() {
  std::lock_guard lock(fields_.mutex());
  userToken_.clear();
  refreshToken_.clear();
  expiresTime_ = kDefaultExpiresTime;
  userID_ = 0;
  userEmail_.clear();
  userWebName_.clear();
  userPhone_.clear();
  userPhoto_.clear();
  jsonUserinfo_.clear();
  bTransStart_ = true;
  bShowLaunchpad_ = false;
}

void UserData::setignore(std::string_view list) {
  std::vector<std::string> entries;
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) {
      end = list.size();
    }
    if (end > start) {
      entries.emplace_back(list.substr(start, end - start));
    }
    start = end + 1;
  }
  fields_.set(ignorelist_, std::move(entries));
}

bool UserData::checkignore(std::string_view fileName) const {
  const std::string name = lowercaseString(fileName);
  for (const std::string& entry : fields_.get(ignorelist_)) {
    // Appended rather than "." + ...: GCC 12 at -O3 warns falsely on that form.
    std::string suffix(1, '.');
    suffix += lowercaseString(entry);
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return true;
    }
  }
  return false;
}

bool UserData::checkIsTransCachePath(std::string_view path) const {
  return liesInside(path, getranscache());
}

bool UserData::checkIsDecryptPath(std::string_view path) const {
  return liesInside(path, getDecryptPath());
}

bool UserData::ClearTransCachePath(std::string_view path) const {
  return checkIsTransCachePath(path) && Util::deletefile(std::string(path));
}

bool UserData::ClearDecryptPath(std::string_view path) const {
  return checkIsDecryptPath(path) && Util::deletefile(std::string(path));
}

bool UserData::deleteUserFolder() const {
  const std::string folder = userFolder();
  return liesInside(folder, configPath_) && Util::deletefile(folder);
}

}  // namespace nb
