#include "bridge/script/TrustedOrigins.h"

#include <glib.h>

#include <algorithm>
#include <filesystem>

#include "api/server/ServerInfo.h"
#include "platform/GObjectPtr.h"

namespace nb::bridge {

namespace {

// "scheme://host[:port]" of an http(s) URI, lower case; "" for anything else.
std::string originOf(const std::string& uri) {
  GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return {};
  std::string origin;
  const char* scheme = g_uri_get_scheme(parsed);
  const char* host = g_uri_get_host(parsed);
  if (scheme && host && *host && g_uri_get_userinfo(parsed) == nullptr) {
    platform::GCharPtr lowScheme(g_ascii_strdown(scheme, -1));
    platform::GCharPtr lowHost(g_ascii_strdown(host, -1));
    const std::string s = lowScheme.get();
    if (s == "http" || s == "https") {
      origin = s + "://" + lowHost.get();
      const int port = g_uri_get_port(parsed);
      if (port > 0 && port != (s == "https" ? 443 : 80)) {
        // Two appends rather than ":" + ...: GCC 12 at -O3 warns falsely on that form.
        origin += ':';
        origin += std::to_string(port);
      }
    }
  }
  g_uri_unref(parsed);
  return origin;
}

std::string normalFolder(const std::string& folder) {
  std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

TrustedOrigins::TrustedOrigins(std::vector<std::string> folders,
                               std::vector<std::string> webHosts) {
  for (const std::string& folder : folders) {
    if (folder.empty() || folder.front() != '/') continue;
    const std::string normal = normalFolder(folder);
    if (normal != "/" && std::find(folders_.begin(), folders_.end(), normal) == folders_.end()) {
      folders_.push_back(normal);
    }
  }
  for (const std::string& host : webHosts) {
    if (host.empty()) continue;
    std::vector<std::string> candidates;
    if (host.find("://") != std::string::npos) {
      candidates.push_back(originOf(host));
    } else {
      candidates.push_back(originOf("https://" + host));
      candidates.push_back(originOf("http://" + host));
    }
    for (const std::string& origin : candidates) {
      if (!origin.empty() &&
          std::find(origins_.begin(), origins_.end(), origin) == origins_.end()) {
        origins_.push_back(origin);
      }
    }
  }
}

TrustedOrigins TrustedOrigins::current() {
  const std::shared_ptr<ServerInfo> info = ServerInfo::current();
  const ServerInfo::Folders& folders = info->folders();
  return TrustedOrigins({info->strUIPath(), (folders.overrideDir / "UI").string(),
                         (folders.installDir / "UI").string()},
                        {info->strWebHost()});
}

std::vector<std::string> TrustedOrigins::urlPatterns() const {
  std::vector<std::string> patterns;
  for (const std::string& folder : folders_) {
    platform::GCharPtr uri(g_filename_to_uri(folder.c_str(), nullptr, nullptr));
    if (uri) patterns.push_back(std::string(uri.get()) + "/*");
  }
  for (const std::string& origin : origins_) patterns.push_back(origin + "/*");
  return patterns;
}

bool TrustedOrigins::trusts(const std::string& uri) const {
  if (g_str_has_prefix(uri.c_str(), "file:")) {
    // Only the path counts: a fragment or query names no other file.
    const std::string bare = uri.substr(0, uri.find_first_of("?#"));
    platform::GCharPtr path(g_filename_from_uri(bare.c_str(), nullptr, nullptr));
    if (!path) return false;
    const std::string normal = normalFolder(path.get());
    return std::any_of(folders_.begin(), folders_.end(), [&](const std::string& folder) {
      return normal.size() > folder.size() && normal.compare(0, folder.size(), folder) == 0 &&
             normal[folder.size()] == '/';
    });
  }
  const std::string origin = originOf(uri);
  return !origin.empty() && std::find(origins_.begin(), origins_.end(), origin) != origins_.end();
}

}  // namespace nb::bridge
