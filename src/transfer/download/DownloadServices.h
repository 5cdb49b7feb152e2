#pragma once
// What a download task needs from the rest of the program, as replaceable
// functions: the standard() set reaches the process-wide stores, the
// session, the sync centre and the transfer facade; tests replace single
// members. A member the program never registered (the LAN query, the sync
// engine's hand-over of a finished file) logs an error and answers failure
// when used, so a missing registration shows.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/models/RetGetDownload.h"
#include "api/models/TransTaskItem.h"

namespace nb {

class DownloadPeer;
class DownloadSink;
class SyncCache;
class SyncManager;
class TransPortDB;

struct DownloadServices {
  TransPortDB* store = nullptr;
  SyncCache* cache = nullptr;
  // The user's transfer cache folder (temporary files live there).
  std::function<std::string()> transCache;
  std::function<std::int64_t()> userId;
  // Download addresses of a content hash: (mount id, hash, web path, stat).
  std::function<RetGetDownload(std::int64_t, const std::string&, const std::string&, std::int64_t)>
      getUrls;
  // Asks the local network who has the content; returns at once.
  std::function<void(const std::string& filehash)> queryLan;
  // The sync manager of a library; null when there is none.
  std::function<std::shared_ptr<SyncManager>(std::int64_t mountid)> syncManager;
  // The sync engine takes over a verified download (`DownloadFinish`) or a
  // file already placed by a shortcut (`DownloadFinishOutFile`). False:
  // nothing was taken over.
  std::function<bool(SyncManager&, const TransTaskItem&)> downloadFinish;
  std::function<bool(SyncManager&, const TransTaskItem&)> downloadFinishOutFile;
  // Bytes for the download speed display.
  std::function<void(std::uint64_t)> addSpeedTrans;
  // Progress report of one record to the pages.
  std::function<void(const TransTaskItem&)> report;
  // Whether the network link is up.
  std::function<bool()> isLinked;
  // Domain suffixes of the deployment's own storage; an address holding
  // none of them is internal storage.
  std::function<std::vector<std::string>()> storageDomains;

  // Makes a source (sink, address, have text, file size, LAN flag); unset:
  // a DownloadPeer. Tests give sources that schedule without a network.
  std::function<std::shared_ptr<DownloadPeer>(std::weak_ptr<DownloadSink>, const std::string&,
                                              const std::string&, std::uint64_t, bool)>
      makePeer;

  // The process-wide set.
  static DownloadServices standard();
};

// Registration of the seams that layers above or beside the download task
// fill in at start-up. Each may be called again to replace the function;
// an empty function unregisters. Thread-safe.
void registerDownloadLanQuery(std::function<void(const std::string& filehash)> query);
void registerDownloadHandOver(std::function<bool(SyncManager&, const TransTaskItem&)> finish,
                              std::function<bool(SyncManager&, const TransTaskItem&)> outFile);

}  // namespace nb
