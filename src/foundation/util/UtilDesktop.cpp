#include "foundation/util/UtilDesktop.h"

#include <array>

#include <glib.h>

#include "foundation/json/Json.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/MainThread.h"
#include "platform/DesktopApps.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/XdgDirs.h"

namespace nb::Util {

namespace {

// The chooser entry's text; the language tables are keyed by it.
constexpr const char* kOtherApplication = "其他...";

struct SpecialFolder {
  const char* word;
  const char* key;       // of user-dirs.dirs
  const char* fallback;  // under HOME when user-dirs.dirs names none
};

constexpr std::array<SpecialFolder, 5> kSpecialFolders{{
    {"desktop", "DESKTOP", "Desktop"},
    {"documents", "DOCUMENTS", "Documents"},
    {"music", "MUSIC", "Music"},
    {"video", "VIDEOS", "Videos"},
    {"pictures", "PICTURES", "Pictures"},
}};

bool spawnFirstFound(std::initializer_list<std::initializer_list<const char*>> commands) {
  for (const auto& command : commands) {
    platform::GCharPtr program(g_find_program_in_path(*command.begin()));
    if (!program) {
      continue;
    }
    std::vector<gchar*> argv{program.get()};
    for (auto it = command.begin() + 1; it != command.end(); ++it) {
      argv.push_back(const_cast<gchar*>(*it));
    }
    argv.push_back(nullptr);
    GError* raw = nullptr;
    const bool ok = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr,
                                  nullptr, nullptr, &raw) != FALSE;
    platform::GErrorPtr error(raw);
    if (ok) {
      return true;
    }
    NBLOG_WARN("cannot start {}: {}", program.get(), error ? error->message : "");
  }
  return false;
}

}  // namespace

bool openPath(const std::string& path, const std::string& type, const std::string& specify) {
  if (path.empty()) {
    return false;
  }
  if (!specify.empty()) {
    return specify != "openwith" && platform::openFileWith(path, specify);
  }
  if (type == "select") {
    return platform::revealFile(path);
  }
  return type != "openwith" && platform::openFile(path);
}

void MyOpenFile(const std::string& path, const std::string& type, const std::string& specify) {
  if (path.empty()) {
    return;
  }
  if (specify == "openwith" || (specify.empty() && type == "openwith")) {
    platform::MainThread::post([path] { getAppDelegate()->openwith(path); });
    return;
  }
  openPath(path, type, specify);
}

bool openWebUrl(const std::string& url) { return !url.empty() && platform::openUri(url); }

std::string iconFromFileType(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  const auto dot = base.rfind('.');
  const std::string extension = dot == std::string::npos ? base : base.substr(dot + 1);
  return platform::iconForFileName("file." + extension);
}

std::string getComputerPath(const std::string& word) {
  for (const auto& folder : kSpecialFolders) {
    if (word == folder.word) {
      return platform::userSpecialDir(folder.key, folder.fallback);
    }
  }
  return {};
}

std::vector<platform::AppChoice> openWithChoices(const std::string& ext,
                                                 const std::string& cacheTemp) {
  if (cacheTemp.empty() || ext.find('/') != std::string::npos ||
      ext.find("..") != std::string::npos || ext.find('\0') != std::string::npos) {
    return {};
  }
  const std::string probe = cacheTemp + "/temp" + ext;
  createfile(probe);  // leaves a file that is already there alone
  return platform::appsForFile(probe);
}

std::string methodsWithOpen(const std::string& ext, const std::string& cacheTemp) {
  JsonArrayBuilder list;
  for (const auto& app : openWithChoices(ext, cacheTemp)) {
    list.push(JsonObjectBuilder().set("openpath", app.id).set("name", app.name).build());
  }
  const std::string other = localizedStringForKey(kOtherApplication);
  list.push(JsonObjectBuilder().set("openpath", "openwith").set("name", other).build());
  return JSONString(JsonObjectBuilder().set("list", list.build()).build()).value_or("");
}

void systemPreferenceWithNetwork() {
  spawnFirstFound({{"gnome-control-center", "network"}, {"nm-connection-editor"}});
}

std::optional<std::string> getfindertarget(long /*windowId*/) { return std::string(); }

}  // namespace nb::Util
