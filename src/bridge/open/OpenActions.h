#pragma once
// How an opened copy reaches the user: a desktop application, or the note
// editor for a note package. Both run on the main thread; callers on the
// bridge queue post to it. Tests replace them to see what would open.

#include <cstdint>
#include <functional>
#include <string>

namespace nb::bridge {

struct OpenActions {
  // Opens `path` as Util::MyOpenFile does: `specify` is an application's
  // desktop id, "openwith" (let the user choose) or ""; `type` "select"
  // shows the file in the file manager.
  std::function<void(const std::string& path, const std::string& type,
                     const std::string& specify)>
      desktop;
  // Unpacks the note package at `path` for the window `hwnd`.
  std::function<void(const std::string& path, std::int64_t mountid, const std::string& webpath,
                     std::int64_t hwnd)>
      note;
};

// The actions in use: the registered ones, else the desktop's and the
// window registry's.
OpenActions openActions();
// Replaces the actions; empty members take the defaults back.
void setOpenActions(OpenActions actions);

// The application a page named for `path`, when the desktop offers it for
// files of that type: "openwith" and "" pass as they are, any other id only
// when it is among the applications listed for the file's extension (a
// page may not start an arbitrary program). Anything else gives "".
std::string allowedApplication(const std::string& path, const std::string& specify);

// Posts the desktop open of `path` to the main thread.
void openWithDesktop(const std::string& path, const std::string& type,
                     const std::string& specify);
// Posts the note open to the main thread.
void openInNoteEditor(const std::string& path, std::int64_t mountid, const std::string& webpath,
                      std::int64_t hwnd);

}  // namespace nb::bridge
