// Page functions that reach the application: the desktop's browser and
// settings, About, quit and relaunch, the report, the self-update and the
// store bundle.

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/functions/ShellApp.h"
#include "bridge/functions/WindowAppPageFunctions.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/AppFolders.h"
#include "platform/DesktopApps.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/ApplicationActions.h"
#include "shell/tasks/SendSyncTask.h"
#include "shell/ui/Ui.h"
#include "shell/update/SelfUpdate.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "shell/windows/WebWindowController.h"

namespace nb::bridge {

namespace {

namespace fs = std::filesystem;
using Answer = std::optional<std::string>;

constexpr const char* kBuiltinAboutUrl = "https://www.nubren.com";
constexpr const char* kReporterProgram = "bin/nubren-reporter";

UriOpener& uriOpener() {
  static UriOpener opener;
  return opener;
}

// Only addresses a browser or mail program opens: a file:// address or
// another program's scheme would let a page start local programs.
bool isOpenableUrl(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos) return false;
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme == "http" || scheme == "https" || scheme == "mailto";
}

Answer gNetworkAgent(const PageCall&, WebWindowController&) {
  Util::systemPreferenceWithNetwork();
  return std::nullopt;
}

Answer gOpenUrl(const PageCall& call, WebWindowController&) {
  NBLOG_DEBUG("gOpenUrl {}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return std::nullopt;
  const std::string url = jsonTextOrEmpty(*args, "url");
  if (!isOpenableUrl(url)) {
    NBLOG_WARN("gOpenUrl dropped an address that is not http, https or mailto");
    return std::nullopt;
  }
  const UriOpener& opener = uriOpener();
  if (!(opener ? opener(url) : platform::openUri(url))) NBLOG_WARN("gOpenUrl: nothing opened");
  return std::nullopt;
}

Answer gAbout(const PageCall&, WebWindowController&) {
  openAboutWindow();
  return std::nullopt;
}

Answer gGetAboutInfo(const PageCall&, WebWindowController&) {
  const auto server = ServerInfo::current();
  const ServerInfo::Folders& folders = server->folders();
  std::string image = (folders.installDir / "aboutbkg.png").string();
  // The deployment's own picture wins, the user's copy first.
  for (const fs::path& dir : {folders.overrideDir, folders.installDir}) {
    const fs::path candidate = dir / "config" / "image" / "aboutbkg.png";
    if (Util::isfile(candidate.string())) {
      image = candidate.string();
      break;
    }
  }
  const auto app = shellApp("gGetAboutInfo");
  std::string name = server->strAboutName();
  if (name.empty()) name = Util::localizedStringForKey("NubrenVesko");
  std::string url = server->strAboutUrl();
  if (url.empty()) url = kBuiltinAboutUrl;
  const Answer answer = pageAnswer(JsonValue::object({{"image", image},
                                                {"version", app ? app->appVersionString() : ""},
                                                {"name", name},
                                                {"url", url}}));
  NBLOG_DEBUG("gGetAboutInfo {}", *answer);
  return answer;
}

Answer gGetLogo(const PageCall&, WebWindowController&) {
  const fs::path icon = platform::installDataFolder() / "nubrenapp.png";
  const Answer answer = pageAnswer(JsonValue::object({{"path", icon.string()}}));
  NBLOG_DEBUG("gGetLogo {}", *answer);
  return answer;
}

Answer gGetUIPath(const PageCall&, WebWindowController&) {
  return pageAnswer(JsonValue::object({{"uiPath", UserData::shareUserData().getuipath()}}));
}

Answer gGetClientPath(const PageCall&, WebWindowController&) {
  return pageAnswer(JsonValue::object({{"path", platform::installDataFolder().string()}}));
}

void endProcess(const std::shared_ptr<AppDelegate>& app) {
  if (app) app->setBOut(true);
  if (auto registry = currentWindowRegistry("quit")) registry->setBOut(true);
  terminateApplication();
}

Answer gQuit(const PageCall&, WebWindowController&) {
  endProcess(shellApp("gQuit"));
  return std::nullopt;
}

Answer gConfirmQuit(const PageCall&, WebWindowController&) {
  platform::MainThread::post([] {
    const auto app = shellApp("gConfirmQuit");
    const auto registry = currentWindowRegistry("gConfirmQuit");
    if (!app || !registry) return;
    registry->onMenuQuitAppClicked(
        {.bLogin = app->bLogin(),
         .bNBNoteNeedSave = app->bNBNoteNeedSave(),
         .nAllTransCount = app->nAllTransCount()},
        [app] { endProcess(app); });
  });
  return std::nullopt;
}

Answer gUpgradeClient(const PageCall&, WebWindowController&) {
  restartClientApplication();
  return std::nullopt;
}

Answer gReport(const PageCall&, WebWindowController&) {
  const std::string reporter = (update::programFolder() / kReporterProgram).string();
  if (!g_file_test(reporter.c_str(), G_FILE_TEST_IS_EXECUTABLE) || Util::isdir(reporter)) {
    return std::nullopt;
  }
  gchar* argv[] = {const_cast<gchar*>(reporter.c_str()), nullptr};
  GError* error = nullptr;
  if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error)) {
    NBLOG_WARN("cannot start the reporter: {}", error ? error->message : "");
    g_clear_error(&error);
  }
  return std::nullopt;
}

