#include "platform/XdgDirs.h"

#include "platform/AppFolders.h"

#include <cstdlib>
#include <fstream>

namespace nb::platform {

namespace {

std::string absoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') {
    return {};
  }
  return value;
}

// One value of user-dirs.dirs: a double-quoted text that may start with
// "$HOME" and escapes characters with a backslash.
std::string expandUserDirValue(std::string value, const std::string& home) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
    return {};
  }
  value = value.substr(1, value.size() - 2);
  std::string out;
  if (value.rfind("$HOME", 0) == 0) {
    out = home;
    value.erase(0, 5);
  } else if (value.empty() || value.front() != '/') {
    return {};  // only absolute and $HOME-relative values are valid
  }
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      ++i;
    }
    out += value[i];
  }
  return out;
}

}  // namespace

std::string configHome() {
  std::string dir = absoluteEnv("XDG_CONFIG_HOME");
  if (!dir.empty()) {
    return dir;
  }
  const std::string home = platform::homeFolder().string();
  return home.empty() ? std::string() : home + "/.config";
}

std::string cacheHome() {
  std::string dir = absoluteEnv("XDG_CACHE_HOME");
  if (!dir.empty()) {
    return dir;
  }
  const std::string home = platform::homeFolder().string();
  return home.empty() ? std::string() : home + "/.cache";
}

std::string runtimeDir() { return absoluteEnv("XDG_RUNTIME_DIR"); }

std::string userSpecialDir(const std::string& key, const std::string& fallbackName) {
  const std::string home = platform::homeFolder().string();
  if (home.empty()) {
    return {};
  }
  const std::string wanted = "XDG_" + key + "_DIR";
  std::ifstream in(configHome() + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos || line.compare(0, eq, wanted) != 0 || eq != wanted.size()) {
      continue;
    }
    std::string dir = expandUserDirValue(line.substr(eq + 1), home);
    if (!dir.empty()) {
      return dir;
    }
  }
  return home + "/" + fallbackName;
}

}  // namespace nb::platform
