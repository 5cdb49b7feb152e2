#pragma once
// The addresses of the service and the deployment's branding. One instance
// per process, made by the shell at launch and reached through
// ServerInfo::current(). Hosts are host names, optionally with a port or a
// path ("/m-api" on the API host); URL schemes are chosen per URL.
//
// The deployment may fix hosts and switches in "server.json": the copy in the
// writable override folder (<config>/bundle) when there is one, else the
// read-only copy installed with the program. Both are only ever read.
//
// Thread-safety: every accessor may be called from any thread; writers
// replace whole values and readers get a copy of the current one.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/util/FieldLock.h"

namespace nb {

class ServerInfo {
 public:
  // Where the deployment files live.
  struct Folders {
    std::filesystem::path configDir;    // the user's configuration folder
    std::filesystem::path installDir;   // read-only data installed with the program
    std::filesystem::path overrideDir;  // writable copies that win over installDir
  };
  // ~/.veskocfg, the install data folder, and ~/.veskocfg/bundle.
  static Folders defaultFolders();

  // How the transport checks the service's TLS certificates.
  enum class TlsMode {
    System,    // the system's trusted authorities (default)
    CAFile,    // only the authorities in strCAFile
    Insecure,  // no check at all: server.json asked for it explicitly
  };

  static constexpr std::string_view kBuiltinPassport = "passport.nubren.com";
  static constexpr std::string_view kBuiltinServerHost = "www.nubren.com";
  static constexpr std::string_view kBuiltinUpdateHost = "update.nubren.com";
  // The update host's channel for this program's own archive; a deployment
  // names another with "updatechannel" in server.json. The web UI and
  // customisation packages have their own fixed channel.
  static constexpr std::string_view kBuiltinUpdateChannel = "auto_update_linux";

  // Built-in values, then server.json (checkServer).
  explicit ServerInfo(Folders folders = defaultFolders());
  ServerInfo(const ServerInfo&) = delete;
  ServerInfo& operator=(const ServerInfo&) = delete;

  // The application state's configuration, or, while the shell has made
  // none, a process-wide one from the default folders. Never null.
  static std::shared_ptr<ServerInfo> current();

  const Folders& folders() const { return folders_; }

  // Applies server.json when one is found and readable; anything unreadable
  // or not a JSON object is skipped silently.
  void checkServer();
  // Applies the bytes of a server.json; relative "cafile" paths are taken
  // from `baseDir`. False when the text is not a JSON object.
  bool setValueWithData(std::string_view bytes, const std::filesystem::path& baseDir = {});

  // Points the server host (unless fixed by server.json) and the web and API
  // hosts that follow it at `host`. The update host never follows.
  void setServerHost(const std::string& host);

  // Configuration discovery (ServerInfoConfig.cpp), synchronous. Reads the
  // deployment source from config/source.json, asks the passport for its
  // server host and the service for its client settings, caches the answer
  // in config/config.json (falling back to that cache when the call fails)
  // and applies the branding. Failures are skipped silently. Runs at launch
  // before other threads read the hosts.
  void checkConfig();
  // Records `source` in config/source.json and runs checkConfig(), unless a
  // source file already exists.
  void resetSource(const std::string& source);

  TlsMode tlsMode() const;

  // --- Accessors -----------------------------------------------------------
  bool bDebugMenu() const { return fields_.get(bDebugMenu_); }
  bool bHttps() const { return fields_.get(bHttps_); }
  bool bShowUpdate() const { return fields_.get(bShowUpdate_); }
  std::string strUIPath() const { return fields_.get(strUIPath_); }
  std::string strPassport() const { return fields_.get(strPassport_); }
  std::string strServerHost() const { return fields_.get(strServerHost_); }
  std::string strApiHost() const { return fields_.get(strApiHost_); }
  std::string strWebHost() const { return fields_.get(strWebHost_); }
  std::string strUpdateHost() const { return fields_.get(strUpdateHost_); }
  std::string strUpdateBranch() const { return fields_.get(strUpdateBranch_); }
  std::string strUpdateChannel() const { return fields_.get(strUpdateChannel_); }
  std::string strAboutName() const { return fields_.get(strAboutName_); }
  std::string strAboutUrl() const { return fields_.get(strAboutUrl_); }
  std::string strTitleName() const { return fields_.get(strTitleName_); }
  std::string strSource() const { return fields_.get(strSource_); }
  std::string strConfigInfo() const { return fields_.get(strConfigInfo_); }
  std::int64_t nWitdh() const { return fields_.get(nWitdh_); }
  std::int64_t nHeight() const { return fields_.get(nHeight_); }
  bool bChangeApiHost() const { return fields_.get(bChangeApiHost_); }
  bool bChangeWebHost() const { return fields_.get(bChangeWebHost_); }
  bool bChangeUpdateHost() const { return fields_.get(bChangeUpdateHost_); }
  bool bChangeServerHost() const { return fields_.get(bChangeServerHost_); }
  // Absolute path of the deployment's CA file; empty for the system's.
  std::string strCAFile() const { return fields_.get(strCAFile_); }
  // server.json turned certificate checks off.
  bool bInsecureTLS() const { return fields_.get(bInsecureTLS_); }
  // Domain suffixes of the deployment's own download storage
  // ("storagedomains" of server.json): a download address holding none of
  // them is internal storage. Empty when not configured.
  std::vector<std::string> storageDomains() const { return fields_.get(storageDomains_); }
  void setStorageDomains(std::vector<std::string> v) { fields_.set(storageDomains_, std::move(v)); }