Answer gZipSyncDb(const PageCall&, WebWindowController& window) {
  const auto ui = ui::currentUi("gZipSyncDb");
  if (!ui) return std::nullopt;
  const ui::FolderChooser chooser{.title = Util::localizedStringForKey("选择路径"),
                                  .acceptLabel = Util::localizedStringForKey("选择"),
                                  .startFolder = platform::homeFolder().string()};
  ui->dialogs().chooseFolder(chooser, window.window().get(),
                             [](std::optional<std::string> folder) {
                               if (!folder) return;
                               if (const auto queue = Util::getAppDelegate()->taskQueue()) {
                                 queue->addOperation(std::make_shared<SendSyncTask>(*folder));
                               }
                             });
  return std::nullopt;
}

Answer nothing(const PageCall&, WebWindowController&) { return std::nullopt; }

Answer gCheckUpdate(const PageCall&, WebWindowController&) {
  const auto app = shellApp("gCheckUpdate");
  const std::int64_t status = app ? app->updateStatusInteger() : AppDelegate::kUpdateNone;
  const char* answer = status == AppDelegate::kUpdateOffered     ? R"({"status":"update"})"
                       : status == AppDelegate::kUpdateInstalled ? R"({"status":"finish"})"
                                                                 : R"({"status":""})";
  NBLOG_DEBUG("gCheckUpdate {}", answer);
  return answer;
}

Answer gExeUpdateRun(const PageCall&, WebWindowController&) {
  if (const auto app = shellApp("gExeUpdateRun")) update::onShowUpdate(*app);
  return std::nullopt;
}

Answer gExeUpdateInfo(const PageCall&, WebWindowController&) {
  const auto app = shellApp("gExeUpdateInfo");
  std::string info = app ? app->strUpdateServerInfo() : std::string();
  // The page parses the answer: a stored text that is no JSON answers {}.
  if (info.empty() || !objectFromJSONString(info)) info = "{}";
  NBLOG_DEBUG("gExeUpdateInfo {}", info);
  return info;
}

Answer gShowUpdateDlg(const PageCall&, WebWindowController&) {
  const auto registry = currentWindowRegistry("gShowUpdateDlg");
  const auto window = registry ? registry->updateWindow() : nullptr;
  if (!window) {
    NBLOG_ERROR("gShowUpdateDlg: no update window is registered");
    return std::nullopt;
  }
  window->window()->present();
  return std::nullopt;
}

Answer gCheckExeUpdate(const PageCall&, WebWindowController&) {
  if (const auto app = shellApp("gCheckExeUpdate")) app->checkServerAppandUI();
  return std::nullopt;
}

}  // namespace

void setUriOpener(UriOpener opener) { uriOpener() = std::move(opener); }

void registerApplicationPageFunctions() {
  setPageHandler("gNetworkAgent", gNetworkAgent);
  setPageHandler("gOpenUrl", gOpenUrl);
  setPageHandler("gAbout", gAbout);
  setPageHandler("gGetAboutInfo", gGetAboutInfo);
  setPageHandler("gGetLogo", gGetLogo);
  setPageHandler("gGetUIPath", gGetUIPath);
  setPageHandler("gGetClientPath", gGetClientPath);
  setPageHandler("gQuit", gQuit);
  setPageHandler("gConfirmQuit", gConfirmQuit);
  setPageHandler("gUpgradeClient", gUpgradeClient);
  setPageHandler("gReport", gReport);
  setPageHandler("gZipSyncDb", gZipSyncDb);
  setPageHandler("gLog", nothing);
  setPageHandler("gSetCaretPosition", nothing);
  setPageHandler("gResetOfficeAddin", nothing);
  setPageHandler("gCheckUpdate", gCheckUpdate);
  setPageHandler("gExeUpdateRun", gExeUpdateRun);
  setPageHandler("gExeUpdateInfo", gExeUpdateInfo);
  setPageHandler("gShowUpdateDlg", gShowUpdateDlg);
  setPageHandler("gCheckExeUpdate", gCheckExeUpdate);
}

}  // namespace nb::bridge
