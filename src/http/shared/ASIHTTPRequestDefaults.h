#pragma once
// Class-wide settings of the request library: the default time-out, the
// default User-Agent and the application identity it is made from, and the
// queue of asynchronous requests.

#include <optional>
#include <string>

namespace nb::platform {
class OperationQueue;
}

namespace nb::http {

// What the default User-Agent names. The shell registers it at start-up;
// until then there is no default User-Agent (and that is logged).
struct ApplicationIdentity {
  std::string displayName;               // empty: none
  std::optional<std::string> shortVersion;
  std::optional<std::string> build;
};

class ASIHTTPRequestDefaults {
 public:
  static void registerApplicationIdentity(ApplicationIdentity identity);

  // Computed once from the identity, the system's os-release and the
  // current locale; nothing (and tried again next call) without a name.
  static std::optional<std::string> defaultUserAgentString();
  static void setDefaultUserAgentString(std::optional<std::string> agent);

  // The User-Agent text for these parts, as defaultUserAgentString() joins
  // them.
  static std::string formatUserAgent(const ApplicationIdentity& identity,
                                     const std::string& systemName,
                                     const std::string& systemVersion,
                                     const std::string& locale);

  static double defaultTimeOutSeconds();
  static void setDefaultTimeOutSeconds(double seconds);

  // Width 4 when made; the application raises it to 100.
  static platform::OperationQueue& sharedQueue();
};

// A new, unused path in the temporary folder.
std::string temporaryFilePath();

}  // namespace nb::http