  void setBDebugMenu(bool v) { fields_.set(bDebugMenu_, v); }
  void setBHttps(bool v) { fields_.set(bHttps_, v); }
  void setBShowUpdate(bool v) { fields_.set(bShowUpdate_, v); }
  void setStrUIPath(std::string v) { fields_.set(strUIPath_, std::move(v)); }
  void setStrPassport(std::string v) { fields_.set(strPassport_, std::move(v)); }
  void setStrServerHost(std::string v) { fields_.set(strServerHost_, std::move(v)); }
  void setStrApiHost(std::string v) { fields_.set(strApiHost_, std::move(v)); }
  void setStrWebHost(std::string v) { fields_.set(strWebHost_, std::move(v)); }
  void setStrUpdateHost(std::string v) { fields_.set(strUpdateHost_, std::move(v)); }
  void setStrUpdateBranch(std::string v) { fields_.set(strUpdateBranch_, std::move(v)); }
  void setStrUpdateChannel(std::string v) { fields_.set(strUpdateChannel_, std::move(v)); }
  void setStrAboutName(std::string v) { fields_.set(strAboutName_, std::move(v)); }
  void setStrAboutUrl(std::string v) { fields_.set(strAboutUrl_, std::move(v)); }
  void setStrTitleName(std::string v) { fields_.set(strTitleName_, std::move(v)); }
  void setStrSource(std::string v) { fields_.set(strSource_, std::move(v)); }
  void setStrConfigInfo(std::string v) { fields_.set(strConfigInfo_, std::move(v)); }
  void setNWitdh(std::int64_t v) { fields_.set(nWitdh_, v); }
  void setNHeight(std::int64_t v) { fields_.set(nHeight_, v); }
  void setBChangeApiHost(bool v) { fields_.set(bChangeApiHost_, v); }
  void setBChangeWebHost(bool v) { fields_.set(bChangeWebHost_, v); }
  void setBChangeUpdateHost(bool v) { fields_.set(bChangeUpdateHost_, v); }
  void setBChangeServerHost(bool v) { fields_.set(bChangeServerHost_, v); }

 private:
  const Folders folders_;
  FieldLock fields_;  // guards every field below
  bool bDebugMenu_ = false;
  bool bHttps_ = false;
  bool bShowUpdate_ = false;
  std::string strUIPath_;
  std::string strPassport_{kBuiltinPassport};
  std::string strServerHost_{kBuiltinServerHost};
  std::string strApiHost_;
  std::string strWebHost_;
  std::string strUpdateHost_{kBuiltinUpdateHost};
  std::string strUpdateBranch_;
  std::string strUpdateChannel_{kBuiltinUpdateChannel};
  std::string strAboutName_;
  std::string strAboutUrl_;
  std::string strTitleName_;
  std::string strSource_;
  std::string strConfigInfo_;
  std::int64_t nWitdh_ = 0;
  std::int64_t nHeight_ = 0;
  bool bChangeApiHost_ = false;
  bool bChangeWebHost_ = false;
  bool bChangeUpdateHost_ = true;
  bool bChangeServerHost_ = false;
  std::string strCAFile_;
  bool bInsecureTLS_ = false;
  std::vector<std::string> storageDomains_;
};

}  // namespace nb
