#pragma once
// The user's base folders as the XDG base-directory and user-dirs rules give
// them. Every call reads the environment afresh (GLib caches its answers for
// the life of the process, which a changed HOME in tests or a re-login would
// not see). Safe from any thread as long as nobody changes the environment
// concurrently.

#include <string>

namespace nb::platform {

// $XDG_CONFIG_HOME when absolute, else $HOME/.config.
std::string configHome();

// $XDG_CACHE_HOME when absolute, else $HOME/.cache.
std::string cacheHome();

// $XDG_RUNTIME_DIR when absolute, else "" (the caller picks its own place).
std::string runtimeDir();

// A folder of ~/.config/user-dirs.dirs by its key without the XDG_ and _DIR
// parts ("DESKTOP", "DOCUMENTS", "MUSIC", "VIDEOS", "PICTURES", ...). When the
// file has no such line, $HOME joined with `fallbackName`.
std::string userSpecialDir(const std::string& key, const std::string& fallbackName);

}  // namespace nb::platform
