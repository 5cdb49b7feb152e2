#include "shell/windows/WindowPages.h"

#include <glib.h>

#include "api/server/ServerInfo.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UserDefaults.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"

namespace nb {

std::string uiPageUrl(const std::string& uiFolder, std::string_view fragment) {
  const std::string file = uiFolder + "/index.html";
  platform::GCharPtr uri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
  if (!uri) {
    NBLOG_ERROR("the UI folder is no absolute path: {}", uiFolder);
    return {};
  }
  return std::string(uri.get()) + std::string(fragment);
}

std::string webUserAgent(const std::string& clientAgent) {
  return clientAgent +
         ";Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/35.0.1916.114 Safari/537.36";
}

ui::WebWindowOptions webWindowOptions(ui::WindowKind kind) {
  ui::WebWindowOptions options;
  options.kind = kind;
  options.userAgent = webUserAgent(Util::getAppDelegate()->userAgentString());
  const std::optional<std::string> developer =
      UserDefaults::standardUserDefaults().stringForKey("developer");
  const bool developerDefault =
      developer && (*developer == "1" || *developer == "YES" || *developer == "true");
  options.developerExtras = ServerInfo::current()->bDebugMenu() || developerDefault;
  options.contextMenu = options.developerExtras;
  return options;
}

std::string uiFolder() { return ServerInfo::current()->strUIPath(); }

}  // namespace nb
