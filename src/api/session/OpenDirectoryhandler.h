#pragma once
// Watcher of one folder (the folder of files opened for editing). The
// transfer engine provides the real watcher (inotify, on its own thread) and
// registers its factory at start-up; the session only makes one and starts
// it. Tests hand the session a fake, so no watcher thread ever starts there.

#include <functional>
#include <memory>
#include <string>

namespace nb {

class OpenDirectoryhandler {
 public:
  explicit OpenDirectoryhandler(std::string path) : path_(std::move(path)) {}
  virtual ~OpenDirectoryhandler() = default;
  OpenDirectoryhandler(const OpenDirectoryhandler&) = delete;
  OpenDirectoryhandler& operator=(const OpenDirectoryhandler&) = delete;

  // Starts reporting changes under the folder from now on. Returns at once.
  virtual void startMonitoring() = 0;

  const std::string& path() const { return path_; }

 private:
  const std::string path_;
};

using OpenDirectoryhandlerFactory =
    std::function<std::unique_ptr<OpenDirectoryhandler>(const std::string& path)>;

// Registers how watchers are made; an empty factory restores the default,
// which makes watchers that watch nothing and log an error when started. Register before the session is
// first used. Thread-safe.
void setOpenDirectoryhandlerFactory(OpenDirectoryhandlerFactory factory);

// A watcher of the folder from the registered factory (never null).
std::unique_ptr<OpenDirectoryhandler> makeOpenDirectoryhandler(const std::string& path);

}  // namespace nb
