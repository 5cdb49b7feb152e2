#include "api/server/ServerInfo.h"

#include <system_error>

#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/AtomicFile.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

constexpr const char* kServerFile = "server.json";
constexpr const char* kApiPath = "/m-api";

}  // namespace

ServerInfo::Folders ServerInfo::defaultFolders() {
  const fs::path config = platform::configFolder();
  return {config, platform::installDataFolder(), config / "bundle"};
}

ServerInfo::ServerInfo(Folders folders) : folders_(std::move(folders)) {
  strUIPath_ = (folders_.configDir / "UI").string();
  strApiHost_ = strServerHost_ + kApiPath;
  strWebHost_ = strServerHost_;
  checkServer();
}

std::shared_ptr<ServerInfo> ServerInfo::current() {
  if (std::shared_ptr<ServerInfo> info = Util::getAppDelegate()->serverInfo()) {
    return info;
  }
  static const std::shared_ptr<ServerInfo> fallback = std::make_shared<ServerInfo>();
  return fallback;
}

void ServerInfo::checkServer() {
  for (const fs::path& dir : {folders_.overrideDir, folders_.installDir}) {
    if (dir.empty()) {
      continue;
    }
    if (std::optional<std::string> bytes = platform::readWholeFile(dir / kServerFile)) {
      setValueWithData(*bytes, dir);
      return;
    }
  }
}

bool ServerInfo::setValueWithData(std::string_view bytes, const fs::path& baseDir) {
  const std::optional<JsonValue> json = objectFromJSONData(bytes);
  if (!json || !json->isObject()) {
    return false;
  }
  const auto text = [&](std::string_view key) { return jsonTextOrEmpty(*json, key); };
  if (std::string v = text("uipath"); !v.empty()) {
    setStrUIPath(std::move(v));
  }
  if (std::string v = text("webhost"); !v.empty()) {
    setStrWebHost(std::move(v));
    setBChangeWebHost(true);
  }
  if (std::string v = text("apihost"); !v.empty()) {
    setStrApiHost(std::move(v));
    setBChangeApiHost(true);
  }
  if (std::string v = text("updatehost"); !v.empty()) {
    setStrUpdateHost(std::move(v));
    setBChangeUpdateHost(true);
  }
  if (std::string v = text("serverhost"); !v.empty()) {
    setBChangeServerHost(true);
    setStrServerHost(v);
    setServerHost(v);
  }
  // A private deployment names its own passport, so neither its account
  // names nor a test run ever reach the built-in one.
  if (std::string v = text("passport"); !v.empty()) {
    setStrPassport(std::move(v));
  }
  if (std::string v = text("branch"); !v.empty()) {
    setStrUpdateBranch(std::move(v));
  }
  if (std::string v = text("updatechannel"); !v.empty()) {
    setStrUpdateChannel(std::move(v));
  }
  if (jsonInt64(*json, "debug") > 0) {
    setBDebugMenu(true);
  }
  if (jsonInt64(*json, "https") > 0) {
    setBHttps(true);
  }
  if (std::string v = text("cafile"); !v.empty()) {
    fields_.set(strCAFile_, (baseDir / v).lexically_normal().string());
  }
  if (jsonInt64(*json, "insecure") > 0) {
    fields_.set(bInsecureTLS_, true);
  }
  if (const JsonValue& domains = (*json)["storagedomains"]; domains.isArray()) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < domains.size(); ++i) {
      if (domains[i].isString() && !domains[i].asString().empty()) {
        list.emplace_back(domains[i].asString());
      }
    }
    fields_.set(storageDomains_, std::move(list));
  }
  return true;
}

void ServerInfo::setServerHost(const std::string& host) {
  std::lock_guard lock(fields_.mutex());
  if (!bChangeServerHost_) {
    strServerHost_ = host;
  }
  if (!bChangeWebHost_) {
    strWebHost_ = strServerHost_;
  }
  if (!bChangeApiHost_) {
    strApiHost_ = strServerHost_ + kApiPath;
  }
}

ServerInfo::TlsMode ServerInfo::tlsMode() const {
  std::lock_guard lock(fields_.mutex());
  if (!strCAFile_.empty()) {
    return TlsMode::CAFile;
  }
  return bInsecureTLS_ ? TlsMode::Insecure : TlsMode::System;
}

}  // namespace nb
