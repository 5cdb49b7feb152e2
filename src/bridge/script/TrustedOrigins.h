#pragma once
// The pages that may drive the client: files under the UI folders (the
// installed one and the downloaded copy) and pages of the configured web
// host. Every other page, remote or local, gets no `nbClient`, and
// messages from it are dropped.

#include <string>
#include <vector>

namespace nb::bridge {

class TrustedOrigins {
 public:
  // `folders`: absolute paths; `webHosts`: "https://host[:port]" or a bare
  // host (then both http and https of it).
  TrustedOrigins(std::vector<std::string> folders, std::vector<std::string> webHosts);

  // The UI folders and web host of the current server configuration.
  static TrustedOrigins current();

  // WebKit URL patterns for the page script ("file:///ui/*", "https://host/*").
  std::vector<std::string> urlPatterns() const;
  // Whether the page at `uri` is one of ours.
  bool trusts(const std::string& uri) const;

 private:
  std::vector<std::string> folders_;  // without a trailing "/"
  std::vector<std::string> origins_;  // "scheme://host[:port]"
};

}  // namespace nb::bridge
