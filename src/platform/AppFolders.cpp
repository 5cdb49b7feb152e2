#include "platform/AppFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace nb::platform {

namespace fs = std::filesystem;

fs::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return found->pw_dir;
  }
  return "/";
}

fs::path configFolder() { return homeFolder() / ".veskocfg"; }

fs::path userResourcesFolder() { return configFolder() / "resources"; }

fs::path templateFolder() { return userResourcesFolder() / "UI"; }

fs::path installDataFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / "share" / "nubren";
    if (fs::is_directory(installed, ec)) {
      return installed;
    }
  }
  return NB_SOURCE_DATA_DIR;
}

}  // namespace nb::platform
