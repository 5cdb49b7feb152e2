#pragma once
// The download direction: waiting downloads in the store's order, one
// running download per content hash, the hooks of the LAN service, and the
// priority of a download-to-open.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/json/JsonValue.h"
#include "transfer/engine/DownloadTransferTask.h"
#include "transfer/engine/ManagerBase.h"

namespace nb {

class DownloadManager final : public ManagerBase {
 public:
  // `realCountChanged` receives the store's count of unfinished downloads
  // when StopDownloadForOpen refreshed it (the facade's nDownloadRealCount).
  DownloadManager(Context context, std::function<void(std::int64_t)> realCountChanged);
  ~DownloadManager() override;

  // Whether a running download of another record has the item's content.
  bool CheckHaveDownloading(const TransTaskItem& item);

  // A LAN source of some content, as the discovery thread announces it: an
  // array [address, hash] or [address, hash, userid, have, bHttpStart,
  // bHttpAble]. Anything else, or a hash that is not 40 lower-case hex, is
  // ignored. Goes to the first running download of that content.
  void AddUdpPeer(const JsonValue& notice);

  struct DownloadFileInfo {
    std::string temppath;
    std::uint64_t filesize = 0;
  };
  // The temporary file and size of the first running download of the
  // content; nothing when none.
  std::optional<DownloadFileInfo> GetDownloadInfo(const std::string& filehash);

  struct DownloadHaveInfo {
    bool bHttpAble = false;
    bool bHttpStart = false;
    std::string have;
  };
  // What the first running download of the content holds; nothing when none.
  std::optional<DownloadHaveInfo> GetDownloadHaveInfo(const std::string& filehash);

  // Before a download-to-open is queued: empties the pending list, refreshes
  // the unfinished count, wakes the loop, then sends every running download
  // that is not itself one to open back to waiting with its offset.
  void StopDownloadForOpen();

 protected:
  std::vector<TransTaskItem> fetchWaiting() override;
  void markStarted(std::int64_t id) override;
  void resetErrors() override;
  bool waitForWork(platform::StoppableThread& thread) override;
  std::chrono::milliseconds emptyPollSleep() const override;
  bool heldBackLocked(const TransTaskItem& item) const override;
  void onTaskException(TransferTask& task) override;

 private:
  // The first running download of the content, under runningMutex_.
  std::shared_ptr<DownloadTransferTask> findByHashLocked(const std::string& filehash) const;

  const std::function<void(std::int64_t)> realCountChanged_;
};

}  // namespace nb
