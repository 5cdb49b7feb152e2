#include "launch/Launcher.h"

#include <glib-unix.h>

#include <chrono>
#include <csignal>
#include <cstdlib>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/chrome/AppChrome.h"
#include "bridge/functions/PageFunctionGroups.h"
#include "bridge/windows/AppWindowMaker.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/util/UtilSession.h"
#include "foundation/util/UtilWebPackage.h"
#include "http/request/ASIHTTPRequest.h"
#include "http/shared/ASIHTTPRequestDefaults.h"
#include "launch/ShellParts.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/LoginItem.h"
#include "shell/app/ProcessState.h"
#include "shell/app/Reachability.h"
#include "shell/app/SingleInstance.h"
#include "shell/app/UserAgent.h"
#include "shell/notify/NotificationCenter.h"
#include "shell/ui/gtk/GtkCopyWindows.h"
#include "shell/ui/gtk/GtkUi.h"
#include "stores/settings/SettingsDb.h"
#include "transfer/lan/HttpThread.h"
#include "transfer/opened/OpenDirectoryhandler.h"

namespace nb::launch {

namespace {

constexpr std::chrono::seconds kRelaunchWait{10};
constexpr int kHttpQueueWidth = 100;

bool hasArgument(const LaunchOptions& options, const std::string& argument) {
  for (const std::string& arg : options.args) {
    if (arg == argument) return true;
  }
  return false;
}

// What a second launch hands the running one: its vep:// URL, a screenshot
// request, or a re-open.
std::string forwardedRequest(const LaunchOptions& options) {
  for (const std::string& arg : options.args) {
    if (arg.starts_with("vep://")) return arg;
  }
  if (hasArgument(options, kScreenshotArgument)) return kScreenshotArgument;
  return SingleInstance::kReopen;
}

void onForward(const std::shared_ptr<AppDelegate>& app, const std::string& message) {
  const bool plain = message == SingleInstance::kReopen || message == kScreenshotArgument;
  NBLOG_INFO("another launch forwarded {}", plain ? message : "an address");
  if (message == SingleInstance::kReopen) {
    app->applicationShouldHandleReopen();
  } else if (message == kScreenshotArgument) {
    if (auto chrome = bridge::AppChrome::current("forwarded screenshot")) chrome->screenshotRequested();
  } else {
    app->openUrlByVep(message);
  }
}

// The system's quit request: SIGTERM, SIGINT and SIGHUP end the client at once.
void watchQuitSignals(const std::shared_ptr<AppDelegate>& app) {
  static std::weak_ptr<AppDelegate> target;
  target = app;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    g_unix_signal_add(signal, +[](gpointer) -> gboolean {
      if (auto self = target.lock()) self->handleQuitEvent();
      return G_SOURCE_CONTINUE;
    }, nullptr);
  }
}

// The stored hot key's names, joined with "+" when it was set.
std::vector<std::string> hotKeyNames(const std::string& joined) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  for (std::size_t plus; (plus = joined.find('+', begin)) != std::string::npos; begin = plus + 1) {
    names.push_back(joined.substr(begin, plus - begin));
  }
  names.push_back(joined.substr(begin));
  return names;
}

void loadSettings(AppDelegate& app, ShellParts& parts) {
  SettingsDb& settings = SettingsDb::shareSettingDb();
  app.setBUseHttps(settings.gethttps());
  app.setBLocalNetwork(settings.getlocal());
  app.setBRecyclebin(settings.getdelete2recyclebin());
  app.setBPromptMessage(settings.getmsg());
  app.setBMessageSound(settings.getmsgsound());
  if (const std::optional<std::string> keys = settings.getHotKey()) {
    parts.SetHotKey(hotKeyNames(*keys));
  }
}

void loadStoredSignIn(AppDelegate& app) {
  const UserInfo stored = SettingsDb::shareSettingDb().getuserinfo();
  if (stored.userid == -1) return;
  UserData& user = UserData::shareUserData();
  user.setRefreshToken(stored.refreshtoken.value_or(""));
  user.setDevicename(stored.device.value_or(""));
  user.setJsonUserinfo(stored.userinfo.value_or(""));
  user.setUserToken(stored.token.value_or(""));
  if (const std::string host = stored.serverhost.value_or(""); !host.empty()) {
    app.serverInfo()->setServerHost(host);
    user.setStrServerHost(host);
  }
}

void startSignIn(AppDelegate& app) {
  if (!Util::getShowLogin()) {
    app.setBAutoLogin(false);
    return;
  }
  if (!UserData::shareUserData().refreshToken().empty()) {
    app.setBAutoLogin(true);
    app.startLoginByAuto();
  } else {
    app.setBAutoLogin(false);
    NBLOG_DEBUG("login");
    app.showLoginWebWindowController();
  }
}

