#pragma once
// Where the LAN service finds the contents it offers, in the order both the
// file server and the discovery answers use: the content cache, a synced
// local file, a finished download, a running download. The shared instance
// asks the process-wide stores and the download manager; tests give their
// own.
//
// Every member is called from the LAN threads and must be safe there; the
// hash handed in is always a content hash.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace nb::lan {

// What the LAN service asks of a running download of some content.
struct RunningDownload {
  std::string temppath;       // the partial file
  std::uint64_t filesize = 0; // the size of the whole content
  bool bHttpAble = true;      // it may fetch from a server source
  bool bHttpStart = false;    // a server source is fetching now
  std::string have;           // ranges already written, "a-b,c-d"
};

class LanContent {
 public:
  virtual ~LanContent() = default;

  // The content cache's entry for the hash; "" when none.
  virtual std::string cachePath(const std::string& filehash) = 0;
  // Deciphers a cache entry to `target`; false when that failed.
  virtual bool decryptCache(const std::string& entry, const std::string& target) = 0;
  // The folder for deciphered copies (created by the caller).
  virtual std::string decryptFolder() = 0;
  // A synced local file with that content; "" when none.
  virtual std::string syncedPath(const std::string& filehash) = 0;
  // A finished download of that content; "" when none.
  virtual std::string finishedPath(const std::string& filehash) = 0;
  // The running download of that content; nothing when none.
  virtual std::optional<RunningDownload> running(const std::string& filehash) = 0;
};

// The process-wide stores, sync centre and download manager.
std::shared_ptr<LanContent> sharedLanContent();

}  // namespace nb::lan
