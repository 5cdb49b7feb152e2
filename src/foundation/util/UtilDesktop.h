#pragma once
// Opening files and web pages, icons by file type, the user's special
// folders, and the system settings. Every call runs on the caller's thread
// and reports failure only through its result.

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopApps.h"

namespace nb::Util {

// Opens `path`. `specify` names an application: "openwith" is handled by the
// caller (it asks the user to choose), any other non-empty text is the desktop
// id of the application to use. Without one, `type` "select" shows the file
// in the file manager and any other type opens it with its default
// application. Nothing happens for an empty path. Answers whether the desktop
// accepted the request.
bool openPath(const std::string& path, const std::string& type, const std::string& specify);

// The same, except that "openwith" (as the application, or as the type
// without one) asks the application state to let the user choose an
// application: posted to the main thread, not waited for.
void MyOpenFile(const std::string& path, const std::string& type, const std::string& specify);

// Opens the URL with the default browser.
bool openWebUrl(const std::string& url);

// The icon of the name's type, as g_icon_to_string gives it: the extension
// decides, and a text without one is taken as the extension itself ("pdf"
// and "a.pdf" give the same icon). "" when the desktop knows no icon.
std::string iconFromFileType(const std::string& name);

// The user's folder for "desktop", "documents", "music", "video" or
// "pictures" (exactly so spelt); "" for any other word.
std::string getComputerPath(const std::string& word);

// The applications that can open files of the extension `ext` as a page
// gives it (".pdf"), asked about the probe file "<cacheTemp>/temp<ext>",
// which is made empty when missing and left for the next time. An extension
// holding "/" or ".." never becomes a path: it has no applications.
std::vector<platform::AppChoice> openWithChoices(const std::string& ext,
                                                 const std::string& cacheTemp);

// The JSON text {"list":[{"openpath":<desktop id>,"name":<name>}, ...]} of
// openWithChoices, always ending with {"openpath":"openwith","name":<"其他..."
// in the chosen language>} (the entry that lets the user choose any application).
std::string methodsWithOpen(const std::string& ext, const std::string& cacheTemp);

// Opens the system's network settings with the first of the known tools that
// is installed (GNOME Settings, then the NetworkManager editor); nothing
// otherwise.
void systemPreferenceWithNetwork();

// The folder a file manager window shows. No Linux file manager tells other
// programs that, so the answer is always the "cannot resolve" answer: "".
std::optional<std::string> getfindertarget(long windowId);

}  // namespace nb::Util
