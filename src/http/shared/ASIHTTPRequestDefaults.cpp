#include "http/shared/ASIHTTPRequestDefaults.h"

#include <fmt/format.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <mutex>
#include <random>

#include "http/text/TextEncoding.h"
#include "platform/Log.h"
#include "platform/OsRelease.h"
#include "platform/OperationQueue.h"

namespace nb::http {

namespace {

std::mutex& classMonitor() {
  static std::mutex lock;
  return lock;
}
std::optional<ApplicationIdentity>& registeredIdentity() {
  static std::optional<ApplicationIdentity> identity;
  return identity;
}
std::optional<std::string>& keptUserAgent() {
  static std::optional<std::string> agent;
  return agent;
}
std::atomic<double>& timeOutDefault() {
  static std::atomic<double> seconds = 10.0;
  return seconds;
}

std::string osReleaseValue(const std::string& key) {
  return platform::keyValueField(platform::osReleaseText(), key);
}

// "en_US" from "en_US.UTF-8@euro".
std::string currentLocaleIdentifier() {
  const char* name = std::setlocale(LC_MESSAGES, nullptr);
  std::string locale = name ? name : "";
  if (locale.empty() || locale == "C" || locale == "POSIX") {
    const char* lang = std::getenv("LANG");
    locale = lang ? lang : "en_US";
  }
  locale = locale.substr(0, locale.find_first_of(".@"));
  return locale.empty() || locale == "C" || locale == "POSIX" ? "en_US" : locale;
}

}  // namespace

void ASIHTTPRequestDefaults::registerApplicationIdentity(ApplicationIdentity identity) {
  std::lock_guard lock(classMonitor());
  registeredIdentity() = std::move(identity);
}

std::string ASIHTTPRequestDefaults::formatUserAgent(const ApplicationIdentity& identity,
                                                    const std::string& systemName,
                                                    const std::string& systemVersion,
                                                    const std::string& locale) {
  std::string version;
  if (identity.shortVersion && identity.build && *identity.shortVersion != *identity.build) {
    version = fmt::format("{} rv:{}", *identity.shortVersion, *identity.build);
  } else if (identity.shortVersion) {
    version = *identity.shortVersion;
  } else if (identity.build) {
    version = *identity.build;
  }
  return fmt::format("{} {} ({}; {} {}; {})", latin1ToUtf8(identity.displayName), version,
                     "X11", systemName, systemVersion, locale);
}

std::optional<std::string> ASIHTTPRequestDefaults::defaultUserAgentString() {
  std::lock_guard lock(classMonitor());
  if (keptUserAgent()) return keptUserAgent();
  if (!registeredIdentity() || registeredIdentity()->displayName.empty()) {
    NBLOG_ERROR("http: no application identity registered, so no default User-Agent");
    return std::nullopt;
  }
  std::string systemName = osReleaseValue("NAME");
  if (systemName.empty()) systemName = "Linux";
  keptUserAgent() = formatUserAgent(*registeredIdentity(), systemName,
                                    osReleaseValue("VERSION_ID"), currentLocaleIdentifier());
  return keptUserAgent();
}

void ASIHTTPRequestDefaults::setDefaultUserAgentString(std::optional<std::string> agent) {
  std::lock_guard lock(classMonitor());
  keptUserAgent() = std::move(agent);
}

double ASIHTTPRequestDefaults::defaultTimeOutSeconds() { return timeOutDefault().load(); }

void ASIHTTPRequestDefaults::setDefaultTimeOutSeconds(double seconds) {
  timeOutDefault().store(seconds);
}

platform::OperationQueue& ASIHTTPRequestDefaults::sharedQueue() {
  // Lives as long as the process, as the network thread does: requests may
  // still be running when static objects go at exit.
  static auto* const queue = new platform::OperationQueue(4);
  return *queue;
}

std::string temporaryFilePath() {
  static std::atomic<uint64_t> counter = 0;
  static const uint64_t seed = std::random_device{}();
  return (std::filesystem::temp_directory_path() /
          fmt::format("nb-http-{}-{}-{}", ::getpid(), seed, ++counter))
      .string();
}

}  // namespace nb::http
