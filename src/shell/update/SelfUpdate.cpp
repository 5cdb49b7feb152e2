#include "shell/update/SelfUpdate.h"

#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>

#include "api/calls/HTTPEngine.h"
#include "api/calls/TransportSettings.h"
#include "api/server/ServerInfo.h"
#include "api/session/ClientId.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UserDefaults.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "foundation/util/UtilWebPackage.h"
#include "foundation/util/UtilZip.h"
#include "http/request/ASIHTTPRequest.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AppDelegate.h"
#include "shell/update/DownloadExeTask.h"
#include "shell/update/UpdatePages.h"

namespace nb::update {

namespace fs = std::filesystem;

namespace {

// 2001-01-01T00:00:00Z in Unix seconds.
constexpr std::uint64_t kReferenceDateUnix = 978'307'200;

std::atomic<bool> downloadRunning_{false};

std::mutex programFolderMutex;
std::optional<fs::path> programFolder_;  // guarded by programFolderMutex

fs::path executableFolderParent() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path().parent_path();
}

fs::path tempFolder() { return platform::configFolder() / "nbtemp"; }

struct Fetched {
  int status = 0;
  std::string body;
};

// One synchronous GET with the library's defaults and the deployment's
// certificate rules; nothing when the request failed.
std::optional<Fetched> fetch(const std::string& url) {
  auto request = http::ASIHTTPRequest::requestWithURL(url);
  const TransportSettings settings = currentTransportSettings();
  request->validatesSecureCertificate = !settings.tls.insecure;
  request->certificateAuthorityFile = settings.tls.caFile;
  request->startSynchronous();
  if (request->error()) return std::nullopt;
  return Fetched{request->responseStatusCode(), request->responseData().value_or("")};
}

// Writes `body` to "<folder>/<name>.tmp" and renames it to "<folder>/<name>",
// which fails (keeping the earlier file) when that one exists.
bool storePackage(const fs::path& folder, const std::string& name, const std::string& body) {
  const fs::path temp = folder / (name + ".tmp");
  const fs::path target = folder / name;
  if (!platform::writeFileAtomically(temp, body)) return false;
  if (!Util::movefile(temp.string(), target.string())) {
    Util::deletefile(temp.string());
    return false;
  }
  return true;
}

std::string digestKey(const char* package) { return Util::webPackageDigestKey(package); }

// Unpacks the customisation archive beside the branding folder first, so
// a refused or broken archive leaves the folder as it was.
bool installConfigPackage(const fs::path& archive) {
  const fs::path target = brandingFolder();
  const fs::path staging = target.parent_path() / "config.unpacking";
  Util::deletefolder(staging.string(), false);
  bool ok = Util::unzip(archive.string(), staging.string());
  ok = ok && Util::createfolder(target.string()) &&
       Util::movefolder(staging.string(), target.string(), true);
  Util::deletefolder(staging.string(), false);
  return ok;
}

template <typename Job>
void quietly(const char* what, Job job) {
  try {
    job();
  } catch (const std::exception& e) {
    NBLOG_ERROR("{} failed: {}", what, e.what());
  }
}

}  // namespace

double referenceDateSeconds(std::uint64_t unixSeconds) {
  return static_cast<double>(unixSeconds) - static_cast<double>(kReferenceDateUnix);
}

fs::path programFolder() {
  {
    std::lock_guard lock(programFolderMutex);
    if (programFolder_) return *programFolder_;
  }
  return executableFolderParent();
}

void setProgramFolder(fs::path folder) {
  std::lock_guard lock(programFolderMutex);
  programFolder_ = std::move(folder);
}

fs::path brandingFolder() { return ServerInfo::current()->folders().overrideDir / "config"; }

void checkServerAppandUI(AppDelegate& app) {
  std::weak_ptr<AppDelegate> weak = app.shared_from_this();
  const auto queue = app.taskQueue();
  queue->addOperation([weak] {
    if (auto self = weak.lock()) GetUpdateXML(*self);
  });
  queue->addOperation([weak] {
    if (auto self = weak.lock()) UIDownloadZip(*self);
  });
  if (ServerInfo::current()->strSource().empty()) return;
  queue->addOperation([weak] {
    if (auto self = weak.lock()) ConfigDownloadZip(*self);
  });
}

