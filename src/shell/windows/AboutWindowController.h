#pragma once
// The About window: the deployment's name (or ours), the version, and a
// link to the deployment's web address (or ours) over the deployment's
// background picture.
//
// Threads: main thread.

#include <filesystem>
#include <string>

#include "shell/ui/Dialogs.h"

namespace nb {

class ServerInfo;

namespace ui {
class Ui;
}

class AboutWindowController {
 public:
  // Ours, for a deployment that names none.
  static constexpr const char* kDefaultAboutUrl = "https://www.nubren.com";
  static constexpr const char* kDefaultNameKey = "NubrenVesko";

  // What the window shows for this configuration and program version.
  static ui::AboutBox aboutBox(const ServerInfo& server, const std::string& appVersion);
  // Where the link goes: the deployment's address in the scheme the user
  // chose, else ours.
  static std::string aboutUrl(const ServerInfo& server);
  // Shows the window; the link opens in the default browser.
  static void show(ui::Ui& ui, const std::string& appVersion);
};

}  // namespace nb
