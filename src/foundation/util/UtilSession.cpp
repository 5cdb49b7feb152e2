#include "foundation/util/UtilSession.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include <glib.h>

#include "platform/AtomicFile.h"
#include "platform/DesktopApps.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "platform/XdgDirs.h"

namespace nb::Util {

namespace {

namespace fs = std::filesystem;

bool gHideLogin = false;

std::string executablePath() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string autostartFile() {
  const std::string config = platform::configHome();
  return config.empty() ? std::string() : config + "/autostart/" + kAppId + ".desktop";
}

// The Exec value that starts `exe`: the path quoted as the desktop entry
// rules ask (", `, $ and \ escaped inside the quotes, then every \ doubled
// for the value itself, "%" doubled for the field codes).
std::string execLine(const std::string& exe) {
  std::string quoted = "\"";
  for (const char c : exe) {
    if (c == '\\') {
      quoted += "\\\\\\\\";
      continue;
    }
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
    }
    quoted += c == '%' ? std::string("%%") : std::string(1, c);
  }
  return quoted + "\" " + kAutostartArgument;
}

// Key=value lines of a desktop entry's main group.
std::map<std::string, std::string> readDesktopEntry(const std::string& path) {
  std::map<std::string, std::string> keys;
  const auto text = platform::readWholeFile(path);
  if (!text) {
    return keys;
  }
  std::istringstream in(*text);
  std::string line;
  bool inMainGroup = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
    } else if (const auto eq = line.find('='); inMainGroup && eq != std::string::npos) {
      keys.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
  }
  return keys;
}

bool autostartEntryIsOurs(const std::map<std::string, std::string>& keys) {
  const auto exec = keys.find("Exec");
  const std::string exe = executablePath();
  return exec != keys.end() && !exe.empty() && exec->second == execLine(exe);
}

// ---- bookmarks ----

std::string bookmarksFile() {
  const std::string config = platform::configHome();
  return config.empty() ? std::string() : config + "/gtk-3.0/bookmarks";
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(platform::readWholeFile(path).value_or(""));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

bool writeLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line + "\n";
  }
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  return platform::writeFileAtomically(path, text, 0644);
}

// The local folder a bookmark line names ("" for other schemes).
std::string bookmarkFolder(const std::string& line) {
  const std::string uri = line.substr(0, line.find(' '));
  platform::GCharPtr path(g_filename_from_uri(uri.c_str(), nullptr, nullptr));
  return path ? std::string(path.get()) : std::string();
}

std::string withoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') {
    folder.pop_back();
  }
  return folder;
}

// ---- single instance ----

struct HeldLocks {
  std::mutex mutex;
  std::map<std::string, int> fds;  // never closed: the lock lives as long as the process
};

HeldLocks& heldLocks() {
  static HeldLocks locks;
  return locks;
}

std::string lockFileFor(const std::string& bundleIdentifier) {
  std::string dir = platform::runtimeDir();
  if (dir.empty()) {
    dir = platform::configHome();
    std::error_code ec;
    fs::create_directories(dir, ec);
  }
  if (dir.empty() || bundleIdentifier.find('/') != std::string::npos || bundleIdentifier.empty() ||
      bundleIdentifier == "." || bundleIdentifier == "..") {
    return {};
  }
  return dir + "/" + bundleIdentifier + ".lock";
}

}  // namespace

void addAppAsLoginItem() {
  const std::string file = autostartFile();
  const std::string exe = executablePath();
  if (file.empty() || exe.empty()) {
    return;
  }
  std::error_code ec;
  fs::create_directories(fs::path(file).parent_path(), ec);
  const std::string entry = std::string("[Desktop Entry]\nType=Application\nName=") + kAppId +
                            "\nExec=" + execLine(exe) +
                            "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  platform::writeFileAtomically(file, entry, 0644);
}

bool findAppAsLoginItem() {
  const std::string file = autostartFile();
  if (file.empty()) {
    return false;
  }
  const auto keys = readDesktopEntry(file);
  const auto hidden = keys.find("Hidden");
  return autostartEntryIsOurs(keys) && (hidden == keys.end() || hidden->second != "true");
}

void deleteAppFromLoginItem() {
  const std::string file = autostartFile();
  if (!file.empty() && autostartEntryIsOurs(readDesktopEntry(file))) {
    std::error_code ec;
    fs::remove(file, ec);
  }
}

bool wasLaunchedAsLoginItem() { return wasLaunchedByProcess("lgnw"); }

bool wasLaunchedByProcess(const std::string& creatorCode) {
  if (creatorCode != "lgnw") {
    return false;
  }
  const auto cmdline = platform::readWholeFile("/proc/self/cmdline");
  if (!cmdline) {
    return false;
  }
  std::istringstream args(*cmdline);
  std::string arg;
  std::getline(args, arg, '\0');  // the program itself
  while (std::getline(args, arg, '\0')) {
    if (arg == kAutostartArgument) {
      return true;
    }
  }
  return false;
}

void addfoldertofavorite(const std::string& folder) {
  const std::string file = bookmarksFile();
  const std::string clean = withoutTrailingSlash(folder);
  platform::GCharPtr uri(g_filename_to_uri(clean.c_str(), nullptr, nullptr));
  if (file.empty() || !uri) {
    return;
  }
  std::vector<std::string> lines{uri.get()};
  for (auto& line : readLines(file)) {
    if (bookmarkFolder(line) != clean) {
      lines.push_back(std::move(line));
    }
  }
  writeLines(file, lines);
}

void deletefolderfavorite(const std::string& folder) {
  const std::string file = bookmarksFile();
  if (file.empty()) {
    return;
  }
  auto lines = readLines(file);
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    const std::string path = bookmarkFolder(*it);
    if (!path.empty() && (path == folder || path + "/" == folder)) {
      lines.erase(it);
      writeLines(file, lines);
      return;
    }
  }
}

bool didProgressLaunched(const std::string& bundleIdentifier) {
  const std::string path = lockFileFor(bundleIdentifier);
  if (path.empty()) {
    return false;
  }
  auto& locks = heldLocks();
  std::lock_guard<std::mutex> guard(locks.mutex);
  if (locks.fds.count(path) != 0) {
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    NBLOG_WARN("cannot open the instance lock {}: {}", path, std::strerror(errno));
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    locks.fds.emplace(path, fd);
    return false;
  }
  const bool heldElsewhere = errno == EWOULDBLOCK;
  ::close(fd);
  return heldElsewhere;
}

bool islink() { return platform::networkAvailable(); }

void setHideLogin() { gHideLogin = true; }

bool getShowLogin() { return !gHideLogin; }

}  // namespace nb::Util
