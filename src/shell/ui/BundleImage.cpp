#include "shell/ui/BundleImage.h"

#include <filesystem>
#include <system_error>

#include "api/server/ServerInfo.h"

namespace nb::ui {

std::string bundleImagePath(std::string_view relativeBase) {
  const ServerInfo::Folders folders = ServerInfo::defaultFolders();
  for (const auto& folder : {folders.overrideDir, folders.installDir}) {
    for (const char* extension : {".png", ".icns"}) {
      const std::filesystem::path file = folder / (std::string(relativeBase) + extension);
      std::error_code error;
      if (std::filesystem::is_regular_file(file, error)) return file.string();
    }
  }
  return {};
}

}  // namespace nb::ui
