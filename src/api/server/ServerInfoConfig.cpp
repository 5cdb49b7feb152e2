// Discovery of the deployment: its source, its server host and its branding.

#include <system_error>

#include "api/session/ClientId.h"
#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilUrl.h"
#include "platform/AtomicFile.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceFile = fs::path("config") / "source.json";
const fs::path kConfigFile = fs::path("config") / "config.json";

// The writable copy wins over the one installed with the program.
std::optional<std::string> readBundleFile(const ServerInfo::Folders& folders, const fs::path& name) {
  for (const fs::path& dir : {folders.overrideDir, folders.installDir}) {
    if (dir.empty()) {
      continue;
    }
    if (std::optional<std::string> bytes = platform::readWholeFile(dir / name)) {
      return bytes;
    }
  }
  return std::nullopt;
}

bool bundleFileExists(const ServerInfo::Folders& folders, const fs::path& name) {
  std::error_code ec;
  for (const fs::path& dir : {folders.overrideDir, folders.installDir}) {
    if (!dir.empty() && fs::exists(dir / name, ec)) {
      return true;
    }
  }
  return false;
}

bool writeBundleFile(const ServerInfo::Folders& folders, const fs::path& name, std::string_view bytes) {
  const fs::path file = folders.overrideDir / name;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  return platform::writeFileAtomically(file, bytes);
}

// The client settings object of a configuration answer, when the answer is
// an object whose "client_setting" is a non-empty text.
std::optional<std::string> clientSettingText(std::string_view answer) {
  const std::optional<JsonValue> json = objectFromJSONString(answer);
  if (!json || !json->isObject()) {
    return std::nullopt;
  }
  std::string setting = jsonTextOrEmpty(*json, "client_setting");
  if (setting.empty()) {
    return std::nullopt;
  }
  return setting;
}

void readSourceFile(ServerInfo& info) {
  const std::optional<std::string> bytes = readBundleFile(info.folders(), kSourceFile);
  const std::optional<JsonValue> json = bytes ? objectFromJSONString(*bytes) : std::nullopt;
  if (!json || !json->isObject()) {
    return;
  }
  if (std::string source = jsonTextOrEmpty(*json, "source"); !source.empty()) {
    info.setStrSource(std::move(source));
  }
}

// Asks the passport for the deployment's server host and the service for its
// configuration, which is kept only when it carries client settings.
void askTheService(ServerInfo& info, const std::string& source) {
  const RetPassport passport =
      HTTPEngine::passportSource(Util::getDealWithHttpsOrHttpUrl(info.strPassport()), source);
  if (passport.nStatusCode() == 200 && !passport.strServerHost.empty()) {
    info.setServerHost(passport.strServerHost);
    UserData::shareUserData().setStrServerHost(passport.strServerHost);
  }
  std::string answer;
  if (HTTPEngine::getConfigSource(source, std::string(kClientId), answer) && clientSettingText(answer)) {
    info.setStrConfigInfo(answer);
    // Kept as received: the next start falls back to it when the call fails.
    writeBundleFile(info.folders(), kConfigFile, answer);
  }
}

void applyClientSetting(ServerInfo& info, const JsonValue& setting) {
  if (std::string v = jsonTextOrEmpty(setting, "client_name"); !v.empty()) {
    info.setStrTitleName(std::move(v));
  }
  if (std::string v = jsonTextOrEmpty(setting, "about_name"); !v.empty()) {
    info.setStrAboutName(std::move(v));
  }
  if (std::string v = jsonTextOrEmpty(setting, "about_url"); !v.empty()) {
    info.setStrAboutUrl(std::move(v));
  }
  info.setNWitdh(jsonInt64(setting, "login_width"));
  info.setNHeight(jsonInt64(setting, "login_height"));
  if (!setting["upgrade_mode"].isNull()) {
    info.setBShowUpdate(jsonFlag(setting, "upgrade_mode"));
  }
}

}  // namespace

void ServerInfo::checkConfig() {
  readSourceFile(*this);
  if (const std::string source = strSource(); !source.empty()) {
    askTheService(*this, source);
  }
  if (strConfigInfo().empty()) {
    if (std::optional<std::string> cached = readBundleFile(folders_, kConfigFile)) {
      setStrConfigInfo(std::move(*cached));
    }
  }
  const std::optional<std::string> settingText = clientSettingText(strConfigInfo());
  const std::optional<JsonValue> setting = settingText ? objectFromJSONString(*settingText) : std::nullopt;
  if (setting && setting->isObject()) {
    applyClientSetting(*this, *setting);
  }
}

void ServerInfo::resetSource(const std::string& source) {
  if (bundleFileExists(folders_, kSourceFile)) {
    return;
  }
  const std::optional<std::string> text = JSONString(JsonObjectBuilder().set("source", source).build());
  if (text && writeBundleFile(folders_, kSourceFile, *text)) {
    checkConfig();
  }
}

}  // namespace nb
