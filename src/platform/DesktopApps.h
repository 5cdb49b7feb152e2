#pragma once
// Opening files and web pages with the desktop's applications, through GIO's
// application registry (the .desktop files of the XDG menu and MIME specs)
// and the file manager's D-Bus interface. Every call is synchronous on the
// caller's thread and reports failure only through its result.

#include <string>
#include <vector>

namespace nb::platform {

// One application that can open a file: its desktop id ("org.gnome.eog.desktop"),
// which openFileWith() takes back, and the name to show.
struct AppChoice {
  std::string id;
  std::string name;
};

// Opens `uri` with the user's default handler for its scheme.
bool openUri(const std::string& uri);

// Opens the file with the default application for its type.
bool openFile(const std::string& path);

// Opens the file with the application of desktop id `appId`; false when no
// installed application has that id or it fails to start.
bool openFileWith(const std::string& path, const std::string& appId);

// Shows the file selected in the file manager (org.freedesktop.FileManager1
// ShowItems on the session bus); where no file manager offers that interface,
// opens the file's folder instead.
bool revealFile(const std::string& path);

// The applications registered for the type guessed from the file's name, in
// the registry's order (default first). Nothing for an unclaimed type.
std::vector<AppChoice> appsForFile(const std::string& path);

// The themed icon of the type guessed from `fileName`, serialized with
// g_icon_to_string (g_icon_new_for_string reads it back); "" when GIO knows none.
std::string iconForFileName(const std::string& fileName);

// Whether GIO's network monitor reports a usable network.
bool networkAvailable();

}  // namespace nb::platform
