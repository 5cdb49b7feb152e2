#pragma once
// The proxies the desktop's settings name for a URL, through GIO's proxy
// resolver (GNOME's settings, a PAC script, libproxy's sources, whichever
// the system provides). A lookup may block: a PAC script is run out of
// process. Safe from any thread.
//
// An answer is kept for a second: libproxy's resolver serves one lookup at a
// time for the whole process, and a sync's transfers ask it for the same few
// addresses several times per file. A change of the settings takes effect
// within that second.

#include <optional>
#include <string>
#include <vector>

namespace nb::platform {

class SystemProxy {
 public:
  // Every proxy to try for `url`, best first, in the form curl takes
  // ("http://host:port", "socks5h://host:port", credentials kept); an empty
  // text stands for a direct connection. Entries curl cannot use are left
  // out. When the resolver fails or names nothing usable the answer is one
  // direct connection. The resolver is not shown the URL's query or
  // fragment.
  static std::vector<std::string> proxiesFor(const std::string& url);

  // One resolver answer ("direct://", "http://h:p", "socks://h:p", ...) in
  // curl's form: "" for direct, nothing for a kind curl cannot use.
  static std::optional<std::string> curlProxyFrom(const std::string& resolverUri);
};

}  // namespace nb::platform
