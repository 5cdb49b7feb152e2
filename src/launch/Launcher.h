#pragma once
// The process: the entry point's work (one instance per user session, the
// hide-login switch, the relaunch wait), the registration of every answer
// the lower layers ask their upper ones for, and the one-time start-up of
// the application state, in the order the client has always started in.
//
// Threads: main thread (the caller of run()).

#include <memory>
#include <string>
#include <vector>

namespace nb {
class AppDelegate;
}

namespace nb::launch {

class ShellParts;

// The instance lock's and socket's name.
inline constexpr const char* kBundleIdentifier = "nubren";
// The first argument that hides the sign-in window (another local program
// signs the client in).
inline constexpr const char* kHideLoginArgument = "meadowcourt";
// Set in the environment: the LAN service binds loopback only (a client run
// beside a local test service).
inline constexpr const char* kLoopbackLanVariable = "NUBREN_LAN_LOOPBACK";
// A launch with this argument asks the running client for a screenshot as
// if the hot key was pressed (a desktop shortcut where no key can be
// grabbed).
inline constexpr const char* kScreenshotArgument = "--screenshot";

struct LaunchOptions {
  std::vector<std::string> args;  // the command line without the program
  std::string version;            // the program's version
};

// main(): -1 when another instance runs (after forwarding to it), else the
// process's status once it ends.
int run(const LaunchOptions& options);

// Registers the shell, the windows and the page bridge, and every seam of
// the lower layers, for `app`. Main thread, before other threads start.
void registerEverything(const std::shared_ptr<AppDelegate>& app);

// The start-up sequence on the main thread; the sign-in starts at its end.
// `parts` are started at their steps; the caller stops them at the end.
void applicationDidFinishLaunching(const std::shared_ptr<AppDelegate>& app,
                                   const std::string& version, ShellParts& parts);

}  // namespace nb::launch
