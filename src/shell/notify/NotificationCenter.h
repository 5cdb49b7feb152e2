#pragma once
// The client's one channel for desktop notifications: the title and icon
// rules, the limit of outstanding notifications on systems that count as
// old, and what a click on a notification opens.
//
// Threads: setGrowlNotificationDescripation from any thread (the work is
// posted to the main thread, where the counter lives); everything else on
// the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/json/JsonValue.h"

namespace nb {

class NotificationCenter {
 public:
  static constexpr const char* kNotificationName = "FireWire Device Disconnected";
  static constexpr const char* kApplicationName = "nubren";
  static constexpr const char* kIdentifier = "com.nubren";
  // While the system counts as old, at most this many may be outstanding.
  static constexpr std::int64_t kMaxOutstanding = 5;

  // What a click opens. The shell registers them at start-up; a click whose
  // action is missing logs an error.
  struct ClickActions {
    std::function<void()> openUpdate;  // the offered update's page in the browser
    std::function<void()> restartClient;
    std::function<void()> onMenuOpenNubrenClicked;  // the main or sign-in window
    // Hands the text to the main page as "ShowAction" (waits until the
    // page has it, or keeps it until the page has loaded).
    std::function<void(const std::string& json)> showMessageForLaunchpad;
  };

  struct Options {
    // The system's version; nothing: VERSION_ID of os-release.
    std::optional<std::string> systemVersion;
  };

  // The shared instance, made on first use (thread-safe).
  static NotificationCenter& shareCenter();

  explicit NotificationCenter(Options options = {});
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  void setClickActions(ClickActions actions);
  // Start-up: takes the clicks and closes of the registered notifier. Main
  // thread.
  void setScheduleGrowlUserNotification();
  // Shows a notification with the description; `context` is what a click
  // opens. Any thread.
  void setGrowlNotificationDescripation(const std::string& description,
                                        const std::optional<std::string>& context);

  // The notifier's reports. Main thread.
  void growlNotificationWasClicked(const std::optional<std::string>& context);
  void growlNotificationTimedOut(const std::optional<std::string>& context);

  // The registration data: application name, the notification names and
  // their readable names.
  static JsonValue registrationDictionaryForGrowl();

  // The system version counts as older than "10.8.0" (compared as text).
  bool status() const { return status_; }
  // Outstanding notifications while status() holds. Main thread.
  std::int64_t countNum() const { return countNum_; }

 private:
  void showOnMain(const std::string& description, const std::optional<std::string>& context);
  void release();

  // Constant after construction.
  const bool status_;

  // Main thread only.
  std::int64_t countNum_ = 0;
  ClickActions actions_;
  // Lives as long as this object; posted jobs check it before they touch it.
  std::shared_ptr<NotificationCenter*> self_;
};

// The system's os-release text; "" when there is none.
std::string osReleaseText();
// VERSION_ID of the os-release text; "" when it has none.
std::string systemVersionFromOsRelease(const std::string& osRelease);

}  // namespace nb
