#include "shell/windows/AboutWindowController.h"

#include "api/server/ServerInfo.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/DesktopApps.h"
#include "platform/Log.h"
#include "shell/ui/Ui.h"

namespace nb {

namespace {

// The deployment's picture, the user's copy first.
std::string backgroundPicture(const ServerInfo& server) {
  const ServerInfo::Folders& folders = server.folders();
  for (const std::filesystem::path& dir : {folders.overrideDir, folders.installDir}) {
    if (dir.empty()) continue;
    const std::filesystem::path candidate = dir / "config" / "image" / "aboutbkg.png";
    if (Util::isfile(candidate.string())) return candidate.string();
  }
  return {};
}

}  // namespace

ui::AboutBox AboutWindowController::aboutBox(const ServerInfo& server,
                                             const std::string& appVersion) {
  ui::AboutBox about;
  about.name = server.strAboutName();
  if (about.name.empty()) about.name = Util::localizedStringForKey(kDefaultNameKey);
  about.linkTitle = server.strAboutUrl();
  if (about.linkTitle.empty()) about.linkTitle = kDefaultAboutUrl;
  about.backgroundPath = backgroundPicture(server);
  std::string version = Util::localizedStringForKey("版本号：%@");
  if (const auto at = version.find("%@"); at != std::string::npos) {
    version.replace(at, 2, appVersion);
  } else {
    version += appVersion;
  }
  about.version = version;
  return about;
}

std::string AboutWindowController::aboutUrl(const ServerInfo& server) {
  const std::string url = server.strAboutUrl();
  return url.empty() ? std::string(kDefaultAboutUrl) : Util::getDealWithHttpsOrHttpUrl(url);
}

void AboutWindowController::show(ui::Ui& ui, const std::string& appVersion) {
  const auto server = ServerInfo::current();
  ui.dialogs().showAbout(aboutBox(*server, appVersion), [] {
    if (!platform::openUri(aboutUrl(*ServerInfo::current()))) {
      NBLOG_WARN("the About link opened nothing");
    }
  });
}

}  // namespace nb
