#pragma once
// How the client sits in the user's session: started at login (an XDG
// autostart entry), its linked folders in the file choosers' sidebar (the GTK
// bookmarks file), one running copy per user (a lock the running process
// holds), the network state, and the process-wide hide-login switch.
//
// Everything runs on the caller's thread and reports failure only through
// its result; files are found through HOME and the XDG variables as they are
// at the moment of the call.

#include <string>

namespace nb::Util {

// The id the autostart entry and the single-instance lock are named after.
inline constexpr const char* kAppId = "nubren";

// The argument the autostart entry passes, by which a launch at login is known.
inline constexpr const char* kAutostartArgument = "--autostart";

// Writes $XDG_CONFIG_HOME/autostart/nubren.desktop starting this executable
// with kAutostartArgument (replacing an older entry of ours).
void addAppAsLoginItem();

// Yes when the autostart entry exists, is not hidden, and starts exactly this
// executable.
bool findAppAsLoginItem();

// Removes the autostart entry when it starts this executable; an entry that
// starts some other program is left alone.
void deleteAppFromLoginItem();

// Yes when this process was started by the autostart entry.
bool wasLaunchedAsLoginItem();

// Yes when this process was started by the launcher the creator code stands
// for. Only "lgnw" (the login session) has a Linux counterpart; every other
// code answers no.
bool wasLaunchedByProcess(const std::string& creatorCode);

// Puts the folder first in the GTK bookmarks file; an entry for the same
// folder already there moves to the front instead of being repeated.
void addfoldertofavorite(const std::string& folder);

// Removes the first bookmark whose folder equals `folder`, or equals it once
// a "/" is appended to the bookmark's folder.
void deletefolderfavorite(const std::string& folder);

// Yes when another process already runs as `bundleIdentifier`: it holds the
// lock file named after it in $XDG_RUNTIME_DIR (else $XDG_CONFIG_HOME). When
// no other process holds it, this process takes the lock and keeps it until
// it exits, so the answer for this process stays no. Thread-safe.
bool didProgressLaunched(const std::string& bundleIdentifier);

// Yes when the network monitor reports a usable network.
bool islink();

// The hide-login switch: set once by the entry point before threads start,
// read later without a lock. getShowLogin() answers no once it is set.
void setHideLogin();
bool getShowLogin();

}  // namespace nb::Util