void GetUpdateXML(AppDelegate& app) {
  quietly("update query", [&] {
    const std::optional<std::string> text = HTTPEngine::checkUpdates(app.appUpdateVersionString());
    if (!text) return;
    app.setStrUpdateServerInfo(*text);
    const std::optional<JsonValue> offer = dictionaryFromString(*text);
    if (!offer || !offer->isObject()) return;
    app.setAppServerVersionString(jsonTextOrEmpty(*offer, "version"));
    app.setAppServerUrlString(jsonTextOrEmpty(*offer, "url"));
    app.setNAppServerSize(jsonInt64(*offer, "filesize"));
    sendToUpdateWindow("gExeUpdateInfo", *text);
    NBLOG_DEBUG("gExeUpdateInfo:{}", *text);
    if (askFirst()) {
      app.setUpdateStatusInteger(AppDelegate::kUpdateOffered);
      broadcastCheckUpdate("update");
    } else {
      platform::MainThread::postAndWait([&app] { onShowUpdate(app); });
    }
  });
}

bool downloadRunning() { return downloadRunning_; }

bool onShowUpdate(AppDelegate& app) {
  bool expected = false;
  if (!downloadRunning_.compare_exchange_strong(expected, true)) {
    NBLOG_INFO("a program download is running already");
    return false;
  }
  const std::string archive = (platform::configFolder() / "nubrenupdate.zip").string();
  Util::createfolder(platform::configFolder().string());
  auto task = std::make_shared<DownloadExeTask>(app.appServerUrlString(), archive,
                                                app.nAppServerSize(),
                                                [] { downloadRunning_ = false; });
  if (!app.taskQueue()->addOperation(task)) {
    downloadRunning_ = false;
    return false;
  }
  return true;
}

void UIDownloadZip(AppDelegate& app) {
  quietly("web UI package fetch", [&] {
    const fs::path folder = tempFolder();
    const fs::path waiting = folder / "start.zip";
    std::string key;
    if (Util::isfile(waiting.string())) {
      key = md5Data2String(platform::readWholeFile(waiting).value_or(""));
    } else {
      key = UserDefaults::standardUserDefaults().stringForKey(digestKey(kUIPackageName)).value_or("");
    }
    const auto server = ServerInfo::current();
    // The address carries the access token: it is never logged.
    const std::string url = Util::getDealWithHttpsOrHttpUrl(fmt::format(
        "{}/update/gui?token={}&key={}&t={:.6f}&clientid={}&n={}&v={}&branch={}",
        server->strUpdateHost(), urlEncoded(UserData::shareUserData().userToken()),
        urlEncoded(key), referenceDateSeconds(platform::nowSeconds()), kClientId,
        kPackageChannel, urlEncoded(app.appVersionString()),
        urlEncoded(server->strUpdateBranch())));
    Util::createfolder(folder.string());
    const std::optional<Fetched> answer = fetch(url);
    if (answer && answer->status >= 200 && answer->status <= 399 && !answer->body.empty()) {
      storePackage(folder, "start.zip", answer->body);
    }
    if (Util::isfile(waiting.string())) {
      Util::initLoadResourcFileName(kUIPackageName, "index.html", false, app.appVersionString());
    }
  });
}

void ConfigDownloadZip(AppDelegate& app) {
  quietly("customisation package fetch", [&] {
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const std::string key = defaults.stringForKey(digestKey(kConfigPackageName)).value_or("");
    const auto server = ServerInfo::current();
    const std::string url = Util::getDealWithHttpsOrHttpUrl(fmt::format(
        "{}/update/custom?source={}&key={}&t={}&n={}&v={}&branch={}", server->strUpdateHost(),
        urlEncoded(server->strSource()), urlEncoded(key), platform::nowSeconds(),
        kPackageChannel, urlEncoded(app.appVersionString()),
        urlEncoded(server->strUpdateBranch())));
    const fs::path folder = tempFolder();
    Util::createfolder(folder.string());
    const std::optional<Fetched> answer = fetch(url);
    if (!answer || (answer->status != 200 && answer->status != 302) || answer->body.empty()) {
      return;
    }
    const fs::path archive = folder / "config.zip";
    Util::deletefile(archive.string());
    if (!storePackage(folder, "config.zip", answer->body)) return;
    if (installConfigPackage(archive)) {
      defaults.setObject(md5Data2String(answer->body), digestKey(kConfigPackageName));
      defaults.synchronize();
    } else {
      NBLOG_WARN("the customisation package did not unpack");
    }
    Util::deletefile(archive.string());
  });
}

}  // namespace nb::update