std::shared_ptr<Reachability> watchPassport(const std::shared_ptr<AppDelegate>& app) {
  auto monitor = Reachability::reachabilityWithHostname(app->serverInfo()->strPassport());
  if (!monitor) return nullptr;
  std::weak_ptr<AppDelegate> weak = app;
  monitor->setReachableBlock([weak] {
    if (auto self = weak.lock()) self->setLinkStatus(true);
  });
  monitor->setUnreachableBlock([weak] {
    if (auto self = weak.lock()) self->setLinkStatus(false);
  });
  if (!monitor->startNotifier()) return nullptr;
  return monitor;
}

}  // namespace

void registerEverything(const std::shared_ptr<AppDelegate>& app) {
  // Before anything makes the session: its opened-files watcher is made then.
  transfer::registerOpenDirectoryhandler();
  ProcessState::start(app);
  lan::HttpThread::registerAsLanService();
  std::weak_ptr<AppDelegate> weak = app;
  lan::HttpThread::setLanUseSeam([weak] {
    auto self = weak.lock();
    return self && self->bLocalNetwork();
  });
  bridge::WindowRegistry::start();
  bridge::AppWindowMaker::start();
  bridge::registerPageFunctionGroups();
  registerShellAnswers(app);
}

void applicationDidFinishLaunching(const std::shared_ptr<AppDelegate>& app,
                                   const std::string& version, ShellParts& parts) {
  app->setBManuallogin(false);
  watchQuitSignals(app);
  parts.startSdkSignIn();
  app->setBOut(false);
  platform::startFileLogging(platform::defaultLogFolder());
  NBLOG_INFO("init");
  http::ASIHTTPRequest::sharedQueue().setMaxConcurrentOperationCount(kHttpQueueWidth);
  app->setBLoginFinish(false);
  app->setBFinishCallback(false);
  app->setBNeedLoading(true);

  auto server = std::make_shared<ServerInfo>();
  app->setServerInfo(server);
  server->checkConfig();
  app->setLanguage(SettingsDb::shareSettingDb().getlanguage());
  UserData::shareUserData().setBShowLaunchpad(!Util::wasLaunchedAsLoginItem());

  app->setAppVersionString(version);
  app->setAppUpdateVersionString(version);
  const std::string agent =
      userAgentFor(version, systemVersionFromOsRelease(osReleaseText()), server->strSource());
  app->setUserAgentString(agent);
  http::ASIHTTPRequestDefaults::registerApplicationIdentity({"nubren", version, version});
  http::ASIHTTPRequestDefaults::setDefaultUserAgentString(agent);
  app->setBShouldHandleReopen(false);
  Util::initLoadResourcFileName("start", "index.html", true, version);
  app->setBLogin(false);
  parts.initUpdateDlg();
  app->checkServerAppandUI();
  parts.initStateIconAndMenu();

  loadSettings(*app, parts);
  syncLoginItemWithAutorun(SettingsDb::shareSettingDb().getautorun());
  loadStoredSignIn(*app);
  app->setBLinkNetwork(Util::islink());
  static std::shared_ptr<Reachability> reachability;  // lives as long as the process
  reachability = watchPassport(app);
  startSignIn(*app);
  NotificationCenter::shareCenter().setScheduleGrowlUserNotification();
  app->setBShouldHandleReopen(true);
  app->setUllScreenshotTime(0);
  app->setBLockScreen(false);
  if (auto chrome = bridge::AppChrome::current("start-up")) chrome->setUnlockScreenDoneOnMainThread();
}

int run(const LaunchOptions& options) {
  const bool relaunch = hasArgument(options, AppDelegate::kRelaunchArgument);
  if (!SingleInstance::acquire(kBundleIdentifier, relaunch ? kRelaunchWait : std::chrono::seconds(0))) {
    SingleInstance::forward(kBundleIdentifier, forwardedRequest(options));
    return -1;
  }
  if (!options.args.empty() && options.args.front() == kHideLoginArgument) Util::setHideLogin();
  if (std::getenv(kLoopbackLanVariable)) lan::HttpThread::useLoopbackOnly();
  platform::MainThread::attach();
  if (auto ui = ui::GtkUi::create()) {
    ui::setUi(ui);
    ui::setCopyWindows(std::make_shared<ui::GtkCopyWindows>());
  } else {
    NBLOG_ERROR("no display: the client runs without windows");
  }
  auto app = std::make_shared<AppDelegate>();
  registerEverything(app);
  SingleInstance listener(kBundleIdentifier,
                          [app](const std::string& message) { onForward(app, message); });
  ShellParts parts(app);
  applicationDidFinishLaunching(app, options.version, parts);
  // A link that started the client is opened once start-up has run.
  if (const std::string request = forwardedRequest(options); request.starts_with("vep://")) {
    platform::MainThread::post([app, request] { app->openUrlByVep(request); });
  }
  platform::MainThread::run();
  parts.stop();
  // No shutdown sequence: threads and stores end with the process.
  platform::logger()->flush();
  std::_Exit(0);
}

}  // namespace nb::launch
